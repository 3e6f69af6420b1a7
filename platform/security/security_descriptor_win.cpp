#include <windows.h>
#include <sddl.h>

#include "platform/security/security_descriptor.h"

#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

namespace {

// The integrity label (the label part of the SACL) is read with READ_CONTROL alone; the audit
// entries would need SeSecurityPrivilege and are not kept.
constexpr SECURITY_INFORMATION kKept =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// What reaches the folder below a level: deleting or renaming the level or what is in it,
// or taking its owner or access list. Adding entries does not: a new entry cannot touch one
// that is there already, and a folder that is not empty cannot be made a link.
constexpr ACCESS_MASK kReachRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL | MAXIMUM_ALLOWED;
// What changes the files a folder holds, or lets new ones (or a file's data) in.
constexpr ACCESS_MASK kHolderRights = kReachRights | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE;

// A security descriptor made from SDDL text, freed with LocalFree.
class ParsedSecurity {
 public:
  explicit ParsedSecurity(const std::wstring& sddl) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr)) {
      error_ = GetLastError();
      descriptor_ = nullptr;
    }
  }
  ~ParsedSecurity() {
    if (descriptor_) LocalFree(descriptor_);
  }
  ParsedSecurity(const ParsedSecurity&) = delete;
  ParsedSecurity& operator=(const ParsedSecurity&) = delete;
  PSECURITY_DESCRIPTOR Get() const { return descriptor_; }
  DWORD Error() const { return error_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  DWORD error_ = ERROR_SUCCESS;
};

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
  std::wstring out(text);
  LocalFree(text);
  return out;
}

std::wstring DescriptorText(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION parts) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr)) return {};
  std::wstring out(text);
  LocalFree(text);
  return out;
}

// The parts of a descriptor the text names: an owner, a group or a label left out is not
// written (a system that keeps no labels refuses a descriptor that sets one).
SECURITY_INFORMATION PartsOf(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_INFORMATION parts = 0;
  PSID sid = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL acl = nullptr;
  if (GetSecurityDescriptorOwner(descriptor, &sid, &defaulted) && sid) parts |= OWNER_SECURITY_INFORMATION;
  if (GetSecurityDescriptorGroup(descriptor, &sid, &defaulted) && sid) parts |= GROUP_SECURITY_INFORMATION;
  if (GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && present) parts |= DACL_SECURITY_INFORMATION;
  present = FALSE;
  acl = nullptr;
  if (GetSecurityDescriptorSacl(descriptor, &present, &acl, &defaulted) && present && acl) {
    for (DWORD index = 0; index < acl->AceCount; ++index) {
      void* ace = nullptr;
      if (GetAce(acl, index, &ace) && static_cast<const ACE_HEADER*>(ace)->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
        parts |= LABEL_SECURITY_INFORMATION;
      }
    }
  }
  return parts;
}

bool IsTrusted(PSID sid, const std::wstring& self, bool selfTrusted) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         SidText(sid) == kTrustedInstaller || (selfTrusted && !self.empty() && SidText(sid) == self);
}

}  // namespace

std::wstring FileSecurityText(const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
  return file ? HandleSecurityText(file.Get()) : std::wstring();
}

std::wstring HandleSecurityText(HANDLE file) {
  // Most descriptors fit the first buffer: one call instead of asking for the size first.
  std::string buffer(1024, '\0');
  DWORD size = 0;
  if (!GetKernelObjectSecurity(file, kKept, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    buffer.resize(size);
    if (!GetKernelObjectSecurity(file, kKept, buffer.data(), size, &size)) return {};
  }
  return DescriptorText(buffer.data(), kKept);
}

DWORD SetFileSecurityText(const std::wstring& path, const std::wstring& sddl) {
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return parsed.Error();
  const SECURITY_INFORMATION parts = PartsOf(parsed.Get());
  const SECURITY_INFORMATION ownerParts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
  const DWORD rights = WRITE_DAC | ((parts & ownerParts) != 0 ? WRITE_OWNER : 0);
  const UniqueFile file(CreateFileW(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
  if (!file) return GetLastError();
  return SetKernelObjectSecurity(file.Get(), parts, parsed.Get()) ? ERROR_SUCCESS : GetLastError();
}

SECURITY_INFORMATION SecurityPartsOf(const std::wstring& sddl) {
  const ParsedSecurity parsed(sddl);
  return parsed.Get() ? PartsOf(parsed.Get()) : 0;
}

DWORD SetHandleSecurityText(HANDLE file, const std::wstring& sddl) {
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return parsed.Error();
  return SetKernelObjectSecurity(file, PartsOf(parsed.Get()), parsed.Get()) ? ERROR_SUCCESS : GetLastError();
}

DWORD CreateChildFolderWithSecurity(HANDLE parent, const std::wstring& name, const std::wstring& sddl, DWORD access,
                                    UniqueFile& child) {
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return parsed.Error();
  return HoldChildFolder(parent, name, access, true, child, parsed.Get());
}

DWORD CreateChildFileWithSecurity(HANDLE parent, const std::wstring& name, const std::wstring& sddl, DWORD access,
                                  UniqueFile& child) {
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return parsed.Error();
  return CreateChildFile(parent, name, access, child, parsed.Get());
}

std::wstring KeySecurityText(HKEY key) {
  // Most descriptors fit the first buffer: one call instead of asking for the size first.
  std::string buffer(1024, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  LONG code = RegGetKeySecurity(key, kKept, buffer.data(), &size);
  if (code == ERROR_INSUFFICIENT_BUFFER && size > buffer.size()) {
    buffer.resize(size);
    code = RegGetKeySecurity(key, kKept, buffer.data(), &size);
  }
  return code == ERROR_SUCCESS ? DescriptorText(buffer.data(), kKept) : std::wstring();
}

LONG SetKeySecurityText(HKEY key, const std::wstring& sddl) {
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return static_cast<LONG>(parsed.Error());
  return RegSetKeySecurity(key, PartsOf(parsed.Get()), parsed.Get());
}

DWORD CreateFolderWithSecurity(const std::wstring& path, const std::wstring& sddl) {
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return parsed.Error();
  SECURITY_ATTRIBUTES attributes{sizeof attributes, parsed.Get(), FALSE};
  return CreateDirectoryW(path.c_str(), &attributes) ? ERROR_SUCCESS : GetLastError();
}

std::wstring ProcessUserSid() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return {};
  BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return {};
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

bool SystemKeepsOwners() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

std::string UntrustedFolderReason(const std::wstring& sddl, const std::wstring& self, bool selfTrusted, bool strict) {
  if (sddl.empty()) return "its security cannot be read";
  const ParsedSecurity parsed(sddl);
  if (!parsed.Get()) return "its security cannot be read";
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(parsed.Get(), &owner, &defaulted) || !owner) return "it has no owner";
  if (!IsTrusted(owner, self, selfTrusted)) {
    if (!self.empty() && SidText(owner) == self) {
      return "it is owned by the account the cleaner runs as (" + AnsiFromWide(self) +
             "), not by Administrators, SYSTEM or TrustedInstaller, and was not made by this run";
    }
    return "it is owned by " + AnsiFromWide(SidText(owner));
  }
  BOOL present = FALSE;
  PACL acl = nullptr;
  if (!GetSecurityDescriptorDacl(parsed.Get(), &present, &acl, &defaulted) || !present || !acl) {
    return "it lets everyone change it";
  }
  const ACCESS_MASK write = strict ? kHolderRights : kReachRights;
  for (DWORD index = 0; index < acl->AceCount; ++index) {
    void* raw = nullptr;
    if (!GetAce(acl, index, &raw)) return "its access list cannot be read";
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    // Entries that apply only to what is made inside it grant nothing on the folder itself.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & write) != 0 && !IsTrusted(sid, self, selfTrusted)) {
      return "it lets " + AnsiFromWide(SidText(sid)) + " change it";
    }
  }
  return {};
}
