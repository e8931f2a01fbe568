// Library/Calendar/Calendar.sqlitedb: stores, calendars, calendar items
// with their locations, alarms and recurrence rules, in the layout of iOS 9
// and later (alarms point at their item through calendaritem_owner_id; the
// iOS 7 layout, owner_id, is available too).
#ifndef KELDRA_BUILDER_KINDS_CALENDARWRITER_H_
#define KELDRA_BUILDER_KINDS_CALENDARWRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "builder/kinds/SqliteWriter.h"

namespace builder {

class CalendarWriter : public DatabaseWriter {
 public:
  struct CalendarRow {
    int64_t id = 0;  // 0: the next row id
    Cell uuid{}, title{}, flags = 0, color{};
    int64_t storeId = 1;
  };
  // Dates are seconds since 2001; all-day items carry start_tz "_float".
  struct Item {
    int64_t id = 0;
    int64_t calendarId = 0;
    Cell uuid{}, summary{}, description{}, url{}, startDate{}, endDate{}, startTz{}, allDay = 0;
    int64_t locationId = 0;  // 0: none
  };
  struct Location {
    int64_t id = 0;
    Cell title{}, address{};
    int64_t itemId = 0;
  };
  struct Alarm {
    int64_t id = 0;
    int64_t itemId = 0;
    Cell uuid{}, triggerInterval = -900, triggerDate{};
  };
  // frequency: 1 daily, 2 weekly, 3 monthly, 4 yearly.
  struct Recurrence {
    int64_t id = 0;
    int64_t itemId = 0;
    Cell uuid{}, frequency = 2, interval = 1, count = 0, cachedEndDate{}, endDate{};
  };

  int64_t AddCalendar(CalendarRow row);
  int64_t AddItem(Item row);
  int64_t AddLocation(Location row);
  int64_t AddAlarm(Alarm row);
  int64_t AddRecurrence(Recurrence row);

  // iOS 7: Alarm.owner_id instead of calendaritem_owner_id/calendar_owner_id.
  bool legacyAlarmOwner = false;

  const char* Domain() const override { return "HomeDomain"; }
  const char* RelativePath() const override { return "Library/Calendar/Calendar.sqlitedb"; }

 protected:
  void Populate(SqliteDatabase& database) const override;

 private:
  std::vector<CalendarRow> calendars_;
  std::vector<Item> items_;
  std::vector<Location> locations_;
  std::vector<Alarm> alarms_;
  std::vector<Recurrence> recurrences_;
  int64_t nextId_[5] = {1, 1, 1, 1, 1};
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_CALENDARWRITER_H_
