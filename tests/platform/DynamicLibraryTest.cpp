#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/ProcessInfo.h"
#include "platform/TimeZone.h"

namespace vader::platform {
namespace {

TEST(DynamicLibrary, WindowsNamesResolveBesideTheProgramThenInstalledThenOnTheSearchPath) {
  const std::string dir = ExecutableDirectory();
  const std::string installed = dir + "../lib/vader/";
  EXPECT_EQ(LibraryCandidates("wbtrv32.dll"),
            (std::vector<std::string>{dir + "libwbtrv32.so", installed + "libwbtrv32.so",
                                      "libwbtrv32.so"}));
  EXPECT_EQ(LibraryCandidates("WSSQL32.DLL"),
            (std::vector<std::string>{dir + "libwssql32.so", installed + "libwssql32.so",
                                      "libwssql32.so"}));
  EXPECT_EQ(LibraryCandidates("titanc32"),
            (std::vector<std::string>{dir + "libtitanc32.so", installed + "libtitanc32.so",
                                      "libtitanc32.so"}));
}

TEST(DynamicLibrary, NativeNamesAreUsedAsGiven) {
  EXPECT_EQ(LibraryCandidates("/opt/btrieve/libbtr.so"),
            (std::vector<std::string>{"/opt/btrieve/libbtr.so"}));
  EXPECT_EQ(LibraryCandidates("libm.so.6"), (std::vector<std::string>{"libm.so.6"}));
  EXPECT_EQ(LibraryCandidates("./plugins/x.dll"), (std::vector<std::string>{"./plugins/x.dll"}));
  EXPECT_TRUE(LibraryCandidates("").empty());
}

TEST(DynamicLibrary, LoadsResolvesAndReleases) {
  HMODULE module = LoadLibrary("libm.so.6");
  ASSERT_NE(module, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(module, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  FreeLibrary(module);
  EXPECT_EQ(LoadLibrary("nosuchlibrary.dll"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "cos"), nullptr);
  FreeLibrary(nullptr);
}

// Runs with TZ set to `zone` and restores the previous zone afterwards.
TimeZoneInformation InZone(const char* zone) {
  const char* previous = std::getenv("TZ");
  const std::optional<std::string> saved =
      previous ? std::optional<std::string>(previous) : std::nullopt;
  setenv("TZ", zone, 1);
  const TimeZoneInformation info = GetTimeZoneInformation();
  if (saved)
    setenv("TZ", saved->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  return info;
}

TEST(TimeZone, BiasesHaveTheWindowsSign) {
  const TimeZoneInformation utc = InZone("UTC0");
  EXPECT_EQ(utc.Bias, 0);
  EXPECT_EQ(utc.DaylightBias, 0);
  const TimeZoneInformation cet = InZone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(cet.Bias, -60);
  EXPECT_EQ(cet.StandardBias, 0);
  EXPECT_EQ(cet.DaylightBias, -60);
  const TimeZoneInformation eastern = InZone("EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(eastern.Bias, 300);
  EXPECT_EQ(eastern.DaylightBias, -60);
}

}  // namespace
}  // namespace vader::platform
