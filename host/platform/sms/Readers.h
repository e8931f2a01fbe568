// The two readers of a messages database: each writes its conversations
// into the reply.
#ifndef HOST_PLATFORM_SMS_READERS_H_
#define HOST_PLATFORM_SMS_READERS_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/sms/Conversation.h"
#include "platform/sms/Database.h"
#include "platform/sms/Layout.h"

namespace host::sms {

// iOS 6 and later. Every chat in ROWID order with its messages (oldest
// first); then messages that belong to no chat, one conversation per handle
// (chat_id 0, no guid).
void ReadModern(const Database& database, const Layout& layout, ReplyWriter& reply);

// The same conversations, one at a time; the database must outlive it.
class ModernConversations {
 public:
  ModernConversations(const Database& database, const Layout& layout);
  ~ModernConversations();
  // Writes the next conversation; false when all have been written.
  bool Next(ReplyWriter& reply);
  // How many conversations there are in all; nullopt when they cannot be
  // counted.
  std::optional<int64_t> Count() const;

 private:
  class Reader;
  std::unique_ptr<Reader> reader_;
};

// iOS 5. SMS threads (msg_group), then iMessage chats (madrid_chat), then
// threads only their messages name; messages oldest first, SMS dates read as
// Unix time and iMessage dates as 2001 time.
void ReadMadrid(const Database& database, const Layout& layout, ReplyWriter& reply);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_READERS_H_
