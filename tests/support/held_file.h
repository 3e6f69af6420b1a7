#pragma once
// A file held open by another Wine process (hold_file.exe) for as long as this object lives:
// opened for reading and writing, shared for reading only; or another object another helper holds.
#include <string>

#include "platform/handles.h"

class HeldFile {
 public:
  explicit HeldFile(const std::string& path);
  // Any holder among the test helpers, started with its arguments: hold_mutex.exe NAME SDDL
  // holds a mutex made with that access list.
  HeldFile(const std::string& helper, const std::string& arguments);
  ~HeldFile();  // ends the holder's stdin and waits for it to close the file
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  // The holder's first line: "held", or "failed CODE".
  const std::string& Answer() const { return answer_; }

 private:
  UniqueKernelHandle process_;
  UniqueKernelHandle stdinWrite_;
  std::string answer_;
};
