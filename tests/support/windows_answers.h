#pragma once
// A reader of folder security that answers as Windows would where Wine cannot: Wine keeps no
// access lists and gives every file the account it runs as for owner. Paths named in `answers`
// get that SDDL; others get `fallback`, or the system's own answer when it is empty.
#include <map>
#include <string>

#include "backup/backup_folders.h"
#include "platform/files/files_paths.h"
#include "platform/text/wide_text.h"

class WindowsAnswers : public FolderSecurity {
 public:
  std::map<std::string, std::wstring> answers;  // by ordinary path
  std::wstring fallback;
  std::wstring self;  // empty: the account the program runs as
  bool keepsOwners = false;
  bool keepsAccessLists = true;

  std::wstring SecurityOf(const std::wstring& path) override {
    const auto found = answers.find(AnsiFromWide(OrdinaryPath(path)));
    if (found != answers.end()) return found->second;
    return fallback.empty() ? FolderSecurity::SecurityOf(path) : fallback;
  }
  std::wstring Self() override { return self.empty() ? FolderSecurity::Self() : self; }
  bool KeepsOwners() override { return keepsOwners || FolderSecurity::KeepsOwners(); }
  bool KeepsAccessLists(const std::wstring&) override { return keepsAccessLists; }
};
