# Sourced by the bench scripts that delete folder trees (it brings bench_session.sh along):
# every such bench makes its trees the same way and in the same places, so that their figures
# compare.
. "$(dirname "${BASH_SOURCE[0]}")/bench_session.sh"

#   make_file_tree ROOT    50 folders with 19 subfolders each (1,000 folders), 20 files of
#                          200 bytes in each (20,000 files), below the existing folder ROOT.
make_file_tree() {
  perl -e '
    my ($root) = @ARGV;
    my $data = "x" x 200;
    for my $g (1 .. 50) {
      for my $s (0 .. 19) {
        my $dir = $s ? "$root/group$g/sub$s" : "$root/group$g";
        mkdir $dir or die "$dir: $!" unless -d $dir;
        for my $f (1 .. 20) {
          open my $fh, ">", "$dir/file$f.dat" or die; print $fh $data; close $fh;
        }
      }
    }' "$1"
}

#   bench_tree_start BUILD_DIR PROGRAM SESSION
#                          sets exe, BUILD_DIR/win/bench_PROGRAM.exe (built when missing),
#                          begins the bench session SESSION, and sets place (memory, or disk with
#                          PLACE=disk or without a writable /dev/shm) and work, a folder there
#                          for the bench's trees that is removed when the script ends.
# In memory (/dev/shm, drive Z:) a busy disk does not blur the comparison; on disk the trees
# lie on the prefix's drive C:.
bench_tree_start() {
  exe="$1/win/bench_$2.exe"
  [ -f "$exe" ] || cmake --build "$1/win" --target "bench_$2" >/dev/null
  bench_session_begin "$1" "$3"
  place=${PLACE:-memory}
  if [ "$place" = disk ] || [ ! -w /dev/shm ]; then
    place=disk
    work="$WINEPREFIX/drive_c/$2"
  else
    work="/dev/shm/$2_$$"
  fi
  if [ -n "${BENCH_SESSION:-}" ]; then
    trap 'rm -rf "$work"' EXIT
  else
    trap 'wine_session_stop; rm -rf "$work"' EXIT
  fi
}
