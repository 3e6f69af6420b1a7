#include <windows.h>
#include <sddl.h>

#include "platform/user_hives.h"

#include "platform/handles.h"
#include "platform/privileges.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace {

constexpr wchar_t kProfileList[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kUserSidPrefix[] = L"S-1-5-21-";
// Loaded hives are named after their SID with this prefix, so that a failure line tells whose
// keys it is about and the name cannot meet the user's own when the user logs on meanwhile.
constexpr char kTemporaryPrefix[] = "VelmoraCleaner_";
constexpr char kHiveFile[] = "\\NTUSER.DAT";

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

std::wstring ExpandedProfileFolder(HKEY profile) {
  wchar_t path[MAX_PATH] = {};
  DWORD size = sizeof path - sizeof(wchar_t);
  if (RegQueryValueExW(profile, L"ProfileImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) !=
      ERROR_SUCCESS) {
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

}  // namespace

bool RunsAsLocalSystem() {
  TokenUserBuffer buffer;
  const PSID user = ProcessUserSid(buffer);
  return user && IsWellKnownSid(user, WinLocalSystemSid);
}

UserHives::UserHives() {
  UniqueHKey list;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, list.Put()) != ERROR_SUCCESS) return;
  const std::wstring self = CurrentUserSid();
  bool privileged = false;
  wchar_t name[256];
  for (DWORD index = 0, length = 256;
       RegEnumKeyExW(list.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, length = 256) {
    const std::wstring sid(name, length);
    if (!sid.starts_with(kUserSidPrefix) || sid == self) continue;
    UniqueHKey profile;
    if (RegOpenKeyExW(list.Get(), sid.c_str(), 0, KEY_QUERY_VALUE, profile.Put()) != ERROR_SUCCESS) continue;
    UserHive hive{AnsiFromWide(sid), AnsiFromWide(sid), AnsiFromWide(ExpandedProfileFolder(profile.Get()))};
    if (!IsLoaded(sid)) {
      if (!privileged) {
        (void)EnablePrivilege(kBackupPrivilege);  // a load without them fails and says so below
        (void)EnablePrivilege(kRestorePrivilege);
        privileged = true;
      }
      hive.keyName = kTemporaryPrefix + hive.sid;
      const std::wstring file = WideFromAnsi(hive.profileFolder + kHiveFile);
      const LONG code = RegLoadKeyW(HKEY_USERS, WideFromAnsi(hive.keyName).c_str(), file.c_str());
      if (code != ERROR_SUCCESS) {
        notLoaded_.push_back(hive.sid + " (" + AnsiFromWide(file) + "): " + SystemErrorText(static_cast<unsigned long>(code)));
        continue;
      }
      loaded_.push_back(hive.keyName);
    }
    hives_.push_back(std::move(hive));
  }
}

UserHives::~UserHives() {
  for (const std::string& name : loaded_) RegUnLoadKeyW(HKEY_USERS, WideFromAnsi(name).c_str());
}
