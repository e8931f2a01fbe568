#include "platform/sms/Layout.h"

#include <cctype>
#include <string_view>

namespace host::sms {
namespace {

const char* const kTablesRead[] = {
    "chat",
    "handle",
    "message",
    "chat_message_join",
    "chat_handle_join",
    "message_attachment_join",
    "attachment",
    "msg_group",
    "group_member",
    "madrid_chat",
    "madrid_attachment",
    "msg_pieces",
};

// SQLite compares names without regard to ASCII case.
std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

bool Layout::Has(const std::string& table, const std::string& column) const {
  auto found = columns.find(table);
  return found != columns.end() && found->second.count(column) != 0;
}

std::string Layout::Column(const std::string& table, const char* alias,
                           const std::string& column) const {
  if (!Has(table, column)) return "NULL";
  return std::string(alias) + "." + column;
}

Layout InspectLayout(const StoredDatabase& database) {
  Layout layout;
  std::set<std::string> tables;
  for (const std::string& table : database.Tables()) tables.insert(Lowercase(table));
  for (const char* table : kTablesRead) {
    if (!tables.count(table)) continue;
    std::set<std::string> names;
    for (const std::string& column : database.Columns(table)) names.insert(Lowercase(column));
    if (!names.empty()) layout.columns.emplace(table, std::move(names));
  }
  if (!layout.Has("message"))
    layout.kind = Layout::Kind::kUnknown;
  else if (!layout.Has("chat") && layout.Has("message", "is_madrid"))
    layout.kind = Layout::Kind::kMadrid;
  else
    layout.kind = Layout::Kind::kModern;
  return layout;
}

ModernQueries BuildModernQueries(const Layout& layout) {
  ModernQueries queries;
  if (layout.Has("message_attachment_join", "message_id") &&
      layout.Has("message_attachment_join", "attachment_id") && layout.Has("attachment")) {
    queries.attachments = "SELECT j.message_id, " + layout.Column("attachment", "a", "filename") +
                          ", " + layout.Column("attachment", "a", "mime_type") + ", " +
                          layout.Column("attachment", "a", "transfer_name") + ", " +
                          layout.Column("attachment", "a", "total_bytes") +
                          " FROM message_attachment_join j JOIN attachment a ON a.ROWID = "
                          "j.attachment_id ORDER BY j.message_id, j.attachment_id";
  }
  if (layout.Has("chat_handle_join", "chat_id") && layout.Has("chat_handle_join", "handle_id") &&
      layout.Has("handle", "id")) {
    queries.participants =
        "SELECT j.chat_id, h.id FROM chat_handle_join j JOIN handle h ON h.ROWID = j.handle_id "
        "ORDER BY j.chat_id, j.handle_id";
  }
  if (layout.Has("chat")) {
    queries.chats = "SELECT c.ROWID, " + layout.Column("chat", "c", "guid") + ", " +
                    layout.Column("chat", "c", "style") + ", " +
                    layout.Column("chat", "c", "chat_identifier") + ", " +
                    layout.Column("chat", "c", "service_name") + ", " +
                    layout.Column("chat", "c", "display_name") + " FROM chat c ORDER BY c.ROWID";
  }
  if (!layout.Has("message")) return queries;

  bool handles = layout.Has("handle");
  std::string columns =
      "m.ROWID, " + layout.Column("message", "m", "guid") + ", " +
      layout.Column("message", "m", "text") + ", " +
      layout.Column("message", "m", "attributedbody") + ", " +
      layout.Column("message", "m", "date") + ", " + layout.Column("message", "m", "date_read") +
      ", " + layout.Column("message", "m", "is_from_me") + ", " +
      layout.Column("message", "m", "handle_id") + ", " +
      (handles && layout.Has("message", "handle_id") ? layout.Column("handle", "h", "id")
                                                     : std::string("NULL")) +
      ", " + layout.Column("message", "m", "service") + ", " +
      layout.Column("message", "m", "subject") + ", " +
      layout.Column("message", "m", "associated_message_type") + ", " +
      layout.Column("message", "m", "associated_message_guid");
  std::string handleJoin = handles && layout.Has("message", "handle_id")
                               ? " LEFT JOIN handle h ON h.ROWID = m.handle_id"
                               : "";
  std::string byDate = layout.Has("message", "date") ? "m.date, " : "";

  bool joined =
      layout.Has("chat_message_join", "chat_id") && layout.Has("chat_message_join", "message_id");
  if (layout.Has("chat") && joined) {
    queries.messages = "SELECT j.chat_id, " + columns +
                       " FROM chat_message_join j JOIN message m ON m.ROWID = j.message_id" +
                       handleJoin + " ORDER BY j.chat_id, " + byDate + "m.ROWID";
  }
  std::string key = layout.Column("message", "m", "handle_id");
  std::string selection;
  // NOT IN over a list holding NULL would match nothing.
  if (layout.Has("chat") && joined)
    selection =
        " WHERE m.ROWID NOT IN (SELECT message_id FROM chat_message_join WHERE message_id IS "
        "NOT NULL)";
  selection += " ORDER BY " + (key == "NULL" ? std::string() : key + ", ") + byDate + "m.ROWID";
  queries.orphans = "SELECT " + key + ", " + columns + " FROM message m" + handleJoin + selection;
  queries.orphanKeys = "SELECT " + key + " FROM message m" + selection;
  return queries;
}

MadridQueries BuildMadridQueries(const Layout& layout) {
  MadridQueries queries;
  if (layout.Has("msg_group")) queries.groups = "SELECT ROWID FROM msg_group ORDER BY ROWID";
  if (layout.Has("group_member", "group_id") && layout.Has("group_member", "address"))
    queries.members = "SELECT group_id, address FROM group_member ORDER BY group_id, ROWID";
  if (layout.Has("madrid_chat")) {
    queries.chats = "SELECT c.ROWID, " + layout.Column("madrid_chat", "c", "guid") + ", " +
                    layout.Column("madrid_chat", "c", "style") + ", " +
                    layout.Column("madrid_chat", "c", "chat_identifier") + ", " +
                    layout.Column("madrid_chat", "c", "service_name") + ", " +
                    layout.Column("madrid_chat", "c", "room_name") +
                    " FROM madrid_chat c ORDER BY c.ROWID";
  }
  if (layout.Has("message")) {
    std::string columns = "m.ROWID";
    for (const char* column :
         {"address", "date", "text", "flags", "group_id", "subject", "is_madrid", "madrid_handle",
          "madrid_guid", "madrid_roomname", "madrid_service", "madrid_flags", "madrid_date_read",
          "madrid_attributedbody"})
      columns += ", " + layout.Column("message", "m", column);
    queries.messages = "SELECT " + columns + " FROM message m ORDER BY m.ROWID";
  }
  if (layout.Has("madrid_attachment", "message_id")) {
    queries.attachments = "SELECT a.message_id, " +
                          layout.Column("madrid_attachment", "a", "filename") + ", " +
                          layout.Column("madrid_attachment", "a", "mime_type") +
                          " FROM madrid_attachment a ORDER BY a.message_id, a.ROWID";
  }
  if (layout.Has("msg_pieces", "message_id")) {
    queries.pieces = "SELECT p.message_id, " + layout.Column("msg_pieces", "p", "data") + ", " +
                     layout.Column("msg_pieces", "p", "content_type") + ", " +
                     layout.Column("msg_pieces", "p", "content_loc") +
                     " FROM msg_pieces p ORDER BY p.message_id, " +
                     layout.Column("msg_pieces", "p", "part_id") + ", p.ROWID";
  }
  return queries;
}

std::vector<std::string> StatementsOf(const Layout& layout) {
  std::vector<std::string> statements;
  auto add = [&statements](const std::string& sql) {
    if (!sql.empty()) statements.push_back(sql);
  };
  if (layout.kind == Layout::Kind::kModern) {
    ModernQueries q = BuildModernQueries(layout);
    for (const std::string* sql :
         {&q.attachments, &q.participants, &q.chats, &q.messages, &q.orphans})
      add(*sql);
  } else if (layout.kind == Layout::Kind::kMadrid) {
    MadridQueries q = BuildMadridQueries(layout);
    for (const std::string* sql :
         {&q.groups, &q.members, &q.chats, &q.attachments, &q.pieces, &q.messages})
      add(*sql);
  }
  return statements;
}

}  // namespace host::sms
