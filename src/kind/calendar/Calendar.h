// Kind 3: the device's calendars, each with those of its events that carry
// an alarm or a recurrence rule (in complete reading: all its events), the
// events with their alarms and their (first) recurrence.
#ifndef KELDRA_KIND_CALENDAR_CALENDAR_H_
#define KELDRA_KIND_CALENDAR_CALENDAR_H_

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Observer.h"
#include "common/Sqlite.h"
#include "kind/kind.h"

namespace keldra {

class Calendar : public Kind {
 public:
  static constexpr const char* kDatabasePath = kKinds[3].database;

  Calendar();
  ~Calendar() override;

  void Run(const ScanContext& scan) override;

  // Opens the database and fills the calendar list; false when the
  // calendar statement could not be prepared (nor the database opened).
  bool ReadCalendarDb(const std::string& path);

  const rapidjson::Document& Calendars() const { return *calendars_; }

 private:
  // One calendar while it is read: its object, and its events in the order
  // they were first met, found by their UUID.
  struct CalendarEntry {
    rapidjson::Value object;
    std::vector<rapidjson::Value> events;
    std::unordered_map<std::string, size_t> eventByUuid;
  };
  // Where an event's columns sit in the alarm or recurrence statement.
  struct EventColumns {
    int url, summary, startDate, endDate, startTz, allDay, description, location;
  };

  void ReadCalendars(sqlite3_stmt* statement);
  // Complete reading: every event, then the alarms and recurrences of each,
  // from statements built on the columns the database has.
  bool ReadEveryEvent(const sqlite::Database& database);
  void ReadAlarms(const sqlite::Database& database);
  void ReadRecurrences(const sqlite::Database& database);
  // The calendar named by the row's column 0, or null.
  CalendarEntry* FindCalendar(sqlite3_stmt* row);
  // The event named by column 1 in `calendar`, built from the row when new.
  rapidjson::Value& FindOrAddEvent(CalendarEntry& calendar, sqlite3_stmt* row,
                                   const EventColumns& columns);
  // Runs `sql` and hands `use` each row of a known calendar with its event,
  // found or added; rows lacking a calendar, event or own id are passed.
  template <typename Use>
  void ForEachEventRow(const sqlite::Database& database, const char* sql,
                       const EventColumns& columns, Use use);
  void AddAlarm(sqlite3_stmt* row, rapidjson::Value& event);
  void AddRecurrence(sqlite3_stmt* row, rapidjson::Value& event);
  rapidjson::Value MakeEvent(sqlite3_stmt* row, const EventColumns& columns);
  void BuildList();

  std::unique_ptr<rapidjson::Document> calendars_;  // root array
  std::string databasePath_;
  // Where complete reading finds the database.
  const size_t databaseWatch_ = WatchDatabase(kDatabasePath);
  std::vector<CalendarEntry> entries_;                      // while reading
  std::unordered_map<std::string, size_t> calendarByUuid_;  // first of equal UUIDs
};

}  // namespace keldra

#endif  // KELDRA_KIND_CALENDAR_CALENDAR_H_
