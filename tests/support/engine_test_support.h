#pragma once
// What the engine tests share: the one cleaner context of the tests (a recording view, a
// reporter that records and answers as told, a trace log read back as messages), helper
// processes, host links.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "engine/gateway/recording_effects.h"
#include "engine/reporter.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "report/trace_log.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/recording_view.h"

// Records like RecordingReporter; while the confirmation is asked it can run other code,
// as the real box does when it serves messages.
class ScriptedReporter : public RecordingReporter {
 public:
  bool Confirm(const std::string& text) override {
    const bool answer = RecordingReporter::Confirm(text);
    if (whileAsking) whileAsking();
    return answer;
  }

  std::function<void()> whileAsking;
};

// Writes a rule file: each line scrambled, CR LF after each (none after the last when
// lastLineEnd is false).
void WriteRuleFile(const std::string& path, const std::vector<std::string>& lines, bool lastLineEnd = true);

// The effects a context acts through: the live ones, or its own recording ones.
enum class Acting { Live, Recorded };

// Reports go to the scripted reporter and progress to the recording view unless others are given.
class EngineTestContext {
 public:
  explicit EngineTestContext(Effects& effects = LiveEffects::Instance(), Reporter* otherReporter = nullptr,
                             RunView* otherView = nullptr);
  explicit EngineTestContext(Acting acting, Reporter* otherReporter = nullptr);
  EngineTestContext(const EngineTestContext&) = delete;
  EngineTestContext& operator=(const EngineTestContext&) = delete;

  // Opens the trace log at path and turns TraceLogOn on.
  void StartTrace(const std::string& path);
  // Closes the trace log and returns its messages (the text after the stamp and three blanks).
  std::vector<std::string> TraceMessages();

  CleanerState state;
  RecordingView view;
  RecordingEffects recorded;  // what the context did, when it acts through recording effects
  ScriptedReporter reporter;
  TraceLog trace;
  CleanerContext context;

 private:
  std::string tracePath_;
};

// A program running for the life of this object (ended by the destructor if still running).
class HelperProcess {
 public:
  explicit HelperProcess(const std::string& exePath);
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  bool HasExited() const;
  HANDLE Handle() const { return process_.Get(); }

 private:
  UniqueKernelHandle process_;
};

// True when the tests run under Wine (its kernel32 has wine_get_unix_file_name).
bool RunningUnderWine();
// Makes link a host symbolic link to target (both Windows paths inside the prefix);
// false when not under Wine or the link did not appear.
bool MakeHostSymlink(const std::string& target, const std::string& link);
// Removes such a link (not what it points to); false when it is still there.
bool RemoveHostSymlink(const std::string& link);
// Gives an existing file a second name (a host hard link); false when not under Wine.
bool MakeHostHardLink(const std::string& target, const std::string& link);
// Names folder by a second drive letter (a link in the prefix's dosdevices, as subst does on
// Windows), and takes the letter away again; false when not under Wine or it did not work.
bool MakeDriveLetter(char letter, const std::string& folder);
bool RemoveDriveLetter(char letter);

// Creates folders and files through \\?\ wide paths, beyond the ANSI length limit.
void MakeFoldersWide(const std::wstring& path);
void WriteFileWide(const std::wstring& path, const std::string& bytes);
bool ExistsWide(const std::wstring& path);
// Every path below a folder (wide, depth first), and a forced removal for cleanup.
std::vector<std::wstring> ListTreeWide(const std::wstring& folder);
void RemoveTreeWide(const std::wstring& folder);

// Trees the ANSI calls cannot take whole: each is a chain of folders below the tree's top
// with a file in the deepest one, all made through extended wide paths.
struct AwkwardTree {
  const char* label;
  std::vector<std::wstring> folders;
  std::wstring file;
};
const std::vector<AwkwardTree>& AwkwardTrees();
// Makes the tree below top (a full ANSI path); returns the deepest file.
std::wstring MakeAwkwardTree(const std::string& top, const AwkwardTree& tree);
// Opens a file shared for deletion as well, the way a program that lets others delete its
// open file does: deleting it leaves it delete-pending until this handle closes.
UniqueFile HoldSharingDeletion(const std::wstring& path);

// Attributes of a path, INVALID_FILE_ATTRIBUTES when it is missing.
DWORD AttributesOf(const std::string& path);
bool Exists(const std::string& path);
