#include "framework/DateTimes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vader {
namespace {

// Days from 1 March of year 0 of the proleptic Gregorian calendar; see the civil-calendar
// arithmetic of days_from_civil.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe);
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

const std::int64_t kDayOne = DaysFromCivil(1, 1, 1) - 1;  // so 1 January 0001 is day 1

bool ParseDate(const std::string& s, TDateTime& out) {
  int y = 0, m = 0, d = 0, used = 0;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &used) != 3 ||
      used != static_cast<int>(s.size()))
    return false;
  const auto day = EncodeDayNumber(y, m, d);
  if (!day) return false;
  out = DayNumberToDateTime(*day);
  return true;
}

bool ParseTime(const std::string& s, TDateTime& out) {
  int h = 0, n = 0, sec = 0, ms = 0, used = 0;
  const int got =
      std::sscanf(s.c_str(), "%2d:%2d%n:%2d%n.%3d%n", &h, &n, &used, &sec, &used, &ms, &used);
  if (got < 2 || used != static_cast<int>(s.size())) return false;
  if (h > 23 || n > 59 || sec > 59 || h < 0 || n < 0 || sec < 0 || ms < 0) return false;
  out = TimeMSecsToDateTime(((h * 60 + n) * 60 + sec) * 1000 + ms);
  return true;
}

}  // namespace

std::int32_t DayNumber(int year, int month, int day) {
  return static_cast<std::int32_t>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDayOne);
}

std::optional<std::int32_t> EncodeDayNumber(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return std::nullopt;
  return DayNumber(year, month, day);
}

void DecodeDayNumber(std::int32_t dayNumber, int& year, int& month, int& day) {
  // civil_from_days, shifted back to our day 1.
  std::int64_t z = dayNumber + kDayOne;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

TDateTime DayNumberToDateTime(std::int32_t dayNumber) {
  return static_cast<double>(dayNumber) - kDateDelta;
}

// Values beyond the calendar (a corrupt stored value, say) are held to its ends, so the
// conversions below never leave the integer range.
static double Clamped(TDateTime value) {
  if (!std::isfinite(value)) return 0;
  return std::clamp(value, 1.0 - kDateDelta, 2958466.0 - 1.0 / kMSecsPerDay);
}

std::int32_t DateTimeToDayNumber(TDateTime value) {
  return static_cast<std::int32_t>(std::floor(Clamped(value))) + kDateDelta;
}

std::int32_t DateTimeToTimeMSecs(TDateTime value) {
  value = Clamped(value);
  const double fraction = value - std::floor(value);
  auto ms = static_cast<std::int32_t>(std::llround(fraction * kMSecsPerDay));
  return ms >= 86400000 ? 86399999 : ms;
}

TDateTime TimeMSecsToDateTime(std::int32_t msecs) { return msecs / kMSecsPerDay; }

std::string DateToText(TDateTime value) {
  int y = 0, m = 0, d = 0;
  DecodeDayNumber(DateTimeToDayNumber(value), y, m, d);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  return text;
}

std::string TimeToText(TDateTime value) {
  const std::int32_t ms = DateTimeToTimeMSecs(value);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
  return text;
}

std::string DateTimeToText(TDateTime value) {
  if (DateTimeToTimeMSecs(value) == 0) return DateToText(value);
  return DateToText(value) + " " + TimeToText(value);
}

std::optional<TDateTime> TextToDateTime(const std::string& text) {
  TDateTime date = 0, time = 0;
  // A date and a time joined by a blank, or by the 'T' of the ISO form.
  const auto blank = text.find_first_of(" T");
  if (blank != std::string::npos) {
    if (!ParseDate(text.substr(0, blank), date) || !ParseTime(text.substr(blank + 1), time))
      return std::nullopt;
    return date + time;
  }
  if (ParseDate(text, date)) return date;
  if (ParseTime(text, time)) return time;
  return std::nullopt;
}

}  // namespace vader
