// The direct queries that stand-alone kinds answer.
#include "Commands.h"
#include "common/Channel.h"
#include "keldra/Names.h"

namespace keldra {

void QueryNoteList(PluginMessage& message) {
  rapidjson::Document document;
  int notifyStatus = ParsePayloadText(message, document) ? 1 : 6;
  SendCommandStatus(message.taskId, names::kQueryNoteList, 1, 0);
  NotifyTask(TaskIdOf(message), notifyStatus);
}

void QueryWhatsAppMediaItem(PluginMessage& message) { (void)message; }

}  // namespace keldra
