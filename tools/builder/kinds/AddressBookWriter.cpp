#include "builder/kinds/AddressBookWriter.h"

#include <algorithm>
#include <cstdio>

namespace builder {
namespace {

constexpr char kSchema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE ABStore (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT,
  Type INTEGER, ConstraintsPath TEXT, ExternalModificationTag TEXT, ExternalSyncTag TEXT,
  StoreInternalIdentifier TEXT, AccountID INTEGER DEFAULT -1, Enabled INTEGER DEFAULT 1,
  SyncData BLOB, MeIdentifier INTEGER DEFAULT -1, Capabilities INTEGER DEFAULT 0, guid TEXT,
  LastSyncDate TEXT, UNIQUE(StoreInternalIdentifier), UNIQUE(guid));
CREATE TABLE ABAccount (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, AccountIdentifier TEXT,
  Flags INTEGER, DefaultSourceID INTEGER, guid TEXT, UNIQUE(guid));
CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT,
  Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT,
  Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT,
  Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER,
  ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT,
  ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT,
  ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT,
  FirstSortLanguageIndex INTEGER DEFAULT 2147483647,
  LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1,
  ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1, guid TEXT, PhonemeData TEXT,
  AlternateBirthday TEXT, MapsData TEXT, FirstPronunciation TEXT, MiddlePronunciation TEXT,
  LastPronunciation TEXT, OrganizationPhonetic TEXT, OrganizationPronunciation TEXT,
  PreviousFamilyName TEXT, PreferredLikenessSource TEXT, PreferredPersonaIdentifier TEXT,
  PreferredChannel TEXT, DowntimeWhitelist TEXT, ImageType TEXT, ImageHash BLOB,
  MemojiMetadata BLOB, UNIQUE(guid));
CREATE INDEX ABFirstSortIndex on ABPerson(FirstSortLanguageIndex, FirstSortSection, FirstSort);
CREATE INDEX ABLastSortIndex on ABPerson(LastSortLanguageIndex, LastSortSection, LastSort);
CREATE INDEX ABPersonPersonLinkIndex on ABPerson(PersonLink);
CREATE TABLE ABPersonChanges (record INTEGER, type INTEGER, sequence_number INTEGER,
  Image INTEGER, ExternalIdentifier TEXT, StoreID INTEGER, PersonLink INTEGER, guid TEXT,
  Changes INTEGER, LinkToPersonUUID TEXT, PersonLinkUUID TEXT);
CREATE TABLE ABPersonLink (ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
  PreferredImagePersonID INTEGER DEFAULT -1, PreferredNamePersonID INTEGER DEFAULT -1,
  guid TEXT, UNIQUE(guid));
CREATE TABLE ABPersonSearchKey (person_id INTEGER, SearchKey BLOB, NameOnlySearchKey BLOB,
  UNIQUE(person_id));
CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT,
  ExternalIdentifier TEXT, StoreID INTEGER, ExternalModificationTag TEXT,
  ExternalRepresentation BLOB, ExternalUUID TEXT, guid TEXT, UNIQUE(guid));
CREATE TABLE ABGroupChanges (record INTEGER, type INTEGER, sequence_number INTEGER,
  ExternalIdentifier TEXT, StoreID INTEGER, guid TEXT);
CREATE TABLE ABGroupMembers (UID INTEGER PRIMARY KEY, group_id INTEGER, member_type INTEGER,
  member_id INTEGER, UNIQUE(group_id, member_type, member_id));
CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER,
  identifier INTEGER, label INTEGER, value TEXT, guid TEXT, UNIQUE(guid));
CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id);
CREATE INDEX ABMultiValueLabelIndex ON ABMultiValue(label);
CREATE INDEX ABMultiValuePropertyValueIndex ON ABMultiValue(property, value COLLATE NOCASE);
CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));
CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT,
  UNIQUE(parent_id, key));
CREATE INDEX ABMultiValueEntryKeyIndex ON ABMultiValueEntry(key);
CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));
CREATE TABLE ABPhoneLastFour (multivalue_id INTEGER PRIMARY KEY, value TEXT);
CREATE TABLE ABPersonMultiValueDeletes (record_id INTEGER, property_id INTEGER,
  identifier INTEGER, sequence_number INTEGER, record_uid TEXT, identifier_uid TEXT);
CREATE TABLE FirstSortSectionCount(LanguageIndex, Section TEXT, StoreID, number,
  UNIQUE(LanguageIndex, Section, StoreID));
CREATE TABLE LastSortSectionCount(LanguageIndex, Section TEXT, StoreID, number,
  UNIQUE(LanguageIndex, Section, StoreID));
CREATE TABLE FirstSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number,
  UNIQUE(LanguageIndex, Section, Type));
CREATE TABLE LastSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number,
  UNIQUE(LanguageIndex, Section, Type));
CREATE TABLE ClientCursor (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER,
  latest_consumed_sequence_number INTEGER, latest_consumed_timestamp REAL,
  client_identifier TEXT, UNIQUE(client_identifier, store_id));
CREATE TABLE ClientSequence (sequence_number INTEGER, client_identifier TEXT,
  save_timestamp REAL);
CREATE TABLE ClientCursorConsumed (store_id INTEGER, consumed_entity_class INTEGER,
  consumed_entity_id INTEGER, consumed_change_id INTEGER, sequence_number INTEGER,
  client_identifier TEXT);
INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '3013');
INSERT INTO ABAccount (AccountIdentifier, Flags, DefaultSourceID, guid)
  VALUES (NULL, 1, 1, 'A1B2C3D4-0000-4000-8000-00000000000A');
INSERT INTO ABStore (Name, Type, StoreInternalIdentifier, AccountID, Enabled, guid)
  VALUES ('Local', 0, 'LocalSource', 1, 1, 'A1B2C3D4-0000-4000-8000-00000000000B');
)sql";

// The device's full-text index and its shadow tables. The virtual table is
// declared through the schema table because stock SQLite refuses to create
// one with the device's tokenizer.
constexpr char kFullTextIndex[] = R"sql(
CREATE TABLE 'ABPersonFullTextSearch_content'(docid INTEGER PRIMARY KEY, 'c0First', 'c1Last',
  'c2Middle', 'c3FirstPhonetic', 'c4MiddlePhonetic', 'c5LastPhonetic', 'c6Organization',
  'c7Department', 'c8Note', 'c9Birthday', 'c10JobTitle', 'c11Nickname', 'c12Prefix',
  'c13Suffix', 'c14DisplayName', 'c15Phone', 'c16Email', 'c17Address', 'c18URL');
CREATE TABLE 'ABPersonFullTextSearch_segments'(blockid INTEGER PRIMARY KEY, block BLOB);
CREATE TABLE 'ABPersonFullTextSearch_segdir'(level INTEGER, idx INTEGER, start_block INTEGER,
  leaves_end_block INTEGER, end_block INTEGER, root BLOB, PRIMARY KEY(level, idx));
CREATE TABLE 'ABPersonFullTextSearch_docsize'(docid INTEGER PRIMARY KEY, size BLOB);
CREATE TABLE 'ABPersonFullTextSearch_stat'(id INTEGER PRIMARY KEY, value BLOB);
PRAGMA writable_schema = ON;
INSERT INTO sqlite_master (type, name, tbl_name, rootpage, sql) VALUES ('table',
  'ABPersonFullTextSearch', 'ABPersonFullTextSearch', 0,
  'CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts4(tokenize=ab_cf_tokenizer '
  || 'language="en-US", First, Last, Middle, FirstPhonetic, MiddlePhonetic, LastPhonetic, '
  || 'Organization, Department, Note, Birthday, JobTitle, Nickname, Prefix, Suffix, '
  || 'DisplayName, Phone, Email, Address, URL)');
PRAGMA writable_schema = OFF;
)sql";

std::string Guid(const char* prefix, int64_t number) {
  char text[64];
  std::snprintf(text, sizeof text, "%s-0000-4000-8000-%012lld", prefix,
                static_cast<long long>(number));
  return text;
}

// The text a sort column holds: the name in upper case, as a collation key
// would order it.
Cell SortKey(const Cell& a, const Cell& b) {
  const Cell& source = a.IsText() && !a.bytes.empty() ? a : b;
  if (!source.IsText()) return Cell();
  std::string key = source.bytes;
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  return key;
}

}  // namespace

int64_t AddressBookWriter::AddPerson(Person person) {
  if (person.id == 0) person.id = nextPersonId_;
  nextPersonId_ = std::max(nextPersonId_, person.id + 1);
  persons_.push_back(std::move(person));
  return persons_.back().id;
}

int64_t AddressBookWriter::AddMultiValue(MultiValue value) {
  if (value.uid == 0) value.uid = nextUid_;
  nextUid_ = std::max(nextUid_, value.uid + 1);
  values_.push_back(std::move(value));
  return values_.back().uid;
}

int64_t AddressBookWriter::AddPhone(int64_t personId, const std::string& number, Cell label) {
  MultiValue value;
  value.recordId = personId;
  value.property = kPhone;
  value.label = std::move(label);
  value.value = number;
  return AddMultiValue(std::move(value));
}

int64_t AddressBookWriter::AddEmail(int64_t personId, const std::string& address, Cell label) {
  MultiValue value;
  value.recordId = personId;
  value.property = kEmail;
  value.label = std::move(label);
  value.value = address;
  return AddMultiValue(std::move(value));
}

int64_t AddressBookWriter::AddPostalAddress(int64_t personId, Cell label,
                                            std::vector<std::pair<std::string, Cell>> parts) {
  MultiValue value;
  value.recordId = personId;
  value.property = kAddress;
  value.label = std::move(label);
  value.entries = std::move(parts);
  return AddMultiValue(std::move(value));
}

void AddressBookWriter::AddGroup(const std::string& name, const std::vector<int64_t>& memberIds) {
  groups_.emplace_back(name, memberIds);
}

void AddressBookWriter::CreateSchema(SqliteDatabase& database, bool withFullTextIndex) {
  database.Exec(kSchema);
  if (withFullTextIndex) database.Exec(kFullTextIndex);
}

void AddressBookWriter::Populate(SqliteDatabase& database) const {
  CreateSchema(database, withFullTextIndex);
  for (const Person& p : persons_) {
    database.Run(
        "INSERT INTO ABPerson (ROWID, First, Last, Middle, FirstPhonetic, MiddlePhonetic, "
        "LastPhonetic, Organization, Department, Note, Kind, Birthday, JobTitle, Nickname, Prefix, "
        "Suffix, FirstSort, LastSort, CreationDate, ModificationDate, StoreID, DisplayName, "
        "FirstSortSection, LastSortSection, guid) VALUES "
        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?)",
        {p.id,
         p.first,
         p.last,
         p.middle,
         p.firstPhonetic,
         p.middlePhonetic,
         p.lastPhonetic,
         p.organization,
         p.department,
         p.note,
         p.kind,
         p.birthday,
         p.jobTitle,
         p.nickname,
         p.prefix,
         p.suffix,
         SortKey(p.first, p.last),
         SortKey(p.last, p.first),
         p.creationDate,
         p.modificationDate,
         p.displayName,
         SortKey(p.first, p.last).bytes.substr(0, 1),
         SortKey(p.last, p.first).bytes.substr(0, 1),
         Guid("B0B0B0B0", p.id)});
  }
  std::map<std::string, int64_t> labels;
  std::map<std::string, int64_t> keys;
  auto intern = [&database](std::map<std::string, int64_t>& table, const char* sqlTable,
                            const std::string& text) {
    auto found = table.find(text);
    if (found != table.end()) return found->second;
    database.Run(std::string("INSERT INTO ") + sqlTable + " (value) VALUES (?)", {text});
    return table[text] = database.LastInsertRowId();
  };
  int64_t identifier = 0;
  for (const MultiValue& v : values_) {
    Cell label;
    if (v.label.IsText()) label = intern(labels, "ABMultiValueLabel", v.label.bytes);
    database.Run(
        "INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value, guid) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)",
        {v.uid, v.recordId, v.property, identifier++, label, v.value, Guid("C0C0C0C0", v.uid)});
    if (v.property == kPhone && v.value.IsText() && v.value.bytes.size() >= 4) {
      database.Run("INSERT INTO ABPhoneLastFour (multivalue_id, value) VALUES (?, ?)",
                   {v.uid, v.value.bytes.substr(v.value.bytes.size() - 4)});
    }
    for (const auto& [key, value] : v.entries) {
      database.Run("INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (?, ?, ?)",
                   {v.uid, intern(keys, "ABMultiValueEntryKey", key), value});
    }
  }
  int64_t memberUid = 1;
  int64_t groupNumber = 1;
  for (const auto& [name, members] : groups_) {
    database.Run("INSERT INTO ABGroup (Name, StoreID, guid) VALUES (?, 1, ?)",
                 {name, Guid("D0D0D0D0", groupNumber++)});
    const int64_t groupId = database.LastInsertRowId();
    for (int64_t member : members) {
      database.Run(
          "INSERT INTO ABGroupMembers (UID, group_id, member_type, member_id) VALUES (?, ?, 0, ?)",
          {memberUid++, groupId, member});
    }
  }
}

}  // namespace builder
