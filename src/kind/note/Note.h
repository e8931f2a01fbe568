// The notes kind (type 5): notes of the old notes.sqlite and of the newer
// NoteStore.sqlite, whose gzip-compressed bodies hold the text and the
// identifiers of embedded attachments; during a scan each attachment is
// resolved to the backed-up files whose relative path holds its identifier.
#ifndef KELDRA_KIND_NOTE_NOTE_H_
#define KELDRA_KIND_NOTE_NOTE_H_

#include <string>

#include "backup/FileMap.h"
#include "common/Observer.h"
#include "kind/kind.h"
#include "kind/note/NoteBodyInflater.h"
#include "vorn/Json.h"

namespace keldra {

class Note : public Kind {
 public:
  static constexpr int kType = 5;
  static constexpr char kNotesDbName[] = "Library/Notes/notes.sqlite";
  static constexpr const char* kNoteStoreName = kKinds[kType].database;
  static constexpr const char* kNoteStoreDomain = kKinds[kType].domain;

  Note();

  void Run(const ScanContext& scan) override;
  // Keeps the readable path of the first record of each database.

  // Append the notes of one database to the result list; false when it does
  // not open or its statement does not prepare.
  bool ReadNotesDb(const std::string& path);
  bool ReadNoteStoreDb(const std::string& path);

  // Stage 1 {"count","note_db_path","note_store_db_path"}, stage 2 the
  // notes, stage 3 {}; then the list starts empty again.
  void SendNoteResults(const std::string& taskId, const char* subCommandType);

  // Fills the "info" of every attachment from the manifest's file map (Run
  // does this; public for measurement).
  void ResolveAttachments(const FileMap& map, const BackupInfo& info);

  const rapidjson::Value& Results() const { return results_; }

 private:
  // Complete reading of one stored body: decoded as a record, by the byte
  // rules when it does not decode.
  void AddCompleteBody(NoteBodyInflater& inflater, const uint8_t* blob, size_t length,
                       rapidjson::Value& note, const std::string& id);

  // Complete reading: the rows of each embedded table, read from the
  // table's own row of the store by `lookup`, as its attachment's "text".
  void AddTableTexts(sqlite3_stmt* lookup, NoteBodyInflater& inflater, rapidjson::Value& note);

  rapidjson::Document results_;
  std::string notesDbPath_;
  std::string noteStorePath_;
  // Where complete reading finds the two databases.
  const size_t notesDbWatch_ = WatchDatabase(kNotesDbName);
  const size_t noteStoreWatch_ =
      WatchDatabase(kNoteStoreName, kNoteStoreDomain, ExactMatch::kAnyDomain);
};

}  // namespace keldra

#endif  // KELDRA_KIND_NOTE_NOTE_H_
