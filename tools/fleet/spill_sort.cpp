#include "tools/fleet/spill_sort.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <system_error>

#include "platform/errors.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCannotCreate = 82;  // ERROR_CANNOT_MAKE
constexpr int kWriteFault = 29;
constexpr int kReadFault = 30;

std::string RandomTag() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device random;
  std::string tag;
  for (int i = 0; i < 4; ++i) {
    const unsigned value = random();
    for (int shift = 0; shift < 32; shift += 4) tag += kHex[(value >> shift) & 0xF];
  }
  return tag;
}

}  // namespace

FleetScratch::FleetScratch(const fs::path& base) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::error_code error;
    const fs::path candidate = base / ("RuleTool-fleet-" + RandomTag());
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw EInOutError(kCannotCreate);
}

FleetScratch::~FleetScratch() {
  std::error_code ignored;  // a scratch file still open elsewhere must not end the program
  fs::remove_all(path_, ignored);
}

fs::path FleetScratch::NewFile() { return path_ / ("part-" + std::to_string(next_++) + ".txt"); }

struct SpillSort::Run {
  explicit Run(const fs::path& path) : in(path, std::ios::binary) {
    if (!in.is_open()) throw EInOutError(kReadFault);
    Advance();
  }
  // A scratch file that cannot be read to its end would lose lines: that is an error.
  void Advance() {
    has = static_cast<bool>(std::getline(in, line));
    if (!has && !in.eof()) throw EInOutError(kReadFault);
  }
  std::ifstream in;
  std::string line;
  bool has = false;
};

SpillSort::SpillSort(FleetScratch& scratch, Less less, std::size_t bufferBytes)
    : scratch_(scratch), less_(less), bufferBytes_(bufferBytes) {
  buffer_.reserve(bufferBytes_);
}

SpillSort::~SpillSort() = default;

void SpillSort::Add(std::string_view line) {
  if (!buffer_.empty() && buffer_.size() + line.size() > bufferBytes_) WriteBuffer();
  lines_.emplace_back(static_cast<std::uint32_t>(buffer_.size()), static_cast<std::uint32_t>(line.size()));
  buffer_.append(line);
}

void SpillSort::SortBuffer() {
  const std::string& buffer = buffer_;
  const Less less = less_;
  std::stable_sort(lines_.begin(), lines_.end(), [&buffer, less](const auto& a, const auto& b) {
    return less(std::string_view(buffer).substr(a.first, a.second), std::string_view(buffer).substr(b.first, b.second));
  });
}

void SpillSort::WriteBuffer() {
  SortBuffer();
  const fs::path path = scratch_.NewFile();
  std::ofstream out(path, std::ios::binary);
  for (const auto& [start, length] : lines_) {
    out.write(buffer_.data() + start, length);
    out.put('\n');
  }
  out.close();
  if (!out) throw EInOutError(kWriteFault);
  files_.push_back(path);
  buffer_.clear();
  lines_.clear();
}

void SpillSort::Merge(std::vector<fs::path> files, const fs::path& into) {
  std::vector<std::unique_ptr<Run>> runs;
  for (const fs::path& file : files) runs.push_back(std::make_unique<Run>(file));
  std::ofstream out(into, std::ios::binary);
  for (;;) {
    Run* first = nullptr;
    for (const auto& run : runs) {
      if (run->has && (first == nullptr || less_(run->line, first->line))) first = run.get();
    }
    if (first == nullptr) break;
    out << first->line << '\n';
    first->Advance();
  }
  out.close();
  if (!out) throw EInOutError(kWriteFault);
  runs.clear();
  std::error_code ignored;
  for (const fs::path& file : files) fs::remove(file, ignored);
}

void SpillSort::StartMerge() {
  while (files_.size() > kMergeWays) {
    const std::vector<fs::path> first(files_.begin(), files_.begin() + kMergeWays);
    const fs::path into = scratch_.NewFile();
    Merge(first, into);
    files_.erase(files_.begin(), files_.begin() + kMergeWays);
    files_.push_back(into);
  }
  for (const fs::path& file : files_) runs_.push_back(std::make_unique<Run>(file));
}

bool SpillSort::Next(std::string& line) {
  if (!finished_) {
    finished_ = true;
    if (files_.empty()) {
      SortBuffer();
    } else {
      if (!lines_.empty()) WriteBuffer();
      // The buffer's memory goes back before the merge's file buffers take theirs.
      std::string().swap(buffer_);
      std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(lines_);
      StartMerge();
    }
  }
  if (runs_.empty()) {
    if (nextInBuffer_ == lines_.size()) return false;
    const auto [start, length] = lines_[nextInBuffer_++];
    line.assign(buffer_, start, length);
    return true;
  }
  Run* first = nullptr;
  for (const auto& run : runs_) {
    if (run->has && (first == nullptr || less_(run->line, first->line))) first = run.get();
  }
  if (first == nullptr) return false;
  line = first->line;
  first->Advance();
  return true;
}
