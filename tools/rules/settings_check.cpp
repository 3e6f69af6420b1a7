#include "tools/rules/settings_check.h"

#include "engine/cleaner_state.h"
#include "platform/text/text_rules.h"
#include "startup/settings_parser.h"

bool IsSettingsFile(const std::string& path, std::string_view stored) {
  const std::size_t slash = path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return EqualsIgnoringAsciiCase(name, kSettingsFileName) || LooksLikeSettings(stored);
}

std::vector<Finding> CheckSettingsFile(std::string_view stored) {
  std::vector<Finding> findings;
  for (SettingsFinding& found : CheckSettingsText(stored)) findings.push_back({found.line, std::move(found.message)});
  return findings;
}
