// The host's reader of a messages database (Library/SMS/sms.db and the
// desktop Messages chat.db of the same schemas): the reply to the
// conversation-list request, in the form Conversation.h describes.
#ifndef HOST_PLATFORM_SMS_SMSREADER_H_
#define HOST_PLATFORM_SMS_SMSREADER_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "vorn/Json.h"

namespace host::sms {

// {"chats": [...]} for the database at `path`, as much as it holds; null when
// the file cannot be read as a database at all. It is opened the way every
// platform reader opens a stored database (StoredDatabase: a "-wal" beside it
// is read through a private copy). A database of no known layout gives no
// chats.
std::unique_ptr<rapidjson::Document> ReadConversationList(const std::string& path,
                                                          const PlatformOptions& options);

// The SELECT statements the reader runs for the database at `path`, in the
// order it runs them.
std::vector<std::string> ReaderStatements(const std::string& path, const PlatformOptions& options);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_SMSREADER_H_
