#include "report/MediaFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <thread>

#include "common/StoredFile.h"
#include "common/UniqueFd.h"
#include "report/Thumbnails.h"

namespace report {
namespace {

constexpr size_t kBatch = 200;  // files per decipher request

// Media a browser shows by itself (and only those: a copied file named
// .html or .svg could run script when opened from the report).
constexpr const char* kShownExtensions[] = {
    "jpg", "jpeg", "png", "gif", "webp", "bmp", "heic", "heif", "tif", "tiff", "mov", "mp4",
    "m4v", "3gp",  "m4a", "mp3", "aac",  "wav", "caf",  "opus", "amr", "ogg",  "pdf"};

// The extension the copy gets: the original's, lower case, when it is a
// kind of media; "bin" (which a browser only offers to save) otherwise.
std::string ExtensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  size_t slash = name.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "bin";
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* shown : kShownExtensions)
    if (extension == shown) return extension;
  return "bin";
}

int CopyBytes(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return put < 0 ? errno : EIO;
      done += put;
    }
  }
}

}  // namespace

MediaFiles::MediaFiles(std::string backup, std::string reportFolder, Decipher decipher)
    : backup_(std::move(backup)),
      reportFolder_(std::move(reportFolder)),
      decipher_(std::move(decipher)) {
  if (!backup_.empty() && backup_.back() != '/') backup_ += '/';
}

std::string MediaFiles::Want(const std::string& storedPath, const std::string& name) {
  // Only "<backup>/<ab>/<abcd…>" (or "<backup>/<id>" in a legacy backup) is
  // a stored file; the scan's files are not trusted to name anything else.
  if (backup_.empty() || storedPath.compare(0, backup_.size(), backup_) != 0) return "";
  std::string relative = storedPath.substr(backup_.size());
  std::string id = relative.substr(relative.rfind('/') + 1);
  if (!keldra::NamesStoredFile(id) || (relative != keldra::StoredRelativePath(id, true) &&
                                       relative != keldra::StoredRelativePath(id, false)))
    return "";
  // A file id is the SHA-1 of the file's domain and path.
  if (id.size() != 40) return "";
  for (char c : id)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "";
  auto known = wanted_.find(id);
  if (known != wanted_.end()) return known->second;
  std::string extension = ExtensionOf(name);
  std::string shown = "media/" + id + "." + extension;
  wanted_[id] = shown;
  return shown;
}

void MediaFiles::KnowDevicePath(const std::string& devicePath, const std::string& storedPath) {
  if (!devicePath.empty() && !storedPath.empty()) storedByDevicePath_[devicePath] = storedPath;
}

std::string MediaFiles::WantDevicePath(const std::string& devicePath, const std::string& name) {
  // Messages name attachments from the device's home ("~/Library/SMS/…").
  std::string path = devicePath.compare(0, 2, "~/") == 0 ? devicePath.substr(2) : devicePath;
  auto stored = storedByDevicePath_.find(path);
  return stored == storedByDevicePath_.end() ? "" : Want(stored->second, name);
}

std::string MediaFiles::ThumbnailOf(const std::string& shown) {
  if (shown.empty() || !CanThumbnail(shown)) return "";
  // "media/<id>.<ext>" -> "media/thumbs/<id>.jpg"
  std::string id = shown.substr(6, shown.find('.', 6) - 6);
  return thumbnails_[shown] = "media/thumbs/" + id + ".jpg";
}

std::vector<std::string> MediaFiles::CopyAll() {
  std::vector<std::string> problems;
  if (wanted_.empty()) return problems;
  std::string folder = reportFolder_ + "media/";
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    problems.push_back("cannot create " + folder + ": " + std::strerror(errno));
    return problems;
  }
  size_t missing = 0, failed = 0;
  std::vector<std::pair<std::string, std::string>> batch;
  auto flush = [&] {
    if (batch.empty()) return;
    std::set<std::string> written = decipher_(batch);
    for (const auto& [id, destination] : batch)
      if (!written.count(id)) ++failed;
    batch.clear();
  };
  for (const auto& [id, shown] : wanted_) {
    std::string destination = reportFolder_ + shown;
    std::optional<keldra::RegularFile> stored =
        keldra::OpenStoredFile(backup_, keldra::StoredRelativePath(id, true));
    if (!stored) stored = keldra::OpenStoredFile(backup_, keldra::StoredRelativePath(id, false));
    if (!stored) {
      ++missing;
      continue;
    }
    if (decipher_) {
      batch.emplace_back(id, destination);
      if (batch.size() == kBatch) flush();
      continue;
    }
    keldra::UniqueFd out(
        open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!out || CopyBytes(stored->fd.get(), out.get()) != 0 || close(out.Release()) != 0) {
      ++failed;
      unlink(destination.c_str());
    }
  }
  flush();
  MakeThumbnails();
  if (missing)
    problems.push_back(
        std::to_string(missing) + (missing == 1 ? " media file is" : " media files are") +
        " not in the backup folder, so the report cannot show " + (missing == 1 ? "it" : "them"));
  if (failed)
    problems.push_back(std::to_string(failed) + (failed == 1 ? " media file" : " media files") +
                       " could not be copied into the report");
  return problems;
}

void MediaFiles::MakeThumbnails() {
  if (thumbnails_.empty()) return;
  std::string folder = reportFolder_ + "media/thumbs";
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return;
  std::vector<std::pair<std::string, std::string>> jobs;
  for (const auto& [shown, thumbnail] : thumbnails_) {
    struct stat copied;
    // From the report's own copy, never from the backup: an encrypted
    // backup's copy is the deciphered one.
    if (lstat((reportFolder_ + shown).c_str(), &copied) == 0 && S_ISREG(copied.st_mode))
      jobs.emplace_back(reportFolder_ + shown, reportFolder_ + thumbnail);
  }
  if (jobs.empty() || !StartThumbnails()) return;
  // Decoding a camera picture takes a tenth of a second or more (HEIC about
  // a second): every core takes pictures from the list.
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t job; (job = next++) < jobs.size();)
      MakeThumbnail(jobs[job].first, jobs[job].second);
  };
  size_t workers = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), jobs.size());
  std::vector<std::thread> threads;
  for (size_t i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
}

}  // namespace report
