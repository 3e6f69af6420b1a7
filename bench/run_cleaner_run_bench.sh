#!/usr/bin/env bash
# Cleaner.exe run unattended (run mode 1) under Wine, measured from outside, in one run:
#  - its processor time (user + system, /usr/bin/time) with no target process running,
#    against the wall time of the same run: the one-second pause after the first termination
#    pass must wait, not spin; and against the same run with termination switched off
#    (KILLPROCESS=0), so without the pause: the pause should cost next to nothing;
#  - the processor time of that run without termination, which finds nothing to remove (the
#    fixed cost of reading the rules and of the guards), against the start-up of a bare window:
#    the wall time of bench_window_start.exe --bare-once, shown and closed, started the same way;
#  - its peak private memory and peak working set (polled by bench_cleaner_run.exe) during a
#    run over a rule file of 1,000,000 lines, against the same run over 1,000 lines: flat
#    when the file is never held in memory.
#   bash bench/run_cleaner_run_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
cd "$(dirname "$0")/.."
. bench/bench_session.sh

driver="$build/win/bench_cleaner_run.exe"
[ -f "$driver" ] || cmake --build "$build/win" --target bench_cleaner_run >/dev/null
window="$build/win/bench_window_start.exe"
[ -f "$window" ] || cmake --build "$build/win" --target bench_window_start >/dev/null
window=$(cd "$(dirname "$window")" && pwd)/$(basename "$window")
mkdir -p "$build/bench/cleaner_run"
place=$(cd "$build/bench/cleaner_run" && pwd)

# prepare NAME LINES KILLPROCESS: Cleaner.exe in a folder of its own, its rule file of LINES
# lines and its settings for run mode 1.
prepare() {
  local folder="$place/$1"
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$build/win/Cleaner.exe" "$folder/"
  local rules="$place/rules_$2.dat"
  [ -f "$rules" ] || bash bench/make_rule_file.sh "$2" "$rules" run
  cp "$rules" "$folder/Do_list.dat"
  printf '[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nKILLPROCESS=%s\r\n[End_Options]\r\n' "$3" \
    >"$folder/QRV_RC.INI"
}

bench_session_begin "$build" bench_cleaner_run
prepare idle 1000 1
prepare big 1000000 0
prepare small 1000 0

echo "== processor time of an unattended run with no target process ($runs runs, Wine $(wine --version 2>/dev/null))"
# time_run NAME: one run of the folder's Cleaner.exe under /usr/bin/time; "wall processor".
time_run() {
  local code=0 wall user sys rss
  (cd "$place/$1" && /usr/bin/time -o "$place/time.one" -f '%e %U %S %M' wine Cleaner.exe) || code=$?
  read -r wall user sys rss <"$place/time.one"
  [ "$code" = 0 ] || { echo "Cleaner.exe in $1 exited $code" >&2; return 1; }
  echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $rss"
}
# A bare window's start-up, shown and closed, timed from outside as the cleaner is: seconds.
bare_run() {
  (cd "$place" && /usr/bin/time -o "$place/time.bare" -f '%e' wine "$(wine_path "$window")" --bare-once) >/dev/null
  cat "$place/time.bare"
}
: >"$place/times.idle"
: >"$place/times.small"
: >"$place/times.bare"
for run in $(seq "$runs"); do
  cpu=$(bare_run)
  echo "run $run: a bare window shown and closed:           wall $cpu s"
  echo "$cpu" >>"$place/times.bare"
  read -r wall cpu rss < <(time_run idle)
  echo "run $run: with the termination pass and its pause: wall $wall s, processor $cpu s, max RSS $rss KB"
  echo "$wall $cpu" >>"$place/times.idle"
  read -r wall cpu rss < <(time_run small)
  echo "run $run: without process termination:           wall $wall s, processor $cpu s, max RSS $rss KB"
  echo "$wall $cpu" >>"$place/times.small"
done
wall=$(awk '{ print $1 }' "$place/times.idle" | bench_median)
cpu=$(awk '{ print $2 }' "$place/times.idle" | bench_median)
nokill=$(awk '{ print $2 }' "$place/times.small" | bench_median)
echo "median: processor $cpu s of $wall s wall; without the termination pass $nokill s of processor"
bench_result "unattended run, processor time (no target process)" "$cpu" s "wall time of the same run" "$wall" lower "$runs"
bench_result "unattended run, processor time (no target process)" "$cpu" s "the same run without termination (no pause)" "$nokill" lower "$runs"
bare=$(bench_median <"$place/times.bare")
bench_result "unattended run finding nothing, processor time" "$nokill" s "a bare window's start-up, shown and closed" "$bare" lower "$runs"

memory_runs=$(( runs < 3 ? runs : 3 ))
echo "== peak memory of an unattended run over 1,000,000 and over 1,000 rule lines ($memory_runs runs each)"
wine "$(wine_path "$driver")" --check 32
for size in big small; do
  wine "$(wine_path "$driver")" "$(wine_path "$place/$size")" "$memory_runs" | tr -d '\r' | tee "$place/$size.runs"
  if awk '$NF != 0 { bad = 1 } END { exit !bad }' "$place/$size.runs"; then
    echo "Cleaner.exe over the $size rule file did not exit 0"
    exit 1
  fi
done
field() { awk -v f="$2" '{ for (i = 1; i < NF; i++) if ($i == f) print $(i + 1) }' "$place/$1.runs" | bench_median; }
echo "median: peak private $(field big peak_private_mb) MB over 1,000,000 lines, $(field small peak_private_mb) MB over 1,000;" \
  "run $(field big wall) s and $(field small wall) s"
bench_result "peak private memory, run over 1,000,000 rule lines" "$(field big peak_private_mb)" MB \
  "the same run over 1,000 lines" "$(field small peak_private_mb)" lower "$memory_runs"
bench_result "peak working set, run over 1,000,000 rule lines" "$(field big peak_working_set_mb)" MB \
  "the same run over 1,000 lines" "$(field small peak_working_set_mb)" lower "$memory_runs"
