#include "tests/e2e/json_lines.h"

#include <sstream>

namespace {

class Cursor {
 public:
  explicit Cursor(const std::string& text) : text_(text) {}
  bool Take(char c) {
    if (position_ < text_.size() && text_[position_] == c) {
      ++position_;
      return true;
    }
    return false;
  }
  bool AtEnd() const { return position_ == text_.size(); }
  char Peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }

  std::optional<std::wstring> String() {
    if (!Take('"')) return std::nullopt;
    std::wstring out;
    while (position_ < text_.size()) {
      const char c = text_[position_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
        continue;
      }
      if (position_ == text_.size()) return std::nullopt;
      const char escaped = text_[position_++];
      switch (escaped) {
        case '"': out += L'"'; break;
        case '\\': out += L'\\'; break;
        case '/': out += L'/'; break;
        case 'n': out += L'\n'; break;
        case 'r': out += L'\r'; break;
        case 't': out += L'\t'; break;
        case 'u': {
          if (position_ + 4 > text_.size()) return std::nullopt;
          out += static_cast<wchar_t>(std::stoul(text_.substr(position_, 4), nullptr, 16));
          position_ += 4;
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // A number, true or false, as written.
  std::optional<std::wstring> Bare() {
    std::wstring out;
    while (position_ < text_.size() && text_[position_] != ',' && text_[position_] != '}') {
      out += static_cast<wchar_t>(text_[position_++]);
    }
    if (out.empty()) return std::nullopt;
    return out;
  }

 private:
  const std::string& text_;
  std::size_t position_ = 0;
};

}  // namespace

std::optional<JsonFields> ParseJsonObject(const std::string& line) {
  Cursor cursor(line);
  if (!cursor.Take('{')) return std::nullopt;
  JsonFields fields;
  if (cursor.Take('}')) return cursor.AtEnd() ? std::optional(fields) : std::nullopt;
  do {
    const auto name = cursor.String();
    if (!name || !cursor.Take(':')) return std::nullopt;
    const auto value = cursor.Peek() == '"' ? cursor.String() : cursor.Bare();
    if (!value) return std::nullopt;
    fields[std::string(name->begin(), name->end())] = *value;
  } while (cursor.Take(','));
  if (!cursor.Take('}') || !cursor.AtEnd()) return std::nullopt;
  return fields;
}

std::vector<JsonFields> ParseJsonLines(const std::string& text) {
  std::vector<JsonFields> objects;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (auto object = ParseJsonObject(line)) objects.push_back(std::move(*object));
  }
  return objects;
}
