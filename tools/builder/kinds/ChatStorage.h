// WhatsApp's ChatStorage.sqlite as it lies in a backup (domain
// AppDomainGroup-group.net.whatsapp.WhatsApp.shared): Core Data tables for
// chat sessions, messages, media items, group information, group members and
// push names, with the media files stored at "Message/" + their local path.
#ifndef KELDRA_BUILDER_KINDS_CHATSTORAGE_H_
#define KELDRA_BUILDER_KINDS_CHATSTORAGE_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder::whatsapp {

inline constexpr char kDomain[] = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
inline constexpr char kChatStoragePath[] = "ChatStorage.sqlite";

struct MediaItem {
  int64_t id = 0;                         // Z_PK
  std::optional<std::string> localPath;   // ZMEDIALOCALPATH, e.g. Media/<jid>/a/b/<uuid>.jpg
  int64_t fileSize = 0;                   // ZFILESIZE; 0: the content's size
  std::optional<std::string> authorName;  // ZAUTHORNAME (documents: the file's name)
  std::optional<std::string> title;       // ZTITLE (caption)
  std::optional<double> urlDate;          // ZMEDIAURLDATE
  std::string content = "\xFF\xD8\xFF\xE0 media";
  bool stored = true;  // the file is in the backup
};

struct GroupMember {
  int64_t id = 0;                   // Z_PK
  std::optional<std::string> jid;   // ZMEMBERJID
  std::optional<std::string> name;  // ZCONTACTNAME
  bool admin = false;
};

struct Message {
  std::optional<std::string> text;      // ZTEXT
  std::optional<int64_t> mediaItem;     // ZMEDIAITEM: a media item's id
  std::optional<double> date;           // ZMESSAGEDATE
  bool fromMe = false;                  // ZISFROMME
  std::optional<std::string> pushName;  // ZPUSHNAME
  std::optional<int64_t> groupMember;   // ZGROUPMEMBER: a member's id
  std::optional<std::string> fromJid;   // defaults follow the chat and direction
  std::optional<std::string> toJid;
};

struct Session {
  int64_t id = 0;                          // Z_PK
  std::optional<std::string> contactJid;   // ZCONTACTJID
  std::optional<std::string> partnerName;  // ZPARTNERNAME
  std::optional<double> lastMessageDate;   // ZLASTMESSAGEDATE
  bool group = false;                      // gets a ZWAGROUPINFO row
  std::vector<GroupMember> members;
  std::vector<Message> messages;  // ZSORT follows this order
};

struct PushName {
  std::optional<std::string> jid;
  std::optional<std::string> pushName;
};

struct ChatStore {
  std::vector<Session> sessions;
  std::vector<MediaItem> media;
  std::vector<PushName> pushNames;
  std::set<std::string> omitTables;  // tables left out of the database
};

void WriteChatStorage(const ChatStore& store, const std::string& path);
// The database and the stored media files.
void AddChatStorage(BackupBuilder& backup, const ChatStore& store);

// A small store: a one-to-one chat, a group with members with and without
// push names, a status feed and media: mkbackup's "whatsapp".
ChatStore SampleChats();
void AddSampleChats(BackupBuilder& backup);

// `messages` messages spread unevenly over `sessions` chats (a third of them
// groups, most members with push names), a media item on about one message in
// eleven, a system row with neither text nor media now and then; for
// benchmarks. Held in memory while written (about 200 bytes a message).
void AddGeneratedChats(BackupBuilder& backup, size_t sessions, size_t messages, uint64_t seed);

}  // namespace builder::whatsapp

#endif  // KELDRA_BUILDER_KINDS_CHATSTORAGE_H_
