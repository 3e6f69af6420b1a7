#pragma once
// What a path is, rather than how it is written: the volume and file ID of the file or
// folder it opens, the path the system gives back for it, and its count of names.
#include <cstdint>
#include <optional>
#include <string>

struct FileIdentity {
  std::uint32_t volume = 0;
  std::uint32_t indexHigh = 0;
  std::uint32_t indexLow = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct OpenedFileFacts {
  FileIdentity identity;
  std::wstring finalPath;  // GetFinalPathNameByHandleW in ordinary form; empty where unknown
  std::uint32_t links = 0;
  std::uint32_t attributes = 0;
};

// Opens the file or folder at path (full, ordinary or extended form) for its attributes
// only, following links unless told not to; nothing when it cannot be opened.
std::optional<OpenedFileFacts> FactsOfPath(const std::wstring& path, bool followLinks = true);
