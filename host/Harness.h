// The host's raw mode: sends one command to the keldra module and reports
// every event of it. `keldra send` prints the events; tests record them.
#ifndef HOST_HARNESS_H_
#define HOST_HARNESS_H_

#include <cstddef>
#include <optional>
#include <set>
#include <string>

#include "Events.h"

namespace host {

struct SendOptions {
  std::string modulePath;         // empty: libkeldra.so beside the program
  std::string decryptModulePath;  // empty: libvexa.so beside the program; "none": no decrypt module
  std::string taskId = "task-1";
  bool noTask = false;           // do not register the task with the scheduler
  bool document = false;         // send the payload as a parsed document (form 1)
  size_t stopAfter = 0;          // request a stop once this many results arrived (0: never)
  std::set<std::string> refuse;  // platform or decrypt requests left unanswered
  std::string tempDir;           // the platform's project temporary folder
  std::optional<std::string> unlockPassword;  // unlock the payload's backupDir first
  // The commands (not the raw mode) make a private folder below tempDir for
  // each run; keepTemp leaves it in place when they end.
  bool keepTemp = false;
};

// The library `name` in the lib folder beside the running program's bin folder.
std::string ModuleBesideProgram(const char* name);

// Loads the modules the options name (once per process).
bool LoadModules(const SendOptions& options, std::string* error);

// Sends `command` with `payload` (JSON text; no payload: null) and reports
// every event to `sink`. Returns 0 when the command was delivered, 2 with
// `error` set when it could not be (modules not loadable, --doc payload that
// does not parse).
int RunSend(const SendOptions& options, const std::string& command,
            const std::optional<std::string>& payload, EventSink& sink, std::string* error);

}  // namespace host

#endif  // HOST_HARNESS_H_
