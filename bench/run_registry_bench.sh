#!/usr/bin/env bash
# Deletes a 10,000-key registry tree through the delete-key action and with `reg delete /f`
# in one Wine prefix, in the same run; prints both times and the ratio.
#   bash bench/run_registry_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
cd "$(dirname "$0")/.."
. bench/bench_session.sh

exe="$build/win/bench_registry_delete.exe"
if [ ! -f "$exe" ]; then
  cmake --build "$build/win" --target bench_registry_delete >/dev/null
fi

bench_session_begin "$build" bench_registry
echo "== registry tree delete bench (Wine $(wine --version 2>/dev/null))"
wine "$(wine_path "$exe")" "$rounds"
