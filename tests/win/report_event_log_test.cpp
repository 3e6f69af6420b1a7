#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/files/files.h"
#include "platform/handles.h"
#include "report/event_log.h"
#include "report/run_recorder.h"
#include "report/trace_log.h"
#include "tests/support/trace_messages.h"
#include "tests/support/wine_test_support.h"

namespace {

// Wine's event log keeps nothing: the entries are taken where the program hands them over.
class RecordedEventLog : public EventLog {
 public:
  void Write(EventKind kind, const std::string& text) override { entries.emplace_back(kind, text); }
  std::vector<std::pair<EventKind, std::string>> entries;
};

}  // namespace

TEST(EventLogSeam, AnErrorGoesToTheEventLogOnlyWhileNoTraceLogIsOpen) {
  ScratchFolder scratch("events");
  RecordedEventLog events;
  RunRecord record;
  TraceLog trace;
  RunRecorder recorder(record, events, trace);
  // Before the log: a bad /TL, a settings error, a missing rule file's end.
  recorder.ErrorShown("The trace log needs a full path: x.log");
  ASSERT_EQ(events.entries.size(), 1u);
  EXPECT_EQ(events.entries[0].first, EventKind::Error);
  EXPECT_EQ(events.entries[0].second, "The trace log needs a full path: x.log");
  // With the log open, the log keeps it.
  trace.Open(scratch / "VC.LOG");
  recorder.ErrorShown("I/O error 5.");
  recorder.Listed("Could NOT delete file C:\\x", false);
  trace.Close();
  EXPECT_EQ(events.entries.size(), 1u);
  EXPECT_EQ(record.Counts().errors, 2);
  EXPECT_EQ(record.Counts().left, 1);
}

TEST(EventLogSeam, EveryStartEndsWithOneEntryWhoseKindFollowsTheExitCode) {
  const struct {
    int exitCode;
    EventKind kind;
  } cases[] = {{0, EventKind::Information}, {3010, EventKind::Information}, {1, EventKind::Warning},
               {2, EventKind::Error},       {1622, EventKind::Error},       {1639, EventKind::Error}};
  for (const auto& c : cases) {
    RecordedEventLog events;
    RunRecord record;
    record.Change("delete-key", "HKEY_CURRENT_USER\\Software\\X", 0);
    WriteEndEntry(events, "1.2.3.4", record, c.exitCode);
    ASSERT_EQ(events.entries.size(), 1u) << c.exitCode;
    EXPECT_EQ(events.entries[0].first, c.kind) << c.exitCode;
    EXPECT_EQ(events.entries[0].second, "Velmora Cleaner 1.2.3.4: " + SummaryLine(record.Counts(), c.exitCode));
  }
}

namespace {

constexpr char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Velmora Cleaner";

// The message file the source's key names; "<none>" where there is no key.
std::string RegisteredMessageFile() {
  UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return "<none>";
  char file[MAX_PATH + 1] = {};
  DWORD size = sizeof file - 1;
  if (RegQueryValueExA(key.Get(), "EventMessageFile", nullptr, nullptr, reinterpret_cast<BYTE*>(file), &size) !=
      ERROR_SUCCESS) {
    return "<no value>";
  }
  return file;
}

}  // namespace

// The live form registers its source under the Application log on first use, naming this
// program as the message file; a key that names another file (an earlier run's copy, often in
// a temporary folder since gone) is brought up to date. /DETECT's form registers nothing.
TEST(EventLogSeam, TheLiveFormRegistersItsSourceNamingThisProgram) {
  (void)RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSourceKey);
  WindowsEventLog detect(false);
  detect.Write(EventKind::Information, "Velmora Cleaner tests: detection registers nothing");
  EXPECT_EQ(RegisteredMessageFile(), "<none>");

  WindowsEventLog events;
  events.Write(EventKind::Information, "Velmora Cleaner tests: the event source is registered");
  UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_READ | KEY_SET_VALUE, key.Put()), ERROR_SUCCESS);
  DWORD types = 0;
  DWORD size = sizeof types;
  ASSERT_EQ(RegQueryValueExA(key.Get(), "TypesSupported", nullptr, nullptr, reinterpret_cast<BYTE*>(&types), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(types, static_cast<DWORD>(EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE));
  EXPECT_EQ(RegisteredMessageFile(), ProgramPath());

  const char stale[] = "C:\\Users\\admin\\AppData\\Local\\Temp\\old\\Cleaner.exe";
  ASSERT_EQ(RegSetValueExA(key.Get(), "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(stale),
                           sizeof stale),
            ERROR_SUCCESS);
  WindowsEventLog later;
  later.Write(EventKind::Warning, "Velmora Cleaner tests: the stale message file is replaced");
  EXPECT_EQ(RegisteredMessageFile(), ProgramPath());
}

// Event Viewer reads each entry's text from the program's message table: every event ID the
// program writes gives back the entry's own text.
TEST(EventLogSeam, TheProgramsMessageTableGivesEveryEntrysText) {
  const std::string program = BuildFolder() + "\\Cleaner.exe";
  const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << program;
  for (const EventKind kind : {EventKind::Information, EventKind::Warning, EventKind::Error}) {
    const std::string text = "Velmora Cleaner 1.2.3.4: 3 changes, exit code 1";
    const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
    char buffer[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, EventIdOf(kind), 0x409,
                       buffer, sizeof buffer, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    EXPECT_EQ(std::string(buffer, length), text + "\r\n") << EventIdOf(kind);
  }
  FreeLibrary(module);
}

TEST(TraceLogFirstBlock, IsWrittenOnOpeningInTheChosenEncoding) {
  ScratchFolder scratch("firstblock");
  const struct {
    bool utf8;
    std::string expectedName;
  } cases[] = {{true, "Computer: \xD0\x9F\xD0\x9A"}, {false, "Computer: ??"}};
  for (const auto& c : cases) {
    TraceLog trace;
    trace.SetUtf8(c.utf8);
    // Cyrillic in UTF-8; the ANSI form of a Western code page cannot hold it.
    trace.SetFirstLines({"Velmora Cleaner 1.0", "Computer: \xD0\x9F\xD0\x9A"});
    trace.Open(scratch / "VC.LOG");
    trace.Write("Log file created");
    // A CJK name no code page of the machines at hand holds.
    trace.WriteNamed("Removed file ", L"C:\\P\\\x65E5.dat", "C:\\P\\?.dat");
    trace.Close();
    const std::vector<std::string> messages = TraceMessages(scratch / "VC.LOG");
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3], c.utf8 ? "Removed file C:\\P\\\xE6\x97\xA5.dat" : "Removed file C:\\P\\?.dat");
    EXPECT_EQ(messages[0], "Velmora Cleaner 1.0");
    if (c.utf8 || GetACP() == 1252) {
      EXPECT_EQ(messages[1], c.expectedName);
    }
    EXPECT_EQ(messages[2], "Log file created");
  }
}
