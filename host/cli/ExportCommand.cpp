// keldra export: copies stored files out of a backup under
// <DIR>/<domain>/<relative path>, deciphering those of an encrypted backup
// through the module's export command.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
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
#include "cli/EncryptedExport.h"
#include "cli/ManifestListing.h"
#include "cli/SafePath.h"
#include "common/OutputFile.h"
#include "common/StoredFile.h"
#include "keldra/Names.h"
#include "platform/Platform.h"
#include "vorn/PimJsonUtil.h"

namespace cli {
namespace {

constexpr size_t kBatch = 200;  // files per export command of an encrypted backup

struct Tally {
  size_t exported = 0, existing = 0, refused = 0, missing = 0, failed = 0, folders = 0, links = 0;
};

// Problems with single files, each path told once however often the
// manifest lists it.
class Reporter {
 public:
  void Tell(const std::string& what, const std::string& path) {
    if (told_.insert(path).second) std::cerr << "keldra: " << what << ": " << path << "\n";
  }

 private:
  std::set<std::string> told_;
};

bool NoSpaceLeft(int error) {
  return error == ENOSPC || error == EDQUOT;
}

// The decrypt module answers only which files it wrote. When one of `size`
// bytes failed and the output's file system has no room for it, the disk is
// at fault, not the file (the module removes what it had written).
bool NoRoomFor(const std::string& folder, uint64_t size) {
  struct statvfs info;
  if (statvfs(folder.c_str(), &info) != 0) return false;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize < size + info.f_frsize;
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

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

// 0 when all of `from` went into `to`; otherwise the errno of the failure.
int CopyStored(const keldra::RegularFile& from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t got = read(from.fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return put < 0 ? errno : EIO;
      done += put;
    }
  }
}

// Copies a stored file to `destination` under a hidden name first, so that
// an interrupted export leaves no truncated file there. 0 or an errno
// (EEXIST: the destination appeared and `replace` is off).
int WriteCopy(const keldra::RegularFile& stored, const std::string& destination, bool replace,
              mode_t mode) {
  std::optional<keldra::OutputFile> output =
      keldra::OutputFile::StagedAt(destination, replace ? keldra::OutputFile::Existing::kReplace
                                                        : keldra::OutputFile::Existing::kKeep);
  if (!output) return errno;
  if (fchmod(output->fd(), mode) != 0) return errno;
  if (int error = CopyStored(stored, output->fd())) return error;
  return output->Commit() ? 0 : errno;
}

}  // namespace

int RunExport(const host::SendOptions& baseOptions, const ExportArguments& arguments) {
  host::SendOptions options = baseOptions;
  if (!arguments.all && arguments.domains.empty() && arguments.paths.empty()) {
    std::cerr << "keldra export: name what to export: --all, --domain D or PATH...\n";
    return kExitUsage;
  }
  std::string folder = BackupFolder(arguments.backup);
  if (int refused =
          RefuseOutputsInBackup(folder, {{"--to", arguments.to}, {"--temp-dir", options.tempDir}}))
    return refused;
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
  const mode_t fileMode = 0644 & ~CurrentUmask();
  Tally tally;
  Reporter reporter;
  bool diskFull = false;
  ProgressBar progress(chosen.size());
  std::vector<std::pair<std::string, std::string>> batch;
  std::vector<uint64_t> batchSizes;  // stored size of each, for telling a full disk
  auto flush = [&] {
    if (batch.empty()) return;
    std::set<std::string> answered = ExportBatch(options, folder, batch, legacy);
    for (size_t i = 0; i < batch.size(); ++i) {
      const auto& entry = batch[i];
      if (answered.count(entry.first)) {
        ++tally.exported;
      } else if (diskFull || NoRoomFor(root, batchSizes[i])) {
        diskFull = true;
        ++tally.failed;
      } else {
        ++tally.failed;
        reporter.Tell("could not decipher", entry.second);
      }
    }
    batch.clear();
    batchSizes.clear();
  };
  size_t done = 0;
  for (const ListedFile& file : chosen) {
    if (diskFull) break;
    progress.Update(++done);
    std::string relative = file.domain + "/" + file.relativePath;
    if (!IsContainedPath(file.domain) || file.domain.find('/') != std::string::npos ||
        (!file.relativePath.empty() && !IsContainedPath(file.relativePath))) {
      ++tally.refused;
      reporter.Tell("refused to export outside " + root, relative);
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
    // Only a regular file inside the backup is ever copied: a file id leading
    // out of it, a link, FIFO or device in a stored file's place is missing.
    std::optional<keldra::RegularFile> stored =
        keldra::OpenStoredFile(folder, keldra::StoredRelativePath(file.fileID, !legacy));
    if (!stored) {
      // What the backup does not hold is reported, not a failure of the export.
      ++tally.missing;
      reporter.Tell("stored file missing or not a regular file", relative);
      continue;
    }
    std::string destination = PrepareFolders(root, relative);
    if (destination.empty()) {
      ++tally.failed;
      reporter.Tell("cannot create the folders of", root + relative);
      continue;
    }
    struct stat existing;
    if (lstat(destination.c_str(), &existing) == 0) {
      if (!arguments.force) {
        ++tally.existing;
        continue;
      }
      if (S_ISDIR(existing.st_mode)) {
        ++tally.failed;
        reporter.Tell("a folder is in the way of", destination);
        continue;
      }
    }
    if (encrypted) {
      // The decrypt module writes the file itself, never over another.
      if (arguments.force) unlink(destination.c_str());
      batch.emplace_back(file.fileID, destination);
      batchSizes.push_back(stored->size);
      if (batch.size() == kBatch) flush();
      continue;
    }
    int error = WriteCopy(*stored, destination, arguments.force, fileMode);
    if (error == 0) {
      ++tally.exported;
    } else if (error == EEXIST) {
      ++tally.existing;
    } else if (NoSpaceLeft(error)) {
      diskFull = true;
      ++tally.failed;
    } else {
      ++tally.failed;
      reporter.Tell(std::string("cannot write (") + std::strerror(error) + ")", destination);
    }
  }
  flush();
  std::cout << "exported " << tally.exported << " files to " << root;
  if (tally.existing) std::cout << ", " << tally.existing << " already there (use --force)";
  if (tally.refused) std::cout << ", " << tally.refused << " refused";
  if (tally.missing) std::cout << ", " << tally.missing << " missing";
  if (tally.links) std::cout << ", " << tally.links << " links skipped";
  if (tally.failed) std::cout << ", " << tally.failed << " failed";
  std::cout << "\n";
  if (chosen.empty()) return Fail("nothing in the backup matches what was asked");
  if (diskFull) return Fail("no space left on the device of " + root + "; export stopped");
  if (tally.exported + tally.existing + tally.folders == 0)
    return Fail("nothing could be exported");
  return tally.failed ? Fail(std::to_string(tally.failed) + " files could not be exported")
                      : kExitOk;
}

}  // namespace cli
