#include <windows.h>

#include "engine/run/restart_aside.h"

#include <cwchar>
#include <memory>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/run/deletion.h"
#include "platform/effects.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/security/security_descriptor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

// The pending folders of one run, one per drive, each held open (without delete sharing)
// until the run ends, so that none is renamed or replaced while files are moved into it.
struct PendingFolders {
  struct Drive {
    wchar_t letter = 0;
    std::wstring topPath, runPath;  // extended form
    UniqueFile top, run;            // empty where the gateway acts not
    std::string problem;            // why this drive has no pending folder; empty when it has
    unsigned next = 1;              // the number of the next name
    bool used = false;              // a file was moved into it
    bool unscheduled = false;       // files came in since its folders were last scheduled
  };
  std::wstring runName;
  std::vector<Drive> drives;
};

namespace {

constexpr std::size_t kLongestName = 255;

std::wstring RunNameOfNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[48];
  std::swprintf(text, 48, L"%04u-%02u-%02u_%02u-%02u-%02u_%lu", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, GetCurrentProcessId());
  return text;
}

std::string Shown(const std::wstring& path) { return AnsiFromWide(OrdinaryPath(path)); }

// Why the opened folder may not hold what is left to the restart, or empty: it must be a
// folder, no link, and changeable by nobody but SYSTEM, the administrators and TrustedInstaller.
std::string FolderProblem(HANDLE folder) {
  DWORD attributes = 0;
  DWORD tag = 0;
  if (!AttributesOf(folder, attributes, tag)) return "it cannot be read";
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return "it is a link";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "it is not a folder";
  static const std::wstring self = ProcessUserSid();
  // The pending folder is made owned by Administrators: the account itself passes only where
  // the system keeps no owners (Wine).
  return UntrustedFolderReason(HandleSecurityText(folder), self, !SystemKeepsOwners(), true);
}

// Opens (making it where missing) one level of the pending folder; empty, or why not.
std::string OpenLevel(CleanerContext& context, const std::wstring& path, UniqueFile& folder) {
  if (const DWORD error = context.effects.OpenPrivateFolder(path, folder); error != ERROR_SUCCESS) {
    return Shown(path) + ": " + SystemErrorText(error);
  }
  // The name is judged too: a platform that opens a link as its target (Wine's host links)
  // shows the link only there.
  const DWORD named = GetFileAttributesW(path.c_str());
  const bool link = named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!folder && !link) return {};  // a gateway that acts not: nothing was made to judge
  const std::string problem = link ? "it is a link" : FolderProblem(folder.Get());
  return problem.empty() ? std::string() : Shown(path) + ": " + problem;
}

PendingFolders::Drive& DriveOf(CleanerContext& context, wchar_t letter) {
  if (!context.pendingFolders) context.pendingFolders = std::make_shared<PendingFolders>();
  PendingFolders& folders = *context.pendingFolders;
  for (PendingFolders::Drive& drive : folders.drives) {
    if (drive.letter == letter) return drive;
  }
  if (folders.runName.empty()) folders.runName = RunNameOfNow();
  PendingFolders::Drive& drive = folders.drives.emplace_back();
  drive.letter = letter;
  drive.topPath = std::wstring(L"\\\\?\\") + letter + L":\\" + kPendingFolderName;
  drive.runPath = drive.topPath + L"\\" + folders.runName;
  drive.problem = OpenLevel(context, drive.topPath, drive.top);
  if (drive.problem.empty()) drive.problem = OpenLevel(context, drive.runPath, drive.run);
  return drive;
}

// The drive letter of an extended drive path ("\\?\C:\..."), upper case; 0 for any other form.
wchar_t DriveLetterOf(const std::wstring& path) {
  const std::wstring extended = path.starts_with(L"\\\\?\\") ? path : ExtendedPath(path);
  if (extended.size() < 7 || extended.compare(0, 4, L"\\\\?\\") != 0 || extended[5] != L':' || extended[6] != L'\\') {
    return 0;
  }
  const wchar_t letter = extended[4];
  if (letter >= L'a' && letter <= L'z') return static_cast<wchar_t>(letter - L'a' + L'A');
  return letter >= L'A' && letter <= L'Z' ? letter : 0;
}

// "N name": numbered, so that files of one name from several folders never meet, and cut to
// what a name may hold.
std::wstring PendingName(unsigned number, const std::wstring& name) {
  std::wstring pending = std::to_wstring(number) + L" " + name;
  if (pending.size() > kLongestName) pending.resize(kLongestName);
  return pending;
}

RestartPathSecurity& SystemRestartPathSecurity() {
  static RestartPathSecurity security;
  return security;
}

}  // namespace

std::wstring RestartPathSecurity::SecurityOf(const std::wstring& folder) {
  DWORD error = ERROR_SUCCESS;
  const UniqueFile opened = OpenAsItself(folder, READ_CONTROL | FILE_READ_ATTRIBUTES, error);
  return opened ? HandleSecurityText(opened.Get()) : std::wstring();
}

bool RestartPathSecurity::KeepsOwners() { return SystemKeepsOwners(); }

std::string ByPathProblem(CleanerContext& context, const std::wstring& final) {
  const std::wstring path = final.starts_with(L"\\\\?\\") ? final : ExtendedPath(final);
  if (DriveLetterOf(path) == 0) return "it does not lie on a drive";
  RestartPathSecurity& security =
      context.restartPathSecurity != nullptr ? *context.restartPathSecurity : SystemRestartPathSecurity();
  static const std::wstring self = ProcessUserSid();
  const bool selfTrusted = !security.KeepsOwners();
  // The root ("\\?\C:\"), then each folder down to the one that holds the item.
  for (std::size_t cut = 6; cut != std::wstring::npos && cut < path.size(); cut = path.find(L'\\', cut + 1)) {
    const std::wstring level = cut == 6 ? path.substr(0, 7) : path.substr(0, cut);
    if (cut != 6) {
      const DWORD attributes = GetFileAttributesW(level.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Shown(level) + ": it is a link";
      }
    }
    const std::wstring sddl = security.SecurityOf(level);
    if (sddl.empty()) return Shown(level) + ": its security cannot be read";
    if (const std::string problem = UntrustedFolderReason(sddl, self, selfTrusted, false); !problem.empty()) {
      return Shown(level) + ": " + problem;
    }
  }
  return {};
}

MovedAside MoveAsideForRestart(CleanerContext& context, HANDLE parent, const std::wstring& name,
                               const std::wstring& path, const std::wstring& final) {
  MovedAside moved;
  {
    // Open elsewhere without delete sharing, it can no more be moved than deleted: no pending
    // folder is made for it.
    UniqueFile probe;
    if (const DWORD error = OpenChild(parent, name, DELETE, false, probe); error == ERROR_SHARING_VIOLATION) {
      moved.error = error;
      moved.problem = SystemErrorText(error);
      return moved;
    }
  }
  const wchar_t letter = DriveLetterOf(final);
  if (letter == 0) {
    moved.error = ERROR_NOT_SAME_DEVICE;
    moved.problem = "it does not lie on a drive";
    return moved;
  }
  PendingFolders::Drive& drive = DriveOf(context, letter);
  if (!drive.problem.empty()) {
    moved.error = ERROR_ACCESS_DENIED;
    moved.problem = drive.problem;
    return moved;
  }
  const std::wstring newName = PendingName(drive.next++, name);
  const std::wstring target = drive.runPath + L"\\" + newName;
  moved.error = context.effects.MoveChild(parent, name, path, false, drive.run.Get(), newName, target);
  if (moved.error != ERROR_SUCCESS) {
    moved.problem = SystemErrorText(moved.error);
    return moved;
  }
  drive.used = true;
  drive.unscheduled = true;
  moved.target = target;
  TraceIfOn(context, kMovedAsideText + Shown(path) + " -> " + Shown(target));
  return moved;
}

void SchedulePendingFolders(CleanerContext& context) {
  if (!context.pendingFolders) return;
  std::vector<PendingFolders::Drive>& drives = context.pendingFolders->drives;
  // Pending folders made for a file that then could not be moved hold nothing: they are let go
  // and removed (the folder above only when empty), so that none is left without a request.
  for (auto drive = drives.begin(); drive != drives.end();) {
    if (drive->used || !drive->problem.empty()) {
      ++drive;
      continue;
    }
    drive->run.Reset();
    drive->top.Reset();
    (void)context.effects.RemoveEmptyFolder(drive->runPath);
    (void)context.effects.RemoveEmptyFolder(drive->topPath);
    drive = drives.erase(drive);
  }
  for (PendingFolders::Drive& drive : drives) {
    if (!drive.unscheduled) continue;
    drive.unscheduled = false;
    // The run's folder, then the folder above it, which goes once no run's folder is left.
    for (const std::wstring* folder : {&drive.runPath, &drive.topPath}) {
      const DWORD error = context.effects.DeleteAtRestart(*folder);
      if (error == ERROR_SUCCESS) {
        TraceIfOn(context, kPendingFolderScheduledText + Shown(*folder));
      } else if (error != kBackupRefusedCode) {
        AddInfo(context, kRestartNotScheduledText + Shown(*folder) + " - " + SystemErrorText(error));
      }
    }
  }
}
