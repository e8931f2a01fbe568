// The named sets of sample files a built backup can be given: mkbackup's
// --content and the demo's backups both draw from this one table.
#ifndef KELDRA_BUILDER_CONTENTSETS_H_
#define KELDRA_BUILDER_CONTENTSETS_H_

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder {

struct ContentSet {
  const char* name;
  const char* description;
  void (*add)(BackupBuilder& backup);
};

// The name that stands for every set at once.
constexpr char kAllContentSets[] = "all";

const std::vector<ContentSet>& ContentSets();

// The set of that name; null when there is none.
const ContentSet* FindContentSet(const std::string& name);

// Adds the named set, or every set for "all"; false for an unknown name.
bool AddContentSet(BackupBuilder& backup, const std::string& name);

}  // namespace builder

#endif  // KELDRA_BUILDER_CONTENTSETS_H_
