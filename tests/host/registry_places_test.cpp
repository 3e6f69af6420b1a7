#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run/registry_places.h"

// Class entries act in both copies Windows merges; on a 64-bit Windows every copy is
// visited in the 32-bit view first and then in the 64-bit view, named as such.
TEST(RegistryPlaces, EachEntryActsInEveryCopyOfItsKey) {
  using Names = std::vector<std::string>;
  const struct {
    RegistryRoot root;
    const char* keyPath;
    bool bothViews;
    Names names;
  } cases[] = {
      {RegistryRoot::CurrentUser, "\\Software\\QRV", false, {"HKEY_CURRENT_USER\\Software\\QRV"}},
      {RegistryRoot::LocalMachine, "SOFTWARE\\QRV", true,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV", "(64-bit view) HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV"}},
      {RegistryRoot::ClassesRoot, "\\CLSID\\{1}", true,
       {"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}", "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}",
        "(64-bit view) HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}",
        "(64-bit view) HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}"}},
      {RegistryRoot::ClassesRoot, "", false, {"HKEY_LOCAL_MACHINE\\Software\\Classes", "HKEY_CURRENT_USER\\Software\\Classes"}},
  };
  for (const auto& c : cases) {
    Names names;
    for (const RegistryPlace& place : PlacesOf(c.root, c.keyPath, c.bothViews)) names.push_back(PlaceKeyName(place));
    EXPECT_EQ(names, c.names) << c.keyPath;
  }
  // No key can have a name beyond 255 characters: nothing to act on, nothing copied.
  EXPECT_EQ(PlacesOf(RegistryRoot::CurrentUser, "Software\\" + std::string(255, 'Q'), false).size(), 1u);
  EXPECT_TRUE(PlacesOf(RegistryRoot::CurrentUser, "Software\\" + std::string(256, 'Q'), true).empty());
}
