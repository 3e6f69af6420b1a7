#include <windows.h>

#include "platform/system_error.h"

#include <string>

std::string SystemErrorText(unsigned long code) {
  std::string text = "error " + std::to_string(code);
  char buffer[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' || buffer[length - 1] == ' ' ||
                        buffer[length - 1] == '.')) {
    --length;
  }
  if (length > 0) text += ": " + std::string(buffer, length);
  return text;
}
