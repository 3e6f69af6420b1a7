#pragma once
// A byte source that hands out at most a few bytes per fetch, as a pipe or a slow disk may:
// every reader must give the same result whatever the size of its reads.
#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "platform/files/line_reader.h"

class TricklingSource : public ByteSource {
 public:
  TricklingSource(std::string bytes, std::size_t most) : bytes_(std::move(bytes)), most_(most) {}
  std::size_t Fetch(char* buffer, std::size_t capacity) override {
    const std::size_t take = std::min({capacity, most_, bytes_.size() - offset_});
    std::copy_n(bytes_.data() + offset_, take, buffer);
    offset_ += take;
    return take;
  }

 private:
  std::string bytes_;
  std::size_t most_;
  std::size_t offset_ = 0;
};
