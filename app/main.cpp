#include <windows.h>

#include <optional>
#include <string>

#include "backup/backup_effects.h"
#include "backup/backup_folders.h"
#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "engine/gateway/tracing_effects.h"
#include "engine/guards/windows_files_win.h"
#include "platform/effects.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/handles.h"
#include "platform/security/privileges.h"
#include "platform/text/app_title.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"
#include "report/event_log.h"
#include "report/output_file.h"
#include "report/parent_console.h"
#include "report/quiet_reporter.h"
#include "report/run_recorder.h"
#include "report/trace_log.h"
#include "startup/command_switches.h"
#include "startup/detection.h"
#include "startup/own_folder.h"
#include "startup/single_instance.h"
#include "startup/program_version.h"
#include "startup/settings_parser.h"
#include "startup/startup.h"
#include "ui/desktop_reporter.h"
#include "ui/error_handler.h"
#include "ui/info_window.h"
#include "ui/main_window.h"

namespace {

constexpr char kAnotherCopyText[] = "Another Velmora Cleaner is running; this one ended without changing anything";

// To the parent's console or standard output; else a box, which never appears under /Q.
void Tell(const std::string& text, bool quiet, UINT icon) {
  if (WriteToParent(text) || quiet) return;
  const std::string title = ApplicationTitle();
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | icon);
}

// The path is the command line's, in UTF-8.
bool IsUsableFilePath(const std::string& path) {
  return IsFullPath(WideFromUtf8(path)) && IsExistingFolderWide(WideFromUtf8(FolderOfPath(path)));
}

// Writes the report as UTF-8 into the file made for it at start; false when it cannot.
bool WriteReportFile(const UniqueFile& file, const std::string& json) {
  DWORD written = 0;
  return file && WriteFile(file.Get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr) &&
         written == json.size();
}

RunFacts FactsOfThisStart(const std::string& commandLine) {
  return GatherRunFacts(kProgramVersion, commandLine, FolderOfPath(ProgramPath()) + "\\" + kRuleFileName);
}

// A start refused before it began reports too where /REPORT could be read, so that a fleet's
// summary counts it. While another copy runs it never replaces a file: that copy's report
// may go to the same path (a report that copy holds open is never replaced in any case).
void ReportRefusedStart(const std::string& reportPath, const std::string& commandLine, const std::string& why,
                        int exitCode, bool anotherCopyRuns) {
  if (reportPath.empty() || !IsUsableFilePath(reportPath)) return;
  const std::wstring path = WideFromUtf8(reportPath);
  if (anotherCopyRuns && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  const OutputFile made = MakeOutputFile(path);
  RunRecord record;
  record.Error(Utf8FromWide(WideFromAnsi(why)));
  const ReportTimes times{IsoTimeNow(), IsoTimeNow()};
  WriteReportFile(made.file, ReportJson(FactsOfThisStart(commandLine), {}, times, record, exitCode));
}

std::vector<std::string> SettingsForReport(const CleanerState& state) {
  std::vector<std::string> settings;
  for (const std::string& line : SettingsInEffect(state)) settings.push_back(line.substr(line.find(": ") + 2));
  return settings;
}

// What a start of the program shares, whichever mode it runs in.
struct Session {
  const CommandLineChoices& choices;
  std::string commandLine;
  WindowsEventLog& events;
  TraceLog trace;
  RunRecord record;
  CleanerState state;
};

// The main routine's run: the main window is created hidden (its creation runs start-up, and
// in run mode 1 the cleaning); only in run mode 0 is it shown and served until it closes.
// The exit code tells a script whether everything was removed (0), something was not (1)
// or an error was shown (2).
int RunCleaner(Session& session) {
  CleanerState& state = session.state;
  // Known before anything can show a box: in the quiet mode nothing may wait for a click.
  state.QuietMode = session.choices.quiet;
  DesktopReporter desktop;
  QuietReporter quiet;
  Reporter& reporter = state.QuietMode ? static_cast<Reporter&>(quiet) : desktop;
  RunRecorder recorder(session.record, session.events, session.trace);
  // With /TL, the log records every change that took effect; with a backup folder, each
  // change is kept before it is made; the report keeps every change asked for.
  BackupEffects backup(LiveEffects::Instance());
  RecordingLayer recording(backup, session.record);
  TracingEffects effects(recording, state, session.trace);
  const auto startup = [&backup, &recorder](CleanerContext& context) {
    context.runHook = &backup;
    context.observer = &recorder;
    RunStartup(context);
  };
  // The guards' libraries load when a run starts, with the file system redirection on: the
  // native pass turns it off, and no library loads then. Not at start, where the window waits.
  const auto cleaning = [](CleanerContext& context, RunOptions options) {
    (void)LoadWindowsFileChecks();
    RunCleaning(context, std::move(options));
  };
  TForm1 form1(state, effects, reporter, session.trace, {startup, cleaning});
  desktop.SetConfirmationOwner(form1.Handle());
  CleanerContext& context = form1.Context();
  if (state.RunMode == 0 && !state.QuietMode && form1.Handle() != nullptr) {
    // The information window after the main window is on the screen: it stays hidden
    // until the first line, and the first paint need not wait for it.
    form1.Show();
    TForm2 form2(&context);
    desktop.SetInfoWindow(&form2);
    RunMessageLoop(form1.Handle());
    desktop.SetInfoWindow(nullptr);
  }
  // A log asked for and never opened: the deployment tool learns it from its own code.
  const bool traceFailed = session.choices.traceOn && !session.trace.WasOpened();
  int exitCode = traceFailed ? kTraceLogNotOpenedExitCode : context.outcome.ExitCode();
  // Every line written reaches the file, whichever way the program ends. Writing out the
  // last lines can fail too (a full disk): that error is shown like any other and the
  // program still ends.
  bool summaryWritten = false;
  Guarded(&context, [&] {
    session.trace.Write(SummaryLine(session.record.Counts(), exitCode));
    summaryWritten = true;
  });
  if (summaryWritten) {
    Guarded(&context, [&] { session.trace.Close(); });
  } else {
    try {
      session.trace.Close();
    } catch (const std::exception&) {
      // the same failure as the summary's, shown once
    }
  }
  if (!traceFailed) exitCode = context.outcome.ExitCode();
  return exitCode;
}

// /DETECT: nothing changed, nothing shown; the one line on standard output is the answer a
// detection script gives its deployment tool.
int RunDetection(Session& session) {
  try {
    const std::vector<std::string> left =
        DetectLeftovers(session.state, session.trace, session.commandLine, ProgramPath());
    for (const std::string& line : left) session.record.Listed(Utf8FromWide(WideFromAnsi(kLeftText + line)), false);
    session.trace.Write(SummaryLine(session.record.Counts(), left.empty() ? 0 : 1));
    session.trace.Close();
    if (!left.empty()) return 1;
    WriteToParent(std::string(kProductNotFoundText) + "\r\n");
    return 0;
  } catch (const std::exception& error) {
    const bool traceFailed = session.choices.traceOn && !session.trace.WasOpened();
    const std::string message = WithFullStop(error.what());
    RunRecorder(session.record, session.events, session.trace).ErrorShown(message);
    try {
      session.trace.Write(message);
      session.trace.Write(SummaryLine(session.record.Counts(), 2));
      session.trace.Close();
    } catch (const std::exception&) {
    }
    return traceFailed ? kTraceLogNotOpenedExitCode : 2;
  }
}

// The program's folder is one others may change: nothing in it is read, nothing is run. The
// refusal goes to the event log, to the parent's console or a box, and to the trace log asked for.
int RefuseOwnFolder(const CommandLineChoices& choices, const std::string& commandLine, WindowsEventLog& events,
                    const std::string& problem) {
  const std::string message = kOwnFolderRefusedText + problem;
  events.Write(EventKind::Error, message + " (" + commandLine + ")");
  Tell(message, choices.quiet, MB_ICONSTOP);
  if (choices.traceOn && !choices.tracePath.empty()) {
    try {
      TraceLog trace;
      trace.SetUtf8(choices.traceUtf8);
      trace.Open(choices.tracePath);
      trace.Write(message);
      trace.Write(SummaryLine(RunRecord{}.Counts(), 2));
      trace.Close();
    } catch (const std::exception&) {
      // the event log holds the refusal
    }
  }
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Read wide, held in UTF-8: a report or log named in any alphabet is made where it is named.
  const std::string commandLine = CommandLineText();
  const std::string shownLine = AnsiFromUtf8(commandLine);  // for messages, held in the ANSI code page
  const CommandLineChoices choices = ParseCommandLine(CommandLineArguments(commandLine));
  // /DETECT changes nothing, the event source's registration included.
  WindowsEventLog events(!choices.detect);
  if (!choices.problem.empty()) {
    // Before anything is read or changed, and never a window: a typo must not start a run.
    const std::string problem = AnsiFromUtf8(choices.problem);
    events.Write(EventKind::Error, "Invalid command line: " + problem + " (" + shownLine + ")");
    const std::string reportPath = ReportPathRequested(CommandLineArguments(commandLine));
    if (!reportPath.empty()) {
      // Whether another copy runs decides whether a report already there may be replaced; the
      // claim is held while this start writes its own.
      SystemInstanceObjects probe(InstanceLockFolder());
      const bool anotherCopyRuns = ClaimInstance(probe).claim == InstanceClaim::AnotherRuns;
      ReportRefusedStart(reportPath, commandLine, "Invalid command line: " + problem, kInvalidCommandLineExitCode,
                         anotherCopyRuns);
    }
    Tell(problem + "\r\n\r\n" + UsageText(), QuietRequested(CommandLineArguments(commandLine)), MB_ICONSTOP);
    return kInvalidCommandLineExitCode;
  }
  if (choices.help || choices.version) {
    Tell(choices.help ? UsageText() : std::string("Velmora Cleaner ") + kProgramVersion + "\r\n", choices.quiet,
         MB_ICONINFORMATION);
    return 0;
  }
  // Before anything of the folder is read: its settings and rules decide what is deleted.
  const OwnFolderVerdict ownFolder = JudgeOwnFolder(SystemFolderSecurity(), ProgramPath());
  if (!ownFolder.problem.empty()) return RefuseOwnFolder(choices, shownLine, events, ownFolder.problem);
  // One cleaner at a time on the machine, in any session: two runs would trip over each other.
  SystemInstanceObjects instance(InstanceLockFolder());
  const InstanceVerdict claim = ClaimInstance(instance);
  if (claim.claim == InstanceClaim::AnotherRuns) {
    events.Write(EventKind::Warning, std::string(kAnotherCopyText) + " (exit code 1618): " + shownLine);
    ReportRefusedStart(choices.reportPath, commandLine, kAnotherCopyText, kAnotherInstanceExitCode, true);
    return kAnotherInstanceExitCode;
  }
  if (claim.claim == InstanceClaim::Unknown) {
    events.Write(EventKind::Warning, "Whether another Velmora Cleaner runs cannot be told (" +
                                         std::to_string(claim.error) + "); this one goes on: " + shownLine);
  }
  // Enabled once and kept for the whole run (undo too): every open asks with backup intent, so
  // a file or key access-listed to SYSTEM answers the same whoever is signed in; taking
  // ownership is the last way to a key that even they do not open.
  const std::vector<std::string> privilegeLines = EnablePrivileges({kBackupPrivilege, kRestorePrivilege, kTakeOwnershipPrivilege});
  Session session{choices, commandLine, events, {}, RunRecord{}, {}};
  session.trace.SetUtf8(choices.traceUtf8);
  session.record.KeepSteps(!choices.reportPath.empty());
  // Gathered once, when the log opens or a report is asked for: a plain start shows its
  // window without reading the rule file twice for its hash.
  std::optional<RunFacts> gathered;
  const auto facts = [&gathered, &commandLine]() -> const RunFacts& {
    if (!gathered) {
      gathered = FactsOfThisStart(commandLine);
    }
    return *gathered;
  };
  if (!choices.reportPath.empty()) facts();  // the report names the rule file as the run found it
  session.trace.SetFirstLines([&facts, &ownFolder, &privilegeLines] {
    std::vector<std::string> lines = HeaderLines(facts());
    if (!ownFolder.note.empty()) lines.push_back(ownFolder.note);
    lines.insert(lines.end(), privilegeLines.begin(), privilegeLines.end());
    return lines;
  });
  ReportTimes times{IsoTimeNow(), {}};
  int exitCode = 0;
  bool reportUsable = choices.reportPath.empty() || IsUsableFilePath(choices.reportPath);
  // The report's file is made before anything changes, so that a path it cannot be written
  // to ends the run while nothing is removed yet.
  OutputFile reportFile;
  if (reportUsable && !choices.reportPath.empty()) reportFile = MakeOutputFile(WideFromUtf8(choices.reportPath));
  if (!reportUsable || (!choices.reportPath.empty() && !reportFile.file)) {
    const std::string shownPath = AnsiFromUtf8(choices.reportPath);
    const std::string message =
        reportUsable ? "The report cannot be made: " + shownPath + " - " + OutputFileProblem(reportFile)
                     : "The report needs a full path in a folder that exists: " + shownPath;
    reportUsable = false;
    events.Write(EventKind::Error, message);
    Tell(message, choices.quiet, MB_ICONSTOP);
    exitCode = 2;
  } else {
    exitCode = choices.detect ? RunDetection(session) : RunCleaner(session);
  }
  times.end = IsoTimeNow();
  if (!choices.reportPath.empty() && reportUsable) {
    const std::string json = ReportJson(facts(), SettingsForReport(session.state), times, session.record, exitCode);
    if (!WriteReportFile(reportFile.file, json)) {
      events.Write(EventKind::Error, "The report could not be written: " + AnsiFromUtf8(choices.reportPath));
      exitCode = 2;
    }
  }
  WriteEndEntry(events, kProgramVersion, session.record, exitCode);
  return exitCode;
}
