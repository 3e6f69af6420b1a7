#include "tests/support/wine_test_support.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "platform/handles.h"

std::string BuildFolder() {
  std::string path = "Z:" CLEANER_BIN_DIR;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string HelperPath(const std::string& exeName) { return BuildFolder() + "\\" + exeName; }

DWORD RunAndWait(const std::string& commandLine, const std::string& folder, DWORD allowedMilliseconds) {
  std::string line = commandLine;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                      &startup, &info)) {
    return 0xFFFFFFFF;
  }
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.Get(), allowedMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), code);
    return code;
  }
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

namespace {
int scratchCounter = 0;
}

namespace {

std::string TemporaryFolder() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  return temp;
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& hint) : ScratchFolder(hint, TemporaryFolder()) {}

ScratchFolder::ScratchFolder(const std::string& hint, const std::string& folder) {
  std::string base = folder.empty() ? TemporaryFolder() : folder;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  path_ = base + "\\cln_" + hint + "_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(++scratchCounter);
  RemoveTreeForTest(path_);
  MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTreeForTest(path_); }

void MakeFolders(const std::string& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  const auto slash = path.find_last_of('\\');
  if (slash != std::string::npos) MakeFolders(path.substr(0, slash));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::string ReadBytes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read " + path);
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

void RemoveTreeForTest(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = path + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTreeForTest(full);
      } else if (!DeleteFileA(full.c_str())) {
        RemoveDirectoryA(full.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

namespace {
constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

bool ReadPending(std::string& data) {
  data.assign(1 << 20, '\0');
  DWORD size = static_cast<DWORD>(data.size() - 2);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                   &size) != ERROR_SUCCESS) {
    data.clear();
    return false;
  }
  data.resize(size);
  return true;
}
}  // namespace

std::vector<std::string> PendingFileOperations() {
  std::string data;
  (void)ReadPending(data);
  std::vector<std::string> names;
  // Pairs of source and target; a deletion's target is empty.
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t end = std::min(data.find('\0', at), data.size());
    if (end > at) names.push_back(data.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

PendingOperationsKept::PendingOperationsKept() { present_ = ReadPending(value_); }

PendingOperationsKept::~PendingOperationsKept() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  if (present_) {
    RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value_.data()),
                   static_cast<DWORD>(value_.size()));
  } else {
    RegDeleteValueA(key, kPendingValue);
  }
  RegCloseKey(key);
}
