#pragma once
// Writes a snapshot: the header, then records in the order the walks produce them, with a
// progress line on standard error about once a second.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "platform/files/line_reader.h"
#include "tools/snapshot/snapshot_reader.h"

class SnapshotWriter {
 public:
  // now: a clock in milliseconds, so that the progress line can be tested.
  SnapshotWriter(ByteSink& sink, std::ostream& progress, std::function<std::uint64_t()> now);

  void Folder(std::string_view name, std::string_view path);  // header lines, before any record
  void Record(const SnapshotRecord& record);
  void Flush();  // writes what is buffered; the last call

  std::uint64_t Count(RecordKind kind) const;

 private:
  void Progress(const SnapshotRecord& record, bool last);

  ByteSink& sink_;
  std::ostream& progress_;
  std::function<std::uint64_t()> now_;
  std::string buffer_;
  std::uint64_t counts_[4] = {0, 0, 0, 0};
  std::uint64_t lastProgress_ = 0;
  bool progressShown_ = false;
};
