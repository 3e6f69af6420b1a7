#include <gtest/gtest.h>
#include <windows.h>

#include "platform/files/files.h"
#include "platform/text/text_rules.h"
#include "platform/text/time_stamp.h"

// Windows' own date and time formatting is the yardstick: for these locales the short
// date matches DATE_SHORTDATE and the built long time pattern matches the locale's time format.
namespace {
const LCID kLocales[] = {0x0409, 0x0809, 0x0407, 0x0419, 0x0411, 0x0412, 0x0804};

std::string WindowsDate(LCID locale, const SYSTEMTIME& time, const char* pattern) {
  char buffer[256] = {};
  const DWORD flags = pattern ? 0 : DATE_SHORTDATE;
  if (GetDateFormatA(locale, flags, &time, pattern, buffer, sizeof buffer) == 0) return "<failed>";
  return buffer;
}

std::string WindowsTime(LCID locale, const SYSTEMTIME& time) {
  char buffer[256] = {};
  if (GetTimeFormatA(locale, 0, &time, nullptr, buffer, sizeof buffer) == 0) return "<failed>";
  return buffer;
}

std::string WindowsStamp(LCID locale, const SYSTEMTIME& time) {
  const std::string date = WindowsDate(locale, time, nullptr);
  if (time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0) return date;
  return date + " " + WindowsTime(locale, time);
}

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD millisecond = 0) {
  SYSTEMTIME time{};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  time.wMilliseconds = millisecond;
  // The day of the week, as Windows counts it from the date.
  FILETIME file{};
  SystemTimeToFileTime(&time, &file);
  FileTimeToSystemTime(&file, &time);
  time.wMilliseconds = millisecond;
  return time;
}

LocalTime FromSystemTime(const SYSTEMTIME& time) {
  LocalTime local;
  local.year = time.wYear;
  local.month = time.wMonth;
  local.day = time.wDay;
  local.dayOfWeek = time.wDayOfWeek;
  local.hour = time.wHour;
  local.minute = time.wMinute;
  local.second = time.wSecond;
  local.millisecond = time.wMilliseconds;
  return local;
}
}  // namespace

TEST(TimeLocaleReading, StampsMatchWindowsFormattingAcrossLocales) {
  const SYSTEMTIME times[] = {
      At(2026, 12, 6, 21, 3, 7), At(2026, 12, 6, 9, 3, 7),   At(2026, 1, 31, 0, 0, 0, 999),
      At(2026, 1, 31, 0, 0, 1),  At(2027, 7, 4, 12, 0, 0),   At(2000, 2, 29, 23, 59, 59),
  };
  for (const LCID locale : kLocales) {
    const TimeLocale facts = ReadTimeLocale(locale);
    for (const SYSTEMTIME& time : times) {
      EXPECT_EQ(FormatTimeStamp(FromSystemTime(time), facts), WindowsStamp(locale, time))
          << "locale " << std::hex << locale << std::dec << " at " << time.wHour << ":" << time.wMinute << ":"
          << time.wSecond;
    }
  }
}

TEST(TimeLocaleReading, MonthAndDayNamesInTheirPlaces) {
  for (const LCID locale : kLocales) {
    const TimeLocale facts = ReadTimeLocale(locale);
    for (WORD month = 1; month <= 12; ++month) {
      const SYSTEMTIME time = At(2026, month, 1, 12, 0, 0);
      EXPECT_EQ(facts.longMonthNames[month - 1], WindowsDate(locale, time, "MMMM")) << locale << " " << month;
      EXPECT_EQ(facts.shortMonthNames[month - 1], WindowsDate(locale, time, "MMM")) << locale << " " << month;
    }
    // 2026-03-01 is a Sunday: seven days cover the week from Sunday on.
    for (WORD day = 1; day <= 7; ++day) {
      const SYSTEMTIME time = At(2026, 3, day, 12, 0, 0);
      ASSERT_EQ(time.wDayOfWeek, day - 1);
      EXPECT_EQ(facts.longDayNames[day - 1], WindowsDate(locale, time, "dddd")) << locale << " " << day;
      EXPECT_EQ(facts.shortDayNames[day - 1], WindowsDate(locale, time, "ddd")) << locale << " " << day;
    }
  }
  EXPECT_EQ(ReadTimeLocale(0x0409).longDayNames[0], "Sunday");
}

TEST(TimeStampNow, HasTheShapeOfTheThreadLocale) {
  const LCID locale = GetThreadLocale();
  // Read the clock on both sides; try again when a second boundary fell in between.
  for (int attempt = 0; attempt < 5; ++attempt) {
    SYSTEMTIME before{};
    SYSTEMTIME after{};
    GetLocalTime(&before);
    const std::string stamp = TimeStamp();
    GetLocalTime(&after);
    if (before.wSecond != after.wSecond || before.wMinute != after.wMinute) continue;
    EXPECT_EQ(stamp, WindowsStamp(locale, before));
    return;
  }
  FAIL() << "the clock never held still for one stamp";
}
