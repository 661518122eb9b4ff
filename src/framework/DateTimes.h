#pragma once
// Date and time values of the dataset layer. A TDateTime counts days from 30 December 1899,
// its fraction being the time of day. Fields keep dates as day numbers (day 1 = 1 January
// 0001), times as milliseconds since midnight and date-times as milliseconds since day 0,
// the forms the storage exchanges. Texts are ISO: "yyyy-mm-dd", "hh:nn:ss", both joined
// by a blank.

#include <cstdint>
#include <optional>
#include <string>

namespace vader {

using TDateTime = double;

constexpr std::int32_t kDateDelta = 693594;  // day number of 30 December 1899
constexpr double kMSecsPerDay = 86400000.0;

// Day number of a calendar date, unchecked (the proleptic Gregorian calendar continued).
std::int32_t DayNumber(int year, int month, int day);
// Day number of a calendar date; nullopt for an impossible date or a year outside 1..9999.
std::optional<std::int32_t> EncodeDayNumber(int year, int month, int day);
void DecodeDayNumber(std::int32_t dayNumber, int& year, int& month, int& day);

TDateTime DayNumberToDateTime(std::int32_t dayNumber);
std::int32_t DateTimeToDayNumber(TDateTime value);
std::int32_t DateTimeToTimeMSecs(TDateTime value);  // time of day, 0..86399999
TDateTime TimeMSecsToDateTime(std::int32_t msecs);

std::string DateToText(TDateTime value);
std::string TimeToText(TDateTime value);
std::string DateTimeToText(TDateTime value);  // the time part is left out when it is midnight

// Parses "yyyy-mm-dd", "hh:nn[:ss[.zzz]]" or both joined by a blank or a "T"; nullopt when
// the text is none of these or names an impossible date or time.
std::optional<TDateTime> TextToDateTime(const std::string& text);

}  // namespace vader
