#include "cli/JsonFileWriter.h"

#include <cstring>
#include <utility>

namespace cli {

void JsonFileWriter::Stream::Flush() {
  if (file_ && at_ > 0 && std::fwrite(buffer_, 1, at_, file_) != at_) failed_ = true;
  at_ = 0;
}

std::unique_ptr<JsonFileWriter> JsonFileWriter::Create(const std::string& path) {
  std::string temporary = path + ".partial";
  keldra::UniqueFile file(path.empty() ? nullptr : std::fopen(temporary.c_str(), "wb"));
  return std::unique_ptr<JsonFileWriter>(new JsonFileWriter(std::move(file), std::move(temporary)));
}

JsonFileWriter::JsonFileWriter(keldra::UniqueFile file, std::string path)
    : file_(std::move(file)),
      created_(file_ != nullptr),
      path_(std::move(path)),
      stream_(file_.get()),
      writer_(stream_) {
  writer_.SetIndent(' ', 2);
}

JsonFileWriter::~JsonFileWriter() {
  if (!file_) return;
  file_.reset();
  std::remove(path_.c_str());
}

bool JsonFileWriter::Commit() {
  if (!file_) return false;
  bool complete = writer_.IsComplete();
  stream_.Flush();
  std::fputc('\n', file_.get());
  bool written = complete && !stream_.Failed() && !std::ferror(file_.get());
  bool closed = keldra::Close(file_);
  // The temporary name ends in ".partial"; the file's own name is without it.
  std::string final = path_.substr(0, path_.size() - std::strlen(".partial"));
  if (!written || !closed || std::rename(path_.c_str(), final.c_str()) != 0) {
    std::remove(path_.c_str());
    return false;
  }
  return true;
}

}  // namespace cli
