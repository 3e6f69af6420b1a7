#pragma once
// The two walks of RuleTool snapshot (Windows only). Each visits one key or folder at a time
// and writes it, then its values or files, then its subkeys or subfolders, each level sorted
// as the snapshot's order wants: memory holds the names of the levels being walked, no more.
#include <windows.h>

#include <string>
#include <vector>

#include "tools/snapshot/snapshot_writer.h"

struct RegistryPlace {
  HKEY root;
  std::wstring openPath;  // below root, as opened
  std::string name;       // the full name written ("HKEY_LOCAL_MACHINE\SOFTWARE")
  REGSAM view = 0;        // KEY_WOW64_64KEY on 64-bit Windows for the machine's keys
};

// The places in the order given; the caller sorts them. A place that does not open is left out.
void WalkRegistry(const std::vector<RegistryPlace>& places, SnapshotWriter& writer);

struct FolderPlace {
  std::wstring path;  // full, without a trailing "\"
  bool wholeTree;     // else: its files and the names of its folders, one level
};

// Every drive's places in one walk from the drive's root down, folders that hold places but
// lie outside them passed through without a record. Links are recorded, never descended.
// Each folder is listed through its handle with its files' IDs and change times; a file's
// content is read only where the file system keeps neither, or with readContent for every file.
void WalkFolders(const std::vector<FolderPlace>& places, SnapshotWriter& writer, bool readContent);

// The 32-bit System folder of 64-bit Windows (SysWOW64); empty where there is none.
std::wstring SystemWow64Folder();

// WOW64's file system redirection off for the object's lifetime, where there is any: the
// walk then sees the real System32 under its own name, as a 64-bit program does.
class FileSystemRedirectionOff {
 public:
  FileSystemRedirectionOff();
  ~FileSystemRedirectionOff();
  FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
  FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

 private:
  void* previous_ = nullptr;
  bool off_ = false;
};
