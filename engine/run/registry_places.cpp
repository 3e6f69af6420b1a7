#include "engine/run/registry_places.h"

#include "engine/guards/registry_safety.h"
#include "platform/text/text_rules.h"
#include "platform/registry/registry_views.h"

namespace {

constexpr std::string_view kClassesKey = "Software\\Classes";
constexpr std::string_view kClassesHiveSuffix = "_Classes";
constexpr char kUsersRootName[] = "HKEY_USERS";

// A leading `\` names the root itself, so the class path is joined without it.
std::string UnderClasses(std::string_view keyPath) {
  const auto start = keyPath.find_first_not_of('\\');
  if (start == std::string_view::npos) return std::string(kClassesKey);
  return std::string(kClassesKey) + "\\" + std::string(keyPath.substr(start));
}

}  // namespace

std::vector<RegistryPlace> PlacesOf(RegistryRoot root, std::string_view keyPath, bool bothViews,
                                    const std::vector<UserHive>& otherUsers) {
  std::vector<RegistryPlace> places;
  // A name beyond the registry's limit names no key anywhere; such a path (a rule line of
  // megabytes, say) is neither copied into places nor handed on.
  if (HasOverlongKeyName(keyPath)) return places;
  if (root == RegistryRoot::ClassesRoot) {
    places.push_back({RegistryRoot::LocalMachine, UnderClasses(keyPath), false});
    places.push_back({RegistryRoot::CurrentUser, UnderClasses(keyPath), false});
  } else {
    places.push_back({root, std::string(keyPath), false});
  }
  const RegistryPlace user = places.back();
  if (user.root == RegistryRoot::CurrentUser) {
    for (const UserHive& other : otherUsers) {
      places.push_back({user.root, user.keyPath, false, other.keyName});
      // Windows keeps a user's classes in a hive of their own, which the user's
      // Software\Classes only links to while the user is signed in. The place keeps the path
      // the user's view gives it, so the guards judge it as the class it is; it is opened
      // below the hive's own root.
      if (root == RegistryRoot::ClassesRoot && !other.classesKeyName.empty()) {
        places.push_back({user.root, user.keyPath, false, other.classesKeyName});
      }
    }
  }
  if (bothViews) {
    const std::size_t ownView = places.size();
    for (std::size_t i = 0; i < ownView; ++i) {
      RegistryPlace wide = places[i];
      wide.view64 = true;
      places.push_back(std::move(wide));
    }
  }
  return places;
}

std::string AccessPath(const RegistryPlace& place) {
  if (place.hive.empty()) return place.keyPath;
  std::string_view path = place.keyPath;
  if (place.hive.ends_with(kClassesHiveSuffix) && path.size() >= kClassesKey.size() &&
      EqualsIgnoringAsciiCase(path.substr(0, kClassesKey.size()), kClassesKey) &&
      (path.size() == kClassesKey.size() || path[kClassesKey.size()] == '\\')) {
    path.remove_prefix(kClassesKey.size());
  }
  const auto start = path.find_first_not_of('\\');
  return start == std::string_view::npos ? place.hive : place.hive + "\\" + std::string(path.substr(start));
}

std::string PlaceKeyName(const RegistryPlace& place) {
  std::string name(place.view64 ? k64BitViewLabel : std::string_view());
  name += place.hive.empty() ? std::string(RegistryRootName(place.root)) : kUsersRootName;
  const std::string path = place.hive.empty() ? place.keyPath : AccessPath(place);
  const auto start = path.find_first_not_of('\\');
  if (start != std::string::npos) name += "\\" + path.substr(start);
  return name;
}
