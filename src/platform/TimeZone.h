#pragma once
// Time-zone information from the C library's zone data (the GetTimeZoneInformation stand-in).
// Biases are in minutes with the Windows sign: universal time = local time + bias.

#include <cstdint>

namespace vader::platform {

struct TimeZoneInformation {
  int32_t Bias;          // standard time's offset from universal time
  int32_t StandardBias;  // added to Bias during standard time (always 0 here)
  int32_t DaylightBias;  // added to Bias during daylight-saving time; 0 without it
};

// Reads the zone of the TZ environment variable, else the system zone.
TimeZoneInformation GetTimeZoneInformation();

}  // namespace vader::platform
