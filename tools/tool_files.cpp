#include "tools/tool_files.h"

#include <array>
#include <cstdio>

#include "platform/errors.h"
#include "platform/files/std_file_source.h"

namespace {
constexpr int kCannotReplace = 5;  // as Windows reports a target it may not replace
}

std::string ReadWholeFile(const std::string& path) {
  StdFileSource source(path);
  std::string bytes;
  std::array<char, 64 * 1024> buffer{};
  while (const std::size_t got = source.Fetch(buffer.data(), buffer.size())) bytes.append(buffer.data(), got);
  return bytes;
}

void ReplaceFile(const std::string& path, std::string_view bytes) {
  const std::string fresh = path + ".new";
  try {
    StdFileSink sink(fresh);
    sink.Store(bytes.data(), bytes.size());
    sink.Close();
  } catch (const EInOutError&) {
    std::remove(fresh.c_str());
    throw;
  }
  // Windows' rename does not replace an existing file; POSIX's does, in one step.
  if (std::rename(fresh.c_str(), path.c_str()) == 0) return;
  if (std::remove(path.c_str()) != 0) {
    std::remove(fresh.c_str());
    throw EInOutError(kCannotReplace);
  }
  // The old file is gone: the new one stays under its own name if it cannot take its place.
  if (std::rename(fresh.c_str(), path.c_str()) != 0) throw EInOutError(kCannotReplace);
}
