#pragma once
// SHA-256 of a byte stream, for naming the exact rule file a run used.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
 public:
  Sha256();
  void Add(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits; the object is used up.
  std::string HexDigest();

 private:
  void Block(const unsigned char* block);
  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(std::string_view bytes);
