// What the benchmarks share: measured runs in fresh child processes (this
// program re-executed, or a tool), their peak resident size, and medians.
#ifndef KELDRA_BENCH_BENCHCHILD_H_
#define KELDRA_BENCH_BENCHCHILD_H_

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "Events.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Counts the host's events and throws them away.
class CountingSink : public host::EventSink {
 public:
  void OnEvent(const std::string& line) override {
    ++events;
    bytes += line.size();
  }
  size_t events = 0;
  size_t bytes = 0;
};

struct Sample {
  std::vector<double> fields;  // numbers the child printed
  double wallMs = 0;           // fork to exit
  long peakRssKb = 0;          // the child's own peak
  bool ok = false;
};

// Runs `program` (path) with `args` (argv[0] first), stdin from `input`
// when given, stderr discarded, and reads the numbers it prints.
inline Sample RunChild(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input = "") {
  Sample sample;
  int fds[2];
  if (pipe(fds) != 0) return sample;
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    if (!input.empty()) {
      int in = open(input.c_str(), O_RDONLY);
      dup2(in, STDIN_FILENO);
    }
    close(fds[0]);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string output;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, got);
  close(fds[0]);
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return sample;
  sample.wallMs = MillisecondsSince(start);
  sample.peakRssKb = usage.ru_maxrss;
  sample.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::istringstream fields(output);
  double value;
  while (fields >> value) sample.fields.push_back(value);
  return sample;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double MedianField(const std::vector<Sample>& samples, size_t field) {
  std::vector<double> values;
  for (const Sample& sample : samples)
    if (field < sample.fields.size()) values.push_back(sample.fields[field]);
  return Median(values);
}

inline double MedianWall(const std::vector<Sample>& samples) {
  std::vector<double> values;
  for (const Sample& sample : samples) values.push_back(sample.wallMs);
  return Median(values);
}

inline double MedianRssMb(const std::vector<Sample>& samples) {
  std::vector<double> values;
  for (const Sample& sample : samples) values.push_back(sample.peakRssKb / 1024.0);
  return Median(values);
}

}  // namespace bench

#endif  // KELDRA_BENCH_BENCHCHILD_H_
