#include <windows.h>
#include <sddl.h>

#include "startup/single_instance.h"

namespace {

// Administrators and SYSTEM only, for the namespace and the mutex.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

bool MeansAnotherCopy(DWORD error) {
  return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

// Where the private namespace is an answer at all: made, there already, or refused to us.
// Any other code (Wine's stub answers ERROR_CALL_NOT_IMPLEMENTED) means the system offers none.
bool NamespaceAnswered(DWORD error) {
  return error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

// Security attributes from SDDL, freed with LocalFree.
class AdministratorsOnly {
 public:
  AdministratorsOnly() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor_,
                                                              nullptr)) {
      descriptor_ = nullptr;
    }
    attributes_ = {sizeof attributes_, descriptor_, FALSE};
  }
  ~AdministratorsOnly() {
    if (descriptor_) LocalFree(descriptor_);
  }
  AdministratorsOnly(const AdministratorsOnly&) = delete;
  AdministratorsOnly& operator=(const AdministratorsOnly&) = delete;
  SECURITY_ATTRIBUTES* Get() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

InstanceVerdict ClaimInstance(InstanceObjects& objects) {
  InstanceVerdict verdict;
  DWORD made = objects.CreateNamespace();
  if (made == ERROR_ALREADY_EXISTS) made = objects.OpenNamespace();
  if (NamespaceAnswered(made)) {
    if (made != ERROR_SUCCESS) return {InstanceClaim::AnotherRuns, false, made};
    const DWORD mutex = objects.CreateMutexInNamespace();
    if (mutex == ERROR_SUCCESS) return {InstanceClaim::Ours, false, mutex};
    if (MeansAnotherCopy(mutex)) return {InstanceClaim::AnotherRuns, false, mutex};
    verdict.error = mutex;
  }
  verdict.fellBack = true;
  const DWORD locked = objects.LockFile();
  if (locked == ERROR_SUCCESS) return {InstanceClaim::Ours, true, locked};
  if (MeansAnotherCopy(locked)) return {InstanceClaim::AnotherRuns, true, locked};
  verdict.error = locked;
  return verdict;
}

SystemInstanceObjects::SystemInstanceObjects(std::wstring lockFolder) : lockFolder_(std::move(lockFolder)) {}

// Any failure here means the system offers no private namespaces (Wine's boundary call is a
// stub that returns nothing, and it lacks AddSIDToBoundaryDescriptor, which is never reached then).
DWORD SystemInstanceObjects::Boundary() {
  if (boundary_) return ERROR_SUCCESS;
  UniqueBoundaryDescriptor boundary(CreateBoundaryDescriptorW(kInstanceNamespaceName, 0));
  if (!boundary) return ERROR_CALL_NOT_IMPLEMENTED;
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return ERROR_CALL_NOT_IMPLEMENTED;
  HANDLE raw = boundary.Release();
  const BOOL added = AddSIDToBoundaryDescriptor(&raw, sid);
  boundary.Reset(raw);
  if (!added) return ERROR_CALL_NOT_IMPLEMENTED;
  boundary_ = std::move(boundary);
  return ERROR_SUCCESS;
}

DWORD SystemInstanceObjects::CreateNamespace() {
  if (const DWORD error = Boundary(); error != ERROR_SUCCESS) return error;
  AdministratorsOnly security;
  SetLastError(ERROR_SUCCESS);
  namespace_.Reset(CreatePrivateNamespaceW(security.Get(), boundary_.Get(), kInstanceNamespaceName));
  if (namespace_) return ERROR_SUCCESS;
  // A stub may fail without saying why: that is no namespace either.
  return GetLastError() == ERROR_SUCCESS ? ERROR_CALL_NOT_IMPLEMENTED : GetLastError();
}

DWORD SystemInstanceObjects::OpenNamespace() {
  if (const DWORD error = Boundary(); error != ERROR_SUCCESS) return error;
  SetLastError(ERROR_SUCCESS);
  namespace_.Reset(OpenPrivateNamespaceW(boundary_.Get(), kInstanceNamespaceName));
  if (namespace_) return ERROR_SUCCESS;
  return GetLastError() == ERROR_SUCCESS ? ERROR_CALL_NOT_IMPLEMENTED : GetLastError();
}

DWORD SystemInstanceObjects::CreateMutexInNamespace() {
  AdministratorsOnly security;
  mutex_.Reset(CreateMutexW(security.Get(), FALSE, kInstanceMutexName));
  if (!mutex_) return GetLastError();
  return GetLastError() == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
}

DWORD SystemInstanceObjects::LockFile() {
  if (lockFolder_.empty()) return ERROR_PATH_NOT_FOUND;
  const std::wstring path = lockFolder_ + L"\\" + kInstanceLockFileName;
  // No sharing at all: a second open, by any account, fails while this copy runs. Gone when
  // the handle closes, also when the process is ended.
  lock_.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return lock_ ? ERROR_SUCCESS : GetLastError();
}

std::wstring InstanceLockFolder() {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
  return length > 0 && length <= MAX_PATH ? std::wstring(folder, length) : std::wstring();
}
