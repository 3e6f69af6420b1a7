#include "tests/support/trace_messages.h"

#include <windows.h>

#include "tests/support/wine_test_support.h"

std::vector<std::string> TraceMessages(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const std::size_t gap = line.find("   ");
    messages.push_back(gap == std::string::npos ? line : line.substr(gap + 3));
    start = end + 2;
  }
  return messages;
}
