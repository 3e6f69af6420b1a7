#include "tools/rules/section_tracker.h"

LineInSection SectionTracker::Next(std::size_t number, std::string_view line) {
  if (open_ == nullptr) {
    open_ = RuleSectionOpenedBy(line);
    if (open_ == nullptr) return {LineRole::Outside, nullptr, 0};
    openedAt_ = number;
    return {LineRole::Header, open_, number};
  }
  const LineInSection current{line == open_->endMarker ? LineRole::EndMarker : LineRole::Entry, open_, openedAt_};
  if (current.role == LineRole::EndMarker) {
    open_ = nullptr;
    openedAt_ = 0;
  }
  return current;
}
