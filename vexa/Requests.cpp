#include "Requests.h"

#include <glog/logging.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "FileDecryptor.h"
#include "SafePaths.h"
#include "SecureBytes.h"
#include "UnlockRegistry.h"
#include "UnlockedBackup.h"
#include "common/OutputFile.h"
#include "common/StoredFile.h"

namespace vexa {
namespace {

// A string member without embedded NULs (a path cut short at a NUL would name
// another file than the one checked); nullopt otherwise.
std::optional<std::string_view> StringMember(const rapidjson::Value& object, const char* name) {
  auto member = object.FindMember(name);
  if (member == object.MemberEnd() || !member->value.IsString()) return std::nullopt;
  std::string_view text(member->value.GetString(), member->value.GetStringLength());
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  return text;
}

void AnswerPath(PluginMessage& message, const std::string& path) {
  char* copy = static_cast<char*>(std::malloc(path.size() + 1));
  if (!copy) return;
  std::memcpy(copy, path.c_str(), path.size() + 1);
  message.payloadForm = kPayloadText;
  message.replyData = copy;
  message.replyPresent = 1;
}

void AnswerBytes(PluginMessage& message, std::string bytes) {
  auto owned = std::make_unique<std::string>(std::move(bytes));
  message.payloadForm = kPayloadData;
  message.replyData = owned.release();  // the module deletes it
  message.replyPresent = 1;
}

// The unlocked backup a request names, or null (then it goes unanswered).
std::shared_ptr<UnlockedBackup> UnlockedFor(const rapidjson::Value& request) {
  std::optional<std::string_view> backupDir = StringMember(request, "backupDir");
  if (!backupDir) return nullptr;
  return UnlockRegistry::Get().Find(NormaliseFolder(*backupDir));
}

// The temporary folder of a request with its trailing "/", when it is safe
// to write into.
std::optional<std::string> UsableTempDir(const rapidjson::Value& request,
                                         const UnlockedBackup& backup) {
  std::optional<std::string_view> tempDir = StringMember(request, "tempDir");
  if (!tempDir) return std::nullopt;
  std::string folder(*tempDir);
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::string why;
  if (!IsUsableTempDir(folder, backup.Folder(), &why)) {
    LOG(WARNING) << "refusing the temporary folder " << folder << ": " << why;
    return std::nullopt;
  }
  return folder;
}

// Where the plaintext of one stored file comes from: the file, its key (or
// none) and the size the manifest records.
struct FileSource {
  std::string fileId;
  keldra::RegularFile stored;
  std::optional<SecureBytes> key;  // none: the bytes are stored as they are
  std::optional<uint64_t> recordedSize;
};

std::optional<FileSource> OpenFileSource(UnlockedBackup& backup, const std::string& path) {
  std::optional<std::string> fileId = StoredFileId(backup.Folder(), path, backup.HasManifestDb());
  if (!fileId) {
    LOG(WARNING) << "refusing to decrypt " << path << ": not a stored file of " << backup.Folder();
    return std::nullopt;
  }
  std::optional<StoredFileKey> row = backup.FindFile(*fileId);
  if (!row) {
    LOG(WARNING) << "file " << *fileId << " is not in the manifest";
    return std::nullopt;
  }
  if (row->kind != StoredFileKey::Kind::kFile) {
    LOG(WARNING) << "file " << *fileId << " is a directory, link or special entry: no content";
    return std::nullopt;
  }
  if (!row->metadataReadable) return std::nullopt;
  FileSource source;
  source.fileId = *fileId;
  source.recordedSize = row->recordedSize;
  std::optional<keldra::RegularFile> stored = keldra::OpenStoredFile(
      backup.Folder(), std::string_view(path).substr(backup.Folder().size()));
  if (!stored) {
    LOG(WARNING) << "file " << *fileId << " is missing from the backup";
    return std::nullopt;
  }
  source.stored = std::move(*stored);
  if (row->wrappedKey.empty()) {
    if (source.stored.size > 0)
      LOG(WARNING) << "file " << *fileId << " carries no key: delivered as stored";
    return source;
  }
  source.key = backup.UnwrapFileKey(row->wrappedKey, row->protectionClass, *fileId);
  if (!source.key) return std::nullopt;
  return source;
}

// Streams the plaintext of `source` into `sink`; false when it does not
// decrypt.
bool WritePlaintext(FileSource& source, ByteSink& sink) {
  FdSource input(source.stored.fd.get());
  DecryptResult result = source.key ? DecryptCbc(input, source.stored.size, *source.key, sink)
                                    : CopyStream(input, source.stored.size, sink);
  if (!result.ok()) {
    LOG(WARNING) << "file " << source.fileId << ": " << DescribeStatus(result.status);
    return false;
  }
  if (source.recordedSize && *source.recordedSize != result.length)
    LOG(WARNING) << "file " << source.fileId << ": the manifest records " << *source.recordedSize
                 << " bytes, the decrypted content has " << result.length;
  return true;
}

bool WriteToFile(FileSource& source, keldra::OutputFile& output) {
  FdSink sink(output.fd());
  return WritePlaintext(source, sink) && output.Commit();
}

}  // namespace

void AnswerUnlock(PluginMessage& message, const rapidjson::Value& request) {
  std::optional<std::string_view> backupDir = StringMember(request, "backupDir");
  auto passwordMember = request.FindMember("password");
  if (!backupDir || passwordMember == request.MemberEnd() || !passwordMember->value.IsString()) {
    message.replyCode = kUnlockUnreadable;
    return;
  }
  SecureBytes password(passwordMember->value.GetString(), passwordMember->value.GetStringLength());
  std::string folder = NormaliseFolder(*backupDir);
  int64_t code = kUnlockUnreadable;
  std::shared_ptr<UnlockedBackup> backup =
      UnlockedBackup::Unlock(folder, password, code, UnlockRegistry::Get().Find(folder));
  if (!backup) {
    message.replyCode = code;
    return;
  }
  UnlockRegistry::Get().Keep(std::move(backup));
  message.replyPresent = 1;
}

void AnswerDecryptManifest(PluginMessage& message, const rapidjson::Value& request) {
  std::shared_ptr<UnlockedBackup> backup = UnlockedFor(request);
  if (!backup) return;
  std::optional<std::string> tempDir = UsableTempDir(request, *backup);
  if (!tempDir) return;
  backup->UseScratchFolder(*tempDir);
  std::optional<keldra::OutputFile> output =
      keldra::OutputFile::Staged(*tempDir, "Manifest.db", keldra::OutputFile::Existing::kReplace);
  if (!output) return;
  FdSink sink(output->fd());
  if (!backup->WriteManifestDb(sink) || !output->Commit()) return;
  AnswerPath(message, output->FinalPath());
}

void AnswerDecryptFile(PluginMessage& message, const rapidjson::Value& request) {
  std::shared_ptr<UnlockedBackup> backup = UnlockedFor(request);
  if (!backup) return;
  std::optional<std::string_view> path = StringMember(request, "encryptFilePath");
  if (!path) return;
  std::optional<std::string_view> destination = StringMember(request, "decryptFilePath");
  std::optional<std::string> tempDir;
  if (!destination) {
    tempDir = UsableTempDir(request, *backup);
    if (!tempDir) return;
    backup->UseScratchFolder(*tempDir);
  }
  std::optional<FileSource> source = OpenFileSource(*backup, std::string(*path));
  if (!source) return;

  if (tempDir) {
    std::optional<keldra::OutputFile> output = keldra::OutputFile::Staged(
        *tempDir, source->fileId, keldra::OutputFile::Existing::kReplace);
    if (output && WriteToFile(*source, *output)) AnswerPath(message, output->FinalPath());
    return;
  }
  if (!destination->empty()) {
    if (LiesInside(std::string(*destination), backup->Folder())) {
      LOG(WARNING) << "refusing to export into the backup folder";
      return;
    }
    // Written under a hidden name beside the destination, so an interrupted
    // export leaves no truncated file under the real one.
    std::optional<keldra::OutputFile> output = keldra::OutputFile::StagedAt(
        std::string(*destination), keldra::OutputFile::Existing::kKeep);
    if (!output) {
      LOG(WARNING) << "cannot write beside " << *destination << ": its folder is missing";
      return;
    }
    if (WriteToFile(*source, *output)) AnswerPath(message, output->FinalPath());
    return;
  }
  uint64_t limit = kMaxBytesAnswer;
  if (source->stored.size > limit + (source->key ? kBlockSize : 0)) {
    LOG(WARNING) << "file " << source->fileId << " is too large to answer in memory";
    return;
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(source->stored.size));
  StringSink sink(bytes, limit);
  if (WritePlaintext(*source, sink)) AnswerBytes(message, std::move(bytes));
}

}  // namespace vexa
