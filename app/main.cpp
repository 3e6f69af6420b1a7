#include <windows.h>
#include <commctrl.h>

#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "backup/backup_effects.h"
#include "engine/gateway/tracing_effects.h"
#include "platform/effects.h"
#include "platform/files.h"
#include "platform/text_rules.h"
#include "report/quiet_reporter.h"
#include "report/trace_log.h"
#include "startup/command_switches.h"
#include "startup/startup.h"
#include "ui/desktop_reporter.h"
#include "ui/error_handler.h"
#include "ui/info_window.h"
#include "ui/main_window.h"

// The main routine: the main window is created hidden (its creation runs start-up, and in
// run mode 1 the cleaning); only in run mode 0 is it shown and served until it closes.
// The exit code tells a script whether everything was removed (0), something was not (1)
// or an error was shown (2).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX commonControls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  InitCommonControlsEx(&commonControls);

  CleanerState state;
  // Known before anything can show a box: in the quiet mode nothing may wait for a click.
  state.QuietMode = QuietRequested(CommandLineArguments(CommandLineText()));
  TraceLog trace;
  DesktopReporter desktop;
  QuietReporter quiet;
  Reporter& reporter = state.QuietMode ? static_cast<Reporter&>(quiet) : desktop;
  int exitCode = 0;
  {
    // With /TL, the log records every change that took effect; with a backup folder, each
    // change is kept before it is made.
    BackupEffects backup(LiveEffects::Instance());
    TracingEffects effects(backup, state, trace);
    const auto startup = [&backup](CleanerContext& context) {
      context.runHook = &backup;
      RunStartup(context);
    };
    TForm1 form1(state, effects, reporter, trace, {startup, RunCleaning});
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
    // Every line written reaches the file, whichever way the program ends. Writing out the
    // last lines can fail too (a full disk): that error is shown like any other and the
    // program still ends.
    Guarded(&context, [&] { trace.Close(); });
    exitCode = context.outcome.ExitCode();
  }
  return exitCode;
}
