#pragma once
// RuleTool capture: the rule text for what an installation added between two snapshots.
#include <cstddef>
#include <string>
#include <string_view>

#include "tools/snapshot/snapshot_reader.h"

struct CapturedRules {
  std::string text;  // Windows-1251, CR LF line ends: what RuleTool encode takes
  std::size_t rules = 0;
  std::size_t remarks = 0;
};

// Every entry written passes RuleTool check without a finding; what the cleaner's guards
// would refuse, what the rule format cannot express and what only this machine's own paths
// can name become remark lines (outside every section) saying why. Raises EConvertError for
// a malformed snapshot, EInOutError from reading one.
// A remark as a rule line can store it: every character without a Windows-1251 byte, and
// every byte a rule line cannot store (196 to 226), becomes "?".
std::string StorableRemark(std::string_view text);

CapturedRules CaptureRules(SnapshotReader& before, SnapshotReader& after, SnapshotReader* baseline);
