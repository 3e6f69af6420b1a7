#include <windows.h>

#include "tools/plan/plan_command.h"

#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/text/wide_text.h"
#include "tools/plan/plan_options.h"
#include "tools/plan/plan_run.h"

namespace {

std::u16string Utf16FromAnsi(std::string_view text) {
  const std::wstring wide = WideFromAnsi(text);
  return std::u16string(wide.begin(), wide.end());
}

}  // namespace

int RunPlanCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string problem;
  const auto options = ParsePlanOptions(arguments, problem);
  if (!options) {
    err << "RuleTool: " << problem << "\nusage: " << kPlanUsage << "\n";
    return 2;
  }
  PlanReport report;
  try {
    report = MakePlan(*options, ProgramPath());
  } catch (const Exception& error) {
    err << "RuleTool plan: " << error.Message() << "\n";
    return 2;
  }
  if (options->json) {
    WritePlanJson(report, out, Utf16FromAnsi);
  } else {
    WritePlanText(report, out);
  }
  out.flush();
  return PlanExitCode(report);
}
