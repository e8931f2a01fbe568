#include "backup/DbBase.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>

#include "common/PeerRequest.h"
#include "common/StoredFile.h"
#include "mivo/Utils.h"

namespace keldra {

Status DbBase::Load(const std::string& backupDir, bool isEncrypted, const std::string&) {
  backupDir_ = backupDir;
  Status status = ReadManifest(isEncrypted);
  lastError_ = status.ErrorCode();
  return status;
}

const FileMap& DbBase::GetFileMap() {
  if (!mapBuilt_ || mappedRecords_ != records_.size()) {
    fileMap_.Build(records_);
    mappedRecords_ = records_.size();
    mapBuilt_ = true;
  }
  return fileMap_;
}

void DbBase::Update(void* argument, const char* commandType) {
  if (!argument || !commandType || std::strcmp(commandType, CommandType()) != 0) return;
  *static_cast<DbBase**>(argument) = this;
}

bool DbBase::PrepareTempDir() {
  std::optional<std::string> platformDir = RequestProjectTempDir();
  if (!platformDir) return false;
  // The backup folder's own name: its last component once the one trailing
  // separator is off.
  std::string folder = backupDir_;
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  std::string ownName = Utils::GetFileName(folder);
  tempDir_ = *platformDir + ownName + "-backup" + Utils::GetPathSeperatorLine();
  mkdir(tempDir_.c_str(), 0700);  // an existing folder, or any failure, is ignored
  return true;
}

std::string_view DbBase::InternDomain(std::string_view domain) {
  if (domain.empty()) return {};
  // Rows of one domain usually come together.
  if (domain == lastDomain_) return lastDomain_;
  auto found = domains_.find(domain);
  if (found == domains_.end()) found = domains_.insert(arena_.Copy(domain)).first;
  lastDomain_ = *found;
  return lastDomain_;
}

const ManifestFile& DbBase::AddRecord(std::string_view fileID, std::string_view domain,
                                      std::string_view relativePath, int32_t flags,
                                      bool encrypted) {
  ManifestFile& record = records_.emplace_back();
  // Manifest.db: "ab" + separator + "ab12…"; the file id is a view of the tail.
  // An id that could name a place outside the backup keeps its row but no
  // stored file.
  if (!NamesStoredFile(fileID)) {
    record.fileID = arena_.Copy(fileID);
  } else if (StoredInSubfolder()) {
    std::string_view head = fileID.substr(0, 2);
    const char* separator = Utils::GetPathSeperatorLine();
    size_t separatorLength = std::strlen(separator);
    size_t length = head.size() + separatorLength + fileID.size();
    char* place = arena_.Allocate(length);
    std::memcpy(place, head.data(), head.size());
    std::memcpy(place + head.size(), separator, separatorLength);
    std::memcpy(place + head.size() + separatorLength, fileID.data(), fileID.size());
    record.filePath = std::string_view(place, length);
    record.fileID = record.filePath.substr(head.size() + separatorLength);
  } else {
    record.fileID = arena_.Copy(fileID);
    record.filePath = record.fileID;
  }
  record.domain = InternDomain(domain);
  record.relativePath = arena_.Copy(relativePath);
  record.flags = flags;
  record.tempDir = tempDir_;
  record.backupDir = backupDir_;
  record.encrypted = encrypted ? 1 : 0;
  Notify(&record, CommandType());
  return record;
}

}  // namespace keldra
