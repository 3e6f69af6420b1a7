#!/usr/bin/env bash
# Reads a scrambled rule file of one million lines through the line file under Wine and,
# in the same run, with plain 64 KiB reads; prints lines per second for both and the ratio.
#   bash bench/run_line_file_bench.sh [BUILD_DIR] [LINES]
set -euo pipefail
build=${1:-build}
lines=${2:-1000000}
cd "$(dirname "$0")/.."
. scripts/wine_session.sh

exe="$build/win/bench_read_rules.exe"
if [ ! -f "$exe" ]; then
  cmake --build "$build/win" --target bench_read_rules >/dev/null
fi

# Rule-like lines (registry paths, folders, section names), scrambled byte by byte as the
# rule file stores them: bytes 0 to 30 stay, any other byte b becomes (226 - b) mod 256.
data="$build/bench/rules_$lines.dat"
if [ ! -f "$data" ]; then
  mkdir -p "$build/bench"
  perl -e '
    my $to = join "", map { sprintf "\\x%02x", ($_ <= 30 ? $_ : (226 - $_) % 256) } 0 .. 255;
    my $scramble = eval "sub { \$_[0] =~ tr/\\x00-\\xff/$to/r }" or die $@;
    my @shapes = (
      "[Registry_Delete]",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\QRV\\Components\\{%08X-4A1B-11D3-9C2E}",
      "HKEY_CURRENT_USER\\Software\\Velmora\\QRV\\Settings\\Profile%d,LastScan",
      "%%Program%%\\Modules\\engine%06d.dll",
      "%%Shared%%\\Velmora\\Definitions\\base%05d.vdb",
    );
    binmode STDOUT;
    for my $i (1 .. $ARGV[0]) {
      print $scramble->(sprintf $shapes[$i % @shapes], $i), "\r\n";
    }' "$lines" > "$data.part"
  mv "$data.part" "$data"
fi

wine_session_start "$build" bench
trap wine_session_stop EXIT
echo "== line file read bench ($(stat -c %s "$data") bytes, Wine $(wine --version 2>/dev/null))"
wine "$(wine_path "$exe")" "$(wine_path "$data")" 3
