// Ctrl-C (SIGINT) and SIGTERM during a command. While a graceful stop is
// offered (a scan can finish its running kind and write what it has), the
// first signal takes it; otherwise, or on a second signal, the command ends
// at once with status 128 + signal after undoing what must not outlive it:
// the terminal's echo, the folder of deciphered copies.
#ifndef HOST_CLI_INTERRUPTION_H_
#define HOST_CLI_INTERRUPTION_H_

#include <functional>

namespace cli {

// Watches the two signals for as long as it lives. Made before any other
// thread starts, so that every thread inherits the blocked signals and only
// the watcher receives them.
class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
};

// The first signal received (SIGINT or SIGTERM), 0 when none came.
int ReceivedSignal();
// The exit status of a command stopped by ReceivedSignal().
int InterruptedStatus();

// While one lives, the first signal calls `stop` instead of ending the command.
class GracefulStop {
 public:
  explicit GracefulStop(std::function<void()> stop);
  ~GracefulStop();
  GracefulStop(const GracefulStop&) = delete;
  GracefulStop& operator=(const GracefulStop&) = delete;
};

// While one lives, `undo` runs before a signal ends the command (the newest first).
class AbortCleanup {
 public:
  explicit AbortCleanup(std::function<void()> undo);
  ~AbortCleanup();
  AbortCleanup(const AbortCleanup&) = delete;
  AbortCleanup& operator=(const AbortCleanup&) = delete;

 private:
  size_t id_;
};

}  // namespace cli

#endif  // HOST_CLI_INTERRUPTION_H_
