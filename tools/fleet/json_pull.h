#pragma once
// Reads one JSON document token by token from a byte source, through a fixed buffer: a report
// of any size is read without holding it whole. Strings come back unescaped as UTF-8. Every
// fault raises EConvertError with a reason an administrator can act on: the data ends inside
// the document (a truncated file), it is not JSON at all, or text follows the document.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/line_reader.h"

class JsonPull {
 public:
  enum class Token { BeginObject, EndObject, BeginArray, EndArray, Key, String, Number, True, False, Null, End };

  explicit JsonPull(ByteSource& source) : source_(source) {}

  // The next token; End once the document is complete and nothing but blanks follows it.
  Token Next();
  // The text of the last Key, String or Number token.
  const std::string& Text() const { return text_; }
  // After a BeginObject or BeginArray token: reads up to its end. After any other: nothing.
  void Skip(Token first);
  // Reads the next value whole without keeping its texts: faster where they are not needed.
  void SkipNext();
  // The last Number token as an integer; EConvertError naming the field when it is not one.
  long long Integer(const std::string& field) const;

  // How far the reading has come, in bytes.
  std::size_t Offset() const { return consumed_ + position_; }
  [[noreturn]] void Fail(const std::string& problem) const;

  static constexpr std::size_t kMaxText = 1 << 20;
  static constexpr std::size_t kMaxDepth = 256;

 private:
  enum class Expect { Value, FirstValue, FirstKey, Key, AfterValue, Done };

  // The next byte without consuming it; -1 at the end of the data.
  int Peek() { return position_ < fill_ ? static_cast<unsigned char>(buffer_[position_]) : PeekAfterRefill(); }
  int Take() {
    const int c = Peek();
    if (c >= 0) ++position_;
    return c;
  }
  int PeekAfterRefill();
  void SkipBlanks();
  [[noreturn]] void Unexpected(int c) const;
  Token Value(int c);
  Token Open(char bracket);
  Token Close(char bracket);
  void ValueEnded() { expect_ = stack_.empty() ? Expect::Done : Expect::AfterValue; }
  void ReadString();
  void ReadEscape();
  unsigned ReadHex4();
  void ReadNumber();
  void ReadWord(const char* rest);
  bool Refill();

  ByteSource& source_;
  static constexpr std::size_t kBufferSize = 64 * 1024;
  std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::size_t position_ = 0;
  std::size_t fill_ = 0;
  std::size_t consumed_ = 0;
  bool exhausted_ = false;
  std::string text_;
  std::vector<char> stack_;
  Expect expect_ = Expect::Value;
  bool started_ = false;
  bool keepText_ = true;
};
