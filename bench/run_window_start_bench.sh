#!/usr/bin/env bash
# Time from process start to the main window shown, and the private memory of Cleaner.exe,
# under Wine with a warm server, beside a rule file of 10,000 lines; a bare window started
# the same way gives the floor that Wine itself costs.
#   bash bench/run_window_start_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-9}
cd "$(dirname "$0")/.."
. bench/bench_session.sh

exe="$build/win/bench_window_start.exe"
[ -f "$exe" ] || cmake --build "$build/win" --target bench_window_start >/dev/null

# The program in a folder of its own, with a scrambled rule file beside it (bytes 0 to 30
# stay, any other byte b becomes (226 - b) mod 256).
place="$build/bench/window_start"
rm -rf "$place"
mkdir -p "$place"
cp "$build/win/Cleaner.exe" "$place/"
perl -e '
  my $to = join "", map { sprintf "\\x%02x", ($_ <= 30 ? $_ : (226 - $_) % 256) } 0 .. 255;
  my $scramble = eval "sub { \$_[0] =~ tr/\\x00-\\xff/$to/r }" or die $@;
  binmode STDOUT;
  print $scramble->("[Delete_Folder]"), "\r\n";
  for my $i (1 .. 9998) { print $scramble->(sprintf "%%Program%%\\Bench\\missing%05d", $i), "\r\n"; }
  print $scramble->("[Delete_Folder_End]"), "\r\n";' > "$place/Do_list.dat"

bench_session_begin "$build" bench_window
echo "== main window start ($runs runs, Wine $(wine --version 2>/dev/null))"
bench=$(wine_path "$exe")
cleaner=$(wine_path "$place/Cleaner.exe")
(cd "$place" && wine "$bench" "$cleaner" TForm1 "$runs")
