#!/usr/bin/env bash
# Every benchmark of the project in one Wine session, then one table: each figure beside the
# peer measured in the same run, both as medians of several rounds, and their ratio.
#   bash bench/run_all.sh [BUILD_DIR]
# Each bench prints lines "RESULT<TAB>figure<TAB>value<TAB>unit<TAB>peer<TAB>peer value<TAB>
# lower|higher<TAB>runs" among its own output; the full outputs stay in BUILD_DIR/bench/logs.
# The table also goes to BUILD_DIR/bench/table.md, ready for docs/benchmarks.md.
set -uo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
. bench/bench_session.sh

logs="$build/bench/logs"
results="$build/bench/results.tsv"
table="$build/bench/table.md"
mkdir -p "$logs"
: >"$results"

wine_session_start "$build" bench
trap wine_session_stop EXIT
export BENCH_SESSION=1

# run NAME SCRIPT ARGS...: one bench script, its RESULT lines kept; a failure is a table row.
run() {
  local name=$1
  shift
  if [ ! -f "$1" ]; then
    printf 'MISSING\t%s\n' "$name" >>"$results"
    return
  fi
  local start=$SECONDS
  printf '== %-14s ' "$name"
  # A bench that hangs becomes a failed row instead of holding up the whole table.
  if timeout "${BENCH_TIMEOUT:-1800}" bash "$@" >"$logs/$name.log" 2>&1; then
    grep -a -P '^RESULT\t' "$logs/$name.log" | tr -d '\r' >>"$results"
    echo "done in $((SECONDS - start)) s"
  else
    printf 'FAILED\t%s\n' "$name" >>"$results"
    echo "FAILED after $((SECONDS - start)) s, see $logs/$name.log"
    tail -5 "$logs/$name.log" | sed 's/^/   /'
  fi
}

# Rounds: five where a round takes seconds, three where one takes ten or more; the window
# starts, a fraction of a second each, 25 times, as their spread under load asks.
run line_file bench/run_line_file_bench.sh "$build" 1000000 5
run registry bench/run_registry_bench.sh "$build" 5
run delete_tree bench/run_delete_tree_bench.sh "$build" 3
run backup bench/run_backup_bench.sh "$build" 3
run cleaner_run bench/run_cleaner_run_bench.sh "$build" 5
run window_start bench/run_window_start_bench.sh "$build" 25
run snapshot bench/run_snapshot_bench.sh "$build" 5
run fleet bench/run_fleet_bench.sh "$build" 3

wine_session_stop
trap - EXIT

{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -m)), $(wine --version 2>/dev/null);"
  echo "medians of the given number of runs, figure and peer measured in the same run."
  echo
  echo "| figure | median | peer (same run) | peer median | ratio | better | runs |"
  echo "|---|---:|---|---:|---:|---|---:|"
  awk -F'\t' '
    function show(v, unit) {
      if (unit == "lines/s") return sprintf("%.2f M lines/s", v / 1e6)
      if (unit == "s" && v < 1) return sprintf("%.0f ms", v * 1000)
      if (unit == "s") return sprintf("%.2f s", v)
      if (unit == "MB") return sprintf("%.1f MB", v)
      return sprintf("%.3g %s", v, unit)
    }
    $1 == "RESULT" {
      ratio = $6 != 0 ? $3 / $6 : 0
      printf "| %s | %s | %s | %s | %.2f | %s | %s |\n", $2, show($3, $4), $5, show($6, $4), ratio, $7, $8
    }
    $1 == "FAILED" { printf "| %s | FAILED | | | | | |\n", $2 }
    $1 == "MISSING" { printf "| %s | not built | | | | | |\n", $2 }' "$results"
  echo
  echo "ratio = figure / peer; \"better\" says which way is good (lower time, higher rate)."
} | tee "$table"
! grep -q -P '^FAILED\t' "$results"
