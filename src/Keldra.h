// The module's receive function and the commands it dispatches to.
#ifndef KELDRA_KELDRA_H_
#define KELDRA_KELDRA_H_

#include "keldra/Plugin.h"

namespace keldra {

// Runs one command to its end on the calling thread. A command that fails by
// throwing still sends its failed status.
void ReceiveCommand(PluginMessage* message) noexcept;

}  // namespace keldra

#endif  // KELDRA_KELDRA_H_
