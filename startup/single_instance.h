#pragma once
// One cleaner at a time on the machine, in every session, that no other account can stop or
// run beside: a mutex in a private namespace whose boundary is the Administrators group (a
// normal user cannot make that namespace, nor open it, so cannot take the name first), or,
// where the system offers no private namespaces (Wine answers with a stub), a file in a folder
// only administrators may write, opened without sharing and deleted when it closes.
#include <windows.h>

#include <string>

#include "platform/handles.h"

inline constexpr wchar_t kInstanceNamespaceName[] = L"VelmoraCleaner";
inline constexpr wchar_t kInstanceMutexName[] = L"VelmoraCleaner\\Running";
inline constexpr wchar_t kInstanceLockFileName[] = L"VelmoraCleaner.Running.lock";

enum class InstanceClaim {
  Ours,         // this copy runs; the objects stay held until it ends
  AnotherRuns,  // another copy holds them (or they exist and may not be opened): change nothing
  Unknown,      // neither form could be made: the system's errors, no other copy seen
};

// The calls a claim makes: the system's, or in tests the answers Windows gives. Each returns
// ERROR_SUCCESS or the system's code, and keeps what it made open.
class InstanceObjects {
 public:
  virtual ~InstanceObjects() = default;
  virtual DWORD CreateNamespace() = 0;
  virtual DWORD OpenNamespace() = 0;
  virtual DWORD CreateMutexInNamespace() = 0;  // ERROR_ALREADY_EXISTS when it was there
  virtual DWORD LockFile() = 0;
};

struct InstanceVerdict {
  InstanceClaim claim = InstanceClaim::Unknown;
  bool fellBack = false;  // the private namespace was not available: the lock file decided
  DWORD error = ERROR_SUCCESS;  // with Unknown: the last code
};

// Decides from the objects' answers; a refusal of access counts as another copy running.
InstanceVerdict ClaimInstance(InstanceObjects& objects);

// The system's objects: the namespace bound to Administrators, readable and usable only by
// Administrators and SYSTEM; the lock file in lockFolder (the Windows folder in the program).
class SystemInstanceObjects : public InstanceObjects {
 public:
  explicit SystemInstanceObjects(std::wstring lockFolder);
  DWORD CreateNamespace() override;
  DWORD OpenNamespace() override;
  DWORD CreateMutexInNamespace() override;
  DWORD LockFile() override;

 private:
  DWORD Boundary();
  std::wstring lockFolder_;
  UniqueBoundaryDescriptor boundary_;
  UniquePrivateNamespace namespace_;
  UniqueKernelHandle mutex_;
  UniqueFile lock_;
};

// The Windows folder: only administrators, SYSTEM and TrustedInstaller may add files to it.
std::wstring InstanceLockFolder();
