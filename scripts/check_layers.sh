#!/usr/bin/env bash
# Fails when a source includes against the direction of the layers:
#   platform/ <- engine/ <- startup/, report/, ui/ <- app/;  tools/ builds on engine/ and startup/.
# A folder may include itself and what it builds on, nothing else (tests, benches and fuzz
# targets may include everything).
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case $1 in
    platform) echo "platform" ;;
    engine) echo "engine platform" ;;
    startup | report | ui) echo "$1 engine platform" ;;
    tools) echo "tools startup engine platform" ;;
    app) echo "app startup report ui engine platform" ;;
  esac
}

status=0
for folder in platform engine startup report ui tools app; do
  ok=" $(allowed $folder) "
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^#include "([a-z]+)\/.*/\1/' <<<"$text")
    if [[ $ok != *" $target "* ]]; then
      echo "$file:$line: $folder/ must not include $target/: $text"
      status=1
    fi
  done < <(grep -n -E '^#include "[a-z]+/' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
[ $status = 0 ] && echo "include direction: ok"
exit $status
