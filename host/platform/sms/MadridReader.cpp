#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "mivo/Utils.h"
#include "platform/sms/Readers.h"

namespace host::sms {
namespace {

constexpr int64_t kUnixOf2001 = 978307200;
constexpr int64_t kGroupStyle = 43;
// Outgoing rows: bit 0 of an SMS row's flags, bit 15 of an iMessage row's.
constexpr int64_t kSmsOutgoing = 0x1;
constexpr int64_t kMadridOutgoing = 0x8000;
constexpr char kTextPart[] = "text/plain";
constexpr char kLayoutPart[] = "application/smil";

struct Row {
  int64_t id = 0;
  bool madrid = false;
  std::string address;  // SMS: the other party
  std::string text;
  std::string subject;
  std::string handle;  // iMessage: the other party
  std::string guid;
  std::string room;
  std::string service;
  std::string body;  // iMessage: archived attributed text
  int64_t date = 0;
  int64_t groupId = 0;
  int64_t flags = 0;
  int64_t dateRead = 0;

  bool FromMe() const {
    return madrid ? (flags & kMadridOutgoing) != 0 : (flags & kSmsOutgoing) != 0;
  }
  // Seconds since 2001, whichever clock the row keeps.
  int64_t Seconds() const {
    if (madrid) return AppleSeconds(date);
    int64_t seconds = 0;
    return __builtin_sub_overflow(date, kUnixOf2001, &seconds) ? date : seconds;
  }
  std::string Party() const { return madrid ? handle : address; }
};

struct OwnedAttachment {
  std::string filename;
  std::string mimeType;
  std::string transferName;
  int64_t totalBytes = 0;
};

struct Thread {
  int64_t chatId = 0;
  std::string guid;
  std::string service;
  std::string identifier;
  bool group = false;
  bool listedMembers = false;  // participants come from group_member
  std::vector<std::string> participants;
  std::vector<size_t> rows;
};

std::string SmsKey(int64_t groupId) {
  return "g:" + std::to_string(groupId);
}
std::string MadridKey(const std::string& room, const std::string& handle) {
  return room.empty() ? "h:" + handle : "r:" + room;
}

class MadridReader {
 public:
  MadridReader(const Database& database, const Layout& layout, ReplyWriter& reply)
      : database_(database), queries_(BuildMadridQueries(layout)), reply_(reply) {}

  void Read() {
    ReadGroups();
    ReadChats();
    ReadRows();
    ReadAttachments();
    ReadPieces();
    for (Thread& thread : threads_) Write(thread);
  }

 private:
  Statement Run(const std::string& sql) { return sql.empty() ? nullptr : Prepare(database_, sql); }

  size_t AddThread(const std::string& key, Thread thread) {
    threads_.push_back(std::move(thread));
    byKey_[key] = threads_.size() - 1;
    return threads_.size() - 1;
  }

  void ReadGroups() {
    std::map<int64_t, std::vector<std::string>> members;
    Statement memberRows = Run(queries_.members);
    while (memberRows && sqlite3_step(memberRows.get()) == SQLITE_ROW)
      members[Int64(memberRows.get(), 0)].emplace_back(Text(memberRows.get(), 1));
    Statement groups = Run(queries_.groups);
    while (groups && sqlite3_step(groups.get()) == SQLITE_ROW) {
      int64_t id = Int64(groups.get(), 0);
      if (byKey_.count(SmsKey(id))) continue;
      Thread thread;
      thread.chatId = id;
      thread.service = "SMS";
      thread.participants = members[id];
      thread.listedMembers = true;
      thread.group = thread.participants.size() > 1;
      if (thread.participants.size() == 1) thread.identifier = thread.participants[0];
      AddThread(SmsKey(id), std::move(thread));
    }
  }

  void ReadChats() {
    Statement chats = Run(queries_.chats);
    while (chats && sqlite3_step(chats.get()) == SQLITE_ROW) {
      sqlite3_stmt* s = chats.get();
      Thread thread;
      thread.chatId = Int64(s, 0);
      thread.guid = Text(s, 1);
      thread.group = Int64(s, 2) == kGroupStyle;
      thread.identifier = Text(s, 3);
      thread.service = Text(s, 4);
      std::string key = MadridKey(std::string(Text(s, 5)), thread.identifier);
      if (byKey_.count(key)) continue;
      if (!thread.group && !thread.identifier.empty())
        thread.participants.push_back(thread.identifier);
      AddThread(key, std::move(thread));
    }
  }

  void ReadRows() {
    Statement statement = Run(queries_.messages);
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
      sqlite3_stmt* s = statement.get();
      Row row;
      row.id = Int64(s, kMadridRowId);
      row.madrid = Int64(s, kMadridIsMadrid) != 0;
      row.address = Text(s, kMadridAddress);
      row.date = Int64(s, kMadridDate);
      row.text = Text(s, kMadridText);
      row.groupId = Int64(s, kMadridGroupId);
      row.subject = Text(s, kMadridSubject);
      row.handle = Text(s, kMadridHandle);
      row.guid = Text(s, kMadridGuid);
      row.room = Text(s, kMadridRoomName);
      row.service = Text(s, kMadridService);
      row.flags = Int64(s, row.madrid ? kMadridMessageFlags : kMadridFlags);
      row.dateRead = Int64(s, kMadridDateRead);
      if (row.madrid && row.text.empty()) row.body = Blob(s, kMadridBody);
      if (!row.madrid) row.service = "SMS";
      rows_.push_back(std::move(row));
      Place(rows_.size() - 1);
    }
  }

  // Into its thread, made up from the row when no table lists it.
  void Place(size_t index) {
    const Row& row = rows_[index];
    std::string key = row.madrid ? MadridKey(row.room, row.handle) : SmsKey(row.groupId);
    auto found = byKey_.find(key);
    size_t at = 0;
    if (found != byKey_.end()) {
      at = found->second;
    } else {
      Thread thread;
      thread.chatId = row.madrid ? 0 : row.groupId;
      thread.service = row.service;
      thread.group = row.madrid && !row.room.empty();
      thread.identifier = row.madrid && !row.room.empty() ? row.room : row.Party();
      at = AddThread(key, std::move(thread));
    }
    Thread& thread = threads_[at];
    thread.rows.push_back(index);
    std::string party = row.Party();
    if (!thread.listedMembers && !party.empty() && !(thread.group && row.FromMe()) &&
        std::find(thread.participants.begin(), thread.participants.end(), party) ==
            thread.participants.end())
      thread.participants.push_back(party);
  }

  void ReadAttachments() {
    Statement statement = Run(queries_.attachments);
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
      sqlite3_stmt* s = statement.get();
      OwnedAttachment attachment;
      attachment.filename = Text(s, 1);
      attachment.mimeType = Text(s, 2);
      attachment.transferName = Utils::GetFileName(attachment.filename);
      attachments_[Int64(s, 0)].push_back(std::move(attachment));
    }
  }

  // MMS parts: text parts are the message's text, the layout part is
  // skipped, every other part is an attachment known by its name only.
  void ReadPieces() {
    Statement statement = Run(queries_.pieces);
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
      sqlite3_stmt* s = statement.get();
      int64_t messageId = Int64(s, 0);
      std::string_view data = Blob(s, 1);
      std::string_view type = Text(s, 2);
      if (type == kTextPart) {
        std::string& text = pieceTexts_[messageId];
        if (!text.empty() && !data.empty()) text += '\n';
        text.append(data);
      } else if (type != kLayoutPart && !type.empty()) {
        OwnedAttachment attachment;
        attachment.mimeType = type;
        attachment.transferName = Text(s, 3);
        attachment.totalBytes = static_cast<int64_t>(data.size());
        attachments_[messageId].push_back(std::move(attachment));
      }
    }
  }

  void Write(Thread& thread) {
    std::stable_sort(thread.rows.begin(), thread.rows.end(), [this](size_t a, size_t b) {
      const Row& x = rows_[a];
      const Row& y = rows_[b];
      return x.Seconds() != y.Seconds() ? x.Seconds() < y.Seconds() : x.id < y.id;
    });
    reply_.BeginConversation();
    std::vector<AttachmentFields> attachments;
    for (size_t index : thread.rows) {
      const Row& row = rows_[index];
      MessageFields message;
      message.id = row.id;
      message.guid = row.guid;
      message.date = row.madrid ? AppleDateText(row.date) : UnixDateText(row.date);
      message.dated = row.date != 0;
      message.seconds = row.Seconds();
      if (row.madrid) message.dateRead = AppleDateText(row.dateRead);
      message.fromMe = row.FromMe();
      std::string party = row.Party();
      if (!message.fromMe) message.sender = party;
      message.service = row.service;
      message.subject = row.subject;
      std::string decoded;
      message.text = row.text;
      if (message.text.empty()) {
        if (row.madrid) {
          decoded = DecodedBody(row.body);
          message.text = decoded;
        } else if (auto piece = pieceTexts_.find(row.id); piece != pieceTexts_.end()) {
          message.text = piece->second;
        }
      }
      attachments.clear();
      if (auto owned = attachments_.find(row.id); owned != attachments_.end()) {
        for (const OwnedAttachment& a : owned->second)
          attachments.push_back({a.filename, a.mimeType, a.transferName, a.totalBytes});
      }
      message.attachments = &attachments;
      reply_.Message(message);
    }
    ConversationFields fields;
    fields.chatId = thread.chatId;
    fields.guid = thread.guid;
    fields.service = thread.service;
    fields.identifier = thread.identifier;
    fields.group = thread.group;
    fields.participants = thread.participants;
    reply_.EndConversation(fields);
  }

  const Database& database_;
  MadridQueries queries_;
  ReplyWriter& reply_;
  std::vector<Row> rows_;
  std::vector<Thread> threads_;
  std::unordered_map<std::string, size_t> byKey_;
  std::unordered_map<int64_t, std::vector<OwnedAttachment>> attachments_;
  std::unordered_map<int64_t, std::string> pieceTexts_;
};

}  // namespace

void ReadMadrid(const Database& database, const Layout& layout, ReplyWriter& reply) {
  MadridReader(database, layout, reply).Read();
}

}  // namespace host::sms
