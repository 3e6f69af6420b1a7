#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/text/wide_text.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/engine_test_support.h"

namespace {

using Strings = std::vector<std::string>;

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

// The report's path as a user could have prepared it before an administrator's run, in a
// folder where users may add files (C:\Windows\Temp on Windows): written through, each of
// these would change what it names. Refused before the run changes anything, with exit code 2.
TEST(CleanerOutputFiles, AReportPathThatIsALinkOrAFolderIsRefusedBeforeAnyChange) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  const std::string victim = cleaner / "victim.ini";
  const std::string kept = "[fonts]\r\nkeep=me\r\n";
  WriteBytes(victim, kept);
  const struct {
    const char* name;
    bool (*prepare)(const std::string& victim, const std::string& path);
  } cases[] = {
      // A symbolic link (on Windows a user may make one where Developer Mode is on; Wine shows a
      // host link as a plain file whose final path is elsewhere).
      {"symbolic link", [](const std::string& v, const std::string& p) { return MakeHostSymlink(v, p); }},
      // A hard link to a file the user may not change: any user may make one on NTFS.
      {"hard link", [](const std::string& v, const std::string& p) { return MakeHostHardLink(v, p); }},
      {"folder", [](const std::string&, const std::string& p) { return CreateDirectoryA(p.c_str(), nullptr) != 0; }},
  };
  for (const auto& c : cases) {
    const std::string report = cleaner / (std::string(c.name) + ".json");
    ASSERT_TRUE(c.prepare(victim, report)) << c.name;
    const CleanerExit exit = cleaner.Run("/Q /DELETE /DELLINK \"/REPORT=" + report + "\"", 30000);
    ASSERT_TRUE(exit.finished) << c.name;
    EXPECT_EQ(exit.exitCode, 2u) << c.name;
    EXPECT_EQ(installation.TargetsGone(), Strings{}) << c.name << ": nothing removed";
    EXPECT_EQ(ReadBytes(victim), kept) << c.name;
    if (std::string(c.name) == "folder") {
      EXPECT_TRUE(IsFolder(report));
    }
    if (std::string(c.name) == "symbolic link") {
      EXPECT_TRUE(RemoveHostSymlink(report));
    }
  }
  // A plain file made in advance is replaced by a new one, never written through: what it
  // held is gone, and the run goes ahead.
  const std::string prepared = cleaner / "prepared.json";
  WriteBytes(prepared, std::string(100000, 'x'));
  const CleanerExit exit = cleaner.Run("/Q /DELETE /DELLINK \"/REPORT=" + prepared + "\"");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  const std::string json = ReadBytes(prepared);
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.front(), '{');
  EXPECT_EQ(json.find('x' + std::string(10, 'x')), std::string::npos) << "nothing of the old bytes is left";
  EXPECT_EQ(ReadBytes(victim), kept);
}

// The command line is read wide: a report and a log named in an alphabet the ANSI code page
// lacks (Polish under Windows-1252) are made under those names; a backup folder so named,
// which the run would hold in the ANSI code page, is refused before any change (exit code 2)
// instead of becoming a "?" or a look-alike that names another folder.
TEST(CleanerOutputFiles, NamesInAnyAlphabetOnTheCommandLine) {
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\CleanerTestsNothing", "[Registry_Delete_End]"});
  const std::string polish = "\xC5\x81\xC3\xB3" "d\xC5\xBA";  // "Łódź" in UTF-8
  const std::wstring folder = WideFromAnsi(cleaner.Path());
  const CleanerExit exit =
      cleaner.Run("/Q \"/TL=" + cleaner.Path() + "\\" + polish + ".log\" \"/REPORT=" + cleaner.Path() + "\\" + polish +
                  ".json\"");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  const std::wstring wide = WideFromUtf8(polish);
  EXPECT_NE(GetFileAttributesW((folder + L"\\" + wide + L".log").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW((folder + L"\\" + wide + L".json").c_str()), INVALID_FILE_ATTRIBUTES);

  const CleanerExit backup = cleaner.Run("/Q /TL \"/BACKUP=" + cleaner.Path() + "\\" + polish + "\"");
  ASSERT_TRUE(backup.finished);
  EXPECT_EQ(backup.exitCode, 2u);
  EXPECT_EQ(GetFileAttributesW((folder + L"\\" + wide).c_str()), INVALID_FILE_ATTRIBUTES) << "no backup folder made";
  bool refused = false;
  for (const std::string& line : cleaner.LogLines()) {
    refused = refused || line.find("a character of its name has no place in the ANSI code page") != std::string::npos;
  }
  EXPECT_TRUE(refused) << testing::PrintToString(cleaner.LogLines());
}
