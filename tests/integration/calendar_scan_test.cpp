// Calendars with the events that carry an alarm or a recurrence, the first
// recurrence of an event winning, and calendars that share a UUID.
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/CalendarWriter.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::CalendarWriter;
using kind_scan::ScanResults;

constexpr int64_t kJune2024 = 739000000;

std::string Uuid(int n) {
  return "00000000-0000-4000-8000-" + std::to_string(100000000000 + n);
}

CalendarWriter Calendars() {
  CalendarWriter calendar;
  const int64_t home = calendar.AddCalendar({0, Uuid(1), "Home", 0, "#1BADF8"});
  // Same UUID as Home: listed as well, but rows attach to Home.
  const int64_t twin = calendar.AddCalendar({0, Uuid(1), "Home (copy)", 1, "#FF2968FF"});
  calendar.AddCalendar({0, Uuid(3), "Empty", 0, nullptr});  // no events, no colour
  const int64_t work = calendar.AddCalendar({0, Uuid(4), "Work", 2, "CC73E1"});

  const int64_t clinic = calendar.AddLocation({0, "Clinic", "5 Main Street", 1});
  const int64_t nine = kJune2024 + 3600 * 9, three = kJune2024 + 3600 * 15;
  calendar.AddItem({1, home, Uuid(11), "Dentist", "Bring the card", builder::Cell(), nine + 0.5,
                    nine + 3600, "Europe/Berlin", 0, clinic});
  calendar.AddAlarm({0, 1, Uuid(111), -3600});
  calendar.AddAlarm({0, 1, Uuid(112), -900});
  calendar.AddRecurrence({0, 1, Uuid(113), 3, 1, 0, kJune2024 + 86400 * 365});

  calendar.AddItem(
      {2, work, Uuid(12), "Stand-up", {}, "https://meet.example.com/standup", three, three + 900});
  calendar.AddRecurrence({0, 2, Uuid(121), 2, 1, 0, 0});
  calendar.AddRecurrence({0, 2, Uuid(122), 1, 7, 0, kJune2024});  // the second: ignored

  // the copy's own row id: still attaches to Home by UUID
  calendar.AddItem({3, twin, Uuid(13), "Holiday", {}, {}, 0, kJune2024 + 86400, "_float", 1});
  calendar.AddAlarm({0, 3, Uuid(131), 32400});

  // neither alarm nor recurrence: not exported
  calendar.AddItem({4, work, Uuid(14), "Lunch"});

  // its calendar row does not exist
  calendar.AddItem({5, 77, Uuid(15)});
  calendar.AddAlarm({0, 5, Uuid(151), 0});
  calendar.AddAlarm({0, 4, nullptr, 0});  // an alarm without UUID is skipped
  return calendar;
}

TEST(CalendarScan, ListsEventsWithAlarmsOrRecurrences) {
  kind_scan::ScopedTimeZone zone;
  testing_support::TempFolder folder;
  {
    builder::BackupBuilder backup(folder / "backup");
    Calendars().AddTo(backup);
  }
  std::vector<std::string> results = ScanResults(folder / "backup/", "[3]");
  kind_scan::ExpectGolden("calendar.jsonl", results);
}

}  // namespace
