// Time and duration texts. Every function returns a heap text released with
// VRNUtilityString::Free; it never returns null.
//
// Date texts are ISO 8601 in the local time of the process's zone (TZ), with
// the offset: 2024-03-01T13:34:56+01:00. Instants outside the years 1 to 9999
// (of that local time) give "". TZ is re-read on every call. An offset with
// seconds (local mean time of old dates) is rounded to the minute and the
// wall-clock fields follow it, so the text still names the exact instant.
#ifndef VORN_VRNUTILITYSYS_H_
#define VORN_VRNUTILITYSYS_H_

#include <cstdint>
#include <ctime>
#include <string>

class VRNUtilitySys {
 public:
  // Seconds since 2001-01-01T00:00:00Z.
  static char* Convert2001GMTtoDate(int64_t seconds);
  // Seconds since 1970-01-01T00:00:00Z (the timestamps of call_history.db).
  static char* Convert1900GMTDate(int64_t seconds);
  // HH:MM:SS of whole seconds; hours may pass 24. Negative or NaN gives 00:00:00.
  // 2^63 seconds and more (+inf too) clamp to INT64_MAX seconds.
  static char* ConvertSecondsToTime(double seconds);
  // A date text of this library (or a local YYYY-MM-DDTHH:MM:SS text) as the
  // same instant in UTC: 2024-03-01T12:34:56Z. "" or unparsable gives "".
  // Accepted: YYYY-MM-DD, "T" or " ", HH:MM:SS, then "+HH:MM", "-HH:MM", "Z"
  // or nothing (local time of TZ); no fractions, nothing after.
  // The time record is not used and may be null.
  static char* ConvertLocalTimeToUtc(const struct tm* unused, const char* text);

  // Owned-string forms.
  static std::string DateText2001(int64_t seconds);
  static std::string DateTextUnix(int64_t seconds);
};

#endif  // VORN_VRNUTILITYSYS_H_
