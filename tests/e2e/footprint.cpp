#include "tests/e2e/footprint.h"

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>

#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tests/support/wine_test_support.h"

namespace {

constexpr wchar_t kServices[] = L"SYSTEM\\CurrentControlSet\\Services\\";
constexpr wchar_t kClasses[] = L"SOFTWARE\\Classes\\";
constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
constexpr wchar_t kNtCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
// The disk drives' device class, whose filter list names the product's filter driver.
constexpr wchar_t kDiskClass[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e967-e325-11ce-bfc1-08002be10318}";

// The product's classes, services' and tasks' identifiers, and another program's.
constexpr wchar_t kShellClass[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F01}";
constexpr wchar_t kOverlayClass[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F02}";
constexpr wchar_t kAmsiClass[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F03}";
constexpr wchar_t kCredentialClass[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F04}";
constexpr wchar_t kPanelClass[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F05}";
constexpr wchar_t kPublisher[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F06}";
constexpr wchar_t kTask[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F07}";
constexpr wchar_t kSecurityCenter[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F08}";
constexpr wchar_t kTypeLib[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F09}";
constexpr wchar_t kInterface[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F0A}";
constexpr wchar_t kAppId[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F0B}";
constexpr wchar_t kProductCode[] = L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0F0C}";
constexpr wchar_t kPackedUpgrade[] = L"14C7B2E5D3A9E6F4B8012C7D4E9FF0D0";
constexpr wchar_t kPackedProduct[] = L"14C7B2E5D3A9E6F4B8012C7D4E9FF0C0";
constexpr wchar_t kOtherClass[] = L"{0ACE0000-1111-4222-8333-444455556601}";
constexpr wchar_t kOtherAmsiClass[] = L"{0ACE0000-1111-4222-8333-444455556602}";
constexpr wchar_t kOtherProduct[] = L"{0ACE0000-1111-4222-8333-444455556603}";
constexpr wchar_t kShellLink[] = L"{00021401-0000-0000-C000-000000000046}";
constexpr wchar_t kIUnknown[] = L"{00000000-0000-0000-C000-000000000046}";

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring Expanded(const wchar_t* text) {
  wchar_t out[MAX_PATH] = {};
  const DWORD length = ExpandEnvironmentStringsW(text, out, MAX_PATH);
  if (length == 0 || length > MAX_PATH || out[0] == L'%') throw std::runtime_error("no folder for a variable");
  return out;
}

std::string RootName(HKEY root) { return root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }
std::wstring ShortRoot(HKEY root) { return root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\"; }

std::wstring ParentOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

bool KeyExists(HKEY root, const std::wstring& key) {
  UniqueHKey opened;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
}

// The highest key on the way to key that is not there yet; empty when key is there.
std::wstring FirstMissing(HKEY root, const std::wstring& key) {
  if (KeyExists(root, key)) return {};
  std::wstring missing = key;
  for (std::wstring above = ParentOf(key); above != missing && !KeyExists(root, above); above = ParentOf(above)) {
    missing = above;
  }
  return missing;
}

void MakeFolders(const std::wstring& folder, std::vector<std::pair<std::wstring, std::wstring>>& made) {
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  MakeFolders(ParentOf(folder), made);
  if (CreateDirectoryW(folder.c_str(), nullptr)) made.emplace_back(folder, L"");
}

void WriteFileW(const std::wstring& path, const std::string& bytesOrHelper) {
  if (bytesOrHelper.starts_with("helper:")) {
    if (!CopyFileW(WideFromAnsi(HelperPath(bytesOrHelper.substr(7))).c_str(), path.c_str(), FALSE)) {
      throw std::runtime_error("cannot copy a helper to " + AnsiFromWide(path));
    }
  } else if (bytesOrHelper.starts_with("copy:")) {
    if (!CopyFileW(WideFromAnsi(bytesOrHelper.substr(5)).c_str(), path.c_str(), FALSE)) {
      throw std::runtime_error("cannot copy to " + AnsiFromWide(path));
    }
  } else {
    WriteBytes(AnsiFromWide(path), bytesOrHelper);
  }
}

std::vector<BYTE> ValueBytes(DWORD type, const std::wstring& data) {
  if (type == REG_DWORD) {
    const DWORD number = static_cast<DWORD>(std::stoul(data));
    return std::vector<BYTE>(reinterpret_cast<const BYTE*>(&number), reinterpret_cast<const BYTE*>(&number) + 4);
  }
  std::wstring text = data;
  text.push_back(L'\0');
  if (type == REG_MULTI_SZ) text.push_back(L'\0');
  return std::vector<BYTE>(reinterpret_cast<const BYTE*>(text.data()),
                           reinterpret_cast<const BYTE*>(text.data() + text.size()));
}

void SetValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const std::vector<BYTE>& bytes) {
  UniqueHKey opened;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.Put(), nullptr) !=
          ERROR_SUCCESS ||
      RegSetValueExW(opened.Get(), name.empty() ? nullptr : name.c_str(), 0, type, bytes.data(),
                     static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot seed " + AnsiFromWide(key));
  }
}

std::wstring ValueText(DWORD type, const std::vector<BYTE>& data) {
  std::wstring text = std::to_wstring(type) + L":";
  for (const BYTE byte : data) text += std::to_wstring(byte) + L",";
  return text;
}

// One level of a key (recursive: the whole tree) into the dump.
void DumpKey(HKEY root, const std::wstring& key, bool recursive, FootprintDump& dump) {
  UniqueHKey opened;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.Put()) != ERROR_SUCCESS) return;
  const std::wstring name = Upper(ShortRoot(root) + key);
  dump[L"K:" + name] = L"";
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[16384];
    DWORD nameLength = 16384, type = 0, size = 0;
    if (RegEnumValueW(opened.Get(), index, valueName, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size);
    nameLength = 16384;
    RegEnumValueW(opened.Get(), index, valueName, &nameLength, nullptr, &type, data.data(), &size);
    data.resize(size);
    dump[L"V:" + name + L"|" + Upper(valueName)] = ValueText(type, data);
  }
  std::vector<std::wstring> children;
  for (DWORD index = 0;; ++index) {
    wchar_t child[256];
    DWORD length = 256;
    if (RegEnumKeyExW(opened.Get(), index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(child, length);
  }
  for (const auto& child : children) {
    if (recursive) {
      DumpKey(root, key + L"\\" + child, true, dump);
    } else {
      dump[L"K:" + name + L"\\" + Upper(child)] = L"";
    }
  }
}

// A folder's entries (recursive: the whole tree, with every file's bytes).
void DumpFolder(const std::wstring& folder, bool recursive, FootprintDump& dump) {
  WIN32_FIND_DATAW found{};
  const UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return;
  dump[L"D:" + Upper(folder)] = L"";
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (recursive) {
        DumpFolder(path, true, dump);
      } else {
        dump[L"D:" + Upper(path)] = L"";
      }
      continue;
    }
    std::wstring facts = std::to_wstring(found.nFileSizeLow) + L" " + std::to_wstring(found.dwFileAttributes);
    if (recursive) facts += L" " + WideFromAnsi(std::to_string(std::hash<std::string>{}(ReadBytes(AnsiFromWide(path)))));
    dump[L"F:" + Upper(path)] = facts;
  } while (FindNextFileW(find.Get(), &found));
}

void DumpFile(const std::wstring& path, FootprintDump& dump) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return DumpFolder(path, true, dump);
  dump[L"F:" + Upper(path)] = std::to_wstring(data.nFileSizeLow) + L" " + std::to_wstring(data.dwFileAttributes) + L" " +
                              WideFromAnsi(std::to_string(std::hash<std::string>{}(ReadBytes(AnsiFromWide(path)))));
}

bool StartsWithCaseless(const std::string& text, const std::string& start) {
  return text.size() >= start.size() &&
         CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(), static_cast<int>(start.size()), start.c_str(),
                        static_cast<int>(start.size())) == CSTR_EQUAL;
}

bool Below(const std::wstring& entry, const std::wstring& prefix) {
  return entry == prefix || (entry.size() > prefix.size() && entry.starts_with(prefix) &&
                             (entry[prefix.size()] == L'\\' || entry[prefix.size()] == L'|'));
}

}  // namespace

Footprint::Footprint() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  wow64_ = wow64 != FALSE;
  windows_ = Expanded(L"%SystemRoot%");
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  system_ = system;
  programFiles_ = Expanded(L"%ProgramFiles%");
  commonFiles_ = Expanded(L"%CommonProgramFiles%");
  programFolder_ = programFiles_ + L"\\Velmora Lab";
  sharedFolder_ = commonFiles_ + L"\\Velmora Lab";
  dataFolder_ = Expanded(L"%ProgramData%") + L"\\Velmora Lab";
  try {
    SeedAll();
  } catch (...) {
    this->~Footprint();
    throw;
  }
}

Footprint::Item Footprint::NewItem(Owner owner, const std::string& what, const std::string& entry, int section) {
  Item item;
  item.owner = owner;
  item.what = what;
  item.entry = entry;
  item.section = section;
  return item;
}

void Footprint::Key(Owner owner, const std::string& what, HKEY root, const std::wstring& key,
                    const std::vector<Value>& values) {
  Item item = NewItem(owner, what, RootName(root) + "\\" + AnsiFromWide(key), 0);
  item.root = root;
  item.key = key;
  item.createdTop = FirstMissing(root, key);
  item.seeded = !item.createdTop.empty();
  for (const Value& value : values) {
    const std::wstring sub = value.name.find(L'\\') != std::wstring::npos ? key + L"\\" + ParentOf(value.name) : key;
    const std::wstring name = value.name.substr(value.name.find_last_of(L'\\') + 1);
    SetValue(root, sub, value.name.find(L'\\') != std::wstring::npos ? name : value.name, value.type,
             ValueBytes(value.type, value.data));
  }
  if (values.empty()) {
    UniqueHKey made;
    RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, made.Put(), nullptr);
  }
  items_.push_back(std::move(item));
}

void Footprint::ValueItem(Owner owner, const std::string& what, HKEY root, const std::wstring& key, const Value& value) {
  Item item = NewItem(owner, what, RootName(root) + "\\" + AnsiFromWide(key) + "=" + AnsiFromWide(value.name), 1);
  item.root = root;
  item.key = key;
  item.value = value.name;
  item.seeded = true;
  item.createdTop = FirstMissing(root, key);
  SetValue(root, key, value.name, value.type, ValueBytes(value.type, value.data));
  items_.push_back(std::move(item));
}

void Footprint::ExistingKey(Owner owner, const std::string& what, HKEY root, const std::wstring& key) {
  if (!KeyExists(root, key)) return Key(owner, what, root, key, {});
  Item item = NewItem(owner, what, RootName(root) + "\\" + AnsiFromWide(key), 0);
  item.root = root;
  item.key = key;
  items_.push_back(std::move(item));
}

void Footprint::File(Owner owner, const std::string& what, const std::wstring& path, const std::string& bytesOrHelper) {
  MakeFolders(ParentOf(path), createdFolders_);
  WriteFileW(path, bytesOrHelper);
  Item item = NewItem(owner, what, AnsiFromWide(path), 3);
  item.path = path;
  item.seeded = true;
  items_.push_back(std::move(item));
}

void Footprint::Folder(Owner owner, const std::string& what, const std::wstring& path,
                       const std::vector<std::pair<std::wstring, std::string>>& files) {
  const bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  MakeFolders(path, createdFolders_);
  for (const auto& [name, bytes] : files) {
    MakeFolders(ParentOf(path + L"\\" + name), createdFolders_);
    WriteFileW(path + L"\\" + name, bytes);
  }
  Item item = NewItem(owner, what, AnsiFromWide(path), 2);
  item.path = path;
  item.seeded = !existed;
  items_.push_back(std::move(item));
}

void Footprint::ExistingFile(Owner owner, const std::string& what, const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;  // not in this prefix
  Item item = NewItem(owner, what, AnsiFromWide(path), 3);
  item.path = path;
  items_.push_back(std::move(item));
}

void Footprint::SeedAll() {
  using O = Owner;
  const std::wstring qrv = programFolder_ + L"\\QRV.exe", service = programFolder_ + L"\\ZdnS.exe";
  const std::wstring acme = programFiles_ + L"\\Acme Tools\\acme.exe";
  const std::wstring microsoft = L"copy:" + system_ + L"\\kernel32.dll";
  const std::string part = "helper:velmora_part.exe", runtime = AnsiFromWide(microsoft);
  // Files: the program, shared and data folders, drivers, a hook library, a settings file, a
  // folder of the product's in the Windows folder with its runtime copy, setup leftovers, a
  // scheduled task, a browser plug-in.
  Folder(O::Product, "program folder", programFolder_,
         {{L"QRV.exe", part}, {L"ZdnS.exe", part}, {L"QrvAmsi.dll", part}, {L"QrvCred.dll", part},
          {L"QrvCpl.dll", part}, {L"ZdnNotify.dll", part}, {L"msvcrt140_private.dll", runtime},
          {L"desktop.ini", "[.ShellClassInfo]"}, {L"Bases\\main.avb", "signature base"}});
  Folder(O::Product, "shared folder", sharedFolder_, {{L"zdnshell.dll", part}, {L"ZdnOverlay.dll", part}});
  Folder(O::Product, "data folder", dataFolder_, {{L"Logs\\scan.log", "scan"}, {L"Quarantine\\q1.bin", "q"}});
  Folder(O::Other, "another program's folder", programFiles_ + L"\\Acme Tools",
         {{L"acme.exe", "MZ acme"}, {L"acme.dll", "MZ acme"}});
  items_.back().named = false;  // outside Windows' places a folder goes on the rule's word
  File(O::Product, "filter driver", system_ + L"\\drivers\\ZdnFlt.sys", part);
  File(O::Product, "early-launch driver", system_ + L"\\drivers\\QrvElam.sys", part);
  File(O::Other, "another program's driver", system_ + L"\\drivers\\acmeflt.sys", "MZ acme driver");
  ExistingFile(O::Windows, "Windows' driver", system_ + L"\\drivers\\ksecdd.sys");
  File(O::Product, "hook library", system_ + L"\\zdnhook.dll", part);
  File(O::Other, "another program's hook library", system_ + L"\\acmehook.dll", "MZ acme hook");
  File(O::Product, "settings file", windows_ + L"\\qrv.ini", "[QRV]");
  ExistingFile(O::Windows, "Windows' settings file", windows_ + L"\\win.ini");
  Folder(O::Product, "product folder in the Windows folder", windows_ + L"\\Velmora",
         {{L"msvcrt140_private.dll", runtime}, {L"desktop.ini", "[.ShellClassInfo]"}, {L"qrv.dat", "data"}});
  Folder(O::Product, "setup leftovers", windows_ + L"\\Temp\\QrvSetup", {{L"setup.log", "log"}});
  Folder(O::Other, "another program's setup leftovers", windows_ + L"\\Temp\\AcmeSetup", {{L"setup.log", "log"}});
  File(O::Product, "scheduled task", system_ + L"\\Tasks\\Velmora Update", "<Task/>");
  File(O::Other, "another program's scheduled task", system_ + L"\\Tasks\\Acme Update", "<Task/>");
  File(O::Product, "browser plug-in", programFiles_ + L"\\Internet Explorer\\Plugins\\qrv_ie.dll", part);
  ExistingFile(O::Windows, "Windows' browser", programFiles_ + L"\\Internet Explorer\\iexplore.exe");
  if (wow64_) {
    // The real System32 holds a file of the hook's name that shows no evidence of the product.
    File(O::Other, "a file in the real System32 by the hook's name", windows_ + L"\\Sysnative\\zdnhook.dll", "MZ other");
    Folder(O::Product, "64-bit program folder", Expanded(L"%ProgramW6432%") + L"\\Velmora Lab",
           {{L"QRV64.exe", part}, {L"x64\\QrvAmsi64.dll", part}});
    items_.back().named = false;  // the program folder's line names its 64-bit twin
    items_[items_.size() - 2].named = false;
  }

  // Services and drivers, with Safe Mode's lists and a device class's filter list.
  const std::wstring services = kServices;
  Key(O::Product, "service", HKEY_LOCAL_MACHINE, services + L"ZdnMon",
      {{L"ImagePath", REG_EXPAND_SZ, L"\"" + service + L"\""}, {L"Start", REG_DWORD, L"2"}, {L"Type", REG_DWORD, L"16"}});
  Key(O::Product, "filter driver's service", HKEY_LOCAL_MACHINE, services + L"ZdnFlt",
      {{L"ImagePath", REG_EXPAND_SZ, L"system32\\drivers\\ZdnFlt.sys"}, {L"Start", REG_DWORD, L"0"}, {L"Type", REG_DWORD, L"1"}});
  Key(O::Product, "early-launch driver's service", HKEY_LOCAL_MACHINE, services + L"QrvElam",
      {{L"ImagePath", REG_EXPAND_SZ, L"system32\\drivers\\QrvElam.sys"}, {L"Group", REG_SZ, L"Early-Launch"}, {L"Type", REG_DWORD, L"1"}});
  Key(O::Other, "another program's service", HKEY_LOCAL_MACHINE, services + L"AcmeSvc",
      {{L"ImagePath", REG_EXPAND_SZ, acme + L" -service"}, {L"Type", REG_DWORD, L"16"}});
  ExistingKey(O::Windows, "Windows' service parameters", HKEY_LOCAL_MACHINE, services + L"BITS\\Parameters");
  {
    Saved saved{HKEY_LOCAL_MACHINE, kDiskClass, L"UpperFilters", false, 0, {}};
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDiskClass, 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
      DWORD size = 0;
      if (RegQueryValueExW(key.Get(), L"UpperFilters", nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
        saved.existed = true;
        saved.data.resize(size);
        RegQueryValueExW(key.Get(), L"UpperFilters", nullptr, &saved.type, saved.data.data(), &size);
      }
    }
    if (const std::wstring top = FirstMissing(HKEY_LOCAL_MACHINE, kDiskClass); !top.empty()) createdKeys_.push_back(top);
    saved_.push_back(std::move(saved));
    SetValue(HKEY_LOCAL_MACHINE, kDiskClass, L"UpperFilters", REG_MULTI_SZ,
             ValueBytes(REG_MULTI_SZ, std::wstring(L"partmgr\0ZdnFlt\0AcmeFlt", 22)));
    filterClass_ = kDiskClass;
  }
  const std::wstring safeBoot = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\";
  Key(O::Product, "Safe Mode service", HKEY_LOCAL_MACHINE, safeBoot + L"Minimal\\ZdnMon", {{L"", REG_SZ, L"Service"}});
  Key(O::Product, "Safe Mode with networking service", HKEY_LOCAL_MACHINE, safeBoot + L"Network\\ZdnMon", {{L"", REG_SZ, L"Service"}});
  Key(O::Other, "another program's Safe Mode service", HKEY_LOCAL_MACHINE, safeBoot + L"Minimal\\AcmeSvc", {{L"", REG_SZ, L"Service"}});

  // Classes and the shell.
  const std::wstring clsid = std::wstring(kClasses) + L"CLSID\\";
  const auto server = [](const std::wstring& file) { return std::vector<Value>{{L"InprocServer32\\", REG_SZ, file}}; };
  Key(O::Product, "shell extension class", HKEY_LOCAL_MACHINE, clsid + kShellClass, server(sharedFolder_ + L"\\zdnshell.dll"));
  Key(O::Product, "icon overlay class", HKEY_LOCAL_MACHINE, clsid + kOverlayClass, server(sharedFolder_ + L"\\ZdnOverlay.dll"));
  Key(O::Product, "AMSI provider class", HKEY_LOCAL_MACHINE, clsid + kAmsiClass, server(programFolder_ + L"\\QrvAmsi.dll"));
  Key(O::Product, "credential provider class", HKEY_LOCAL_MACHINE, clsid + kCredentialClass, server(programFolder_ + L"\\QrvCred.dll"));
  Key(O::Product, "Control Panel class", HKEY_LOCAL_MACHINE, clsid + kPanelClass, server(programFolder_ + L"\\QrvCpl.dll"));
  Key(O::Other, "another program's class", HKEY_LOCAL_MACHINE, clsid + kOtherClass, server(programFiles_ + L"\\Acme Tools\\acme.dll"));
  Key(O::Other, "another program's AMSI class", HKEY_LOCAL_MACHINE, clsid + kOtherAmsiClass, server(programFiles_ + L"\\Acme Tools\\acme.dll"));
  ExistingKey(O::Windows, "Windows' class server", HKEY_LOCAL_MACHINE, clsid + kShellLink + L"\\InprocServer32");
  const std::wstring menus = std::wstring(kClasses) + L"*\\shellex\\ContextMenuHandlers\\";
  Key(O::Product, "context menu handler", HKEY_LOCAL_MACHINE, menus + L"ZDNScan", {{L"", REG_SZ, kShellClass}});
  Key(O::Other, "another program's context menu handler", HKEY_LOCAL_MACHINE, menus + L"AcmeMenu", {{L"", REG_SZ, kOtherClass}});
  const std::wstring explorer = std::wstring(kCurrentVersion) + L"Explorer\\";
  Key(O::Product, "icon overlay", HKEY_LOCAL_MACHINE, explorer + L"ShellIconOverlayIdentifiers\\QrvOverlay", {{L"", REG_SZ, kOverlayClass}});
  Key(O::Product, "browser helper object", HKEY_LOCAL_MACHINE, explorer + L"Browser Helper Objects\\" + kShellClass, {});
  Key(O::Product, "file type", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L".qrv", {{L"", REG_SZ, L"QRV.Scan"}});
  Key(O::Product, "program identifier", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"QRV.Scan",
      {{L"shell\\open\\command\\", REG_SZ, L"\"" + qrv + L"\" \"%1\""}});
  ExistingKey(O::Windows, "Windows' protocol", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"mailto");
  Key(O::Product, "type library", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"TypeLib\\" + kTypeLib,
      {{L"1.0\\0\\win32\\", REG_SZ, sharedFolder_ + L"\\zdnshell.dll"}});
  Key(O::Product, "interface", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"Interface\\" + kInterface,
      {{L"TypeLib\\", REG_SZ, kTypeLib}});
  ExistingKey(O::Windows, "Windows' interface", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"Interface\\" + kIUnknown);
  Key(O::Product, "application identifier", HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID\\" + kAppId,
      {{L"LocalService", REG_SZ, L"ZdnMon"}});

  // Where anti-virus products register inside Windows' trees.
  Key(O::Product, "AMSI provider", HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Microsoft\\AMSI\\Providers\\") + kAmsiClass, {});
  Key(O::Other, "another program's AMSI provider", HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Microsoft\\AMSI\\Providers\\") + kOtherAmsiClass, {});
  Key(O::Product, "credential provider", HKEY_LOCAL_MACHINE,
      std::wstring(kCurrentVersion) + L"Authentication\\Credential Providers\\" + kCredentialClass, {});
  Key(O::Product, "Control Panel namespace entry", HKEY_LOCAL_MACHINE, explorer + L"ControlPanel\\NameSpace\\" + kPanelClass, {});
  const std::wstring dumps = L"SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\";
  Key(O::Product, "crash dump settings", HKEY_LOCAL_MACHINE, dumps + L"ZdnS.exe", {{L"DumpType", REG_DWORD, L"2"}});
  Key(O::Other, "another program's crash dump settings", HKEY_LOCAL_MACHINE, dumps + L"acme.exe", {{L"DumpType", REG_DWORD, L"2"}});
  Key(O::Product, "security center provider", HKEY_LOCAL_MACHINE,
      std::wstring(L"SOFTWARE\\Microsoft\\Security Center\\Provider\\Av\\") + kSecurityCenter, {{L"DISPLAYNAME", REG_SZ, L"QRV Anti-Virus"}, {L"PRODUCTEXE", REG_SZ, qrv}});
  Key(O::Product, "Office add-in", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Office\\Outlook\\Addins\\QRV.OutlookAddin",
      {{L"FriendlyName", REG_SZ, L"QRV for Outlook"}, {L"LoadBehavior", REG_DWORD, L"3"},
       {L"Manifest", REG_SZ, programFolder_ + L"\\QRV.Outlook.vsto|vstolocal"}});

  // Windows Installer and the uninstall list.
  const std::wstring installer = std::wstring(kCurrentVersion) + L"Installer\\";
  Key(O::Unproven, "installer upgrade code", HKEY_LOCAL_MACHINE, installer + L"UpgradeCodes\\" + kPackedUpgrade, {{kPackedProduct, REG_SZ, L""}});
  ValueItem(O::Product, "installer folder", HKEY_LOCAL_MACHINE, installer + L"Folders", {programFolder_ + L"\\", REG_SZ, L""});
  ValueItem(O::Other, "another program's installer folder", HKEY_LOCAL_MACHINE, installer + L"Folders",
            {programFiles_ + L"\\Acme Tools\\", REG_SZ, L""});
  Key(O::Product, "uninstall entry", HKEY_LOCAL_MACHINE, std::wstring(kCurrentVersion) + L"Uninstall\\" + kProductCode,
      {{L"DisplayName", REG_SZ, L"Velmora Anti-Virus"}, {L"Publisher", REG_SZ, L"Velmora"}, {L"InstallLocation", REG_SZ, programFolder_}});
  Key(O::Other, "another program's uninstall entry", HKEY_LOCAL_MACHINE, std::wstring(kCurrentVersion) + L"Uninstall\\" + kOtherProduct,
      {{L"DisplayName", REG_SZ, L"Acme Tools"}, {L"InstallLocation", REG_SZ, programFiles_ + L"\\Acme Tools"}});
  ValueItem(O::Product, "shared library count", HKEY_LOCAL_MACHINE, std::wstring(kCurrentVersion) + L"SharedDLLs",
            {sharedFolder_ + L"\\zdnshell.dll", REG_DWORD, L"1"});

  // Start-up, App Paths, event log, scheduler, network, logon, browser, compatibility, policies.
  const std::wstring run = std::wstring(kCurrentVersion) + L"Run";
  ValueItem(O::Product, "machine Run value", HKEY_LOCAL_MACHINE, run, {L"ZDN Monitor", REG_SZ, L"\"" + qrv + L"\" /tray"});
  ValueItem(O::Other, "another program's Run value", HKEY_LOCAL_MACHINE, run,
            {L"Acme Agent", REG_SZ, L"cmd /c start \"\" \"" + acme + L"\""});
  ValueItem(O::Product, "user Run value", HKEY_CURRENT_USER, run, {L"QRV Tray", REG_SZ, qrv});
  Key(O::Product, "App Paths entry", HKEY_LOCAL_MACHINE, std::wstring(kCurrentVersion) + L"App Paths\\QRV.exe", {{L"", REG_SZ, qrv}});
  const std::wstring eventLog = services + L"EventLog\\Application\\";
  Key(O::Product, "event source", HKEY_LOCAL_MACHINE, eventLog + L"QRV", {{L"EventMessageFile", REG_SZ, qrv}});
  Key(O::Other, "another program's event source", HKEY_LOCAL_MACHINE, eventLog + L"Acme", {{L"EventMessageFile", REG_SZ, acme}});
  const std::wstring winevt = std::wstring(kCurrentVersion) + L"WINEVT\\";
  Key(O::Product, "event log channel", HKEY_LOCAL_MACHINE, winevt + L"Channels\\Velmora-QRV/Operational", {{L"OwningPublisher", REG_SZ, kPublisher}});
  Key(O::Windows, "Windows' event log channel", HKEY_LOCAL_MACHINE, winevt + L"Channels\\Microsoft-Windows-Kernel-General/Operational", {{L"Enabled", REG_DWORD, L"1"}});
  Key(O::Product, "event publisher", HKEY_LOCAL_MACHINE, winevt + L"Publishers\\" + kPublisher,
      {{L"", REG_SZ, L"Velmora-QRV"}, {L"MessageFileName", REG_SZ, qrv}});
  const std::wstring tasks = std::wstring(kNtCurrentVersion) + L"Schedule\\TaskCache\\";
  Key(O::Unproven, "task scheduler entry", HKEY_LOCAL_MACHINE, tasks + L"Tree\\Velmora Update", {{L"Id", REG_SZ, kTask}});
  Key(O::Unproven, "task scheduler definition", HKEY_LOCAL_MACHINE, tasks + L"Tasks\\" + kTask, {{L"Path", REG_SZ, L"\\Velmora Update"}});
  Key(O::Other, "another program's task scheduler entry", HKEY_LOCAL_MACHINE, tasks + L"Tree\\Acme Update", {{L"Id", REG_SZ, kOtherProduct}});
  const std::wstring firewall = services + L"SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules";
  ValueItem(O::Product, "firewall rule", HKEY_LOCAL_MACHINE, firewall,
            {L"{QRV-In-TCP}", REG_SZ, L"v2.30|Action=Allow|Active=TRUE|Dir=In|App=" + qrv + L"|Name=QRV|"});
  ValueItem(O::Other, "another program's firewall rule", HKEY_LOCAL_MACHINE, firewall,
            {L"{Acme-In-TCP}", REG_SZ, L"v2.30|Action=Allow|Active=TRUE|Dir=In|App=" + acme + L"|Name=Acme|"});
  const std::wstring notify = std::wstring(kNtCurrentVersion) + L"Winlogon\\Notify\\";
  Key(O::Product, "logon notification", HKEY_LOCAL_MACHINE, notify + L"ZdnNotify", {{L"DllName", REG_SZ, programFolder_ + L"\\ZdnNotify.dll"}});
  Key(O::Other, "another program's logon notification", HKEY_LOCAL_MACHINE, notify + L"AcmeNotify", {{L"DllName", REG_SZ, acme}});
  const std::wstring feature = L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
  ValueItem(O::Product, "browser feature value", HKEY_LOCAL_MACHINE, feature, {L"QRV.exe", REG_DWORD, L"11001"});
  ValueItem(O::Other, "another program's browser feature value", HKEY_LOCAL_MACHINE, feature, {L"acme.exe", REG_DWORD, L"11001"});
  const std::wstring layers = std::wstring(kNtCurrentVersion) + L"AppCompatFlags\\Layers";
  ValueItem(O::Product, "compatibility layer", HKEY_LOCAL_MACHINE, layers, {qrv, REG_SZ, L"RUNASADMIN"});
  ValueItem(O::Other, "another program's compatibility layer", HKEY_LOCAL_MACHINE, layers, {acme, REG_SZ, L"RUNASADMIN"});
  const std::wstring cpls = std::wstring(kCurrentVersion) + L"Control Panel\\Cpls";
  ValueItem(O::Product, "Control Panel item", HKEY_LOCAL_MACHINE, cpls, {L"QrvCpl", REG_SZ, programFolder_ + L"\\QrvCpl.dll"});
  ValueItem(O::Other, "another program's Control Panel item", HKEY_LOCAL_MACHINE, cpls, {L"AcmeCpl", REG_SZ, acme});
  Key(O::Unproven, "policies", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Velmora\\QRV", {{L"DisableTray", REG_DWORD, L"0"}});
  ExistingKey(O::Windows, "Windows' policies", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows Defender");
  ExistingKey(O::Windows, "Windows' mail clients", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\Mail");
  ExistingKey(O::Other, "a user's mapped drive", HKEY_CURRENT_USER, L"Network\\Z");
  Key(O::Product, "machine settings", HKEY_LOCAL_MACHINE, L"SOFTWARE\\VelmoraLab\\QRV", {{L"Version", REG_SZ, L"7.2"}});
  Key(O::Product, "user settings", HKEY_CURRENT_USER, L"Software\\VelmoraLab\\QRV", {{L"Language", REG_SZ, L"ru"}});
  Key(O::Other, "a partner's settings", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velmora Partner", {{L"Keep", REG_SZ, L"yes"}});
  items_.back().named = false;  // beside the product's key, never named by it
}

Footprint::~Footprint() {
  for (auto item = items_.rbegin(); item != items_.rend(); ++item) {
    if (!item->seeded) continue;
    if (item->root && item->section == 1) {
      UniqueHKey key;
      if (RegOpenKeyExW(item->root, item->key.c_str(), 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS) {
        RegDeleteValueW(key.Get(), item->value.c_str());
      }
    }
    if (item->root && !item->createdTop.empty()) RegDeleteTreeW(item->root, item->createdTop.c_str());
    if (item->root && item->section == 0 && KeyExists(item->root, item->key)) RegDeleteTreeW(item->root, item->key.c_str());
    if (!item->root && item->section == 3) {
      SetFileAttributesW(item->path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(item->path.c_str());
    }
    if (!item->root && item->section == 2) RemoveTreeForTest(AnsiFromWide(item->path));
  }
  for (const Saved& saved : saved_) {
    UniqueHKey key;
    if (RegOpenKeyExW(saved.root, saved.key.c_str(), 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) continue;
    if (saved.existed) {
      RegSetValueExW(key.Get(), saved.name.c_str(), 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
    } else {
      RegDeleteValueW(key.Get(), saved.name.c_str());
    }
  }
  for (const std::wstring& key : createdKeys_) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  for (auto made = createdFolders_.rbegin(); made != createdFolders_.rend(); ++made) {
    RemoveTreeForTest(AnsiFromWide(made->first));
  }
}

std::vector<std::string> Footprint::RuleLines() const {
  static constexpr std::array<const char*, 4> kSections = {"Registry_Delete", "Registry_Delete_Val", "Delete_Folder",
                                                          "Delete_File"};
  const std::string system = AnsiFromWide(system_), windows = AnsiFromWide(windows_);
  std::vector<std::string> lines = {"A modern anti-virus product's footprint, captured beside Windows and another program."};
  for (int section = 0; section < 4; ++section) {
    lines.push_back(std::string("[") + kSections[static_cast<std::size_t>(section)] + "]");
    // Where a place needs the product's evidence, its line comes before the class or service
    // that gives it: a careful author removes what names a registration before the registration.
    std::vector<const Item*> ordered;
    for (const Item& item : items_) ordered.push_back(&item);
    std::stable_sort(ordered.begin(), ordered.end(), [](const Item* a, const Item* b) {
      const auto late = [](const Item* item) {
        return item->key.starts_with(L"SOFTWARE\\Classes\\CLSID\\") ||
               (item->key.starts_with(kServices) && !item->key.starts_with(std::wstring(kServices) + L"EventLog"));
      };
      return !late(a) && late(b);
    });
    for (const Item* listed : ordered) {
      const Item& item = *listed;
      if (item.section != section || !item.named) continue;
      std::string entry = item.entry;
      if (StartsWithCaseless(entry, system + "\\")) {
        entry = "%winsys%" + entry.substr(system.size());
      } else if (StartsWithCaseless(entry, windows + "\\")) {
        entry = "%WinDir%" + entry.substr(windows.size());
      }
      lines.push_back(entry);
    }
    lines.push_back(std::string("[") + kSections[static_cast<std::size_t>(section)] + "_End]");
  }
  return lines;
}

FootprintDump Footprint::Dump() const {
  FootprintDump dump;
  // The cleaner registers its own event source when it runs: not the product's, not the others'.
  const std::wstring ownSource = L"HKLM\\SYSTEM\\CURRENTCONTROLSET\\SERVICES\\EVENTLOG\\APPLICATION\\VELMORA CLEANER";
  for (const Item& item : items_) {
    if (item.root && item.section == 0) {
      DumpKey(item.root, item.key, true, dump);
      DumpKey(item.root, ParentOf(item.key), false, dump);
    } else if (item.root) {
      DumpKey(item.root, item.key, false, dump);
    } else if (item.section == 2) {
      DumpFolder(item.path, true, dump);
      DumpFolder(ParentOf(item.path), false, dump);
    } else {
      DumpFile(item.path, dump);
      DumpFolder(ParentOf(item.path), false, dump);
    }
  }
  DumpKey(HKEY_LOCAL_MACHINE, filterClass_, false, dump);
  std::erase_if(dump, [&](const auto& entry) { return Below(entry.first.substr(2), ownSource); });
  return dump;
}

FootprintDump Footprint::Expected(const FootprintDump& before) const {
  FootprintDump expected = before;
  for (const Item& item : items_) {
    if (item.owner != Owner::Product) continue;
    std::vector<std::wstring> prefixes;
    if (item.root && item.section == 0) {
      const std::wstring key = Upper(ShortRoot(item.root) + item.key);
      prefixes = {L"K:" + key, L"V:" + key};
    } else if (item.root) {
      prefixes = {L"V:" + Upper(ShortRoot(item.root) + item.key) + L"|" + Upper(item.value)};
    } else {
      prefixes = {L"D:" + Upper(item.path), L"F:" + Upper(item.path)};
    }
    std::erase_if(expected, [&](const auto& entry) {
      return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::wstring& p) { return Below(entry.first, p); });
    });
  }
  expected[L"V:" + Upper(ShortRoot(HKEY_LOCAL_MACHINE) + filterClass_) + L"|UPPERFILTERS"] =
      ValueText(REG_MULTI_SZ, ValueBytes(REG_MULTI_SZ, std::wstring(L"partmgr\0AcmeFlt", 15)));
  return expected;
}

std::size_t Footprint::Count(Owner owner) const {
  return static_cast<std::size_t>(std::count_if(items_.begin(), items_.end(), [owner](const Item& item) {
    return item.owner == owner && item.section >= 0;
  }));
}

std::vector<std::string> Footprint::Misplaced(const FootprintDump& expected, const FootprintDump& after) const {
  std::vector<std::string> out;
  const auto describe = [this](const std::wstring& entry) {
    for (const Item& item : items_) {
      const std::wstring path = item.root ? Upper(ShortRoot(item.root) + item.key) : Upper(item.path);
      if (Below(entry.substr(2), path) || (item.root && item.section == 1 && entry.substr(2).starts_with(path + L"|"))) {
        return item.what + ": ";
      }
    }
    return std::string("beside the items: ");
  };
  for (const auto& [entry, facts] : expected) {
    const auto found = after.find(entry);
    if (found == after.end()) {
      out.push_back(describe(entry) + "gone: " + Utf8FromWide(entry));
    } else if (found->second != facts) {
      out.push_back(describe(entry) + "changed: " + Utf8FromWide(entry));
    }
  }
  for (const auto& [entry, facts] : after) {
    if (!expected.count(entry)) out.push_back(describe(entry) + "still there: " + Utf8FromWide(entry));
  }
  return out;
}
