#pragma once
// Reads a snapshot: its header (lines beginning "#": the format line and the folders of the
// machine it was taken on) and then its records one at a time, checking their order.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files/line_reader.h"
#include "tools/snapshot/snapshot_record.h"

inline constexpr char kSnapshotFormatLine[] = "# RuleTool snapshot 1";

// The folders of the snapshot's machine, by the names the header gives them ("Windows",
// "System", "ProgramFiles", ...); a name may occur more than once ("Profile").
struct SnapshotFolders {
  std::vector<std::pair<std::string, std::string>> entries;
  std::string Get(std::string_view name) const;
  std::vector<std::string> All(std::string_view name) const;
};

// "#folder <TAB> name <TAB> path"
std::string FormatFolderLine(std::string_view name, std::string_view path);

class SnapshotReader {
 public:
  // Reads the header at once. Raises EConvertError ("line N: ...") for a file that is not a
  // snapshot; EInOutError from the source.
  // name, when given, begins every error message ("NAME: line N: ...").
  explicit SnapshotReader(ByteSource& source, std::string name = {});

  const SnapshotFolders& Folders() const { return folders_; }
  // The next record, or nothing at the end. Raises EConvertError naming the line for a
  // malformed record or one out of order.
  std::optional<SnapshotRecord> Next();
  std::size_t LineNumber() const { return lineNumber_; }

 private:
  bool ReadLine(std::string& line);
  [[noreturn]] void Fail(const std::string& problem) const;

  ByteSource& source_;
  std::string name_;
  std::string buffer_;
  std::size_t at_ = 0;
  bool ended_ = false;
  std::size_t lineNumber_ = 0;
  SnapshotFolders folders_;
  std::optional<std::string> pending_;  // the first record line, read with the header
  std::optional<SnapshotRecord> last_;
};
