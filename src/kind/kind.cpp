#include "kind/kind.h"

#include <glog/logging.h>

#include <cerrno>

#include "backup/DbBase.h"
#include "common/Channel.h"
#include "common/PeerRequest.h"
#include "common/StoredFile.h"
#include "keldra/Names.h"
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

std::string StoredFilePath(const std::string& folder, int backupType, const std::string& fileID) {
  std::string relative = StoredRelativePath(fileID, backupType == kBackupTypeDb);
  return relative.empty() ? relative : folder + relative;
}

DbBase* FindManifestReader(VRNSubject& subject, int backupType) {
  const char* commandType = backupType == kBackupTypeMbdb ? kManifestMbdbCommandType
                            : backupType == kBackupTypeDb ? kManifestDbCommandType
                                                          : nullptr;
  if (!commandType) return nullptr;
  DbBase* reader = nullptr;
  subject.Notify(&reader, commandType);
  return reader;
}

}  // namespace keldra
