#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sms/Readers.h"
#include "vorn/VRNUtilitySys.h"

namespace host::sms {
namespace {

constexpr int64_t kGroupStyle = 43;

struct OwnedAttachment {
  std::string filename;
  std::string mimeType;
  std::string transferName;
  int64_t totalBytes = 0;
};

// What a conversation's messages need to know of it while they stream in.
struct ConversationState {
  size_t index = 0;
  std::string identifier;
  bool group = false;
  bool dated = false;
  int64_t lastSeconds = 0;
};

using AttachmentMap = std::unordered_map<int64_t, std::vector<OwnedAttachment>>;

AttachmentMap ReadAttachments(const Database& database, const std::string& sql) {
  AttachmentMap attachments;
  Statement statement = sql.empty() ? nullptr : Prepare(database, sql);
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
    sqlite3_stmt* s = statement.get();
    OwnedAttachment attachment;
    attachment.filename = ColumnText(s, 1);
    attachment.mimeType = ColumnText(s, 2);
    attachment.transferName = ColumnText(s, 3);
    attachment.totalBytes = ColumnInt64(s, 4);
    attachments[ColumnInt64(s, 0)].push_back(std::move(attachment));
  }
  return attachments;
}

std::unordered_map<int64_t, std::vector<std::string>> ReadParticipants(const Database& database,
                                                                       const std::string& sql) {
  std::unordered_map<int64_t, std::vector<std::string>> participants;
  Statement statement = sql.empty() ? nullptr : Prepare(database, sql);
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
    participants[ColumnInt64(statement.get(), 0)].emplace_back(ColumnText(statement.get(), 1));
  return participants;
}

class ModernReader {
 public:
  ModernReader(const Database& database, const Layout& layout, rapidjson::Value& chats,
               Allocator& allocator)
      : database_(database),
        queries_(BuildModernQueries(layout)),
        chats_(chats),
        allocator_(allocator) {}

  void Read() {
    attachments_ = ReadAttachments(database_, queries_.attachments);
    ReadChats();
    ReadMessages(queries_.messages, false);
    ReadMessages(queries_.orphans, true);
    for (const ConversationState& state : states_) {
      std::string date = state.dated ? VRNUtilitySys::DateText2001(state.lastSeconds) : "";
      SetLastMessageDate(chats_[static_cast<rapidjson::SizeType>(state.index)], date, allocator_);
    }
  }

 private:
  void ReadChats() {
    if (queries_.chats.empty()) return;
    auto participants = ReadParticipants(database_, queries_.participants);
    Statement statement = Prepare(database_, queries_.chats);
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
      sqlite3_stmt* s = statement.get();
      int64_t chatId = ColumnInt64(s, 0);
      if (byChat_.count(chatId)) continue;
      auto members = participants.find(chatId);
      ConversationFields fields;
      fields.chatId = chatId;
      fields.guid = ColumnText(s, 1);
      fields.identifier = ColumnText(s, 3);
      fields.service = ColumnText(s, 4);
      fields.displayName = ColumnText(s, 5);
      fields.participants = members == participants.end() ? nullptr : &members->second;
      fields.group = ColumnIsNull(s, 2) ? fields.participants && fields.participants->size() > 1
                                        : ColumnInt64(s, 2) == kGroupStyle;
      byChat_[chatId] = AddConversation(fields);
    }
  }

  size_t AddConversation(const ConversationFields& fields) {
    chats_.PushBack(ConversationValue(fields, allocator_), allocator_);
    ConversationState state;
    state.index = chats_.Size() - 1;
    state.identifier = fields.identifier;
    state.group = fields.group;
    states_.push_back(std::move(state));
    return states_.size() - 1;
  }

  // One conversation per handle for messages outside every chat.
  size_t OrphanConversation(sqlite3_stmt* s) {
    int64_t handleRowId = ColumnInt64(s, kKey);
    auto found = byHandle_.find(handleRowId);
    if (found != byHandle_.end()) return found->second;
    std::vector<std::string> participants;
    std::string_view handle = ColumnText(s, kHandle);
    if (!handle.empty()) participants.emplace_back(handle);
    ConversationFields fields;
    fields.identifier = handle;
    fields.service = ColumnText(s, kService);
    fields.participants = &participants;
    size_t state = AddConversation(fields);
    byHandle_[handleRowId] = state;
    return state;
  }

  void ReadMessages(const std::string& sql, bool orphans) {
    Statement statement = sql.empty() ? nullptr : Prepare(database_, sql);
    std::vector<AttachmentFields> attachments;
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
      sqlite3_stmt* s = statement.get();
      size_t stateIndex = 0;
      if (orphans) {
        stateIndex = OrphanConversation(s);
      } else {
        auto found = byChat_.find(ColumnInt64(s, kKey));
        if (found == byChat_.end()) continue;  // joined to a chat that is not there
        stateIndex = found->second;
      }
      ConversationState& state = states_[stateIndex];

      MessageFields fields;
      fields.id = ColumnInt64(s, kRowId);
      fields.guid = ColumnText(s, kGuid);
      int64_t date = ColumnInt64(s, kDate);
      fields.date = AppleDateText(date);
      fields.dateRead = AppleDateText(ColumnInt64(s, kDateRead));
      fields.dateDelivered = AppleDateText(ColumnInt64(s, kDateDelivered));
      fields.fromMe = ColumnInt64(s, kFromMe) != 0;
      fields.read = ColumnInt64(s, kRead) != 0;
      std::string_view handle = ColumnText(s, kHandle);
      if (!fields.fromMe)
        fields.sender = !handle.empty() || state.group ? handle : state.identifier;
      fields.service = ColumnText(s, kService);
      fields.subject = ColumnText(s, kSubject);
      std::string decoded;
      fields.text = ColumnText(s, kText);
      if (fields.text.empty()) {
        decoded = DecodedBody(ColumnBlob(s, kBody));
        fields.text = decoded;
      }
      fields.reaction = ReactionOf(ColumnInt64(s, kAssociatedType), ColumnText(s, kAssociatedGuid));
      attachments.clear();
      auto owned = attachments_.find(fields.id);
      if (owned != attachments_.end()) {
        for (const OwnedAttachment& a : owned->second)
          attachments.push_back({a.filename, a.mimeType, a.transferName, a.totalBytes});
      }
      fields.attachments = &attachments;

      rapidjson::Value& conversation = chats_[static_cast<rapidjson::SizeType>(state.index)];
      MessagesOf(conversation).PushBack(MessageValue(fields, allocator_), allocator_);
      if (date != 0) {
        int64_t seconds = AppleSeconds(date);
        if (!state.dated || seconds > state.lastSeconds) state.lastSeconds = seconds;
        state.dated = true;
      }
    }
  }

  const Database& database_;
  ModernQueries queries_;
  rapidjson::Value& chats_;
  Allocator& allocator_;
  AttachmentMap attachments_;
  std::vector<ConversationState> states_;
  std::unordered_map<int64_t, size_t> byChat_;    // chat ROWID -> state
  std::unordered_map<int64_t, size_t> byHandle_;  // handle ROWID -> state of its orphans
};

}  // namespace

void ReadModern(const Database& database, const Layout& layout, rapidjson::Value& chats,
                Allocator& allocator) {
  ModernReader(database, layout, chats, allocator).Read();
}

}  // namespace host::sms
