#pragma once
// A product installation seeded where the cleaner looks for it: folders under Program
// Files, Common Files and the common Start Menu, the Startup shortcut in both Startup
// folders, keys and values under HKEY_LOCAL_MACHINE (in both registry views) and
// HKEY_CURRENT_USER, a class in the machine's and in the user's classes, and running
// processes. Beside every target stands a canary that must survive. Everything left is
// removed when the object goes.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/support/wine_test_support.h"

class SeededInstallation {
 public:
  SeededInstallation();
  ~SeededInstallation();
  SeededInstallation(const SeededInstallation&) = delete;
  SeededInstallation& operator=(const SeededInstallation&) = delete;

  // The rule file's lines that name every target, with commentary between the sections.
  std::vector<std::string> RuleLines() const;
  // Targets that are still there, by readable name (empty after a full clean).
  std::vector<std::string> TargetsLeft() const;
  // Targets that are gone (empty when nothing was cleaned).
  std::vector<std::string> TargetsGone() const;
  // Canaries that are gone (always empty when the cleaner keeps to its rules).
  std::vector<std::string> CanariesGone() const;

  // The data of the value the rules rename, under its new name.
  std::optional<std::string> RenamedValue() const;
  // A file inside the program folder, for holding open.
  std::string FileInProgramFolder() const { return programFolder_ + "\\Data\\base.dat"; }
  const std::string& ProgramFolder() const { return programFolder_; }
  // Where the rules name the product's keys below HKEY_CURRENT_USER.
  const std::string& UserKey() const { return userKey_; }
  bool ProductProcessRunning() const;
  bool CanaryProcessRunning() const;

 private:
  struct Item {
    std::string name;
    bool (*exists)(const Item&);
    std::string path;
    std::wstring widePath;
    HKEY root = nullptr;
    std::string key;
    std::string value;
    REGSAM view = 0;  // KEY_WOW64_64KEY for a key in the 64-bit view
  };
  void Seed();
  void RemoveAll();
  std::string SingleFileEntry() const;
  static std::vector<std::string> Names(const std::vector<Item>& items, bool present);

  std::string tag_;
  std::string programFiles_, commonFiles_, commonPrograms_, userStartup_, commonStartup_;
  std::string programFolder_, sharedFolder_, startMenuFolder_;
  std::string machineBase_, userKey_, classKey_;
  std::vector<Item> targets_;
  std::vector<Item> canaries_;
  ScratchFolder processFolder_{"proc"};
  UniqueKernelHandle productProcess_;
  UniqueKernelHandle canaryProcess_;
};

// The Startup shortcut's Windows-1251 name as UTF-16.
std::wstring StartupLinkNameWide();
