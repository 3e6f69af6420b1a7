#!/usr/bin/env bash
# RuleTool fleet over generated fleets of 1,000 and 100,000 reports of typical size, against a
# short Python script that parses every report with json.load and counts outcomes (the peer),
# in the same run; and the tool's peak memory at 100,000 reports against that at 1,000. The
# tool is the host build, optimised, as an administrator runs it on a workstation. Every run's
# summary, CSV and page are checked against what the generated reports add up to.
#   bash bench/run_fleet_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
cd "$(dirname "$0")/.."
. bench/bench_session.sh

tool_build="$build/bench-host"
cmake -S . -B "$tool_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tool_build" --target RuleTool -j2 >/dev/null
tool="$tool_build/RuleTool"
work="$build/bench/fleet"
mkdir -p "$work"

# measure OUT_FILE COMMAND...: one timed run; appends "seconds peak_kb" to OUT_FILE.
measure() {
  local into=$1
  shift
  local code=0
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt" || code=$?
  # The fleet command ends with 1 when some report is unreadable, as the generated fleets have.
  if [ "$code" -gt 1 ]; then
    cat "$work/stderr.txt" >&2
    return 1
  fi
  tail -1 "$work/time.txt" >>"$into"
}

for machines in 1000 100000; do
  fleet="$build/bench/fleet_$machines"
  if [ ! -f "$fleet/expected.txt" ]; then
    rm -rf "$fleet"
    mkdir -p "$fleet"
    echo "== writing $machines reports into $fleet"
    python3 bench/fleet_make_reports.py "$machines" "$fleet"
  fi
  echo "== $machines machines: $(find "$fleet" -name '*.json' | wc -l) reports, $(du -sh "$fleet" | cut -f1)"
  python3 bench/fleet_peer.py "$fleet" >/dev/null  # the reports in the page cache for both
  : >"$work/tool_$machines.txt"
  : >"$work/peer_$machines.txt"
  for ((round = 1; round <= rounds; round++)); do
    rm -rf "$work/out_$machines"
    measure "$work/tool_$machines.txt" "$tool" fleet "$fleet" -o "$work/out_$machines"
    measure "$work/peer_$machines.txt" python3 bench/fleet_peer.py "$fleet"
  done
  python3 bench/fleet_check.py "$work/out_$machines" "$fleet/expected.txt"
  sed -n '1,12p' "$work/out_$machines/fleet-summary.txt"
  tool_time=$(cut -d' ' -f1 "$work/tool_$machines.txt" | bench_median)
  peer_time=$(cut -d' ' -f1 "$work/peer_$machines.txt" | bench_median)
  echo "tool: $(tr '\n' ';' <"$work/tool_$machines.txt") peer: $(tr '\n' ';' <"$work/peer_$machines.txt") (seconds, peak KB)"
  bench_result "fleet summary of $machines reports" "$tool_time" s "python json.load of each" "$peer_time" lower "$rounds"
  cut -d' ' -f2 "$work/tool_$machines.txt" | bench_median >"$work/memory_$machines.txt"
done
memory_small=$(awk '{ print $1 / 1024 }' "$work/memory_1000.txt")
memory_large=$(awk '{ print $1 / 1024 }' "$work/memory_100000.txt")
bench_result "fleet peak memory at 100000 reports" "$memory_large" MB "the same at 1000 reports" "$memory_small" lower "$rounds"
