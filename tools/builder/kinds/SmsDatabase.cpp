#include "builder/kinds/SmsDatabase.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <unordered_map>
#include <variant>

#include "builder/kinds/TypedStreamWriter.h"

namespace builder {
namespace {

constexpr int64_t kUnixOf2001 = 978307200;
constexpr int64_t kNanoseconds = 1000000000;
constexpr int64_t kGroupStyle = 43;
constexpr int64_t kDirectStyle = 45;
// iOS 5 flags of sent and received rows.
constexpr int64_t kSmsSent = 3;
constexpr int64_t kSmsReceived = 2;
constexpr int64_t kMadridSent = 36869;
constexpr int64_t kMadridReceived = 12289;

struct Blob {
  std::string bytes;
};
using Field = std::variant<std::nullptr_t, int64_t, std::string, Blob>;

Field Text(const std::optional<std::string>& text) {
  return text ? Field(*text) : Field(nullptr);
}
Field NonEmpty(const std::string& text) {
  return text.empty() ? Field(nullptr) : Field(text);
}

// A stable 8-4-4-4-12 identifier from a prefix digit and a number.
std::string Identifier(char prefix, int64_t number) {
  char text[40];
  std::snprintf(text, sizeof text, "%c%07X-5E1D-4B00-8000-%012llX", prefix,
                static_cast<unsigned>(number & 0xFFFFFFF), static_cast<unsigned long long>(number));
  return text;
}

const char* const kMadridSchema[] = {
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))",
    "INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '21')",
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "text TEXT, flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, "
    "association_id INTEGER, height INTEGER, UIFlags INTEGER, version INTEGER, subject TEXT, "
    "country TEXT, headers BLOB, recipients BLOB, read INTEGER, madrid_attributedBody BLOB, "
    "madrid_handle TEXT, madrid_version INTEGER, madrid_guid TEXT, madrid_type INTEGER, "
    "madrid_roomname TEXT, madrid_service TEXT, madrid_account TEXT, madrid_account_guid TEXT, "
    "madrid_flags INTEGER, madrid_attachmentInfo BLOB, madrid_url TEXT, madrid_error INTEGER, "
    "is_madrid INTEGER, madrid_date_read INTEGER, madrid_date_delivered INTEGER)",
    "CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, "
    "newest_message INTEGER, unread_count INTEGER, hash INTEGER)",
    "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, "
    "address TEXT, country TEXT)",
    "CREATE TABLE msg_pieces (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id INTEGER, data "
    "BLOB, part_id INTEGER, preview_part INTEGER, content_type TEXT, height INTEGER, version "
    "INTEGER, flags INTEGER, content_id TEXT, content_loc TEXT, headers BLOB)",
    "CREATE TABLE madrid_attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, attachment_guid "
    "TEXT, created_date INTEGER, start_date INTEGER, filename TEXT, uti_type TEXT, mime_type "
    "TEXT, transfer_state INTEGER, is_incoming INTEGER, message_id INTEGER)",
    "CREATE TABLE madrid_chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, style INTEGER, state "
    "INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, guid "
    "TEXT, room_name TEXT, account_login TEXT, participants BLOB)",
    "CREATE INDEX madrid_attachment_message_index ON madrid_attachment(message_id)",
    "CREATE INDEX message_group_index ON message(group_id, ROWID)",
};

// Columns every modern generation has, then what later ones added.
constexpr char kMessageColumns6[] =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT, replace "
    "INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country "
    "TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, "
    "account TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, "
    "date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, "
    "is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, "
    "is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT "
    "0, is_read INTEGER DEFAULT 0, is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT "
    "0, has_dd_results INTEGER DEFAULT 0, is_service_message INTEGER DEFAULT 0, is_forward "
    "INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, is_archive INTEGER DEFAULT 0, "
    "cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, was_data_detected INTEGER "
    "DEFAULT 0, was_deduplicated INTEGER DEFAULT 0";
constexpr char kMessageColumns11[] =
    ", is_audio_message INTEGER DEFAULT 0, is_played INTEGER DEFAULT 0, date_played INTEGER, "
    "item_type INTEGER DEFAULT 0, other_handle INTEGER DEFAULT 0, group_title TEXT, "
    "group_action_type INTEGER DEFAULT 0, share_status INTEGER DEFAULT 0, share_direction "
    "INTEGER DEFAULT 0, is_expirable INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, "
    "message_action_type INTEGER DEFAULT 0, message_source INTEGER DEFAULT 0, "
    "associated_message_guid TEXT, associated_message_type INTEGER DEFAULT 0, balloon_bundle_id "
    "TEXT, payload_data BLOB, expressive_send_style_id TEXT, associated_message_range_location "
    "INTEGER DEFAULT 0, associated_message_range_length INTEGER DEFAULT 0, "
    "time_expressive_send_played INTEGER, message_summary_info BLOB, ck_sync_state INTEGER "
    "DEFAULT 0, ck_record_id TEXT, ck_record_change_tag TEXT, destination_caller_id TEXT";
constexpr char kMessageColumns14[] =
    ", is_corrupt INTEGER DEFAULT 0, reply_to_guid TEXT, sort_id INTEGER, is_spam INTEGER "
    "DEFAULT 0, has_unseen_mention INTEGER DEFAULT 0, thread_originator_guid TEXT, "
    "thread_originator_part TEXT, syndication_ranges TEXT, was_delivered_quietly INTEGER DEFAULT "
    "0, did_notify_recipient INTEGER DEFAULT 0, date_retracted INTEGER DEFAULT 0, date_edited "
    "INTEGER DEFAULT 0, was_detonated INTEGER DEFAULT 0, part_count INTEGER, is_stewie INTEGER "
    "DEFAULT 0";
constexpr char kChatColumns6[] =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, state "
    "INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, "
    "room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle "
    "TEXT, display_name TEXT, group_id TEXT";
constexpr char kChatColumns11[] =
    ", is_filtered INTEGER, successful_query INTEGER, engram_id TEXT, server_change_token TEXT, "
    "ck_sync_state INTEGER DEFAULT 0, original_group_id TEXT, last_read_message_timestamp "
    "INTEGER DEFAULT 0, cloudkit_record_id TEXT, last_addressed_sim_id TEXT";
constexpr char kAttachmentColumns6[] =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, created_date INTEGER "
    "DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type TEXT, "
    "transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, user_info BLOB, "
    "transfer_name TEXT, total_bytes INTEGER DEFAULT 0";
constexpr char kAttachmentColumns11[] =
    ", is_sticker INTEGER DEFAULT 0, sticker_user_info BLOB, attribution_info BLOB, "
    "hide_attachment INTEGER DEFAULT 0, ck_sync_state INTEGER DEFAULT 0, "
    "ck_server_change_token_blob BLOB, ck_record_id TEXT, original_guid TEXT";

std::vector<std::string> ModernSchema(SmsGeneration generation) {
  bool ios11 = generation != SmsGeneration::kIos6;
  bool ios14 = generation == SmsGeneration::kIos14;
  const char* version = ios14 ? "15010" : ios11 ? "12005" : "9006";
  return {
      "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))",
      std::string("INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '") + version +
          "')",
      std::string("CREATE TABLE message (") + kMessageColumns6 + (ios11 ? kMessageColumns11 : "") +
          (ios14 ? kMessageColumns14 : "") + ")",
      std::string("CREATE TABLE chat (") + kChatColumns6 + (ios11 ? kChatColumns11 : "") + ")",
      std::string("CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT "
                  "NOT NULL, country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT") +
          (ios11 ? ", person_centric_id TEXT" : "") + ", UNIQUE (id, service))",
      std::string("CREATE TABLE attachment (") + kAttachmentColumns6 +
          (ios11 ? kAttachmentColumns11 : "") + ")",
      "CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
      "handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, "
      "handle_id))",
      std::string("CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON "
                  "DELETE CASCADE, message_id INTEGER REFERENCES message (ROWID) ON DELETE "
                  "CASCADE") +
          (ios11 ? ", message_date INTEGER DEFAULT 0" : "") +
          ", PRIMARY KEY (chat_id, message_id))",
      "CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) ON "
      "DELETE CASCADE, attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, "
      "UNIQUE(message_id, attachment_id))",
      ios14 ? "CREATE TABLE chat_recoverable_message_join (chat_id INTEGER, message_id INTEGER, "
              "delete_date INTEGER, PRIMARY KEY (chat_id, message_id))"
            : "CREATE TABLE deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, "
              "guid TEXT NOT NULL)",
      "CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id)",
      "CREATE INDEX message_attachment_join_idx_message_id ON message_attachment_join(message_id)",
      "CREATE INDEX message_idx_handle_id ON message(handle_id)",
      "CREATE INDEX message_idx_date ON message(date)",
      "CREATE INDEX chat_idx_chat_identifier ON chat(chat_identifier)",
  };
}

}  // namespace

struct SmsDatabaseWriter::Statements {
  std::unordered_map<const char*, sqlite3_stmt*> cache;
  ~Statements() {
    for (auto& entry : cache) sqlite3_finalize(entry.second);
  }
};

SmsDatabaseWriter::SmsDatabaseWriter(const std::string& path, SmsGeneration generation)
    : path_(path), generation_(generation), statements_(std::make_unique<Statements>()) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  if (sqlite3_open_v2(path.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(database_);
    database_ = nullptr;
    throw BuildError("cannot create " + path);
  }
  try {
    Execute("PRAGMA journal_mode=OFF");
    Execute("PRAGMA synchronous=OFF");
    Execute("BEGIN");
    if (generation == SmsGeneration::kIos5) {
      for (const char* sql : kMadridSchema) Execute(sql);
    } else {
      for (const std::string& sql : ModernSchema(generation)) Execute(sql);
    }
  } catch (...) {
    sqlite3_close(database_);  // the destructor does not run for a failed constructor
    throw;
  }
}

SmsDatabaseWriter::~SmsDatabaseWriter() {
  try {
    Close();
  } catch (...) {
    // A caller that cares calls Close itself.
  }
}

void SmsDatabaseWriter::Execute(const std::string& sql) {
  if (!database_) throw BuildError("sms.db is closed");
  char* error = nullptr;
  if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw BuildError("sms.db: " + message + " in: " + sql);
  }
}

void SmsDatabaseWriter::Close() {
  if (!database_) return;
  statements_ = std::make_unique<Statements>();  // finalizes the cached ones
  Execute("COMMIT");
  int rc = sqlite3_close(database_);
  database_ = nullptr;
  if (rc != SQLITE_OK) throw BuildError("cannot close " + path_);
}

namespace {

// One cached statement per SQL text (each text a literal of this file).
void Insert(sqlite3* database, std::unordered_map<const char*, sqlite3_stmt*>& cache,
            const char* sql, std::initializer_list<Field> fields) {
  sqlite3_stmt*& statement = cache[sql];
  if (!statement && sqlite3_prepare_v2(database, sql, -1, &statement, nullptr) != SQLITE_OK)
    throw BuildError(std::string("sms.db: ") + sqlite3_errmsg(database) + " in: " + sql);
  int index = 1;
  for (const Field& field : fields) {
    if (const auto* number = std::get_if<int64_t>(&field)) {
      sqlite3_bind_int64(statement, index, *number);
    } else if (const auto* text = std::get_if<std::string>(&field)) {
      sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                        SQLITE_TRANSIENT);
    } else if (const auto* blob = std::get_if<Blob>(&field)) {
      sqlite3_bind_blob(statement, index, blob->bytes.data(), static_cast<int>(blob->bytes.size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(statement, index);
    }
    ++index;
  }
  int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (rc != SQLITE_DONE)
    throw BuildError(std::string("sms.db: ") + sqlite3_errmsg(database) + " in: " + sql);
}

}  // namespace

int64_t SmsDatabaseWriter::Handle(const std::string& id, const std::string& service) {
  auto key = std::make_pair(id, service);
  auto found = handles_.find(key);
  if (found != handles_.end()) return found->second;
  int64_t rowId = static_cast<int64_t>(handles_.size()) + 1;
  Insert(database_, statements_->cache,
         "INSERT INTO handle (ROWID, id, country, service, uncanonicalized_id) VALUES (?, ?, "
         "'us', ?, ?)",
         {rowId, id, service, id});
  handles_.emplace(key, rowId);
  return rowId;
}

void SmsDatabaseWriter::Remember(const SmsAttachmentSpec& attachment) {
  if (!attachment.stored) return;
  std::string relative = AttachmentRelativePath(attachment.filename);
  if (!relative.empty()) stored_.emplace_back(relative, attachment.content);
}

int64_t SmsDatabaseWriter::AddChat(const SmsChatSpec& chat) {
  if (!database_) throw BuildError("sms.db is closed");
  int64_t chatId = nextChat_++;
  if (generation_ == SmsGeneration::kIos5)
    AddMadridChat(chat, chatId);
  else
    AddModernChat(chat, chatId);
  return chatId;
}

void SmsDatabaseWriter::AddModernChat(const SmsChatSpec& chat, int64_t chatId) {
  auto& cache = statements_->cache;
  bool nanoseconds = generation_ != SmsGeneration::kIos6;
  bool bodies = generation_ != SmsGeneration::kIos6;
  auto stamp = [nanoseconds](int64_t seconds) -> Field {
    if (seconds == 0) return int64_t{0};
    return nanoseconds ? seconds * kNanoseconds : seconds;
  };
  std::string guid = chat.service + (chat.group ? ";+;" : ";-;") + chat.identifier;
  Insert(database_, cache,
         "INSERT INTO chat (ROWID, guid, style, state, chat_identifier, service_name, room_name, "
         "display_name) VALUES (?, ?, ?, 3, ?, ?, ?, ?)",
         {chatId, guid, chat.group ? kGroupStyle : kDirectStyle, chat.identifier, chat.service,
          chat.group ? Field(chat.identifier) : Field(nullptr), NonEmpty(chat.displayName)});
  for (const std::string& participant : chat.participants) {
    Insert(database_, cache, "INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (?, ?)",
           {chatId, Handle(participant, chat.service)});
  }
  for (const SmsMessageSpec& message : chat.messages) {
    int64_t messageId = nextMessage_++;
    std::string service = message.service.empty() ? chat.service : message.service;
    std::string handle =
        message.fromMe
            ? (chat.group || chat.participants.empty() ? std::string() : chat.participants.front())
            : message.sender;
    int64_t handleId = handle.empty() ? 0 : Handle(handle, service);

    std::vector<std::string> attachmentGuids;
    for (size_t i = 0; i < message.attachments.size(); ++i)
      attachmentGuids.push_back("at_0_" +
                                Identifier('A', nextAttachment_ + static_cast<int64_t>(i)));
    Field text = Text(message.text);
    Field body = nullptr;
    if (message.text && (bodies || message.bodyOnly))
      body = Blob{EncodeAttributedBody(*message.text, MessageRuns(*message.text, attachmentGuids))};
    if (message.bodyOnly && generation_ == SmsGeneration::kIos14) text = nullptr;

    std::string messageGuid = message.guid.empty() ? Identifier('M', messageId) : message.guid;
    if (generation_ == SmsGeneration::kIos6) {
      Insert(database_, cache,
             "INSERT INTO message (ROWID, guid, text, handle_id, subject, attributedBody, "
             "service, date, date_read, date_delivered, is_delivered, is_finished, is_from_me, "
             "is_read, is_sent, cache_has_attachments) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, "
             "1, ?, ?, ?, ?)",
             {messageId, messageGuid, text, handleId, NonEmpty(message.subject), body, service,
              stamp(message.date), stamp(message.dateRead), stamp(message.date),
              int64_t{message.fromMe}, int64_t{message.dateRead != 0 || message.fromMe},
              int64_t{message.fromMe}, int64_t{!message.attachments.empty()}});
    } else {
      Insert(database_, cache,
             "INSERT INTO message (ROWID, guid, text, handle_id, subject, attributedBody, "
             "service, date, date_read, date_delivered, is_delivered, is_finished, is_from_me, "
             "is_read, is_sent, cache_has_attachments, associated_message_guid, "
             "associated_message_type) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, 1, ?, ?, ?, ?, "
             "?, ?)",
             {messageId, messageGuid, text, handleId, NonEmpty(message.subject), body, service,
              stamp(message.date), stamp(message.dateRead), stamp(message.date),
              int64_t{message.fromMe}, int64_t{message.dateRead != 0 || message.fromMe},
              int64_t{message.fromMe}, int64_t{!message.attachments.empty()},
              NonEmpty(message.associatedGuid), message.associatedType});
    }
    Insert(database_, cache, "INSERT INTO chat_message_join (chat_id, message_id) VALUES (?, ?)",
           {chatId, messageId});

    for (size_t i = 0; i < message.attachments.size(); ++i) {
      const SmsAttachmentSpec& attachment = message.attachments[i];
      int64_t attachmentId = nextAttachment_++;
      std::string transferName =
          attachment.transferName.empty()
              ? std::filesystem::path(attachment.filename).filename().string()
              : attachment.transferName;
      Insert(database_, cache,
             "INSERT INTO attachment (ROWID, guid, created_date, start_date, filename, uti, "
             "mime_type, transfer_state, is_outgoing, transfer_name, total_bytes) VALUES (?, ?, "
             "?, ?, ?, 'public.data', ?, 5, ?, ?, ?)",
             {attachmentId, attachmentGuids[i], attachment.createdDate, attachment.createdDate,
              attachment.filename, attachment.mimeType, int64_t{message.fromMe}, transferName,
              static_cast<int64_t>(attachment.content.size())});
      Insert(database_, cache,
             "INSERT INTO message_attachment_join (message_id, attachment_id) VALUES (?, ?)",
             {messageId, attachmentId});
      Remember(attachment);
    }
  }
}

void SmsDatabaseWriter::AddMadridChat(const SmsChatSpec& chat, int64_t chatId) {
  auto& cache = statements_->cache;
  bool sms = chat.service == "SMS";
  std::string partner = chat.participants.empty() ? std::string() : chat.participants.front();
  if (sms) {
    Insert(database_, cache,
           "INSERT INTO msg_group (ROWID, type, newest_message, unread_count, hash) VALUES (?, "
           "0, 0, 0, ?)",
           {chatId, chatId * 7919});
    for (const std::string& member : chat.participants)
      Insert(database_, cache,
             "INSERT INTO group_member (group_id, address, country) VALUES (?, ?, 'us')",
             {chatId, member});
  } else {
    Insert(database_, cache,
           "INSERT INTO madrid_chat (ROWID, style, state, chat_identifier, service_name, guid, "
           "room_name) VALUES (?, ?, 3, ?, ?, ?, ?)",
           {chatId, chat.group ? kGroupStyle : kDirectStyle, chat.identifier, chat.service,
            chat.service + (chat.group ? ";+;" : ";-;") + chat.identifier,
            chat.group ? Field(chat.identifier) : Field(nullptr)});
  }
  for (const SmsMessageSpec& message : chat.messages) {
    int64_t messageId = nextMessage_++;
    std::string other = message.fromMe ? partner : message.sender;
    if (sms) {
      bool pieces = !message.attachments.empty();
      Insert(
          database_, cache,
          "INSERT INTO message (ROWID, address, date, text, flags, group_id, subject, read, "
          "is_madrid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0)",
          {messageId, other, message.date == 0 ? 0 : message.date + kUnixOf2001,
           pieces ? Field(nullptr) : Text(message.text), message.fromMe ? kSmsSent : kSmsReceived,
           chatId, NonEmpty(message.subject), int64_t{message.dateRead != 0 || message.fromMe}});
      if (!pieces) continue;
      // An MMS: its layout, its text and its files are parts of their own.
      int64_t part = 0;
      Insert(database_, cache,
             "INSERT INTO msg_pieces (message_id, data, part_id, content_type, content_loc) "
             "VALUES (?, ?, ?, ?, ?)",
             {messageId, Blob{"<smil/>"}, part++, std::string("application/smil"),
              std::string("smil.xml")});
      if (message.text)
        Insert(database_, cache,
               "INSERT INTO msg_pieces (message_id, data, part_id, content_type, content_loc) "
               "VALUES (?, ?, ?, ?, ?)",
               {messageId, Blob{*message.text}, part++, std::string("text/plain"),
                "text_" + std::to_string(part) + ".txt"});
      for (const SmsAttachmentSpec& attachment : message.attachments) {
        std::string name = attachment.transferName.empty()
                               ? std::filesystem::path(attachment.filename).filename().string()
                               : attachment.transferName;
        Insert(database_, cache,
               "INSERT INTO msg_pieces (message_id, data, part_id, content_type, content_loc) "
               "VALUES (?, ?, ?, ?, ?)",
               {messageId, Blob{attachment.content}, part++, attachment.mimeType, name});
      }
      continue;
    }
    bool bodyOnly = message.bodyOnly && message.text;
    Insert(database_, cache,
           "INSERT INTO message (ROWID, date, text, flags, subject, read, madrid_attributedBody, "
           "madrid_handle, madrid_guid, madrid_roomname, madrid_service, madrid_flags, is_madrid, "
           "madrid_date_read, madrid_date_delivered) VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, ?, "
           "1, ?, ?)",
           {messageId, message.date, bodyOnly ? Field(nullptr) : Text(message.text),
            NonEmpty(message.subject), int64_t{message.dateRead != 0 || message.fromMe},
            bodyOnly ? Field(Blob{EncodeAttributedBody(*message.text)}) : Field(nullptr),
            chat.group && message.fromMe ? Field(nullptr) : Field(other),
            message.guid.empty() ? Identifier('M', messageId) : message.guid,
            chat.group ? Field(chat.identifier) : Field(nullptr), chat.service,
            message.fromMe ? kMadridSent : kMadridReceived, message.dateRead, message.date});
    for (const SmsAttachmentSpec& attachment : message.attachments) {
      Insert(database_, cache,
             "INSERT INTO madrid_attachment (attachment_guid, created_date, start_date, filename, "
             "uti_type, mime_type, transfer_state, is_incoming, message_id) VALUES (?, ?, ?, ?, "
             "'public.data', ?, 5, ?, ?)",
             {Identifier('A', nextAttachment_++), attachment.createdDate, attachment.createdDate,
              attachment.filename, attachment.mimeType, int64_t{!message.fromMe}, messageId});
      Remember(attachment);
    }
  }
}

void SmsDatabaseWriter::AddAttachmentRow(const std::optional<std::string>& filename,
                                         const std::string& mimeType, int64_t createdDate) {
  if (!database_) throw BuildError("sms.db is closed");
  int64_t attachmentId = nextAttachment_++;
  if (generation_ == SmsGeneration::kIos5) {
    Insert(database_, statements_->cache,
           "INSERT INTO madrid_attachment (attachment_guid, created_date, filename, mime_type, "
           "message_id) VALUES (?, ?, ?, ?, 0)",
           {Identifier('A', attachmentId), createdDate, Text(filename), mimeType});
  } else {
    Insert(database_, statements_->cache,
           "INSERT INTO attachment (ROWID, guid, created_date, filename, mime_type) VALUES (?, ?, "
           "?, ?, ?)",
           {attachmentId, Identifier('A', attachmentId), createdDate, Text(filename), mimeType});
  }
}

std::string AttachmentRelativePath(const std::string& filename) {
  for (const char* prefix : {"~/", "/var/mobile/"}) {
    std::string_view start(prefix);
    if (filename.compare(0, start.size(), start) == 0 && filename.size() > start.size())
      return filename.substr(start.size());
  }
  return "";
}

void AddSmsDatabase(BackupBuilder& backup, SmsGeneration generation,
                    const std::vector<SmsChatSpec>& chats,
                    const std::function<void(SmsDatabaseWriter&)>& extra) {
  std::string scratch = (std::filesystem::temp_directory_path() / "keldra-smsdb-XXXXXX").string();
  int fd = mkstemp(scratch.data());
  if (fd < 0) throw BuildError("cannot create a scratch file for sms.db");
  close(fd);
  struct Remove {
    std::string path;
    ~Remove() { std::remove(path.c_str()); }
  } remove{scratch};

  std::vector<std::pair<std::string, std::string>> files;
  {
    SmsDatabaseWriter writer(scratch, generation);
    for (const SmsChatSpec& chat : chats) writer.AddChat(chat);
    if (extra) extra(writer);
    writer.Close();
    files = writer.StoredFiles();
  }
  backup.AddFileFromDisk("HomeDomain", "Library/SMS/sms.db", scratch);
  std::set<std::string> added;
  for (const auto& [relativePath, content] : files) {
    if (added.insert(relativePath).second) backup.AddFile("MediaDomain", relativePath, content);
  }
}

}  // namespace builder
