#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace testing_support {
namespace {

constexpr int kWatchIntervalMs = 50;

long long ResidentBytes(pid_t pid) {
  std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
  long long size = 0, resident = 0;
  return statm >> size >> resident ? resident * sysconf(_SC_PAGESIZE) : 0;
}

// What limit, if any, the child has passed.
std::string PassedLimit(pid_t pid, const ProcessOptions& options,
                        std::chrono::steady_clock::time_point start) {
  auto elapsed = std::chrono::steady_clock::now() - start;
  if (options.timeLimitMs > 0 && elapsed > std::chrono::milliseconds(options.timeLimitMs))
    return "time limit of " + std::to_string(options.timeLimitMs) + " ms";
  if (options.residentLimit > 0 && ResidentBytes(pid) > options.residentLimit)
    return "resident memory over " + std::to_string(options.residentLimit) + " bytes";
  return "";
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  ProcessResult result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    setsid();  // no controlling terminal: no password prompt
    if (options.fileSizeLimit > 0) {
      rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                      static_cast<rlim_t>(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    for (const std::string& variable : options.environment) putenv(strdup(variable.c_str()));
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  std::thread watcher;
  if (options.whileRunning) watcher = std::thread([&] { options.whileRunning(pid); });
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  char buffer[65536];
  bool watched = options.timeLimitMs > 0 || options.residentLimit > 0;
  auto start = std::chrono::steady_clock::now();
  while (open > 0) {
    int ready = poll(fds, 2, watched ? kWatchIntervalMs : -1);
    if (ready < 0 && errno != EINTR) break;
    if (watched && result.killedFor.empty()) {
      result.killedFor = PassedLimit(pid, options, start);
      // The whole group: the streams close only once every holder is gone.
      if (!result.killedFor.empty()) kill(-pid, SIGKILL);
    }
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (watcher.joinable()) watcher.join();
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

ProcessResult RunKeldra(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  std::vector<std::string> full = {std::string(KELDRA_BIN_DIR) + "/keldra"};
  full.insert(full.end(), arguments.begin(), arguments.end());
  return RunProcess(full, options);
}

}  // namespace testing_support
