# Sourced by the device browser's demo parts: the emulated handheld named "Demo Pocket" and the
# plugin as a user installs it. `handrel_demo NAME MODULE...` starts afresh in $DEMO_OUT/NAME and
# sets `out`, `root` (the device's folder, with Windows and its state folder) and `plugin` (the
# plugin's folder, with Handrel.dll, its language file and the given module files in Modules).
ROOT=${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
DIST=${DIST:-$ROOT/dist}
WINERUN=${WINERUN:-$ROOT/cmake/winerun}
DEMO_OUT=${DEMO_OUT:-$ROOT/build/demo}

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

handrel_demo() {
  out=$DEMO_OUT/$1
  shift
  root=$out/device
  plugin=$out/Plugins/Handrel
  rm -rf "$out"
  mkdir -p "$root/Windows" "$root/.device" "$plugin/Modules"
  cp "$DIST/Plugins/Handrel/Handrel.dll" "$DIST/Plugins/Handrel/HandrelEng.lng" "$plugin/"
  local module
  for module in "$@"; do cp "$module" "$plugin/Modules/"; done
  export KEL_DEVICE_ROOT
  KEL_DEVICE_ROOT=$(winpath "$root")
  printf '[HKEY_LOCAL_MACHINE\\Ident]\n"Name"="Demo Pocket"\n' > "$root/.device/registry"
}
