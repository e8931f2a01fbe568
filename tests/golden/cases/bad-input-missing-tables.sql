@ HomeDomain Library/AddressBook/AddressBook.sqlitedb
-- Persons without any multi-value table.
CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last, Middle, Prefix, Suffix,
  FirstPhonetic, MiddlePhonetic, LastPhonetic, DisplayName, Organization, Department, Note, Kind,
  Birthday, JobTitle, Nickname, CreationDate, ModificationDate);
INSERT INTO ABPerson (First) VALUES ('Only'), ('Names');
@ HomeDomain Library/CallHistoryDB/CallHistory.storedata
-- A store without its call table at all. (Calendars and calls of older schemas
-- are the complete-reading tests'.)
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME);
@ HomeDomain Library/Safari/Bookmarks.db
CREATE TABLE generations (g);
@ HomeDomain Library/Safari/History.db
CREATE TABLE history_visits (id INTEGER PRIMARY KEY, history_item, visit_time, title);
INSERT INTO history_visits VALUES (1, 1, 739000000.0, 'x');
