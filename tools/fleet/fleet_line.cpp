#include "tools/fleet/fleet_line.h"

#include <algorithm>
#include <vector>

#include "platform/errors.h"

namespace {

constexpr char kSeparator = '\t';
constexpr char kListSeparator = '\x1F';
constexpr char kRunKind[] = "a";       // runs sort before
constexpr char kExpectedKind[] = "b";  // the expect list's line

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case kListSeparator: out += "\\u"; break;
      default: out += c;
    }
  }
}

std::string Unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'u': out += kListSeparator; break;
      default: out += text[i];
    }
  }
  return out;
}

class LineBuilder {
 public:
  LineBuilder& Field(std::string_view text) {
    if (!line_.empty()) line_ += kSeparator;
    AppendEscaped(line_, text);
    return *this;
  }
  LineBuilder& Number(long long value) { return Field(std::to_string(value)); }
  // Each item escaped, the items separated by a byte no escaped item holds.
  LineBuilder& List(const std::vector<std::string>& items) {
    line_ += kSeparator;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i > 0) line_ += kListSeparator;
      AppendEscaped(line_, items[i]);
    }
    return *this;
  }
  std::string Done() { return std::move(line_); }

 private:
  std::string line_;
};

std::vector<std::string_view> Fields(std::string_view line, std::size_t most) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (fields.size() + 1 < most) {
    const std::size_t tab = line.find(kSeparator, at);
    if (tab == std::string_view::npos) break;
    fields.push_back(line.substr(at, tab - at));
    at = tab + 1;
  }
  fields.push_back(line.substr(at));
  return fields;
}

std::vector<std::string> ListOf(std::string_view field) {
  std::vector<std::string> items;
  if (field.empty()) return items;
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = field.find(kListSeparator, at);
    items.push_back(Unescaped(field.substr(at, end - at)));
    if (end == std::string_view::npos) return items;
    at = end + 1;
  }
}

long long NumberOf(std::string_view field) {
  long long value = 0;
  const bool negative = !field.empty() && field[0] == '-';
  for (std::size_t i = negative ? 1 : 0; i < field.size(); ++i) value = value * 10 + (field[i] - '0');
  return negative ? -value : value;
}

enum Column {
  kKey, kKind, kSortTime, kFile, kComputer, kExitCode, kSchema, kProgram, kSha, kStart, kEnd,
  kChanges, kFailed, kLeft, kScheduled, kErrors, kLeftLines, kReasons, kColumns
};

}  // namespace

std::string RunLine(const FleetRun& run) {
  std::string sortTime = UtcSortKey(run.end);
  if (sortTime.empty()) sortTime = UtcSortKey(run.start);
  LineBuilder line;
  line.Field(MachineKey(run.computer)).Field(kRunKind).Field(sortTime).Field(run.file).Field(run.computer);
  line.Number(run.exitCode).Number(run.schemaVersion).Field(run.programVersion).Field(run.ruleSha256);
  line.Field(run.start).Field(run.end);
  for (const CountField& count : kCountFields) line.Number(run.counts.*count.member);
  return line.List(run.left).List(run.reasons).Done();
}

std::string ExpectedLine(std::string_view name) {
  return LineBuilder().Field(MachineKey(name)).Field(kExpectedKind).Field("").Field("").Field(name).Done();
}

FleetLine ParseLine(std::string_view line) {
  const std::vector<std::string_view> fields = Fields(line, kColumns);
  FleetLine parsed;
  if (fields.size() < kComputer + 1) throw Exception("a scratch line of the fleet is damaged");
  parsed.key = Unescaped(fields[kKey]);
  parsed.expected = fields[kKind] == kExpectedKind;
  FleetRun& run = parsed.run;
  run.computer = Unescaped(fields[kComputer]);
  if (parsed.expected) return parsed;
  if (fields.size() != kColumns) throw Exception("a scratch line of the fleet is damaged");
  run.file = Unescaped(fields[kFile]);
  run.exitCode = NumberOf(fields[kExitCode]);
  run.schemaVersion = NumberOf(fields[kSchema]);
  run.programVersion = Unescaped(fields[kProgram]);
  run.ruleSha256 = Unescaped(fields[kSha]);
  run.start = Unescaped(fields[kStart]);
  run.end = Unescaped(fields[kEnd]);
  int column = kChanges;
  for (const CountField& count : kCountFields) run.counts.*count.member = static_cast<int>(NumberOf(fields[column++]));
  run.left = ListOf(fields[kLeftLines]);
  run.reasons = ListOf(fields[kReasons]);
  return parsed;
}

// By machine; then its runs before the expect list's line; the latest run first (by the end
// in UTC, then by the file's name, so that the order does not hang on the order of reading).
bool LineLess(std::string_view a, std::string_view b) {
  std::size_t atA = 0, atB = 0;
  const auto next = [](std::string_view line, std::size_t& at) {
    const std::size_t begin = std::min(at, line.size());
    const std::size_t tab = line.find(kSeparator, begin);
    at = tab == std::string_view::npos ? line.size() + 1 : tab + 1;
    return line.substr(begin, tab == std::string_view::npos ? std::string_view::npos : tab - begin);
  };
  for (int column = kKey; column <= kFile; ++column) {
    const std::string_view x = next(a, atA), y = next(b, atB);
    if (x == y) continue;
    return column == kKey || column == kKind ? x < y : x > y;
  }
  return false;
}
