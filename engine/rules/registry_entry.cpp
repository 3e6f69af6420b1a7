#include "engine/rules/registry_entry.h"

#include <array>
#include <utility>

#include "platform/text/text_rules.h"

namespace {

constexpr std::array<std::pair<std::string_view, RegistryRoot>, 3> kRootNames = {{
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
}};

constexpr auto npos = std::string_view::npos;

// The text from one position up to, not including, another; empty when they are reversed.
std::string Between(std::string_view line, std::size_t from, std::size_t to) {
  return from < to ? std::string(line.substr(from, to - from)) : std::string();
}

// The first character after the first `\`; 0 when the line has none.
std::size_t AfterFirstBackslash(std::string_view line) {
  const auto slash = line.find('\\');
  return slash == npos ? 0 : slash + 1;
}

}  // namespace

std::string_view RegistryRootName(RegistryRoot root) {
  for (const auto& [name, value] : kRootNames) {
    if (value == root) return name;
  }
  return {};
}

RegistryRoot RootOfEntry(std::string_view line) {
  const auto slash = line.find('\\');
  if (slash == npos) return RegistryRoot::CurrentUser;
  const std::string name = UpperAscii(line.substr(0, slash));
  for (const auto& [rootName, root] : kRootNames) {
    if (name == rootName) return root;
  }
  return RegistryRoot::CurrentUser;
}

DeleteKeyEntry ParseDeleteKeyEntry(std::string_view line) {
  return {RootOfEntry(line), std::string(line.substr(AfterFirstBackslash(line)))};
}

DeleteValueEntry ParseDeleteValueEntry(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == npos) return {RootOfEntry(line), {}, std::string(line)};
  return {RootOfEntry(line), Between(line, AfterFirstBackslash(line), equals),
          std::string(line.substr(equals + 1))};
}

std::optional<RenameValueEntry> ParseRenameValueEntry(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == npos || equals == 0) return std::nullopt;
  const auto lastSlash = line.rfind('\\', equals - 1);
  if (lastSlash == npos) return std::nullopt;
  return RenameValueEntry{RootOfEntry(line), Between(line, AfterFirstBackslash(line), lastSlash),
                          Between(line, lastSlash + 1, equals), std::string(line.substr(equals + 1))};
}
