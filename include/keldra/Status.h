// The "status" member of result and status messages. The values are the
// host task's (QoTaskStatus1): a command's messages and its task agree.
#ifndef KELDRA_STATUS_H_
#define KELDRA_STATUS_H_

#include "vorn/QoTask.h"

namespace keldra {

enum class CommandStatus : int {
  kFinished = kQoTaskFinished,  // the command's last message
  kPartial = kQoTaskRunning,    // a result while the command goes on
  kStopRequested = kQoTaskStopRequested,
  kFailed = kQoTaskFailed,
};

constexpr int ToInt(CommandStatus status) { return static_cast<int>(status); }

}  // namespace keldra

#endif  // KELDRA_STATUS_H_
