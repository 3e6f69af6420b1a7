#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given seconds on its corpus.
set -uo pipefail
build=${1:-build}
seconds=${2:-15}
cd "$(dirname "$0")/.."
ls fuzz/*.cpp >/dev/null 2>&1 || { echo "no fuzz targets"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B "$build/fuzz" -DCLEANER_FUZZ=ON >/dev/null || exit 1
targets=$(for src in fuzz/*.cpp; do basename "$src" .cpp; done)
# shellcheck disable=SC2086
cmake --build "$build/fuzz" -j "$(nproc)" --target $targets || exit 1
failed=0
for src in fuzz/*.cpp; do
  name=$(basename "$src" .cpp)
  corpus="fuzz/corpus/$name"
  mkdir -p "$corpus" "$build/fuzz/new_corpus/$name" "$build/fuzz/crashes"
  if "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/fuzz/crashes/$name-" "$build/fuzz/new_corpus/$name" "$corpus" \
      >"$build/fuzz/$name.log" 2>&1; then
    echo "fuzz $name: $(grep -Eo '#[0-9]+' "$build/fuzz/$name.log" | tail -1 | tr -d '#') runs, no crash"
  else
    echo "fuzz $name: FAILED"; tail -30 "$build/fuzz/$name.log"; failed=1
  fi
done
exit $failed
