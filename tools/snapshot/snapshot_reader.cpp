#include "tools/snapshot/snapshot_reader.h"

#include "platform/errors.h"
#include "platform/text/text_rules.h"

namespace {

constexpr char kFolderPrefix[] = "#folder\t";

}  // namespace

std::string SnapshotFolders::Get(std::string_view name) const {
  for (const auto& [key, path] : entries) {
    if (key == name) return path;
  }
  return {};
}

std::vector<std::string> SnapshotFolders::All(std::string_view name) const {
  std::vector<std::string> paths;
  for (const auto& [key, path] : entries) {
    if (key == name) paths.push_back(path);
  }
  return paths;
}

std::string FormatFolderLine(std::string_view name, std::string_view path) {
  return std::string(kFolderPrefix) + EscapeField(name) + "\t" + EscapeField(path);
}

SnapshotReader::SnapshotReader(ByteSource& source, std::string name) : source_(source), name_(std::move(name)) {
  std::string line;
  if (!ReadLine(line) || line != kSnapshotFormatLine) {
    lineNumber_ = 1;
    Fail("not a snapshot (the first line is not \"" + std::string(kSnapshotFormatLine) + "\")");
  }
  while (ReadLine(line)) {
    if (!line.starts_with('#')) {
      pending_ = std::move(line);
      return;
    }
    if (!line.starts_with(kFolderPrefix)) continue;  // remarks
    const std::string_view rest = std::string_view(line).substr(sizeof(kFolderPrefix) - 1);
    const auto tab = rest.find('\t');
    if (tab == std::string_view::npos) Fail("a folder line without a path");
    try {
      folders_.entries.emplace_back(UnescapeField(rest.substr(0, tab)), UnescapeField(rest.substr(tab + 1)));
    } catch (const EConvertError& error) {
      Fail(error.Message());
    }
  }
}

void SnapshotReader::Fail(const std::string& problem) const {
  throw EConvertError((name_.empty() ? std::string() : name_ + ": ") + "line " +
                      IntToText(static_cast<long long>(lineNumber_)) + ": " + problem);
}

bool SnapshotReader::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    if (at_ == buffer_.size()) {
      if (ended_) {
        if (line.empty()) return false;
        ++lineNumber_;
        return true;
      }
      buffer_.resize(kLineReadChunk);
      buffer_.resize(source_.Fetch(buffer_.data(), buffer_.size()));
      at_ = 0;
      if (buffer_.empty()) ended_ = true;
      continue;
    }
    const auto feed = buffer_.find('\n', at_);
    if (feed == std::string::npos) {
      line.append(buffer_, at_, std::string::npos);
      at_ = buffer_.size();
      continue;
    }
    line.append(buffer_, at_, feed - at_);
    at_ = feed + 1;
    ++lineNumber_;
    return true;
  }
}

std::optional<SnapshotRecord> SnapshotReader::Next() {
  std::string line;
  if (pending_) {
    line = std::move(*pending_);
    pending_.reset();
  } else if (!ReadLine(line)) {
    return std::nullopt;
  }
  SnapshotRecord record;
  try {
    record = ParseRecord(line);
  } catch (const EConvertError& error) {
    Fail(error.Message());
  }
  if (last_ && CompareRecords(*last_, record) >= 0) {
    Fail("out of order (a snapshot's records are sorted; was the file edited?)");
  }
  last_ = record;
  return record;
}
