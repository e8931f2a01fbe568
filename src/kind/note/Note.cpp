#include "kind/note/Note.h"

#include <set>
#include <string_view>
#include <vector>

#include "backup/DbBase.h"
#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "kind/JsonText.h"
#include "kind/TableColumns.h"
#include "kind/note/KeyMatcher.h"
#include "kind/note/NoteBody.h"
#include "kind/note/NoteBodyInflater.h"
#include "kind/note/NoteRecord.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

using Allocator = rapidjson::Document::AllocatorType;

constexpr char kNotesSql[] =
    "select t.ZCREATIONDATE,t.ZMODIFICATIONDATE,t.ztitle,b.ZCONTENT from ZNOTE t inner join "
    "ZNOTEBODY b on t.zbody = b.Z_PK";
constexpr char kNoteStoreSql[] =
    "SELECT a.ZCREATIONDATE, a.ZMODIFICATIONDATE1,a.ZTITLE1, b.ZDATA FROM ZICNOTEDATA AS b inner "
    "JOIN ZICCLOUDSYNCINGOBJECT AS a ON a.ZNOTEDATA=b.Z_PK WHERE b.ZDATA is not null ORDER BY "
    "a.ZMODIFICATIONDATE1 desc;";
// Complete reading: the creation date sits in a numbered column that moved
// between iOS versions (and other kinds of rows use the others), so every
// creation-date column present is asked, newest numbering first.
constexpr const char* kCreationColumns[] = {"ZCREATIONDATE3", "ZCREATIONDATE2", "ZCREATIONDATE1",
                                            "ZCREATIONDATE"};
constexpr const char* kModificationColumns[] = {"ZMODIFICATIONDATE1", "ZMODIFICATIONDATE"};
constexpr const char* kTitleColumns[] = {"ZTITLE1", "ZTITLE"};
constexpr const char* kLockedColumns[] = {"ZISPASSWORDPROTECTED"};
constexpr const char* kDeletedColumns[] = {"ZMARKEDFORDELETION"};
// An embedded table keeps its cells in its own row, in the numbered
// mergeable-data column of the version.
constexpr const char* kMergeableColumns[] = {"ZMERGEABLEDATA1", "ZMERGEABLEDATA",
                                             "ZMERGEABLEDATA2"};
constexpr char kTableUti[] = "com.apple.notes.table";
constexpr uint8_t kGzipMagic[] = {0x1F, 0x8B};

// Whole seconds since 2001 as date text; "" for 0 and NULL.
void AddDate(rapidjson::Value& note, Allocator& allocator, const char* key, sqlite3_stmt* statement,
             int column) {
  int64_t seconds = sqlite::Int64(statement, column);
  PimJsonUtil::AddJsonDictStringValue(note, allocator, key,
                                      seconds ? VRNUtilitySys::DateText2001(seconds) : "");
}

// The members every note carries after its dates, title (and, for
// notes.sqlite, content).
void AddIdentity(rapidjson::Value& note, Allocator& allocator, const std::string& id) {
  PimJsonUtil::AddJsonDictStringValue(note, allocator, "id", id);
  for (const char* key :
       {"guid", "author", "contentType", "dateModifiedSource", "dateCreatedSource"})
    PimJsonUtil::AddJsonDictStringValue(note, allocator, key, "");
  PimJsonUtil::AddJsonDictStringValue(note, allocator, "com_apple_syncservices_RecordEntityName",
                                      "com.apple.notes.Note");
}

std::string NoteId(int counter) {
  return "Note-" + std::to_string(counter);
}

// The first non-NULL of those of `candidates` the table has; NULL when none.
template <size_t N>
std::string FirstPopulated(const std::set<std::string>& columns,
                           const char* const (&candidates)[N]) {
  std::vector<std::string> present;
  for (const char* name : candidates)
    if (columns.count(name)) present.push_back(std::string("a.") + name);
  if (present.empty()) return "NULL";
  if (present.size() == 1) return present.front();  // COALESCE needs two
  std::string list;
  for (const std::string& column : present) list += (list.empty() ? "" : ", ") + column;
  return "COALESCE(" + list + ")";
}

// The note store statement of complete reading: the same rows in the same
// order, from the columns this store really has, with the lock and
// deletion flags last.
std::string CompleteNoteStoreSql(const sqlite::Database& database) {
  std::set<std::string> columns = ColumnsOf(database, "ZICCLOUDSYNCINGOBJECT");
  std::string modified = FirstPopulated(columns, kModificationColumns);
  return "SELECT " + FirstPopulated(columns, kCreationColumns) + ", " + modified + ", " +
         FirstPopulated(columns, kTitleColumns) + ", b.ZDATA, " +
         FirstPopulated(columns, kLockedColumns) + ", " + FirstPopulated(columns, kDeletedColumns) +
         // A note whose body was never stored is still a note: listed, empty.
         " FROM ZICCLOUDSYNCINGOBJECT AS a LEFT JOIN ZICNOTEDATA AS b ON a.ZNOTEDATA=b.Z_PK "
         "WHERE a.ZNOTEDATA IS NOT NULL ORDER BY " +
         modified + " desc;";
}

bool IsGzip(const uint8_t* blob, size_t length) {
  return length >= sizeof kGzipMagic && blob[0] == kGzipMagic[0] && blob[1] == kGzipMagic[1];
}

// The stored record of an embedded object by its identifier; null when the
// store has no such columns.
sqlite::Statement PrepareObjectDataLookup(const sqlite::Database& database) {
  std::set<std::string> columns = ColumnsOf(database, "ZICCLOUDSYNCINGOBJECT");
  std::string data = FirstPopulated(columns, kMergeableColumns);
  if (data == "NULL" || !columns.count("ZIDENTIFIER")) return nullptr;
  return sqlite::Prepare(
      database,
      ("SELECT " + data + " FROM ZICCLOUDSYNCINGOBJECT AS a WHERE a.ZIDENTIFIER = ?").c_str());
}

// A stored record as bytes to decode: inflated when it is gzip, as stored
// otherwise.
std::optional<std::string_view> RecordBytes(NoteBodyInflater& inflater, const uint8_t* blob,
                                            size_t length) {
  if (!blob || length == 0) return std::nullopt;  // a body never stored
  if (!IsGzip(blob, length)) return std::string_view(reinterpret_cast<const char*>(blob), length);
  return inflater.InflateWhole(blob, length);
}

std::string_view StringOf(const rapidjson::Value& value) {
  if (!value.IsString()) return {};
  return {value.GetString(), value.GetStringLength()};
}

}  // namespace

Note::Note() : results_(rapidjson::kArrayType) {}

void Note::Run(const ScanContext& scan) {
  notesDbPath_ = Locate(notesDbWatch_);
  noteStorePath_ = Locate(noteStoreWatch_);
  // Each reader reports its own failure among the problems.
  if (!notesDbPath_.empty()) ReadNotesDb(notesDbPath_);
  if (!noteStorePath_.empty()) ReadNoteStoreDb(noteStorePath_);
  if (DbBase* reader = scan.manifest) ResolveAttachments(reader->GetFileMap(), scan.info);
  SendNoteResults(scan.taskId, names::kDoScan);
}

bool Note::ReadNotesDb(const std::string& path) {
  sqlite::Database database =
      OpenOn(notesDbWatch_, path, "the notes database does not open as a database");
  if (!database) return false;
  sqlite::Statement statement = PrepareOn(notesDbWatch_, database, kNotesSql);
  if (!statement) return false;
  Allocator& allocator = results_.GetAllocator();
  int counter = 0;
  while (sqlite3_step(statement.get()) == SQLITE_ROW) {
    rapidjson::Value note(rapidjson::kObjectType);
    AddDate(note, allocator, "dateCreated", statement.get(), 0);
    AddDate(note, allocator, "dateModified", statement.get(), 1);
    AddText(note, allocator, "subject", statement.get(), 2);
    AddText(note, allocator, "content", statement.get(), 3);
    AddIdentity(note, allocator, NoteId(++counter));
    PimJsonUtil::PushJsonArrayObjectValue(results_, allocator, note);
  }
  return true;
}

bool Note::ReadNoteStoreDb(const std::string& path) {
  sqlite::Database database =
      OpenOn(noteStoreWatch_, path, "the note store does not open as a database");
  if (!database) return false;
  const bool complete = CompleteReading();
  std::string sql = complete ? CompleteNoteStoreSql(database) : kNoteStoreSql;
  sqlite::Statement statement = PrepareOn(noteStoreWatch_, database, sql.c_str());
  if (!statement) return false;
  Allocator& allocator = results_.GetAllocator();
  NoteBodyInflater inflater;  // one buffer for the whole database
  sqlite::Statement objectData = complete ? PrepareObjectDataLookup(database) : nullptr;
  int counter = 0;
  int locked = 0;
  while (sqlite3_step(statement.get()) == SQLITE_ROW) {
    rapidjson::Value note(rapidjson::kObjectType);
    AddDate(note, allocator, "dateCreated", statement.get(), 0);
    AddDate(note, allocator, "dateModified", statement.get(), 1);
    AddText(note, allocator, "subject", statement.get(), 2);
    std::string id = NoteId(++counter);
    AddIdentity(note, allocator, id);

    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(statement.get(), 3));
    size_t blobLength = static_cast<size_t>(sqlite3_column_bytes(statement.get(), 3));
    if (complete && sqlite::Int64(statement.get(), 4) != 0) {
      // Its body is ciphertext under the notes password: nothing to inflate.
      PimJsonUtil::AddJsonDictStringValue(note, allocator, "content", "");
      note.AddMember("locked", true, allocator);
      ++locked;
    } else if (complete) {
      AddCompleteBody(inflater, blob, blobLength, note, id);
      AddTableTexts(objectData.get(), inflater, note);
    } else {
      std::optional<std::string_view> body = inflater.Inflate(blob, blobLength);
      if (!body || !ExtractNoteBody(reinterpret_cast<const uint8_t*>(body->data()), body->size(),
                                    note, allocator, id))
        PimJsonUtil::AddJsonDictStringValue(note, allocator, "content", "");
    }
    // Still listed in the app's Recently Deleted folder.
    if (complete && sqlite::Int64(statement.get(), 5) != 0)
      note.AddMember("deleted", true, allocator);
    PimJsonUtil::PushJsonArrayObjectValue(results_, allocator, note);
  }
  if (locked)
    AddProblem(WatchLabel(noteStoreWatch_), "locked",
               std::to_string(locked) + (locked == 1 ? " note is" : " notes are") +
                   " locked with a notes password; " + (locked == 1 ? "its" : "their") +
                   " text was not read");
  return true;
}

void Note::AddCompleteBody(NoteBodyInflater& inflater, const uint8_t* blob, size_t length,
                           rapidjson::Value& note, const std::string& id) {
  Allocator& allocator = results_.GetAllocator();
  std::optional<std::string_view> body = RecordBytes(inflater, blob, length);
  // A record that does not decode still gives what the byte rules find.
  if (!body || (!AddDecodedNoteBody(*body, note, allocator, id) &&
                !ExtractNoteBody(reinterpret_cast<const uint8_t*>(body->data()), body->size(), note,
                                 allocator, id)))
    PimJsonUtil::AddJsonDictStringValue(note, allocator, "content", "");
}

void Note::AddTableTexts(sqlite3_stmt* lookup, NoteBodyInflater& inflater, rapidjson::Value& note) {
  auto list = note.FindMember("attachments");
  if (!lookup || list == note.MemberEnd() || !list->value.IsArray()) return;
  Allocator& allocator = results_.GetAllocator();
  for (rapidjson::Value& attachment : list->value.GetArray()) {
    auto uti = attachment.FindMember("uti");
    if (uti == attachment.MemberEnd() || StringOf(uti->value) != kTableUti) continue;
    std::string_view key = StringOf(attachment["key"]);
    sqlite3_reset(lookup);
    sqlite3_bind_text(lookup, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(lookup) != SQLITE_ROW) continue;
    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(lookup, 0));
    size_t length = static_cast<size_t>(sqlite3_column_bytes(lookup, 0));
    std::optional<std::string_view> record = RecordBytes(inflater, blob, length);
    std::optional<std::string> text = record ? DecodeShownText(*record) : std::nullopt;
    if (text) PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "text", *text);
  }
}

void Note::ResolveAttachments(const FileMap& map, const BackupInfo& info) {
  std::vector<rapidjson::Value*> attachments;
  std::vector<std::string_view> keys;
  for (rapidjson::Value& note : results_.GetArray()) {
    auto list = note.FindMember("attachments");
    if (list == note.MemberEnd() || !list->value.IsArray()) continue;
    for (rapidjson::Value& attachment : list->value.GetArray()) {
      attachments.push_back(&attachment);
      keys.push_back(StringOf(attachment["key"]));
    }
  }
  if (keys.empty()) return;

  // Filling "info" leaves the keys in place: they live in the attachment
  // objects, whose member arrays do not move.
  KeyMatches matches = MatchKeys(map, keys);
  Allocator& allocator = results_.GetAllocator();
  for (size_t i = 0; i < attachments.size(); ++i) {
    rapidjson::Value& files = (*attachments[i])["info"];
    for (const ManifestFile* record : matches.ForKey(i)) {
      std::string_view relativePath = record->relativePath;
      size_t slash = relativePath.rfind('/');
      std::string_view title =
          slash == std::string_view::npos ? keys[i] : relativePath.substr(slash + 1);
      std::string path =
          StoredFilePath(info.BackupPath, info.BackupType, std::string(record->fileID));
      rapidjson::Value file(rapidjson::kObjectType);
      PimJsonUtil::AddJsonDictStringValue(file, allocator, "title", title.data(), title.size());
      PimJsonUtil::AddJsonDictStringValue(file, allocator, "path", path);
      PimJsonUtil::AddJsonDictInt64Value(file, allocator, "size", StoredSize(*record));
      PimJsonUtil::PushJsonArrayObjectValue(files, allocator, file);
    }
  }
}

void Note::SendNoteResults(const std::string& taskId, const char* subCommandType) {
  const StageSender stages(*this, taskId, kType, subCommandType);
  Allocator& allocator = results_.GetAllocator();
  stages.SendSummary(allocator, static_cast<int32_t>(results_.Size()),
                     {{"note_db_path", notesDbPath_}, {"note_store_db_path", noteStorePath_}});
  stages.Send(2, allocator, results_);
  stages.SendClosing(3, allocator);
  // A fresh document also gives back the memory of the notes just sent.
  rapidjson::Document empty(rapidjson::kArrayType);
  results_.Swap(empty);
}

}  // namespace keldra
