#pragma once
// SHA-256 over bytes given in pieces, as lowercase hex: what a backup records of each copy
// it keeps, so that undo can tell the copy is the one the run made.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
 public:
  Sha256();
  void Add(const void* bytes, std::size_t size);
  // The digest of everything added, as 64 lowercase hex digits; the object is spent after it.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* block);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalSize_ = 0;
};

std::string Sha256Hex(std::string_view bytes);
