// Writing a JSON file while its content is still being produced.
#ifndef HOST_CLI_JSONFILEWRITER_H_
#define HOST_CLI_JSONFILEWRITER_H_

#include <cstdio>
#include <memory>
#include <string>

#include "common/UniqueFile.h"
#include "vorn/Json.h"

namespace cli {

// A JSON file written as it is produced: pretty-printed with two spaces and a
// final newline, under a temporary name renamed into place when complete.
class JsonFileWriter {
 public:
  // Bytes to a file through a buffer (rapidjson's writers call Put); with
  // no file they are dropped.
  class Stream {
   public:
    using Ch = char;
    explicit Stream(std::FILE* file) : file_(file) {}
    void Put(char c) {
      if (at_ == kSize) Flush();
      buffer_[at_++] = c;
    }
    void Flush();
    bool Failed() const { return failed_; }

   private:
    static constexpr size_t kSize = 64 * 1024;
    std::FILE* file_;
    size_t at_ = 0;
    bool failed_ = false;
    char buffer_[kSize];
  };
  using Writer = rapidjson::PrettyWriter<Stream>;

  // When the temporary file cannot be created, the writer drops what it is
  // given and Commit fails.
  static std::unique_ptr<JsonFileWriter> Create(const std::string& path);
  ~JsonFileWriter();
  JsonFileWriter(const JsonFileWriter&) = delete;
  JsonFileWriter& operator=(const JsonFileWriter&) = delete;

  bool Created() const { return created_; }
  Writer& Out() { return writer_; }
  // Ends the file and renames it into place; false when any of it could not
  // be written (the temporary file is then removed).
  bool Commit();

 private:
  JsonFileWriter(keldra::UniqueFile file, std::string path);

  keldra::UniqueFile file_;
  bool created_;
  std::string path_;
  Stream stream_;
  Writer writer_;
};

}  // namespace cli

#endif  // HOST_CLI_JSONFILEWRITER_H_
