#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "tools/rule_tool.h"
#include "tools/rules/rule_check.h"

namespace {

// A rule file as the encoder writes it: every line scrambled and ended with CR LF.
std::string Stored(const std::vector<std::string>& lines) {
  std::string stored;
  for (const auto& line : lines) stored += ScrambleLine(line) + "\r\n";
  return stored;
}

std::string Describe(const std::vector<Finding>& findings) {
  std::string text;
  for (const auto& finding : findings) text += FormatFinding(finding) + "\n";
  return text;
}

struct Expected {
  std::size_t line;
  std::string fragment;  // a part of the message that names what was found
};

void ExpectFindings(const std::string& stored, const std::vector<Expected>& expected, const std::string& name) {
  const std::vector<Finding> findings = CheckRuleFile(stored);
  ASSERT_EQ(findings.size(), expected.size()) << name << "\n" << Describe(findings);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(findings[i].line, expected[i].line) << name << "\n" << Describe(findings);
    EXPECT_NE(findings[i].message.find(expected[i].fragment), std::string::npos)
        << name << ": wanted \"" << expected[i].fragment << "\" in\n" << Describe(findings);
  }
}

// A file that uses every section the way its authors should: no findings.
const std::vector<std::string> kCleanFile = {
    "Velmora Anti-Virus 5.1 rules; text outside sections is commentary",
    "[Registry_Delete]",
    "HKEY_LOCAL_MACHINE\\Software\\VelmoraLab",
    "hkey_current_user\\Software\\VelmoraLab\\QRV",
    "HKEY_CLASSES_ROOT\\CLSID\\{6A2E3C10-1B7D-4C55-9F1A-0D3E7C2B5A91}",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZdnMon",
    "[Registry_Delete_End]",
    "",
    "[Registry_Delete_Val]",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run=ZDN Monitor",
    "HKEY_CURRENT_USER\\Software\\VelmoraLab\\Settings=",
    "HKEY_CURRENT_USER\\Software\\VelmoraLab\\Settings=a=b",
    "[Registry_Delete_Val_End]",
    "[Registry_Move_Val]",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\ZDN Monitor (off)=ZDN Monitor",
    "[Registry_Move_Val_End]",
    "[Delete_Folder]",
    "%Program%",
    "%Shared%\\",
    "%PF%\\Corvantix",
    "%WinDir%\\Temp\\QRV",
    "%winsys%\\drivers\\zdn",
    "C:\\Documents and Settings\\All Users\\Application Data\\Velmora",
    "[Delete_Folder_End]",
    "[Delete_File]",
    "%winsys%\\zdnhook.dll",
    "%WinDir%\\qrv.ini",
    "%Program%\\zdnmon.exe",
    "[Delete_File_End]",
    "[Delete_File_End] is an end marker only when the whole line is one",
};

}  // namespace

TEST(RuleCheck, ACleanFileHasNoFindings) {
  EXPECT_EQ(Describe(CheckRuleFile(Stored(kCleanFile))), "");
  EXPECT_EQ(Describe(CheckRuleFile("")), "");
  // A Ctrl-Z as the very last byte ends nothing that would be read.
  EXPECT_EQ(Describe(CheckRuleFile(Stored(kCleanFile) + "\x1A")), "");
  // A last line without a line end is read like any other.
  EXPECT_EQ(Describe(CheckRuleFile(ScrambleLine("[Delete_File]") + "\r" + ScrambleLine("[Delete_File_End]"))), "");
}

TEST(RuleCheck, FindsWhatTheFileLayoutHides) {
  const std::string lfOnly =
      ScrambleLine("[Delete_Folder]") + "\n" + ScrambleLine("%Program%") + "\n" + ScrambleLine("[Delete_Folder_End]") + "\n";
  ExpectFindings(lfOnly, {{1, "holds 3 line feeds (LF) without a carriage return"}}, "LF-only");

  const std::string partlyLf = Stored({"one", "two"}) + ScrambleLine("three") + "\n" + ScrambleLine("four") + "\r\n";
  ExpectFindings(partlyLf, {{3, "holds 1 line feed (LF)"}}, "one LF-only line end");

  const std::string cut = Stored({"[Delete_File]", "%Program%\\a.dll"}) + "\x1A" + Stored({"[Delete_File_End]"});
  ExpectFindings(cut,
                 {{1, "section \"[Delete_File]\" never ends"},
                  {3, "a Ctrl-Z (byte 26) ends the file here: the cleaner reads nothing after it (19 bytes)"}},
                 "Ctrl-Z at a line start");
  const std::string cutMidLine = ScrambleLine("abc") + "\r\n" + ScrambleLine("de") + "\x1A\x1A";
  ExpectFindings(cutMidLine, {{2, "reads nothing after it (1 byte)"}}, "Ctrl-Z within a line");
}

TEST(RuleCheck, FindsSectionsThatDoNotWorkAsWritten) {
  const struct {
    const char* name;
    std::vector<std::string> lines;
    std::vector<Expected> expected;
  } cases[] = {
      {"section never ends",
       {"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\VelmoraLab", "[Delete_Folder]", "%Program%"},
       {{1, "section \"[Registry_Delete]\" never ends: \"[Registry_Delete_End]\" is missing"},
        {3, "header \"[Delete_Folder]\" inside the section \"[Registry_Delete]\" opened at line 1: it is taken as "
            "an entry"},
        // The folder entry that follows is a registry key to the open section.
        {4, "has no \"\\\": it names the key \"%Program%\" right below HKEY_CURRENT_USER"},
        {4, "\"HKEY_CURRENT_USER\\%Program%\" is a key Windows or other programs share"}}},
      {"end marker outside its section",
       {"[Delete_Folder]", "%Program%", "[Delete_Folder_End]", "[Delete_Folder_End]", "[Delete_File_End]"},
       {{4, "end marker \"[Delete_Folder_End]\" outside its section: the line has no effect"},
        {5, "end marker \"[Delete_File_End]\" outside its section"}}},
      {"other end marker inside a section",
       {"[Delete_File]", "[Delete_Folder_End]", "[Delete_File_End]"},
       {{2, "end marker \"[Delete_Folder_End]\" inside the section \"[Delete_File]\" opened at line 1: it does not "
            "end that section"}}},
      {"own header inside a section",
       {"", "[Registry_Delete_Val]", "[Registry_Delete_Val]", "[Registry_Delete_Val_End]"},
       {{3, "header \"[Registry_Delete_Val]\" inside the section \"[Registry_Delete_Val]\" opened at line 2"}}},
      {"header in another letter case or with blanks",
       {"[delete_folder]", "%Program%", "[Delete_Folder_End]", " [Registry_Delete]", "[Delete_File]\t"},
       {{1, "\"[delete_folder]\" is not \"[Delete_Folder]\" (headers and end markers match only exactly"},
        {3, "end marker \"[Delete_Folder_End]\" outside its section"},
        {4, "\" [Registry_Delete]\" is not \"[Registry_Delete]\""},
        {5, "\"[Delete_File]\t\" is not \"[Delete_File]\""}}},
      {"end marker with a trailing blank inside its section",
       {"[Delete_Folder]", "%Program%", "[Delete_Folder_End] "},
       {{1, "never ends"},
        {3, "\"[Delete_Folder_End] \" is not \"[Delete_Folder_End]\" (headers and end markers match only exactly, "
            "letter case and blanks included): it is taken as an entry of the section opened at line 1"}}},
  };
  for (const auto& c : cases) ExpectFindings(Stored(c.lines), c.expected, c.name);
}

TEST(RuleCheck, FindsEntriesThatNameNothing) {
  const struct {
    const char* header;
    const char* endMarker;
    std::vector<std::string> entries;
    std::vector<std::string> fragments;  // one finding per entry, in order
  } cases[] = {
      {"[Registry_Delete]", "[Registry_Delete_End]",
       {"HKEY_LOCAL_MACHINE\\", "HKEY_LOCAL_MACHINE\\\\", "HKEY_CURRENT_USER\\\\\\", "\\"},
       {"names no key: the cleaner refuses it", "names no key: the cleaner refuses it",
        "names no key: the cleaner refuses it", "names no key: the cleaner refuses it"}},
      {"[Registry_Delete_Val]", "[Registry_Delete_Val_End]",
       {"HKEY_CURRENT_USER\\Software\\VelmoraLab", "HKEY_CURRENT_USER\\=Version", "QRV=C:\\x"},
       {"has no \"=\" and names no value: the whole line is taken as a value name of HKEY_CURRENT_USER itself",
        "names no key: the value \"Version\" is deleted from HKEY_CURRENT_USER itself",
        "names no key: the value \"C:\\x\" is deleted from HKEY_CURRENT_USER itself"}},
      {"[Registry_Move_Val]", "[Registry_Move_Val_End]",
       {"HKEY_CURRENT_USER\\Software\\VelmoraLab", "=Old", "Run=ZDN Monitor",
        "HKEY_CURRENT_USER\\Software\\VelmoraLab\\Mode=mode", "HKEY_LOCAL_MACHINE\\New=Old"},
       {"names no new value name (the form is ROOT\\KEY\\NEW=OLD): the cleaner refuses it",
        "names no new value name", "names no new value name",
        "renames \"mode\" to its own name: the cleaner refuses it",
        "names no key: the value is renamed in HKEY_LOCAL_MACHINE itself"}},
      {"[Delete_File]", "[Delete_File_End]", {"%Program%\\Data\\", "%Shared%"},
       {"\"%Program%\\Data\\\" names a folder: a file entry passes over folders and deletes nothing",
        "\"%Shared%\" names a folder"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = {c.header};
    lines.insert(lines.end(), c.entries.begin(), c.entries.end());
    lines.push_back(c.endMarker);
    std::vector<Expected> expected;
    for (std::size_t i = 0; i < c.fragments.size(); ++i) expected.push_back({i + 2, c.fragments[i]});
    ExpectFindings(Stored(lines), expected, c.header);
  }
}

TEST(RuleCheck, FindsEntriesHoldingANulByte) {
  const std::string nul(1, '\0');
  ExpectFindings(Stored({"[Delete_Folder]", "%Program%" + nul + "\\..\\..", "[Delete_Folder_End]", "[Registry_Delete]",
                         "HKEY_CURRENT_USER\\Software\\VelmoraLab" + nul + "x", "[Registry_Delete_End]",
                         "outside" + nul}),
                 {{2, "a NUL byte in the entry (stored as 226 or 0): the cleaner refuses it"},
                  {5, "a NUL byte in the entry"}},
                 "NUL bytes");
}

TEST(RuleCheck, BlankLinesInsideSectionsAreSeparators) {
  std::vector<std::string> lines;
  for (const RuleSection& section : kRuleSections) {
    lines.insert(lines.end(), {std::string(section.header), "", std::string(section.endMarker)});
  }
  EXPECT_EQ(Describe(CheckRuleFile(Stored(lines))), "");
}

TEST(RuleCheck, FindsRootNamesThatFallBackToCurrentUser) {
  ExpectFindings(Stored({"[Registry_Delete]", "HKLM\\Software\\VelmoraLab", "\\Software\\VelmoraLab",
                         "HKEY_USERS\\.DEFAULT\\Software\\VelmoraLab", "VelmoraLab", "HKEY_LOCAL_MACHINE \\Software\\X",
                         "[Registry_Delete_End]", "[Registry_Delete_Val]", "HKCU\\Software\\VelmoraLab=Mode",
                         "[Registry_Delete_Val_End]", "[Registry_Move_Val]", "HKCR\\CLSID\\{x}\\New=Old",
                         "[Registry_Move_Val_End]"}),
                 {{2, "root name \"HKLM\" is not recognised (only HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and "
                      "HKEY_CLASSES_ROOT are): the entry works under HKEY_CURRENT_USER"},
                  {3, "begins with \"\\\" and names no root: the entry works under HKEY_CURRENT_USER"},
                  {4, "root name \"HKEY_USERS\" is not recognised"},
                  {5, "has no \"\\\": it names the key \"VelmoraLab\" right below HKEY_CURRENT_USER"},
                  {5, "\"HKEY_CURRENT_USER\\VelmoraLab\" is a key Windows or other programs share"},
                  {6, "root name \"HKEY_LOCAL_MACHINE \" is not recognised"},
                  {9, "root name \"HKCU\" is not recognised"},
                  {12, "root name \"HKCR\" is not recognised"}},
                 "root names");
}

TEST(RuleCheck, FindsPlaceholdersThatAreNotExpanded) {
  ExpectFindings(Stored({"[Delete_Folder]", "%program%\\Data", "%PROGRAM%", "%Pf%\\Velmora Lab", "[Delete_Folder_End]",
                         "[Delete_File]", "%Winsys%\\zdnhook.dll", "%windir%\\qrv.ini", "%SHARED%\\a.dat",
                         "%Program%\\a_%Program%.dat", "%program%\\x_%PROGRAM%_%program%.dat", "[Delete_File_End]",
                         "[Registry_Delete_Val]", "HKEY_CURRENT_USER\\Software\\VelmoraLab=%WINSYS%",
                         "[Registry_Delete_Val_End]", "[Delete_Folder]", "%progdata%\\Velmora Lab", "%Pf64%\\Velmora Lab",
                         "%CF64%\\Velmora Lab", "%ProgData%\\Velmora Lab", "%userroaming%\\Velmora Lab",
                         "%UserLocal%\\Velmora Lab", "[Delete_Folder_End]"}),
                 {{2, "\"%program%\" is not a placeholder (placeholders match only in their own letter case: "
                      "\"%Program%\"): it stays in the line as written"},
                  {3, "\"%PROGRAM%\" is not a placeholder"},
                  {4, "\"%Pf%\" is not a placeholder"},
                  {7, "\"%Winsys%\" is not a placeholder (placeholders match only in their own letter case: "
                      "\"%winsys%\")"},
                  {8, "\"%windir%\" is not a placeholder (placeholders match only in their own letter case: "
                      "\"%WinDir%\")"},
                  {9, "\"%SHARED%\" is not a placeholder"},
                  {10, "\"%Program%\" occurs 2 times: only the first is replaced"},
                  {11, "\"%program%\" is not a placeholder"},
                  {11, "\"%PROGRAM%\" is not a placeholder"},
                  {14, "\"%WINSYS%\" is not a placeholder"},
                  {17, "\"%progdata%\" is not a placeholder (placeholders match only in their own letter case: "
                       "\"%ProgData%\")"},
                  {18, "\"%Pf64%\" is not a placeholder (placeholders match only in their own letter case: \"%PF64%\")"},
                  {21, "\"%userroaming%\" is not a placeholder (placeholders match only in their own letter case: "
                       "\"%UserRoaming%\")"}},
                 "placeholders");
}

TEST(RuleCheck, FindsEntriesTheCleanerRefuses) {
  ExpectFindings(Stored({"[Registry_Delete]", "HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\Software\\Microsoft",
                         "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\",
                         "HKEY_CLASSES_ROOT\\CLSID", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft",
                         "HKLM\\Software", "[Registry_Delete_End]"}),
                 {{2, "\"HKEY_LOCAL_MACHINE\\SOFTWARE\" is a key Windows or other programs share: the cleaner refuses "
                      "to delete it"},
                  {3, "\"HKEY_LOCAL_MACHINE\\Software\\Microsoft\" is a key Windows or other programs share"},
                  {4, "\"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\" is a key"},
                  {5, "\"HKEY_CLASSES_ROOT\\CLSID\" is a key"},
                  {6, "\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\" is a key"},
                  {7, "root name \"HKLM\" is not recognised"},
                  {7, "\"HKEY_CURRENT_USER\\Software\" is a key Windows or other programs share"}},
                 "shared keys");

  ExpectFindings(Stored({"[Registry_Delete]", "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager",
                         "HKEY_CLASSES_ROOT\\*\\shellex\\ContextMenuHandlers\\ZDNScan", "[Registry_Delete_End]",
                         "[Registry_Delete_Val]", "HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command=",
                         "[Registry_Delete_Val_End]", "[Registry_Move_Val]", "HKEY_CURRENT_USER\\Environment\\P=PATH",
                         "HKEY_CURRENT_USER\\Software\\VelmoraLab\\New=", "[Registry_Move_Val_End]"}),
                 {{2, "\"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager\" lies in a registry tree "
                      "Windows needs whole: the cleaner refuses to delete it"},
                  {6, "\"HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command=\" is a value Windows needs: the cleaner "
                      "refuses to delete it"},
                  {9, "\"HKEY_CURRENT_USER\\Environment=PATH\" is a value Windows needs: the cleaner refuses to rename it"},
                  {10, "renames from or to the default value: the cleaner refuses it"}},
                 "protected registry trees and values");

  const std::vector<std::string> refusedFolders = {
      "C:\\", "%WinDir%", "%winsys%", "%PF%", "%PF%\\", "%PF%\\Common Files", "c:\\program files\\",
      "C:\\Users", "C:\\Users\\Public\\Desktop", "%ProgData%", "%PF64%\\", "%CF64%", "%UserRoaming%",
      "%UserLocal%\\"};
  std::vector<std::string> lines = {"[Delete_Folder]"};
  lines.insert(lines.end(), refusedFolders.begin(), refusedFolders.end());
  lines.push_back("[Delete_Folder_End]");
  const std::vector<Finding> findings = CheckRuleFile(Stored(lines));
  ASSERT_EQ(findings.size(), refusedFolders.size()) << Describe(findings);
  for (std::size_t i = 0; i < refusedFolders.size(); ++i) {
    EXPECT_EQ(findings[i].line, i + 2);
    EXPECT_TRUE(findings[i].message.starts_with("\"" + refusedFolders[i] + "\" names a "))
        << findings[i].message;
    EXPECT_TRUE(findings[i].message.ends_with(": the cleaner refuses to delete it")) << findings[i].message;
  }
  EXPECT_NE(findings[0].message.find("names a drive root"), std::string::npos);
  EXPECT_NE(findings[5].message.find("names a system folder (Windows, System, Program Files, Common Files, "
                                     "ProgramData, Users and their shell folders) or a folder above one"),
            std::string::npos);
}

// The reasons of the guards that decide from the rule file alone: Windows' registry namespaces
// are deny-by-default, the system's data files are Windows' own, every folder right in the
// profiles folder is a user's.
TEST(RuleCheck, FindsWhatTheGuardsRefuseByWhatItIs) {
  ExpectFindings(Stored({"[Registry_Delete]", "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Video",
                         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QRV", "[Registry_Delete_End]",
                         "[Registry_Delete_Val]",
                         "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced=Hidden",
                         "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run=QRV Tray",
                         "[Registry_Delete_Val_End]", "[Delete_File]", "%WinDir%\\win.ini", "%winsys%\\drivers\\etc\\hosts",
                         "%WinDir%\\qrv.ini", "[Delete_File_End]", "[Delete_Folder]", "C:\\Users\\other",
                         "C:\\Users\\other\\AppData\\Roaming\\Velmora", "[Delete_Folder_End]"}),
                 {{2, "\"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Video\" is Windows' own key, not below a "
                      "place where programs register (deny-by-default place)"},
                  {6, "lies in Windows' own key, neither a place where programs keep values nor a program's key "
                      "(deny-by-default place): the cleaner refuses to delete it"},
                  {10, "\"%WinDir%\\win.ini\" is a system data file of Windows (Windows' own file)"},
                  {11, "\"%winsys%\\drivers\\etc\\hosts\" is a system data file of Windows (Windows' own file)"},
                  {15, "\"C:\\Users\\other\" names a user's profile folder (profile)"}},
                 "guards by what things are");
}

// A key name beyond the registry's 255 characters names no key: in each registry section the
// line is a mistake the cleaner refuses, and check names it; 255 characters are a name.
TEST(RuleCheck, FindsKeyNamesLongerThanTheRegistryAllows) {
  const std::string overlong(256, 'W'), longest(255, 'W');
  const std::string finding = "holds a key name longer than 255 characters, which no registry key can have: the cleaner refuses it";
  ExpectFindings(Stored({"[Registry_Delete]", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\" + overlong,
                         "HKEY_CURRENT_USER\\Software\\Velmora\\" + overlong, "HKEY_CURRENT_USER\\Software\\Velmora\\" + longest,
                         "[Registry_Delete_End]", "[Registry_Delete_Val]", "HKEY_CURRENT_USER\\Software\\" + overlong + "=V",
                         "[Registry_Delete_Val_End]", "[Registry_Move_Val]",
                         "HKEY_CURRENT_USER\\Software\\" + overlong + "\\New=Old", "[Registry_Move_Val_End]"}),
                 {{2, finding}, {3, finding}, {7, finding}, {10, finding}}, "overlong key names");
}

// The cleaner takes one written form of a path; check names every other one, in both kinds
// of section, as the refusal it is.
TEST(RuleCheck, FindsPathsThatAreNotPlainDrivePaths) {
  const std::vector<std::string> notPlain = {
      "Velmora Lab", "\\Program Files\\Velmora Lab", "D:Velmora", "c:", "\\", "\\\\server\\share",
      "\\??\\C:\\users\\Public\\Desktop", "\\??\\C:\\", "\\\\localhost\\c$\\Windows",
      "\\\\?\\UNC\\localhost\\c$\\x", "\\\\?\\C:\\x", "\\\\.\\C:\\x", "C:\\Windows.", "C:/",
      "C:\\\\Windows", "%Program%\\.\\x", "%Program%\\..", "%Shared%\\x\\..", "C:\\WINDOWS\\.",
      "%Program%\\NUL"};
  for (const char* section : {"Folder", "File"}) {
    std::vector<std::string> lines = {std::string("[Delete_") + section + "]"};
    lines.insert(lines.end(), notPlain.begin(), notPlain.end());
    lines.push_back(std::string("[Delete_") + section + "_End]");
    const std::vector<Finding> findings = CheckRuleFile(Stored(lines));
    std::size_t next = 0;
    for (std::size_t i = 0; i < notPlain.size(); ++i) {
      // A file entry ending in "\\" is told apart as naming a folder.
      const bool namesFolder = std::string(section) == "File" && notPlain[i].ends_with('\\');
      ASSERT_LT(next, findings.size()) << Describe(findings);
      EXPECT_EQ(findings[next].line, i + 2) << notPlain[i];
      EXPECT_EQ(findings[next].message.rfind("\"" + notPlain[i] + (namesFolder ? "\" names a folder" : "\" is not a plain drive path ("), 0), 0u)
          << findings[next].message;
      ++next;
    }
    EXPECT_EQ(next, findings.size()) << Describe(findings);
  }
  ExpectFindings(Stored({"[Delete_File]", "%program%\\zdnhook.dll", "[Delete_File_End]"}),
                 {{2, "\"%program%\" is not a placeholder"}}, "a misspelt placeholder explains itself");
}

TEST(RuleCheck, JudgesLinesOutsideSectionsAsCommentary) {
  // Entries that would be wrong inside a section mean nothing outside one.
  EXPECT_EQ(Describe(CheckRuleFile(Stored({"HKLM\\Software", "%program%", "C:\\", "", "[Delete_File]x"}))), "");
}

namespace {

class RuleCheckCommand : public testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("rule_check_" + std::to_string(std::random_device{}()) + ".dat"))
                .string();
  }
  void TearDown() override { std::filesystem::remove(path_); }
  int Check(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary) << bytes;
    out_.str({});
    err_.str({});
    return RunRuleTool({"check", path_}, out_, err_);
  }
  std::string path_;
  std::ostringstream out_;
  std::ostringstream err_;
};

}  // namespace

TEST_F(RuleCheckCommand, ExitCodeSaysCleanFindingsOrUnreadable) {
  EXPECT_EQ(Check(Stored(kCleanFile)), kToolDone);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Check(Stored({"[Delete_Folder]", "%PF%", "[Delete_Folder_End]", "[Delete_Folder_End]"})), kToolFindings);
  EXPECT_EQ(out_.str(),
            "line 2: \"%PF%\" names a system folder (Windows, System, Program Files, Common Files, ProgramData, Users "
            "and their shell folders) or a folder above one: the cleaner refuses to delete it\n"
            "line 4: end marker \"[Delete_Folder_End]\" outside its section: the line has no effect\n");
  std::filesystem::remove(path_);
  out_.str({});
  EXPECT_EQ(RunRuleTool({"check", path_}, out_, err_), kToolFailed);
  EXPECT_EQ(err_.str(), "RuleTool: cannot read " + path_ + ": File not found\n");
  EXPECT_EQ(out_.str(), "");
}

TEST(RuleToolCheck, AnEntryInOneProgramFilesFolderIsNotedWhenItsTwinExistsAndNoEntryNamesIt) {
  const std::vector<std::string> present = {"C:\\Program Files\\V\\x64", "C:\\Program Files (x86)\\V",
                                            "D:\\Program Files (x86)\\Z.sys"};
  const PathProbe exists = [&](const std::string& path) { return std::ranges::count(present, path) > 0; };
  const std::vector<std::string> lines = {
      "[Delete_Folder]", "C:\\Program Files (x86)\\V\\x64", "C:\\PROGRAM FILES\\V", "C:\\Program Files (x86)\\v",
      "C:\\Program Files (x86)\\Gone", "C:\\Program Filesx\\V\\x64", "[Delete_Folder_End]",
      "[Delete_File]", "D:\\Program Files\\Z.sys", "[Delete_File_End]"};
  const std::string text = Describe(CheckRuleFile(Stored(lines), exists));
  EXPECT_EQ(std::ranges::count(text, '\n'), 2) << text;
  EXPECT_NE(text.find("line 2: \"C:\\Program Files\\V\\x64\" exists too"), std::string::npos) << text;
  EXPECT_NE(text.find("line 9: \"D:\\Program Files (x86)\\Z.sys\" exists too"), std::string::npos) << text;
}

TEST(RuleCheck, AFileSavedAsPlainTextIsNamedAsSuchAndNothingElse) {
  const auto text = [](const std::vector<std::string>& lines, const std::string& end) {
    std::string joined;
    for (const std::string& line : lines) joined += line + end;
    return joined;
  };
  const std::vector<std::string> rules = {"Velmora rules", "[Registry_Delete]", "HKEY_LOCAL_MACHINE\\Software\\VelmoraLab",
                                          "[Registry_Delete_End]"};
  const struct {
    const char* name;
    std::string stored;
    std::size_t line;  // 0: no such finding
  } cases[] = {
      {"plain text, CR LF", text(rules, "\r\n"), 2},
      {"plain text, LF only", text(rules, "\n"), 2},
      {"only an end marker, in other letter case", text({"a", "b", " [delete_file_end] "}, "\r\n"), 3},
      {"encoded", Stored(rules), 0},
      {"encoded, one line pasted in plain", Stored(rules) + "[Delete_File]\r\n", 0},
      {"plain text without any section", text({"HKEY_LOCAL_MACHINE\\Software"}, "\r\n"), 0},
  };
  for (const auto& c : cases) {
    const std::vector<Finding> findings = CheckRuleFile(c.stored);
    const bool plain = findings.size() == 1 && findings[0].message.starts_with("the file looks like plain rule text");
    EXPECT_EQ(plain, c.line != 0) << c.name << "\n" << Describe(findings);
    if (plain) {
      EXPECT_EQ(findings[0].line, c.line) << c.name;
    }
  }
}

// Where the machine's evidence decides (a firewall rule for a program, a Winlogon
// notification, Windows' namespaces), check names nothing; a rename of a firewall rule, a value
// of the firewall's own settings, and a key of the firewall are still refused by the file alone.
TEST(RuleCheck, LeavesToTheMachineWhatItsEvidenceDecides) {
  const std::string firewall = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy";
  ExpectFindings(Stored({"[Registry_Delete_Val]", firewall + "\\FirewallRules=QRV Rule", firewall + "=EnableFirewall",
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\RegisteredApplications=QRV", "[Registry_Delete_Val_End]",
                         "[Registry_Move_Val]", firewall + "\\FirewallRules\\QRV Rule=QRV Rule.off", "[Registry_Move_Val_End]",
                         "[Registry_Delete]", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\QRV",
                         firewall + "\\FirewallRules", "HKEY_CLASSES_ROOT\\mailto", "[Registry_Delete_End]"}),
                 {{3, "is a value Windows needs: the cleaner refuses to delete it"},
                  {7, "is a value Windows needs: the cleaner refuses to rename it"},
                  {11, "lies in a registry tree Windows needs whole: the cleaner refuses to delete it"}},
                 "the machine's evidence");
}
