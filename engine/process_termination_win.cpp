#include <windows.h>

#include "engine/process_termination.h"

#include "engine/process_targets.h"

int CompareInUserLocaleIgnoringCase(std::string_view a, std::string_view b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) -
         CSTR_EQUAL;
}

namespace {

std::vector<std::string> ExecutableFields(const std::vector<ProcessEntry>& snapshot) {
  std::vector<std::string> fields;
  fields.reserve(snapshot.size());
  for (const ProcessEntry& entry : snapshot) fields.push_back(entry.exeFile);
  return fields;
}

}  // namespace

void TerminateByExecutableField(CleanerContext& context, const std::string& field,
                                const ProcessTerminationServices& services) {
  const std::vector<ProcessEntry> snapshot = services.takeSnapshot();
  const std::size_t chosen = ChooseProcessToEnd(ExecutableFields(snapshot), field);
  if (chosen == kNoProcess) return;
  TerminateProcessById(snapshot[chosen].processId, field, context.effects);
}

void TerminateProductProcesses(CleanerContext& context, const ProcessTerminationServices& services) {
  // One pass ends at most one process per distinct name, so passes repeat while targets remain.
  int passes = 0;
  bool found = false;
  do {
    found = false;
    const std::vector<std::string> running =
        BuildRunningExecutableList(ExecutableFields(services.takeSnapshot()), CompareInUserLocaleIgnoringCase);
    for (const std::string& entry : running) {
      if (!IsTarget(entry)) continue;
      found = true;
      TerminateByExecutableField(context, entry, services);
      TraceIfOn(context, entry + " try to kill");
    }
    ++passes;
    if (passes % 2 == 1) services.pause(kPauseAfterOddPass);
  } while (found && passes < kMaxTerminationPasses);
}
