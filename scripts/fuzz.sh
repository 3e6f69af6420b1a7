#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan) and runs each on its
# seed corpus in fuzz/corpus/NAME for a bounded time.
#   bash scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET] [TOTAL_SECONDS]
# With TOTAL_SECONDS every target gets at most an equal share of it, so adding targets does
# not lengthen the run. Inputs found new go to BUILD_DIR/fuzz/new_corpus; an input that
# crashes is copied into the target's seed corpus (so every later run replays it first) and
# the script fails: fix the fault and commit the input with the fix.
set -uo pipefail
build=${1:-build}
seconds=${2:-15}
total=${3:-0}
cd "$(dirname "$0")/.."
ls fuzz/*.cpp >/dev/null 2>&1 || { echo "no fuzz targets"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B "$build/fuzz" -DCLEANER_FUZZ=ON >/dev/null || exit 1
targets=$(for src in fuzz/*.cpp; do basename "$src" .cpp; done)
count=$(echo "$targets" | wc -w)
if [ "$total" -gt 0 ] && [ $((total / count)) -lt "$seconds" ]; then
  seconds=$((total / count))
  [ "$seconds" -ge 5 ] || seconds=5
fi
echo "fuzz: $count targets, $seconds s each"
# shellcheck disable=SC2086
cmake --build "$build/fuzz" -j "$(nproc)" --target $targets || exit 1
failed=0
for name in $targets; do
  corpus="fuzz/corpus/$name"
  crashes="$build/fuzz/crashes/$name"
  rm -rf "$crashes"
  mkdir -p "$corpus" "$build/fuzz/new_corpus/$name" "$crashes"
  if "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$crashes/" "$build/fuzz/new_corpus/$name" "$corpus" \
      >"$build/fuzz/$name.log" 2>&1; then
    echo "fuzz $name: $(grep -Eo '#[0-9]+' "$build/fuzz/$name.log" | tail -1 | tr -d '#') runs, no crash"
  else
    echo "fuzz $name: FAILED"; tail -30 "$build/fuzz/$name.log"; failed=1
    for input in "$crashes"/*; do
      [ -f "$input" ] || continue
      cp "$input" "$corpus/$(basename "$input")"
      echo "fuzz $name: crash input kept as $corpus/$(basename "$input")"
    done
  fi
done
exit $failed
