#!/usr/bin/env bash
# What the backup costs, in the same run: a tree of 20,000 files in 1,000 folders deleted with
# the backup (its files moved into the backup folder by rename, the backup folder lying on
# the same volume as the tree) and an identical one without; then the 10,000-key registry tree
# deleted with the backup and without. After each round: both trees gone, the backup's files
# folder holding 20,000 files and its journal a line for each file and each key.
# The trees and the backups lie in memory (/dev/shm); PLACE=disk puts both on drive C:.
#   bash bench/run_backup_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
cd "$(dirname "$0")/.."
. bench/file_tree.sh

bench_tree_start "$build" backup_bench bench_backup

# The backup folder is named through a drive of its own (B: for the work folder), as a backup
# disk is on Windows: Wine marks the mount point /dev/shm as a link, which a backup refuses
# on the way to its folder.
mkdir -p "$work"
ln -sfn "$work" "$WINEPREFIX/dosdevices/b:"
backup_drive='B:\backup'

# check_backup FOLDER KIND COUNT: the one run below FOLDER journaled COUNT entries of KIND;
# for files, its files folder holds that many.
check_backup() {
  local runs=("$1"/*/)
  [ ${#runs[@]} = 1 ] || { echo "expected one backed-up run in $1, found ${#runs[@]}"; return 1; }
  local journaled
  journaled=$(grep -c -P "^\\d+\\t$2\\t" "${runs[0]}journal.txt" || true)
  [ "$journaled" = "$3" ] || { echo "journal of $1 has $journaled $2 lines, not $3"; return 1; }
  if [ "$2" = file ]; then
    local moved
    moved=$(find "${runs[0]}files" -type f | wc -l)
    [ "$moved" = "$3" ] || { echo "files folder of $1 holds $moved files, not $3"; return 1; }
  fi
}

plain_times=(); backup_times=()
echo "== backup bench: 20,000 files in 1,000 folders and 10,000 keys, backup on $place, Wine $(wine --version 2>/dev/null)"
for round in $(seq "$rounds"); do
  rm -rf "$work"
  for t in plain backed_up; do mkdir -p "$work/$t"; make_file_tree "$work/$t"; done
  sync
  order=ab; [ $((round % 2)) = 0 ] && order=ba
  out=$(wine "$(wine_path "$exe")" files "$(wine_path "$work/plain")" "$(wine_path "$work/backed_up")" \
    "$backup_drive" "$order" | tr -d '\r')
  echo "round $round ($order): $(echo "$out" | paste -sd ';' -)"
  check_backup "$work/backup" file 20000
  plain_times+=("$(echo "$out" | awk '/^without backup/ { print $3 }')")
  backup_times+=("$(echo "$out" | awk '/^with backup/ { print $3 }')")
done
p=$(printf '%s\n' "${plain_times[@]}" | bench_median)
b=$(printf '%s\n' "${backup_times[@]}" | bench_median)
echo "median: with backup $b s, without $p s"
awk -v b="$b" -v p="$p" 'BEGIN { printf "with / without backup: %.2f (aim < 1.5)\n", b / p }'
bench_result "folder tree delete with backup, 20,000 files in 1,000 folders" "$b" s \
  "the same without backup" "$p" lower "$rounds"

rm -rf "$work"
mkdir -p "$work"
wine "$(wine_path "$exe")" registry "$rounds" "$backup_drive" | tr -d '\r'
for round in $(seq "$rounds"); do check_backup "$work/backup/round$round" key 10000; done
