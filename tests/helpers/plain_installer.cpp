// An installer that is no Windows Installer package, as many products ship:
//   plain_installer.exe NAME OTHER_RUN_VALUE DRIVER
// It copies files into Program Files, Common Files, the System folder and the drivers folder
// (the real System32's on 64-bit Windows, through Sysnative, as a 64-bit driver must lie),
// registers the kernel driver service DRIVER, writes the product's key, a Run value, an Uninstall entry,
// and the current user's settings in AppData (Roaming and Local), and switches off another
// program's Run value of the current user by renaming it aside (OTHER_RUN_VALUE becomes
// OTHER_RUN_VALUE.off). Ends with 0 when every step worked, else with the failing step's number.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/handles.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

bool WriteText(const std::wstring& path, const char* text) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(strlen(text));
  return file && WriteFile(file.Get(), text, size, &written, nullptr) && written == size;
}

bool SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  UniqueHKey opened;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, opened.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(opened.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

// The value renamed as installers do it: the old data written under the new name, the old name removed.
bool RenameRunValue(const std::wstring& name) {
  UniqueHKey run;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, run.Put()) != ERROR_SUCCESS) return false;
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(run.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring aside = name + L".off";
  return RegSetValueExW(run.Get(), aside.c_str(), 0, type, reinterpret_cast<const BYTE*>(data), size) == ERROR_SUCCESS &&
         RegDeleteValueW(run.Get(), name.c_str()) == ERROR_SUCCESS;
}

bool MakeDriverService(const std::wstring& name) {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return false;
  const std::wstring image = L"System32\\drivers\\" + name + L".sys";
  const UniqueServiceHandle service(CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_QUERY_STATUS,
                                                   SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                   image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  return static_cast<bool>(service);
}

bool Runs64BitWindows() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The arguments are plain ASCII names.
std::wstring Widened(const char* text) { return std::wstring(text, text + strlen(text)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 100;
  const std::wstring name = Widened(argv[1]);
  const std::wstring driverName = Widened(argv[3]);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t windows[MAX_PATH] = {};
  wchar_t system[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + name;
  const std::wstring shared = ShellFolder(CSIDL_PROGRAM_FILES_COMMON) + L"\\" + name;
  const std::wstring drivers = (Runs64BitWindows() ? std::wstring(windows) + L"\\Sysnative" : std::wstring(system)) + L"\\drivers";
  const std::wstring roaming = ShellFolder(CSIDL_APPDATA) + L"\\" + name;
  const std::wstring local = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\" + name;
  const std::wstring app = program + L"\\app.exe";

  const bool steps[] = {
      CreateDirectoryW(program.c_str(), nullptr) != 0,
      CopyFileW(self, app.c_str(), TRUE) != 0,  // keeps the file's write time, as installers do
      WriteText(program + L"\\readme.txt", "installed by a plain installer\r\n"),
      CreateDirectoryW(shared.c_str(), nullptr) != 0,
      CopyFileW(self, (shared + L"\\shared.dll").c_str(), TRUE) != 0,
      CopyFileW(self, (std::wstring(system) + L"\\" + driverName + L"hook.dll").c_str(), TRUE) != 0,
      WriteText(drivers + L"\\" + driverName + L".sys", "driver"),
      MakeDriverService(driverName),
      SetString(HKEY_LOCAL_MACHINE, L"Software\\" + name, L"InstallPath", program),
      SetString(HKEY_LOCAL_MACHINE, kRunKey, name.c_str(), L"\"" + app + L"\" /tray"),
      SetString(HKEY_LOCAL_MACHINE, kUninstallKey + name, L"DisplayName", name),
      SetString(HKEY_LOCAL_MACHINE, kUninstallKey + name, L"UninstallString", L"\"" + app + L"\" /uninstall"),
      SetString(HKEY_CURRENT_USER, L"Software\\" + name, L"Language", L"en"),
      CreateDirectoryW(roaming.c_str(), nullptr) != 0,
      WriteText(roaming + L"\\settings.ini", "[View]\r\nTray=1\r\n"),
      CreateDirectoryW(local.c_str(), nullptr) != 0,
      WriteText(local + L"\\cache.db", "cache"),
      RenameRunValue(Widened(argv[2])),
  };
  for (int step = 0; step < static_cast<int>(std::size(steps)); ++step) {
    if (!steps[step]) return step + 1;
  }
  return 0;
}
