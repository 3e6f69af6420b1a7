#pragma once
// Small text rules shared by every part of the cleaner. Texts are single-byte
// strings in the ANSI code page.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Upper-cases a to z only; every other byte, Cyrillic included, stays.
std::string UpperAscii(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// 1-based position of the first occurrence of part in text; 0 when absent or either is empty.
int PositionOf(std::string_view part, std::string_view text);

// Decimal with optional sign, or hexadecimal introduced by $, x, X, 0x or 0X; leading
// blanks allowed, nothing after. Raises EConvertError "'%s' is not a valid integer value".
std::int32_t ParseInteger(std::string_view text);

std::string IntToText(long long value);

// Everything before the last `\` or `:`, keeping the `\` of a drive root ("C:\") or of a
// doubled `\`. FileNameOfPath: everything after it.
std::string FolderOfPath(std::string_view path);
std::string FileNameOfPath(std::string_view path);

// Splits a command line into items: blanks and control bytes separate items, a double
// quote opens a quoted run, each item holds at most kMaxArgumentLength bytes. The first
// item (the program's own name) is included; arguments stop at the first empty item.
inline constexpr std::size_t kMaxArgumentLength = 4096;
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
// The arguments after the program's name, up to, not including, the first empty item.
std::vector<std::string> CommandLineArguments(std::string_view commandLine);

// Local time as read from the system, and the locale facts the stamp patterns need.
struct LocalTime {
  int year = 0, month = 0, day = 0, dayOfWeek = 0;  // dayOfWeek: 0 = Sunday
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
struct TimeLocale {
  std::string shortDatePattern;  // LOCALE_SSHORTDATE; empty means "m/d/yy"
  bool hourLeadingZero = false;  // LOCALE_ITLZERO != 0
  bool twelveHourClock = false;  // LOCALE_ITIME == 0
  bool markBeforeTime = false;   // LOCALE_ITIMEMARKPOSN != 0
  std::string dateSeparator = "/";
  std::string timeSeparator = ":";
  std::string amDesignator = "am";
  std::string pmDesignator = "pm";
  std::string shortMonthNames[12];
  std::string longMonthNames[12];
  std::string shortDayNames[7];  // Sunday first
  std::string longDayNames[7];
};
// The long time pattern built from the locale ("h:mm:ss", "hh:mm:ss", with AMPM).
std::string LongTimePattern(const TimeLocale& locale);
// Formats one pattern (date or time letters as the trace log uses them).
std::string FormatDateTime(std::string_view pattern, const LocalTime& time, const TimeLocale& locale);
// The trace log's stamp: the short date, then a blank and the long time unless exactly midnight.
std::string FormatTimeStamp(const LocalTime& time, const TimeLocale& locale);
