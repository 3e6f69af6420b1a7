#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/text/wide_text.h"
#include "startup/single_instance.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/windows_descriptors.h"
#include "tests/support/wine_test_support.h"

namespace {

// The answers Windows gives each call, in a row of the table.
class AnsweredObjects : public InstanceObjects {
 public:
  DWORD create = ERROR_SUCCESS, open = ERROR_SUCCESS, mutex = ERROR_SUCCESS, lock = ERROR_SUCCESS;
  std::vector<std::string> calls;
  DWORD CreateNamespace() override { return Called("create", create); }
  DWORD OpenNamespace() override { return Called("open", open); }
  DWORD CreateMutexInNamespace() override { return Called("mutex", mutex); }
  DWORD LockFile() override { return Called("lock", lock); }

 private:
  DWORD Called(const char* name, DWORD answer) {
    calls.push_back(name);
    return answer;
  }
};

}  // namespace

TEST(SingleInstance, DecidesFromTheAnswersWindowsGives) {
  const struct {
    const char* windowsCase;
    DWORD create, open, mutex, lock;
    InstanceClaim claim;
    bool fellBack;
    std::vector<std::string> calls;
  } cases[] = {
      {"the first copy on the machine", ERROR_SUCCESS, 0, ERROR_SUCCESS, 0, InstanceClaim::Ours, false,
       {"create", "mutex"}},
      {"a second copy: the namespace and its mutex are there", ERROR_ALREADY_EXISTS, ERROR_SUCCESS,
       ERROR_ALREADY_EXISTS, 0, InstanceClaim::AnotherRuns, false, {"create", "open", "mutex"}},
      {"the namespace is there, its mutex gone with the copy that ended", ERROR_ALREADY_EXISTS, ERROR_SUCCESS,
       ERROR_SUCCESS, 0, InstanceClaim::Ours, false, {"create", "open", "mutex"}},
      {"the namespace may not be opened", ERROR_ALREADY_EXISTS, ERROR_ACCESS_DENIED, 0, 0,
       InstanceClaim::AnotherRuns, false, {"create", "open"}},
      {"the mutex may not be opened", ERROR_SUCCESS, 0, ERROR_ACCESS_DENIED, 0, InstanceClaim::AnotherRuns, false,
       {"create", "mutex"}},
      {"Wine's stub: no namespace; the lock file is free", ERROR_CALL_NOT_IMPLEMENTED, 0, 0, ERROR_SUCCESS,
       InstanceClaim::Ours, true, {"create", "lock"}},
      {"Wine's stub: another copy holds the lock file", ERROR_CALL_NOT_IMPLEMENTED, 0, 0, ERROR_SHARING_VIOLATION,
       InstanceClaim::AnotherRuns, true, {"create", "lock"}},
      {"no namespace; the lock file may not be opened", ERROR_NOT_SUPPORTED, 0, 0, ERROR_ACCESS_DENIED,
       InstanceClaim::AnotherRuns, true, {"create", "lock"}},
      {"no namespace, no Windows folder", ERROR_CALL_NOT_IMPLEMENTED, 0, 0, ERROR_PATH_NOT_FOUND,
       InstanceClaim::Unknown, true, {"create", "lock"}},
  };
  for (const auto& c : cases) {
    AnsweredObjects objects;
    objects.create = c.create;
    objects.open = c.open;
    objects.mutex = c.mutex;
    objects.lock = c.lock;
    const InstanceVerdict verdict = ClaimInstance(objects);
    EXPECT_EQ(verdict.claim, c.claim) << c.windowsCase;
    EXPECT_EQ(verdict.fellBack, c.fellBack) << c.windowsCase;
    EXPECT_EQ(objects.calls, c.calls) << c.windowsCase;
  }
}

// Windows: a normal user made the old global name first, with the default access list of the
// user's token (the administrator's open fails with access denied) or with access for
// everyone (any open succeeds). The name is no part of the claim any more: two copies still
// exclude each other, and neither squatted name stops the first.
TEST(SingleInstance, ASquattedGlobalNameNeitherStopsNorLetsASecondCopyIn) {
  namespace wd = windows_descriptors;
  for (const wchar_t* sddl : {wd::kUserMutex, wd::kEveryoneMutex}) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const UniqueKernelHandle squatted(CreateMutexW(&attributes, FALSE, L"Global\\VelmoraCleaner.Running"));
    LocalFree(descriptor);
    ScratchFolder scratch("instance");
    SystemInstanceObjects first(WideFromAnsi(scratch.Path()));
    SystemInstanceObjects second(WideFromAnsi(scratch.Path()));
    EXPECT_EQ(ClaimInstance(first).claim, InstanceClaim::Ours);
    EXPECT_EQ(ClaimInstance(second).claim, InstanceClaim::AnotherRuns);
  }
}

// Under Wine the private-namespace calls are a stub: the claim falls back to the lock file,
// which a second copy cannot open and which is gone once the first ends. On Windows the
// namespace answers and the lock file is not used.
TEST(SingleInstance, TheSystemsObjectsExcludeASecondCopyAndFreeTheClaimAtTheEnd) {
  ScratchFolder scratch("instance");
  const std::string lock = scratch / "VelmoraCleaner.Running.lock";
  bool fellBack = false;
  {
    SystemInstanceObjects first(WideFromAnsi(scratch.Path()));
    const InstanceVerdict verdict = ClaimInstance(first);
    ASSERT_EQ(verdict.claim, InstanceClaim::Ours);
    fellBack = verdict.fellBack;
    if (RunningUnderWine()) {
      EXPECT_TRUE(fellBack) << "Wine answered the private namespace: the namespace path runs here";
    }
    SystemInstanceObjects second(WideFromAnsi(scratch.Path()));
    EXPECT_EQ(ClaimInstance(second).claim, InstanceClaim::AnotherRuns);
    EXPECT_EQ(GetFileAttributesA(lock.c_str()) != INVALID_FILE_ATTRIBUTES, fellBack);
  }
  EXPECT_EQ(GetFileAttributesA(lock.c_str()), INVALID_FILE_ATTRIBUTES);
  SystemInstanceObjects third(WideFromAnsi(scratch.Path()));
  EXPECT_EQ(ClaimInstance(third).claim, InstanceClaim::Ours);
}
