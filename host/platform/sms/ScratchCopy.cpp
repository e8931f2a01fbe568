#include "platform/sms/ScratchCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace host::sms {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // close() reports late write errors.
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* bytes, size_t count) {
  while (count) {
    ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

// A regular file copied to a new file of mode 0600.
bool CopyFile(const std::string& from, const std::string& to) {
  Descriptor in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (in.get() < 0 || fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  Descriptor out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t got = read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(got))) return false;
  }
  return out.Close();
}

}  // namespace

bool HasWriteAheadLog(const std::string& path) {
  struct stat info;
  return !path.empty() && stat((path + "-wal").c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::unique_ptr<ScratchCopy> ScratchCopy::Make(const std::string& path,
                                               const std::string& tempDir) {
  if (path.empty() || tempDir.empty()) return nullptr;
  std::string pattern = tempDir + "sms-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) return nullptr;  // made 0700
  std::unique_ptr<ScratchCopy> copy(new ScratchCopy(name.data()));
  copy->database_ = copy->folder_ + "/sms.db";
  if (!CopyFile(path, copy->database_) || !CopyFile(path + "-wal", copy->database_ + "-wal"))
    return nullptr;
  return copy;
}

ScratchCopy::~ScratchCopy() {
  // Only files live here: the copies and what SQLite made beside them.
  if (DIR* dir = opendir(folder_.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((folder_ + "/" + name).c_str());
    }
    closedir(dir);
  }
  rmdir(folder_.c_str());
}

}  // namespace host::sms
