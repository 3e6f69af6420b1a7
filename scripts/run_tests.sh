#!/usr/bin/env bash
# The whole test suite: host unit tests (sanitizers), short fuzz runs, then the Windows
# and end-to-end tests under Wine with their own display, prefix and server.
set -uo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
. scripts/wine_session.sh

status=0
passed=0
failed=0
summary=$(mktemp)
# Adds the counts of a ctest run ("... 3 tests failed out of 120") to the totals.
count_ctest() {
  local line
  line=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$summary" | tail -1)
  if [ -n "$line" ]; then
    local f=${line%% *} total=${line##* }
    failed=$((failed + f))
    passed=$((passed + total - f))
  fi
}

echo "== include direction"
bash scripts/check_layers.sh || status=1

echo "== host tests"
(cd "$build/host" && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$summary"
[ "${PIPESTATUS[0]}" = 0 ] || status=1
count_ctest

echo "== reproducible build"
if bash scripts/check_reproducible.sh "$build"; then passed=$((passed + 1)); else status=1; failed=$((failed + 1)); fi

echo "== fuzz (short runs)"
bash scripts/fuzz.sh "$build" 30 150 || status=1

echo "== Windows tests under Wine"
wine_session_start "$build" test
trap wine_session_stop EXIT
(cd "$build/win" && ctest --output-on-failure --timeout 300) 2>&1 | tee "$summary"
[ "${PIPESTATUS[0]}" = 0 ] || status=1
count_ctest
wine_session_stop
trap - EXIT

# e2e_tests.exe with a filter in a session of its own; its gtest summary adds to the totals.
run_e2e_session() {
  local name=$1 arch=$2 display=$3 filter=$4
  wine_session_start "$build" "$name" "$arch" "$display"
  trap wine_session_stop EXIT
  wine "$build/win/e2e_tests.exe" --gtest_filter="$filter" 2>&1 | tee "$summary"
  if [ "${PIPESTATUS[0]}" = 0 ]; then
    passed=$((passed + $(grep -Eo '^\[  PASSED  \] [0-9]+' "$summary" | grep -Eo '[0-9]+$' || echo 0)))
  else
    status=1
    failed=$((failed + 1))
  fi
  wine_session_stop
  trap - EXIT
}

if [ -f "$build/win/e2e_tests.exe" ]; then
  # The unattended modes must do their work where no window can be made, and the
  # interactive mode must fail loudly there.
  echo "== end-to-end tests without a display"
  run_e2e_session headless win32 nodisplay 'CleanerHeadless.*'
  # Most users run a 64-bit Windows, where the 32-bit program sees the 32-bit registry view.
  echo "== end-to-end tests on a 64-bit prefix"
  run_e2e_session test64 win64 '' 'CleanerEndToEnd.UnattendedRun*:CleanerEndToEnd.OnA64Bit*:BackupAndUndo.RoundTrip*:CaptureRoundTrip.DataAnd64Bit*:CaptureRoundTrip.APlainInstaller*:Footprint.*'
fi

# A Windows Installer package captured, cleaned and undone in a prefix of its own; the script
# counts its checks ("capture demo: 9 passed, 0 failed").
echo "== capture of a Windows Installer package"
bash scripts/capture_demo.sh "$build" 2>&1 | tee "$summary"
[ "${PIPESTATUS[0]}" = 0 ] || status=1
line=$(grep -Eo 'capture demo: [0-9]+ passed, [0-9]+ failed' "$summary" | tail -1)
if [ -n "$line" ]; then
  read -r p f < <(echo "$line" | grep -Eo '[0-9]+' | tr '\n' ' ')
  passed=$((passed + p))
  failed=$((failed + f))
else
  failed=$((failed + 1))
fi
rm -f "$summary"
[ "$status" = 0 ] || [ "$failed" -gt 0 ] || failed=1
echo "all tests: $passed passed, $failed failed"
exit $status
