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
exit $status
