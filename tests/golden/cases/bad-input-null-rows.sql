@ HomeDomain Library/AddressBook/AddressBook.sqlitedb
CREATE TABLE ABPerson (First, Last, Middle, Prefix, Suffix, FirstPhonetic, MiddlePhonetic,
  LastPhonetic, DisplayName, Organization, Department, Note, Kind, Birthday, JobTitle, Nickname,
  CreationDate, ModificationDate);
INSERT INTO ABPerson (First) VALUES (NULL);
CREATE TABLE ABMultiValue (UID, record_id, property, identifier, label, value);
INSERT INTO ABMultiValue VALUES (NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO ABMultiValue VALUES (NULL, 1, 3, NULL, NULL, '');
INSERT INTO ABMultiValue VALUES (NULL, 1, 13, NULL, NULL, NULL);
CREATE TABLE ABMultiValueLabel (value);
INSERT INTO ABMultiValueLabel VALUES (NULL);
CREATE TABLE ABMultiValueEntry (parent_id, key, value);
INSERT INTO ABMultiValueEntry VALUES (NULL, NULL, NULL);
CREATE TABLE ABMultiValueEntryKey (value);
INSERT INTO ABMultiValueEntryKey VALUES (NULL);
@ HomeDomain Library/Calendar/Calendar.sqlitedb
CREATE TABLE Calendar (UUID, title, flags, color);
INSERT INTO Calendar VALUES (NULL, NULL, NULL, NULL);
CREATE TABLE CalendarItem (UUID, summary, description, url, start_date, end_date, start_tz,
  all_day, calendar_id, location_id);
INSERT INTO CalendarItem VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, NULL);
CREATE TABLE Alarm (UUID, trigger_interval, calendaritem_owner_id);
INSERT INTO Alarm VALUES (NULL, NULL, 1);
CREATE TABLE Recurrence (UUID, frequency, interval, cached_end_date, count, owner_id);
INSERT INTO Recurrence VALUES (NULL, NULL, NULL, NULL, NULL, 1);
CREATE TABLE Location (title);
@ WirelessDomain Library/CallHistory/call_history.db
CREATE TABLE call (name, address, date, flags, duration, country_code, network_code);
INSERT INTO call VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);
@ HomeDomain Library/CallHistoryDB/CallHistory.storedata
CREATE TABLE ZCALLRECORD (ZNAME, ZADDRESS, ZDATE, ZORIGINATED, ZDURATION, ZISO_COUNTRY_CODE,
  ZSERVICE_PROVIDER, ZLOCATION);
INSERT INTO ZCALLRECORD VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
@ HomeDomain Library/Safari/Bookmarks.db
CREATE TABLE bookmarks (id, parent, title, url, num_children, order_index, special_id);
INSERT INTO bookmarks VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO bookmarks (id) VALUES (5);
@ HomeDomain Library/Safari/History.db
CREATE TABLE history_items (id, url);
INSERT INTO history_items VALUES (NULL, NULL);
CREATE TABLE history_visits (history_item, visit_time, title);
INSERT INTO history_visits VALUES (NULL, NULL, NULL);
