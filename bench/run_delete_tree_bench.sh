#!/usr/bin/env bash
# Deletes a tree of 20,000 files in 1,000 folders three ways, in the same run: with the
# cleaner's DeleteFolderTree and with `cmd /c rd /s /q` under the same Wine, and with a
# native `rm -rf` as the floor. Three rounds with fresh trees; prints each and the medians.
# The trees lie in memory (/dev/shm, drive Z:) so that a busy disk does not blur the
# comparison; PLACE=disk puts them on the prefix's drive C: instead.
#   bash bench/run_delete_tree_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
cd "$(dirname "$0")/.."
. bench/file_tree.sh

bench_tree_start "$build" delete_tree_bench bench_delete

cleaner_times=(); rd_times=(); rm_times=()
echo "== delete tree bench: 20,000 files in 1,000 folders on $place, Wine $(wine --version 2>/dev/null)"
for round in $(seq "$rounds"); do
  rm -rf "$work"
  for t in cleaner rd native; do mkdir -p "$work/$t"; make_file_tree "$work/$t"; done
  [ "$(find "$work/cleaner" -type f | wc -l)" = 20000 ] && [ "$(find "$work/cleaner" -type d | wc -l)" = 1001 ]
  sync
  order=ab; [ $((round % 2)) = 0 ] && order=ba
  out=$(wine "$(wine_path "$exe")" "$(wine_path "$work/cleaner")" "$(wine_path "$work/rd")" "$order" | tr -d '\r')
  echo "round $round ($order): $(echo "$out" | paste -sd ';' -)"
  cleaner_times+=("$(echo "$out" | awk '/^DeleteFolderTree/ { print $2 }')")
  rd_times+=("$(echo "$out" | awk '/^rd/ { print $4 }')")
  start=$(date +%s%N); rm -rf "$work/native"; end=$(date +%s%N)
  rm_times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
  echo "round $round: rm -rf ${rm_times[-1]} s"
done
rm -rf "$work"
# The calls per file and per folder, counted on trees of their own.
mkdir -p "$work/count"
count_out=$(wine "$(wine_path "$exe")" count "$(wine_path "$work/count")" | tr -d '\r')
echo "$count_out"
rm -rf "$work"
c=$(printf '%s\n' "${cleaner_times[@]}" | bench_median)
r=$(printf '%s\n' "${rd_times[@]}" | bench_median)
n=$(printf '%s\n' "${rm_times[@]}" | bench_median)
echo "median: DeleteFolderTree $c s, cmd rd /s /q $r s, native rm -rf $n s"
awk -v c="$c" -v r="$r" 'BEGIN { printf "DeleteFolderTree / rd: %.2f (target <= 1.00)\n", c / r }'
bench_result "folder tree delete, 20,000 files in 1,000 folders" "$c" s "cmd /c rd /s /q, same Wine" "$r" lower "$rounds"
bench_result "folder tree delete, 20,000 files in 1,000 folders" "$c" s "native rm -rf (the floor)" "$n" lower "$rounds"
echo "$count_out" | grep -a -P '^RESULT\t' || true
