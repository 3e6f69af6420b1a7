#!/usr/bin/env bash
# Takes the picture of the main window in docs/window.md: the window test that checks the screen
# after a run at 100 % saves what it read as a BMP, which becomes docs/main_window.png.
#   bash scripts/screenshot.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
. scripts/wine_session.sh

mkdir -p docs
bmp="$(pwd)/$build/main_window.bmp"
rm -f "$bmp"
wine_session_start "$build" screenshot
trap wine_session_stop EXIT
CLEANER_SCREENSHOT="$(wine_path "$bmp")" wine "$build/win/win_tests.exe" \
  --gtest_filter='MainWindowTest.ScreenAfterARunShowsTheFilledDiscAndTheRecordCount' >/dev/null
convert "$bmp" docs/main_window.png
echo "docs/main_window.png: $(identify -format '%wx%h' docs/main_window.png)"
