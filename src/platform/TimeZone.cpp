#include "platform/TimeZone.h"

#include <ctime>

namespace vader::platform {
namespace {

// Minutes west of universal time of daylight-saving time in the current year, probed month by
// month because the C library only publishes the standard offset; `fallback` when none is found.
int32_t DaylightMinutesWest(int32_t fallback) {
  const time_t now = time(nullptr);
  tm probe{};
  localtime_r(&now, &probe);
  for (int month = 0; month < 12; ++month) {
    tm date{};
    date.tm_year = probe.tm_year;
    date.tm_mon = month;
    date.tm_mday = 15;
    date.tm_hour = 12;
    date.tm_isdst = -1;
    const time_t t = mktime(&date);
    tm local{};
    if (t != static_cast<time_t>(-1) && localtime_r(&t, &local) != nullptr && local.tm_isdst > 0)
      return static_cast<int32_t>(-local.tm_gmtoff / 60);
  }
  return fallback;
}

}  // namespace

TimeZoneInformation GetTimeZoneInformation() {
  tzset();
  TimeZoneInformation info{};
  info.Bias = static_cast<int32_t>(timezone / 60);
  info.StandardBias = 0;
  info.DaylightBias = daylight ? DaylightMinutesWest(info.Bias) - info.Bias : 0;
  return info;
}

}  // namespace vader::platform
