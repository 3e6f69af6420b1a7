#include <string>

#include "platform/text/text_rules.h"

namespace {

constexpr std::string_view kDesignatorField = "AMPM";

bool IsQuote(char c) { return c == '\'' || c == '"'; }

char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

bool IsLetter(char c) {
  const char upper = UpperLetter(c);
  return upper >= 'A' && upper <= 'Z';
}

bool IsDesignatorAt(std::string_view pattern, std::size_t at) {
  return EqualsIgnoringAsciiCase(pattern.substr(at, kDesignatorField.size()), kDesignatorField);
}

// Index of the closing quote, or the pattern's end when the quote is never closed.
std::size_t ClosingQuote(std::string_view pattern, std::size_t opening) {
  const std::size_t closing = pattern.find(pattern[opening], opening + 1);
  return closing == std::string_view::npos ? pattern.size() : closing;
}

// A pattern with a designator field counts its hours 12, 1, ... 11, wherever the
// designator stands, in front of the time or behind it.
bool UsesTwelveHourClock(std::string_view pattern) {
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (IsQuote(pattern[at])) {
      at = ClosingQuote(pattern, at);
    } else if (IsDesignatorAt(pattern, at)) {
      return true;
    }
  }
  return false;
}

void AppendNumber(std::string& out, int value, int digits) {
  const std::string text = IntToText(value);
  for (auto length = static_cast<int>(text.size()); length < digits; ++length) out += '0';
  out += text;
}

template <std::size_t N>
const std::string& NameAt(const std::string (&names)[N], int index) {
  static const std::string kNone;
  return index >= 0 && static_cast<std::size_t>(index) < N ? names[index] : kNone;
}

class Formatter {
 public:
  Formatter(std::string_view pattern, const LocalTime& time, const TimeLocale& locale)
      : pattern_(pattern), time_(time), locale_(locale), twelveHour_(UsesTwelveHourClock(pattern)) {}

  std::string Run() {
    while (at_ < pattern_.size()) Step();
    return out_;
  }

 private:
  void Step() {
    const char c = pattern_[at_];
    if (IsQuote(c)) {
      const std::size_t closing = ClosingQuote(pattern_, at_);
      out_.append(pattern_.substr(at_ + 1, closing - at_ - 1));
      at_ = closing + 1;
    } else if (IsDesignatorAt(pattern_, at_)) {
      AppendDesignator();
      lastField_ = 'A';
      at_ += kDesignatorField.size();
    } else if (IsLetter(c)) {
      Field(UpperLetter(c), RunLength(c));
    } else {
      if (c == '/') {
        out_ += locale_.dateSeparator;
      } else if (c == ':') {
        out_ += locale_.timeSeparator;
      } else {
        out_ += c;
      }
      ++at_;
    }
  }

  int RunLength(char c) {
    const char letter = UpperLetter(c);
    int count = 0;
    while (at_ < pattern_.size() && UpperLetter(pattern_[at_]) == letter) {
      ++at_;
      ++count;
    }
    return count;
  }

  void Field(char letter, int count) {
    switch (letter) {
      case 'D':
        if (count <= 2) {
          AppendNumber(out_, time_.day, count);
        } else {
          out_ += NameAt(count == 3 ? locale_.shortDayNames : locale_.longDayNames, time_.dayOfWeek);
        }
        break;
      case 'M':
        if (lastField_ == 'H' && count <= 2) {
          AppendNumber(out_, time_.minute, count);
          return;  // minutes keep the hour's context, so "h:mm:ss mm" stays minutes
        }
        if (count <= 2) {
          AppendNumber(out_, time_.month, count);
        } else {
          out_ += NameAt(count == 3 ? locale_.shortMonthNames : locale_.longMonthNames, time_.month - 1);
        }
        break;
      case 'Y':
        if (count <= 2) {
          AppendNumber(out_, time_.year % 100, 2);
        } else {
          AppendNumber(out_, time_.year, 4);
        }
        break;
      case 'H':
        AppendNumber(out_, DisplayHour(), count == 1 ? 1 : 2);
        break;
      case 'S':
        AppendNumber(out_, time_.second, count == 1 ? 1 : 2);
        break;
      default:
        out_.append(pattern_.substr(at_ - static_cast<std::size_t>(count), static_cast<std::size_t>(count)));
        break;
    }
    lastField_ = letter;
  }

  int DisplayHour() const {
    if (!twelveHour_) return time_.hour;
    const int hour = time_.hour % 12;
    return hour == 0 ? 12 : hour;
  }

  void AppendDesignator() {
    const bool morning = time_.hour < 12;
    const std::string& designator = morning ? locale_.amDesignator : locale_.pmDesignator;
    if (designator.empty()) {
      out_ += morning ? "am" : "pm";
    } else {
      out_ += designator;
    }
  }

  std::string_view pattern_;
  const LocalTime& time_;
  const TimeLocale& locale_;
  const bool twelveHour_;
  std::size_t at_ = 0;
  char lastField_ = 0;
  std::string out_;
};

}  // namespace

std::string LongTimePattern(const TimeLocale& locale) {
  std::string pattern = locale.hourLeadingZero ? "hh:mm:ss" : "h:mm:ss";
  if (!locale.twelveHourClock) return pattern;
  return locale.markBeforeTime ? "AMPM " + pattern : pattern + " AMPM";
}

std::string FormatDateTime(std::string_view pattern, const LocalTime& time, const TimeLocale& locale) {
  return Formatter(pattern, time, locale).Run();
}

std::string FormatTimeStamp(const LocalTime& time, const TimeLocale& locale) {
  const std::string_view datePattern =
      locale.shortDatePattern.empty() ? std::string_view("m/d/yy") : std::string_view(locale.shortDatePattern);
  std::string stamp = FormatDateTime(datePattern, time, locale);
  if (time.hour != 0 || time.minute != 0 || time.second != 0) {
    stamp += ' ';
    stamp += FormatDateTime(LongTimePattern(locale), time, locale);
  }
  return stamp;
}
