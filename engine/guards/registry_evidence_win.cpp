#include <windows.h>

#include "engine/guards/registry_evidence_win.h"

#include <cwchar>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/evidence_text.h"
#include "engine/guards/registrations_win.h"
#include "engine/guards/registry_safety.h"
#include "platform/files/files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

// The items the run found to be the product's, in upper case; and the Windows Installer
// products (packed codes) with a component among the product's files, read when first asked.
struct ProductItems {
  std::vector<std::wstring> names;
  std::optional<std::vector<std::wstring>> installerProducts;
};

namespace {

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Trimmed(const std::wstring& text) {
  std::size_t start = 0, end = text.size();
  while (start < end && IsBlank(text[start])) ++start;
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

UniqueHKey OpenMachineKey(const std::wstring& path, bool native) {
  HKEY opened = nullptr;
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | (native ? KEY_WOW64_64KEY : 0), &opened) ==
      ERROR_SUCCESS) {
    key.Reset(opened);
  }
  return key;
}

// A string value, or each string of a multi-string; nothing for other types.
std::vector<std::wstring> StringsOf(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) || size < sizeof(wchar_t)) {
    return {};
  }
  constexpr DWORD kLongestRead = 64 * 1024;
  if (size > kLongestRead) return {};
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) return {};
  std::vector<std::wstring> strings;
  for (std::size_t start = 0; start < data.size();) {
    const std::size_t end = data.find(L'\0', start);
    if (end == start) break;
    strings.push_back(data.substr(start, end - start));
    if (type != REG_MULTI_SZ) break;
    start = end + 1;
  }
  return strings;
}

std::wstring FirstString(HKEY key, const wchar_t* name) {
  auto strings = StringsOf(key, name);
  return strings.empty() ? std::wstring() : strings.front();
}

bool Remembered(CleanerContext& context, const std::wstring& text) {
  if (!context.productItems) return false;
  const std::wstring upper = Upper(text);
  for (const std::wstring& name : context.productItems->names) {
    if (name == upper) return true;
  }
  return false;
}

bool ServiceIsProducts(CleanerContext& context, const std::wstring& name) {
  if (name.empty() || name.size() > 255 || name.find(L'\\') != std::wstring::npos) return false;
  return HasProductEvidence(context, Evidence::ProductService, nullptr, name, true);
}

// An AppID whose service (LocalService) is the product's.
bool AppIdIsProducts(CleanerContext& context, const std::wstring& guid, bool native) {
  const UniqueHKey key = OpenMachineKey(L"SOFTWARE\\Classes\\AppID\\" + guid, native);
  return key && ServiceIsProducts(context, FirstString(key.Get(), L"LocalService"));
}

// A class whose server is the product's file; one without a server entry by its AppID.
bool ClassIsProducts(CleanerContext& context, const std::wstring& guid, bool native) {
  if (HasProductEvidence(context, Evidence::ProductClass, nullptr, guid, native)) return true;
  const UniqueHKey key = OpenMachineKey(L"SOFTWARE\\Classes\\CLSID\\" + guid, native);
  if (!key) return false;
  const std::wstring appId = FirstString(key.Get(), L"AppID");
  return IsGuidText(appId) && AppIdIsProducts(context, appId, native);
}

// An event publisher whose message or resource file is the product's.
bool PublisherIsProducts(CleanerContext& context, const std::wstring& guid, bool native) {
  const UniqueHKey key =
      OpenMachineKey(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers\\" + guid, native);
  if (!key) return false;
  for (const wchar_t* value : {L"MessageFileName", L"ResourceFileName", L"ParameterFileName"}) {
    if (PathNamesProductFile(context, FirstString(key.Get(), value), native)) return true;
  }
  return false;
}

bool IsPackedCode(const std::wstring& text) {
  if (text.size() != 32) return false;
  for (const wchar_t c : text) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

ProductItems& Items(CleanerContext& context) {
  if (!context.productItems) context.productItems = std::make_shared<ProductItems>();
  return *context.productItems;
}

// The Windows Installer products one of whose components is a file or folder of the product:
// each component's key names, for each product that installed it, the path it put there.
const std::vector<std::wstring>& InstallerProductsOfProductFiles(CleanerContext& context) {
  ProductItems& items = Items(context);
  if (items.installerProducts) return *items.installerProducts;
  items.installerProducts.emplace();
  constexpr wchar_t kUserData[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
  const UniqueHKey userData = OpenMachineKey(kUserData, true);
  if (!userData) return *items.installerProducts;
  wchar_t sid[256] = {};
  for (DWORD s = 0;; ++s) {
    DWORD size = 256;
    if (RegEnumKeyExW(userData.Get(), s, sid, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const UniqueHKey components = OpenMachineKey(std::wstring(kUserData) + L"\\" + sid + L"\\Components", true);
    if (!components) continue;
    wchar_t component[256] = {};
    for (DWORD c = 0;; ++c) {
      DWORD componentSize = 256;
      if (RegEnumKeyExW(components.Get(), c, component, &componentSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      HKEY opened = nullptr;
      if (RegOpenKeyExW(components.Get(), component, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
      const UniqueHKey key(opened);
      wchar_t product[256] = {};
      for (DWORD v = 0;; ++v) {
        DWORD productSize = 256;
        if (RegEnumValueW(key.Get(), v, product, &productSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring path = FirstString(key.Get(), product);
        // A registry component's path ("01:\\...") names a key, not a file.
        if (path.size() > 2 && path[1] == L':' && PathNamesProductFile(context, path, true)) {
          items.installerProducts->push_back(Upper(product));
        }
      }
    }
  }
  return *items.installerProducts;
}

// A Windows Installer product (its packed code) installed in the product's folder, or one of
// whose components is the product's file.
bool InstallerProductIsProducts(CleanerContext& context, const std::wstring& packed) {
  const std::wstring upper = Upper(packed);
  for (const std::wstring& product : InstallerProductsOfProductFiles(context)) {
    if (product == upper) return true;
  }
  const UniqueHKey key = OpenMachineKey(
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\" + packed +
          L"\\InstallProperties",
      true);
  if (!key) return false;
  for (const wchar_t* value : {L"InstallLocation", L"DisplayIcon"}) {
    if (PathNamesProductFile(context, FirstString(key.Get(), value), true)) return true;
  }
  return false;
}

// A ProgID (a file type's default names one) whose class or open command is the product's.
bool ProgIdIsProducts(CleanerContext& context, const std::wstring& progId, bool native) {
  if (progId.size() > 255 || progId.find(L'\\') != std::wstring::npos) return false;
  const UniqueHKey key = OpenMachineKey(L"SOFTWARE\\Classes\\" + progId, native);
  if (!key) return false;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(key.Get(), L"CLSID", 0, KEY_READ, &opened) == ERROR_SUCCESS) {
    const UniqueHKey classKey(opened);
    const std::wstring guid = FirstString(classKey.Get(), L"");
    if (IsGuidText(guid) && ClassIsProducts(context, guid, native)) return true;
  }
  if (RegOpenKeyExW(key.Get(), L"shell\\open\\command", 0, KEY_READ, &opened) == ERROR_SUCCESS) {
    const UniqueHKey command(opened);
    if (CommandNamesProductFile(context, FirstString(command.Get(), L""), native)) return true;
  }
  return false;
}

bool HasFileExtension(const std::wstring& name) {
  const auto dot = name.find_last_of(L'.');
  return dot != std::wstring::npos && dot > 0 && dot + 1 < name.size() && name.size() - dot <= 4;
}

// A task's definition as the task scheduler keeps it (UTF-16 with a byte-order mark, or UTF-8),
// in the real System folder; empty when it cannot be read.
std::wstring TaskDefinition(const std::wstring& taskPath) {
  constexpr DWORD kLargestRead = 256 * 1024;
  for (const wchar_t* folder : {L"%SystemRoot%\\Sysnative\\Tasks", L"%SystemRoot%\\System32\\Tasks"}) {
    UniqueFile file(CreateFileW(ExpandedEnvironmentText(folder + taskPath).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) continue;
    std::string bytes(kLargestRead, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes.data(), kLargestRead, &read, nullptr)) continue;
    bytes.resize(read);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
      std::wstring text((bytes.size() - 2) / 2, L'\0');
      for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                       (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
      }
      return text;
    }
    return WideFromUtf8(bytes.starts_with("\xEF\xBB\xBF") ? std::string_view(bytes).substr(3) : std::string_view(bytes));
  }
  return {};
}

// The texts of every element of that name in a task's definition, with XML's own escapes read.
std::vector<std::wstring> ElementTexts(const std::wstring& xml, const std::wstring& element) {
  std::vector<std::wstring> texts;
  const std::wstring open = L"<" + element + L">", close = L"</" + element + L">";
  for (std::size_t at = xml.find(open); at != std::wstring::npos && texts.size() < 16; at = xml.find(open, at + 1)) {
    const std::size_t start = at + open.size(), end = xml.find(close, start);
    if (end == std::wstring::npos) break;
    std::wstring text = xml.substr(start, end - start);
    for (const auto& [escaped, plain] : {std::pair{L"&quot;", L"\""}, std::pair{L"&apos;", L"'"}, std::pair{L"&lt;", L"<"},
                                         std::pair{L"&gt;", L">"}, std::pair{L"&amp;", L"&"}}) {
      for (std::size_t found = text.find(escaped); found != std::wstring::npos; found = text.find(escaped, found + 1)) {
        text.replace(found, std::wcslen(escaped), plain);
      }
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

// A scheduled task (its identifier in the task scheduler's cache) whose action starts the
// product's program or its class, as its definition in the System folder's Tasks says.
bool TaskIsProducts(CleanerContext& context, const std::wstring& guid) {
  const UniqueHKey key =
      OpenMachineKey(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\" + guid, true);
  if (!key) return false;
  const std::wstring path = FirstString(key.Get(), L"Path");
  if (path.size() < 2 || path.front() != L'\\' || path.find(L"..") != std::wstring::npos) return false;
  const std::wstring definition = TaskDefinition(path);
  for (const std::wstring& command : ElementTexts(definition, L"Command")) {
    if (CommandNamesProductFile(context, command, true)) return true;
  }
  for (const std::wstring& classId : ElementTexts(definition, L"ClassId")) {
    if (IsGuidText(classId) && ClassIsProducts(context, classId, true)) return true;
  }
  return false;
}

// What an identifier names: a class, an AppID, an event publisher or a scheduled task.
bool GuidIsProducts(CleanerContext& context, const std::wstring& guid, bool native) {
  return ClassIsProducts(context, guid, native) || AppIdIsProducts(context, guid, native) ||
         PublisherIsProducts(context, guid, native) || TaskIsProducts(context, guid) ||
         InstallerProductIsProducts(context, PackedCodeOf(guid));
}

}  // namespace

bool TextNamesProduct(CleanerContext& context, const std::wstring& text, bool native) {
  const std::wstring trimmed = Trimmed(text);
  if (trimmed.empty() || trimmed.size() > 32767) return false;
  if (Remembered(context, trimmed)) return true;
  if (IsGuidText(trimmed)) return GuidIsProducts(context, trimmed, native);
  if (IsPackedCode(trimmed)) return InstallerProductIsProducts(context, trimmed);
  if (const std::wstring_view program = FirewallRuleProgram(trimmed); !program.empty()) {
    return PathNamesProductFile(context, std::wstring(program), true);
  }
  if (trimmed.find_first_of(L"\\/:") != std::wstring::npos) return PathNamesProductFile(context, trimmed, native);
  if (ServiceIsProducts(context, trimmed) || ProgIdIsProducts(context, trimmed, native)) return true;
  return HasFileExtension(trimmed) && HasProductEvidence(context, Evidence::ProductProgram, nullptr, trimmed, native);
}

namespace {

// A value's name is evidence where it is an identifier, a packed code or a path; a plain word
// ("ImagePath", "Start") names a setting, not the product.
bool NameIsIdentifier(const std::wstring& name) {
  return IsGuidText(name) || IsPackedCode(name) || name.find_first_of(L"\\/:") != std::wstring::npos;
}

// The names and data of the key's values, and of its subkeys' down to a few levels.
class KeyWalk {
 public:
  KeyWalk(CleanerContext& context, RegistryRoot root, bool native) : context_(context), root_(root), native_(native) {}

  bool NamesProduct(HKEY key, const std::string& path, int depth) {
    for (DWORD index = 0; values_ < kMostValues; ++index, ++values_) {
      // A value's name may be as long as 16,383 characters.
      valueName_.assign(16384, L'\0');
      DWORD nameSize = 16384;
      if (RegEnumValueW(key, index, valueName_.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      valueName_.resize(nameSize);
      const std::wstring name = valueName_;
      if (NameIsIdentifier(name) && TextNamesProduct(context_, name, native_)) return true;
      for (const std::wstring& data : StringsOf(key, name.c_str())) {
        if (TextNamesProduct(context_, data, native_)) return true;
      }
    }
    if (depth == kDeepest) return false;
    for (DWORD index = 0; keys_ < kMostKeys; ++index, ++keys_) {
      wchar_t name[256] = {};
      DWORD nameSize = 256;
      if (RegEnumKeyExW(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      const std::string subPath = path + "\\" + AnsiFromWide(name);
      if (IsProductKeyPlace(root_, subPath)) continue;
      if (NameIsIdentifier(name) && TextNamesProduct(context_, name, native_)) return true;
      HKEY opened = nullptr;
      if (RegOpenKeyExW(key, name, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
      const UniqueHKey sub(opened);
      if (NamesProduct(sub.Get(), subPath, depth + 1)) return true;
    }
    return false;
  }

 private:
  // A type library's file lies three levels down (version, language, platform).
  static constexpr int kDeepest = 3;
  static constexpr int kMostValues = 256;
  static constexpr int kMostKeys = 64;
  CleanerContext& context_;
  RegistryRoot root_;
  bool native_;
  int values_ = 0;
  int keys_ = 0;
  std::wstring valueName_;
};

}  // namespace

ProductEvidence KeyEvidence(CleanerContext& context, HKEY key, RegistryRoot root, const std::string& keyPath,
                            bool namedExactly, bool native) {
  const std::string trimmed = keyPath.substr(0, keyPath.find_last_not_of('\\') + 1);
  const std::wstring name = WideFromAnsi(trimmed.substr(trimmed.find_last_of('\\') + 1));
  if (TextNamesProduct(context, name, native)) return ProductEvidence::ByMachine;
  if (KeyWalk(context, root, native).NamesProduct(key, trimmed, 0)) return ProductEvidence::ByMachine;
  return namedExactly && IsMadeOfProductNames(name) ? ProductEvidence::ByName : ProductEvidence::None;
}

ProductEvidence ValueEvidence(CleanerContext& context, HKEY key, const std::wstring& name, bool native) {
  if (TextNamesProduct(context, name, native)) return ProductEvidence::ByMachine;
  for (const std::wstring& data : StringsOf(key, name.c_str())) {
    if (TextNamesProduct(context, data, native)) return ProductEvidence::ByMachine;
  }
  return IsMadeOfProductNames(name) ? ProductEvidence::ByName : ProductEvidence::None;
}

void RememberProductItem(CleanerContext& context, const std::wstring& name) {
  if (name.empty()) return;
  if (!Remembered(context, name)) Items(context).names.push_back(Upper(name));
}
