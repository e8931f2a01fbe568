// Kind numbers of the scan's "types" and the classes they create.
#ifndef KELDRA_KIND_KINDTABLE_H_
#define KELDRA_KIND_KINDTABLE_H_

#include <memory>

#include "common/Observer.h"
#include "keldra/Kinds.h"
#include "kind/kind.h"

namespace keldra {

struct KindObject {
  std::shared_ptr<Kind> kind;
  VRNObserver* observer = nullptr;  // what the manifest reader notifies
};

// A new kind for the number; empty when the number names no kind.
KindObject CreateKind(int number);

}  // namespace keldra

#endif  // KELDRA_KIND_KINDTABLE_H_
