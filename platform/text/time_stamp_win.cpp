#include <windows.h>

#include "platform/text/time_stamp.h"

namespace {
// A locale text, or the fallback when the locale gives none.
std::string LocaleText(LCID locale, LCTYPE type, const char* fallback) {
  char buffer[256] = {};
  const int length = GetLocaleInfoA(locale, type, buffer, sizeof buffer);
  if (length <= 1) return fallback;
  return std::string(buffer, static_cast<std::size_t>(length - 1));
}

// A numeric locale setting is read as a flag: anything but a number other than 0 is 0.
bool LocaleFlag(LCID locale, LCTYPE type) {
  int value = 0;
  for (char c : LocaleText(locale, type, "0")) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value != 0;
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  LocalTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.dayOfWeek = now.wDayOfWeek;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.millisecond = now.wMilliseconds;
  return time;
}
}  // namespace

TimeLocale ReadTimeLocale(LCID locale) {
  TimeLocale facts;
  facts.shortDatePattern = LocaleText(locale, LOCALE_SSHORTDATE, "");
  facts.hourLeadingZero = LocaleFlag(locale, LOCALE_ITLZERO);
  facts.twelveHourClock = !LocaleFlag(locale, LOCALE_ITIME);
  facts.markBeforeTime = LocaleFlag(locale, LOCALE_ITIMEMARKPOSN);
  facts.dateSeparator = LocaleText(locale, LOCALE_SDATE, "/");
  facts.timeSeparator = LocaleText(locale, LOCALE_STIME, ":");
  facts.amDesignator = LocaleText(locale, LOCALE_S1159, "am");
  facts.pmDesignator = LocaleText(locale, LOCALE_S2359, "pm");
  for (LCTYPE i = 0; i < 12; ++i) {
    facts.shortMonthNames[i] = LocaleText(locale, LOCALE_SABBREVMONTHNAME1 + i, "");
    facts.longMonthNames[i] = LocaleText(locale, LOCALE_SMONTHNAME1 + i, "");
  }
  // The locale numbers its days from Monday (1) to Sunday (7); the stamp counts from Sunday.
  for (LCTYPE i = 0; i < 7; ++i) {
    const std::size_t day = (i + 1) % 7;
    facts.shortDayNames[day] = LocaleText(locale, LOCALE_SABBREVDAYNAME1 + i, "");
    facts.longDayNames[day] = LocaleText(locale, LOCALE_SDAYNAME1 + i, "");
  }
  return facts;
}

// The patterns are fixed at first use, as the locale was then.
std::string TimeStamp() {
  static const TimeLocale locale = ReadTimeLocale(GetThreadLocale());
  return FormatTimeStamp(CurrentLocalTime(), locale);
}
