#pragma once
// What the system is to delete at the next restart is first moved out of its folder into a
// folder of the cleaner's own on the same volume, "<drive>:\VelmoraCleaner.pending\<run>",
// which only SYSTEM and the administrators may change, and scheduled there: a folder of the
// tree swapped for a link after the run cannot send the deletion elsewhere, and the folder it
// came from is empty at once. Every move and every scheduling goes through the gateway.
#include <windows.h>

#include <string>

struct CleanerContext;

// The folder below each drive's root that holds what the cleaner left to the restart.
inline constexpr wchar_t kPendingFolderName[] = L"VelmoraCleaner.pending";

// Where a file in use went, or why it stays where it is.
struct MovedAside {
  DWORD error = ERROR_SUCCESS;  // ERROR_SUCCESS: moved; kBackupRefusedCode: listed by the backup
  std::wstring target;          // the file's new full name, when moved
  std::string problem;          // why it was not moved, for the line
};

// Moves the file `name` of the folder open as parent (path: its full name; final: the name
// the system gives for it, extended form, which tells its volume) into this run's pending
// folder on that volume. The pending folder is made on first use (a folder of that name that
// exists must be a folder, no link, and changeable by nobody but the administrators); a
// volume whose pending folder cannot be had is not tried again in the run.
MovedAside MoveAsideForRestart(CleanerContext& context, HANDLE parent, const std::wstring& name,
                               const std::wstring& path, const std::wstring& final);

// Has the system delete, at the next restart, the pending folders that got files since this
// was last called, after those files: each a trace line, a refusal a line of its own. Pending
// folders that got no file (its move failed) are removed again. Called after each entry, so
// that whatever ends the run later, what was moved aside has its folders scheduled after it.
void SchedulePendingFolders(CleanerContext& context);

// Where the security descriptors of the folders on the way to something scheduled by its path
// are read: the system's, unless a test feeds Windows' own (Wine keeps none).
class RestartPathSecurity {
 public:
  virtual ~RestartPathSecurity() = default;
  // The folder's descriptor in SDDL (owner and access list), read as itself; empty when it
  // cannot be read.
  virtual std::wstring SecurityOf(const std::wstring& folder);
  virtual bool KeepsOwners();
};

// Why a request to delete `final` (extended form) at the restart by its path could be sent
// elsewhere, or empty. The system follows links on the path when it carries the request out,
// long after the run: every folder on the way, from the drive's root down, must be no link
// and changeable by nobody but SYSTEM, the administrators and TrustedInstaller (a drive's
// root may let users add folders), so that none can be swapped for a link meanwhile.
std::string ByPathProblem(CleanerContext& context, const std::wstring& final);

// After the path refused by ByPathProblem and " - "; followed by why.
inline constexpr char kPathNotSafeText[] = "by its path the deletion could be sent elsewhere: ";

// Traced for each pending folder scheduled; followed by the folder.
inline constexpr char kPendingFolderScheduledText[] = "The cleaner's own folder goes at the restart too: ";
// Traced for each file moved aside; followed by the file, " -> " and its new name.
inline constexpr char kMovedAsideText[] = "Moved aside for deletion at restart: ";
