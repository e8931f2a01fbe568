// "LIBMODEL_KELDRA_QUERY_NOTE_LIST": the notes of note databases given by
// path, read by a notes kind of its own (no manifest, so no attachment files).
#include "Commands.h"
#include "common/Channel.h"
#include "keldra/Names.h"
#include "kind/note/Note.h"

namespace keldra {

void QueryNoteList(PluginMessage& message) {
  std::string taskId = TaskIdOf(message);
  rapidjson::Document document;
  bool parsed = ParsePayloadText(message, document);
  if (parsed) {
    Note note;
    // A path given as anything but a string counts as not given.
    if (const rapidjson::Value* path = StringMember(document, "note_db_path"))
      note.ReadNotesDb(std::string(path->GetString(), path->GetStringLength()));
    if (const rapidjson::Value* path = StringMember(document, "note_store_db_path"))
      note.ReadNoteStoreDb(std::string(path->GetString(), path->GetStringLength()));
    note.SendNoteResults(taskId, names::kQueryNoteList);
  }
  // Finished even for a payload that does not parse; only the task hears of it.
  SendCommandStatus(message.taskId, names::kQueryNoteList, CommandStatus::kFinished, 0);
  NotifyTask(taskId, parsed ? CommandStatus::kFinished : CommandStatus::kFailed);
}

}  // namespace keldra
