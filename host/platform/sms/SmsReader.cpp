#include "platform/sms/SmsReader.h"

#include "platform/StoredDatabase.h"
#include "platform/sms/Readers.h"

namespace host::sms {

std::unique_ptr<rapidjson::Document> ReadConversationList(const std::string& path,
                                                          const PlatformOptions& options) {
  std::unique_ptr<StoredDatabase> stored = StoredDatabase::Open(path, options);
  if (!stored) return nullptr;
  const Database& database = stored->Shared();
  Layout layout = InspectLayout(*stored);
  auto reply = std::make_unique<rapidjson::Document>();
  auto write = [&](rapidjson::Document& document) {
    ReplyWriter writer(document);
    writer.Begin();
    if (layout.kind == Layout::Kind::kModern)
      ReadModern(database, layout, writer);
    else if (layout.kind == Layout::Kind::kMadrid)
      ReadMadrid(database, layout, writer);
    writer.End();
    return true;
  };
  reply->Populate(write);
  return reply;
}

std::unique_ptr<ConversationPages> ConversationPages::Open(const std::string& path,
                                                           const PlatformOptions& options) {
  std::unique_ptr<ConversationPages> pages(new ConversationPages());
  pages->stored_ = StoredDatabase::Open(path, options);
  if (!pages->stored_) return nullptr;
  pages->path_ = path;
  pages->layout_ = InspectLayout(*pages->stored_);
  if (pages->layout_.kind == Layout::Kind::kModern) {
    pages->modern_ =
        std::make_unique<ModernConversations>(pages->stored_->Shared(), pages->layout_);
    std::optional<int64_t> total = pages->modern_->Count();
    // Without a count the pages cannot announce their total: one page then.
    if (total)
      pages->total_ = *total;
    else
      pages->modern_.reset();
  }
  return pages;
}

ConversationPages::~ConversationPages() = default;

std::unique_ptr<rapidjson::Document> ConversationPages::NextPage(size_t messageBudget,
                                                                 const std::string& next) {
  auto reply = std::make_unique<rapidjson::Document>();
  auto write = [&](rapidjson::Document& document) {
    ReplyWriter writer(document);
    writer.Begin();
    if (modern_) {
      bool more = true;
      while (writer.MessagesWritten() < messageBudget && (more = modern_->Next(writer))) {
      }
      // A page that reached its budget ends early; whether anything is
      // left shows only on the next call, which may then give an empty page.
      done_ = !more;
      writer.EndPage(total_, done_ ? std::string_view() : std::string_view(next));
    } else {
      if (!started_ && layout_.kind == Layout::Kind::kModern)
        ReadModern(stored_->Shared(), layout_, writer);
      else if (!started_ && layout_.kind == Layout::Kind::kMadrid)
        ReadMadrid(stored_->Shared(), layout_, writer);
      done_ = true;
      writer.End();
    }
    started_ = true;
    return true;
  };
  reply->Populate(write);
  return reply;
}

std::vector<std::string> ReaderStatements(const std::string& path, const PlatformOptions& options) {
  std::unique_ptr<StoredDatabase> stored = StoredDatabase::Open(path, options);
  if (!stored) return {};
  return StatementsOf(InspectLayout(*stored));
}

}  // namespace host::sms
