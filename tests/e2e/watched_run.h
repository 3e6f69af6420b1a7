#pragma once
// Cleaner.exe (or any program) started in a chosen current folder, its boxes answered with
// OK from outside, its peak private memory polled while it runs.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/dialog_answerer.h"

struct WatchedExit {
  DWORD exitCode = 0;
  bool finished = false;      // ended by itself within the time allowed
  double peakPrivateMb = 0;   // the system's peak of its private memory, last seen alive
  std::vector<DialogRecord> dialogs;  // every box, in order, each answered with OK
};

// A program that has not ended after the time allowed is ended by force (finished false).
WatchedExit RunWatched(const std::string& exe, const std::string& arguments, const std::string& currentFolder,
                       DWORD allowedMilliseconds = 120000);

// The texts of the boxes, in order.
std::vector<std::string> DialogTexts(const WatchedExit& exit);
