// What the benchmarks share: measured runs in fresh child processes (this
// program re-executed, or a tool), what each cost, medians of them, and the
// machine they ran on.
#ifndef KELDRA_BENCH_BENCHCHILD_H_
#define KELDRA_BENCH_BENCHCHILD_H_

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
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

// User + system time.
inline double CpuMs(const rusage& usage) {
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
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

// What one child process cost, as its parent sees it.
struct Usage {
  double wallMs = 0;   // fork to exit
  double cpuMs = 0;    // user + system of the child alone
  long peakRssKb = 0;  // the child's own peak
  bool ok = false;     // exited with 0
};

struct ProcessOptions {
  std::string program;  // run instead of args[0], which stays the child's argv[0]
  std::string input;    // stdin read from this file when given
  bool quiet = false;   // stderr discarded
};

// Runs `args` (args[0] looked up in PATH) and waits for it. Its stdout is
// appended to `output`, or discarded when that is null, so that a tool's
// output costs it no more than writing to /dev/null.
inline Usage RunProcess(const std::vector<std::string>& args, std::string* output,
                        const ProcessOptions& options = {}) {
  Usage result;
  int fds[2] = {-1, -1};
  if (output && pipe(fds) != 0) return result;
  const std::string& program = options.program.empty() ? args.front() : options.program;
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(output ? fds[1] : open("/dev/null", O_WRONLY), STDOUT_FILENO);
    if (output) close(fds[0]);
    if (options.quiet) dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
    if (!options.input.empty()) dup2(open(options.input.c_str(), O_RDONLY), STDIN_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());
    _exit(127);
  }
  if (output) {
    close(fds[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
      output->append(buffer, static_cast<size_t>(got));
    close(fds[0]);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return result;
  result.wallMs = MillisecondsSince(start);
  result.cpuMs = CpuMs(usage);
  result.peakRssKb = usage.ru_maxrss;
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

struct Sample : Usage {
  std::vector<double> fields;  // numbers the child printed
};

// Runs `program` (path) with `args` (argv[0] first), stdin from `input`
// when given, stderr discarded, and reads the numbers it prints.
inline Sample RunChild(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input = "") {
  Sample sample;
  std::string output;
  static_cast<Usage&>(sample) = RunProcess(args, &output, {program, input, true});
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

// The median of one member of every sample.
template <typename Samples, typename Member>
double Median(const Samples& samples, Member member) {
  std::vector<double> values;
  for (const auto& sample : samples) values.push_back(static_cast<double>(sample.*member));
  return Median(values);
}

inline double MedianField(const std::vector<Sample>& samples, size_t field) {
  std::vector<double> values;
  for (const Sample& sample : samples)
    if (field < sample.fields.size()) values.push_back(sample.fields[field]);
  return Median(values);
}

inline double MedianWall(const std::vector<Sample>& samples) {
  return Median(samples, &Sample::wallMs);
}

inline double MedianRssMb(const std::vector<Sample>& samples) {
  return Median(samples, &Sample::peakRssKb) / 1024;
}

inline std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

}  // namespace bench

#endif  // KELDRA_BENCH_BENCHCHILD_H_
