#include <gtest/gtest.h>

#include <string>

#include "platform/text/text_rules.h"

namespace {

TimeLocale German24() {
  TimeLocale locale;
  locale.shortDatePattern = "dd.MM.yyyy";
  locale.dateSeparator = ".";
  locale.timeSeparator = ":";
  return locale;
}

TimeLocale WithNames() {
  TimeLocale locale;
  const char* shortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* longMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                              "July",    "August",   "September", "October", "November", "December"};
  const char* shortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const char* longDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  for (int i = 0; i < 12; ++i) {
    locale.shortMonthNames[i] = shortMonths[i];
    locale.longMonthNames[i] = longMonths[i];
  }
  for (int i = 0; i < 7; ++i) {
    locale.shortDayNames[i] = shortDays[i];
    locale.longDayNames[i] = longDays[i];
  }
  return locale;
}

// Sunday, 6 December 2026.
LocalTime At(int hour, int minute, int second, int millisecond = 0) {
  LocalTime time;
  time.year = 2026;
  time.month = 12;
  time.day = 6;
  time.dayOfWeek = 0;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  time.millisecond = millisecond;
  return time;
}

}  // namespace

TEST(LongTimePattern, BuiltFromLeadingZeroClockAndMarkPosition) {
  const struct {
    bool leadingZero, twelveHour, markBefore;
    const char* pattern;
  } cases[] = {
      {false, false, false, "h:mm:ss"},      {true, false, false, "hh:mm:ss"},
      {false, false, true, "h:mm:ss"},       {false, true, false, "h:mm:ss AMPM"},
      {true, true, false, "hh:mm:ss AMPM"},  {false, true, true, "AMPM h:mm:ss"},
      {true, true, true, "AMPM hh:mm:ss"},
  };
  for (const auto& c : cases) {
    TimeLocale locale;
    locale.hourLeadingZero = c.leadingZero;
    locale.twelveHourClock = c.twelveHour;
    locale.markBeforeTime = c.markBefore;
    EXPECT_EQ(LongTimePattern(locale), c.pattern);
  }
}

TEST(FormatTimeStamp, DateThenTimeExceptAtMidnight) {
  const TimeLocale locale = German24();
  EXPECT_EQ(FormatTimeStamp(At(9, 3, 7), locale), "06.12.2026 9:03:07");
  EXPECT_EQ(FormatTimeStamp(At(0, 0, 0), locale), "06.12.2026");
  EXPECT_EQ(FormatTimeStamp(At(0, 0, 0, 999), locale), "06.12.2026");
  EXPECT_EQ(FormatTimeStamp(At(0, 0, 1), locale), "06.12.2026 0:00:01");
  EXPECT_EQ(FormatTimeStamp(At(0, 1, 0), locale), "06.12.2026 0:01:00");
  EXPECT_EQ(FormatTimeStamp(At(23, 59, 59), locale), "06.12.2026 23:59:59");
}

TEST(FormatTimeStamp, WithoutALocalePatternUsesMonthDayYearAndTheDateSeparator) {
  TimeLocale locale;
  locale.hourLeadingZero = true;
  EXPECT_EQ(FormatTimeStamp(At(9, 3, 7), locale), "12/6/26 09:03:07");
  locale.dateSeparator = "-";
  locale.timeSeparator = ".";
  EXPECT_EQ(FormatTimeStamp(At(9, 3, 7), locale), "12-6-26 09.03.07");
}

TEST(FormatTimeStamp, TwelveHourClockWithTheMarkBehindOrInFront) {
  const struct {
    int hour;
    const char* behind;
    const char* inFront;
  } cases[] = {
      {0, "12:30:00 AM", "AM 12:30:00"}, {1, "1:30:00 AM", "AM 1:30:00"},
      {11, "11:30:00 AM", "AM 11:30:00"}, {12, "12:30:00 PM", "PM 12:30:00"},
      {13, "1:30:00 PM", "PM 1:30:00"},   {23, "11:30:00 PM", "PM 11:30:00"},
  };
  TimeLocale locale;
  locale.shortDatePattern = "yyyy";
  locale.twelveHourClock = true;
  locale.amDesignator = "AM";
  locale.pmDesignator = "PM";
  for (const auto& c : cases) {
    locale.markBeforeTime = false;
    EXPECT_EQ(FormatTimeStamp(At(c.hour, 30, 0), locale), std::string("2026 ") + c.behind);
    locale.markBeforeTime = true;
    EXPECT_EQ(FormatTimeStamp(At(c.hour, 30, 0), locale), std::string("2026 ") + c.inFront);
  }
}

TEST(FormatTimeStamp, MissingDesignatorsAreAmAndPm) {
  TimeLocale locale;
  locale.shortDatePattern = "d";
  locale.twelveHourClock = true;
  locale.amDesignator.clear();
  locale.pmDesignator.clear();
  EXPECT_EQ(FormatTimeStamp(At(8, 0, 0), locale), "6 8:00:00 am");
  EXPECT_EQ(FormatTimeStamp(At(20, 0, 0), locale), "6 8:00:00 pm");
}

TEST(FormatDateTime, PatternLettersInEitherCase) {
  const TimeLocale locale = WithNames();
  LocalTime time = At(9, 3, 7);
  time.year = 2005;
  time.month = 3;
  time.day = 4;
  time.dayOfWeek = 5;
  const struct {
    const char* pattern;
    const char* text;
  } cases[] = {
      {"d dd ddd dddd", "4 04 Fri Friday"},
      {"D DD DDD DDDD", "4 04 Fri Friday"},
      {"m mm mmm mmmm", "3 03 Mar March"},
      {"yy yyyy", "05 2005"},
      {"YY YYYY", "05 2005"},
      {"h hh s ss", "9 09 7 07"},
      {"hh:mm:ss", "09:03:07"},
      {"HH:MM:SS", "09:03:07"},
      {"h:m", "9:3"},
      {"hh:mmm", "09:Mar"},
      {"hh'h'mm", "09h03"},
      {"dd/mm/yyyy", "04/03/2005"},
      {"yyyy-MM-dd", "2005-03-04"},
      {"d mm", "4 03"},
      {"'day' d", "day 4"},
      {"\"at\" h", "at 9"},
      {"d 'mm yy", "4 mm yy"},
      {"h 'AMPM'", "9 AMPM"},
      {"dd.MM.yyyy", "04.03.2005"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateTime(c.pattern, time, locale), c.text) << c.pattern;
  }
}

TEST(FormatDateTime, SeparatorsComeFromTheLocaleAndYearsArePadded) {
  TimeLocale locale;
  locale.dateSeparator = ".";
  locale.timeSeparator = "-";
  LocalTime time = At(7, 8, 9);
  time.year = 5;
  EXPECT_EQ(FormatDateTime("yyyy/yy h:mm:ss", time, locale), "0005.05 7-08-09");
}
