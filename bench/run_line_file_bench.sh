#!/usr/bin/env bash
# Reads a scrambled rule file of one million lines through the line file under Wine and,
# in the same run, with plain 64 KiB reads; prints lines per second for both and the ratio.
#   bash bench/run_line_file_bench.sh [BUILD_DIR] [LINES] [ROUNDS]
set -euo pipefail
build=${1:-build}
lines=${2:-1000000}
rounds=${3:-5}
cd "$(dirname "$0")/.."
. bench/bench_session.sh

exe="$build/win/bench_read_rules.exe"
if [ ! -f "$exe" ]; then
  cmake --build "$build/win" --target bench_read_rules >/dev/null
fi

data="$build/bench/rules_$lines.dat"
[ -f "$data" ] || bash bench/make_rule_file.sh "$lines" "$data" read

bench_session_begin "$build" bench
echo "== line file read bench ($(stat -c %s "$data") bytes, Wine $(wine --version 2>/dev/null))"
wine "$(wine_path "$exe")" "$(wine_path "$data")" "$rounds"
