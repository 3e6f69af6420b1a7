#pragma once
// The differences between two snapshots, found by one merge of their sorted records: a key
// or folder that is new or gone is given once, at its highest level, without what lies
// below it. With a baseline (a second snapshot taken before the installation), whatever
// differs between the first snapshot and the baseline changed on its own and is left out,
// a key or folder that came or went with all that lies below it.
#include <optional>
#include <string>

#include "tools/snapshot/snapshot_reader.h"

enum class ChangeKind { Added, Removed, Changed };

struct SnapshotChange {
  ChangeKind kind;
  SnapshotRecord record;  // as after; as before for Removed
  std::string oldData;    // Changed: the data before
};

class SnapshotDiff {
 public:
  SnapshotDiff(SnapshotReader& before, SnapshotReader& after, SnapshotReader* baseline);
  std::optional<SnapshotChange> Next();
  // The key or folder just given as new is not taken whole: what lies below it is given
  // item by item, each at its own highest new level.
  void DescendIntoLast() { addedTree_.reset(); }

 private:
  struct Stream {
    SnapshotReader* reader = nullptr;
    std::optional<SnapshotRecord> head;
    void Advance() { head = reader != nullptr ? reader->Next() : std::nullopt; }
  };

  // True when the baseline tells that the record at the merge's position changed on its own.
  bool ChangedOnItsOwn(const SnapshotRecord& at, const std::optional<SnapshotRecord>& before);
  static bool Inside(const std::optional<std::string>& tree, const SnapshotRecord& record);

  Stream before_;
  Stream after_;
  Stream baseline_;
  std::optional<std::string> noiseTree_;    // came or went on its own
  std::optional<std::string> addedTree_;    // reported new: what lies below is not
  std::optional<std::string> removedTree_;  // reported gone
};
