// Any command line or registered path, as a registration holds it: what Windows would run is
// either nothing or one of the machine's files, found the same way every time; a quoted file
// that exists is what a line starting with it runs, unless that file is a host (rundll32, cmd,
// powershell, ...) whose arguments name what it runs. The bytes are read as UTF-16 units too.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "engine/guards/command_line.h"
#include "fuzz/fuzz_check.h"

namespace {

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
  return text;
}

const std::set<std::wstring>& Files() {
  static const std::set<std::wstring> files = {
      L"C:\\WINDOWS\\SYSTEM32\\CMD.EXE",        L"C:\\WINDOWS\\SYSTEM32\\RUNDLL32.EXE", L"C:\\WINDOWS\\SYSTEM32\\MSHTA.EXE",
      L"C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL",    L"C:\\WINDOWS\\NOTEPAD.EXE",           L"C:\\PROGRAM.EXE",
      L"C:\\PROGRAM FILES\\A B\\C.EXE",         L"C:\\PROGRAM FILES\\A B\\S.PS1",     L"C:\\PS\\POWERSHELL.EXE",
      L"C:\\WINDOWS\\SYSTEM32\\WSCRIPT.EXE",    L"C:\\X\\Y.VBS",
  };
  return files;
}

void Check(const std::wstring& text) {
  const CommandFolders folders{L"C:\\WINDOWS\\SYSTEM32", L"C:\\WINDOWS", {L"C:\\PS"}};
  const FileProbe exists = [](const std::wstring& path) { return Files().count(Upper(path)) != 0; };
  const std::wstring file = ResolveCommandFile(text, folders, exists);
  FUZZ_REQUIRE(file.empty() || exists(file));
  FUZZ_REQUIRE(ResolveCommandFile(text, folders, exists) == file);
  const std::wstring library = ResolvePathFile(text, L".dll", folders, exists);
  FUZZ_REQUIRE(library.empty() || exists(library));
  // A quoted file that is no host runs whatever arguments follow it.
  const std::wstring quoted = L"\"C:\\Program Files\\A B\\c.exe\" " + text;
  FUZZ_REQUIRE(Upper(ResolveCommandFile(quoted, folders, exists)) == L"C:\\PROGRAM FILES\\A B\\C.EXE");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += static_cast<wchar_t>(data[i]);
  Check(bytes);
  std::wstring units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  Check(units);
  return 0;
}
