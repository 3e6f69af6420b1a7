#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/security/privileges.h"

// An elevated administrator's token holds the backup, restore and shutdown privileges
// disabled; once enabled they stay so for every later open. A privilege the token does not
// hold, or a name the system does not know, gets a line naming it.
TEST(Privileges, EnabledOnceAndKeptOrNamedWhereNot) {
  EXPECT_EQ(EnablePrivileges({kBackupPrivilege, kRestorePrivilege, kShutdownPrivilege}), std::vector<std::string>{});
  for (const char* name : {kBackupPrivilege, kRestorePrivilege, kShutdownPrivilege}) {
    EXPECT_TRUE(PrivilegeEnabled(name)) << name;
  }
  const std::vector<std::string> lines = EnablePrivileges({kBackupPrivilege, "SeNoSuchPrivilege"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].starts_with("SeNoSuchPrivilege not enabled: ")) << lines[0];
  EXPECT_FALSE(PrivilegeEnabled("SeNoSuchPrivilege"));
}
