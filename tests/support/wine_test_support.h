#pragma once
// Shared by the Windows and end-to-end tests: paths of the build, scratch folders and keys.
#include <windows.h>

#include <string>
#include <vector>

// The build folder (Linux path made into Wine's Z: form), e.g. for Cleaner.exe and helpers.
std::string BuildFolder();
std::string HelperPath(const std::string& exeName);
// Runs a command line in a folder, waits for it and gives its full exit code (a Linux
// parent would see only the low 8 bits); 0xFFFFFFFF when it cannot start or does not end.
DWORD RunAndWait(const std::string& commandLine, const std::string& folder, DWORD allowedMilliseconds = 120000);
// A fresh empty folder under the Wine temp folder; removed by ScratchFolder's destructor.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& hint = "t");
  // In base instead of the temporary folder (the profiles folder, where Temp's noise is not);
  // an empty base is the temporary folder.
  ScratchFolder(const std::string& hint, const std::string& base);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Writes a file with the given bytes (creating missing folders on the way).
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
void MakeFolders(const std::string& path);
// Removes a tree by force (test cleanup only; not the product's deletion).
void RemoveTreeForTest(const std::string& path);

// The names in Session Manager's PendingFileRenameOperations ("\\??\\C:\\..."), in the order the
// system carries them out; a deletion's empty target is left out. ASCII paths.
std::vector<std::string> PendingFileOperations();
// Puts the pending operations back as they were when it was made, so that what a test left
// to the restart is not carried out by a later test's restart.
class PendingOperationsKept {
 public:
  PendingOperationsKept();
  ~PendingOperationsKept();
  PendingOperationsKept(const PendingOperationsKept&) = delete;
  PendingOperationsKept& operator=(const PendingOperationsKept&) = delete;

 private:
  std::string value_;
  bool present_ = false;
};
