#include "cli/Interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace cli {
namespace {

struct State {
  std::mutex mutex;
  std::function<void()> stop;                    // the graceful stop on offer, if any
  std::map<size_t, std::function<void()>> undo;  // by registration order
  size_t nextId = 0;
  bool stopRequested = false;
};

State& Shared() {
  static State* state = new State();  // the watcher may use it until the process ends
  return *state;
}

std::atomic<int> g_signal{0};

// The watcher ends on SIGUSR1, which only the watch's destructor sends.
sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);
  return set;
}

[[noreturn]] void EndNow(int signal) {
  State& state = Shared();
  std::unique_lock<std::mutex> lock(state.mutex);
  for (auto entry = state.undo.rbegin(); entry != state.undo.rend(); ++entry) entry->second();
  static const char kMessage[] = "\nkeldra: interrupted\n";
  if (write(STDERR_FILENO, kMessage, sizeof kMessage - 1) < 0) {
  }
  _exit(128 + signal);
}

void OnSignal(int signal) {
  int expected = 0;
  g_signal.compare_exchange_strong(expected, signal);
  State& state = Shared();
  std::function<void()> stop;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.stop && !state.stopRequested) {
      state.stopRequested = true;
      stop = state.stop;
    }
  }
  if (!stop) EndNow(signal);
  stop();
}

// Never destroyed: a process that ends without unwinding main must not find
// a joinable thread among its statics.
std::thread* g_watcher = nullptr;
sigset_t g_previousMask;

}  // namespace

SignalWatch::SignalWatch() {
  sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, &g_previousMask);
  g_watcher = new std::thread([set] {
    int signal = 0;
    while (sigwait(&set, &signal) == 0 && signal != SIGUSR1) OnSignal(signal);
  });
}

SignalWatch::~SignalWatch() {
  pthread_kill(g_watcher->native_handle(), SIGUSR1);
  g_watcher->join();
  pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
}

int ReceivedSignal() {
  return g_signal.load();
}

int InterruptedStatus() {
  return 128 + (ReceivedSignal() ? ReceivedSignal() : SIGINT);
}

GracefulStop::GracefulStop(std::function<void()> stop) {
  State& state = Shared();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.stop = std::move(stop);
  state.stopRequested = false;
}

GracefulStop::~GracefulStop() {
  State& state = Shared();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.stop = nullptr;
}

AbortCleanup::AbortCleanup(std::function<void()> undo) {
  State& state = Shared();
  std::lock_guard<std::mutex> lock(state.mutex);
  id_ = state.nextId++;
  state.undo.emplace(id_, std::move(undo));
}

AbortCleanup::~AbortCleanup() {
  State& state = Shared();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.undo.erase(id_);
}

}  // namespace cli
