// The backups the benchmarks build once and keep below their cache folder.
#ifndef KELDRA_BENCH_BENCHCACHE_H_
#define KELDRA_BENCH_BENCHCACHE_H_

#include <errno.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "BenchChild.h"

namespace bench {

inline bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Builds `folder` with `build(folder)` unless "<folder>.complete" is there.
// That marker is written last, with the text `build` returns, so a build
// that was interrupted is done again rather than measured.
//
// The build runs in a child process: a child inherits its parent's peak
// resident size, so the parent, and every measured child after it, must
// never grow.
template <typename Build>
bool EnsureBuilt(const std::string& folder, Build build) {
  const std::string marker = folder + ".complete";
  if (Exists(marker)) return true;
  std::printf("building %s ...\n", folder.c_str());
  std::fflush(stdout);
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    try {
      const std::string description = build(folder);
      std::ofstream(marker) << description << "\n";
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, error.what());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0 || !Exists(marker))
    return false;
  std::printf("  built in %.1f s\n", MillisecondsSince(start) / 1000);
  // Written-back pages of a fresh build would otherwise compete with the
  // first measurements.
  sync();
  return true;
}

}  // namespace bench

#endif  // KELDRA_BENCH_BENCHCACHE_H_
