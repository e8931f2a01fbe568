#include "kind/calendar/Calendar.h"

#include <ctime>
#include <string>

#include "keldra/Names.h"
#include "kind/JsonText.h"
#include "kind/TableColumns.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityString.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

constexpr int kType = 3;

constexpr char kCalendarSql[] = "select c.UUID,c.title,c.flags,c.color from Calendar c;";
constexpr char kAlarmSql[] =
    "select c.UUID as cUUID,ci.UUID as ciUUID,al.UUID alUUID,al.trigger_interval,ci.url,"
    "ci.summary,ci.start_date, ci.end_date,ci.start_tz,ci.all_day,ci.description,l.title as "
    "location from Alarm al inner join CalendarItem ci on al.calendaritem_owner_id == ci.ROWID "
    "INNER join Calendar c on c.rowid == ci.calendar_id left join Location l on l.rowid == "
    "ci.location_id;";
constexpr char kRecurrenceSql[] =
    "select c.UUID cUUID,ci.UUID ciUUID,re.UUID reUUID,re.frequency,re.interval,"
    "re.cached_end_date,re.count,ci.url,ci.summary,ci.start_date,ci.end_date,ci.start_tz,"
    "ci.all_day,ci.description,l.title as location from Recurrence re inner join CalendarItem "
    "ci on re.owner_id == ci.ROWID INNER join Calendar c on c.rowid == ci.calendar_id left join "
    "Location l on l.rowid == ci.location_id;";

constexpr char kEntityKey[] = "com_apple_syncservices_RecordEntityName";

// Whole seconds since 2001 as a date text; 0 means none.
std::string DateTextOrEmpty(int64_t seconds) {
  return seconds == 0 ? std::string() : VRNUtilitySys::DateText2001(seconds);
}

// The UTC form of a date text, through the library's heap conversion.
void AddUtcText(rapidjson::Value& object, Kind::Allocator& allocator, const char* key,
                const std::string& localText) {
  char* utc = VRNUtilitySys::ConvertLocalTimeToUtc(nullptr, localText.c_str());
  PimJsonUtil::AddJsonDictStringValue(object, allocator, key, utc);
  VRNUtilityString::Free(utc);
}

// An all-day event is stored as midnight UTC of its day, whatever the zone:
// its day is the UTC date, never the local one (a day earlier west of UTC).
std::string PlainDate(int64_t seconds) {
  constexpr int64_t kUnixAt2001 = 978307200;
  const time_t unixSeconds = static_cast<time_t>(seconds + kUnixAt2001);
  struct tm utc {};
  if (!gmtime_r(&unixSeconds, &utc)) return {};
  char text[32];
  size_t length = strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return std::string(text, length);
}

// The event columns of the complete statements, in the order EventColumns
// names them from `first` on: url, summary, start and end date, zone,
// all-day, description, location.
std::string EventColumnList(const TableColumns& item, bool hasLocation) {
  std::string list;
  for (const char* column :
       {"url", "summary", "start_date", "end_date", "start_tz", "all_day", "description"}) {
    list += ',';
    list += item.Or("ci", column);
  }
  list += hasLocation ? ",l.title" : ",null";
  return list;
}

// A key that is never null: the UUID, or the row id of an older row without one.
std::string KeyOf(const TableColumns& table, const char* alias) {
  std::string rowId = std::string(alias) + ".ROWID";
  return table.Has("UUID") ? "ifnull(" + std::string(alias) + ".UUID," + rowId + ")" : rowId;
}

std::string ColumnString(sqlite3_stmt* row, int column) {
  return std::string(sqlite::Text(row, column));
}

}  // namespace

Calendar::Calendar() : calendars_(std::make_unique<rapidjson::Document>(rapidjson::kArrayType)) {}

Calendar::~Calendar() = default;

void Calendar::ReadCalendars(sqlite3_stmt* statement) {
  Allocator& allocator = calendars_->GetAllocator();
  while (sqlite3_step(statement) == SQLITE_ROW) {
    CalendarEntry entry;
    rapidjson::Value& calendar = entry.object;
    calendar.SetObject();
    const std::string uuid = ColumnString(statement, 0);
    AddText(calendar, allocator, "id", uuid);
    AddText(calendar, allocator, "title", sqlite::Text(statement, 1));
    PimJsonUtil::AddJsonDictIntValue(calendar, allocator, "read_only",
                                     sqlite3_column_int(statement, 2));
    AddText(calendar, allocator, kEntityKey, "com.apple.calendars.Calendar");
    int red = 0, green = 0, blue = 0;
    Utils::ColorHexToRGB(reinterpret_cast<const char*>(sqlite3_column_text(statement, 3)), red,
                         green, blue);
    rapidjson::Value components(rapidjson::kArrayType);
    for (int component : {red, green, blue, 255})
      PimJsonUtil::PushJsonArrayIntValue(components, allocator, component);
    PimJsonUtil::AddJsonDictObjectValue(calendar, allocator, "colorComponents", components);
    // Calendars sharing a UUID are all listed; rows attach to the first.
    calendarByUuid_.emplace(uuid, entries_.size());
    entries_.push_back(std::move(entry));
  }
}

Calendar::CalendarEntry* Calendar::FindCalendar(sqlite3_stmt* row) {
  auto found = calendarByUuid_.find(ColumnString(row, 0));
  return found == calendarByUuid_.end() ? nullptr : &entries_[found->second];
}

rapidjson::Value Calendar::MakeEvent(sqlite3_stmt* row, const EventColumns& columns) {
  Allocator& allocator = calendars_->GetAllocator();
  rapidjson::Value event(rapidjson::kObjectType);
  AddText(event, allocator, "description", sqlite::Text(row, columns.description));
  AddText(event, allocator, "url", sqlite::Text(row, columns.url));
  AddText(event, allocator, "summary", sqlite::Text(row, columns.summary));
  PimJsonUtil::AddJsonDictIntValue(event, allocator, "all_day",
                                   sqlite3_column_int(row, columns.allDay));
  const bool plain = CompleteReading() && sqlite3_column_int(row, columns.allDay) != 0;
  auto dateText = [plain](int64_t seconds) {
    return plain ? PlainDate(seconds) : DateTextOrEmpty(seconds);
  };
  const std::string start = dateText(sqlite::Int64(row, columns.startDate));
  const std::string end = dateText(sqlite::Int64(row, columns.endDate));
  AddText(event, allocator, "start_date", start);
  AddText(event, allocator, "end_date", end);
  AddText(event, allocator, "start_date_timezone", sqlite::Text(row, columns.startTz));
  AddText(event, allocator, "location", sqlite::Text(row, columns.location));
  AddText(event, allocator, "id", sqlite::Text(row, 1));
  AddText(event, allocator, kEntityKey, "com.apple.calendars.Event");
  if (plain) {
    AddText(event, allocator, "start_date_source", start);
    AddText(event, allocator, "end_date_source", end);
  } else {
    AddUtcText(event, allocator, "start_date_source", start);
    AddUtcText(event, allocator, "end_date_source", end);
  }
  return event;
}

rapidjson::Value& Calendar::FindOrAddEvent(CalendarEntry& calendar, sqlite3_stmt* row,
                                           const EventColumns& columns) {
  auto inserted = calendar.eventByUuid.emplace(ColumnString(row, 1), calendar.events.size());
  if (inserted.second) calendar.events.push_back(MakeEvent(row, columns));
  return calendar.events[inserted.first->second];
}

template <typename Use>
void Calendar::ForEachEventRow(const sqlite::Database& database, const char* sql,
                               const EventColumns& columns, Use use) {
  sqlite::Statement statement = sqlite::Prepare(database, sql);
  if (!statement) {
    ReportSqliteError(database.get());
    AddQueryProblem(databaseWatch_, database.get());
    return;
  }
  sqlite3_stmt* row = statement.get();
  while (sqlite3_step(row) == SQLITE_ROW) {
    if (sqlite::IsNull(row, 0) || sqlite::IsNull(row, 1) || sqlite::IsNull(row, 2)) continue;
    CalendarEntry* calendar = FindCalendar(row);
    if (!calendar) continue;
    use(row, FindOrAddEvent(*calendar, row, columns));
  }
}

void Calendar::ReadAlarms(const sqlite::Database& database) {
  static constexpr EventColumns kColumns{4, 5, 6, 7, 8, 9, 10, 11};
  ForEachEventRow(database, kAlarmSql, kColumns,
                  [&](sqlite3_stmt* row, rapidjson::Value& event) { AddAlarm(row, event); });
}

void Calendar::AddAlarm(sqlite3_stmt* row, rapidjson::Value& event) {
  Allocator& allocator = calendars_->GetAllocator();
  auto alarms = event.FindMember("display_alarms");
  if (alarms == event.MemberEnd()) {
    rapidjson::Value empty(rapidjson::kArrayType);
    PimJsonUtil::AddJsonDictObjectValue(event, allocator, "display_alarms", empty);
    alarms = event.MemberEnd() - 1;
  }
  rapidjson::Value alarm(rapidjson::kObjectType);
  AddText(alarm, allocator, "id", sqlite::Text(row, 2));
  PimJsonUtil::AddJsonDictIntValue(alarm, allocator, "triggerduration", sqlite3_column_int(row, 3));
  AddText(alarm, allocator, "description", "");
  AddText(alarm, allocator, kEntityKey, "com.apple.calendars.DisplayAlarm");
  PimJsonUtil::PushJsonArrayObjectValue(alarms->value, allocator, alarm);
}

void Calendar::ReadRecurrences(const sqlite::Database& database) {
  static constexpr EventColumns kColumns{7, 8, 9, 10, 11, 12, 13, 14};
  ForEachEventRow(database, kRecurrenceSql, kColumns,
                  [&](sqlite3_stmt* row, rapidjson::Value& event) {
                    // The first recurrence read wins.
                    if (!event.HasMember("recurrence")) AddRecurrence(row, event);
                  });
}

void Calendar::AddRecurrence(sqlite3_stmt* row, rapidjson::Value& event) {
  Allocator& allocator = calendars_->GetAllocator();
  const std::string until = DateTextOrEmpty(sqlite::Int64(row, 5));
  rapidjson::Value recurrence(rapidjson::kObjectType);
  AddText(recurrence, allocator, "id", sqlite::Text(row, 2));
  AddText(recurrence, allocator, "frequency", sqlite::Text(row, 3));
  PimJsonUtil::AddJsonDictIntValue(recurrence, allocator, "interval", sqlite3_column_int(row, 4));
  AddText(recurrence, allocator, kEntityKey, "com.apple.calendars.Recurrence");
  AddText(recurrence, allocator, "until", until);
  AddUtcText(recurrence, allocator, "until_source", until);
  PimJsonUtil::AddJsonDictObjectValue(event, allocator, "recurrence", recurrence);
}

void Calendar::BuildList() {
  Allocator& allocator = calendars_->GetAllocator();
  for (CalendarEntry& entry : entries_) {
    if (!entry.events.empty()) {
      rapidjson::Value events(rapidjson::kArrayType);
      events.Reserve(static_cast<rapidjson::SizeType>(entry.events.size()), allocator);
      for (rapidjson::Value& event : entry.events)
        PimJsonUtil::PushJsonArrayObjectValue(events, allocator, event);
      PimJsonUtil::AddJsonDictObjectValue(entry.object, allocator, "events", events);
    }
    PimJsonUtil::PushJsonArrayObjectValue(*calendars_, allocator, entry.object);
  }
  entries_.clear();
  calendarByUuid_.clear();
}

bool Calendar::ReadCalendarDb(const std::string& path) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (CompleteReading() && database) return ReadEveryEvent(database);
  sqlite::Statement calendars = sqlite::Prepare(database, kCalendarSql);
  if (!calendars) {
    ReportSqliteError(database.get());
    return false;
  }
  ReadCalendars(calendars.get());
  calendars.reset();
  ReadAlarms(database);
  ReadRecurrences(database);
  BuildList();
  return true;
}

bool Calendar::ReadEveryEvent(const sqlite::Database& database) {
  const TableColumns calendar(database, "Calendar");
  const TableColumns item(database, "CalendarItem");
  const TableColumns location(database, "Location");
  const bool hasLocation = location.Has("title") && item.Has("location_id");
  const std::string calendarKey = KeyOf(calendar, "c");
  const std::string itemKey = KeyOf(item, "ci");
  const std::string events = EventColumnList(item, hasLocation);
  std::string joins = " inner join Calendar c on c.ROWID == ci.calendar_id";
  if (hasLocation) joins += " left join Location l on l.ROWID == ci.location_id";

  const std::string calendarSql = "select " + calendarKey + "," + calendar.Or("c", "title") + "," +
                                  calendar.Or("c", "flags") + "," + calendar.Or("c", "color") +
                                  " from Calendar c";
  sqlite::Statement calendars = sqlite::Prepare(database, calendarSql.c_str());
  if (!calendars) {
    AddQueryProblem(databaseWatch_, database.get());
    return false;
  }
  ReadCalendars(calendars.get());
  calendars.reset();

  // Events first, in table order, so that alarms and recurrences find them.
  const std::string eventSql = "select " + calendarKey + "," + itemKey + ",ci.ROWID" + events +
                               " from CalendarItem ci" + joins;
  ForEachEventRow(database, eventSql.c_str(), {3, 4, 5, 6, 7, 8, 9, 10},
                  [](sqlite3_stmt*, rapidjson::Value&) {});

  const TableColumns alarm(database, "Alarm");
  if (alarm.Exists()) {
    const std::string alarmSql = "select " + calendarKey + "," + itemKey + "," +
                                 KeyOf(alarm, "al") + "," + alarm.Or("al", "trigger_interval") +
                                 events + " from Alarm al inner join CalendarItem ci on " +
                                 alarm.FirstOf("al", {"calendaritem_owner_id", "owner_id"}) +
                                 " == ci.ROWID" + joins;
    ForEachEventRow(database, alarmSql.c_str(), {4, 5, 6, 7, 8, 9, 10, 11},
                    [&](sqlite3_stmt* row, rapidjson::Value& event) { AddAlarm(row, event); });
  }
  const TableColumns recurrence(database, "Recurrence");
  if (recurrence.Exists()) {
    const std::string recurrenceSql =
        "select " + calendarKey + "," + itemKey + "," + KeyOf(recurrence, "re") + "," +
        recurrence.Or("re", "frequency") + "," + recurrence.Or("re", "interval") + "," +
        recurrence.FirstOf("re", {"cached_end_date", "end_date"}) + ",null" + events +
        " from Recurrence re inner join CalendarItem ci on " +
        recurrence.FirstOf("re", {"owner_id", "calendaritem_owner_id"}) + " == ci.ROWID" + joins;
    ForEachEventRow(database, recurrenceSql.c_str(), {7, 8, 9, 10, 11, 12, 13, 14},
                    [&](sqlite3_stmt* row, rapidjson::Value& event) {
                      if (!event.HasMember("recurrence")) AddRecurrence(row, event);
                    });
  }
  BuildList();
  return true;
}

void Calendar::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  ReadCalendarDb(databasePath_);
  Allocator& allocator = calendars_->GetAllocator();
  stages.SendSummary(allocator, static_cast<int32_t>(calendars_->Size()),
                     {{"calendar_db_path", databasePath_}});
  stages.Send(2, allocator, *calendars_);
  calendars_ = std::make_unique<rapidjson::Document>(rapidjson::kArrayType);
  stages.SendClosing(3, calendars_->GetAllocator());
}

}  // namespace keldra
