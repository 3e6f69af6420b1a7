#!/usr/bin/env bash
# Writes a scrambled rule file as the cleaner reads it: bytes 0 to 30 stay, any other
# byte b becomes (226 - b) mod 256; lines end with CR LF.
#   bash bench/make_rule_file.sh LINES OUT [read|run]
# read: rule-like lines (registry paths, folders), for reading speed.
# run:  text between sections, with a small section every thousand lines whose entries name
#       keys, values and folders that do not exist: a whole run over the file stays short.
set -euo pipefail
lines=$1
out=$2
shape=${3:-read}
mkdir -p "$(dirname "$out")"
perl -e '
  my ($lines, $shape) = @ARGV;
  my $to = join "", map { sprintf "\\x%02x", ($_ <= 30 ? $_ : (226 - $_) % 256) } 0 .. 255;
  my $scramble = eval "sub { \$_[0] =~ tr/\\x00-\\xff/$to/r }" or die $@;
  binmode STDOUT;
  my @read = (
    "[Registry_Delete]",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\QRV\\Components\\{%08X-4A1B-11D3-9C2E}",
    "HKEY_CURRENT_USER\\Software\\Velmora\\QRV\\Settings\\Profile%d=LastScan",
    "%%Program%%\\Modules\\engine%06d.dll",
    "%%Shared%%\\Velmora\\Definitions\\base%05d.vdb",
  );
  my @section = (
    "[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\CleanerBenchMissing\\Key%d", "[Registry_Delete_End]",
    "[Registry_Delete_Val]", "HKEY_CURRENT_USER\\Software\\CleanerBenchMissing=Value%d", "[Registry_Delete_Val_End]",
    "[Delete_Folder]", "%%Program%%\\CleanerBenchMissing\\Folder%d", "[Delete_Folder_End]",
  );
  for my $i (1 .. $lines) {
    my $text;
    if ($shape eq "read") {
      $text = sprintf $read[$i % @read], $i;
    } else {
      my $at = $i % 1000;
      $text = $at < @section ? sprintf($section[$at], $i) : "Velmora QRV rule file, comment line $i";
    }
    print $scramble->($text), "\r\n";
  }' "$lines" "$shape" > "$out.part"
mv "$out.part" "$out"
