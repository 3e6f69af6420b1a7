#!/usr/bin/env bash
# The version a build takes from its tree: commit count and hash, a version tag on the
# commit, other tags, and a tree without git.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.invalid GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@example.invalid
repo=$work/repo
git init -q "$repo"
commit() { git -C "$repo" commit -q --allow-empty -m "$1"; }
version() { cmake -DSOURCE="$1" -P "$here/print_version.cmake" 2>&1; }
hash() { git -C "$repo" rev-parse --short=7 HEAD; }

status=0
expect() {  # name, wanted, got
  if [ "$2" = "$3" ]; then echo "ok: $1: $3"; else echo "FAIL: $1: wanted \"$2\", got \"$3\""; status=1; fi
}
commit one; commit two; commit three
expect "three commits, no tag" "1.0.3.0|1.0.3.0 ($(hash))" "$(version "$repo")"
git -C "$repo" tag v2.4.1
expect "a version tag on the commit" "2.4.1.0|2.4.1.0" "$(version "$repo")"
git -C "$repo" tag nightly
git -C "$repo" tag 0.9-beta
expect "a version tag among other tags" "2.4.1.0|2.4.1.0" "$(version "$repo")"
commit four
expect "a version tag on an older commit" "1.0.4.0|1.0.4.0 ($(hash))" "$(version "$repo")"
git -C "$repo" tag 3.0.12
expect "a tag without v" "3.0.12.0|3.0.12.0" "$(version "$repo")"
mkdir "$work/plain"
expect "no git" "1.0.0.0|1.0.0.0 (no git)" "$(version "$work/plain")"
exit $status
