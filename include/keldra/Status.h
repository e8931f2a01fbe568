// How commands and the steps inside them end. CommandStatus is the "status"
// member of result and status messages; its values are the host task's
// (QoTaskStatus1), so a command's messages and its task agree.
#ifndef KELDRA_STATUS_H_
#define KELDRA_STATUS_H_

#include <string>
#include <utility>

#include "vorn/QoTask.h"

namespace keldra {

enum class CommandStatus : int {
  kFinished = kQoTaskFinished,  // the command's last message
  kPartial = kQoTaskRunning,    // a result while the command goes on
  kStopRequested = kQoTaskStopRequested,
  kFailed = kQoTaskFailed,
};

constexpr int ToInt(CommandStatus status) {
  return static_cast<int>(status);
}

// What a step inside a command reports: success, or failure with why, and
// the error code a command's status carries for it (0 where the command
// gives none).
class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  static Status Failure(std::string message, int errorCode = 0) {
    Status status;
    status.ok_ = false;
    status.message_ = std::move(message);
    status.errorCode_ = errorCode;
    return status;
  }

  bool IsOk() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& Message() const { return message_; }
  int ErrorCode() const { return errorCode_; }

 private:
  Status() = default;

  bool ok_ = true;
  std::string message_;
  int errorCode_ = 0;
};

}  // namespace keldra

#endif  // KELDRA_STATUS_H_
