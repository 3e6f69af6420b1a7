#pragma once
// The real Cleaner.exe copied into a scratch folder with its rule and settings files,
// started as a user would start it, its boxes answered and its exit code taken.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/wine_test_support.h"

struct SeenDialog {
  std::string caption;
  std::string text;
};

struct CleanerExit {
  DWORD exitCode = 0;
  std::vector<SeenDialog> dialogs;  // every box shown, in order, each answered with OK
  bool mainWindowShown = false;     // the main window appeared (and was closed by the test)
  bool finished = false;            // ended by itself within the time allowed
};

// A run whose standard output went to a file: what it wrote there.
struct CapturedExit {
  DWORD exitCode = 0;
  bool finished = false;  // ended by itself within the time allowed: no window or box waited
  std::string output;
};

class CleanerFolder {
 public:
  CleanerFolder();
  const std::string& Path() const { return scratch_.Path(); }
  std::string operator/(const std::string& name) const { return scratch_ / name; }

  // Stores the lines scrambled, each ended with CR LF, as Do_list.dat.
  void WriteRules(const std::vector<std::string>& lines);
  void RemoveRules();
  // Writes QRV_RC.INI as given (line ends included).
  void WriteSettings(const std::string& bytes);
  // The trace log's messages about the run; empty when the run wrote no log. The first block
  // (program, computer, account, command line, rule file), the settings in effect and their
  // findings, and the last line with the counts are left out: LogLines has every line.
  std::vector<std::string> LogMessages() const;
  std::vector<std::string> LogLines() const;
  bool HasLog() const;

  // Starts Cleaner.exe with the arguments (UTF-8), the scratch folder as its current folder, and
  // waits for it to end. Boxes are answered with OK as they appear; a main window that
  // appears is closed. A run that has not ended after the time allowed is ended by force.
  CleanerExit Run(const std::string& arguments, DWORD allowedMilliseconds = 90000);
  // The same with standard output (and error) going to a file, as a deployment agent
  // starts it; nothing answers boxes or closes windows, so a run that shows one does not end
  // in time.
  CapturedExit RunCapturingOutput(const std::string& arguments, DWORD allowedMilliseconds = 60000);

 private:
  ScratchFolder scratch_{"e2e"};
};

// Stored form of a rule file: each line scrambled and ended with CR LF.
std::string StoredRuleFile(const std::vector<std::string>& lines);
