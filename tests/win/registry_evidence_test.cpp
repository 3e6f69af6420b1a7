#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/guards/registrations.h"
#include "engine/run/registry_actions.h"
#include "platform/effects.h"
#include "platform/files/files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/registry_test_key.h"
#include "tests/support/wine_test_support.h"

namespace {

using Kind = RecordedAction::Kind;
using Values = std::vector<std::pair<std::wstring, std::wstring>>;

constexpr wchar_t kClasses[] = L"SOFTWARE\\Classes\\";
constexpr wchar_t kServices[] = L"SYSTEM\\CurrentControlSet\\Services\\";
constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";

// The product's files, and another program's beside them, for the registrations to name.
struct Installation {
  ScratchFolder scratch{"evidence"};
  std::string product = scratch / "Velmora Lab", other = scratch / "Other App";
  std::wstring Product(const char* file) const { return WideFromAnsi(product + "\\" + file); }
  std::wstring Other(const char* file) const { return WideFromAnsi(other + "\\" + file); }
  Installation() {
    for (const char* file : {"ZdnS.exe", "ZdnM.exe", "zdnshell.dll", "ZdnNotify.dll", "zdn.cpl", "zdn.tlb"}) {
      WriteBytes(product + "\\" + file, "MZ");
    }
    for (const char* file : {"other.exe", "other.dll", "other.cpl", "start.ps1"}) WriteBytes(other + "\\" + file, "MZ");
  }
};

// A scheduled task's definition as the task scheduler writes it (UTF-16 with a byte-order
// mark) in the System folder's Tasks, removed afterwards.
struct TaskFile {
  std::string path;
  TaskFile(const std::string& name, const std::wstring& command) : path(SystemFolder() + "\\Tasks\\" + name) {
    const std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task><Actions Context=\"Author\"><Exec><Command>" +
                             command + L"</Command><Arguments>/update</Arguments></Exec></Actions></Task>\r\n";
    std::string bytes = "\xFF\xFE";
    for (const wchar_t c : xml) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    WriteBytes(path, bytes);
  }
  ~TaskFile() { DeleteFileA(path.c_str()); }
};

// One entry of a table: the key it seeds (none: Windows' own, as Wine has it), the line's
// section and what it names below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
struct Row {
  const char* standsFor;
  HKEY root;
  std::wstring seeded;
  Values values;
  void (*action)(CleanerContext&, const std::string&);
  std::wstring entry;
};

std::string EntryLine(const Row& row) {
  return (row.root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + AnsiFromWide(row.entry);
}

// The values a row seeds in a key others share (Run, the firewall's rules): the key stays, and
// afterwards only these values go.
class SeededValues {
 public:
  SeededValues(HKEY root, const std::wstring& path, const Values& values) : path_(path), values_(values) {
    EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Put(), nullptr), ERROR_SUCCESS);
    for (const auto& [name, text] : values) {
      RegSetValueExW(key_.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
  }
  ~SeededValues() {
    for (const auto& [name, text] : values_) RegDeleteValueW(key_.Get(), name.c_str());
  }

 private:
  std::wstring path_;
  Values values_;
  UniqueHKey key_;
};

// Runs the rows in order in one dry run, as the rule pass would; gives each row's lines and
// how many changes reached the gateway for it.
std::vector<std::vector<std::string>> RunRows(EngineTestContext& test, const Installation& installation,
                                              const std::vector<Row>& rows, std::vector<std::size_t>& changes) {
  test.state.ProgramFolder = installation.product;
  std::vector<std::unique_ptr<TestKey>> keys;
  std::vector<std::unique_ptr<SeededValues>> values;
  for (const Row& row : rows) {
    if (row.seeded.empty()) continue;
    if (row.action == DeleteRegistryValueEntry) {
      values.push_back(std::make_unique<SeededValues>(row.root, row.seeded, row.values));
    } else {
      keys.push_back(std::make_unique<TestKey>(row.root, row.seeded, row.values));
    }
  }
  std::vector<std::vector<std::string>> lines;
  for (const Row& row : rows) {
    const std::size_t linesBefore = test.reporter.infoLines.size();
    const std::size_t changesBefore = test.recorded.actions.size();
    row.action(test.context, EntryLine(row));
    lines.emplace_back(test.reporter.infoLines.begin() + static_cast<std::ptrdiff_t>(linesBefore), test.reporter.infoLines.end());
    changes.push_back(test.recorded.actions.size() - changesBefore);
  }
  return lines;
}

}  // namespace

// Where anti-virus products register inside Windows' namespaces, the product's items go when
// their name or data names one of its identities: its files and folder (also as an icon, a
// command, a firewall rule's program, a value named by a path or a program's name), a class
// whose server is its file (or whose AppID's service is its service), its event publisher, a
// ProgID of its class; an item the run found to be the product's earlier stays so (a handler
// naming a class deleted before it); the name alone, made of the product's names, for the item
// the line names.
TEST(RegistryEvidence, TheProductsItemsInWindowsNamespacesGoWithItsEvidence) {
  const Installation in;
  const std::wstring P1 = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E01}", P3 = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E03}";
  const std::wstring P5 = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E05}", P7 = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E07}";
  const std::wstring classes = kClasses, services = kServices, cv = kCurrentVersion;
  const std::wstring winevt = cv + L"WINEVT\\";
  const TestKey service(HKEY_LOCAL_MACHINE, services + L"QrvEvHost", {{L"ImagePath", L"\"" + in.Product("ZdnS.exe") + L"\""}});
  const TestKey serverClass(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + P3, {{L"InprocServer32\\", in.Product("zdnshell.dll")}});
  const TestKey progId(HKEY_LOCAL_MACHINE, classes + L"QRV.EvScan", {{L"CLSID\\", P3}});
  const TestKey appId(HKEY_LOCAL_MACHINE, classes + L"AppID\\" + P5, {{L"LocalService", L"QrvEvHost"}});
  const TestKey publisher(HKEY_LOCAL_MACHINE, winevt + L"Publishers\\" + P7, {{L"MessageFileName", in.Product("zdnshell.dll")}});
  const std::wstring firewall = L"SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules";
  const std::wstring feature = L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
  const std::wstring layers = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
  const std::wstring taskCache = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\";
  const std::wstring T1 = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E08}";
  const TaskFile task("QrvEvTask", L"\"" + in.Product("ZdnM.exe") + L"\"");
  const std::vector<Row> rows = {
      {"a shell extension's class", HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + P1, {{L"InprocServer32\\", in.Product("zdnshell.dll")}},
       DeleteRegistryKeyEntry, classes + L"CLSID\\" + P1},
      {"its context menu handler, after the class", HKEY_LOCAL_MACHINE, classes + L"*\\shellex\\ContextMenuHandlers\\QrvEvMenu",
       {{L"", P1}}, DeleteRegistryKeyEntry, classes + L"*\\shellex\\ContextMenuHandlers\\QrvEvMenu"},
      {"an icon overlay naming its class", HKEY_LOCAL_MACHINE, cv + L"Explorer\\ShellIconOverlayIdentifiers\\ QrvEvOverlay",
       {{L"", P3}}, DeleteRegistryKeyEntry, cv + L"Explorer\\ShellIconOverlayIdentifiers\\ QrvEvOverlay"},
      {"an interface whose proxy is its class", HKEY_LOCAL_MACHINE, classes + L"Interface\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E02}",
       {{L"", L"IQrvScan"}, {L"ProxyStubClsid32\\", P3}}, DeleteRegistryKeyEntry,
       classes + L"Interface\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E02}"},
      {"a type library's file, three levels down", HKEY_LOCAL_MACHINE, classes + L"TypeLib\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E04}",
       {{L"1.0\\0\\win32\\", in.Product("zdn.tlb")}}, DeleteRegistryKeyEntry,
       classes + L"TypeLib\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E04}\\1.0"},
      {"a class without a server, by its AppID's service", HKEY_LOCAL_MACHINE, classes + L"CLSID\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E06}",
       {{L"AppID", P5}}, DeleteRegistryKeyEntry, classes + L"CLSID\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E06}"},
      {"a file type naming its ProgID", HKEY_LOCAL_MACHINE, classes + L".qrvev", {{L"", L"QRV.EvScan"}}, DeleteRegistryKeyEntry,
       classes + L".qrvev"},
      {"a protocol", HKEY_LOCAL_MACHINE, classes + L"qrvev", {{L"URL Protocol", L""}, {L"shell\\open\\command\\", L"\"" + in.Product("ZdnM.exe") + L"\" \"%1\""}},
       DeleteRegistryKeyEntry, classes + L"qrvev"},
      {"an Uninstall entry", HKEY_LOCAL_MACHINE, cv + L"Uninstall\\QrvEvApp",
       {{L"DisplayName", L"Velmora Anti-Virus"}, {L"InstallLocation", WideFromAnsi(in.product)}}, DeleteRegistryKeyEntry,
       cv + L"Uninstall\\QrvEvApp"},
      {"an Uninstall entry named by the product alone", HKEY_LOCAL_MACHINE, cv + L"Uninstall\\Velmora QRV", {{L"DisplayName", L"QRV"}},
       DeleteRegistryKeyEntry, cv + L"Uninstall\\Velmora QRV"},
      {"an event log source", HKEY_LOCAL_MACHINE, services + L"EventLog\\Application\\QrvEvSource",
       {{L"EventMessageFile", in.Product("zdnshell.dll")}}, DeleteRegistryKeyEntry,
       services + L"EventLog\\Application\\QrvEvSource"},
      {"an event log channel of its publisher", HKEY_LOCAL_MACHINE, winevt + L"Channels\\Velmora-QRV-Ev/Operational",
       {{L"OwningPublisher", P7}}, DeleteRegistryKeyEntry, winevt + L"Channels\\Velmora-QRV-Ev/Operational"},
      {"a Winlogon notification", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\QrvEvNotify",
       {{L"DllName", in.Product("ZdnNotify.dll")}}, DeleteRegistryKeyEntry,
       L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\QrvEvNotify"},
      {"a credential provider", HKEY_LOCAL_MACHINE, cv + L"Authentication\\Credential Providers\\" + P3, {{L"", L"QRV"}},
       DeleteRegistryKeyEntry, cv + L"Authentication\\Credential Providers\\" + P3},
      {"a Control Panel namespace entry", HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" + P3,
       {{L"", L"QRV"}}, DeleteRegistryKeyEntry, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" + P3},
      {"an Office add-in by its ProgID", HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\Outlook\\Addins\\QRV.EvScan",
       {{L"LoadBehavior", L"3"}}, DeleteRegistryKeyEntry, L"Software\\Microsoft\\Office\\Outlook\\Addins\\QRV.EvScan"},
      {"a default browser's registration", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\StartMenuInternet\\QrvEvBrowser",
       {{L"shell\\open\\command\\", in.Product("ZdnM.exe")}}, DeleteRegistryKeyEntry, L"SOFTWARE\\Clients\\StartMenuInternet\\QrvEvBrowser"},
      {"a scheduled task in the scheduler's cache, by its definition's command", HKEY_LOCAL_MACHINE, taskCache + L"Tree\\QrvEvTask",
       {{L"Id", T1}}, DeleteRegistryKeyEntry, taskCache + L"Tree\\QrvEvTask"},
      {"the same task's entry", HKEY_LOCAL_MACHINE, taskCache + L"Tasks\\" + T1, {{L"Path", L"\\QrvEvTask"}}, DeleteRegistryKeyEntry,
       taskCache + L"Tasks\\" + T1},
      {"a firewall rule for its program", HKEY_LOCAL_MACHINE, firewall,
       {{L"QrvEvRule", L"v2.30|Action=Allow|Active=TRUE|Dir=In|App=" + in.Product("ZdnS.exe") + L"|Name=QRV|"}},
       DeleteRegistryValueEntry, firewall + L"=QrvEvRule"},
      {"an Internet Explorer feature value", HKEY_LOCAL_MACHINE, feature, {{L"ZdnM.exe", L"11001"}}, DeleteRegistryValueEntry,
       feature + L"=ZdnM.exe"},
      {"an AppCompat layer value", HKEY_CURRENT_USER, layers, {{in.Product("ZdnM.exe"), L"RUNASADMIN"}}, DeleteRegistryValueEntry,
       layers + L"=" + in.Product("ZdnM.exe")},
      {"a Cpls value", HKEY_CURRENT_USER, L"Control Panel\\Cpls", {{L"QrvEvCpl", in.Product("zdn.cpl")}}, DeleteRegistryValueEntry,
       L"Control Panel\\Cpls=QrvEvCpl"},
      {"a registered application named by the product", HKEY_LOCAL_MACHINE, L"SOFTWARE\\RegisteredApplications",
       {{L"QRV", L"Software\\Clients\\StartMenuInternet\\QrvEvBrowser\\Capabilities"}}, DeleteRegistryValueEntry,
       L"SOFTWARE\\RegisteredApplications=QRV"},
      {"a shared library's count", HKEY_LOCAL_MACHINE, cv + L"SharedDLLs", {{in.Product("zdnshell.dll"), L"1"}},
       DeleteRegistryValueEntry, cv + L"SharedDLLs=" + in.Product("zdnshell.dll")},
  };
  EngineTestContext test(Acting::Recorded);
  std::vector<std::size_t> changes;
  const auto lines = RunRows(test, in, rows, changes);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(lines[i], std::vector<std::string>{}) << rows[i].standsFor;
    EXPECT_GT(changes[i], 0u) << rows[i].standsFor;
  }
  EXPECT_EQ(test.context.outcome.ExitCode(), 0);
}

// Windows' own items (as Wine has them) and another program's of the same kinds carry none
// of the product's evidence: each is refused with a line saying what was missing, and nothing
// reaches the gateway. Each row stands for the Windows case it names.
TEST(RegistryEvidence, WindowsAndOtherProgramsItemsAreRefusedWithALine) {
  const Installation in;
  const std::wstring classes = kClasses, services = kServices, cv = kCurrentVersion;
  const std::wstring other = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E11}";
  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::wstring firewall = L"SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules";
  const std::wstring layers = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
  const std::wstring taskCache = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\";
  const std::wstring T2 = L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0E12}";
  const TestKey otherTask(HKEY_LOCAL_MACHINE, taskCache + L"Tasks\\" + T2, {{L"Path", L"\\QrvEvOtherTask"}});
  const TaskFile otherTaskFile("QrvEvOtherTask", in.Other("other.exe") + L" -update");
  const std::vector<Row> rows = {
      {"the shell link's server (Windows' shell32)", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryKeyEntry,
       classes + L"CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32"},
      {"BITS's parameters (a Windows service in svchost)", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryKeyEntry,
       services + L"BITS\\Parameters"},
      {"a Windows service's ImagePath", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryValueEntry, services + L"BITS=ImagePath"},
      {"a service whose program is gone, not in the product's folder", HKEY_LOCAL_MACHINE, services + L"QrvEvGone",
       {{L"ImagePath", L"%SystemRoot%\\System32\\qrvev_gone.exe"}}, DeleteRegistryKeyEntry, services + L"QrvEvGone"},
      {"IUnknown, an interface every class uses", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryKeyEntry,
       classes + L"Interface\\{00000000-0000-0000-C000-000000000046}"},
      {"the mailto protocol", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryKeyEntry, classes + L"mailto"},
      {"Windows' default programs", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryKeyEntry, L"SOFTWARE\\Clients"},
      {"another program's mail client", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\Mail\\QrvEvOtherMail",
       {{L"shell\\open\\command\\", in.Other("other.exe")}}, DeleteRegistryKeyEntry, L"SOFTWARE\\Clients\\Mail\\QrvEvOtherMail"},
      {"another program's registered application", HKEY_LOCAL_MACHINE, L"SOFTWARE\\RegisteredApplications",
       {{L"QrvEvOther", L"Software\\Clients\\Mail\\QrvEvOtherMail\\Capabilities"}}, DeleteRegistryValueEntry,
       L"SOFTWARE\\RegisteredApplications=QrvEvOther"},
      {"a mapped network drive", HKEY_CURRENT_USER, L"Network\\Q", {{L"RemotePath", L"\\\\server\\share"}}, DeleteRegistryKeyEntry,
       L"Network\\Q"},
      {"another program's Uninstall entry", HKEY_LOCAL_MACHINE, cv + L"Uninstall\\" + other,
       {{L"DisplayName", L"Other App"}, {L"UninstallString", L"MsiExec.exe /X" + other}, {L"InstallLocation", WideFromAnsi(in.other)}},
       DeleteRegistryKeyEntry, cv + L"Uninstall\\" + other},
      {"a partner's Uninstall entry, the maker's name inside its own", HKEY_LOCAL_MACHINE, cv + L"Uninstall\\Velmora Partner",
       {{L"DisplayName", L"Velmora Partner"}}, DeleteRegistryKeyEntry, cv + L"Uninstall\\Velmora Partner"},
      {"a key below one the product's name alone vouches for: the name reaches no further", HKEY_LOCAL_MACHINE,
       cv + L"Uninstall\\QRV", {{L"Sub\\Mark", L"x"}}, DeleteRegistryKeyEntry, cv + L"Uninstall\\QRV\\Sub"},
      {"a value of a registration without the product's evidence", HKEY_LOCAL_MACHINE, {}, {}, DeleteRegistryValueEntry,
       services + L"QrvEvGone=ImagePath"},
      {"another program's event log source", HKEY_LOCAL_MACHINE, services + L"EventLog\\Application\\QrvEvOtherSource",
       {{L"EventMessageFile", in.Other("other.dll")}}, DeleteRegistryKeyEntry, services + L"EventLog\\Application\\QrvEvOtherSource"},
      {"another program's class without a server", HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + other, {{L"", L"Other"}},
       DeleteRegistryKeyEntry, classes + L"CLSID\\" + other},
      {"a Run value through cmd /c start", HKEY_CURRENT_USER, run, {{L"QrvEvCmd", L"cmd /c start \"\" \"" + in.Other("other.exe") + L"\""}},
       DeleteRegistryValueEntry, run + L"=QrvEvCmd"},
      {"a Run value through powershell -File", HKEY_CURRENT_USER, run,
       {{L"QrvEvPs", L"powershell -NoProfile -File \"" + in.Other("start.ps1") + L"\""}}, DeleteRegistryValueEntry, run + L"=QrvEvPs"},
      {"a Run value unquoted with blanks and arguments", HKEY_CURRENT_USER, run, {{L"QrvEvBlank", in.Other("other.exe") + L" -tray"}},
       DeleteRegistryValueEntry, run + L"=QrvEvBlank"},
      {"a Run value quoted without .exe", HKEY_CURRENT_USER, run, {{L"QrvEvQuoted", L"\"" + in.Other("other") + L"\" -tray"}},
       DeleteRegistryValueEntry, run + L"=QrvEvQuoted"},
      {"a Run value whose program is gone elsewhere", HKEY_CURRENT_USER, run, {{L"QrvEvGoneRun", L"C:\\Gone\\qrvev.exe"}},
       DeleteRegistryValueEntry, run + L"=QrvEvGoneRun"},
      {"another program's scheduled task", HKEY_LOCAL_MACHINE, taskCache + L"Tree\\QrvEvOtherTask", {{L"Id", T2}},
       DeleteRegistryKeyEntry, taskCache + L"Tree\\QrvEvOtherTask"},
      {"another program's firewall rule", HKEY_LOCAL_MACHINE, firewall,
       {{L"QrvEvOtherRule", L"v2.30|Action=Allow|Dir=In|App=" + in.Other("other.exe") + L"|Name=Other|"}}, DeleteRegistryValueEntry,
       firewall + L"=QrvEvOtherRule"},
      {"another program's layer value", HKEY_CURRENT_USER, layers, {{in.Other("other.exe"), L"RUNASADMIN"}}, DeleteRegistryValueEntry,
       layers + L"=" + in.Other("other.exe")},
      {"another program's Cpls value", HKEY_CURRENT_USER, L"Control Panel\\Cpls", {{L"QrvEvOtherCpl", in.Other("other.cpl")}},
       DeleteRegistryValueEntry, L"Control Panel\\Cpls=QrvEvOtherCpl"},
      {"another program's Winlogon notification", HKEY_LOCAL_MACHINE,
       L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\QrvEvOtherNotify", {{L"DllName", in.Other("other.dll")}},
       DeleteRegistryKeyEntry, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\QrvEvOtherNotify"},
  };
  EngineTestContext test(Acting::Recorded);
  std::vector<std::size_t> changes;
  const auto lines = RunRows(test, in, rows, changes);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(changes[i], 0u) << rows[i].standsFor;
    ASSERT_EQ(lines[i].size(), 1u) << rows[i].standsFor;
    EXPECT_TRUE(lines[i][0].starts_with("Refused ")) << rows[i].standsFor << ": " << lines[i][0];
    EXPECT_NE(lines[i][0].find(EntryLine(rows[i]).substr(0, EntryLine(rows[i]).find('='))), std::string::npos)
        << rows[i].standsFor << ": " << lines[i][0];
  }
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
}

// The line says what evidence was missing, for a key and for a value.
TEST(RegistryEvidence, TheRefusalSaysWhatEvidenceWasMissing) {
  const Installation in;
  const std::wstring uninstall = std::wstring(kCurrentVersion) + L"Uninstall\\ZDN Shared Keep";
  const std::wstring cpls = L"Control Panel\\Cpls";
  const std::vector<Row> rows = {
      {"a key", HKEY_LOCAL_MACHINE, uninstall, {{L"DisplayName", L"ZDN Shared Keep"}}, DeleteRegistryKeyEntry, uninstall},
      {"a value", HKEY_CURRENT_USER, cpls, {{L"QrvEvMissing", L"C:\\Gone\\x.cpl"}}, DeleteRegistryValueEntry, cpls + L"=QrvEvMissing"},
  };
  EngineTestContext test(Acting::Recorded);
  std::vector<std::size_t> changes;
  const auto lines = RunRows(test, in, rows, changes);
  EXPECT_EQ(lines[0], std::vector<std::string>{kRefusedWithoutEvidence + EntryLine(rows[0]) + " - " + kNoProductEvidenceText});
  EXPECT_EQ(lines[1], std::vector<std::string>{kRefusedValueWithoutEvidence + std::string("HKEY_CURRENT_USER\\Control Panel\\Cpls\\QrvEvMissing - ") +
                                               kNoProductEvidenceText});
}
