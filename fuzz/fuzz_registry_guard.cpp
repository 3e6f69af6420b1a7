// The registry guard over key paths of any bytes: every spelling of one key gets one verdict
// (letter case, backslashes, WOW6432Node, numbered control sets, HKEY_CLASSES_ROOT or
// SOFTWARE\Classes), nothing inside a protected tree may go, and a key above a guarded one is
// guarded too; in Windows' own namespaces only the places where products register allow a
// change, and there what the lists let go still needs the product's evidence: the item asked
// is the key itself or one above it, its name alone counts only for the key the line names,
// and a product's name inside another name is no evidence. The first byte picks the root and a place of that table; a 0x01 byte splits the
// rest into key and subkey.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/guards/evidence_text.h"
#include "engine/guards/registrations.h"
#include "engine/guards/registry_safety.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr RegistryRoot kRoots[] = {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine, RegistryRoot::ClassesRoot};

// Lower case and doubled, leading and trailing backslashes.
std::string Respelled(const std::string& path) {
  std::string out = "\\\\";
  for (const char c : path) {
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c;
    if (c == '\\') out += '\\';
  }
  return out + "\\";
}

bool SameGuard(RegistryRoot a, const std::string& pathA, RegistryRoot b, const std::string& pathB) {
  return JudgeKeyDeletion(a, pathA) == JudgeKeyDeletion(b, pathB) && ProtectsValuesOf(a, pathA) == ProtectsValuesOf(b, pathB);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const RegistryRoot root = kRoots[data[0] % 3];
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto split = input.find('\x01');
  const std::string path = input.substr(0, split);
  const std::string child = split == std::string::npos ? "x" : input.substr(split + 1);

  FUZZ_REQUIRE(SameGuard(root, path, root, Respelled(path)));
  FUZZ_REQUIRE(SameGuard(RegistryRoot::ClassesRoot, path, RegistryRoot::LocalMachine, "SOFTWARE\\Classes\\" + path));
  FUZZ_REQUIRE(SameGuard(RegistryRoot::ClassesRoot, path, RegistryRoot::CurrentUser, "Software\\Classes\\" + path));
  FUZZ_REQUIRE(SameGuard(root, "SOFTWARE\\" + path, root, "SOFTWARE\\WOW6432Node\\" + path));
  FUZZ_REQUIRE(SameGuard(RegistryRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\" + path, RegistryRoot::LocalMachine,
                         "SYSTEM\\ControlSet001\\" + path));

  const std::string below = path + "\\" + child;
  const KeyVerdict verdict = JudgeKeyDeletion(root, path);
  // A child name beyond the registry's limit is refused as such, wherever it stands.
  const KeyVerdict belowVerdict = JudgeKeyDeletion(root, below);
  FUZZ_REQUIRE((belowVerdict == KeyVerdict::OverlongName) == HasOverlongKeyName(below));
  if (verdict == KeyVerdict::ProtectedTree) {
    FUZZ_REQUIRE(ProtectsValuesOf(root, path));
    FUZZ_REQUIRE((belowVerdict == KeyVerdict::ProtectedTree || belowVerdict == KeyVerdict::OverlongName) &&
                 ProtectsValuesOf(root, below));
  }
  // A key above a guarded one is guarded; a child no key can be (its name is too long) guards nothing.
  if (belowVerdict != KeyVerdict::Deletable && belowVerdict != KeyVerdict::OverlongName) {
    FUZZ_REQUIRE(verdict != KeyVerdict::Deletable);
  }
  if (NamesNoKey(path)) FUZZ_REQUIRE(verdict != KeyVerdict::Deletable);

  // Windows' namespaces are deny-by-default: what lies below a structural key is structural
  // or guarded too, and a key a product registered there keeps values a product may change.
  if (verdict == KeyVerdict::StructuralKey) {
    FUZZ_REQUIRE(JudgeKeyDeletion(root, below) != KeyVerdict::Deletable);
    FUZZ_REQUIRE(JudgeValueChange(root, path) != ValueVerdict::Changeable);
  }
  // A name beyond the registry's limit is a mistake of the line, refused wherever it stands.
  FUZZ_REQUIRE((verdict == KeyVerdict::OverlongName) == HasOverlongKeyName(path));
  FUZZ_REQUIRE((JudgeValueChange(root, path) == ValueVerdict::OverlongName) == HasOverlongKeyName(path));
  if (verdict == KeyVerdict::Deletable) {
    const ValueVerdict values = JudgeValueChange(root, below);
    FUZZ_REQUIRE(values == ValueVerdict::Changeable || (values == ValueVerdict::OverlongName && HasOverlongKeyName(child)));
  }
  // In Windows' namespaces nothing goes on the lists alone: the registration asked for evidence
  // is the key or one above it (a prefix of the line), named exactly only when it is the key.
  const EvidenceItem item = EvidenceItemOfKey(root, path);
  if (verdict == KeyVerdict::Deletable && InWindowsRegistryNamespace(root, path)) {
    FUZZ_REQUIRE(item.kind == EvidenceItemKind::Key);
  }
  if (!InWindowsRegistryNamespace(root, path)) FUZZ_REQUIRE(item.kind == EvidenceItemKind::None);
  if (item.kind != EvidenceItemKind::None) {
    FUZZ_REQUIRE(path.starts_with(item.keyPath) && !NamesNoKey(item.keyPath));
    const std::string_view rest = std::string_view(path).substr(item.keyPath.size());
    FUZZ_REQUIRE(rest.empty() || rest.front() == '\\');
    FUZZ_REQUIRE(item.namedExactly == NamesNoKey(rest));
  }
  FUZZ_REQUIRE(EvidenceItemOfKey(root, Respelled(path)).kind == item.kind);
  const EvidenceItem valueItem = EvidenceItemOfValue(root, path);
  if (JudgeValueChange(root, path) == ValueVerdict::Changeable && InWindowsRegistryNamespace(root, path)) {
    FUZZ_REQUIRE(valueItem.kind != EvidenceItemKind::None);
  }
  // A name is the product's only when made of its names: with another word it is another's.
  std::wstring name;
  for (const char c : child) name += static_cast<wchar_t>(static_cast<unsigned char>(c));
  if (IsMadeOfProductNames(name)) {
    FUZZ_REQUIRE(!IsMadeOfProductNames(name + L" Partner") && !IsMadeOfProductNames(L"Shared " + name));
    FUZZ_REQUIRE(name.find_first_of(L"\\/{}") == std::wstring::npos);
  }

  // A product's key in a product place, under each spelling of that place.
  const ProductPlace& place = ProductRegistryPlaces()[data[0] % ProductRegistryPlaces().size()];
  if (place.keys && place.key.find('<') == std::string_view::npos && place.key != "HKCR") {
    const std::string placePath(place.key.substr(place.key.find('\\') + 1));
    const RegistryRoot placeRoot = place.key.starts_with("HKCR") ? RegistryRoot::ClassesRoot
                                   : place.key.starts_with("HKCU") ? RegistryRoot::CurrentUser
                                                                    : RegistryRoot::LocalMachine;
    FUZZ_REQUIRE(JudgeKeyDeletion(placeRoot, Respelled(placePath)) != KeyVerdict::Deletable);
    if (!NamesNoKey(child) && child.size() < 200 && child.find('\\') == std::string::npos) {
      FUZZ_REQUIRE(SameGuard(placeRoot, placePath + "\\" + child, placeRoot, Respelled(placePath) + child));
    }
  }
  return 0;
}
