#include "platform/registry/user_hives.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 2> kAccountSidPrefixes = {"S-1-5-21-", "S-1-12-1-"};
constexpr std::string_view kBackupSuffix = ".bak";

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  const std::string_view tail = text.substr(text.size() - end.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char a = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
    if (a != end[i]) return false;
  }
  return true;
}

}  // namespace

ProfileKeyKind KindOfProfileKey(std::string_view keyName) {
  bool account = false;
  for (const std::string_view prefix : kAccountSidPrefixes) account |= keyName.starts_with(prefix);
  if (!account) return ProfileKeyKind::Other;
  return EndsWithIgnoringCase(keyName, kBackupSuffix) ? ProfileKeyKind::BackupCopy : ProfileKeyKind::Account;
}

std::string ClassesHiveName(const std::string& keyName) { return keyName + "_Classes"; }
