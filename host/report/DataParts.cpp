#include "report/DataParts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <rapidjson/writer.h>

#include "common/UniqueFd.h"

namespace report {
namespace {

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
  keldra::UniqueFd fd(
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return false;
  bool written = WriteAll(fd.get(), bytes);
  return close(fd.Release()) == 0 && written;
}

DataParts::DataParts(std::string folder, std::string stem, size_t maxItems, size_t maxBytes)
    : folder_(std::move(folder)),
      stem_(std::move(stem)),
      maxItems_(maxItems == 0 ? 1 : maxItems),
      maxBytes_(maxBytes) {
  room_ = Room();
}

size_t DataParts::Room() const {
  size_t wrapper = DataScript(PartName(parts_), "[]").size();
  return maxBytes_ > wrapper ? maxBytes_ - wrapper : 0;
}

std::string DataParts::PartName(size_t part) const {
  return stem_ + "-" + std::to_string(part);
}

bool DataParts::Add(const rapidjson::Value& item) {
  if (failed_) return false;
  std::string text = JsonText(item);
  const size_t size = text.size();
  auto omitTooLarge = [&] {
    if (text.size() > room_) text = "{\"omitted\":" + std::to_string(size) + "}";
  };
  omitTooLarge();
  if (inPart_ == maxItems_ || (inPart_ > 0 && body_.size() + 1 + text.size() > room_)) {
    if (!Flush()) return false;
    omitTooLarge();  // the next part's longer name may leave a byte less
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
  room_ = Room();
  body_.clear();
  inPart_ = 0;
  return true;
}

}  // namespace report
