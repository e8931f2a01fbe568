// What a messages database holds, found by looking at it (sqlite_master and
// PRAGMA table_info) rather than trusting a version number, and the SELECT
// statements each reader builds from what is there.
#ifndef HOST_PLATFORM_SMS_LAYOUT_H_
#define HOST_PLATFORM_SMS_LAYOUT_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/StoredDatabase.h"

namespace host::sms {

struct Layout {
  enum class Kind {
    kUnknown,  // no message table
    kModern,   // iOS 6 and later: chat, handle, message and their join tables
    kMadrid,   // iOS 5: message rows with is_madrid, msg_group, madrid_chat
  };
  Kind kind = Kind::kUnknown;
  std::map<std::string, std::set<std::string>> columns;  // table -> columns, lowercase

  bool Has(const std::string& table) const { return columns.count(table) != 0; }
  bool Has(const std::string& table, const std::string& column) const;
  // "alias.column" when the table has the column, else "NULL".
  std::string Column(const std::string& table, const char* alias, const std::string& column) const;
};

Layout InspectLayout(const StoredDatabase& database);

// The statements of the modern reader; an empty text is a query that is not
// run because its tables are missing.
struct ModernQueries {
  std::string attachments;   // message id, filename, mime type, transfer name, total bytes
  std::string participants;  // chat id, handle id
  std::string chats;         // ROWID, guid, style, chat_identifier, service_name, display_name
  std::string messages;      // MessageColumns, keyed by chat id
  std::string orphans;       // MessageColumns of messages in no chat, keyed by handle ROWID
  std::string orphanKeys;    // the key column of `orphans` alone, in its order
};
ModernQueries BuildModernQueries(const Layout& layout);

// Columns of the modern message statements, in order.
enum MessageColumn {
  kKey,
  kRowId,
  kGuid,
  kText,
  kBody,
  kDate,
  kDateRead,
  kFromMe,
  kHandleRowId,
  kHandle,
  kService,
  kSubject,
  kAssociatedType,
  kAssociatedGuid,
};

struct MadridQueries {
  std::string groups;       // msg_group ROWID
  std::string members;      // group id, address
  std::string chats;        // ROWID, guid, style, chat_identifier, service_name, room_name
  std::string messages;     // MadridColumns
  std::string attachments;  // message id, filename, mime type
  std::string pieces;       // message id, data, content type, content location
};
MadridQueries BuildMadridQueries(const Layout& layout);

enum MadridColumn {
  kMadridRowId,
  kMadridAddress,
  kMadridDate,
  kMadridText,
  kMadridFlags,
  kMadridGroupId,
  kMadridSubject,
  kMadridIsMadrid,
  kMadridHandle,
  kMadridGuid,
  kMadridRoomName,
  kMadridService,
  kMadridMessageFlags,
  kMadridDateRead,
  kMadridBody,
};

// Every statement a reader runs for the layout, in order.
std::vector<std::string> StatementsOf(const Layout& layout);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_LAYOUT_H_
