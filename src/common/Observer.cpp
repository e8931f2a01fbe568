#include "common/Observer.h"

namespace keldra {

void VRNSubject::Notify(void* argument, const char* commandType) {
  for (VRNObserver* observer : observers_) observer->Update(argument, commandType);
}

}  // namespace keldra
