#include "vorn/VRNUtilitySys.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vorn/VRNUtilityString.h"

namespace {

constexpr int64_t kUnixOf2001 = 978307200;  // 2001-01-01T00:00:00Z
// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z; instants a day beyond them
// cannot be in the years 1..9999 in any zone (offsets stay below 26 hours).
constexpr int64_t kFirstInstant = -62135596800;
constexpr int64_t kLastInstant = 253402300799;
constexpr int64_t kSlack = 2 * 86400;

bool InDateRange(int year) {
  return year >= 1 && year <= 9999;
}

// Applies TZ as the environment holds it now. localtime_r alone reads TZ only
// once, so tzset() is needed when it changes; but with TZ unset glibc's tzset()
// stats /etc/localtime on every call, a system call per date that dominates a
// list of a hundred thousand dates. So tzset() runs only when TZ differs from
// what this thread last applied (the zone file itself is read once per change).
void FollowTimeZone() {
  thread_local bool applied = false;
  thread_local bool wasSet = false;
  thread_local std::string last;
  const char* tz = std::getenv("TZ");
  if (applied && wasSet == (tz != nullptr) && (!tz || last == tz)) return;
  tzset();
  applied = true;
  wasSet = tz != nullptr;
  last = tz ? tz : "";
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(int y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The local date text of a Unix instant, or "" outside the years 1..9999.
//
// The offset is written as +-HH:MM. Zones whose offset at that instant has
// seconds (local mean time before a zone adopted standard time, e.g. Berlin
// before 1893 at +00:53:28) are written with the offset rounded to the nearest
// minute and the wall-clock fields shifted to match, so that the text still
// denotes exactly the same instant.
std::string LocalDateText(int64_t unixSeconds) {
  if (unixSeconds < kFirstInstant - kSlack || unixSeconds > kLastInstant + kSlack) return {};
  const time_t instant = static_cast<time_t>(unixSeconds);
  FollowTimeZone();
  struct tm local;
  if (!localtime_r(&instant, &local)) return {};
  long offset = local.tm_gmtoff;
  long offsetMinutes = offset >= 0 ? (offset + 30) / 60 : -((-offset + 30) / 60);
  struct tm fields = local;
  if (offsetMinutes * 60 != offset) {
    const time_t shifted = static_cast<time_t>(unixSeconds + offsetMinutes * 60);
    if (!gmtime_r(&shifted, &fields)) return {};
  }
  const int year = fields.tm_year + 1900;
  if (!InDateRange(year)) return {};
  const char sign = offsetMinutes < 0 ? '-' : '+';
  const long absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[96];  // room for any int the compiler cannot rule out
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", year,
                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                sign, absMinutes / 60, absMinutes % 60);
  return text;
}

// Parses exactly `count` decimal digits.
bool Digits(const char*& p, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    value = value * 10 + (p[i] - '0');
  }
  p += count;
  return true;
}

std::string UtcText(const char* text) {
  if (!text) return {};
  const char* p = text;
  int year, month, day, hour, minute, second;
  if (!Digits(p, 4, year) || *p++ != '-' || !Digits(p, 2, month) || *p++ != '-' ||
      !Digits(p, 2, day) || (*p != 'T' && *p != ' ') || !Digits(++p, 2, hour) || *p++ != ':' ||
      !Digits(p, 2, minute) || *p++ != ':' || !Digits(p, 2, second)) {
    return {};
  }
  if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 59) {
    return {};
  }
  int64_t instant;
  if (*p == '\0') {
    // Local time of TZ; mktime chooses for times a DST change repeats or skips.
    struct tm local;
    std::memset(&local, 0, sizeof local);
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    local.tm_wday = -1;  // mktime sets it on success only
    const time_t made = mktime(&local);
    if (local.tm_wday == -1) return {};
    instant = static_cast<int64_t>(made);
  } else {
    int offsetSeconds = 0;
    if (*p == 'Z') {
      ++p;
    } else if (*p == '+' || *p == '-') {
      const int sign = *p++ == '-' ? -1 : 1;
      int oh, om;
      if (!Digits(p, 2, oh) || *p++ != ':' || !Digits(p, 2, om) || oh > 23 || om > 59) return {};
      offsetSeconds = sign * (oh * 3600 + om * 60);
    } else {
      return {};
    }
    if (*p != '\0') return {};
    instant =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
        hour * 3600 + minute * 60 + second - offsetSeconds;
  }
  if (instant < kFirstInstant || instant > kLastInstant) return {};
  const time_t t = static_cast<time_t>(instant);
  struct tm utc;
  if (!gmtime_r(&t, &utc)) return {};
  char out[96];
  std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return out;
}

}  // namespace

std::string VRNUtilitySys::DateText2001(int64_t seconds) {
  int64_t unixSeconds;
  if (__builtin_add_overflow(seconds, kUnixOf2001, &unixSeconds)) return {};
  return LocalDateText(unixSeconds);
}

std::string VRNUtilitySys::DateTextUnix(int64_t seconds) {
  return LocalDateText(seconds);
}

char* VRNUtilitySys::Convert2001GMTtoDate(int64_t seconds) {
  return VRNUtilityString::Duplicate(DateText2001(seconds));
}

char* VRNUtilitySys::Convert1900GMTDate(int64_t seconds) {
  return VRNUtilityString::Duplicate(DateTextUnix(seconds));
}

// Durations of 2^63 seconds or more (and +inf) are clamped to INT64_MAX
// seconds, "2562047788015215:30:07": converting such a double to an integer
// would be undefined, and no real duration comes near it.
char* VRNUtilitySys::ConvertSecondsToTime(double seconds) {
  int64_t whole = 0;
  if (seconds >= 9223372036854775808.0) {
    whole = INT64_MAX;
  } else if (seconds >= 1.0) {  // false for NaN and negatives
    whole = static_cast<int64_t>(seconds);
  }
  char text[40];
  std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(whole / 3600),
                static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
  return VRNUtilityString::Duplicate(text);
}

char* VRNUtilitySys::ConvertLocalTimeToUtc(const struct tm* unused, const char* text) {
  (void)unused;
  return VRNUtilityString::Duplicate(UtcText(text));
}
