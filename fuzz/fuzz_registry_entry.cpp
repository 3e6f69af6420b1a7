// Registry rule entries of any bytes: the parts always come from the line in order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/rules/registry_entry.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const auto slash = line.find('\\');
  const std::string rootName = slash == std::string::npos ? std::string() : line.substr(0, slash);

  const DeleteKeyEntry key = ParseDeleteKeyEntry(line);
  Require(EndsWith(line, key.keyPath), "key path ends the line");
  Require(slash != std::string::npos ? key.keyPath.size() == line.size() - slash - 1 : key.keyPath == line,
          "key path follows the first backslash");

  const DeleteValueEntry value = ParseDeleteValueEntry(line);
  Require(EndsWith(line, value.valueName), "value name ends the line");
  Require(line.find('=') != std::string::npos || (value.keyPath.empty() && value.valueName == line),
          "without = the value name is the line");

  if (const auto rename = ParseRenameValueEntry(line)) {
    Require(rename->newName.find('\\') == std::string::npos && rename->newName.find('=') == std::string::npos,
            "new name holds no backslash or =");
    // An empty key path stands between one backslash or two.
    const std::string tail = rename->newName + "=" + rename->oldName;
    const bool rebuilt = rename->keyPath.empty()
                             ? line == rootName + "\\" + tail || line == rootName + "\\\\" + tail
                             : line == rootName + "\\" + rename->keyPath + "\\" + tail;
    Require(rebuilt, "rename parts rebuild the line");
    Require(rename->root == RootOfEntry(line), "rename root");
  } else {
    const auto equals = line.find('=');
    Require(equals == std::string::npos || line.rfind('\\', equals) == std::string::npos,
            "a rename is refused only without = or without a backslash before it");
  }

  return 0;
}
