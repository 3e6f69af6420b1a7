#include <windows.h>

#include "engine/run/registry_places_win.h"

#include "engine/cleaner_context.h"
#include "engine/rules/registry_entry_win.h"
#include "platform/registry/registry_accessor.h"
#include "platform/registry/registry_views.h"
#include "platform/text/wide_text.h"

namespace {

bool BothViews(CleanerContext& context) {
  if (!context.bothRegistryViews) {
    context.bothRegistryViews = RunsOn64BitWindows();
    if (*context.bothRegistryViews) TraceIfOn(context, kBothViewsTrace);
  }
  return *context.bothRegistryViews;
}

}  // namespace

void ForEachPlace(CleanerContext& context, RegistryRoot root, std::string_view keyPath,
                  const std::function<void(const RegistryPlace&, RegistryAccessor&)>& action) {
  for (const RegistryPlace& place : PlacesOf(root, keyPath, BothViews(context), context.userHives)) {
    RegistryAccessor accessor(context.effects);
    accessor.SelectRoot(place.hive.empty() ? RootKeyOf(place.root) : HKEY_USERS, place.view64 ? KEY_WOW64_64KEY : 0);
    if (place.view64 && !accessor.HasOwn64BitKey(WideFromAnsi(AccessPath(place)))) continue;
    action(place, accessor);
  }
}
