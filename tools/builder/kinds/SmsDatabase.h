// Writes Library/SMS/sms.db in the layouts iOS used over the years, with the
// attachment files a backup stores beside it:
//   kIos5   the "madrid" layout: SMS rows (Unix dates) and iMessage rows
//           (2001 dates) in one message table, msg_group/group_member,
//           madrid_chat, madrid_attachment, msg_pieces for MMS parts;
//   kIos6   chat, handle, message and their join tables, attachment; dates
//           in seconds since 2001 (iOS 6 to 10);
//   kIos11  the same with tapback columns, dates in nanoseconds and an
//           attributedBody on every row (iOS 11 to 13);
//   kIos14  the same with the edit/unsend columns; rows may keep their text
//           in attributedBody alone (iOS 14 to 18).
#ifndef KELDRA_BUILDER_KINDS_SMSDATABASE_H_
#define KELDRA_BUILDER_KINDS_SMSDATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder {

enum class SmsGeneration { kIos5, kIos6, kIos11, kIos14 };

struct SmsAttachmentSpec {
  // Device path: "~/Library/SMS/Attachments/..." (kIos5 iMessage:
  // "/var/mobile/Library/SMS/Attachments/...").
  std::string filename;
  std::string mimeType = "image/jpeg";
  std::string transferName;  // empty: the file name of `filename`
  std::string content = "attachment bytes";
  bool stored = true;       // its file is in the backup (MediaDomain)
  int64_t createdDate = 0;  // seconds since 2001
};

struct SmsMessageSpec {
  std::optional<std::string> text;  // nullopt: NULL
  // kIos14: text NULL, the body in attributedBody alone.
  bool bodyOnly = false;
  int64_t date = 0;  // seconds since 2001; written in the generation's unit
  int64_t dateRead = 0;
  bool fromMe = false;
  std::string sender;   // the handle of a received message
  std::string service;  // "": the chat's
  std::string subject;
  int64_t associatedType = 0;  // tapbacks: 2000..2005, 3000..3005
  std::string associatedGuid;
  std::string guid;  // "": derived from the row number
  std::vector<SmsAttachmentSpec> attachments;
};

struct SmsChatSpec {
  std::string identifier;  // chat_identifier: the partner, or chat<digits> for groups
  std::string service = "iMessage";
  std::string displayName;
  bool group = false;
  std::vector<std::string> participants;  // handle ids
  std::vector<SmsMessageSpec> messages;
};

// Rows are written as they are added, in one transaction.
class SmsDatabaseWriter {
 public:
  SmsDatabaseWriter(const std::string& path, SmsGeneration generation);
  ~SmsDatabaseWriter();
  SmsDatabaseWriter(const SmsDatabaseWriter&) = delete;
  SmsDatabaseWriter& operator=(const SmsDatabaseWriter&) = delete;

  // The chat, its handles, messages and attachments. Returns the chat's ROWID.
  int64_t AddChat(const SmsChatSpec& chat);
  // An attachment row joined to no message; nullopt writes NULL.
  void AddAttachmentRow(const std::optional<std::string>& filename, const std::string& mimeType,
                        int64_t createdDate);
  // Any statement: odd schemas, damaged rows.
  void Execute(const std::string& sql);
  // Commits and closes; later calls do nothing.
  void Close();

  // (relative path, content) of every attachment whose file a backup stores.
  const std::vector<std::pair<std::string, std::string>>& StoredFiles() const { return stored_; }

 private:
  struct Statements;
  int64_t Handle(const std::string& id, const std::string& service);
  void AddModernChat(const SmsChatSpec& chat, int64_t chatId);
  void AddMadridChat(const SmsChatSpec& chat, int64_t chatId);
  void Remember(const SmsAttachmentSpec& attachment);

  std::string path_;
  SmsGeneration generation_;
  sqlite3* database_ = nullptr;
  std::unique_ptr<Statements> statements_;
  std::map<std::pair<std::string, std::string>, int64_t> handles_;
  int64_t nextChat_ = 1;
  int64_t nextMessage_ = 1;
  int64_t nextAttachment_ = 1;
  std::vector<std::pair<std::string, std::string>> stored_;
};

// The relative path of an attachment's device path ("~/" or "/var/mobile/"
// cut); "" for a path outside the user's folder.
std::string AttachmentRelativePath(const std::string& filename);

// Writes sms.db of the chats into the backup as HomeDomain
// Library/SMS/sms.db, with the attachment files (MediaDomain). `extra` runs
// on the writer before it closes.
void AddSmsDatabase(BackupBuilder& backup, SmsGeneration generation,
                    const std::vector<SmsChatSpec>& chats,
                    const std::function<void(SmsDatabaseWriter&)>& extra = nullptr);

// A few conversations of every sort: one-to-one and group, SMS and
// iMessage, attachments (one not stored), a tapback, a text kept only in
// attributedBody (kIos14), and a conversation without messages.
std::vector<SmsChatSpec> SampleConversations(SmsGeneration generation);

// mkbackup's "sms" content: sms.db of the sample conversations (kIos14).
void AddSmsContent(BackupBuilder& backup);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_SMSDATABASE_H_
