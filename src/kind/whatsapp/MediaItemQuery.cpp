// "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM": a WhatsApp kind of its own reads
// the given ChatStorage.sqlite and sends its series as a scan would; the
// caller's document then receives the media item table as "attachments".
#include <glog/logging.h>

#include <memory>
#include <string>

#include "Commands.h"
#include "backup/BackupInfo.h"
#include "kind/whatsapp/WhatsApp.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {

void QueryWhatsAppMediaItem(PluginMessage& message) {
  rapidjson::Document* document = PayloadDocument(message);
  if (!document) return;
  // Parameters of the wrong type are answered like a missing payload: not at all.
  const rapidjson::Value* backupDir = StringMember(*document, "backupDir");
  const rapidjson::Value* database = StringMember(*document, "chatStorageSqlite");
  if (!backupDir || !database) return;

  BackupInfo info;
  info.BackupPath = NormaliseBackupDir(*backupDir);
  info.BackupType = kBackupTypeDb;
  WhatsApp kind;
  kind.SetDbPath(std::string(database->GetString(), database->GetStringLength()));
  kind.ExtractChats(*document, TaskIdOf(message), info);

  std::shared_ptr<rapidjson::Value> mediaItems = kind.GetMediaItems();
  PimJsonUtil::AddJsonDictObjectValue(*document, document->GetAllocator(), "attachments",
                                      *mediaItems);
  LOG(INFO) << PimJsonUtil::ToString(*document);
  message.replyPresent = 1;
}

}  // namespace keldra
