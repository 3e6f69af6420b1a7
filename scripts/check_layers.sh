#!/usr/bin/env bash
# Fails when a source includes against the direction of the layers:
#   platform/ <- engine/ <- engine/rules/ <- engine/guards/ <- engine/run/;
#   engine/gateway/ builds on engine/; backup/ builds on engine/guards/ and engine/gateway/;
#   startup/, report/, ui/ build on the engine and backup/; app/ on all of them;
#   tools/ on startup/, backup/ and the engine.
# The run never includes backup/: the application hangs the backup on the run's hook.
# A folder may include itself and what it builds on, nothing else (tests, benches and fuzz
# targets may include everything). An include names its folder by the path before the file.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly engine_rooms="engine engine/rules engine/guards engine/gateway engine/run"

allowed() {
  case $1 in
    platform) echo "platform" ;;
    engine) echo "engine platform" ;;
    engine/rules) echo "engine/rules engine platform" ;;
    engine/guards) echo "engine/guards engine/rules engine platform" ;;
    engine/gateway) echo "engine/gateway engine platform" ;;
    engine/run) echo "engine/run engine/guards engine/rules engine platform" ;;
    backup) echo "backup engine/gateway engine/guards engine/rules engine platform" ;;
    startup | report | ui) echo "$1 backup $engine_rooms platform" ;;
    tools) echo "tools startup backup $engine_rooms platform" ;;
    app) echo "app startup report ui backup $engine_rooms platform" ;;
  esac
}

status=0
for folder in platform $engine_rooms backup startup report ui tools app; do
  ok=" $(allowed "$folder") "
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^#include "(.*)\/[^/]*".*/\1/' <<<"$text")
    if [[ $ok != *" $target "* ]]; then
      echo "$file:$line: $folder/ must not include $target/: $text"
      status=1
    fi
  done < <(grep -n -E '^#include "[a-z]+/' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
# Every source of the engine lies in one of its rooms.
for file in engine/*/*/*; do
  [ -e "$file" ] || continue
  echo "$file: the engine's rooms hold no folders of their own"
  status=1
done
[ $status = 0 ] && echo "include direction: ok"
exit $status
