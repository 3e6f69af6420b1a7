#pragma once
// Which running executables are the product's, and the list and choice rules of process
// termination, kept free of the platform so they can be checked anywhere.
#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::array<std::string_view, 5> kProcessTargetNames = {
    "ZdnM.exe", "_ZdnM.exe", "ZdnCC.exe", "ZdnNCC.exe", "ZdnS.exe"};

// True when the file-name part of the field (a full path or a bare name) is one of the
// target names, letter case of a to z ignored.
bool IsTarget(std::string_view executableField);

// Negative, zero or positive as a sorts before, equal to or after b.
using TextOrder = int (*)(std::string_view a, std::string_view b);

// The distinct fields in the given order's sorting; of fields that compare equal the first
// one given is kept.
std::vector<std::string> BuildRunningExecutableList(const std::vector<std::string>& executableFields,
                                                    TextOrder order);

// The snapshot position of the process to end for the field: the first match after the
// first entry, or the first entry when only it matches; npos when none matches.
inline constexpr std::size_t kNoProcess = static_cast<std::size_t>(-1);
std::size_t ChooseProcessToEnd(const std::vector<std::string>& snapshotFields, std::string_view field);

inline constexpr std::string_view kProcessNotEndedText = "Could NOT end process ";

// What the passes learnt of the processes they tried to end, for the lines of the targets
// that are still running once the passes are over.
class TerminationRecord {
 public:
  void NoteEnded(unsigned long processId);
  void NoteFailed(unsigned long processId, std::string reason);
  // "Could NOT end process NAME (ID): REASON" with the last failure seen for the process, or
  // "still running" when none was seen (it was started again, or never tried); nothing for a
  // process the system accepted to end.
  std::optional<std::string> SurvivorLine(unsigned long processId, std::string_view exeName) const;

 private:
  std::set<unsigned long> ended_;
  std::map<unsigned long, std::string> failures_;
};
