#include "tools/fleet/fleet_run.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/errors.h"
#include "startup/command_switches.h"
#include "tools/fleet/json_pull.h"

namespace {

using Token = JsonPull::Token;
namespace field = report_field;

constexpr int kRestartRequired = 3010;
constexpr int kSomethingLeft = 1;

bool Is(const std::string& key, std::string_view name) { return key.size() == name.size() && key == name; }

std::string ReadText(JsonPull& json, std::string_view name) {  // name: for the message only
  const Token token = json.Next();
  if (token == Token::Null) return {};
  if (token != Token::String) json.Fail(std::string(name) + " is not a text");
  return json.Text();
}

long long ReadInteger(JsonPull& json, std::string_view name) {
  if (json.Next() != Token::Number) json.Fail(std::string(name) + " is not a number");
  return json.Integer(std::string(name));
}

void ReadCounts(JsonPull& json, RunCounts& counts) {
  if (const Token token = json.Next(); token != Token::BeginObject) {
    json.Skip(token);
    json.Fail(std::string(field::kCounts) + " is not an object");
  }
  for (Token token = json.Next(); token != Token::EndObject; token = json.Next()) {
    const std::string& key = json.Text();
    const auto known = std::find_if(std::begin(kCountFields), std::end(kCountFields),
                                    [&key](const CountField& count) { return key == count.name; });
    if (known == std::end(kCountFields)) {
      json.SkipNext();
      continue;
    }
    const std::string name = std::string(field::kCounts) + "." + known->name;
    const long long value = ReadInteger(json, name);
    if (value < 0 || value > INT_MAX) json.Fail(name + " is out of range: " + json.Text());
    counts.*(known->member) = static_cast<int>(value);
  }
}

void ReadRuleFile(JsonPull& json, FleetRun& run) {
  const Token first = json.Next();
  if (first == Token::Null) return;
  if (first != Token::BeginObject) json.Fail(std::string(field::kRuleFile) + " is not an object");
  for (Token token = json.Next(); token != Token::EndObject; token = json.Next()) {
    if (Is(json.Text(), field::kRuleFileSha256)) {
      run.ruleSha256 = ReadText(json, std::string(field::kRuleFile) + "." + field::kRuleFileSha256);
    } else {
      json.SkipNext();
    }
  }
}

void Keep(std::vector<std::string>& lines, const std::string& line) {
  if (lines.size() < FleetRun::kMaxLines && std::find(lines.begin(), lines.end(), line) == lines.end()) {
    lines.push_back(line);
  }
}

// One step: what stayed goes to the lines left, refusals, failures and errors to the reasons.
// Keys are told apart as they are read: a report holds thousands of steps.
void ReadStep(JsonPull& json, FleetRun& run) {
  std::string action, outcome, reason;
  for (Token token = json.Next(); token != Token::EndObject; token = json.Next()) {
    const std::string& key = json.Text();
    if (Is(key, field::kAction)) action = ReadText(json, field::kAction);
    else if (Is(key, field::kOutcome)) outcome = ReadText(json, field::kOutcome);
    else if (Is(key, field::kReason)) reason = ReadText(json, field::kReason);
    else json.SkipNext();
  }
  if (outcome == step_outcome::kDone) return;
  if (outcome == step_outcome::kLeft) Keep(IsRefusal(reason) ? run.reasons : run.left, reason);
  if (outcome == step_outcome::kFailed) Keep(run.reasons, action + " failed: " + reason);
  if (outcome == step_outcome::kError) Keep(run.reasons, "error: " + reason);
}

void ReadActions(JsonPull& json, FleetRun& run) {
  const Token first = json.Next();
  if (first != Token::BeginArray) {
    json.Skip(first);
    json.Fail(std::string(field::kActions) + " is not a list");
  }
  for (Token token = json.Next(); token != Token::EndArray; token = json.Next()) {
    if (token != Token::BeginObject) {
      json.Skip(token);
      json.Fail(std::string(field::kActions) + " holds something that is not an object");
    }
    ReadStep(json, run);
  }
}

int Digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int yearOfEra = year - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<long long>(era) * 146097 + dayOfEra - 719468;
}

std::string TwoDigits(long long value) {
  return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

}  // namespace

const char* OutcomeName(FleetOutcome outcome) {
  switch (outcome) {
    case FleetOutcome::Clean: return "clean";
    case FleetOutcome::RestartPending: return "restart pending";
    case FleetOutcome::Left: return "left";
    case FleetOutcome::Failed: return "failed";
    case FleetOutcome::RefusedCommandLine: return "refused command line";
    case FleetOutcome::AnotherCopy: return "another copy running";
    case FleetOutcome::NeverReported: return "never reported";
  }
  return "";
}

FleetOutcome OutcomeOfExitCode(long long exitCode) {
  switch (exitCode) {
    case 0: return FleetOutcome::Clean;
    case kRestartRequired: return FleetOutcome::RestartPending;
    case kSomethingLeft: return FleetOutcome::Left;
    case kInvalidCommandLineExitCode: return FleetOutcome::RefusedCommandLine;
    case kAnotherInstanceExitCode: return FleetOutcome::AnotherCopy;
    default: return FleetOutcome::Failed;
  }
}

bool IsRefusal(std::string_view line) { return line.starts_with("Refused") || line.starts_with("Skipped"); }

FleetRun ReadFleetRun(ByteSource& source) {
  JsonPull json(source);
  FleetRun run;
  bool hasVersion = false, hasComputer = false, hasExitCode = false;
  if (const Token first = json.Next(); first != Token::BeginObject) {
    json.Fail(first == Token::BeginArray ? "not a report: a JSON list, not an object" : "not a report: not a JSON object");
  }
  for (Token token = json.Next(); token != Token::EndObject; token = json.Next()) {
    const std::string& key = json.Text();
    if (Is(key, field::kSchemaVersion)) {
      run.schemaVersion = ReadInteger(json, field::kSchemaVersion);
      hasVersion = true;
    } else if (Is(key, field::kComputer)) {
      run.computer = ReadText(json, field::kComputer);
      hasComputer = true;
    } else if (Is(key, field::kExitCode)) {
      run.exitCode = ReadInteger(json, field::kExitCode);
      hasExitCode = true;
    } else if (Is(key, field::kProgramVersion)) {
      run.programVersion = ReadText(json, field::kProgramVersion);
    } else if (Is(key, field::kStart)) {
      run.start = ReadText(json, field::kStart);
    } else if (Is(key, field::kEnd)) {
      run.end = ReadText(json, field::kEnd);
    } else if (Is(key, field::kRuleFile)) {
      ReadRuleFile(json, run);
    } else if (Is(key, field::kCounts)) {
      ReadCounts(json, run.counts);
    } else if (Is(key, field::kActions)) {
      ReadActions(json, run);
    } else {
      json.SkipNext();
    }
  }
  json.Next();  // nothing may follow the report
  if (!hasVersion) json.Fail(std::string("not a cleaner report: no ") + field::kSchemaVersion);
  if (run.schemaVersion < 1) {
    json.Fail("schema version " + std::to_string(run.schemaVersion) + ", older than any this tool reads (1 to " +
              std::to_string(kReportSchemaVersion) + ")");
  }
  if (!hasComputer || run.computer.empty()) json.Fail("the report names no computer");
  if (!hasExitCode) json.Fail(std::string("the report has no ") + field::kExitCode);
  return run;
}

std::string MachineKey(std::string_view name) {
  std::string key(name.substr(0, name.find('.')));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

std::string UtcSortKey(std::string_view time) {
  // yyyy-mm-ddThh:mm:ss followed by Z or +hh:mm / -hh:mm
  if (time.size() < 20 || time[4] != '-' || time[7] != '-' || time[10] != 'T' || time[13] != ':' || time[16] != ':') {
    return {};
  }
  const int year = Digits(time, 0, 4), month = Digits(time, 5, 2), day = Digits(time, 8, 2);
  const int hour = Digits(time, 11, 2), minute = Digits(time, 14, 2), second = Digits(time, 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 60) {
    return {};
  }
  long long offsetMinutes = 0;
  const std::string_view zone = time.substr(19);
  if (zone != "Z") {
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return {};
    const int zoneHours = Digits(zone, 1, 2), zoneMinutes = Digits(zone, 4, 2);
    if (zoneHours < 0 || zoneMinutes < 0) return {};
    offsetMinutes = (zone[0] == '-' ? -1 : 1) * (zoneHours * 60LL + zoneMinutes);
  }
  long long minutes = DaysFromCivil(year, month, day) * 1440 + hour * 60 + minute - offsetMinutes;
  const long long days = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
  minutes -= days * 1440;
  // Back from days to a civil date.
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long dayOfEra = z - era * 146097;
  const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long mp = (5 * dayOfYear + 2) / 153;
  const long long utcDay = dayOfYear - (153 * mp + 2) / 5 + 1;
  const long long utcMonth = mp < 10 ? mp + 3 : mp - 9;
  const long long utcYear = yearOfEra + era * 400 + (utcMonth <= 2 ? 1 : 0);
  if (utcYear < 0 || utcYear > 9999) return {};
  std::string out = std::to_string(utcYear);
  out.insert(0, 4 - out.size(), '0');
  return out + "-" + TwoDigits(utcMonth) + "-" + TwoDigits(utcDay) + "T" + TwoDigits(minutes / 60) + ":" +
         TwoDigits(minutes % 60) + ":" + TwoDigits(second) + "Z";
}
