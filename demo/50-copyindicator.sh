#!/usr/bin/env bash
# Veloma, the background copy indicator, watching the stand-in copy service Ferry: jobs appear as
# bars, a click pauses one, a double click answers its question, a middle click aborts one, and
# every request the indicator sent shows up in the service's log.
set -euo pipefail
ROOT=${ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
DIST=${DIST:-$ROOT/dist}
WINERUN=${WINERUN:-$ROOT/cmake/winerun}
DEMO_OUT=${DEMO_OUT:-$ROOT/build/demo}
BUILD=${KEL_WIN32_BUILD:-$ROOT/build/win32}
VELOMA=${VELOMA:-$DIST/Veloma/Veloma.exe}
FERRY=$BUILD/standins/ferry/ferry.exe
POKE=$BUILD/copyindicator/tests/veloma_poke.exe
out=$DEMO_OUT/copyindicator
mkdir -p "$out"
rm -f "$out"/ferry.log

winpath() { local p=$1; echo "Z:${p//\//\\}"; }
# The process and every process below it, deepest first (the indicator runs a few levels below
# the winerun that started it).
kill_tree() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do kill_tree "$child"; done
  kill "$1" 2>/dev/null
}
# Closes the indicator as a user would; when it has no window to close (it never showed one, or
# hangs), its processes are ended.
end_indicator() {
  set +e  # a clean-up goes on past every failure
  [ -n "${veloma_pid:-}" ] && kill -0 "$veloma_pid" 2>/dev/null || return 0
  if [ -n "${1:-}" ]; then timeout 15 "$WINERUN" "$POKE" close >/dev/null 2>&1; fi
  for _ in $(seq 1 50); do kill -0 "$veloma_pid" 2>/dev/null || return 0; sleep 0.1; done
  echo "  (the indicator did not close: ended)"
  kill_tree "$veloma_pid"
}
# A picture of the screen's top-left corner, where the window sits (needs xwd and python3).
screenshot() {
  local display=:${KEL_XDISPLAY:-97}
  command -v xwd >/dev/null && command -v python3 >/dev/null &&
    xwd -root -display "$display" -silent > "$out/screen.xwd" 2>/dev/null || return 1
  python3 - "$out/screen.xwd" "$1" <<'PY'
# xwd dump of the TrueColor screen -> PNG of its top-left corner.
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
h = struct.unpack('>25I', data[:100])
header, width, height, order, bpp, bpl, ncolors = h[0], h[4], h[5], h[7], h[11], h[12], h[19]
off, w, hh = header + ncolors * 12, min(width, 720), min(height, 160)
rows = []
for y in range(hh):
    line = bytearray(b'\0')
    for x in range(w):
        p = off + y * bpl + x * (bpp // 8)
        v = struct.unpack('<I' if order == 0 else '>I', data[p:p + 4])[0]
        line += bytes(((v >> 16) & 255, (v >> 8) & 255, v & 255))
    rows.append(bytes(line))
chunk = lambda t, b: struct.pack('>I', len(b)) + t + b + struct.pack('>I', zlib.crc32(t + b) & 0xffffffff)
open(sys.argv[2], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, hh, 8, 2, 0, 0, 0)) +
                              chunk(b'IDAT', zlib.compress(b''.join(rows))) + chunk(b'IEND', b''))
PY
  local rc=$?
  rm -f "$out/screen.xwd"
  return $rc
}
poke() { "$WINERUN" "$POKE" "$@"; }
wait_for_log() {
  for _ in $(seq 1 100); do grep -q "$1" "$out/ferry.log" 2>/dev/null && return 0; sleep 0.1; done
  echo "  (the service never logged '$1')"; return 1
}

cat > "$out/scenario.txt" <<'EOF'
# Four jobs of the copy service; the fourth asks whether to overwrite its target.
at 0 add 1 kind=copy total=734003200 rate=20971520 src="C:\Видео\Отпуск 2026.mkv" dst="D:\Архив\Видео"
at 0 add 2 kind=delete total=21 done=3 rate=1 src="C:\Temp\Старые отчёты"
at 0 add 3 kind=move total=5242880 percent=62 src="C:\Загрузки\setup.exe" dst="E:\Дистрибутивы"
at 0 add 4 kind=copy total=1048576 percent=35 question=1 token=5eed0123456789ab src="C:\Документы\отчёт.docx" dst="E:\Копии\отчёт.docx"
at 15000 end 2
at 21000 exit
EOF

echo "Scenario of the stand-in copy service:"
grep -v '^#' "$out/scenario.txt" | sed 's/^/  /'
"$WINERUN" reg delete 'HKCU\Software\Veloma' /f >/dev/null 2>&1 || true

"$WINERUN" "$FERRY" "$(winpath "$out/scenario.txt")" "$(winpath "$out/ferry.log")" >/dev/null 2>&1 &
ferry_pid=$!
wait_for_log ready
"$WINERUN" "$VELOMA" >/dev/null 2>&1 &
veloma_pid=$!
# Whatever happens below, the indicator does not outlive the demo, even when its window never
# appeared (the service ends by its scenario).
trap 'end_indicator close; true' EXIT

poke wait-rows 4 && echo "Veloma shows 4 bars (window 258 x 58)."
sleep 1
screenshot "$DEMO_OUT/veloma-4-jobs.png" &&
  echo "Screenshot: $DEMO_OUT/veloma-4-jobs.png (copy at 0..3 %, delete, move at 62 %, question blinking red)"

poke hover 0
sleep 1.5
screenshot "$DEMO_OUT/veloma-screen.png" &&
  echo "Screenshot with the tooltip of bar 1: $DEMO_OUT/veloma-screen.png"

echo "Left click on bar 1: pause the video copy."
poke click 0
wait_for_log "TogglePause 1"
echo "Double click on bar 4: the question dialog says"
poke ask 3 1 all | sed 's/^/  | /'
echo "  ... and the user chose \"П&ерезаписать\" with \"Применить для &всех\"."
wait_for_log "Answer 4"
echo "Middle click on bar 3: abort the move."
poke middle 2
wait_for_log "AbortJob 3"
poke wait-rows 3 && echo "The aborted job left; 3 bars."
poke wait-rows 2 && echo "The delete job finished by itself; 2 bars."
sleep 0.5
screenshot "$DEMO_OUT/veloma.png" &&
  echo "Screenshot: $DEMO_OUT/veloma.png (video copy paused, document copy running again)"

echo "A second start of Veloma ends at once with exit code:"
set +e
"$WINERUN" "$VELOMA" >/dev/null 2>&1
echo "  $?"
set -e
poke close
wait "$veloma_pid" && echo "Veloma closed (exit code 0) and saved its settings:"
"$WINERUN" reg query 'HKCU\Software\Veloma' 2>/dev/null | tr -d '\r' | grep -E 'Wndpos|Linewidth|Lineheight|AlphaHover|NoNotifyTime' | sed 's/^ */  /'
"$WINERUN" reg delete 'HKCU\Software\Veloma' /f >/dev/null 2>&1 || true
wait "$ferry_pid" || true

echo "Requests the service received (ms since its start; polls summarised):"
echo "  ListJobs: $(grep -c ' ListJobs' "$out/ferry.log") times (the poll)"
echo "  GetJobDetails: $(grep -c ' GetJobDetails' "$out/ferry.log") times (new jobs, the hovered bar's tooltip, the question)"
grep -v -e ' ListJobs' -e ' ready' -e ' GetJobDetails' "$out/ferry.log" | sed 's/^/  /'
cp "$out/ferry.log" "$DEMO_OUT/veloma-ferry.log"
