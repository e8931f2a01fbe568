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

}  // namespace

// Chats with their messages, then the messages of no chat grouped by handle,
// one conversation at a time: the statements stay open between calls.
class ModernConversations::Reader {
 public:
  Reader(const Database& database, const Layout& layout)
      : database_(database), queries_(BuildModernQueries(layout)) {
    ReadAttachments();
    if (!queries_.chats.empty()) {
      participants_ = ReadParticipants();
      chats_ = Run(queries_.chats);
      messages_ = Run(queries_.messages);
      pending_ = Step(messages_);
    }
  }

  bool Next(ReplyWriter& reply) {
    if (chats_ && Step(chats_)) {
      WriteChat(reply);
      return true;
    }
    chats_ = nullptr;
    messages_ = nullptr;
    if (!orphansStarted_) {
      orphansStarted_ = true;
      orphans_ = Run(queries_.orphans);
      orphanPending_ = Step(orphans_);
    }
    if (!orphanPending_) return false;
    WriteOrphans(reply);
    return true;
  }

  // As many conversations as Next gives: a row of chats each, and a run of
  // equal keys of the orphan messages each.
  std::optional<int64_t> Count() const {
    int64_t count = 0;
    if (!queries_.chats.empty()) {
      Statement chats = Run(queries_.chats);
      if (!chats) return std::nullopt;
      while (Step(chats)) ++count;
    }
    Statement keys = Run(queries_.orphanKeys);
    if (!keys) return queries_.orphanKeys.empty() ? std::optional<int64_t>(count) : std::nullopt;
    std::optional<int64_t> previous;
    while (Step(keys)) {
      int64_t key = Int64(keys.get(), 0);
      if (previous != key) ++count;
      previous = key;
    }
    return count;
  }

 private:
  Statement Run(const std::string& sql) const {
    return sql.empty() ? nullptr : Prepare(database_, sql);
  }

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
  void WriteChat(ReplyWriter& reply) {
    sqlite3_stmt* s = chats_.get();
    ConversationFields fields;
    fields.chatId = Int64(s, 0);
    fields.guid = Text(s, 1);
    fields.identifier = Text(s, 3);
    fields.service = Text(s, 4);
    fields.displayName = Text(s, 5);
    auto members = participants_.find(fields.chatId);
    if (members != participants_.end()) fields.participants = std::move(members->second);
    fields.group = IsNull(s, 2) ? fields.participants.size() > 1 : Int64(s, 2) == kGroupStyle;

    reply.BeginConversation();
    while (pending_ && Int64(messages_.get(), kKey) < fields.chatId) pending_ = Step(messages_);
    // A join table without its key may list a message many times over;
    // each copy would cost a whole message object, so one is kept.
    std::optional<int64_t> previous;
    while (pending_ && Int64(messages_.get(), kKey) == fields.chatId) {
      int64_t id = Int64(messages_.get(), kRowId);
      if (previous != id) WriteMessage(reply, messages_.get(), fields);
      previous = id;
      pending_ = Step(messages_);
    }
    reply.EndConversation(fields);
  }

  // One conversation per handle for messages outside every chat; they come
  // ordered by handle.
  void WriteOrphans(ReplyWriter& reply) {
    sqlite3_stmt* s = orphans_.get();
    int64_t handleRowId = Int64(s, kKey);
    ConversationFields fields;
    fields.identifier = Text(s, kHandle);
    fields.service = Text(s, kService);
    if (!fields.identifier.empty()) fields.participants.push_back(fields.identifier);
    reply.BeginConversation();
    do {
      WriteMessage(reply, s, fields);
      orphanPending_ = Step(orphans_);
    } while (orphanPending_ && Int64(s, kKey) == handleRowId);
    reply.EndConversation(fields);
  }

  void WriteMessage(ReplyWriter& reply, sqlite3_stmt* s, const ConversationFields& conversation) {
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
    reply.Message(fields);
  }

  const Database& database_;
  ModernQueries queries_;
  AttachmentMap attachments_;
  std::vector<AttachmentFields> attachmentViews_;
  std::unordered_map<int64_t, std::vector<std::string>> participants_;
  Statement chats_;
  Statement messages_;
  bool pending_ = false;
  bool orphansStarted_ = false;
  Statement orphans_;
  bool orphanPending_ = false;
};

ModernConversations::ModernConversations(const Database& database, const Layout& layout)
    : reader_(std::make_unique<Reader>(database, layout)) {}

ModernConversations::~ModernConversations() = default;

bool ModernConversations::Next(ReplyWriter& reply) {
  return reader_->Next(reply);
}

std::optional<int64_t> ModernConversations::Count() const {
  return reader_->Count();
}

void ReadModern(const Database& database, const Layout& layout, ReplyWriter& reply) {
  ModernConversations conversations(database, layout);
  while (conversations.Next(reply)) {
  }
}

}  // namespace host::sms
