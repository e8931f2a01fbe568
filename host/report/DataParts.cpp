#include "report/DataParts.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <rapidjson/writer.h>

#include "common/UniqueFd.h"

namespace report {
namespace {

// The wrapper around a part's items: `Keldra.receive("` name `",[` items `]);\n`.
constexpr size_t kWrapperBytes = 26;

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

std::string JsonText(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string DataScript(const std::string& name, const std::string& json) {
  rapidjson::Value quoted(rapidjson::StringRef(name.c_str(), name.size()));
  return "Keldra.receive(" + JsonText(quoted) + "," + json + ");\n";
}

bool WriteReportFile(const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> serial{0};
  std::string temporary =
      path + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".partial";
  keldra::UniqueFd fd(
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return false;
  bool written = WriteAll(fd.get(), bytes);
  bool closed = close(fd.Release()) == 0;
  // link() rather than rename(): it refuses an existing target, so a file
  // already at `path` (or a link planted there) is never replaced.
  bool placed = written && closed && link(temporary.c_str(), path.c_str()) == 0;
  unlink(temporary.c_str());
  return placed;
}

DataParts::DataParts(std::string folder, std::string stem, size_t maxItems, size_t maxBytes)
    : folder_(std::move(folder)),
      stem_(std::move(stem)),
      maxItems_(maxItems == 0 ? 1 : maxItems),
      maxBytes_(maxBytes) {}

std::string DataParts::PartName(size_t part) const {
  return stem_ + "-" + std::to_string(part);
}

bool DataParts::Add(const rapidjson::Value& item) {
  if (failed_) return false;
  std::string text = JsonText(item);
  size_t room = maxBytes_ - kWrapperBytes - PartName(parts_ + 1).size() - 1;
  if (text.size() > room) text = "{\"omitted\":" + std::to_string(text.size()) + "}";
  size_t needed = body_.size() + (inPart_ > 0 ? 1 : 0) + text.size();
  if (inPart_ == maxItems_ || (inPart_ > 0 && needed > room)) {
    if (!Flush()) return false;
  }
  if (inPart_ > 0) body_ += ',';
  body_ += text;
  ++inPart_;
  ++items_;
  return true;
}

bool DataParts::Finish() {
  if (failed_) return false;
  if (inPart_ > 0 || parts_ == 0) return Flush();
  return true;
}

bool DataParts::Flush() {
  std::string path = folder_ + PartName(parts_) + ".js";
  if (!WriteReportFile(path, DataScript(PartName(parts_), "[" + body_ + "]"))) {
    failed_ = true;
    error_ = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  ++parts_;
  body_.clear();
  inPart_ = 0;
  return true;
}

}  // namespace report
