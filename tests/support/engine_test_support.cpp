#include "tests/support/engine_test_support.h"
#include "tests/support/trace_messages.h"

#include <cctype>
#include <stdexcept>

#include "engine/rules/rule_file.h"
#include "tests/support/wine_test_support.h"

EngineTestContext::EngineTestContext(Effects& effects, Reporter* otherReporter, RunView* otherView)
    : context{state, otherView ? *otherView : view, effects, otherReporter ? *otherReporter : reporter, trace} {}

EngineTestContext::EngineTestContext(Acting acting, Reporter* otherReporter)
    : EngineTestContext(acting == Acting::Live ? static_cast<Effects&>(LiveEffects::Instance()) : recorded,
                        otherReporter) {}

void EngineTestContext::StartTrace(const std::string& path) {
  tracePath_ = path;
  trace.Open(path);
  state.TraceLogOn = true;
}

std::vector<std::string> EngineTestContext::TraceMessages() {
  trace.Close();
  if (tracePath_.empty()) return {};
  return ::TraceMessages(tracePath_);
}

void WriteRuleFile(const std::string& path, const std::vector<std::string>& lines, bool lastLineEnd) {
  std::string bytes;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    bytes += ScrambleLine(lines[i]);
    if (lastLineEnd || i + 1 < lines.size()) bytes += "\r\n";
  }
  WriteBytes(path, bytes);
}

HelperProcess::HelperProcess(const std::string& exePath) {
  std::string commandLine = "\"" + exePath + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    throw std::runtime_error("cannot start " + exePath);
  }
  CloseHandle(info.hThread);
  process_.Reset(info.hProcess);
}

HelperProcess::~HelperProcess() {
  if (!HasExited()) {
    TerminateProcess(process_.Get(), 0);
    WaitForSingleObject(process_.Get(), 10000);
  }
}

bool HelperProcess::HasExited() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }

namespace {
using UnixNameCall = char*(CDECL*)(LPCWSTR);

UnixNameCall UnixNameFunction() {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<UnixNameCall>(
                      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                : nullptr;
}

std::string UnixName(UnixNameCall call, const std::string& path) {
  char* name = call(WideFromAnsi(path).c_str());
  if (!name) return {};
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}
}  // namespace

bool RunningUnderWine() { return UnixNameFunction() != nullptr; }

namespace {
// Wine starts a Linux program handed to CreateProcess as it is, outside its own process table,
// and hands back no handles: PROCESS_INFORMATION then holds whatever its stack held (measured:
// thread 0x2, a made-up process ID). Closing those closed other handles of this process, among
// them advapi32's cached HKEY_USERS root, so that a later RegLoadKeyW or RegOpenKeyExW on
// HKEY_USERS answered 6. Nothing is closed; callers look for the program's result instead.
bool StartHostProgram(const std::string& program, const std::string& arguments) {
  std::string commandLine = program + " " + arguments;
  std::string windowsName = "Z:" + program;
  for (char& c : windowsName) {
    if (c == '/') c = '\\';
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(windowsName.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  return true;
}

template <typename Done>
bool AwaitHostResult(Done done) {
  for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
  return done();
}
}  // namespace

namespace {
// ln with its options ("-s " for a symbolic link, "" for a hard one) on the host's names.
bool MakeHostLink(const std::string& options, const std::string& target, const std::string& link) {
  const UnixNameCall call = UnixNameFunction();
  if (!call) return false;
  const std::string unixTarget = UnixName(call, target);
  const std::string unixLink = UnixName(call, link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  if (!StartHostProgram("/bin/ln", options + "\"" + unixTarget + "\" \"" + unixLink + "\"")) return false;
  return AwaitHostResult([&] { return Exists(link); });
}
}  // namespace

bool MakeHostSymlink(const std::string& target, const std::string& link) { return MakeHostLink("-s ", target, link); }

bool RemoveHostSymlink(const std::string& link) {
  const UnixNameCall call = UnixNameFunction();
  if (!call) return false;
  const std::string unixLink = UnixName(call, link);
  if (unixLink.empty()) return false;
  // rm without -r on the link's own name removes the link, never what it points to.
  if (!StartHostProgram("/bin/rm", "-f \"" + unixLink + "\"")) return false;
  return AwaitHostResult([&] { return !Exists(link); });
}

bool MakeHostHardLink(const std::string& target, const std::string& link) { return MakeHostLink("", target, link); }

namespace {
// The prefix's dosdevices link of a drive letter: where Wine finds "C:" gives the folder.
std::string DriveLink(UnixNameCall call, char letter) {
  std::string cDrive = UnixName(call, "C:\\");
  const std::size_t at = cDrive.rfind("/c:");
  if (at == std::string::npos) return {};
  return cDrive.substr(0, at + 1) + static_cast<char>(std::tolower(static_cast<unsigned char>(letter))) + ":";
}
}  // namespace

bool MakeDriveLetter(char letter, const std::string& folder) {
  const UnixNameCall call = UnixNameFunction();
  if (!call) return false;
  const std::string unixFolder = UnixName(call, folder);
  const std::string link = DriveLink(call, letter);
  if (unixFolder.empty() || link.empty()) return false;
  if (!StartHostProgram("/bin/ln", "-s \"" + unixFolder + "\" \"" + link + "\"")) return false;
  return AwaitHostResult([&] { return Exists(std::string(1, letter) + ":\\"); });
}

bool RemoveDriveLetter(char letter) {
  const UnixNameCall call = UnixNameFunction();
  const std::string link = call ? DriveLink(call, letter) : std::string();
  if (link.empty() || !StartHostProgram("/bin/rm", "-f \"" + link + "\"")) return false;
  return AwaitHostResult([&] { return !Exists(std::string(1, letter) + ":\\"); });
}

namespace {
std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }
}  // namespace

void MakeFoldersWide(const std::wstring& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') CreateDirectoryW(Extended(path.substr(0, i)).c_str(), nullptr);
  }
}

void WriteFileWide(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + AnsiFromWide(path));
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

bool ExistsWide(const std::wstring& path) {
  return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {
template <typename Visit>
void WalkWide(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Extended(folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    visit(folder + L"\\" + name, data.dwFileAttributes);
  } while (FindNextFileW(find, &data));
  FindClose(find);
}
}  // namespace

std::vector<std::wstring> ListTreeWide(const std::wstring& folder) {
  std::vector<std::wstring> paths;
  WalkWide(folder, [&](const std::wstring& path, DWORD attributes) {
    paths.push_back(path);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      for (auto& below : ListTreeWide(path)) paths.push_back(std::move(below));
    }
  });
  return paths;
}

void RemoveTreeWide(const std::wstring& folder) {
  WalkWide(folder, [](const std::wstring& path, DWORD attributes) {
    SetFileAttributesW(Extended(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      RemoveTreeWide(path);
    } else if (!DeleteFileW(Extended(path).c_str())) {
      RemoveDirectoryW(Extended(path).c_str());
    }
  });
  RemoveDirectoryW(Extended(folder).c_str());
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }
bool Exists(const std::string& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

const std::vector<AwkwardTree>& AwkwardTrees() {
  const std::wstring deep(60, L'd');
  static const std::vector<AwkwardTree> trees = {
      // Best fit turns this name into "..\victim" for the ANSI calls.
      {"fullwidth look-alike of ..\\", {L"\xFF0E\xFF0E\xFF3Cvictim"}, L"keep.txt"},
      {"CJK folder and file", {L"\x4E2D\x6587"}, L"\x6587\x4EF6.txt"},
      {"300 characters deep", {deep, deep, deep, deep, deep}, L"f.txt"},
      {"folder name ending in a dot", {L"name.", L"inner"}, L"f.txt"},
      {"folder name ending in a blank", {L"name ", L"inner"}, L"f.txt"},
  };
  return trees;
}

std::wstring MakeAwkwardTree(const std::string& top, const AwkwardTree& tree) {
  std::wstring folder = WideFromAnsi(top);
  for (const auto& name : tree.folders) folder += L"\\" + name;
  MakeFoldersWide(folder);
  WriteFileWide(folder + L"\\" + tree.file, "payload");
  return folder + L"\\" + tree.file;
}

UniqueFile HoldSharingDeletion(const std::wstring& path) {
  return UniqueFile(CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}
