#include "tests/support/second_profile.h"

#include <windows.h>

#include <stdexcept>

#include "engine/cleaner_state.h"
#include "platform/handles.h"
#include "platform/security/privileges.h"
#include "platform/text/wide_text.h"
#include "tests/support/seeded_registry.h"

namespace {

const std::string kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kDefaultStartup[] = "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
constexpr char kClassesFile[] = "AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
constexpr char kCheckName[] = "VelmoraE2ECheck";

std::wstring LinkName() { return WideFromAnsi(kStartupLinkNames[0], 1251); }

// Saves the key's tree as a hive file.
void SaveHive(const std::string& key, const std::string& file) {
  UniqueHKey opened;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Put()) != ERROR_SUCCESS ||
      RegSaveKeyA(opened.Get(), file.c_str(), nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot save a hive of the second profile: " + file);
  }
}

std::string ProfilesFolder() {
  UniqueHKey list;
  char folder[MAX_PATH] = {};
  DWORD size = sizeof folder - 1;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileList.c_str(), 0, KEY_QUERY_VALUE, list.Put()) != ERROR_SUCCESS ||
      RegQueryValueExA(list.Get(), "ProfilesDirectory", nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size) !=
          ERROR_SUCCESS) {
    throw std::runtime_error("no profiles folder");
  }
  char expanded[MAX_PATH] = {};
  ExpandEnvironmentStringsA(folder, expanded, MAX_PATH);
  return expanded;
}

// Each profile of a test process has a SID of its own.
int profileCount = 0;

}  // namespace

SecondProfile::SecondProfile(const std::string& userKey, const ProfileShape& shape)
    : sid_(shape.sidPrefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++profileCount)),
      userKey_(userKey),
      shape_(shape),
      folder_("profile", shape.inProfilesFolder ? ProfilesFolder() : std::string()) {
  (void)EnablePrivilege(kBackupPrivilege);
  (void)EnablePrivilege(kRestorePrivilege);
  const std::string seed = "Software\\CleanerTests\\Hive_" + std::to_string(GetCurrentProcessId());
  TemporaryKey seedKey(HKEY_CURRENT_USER, seed);
  SeedStringValue(HKEY_CURRENT_USER, seed + "\\" + userKey_ + "\\Gone\\Deeper", "x", "y");
  SeedKey(HKEY_CURRENT_USER, seed + "\\" + userKey_ + "\\Stay");
  for (const char* name : {"Target", "Keep", "OldName"}) SeedStringValue(HKEY_CURRENT_USER, seed + "\\" + userKey_, name, name);
  const std::string value = shape.startupValue.value_or(folder_ / "Startup");
  if (!value.empty()) SeedStringValue(HKEY_CURRENT_USER, seed + "\\" + kShellFolders, "Startup", value);
  startup_ = value.empty() ? folder_ / kDefaultStartup : value;
  // Shortcuts go only into a folder on a drive: a share named by the value is never touched.
  if (startup_.size() > 1 && startup_[1] == ':') {
    WriteBytes(startup_ + "\\ZDN Keep.lnk", "keep");
    const std::wstring link = WideFromAnsi(startup_ + "\\") + LinkName();
    UniqueFile file(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  if (!shape.hiveFile.empty()) SaveHive(seed, folder_ / shape.hiveFile);
  if (shape.classesHive) {
    const std::string classes = seed + "_Classes";
    TemporaryKey classesKey(HKEY_CURRENT_USER, classes);
    SeedStringValue(HKEY_CURRENT_USER, classes + "\\" + kClassKey, "", "class");
    MakeFolders(folder_ / "AppData\\Local\\Microsoft\\Windows");
    SaveHive(classes, folder_ / kClassesFile);
  }
  SeedStringValue(HKEY_LOCAL_MACHINE, kProfileList + sid_, "ProfileImagePath", folder_.Path());
}

SecondProfile::~SecondProfile() {
  if (loggedOn_) RegUnLoadKeyA(HKEY_USERS, sid_.c_str());
  RemoveKeyForTest(HKEY_LOCAL_MACHINE, kProfileList + sid_);
  if (backupKey_) RemoveKeyForTest(HKEY_LOCAL_MACHINE, kProfileList + sid_ + ".bak");
  // A test that found a hive loaded under the run's name (the run did not unload it) frees it.
  RegUnLoadKeyA(HKEY_USERS, ("VelmoraCleaner_" + sid_ + "_Classes").c_str());
  RegUnLoadKeyA(HKEY_USERS, ("VelmoraCleaner_" + sid_).c_str());
}

void SecondProfile::AddBackupKey() {
  SeedStringValue(HKEY_LOCAL_MACHINE, kProfileList + sid_ + ".bak", "ProfileImagePath", folder_.Path());
  backupKey_ = true;
}

void SecondProfile::LogOn() {
  loggedOn_ = RegLoadKeyA(HKEY_USERS, sid_.c_str(), (folder_ / shape_.hiveFile).c_str()) == ERROR_SUCCESS;
  if (!loggedOn_) throw std::runtime_error("cannot load the second profile's hive");
}

std::vector<std::string> SecondProfile::Present() const {
  std::vector<std::string> present;
  const std::string hive = loggedOn_ ? sid_ : kCheckName;
  const bool hasHive = !shape_.hiveFile.empty();
  if (hasHive && !loggedOn_ &&
      RegLoadKeyA(HKEY_USERS, kCheckName, (folder_ / shape_.hiveFile).c_str()) != ERROR_SUCCESS) {
    return {"<no hive>"};
  }
  if (hasHive) {
    const std::string key = hive + "\\" + userKey_;
    for (const char* sub : {"Gone", "Stay"}) {
      if (KeyExistsForTest(HKEY_USERS, key + "\\" + sub)) present.push_back(sub);
    }
    for (const char* name : {"Target", "Keep", "OldName", "NewName"}) {
      if (ValueExistsForTest(HKEY_USERS, key, name)) present.push_back(name);
    }
    if (!loggedOn_) RegUnLoadKeyA(HKEY_USERS, kCheckName);
  }
  const std::wstring link = WideFromAnsi(startup_ + "\\") + LinkName();
  if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) present.push_back("link");
  if (GetFileAttributesA((startup_ + "\\ZDN Keep.lnk").c_str()) != INVALID_FILE_ATTRIBUTES) {
    present.push_back("link beside");
  }
  return present;
}
