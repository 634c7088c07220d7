#!/usr/bin/env bash
# Perchlet in the host stand-in, with a console that is a real window (Wine's console on a desktop
# of its own). A recorder stands in for the notification area and prints every tray call: the
# console is minimised and goes to the tray, a click on the icon brings it back, and when the host
# exits with the console in the tray, the console comes back before the icon goes.
set -euo pipefail
test_exe=$ROOT/build/win32/consoletray/perchlet_plugin_test.exe
echo "The plugin loads with the host; the user minimises the console, then clicks the tray icon."
PERCHLET_TOUR=1 KEL_DISPLAY=1 "$WINERUN" "$test_exe" --gtest_brief=1 \
  "--gtest_filter=Perchlet.AMinimisedConsoleHidesToTheTrayAndAClickBringsItBack:Perchlet.ExitingWhileHiddenShowsTheConsoleBeforeTheIconGoes"
