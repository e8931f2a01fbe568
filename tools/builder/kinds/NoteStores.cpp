#include "builder/kinds/NoteStores.h"

#include <map>
#include <utility>

#include "builder/BinaryPlist.h"
#include "builder/kinds/Directories.h"
#include "builder/kinds/Identifiers.h"
#include "builder/kinds/RowInsert.h"
#include "builder/kinds/SqliteWriter.h"

namespace builder::notes {
namespace {

// Core Data entity numbers of an iOS 17 store.
enum Entity : int64_t {
  kEntityAttachment = 4,
  kEntityMedia = 10,
  kEntityNote = 11,
  kEntityAccount = 13,
  kEntityFolder = 14,
  kEntityNoteData = 18,
};

const char* const kEntityNames[] = {"ICCloudState",
                                    "ICCloudSyncingObject",
                                    "ICAccountData",
                                    "ICAttachment",
                                    "ICAttachmentPreviewImage",
                                    "ICDeviceMigrationState",
                                    "ICHashtag",
                                    "ICInlineAttachment",
                                    "ICLegacyTombstone",
                                    "ICMedia",
                                    "ICNote",
                                    "ICNoteContainer",
                                    "ICAccount",
                                    "ICFolder",
                                    "ICInvitation",
                                    "ICLocation",
                                    "ICAttachmentLocation",
                                    "ICNoteData",
                                    "ICNoteParticipant",
                                    "ICServerChangeToken"};
const int64_t kEntitySupers[] = {0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 12, 12, 0, 0, 16, 0, 0, 0};

constexpr char kNoteStoreSchema[] = R"sql(
CREATE TABLE ZICCLOUDSYNCINGOBJECT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCRYPTOITERATIONCOUNT INTEGER, ZISPASSWORDPROTECTED INTEGER, ZMARKEDFORDELETION INTEGER,
  ZMEDIA INTEGER, ZNOTE INTEGER, ZISPINNED INTEGER, ZACCOUNT7 INTEGER, ZFOLDER INTEGER,
  ZNOTEDATA INTEGER, ZOWNER INTEGER, ZACCOUNTTYPE INTEGER, ZFOLDERTYPE INTEGER,
  ZCREATIONDATE TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP, ZSIZEHEIGHT FLOAT, ZSIZEWIDTH FLOAT,
  ZCREATIONDATE1 TIMESTAMP, ZCREATIONDATE3 TIMESTAMP, ZLASTVIEWEDMODIFICATIONDATE TIMESTAMP,
  ZMODIFICATIONDATE1 TIMESTAMP, ZIDENTIFIER VARCHAR, ZSUMMARY VARCHAR, ZTITLE VARCHAR,
  ZTYPEUTI VARCHAR, ZFILENAME VARCHAR, ZSNIPPET VARCHAR, ZTITLE1 VARCHAR, ZNAME VARCHAR,
  ZTITLE2 VARCHAR, ZCRYPTOINITIALIZATIONVECTOR BLOB, ZCRYPTOSALT BLOB, ZCRYPTOTAG BLOB,
  ZCRYPTOWRAPPEDKEY BLOB );
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZMEDIA_INDEX ON ZICCLOUDSYNCINGOBJECT (ZMEDIA);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZNOTE_INDEX ON ZICCLOUDSYNCINGOBJECT (ZNOTE);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZFOLDER_INDEX ON ZICCLOUDSYNCINGOBJECT (ZFOLDER);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZNOTEDATA_INDEX ON ZICCLOUDSYNCINGOBJECT (ZNOTEDATA);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_Z_ENT_INDEX ON ZICCLOUDSYNCINGOBJECT (Z_ENT);
CREATE UNIQUE INDEX Z_ICCloudSyncingObject_UNIQUE_identifier
  ON ZICCLOUDSYNCINGOBJECT (ZIDENTIFIER, Z_ENT);
CREATE TABLE ZICNOTEDATA ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZNOTE INTEGER, ZCRYPTOINITIALIZATIONVECTOR BLOB, ZCRYPTOTAG BLOB, ZDATA BLOB );
CREATE INDEX ZICNOTEDATA_ZNOTE_INDEX ON ZICNOTEDATA (ZNOTE);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER,
  Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
)sql";

constexpr char kLegacySchema[] = R"sql(
CREATE TABLE ZACCOUNT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZTYPE INTEGER,
  ZDEFAULTSTORE INTEGER, ZACCOUNTIDENTIFIER VARCHAR, ZCONSTRAINTSPATH VARCHAR, ZNAME VARCHAR );
CREATE TABLE ZNEXTID ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCOUNTER INTEGER );
CREATE TABLE ZNOTE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCONTAINSCJK INTEGER, ZCONTENTTYPE INTEGER, ZDELETEDFLAG INTEGER, ZEXTERNALFLAGS INTEGER,
  ZEXTERNALSEQUENCENUMBER INTEGER, ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER,
  ZISBOOKKEEPINGENTRY INTEGER, ZBODY INTEGER, ZSTORE INTEGER, ZCREATIONDATE TIMESTAMP,
  ZMODIFICATIONDATE TIMESTAMP, ZAUTHOR VARCHAR, ZGUID VARCHAR, ZSERVERID VARCHAR,
  ZSUMMARY VARCHAR, ZTITLE VARCHAR );
CREATE INDEX ZNOTE_ZINTEGERID_INDEX ON ZNOTE (ZINTEGERID);
CREATE INDEX ZNOTE_ZBODY_INDEX ON ZNOTE (ZBODY);
CREATE INDEX ZNOTE_ZSTORE_INDEX ON ZNOTE (ZSTORE);
CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZOWNER INTEGER,
  ZCONTENT VARCHAR, ZEXTERNALCONTENTREF VARCHAR, ZEXTERNALREPRESENTATION BLOB );
CREATE INDEX ZNOTEBODY_ZOWNER_INDEX ON ZNOTEBODY (ZOWNER);
CREATE TABLE ZSTORE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZACCOUNT INTEGER,
  ZEXTERNALIDENTIFIER VARCHAR, ZNAME VARCHAR, ZSYNCANCHOR VARCHAR );
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER,
  Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
)sql";

// The store metadata Core Data keeps beside the tables.
std::string MetadataPlist(const std::string& modelName) {
  BinaryPlistWriter writer;
  auto type = writer.String("NSStoreType");
  auto sqlite = writer.String("SQLite");
  auto model = writer.String("NSStoreModelVersionIdentifiers");
  auto version = writer.Array({writer.String(modelName)});
  auto top = writer.Dict({{type, sqlite}, {model, version}});
  std::string out;
  writer.Write(top, out);
  return out;
}

std::string Snippet(const std::string& text) {
  size_t newline = text.find('\n');
  if (newline == std::string::npos) return {};
  return text.substr(newline + 1, 80);
}

std::string AccountFolder(const NoteStoreContent& content) {
  return "Accounts/" + content.accountIdentifier;
}

std::string PreviewPath(const NoteStoreContent& content, const StoreAttachment& attachment,
                        int index) {
  static const char* const kSizes[] = {"192x144", "768x576", "1280x960", "2048x1536"};
  return AccountFolder(content) + "/Previews/" + attachment.ref.identifier + "-1-" +
         kSizes[index % 4] + "-0.png";
}

class NoteStoreWriter {
 public:
  NoteStoreWriter(SqliteDatabase& db, const NoteStoreContent& content)
      : db_(db), content_(content) {}

  void Write() {
    db_.Exec(kNoteStoreSchema);
    int64_t account = Object(kEntityAccount, {{"ZIDENTIFIER", content_.accountIdentifier},
                                              {"ZNAME", std::string("iCloud")},
                                              {"ZACCOUNTTYPE", int64_t{1}}});
    folder_ =
        Object(kEntityFolder, {{"ZIDENTIFIER", UuidText("folder:" + content_.accountIdentifier)},
                               {"ZTITLE2", std::string("Notes")},
                               {"ZOWNER", account},
                               {"ZFOLDERTYPE", int64_t{0}}});
    account_ = account;
    for (size_t i = 0; i < content_.notes.size(); ++i) WriteNote(content_.notes[i], i);
    WriteMetadata();
  }

 private:
  // One row of the shared object table; returns its Z_PK.
  int64_t Object(Entity entity, Row columns) {
    int64_t pk = ++objects_;
    columns.insert(columns.begin(),
                   {{"Z_PK", pk}, {"Z_ENT", int64_t{entity}}, {"Z_OPT", int64_t{1}}});
    InsertRow(db_, "ZICCLOUDSYNCINGOBJECT", columns);
    ++counts_[entity];
    return pk;
  }

  void WriteNote(const StoreNote& note, size_t index) {
    const std::string seed = content_.accountIdentifier + ":note:" + std::to_string(index);
    int64_t dataKey = ++noteData_;
    Row row = {{"ZIDENTIFIER", UuidText(seed)},
               {"ZTITLE1", Nullable(note.title)},
               {"ZSNIPPET", note.locked ? Cell() : Cell(Snippet(note.text))},
               {"ZCREATIONDATE", Nullable(note.plainCreated)},
               {"ZCREATIONDATE3", note.created},
               {"ZMODIFICATIONDATE1", note.modified},
               {"ZLASTVIEWEDMODIFICATIONDATE", note.modified},
               {"ZNOTEDATA", dataKey},
               {"ZFOLDER", folder_},
               {"ZACCOUNT7", account_},
               {"ZISPASSWORDPROTECTED", int64_t{note.locked ? 1 : 0}},
               {"ZMARKEDFORDELETION", int64_t{0}},
               {"ZISPINNED", int64_t{0}}};
    if (note.locked) {
      row.emplace_back("ZCRYPTOINITIALIZATIONVECTOR", Cell::Blob(SeededBytes(seed + ":iv", 16)));
      row.emplace_back("ZCRYPTOTAG", Cell::Blob(SeededBytes(seed + ":tag", 16)));
      row.emplace_back("ZCRYPTOSALT", Cell::Blob(SeededBytes(seed + ":salt", 16)));
      row.emplace_back("ZCRYPTOWRAPPEDKEY", Cell::Blob(SeededBytes(seed + ":key", 24)));
      row.emplace_back("ZCRYPTOITERATIONCOUNT", int64_t{20000});
    }
    int64_t noteKey = Object(kEntityNote, row);

    Cell data;
    if (note.nullBody)
      data = Cell();
    else if (note.body)
      data = Cell::Blob(*note.body);
    else if (note.locked)
      data = Cell::Blob(SeededBytes(seed + ":cipher", 64 + note.text.size()));
    else
      data = Cell::Blob(StoredBody(note));
    InsertRow(db_, "ZICNOTEDATA",
              {{"Z_PK", dataKey},
               {"Z_ENT", int64_t{kEntityNoteData}},
               {"Z_OPT", int64_t{1}},
               {"ZNOTE", noteKey},
               {"ZDATA", data}});
    for (const StoreAttachment& attachment : note.attachments)
      WriteAttachment(attachment, noteKey, note);
  }

  void WriteAttachment(const StoreAttachment& attachment, int64_t noteKey, const StoreNote& note) {
    Cell media;
    if (!attachment.mediaIdentifier.empty())
      media = Object(kEntityMedia, {{"ZIDENTIFIER", attachment.mediaIdentifier},
                                    {"ZFILENAME", attachment.fileName},
                                    {"ZNOTE", noteKey}});
    Object(kEntityAttachment, {{"ZIDENTIFIER", attachment.ref.identifier},
                               {"ZTYPEUTI", attachment.ref.typeUti},
                               {"ZNOTE", noteKey},
                               {"ZMEDIA", media},
                               {"ZCREATIONDATE", note.created},
                               {"ZMODIFICATIONDATE", note.modified},
                               {"ZSIZEWIDTH", 1024.0},
                               {"ZSIZEHEIGHT", 768.0}});
  }

  void WriteMetadata() {
    for (int64_t entity = 1; entity <= 20; ++entity) {
      InsertRow(db_, "Z_PRIMARYKEY",
                {{"Z_ENT", entity},
                 {"Z_NAME", std::string(kEntityNames[entity - 1])},
                 {"Z_SUPER", kEntitySupers[entity - 1]},
                 {"Z_MAX", entity == kEntityNoteData ? noteData_ : counts_[entity]}});
    }
    InsertRow(db_, "Z_METADATA",
              {{"Z_VERSION", int64_t{1}},
               {"Z_UUID", UuidText("store:" + content_.accountIdentifier)},
               {"Z_PLIST", Cell::Blob(MetadataPlist("NotesShared"))}});
    InsertRow(db_, "Z_MODELCACHE", {{"Z_CONTENT", Cell::Blob(SeededBytes("model cache", 512))}});
  }

  SqliteDatabase& db_;
  const NoteStoreContent& content_;
  int64_t objects_ = 0;
  int64_t noteData_ = 0;
  int64_t folder_ = 0;
  int64_t account_ = 0;
  std::map<int64_t, int64_t> counts_;
};

void WriteLegacy(SqliteDatabase& db, const std::vector<LegacyNote>& notes) {
  db.Exec(kLegacySchema);
  InsertRow(db, "ZACCOUNT",
            {{"Z_PK", int64_t{1}},
             {"Z_ENT", int64_t{1}},
             {"Z_OPT", int64_t{1}},
             {"ZTYPE", int64_t{1}},
             {"ZDEFAULTSTORE", int64_t{1}},
             {"ZACCOUNTIDENTIFIER", std::string("local://local/account")},
             {"ZNAME", std::string("On My iPhone")}});
  InsertRow(db, "ZSTORE",
            {{"Z_PK", int64_t{1}},
             {"Z_ENT", int64_t{7}},
             {"Z_OPT", int64_t{1}},
             {"ZACCOUNT", int64_t{1}},
             {"ZEXTERNALIDENTIFIER", std::string("local://local/store")},
             {"ZNAME", std::string("LOCAL_NOTES_STORE")}});
  int64_t bodies = 0;
  for (size_t i = 0; i < notes.size(); ++i) {
    const LegacyNote& note = notes[i];
    int64_t key = static_cast<int64_t>(i + 1);
    int64_t body = note.withBody ? ++bodies : 1000000 + key;
    InsertRow(db, "ZNOTE",
              {{"Z_PK", key},
               {"Z_ENT", int64_t{3}},
               {"Z_OPT", int64_t{2}},
               {"ZCONTAINSCJK", int64_t{0}},
               {"ZCONTENTTYPE", int64_t{0}},
               {"ZDELETEDFLAG", int64_t{0}},
               {"ZINTEGERID", key},
               {"ZISBOOKKEEPINGENTRY", int64_t{0}},
               {"ZBODY", body},
               {"ZSTORE", int64_t{1}},
               {"ZCREATIONDATE", Nullable(note.created)},
               {"ZMODIFICATIONDATE", Nullable(note.modified)},
               {"ZGUID", UuidText("legacy:" + std::to_string(i))},
               {"ZSUMMARY", Nullable(note.content)},
               {"ZTITLE", Nullable(note.title)}});
    if (note.withBody)
      InsertRow(db, "ZNOTEBODY",
                {{"Z_PK", body},
                 {"Z_ENT", int64_t{4}},
                 {"Z_OPT", int64_t{1}},
                 {"ZOWNER", key},
                 {"ZCONTENT", Nullable(note.content)}});
  }
  const char* const kNames[] = {"Account",    "NextId",   "Note", "NoteBody",
                                "NoteChange", "Property", "Store"};
  const int64_t kMax[] = {1, 0, static_cast<int64_t>(notes.size()), bodies, 0, 0, 1};
  for (int64_t entity = 1; entity <= 7; ++entity)
    InsertRow(db, "Z_PRIMARYKEY",
              {{"Z_ENT", entity},
               {"Z_NAME", std::string(kNames[entity - 1])},
               {"Z_SUPER", int64_t{0}},
               {"Z_MAX", kMax[entity - 1]}});
  InsertRow(db, "Z_METADATA",
            {{"Z_VERSION", int64_t{1}},
             {"Z_UUID", UuidText("legacy notes store")},
             {"Z_PLIST", Cell::Blob(MetadataPlist("Notes"))}});
}

class NoteStoreDatabase : public DatabaseWriter {
 public:
  explicit NoteStoreDatabase(const NoteStoreContent& content) : content_(content) {}
  const char* Domain() const override { return kNotesDomain; }
  const char* RelativePath() const override { return kNoteStorePath; }

 protected:
  void Populate(SqliteDatabase& database) const override {
    NoteStoreWriter(database, content_).Write();
  }

 private:
  const NoteStoreContent& content_;
};

class LegacyNotesDatabase : public DatabaseWriter {
 public:
  explicit LegacyNotesDatabase(const std::vector<LegacyNote>& notes) : notes_(notes) {}
  const char* Domain() const override { return "HomeDomain"; }
  const char* RelativePath() const override { return kLegacyNotesPath; }

 protected:
  void Populate(SqliteDatabase& database) const override { WriteLegacy(database, notes_); }

 private:
  const std::vector<LegacyNote>& notes_;
};

}  // namespace

std::string StoredBody(const StoreNote& note) {
  NoteContent content;
  content.text = note.text;
  for (const StoreAttachment& attachment : note.attachments)
    content.attachments.push_back(attachment.ref);
  return Gzip(EncodeNoteBody(content));
}

void WriteNoteStore(const NoteStoreContent& content, const std::string& path) {
  NoteStoreDatabase(content).Write(path);
}

void AddNoteStore(BackupBuilder& backup, const NoteStoreContent& content) {
  Directories directories(backup);
  directories.Add(kNotesDomain, "");
  NoteStoreDatabase(content).AddTo(backup);
  const std::string account = AccountFolder(content);
  for (const std::string& folder :
       {std::string("Accounts"), account, account + "/Media", account + "/Previews"})
    directories.Add(kNotesDomain, folder);
  for (const StoreNote& note : content.notes) {
    for (const StoreAttachment& attachment : note.attachments) {
      if (!attachment.mediaIdentifier.empty()) {
        std::string folder = account + "/Media/" + attachment.mediaIdentifier;
        directories.Add(kNotesDomain, folder);
        backup.AddFile(kNotesDomain, folder + "/" + attachment.fileName, attachment.content);
      }
      for (int i = 0; i < attachment.previews; ++i)
        backup.AddFile(kNotesDomain, PreviewPath(content, attachment, i),
                       "\x89PNG\r\n\x1a\n preview " + std::to_string(i));
    }
  }
}

void WriteLegacyNotes(const std::vector<LegacyNote>& notes, const std::string& path) {
  LegacyNotesDatabase(notes).Write(path);
}

void AddLegacyNotes(BackupBuilder& backup, const std::vector<LegacyNote>& notes) {
  LegacyNotesDatabase(notes).AddTo(backup);
}

void AddSampleNotes(BackupBuilder& backup) {
  LegacyNote groceries, idea;
  groceries.title = "Groceries";
  groceries.content = "<div>Milk, eggs</div>";
  idea.title = "Old idea";
  idea.content = "<div>Write it down</div>";
  AddLegacyNotes(backup, {groceries, idea});
  NoteStoreContent store;
  StoreNote trip;
  trip.title = "Trip photos";
  trip.text = std::string("Trip photos\nThe harbour at dusk ") + kObjectReplacement +
              " and the old town " + kObjectReplacement + "\n";
  for (int i = 0; i < 2; ++i) {
    StoreAttachment photo;
    photo.ref.identifier = UuidText("sample attachment " + std::to_string(i));
    photo.mediaIdentifier = UuidText("sample media " + std::to_string(i));
    photo.fileName = "IMG_000" + std::to_string(i + 1) + ".jpeg";
    trip.attachments.push_back(photo);
  }
  StoreNote list;
  list.title = "Packing list";
  list.text = "Packing list\nPassport\nCharger\nWalking shoes";
  list.modified = 731000000.0;
  StoreNote secret;
  secret.title = "Locked note";
  secret.text = "Locked note\nhidden";
  secret.locked = true;
  store.notes = {trip, list, secret};
  AddNoteStore(backup, store);
}

}  // namespace builder::notes
