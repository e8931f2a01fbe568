#include "builder/kinds/CalendarWriter.h"

#include <algorithm>

namespace builder {
namespace {

constexpr char kSchema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT,
  default_alarm_offset INTEGER, type INTEGER, constraint_path TEXT, disabled INTEGER,
  external_id TEXT, persistent_id TEXT, flags INTEGER, creator_bundle_id TEXT,
  creator_code_signing_identity TEXT, only_creator_can_modify INTEGER, external_mod_tag TEXT,
  preferred_event_private_value INTEGER, strictest_event_private_value INTEGER);
CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, title TEXT,
  flags INTEGER, color TEXT, symbolic_color_name TEXT, color_is_display INTEGER, type TEXT,
  supported_entity_types INTEGER, external_id TEXT, external_mod_tag TEXT,
  external_id_tag TEXT, external_rep BLOB, display_order INTEGER, UUID TEXT,
  shared_owner_name TEXT, shared_owner_email TEXT, sharing_status INTEGER,
  sharing_invitation_response INTEGER, published_URL TEXT, is_published INTEGER,
  invitation_status INTEGER, sync_token TEXT, self_identity_id INTEGER,
  self_identity_email TEXT, owner_identity_id INTEGER, owner_identity_email TEXT, notes TEXT,
  bulk_requests BLOB, subcal_account_id TEXT, push_key TEXT, digest BLOB);
CREATE INDEX CalendarStoreId on Calendar(store_id);
CREATE INDEX CalendarUUID on Calendar(UUID);
CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT,
  location_id INTEGER, client_location_id INTEGER, description TEXT, start_date REAL,
  start_tz TEXT, end_date REAL, end_tz TEXT, all_day INTEGER, calendar_id INTEGER,
  orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER, self_attendee_id INTEGER,
  status INTEGER, invitation_status INTEGER, availability INTEGER, privacy_level INTEGER,
  url TEXT, last_modified REAL, sequence_num INTEGER, birthday_id INTEGER,
  modified_properties INTEGER, external_tracking_status INTEGER, external_id TEXT,
  external_mod_tag TEXT, unique_identifier TEXT, external_schedule_id TEXT, external_rep BLOB,
  response_comment TEXT, last_synced_response_comment TEXT, hidden INTEGER,
  has_recurrences INTEGER, has_attendees INTEGER, UUID TEXT, entity_type INTEGER,
  priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER, completion_date REAL,
  creation_date REAL, conference TEXT, app_link BLOB, display_order INTEGER,
  created_by_id INTEGER, modified_by_id INTEGER, shared_item_created_date REAL,
  shared_item_created_tz TEXT, shared_item_modified_date REAL, shared_item_modified_tz TEXT,
  invitation_changed_properties INTEGER, default_alarm_removed INTEGER,
  phantom_master INTEGER, participation_status_modified_date REAL, calendar_scale TEXT,
  travel_time INTEGER, travel_advisory_behavior INTEGER, start_location_id INTEGER,
  suggested_event_info_id INTEGER, first_alert_date REAL);
CREATE INDEX EventHiddenEndDateStartDate on CalendarItem(hidden, end_date, start_date);
CREATE INDEX EventUUID on CalendarItem(UUID);
CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT,
  latitude INTEGER, longitude INTEGER, reference_frame INTEGER, address_book_id TEXT,
  mapkit_handle BLOB, radius INTEGER, routing TEXT, item_owner_id INTEGER,
  alarm_owner_id INTEGER);
CREATE INDEX LocationOwnerItemId on Location(item_owner_id);
CREATE TABLE Recurrence (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, frequency INTEGER,
  interval INTEGER, week_start INTEGER, count INTEGER, cached_end_date REAL,
  cached_end_date_tz TEXT, end_date REAL, specifier TEXT, by_month_months INTEGER,
  owner_id INTEGER, external_id TEXT, external_mod_tag TEXT, external_id_tag TEXT,
  external_rep BLOB, UUID TEXT);
CREATE INDEX RecurrenceOwnerIdIndex on Recurrence(owner_id);
CREATE TABLE Participant (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, entity_type INTEGER,
  type INTEGER, status INTEGER, pending_status INTEGER, role INTEGER, identity_id INTEGER,
  owner_id INTEGER, external_rep BLOB, UUID TEXT, email TEXT, is_self INTEGER, comment TEXT,
  schedule_agent INTEGER, flags INTEGER, last_modified REAL, comment_last_modified REAL);
CREATE TABLE Identity (display_name TEXT, address TEXT, first_name TEXT, last_name TEXT,
  UNIQUE (display_name, address, first_name, last_name));
CREATE TABLE ExceptionDate (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, owner_id INTEGER,
  date REAL, sync_order INTEGER);
CREATE TABLE Attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, owner_id INTEGER,
  external_id TEXT, external_mod_tag TEXT, external_rep BLOB, url TEXT, UUID TEXT, data BLOB,
  format TEXT, is_binary INTEGER, filename TEXT, local_url TEXT, file_size INTEGER);
CREATE TABLE Sharee (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, owner_id INTEGER,
  external_id TEXT, external_rep BLOB, UUID TEXT, identity_id INTEGER, status INTEGER,
  access_level INTEGER);
CREATE TABLE Category (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT,
  entity_type INTEGER, hidden INTEGER);
CREATE TABLE CategoryLink (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, owner_id INTEGER,
  category_id INTEGER);
CREATE TABLE Notification (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, entity_type INTEGER,
  calendar_id INTEGER, external_id TEXT, external_mod_tag TEXT, UUID TEXT, summary TEXT,
  creation_date REAL, last_modified REAL, status INTEGER, host_url TEXT, in_reply_to TEXT,
  identity_id INTEGER, alerted INTEGER);
CREATE TABLE SuggestedEventInfo (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, owner_id INTEGER,
  opaque_key TEXT, unique_key TEXT, changed_fields INTEGER, changes_acknowledged INTEGER,
  timestamp REAL);
CREATE TABLE OccurrenceCache (day REAL, event_id INTEGER, calendar_id INTEGER,
  store_id INTEGER, occurrence_date REAL, occurrence_start_date REAL,
  occurrence_end_date REAL);
CREATE TABLE OccurrenceCacheDays (calendar_id INTEGER, store_id INTEGER, day REAL,
  count INTEGER, PRIMARY KEY (calendar_id, day));
INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '16004');
INSERT INTO Store (name, default_alarm_offset, type, disabled, flags)
  VALUES ('Default', 0, 0, 0, 0);
INSERT INTO Store (name, default_alarm_offset, type, disabled, flags, external_id)
  VALUES ('Subscribed Calendars', 0, 4, 0, 0, 'Subscribed');
)sql";

constexpr char kAlarmTable[] =
    "CREATE TABLE Alarm (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, trigger_date REAL, "
    "trigger_interval INTEGER, type INTEGER, calendaritem_owner_id INTEGER, calendar_owner_id "
    "INTEGER, external_id TEXT, external_mod_tag TEXT, external_id_tag TEXT, external_rep BLOB, "
    "UUID TEXT, proximity INTEGER, disabled INTEGER, location_id INTEGER, acknowledgedDate REAL, "
    "default_alarm INTEGER, orig_alarm_id INTEGER);"
    "CREATE INDEX AlarmCalendarItemOwnerId on Alarm(calendaritem_owner_id);";
constexpr char kLegacyAlarmTable[] =
    "CREATE TABLE Alarm (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, trigger_date REAL, "
    "trigger_interval INTEGER, type INTEGER, owner_id INTEGER, external_id TEXT, "
    "external_mod_tag TEXT, external_id_tag TEXT, external_rep BLOB, UUID TEXT, proximity "
    "INTEGER, disabled INTEGER, location_id INTEGER, acknowledgedDate REAL, default_alarm "
    "INTEGER, orig_alarm_id INTEGER);"
    "CREATE INDEX AlarmOwnerId on Alarm(owner_id);";

enum Table { kCalendars, kItems, kLocations, kAlarms, kRecurrences };

int64_t Take(int64_t& next, int64_t id) {
  if (id == 0) id = next;
  next = std::max(next, id + 1);
  return id;
}

}  // namespace

int64_t CalendarWriter::AddCalendar(CalendarRow row) {
  row.id = Take(nextId_[kCalendars], row.id);
  calendars_.push_back(std::move(row));
  return calendars_.back().id;
}

int64_t CalendarWriter::AddItem(Item row) {
  row.id = Take(nextId_[kItems], row.id);
  items_.push_back(std::move(row));
  return items_.back().id;
}

int64_t CalendarWriter::AddLocation(Location row) {
  row.id = Take(nextId_[kLocations], row.id);
  locations_.push_back(std::move(row));
  return locations_.back().id;
}

int64_t CalendarWriter::AddAlarm(Alarm row) {
  row.id = Take(nextId_[kAlarms], row.id);
  alarms_.push_back(std::move(row));
  return alarms_.back().id;
}

int64_t CalendarWriter::AddRecurrence(Recurrence row) {
  row.id = Take(nextId_[kRecurrences], row.id);
  recurrences_.push_back(std::move(row));
  return recurrences_.back().id;
}

void CalendarWriter::Populate(SqliteDatabase& database) const {
  database.Exec(kSchema);
  database.Exec(legacyAlarmOwner ? kLegacyAlarmTable : kAlarmTable);
  int64_t order = 0;
  for (const CalendarRow& c : calendars_) {
    database.Run(
        "INSERT INTO Calendar (ROWID, store_id, title, flags, color, color_is_display, type, "
        "supported_entity_types, display_order, UUID, sharing_status, is_published) "
        "VALUES (?, ?, ?, ?, ?, 1, 'local', 4, ?, ?, 0, 0)",
        {c.id, c.storeId, c.title, c.flags, c.color, order++, c.uuid});
  }
  for (const Location& l : locations_) {
    database.Run(
        "INSERT INTO Location (ROWID, title, address, latitude, longitude, radius, "
        "item_owner_id) VALUES (?, ?, ?, 0, 0, 0, ?)",
        {l.id, l.title, l.address, l.itemId});
  }
  for (const Item& i : items_) {
    auto has = [&i](const auto& rows) {
      return std::any_of(rows.begin(), rows.end(),
                         [&i](const auto& r) { return r.itemId == i.id; });
    };
    database.Run(
        "INSERT INTO CalendarItem (ROWID, summary, location_id, description, start_date, "
        "start_tz, end_date, all_day, calendar_id, orig_item_id, status, availability, url, "
        "hidden, has_recurrences, has_attendees, UUID, entity_type, unique_identifier) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, ?, 0, ?, 0, ?, 2, ?)",
        {i.id, i.summary, i.locationId ? Cell(i.locationId) : Cell(), i.description, i.startDate,
         i.startTz, i.endDate, i.allDay, i.calendarId, i.url, has(recurrences_) ? 1 : 0, i.uuid,
         i.uuid});
  }
  const std::string alarmOwner = legacyAlarmOwner ? "owner_id" : "calendaritem_owner_id";
  for (const Alarm& a : alarms_) {
    database.Run(
        "INSERT INTO Alarm (ROWID, trigger_date, trigger_interval, type, " + alarmOwner +
            ", UUID, proximity, disabled, default_alarm) VALUES (?, ?, ?, 1, ?, ?, 0, 0, 0)",
        {a.id, a.triggerDate, a.triggerInterval, a.itemId, a.uuid});
  }
  for (const Recurrence& r : recurrences_) {
    database.Run(
        "INSERT INTO Recurrence (ROWID, frequency, interval, week_start, count, cached_end_date, "
        "end_date, owner_id, UUID) VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?)",
        {r.id, r.frequency, r.interval, r.count, r.cachedEndDate, r.endDate, r.itemId, r.uuid});
  }
}

}  // namespace builder
