#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

#include "engine/guards/folder_safety.h"
#include "engine/guards/product_evidence_win.h"
#include "engine/guards/registrations.h"
#include "engine/guards/windows_files_win.h"
#include "engine/run/deletion.h"
#include "engine/run/registry_actions.h"
#include "platform/effects.h"
#include "platform/files/files.h"
#include "platform/files/relative_files.h"
#include "platform/files/system_mirror.h"
#include "platform/text/wide_text.h"
#include "platform/text/text_rules.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/registry_test_key.h"
#include "tests/support/wine_test_support.h"

namespace {

using Kind = RecordedAction::Kind;

bool AnyLineStartsWith(const std::vector<std::string>& lines, const std::string& start) {
  for (const auto& line : lines) {
    if (line.starts_with(start)) return true;
  }
  return false;
}

std::size_t Removals(const RecordingEffects& effects) {
  return effects.Count(Kind::RemoveFile) + effects.Count(Kind::RemoveFolder);
}

}  // namespace

// Which reparse points the walk takes for links. Windows: a symbolic link and a junction
// (mount point) are links, removed as themselves; a OneDrive placeholder and a deduplicated
// file are data and are deleted as files and folders. Wine gives no tag for a host link,
// which must count as a link all the same.
TEST(ReparsePoints, OnlyNameSurrogatesAreLinks) {
  constexpr DWORD kReparseFolder = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  const struct {
    DWORD attributes, tag;
    bool link;
  } cases[] = {
      {kReparseFolder, 0xA000000Cu, true},               // IO_REPARSE_TAG_SYMLINK
      {kReparseFolder, 0xA0000003u, true},               // IO_REPARSE_TAG_MOUNT_POINT (junction)
      {FILE_ATTRIBUTE_REPARSE_POINT, 0xA000000Cu, true},  // a file's symbolic link
      {kReparseFolder, 0x9000601Au, false},              // IO_REPARSE_TAG_CLOUD_6 (OneDrive folder)
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001Au, false},  // IO_REPARSE_TAG_CLOUD placeholder file
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x80000013u, false},  // IO_REPARSE_TAG_DEDUP
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x8000001Bu, false},  // IO_REPARSE_TAG_APPEXECLINK is not a name surrogate
      {kReparseFolder, 0, true},                         // Wine's host link: no tag given
      {FILE_ATTRIBUTE_DIRECTORY, 0xA000000Cu, false},    // no reparse point at all
      {FILE_ATTRIBUTE_ARCHIVE, 0, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsLinkEntry(c.attributes, c.tag), c.link) << std::hex << c.tag;
}

// Windows' own files and folders in the Windows folder are refused with a line and left,
// whatever the rule file says; nothing reaches the gateway for them. Under Wine its DLLs and
// drivers carry Microsoft as their company, as Windows' do.
TEST(WindowsOwnFiles, AreRefusedAndTheProductsFilesThereAreNot) {
  const std::string system = SystemFolder(), windows = WindowsFolder();
  const struct {
    std::string path;
    bool folder;
    std::string line;
  } refused[] = {
      {system + "\\ntdll.dll", false, "Refused to delete Windows' own file " + system + "\\ntdll.dll (its version resource names Microsoft as its company)"},
      {windows + "\\win.ini", false, "Refused to delete Windows' own file " + windows + "\\win.ini (a system data file)"},
      {system + "\\drivers\\etc\\hosts", false, "Refused to delete Windows' own file " + system + "\\drivers\\etc\\hosts (a system data file)"},
      // Windows' own folder inside the System folder: refused whole, before anything in it is read.
      {system + "\\drivers", true, "Refused to delete protected folder " + system + "\\drivers"},
  };
  for (const auto& c : refused) {
    ASSERT_TRUE(c.folder ? IsExistingFolder(c.path) : IsExistingFile(c.path)) << c.path;
    EngineTestContext test(Acting::Recorded);
    test.state.WindowsFolder = windows;
    if (c.folder) {
      DeleteFolderTree(test.context, c.path);
    } else {
      DeleteSingleFile(test.context, c.path);
    }
    EXPECT_EQ(Removals(test.recorded), 0u) << c.path;
    ASSERT_EQ(test.reporter.infoLines.size(), 1u) << c.path;
    EXPECT_TRUE(test.reporter.infoLines[0].starts_with(c.line)) << test.reporter.infoLines[0];
    EXPECT_EQ(test.context.outcome.ExitCode(), 1);
  }
  // The product's files in the same folders, and a folder of its own there, still go: their
  // names carry the product's name as a word.
  const std::string hook = system + "\\ZdnHook_guard_test.dll", ini = windows + "\\qrv_guard_test.ini";
  const std::string folder = windows + "\\QRV_guard_test";
  WriteBytes(hook, "MZ hook");
  WriteBytes(ini, "[QRV]");
  WriteBytes(folder + "\\sub\\qrv.dat", "data");
  EngineTestContext test;
  test.state.WindowsFolder = windows;
  DeleteSingleFile(test.context, hook);
  DeleteSingleFile(test.context, ini);
  DeleteFolderTree(test.context, folder);
  EXPECT_TRUE(test.reporter.infoLines.empty());
  for (const std::string& gone : {hook, ini, folder}) EXPECT_FALSE(Exists(gone)) << gone;
}

namespace {

// A copy of the helper whose version resource names Velmora as its maker, or of one of Wine's
// own libraries, whose version resource names Microsoft (as Windows' and its redistributables' do).
void CopyInto(const std::string& from, const std::string& to) {
  CreateDirectoryA(FolderOfPath(to).c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << to;
}

}  // namespace

// Inside the Windows folder and Windows' parts of Program Files, Common Files and ProgramData an
// item goes only with the product's evidence: its long name carries the product's name as a
// word, or its version resource names the product's maker. Everything else there is refused
// with a line saying what was missing, and a Microsoft-versioned file is Windows' own there
// too. The same files outside Windows' places go on the rule's word.
TEST(ProductEvidence, InWindowsPlacesOnlyTheProductsEvidenceLetsAnItemGo) {
  const std::string system = SystemFolder(), windows = WindowsFolder();
  char programFiles[MAX_PATH] = {}, commonFiles[MAX_PATH] = {}, programData[MAX_PATH] = {};
  ASSERT_GT(ExpandEnvironmentStringsA("%ProgramFiles%", programFiles, MAX_PATH), 0u);
  ASSERT_GT(ExpandEnvironmentStringsA("%CommonProgramFiles%", commonFiles, MAX_PATH), 0u);
  ASSERT_GT(ExpandEnvironmentStringsA("%ProgramData%", programData, MAX_PATH), 0u);
  const std::string part = HelperPath("velmora_part.exe"), microsoft = system + "\\kernel32.dll";
  const std::string noWord = "its name does not carry the product's name (QRV, ZDN, Velmora, Corvantix) as a word";
  const std::string noCompany = noWord + " and its version resource does not name the product's company";
  ScratchFolder outside("evidence_outside");
  const struct {
    std::string path;
    std::string copyOf;  // empty: a plain file
    bool folder;
    std::string line;  // empty: deleted
  } cases[] = {
      {system + "\\zdnhook_ev.dll", "", false, kRefusedFileWithoutEvidenceText + system + "\\zdnhook_ev.dll - " + noCompany},
      {system + "\\zdnflt_ev.sys", part, false, ""},
      {system + "\\ZdnFlt_ev.sys", "", false, ""},
      {windows + "\\Temp\\Velmora_ev", "", true, ""},
      {windows + "\\Temp\\setup_ev", "", true, kRefusedFolderWithoutEvidenceText + windows + "\\Temp\\setup_ev - " + noWord},
      {std::string(programFiles) + "\\Internet Explorer\\qrv_ev_plugin.dll", "", false, ""},
      {std::string(programFiles) + "\\Internet Explorer\\plugin_ev.dll", "", false,
       kRefusedFileWithoutEvidenceText + std::string(programFiles) + "\\Internet Explorer\\plugin_ev.dll - " + noCompany},
      {std::string(programFiles) + "\\Internet Explorer\\ie_ev.exe", microsoft, false,
       kRefusedWindowsFileText + std::string(programFiles) + "\\Internet Explorer\\ie_ev.exe (its version resource names Microsoft as its company)"},
      {std::string(commonFiles) + "\\Microsoft Shared\\shared_ev.dll", "", false,
       kRefusedFileWithoutEvidenceText + std::string(commonFiles) + "\\Microsoft Shared\\shared_ev.dll - " + noCompany},
      {std::string(programData) + "\\Microsoft\\Velmora_ev", "", true, ""},
      {std::string(programData) + "\\Microsoft\\Crypto_ev", "", true,
       kRefusedFolderWithoutEvidenceText + std::string(programData) + "\\Microsoft\\Crypto_ev - " + noWord},
      {outside / "zdnhook_ev.dll", "", false, ""},
      {outside / "ms_ev.dll", microsoft, false, ""},
  };
  for (const auto& c : cases) {
    if (c.folder) {
      WriteBytes(c.path + "\\inside.dat", "x");
    } else if (c.copyOf.empty()) {
      WriteBytes(c.path, "MZ");
    } else {
      CopyInto(c.copyOf, c.path);
    }
    EngineTestContext test;
    test.state.WindowsFolder = windows;
    c.folder ? DeleteFolderTree(test.context, c.path) : DeleteSingleFile(test.context, c.path);
    EXPECT_EQ(Exists(c.path), !c.line.empty()) << c.path;
    EXPECT_EQ(test.reporter.infoLines, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
    EXPECT_EQ(test.context.outcome.ExitCode(), c.line.empty() ? 0 : 1) << c.path;
    if (c.folder) {
      RemoveTreeForTest(c.path);
    } else {
      SetFileAttributesA(c.path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(c.path.c_str());
    }
  }
}

// A product folder under the Windows folder may hold its own copy of a Microsoft runtime (not
// protected by Windows, not listed among the shared libraries) and its folder settings
// (desktop.ini): the folder goes. Where another program registered the copy as a shared
// library, it is not the product's alone and the folder is refused whole.
TEST(ProductEvidence, AProductFolderWithItsOwnRuntimeCopyAndDesktopIniGoes) {
  const std::string windows = WindowsFolder(), folder = windows + "\\Velmora_redist_test";
  // Named as none of Wine's own libraries: for a copy named as one (vcruntime140.dll), Wine
  // reads the version resource of its built-in library instead of the file's.
  const std::string runtime = folder + "\\bin\\msvcrt140_private.dll";
  WriteBytes(folder + "\\desktop.ini", "[.ShellClassInfo]");
  WriteBytes(folder + "\\qrv.dat", "data");
  CopyInto(SystemFolder() + "\\kernel32.dll", runtime);
  {
    const std::string sharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sharedDlls.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD users = 2;
    RegSetValueExA(key, runtime.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&users), sizeof(users));
    EngineTestContext shared;
    shared.state.WindowsFolder = windows;
    DeleteFolderTree(shared.context, folder);
    RegDeleteValueA(key, runtime.c_str());
    RegCloseKey(key);
    ASSERT_EQ(shared.reporter.infoLines.size(), 1u);
    EXPECT_EQ(shared.reporter.infoLines[0], kRefusedWindowsFolderText + folder + " - it holds " + runtime +
                                                " (its version resource names Microsoft as its company)");
    EXPECT_TRUE(Exists(runtime));
  }
  EngineTestContext test;
  test.state.WindowsFolder = windows;
  DeleteFolderTree(test.context, folder);
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{});
  EXPECT_FALSE(Exists(folder));
}

// Windows, 64-bit: a 32-bit program cannot load a library while the file system redirection
// is off, as it is in the pass through the real System32. Standing for that, the checks' load
// fails here (a folder without the libraries): the product's own file in the System folder is
// then refused with a line, never taken for "not Windows' own"; loaded again, it goes.
TEST(WindowsOwnFiles, AGuardWhoseLibrariesDidNotLoadRefusesTheFile) {
  ScratchFolder empty("nolibs");
  const std::string hook = SystemFolder() + "\\ZdnHook_unchecked_test.dll";
  WriteBytes(hook, "MZ hook");
  LoadWindowsFileChecksFrom(WideFromAnsi(empty.Path()));
  EXPECT_FALSE(LoadWindowsFileChecks());
  {
    EngineTestContext test;
    test.state.WindowsFolder = WindowsFolder();
    DeleteSingleFile(test.context, hook);
    ASSERT_EQ(test.reporter.infoLines.size(), 1u);
    EXPECT_EQ(test.reporter.infoLines[0], std::string(kRefusedWindowsFileText) + hook + " (" +
                                              kWindowsFileChecksUnavailable + ")");
    EXPECT_TRUE(IsExistingFile(hook));
  }
  LoadWindowsFileChecksFrom({});
  EXPECT_TRUE(LoadWindowsFileChecks());
  EngineTestContext test;
  test.state.WindowsFolder = WindowsFolder();
  DeleteSingleFile(test.context, hook);
  EXPECT_TRUE(test.reporter.infoLines.empty());
  EXPECT_FALSE(Exists(hook));
}

// Windows Resource Protection knows the real System32 by its own name: a file a 32-bit
// program reaches through Sysnative is asked for by that name; any other path as it is.
TEST(WindowsOwnFiles, ResourceProtectionIsAskedWithTheNameWindowsKeeps) {
  const SystemMirror wow64{L"C:\\Windows\\system32", L"C:\\Windows\\Sysnative"};
  const SystemMirror native{L"C:\\Windows\\system32", L""};
  const struct {
    const SystemMirror& mirror;
    std::wstring path, asked;
  } cases[] = {
      {wow64, L"C:\\Windows\\Sysnative\\drivers\\tcpip.sys", L"C:\\Windows\\system32\\drivers\\tcpip.sys"},
      {wow64, L"C:\\WINDOWS\\SYSNATIVE\\kernel32.dll", L"C:\\Windows\\system32\\kernel32.dll"},
      {wow64, L"C:\\Windows\\system32\\kernel32.dll", L"C:\\Windows\\system32\\kernel32.dll"},
      {wow64, L"C:\\Windows\\SysWOW64\\kernel32.dll", L"C:\\Windows\\SysWOW64\\kernel32.dll"},
      {native, L"C:\\Windows\\Sysnative\\x.dll", L"C:\\Windows\\Sysnative\\x.dll"},
  };
  for (const auto& c : cases) EXPECT_EQ(NameWindowsProtects(c.mirror, c.path), c.asked) << AnsiFromWide(c.path);
}

// A profile ProfileList does not name (a deleted account's, or one not registered yet) and
// the shell's folders in it are protected; the product's folder inside one still goes.
TEST(ProfileFolders, EveryFolderInTheProfilesFolderIsProtected) {
  char profile[MAX_PATH] = {};
  ASSERT_GT(ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH), 0u);
  const std::string profiles = FolderOfPath(profile);
  ASSERT_FALSE(profiles.empty());
  const std::string other = profiles + "\\guard_other_user";
  WriteBytes(other + "\\Documents\\letter.txt", "mine");
  WriteBytes(other + "\\AppData\\Roaming\\Velmora\\qrv.cfg", "product");
  for (const std::string& folder : {other, other + "\\Documents", other + "\\AppData\\Roaming"}) {
    EngineTestContext test(Acting::Recorded);
    DeleteFolderTree(test.context, folder);
    EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Refused to delete protected folder " + folder});
    EXPECT_EQ(Removals(test.recorded), 0u) << folder;
  }
  EngineTestContext test;
  DeleteFolderTree(test.context, other + "\\AppData\\Roaming\\Velmora");
  EXPECT_TRUE(test.reporter.infoLines.empty());
  EXPECT_FALSE(Exists(other + "\\AppData\\Roaming\\Velmora"));
  EXPECT_EQ(ReadBytes(other + "\\Documents\\letter.txt"), "mine");
  RemoveTreeForTest(other);
}

namespace {

// The live gateway that, at the first deletion of the walk, swaps every folder named
// Later* that is still a folder for a host link to the victim: what an attacker does on
// Windows with a junction to system32\victim between the walk's listing and its visit.
class SwappingEffects : public LiveEffects {
 public:
  SwappingEffects(std::string tree, std::string victim, std::string aside)
      : tree_(std::move(tree)), victim_(std::move(victim)), aside_(std::move(aside)) {}
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override {
    if (!swapped_) {
      swapped_ = true;
      for (int i = 1; i <= 3; ++i) {
        const std::string later = tree_ + "\\Later" + std::to_string(i);
        if (path.find(WideFromAnsi("\\Later" + std::to_string(i) + "\\")) != std::wstring::npos) continue;
        if (MoveFileA(later.c_str(), (aside_ + std::to_string(i)).c_str()) && MakeHostSymlink(victim_, later)) {
          links.push_back(later);
        }
      }
    }
    return LiveEffects::RemoveChild(parent, name, path, folder, plainFirst);
  }
  std::vector<std::string> links;

 private:
  std::string tree_, victim_, aside_;
  bool swapped_ = false;
};

}  // namespace

TEST(HandleWalk, AFolderSwappedForALinkDuringTheWalkIsNeitherEnteredNorEmptied) {
  if (!RunningUnderWine()) GTEST_SKIP() << "host symbolic links are made through Wine; not under Wine";
  ScratchFolder scratch("swap");
  const std::string tree = scratch / "Tree", victim = scratch / "victim";
  for (int i = 0; i < 400; ++i) WriteBytes(victim + "\\v" + std::to_string(i) + ".dat", "keep");
  WriteBytes(tree + "\\trigger.dat", "x");
  for (int i = 1; i <= 3; ++i) WriteBytes(tree + "\\Later" + std::to_string(i) + "\\l.dat", "x");
  SwappingEffects effects(tree, victim, scratch / "aside");
  EngineTestContext test(effects);
  DeleteFolderTree(test.context, tree);
  ASSERT_GE(effects.links.size(), 2u) << "the swap did not happen";
  for (int i = 0; i < 400; ++i) EXPECT_EQ(ReadBytes(victim + "\\v" + std::to_string(i) + ".dat"), "keep") << i;
  for (const std::string& link : effects.links) {
    EXPECT_TRUE(AnyLineStartsWith(test.reporter.infoLines, "Could NOT delete folder " + link + " - " + kReplacedText) ||
                AnyLineStartsWith(test.reporter.infoLines, "Could NOT delete   " + link))
        << link;
  }
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
  for (const std::string& link : effects.links) RemoveHostSymlink(link);
}

// The parts of a registration are judged as the registration: a class's InprocServer32, a
// service's Parameters or ImagePath, once gone, would leave a key that names no file and goes
// too. Written as the registering process wrote them: a command without ".exe", unquoted with
// blanks, through cmd /c start; the product's file named by its 8.3 short name.
TEST(RegistrationOwnership, PartsOfARegistrationAndItsCommandsAreJudgedAsTheWhole) {
  ScratchFolder scratch("owner_parts");
  const std::string product = scratch / "Velmora Lab", other = scratch / "Other App";
  WriteBytes(product + "\\ZdnSvc.dll", "MZ");
  WriteBytes(other + "\\other.exe", "MZ");
  char shortName[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA((product + "\\ZdnSvc.dll").c_str(), shortName, MAX_PATH), 0u);
  const std::wstring services = L"SYSTEM\\CurrentControlSet\\Services\\";
  const std::wstring clsid = L"SOFTWARE\\Classes\\CLSID\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0A98}";
  const std::wstring otherExe = WideFromAnsi(other + "\\other");
  const std::string system = SystemFolder();
  const struct {
    const char* label;
    std::wstring key;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    void (*action)(CleanerContext&, const std::string&);
    std::wstring entry;       // below HKEY_LOCAL_MACHINE
    std::string refusedFile;  // empty: carried out
  } cases[] = {
      {"a class's server key", clsid, {{L"InprocServer32\\", L"shell32.dll"}}, DeleteRegistryKeyEntry,
       clsid + L"\\InprocServer32", system + "\\shell32.dll"},
      {"a class's server value", clsid, {{L"InprocServer32\\", L"shell32.dll"}}, DeleteRegistryValueEntry,
       clsid + L"\\InprocServer32=", system + "\\shell32.dll"},
      {"a service's Parameters", services + L"QrvGuardP", {{L"ImagePath", L"svchost.exe -k netsvcs"}, {L"Parameters\\ServiceDll", L"kernel32.dll"}},
       DeleteRegistryKeyEntry, services + L"QrvGuardP\\Parameters", system + "\\kernel32.dll"},
      {"a service's ImagePath", services + L"QrvGuardI", {{L"ImagePath", L"\"" + otherExe + L"\" -service"}},
       DeleteRegistryValueEntry, services + L"QrvGuardI=ImagePath", other + "\\other.exe"},
      {"a service without .exe, unquoted with blanks", services + L"QrvGuardU", {{L"ImagePath", otherExe + L" -service"}},
       DeleteRegistryKeyEntry, services + L"QrvGuardU", other + "\\other.exe"},
      {"a service through cmd /c start", services + L"QrvGuardS", {{L"ImagePath", L"cmd /c start \"\" \"" + otherExe + L".exe\""}},
       DeleteRegistryKeyEntry, services + L"QrvGuardS", other + "\\other.exe"},
      {"the product's service by its short name", services + L"QrvGuardN", {{L"ImagePath", L"svchost.exe -k zdn"}, {L"Parameters\\ServiceDll", WideFromAnsi(shortName)}},
       DeleteRegistryKeyEntry, services + L"QrvGuardN", ""},
      {"the product's ServiceDll value", services + L"QrvGuardV", {{L"ImagePath", L"svchost.exe -k zdn"}, {L"Parameters\\ServiceDll", WideFromAnsi(shortName)}},
       DeleteRegistryValueEntry, services + L"QrvGuardV\\Parameters=ServiceDll", ""},
  };
  for (const auto& c : cases) {
    const TestKey key(HKEY_LOCAL_MACHINE, c.key, c.values);
    EngineTestContext test;
    test.state.ProgramFolder = product;
    c.action(test.context, "HKEY_LOCAL_MACHINE\\" + AnsiFromWide(c.entry));
    if (c.refusedFile.empty()) {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{}) << c.label;
      if (c.action == DeleteRegistryKeyEntry) {
        EXPECT_FALSE(key.Exists()) << c.label;
      }
      continue;
    }
    EXPECT_TRUE(key.Exists()) << c.label;
    ASSERT_EQ(test.reporter.infoLines.size(), 1u) << c.label;
    const std::string& line = test.reporter.infoLines[0];
    EXPECT_TRUE(line.starts_with(kRefusedForeignRegistration)) << line;
    EXPECT_TRUE(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, line.c_str() + line.size() - c.refusedFile.size(), -1,
                               c.refusedFile.c_str(), -1) == CSTR_EQUAL)
        << c.label << ": " << line;
  }
}

// Where anti-virus products register inside Windows' own trees (Safe Mode's service lists, AMSI
// providers, Windows Error Reporting's dumps), a key goes only with the machine's evidence that
// it is the product's: its service or class names the product's file, or its name is one of the
// product's programs. Another program's key there is refused with a line saying what was
// missing; a key that is not there is passed over.
TEST(RegistrationOwnership, KeysWhereProductsRegisterInWindowsTreesGoOnlyWithTheProductsEvidence) {
  ScratchFolder scratch("owner_evidence");
  const std::string product = scratch / "Velmora Lab";
  WriteBytes(product + "\\ZdnS.exe", "MZ");
  WriteBytes(product + "\\bin\\ZdnAmsi.dll", "MZ");
  const std::wstring services = L"SYSTEM\\CurrentControlSet\\Services\\", classes = L"SOFTWARE\\Classes\\CLSID\\";
  const std::wstring mine = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0C01}", other = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0C02}";
  const TestKey productService(HKEY_LOCAL_MACHINE, services + L"QrvEvSvc", {{L"ImagePath", WideFromAnsi(product + "\\ZdnS.exe")}});
  const TestKey otherService(HKEY_LOCAL_MACHINE, services + L"QrvEvOther", {{L"ImagePath", L"notepad.exe"}});
  const TestKey productClass(HKEY_LOCAL_MACHINE, classes + mine, {{L"InprocServer32\\", WideFromAnsi(product + "\\bin\\ZdnAmsi.dll")}});
  const TestKey otherClass(HKEY_LOCAL_MACHINE, classes + other, {{L"InprocServer32\\", L"shell32.dll"}});
  const std::wstring safeBoot = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\";
  const std::wstring amsi = L"SOFTWARE\\Microsoft\\AMSI\\Providers\\";
  const std::wstring dumps = L"SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\";
  const struct {
    std::wstring key;
    const char* missing;  // the evidence the refusal names; null: deleted
  } cases[] = {
      {safeBoot + L"QrvEvSvc", nullptr},
      {safeBoot + L"QrvEvOther", "its name is not a service whose file is the product's"},
      {safeBoot + L"QrvEvNoService", "its name is not a service whose file is the product's"},
      {amsi + mine, nullptr},
      {amsi + other, "its name is not a class whose server is the product's file"},
      {dumps + L"ZdnS.exe", nullptr},
      {dumps + L"notepad.exe", "its name is not the name of one of the product's programs"},
  };
  for (const auto& c : cases) {
    const TestKey key(HKEY_LOCAL_MACHINE, c.key, {{L"", L"Service"}});
    EngineTestContext test;
    test.state.ProgramFolder = product;
    const std::string entry = "HKEY_LOCAL_MACHINE\\" + AnsiFromWide(c.key);
    DeleteRegistryKeyEntry(test.context, entry);
    EXPECT_EQ(key.Exists(), c.missing != nullptr) << entry;
    if (c.missing == nullptr) {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{}) << entry;
    } else {
      EXPECT_EQ(test.reporter.infoLines,
                std::vector<std::string>{kRefusedWithoutEvidence + entry + " - " + c.missing});
    }
  }
  EngineTestContext absent;
  DeleteRegistryKeyEntry(absent.context, "HKEY_LOCAL_MACHINE\\" + AnsiFromWide(safeBoot) + "QrvEvAbsent");
  EXPECT_EQ(absent.reporter.infoLines, std::vector<std::string>{});
}

// A registration may go when the file it names is the product's or gone; one naming an
// existing file of Windows or of another program is refused with a line naming the file.
TEST(RegistrationOwnership, ServicesClassesAndRunValuesGoOnlyWithTheProductsFiles) {
  ScratchFolder scratch("owner");
  const std::string product = scratch / "Velmora Lab";
  WriteBytes(product + "\\ZdnS.exe", "MZ");
  const std::wstring productExe = WideFromAnsi(product + "\\ZdnS.exe");
  const std::wstring services = L"SYSTEM\\CurrentControlSet\\Services\\";
  const std::string system = SystemFolder();
  const struct {
    const char* label;
    HKEY root;
    std::wstring path;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    DWORD type;
    std::string refusedFile;  // empty: deleted
  } cases[] = {
      {"service in svchost with its library in System32", HKEY_LOCAL_MACHINE, services + L"QrvGuardA",
       {{L"ImagePath", L"%SystemRoot%\\system32\\svchost.exe -k netsvcs"}, {L"Parameters\\ServiceDll", L"%SystemRoot%\\system32\\kernel32.dll"}},
       0x20, system + "\\kernel32.dll"},
      {"driver whose image lies in System32\\drivers", HKEY_LOCAL_MACHINE, services + L"QrvGuardB",
       {{L"ImagePath", L"System32\\drivers\\ksecdd.sys"}}, 1, system + "\\drivers\\ksecdd.sys"},
      {"the product's service", HKEY_LOCAL_MACHINE, services + L"QrvGuardC", {{L"ImagePath", productExe}}, 0x10, ""},
      {"a service whose image in the product's folder is gone", HKEY_LOCAL_MACHINE, services + L"QrvGuardD",
       {{L"ImagePath", WideFromAnsi(product + "\\gone\\qrv_missing.exe")}}, 0x10, ""},
      {"a COM class served by shell32", HKEY_LOCAL_MACHINE,
       L"SOFTWARE\\Classes\\CLSID\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0A99}", {{L"InprocServer32\\", L"shell32.dll"}}, 0,
       system + "\\shell32.dll"},
  };
  for (const auto& c : cases) {
    const TestKey key(c.root, c.path, c.values, c.type);
    EngineTestContext test;
    test.state.ProgramFolder = product;
    DeleteRegistryKeyEntry(test.context, "HKEY_LOCAL_MACHINE\\" + AnsiFromWide(c.path));
    EXPECT_EQ(key.Exists(), !c.refusedFile.empty()) << c.label;
    if (c.refusedFile.empty()) {
      EXPECT_TRUE(test.reporter.infoLines.empty()) << c.label;
    } else {
      ASSERT_EQ(test.reporter.infoLines.size(), 1u) << c.label;
      const std::string& line = test.reporter.infoLines[0];
      EXPECT_TRUE(line.starts_with(kRefusedForeignRegistration)) << line;
      EXPECT_TRUE(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, line.c_str() + line.size() - c.refusedFile.size(), -1,
                                 c.refusedFile.c_str(), -1) == CSTR_EQUAL)
          << line;
    }
  }
  // Run values: another program's is not deleted, the product's is; either is renamed.
  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string runKey = "HKEY_CURRENT_USER\\" + AnsiFromWide(run);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, run.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  const std::wstring notepad = L"\"" + WideFromAnsi(system) + L"\\notepad.exe\" /p", mine = L"\"" + productExe + L"\" /tray";
  const struct {
    void (*action)(CleanerContext&, const std::string&);
    std::string entry;
    const wchar_t* value;
    const std::wstring& data;
    const wchar_t* nameAfter;  // the value's name after the entry; null: gone
    std::string refused;       // the line, without the file it names; empty: none
  } runCases[] = {
      // A rename names back the value the product renamed aside: it starts another program by nature.
      {RenameRegistryValueEntry, runKey + "\\QrvGuardOther=QrvGuardOther.off", L"QrvGuardOther.off", notepad,
       L"QrvGuardOther", ""},
      {DeleteRegistryValueEntry, runKey + "=QrvGuardOther", L"QrvGuardOther", notepad, L"QrvGuardOther",
       kRefusedForeignRegistration + runKey + "\\QrvGuardOther names "},
      {DeleteRegistryValueEntry, runKey + "=QrvGuardMine", L"QrvGuardMine", mine, nullptr, ""},
      {RenameRegistryValueEntry, runKey + "\\QrvGuardMine.off=QrvGuardMine", L"QrvGuardMine", mine,
       L"QrvGuardMine.off", ""},
  };
  for (const auto& c : runCases) {
    RegSetValueExW(key, c.value, 0, REG_SZ, reinterpret_cast<const BYTE*>(c.data.c_str()),
                   static_cast<DWORD>((c.data.size() + 1) * 2));
    EngineTestContext test;
    test.state.ProgramFolder = product;
    c.action(test.context, c.entry);
    const bool stayed = c.nameAfter != nullptr && std::wstring(c.nameAfter) == c.value;
    EXPECT_EQ(RegQueryValueExW(key, c.value, nullptr, nullptr, nullptr, nullptr), stayed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND) << c.entry;
    if (c.nameAfter != nullptr && !stayed) {
      EXPECT_EQ(RegQueryValueExW(key, c.nameAfter, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS) << c.entry;
      RegDeleteValueW(key, c.nameAfter);
    }
    if (c.refused.empty()) {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{}) << c.entry;
      EXPECT_EQ(test.context.outcome.ExitCode(), 0) << c.entry;
    } else {
      ASSERT_EQ(test.reporter.infoLines.size(), 1u) << c.entry;
      EXPECT_EQ(test.reporter.infoLines[0].substr(0, c.refused.size()), c.refused);
      std::string named = test.reporter.infoLines[0].substr(c.refused.size());
      for (char& letter : named) letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
      EXPECT_TRUE(named.ends_with("\\notepad.exe")) << test.reporter.infoLines[0];
      EXPECT_EQ(test.context.outcome.ExitCode(), 1) << c.entry;
    }
  }
  RegDeleteValueW(key, L"QrvGuardOther");
  RegCloseKey(key);
}
