// The decrypt module's only exported function.
#include "Vexa.h"

extern "C" __attribute__((visibility("default"))) void RegisterModule(
    ModuleRegistration* registration) {
  if (!registration) return;
  vexa::SetRegistration(registration);
  registration->moduleReceive = &vexa::ReceiveRequest;
}
