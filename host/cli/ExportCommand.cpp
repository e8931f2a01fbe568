// keldra export: copies stored files out of a backup under
// <DIR>/<domain>/<relative path>, deciphering those of an encrypted backup
// through the module's export command.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <vector>

#include "Events.h"
#include "Host.h"
#include "cli/CommandTempFolder.h"
#include "cli/Commands.h"
#include "cli/Common.h"
#include "cli/ManifestListing.h"
#include "cli/SafePath.h"
#include "keldra/Names.h"
#include "platform/Platform.h"
#include "vorn/PimJsonUtil.h"

namespace cli {
namespace {

constexpr size_t kBatch = 200;  // files per export command of an encrypted backup

struct Tally {
  size_t exported = 0, existing = 0, refused = 0, failed = 0, folders = 0, links = 0;
};

class ProgressBar {
 public:
  explicit ProgressBar(size_t total) : total_(total), shown_(StderrIsTerminal()) {}
  void Update(size_t done) {
    if (!shown_ || total_ == 0) return;
    size_t width = 30, filled = done * width / total_;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu files", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), done, total_);
    std::fflush(stderr);
  }
  ~ProgressBar() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }

 private:
  size_t total_;
  bool shown_;
};

bool Selected(const ExportArguments& arguments, const ListedFile& file) {
  if (arguments.all) return true;
  for (const std::string& domain : arguments.domains)
    if (file.domain == domain) return true;
  for (const std::string& path : arguments.paths)
    if (path == file.relativePath || path == file.domain + "/" + file.relativePath) return true;
  return false;
}

bool CopyStored(const std::string& from, int to) {
  int source = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  char buffer[1 << 16];
  ssize_t got;
  bool ok = true;
  while ((got = read(source, buffer, sizeof buffer)) > 0) {
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  close(source);
  return ok && got == 0;
}

std::string StoredPath(const std::string& folder, bool legacy, const std::string& fileID) {
  return legacy ? folder + fileID : folder + fileID.substr(0, 2) + "/" + fileID;
}

// Sends one batch of {id: [stored, destination]} through the module's export
// command; returns the ids the decrypt module answered.
std::set<std::string> ExportBatch(const host::SendOptions& options, const std::string& folder,
                                  const std::vector<std::pair<std::string, std::string>>& batch,
                                  bool legacy) {
  rapidjson::Document payload(rapidjson::kObjectType);
  auto& a = payload.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(payload, a, "backupDir", folder);
  rapidjson::Value files(rapidjson::kObjectType);
  for (const auto& [fileID, destination] : batch) {
    rapidjson::Value pair(rapidjson::kArrayType);
    PimJsonUtil::PushJsonArrayStringValue(pair, a, StoredPath(folder, legacy, fileID).c_str());
    PimJsonUtil::PushJsonArrayStringValue(pair, a, destination.c_str());
    files.AddMember(PimJsonUtil::MakeString(fileID, a), pair, a);
  }
  payload.AddMember("files", files, a);
  host::Recorder recorder;
  std::string error;
  std::set<std::string> answered;
  if (host::RunSend(options, keldra::names::kExportEncryptFile, PimJsonUtil::ToString(payload),
                    recorder, &error) != 0)
    return answered;
  for (const rapidjson::Value* result : recorder.Payloads("result")) {
    auto inner = result->FindMember("result");
    if (inner != result->MemberEnd()) answered.insert(StringOf(inner->value, "id"));
  }
  return answered;
}

}  // namespace

int RunExport(const host::SendOptions& baseOptions, const ExportArguments& arguments) {
  host::SendOptions options = baseOptions;
  if (!arguments.all && arguments.domains.empty() && arguments.paths.empty()) {
    std::cerr << "keldra export: name what to export: --all, --domain D or PATH...\n";
    return kExitUsage;
  }
  std::string folder = BackupFolder(arguments.backup);
  std::optional<rapidjson::Document> description = DescribeBackup(options, folder);
  if (!description) return Fail("not a backup folder: " + arguments.backup);
  bool legacy = IntOf(*description, "BackupType") == 1;
  bool encrypted = IntOf(*description, "IsEncrypted") != 0;
  if (encrypted) {
    int unlocked = UnlockIfEncrypted(options, folder, *description, arguments.passwordFile);
    if (unlocked != kExitOk) return unlocked;
  }
  std::string tempError;
  std::unique_ptr<CommandTempFolder> temp = CommandTempFolder::Open(options, &tempError);
  if (!temp) return Fail(tempError);

  std::string manifest = folder + (legacy ? "Manifest.mbdb" : "Manifest.db");
  if (encrypted && !legacy) {
    std::string name = folder.substr(0, folder.size() - 1);
    name = name.substr(name.rfind('/') + 1);
    std::string scratch =
        host::ProjectTempDir(host::PlatformOptions{options.tempDir}) + name + "-backup/";
    mkdir(scratch.c_str(), 0700);  // holds deciphered copies: owner only
    std::optional<std::string> decrypted = host::Host::Get().DecryptManifest(folder, scratch);
    if (!decrypted) return Fail("manifest could not be read: " + manifest);
    manifest = *decrypted;
  }
  std::vector<ListedFile> chosen;
  std::string error;
  auto collect = [&](const ListedFile& file) {
    if (Selected(arguments, file)) chosen.push_back(file);
    return true;
  };
  bool read = legacy ? ForEachMbdbEntry(manifest, collect, &error)
                     : ForEachManifestDbRow(manifest, collect, &error);
  if (!read) return Fail("manifest could not be read: " + error);

  std::string root = WithSeparator(arguments.to);
  if (!MakeFolders(root)) return Fail("cannot create " + root);
  Tally tally;
  ProgressBar progress(chosen.size());
  std::vector<std::pair<std::string, std::string>> batch;
  auto flush = [&] {
    if (batch.empty()) return;
    std::set<std::string> answered = ExportBatch(options, folder, batch, legacy);
    for (const auto& entry : batch) {
      if (answered.count(entry.first)) {
        ++tally.exported;
      } else {
        ++tally.failed;
        std::cerr << "keldra: could not decipher " << entry.second << "\n";
      }
    }
    batch.clear();
  };
  size_t done = 0;
  for (const ListedFile& file : chosen) {
    progress.Update(++done);
    std::string relative = file.domain + "/" + file.relativePath;
    if (!IsContainedPath(file.domain) || file.domain.find('/') != std::string::npos ||
        (!file.relativePath.empty() && !IsContainedPath(file.relativePath))) {
      ++tally.refused;
      std::cerr << "keldra: refused to export outside " << root << ": " << relative << "\n";
      continue;
    }
    if (file.type == EntryType::kDirectory) {
      if (!PrepareFolders(root, relative + "/x").empty()) ++tally.folders;
      continue;
    }
    if (file.type != EntryType::kFile) {
      ++tally.links;
      continue;
    }
    std::string destination = PrepareFolders(root, relative);
    int fd = -1;
    CreateResult created = destination.empty() ? CreateResult::kFailed
                                               : CreateFile(destination, arguments.force, &fd);
    if (created == CreateResult::kExists) {
      ++tally.existing;
      continue;
    }
    if (created == CreateResult::kFailed) {
      ++tally.failed;
      std::cerr << "keldra: cannot create " << (destination.empty() ? root + relative : destination) << "\n";
      continue;
    }
    if (encrypted) {
      // The decrypt module makes the file itself, and never over another.
      close(fd);
      unlink(destination.c_str());
      batch.emplace_back(file.fileID, destination);
      if (batch.size() == kBatch) flush();
      continue;
    }
    bool copied = CopyStored(StoredPath(folder, legacy, file.fileID), fd);
    close(fd);
    if (copied) {
      ++tally.exported;
    } else {
      unlink(destination.c_str());
      ++tally.failed;
      std::cerr << "keldra: stored file missing or unreadable for " << relative << "\n";
    }
  }
  flush();
  std::cout << "exported " << tally.exported << " files to " << root;
  if (tally.existing) std::cout << ", " << tally.existing << " already there (use --force)";
  if (tally.refused) std::cout << ", " << tally.refused << " refused";
  if (tally.links) std::cout << ", " << tally.links << " links skipped";
  if (tally.failed) std::cout << ", " << tally.failed << " failed";
  std::cout << "\n";
  if (chosen.empty()) return Fail("nothing in the backup matches what was asked");
  return tally.failed ? Fail(std::to_string(tally.failed) + " files could not be exported") : kExitOk;
}

}  // namespace cli
