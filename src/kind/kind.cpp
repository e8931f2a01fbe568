#include "kind/kind.h"

#include <glog/logging.h>

#include <cctype>
#include <cerrno>

#include "backup/DbBase.h"
#include "common/Channel.h"
#include "common/PeerRequest.h"
#include "common/Sqlite.h"
#include "common/StoredFile.h"
#include "keldra/Names.h"
#include "kind/MergedCopy.h"
#include "kind/StoredFileAccess.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {

void Kind::ReportSqliteError(sqlite3* database) {
  // No handle means the database did not open; SQLite would call that "out of memory".
  int code = database ? sqlite3_errcode(database) : SQLITE_CANTOPEN;
  LOG(ERROR) << "code: " << code << " msg: " << sqlite3_errstr(code);
}

void Kind::SendResult(Allocator& allocator, rapidjson::Value& result, const char* taskId, int stage,
                      int stageTotal, int status, int type, int subType,
                      const char* subCommandType) {
  rapidjson::Value message(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(message, allocator, "stage", stage);
  PimJsonUtil::AddJsonDictIntValue(message, allocator, "stage_total", stageTotal);
  PimJsonUtil::AddJsonDictIntValue(message, allocator, "status", status);
  PimJsonUtil::AddJsonDictStringValue(message, allocator, "sub_command_type", subCommandType);
  PimJsonUtil::AddJsonDictIntValue(message, allocator, "type", type);
  PimJsonUtil::AddJsonDictIntValue(message, allocator, "sub_type", subType);
  PimJsonUtil::AddJsonDictObjectValue(message, allocator, "result", result);
  rapidjson::StringBuffer text;
  PimJsonUtil::Write(message, text);
  // Hand the result back before anything can throw.
  result.Swap(message["result"]);
  SendResultText(taskId, text.GetString(), text.GetSize(), false);
  if (logResults) LOG(INFO) << text.GetString();
}

void Kind::AddProblem(std::string path, std::string what, std::string detail) {
  problems_.push_back({std::move(path), std::move(what), std::move(detail)});
}

void Kind::AttachProblems(rapidjson::Value& closing, Allocator& allocator) const {
  if (!completeReading_ || !closing.IsObject()) return;
  rapidjson::Value problems(rapidjson::kArrayType);
  for (const Problem& problem : problems_) {
    rapidjson::Value entry(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictStringValue(entry, allocator, "path", problem.path);
    PimJsonUtil::AddJsonDictStringValue(entry, allocator, "what", problem.what);
    PimJsonUtil::AddJsonDictStringValue(entry, allocator, "detail", problem.detail);
    problems.PushBack(entry, allocator);
  }
  PimJsonUtil::AddJsonDictObjectValue(closing, allocator, "problems", problems);
}

size_t Kind::WatchDatabase(std::string relativePath, std::string domain, ExactMatch exact) {
  watches_.emplace_back(std::move(relativePath), std::move(domain), true, exact);
  return watches_.size() - 1;
}

size_t Kind::WatchFile(std::string relativePath, std::string domain, ExactMatch exact) {
  watches_.emplace_back(std::move(relativePath), std::move(domain), false, exact);
  return watches_.size() - 1;
}

void Kind::Update(void* argument, const char* commandType) {
  (void)commandType;
  if (!argument || TakeRecordInCompleteReading(argument)) return;
  // The path is taken now: a record that cannot be read leaves the watch
  // open to a later one.
  const auto& record = *static_cast<const ManifestFile*>(argument);
  for (DatabaseWatch& watch : watches_) {
    if (!watch.WantsExactly(record)) continue;
    watch.KeepExactPath(ReadablePath(record));
    return;
  }
}

bool Kind::TakeRecordInCompleteReading(const void* argument) {
  if (!completeReading_) return false;
  const auto& record = *static_cast<const ManifestFile*>(argument);
  for (DatabaseWatch& watch : watches_)
    if (watch.Offer(record)) break;
  return true;
}

std::string Kind::Locate(size_t index) {
  if (index >= watches_.size()) return {};
  const DatabaseWatch& watch = watches_[index];
  if (!completeReading_) return watch.ExactPath();
  const ManifestFile* file = watch.File();
  if (!file) return {};
  const std::string label = RecordLabel(*file);
  if (const char* fault = StoredFileFault(*file)) {
    AddProblem(label, fault, "stored as " + std::string(file->filePath));
    return {};
  }
  std::string path = ReadablePath(*file);
  if (const ManifestFile* log = watch.Log()) {
    if (const char* fault = StoredFileFault(*log))
      AddProblem(RecordLabel(*log), fault,
                 "stored as " + std::string(log->filePath) + "; its newest rows were not read");
    else
      path = MergeWithLog(*file, path, *log);
  }
  if (watch.IsDatabase() && !OpensAsDatabase(path, label)) return {};
  return path;
}

// The copy goes to a folder of its own, named for the database's file id, so
// that two databases with the same name do not meet.
std::string Kind::MergeWithLog(const ManifestFile& file, const std::string& readable,
                               const ManifestFile& log) {
  std::optional<std::string> temporary = RequestProjectTempDir();
  std::string error = "no temporary folder";
  if (temporary) {
    std::string_view relative = file.relativePath;
    size_t slash = relative.rfind('/');
    std::string name(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    // The file id comes from the manifest: only its letters and digits name
    // the folder, so that no id leads outside the temporary folder.
    std::string folder = *temporary + "merged-";
    for (char c : file.fileID.substr(0, 64))
      if (std::isalnum(static_cast<unsigned char>(c))) folder += c;
    folder += '/';
    std::optional<std::string> merged =
        MergeLogIntoCopy(readable, ReadablePath(log), folder, name, error);
    if (merged) return *merged;
  }
  AddProblem(RecordLabel(log), "unreadable", "write-ahead log not applied: " + error);
  return readable;
}

bool Kind::OpensAsDatabase(const std::string& path, const std::string& label) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  sqlite::Statement statement = sqlite::Prepare(database, "select count(*) from sqlite_master");
  if (statement && sqlite3_step(statement.get()) == SQLITE_ROW) return true;
  AddProblem(label, "unreadable", database ? sqlite3_errmsg(database.get()) : "does not open");
  return false;
}

sqlite::Database Kind::OpenOn(size_t index, const std::string& path, const char* detail) {
  if (path.empty()) return {};  // no such file: Locate has said why, if anything
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) AddProblem(WatchLabel(index), "unreadable", detail);
  return database;
}

sqlite::Statement Kind::PrepareOn(size_t index, const sqlite::Database& database, const char* sql) {
  sqlite::Statement statement = sqlite::Prepare(database, sql);
  if (!statement) AddQueryProblem(index, database.get());
  return statement;
}

void Kind::AddQueryProblem(size_t index, sqlite3* database) {
  AddQueryFailure(index, database ? sqlite3_errmsg(database) : "the database did not open");
}

void Kind::AddQueryFailure(size_t index, std::string detail) {
  AddProblem(WatchLabel(index), "query failed", std::move(detail));
}

const ManifestFile* Kind::WatchedFile(size_t index) const {
  return index < watches_.size() ? watches_[index].File() : nullptr;
}

std::string Kind::WatchLabel(size_t index) const {
  const ManifestFile* file = WatchedFile(index);
  return file ? RecordLabel(*file) : std::string();
}

std::string DecryptOnDemand(const ManifestFile& record) {
  std::string encryptFilePath = record.StoredPath();
  rapidjson::Document request(rapidjson::kObjectType);
  auto& a = request.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(request, a, "backupDir", record.backupDir.data(),
                                      record.backupDir.size());
  PimJsonUtil::AddJsonDictStringValue(request, a, "tempDir", record.tempDir.data(),
                                      record.tempDir.size());
  PimJsonUtil::AddJsonDictStringValue(request, a, "encryptFilePath", encryptFilePath);
  std::optional<std::string> path = DecryptRequestForPath(names::kVexaDecryptFile, request);
  return path ? *path : encryptFilePath;
}

std::string ReadablePath(const ManifestFile& record) {
  // A link, FIFO or folder in a stored file's place, or a file id leading
  // out of the backup, is a file the backup does not have. A file simply
  // missing keeps its path: opening it fails soon enough.
  if (!OpenStoredFile(std::string(record.backupDir), record.filePath) &&
      (record.filePath.empty() || errno != ENOENT)) {
    LOG(WARNING) << "stored file " << record.fileID << " (" << record.relativePath
                 << ") is missing or not a regular file";
    return {};
  }
  return record.encrypted ? DecryptOnDemand(record) : record.StoredPath();
}

int64_t StoredSize(const ManifestFile& record) {
  if (record.filePath.empty()) return 0;
  return static_cast<int64_t>(StoredFileSize(std::string(record.backupDir), record.filePath));
}

std::string StoredFilePath(const std::string& folder, int backupType, const std::string& fileID) {
  std::string relative = StoredRelativePath(fileID, backupType == kBackupTypeDb);
  return relative.empty() ? relative : folder + relative;
}

}  // namespace keldra
