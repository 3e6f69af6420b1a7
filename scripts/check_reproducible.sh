#!/usr/bin/env bash
# Builds Cleaner.exe and RuleTool.exe a second time from scratch in another folder and
# compares them byte for byte with the build's own: no time stamp, path or other trace of
# the build's place and moment may reach them. The compiler cache is bypassed, so that the
# compiler, not only the linker, is seen to give the same bytes.
# usage: scripts/check_reproducible.sh BUILD   (BUILD/win must be built)
set -uo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
first=$build/win
second=$(realpath -m "$build")/reproduced-elsewhere/win
rm -rf "$second"
trap 'rm -rf "$(dirname "$second")"' EXIT
export CCACHE_DISABLE=1
if ! cmake -S . -B "$second" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null ||
   ! cmake --build "$second" -j 2 --target Cleaner RuleTool >"$second/build.log" 2>&1; then
  cat "$second/build.log" 2>/dev/null | tail -20
  echo "FAIL: the second build did not finish"
  exit 1
fi
status=0
for exe in Cleaner.exe RuleTool.exe; do
  if ! cmp "$first/$exe" "$second/$exe"; then
    echo "FAIL: $exe differs between two builds of the same tree"; status=1
  elif grep -aqF -e "$PWD" -e "$second" "$first/$exe"; then
    echo "FAIL: $exe holds the path of its source or build folder"; status=1
  else
    echo "ok: $exe is the same in both builds ($(stat -c %s "$first/$exe") bytes), without paths"
  fi
done
exit $status
