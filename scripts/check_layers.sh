#!/usr/bin/env bash
# Fails when a source includes against the direction of the layers:
#   platform/ (what every room shares) <- platform/text/ <- platform/files/ <- platform/security/
#   <- platform/registry/; platform/processes/ builds on text and files; platform/live/ on all;
#   platform/ <- engine/ <- engine/rules/ <- engine/guards/ <- engine/run/;
#   engine/gateway/ builds on engine/; backup/ builds on engine/guards/ and engine/gateway/;
#   startup/, report/, ui/ build on the engine and backup/; app/ on all of them;
#   tools/ on startup/, backup/, report/ and the engine: tools/rules/ <- tools/plan/,
#   tools/snapshot/ <- tools/capture/ (which also uses tools/rules/), tools/fleet/; the rooms
#   build on the shared files at the top of tools/, and its dispatcher there calls every room.
# The run never includes backup/: the application hangs the backup on the run's hook.
# A folder may include itself and what it builds on, nothing else (tests, benches and fuzz
# targets may include everything). An include names its folder by the path before the file.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly platform_rooms="platform platform/text platform/files platform/security platform/registry platform/processes platform/live"
readonly engine_rooms="engine engine/rules engine/guards engine/gateway engine/run"
readonly tool_rooms="tools tools/rules tools/plan tools/snapshot tools/capture tools/fleet"
readonly below_tools="startup backup report $engine_rooms $platform_rooms"
readonly rooms_with_rooms="platform engine tools"

allowed() {
  case $1 in
    platform) echo "platform" ;;
    platform/text) echo "platform/text platform" ;;
    platform/files) echo "platform/files platform/text platform" ;;
    platform/security) echo "platform/security platform/files platform/text platform" ;;
    platform/registry) echo "platform/registry platform/security platform/files platform/text platform" ;;
    platform/processes) echo "platform/processes platform/files platform/text platform" ;;
    platform/live) echo "$platform_rooms" ;;
    engine) echo "engine $platform_rooms" ;;
    engine/rules) echo "engine/rules engine $platform_rooms" ;;
    engine/guards) echo "engine/guards engine/rules engine $platform_rooms" ;;
    engine/gateway) echo "engine/gateway engine $platform_rooms" ;;
    engine/run) echo "engine/run engine/guards engine/rules engine $platform_rooms" ;;
    backup) echo "backup engine/gateway engine/guards engine/rules engine $platform_rooms" ;;
    startup | report | ui) echo "$1 backup $engine_rooms $platform_rooms" ;;
    tools) echo "$tool_rooms $below_tools" ;;
    tools/rules) echo "tools/rules tools $below_tools" ;;
    tools/plan) echo "tools/plan tools/rules tools $below_tools" ;;
    tools/snapshot) echo "tools/snapshot tools $below_tools" ;;
    tools/capture) echo "tools/capture tools/snapshot tools/rules tools $below_tools" ;;
    tools/fleet) echo "tools/fleet tools $below_tools" ;;
    app) echo "app startup report ui backup $engine_rooms $platform_rooms" ;;
  esac
}

status=0
for folder in $platform_rooms $engine_rooms backup startup report ui $tool_rooms app; do
  ok=" $(allowed "$folder") "
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^#include "(.*)\/[^/]*".*/\1/' <<<"$text")
    if [[ $ok != *" $target "* ]]; then
      echo "$file:$line: $folder/ must not include $target/: $text"
      status=1
    fi
  done < <(grep -n -E '^#include "[a-z]+/' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
# Every source of a folder with rooms lies at its top or in one of its rooms, and no room
# holds a folder of its own.
for top in $rooms_with_rooms; do
  for file in "$top"/*/*/*; do
    [ -e "$file" ] || continue
    echo "$file: the rooms of $top/ hold no folders of their own"
    status=1
  done
done
for folder in platform/*/ tools/*/; do
  folder=${folder%/}
  case " $platform_rooms $tool_rooms " in
    *" $folder "*) ;;
    *) echo "$folder: not a room the layer check knows"; status=1 ;;
  esac
done
[ $status = 0 ] && echo "include direction: ok"
exit $status
