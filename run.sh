#!/usr/bin/env bash
# One entry for everything: ./run.sh demo | test | build | setup
#   setup  install the Debian packages the project needs (idempotent, quiet when all are there)
#   build  build both presets (native cores + tests, win32 deliverables + tests) and lay out dist/
#   test   setup, build, then run every test of both builds; ends with CTest's summary
#   demo   setup, build, then the demo tour of every finished deliverable in the stand-ins
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

setup() {
  local want=() missing=()
  mapfile -t want < <(sed -e 's/#.*//' -e '/^\s*$/d' cmake/packages.txt)
  for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  local sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # Tests run programs under the Russian locale (ANSI 1251, OEM 866): it must exist.
  if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    echo "generating the ru_RU.UTF-8 locale"
    $sudo sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
  fi
}

build() {
  local jobs; jobs=$(nproc)
  cmake --preset native >/dev/null
  cmake --build --preset native -j "$jobs"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$jobs"
  rm -rf dist
  cmake --install build/win32 >/dev/null
}

run_tests() {
  local status=0
  echo "== native tests"
  ctest --preset native -j "$(nproc)" || status=1
  echo "== win32 tests (under Wine)"
  ctest --preset win32 -j "$(nproc)" || status=1
  return $status
}

case "${1:-}" in
  setup) setup ;;
  build) setup; build ;;
  test)  setup; build; run_tests ;;
  demo)  setup; build; bash demo/tour.sh ;;
  *) echo "usage: $0 demo|test|build|setup" >&2; exit 2 ;;
esac
