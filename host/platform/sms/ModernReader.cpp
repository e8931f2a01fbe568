#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sms/Readers.h"

namespace host::sms {
namespace {

constexpr int64_t kGroupStyle = 43;

struct OwnedAttachment {
  std::string filename;
  std::string mimeType;
  std::string transferName;
  int64_t totalBytes = 0;
};

using AttachmentMap = std::unordered_map<int64_t, std::vector<OwnedAttachment>>;

bool Step(const Statement& statement) {
  return statement && sqlite3_step(statement.get()) == SQLITE_ROW;
}

class ModernReader {
 public:
  ModernReader(const Database& database, const Layout& layout, ReplyWriter& reply)
      : database_(database), queries_(BuildModernQueries(layout)), reply_(reply) {}

  void Read() {
    ReadAttachments();
    ReadChats();
    ReadOrphans();
  }

 private:
  Statement Run(const std::string& sql) { return sql.empty() ? nullptr : Prepare(database_, sql); }

  void ReadAttachments() {
    Statement statement = Run(queries_.attachments);
    while (Step(statement)) {
      sqlite3_stmt* s = statement.get();
      OwnedAttachment attachment;
      attachment.filename = Text(s, 1);
      attachment.mimeType = Text(s, 2);
      attachment.transferName = Text(s, 3);
      attachment.totalBytes = Int64(s, 4);
      attachments_[Int64(s, 0)].push_back(std::move(attachment));
    }
  }

  std::unordered_map<int64_t, std::vector<std::string>> ReadParticipants() {
    std::unordered_map<int64_t, std::vector<std::string>> participants;
    Statement statement = Run(queries_.participants);
    while (Step(statement))
      participants[Int64(statement.get(), 0)].emplace_back(Text(statement.get(), 1));
    return participants;
  }

  // Chats and their messages come in the same order of chat ids; the two
  // are merged as they stream. Joins to a chat that is not there are passed.
  void ReadChats() {
    if (queries_.chats.empty()) return;
    auto participants = ReadParticipants();
    Statement chats = Run(queries_.chats);
    Statement messages = Run(queries_.messages);
    bool pending = Step(messages);
    while (Step(chats)) {
      sqlite3_stmt* s = chats.get();
      ConversationFields fields;
      fields.chatId = Int64(s, 0);
      fields.guid = Text(s, 1);
      fields.identifier = Text(s, 3);
      fields.service = Text(s, 4);
      fields.displayName = Text(s, 5);
      auto members = participants.find(fields.chatId);
      if (members != participants.end()) fields.participants = std::move(members->second);
      fields.group = IsNull(s, 2) ? fields.participants.size() > 1 : Int64(s, 2) == kGroupStyle;

      reply_.BeginConversation();
      while (pending && Int64(messages.get(), kKey) < fields.chatId) pending = Step(messages);
      // A join table without its key may list a message many times over;
      // each copy would cost a whole message object, so one is kept.
      std::optional<int64_t> previous;
      while (pending && Int64(messages.get(), kKey) == fields.chatId) {
        int64_t id = Int64(messages.get(), kRowId);
        if (previous != id) WriteMessage(messages.get(), fields);
        previous = id;
        pending = Step(messages);
      }
      reply_.EndConversation(fields);
    }
  }

  // One conversation per handle for messages outside every chat; they come
  // ordered by handle.
  void ReadOrphans() {
    Statement orphans = Run(queries_.orphans);
    bool pending = Step(orphans);
    while (pending) {
      sqlite3_stmt* s = orphans.get();
      int64_t handleRowId = Int64(s, kKey);
      ConversationFields fields;
      fields.identifier = Text(s, kHandle);
      fields.service = Text(s, kService);
      if (!fields.identifier.empty()) fields.participants.push_back(fields.identifier);
      reply_.BeginConversation();
      do {
        WriteMessage(s, fields);
        pending = Step(orphans);
      } while (pending && Int64(s, kKey) == handleRowId);
      reply_.EndConversation(fields);
    }
  }

  void WriteMessage(sqlite3_stmt* s, const ConversationFields& conversation) {
    MessageFields fields;
    fields.id = Int64(s, kRowId);
    fields.guid = Text(s, kGuid);
    int64_t date = Int64(s, kDate);
    fields.date = AppleDateText(date);
    fields.dated = date != 0;
    fields.seconds = AppleSeconds(date);
    fields.dateRead = AppleDateText(Int64(s, kDateRead));
    fields.fromMe = Int64(s, kFromMe) != 0;
    // Received messages name their handle; one without a handle in a
    // one-to-one chat came from its partner.
    std::string_view handle = Text(s, kHandle);
    if (!fields.fromMe)
      fields.sender = !handle.empty() || conversation.group
                          ? handle
                          : std::string_view(conversation.identifier);
    fields.service = Text(s, kService);
    fields.subject = Text(s, kSubject);
    std::string decoded;
    fields.text = Text(s, kText);
    if (fields.text.empty()) {
      decoded = DecodedBody(Blob(s, kBody));
      fields.text = decoded;
    }
    fields.reaction = ReactionOf(Int64(s, kAssociatedType), Text(s, kAssociatedGuid));
    attachmentViews_.clear();
    auto owned = attachments_.find(fields.id);
    if (owned != attachments_.end()) {
      for (const OwnedAttachment& a : owned->second)
        attachmentViews_.push_back({a.filename, a.mimeType, a.transferName, a.totalBytes});
    }
    fields.attachments = &attachmentViews_;
    reply_.Message(fields);
  }

  const Database& database_;
  ModernQueries queries_;
  ReplyWriter& reply_;
  AttachmentMap attachments_;
  std::vector<AttachmentFields> attachmentViews_;
};

}  // namespace

void ReadModern(const Database& database, const Layout& layout, ReplyWriter& reply) {
  ModernReader(database, layout, reply).Read();
}

}  // namespace host::sms
