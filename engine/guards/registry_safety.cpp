#include "engine/guards/registry_safety.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace {

// Trees inside which nothing may be deleted: the key, every key below it and every value.
constexpr std::string_view kProtectedTrees[] = {
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\CriticalDeviceDatabase",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\FileSystem",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\hivelist",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Lsa",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation",
    "HKLM\\SYSTEM\\CurrentControlSet\\Enum",
    "HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\ACPI",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\AFD",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\BFE",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\CryptSvc",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\DcomLaunch",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Dhcp",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\disk",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Dnscache",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\FltMgr",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\mountmgr",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\MpsSvc",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\NetBT",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Ntfs",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\partmgr",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\pci",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\PlugPlay",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Power",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\ProfSvc",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\RpcEptMapper",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\RpcSs",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Schedule",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\TrustedInstaller",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\volmgr",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WinSock2",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Winmgmt",
    "HKLM\\SYSTEM\\MountedDevices",
    "HKLM\\SYSTEM\\Select",
    "HKLM\\SYSTEM\\Setup",
    "HKLM\\SYSTEM\\WPA",
    "HKLM\\SAM",
    "HKLM\\SECURITY",
    "HKLM\\HARDWARE",
    "HKLM\\BCD00000000",
    "HKLM\\SOFTWARE\\Microsoft\\Cryptography",
    "HK*\\SOFTWARE\\Microsoft\\SystemCertificates",
    "HK*\\SOFTWARE\\Policies\\Microsoft\\SystemCertificates",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SoftwareProtectionPlatform",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
    "HKCU\\Control Panel\\Accessibility",
    "HKCU\\Control Panel\\Colors",
    "HKCU\\Control Panel\\Desktop",
    "HKCU\\Control Panel\\International",
    "HKCU\\Control Panel\\Keyboard",
    "HKCU\\Control Panel\\Mouse",
    "HKCU\\Keyboard Layout",
    "HKCU\\Volatile Environment",
};

// Keys that may not be deleted themselves, though the product-named keys below them may.
// Every key above a listed key or tree is shared too, and so is every key right below
// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
constexpr std::string_view kSharedKeys[] = {
    "HK*\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components",
    "HK*\\SOFTWARE\\Microsoft\\Command Processor",
    "HK*\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions",
    "HK*\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellServiceObjects",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\NetworkProvider\\Order",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System",
    "HKCR\\CLSID",
    "HKCR\\Interface",
    "HKCR\\TypeLib",
    "HKCR\\AppID",
    "HKCR\\MIME\\Database\\Content Type",
    "HKCR\\PROTOCOLS\\Filter",
    "HKCR\\PROTOCOLS\\Handler",
};

// Keys whose own values Windows reads its settings from (values in trees above are covered).
constexpr std::string_view kProtectedValueKeys[] = {
    "HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
    "HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control",
    "HKCU\\Environment",
};

// The classes of executables, links and the shell's objects, under HKEY_CLASSES_ROOT.
constexpr std::string_view kShellFileTypes[] = {
    "*", "AllFilesystemObjects", "DesktopBackground", "Directory", "Directory\\Background", "Drive", "Folder",
    "Network", "NetShare", "Printers", "Unknown", "exefile", ".exe", "lnkfile", ".lnk", "batfile", ".bat",
    "cmdfile", ".cmd", "comfile", ".com", "piffile", ".pif", "scrfile", ".scr", "dllfile", ".dll", "sysfile",
    ".sys", "regfile", ".reg", "VBSFile", ".vbs", "JSFile", ".js", "WSFFile", ".wsf", "htafile", ".hta",
    "Msi.Package", ".msi", "Microsoft.PowerShellScript.1", ".ps1", "InternetShortcut", ".url", "htmlfile",
    ".htm", ".html", "inifile", ".ini", "txtfile", ".txt", "http", "https",
};

// The keys below a file-type key that hold its verbs and handlers; products add theirs below.
constexpr std::string_view kShellStructure[] = {
    "DefaultIcon",
    "OpenWithList",
    "OpenWithProgids",
    "PersistentHandler",
    "shell",
    "shell\\open",
    "shell\\open\\command",
    "shell\\open\\ddeexec",
    "shell\\runas",
    "shell\\runas\\command",
    "shell\\runasuser",
    "shell\\runasuser\\command",
    "shell\\edit",
    "shell\\edit\\command",
    "shell\\print",
    "shell\\print\\command",
    "shell\\explore",
    "shell\\explore\\command",
    "shell\\find",
    "shell\\find\\command",
    "shellex",
    "shellex\\ColumnHandlers",
    "shellex\\ContextMenuHandlers",
    "shellex\\CopyHookHandlers",
    "shellex\\DragDropHandlers",
    "shellex\\DropHandler",
    "shellex\\IconHandler",
    "shellex\\PropertySheetHandlers",
};

constexpr std::wstring_view kWow64Node = L"WOW6432NODE";
constexpr std::wstring_view kControlSetPrefix = L"CONTROLSET";
constexpr std::wstring_view kCurrentControlSet = L"CURRENTCONTROLSET";

// Upper case as the registry compares names: a to z, the Latin-1 letters, and the two
// letters whose capital is a plain I or S (dotless i, long s), so no look-alike slips past.
wchar_t Fold(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<wchar_t>(c - 0x20);
  if (c == 0xFF) return static_cast<wchar_t>(0x178);
  if (c == 0x131) return L'I';
  if (c == 0x17F) return L'S';
  return c;
}

bool IsNumberedControlSet(std::wstring_view name) {
  if (!name.starts_with(kControlSetPrefix) || name.size() == kControlSetPrefix.size()) return false;
  return name.substr(kControlSetPrefix.size()).find_first_not_of(L"0123456789") == std::wstring_view::npos;
}

// The registry's limit for one key name: a longer one names no key that can exist.
constexpr std::size_t kLongestKeyName = 255;
// Deeper than any listed key: components past this one change no verdict, so a rule line of
// megabytes is neither copied whole nor turned into a list of megabyte prefixes.
constexpr std::size_t kDeepestJudged = 16;

wchar_t Unit(char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); }
wchar_t Unit(wchar_t c) { return c; }

// A key in one form: a scope letter (M machine, U user, C classes), then its upper-cased
// components; empty components and WOW6432Node are dropped, numbered control sets read as
// CurrentControlSet, and SOFTWARE\Classes under either root as the classes. Only the first
// kDeepestJudged components are kept (deeper says there were more); a component beyond the
// registry's limit makes the whole path one that names no existing key (overlong).
struct CanonicalKey {
  wchar_t scope;
  std::vector<std::wstring> parts;
  bool deeper = false;
  bool overlong = false;
};

template <typename Char>
CanonicalKey Canonical(RegistryRoot root, std::basic_string_view<Char> path) {
  CanonicalKey key{root == RegistryRoot::ClassesRoot ? L'C' : root == RegistryRoot::LocalMachine ? L'M' : L'U', {}};
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find(Char('\\'), start);
    if (end == std::basic_string_view<Char>::npos) end = path.size();
    if (end - start > kLongestKeyName) {
      key.overlong = true;
      return key;
    }
    std::wstring part;
    for (std::size_t i = start; i < end; ++i) part += Fold(Unit(path[i]));
    if (!part.empty() && part != kWow64Node) {
      if (key.parts.size() == kDeepestJudged) {
        key.deeper = true;
        break;
      }
      key.parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  auto& parts = key.parts;
  if (key.scope != L'C' && parts.size() >= 2 && parts[0] == L"SOFTWARE" && parts[1] == L"CLASSES") {
    key.scope = L'C';
    parts.erase(parts.begin(), parts.begin() + 2);
  }
  if (key.scope == L'M' && parts.size() >= 2 && parts[0] == L"SYSTEM" && IsNumberedControlSet(parts[1])) {
    parts[1] = kCurrentControlSet;
  }
  return key;
}

// "M", "M\SYSTEM", "M\SYSTEM\CURRENTCONTROLSET", ...: the key and every key above it.
std::vector<std::wstring> Prefixes(const CanonicalKey& key) {
  std::vector<std::wstring> prefixes{std::wstring(1, key.scope)};
  for (const auto& part : key.parts) prefixes.push_back(prefixes.back() + L"\\" + part);
  return prefixes;
}

// A list entry in canonical form, once per scope it names.
void AddListed(std::unordered_set<std::wstring>& set, std::string_view entry) {
  const auto slash = entry.find('\\');
  const std::string_view scope = entry.substr(0, slash);
  const std::string_view path = entry.substr(slash + 1);
  const auto add = [&](RegistryRoot root) { set.insert(Prefixes(Canonical(root, path)).back()); };
  if (scope == "HKLM" || scope == "HK*") add(RegistryRoot::LocalMachine);
  if (scope == "HKCU" || scope == "HK*") add(RegistryRoot::CurrentUser);
  if (scope == "HKCR") add(RegistryRoot::ClassesRoot);
}

struct Lists {
  std::unordered_set<std::wstring> trees, shared, above, valueKeys;
  Lists() {
    for (const auto entry : kProtectedTrees) AddListed(trees, entry);
    for (const auto entry : kSharedKeys) AddListed(shared, entry);
    for (const auto entry : kProtectedValueKeys) AddListed(valueKeys, entry);
    for (const auto type : kShellFileTypes) {
      AddListed(shared, "HKCR\\" + std::string(type));
      for (const auto child : kShellStructure) AddListed(shared, "HKCR\\" + std::string(type) + "\\" + std::string(child));
    }
    // Deleting a key above a listed one would take the listed one with it.
    for (const auto* set : {&trees, &shared, &valueKeys}) {
      for (const auto& key : *set) {
        for (auto slash = key.rfind(L'\\'); slash != std::wstring::npos; slash = key.rfind(L'\\', slash - 1)) {
          above.insert(key.substr(0, slash));
        }
      }
    }
  }
};

const Lists& TheLists() {
  static const Lists lists;
  return lists;
}

// Programs list themselves as values of a file type's OpenWithProgids and OpenWithList: those
// values are theirs to remove, though the keys are shared.
bool ListsPrograms(const CanonicalKey& key) {
  return !key.parts.empty() && (key.parts.back() == L"OPENWITHPROGIDS" || key.parts.back() == L"OPENWITHLIST");
}

bool InProtectedTree(const std::vector<std::wstring>& prefixes) {
  for (const auto& prefix : prefixes) {
    if (TheLists().trees.contains(prefix)) return true;
  }
  return false;
}

}  // namespace

bool NamesNoKey(std::string_view keyPath) { return keyPath.find_first_not_of('\\') == std::string_view::npos; }

namespace {

KeyVerdict Judge(const CanonicalKey& key) {
  if (key.overlong) return KeyVerdict::Deletable;  // names no key; the accessor passes it over
  const auto prefixes = Prefixes(key);
  if (InProtectedTree(prefixes)) return KeyVerdict::ProtectedTree;
  if (key.deeper) return KeyVerdict::Deletable;
  const Lists& lists = TheLists();
  const std::wstring& whole = prefixes.back();
  const bool topLevel = key.scope != L'C' && key.parts.size() < 2;
  if (topLevel || lists.shared.contains(whole) || lists.above.contains(whole) || lists.valueKeys.contains(whole)) {
    return KeyVerdict::SharedKey;
  }
  return KeyVerdict::Deletable;
}

bool ProtectsValues(const CanonicalKey& key) {
  if (key.overlong) return false;
  const auto prefixes = Prefixes(key);
  if (InProtectedTree(prefixes)) return true;
  if (key.deeper) return false;
  const Lists& lists = TheLists();
  return lists.valueKeys.contains(prefixes.back()) ||
         (key.scope == L'C' && !ListsPrograms(key) && (key.parts.empty() || lists.shared.contains(prefixes.back())));
}

}  // namespace

KeyVerdict JudgeKeyDeletion(RegistryRoot root, std::wstring_view keyPath) { return Judge(Canonical(root, keyPath)); }
KeyVerdict JudgeKeyDeletion(RegistryRoot root, std::string_view keyPath) { return Judge(Canonical(root, keyPath)); }
bool ProtectsValuesOf(RegistryRoot root, std::wstring_view keyPath) { return ProtectsValues(Canonical(root, keyPath)); }
bool ProtectsValuesOf(RegistryRoot root, std::string_view keyPath) { return ProtectsValues(Canonical(root, keyPath)); }

bool RenamesTheDefaultValue(std::string_view newName, std::string_view oldName) {
  return newName.empty() || oldName.empty();
}

std::span<const std::string_view> ProtectedRegistryTrees() { return kProtectedTrees; }
std::span<const std::string_view> SharedRegistryKeys() { return kSharedKeys; }
std::span<const std::string_view> ProtectedValueKeys() { return kProtectedValueKeys; }
std::span<const std::string_view> ShellFileTypeKeys() { return kShellFileTypes; }
std::span<const std::string_view> ShellStructuralKeys() { return kShellStructure; }
