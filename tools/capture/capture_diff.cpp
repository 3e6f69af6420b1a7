#include "tools/capture/capture_diff.h"

SnapshotDiff::SnapshotDiff(SnapshotReader& before, SnapshotReader& after, SnapshotReader* baseline) {
  before_.reader = &before;
  after_.reader = &after;
  baseline_.reader = baseline;
  before_.Advance();
  after_.Advance();
  baseline_.Advance();
}

bool SnapshotDiff::Inside(const std::optional<std::string>& tree, const SnapshotRecord& record) {
  return tree && IsWithin(record.container, *tree);
}

bool SnapshotDiff::ChangedOnItsOwn(const SnapshotRecord& at, const std::optional<SnapshotRecord>& before) {
  if (baseline_.reader == nullptr) return false;
  // Records only the baseline holds came on their own; a key or folder among them makes
  // everything below it noise.
  while (baseline_.head && CompareRecords(*baseline_.head, at) < 0) {
    if (IsContainerRecord(baseline_.head->kind) && !Inside(noiseTree_, *baseline_.head)) {
      noiseTree_ = baseline_.head->container;
    }
    baseline_.Advance();
  }
  const bool inBaseline = baseline_.head && CompareRecords(*baseline_.head, at) == 0;
  const bool cameOrWent = inBaseline != before.has_value();
  const bool noise = cameOrWent || (inBaseline && !SameRecordData(*before, *baseline_.head));
  if (inBaseline) baseline_.Advance();
  if (cameOrWent && IsContainerRecord(at.kind)) noiseTree_ = at.container;
  return noise;
}

std::optional<SnapshotChange> SnapshotDiff::Next() {
  for (;;) {
    if (!before_.head && !after_.head) return std::nullopt;
    const bool takeBefore =
        before_.head && (!after_.head || CompareRecords(*before_.head, *after_.head) <= 0);
    const bool takeAfter =
        after_.head && (!before_.head || CompareRecords(*after_.head, *before_.head) <= 0);
    const SnapshotRecord& at = takeAfter ? *after_.head : *before_.head;
    std::optional<SnapshotRecord> before = takeBefore ? before_.head : std::nullopt;
    std::optional<SnapshotRecord> after = takeAfter ? after_.head : std::nullopt;
    if (!Inside(noiseTree_, at)) noiseTree_.reset();
    const bool noise = ChangedOnItsOwn(at, before) || Inside(noiseTree_, at);
    if (takeBefore) before_.Advance();
    if (takeAfter) after_.Advance();
    if (noise) continue;

    if (before && after) {
      if (SameRecordData(*before, *after)) continue;
      return SnapshotChange{ChangeKind::Changed, std::move(*after), std::move(before->data)};
    }
    if (after) {
      if (Inside(addedTree_, *after)) continue;
      if (IsContainerRecord(after->kind)) addedTree_ = after->container;
      return SnapshotChange{ChangeKind::Added, std::move(*after), {}};
    }
    if (Inside(removedTree_, *before)) continue;
    if (IsContainerRecord(before->kind)) removedTree_ = before->container;
    return SnapshotChange{ChangeKind::Removed, std::move(*before), {}};
  }
}
