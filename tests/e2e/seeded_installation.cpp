#include "tests/e2e/seeded_installation.h"

#include <windows.h>

#include <stdexcept>

#include "engine/cleaner_state.h"
#include "platform/text/wide_text.h"
#include "tests/support/seeded_registry.h"

namespace {

const std::string kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const std::string kShellFolders = kCurrentVersion + "\\Explorer\\Shell Folders";

std::string Required(HKEY root, const std::string& key, const std::string& name) {
  const auto value = StringValueForTest(root, key, name);
  if (!value || value->empty()) throw std::runtime_error("the prefix has no " + name);
  return *value;
}

void WriteWide(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write a shortcut");
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueKernelHandle StartSleeper(const std::string& folder, const std::string& exeName) {
  const std::string exe = folder + "\\" + exeName;
  if (!CopyFileA(HelperPath("sleeper.exe").c_str(), exe.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy sleeper.exe");
  }
  std::string commandLine = "\"" + exe + "\" 300";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &info)) {
    throw std::runtime_error("cannot start " + exeName);
  }
  CloseHandle(info.hThread);
  return UniqueKernelHandle(info.hProcess);
}

bool Running(const UniqueKernelHandle& process) {
  return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

void EndProcessForTest(UniqueKernelHandle& process) {
  if (Running(process)) {
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 10000);
  }
  process.Reset();
}

}  // namespace

std::wstring StartupLinkNameWide() { return WideFromAnsi(kStartupLinkNames[0], 1251); }

SeededInstallation::SeededInstallation() {
  tag_ = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
  programFiles_ = Required(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  commonFiles_ = Required(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
  commonPrograms_ = Required(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
  commonStartup_ = Required(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup");
  userStartup_ = Required(HKEY_CURRENT_USER, kShellFolders, "Startup");
  programFolder_ = programFiles_ + "\\Velmora Lab";
  sharedFolder_ = commonFiles_ + "\\ZDN Shared Files";
  startMenuFolder_ = commonPrograms_ + "\\Velmora Anti-Virus";
  machineBase_ = "Software\\VelmoraLab\\E2E_" + tag_;
  userKey_ = "Software\\VelmoraE2E_" + tag_;
  classKey_ = "Software\\Classes\\VelmoraE2E_" + tag_ + ".Scan";

  auto folder = [](const std::string& name, const std::string& path) {
    return Item{name, [](const Item& i) { return IsFolder(i.path); }, path, {}, nullptr, {}, {}};
  };
  auto file = [](const std::string& name, const std::string& path) {
    return Item{name, [](const Item& i) { return GetFileAttributesA(i.path.c_str()) != INVALID_FILE_ATTRIBUTES; },
                path, {}, nullptr, {}, {}};
  };
  auto link = [](const std::string& name, const std::wstring& path) {
    return Item{name, [](const Item& i) { return GetFileAttributesW(i.widePath.c_str()) != INVALID_FILE_ATTRIBUTES; },
                {}, path, nullptr, {}, {}};
  };
  auto key = [](const std::string& name, HKEY root, const std::string& path, REGSAM view = 0) {
    return Item{name, [](const Item& i) { return KeyExistsForTest(i.root, i.key, i.view); }, {}, {}, root, path, {},
                view};
  };
  auto value = [](const std::string& name, HKEY root, const std::string& path, const std::string& valueName) {
    return Item{name, [](const Item& i) { return ValueExistsForTest(i.root, i.key, i.value); },
                {}, {}, root, path, valueName};
  };
  const std::wstring linkName = StartupLinkNameWide();
  targets_ = {
      folder("program folder", programFolder_),
      folder("shared folder", sharedFolder_),
      file("single file", commonFiles_ + "\\zdn_e2e_" + tag_ + ".dll"),
      folder("Start Menu folder", startMenuFolder_),
      link("user Startup shortcut", WideFromAnsi(userStartup_) + L"\\" + linkName),
      link("common Startup shortcut", WideFromAnsi(commonStartup_) + L"\\" + linkName),
      key("machine key", HKEY_LOCAL_MACHINE, machineBase_ + "\\Product"),
      key("user key", HKEY_CURRENT_USER, userKey_ + "\\Gone"),
      value("user value", HKEY_CURRENT_USER, userKey_, "Target"),
      value("renamed value's old name", HKEY_CURRENT_USER, userKey_, "OldName"),
      key("machine key in the 64-bit view", HKEY_LOCAL_MACHINE, machineBase_ + "\\Product", KEY_WOW64_64KEY),
      key("machine class", HKEY_LOCAL_MACHINE, classKey_),
      key("user class", HKEY_CURRENT_USER, classKey_),
  };
  canaries_ = {
      folder("folder beside the program folder", programFolder_ + " Keep"),
      file("file in Program Files", programFiles_ + "\\velmora_e2e_" + tag_ + ".txt"),
      folder("folder beside the shared folder", sharedFolder_ + " Keep"),
      file("file beside the single file", commonFiles_ + "\\zdn_e2e_" + tag_ + ".keep"),
      folder("folder beside the Start Menu folder", commonPrograms_ + "\\Velmora Keep"),
      link("user Startup shortcut beside", WideFromAnsi(userStartup_) + L"\\ZDN Keep.lnk"),
      link("common Startup shortcut beside", WideFromAnsi(commonStartup_) + L"\\ZDN Keep.lnk"),
      key("machine key beside", HKEY_LOCAL_MACHINE, machineBase_ + "\\ProductKeep"),
      key("user key beside", HKEY_CURRENT_USER, userKey_ + "\\Stay"),
      value("user value beside", HKEY_CURRENT_USER, userKey_, "Keep"),
      key("machine key beside in the 64-bit view", HKEY_LOCAL_MACHINE, machineBase_ + "\\ProductKeep",
          KEY_WOW64_64KEY),
      key("machine class beside", HKEY_LOCAL_MACHINE, classKey_ + "Keep"),
      key("user class beside", HKEY_CURRENT_USER, classKey_ + "Keep"),
  };
  RemoveAll();
  Seed();
}

SeededInstallation::~SeededInstallation() {
  EndProcessForTest(productProcess_);
  EndProcessForTest(canaryProcess_);
  RemoveAll();
}

void SeededInstallation::Seed() {
  WriteBytes(programFolder_ + "\\QRV.exe", "program");
  WriteBytes(FileInProgramFolder(), "base");
  WriteBytes(programFolder_ + "\\Data\\Deep\\signatures.bin", "signatures");
  const std::string guarded = programFolder_ + "\\Data\\guard.sys";
  WriteBytes(guarded, "guard");
  SetFileAttributesA(guarded.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  WriteBytes(sharedFolder_ + "\\shared.dll", "shared");
  WriteBytes(startMenuFolder_ + "\\QRV.lnk", "link");
  MakeFolders(userStartup_);
  MakeFolders(commonStartup_);
  for (const Item* item : {&targets_[4], &targets_[5], &canaries_[5], &canaries_[6]}) {
    WriteWide(item->widePath, "shortcut");
  }
  WriteBytes(targets_[2].path, "file");
  WriteBytes(canaries_[0].path + "\\keep.txt", "keep");
  WriteBytes(canaries_[1].path, "keep");
  WriteBytes(canaries_[2].path + "\\keep.txt", "keep");
  WriteBytes(canaries_[3].path, "keep");
  WriteBytes(canaries_[4].path + "\\keep.lnk", "keep");

  SeedStringValue(HKEY_LOCAL_MACHINE, machineBase_ + "\\Product\\Engine", "Version", "5.1");
  SeedStringValue(HKEY_LOCAL_MACHINE, machineBase_ + "\\Product", "Path", programFolder_);
  SeedStringValue(HKEY_LOCAL_MACHINE, machineBase_ + "\\ProductKeep", "Path", "keep");
  SeedStringValue(HKEY_LOCAL_MACHINE, machineBase_ + "\\Product\\Engine64", "Version", "5.1", KEY_WOW64_64KEY);
  SeedStringValue(HKEY_LOCAL_MACHINE, machineBase_ + "\\ProductKeep", "Path", "keep", KEY_WOW64_64KEY);
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    // The product's evidence in Windows' classes: its verb starts the product's program.
    SeedStringValue(root, classKey_ + "\\shell\\open\\command", "", "\"" + programFolder_ + "\\QRV.exe\" \"%1\"");
    SeedStringValue(root, classKey_ + "Keep", "", "keep");
  }
  SeedStringValue(HKEY_CURRENT_USER, userKey_ + "\\Gone\\Deeper", "x", "y");
  SeedKey(HKEY_CURRENT_USER, userKey_ + "\\Stay");
  SeedStringValue(HKEY_CURRENT_USER, userKey_, "Target", "remove me");
  SeedStringValue(HKEY_CURRENT_USER, userKey_, "Keep", "keep me");
  SeedStringValue(HKEY_CURRENT_USER, userKey_, "OldName", "moved data");

  productProcess_ = StartSleeper(processFolder_.Path(), "ZdnM.exe");
  canaryProcess_ = StartSleeper(processFolder_.Path(), "ZdnKeep.exe");
}

void SeededInstallation::RemoveAll() {
  for (const auto* list : {&targets_, &canaries_}) {
    for (const Item& item : *list) {
      if (!item.path.empty()) {
        RemoveTreeForTest(item.path);
        SetFileAttributesA(item.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(item.path.c_str());
      }
      if (!item.widePath.empty()) DeleteFileW(item.widePath.c_str());
    }
  }
  RemoveKeyForTest(HKEY_LOCAL_MACHINE, machineBase_);
  RemoveKeyForTest(HKEY_LOCAL_MACHINE, machineBase_, KEY_WOW64_64KEY);
  RemoveKeyForTest(HKEY_CURRENT_USER, userKey_);
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    RemoveKeyForTest(root, classKey_);
    RemoveKeyForTest(root, classKey_ + "Keep");
  }
}

std::vector<std::string> SeededInstallation::RuleLines() const {
  return {
      "QRV removal rules, written by the end-to-end tests",
      "[Registry_Delete]",
      "HKEY_LOCAL_MACHINE\\" + machineBase_ + "\\Product",
      "hkey_current_user\\" + userKey_ + "\\Gone",
      "[Registry_Delete_End]",
      "registry values next",
      "[Registry_Delete_Val]",
      "HKEY_CURRENT_USER\\" + userKey_ + "=Target",
      "[Registry_Delete_Val_End]",
      "[Registry_Move_Val]",
      "HKEY_CURRENT_USER\\" + userKey_ + "\\NewName=OldName",
      "[Registry_Move_Val_End]",
      "[Delete_Folder]",
      "%Program%",
      "%Shared%\\",
      "[Delete_Folder_End]",
      "[Delete_File]",
      SingleFileEntry(),
      "[Delete_File_End]",
      "[Registry_Delete]",
      "HKEY_CLASSES_ROOT\\" + classKey_.substr(classKey_.rfind('\\') + 1),
      "[Registry_Delete_End]",
  };
}

// Written with %PF% when Common Files lies in Program Files, as it does on a fresh system.
std::string SeededInstallation::SingleFileEntry() const {
  const std::string& path = targets_[2].path;
  if (path.rfind(programFiles_ + "\\", 0) == 0) return "%PF%" + path.substr(programFiles_.size());
  return path;
}

std::vector<std::string> SeededInstallation::Names(const std::vector<Item>& items, bool present) {
  std::vector<std::string> names;
  for (const Item& item : items) {
    if (item.exists(item) == present) names.push_back(item.name);
  }
  return names;
}

std::vector<std::string> SeededInstallation::TargetsLeft() const {
  auto names = Names(targets_, true);
  if (ProductProcessRunning()) names.push_back("product process");
  return names;
}

std::vector<std::string> SeededInstallation::TargetsGone() const {
  auto names = Names(targets_, false);
  if (!ProductProcessRunning()) names.push_back("product process");
  return names;
}

std::vector<std::string> SeededInstallation::CanariesGone() const {
  auto names = Names(canaries_, false);
  if (!CanaryProcessRunning()) names.push_back("canary process");
  return names;
}

std::optional<std::string> SeededInstallation::RenamedValue() const {
  return StringValueForTest(HKEY_CURRENT_USER, userKey_, "NewName");
}

bool SeededInstallation::ProductProcessRunning() const { return Running(productProcess_); }
bool SeededInstallation::CanaryProcessRunning() const { return Running(canaryProcess_); }
