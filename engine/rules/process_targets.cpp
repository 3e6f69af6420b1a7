#include "engine/rules/process_targets.h"

#include <algorithm>
#include <utility>

#include "platform/text/text_rules.h"

bool IsTarget(std::string_view executableField) {
  const std::string name = UpperAscii(FileNameOfPath(executableField));
  return std::any_of(kProcessTargetNames.begin(), kProcessTargetNames.end(),
                     [&name](std::string_view target) { return UpperAscii(target) == name; });
}

std::vector<std::string> BuildRunningExecutableList(const std::vector<std::string>& executableFields,
                                                    TextOrder order) {
  std::vector<std::string> list;
  for (const std::string& field : executableFields) {
    const auto place = std::lower_bound(list.begin(), list.end(), field,
                                        [order](const std::string& a, const std::string& b) {
                                          return order(a, b) < 0;
                                        });
    if (place != list.end() && order(*place, field) == 0) continue;
    list.insert(place, field);
  }
  return list;
}

std::size_t ChooseProcessToEnd(const std::vector<std::string>& snapshotFields, std::string_view field) {
  const std::string wanted = UpperAscii(field);
  std::size_t chosen = kNoProcess;
  for (std::size_t i = 0; i < snapshotFields.size(); ++i) {
    if (UpperAscii(snapshotFields[i]) != wanted) continue;
    chosen = i;
    if (i > 0) break;
  }
  return chosen;
}

void TerminationRecord::NoteEnded(unsigned long processId) { ended_.insert(processId); }

void TerminationRecord::NoteFailed(unsigned long processId, std::string reason) {
  failures_[processId] = std::move(reason);
}

std::optional<std::string> TerminationRecord::SurvivorLine(unsigned long processId, std::string_view exeName) const {
  if (ended_.count(processId) > 0) return std::nullopt;
  const auto failure = failures_.find(processId);
  const std::string reason = failure == failures_.end() ? "still running" : failure->second;
  return std::string(kProcessNotEndedText) + std::string(exeName) + " (" + std::to_string(processId) + "): " + reason;
}
