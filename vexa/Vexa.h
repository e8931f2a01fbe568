// The decrypt module: answers the LIBMODEL_VEXA_* requests (Requests.h) with
// real decryption of encrypted device backups.
#ifndef VEXA_VEXA_H_
#define VEXA_VEXA_H_

#include "keldra/Plugin.h"

namespace vexa {

void SetRegistration(ModuleRegistration* registration);
// Receive function of the decrypt module; never throws.
void ReceiveRequest(PluginMessage* message) noexcept;

}  // namespace vexa

#endif  // VEXA_VEXA_H_
