#include <windows.h>

#include "tools/plan_command.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "tools/plan_options.h"
#include "tools/plan_run.h"

namespace {

std::u16string Utf16FromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
  return std::u16string(wide.begin(), wide.end());
}

}  // namespace

int RunPlanCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string problem;
  const auto options = ParsePlanOptions(arguments, problem);
  if (!options) {
    err << "RuleTool: " << problem << "\nusage: RuleTool plan [--json] [--program DIR] [--shared DIR] [--rules FILE]\n";
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
  return report.runError.empty() ? 0 : 1;
}
