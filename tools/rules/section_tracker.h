#pragma once
// Follows the sections of a rule file line by line as the rule pass reads them: a header
// opens a section, whose every line up to its own end marker is an entry.
#include <cstddef>
#include <string_view>

#include "engine/rules/rule_sections.h"

enum class LineRole { Outside, Header, Entry, EndMarker };

struct LineInSection {
  LineRole role;
  const RuleSection* section;  // the section opened, read or ended; nullptr outside
  std::size_t openedAt;        // line of its header; 0 outside
};

class SectionTracker {
 public:
  // The role of the next line (descrambled and expanded as the pass reads it).
  LineInSection Next(std::size_t number, std::string_view line);
  // The section still open, when the file ends inside one.
  const RuleSection* Open() const { return open_; }
  std::size_t OpenedAt() const { return openedAt_; }

 private:
  const RuleSection* open_ = nullptr;
  std::size_t openedAt_ = 0;
};
