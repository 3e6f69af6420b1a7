#include "platform/files/line_reader.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr char kCr = 13;
constexpr char kLf = 10;
constexpr char kCtrlZ = 26;
}  // namespace

int LineReader::Peek() {
  if (position_ == fill_) {
    if (exhausted_) return -1;
    fill_ = source_.Fetch(buffer_.data(), buffer_.size());
    position_ = 0;
    if (fill_ == 0) {
      exhausted_ = true;
      return -1;
    }
  }
  return static_cast<unsigned char>(buffer_[position_]);
}

bool LineReader::AtEnd() {
  const int next = Peek();
  return next < 0 || next == kCtrlZ;
}

std::string LineReader::ReadLine() {
  std::string line;
  for (;;) {
    if (Peek() < 0) return line;
    // Take the buffered run up to the next CR or Ctrl-Z in one step.
    const char* begin = buffer_.data() + position_;
    const char* end = buffer_.data() + fill_;
    const char* stop = std::find_if(begin, end, [](char c) { return c == kCr || c == kCtrlZ; });
    line.append(begin, stop);
    position_ += static_cast<std::size_t>(stop - begin);
    if (stop != end) break;
  }
  SkipLine();
  return line;
}

void LineReader::SkipLine() {
  for (;;) {
    if (Peek() < 0) return;
    const char* begin = buffer_.data() + position_;
    const char* end = buffer_.data() + fill_;
    const char* stop = std::find_if(begin, end, [](char c) { return c == kCr || c == kCtrlZ; });
    position_ += static_cast<std::size_t>(stop - begin);
    if (stop == end) continue;
    if (*stop == kCtrlZ) return;
    ++position_;  // the CR
    break;
  }
  if (Peek() == kLf) ++position_;
}

void LineWriter::WriteText(const std::string& text) { Append(text.data(), text.size()); }

void LineWriter::WriteLine() {
  static constexpr char kLineEnd[] = {kCr, kLf};
  Append(kLineEnd, sizeof kLineEnd);
}

void LineWriter::Append(const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t room = buffer_.size() - fill_;
    const std::size_t take = std::min(room, size);
    std::memcpy(buffer_.data() + fill_, data, take);
    fill_ += take;
    data += take;
    size -= take;
    if (fill_ == buffer_.size()) {
      // Emptied before storing: a failed store must not write the same block twice.
      fill_ = 0;
      sink_.Store(buffer_.data(), buffer_.size());
    }
  }
}

void LineWriter::Flush() {
  const std::size_t pending = fill_;
  fill_ = 0;
  if (pending > 0) sink_.Store(buffer_.data(), pending);
}

std::size_t MemoryByteSource::Fetch(char* buffer, std::size_t capacity) {
  const std::size_t take = std::min(capacity, bytes_.size() - offset_);
  std::memcpy(buffer, bytes_.data() + offset_, take);
  offset_ += take;
  return take;
}
