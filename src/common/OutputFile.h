// A file being written that appears under its final name only once complete:
// it is written under a hidden, uniquely named temporary name in its folder
// and renamed on Commit, so an interrupted writer never leaves a truncated
// file that a later run would take for a finished one.
#ifndef KELDRA_COMMON_OUTPUTFILE_H_
#define KELDRA_COMMON_OUTPUTFILE_H_

#include <optional>
#include <string>

#include "common/UniqueFd.h"

namespace keldra {

class OutputFile {
 public:
  enum class Existing { kReplace, kKeep };

  // A new file (0600) that becomes folder + name on Commit. With kKeep,
  // Commit fails (EEXIST) when something already has that name; with
  // kReplace an earlier file is replaced.
  static std::optional<OutputFile> Staged(const std::string& folder, const std::string& name,
                                          Existing existing);
  // The same for a full path.
  static std::optional<OutputFile> StagedAt(const std::string& path, Existing existing);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  ~OutputFile();

  int fd() const { return fd_.get(); }
  const std::string& FinalPath() const { return finalPath_; }
  // Closes the file and gives it its final name; false when that fails,
  // with errno telling why and the temporary file removed.
  bool Commit();

 private:
  OutputFile(UniqueFd fd, std::string writtenPath, std::string finalPath, Existing existing)
      : fd_(std::move(fd)),
        writtenPath_(std::move(writtenPath)),
        finalPath_(std::move(finalPath)),
        existing_(existing) {}

  UniqueFd fd_;
  std::string writtenPath_;
  std::string finalPath_;
  Existing existing_;
  bool done_ = false;
};

}  // namespace keldra

#endif  // KELDRA_COMMON_OUTPUTFILE_H_
