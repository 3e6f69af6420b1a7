#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/registry_places.h"
#include "engine/registry_safety.h"

namespace {
constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto CR = RegistryRoot::ClassesRoot;

std::vector<std::string> NamesOf(RegistryRoot root, const char* keyPath, bool bothViews) {
  std::vector<std::string> names;
  for (const RegistryPlace& place : PlacesOf(root, keyPath, bothViews)) names.push_back(PlaceKeyName(place));
  return names;
}
}  // namespace

// Class entries act in both copies Windows merges; on a 64-bit Windows every copy is
// visited in the 32-bit view first and then in the 64-bit view.
TEST(RegistryPlaces, EachEntryActsInEveryCopyOfItsKey) {
  using Names = std::vector<std::string>;
  const struct {
    RegistryRoot root;
    const char* keyPath;
    bool bothViews;
    Names names;
  } cases[] = {
      {LM, "SOFTWARE\\QRV", false, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV"}},
      {CU, "\\Software\\QRV", false, {"HKEY_CURRENT_USER\\Software\\QRV"}},
      {LM, "SOFTWARE\\QRV", true,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV", "(64-bit view) HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV"}},
      {CR, ".qrv", false, {"HKEY_LOCAL_MACHINE\\Software\\Classes\\.qrv", "HKEY_CURRENT_USER\\Software\\Classes\\.qrv"}},
      {CR, "\\CLSID\\{1}", true,
       {"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}", "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}",
        "(64-bit view) HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}",
        "(64-bit view) HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}"}},
      {CR, "", false, {"HKEY_LOCAL_MACHINE\\Software\\Classes", "HKEY_CURRENT_USER\\Software\\Classes"}},
  };
  for (const auto& c : cases) EXPECT_EQ(NamesOf(c.root, c.keyPath, c.bothViews), c.names) << c.keyPath;
}

// A class key the guard refuses under HKEY_CLASSES_ROOT stays refused in each of its copies.
TEST(RegistryPlaces, SharedClassKeysStaySharedInEveryPlace) {
  for (const char* path : {"CLSID", "WOW6432Node\\Interface", "*", ""}) {
    for (const RegistryPlace& place : PlacesOf(CR, path, true)) {
      EXPECT_TRUE(IsSharedRegistryKey(place.root, place.keyPath)) << PlaceKeyName(place);
    }
  }
  for (const RegistryPlace& place : PlacesOf(CR, ".qrv", true)) {
    EXPECT_FALSE(IsSharedRegistryKey(place.root, place.keyPath)) << PlaceKeyName(place);
  }
}
