#include "platform/sms/SmsReader.h"

#include "platform/sms/Readers.h"
#include "platform/sms/ScratchCopy.h"

namespace host::sms {
namespace {

// SQLite opens any file lazily; the first read tells whether it is a database.
bool IsDatabase(const Database& database) {
  Statement probe = Prepare(database, "SELECT 1 FROM sqlite_master LIMIT 1");
  if (!probe) return false;
  int rc = sqlite3_step(probe.get());
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

}  // namespace

std::unique_ptr<rapidjson::Document> ReadConversationList(
    const std::string& path, const std::function<std::string()>& tempDir) {
  if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
  // The copy outlives the connection: its folder goes after SQLite closed.
  std::unique_ptr<ScratchCopy> copy;
  if (HasWriteAheadLog(path) && tempDir) copy = ScratchCopy::Make(path, tempDir());
  Database database = copy ? keldra::sqlite::OpenPrivateCopy(copy->DatabasePath())
                           : keldra::sqlite::OpenReadOnly(path);
  if (!database || !IsDatabase(database)) return nullptr;

  Layout layout = InspectLayout(database);
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

std::vector<std::string> ReaderStatements(const std::string& path) {
  Database database = keldra::sqlite::OpenReadOnly(path);
  if (!database || !IsDatabase(database)) return {};
  return StatementsOf(InspectLayout(database));
}

}  // namespace host::sms
