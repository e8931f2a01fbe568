// keldra: the host application.
#include <glog/logging.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Harness.h"

namespace {

class StdoutSink : public host::EventSink {
 public:
  void OnEvent(const std::string& line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
};

void AddSendCommand(CLI::App& app, host::SendOptions& options, std::string& command,
                    std::vector<std::string>& payload, std::vector<std::string>& refuse) {
  CLI::App* send = app.add_subcommand("send", "Send one raw command to the module and print its events");
  send->add_option("--module", options.modulePath, "Path of libkeldra.so");
  send->add_option("--decrypt-module", options.decryptModulePath,
                   "Path of the decrypt module, or 'none'");
  send->add_option("--task-id", options.taskId, "Task id of the command")->capture_default_str();
  send->add_flag("--no-task", options.noTask, "Do not register the task with the scheduler");
  send->add_flag("--doc", options.document, "Send PAYLOAD as a parsed JSON document (form 1)");
  send->add_option("--stop-after", options.stopAfter,
                   "Request a stop (status 5) once N results have arrived");
  send->add_option("--refuse", refuse, "Leave this platform or decrypt request unanswered")
      ->take_last()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  send->add_option("--temp-dir", options.tempDir, "The platform's project temporary folder");
  send->add_option_function<std::string>(
      "--unlock", [&options](const std::string& password) { options.unlockPassword = password; },
      "Unlock the payload's backupDir with PASSWORD first");
  send->add_option("COMMAND", command, "Command name (target)")->required();
  send->add_option("PAYLOAD", payload, "JSON payload")->expected(0, 1);
}

}  // namespace

int main(int argc, char** argv) {
  FLAGS_logtostderr = true;
  google::InitGoogleLogging(argv[0]);

  CLI::App app{"keldra: reads iPhone and iPad backups"};
  app.require_subcommand(1);
  host::SendOptions sendOptions;
  std::string command;
  std::vector<std::string> payload;
  std::vector<std::string> refuse;
  AddSendCommand(app, sendOptions, command, payload, refuse);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "keldra: " << error.what() << "\n";
    return 2;
  }

  if (app.got_subcommand("send")) {
    sendOptions.refuse.insert(refuse.begin(), refuse.end());
    std::optional<std::string> text;
    if (!payload.empty()) text = payload.front();
    StdoutSink sink;
    std::string error;
    int status = host::RunSend(sendOptions, command, text, sink, &error);
    std::fflush(stdout);
    if (status != 0) std::cerr << "keldra send: " << error << "\n";
    return status;
  }
  return 2;
}
