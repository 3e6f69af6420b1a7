#include "engine/registry_places.h"

#include "platform/registry_views.h"

namespace {

constexpr std::string_view kClassesKey = "Software\\Classes";

// A leading `\` names the root itself, so the class path is joined without it.
std::string UnderClasses(std::string_view keyPath) {
  const auto start = keyPath.find_first_not_of('\\');
  if (start == std::string_view::npos) return std::string(kClassesKey);
  return std::string(kClassesKey) + "\\" + std::string(keyPath.substr(start));
}

}  // namespace

std::vector<RegistryPlace> PlacesOf(RegistryRoot root, std::string_view keyPath, bool bothViews) {
  std::vector<RegistryPlace> places;
  if (root == RegistryRoot::ClassesRoot) {
    places.push_back({RegistryRoot::LocalMachine, UnderClasses(keyPath), false});
    places.push_back({RegistryRoot::CurrentUser, UnderClasses(keyPath), false});
  } else {
    places.push_back({root, std::string(keyPath), false});
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

std::string PlaceKeyName(const RegistryPlace& place) {
  std::string name(place.view64 ? k64BitViewLabel : std::string_view());
  name += RegistryRootName(place.root);
  const auto start = place.keyPath.find_first_not_of('\\');
  if (start != std::string::npos) name += "\\" + place.keyPath.substr(start);
  return name;
}
