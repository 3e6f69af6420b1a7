#pragma once
// The two Program Files folders of 64-bit Windows. The cleaner carries out an entry only in
// the folder it names: a product that put parts in both needs an entry for each.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The same path in the other folder ("X:\Program Files\..." and "X:\Program Files (x86)\...",
// letters a to z in either case), or nothing when the entry names neither.
std::optional<std::string> OtherProgramFilesPath(std::string_view entry);

// Whether a path exists on the machine RuleTool runs on.
using PathProbe = std::function<bool(const std::string&)>;
PathProbe MachinePathProbe();
