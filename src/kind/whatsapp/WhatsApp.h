// The WhatsApp kind (type 10, media items as type 11): media items with the
// paths of their stored files, chat sessions, and each session's messages,
// where incoming group messages are labelled with the sender's JID and push
// name. Reads ChatStorage.sqlite of the app's shared group container.
#ifndef KELDRA_KIND_WHATSAPP_WHATSAPP_H_
#define KELDRA_KIND_WHATSAPP_WHATSAPP_H_

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/Observer.h"
#include "common/Sqlite.h"
#include "kind/kind.h"
#include "vorn/Json.h"

namespace keldra {

class WhatsApp : public Kind {
 public:
  static constexpr int kType = 10;
  static constexpr int kMediaType = kKinds[kType].extraSeries;
  static constexpr const char* kDomain = kKinds[kType].domain;
  static constexpr const char* kDbName = kKinds[kType].database;

  // Group member Z_PK text -> member JID; the first row of a number counts.
  using GroupMembers = std::unordered_map<std::string, std::string>;
  // ZGROUPMEMBER text -> (member JID, push name), per session.
  using MemberCache = std::map<std::string, std::pair<std::string, std::string>>;
  // Group member Z_PK text -> contact or first name (complete reading).
  using MemberNames = std::unordered_map<std::string, std::string>;

  WhatsApp();

  void Run(const ScanContext& scan) override;

  // The whole read-and-send flow; `document` provides the allocator of every
  // value kept beyond one session.
  void ExtractChats(rapidjson::Document& document, const std::string& taskId,
                    const BackupInfo& info);
  void SetDbPath(const std::string& path) { dbPath_ = path; }
  // Member name: the item's Z_PK in decimal; shared with whoever answers the
  // media-item query.
  std::shared_ptr<rapidjson::Value> GetMediaItems() const { return mediaItems_; }

  // Readers: false when the statement does not prepare.
  bool ReadMediaItems(rapidjson::Document& document, const std::string& backupPath, int backupType);
  bool ReadPushNames();
  bool ReadChatSessions(rapidjson::Document& document);
  // Adds "message_count" to the session (with `sessionAllocator`) and fills
  // `messages` (an array, built with `messageAllocator`).
  bool ReadMessages(rapidjson::Value& session, rapidjson::Document::AllocatorType& sessionAllocator,
                    rapidjson::Value& messages,
                    rapidjson::Document::AllocatorType& messageAllocator);
  // None when its statement does not prepare.
  std::optional<GroupMembers> ReadGroupMembers(int64_t sessionId);
  // Complete reading: a group's members ({"jid","name","admin"}) into
  // `roster`; returns the names by member Z_PK text.
  MemberNames ReadGroupRoster(int64_t sessionId, rapidjson::Value& roster,
                              rapidjson::Document::AllocatorType& allocator);

 private:
  struct PushName {
    int64_t id = 0;
    std::string pushName;
  };
  struct MessageRow;

  void AddGroupMemberInfo(const MessageRow& row, const GroupMembers* members, MemberCache& cache,
                          rapidjson::Value& message,
                          rapidjson::Document::AllocatorType& allocator) const;
  // Complete reading: the readable push name (a record in the column names
  // the sender by JID; `senders` are JIDs to try after it), and the members
  // a message gets beyond the fixed ones.
  std::string PushNameOf(std::string_view column,
                         std::initializer_list<std::string_view> senders) const;
  void AddCompleteMembers(sqlite3_stmt* row, const MessageRow& fields,
                          const MemberNames& memberNames, const rapidjson::Value& session,
                          rapidjson::Value& message,
                          rapidjson::Document::AllocatorType& allocator) const;
  void SendMediaSeries(rapidjson::Document& document, const std::string& taskId);
  void SendChatSeries(rapidjson::Document& document, const std::string& taskId);

  std::string dbPath_;
  // Where complete reading finds the chat store.
  const size_t databaseWatch_ = WatchDatabase(kDbName, kDomain);
  std::string completeMessageSql_;  // built once per store
  bool messageQueryFailed_ = false;
  sqlite::Database database_;
  std::unordered_map<std::string, PushName> pushNames_;  // by JID; the first row counts
  std::shared_ptr<rapidjson::Value> sessions_;
  std::shared_ptr<rapidjson::Value> mediaItems_;
  rapidjson::Document document_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_WHATSAPP_WHATSAPP_H_
