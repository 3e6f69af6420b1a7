#include "tools/rules/rule_check.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "platform/files/line_reader.h"
#include "platform/text/text_rules.h"
#include "tools/rules/entry_check.h"
#include "tools/rules/rule_encode.h"
#include "tools/rules/section_tracker.h"

namespace {

constexpr char kCtrlZ = 26;

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }
std::string Number(std::size_t value) { return IntToText(static_cast<long long>(value)); }
std::string Counted(std::size_t count, const std::string& noun) {
  return Number(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string_view TrimmedBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The header or end marker a line was meant to be when it differs from one only in letter
// case or surrounding blanks.
std::optional<std::string_view> MeantMarker(std::string_view line) {
  const std::string_view trimmed = TrimmedBlanks(line);
  for (const RuleSection& section : kRuleSections) {
    for (const std::string_view marker : {section.header, section.endMarker}) {
      if (line != marker && EqualsIgnoringAsciiCase(trimmed, marker)) return marker;
    }
  }
  return std::nullopt;
}

const RuleSection* SectionEndedBy(std::string_view line) {
  for (const RuleSection& section : kRuleSections) {
    if (line == section.endMarker) return &section;
  }
  return nullptr;
}

class SectionWalk {
 public:
  SectionWalk(std::vector<Finding>& findings, const PathProbe& exists) : findings_(findings), exists_(exists) {}

  void Line(std::size_t number, const std::string& text, bool judgeEntry) {
    const LineInSection place = tracker_.Next(number, text);
    if (place.role == LineRole::Outside) {
      Outside(number, text);
    } else if (place.role == LineRole::Entry) {
      Inside(number, text, *place.section, place.openedAt, judgeEntry);
    }
  }

  void End() {
    for (const auto& [number, other] : twins_) {
      if (pathEntries_.count(UpperAscii(other)) == 0 && exists_(other)) {
        Add(number, Quoted(other) + " exists too: the cleaner carries the entry out only where it names, so "
                                    "an entry is needed there if the product put files in both Program Files folders");
      }
    }
    const RuleSection* open = tracker_.Open();
    if (open == nullptr) return;
    Add(tracker_.OpenedAt(), "section " + Quoted(open->header) + " never ends: " + Quoted(open->endMarker) +
                                 " is missing, so its entries run to the end of the file");
  }

 private:
  void Add(std::size_t number, std::string message) { findings_.push_back({number, std::move(message)}); }

  void Outside(std::size_t number, const std::string& text) {
    if (SectionEndedBy(text) != nullptr) {
      Add(number, "end marker " + Quoted(text) + " outside its section: the line has no effect");
    } else if (const auto meant = MeantMarker(text)) {
      Add(number, Quoted(text) + " is not " + Quoted(*meant) +
                      " (headers and end markers match only exactly, letter case and blanks included): "
                      "the line has no effect");
    }
  }

  void Inside(std::size_t number, const std::string& text, const RuleSection& section, std::size_t openedAt,
              bool judgeEntry) {
    const std::string inSection =
        "inside the section " + Quoted(section.header) + " opened at line " + Number(openedAt);
    if (RuleSectionOpenedBy(text) != nullptr) {
      Add(number, "header " + Quoted(text) + " " + inSection + ": it is taken as an entry, not as a header");
    } else if (SectionEndedBy(text) != nullptr) {
      Add(number, "end marker " + Quoted(text) + " " + inSection +
                      ": it does not end that section and is taken as an entry");
    } else if (const auto meant = MeantMarker(text)) {
      Add(number, Quoted(text) + " is not " + Quoted(*meant) +
                      " (headers and end markers match only exactly, letter case and blanks included): it is "
                      "taken as an entry of the section opened at line " + Number(openedAt));
    } else if (judgeEntry) {
      for (std::string& message : CheckEntry(section.kind, text)) Add(number, std::move(message));
      NotePath(number, text, section.kind);
    }
  }

  void NotePath(std::size_t number, const std::string& text, RuleSectionKind kind) {
    if (kind != RuleSectionKind::DeleteFolder && kind != RuleSectionKind::DeleteFile) return;
    pathEntries_.insert(UpperAscii(text));
    if (const auto other = OtherProgramFilesPath(text)) twins_.emplace_back(number, *other);
  }

  std::vector<Finding>& findings_;
  const PathProbe& exists_;
  SectionTracker tracker_;
  std::set<std::string> pathEntries_;                          // upper-cased
  std::vector<std::pair<std::size_t, std::string>> twins_;  // line, the path in the other folder
};

// A Ctrl-Z ends the file for the cleaner; anything after it is never read.
void CheckCtrlZ(std::string_view stored, std::vector<Finding>& findings) {
  const std::size_t at = stored.find(kCtrlZ);
  if (at == std::string_view::npos || at + 1 == stored.size()) return;
  // Every CR ends one line (a LF after it belongs to that line end).
  const auto lineEnds = static_cast<std::size_t>(std::count(stored.begin(), stored.begin() + at, '\r'));
  findings.push_back({lineEnds + 1, "a Ctrl-Z (byte 26) ends the file here: the cleaner reads nothing after it (" +
                                        Counted(stored.size() - at - 1, "byte") + ")"});
}

bool IsMarkerInAnyCase(std::string_view line) {
  const std::string_view trimmed = TrimmedBlanks(line);
  return std::any_of(std::begin(kRuleSections), std::end(kRuleSections), [&](const RuleSection& section) {
    return EqualsIgnoringAsciiCase(trimmed, section.header) || EqualsIgnoringAsciiCase(trimmed, section.endMarker);
  });
}

// A rule file saved as the readable text instead of encoded: the cleaner descrambles every
// byte and finds no section at all ("No section found"), while the bytes as they lie name
// one. Every other finding would be about the garbage the descrambling makes of it.
std::optional<Finding> PlainTextFinding(std::string_view stored) {
  const std::vector<std::string> lines = SplitTextLines(stored);
  const auto plain = std::find_if(lines.begin(), lines.end(), [](const std::string& line) { return IsMarkerInAnyCase(line); });
  if (plain == lines.end()) return std::nullopt;
  const bool descrambledHasSection = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return IsMarkerInAnyCase(DescrambleLine(line));
  });
  if (descrambledHasSection) return std::nullopt;
  const auto number = static_cast<std::size_t>(plain - lines.begin()) + 1;
  return Finding{number, "the file looks like plain rule text, not an encoded rule file: this line reads " +
                             Quoted(TrimmedBlanks(*plain)) +
                             " as it lies, and the cleaner, which descrambles every byte, finds no section in the "
                             "file; write it with RuleTool encode"};
}

}  // namespace

std::vector<Finding> CheckRuleFile(std::string_view stored, const PathProbe& exists) {
  if (auto plain = PlainTextFinding(stored)) return {std::move(*plain)};
  std::vector<Finding> findings;
  MemoryByteSource source{std::string(stored)};
  LineReader reader(source);
  SectionWalk walk(findings, exists);
  std::size_t number = 0;
  while (!reader.AtEnd()) {
    const std::string raw = reader.ReadLine();
    ++number;
    const auto feeds = static_cast<std::size_t>(std::count(raw.begin(), raw.end(), '\n'));
    if (feeds > 0) {
      findings.push_back({number, "holds " + Counted(feeds, "line feed") +
                                      " (LF) without a carriage return: the cleaner reads all the text "
                                      "up to the next CR as this one line; lines must end with CR LF"});
    }
    walk.Line(number, DescrambleLine(raw), feeds == 0);
  }
  walk.End();
  CheckCtrlZ(stored, findings);
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return findings;
}

std::string FormatFinding(const Finding& finding) {
  return "line " + Number(finding.line) + ": " + finding.message;
}
