#include "Vexa.h"

namespace vexa {
namespace {
ModuleRegistration* g_registration = nullptr;
}  // namespace

void SetRegistration(ModuleRegistration* registration) { g_registration = registration; }

void ReceiveRequest(PluginMessage* message) noexcept {
  // No request is answered yet: every LIBMODEL_VEXA_* request stays unanswered.
  (void)message;
  (void)g_registration;
}

}  // namespace vexa
