// The module's only exported function.
#include "Keldra.h"
#include "common/Channel.h"

extern "C" __attribute__((visibility("default"))) void RegisterModule(
    ModuleRegistration* registration) {
  if (!registration) return;
  keldra::SetRegistration(registration);
  registration->moduleReceive = &keldra::ReceiveCommand;
}
