// Running a program of the build tree as a separate process, the way a
// person runs it: arguments, environment, exit status and both streams.
#ifndef TESTS_SUPPORT_PROCESS_H_
#define TESTS_SUPPORT_PROCESS_H_

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out;
  std::string err;
  // Why the runner killed it ("" when it ended by itself).
  std::string killedFor;
};

struct ProcessOptions {
  std::vector<std::string> environment;  // NAME=VALUE added to the parent's
  // Called (in the parent) with the child's pid once it runs, while its
  // output is still being collected.
  std::function<void(int pid)> whileRunning;
  // Limits for a child that may hang, write or allocate without end: past
  // any of them it is killed with its process group. 0 means no limit.
  int timeLimitMs = 0;
  long long fileSizeLimit = 0;  // bytes of any one file it writes (RLIMIT_FSIZE)
  long long residentLimit = 0;  // bytes of resident memory
};

ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// build/bin/keldra with the given arguments.
ProcessResult RunKeldra(const std::vector<std::string>& arguments,
                        const ProcessOptions& options = {});

}  // namespace testing_support

#endif  // TESTS_SUPPORT_PROCESS_H_
