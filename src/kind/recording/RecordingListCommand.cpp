// "LIBMODEL_KELDRA_QUERY_RECORDING_LIST": the recordings of voice-memo files
// the caller names, answered in place with the platform's reply and the list.
#include <memory>
#include <utility>

#include "Commands.h"
#include "kind/recording/recording.h"

namespace keldra {

void QueryRecordingList(PluginMessage& message) {
  rapidjson::Document document;
  if (!ParsePayloadText(message, document) || !document.IsObject()) return;
  auto recording = document.FindMember("recording");
  const rapidjson::Value* backupDir = StringMember(document, "backup_dir");
  if (recording == document.MemberEnd() || !backupDir) return;

  Recording kind;
  for (int source = 0; source < Recording::kSourceCount; ++source)
    kind.SetSourceDomain(source, "MediaDomain");
  Recording::List list = kind.QueryRecordingList(
      recording->value, std::string(backupDir->GetString(), backupDir->GetStringLength()), true);
  if (!list.entries) return;
  // The caller owns the pair, the list and the document from here on.
  using Answer = std::pair<rapidjson::Document*, rapidjson::Value*>;
  auto answer = std::make_unique<Answer>(list.reply.release(), list.entries.release());
  message.replyData = answer.release();
  message.replyPresent = 1;
}

}  // namespace keldra
