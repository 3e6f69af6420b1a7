#!/usr/bin/env bash
# RuleTool snapshot against what Windows itself offers for the same machine, in the same
# prefix and run: `reg export` of HKLM and HKCU plus `cmd /c dir /s /b C:\`. The bench has a
# prefix of its own (under bench/run_all.sh too), a 64-bit one (both System folders, both
# Program Files), whose profile folders are plain folders and which has no drive reaching the
# host: Wine links Documents, Desktop and the like to the host's home and maps Z: to /, and a
# peer walking through those would list the host instead of the machine the snapshot records.
# Then the snapshot's peak memory with 20,000 more keys and 20,000 more files (1,000 folders)
# against the fresh prefix: a walk that holds one key or folder at a time needs about the same.
#   bash bench/run_snapshot_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
cd "$(dirname "$0")/.."
. bench/file_tree.sh

tool="$build/win/RuleTool.exe"
[ -f "$tool" ] || cmake --build "$build/win" --target RuleTool >/dev/null
wine_session_start "$build" bench_snapshot win64 nodisplay
trap wine_session_stop EXIT
c="$WINEPREFIX/drive_c"
# Profile folders that are links to the host become plain folders; every drive but C: goes.
find "$c/users" -type l | while read -r link; do rm -f "$link"; mkdir -p "$link"; done
for drive in "$WINEPREFIX"/dosdevices/*; do
  case "$(basename "$drive")" in c:) ;; *) rm -f "$drive" ;; esac
done
if [ -n "$(find "$c" -type l -lname '/*' ! -lname "$WINEPREFIX/*" | head -1)" ]; then
  echo "the bench prefix still reaches the host:"; find "$c" -type l -lname '/*' ! -lname "$WINEPREFIX/*" | head; exit 1
fi
out="$c/snapshot_bench"
rm -rf "$out"; mkdir -p "$out"
cp "$tool" "$out/RuleTool.exe"
snap() { wine 'C:\snapshot_bench\RuleTool.exe' snapshot "$@"; }

now() { date +%s.%N; }
# seconds since $1
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

peer_script="$out/peer.cmd"
cat >"$peer_script" <<'CMD'
@echo off
reg export HKLM C:\snapshot_bench\hklm.reg /y >nul
reg export HKCU C:\snapshot_bench\hkcu.reg /y >nul
dir /s /b C:\ > C:\snapshot_bench\dir.txt
CMD
sed -i 's/$/\r/' "$peer_script"

snapshot_times=(); peer_times=()
echo "== snapshot bench: a fresh 64-bit prefix without host links, Wine $(wine --version 2>/dev/null)"
for round in $(seq "$rounds"); do
  t=$(now); snap 'C:\snapshot_bench\s.snap' >/dev/null 2>&1; s=$(since "$t")
  t=$(now); wine cmd /c 'C:\snapshot_bench\peer.cmd' >/dev/null 2>&1 || true; p=$(since "$t")
  for f in hklm.reg hkcu.reg dir.txt; do [ -s "$out/$f" ] || { echo "the peer wrote no $f"; exit 1; }; done
  echo "round $round: snapshot $s s ($(wc -l <"$out/s.snap") lines), reg export + dir $p s ($(cat "$out"/*.reg "$out/dir.txt" | wc -c) bytes)"
  snapshot_times+=("$s"); peer_times+=("$p")
done
s=$(printf '%s\n' "${snapshot_times[@]}" | bench_median)
p=$(printf '%s\n' "${peer_times[@]}" | bench_median)
awk -v s="$s" -v p="$p" 'BEGIN { printf "snapshot / (reg export + dir): %.2f (aim <= 1)\n", s / p }'
bench_result "RuleTool snapshot of a fresh 64-bit prefix without host links" "$s" s \
  "reg export HKLM and HKCU + cmd /c dir /s /b C:\\ of the same prefix" "$p" lower "$rounds"

# Peak memory, fresh and with a larger registry and file system.
peak() { /usr/bin/time -f '%M' wine 'C:\snapshot_bench\RuleTool.exe' snapshot 'C:\snapshot_bench\m.snap' 2>&1 >/dev/null | tail -1; }
fresh=$(peak)
fresh_lines=$(wc -l <"$out/m.snap")
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  perl -e 'for my $g (1..100) { for my $k (1..200) { print "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SnapshotBench\\g$g\\k$k]\r\n\"v\"=\"x\"\r\n\r\n" } }'
} >"$out/keys.reg"
wine regedit /S 'C:\snapshot_bench\keys.reg' >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/Program Files/SnapshotBench"
make_file_tree "$WINEPREFIX/drive_c/Program Files/SnapshotBench"
grown=$(peak)
echo "peak memory: fresh prefix $((fresh / 1024)) MB ($fresh_lines lines), with 20,000 keys and 20,000 files more $((grown / 1024)) MB ($(wc -l <"$out/m.snap") lines)"
bench_result "RuleTool snapshot peak memory, prefix + 20,000 keys + 20,000 files" "$(awk -v k="$grown" 'BEGIN { print k / 1024 }')" MB \
  "the same on the fresh prefix" "$(awk -v k="$fresh" 'BEGIN { print k / 1024 }')" lower 1
wine reg delete 'HKLM\SOFTWARE\SnapshotBench' /f >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX/drive_c/Program Files/SnapshotBench" "$out"
