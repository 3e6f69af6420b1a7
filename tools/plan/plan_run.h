#pragma once
// RuleTool plan's dry run: the cleaner's own start-up (settings, folder discovery) and a
// cleaning run whose every change goes to the recording gateway, so the engine decides
// exactly as it would in a real run and nothing is changed.
#include <string>

#include "tools/plan/plan_options.h"
#include "tools/plan/plan_report.h"

// programPath: the path of the running RuleTool.exe. The rule file "Do_list.dat" and the
// settings file "QRV_RC.INI" are looked for beside it, or, with options.ruleFile, the
// settings file beside that rule file. Raises Exception when the plan cannot be made (no
// rule file, an error that would end start-up).
PlanReport MakePlan(const PlanOptions& options, const std::string& programPath);
