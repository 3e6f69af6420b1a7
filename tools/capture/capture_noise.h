#pragma once
// The places Windows and Wine change on their own, which a capture leaves out whatever
// happened there: random seeds, lists of recently used things, caches, logs, temporary
// folders, prefetch data, the event log, the Installer's package cache.
#include <span>
#include <string_view>

#include "tools/snapshot/snapshot_reader.h"

// The patterns as written: "*" stands for any run of characters, "{Windows}" and
// "{System}" for those folders of the snapshot's machine. A path matches a pattern when
// it is the place or lies below it; letters a to z in either case alike.
std::span<const std::string_view> BuiltInNoisePlaces();

// True when the record's key, value, folder or file lies in one of those places.
bool IsBuiltInNoise(const SnapshotRecord& record, const SnapshotFolders& folders);

// "*" matching any run of characters, letters a to z in either case alike.
bool MatchesPattern(std::string_view pattern, std::string_view text);
