#include <windows.h>
#include <sddl.h>

#include "platform/registry/user_hives_win.h"

#include <algorithm>
#include <optional>

#include "platform/files/file_identity.h"
#include "platform/handles.h"
#include "platform/security/privileges.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

constexpr wchar_t kProfileList[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Loaded hives are named after their SID with this prefix, so that a failure line tells whose
// keys it is about and the name cannot meet the user's own when the user logs on meanwhile.
constexpr char kTemporaryPrefix[] = "VelmoraCleaner_";

using TokenUserBuffer = BYTE[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];

// The SID of the account the program runs as, kept in the buffer; null when it cannot be read.
PSID ProcessUserSid(TokenUserBuffer& buffer) {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return nullptr;
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return nullptr;
  return reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
}

std::wstring CurrentUserSid() {
  TokenUserBuffer buffer;
  const PSID user = ProcessUserSid(buffer);
  wchar_t* text = nullptr;
  if (!user || !ConvertSidToStringSidW(user, &text)) return {};
  std::wstring sid(text);
  LocalFree(text);
  return sid;
}

std::wstring ExpandedProfileFolder(HKEY list, const std::wstring& sid) {
  UniqueHKey profile;
  if (RegOpenKeyExW(list, sid.c_str(), 0, KEY_QUERY_VALUE, profile.Put()) != ERROR_SUCCESS) return {};
  wchar_t path[MAX_PATH] = {};
  DWORD size = sizeof path - sizeof(wchar_t);
  if (RegQueryValueExW(profile.Get(), L"ProfileImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                       &size) != ERROR_SUCCESS) {
    return {};
  }
  wchar_t expanded[MAX_PATH] = {};
  const DWORD length = ExpandEnvironmentStringsW(path, expanded, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? expanded : path;
}

bool IsLoaded(const std::wstring& keyName) {
  UniqueHKey key;
  return RegOpenKeyExW(HKEY_USERS, keyName.c_str(), 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS;
}

// The first of the files that exists in the folder, or empty.
std::wstring FirstExisting(const std::wstring& folder, const auto& files) {
  for (const char* file : files) {
    const std::wstring path = folder + WideFromAnsi(file);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return path;
  }
  return {};
}

LONG LoadHiveLive(const std::wstring& name, const std::wstring& file) {
  return RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
}
LONG UnloadHiveLive(const std::wstring& name) { return RegUnLoadKeyW(HKEY_USERS, name.c_str()); }
void SleepLive(DWORD milliseconds) { Sleep(milliseconds); }

}  // namespace

HiveServices LiveHiveServices() { return {LoadHiveLive, UnloadHiveLive, SleepLive}; }

bool RunsAsLocalSystem() {
  TokenUserBuffer buffer;
  const PSID user = ProcessUserSid(buffer);
  return user && IsWellKnownSid(user, WinLocalSystemSid);
}

UserHives::UserHives(const HiveServices& services) : services_(services) {
  UniqueHKey list;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, list.Put()) != ERROR_SUCCESS) return;
  const std::wstring self = CurrentUserSid();
  wchar_t name[256];
  for (DWORD index = 0, length = 256;
       RegEnumKeyExW(list.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, length = 256) {
    const std::wstring sid(name, length);
    switch (KindOfProfileKey(AnsiFromWide(sid))) {
      case ProfileKeyKind::Other: continue;
      case ProfileKeyKind::BackupCopy:
        // Windows keeps the profile's key under this name after a failed load; the profile
        // itself is the key without ".bak", or a hive this key's file is already loaded as.
        passedOver_.push_back(AnsiFromWide(sid) + ": a copy Windows keeps of a profile key");
        continue;
      case ProfileKeyKind::Account: break;
    }
    if (sid == self) continue;
    Take(sid, ExpandedProfileFolder(list.Get(), sid));
  }
}

void UserHives::Take(const std::wstring& sid, const std::wstring& profileFolder) {
  UserHive hive{AnsiFromWide(sid), AnsiFromWide(sid), AnsiFromWide(profileFolder), {}, profileFolder};
  if (IsLoaded(sid)) {
    // Signed in: Windows has both hives loaded, and they are used where they are.
    if (IsLoaded(sid + L"_Classes")) hive.classesKeyName = ClassesHiveName(hive.keyName);
    if (const auto facts = FactsOfPath(profileFolder)) identities_.push_back(facts->identity);
    hives_.push_back(std::move(hive));
    return;
  }
  // A second ProfileList key for the same folder would load the same file twice.
  if (const auto facts = FactsOfPath(profileFolder)) {
    if (std::find(identities_.begin(), identities_.end(), facts->identity) != identities_.end()) {
      passedOver_.push_back(hive.sid + ": its profile folder " + hive.profileFolder + " is another key's");
      return;
    }
    identities_.push_back(facts->identity);
  }
  if (LoadInto(hive)) hives_.push_back(std::move(hive));
}

bool UserHives::LoadInto(UserHive& hive) {
  const std::wstring& folder = hive.profileFolderWide;
  const std::wstring file = FirstExisting(folder, kUserHiveFiles);
  if (file.empty()) {
    // A profile whose folder or hive is gone has no keys to clean; it is no failure.
    passedOver_.push_back(hive.sid + ": no NTUSER.DAT or NTUSER.MAN in " + hive.profileFolder);
    return false;
  }
  if (!privileged_) {
    (void)EnablePrivilege(kBackupPrivilege);  // a load without them fails and says so below
    (void)EnablePrivilege(kRestorePrivilege);
    privileged_ = true;
  }
  hive.keyName = kTemporaryPrefix + hive.sid;
  if (const LONG code = services_.load(WideFromAnsi(hive.keyName), file); code != ERROR_SUCCESS) {
    notLoaded_.push_back(hive.sid + " (" + AnsiFromWide(file) + "): " + SystemErrorText(static_cast<unsigned long>(code)));
    return false;
  }
  const std::wstring classes = FirstExisting(folder, kClassesHiveFiles);
  const std::string classesName = ClassesHiveName(hive.keyName);
  if (!classes.empty()) {
    if (const LONG code = services_.load(WideFromAnsi(classesName), classes); code != ERROR_SUCCESS) {
      notLoaded_.push_back(hive.sid + " (" + AnsiFromWide(classes) + "): " +
                           SystemErrorText(static_cast<unsigned long>(code)));
    } else {
      hive.classesKeyName = classesName;
      loaded_.push_back({hive.sid, classesName});
    }
  }
  loaded_.push_back({hive.sid, hive.keyName});
  // The classes hive is unloaded before its user's: each unloads on its own, but a user's
  // hive that stayed is then the last thing left.
  std::stable_partition(loaded_.begin(), loaded_.end(),
                        [](const Loaded& item) { return item.keyName.ends_with("_Classes"); });
  return true;
}

std::vector<std::string> UserHives::Unload() {
  std::vector<std::string> stayed;
  for (const Loaded& item : loaded_) {
    const std::wstring name = WideFromAnsi(item.keyName);
    LONG code = services_.unload(name);
    for (int tries = 1; code != ERROR_SUCCESS && tries < kUnloadTries; ++tries) {
      services_.pause(kUnloadRetryPause);
      code = services_.unload(name);
    }
    if (code != ERROR_SUCCESS) {
      stayed.push_back(item.sid + " (HKEY_USERS\\" + item.keyName + "): " +
                       SystemErrorText(static_cast<unsigned long>(code)));
    }
  }
  loaded_.clear();
  hives_.clear();
  return stayed;
}

UserHives::~UserHives() { (void)Unload(); }
