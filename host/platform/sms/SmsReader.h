// The host's reader of a messages database (Library/SMS/sms.db and the
// desktop Messages chat.db of the same schemas): the reply to the
// conversation-list request, in the form Conversation.h describes.
#ifndef HOST_PLATFORM_SMS_SMSREADER_H_
#define HOST_PLATFORM_SMS_SMSREADER_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/StoredDatabase.h"
#include "platform/sms/Readers.h"
#include "vorn/Json.h"

namespace host::sms {

// {"chats": [...]} for the database at `path`, as much as it holds; null when
// the file cannot be read as a database at all. It is opened the way every
// platform reader opens a stored database (StoredDatabase: a "-wal" beside it
// is read through a private copy). A database of no known layout gives no
// chats.
std::unique_ptr<rapidjson::Document> ReadConversationList(const std::string& path,
                                                          const PlatformOptions& options);

// A database read a page at a time, so that a reply never has to hold every
// message of a large one: each page holds whole conversations, as many as
// reach the message budget asked for (at least one), with "total" (the
// conversations of all pages) and, unless it is the last, "next" naming the
// request for the following page. iOS 5 databases, which are small and read
// in one sweep, give everything in their first page.
class ConversationPages {
 public:
  // Null when the file cannot be read as a database at all.
  static std::unique_ptr<ConversationPages> Open(const std::string& path,
                                                 const PlatformOptions& options);
  ~ConversationPages();
  const std::string& Path() const { return path_; }
  // The next page; `next` is written into it unless the page is the last.
  std::unique_ptr<rapidjson::Document> NextPage(size_t messageBudget, const std::string& next);
  bool Done() const { return done_; }

 private:
  ConversationPages() = default;

  std::string path_;
  std::unique_ptr<StoredDatabase> stored_;
  Layout layout_;
  std::unique_ptr<ModernConversations> modern_;
  int64_t total_ = 0;
  bool started_ = false;
  bool done_ = false;
};

// The SELECT statements the reader runs for the database at `path`, in the
// order it runs them.
std::vector<std::string> ReaderStatements(const std::string& path, const PlatformOptions& options);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_SMSREADER_H_
