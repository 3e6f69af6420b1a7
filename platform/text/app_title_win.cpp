#include <windows.h>

#include <vector>

#include "platform/text/app_title.h"

namespace {

std::string ModuleFileName() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size() - 1) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

void CharLowerInPlace(std::string& text) {
  if (!text.empty()) CharLowerA(text.data());
}

}  // namespace

std::string ApplicationTitle() {
  std::string path = ModuleFileName();
  OemToCharA(path.data(), path.data());
  return ApplicationTitleFromPath(path, CharLowerInPlace);
}
