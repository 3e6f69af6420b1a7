#include <windows.h>

#include "platform/effects.h"

#include "platform/files/relative_files.h"
#include "platform/registry/key_opening.h"
#include "platform/processes/service_control.h"
#include "platform/security/privileges.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/taken_over_security.h"

LiveEffects& LiveEffects::Instance() {
  static LiveEffects instance;
  return instance;
}

namespace {
DWORD Outcome(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

// The system's own reason behind the last error: a delete-pending file, a mapped image and a
// file the ACL protects all answer ERROR_ACCESS_DENIED; only the first two hold
// STATUS_DELETE_PENDING or STATUS_CANNOT_DELETE.
LONG LastNtStatus() {
  using LastStatus = LONG(WINAPI*)();
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto read = ntdll ? reinterpret_cast<LastStatus>(
                                reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetLastNtStatus")))
                          : nullptr;
  return read != nullptr ? read() : 0;
}

// NtDeleteKey deletes the key a handle stands for; advapi32 has no call that takes the handle.
LONG DeleteOpenKey(HKEY key) {
  using NtDeleteKeyCall = LONG(WINAPI*)(HANDLE);
  using StatusToErrorCall = ULONG(WINAPI*)(LONG);
  static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  static const auto deleteKey = reinterpret_cast<NtDeleteKeyCall>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDeleteKey")));
  static const auto toError = reinterpret_cast<StatusToErrorCall>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (deleteKey == nullptr || toError == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return static_cast<LONG>(toError(deleteKey(key)));
}

// A folder opened as itself and held without delete sharing: nobody renames or replaces it
// while the handle is open.
DWORD OpenFolderHeld(const std::wstring& path, UniqueFile& folder) {
  folder = UniqueFile(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return folder ? ERROR_SUCCESS : GetLastError();
}
}  // namespace

DWORD LiveEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
  return Outcome(SetFileAttributesW(path.c_str(), attributes));
}
DWORD LiveEffects::RemoveFile(const std::wstring& path) {
  constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);
  constexpr LONG kStatusCannotDelete = static_cast<LONG>(0xC0000121);
  const DWORD error = Outcome(DeleteFileW(path.c_str()));
  if (error != ERROR_ACCESS_DENIED) return error;
  const LONG status = LastNtStatus();
  if (status == kStatusDeletePending) return ERROR_DELETE_PENDING;
  // A read-only file answers STATUS_CANNOT_DELETE too; without the flag it is a mapped image.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return status == kStatusCannotDelete && !readOnly ? kMappedImageCode : error;
}
DWORD LiveEffects::RemoveEmptyFolder(const std::wstring& path) { return Outcome(RemoveDirectoryW(path.c_str())); }
DWORD LiveEffects::RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring&, bool folder,
                               bool plainFirst) {
  return RemoveChildOf(parent, name, folder, plainFirst);
}
DWORD LiveEffects::DeleteAtRestart(const std::wstring& path) {
  return Outcome(MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}
LONG LiveEffects::OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                                  const std::wstring&, UniqueHKey& key) {
  return OpenKeyPastAccessList(base, subKey, options, rights, key);
}
// SeTakeOwnership opens any key for WRITE_OWNER; once Administrators own it, they may read and
// change its access list.
LONG LiveEffects::TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring&) {
  UniqueHKey owned;
  LONG code = RegOpenKeyExW(base, subKey.c_str(), REG_OPTION_OPEN_LINK, WRITE_OWNER | view, owned.Put());
  if (code != ERROR_SUCCESS) return code;
  if ((code = SetKeySecurityText(owned.Get(), L"O:BA")) != ERROR_SUCCESS) return code;
  owned.Reset();
  UniqueHKey key;
  code = RegOpenKeyExW(base, subKey.c_str(), REG_OPTION_OPEN_LINK, READ_CONTROL | WRITE_DAC | WRITE_OWNER | view,
                       key.Put());
  if (code != ERROR_SUCCESS) return code;
  const auto granted = TakenOverSecurity(KeySecurityText(key.Get()));
  if (!granted) return ERROR_INVALID_SECURITY_DESCR;
  return SetKeySecurityText(key.Get(), *granted);
}
// RegDeleteKeyW opens the key following a link and would delete the link's target: the key is
// opened as itself (in the view given; without one the program's own) and deleted by handle,
// which is what RegDeleteKeyW does inside.
LONG LiveEffects::DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring&) {
  UniqueHKey key;
  const LONG code = OpenKeyPastAccessList(base, subKey, REG_OPTION_OPEN_LINK, DELETE | view, key);
  if (code != ERROR_SUCCESS) return code;
  return DeleteOpenKey(key.Get());
}
LONG LiveEffects::DeleteOpenRegistryKey(HKEY key, HKEY, const std::wstring&, REGSAM, const std::wstring&) {
  return DeleteOpenKey(key);
}
namespace {
// ERROR_SUCCESS with the key's count of subkeys, or the system's code.
LONG SubkeysOf(HKEY key, DWORD& subKeys) {
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr);
}
}  // namespace

LONG Effects::DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                const std::wstring& keyName) {
  DWORD subKeys = 0;
  if (const LONG code = SubkeysOf(key, subKeys); code != ERROR_SUCCESS) return code;
  return subKeys > 0 ? kKeyHasSubkeysCode : DeleteRegistryKey(base, subKey, view, keyName);
}
// The deletion is tried first: a key with subkeys refuses it (Windows answers
// STATUS_CANNOT_DELETE, Wine access denied, both ERROR_ACCESS_DENIED) and only then is asked
// for its subkeys. The deletion goes through DeleteOpenRegistryKey, which a test form may refuse.
LONG LiveEffects::DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                    const std::wstring& keyName) {
  const LONG code = DeleteOpenRegistryKey(key, base, subKey, view, keyName);
  if (code != ERROR_ACCESS_DENIED) return code;
  DWORD subKeys = 0;
  return SubkeysOf(key, subKeys) == ERROR_SUCCESS && subKeys > 0 ? kKeyHasSubkeysCode : code;
}
LONG LiveEffects::DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring&) {
  return RegDeleteValueW(key, valueName.c_str());
}
LONG LiveEffects::WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                                     const std::wstring&) {
  return RegSetValueExW(key, valueName.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
}
bool LiveEffects::EndProcess(HANDLE process, UINT exitCode, const std::string&) {
  return TerminateProcess(process, exitCode) != 0;
}
DWORD LiveEffects::StopService(SC_HANDLE service, const std::string&) { return StopServiceAndWait(service); }
DWORD LiveEffects::ConfigureService(SC_HANDLE service, const std::string&, const ServiceSettings& settings) {
  // A failure action that restarts the computer is refused to a caller without SeShutdown
  // enabled (undo puts such actions back).
  for (const ServiceFailureAction& action : settings.actions) {
    if (action.type == SC_ACTION_REBOOT) {
      (void)EnablePrivilege(kShutdownPrivilege);  // a refusal shows in the write's answer
      break;
    }
  }
  return WriteServiceSettings(service, settings);
}
DWORD LiveEffects::MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) {
  return Outcome(MoveFileExW(from.c_str(), to.c_str(), allowCopy ? MOVEFILE_COPY_ALLOWED : 0));
}
DWORD LiveEffects::OpenPrivateFolder(const std::wstring& path, UniqueFile& folder) {
  const DWORD made = CreateFolderWithSecurity(path, kPrivateFolderSecurity);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) return made;
  return OpenFolderHeld(path, folder);
}
// What is there is opened as the run would open it (reads are real); what is missing is only
// asked for by name.
DWORD Effects::OpenPrivateFolder(const std::wstring& path, UniqueFile& folder) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return CreateFolder(path);
  return OpenFolderHeld(path, folder);
}
DWORD LiveEffects::MoveChild(HANDLE parent, const std::wstring& name, const std::wstring&, bool folder,
                             HANDLE targetFolder, const std::wstring& targetName, const std::wstring&) {
  return RenameChildInto(parent, name, folder, targetFolder, targetName);
}
DWORD LiveEffects::MoveOpen(HANDLE opened, const std::wstring&, HANDLE targetFolder, const std::wstring& targetName,
                            const std::wstring&) {
  return RenameOpenInto(opened, targetFolder, targetName);
}
DWORD LiveEffects::SetOpenFacts(HANDLE opened, const std::wstring&, const FILETIME times[3], DWORD attributes,
                                const std::wstring& sddl, std::string& failed) {
  // Times first: writing them needs no plain attributes, and a read-only file stays writable
  // through its handle for its basic information.
  FILE_BASIC_INFO basic{};
  basic.CreationTime.LowPart = times[0].dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(times[0].dwHighDateTime);
  basic.LastAccessTime.LowPart = times[1].dwLowDateTime;
  basic.LastAccessTime.HighPart = static_cast<LONG>(times[1].dwHighDateTime);
  basic.LastWriteTime.LowPart = times[2].dwLowDateTime;
  basic.LastWriteTime.HighPart = static_cast<LONG>(times[2].dwHighDateTime);
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  if (!SetFileInformationByHandle(opened, FileBasicInfo, &basic, sizeof(basic))) {
    failed = "times and attributes";
    return GetLastError();
  }
  if (!sddl.empty()) {
    if (const DWORD error = SetHandleSecurityText(opened, sddl); error != ERROR_SUCCESS) {
      failed = "security";
      return error;
    }
  }
  return ERROR_SUCCESS;
}
DWORD Effects::SetOpenFacts(HANDLE, const std::wstring& path, const FILETIME times[3], DWORD attributes,
                            const std::wstring& sddl, std::string& failed) {
  if (const DWORD error = SetFileTimes(path, times[0], times[1], times[2]); error != ERROR_SUCCESS) {
    failed = "times";
    return error;
  }
  if (const DWORD error = SetAttributes(path, attributes); error != ERROR_SUCCESS) {
    failed = "attributes";
    return error;
  }
  if (!sddl.empty()) {
    if (const DWORD error = SetSecurity(path, sddl); error != ERROR_SUCCESS) {
      failed = "security";
      return error;
    }
  }
  return ERROR_SUCCESS;
}
DWORD LiveEffects::CreateFolder(const std::wstring& path) { return Outcome(CreateDirectoryW(path.c_str(), nullptr)); }
DWORD LiveEffects::SetFileTimes(const std::wstring& path, const FILETIME& creation, const FILETIME& lastAccess,
                                const FILETIME& lastWrite) {
  // FILE_FLAG_BACKUP_SEMANTICS opens folders too; a link is opened as itself.
  const UniqueFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return GetLastError();
  const auto given = [](const FILETIME& time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0 ? nullptr : &time; };
  return Outcome(SetFileTime(file.Get(), given(creation), given(lastAccess), given(lastWrite)));
}
LONG LiveEffects::CreateRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring&,
                                    UniqueHKey& key) {
  HKEY created = nullptr;
  const LONG code =
      RegCreateKeyExW(base, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr, &created, nullptr);
  if (code == ERROR_SUCCESS) key = UniqueHKey(created);
  return code;
}
DWORD Effects::SetSecurity(const std::wstring& path, const std::wstring& sddl) { return SetFileSecurityText(path, sddl); }
LONG Effects::SetKeySecurity(HKEY key, const std::wstring& sddl, const std::wstring&) { return SetKeySecurityText(key, sddl); }
