// What a kind's run is given by the scan it belongs to.
#ifndef KELDRA_KIND_SCANCONTEXT_H_
#define KELDRA_KIND_SCANCONTEXT_H_

#include <string>

#include "backup/BackupInfo.h"

namespace keldra {

class DbBase;

struct ScanContext {
  std::string taskId;
  const BackupInfo& info;
  // The manifest reader the kinds were notified by, for kinds that look up
  // further records after loading; null outside a scan.
  DbBase* manifest = nullptr;
  // Complete reading: everything the device holds, not only what the fixed
  // statements reach. The kind knows it from the start, as the records it
  // is notified of are kept accordingly.
  bool complete = false;
};

}  // namespace keldra

#endif  // KELDRA_KIND_SCANCONTEXT_H_
