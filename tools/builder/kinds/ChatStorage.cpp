#include "builder/kinds/ChatStorage.h"

#include <map>
#include <utility>

#include "builder/BinaryPlist.h"
#include "builder/kinds/Directories.h"
#include "builder/kinds/Identifiers.h"
#include "builder/kinds/RowInsert.h"
#include "builder/kinds/SqliteWriter.h"

namespace builder::whatsapp {
namespace {

// Core Data entity numbers of the store (iOS 15 era app).
enum Entity : int64_t {
  kEntityChatSession = 4,
  kEntityGroupInfo = 5,
  kEntityGroupMember = 6,
  kEntityMediaItem = 8,
  kEntityMessage = 9,
  kEntityPushName = 13,
};

const char* const kEntityNames[] = {
    "WABlackListItem",   "WAChatProperties",  "WAChatPushConfig",      "WAChatSession",
    "WAGroupInfo",       "WAGroupMember",     "WAGroupMembersChange",  "WAMediaItem",
    "WAMessage",         "WAMessageDataItem", "WAMessageInfo",         "WAProfilePictureItem",
    "WAProfilePushName", "WAVCardMention",    "WAZ1PaymentTransaction"};

struct TableSchema {
  const char* name;
  const char* sql;
};

const TableSchema kTables[] = {
    {"ZWACHATSESSION", R"sql(
CREATE TABLE ZWACHATSESSION ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZARCHIVED INTEGER, ZCONTACTABID INTEGER, ZFLAGS INTEGER, ZHIDDEN INTEGER,
  ZIDENTITYVERIFICATIONEPOCH INTEGER, ZIDENTITYVERIFICATIONSTATE INTEGER,
  ZMESSAGECOUNTER INTEGER, ZREMOVED INTEGER, ZSESSIONTYPE INTEGER, ZSPOTLIGHTSTATUS INTEGER,
  ZUNREADCOUNT INTEGER, ZGROUPINFO INTEGER, ZLASTMESSAGE INTEGER, ZPROPERTIES INTEGER,
  ZLASTMESSAGEDATE TIMESTAMP, ZLOCATIONSHARINGENDDATE TIMESTAMP, ZCONTACTIDENTIFIER VARCHAR,
  ZCONTACTJID VARCHAR, ZETAG VARCHAR, ZLASTMESSAGETEXT VARCHAR, ZPARTNERNAME VARCHAR,
  ZSAVEDINPUT VARCHAR );
CREATE INDEX ZWACHATSESSION_ZGROUPINFO_INDEX ON ZWACHATSESSION (ZGROUPINFO);
CREATE INDEX Z_WAChatSession_byContactJIDIndex ON ZWACHATSESSION (ZCONTACTJID COLLATE BINARY ASC);
CREATE INDEX Z_WAChatSession_byLastMessageDateIndex
  ON ZWACHATSESSION (ZLASTMESSAGEDATE COLLATE BINARY ASC);
)sql"},
    {"ZWAMESSAGE", R"sql(
CREATE TABLE ZWAMESSAGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCHILDMESSAGESDELIVEREDCOUNT INTEGER, ZCHILDMESSAGESPLAYEDCOUNT INTEGER,
  ZCHILDMESSAGESREADCOUNT INTEGER, ZDATAITEMVERSION INTEGER, ZDOCID INTEGER,
  ZENCRETRYCOUNT INTEGER, ZFILTEREDRECIPIENTCOUNT INTEGER, ZFLAGS INTEGER,
  ZGROUPEVENTTYPE INTEGER, ZISFROMME INTEGER, ZMESSAGEERRORSTATUS INTEGER,
  ZMESSAGESTATUS INTEGER, ZMESSAGETYPE INTEGER, ZSORT INTEGER, ZSPOTLIGHTSTATUS INTEGER,
  ZSTARRED INTEGER, ZCHATSESSION INTEGER, ZGROUPMEMBER INTEGER, ZLASTSESSION INTEGER,
  ZMEDIAITEM INTEGER, ZMESSAGEINFO INTEGER, ZPARENTMESSAGE INTEGER, ZMESSAGEDATE TIMESTAMP,
  ZSENTDATE TIMESTAMP, ZFROMJID VARCHAR, ZMEDIASECTIONID VARCHAR, ZPHASH VARCHAR,
  ZPUSHNAME VARCHAR, ZSTANZAID VARCHAR, ZTEXT VARCHAR, ZTOJID VARCHAR );
CREATE INDEX ZWAMESSAGE_ZCHATSESSION_INDEX ON ZWAMESSAGE (ZCHATSESSION);
CREATE INDEX ZWAMESSAGE_ZGROUPMEMBER_INDEX ON ZWAMESSAGE (ZGROUPMEMBER);
CREATE INDEX ZWAMESSAGE_ZMEDIAITEM_INDEX ON ZWAMESSAGE (ZMEDIAITEM);
CREATE INDEX Z_WAMessage_bySortIndex ON ZWAMESSAGE (ZSORT COLLATE BINARY ASC);
CREATE INDEX Z_WAMessage_compoundIndex
  ON ZWAMESSAGE (ZCHATSESSION COLLATE BINARY ASC, ZSORT COLLATE BINARY ASC);
)sql"},
    {"ZWAMEDIAITEM", R"sql(
CREATE TABLE ZWAMEDIAITEM ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCLOUDSTATUS INTEGER, ZFILESIZE INTEGER, ZMEDIAORIGIN INTEGER, ZMOVIEDURATION INTEGER,
  ZMESSAGE INTEGER, ZASPECTRATIO FLOAT, ZHACCURACY FLOAT, ZLATITUDE FLOAT, ZLONGITUDE FLOAT,
  ZMEDIAURLDATE TIMESTAMP, ZAUTHORNAME VARCHAR, ZCOLLECTIONNAME VARCHAR,
  ZMEDIALOCALPATH VARCHAR, ZMEDIAURL VARCHAR, ZTHUMBNAILLOCALPATH VARCHAR, ZTITLE VARCHAR,
  ZVCARDNAME VARCHAR, ZVCARDSTRING VARCHAR, ZXMPPTHUMBPATH VARCHAR, ZMEDIAKEY BLOB,
  ZMETADATA BLOB );
CREATE INDEX ZWAMEDIAITEM_ZMESSAGE_INDEX ON ZWAMEDIAITEM (ZMESSAGE);
)sql"},
    {"ZWAGROUPMEMBER", R"sql(
CREATE TABLE ZWAGROUPMEMBER ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCONTACTABID INTEGER, ZISACTIVE INTEGER, ZISADMIN INTEGER, ZSENDERKEYSENT INTEGER,
  ZCHATSESSION INTEGER, ZRECENTGROUPCHAT INTEGER, ZCONTACTIDENTIFIER VARCHAR,
  ZCONTACTNAME VARCHAR, ZFIRSTNAME VARCHAR, ZMEMBERJID VARCHAR );
CREATE INDEX ZWAGROUPMEMBER_ZCHATSESSION_INDEX ON ZWAGROUPMEMBER (ZCHATSESSION);
CREATE INDEX Z_WAGroupMember_byMemberJIDIndex ON ZWAGROUPMEMBER (ZMEMBERJID COLLATE BINARY ASC);
)sql"},
    {"ZWAGROUPINFO", R"sql(
CREATE TABLE ZWAGROUPINFO ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZSTATE INTEGER, ZCHATSESSION INTEGER, ZLASTMESSAGEOWNER INTEGER, ZCREATIONDATE TIMESTAMP,
  ZSUBJECTTIMESTAMP TIMESTAMP, ZCREATORJID VARCHAR, ZOWNERJID VARCHAR, ZPICTUREID VARCHAR,
  ZPICTUREPATH VARCHAR, ZSOURCEJID VARCHAR, ZSUBJECTOWNERJID VARCHAR );
CREATE INDEX ZWAGROUPINFO_ZCHATSESSION_INDEX ON ZWAGROUPINFO (ZCHATSESSION);
)sql"},
    {"ZWAPROFILEPUSHNAME", R"sql(
CREATE TABLE ZWAPROFILEPUSHNAME ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZJID VARCHAR, ZPUSHNAME VARCHAR );
CREATE INDEX Z_WAProfilePushName_byJidIndex ON ZWAPROFILEPUSHNAME (ZJID COLLATE BINARY ASC);
)sql"},
    {"Z_PRIMARYKEY", R"sql(
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER,
  Z_MAX INTEGER);
)sql"},
    {"Z_METADATA", R"sql(
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
)sql"},
    {"Z_MODELCACHE", "CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);"},
};

// "Message/" + the local path without its leading "/": where the app keeps
// the file in its group container.
std::string StoredMediaPath(const std::string& localPath) {
  return "Message/" + (localPath.rfind('/', 0) == 0 ? localPath.substr(1) : localPath);
}

// Writes rows as they come; remembers what the bookkeeping tables need.
class ChatStorageWriter {
 public:
  ChatStorageWriter(SqliteDatabase& db, const std::set<std::string>& omit) : db_(db), omit_(omit) {
    for (const TableSchema& table : kTables)
      if (!omit_.count(table.name)) db_.Exec(table.sql);
  }

  void AddPushName(const PushName& name) {
    Insert("ZWAPROFILEPUSHNAME", kEntityPushName,
           {{"ZJID", Nullable(name.jid)}, {"ZPUSHNAME", Nullable(name.pushName)}});
  }

  // The session row, its group rows and its messages.
  void AddSession(const Session& session) {
    Cell groupInfo;
    if (session.group) {
      groupInfo = Insert("ZWAGROUPINFO", kEntityGroupInfo,
                         {{"ZSTATE", int64_t{0}},
                          {"ZCHATSESSION", session.id},
                          {"ZCREATIONDATE", 600000000.0},
                          {"ZCREATORJID", Nullable(session.contactJid)},
                          {"ZOWNERJID", Nullable(session.contactJid)}});
    }
    InsertWithKey("ZWACHATSESSION", kEntityChatSession, session.id,
                  {{"ZARCHIVED", int64_t{0}},
                   {"ZHIDDEN", int64_t{0}},
                   {"ZMESSAGECOUNTER", static_cast<int64_t>(session.messages.size())},
                   {"ZREMOVED", int64_t{0}},
                   {"ZSESSIONTYPE", int64_t{session.group ? 1 : 0}},
                   {"ZUNREADCOUNT", int64_t{0}},
                   {"ZGROUPINFO", groupInfo},
                   {"ZLASTMESSAGEDATE", Nullable(session.lastMessageDate)},
                   {"ZCONTACTJID", Nullable(session.contactJid)},
                   {"ZPARTNERNAME", Nullable(session.partnerName)}});
    for (const GroupMember& member : session.members) AddMember(session, member);
    for (const Message& message : session.messages) AddMessage(session, message);
  }

  void AddMember(const Session& session, const GroupMember& member) {
    InsertWithKey("ZWAGROUPMEMBER", kEntityGroupMember, member.id,
                  {{"ZISACTIVE", int64_t{1}},
                   {"ZISADMIN", int64_t{member.admin ? 1 : 0}},
                   {"ZCHATSESSION", session.id},
                   {"ZCONTACTNAME", Nullable(member.name)},
                   {"ZMEMBERJID", Nullable(member.jid)}});
  }

  void AddMessage(const Session& session, const Message& message) {
    int64_t key = ++sort_;
    std::optional<std::string> from = message.fromJid;
    std::optional<std::string> to = message.toJid;
    if (!from && !message.fromMe) from = session.contactJid;
    if (!to && message.fromMe) to = session.contactJid;
    Insert("ZWAMESSAGE", kEntityMessage,
           {{"ZISFROMME", int64_t{message.fromMe ? 1 : 0}},
            {"ZMESSAGESTATUS", int64_t{message.fromMe ? 5 : 0}},
            {"ZMESSAGETYPE", int64_t{message.mediaItem ? 1 : 0}},
            {"ZSORT", key},
            {"ZSTARRED", int64_t{0}},
            {"ZCHATSESSION", session.id},
            {"ZGROUPMEMBER", Nullable(message.groupMember)},
            {"ZMEDIAITEM", Nullable(message.mediaItem)},
            {"ZMESSAGEDATE", Nullable(message.date)},
            {"ZSENTDATE", Nullable(message.date)},
            {"ZFROMJID", Nullable(from)},
            {"ZPUSHNAME", Nullable(message.pushName)},
            {"ZSTANZAID", SeededBytesHex(key)},
            {"ZTEXT", Nullable(message.text)},
            {"ZTOJID", Nullable(to)}},
           key);
    if (message.mediaItem) messageOfMedia_[*message.mediaItem] = key;
  }

  void AddMedia(const MediaItem& item) {
    auto message = messageOfMedia_.find(item.id);
    int64_t size = item.fileSize ? item.fileSize : static_cast<int64_t>(item.content.size());
    InsertWithKey("ZWAMEDIAITEM", kEntityMediaItem, item.id,
                  {{"ZCLOUDSTATUS", int64_t{1}},
                   {"ZFILESIZE", size},
                   {"ZMESSAGE", message == messageOfMedia_.end() ? Cell() : Cell(message->second)},
                   {"ZMEDIAURLDATE", Nullable(item.urlDate)},
                   {"ZAUTHORNAME", Nullable(item.authorName)},
                   {"ZMEDIALOCALPATH", Nullable(item.localPath)},
                   {"ZTITLE", Nullable(item.title)}});
  }

  void Finish() {
    if (!omit_.count("Z_PRIMARYKEY")) {
      for (int64_t entity = 1; entity <= 15; ++entity)
        InsertRow(db_, "Z_PRIMARYKEY",
                  {{"Z_ENT", entity},
                   {"Z_NAME", std::string(kEntityNames[entity - 1])},
                   {"Z_SUPER", int64_t{0}},
                   {"Z_MAX", maxKey_[entity]}});
    }
    if (!omit_.count("Z_METADATA")) {
      BinaryPlistWriter writer;
      auto top =
          writer.Dict({{writer.String("NSStoreType"), writer.String("SQLite")},
                       {writer.String("NSPersistenceFrameworkVersion"), writer.Integer(1241)}});
      std::string plist;
      writer.Write(top, plist);
      InsertRow(db_, "Z_METADATA",
                {{"Z_VERSION", int64_t{1}},
                 {"Z_UUID", UuidText("chat storage")},
                 {"Z_PLIST", Cell::Blob(plist)}});
    }
    if (!omit_.count("Z_MODELCACHE"))
      InsertRow(db_, "Z_MODELCACHE", {{"Z_CONTENT", Cell::Blob(SeededBytes("chat model", 256))}});
  }

 private:
  static std::string SeededBytesHex(int64_t key) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string raw = SeededBytes("stanza " + std::to_string(key), 10);
    std::string hex;
    for (unsigned char c : raw) {
      hex += kHex[c >> 4];
      hex += kHex[c & 15];
    }
    return hex;
  }

  Cell Insert(const char* table, Entity entity, Row columns, int64_t key = 0) {
    if (!key) key = ++next_[entity];
    InsertWithKey(table, entity, key, std::move(columns));
    return key;
  }

  void InsertWithKey(const char* table, Entity entity, int64_t key, Row columns) {
    if (omit_.count(table)) return;
    columns.insert(columns.begin(),
                   {{"Z_PK", key}, {"Z_ENT", int64_t{entity}}, {"Z_OPT", int64_t{1}}});
    InsertRow(db_, table, columns);
    if (key > maxKey_[entity]) maxKey_[entity] = key;
  }

  SqliteDatabase& db_;
  const std::set<std::string>& omit_;
  std::map<int64_t, int64_t> next_;
  std::map<int64_t, int64_t> maxKey_;
  std::map<int64_t, int64_t> messageOfMedia_;
  int64_t sort_ = 0;
};

void StoreMediaFile(BackupBuilder& backup, Directories& directories, const MediaItem& item) {
  if (!item.stored || !item.localPath || item.localPath->empty()) return;
  std::string path = StoredMediaPath(*item.localPath);
  directories.AddParentsOf(kDomain, path);
  backup.AddFile(kDomain, path, item.content);
}

void WriteStore(ChatStorageWriter& writer, const ChatStore& store) {
  for (const PushName& name : store.pushNames) writer.AddPushName(name);
  for (const Session& session : store.sessions) writer.AddSession(session);
  for (const MediaItem& item : store.media) writer.AddMedia(item);
  writer.Finish();
}

class ChatStorageDatabase : public DatabaseWriter {
 public:
  explicit ChatStorageDatabase(const ChatStore& store) : store_(store) {}
  const char* Domain() const override { return kDomain; }
  const char* RelativePath() const override { return kChatStoragePath; }

 protected:
  void Populate(SqliteDatabase& database) const override {
    ChatStorageWriter writer(database, store_.omitTables);
    WriteStore(writer, store_);
  }

 private:
  const ChatStore& store_;
};

}  // namespace

void WriteChatStorage(const ChatStore& store, const std::string& path) {
  ChatStorageDatabase(store).Write(path);
}

void AddChatStorage(BackupBuilder& backup, const ChatStore& store) {
  Directories directories(backup);
  directories.Add(kDomain, "");
  ChatStorageDatabase(store).AddTo(backup);
  for (const MediaItem& item : store.media) StoreMediaFile(backup, directories, item);
}

}  // namespace builder::whatsapp
