#include "engine/guards/registry_safety.h"

#include <algorithm>
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
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\CrashControl",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Appinfo",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\CNG",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\gpsvc",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KSecDD",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KSecPkg",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\LSM",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\nsi",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\SamSs",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WinDefend",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WdFilter",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WdNisSvc",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\mpssvc",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Netlogon",
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
    // Windows' own per-user places: the shell's MUI cache and its shell bags (the user's folder
    // views), and the per-user classes' Local Settings that hold both on Vista and later.
    "HKCR\\Local Settings",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\Shell\\BagMRU",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\Shell\\Bags",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\ShellNoRoam\\BagMRU",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\ShellNoRoam\\Bags",
    "HK*\\SOFTWARE\\Microsoft\\Windows\\ShellNoRoam\\MUICache",
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

// Windows' own namespaces. Inside one, a key may be deleted only below a place where
// products register keys, and a value deleted or renamed only in a place where products keep
// values or in a key a product registered (one below such a place): everything else there is
// Windows' structure, refused whatever its name.
constexpr std::string_view kWindowsNamespaces[] = {
    "HK*\\SOFTWARE\\Microsoft", "HK*\\SOFTWARE\\Policies", "HKLM\\SYSTEM", "HKCR",
    // Windows' own keys beside Microsoft's: default programs, mapped drives and printers, the
    // user's control panel, console and sounds.
    "HK*\\SOFTWARE\\Clients", "HK*\\SOFTWARE\\RegisteredApplications", "HKCU\\Network", "HKCU\\Printers",
    "HKCU\\Control Panel", "HKCU\\Console", "HKCU\\AppEvents", "HKCU\\System",
};

// The places where products register: keys products create below (Keys), and keys in which
// products keep values of their own (Values). "<any>" stands for any one name.
constexpr ProductPlace kProductPlaces[] = {
    {"HKCR", true, false},  // a product's own file types and ProgIDs; the shell's are shared
    {"HKCR\\CLSID", true, false},
    {"HKCR\\AppID", true, false},
    {"HKCR\\TypeLib", true, false},
    {"HKCR\\Interface", true, false},
    {"HKCR\\MIME\\Database\\Content Type", true, false},
    {"HKCR\\PROTOCOLS\\Filter", true, false},
    {"HKCR\\PROTOCOLS\\Handler", true, false},
    {"HKCR\\Installer\\Products", true, false},
    {"HKCR\\Installer\\Features", true, false},
    {"HKCR\\Installer\\UpgradeCodes", true, false},
    {"HKCR\\<file type>\\shell", true, false},
    {"HKCR\\<file type>\\shellex\\ColumnHandlers", true, false},
    {"HKCR\\<file type>\\shellex\\ContextMenuHandlers", true, false},
    {"HKCR\\<file type>\\shellex\\CopyHookHandlers", true, false},
    {"HKCR\\<file type>\\shellex\\DragDropHandlers", true, false},
    {"HKCR\\<file type>\\shellex\\PropertySheetHandlers", true, false},
    {"HKCR\\<file type>\\OpenWithList", true, true},
    {"HKCR\\<file type>\\OpenWithProgids", false, true},
    {"HK*\\SOFTWARE\\Clients\\<any>", true, false},
    {"HK*\\SOFTWARE\\RegisteredApplications", false, true},
    {"HKCU\\Control Panel\\Cpls", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\<any>", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Office\\<any>\\Addins", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Security Center\\Provider\\Av", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Security Center\\Provider\\Fw", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Tracing", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cpls", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellServiceObjects", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\<any>\\Products", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\<any>\\Components", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", true, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Blocked", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers", false, true},
    {"HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree", true, false},
    {"HK*\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost", false, true},
    {"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", true, false},
    {"HKLM\\SYSTEM\\CurrentControlSet\\Services", true, false},
    {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", true, false},
    {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security", true, false},
    {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System", true, false},
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

// Deeper than any listed key: components past this one change no verdict, so a rule line of
// megabytes is neither copied whole nor turned into a list of megabyte prefixes.
constexpr std::size_t kDeepestJudged = 16;

wchar_t Unit(char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); }
wchar_t Unit(wchar_t c) { return c; }

// A key in one form: a scope letter (M machine, U user, C classes), then its upper-cased
// components; empty components and WOW6432Node are dropped, numbered control sets read as
// CurrentControlSet, and SOFTWARE\Classes under either root as the classes. Only the first
// kDeepestJudged components are kept (deeper says there were more); a component beyond the
// registry's limit, at any depth, makes the whole path one that can name no key (overlong).
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
    if (key.deeper) {
      start = end + 1;  // only the names' lengths still matter
      continue;
    }
    std::wstring part;
    for (std::size_t i = start; i < end; ++i) part += Fold(Unit(path[i]));
    if (!part.empty() && part != kWow64Node) {
      if (key.parts.size() == kDeepestJudged) {
        key.deeper = true;
      } else {
        key.parts.push_back(std::move(part));
      }
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
  const std::string_view path = slash == std::string_view::npos ? std::string_view{} : entry.substr(slash + 1);
  const auto add = [&](RegistryRoot root) { set.insert(Prefixes(Canonical(root, path)).back()); };
  if (scope == "HKLM" || scope == "HK*") add(RegistryRoot::LocalMachine);
  if (scope == "HKCU" || scope == "HK*") add(RegistryRoot::CurrentUser);
  if (scope == "HKCR") add(RegistryRoot::ClassesRoot);
}

// A product place's key in canonical form, "<file type>" once for every shell file type.
std::vector<std::string> ProductPlaceKeys(std::string_view key) {
  constexpr std::string_view kFileType = "HKCR\\<file type>";
  if (!key.starts_with(kFileType)) return {std::string(key)};
  std::vector<std::string> keys;
  for (const auto type : kShellFileTypes) {
    keys.push_back("HKCR\\" + std::string(type) + std::string(key.substr(kFileType.size())));
  }
  return keys;
}

constexpr std::wstring_view kAnyName = L"<ANY>";

struct Lists {
  std::unordered_set<std::wstring> trees, shared, above, valueKeys, namespaces, keyPlaces, valuePlaces;
  // Places with "<any>" in them, matched name by name.
  std::vector<std::wstring> anyKeyPlaces, anyValuePlaces;
  void AddPlace(std::string_view key, bool keys, bool values) {
    std::unordered_set<std::wstring> found;
    AddListed(found, key);
    for (const auto& place : found) {
      const bool any = place.find(kAnyName) != std::wstring::npos;
      if (keys) (any ? anyKeyPlaces.push_back(place) : (void)keyPlaces.insert(place));
      if (values) (any ? anyValuePlaces.push_back(place) : (void)valuePlaces.insert(place));
    }
  }
  Lists() {
    for (const auto entry : kWindowsNamespaces) AddListed(namespaces, entry);
    for (const auto& place : kProductPlaces) {
      for (const auto& key : ProductPlaceKeys(place.key)) AddPlace(key, place.keys, place.values);
    }
    for (const auto entry : kProtectedTrees) AddListed(trees, entry);
    for (const auto entry : kSharedKeys) AddListed(shared, entry);
    for (const auto entry : kProtectedValueKeys) AddListed(valueKeys, entry);
    for (const auto type : kShellFileTypes) {
      AddListed(shared, "HKCR\\" + std::string(type));
      for (const auto child : kShellStructure) AddListed(shared, "HKCR\\" + std::string(type) + "\\" + std::string(child));
    }
    // Deleting a key above a listed one would take the listed one with it.
    for (const auto* set : {&trees, &shared, &valueKeys, &keyPlaces, &valuePlaces}) {
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

bool HasOverlongKeyName(std::string_view keyPath) {
  std::size_t run = 0;
  for (const char c : keyPath) {
    run = c == '\\' ? 0 : run + 1;
    if (run > kLongestKeyName) return true;
  }
  return false;
}

namespace {

// True when the place pattern (canonical, "<ANY>" for any one name) names this key.
bool MatchesPattern(std::wstring_view key, std::wstring_view pattern) {
  for (;;) {
    const auto keyEnd = std::min(key.find(L'\\'), key.size());
    const auto patternEnd = std::min(pattern.find(L'\\'), pattern.size());
    const std::wstring_view name = key.substr(0, keyEnd), wanted = pattern.substr(0, patternEnd);
    if (wanted != kAnyName && wanted != name) return false;
    if (keyEnd == key.size() || patternEnd == pattern.size()) return keyEnd == key.size() && patternEnd == pattern.size();
    key.remove_prefix(keyEnd + 1);
    pattern.remove_prefix(patternEnd + 1);
  }
}

bool IsPlace(const std::unordered_set<std::wstring>& places, const std::vector<std::wstring>& patterns,
             const std::wstring& key) {
  return places.contains(key) ||
         std::any_of(patterns.begin(), patterns.end(), [&](const auto& pattern) { return MatchesPattern(key, pattern); });
}

bool InWindowsNamespace(const std::vector<std::wstring>& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(), [](const auto& prefix) { return TheLists().namespaces.contains(prefix); });
}

// Whether one of the keys above the key (all kept ones for a key deeper than those) is a place
// where products register keys: the key is then a product's registration or lies inside one.
bool BelowKeyPlace(const CanonicalKey& key, const std::vector<std::wstring>& prefixes) {
  const Lists& lists = TheLists();
  const std::size_t above = key.deeper ? prefixes.size() : prefixes.size() - 1;
  for (std::size_t i = 0; i < above; ++i) {
    if (IsPlace(lists.keyPlaces, lists.anyKeyPlaces, prefixes[i])) return true;
  }
  return false;
}

KeyVerdict Judge(const CanonicalKey& key) {
  // A name no key can have: passed over as already gone, the line would count as done.
  if (key.overlong) return KeyVerdict::OverlongName;
  const auto prefixes = Prefixes(key);
  if (InProtectedTree(prefixes)) return KeyVerdict::ProtectedTree;
  const Lists& lists = TheLists();
  const bool windows = InWindowsNamespace(prefixes);
  if (!key.deeper) {
    const std::wstring& whole = prefixes.back();
    const bool topLevel = key.scope != L'C' && key.parts.size() < 2;
    if (topLevel || lists.shared.contains(whole) || lists.above.contains(whole) || lists.valueKeys.contains(whole) ||
        (windows && (IsPlace(lists.keyPlaces, lists.anyKeyPlaces, whole) ||
                     IsPlace(lists.valuePlaces, lists.anyValuePlaces, whole)))) {
      return KeyVerdict::SharedKey;
    }
  }
  if (windows && !BelowKeyPlace(key, prefixes)) return KeyVerdict::StructuralKey;
  return KeyVerdict::Deletable;
}

ValueVerdict JudgeValues(const CanonicalKey& key) {
  if (key.overlong) return ValueVerdict::OverlongName;
  const auto prefixes = Prefixes(key);
  if (InProtectedTree(prefixes)) return ValueVerdict::WindowsSetting;
  const Lists& lists = TheLists();
  if (!key.deeper) {
    const std::wstring& whole = prefixes.back();
    if (lists.valueKeys.contains(whole)) return ValueVerdict::WindowsSetting;
    if (key.scope == L'C' && !ListsPrograms(key) && (key.parts.empty() || lists.shared.contains(whole))) {
      return ValueVerdict::WindowsSetting;
    }
    if (IsPlace(lists.valuePlaces, lists.anyValuePlaces, whole)) return ValueVerdict::Changeable;
    // A container, or a key above one, is Windows' structure even below another container.
    if (InWindowsNamespace(prefixes) &&
        (IsPlace(lists.keyPlaces, lists.anyKeyPlaces, whole) || lists.above.contains(whole))) {
      return ValueVerdict::NotAProductPlace;
    }
  }
  if (InWindowsNamespace(prefixes) && !BelowKeyPlace(key, prefixes)) return ValueVerdict::NotAProductPlace;
  return ValueVerdict::Changeable;
}

}  // namespace

bool InWindowsRegistryNamespace(RegistryRoot root, std::string_view keyPath) {
  const CanonicalKey key = Canonical(root, keyPath);
  return !key.overlong && InWindowsNamespace(Prefixes(key));
}

bool IsProductKeyPlace(RegistryRoot root, std::string_view keyPath) {
  const CanonicalKey key = Canonical(root, keyPath);
  return !key.overlong && !key.deeper && IsPlace(TheLists().keyPlaces, TheLists().anyKeyPlaces, Prefixes(key).back());
}

bool IsProductValuePlace(RegistryRoot root, std::string_view keyPath) {
  const CanonicalKey key = Canonical(root, keyPath);
  return !key.overlong && !key.deeper &&
         (IsPlace(TheLists().valuePlaces, TheLists().anyValuePlaces, Prefixes(key).back()) || ListsPrograms(key));
}

std::size_t RegistrationNameCount(RegistryRoot root, std::string_view keyPath) {
  const CanonicalKey key = Canonical(root, keyPath);
  if (key.overlong) return 0;
  const auto prefixes = Prefixes(key);
  const Lists& lists = TheLists();
  // prefixes[i] holds i names; the registration holds one more than the deepest place above.
  std::size_t itemNames = 0;
  for (std::size_t i = key.deeper ? prefixes.size() : prefixes.size() - 1; i-- > 0;) {
    if (IsPlace(lists.keyPlaces, lists.anyKeyPlaces, prefixes[i])) {
      itemNames = i + 1;
      break;
    }
  }
  if (itemNames == 0) return 0;
  // Back to the names as written: WOW6432Node counts for nothing, SOFTWARE\Classes for the root.
  const std::size_t moved = key.scope == L'C' && root != RegistryRoot::ClassesRoot ? 2 : 0;
  std::size_t written = 0, kept = 0;
  std::size_t start = 0;
  while (start <= keyPath.size()) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) {
      ++written;
      std::wstring name;
      for (std::size_t i = start; i < end; ++i) name += Fold(Unit(keyPath[i]));
      if (name != kWow64Node && ++kept > moved && kept - moved == itemNames) return written;
    }
    start = end + 1;
  }
  return 0;
}

KeyVerdict JudgeKeyDeletion(RegistryRoot root, std::wstring_view keyPath) { return Judge(Canonical(root, keyPath)); }
KeyVerdict JudgeKeyDeletion(RegistryRoot root, std::string_view keyPath) { return Judge(Canonical(root, keyPath)); }
ValueVerdict JudgeValueChange(RegistryRoot root, std::wstring_view keyPath) { return JudgeValues(Canonical(root, keyPath)); }
ValueVerdict JudgeValueChange(RegistryRoot root, std::string_view keyPath) { return JudgeValues(Canonical(root, keyPath)); }
bool ProtectsValuesOf(RegistryRoot root, std::wstring_view keyPath) {
  return JudgeValueChange(root, keyPath) != ValueVerdict::Changeable;
}
bool ProtectsValuesOf(RegistryRoot root, std::string_view keyPath) {
  return JudgeValueChange(root, keyPath) != ValueVerdict::Changeable;
}

bool IsClassFilterList(RegistryRoot root, std::wstring_view keyPath, std::wstring_view valueName) {
  if (root != RegistryRoot::LocalMachine) return false;
  std::wstring value;
  for (const wchar_t c : valueName) value += Fold(c);
  if (value != L"UPPERFILTERS" && value != L"LOWERFILTERS") return false;
  const CanonicalKey key = Canonical(root, keyPath);
  const auto& parts = key.parts;
  return !key.overlong && !key.deeper && key.scope == L'M' && parts.size() == 5 && parts[0] == L"SYSTEM" &&
         parts[1] == kCurrentControlSet && parts[2] == L"CONTROL" && parts[3] == L"CLASS";
}

bool RenamesTheDefaultValue(std::string_view newName, std::string_view oldName) {
  return newName.empty() || oldName.empty();
}

std::span<const std::string_view> ProtectedRegistryTrees() { return kProtectedTrees; }
std::span<const std::string_view> SharedRegistryKeys() { return kSharedKeys; }
std::span<const std::string_view> ProtectedValueKeys() { return kProtectedValueKeys; }
std::span<const std::string_view> ShellFileTypeKeys() { return kShellFileTypes; }
std::span<const std::string_view> ShellStructuralKeys() { return kShellStructure; }
std::span<const std::string_view> WindowsRegistryNamespaces() { return kWindowsNamespaces; }
std::span<const ProductPlace> ProductRegistryPlaces() { return kProductPlaces; }
