// Date and duration texts of VRNUtilitySys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "support/TestSupport.h"
#include "vorn/VRNUtilityString.h"
#include "vorn/VRNUtilitySys.h"

namespace {

using testing_support::ScopedTimeZone;

constexpr int64_t kUnixOf2001 = 978307200;

// Takes a heap text of the library and releases it.
std::string Take(char* text) {
  std::string copy = text ? text : "(null)";
  VRNUtilityString::Free(text);
  return copy;
}

std::string ToUtc(const char* text) {
  return Take(VRNUtilitySys::ConvertLocalTimeToUtc(nullptr, text));
}

// Every epoch gives the same local text, with the offset of that instant
// (across clock changes, west of Greenwich, local mean time rounded to the
// minute), and the text reads back as the same instant; years outside
// 1..9999 of local time give "".
TEST(VornDateText, LocalTextsReadBackAsTheirInstant) {
  const int64_t springForward = 1711846800;  // Berlin, 2024-03-31T01:00:00Z
  const int64_t fallBack = 1730613600;       // New York, 2024-11-03T06:00:00Z
  const int64_t last = 253402300799;         // 9999-12-31T23:59:59Z
  const struct {
    const char* zone;
    int64_t unix;
    const char* text;
  } cases[] = {{"Europe/Berlin", springForward - 1, "2024-03-31T01:59:59+01:00"},
               {"Europe/Berlin", springForward, "2024-03-31T03:00:00+02:00"},
               {"Europe/Berlin", -5364662400, "1800-01-01T00:53:00+00:53"},
               {"America/New_York", fallBack - 1, "2024-11-03T01:59:59-04:00"},
               {"America/New_York", fallBack, "2024-11-03T01:00:00-05:00"},
               {"UTC", 0, "1970-01-01T00:00:00+00:00"},
               {"UTC", kUnixOf2001 - 1, "2000-12-31T23:59:59+00:00"},
               {"UTC", -62135596800, "0001-01-01T00:00:00+00:00"},
               {"UTC", -62135596801, ""},
               {"UTC", last, "9999-12-31T23:59:59+00:00"},
               {"UTC", last + 1, ""},
               {"Asia/Tokyo", last - 9 * 3600, "9999-12-31T23:59:59+09:00"},
               {"Asia/Tokyo", last - 9 * 3600 + 1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.unix));
    std::string utc;
    {
      ScopedTimeZone zone("UTC");
      utc = VRNUtilitySys::DateTextUnix(c.unix);
    }
    ScopedTimeZone zone(c.zone);
    EXPECT_EQ(VRNUtilitySys::DateTextUnix(c.unix), c.text);
    EXPECT_EQ(VRNUtilitySys::DateText2001(c.unix - kUnixOf2001), c.text);
    EXPECT_EQ(Take(VRNUtilitySys::Convert2001GMTtoDate(c.unix - kUnixOf2001)), c.text);
    EXPECT_EQ(Take(VRNUtilitySys::Convert1900GMTDate(c.unix)), c.text);
    if (*c.text) {
      EXPECT_EQ(ToUtc(c.text), utc.substr(0, 19) + "Z");
    }
  }
  ScopedTimeZone zone("UTC");
  for (int64_t seconds :
       {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
        std::numeric_limits<int64_t>::max() - kUnixOf2001 + 1, -(int64_t{1} << 40)}) {
    EXPECT_EQ(VRNUtilitySys::DateText2001(seconds), "") << seconds;
    EXPECT_EQ(VRNUtilitySys::DateTextUnix(seconds), "") << seconds;
  }
}

TEST(VornDateText, UtcConversionReadsLocalTextsAndRefusesMalformedOnes) {
  ScopedTimeZone zone("Europe/Berlin");
  // Texts without an offset are local time of TZ.
  EXPECT_EQ(ToUtc("2024-01-15T12:00:00"), "2024-01-15T11:00:00Z");
  EXPECT_EQ(ToUtc("2024-07-01T12:00:00"), "2024-07-01T10:00:00Z");
  EXPECT_EQ(ToUtc("2024-03-01 13:34:56+01:00"), "2024-03-01T12:34:56Z");
  EXPECT_EQ(ToUtc("2024-03-01T12:34:56Z"), "2024-03-01T12:34:56Z");
  EXPECT_EQ(ToUtc("2024-02-29T23:30:00-01:00"), "2024-03-01T00:30:00Z");

  const char* bad[] = {"",
                       "garbage",
                       "2024-03-01",
                       "2024-03-01T13:34:56+0100",
                       "2024-03-01T13:34:56.123Z",
                       "2023-02-29T00:00:00Z",
                       "2024-03-01T24:00:00Z",
                       "2024-03-01T12:00:00+24:00",
                       "0001-01-01T00:30:00+01:00",  // year 0 in UTC
                       " 2024-03-01T12:34:56Z"};
  for (const char* text : bad) EXPECT_EQ(ToUtc(text), "") << text;
  EXPECT_EQ(ToUtc(nullptr), "");
}

TEST(VornDuration, HoursMinutesSeconds) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0.999, "00:00:00"},
      {59.9, "00:00:59"},
      {3661, "01:01:01"},
      {360000, "100:00:00"},
      {-0.5, "00:00:00"},
      {std::nan(""), "00:00:00"},
      {-inf, "00:00:00"},
      // 2^63 s and beyond clamp to INT64_MAX seconds.
      {inf, "2562047788015215:30:07"},
      {9223372036854775808.0, "2562047788015215:30:07"},
      {9223372036854774784.0, "2562047788015215:13:04"}  // largest double below 2^63
  };
  for (const auto& c : cases)
    EXPECT_EQ(Take(VRNUtilitySys::ConvertSecondsToTime(c.seconds)), c.text) << c.seconds;
}

}  // namespace
