// The module's side of the host channel: the registration it keeps, and the
// envelopes of the messages it sends.
#ifndef KELDRA_COMMON_CHANNEL_H_
#define KELDRA_COMMON_CHANNEL_H_

#include <string>

#include "keldra/Plugin.h"
#include "keldra/Status.h"

namespace keldra {

// Written once by RegisterModule, read afterwards.
void SetRegistration(ModuleRegistration* registration);
void* ModuleInstance();

// Sets senderInstance and hands the message to the host's send function.
void SendToHost(PluginMessage& message);

// A JSON text result addressed to the command's task, in the envelope every
// result and status message shares. `withLength` sets payloadLength to the
// text's byte count (status, backup-list and export messages); kind results
// leave it 0.
void SendResultText(const char* taskId, const std::string& text, bool withLength);
// The same for a NUL-terminated text of `length` bytes.
void SendResultText(const char* taskId, const char* text, size_t length, bool withLength);

// The final status message of a command:
// {"stage":3,"status":S,"sub_command_type":C,"error_code":E}.
void SendCommandStatus(const char* taskId, const char* command, CommandStatus status,
                       int errorCode);

}  // namespace keldra

#endif  // KELDRA_COMMON_CHANNEL_H_
