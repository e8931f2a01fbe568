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

std::vector<std::string> ReaderStatements(const std::string& path, const PlatformOptions& options) {
  std::unique_ptr<StoredDatabase> stored = StoredDatabase::Open(path, options);
  if (!stored) return {};
  return StatementsOf(InspectLayout(*stored));
}

}  // namespace host::sms
