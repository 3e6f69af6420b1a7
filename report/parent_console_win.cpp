#include <windows.h>

#include "platform/handles.h"
#include "report/parent_console.h"

namespace {

bool WriteAll(HANDLE out, const std::string& text) {
  DWORD written = 0;
  return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

bool WriteToParent(const std::string& text) {
  const HANDLE inherited = GetStdHandle(STD_OUTPUT_HANDLE);
  if (inherited != nullptr && inherited != INVALID_HANDLE_VALUE && GetFileType(inherited) != FILE_TYPE_UNKNOWN) {
    return WriteAll(inherited, text);
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  const UniqueFile console(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
  // The parent's prompt was printed already: start on a line of our own.
  const bool written = console && WriteAll(console.Get(), "\r\n" + text);
  FreeConsole();
  return written;
}
