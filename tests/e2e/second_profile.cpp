#include "tests/e2e/second_profile.h"

#include <windows.h>

#include <stdexcept>

#include "platform/handles.h"
#include "platform/privileges.h"
#include "platform/wide_text.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/seeded_registry.h"

namespace {

const std::string kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCheckName[] = "VelmoraE2ECheck";

}  // namespace

SecondProfile::SecondProfile(const std::string& userKey)
    : sid_("S-1-5-21-1001-2002-3003-" + std::to_string(GetCurrentProcessId())), userKey_(userKey) {
  (void)EnablePrivilege(kBackupPrivilege);
  (void)EnablePrivilege(kRestorePrivilege);
  const std::string seed = "Software\\CleanerTests\\Hive_" + std::to_string(GetCurrentProcessId());
  TemporaryKey seedKey(HKEY_CURRENT_USER, seed);
  SeedStringValue(HKEY_CURRENT_USER, seed + "\\" + userKey_ + "\\Gone\\Deeper", "x", "y");
  SeedKey(HKEY_CURRENT_USER, seed + "\\" + userKey_ + "\\Stay");
  for (const char* name : {"Target", "Keep", "OldName"}) SeedStringValue(HKEY_CURRENT_USER, seed + "\\" + userKey_, name, name);
  SeedStringValue(HKEY_CURRENT_USER, seed + "\\" + kShellFolders, "Startup", folder_ / "Startup");
  WriteBytes(folder_ / "Startup\\ZDN Keep.lnk", "keep");
  const std::wstring link = WideFromAnsi(folder_ / "Startup\\") + StartupLinkNameWide();
  UniqueFile file(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  UniqueHKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, seed.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS ||
      RegSaveKeyA(key.Get(), (folder_ / "NTUSER.DAT").c_str(), nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot save the second profile's hive");
  }
  SeedStringValue(HKEY_LOCAL_MACHINE, kProfileList + sid_, "ProfileImagePath", folder_.Path());
}

SecondProfile::~SecondProfile() {
  if (loggedOn_) RegUnLoadKeyA(HKEY_USERS, sid_.c_str());
  RemoveKeyForTest(HKEY_LOCAL_MACHINE, kProfileList + sid_);
}

void SecondProfile::LogOn() {
  loggedOn_ = RegLoadKeyA(HKEY_USERS, sid_.c_str(), (folder_ / "NTUSER.DAT").c_str()) == ERROR_SUCCESS;
  if (!loggedOn_) throw std::runtime_error("cannot load the second profile's hive");
}

std::vector<std::string> SecondProfile::Present() const {
  std::vector<std::string> present;
  const std::string hive = loggedOn_ ? sid_ : kCheckName;
  if (!loggedOn_ && RegLoadKeyA(HKEY_USERS, kCheckName, (folder_ / "NTUSER.DAT").c_str()) != ERROR_SUCCESS) {
    return {"<no hive>"};
  }
  const std::string key = hive + "\\" + userKey_;
  for (const char* sub : {"Gone", "Stay"}) {
    if (KeyExistsForTest(HKEY_USERS, key + "\\" + sub)) present.push_back(sub);
  }
  for (const char* name : {"Target", "Keep", "OldName", "NewName"}) {
    if (ValueExistsForTest(HKEY_USERS, key, name)) present.push_back(name);
  }
  if (!loggedOn_) RegUnLoadKeyA(HKEY_USERS, kCheckName);
  const std::wstring link = WideFromAnsi(folder_ / "Startup\\") + StartupLinkNameWide();
  if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) present.push_back("link");
  if (GetFileAttributesA((folder_ / "Startup\\ZDN Keep.lnk").c_str()) != INVALID_FILE_ATTRIBUTES) {
    present.push_back("link beside");
  }
  return present;
}
