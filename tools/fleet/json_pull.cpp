#include "tools/fleet/json_pull.h"

#include "platform/errors.h"

namespace {

std::string Number(std::size_t value) { return std::to_string(value); }

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

constexpr unsigned kReplacement = 0xFFFD;  // stands for a lone half of a surrogate pair

}  // namespace

void JsonPull::Fail(const std::string& problem) const { throw EConvertError(problem); }

bool JsonPull::Refill() {
  if (exhausted_) return false;
  consumed_ += fill_;
  position_ = 0;
  fill_ = source_.Fetch(buffer_.get(), kBufferSize);
  exhausted_ = fill_ == 0;
  return !exhausted_;
}

int JsonPull::PeekAfterRefill() {
  if (!Refill()) return -1;
  return static_cast<unsigned char>(buffer_[position_]);
}

void JsonPull::SkipBlanks() {
  for (;;) {
    while (position_ < fill_) {
      const char c = buffer_[position_];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
      ++position_;
    }
    if (!Refill()) return;
  }
}

void JsonPull::Unexpected(int c) const {
  const std::size_t at = c < 0 ? Offset() : Offset() - 1;
  if (c < 0 && at == 0) Fail("empty file");
  if (c < 0) Fail("truncated: the file ends at byte " + Number(at) + " before the JSON document is complete");
  if (c == 0x1F && at == 0) Fail("compressed with gzip: unpack it first (gzip -d)");
  static constexpr char kHex[] = "0123456789abcdef";
  const std::string shown = c >= 0x20 && c < 0x7F ? std::string("'") + static_cast<char>(c) + "'"
                                                  : std::string("byte 0x") + kHex[c >> 4] + kHex[c & 0xF];
  Fail("not JSON: unexpected " + shown + " at byte " + Number(at));
}

JsonPull::Token JsonPull::Next() {
  if (!started_) {
    started_ = true;
    if (Peek() == 0xEF) {  // a byte order mark, as editors and PowerShell write UTF-8
      Take();
      for (const int expected : {0xBB, 0xBF}) {
        if (const int c = Take(); c != expected) Unexpected(c);
      }
    }
  }
  for (;;) {
    SkipBlanks();
    const int c = Peek();
    switch (expect_) {
      case Expect::Done:
        if (c < 0) return Token::End;
        Take();
        Fail("text after the JSON document at byte " + Number(Offset() - 1));
      case Expect::FirstValue:
        if (c == ']') {
          Take();
          return Close(']');
        }
        [[fallthrough]];
      case Expect::Value:
        if (c < 0) Unexpected(c);
        return Value(c);
      case Expect::FirstKey:
        if (c == '}') {
          Take();
          return Close('}');
        }
        [[fallthrough]];
      case Expect::Key: {
        Take();
        if (c != '"') Unexpected(c);
        ReadString();
        SkipBlanks();
        if (const int colon = Take(); colon != ':') Unexpected(colon);
        expect_ = Expect::Value;
        return Token::Key;
      }
      case Expect::AfterValue:
        Take();
        if (c == ',') {
          expect_ = stack_.back() == '{' ? Expect::Key : Expect::Value;
          continue;
        }
        if (c == '}' || c == ']') return Close(static_cast<char>(c));
        Unexpected(c);
    }
  }
}

JsonPull::Token JsonPull::Value(int c) {
  switch (c) {
    case '{':
    case '[':
      Take();
      return Open(static_cast<char>(c));
    case '"':
      Take();
      ReadString();
      ValueEnded();
      return Token::String;
    case 't':
      ReadWord("true");
      ValueEnded();
      return Token::True;
    case 'f':
      ReadWord("false");
      ValueEnded();
      return Token::False;
    case 'n':
      ReadWord("null");
      ValueEnded();
      return Token::Null;
    default:
      if (c != '-' && !IsDigit(c)) {
        Take();
        Unexpected(c);
      }
      ReadNumber();
      ValueEnded();
      return Token::Number;
  }
}

JsonPull::Token JsonPull::Open(char bracket) {
  if (stack_.size() >= kMaxDepth) Fail("nested deeper than " + Number(kMaxDepth) + " levels at byte " + Number(Offset()));
  stack_.push_back(bracket);
  expect_ = bracket == '{' ? Expect::FirstKey : Expect::FirstValue;
  return bracket == '{' ? Token::BeginObject : Token::BeginArray;
}

JsonPull::Token JsonPull::Close(char bracket) {
  const char opener = bracket == '}' ? '{' : '[';
  if (stack_.empty() || stack_.back() != opener) Unexpected(bracket);
  stack_.pop_back();
  ValueEnded();
  return bracket == '}' ? Token::EndObject : Token::EndArray;
}

void JsonPull::ReadString() {
  text_.clear();
  for (;;) {
    if (position_ == fill_ && !Refill()) Unexpected(-1);
    const char* begin = buffer_.get() + position_;
    const char* end = buffer_.get() + fill_;
    const char* p = begin;
    while (p < end && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20) ++p;
    if (keepText_) text_.append(begin, p);
    position_ += static_cast<std::size_t>(p - begin);
    if (text_.size() > kMaxText) Fail("a text longer than 1 MiB at byte " + Number(Offset()));
    if (p == end) continue;
    ++position_;
    if (*p == '"') return;
    if (*p != '\\') Fail("a control character inside a text at byte " + Number(Offset() - 1));
    if (!keepText_) {
      // An escape only has to be passed over: its second byte never ends the text.
      if (Take() < 0) Unexpected(-1);
      continue;
    }
    ReadEscape();
  }
}

unsigned JsonPull::ReadHex4() {
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) {
    const int c = Take();
    unsigned digit = 0;
    if (IsDigit(c)) digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else Unexpected(c);
    value = value * 16 + digit;
  }
  return value;
}

void JsonPull::ReadEscape() {
  const int c = Take();
  switch (c) {
    case '"': text_ += '"'; return;
    case '\\': text_ += '\\'; return;
    case '/': text_ += '/'; return;
    case 'b': text_ += '\b'; return;
    case 'f': text_ += '\f'; return;
    case 'n': text_ += '\n'; return;
    case 'r': text_ += '\r'; return;
    case 't': text_ += '\t'; return;
    case 'u': break;
    default: Unexpected(c);
  }
  unsigned code = ReadHex4();
  if (code >= 0xDC00 && code <= 0xDFFF) code = kReplacement;
  if (code >= 0xD800 && code <= 0xDBFF) {
    // A pair's second half must follow at once; what follows otherwise is read as usual.
    if (Peek() == '\\') {
      Take();
      if (const int u = Take(); u != 'u') Unexpected(u);
      const unsigned low = ReadHex4();
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(text_, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
        return;
      }
      AppendUtf8(text_, kReplacement);
      code = low >= 0xD800 && low <= 0xDFFF ? kReplacement : low;
    } else {
      code = kReplacement;
    }
  }
  AppendUtf8(text_, code);
}

void JsonPull::ReadNumber() {
  text_.clear();
  const auto digits = [this] {
    std::size_t count = 0;
    while (IsDigit(Peek())) {
      text_ += static_cast<char>(Take());
      ++count;
    }
    if (count == 0) Unexpected(Take());
    return count;
  };
  if (Peek() == '-') text_ += static_cast<char>(Take());
  if (Peek() == '0') {
    text_ += static_cast<char>(Take());
  } else {
    digits();
  }
  if (Peek() == '.') {
    text_ += static_cast<char>(Take());
    digits();
  }
  if (Peek() == 'e' || Peek() == 'E') {
    text_ += static_cast<char>(Take());
    if (Peek() == '+' || Peek() == '-') text_ += static_cast<char>(Take());
    digits();
  }
  if (text_.size() > 64) Fail("a number of more than 64 characters at byte " + Number(Offset()));
}

void JsonPull::ReadWord(const char* word) {
  for (const char* p = word; *p != '\0'; ++p) {
    if (const int c = Take(); c != static_cast<unsigned char>(*p)) Unexpected(c);
  }
}

void JsonPull::Skip(Token first) {
  if (first != Token::BeginObject && first != Token::BeginArray) return;
  std::size_t depth = 1;
  while (depth > 0) {
    const Token token = Next();
    if (token == Token::BeginObject || token == Token::BeginArray) ++depth;
    if (token == Token::EndObject || token == Token::EndArray) --depth;
  }
}

void JsonPull::SkipNext() {
  keepText_ = false;
  text_.clear();
  Skip(Next());
  keepText_ = true;
}

long long JsonPull::Integer(const std::string& field) const {
  const bool negative = !text_.empty() && text_[0] == '-';
  const std::size_t first = negative ? 1 : 0;
  if (text_.size() == first || text_.size() - first > 18) Fail(field + " is not a whole number: " + text_);
  long long value = 0;
  for (std::size_t i = first; i < text_.size(); ++i) {
    if (!IsDigit(text_[i])) Fail(field + " is not a whole number: " + text_);
    value = value * 10 + (text_[i] - '0');
  }
  return negative ? -value : value;
}
