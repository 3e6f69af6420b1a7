#pragma once
// How a rule names a captured key, folder or file so that it holds on other machines too:
// folders through the placeholders the cleaner fills in, the 32-bit registry view and the
// other users' hives through the names the cleaner carries out in every view and profile.
#include <optional>
#include <string>
#include <string_view>

#include "tools/snapshot/snapshot_reader.h"

struct RulePath {
  std::string text;    // the path as a rule writes it; empty when no rule can name it
  std::string reason;  // why not, with the advice, when text is empty
};

// A folder or file path of the snapshot's machine, as a rule writes it: below the System or
// Windows folder with %winsys% or %WinDir%; the product's folders the cleaner finds by name
// directly in Program Files or Common Files with %Program% or %Shared%; the rest of Program
// Files with %PF%; a user's folder not at all.
RulePath RulePathFor(std::string_view path, const SnapshotFolders& folders);

// A key of the snapshot as a rule names it: other users' keys (HKEY_USERS\<SID>\...) as
// HKEY_CURRENT_USER, which the cleaner carries out for every profile with /ALLUSERS; the
// 32-bit view's WOW6432Node dropped, since the cleaner carries out every entry in both views.
std::string RuleKeyFor(std::string_view key);

// True for a key at or above a level where Windows keeps the registration of every installed
// product (Windows Installer's Products, Features, Components and UpgradeCodes, the Uninstall
// list): new on the capturing machine when it is the first product installed, shared by all
// on others. A capture writes what lies below such a key, the product's own keys.
bool HoldsEveryProductsRegistration(std::string_view key);
