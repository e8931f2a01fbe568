// The host's reader of a messages database (Library/SMS/sms.db and the
// desktop Messages chat.db of the same schemas): the reply to the
// conversation-list request, in the form Conversation.h describes.
#ifndef HOST_PLATFORM_SMS_SMSREADER_H_
#define HOST_PLATFORM_SMS_SMSREADER_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vorn/Json.h"

namespace host::sms {

// {"chats": [...]} for the database at `path`, as much as it holds; null when
// the file cannot be read as a database at all. The stored file is opened
// immutable and read-only; when a "-wal" file lies beside it, both are copied
// into a private folder below `tempDir()` (a folder ending in "/") and the
// copy is read and removed. A database of no known layout gives no chats.
std::unique_ptr<rapidjson::Document> ReadConversationList(
    const std::string& path, const std::function<std::string()>& tempDir);

// The SELECT statements the reader runs for the database at `path`, in the
// order it runs them (opened immutable, so a -wal is not looked at).
std::vector<std::string> ReaderStatements(const std::string& path);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_SMSREADER_H_
