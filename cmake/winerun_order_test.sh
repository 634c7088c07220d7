#!/usr/bin/env bash
# Unusual orders on one wineserver: a fresh session whose first program runs without a display
# and touches the clipboard (which starts Wine's desktop process), while a windowless program it
# started stays alive; then the indicator's window tests, which need their windows on the X
# display. Runs on a prefix of its own, whose wineserver it may end.
# Usage: winerun_order_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
winerun=$here/winerun
export KEL_WINEPREFIX=$build/wineprefix-order
# A fresh session: no wineserver of this prefix is running.
[ -d "$KEL_WINEPREFIX" ] && WINEPREFIX=$KEL_WINEPREFIX wineserver -k 2>/dev/null
poke=$build/copyindicator/tests/veloma_poke.exe

# Windowless, as a console program's test would run: no display asked for.
env -u KEL_DISPLAY -u DISPLAY "$winerun" "$poke" stay 30 >/dev/null 2>&1 &
alive=$!
env -u KEL_DISPLAY -u DISPLAY "$winerun" "$poke" clipboard "windowless run" || { echo "FAIL: the clipboard run"; exit 1; }
echo "windowless clipboard run done; a windowless program stays alive"

KEL_DISPLAY=1 "$winerun" "$build/copyindicator/tests/veloma_window_tests.exe" \
  --gtest_filter='VelomaTest.ShowsTheJobsAndSendsTheUsersCommands:VelomaTest.SecondStartWakesTheFirstAndAnAbsentServiceIsRetried'
rc=$?

# Then the demo, when the indicator's window never appears: a program without a window holds the
# single-instance mutex, so the demo's indicator stops at its "other instance" message. The demo
# fails; its clean-up must still end that indicator.
"$winerun" "$poke" hold 40 >/dev/null 2>&1 &
holder=$!
for _ in $(seq 1 100); do "$winerun" "$poke" instance && break; sleep 0.1; done
demo_out=$build/winerun-order-demo
if ROOT=$(dirname "$here") VELOMA=$build/copyindicator/win/Veloma.exe KEL_WIN32_BUILD=$build DEMO_OUT=$demo_out \
   WINERUN=$winerun bash "$(dirname "$here")/demo/50-copyindicator.sh" > "$demo_out.log" 2>&1; then
  echo "FAIL: the demo passed without its window"; rc=1
fi
wait "$holder"
if "$winerun" "$poke" instance; then
  echo "FAIL: the demo's indicator outlived the demo"; cat "$demo_out.log"; rc=1
else
  echo "the demo's clean-up ended the indicator that never showed its window"
fi

WINEPREFIX=$KEL_WINEPREFIX wineserver -k 2>/dev/null
wait "$alive"
if [ "$rc" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$rc"
