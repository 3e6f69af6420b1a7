#include "tools/snapshot/snapshot_writer.h"

namespace {

constexpr std::size_t kFlushAt = 256 * 1024;
constexpr std::uint64_t kProgressEvery = 1000;  // ms

std::size_t IndexOf(RecordKind kind) {
  switch (kind) {
    case RecordKind::Key: return 0;
    case RecordKind::Value: return 1;
    case RecordKind::Directory: return 2;
    case RecordKind::File: return 3;
  }
  return 0;
}

}  // namespace

SnapshotWriter::SnapshotWriter(ByteSink& sink, std::ostream& progress, std::function<std::uint64_t()> now)
    : sink_(sink), progress_(progress), now_(std::move(now)) {
  buffer_ = std::string(kSnapshotFormatLine) + "\n";
  lastProgress_ = now_();
}

void SnapshotWriter::Folder(std::string_view name, std::string_view path) {
  buffer_ += FormatFolderLine(name, path);
  buffer_ += '\n';
}

void SnapshotWriter::Record(const SnapshotRecord& record) {
  buffer_ += FormatRecord(record);
  buffer_ += '\n';
  ++counts_[IndexOf(record.kind)];
  if (buffer_.size() >= kFlushAt) {
    sink_.Store(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  if ((counts_[0] + counts_[1] + counts_[2] + counts_[3]) % 64 == 0 && now_() - lastProgress_ >= kProgressEvery) {
    Progress(record, false);
  }
}

void SnapshotWriter::Flush() {
  if (!buffer_.empty()) sink_.Store(buffer_.data(), buffer_.size());
  buffer_.clear();
  if (progressShown_) progress_ << "snapshot: done: ";
  if (progressShown_) Progress({}, true);
}

std::uint64_t SnapshotWriter::Count(RecordKind kind) const { return counts_[IndexOf(kind)]; }

void SnapshotWriter::Progress(const SnapshotRecord& record, bool last) {
  lastProgress_ = now_();
  progressShown_ = true;
  if (!last) progress_ << "snapshot: ";
  progress_ << counts_[0] << " keys, " << counts_[1] << " values, " << counts_[2] << " folders, " << counts_[3]
            << " files";
  if (!last) progress_ << ", at " << record.container;
  progress_ << "\n";
  progress_.flush();
}
