// Directory rows for the folders of generated files, each added once.
#ifndef KELDRA_BUILDER_KINDS_DIRECTORIES_H_
#define KELDRA_BUILDER_KINDS_DIRECTORIES_H_

#include <set>
#include <string>

#include "builder/BackupBuilder.h"

namespace builder {

class Directories {
 public:
  explicit Directories(BackupBuilder& backup) : backup_(backup) {}
  // The folder itself (not its parents).
  void Add(const std::string& domain, const std::string& path) {
    if (added_.insert(domain + "-" + path).second) backup_.AddDirectory(domain, path);
  }
  // Every folder above `filePath`, outermost first, and the domain's root.
  void AddParentsOf(const std::string& domain, const std::string& filePath) {
    Add(domain, "");
    for (size_t slash = filePath.find('/'); slash != std::string::npos;
         slash = filePath.find('/', slash + 1))
      if (slash > 0) Add(domain, filePath.substr(0, slash));
  }

 private:
  BackupBuilder& backup_;
  std::set<std::string> added_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_DIRECTORIES_H_
