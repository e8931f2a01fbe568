// Date and duration texts of VRNUtilitySys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "support/TestSupport.h"
#include "vorn/VRNUtilityString.h"
#include "vorn/VRNUtilitySys.h"

namespace {

using testing_support::ScopedTimeZone;

constexpr int64_t kUnixOf2001 = 978307200;

// Takes a heap text of the library and releases it.
std::string Take(char* text) {
  EXPECT_NE(text, nullptr);
  std::string copy = text ? text : "";
  VRNUtilityString::Free(text);
  return copy;
}

std::string ToUtc(const char* text) {
  return Take(VRNUtilitySys::ConvertLocalTimeToUtc(nullptr, text));
}

TEST(VornDateText, BerlinAcrossSpringForward) {
  ScopedTimeZone zone("Europe/Berlin");
  // 2024-03-31T01:00:00Z: clocks jump from 02:00 CET to 03:00 CEST.
  const int64_t change = 1711846800;
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(change - 1), "2024-03-31T01:59:59+01:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(change), "2024-03-31T03:00:00+02:00");
  EXPECT_EQ(VRNUtilitySys::DateText2001(change - 1 - kUnixOf2001), "2024-03-31T01:59:59+01:00");
  EXPECT_EQ(Take(VRNUtilitySys::Convert2001GMTtoDate(change - kUnixOf2001)),
            "2024-03-31T03:00:00+02:00");
  EXPECT_EQ(Take(VRNUtilitySys::Convert1900GMTDate(change)), "2024-03-31T03:00:00+02:00");

  // Both sides of the change name the instant they came from.
  EXPECT_EQ(ToUtc("2024-03-31T01:59:59+01:00"), "2024-03-31T00:59:59Z");
  EXPECT_EQ(ToUtc("2024-03-31T03:00:00+02:00"), "2024-03-31T01:00:00Z");
  // Texts without an offset are local time of TZ.
  EXPECT_EQ(ToUtc("2024-01-15T12:00:00"), "2024-01-15T11:00:00Z");
  EXPECT_EQ(ToUtc("2024-07-01T12:00:00"), "2024-07-01T10:00:00Z");
}

TEST(VornDateText, NewYorkAcrossFallBack) {
  ScopedTimeZone zone("America/New_York");
  // 2024-11-03T06:00:00Z: clocks go back from 02:00 EDT to 01:00 EST, so
  // 01:xx happens twice and only the offset tells the two apart.
  const int64_t change = 1730613600;
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(change - 1), "2024-11-03T01:59:59-04:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(change), "2024-11-03T01:00:00-05:00");
  EXPECT_EQ(ToUtc("2024-11-03T01:30:00-04:00"), "2024-11-03T05:30:00Z");
  EXPECT_EQ(ToUtc("2024-11-03T01:30:00-05:00"), "2024-11-03T06:30:00Z");
  EXPECT_EQ(ToUtc("2024-07-04T12:00:00"), "2024-07-04T16:00:00Z");

  // Every text the library writes reads back as the same instant.
  for (int64_t unix = change - 3 * 3600; unix <= change + 3 * 3600; unix += 601) {
    const std::string local = VRNUtilitySys::DateTextUnix(unix);
    std::string utc;
    {
      ScopedTimeZone utcZone("UTC");
      utc = VRNUtilitySys::DateTextUnix(unix);
    }
    ASSERT_EQ(utc.substr(19), "+00:00");
    EXPECT_EQ(ToUtc(local.c_str()), utc.substr(0, 19) + "Z") << local;
  }
}

TEST(VornDateText, ZeroNegativeAndRangeLimits) {
  ScopedTimeZone zone("UTC");
  EXPECT_EQ(VRNUtilitySys::DateText2001(0), "2001-01-01T00:00:00+00:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(0), "1970-01-01T00:00:00+00:00");
  EXPECT_EQ(VRNUtilitySys::DateText2001(-kUnixOf2001), "1970-01-01T00:00:00+00:00");
  EXPECT_EQ(VRNUtilitySys::DateText2001(-1), "2000-12-31T23:59:59+00:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(-1), "1969-12-31T23:59:59+00:00");

  const int64_t firstInstant = -62135596800;  // 0001-01-01T00:00:00Z
  const int64_t lastInstant = 253402300799;   // 9999-12-31T23:59:59Z
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(firstInstant), "0001-01-01T00:00:00+00:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(firstInstant - 1), "");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(lastInstant), "9999-12-31T23:59:59+00:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(lastInstant + 1), "");
  EXPECT_EQ(VRNUtilitySys::DateText2001(lastInstant - kUnixOf2001), "9999-12-31T23:59:59+00:00");
  EXPECT_EQ(VRNUtilitySys::DateText2001(lastInstant - kUnixOf2001 + 1), "");

  const int64_t extremes[] = {std::numeric_limits<int64_t>::min(),
                              std::numeric_limits<int64_t>::min() + 1,
                              std::numeric_limits<int64_t>::max(),
                              std::numeric_limits<int64_t>::max() - kUnixOf2001 + 1,
                              int64_t{1} << 40,
                              -(int64_t{1} << 40)};
  for (int64_t seconds : extremes) {
    EXPECT_EQ(VRNUtilitySys::DateText2001(seconds), "") << seconds;
    EXPECT_EQ(VRNUtilitySys::DateTextUnix(seconds), "") << seconds;
    EXPECT_EQ(Take(VRNUtilitySys::Convert2001GMTtoDate(seconds)), "") << seconds;
  }
}

TEST(VornDateText, YearLimitsApplyToLocalYear) {
  ScopedTimeZone zone("Asia/Tokyo");  // +09:00, no DST
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(253402300799 - 9 * 3600), "9999-12-31T23:59:59+09:00");
  EXPECT_EQ(VRNUtilitySys::DateTextUnix(253402300799 - 9 * 3600 + 1), "");
}

TEST(VornDateText, LocalMeanTimeOffsetIsRoundedToTheMinuteKeepingTheInstant) {
  ScopedTimeZone zone("Europe/Berlin");
  // Before 1893 Berlin kept local mean time, +00:53:28; the text carries
  // +00:53 and wall-clock fields that match it.
  const int64_t unix1800 = -5364662400;  // 1800-01-01T00:00:00Z
  const std::string text = VRNUtilitySys::DateTextUnix(unix1800);
  EXPECT_EQ(text, "1800-01-01T00:53:00+00:53");
  EXPECT_EQ(ToUtc(text.c_str()), "1800-01-01T00:00:00Z");
}

TEST(VornDateText, UtcConversionRefusesMalformedTexts) {
  ScopedTimeZone zone("Europe/Berlin");
  EXPECT_EQ(ToUtc("2024-03-01T13:34:56+01:00"), "2024-03-01T12:34:56Z");
  EXPECT_EQ(ToUtc("2024-03-01 13:34:56+01:00"), "2024-03-01T12:34:56Z");
  EXPECT_EQ(ToUtc("2024-03-01T12:34:56Z"), "2024-03-01T12:34:56Z");
  EXPECT_EQ(ToUtc("2024-02-29T23:30:00-01:00"), "2024-03-01T00:30:00Z");

  const char* bad[] = {"",
                       "garbage",
                       "2024-03-01",
                       "2024-03-01T13:34",
                       "2024-03-01T13:34:56+01",
                       "2024-03-01T13:34:56+0100",
                       "2024-03-01T13:34:56+01:00x",
                       "2024-03-01T13:34:56.123Z",
                       "2023-02-29T00:00:00Z",
                       "2024-13-01T00:00:00Z",
                       "2024-03-01T24:00:00Z",
                       "2024-03-01T12:60:00Z",
                       "2024-03-01T12:00:60Z",
                       "2024-03-01T12:00:00+24:00",
                       "0001-01-01T00:30:00+01:00",  // year 0 in UTC
                       "0000-06-01T00:00:00Z",
                       " 2024-03-01T12:34:56Z"};
  for (const char* text : bad) EXPECT_EQ(ToUtc(text), "") << text;
  EXPECT_EQ(ToUtc(nullptr), "");
}

TEST(VornDuration, HoursMinutesSeconds) {
  auto text = [](double seconds) { return Take(VRNUtilitySys::ConvertSecondsToTime(seconds)); };
  EXPECT_EQ(text(0), "00:00:00");
  EXPECT_EQ(text(0.999), "00:00:00");
  EXPECT_EQ(text(59.9), "00:00:59");
  EXPECT_EQ(text(3661), "01:01:01");
  EXPECT_EQ(text(86399), "23:59:59");
  EXPECT_EQ(text(90000), "25:00:00");
  EXPECT_EQ(text(360000), "100:00:00");

  EXPECT_EQ(text(-1), "00:00:00");
  EXPECT_EQ(text(-0.5), "00:00:00");
  EXPECT_EQ(text(std::nan("")), "00:00:00");
  EXPECT_EQ(text(-std::numeric_limits<double>::infinity()), "00:00:00");
  // 2^63 s and beyond clamp to INT64_MAX seconds.
  EXPECT_EQ(text(std::numeric_limits<double>::infinity()), "2562047788015215:30:07");
  EXPECT_EQ(text(1e300), "2562047788015215:30:07");
  EXPECT_EQ(text(9223372036854775808.0), "2562047788015215:30:07");
  EXPECT_EQ(text(9223372036854774784.0), "2562047788015215:13:04");  // largest double below 2^63
}

}  // namespace
