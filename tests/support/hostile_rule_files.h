#pragma once
// Rule files no rule writer would make, for the hardening tests: huge, one enormous line,
// random bytes, NUL bytes. Each is written as the stored (scrambled) file.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

struct HostileRuleFile {
  const char* name;  // also usable in a test or file name
  std::string (*make)();
};

// 1,000,000 lines: text between sections, and every thousand lines a small section of each
// registry kind and of folders, naming keys and folders that do not exist.
std::string MillionLineRuleFile();
// A comment line, a [Registry_Delete] entry and a [Delete_Folder] entry of 10 MB each.
std::string TenMegabyteLineRuleFile();
// 8 MB from a fixed seed: reading ends at the first Ctrl-Z, as it would on a real file.
std::string RandomByteRuleFile();
// The same without any Ctrl-Z byte, so that every random line is read.
std::string RandomByteRuleFileWithoutCtrlZ();
// Lines of NUL bytes, NUL bytes inside headers and entries, and 1 MB of nothing but NULs.
std::string NulByteRuleFile();

const std::vector<HostileRuleFile>& HostileRuleFiles();

inline void PrintTo(const HostileRuleFile& file, std::ostream* out) { *out << file.name; }

// The stored form of the lines, each ended with CR LF.
std::string StoredLines(const std::vector<std::string>& lines);
