#!/usr/bin/env bash
# The whole test suite: host unit tests (sanitizers), short fuzz runs, then the Windows
# and end-to-end tests under Wine with their own display, prefix and server.
set -uo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
. scripts/wine_session.sh

status=0
echo "== host tests"
(cd "$build/host" && ctest --output-on-failure -j "$(nproc)") || status=1

echo "== fuzz (short runs)"
bash scripts/fuzz.sh "$build" 30 150 || status=1

echo "== Windows tests under Wine"
wine_session_start "$build" test
trap wine_session_stop EXIT
(cd "$build/win" && ctest --output-on-failure --timeout 300) || status=1
wine_session_stop
trap - EXIT

# Most users run a 64-bit Windows, where the 32-bit program sees the 32-bit registry view.
if [ -f "$build/win/e2e_tests.exe" ]; then
  echo "== end-to-end tests on a 64-bit prefix"
  wine_session_start "$build" test64 win64
  trap wine_session_stop EXIT
  wine "$build/win/e2e_tests.exe" --gtest_filter='CleanerEndToEnd.UnattendedRun*:CleanerEndToEnd.OnA64Bit*' \
    || status=1
  wine_session_stop
  trap - EXIT
fi
exit $status
