// keldra: the host application.
//
//   keldra list   [--root DIR]... [--json]
//   keldra info   BACKUP [--json] [--password-file F]
//   keldra scan   BACKUP [--types LIST|all] [--out DIR] [--force] [--ndjson] [--password-file F]
//                 [--exact] [--report]
//   keldra report OUT [--to DIR] [--force] [--no-media] [--password-file F]
//   keldra export BACKUP --to DIR (--all | --domain D | PATH...) [--force] [--password-file F]
//   keldra demo   [--folder DIR]
//   keldra send   [options] COMMAND [PAYLOAD]      the raw mode
//
// Exit status: 0 success, 1 failure (one line on stderr says why), 2 usage,
// 3 a scan finished but some data could not be read, 130 interrupted by SIGINT (Ctrl-C),
// 143 by SIGTERM.
#include <glog/logging.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Harness.h"
#include "cli/Commands.h"
#include "cli/Common.h"
#include "cli/Interruption.h"

namespace {

class StdoutSink : public host::EventSink {
 public:
  void OnEvent(const std::string& line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
};

struct SendArguments {
  host::SendOptions options;
  std::string command;
  std::string payload;
  CLI::Option* payloadGiven = nullptr;
  std::vector<std::string> refuse;
};

// Where the modules are: every command.
void AddModuleOptions(CLI::App* command, host::SendOptions& options) {
  command->add_option("--module", options.modulePath, "Path of libkeldra.so");
  command->add_option("--decrypt-module", options.decryptModulePath,
                      "Path of the decrypt module, or 'none'");
}

// Where deciphered copies go: a private folder of each run, removed when it ends.
void AddTempOptions(CLI::App* command, host::SendOptions& options) {
  AddModuleOptions(command, options);
  command->add_option("--temp-dir", options.tempDir,
                      "Absolute folder below which each run makes its private folder for "
                      "deciphered copies (default: $XDG_CACHE_HOME/keldra, else ~/.cache/keldra)");
  command->add_flag("--keep-temp", options.keepTemp,
                    "Keep the run's deciphered copies when it ends (stderr says where)");
}

void AddSendCommand(CLI::App& app, SendArguments& send) {
  CLI::App* command =
      app.add_subcommand("send", "Send one raw command to the module and print its events");
  AddModuleOptions(command, send.options);
  command->add_option("--temp-dir", send.options.tempDir,
                      "The platform's temporary folder itself, left in place (default: a "
                      "private folder of this run, removed when it ends)");
  command->add_option("--task-id", send.options.taskId, "Task id of the command")
      ->capture_default_str();
  command->add_flag("--no-task", send.options.noTask, "Do not register the task");
  command->add_flag("--doc", send.options.document, "Send PAYLOAD as a parsed document (form 1)");
  command->add_option("--stop-after", send.options.stopAfter,
                      "Request a stop (status 5) once N results have arrived");
  // One name per --refuse: a list form would swallow COMMAND and PAYLOAD.
  command
      ->add_option("--refuse", send.refuse,
                   "Leave this platform or decrypt request unanswered (repeat for more)")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command->add_option_function<std::string>(
      "--unlock", [&send](const std::string& password) { send.options.unlockPassword = password; },
      "Unlock the payload's backupDir with PASSWORD first");
  command->add_option("COMMAND", send.command, "Command name (target)")->required();
  // A single string: a JSON array such as [1,2] is the payload's text, not a list.
  send.payloadGiven = command->add_option("PAYLOAD", send.payload, "JSON payload");
}

int RunSend(SendArguments& send) {
  send.options.refuse.insert(send.refuse.begin(), send.refuse.end());
  std::optional<std::string> text;
  if (send.payloadGiven->count() > 0) text = send.payload;
  StdoutSink sink;
  std::string error;
  int status = host::RunSend(send.options, send.command, text, sink, &error);
  std::fflush(stdout);
  if (status != 0) std::cerr << "keldra send: " << error << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  FLAGS_logtostderr = true;
  FLAGS_minloglevel = google::GLOG_FATAL;  // the modules' log lines only with --verbose
  google::InitGoogleLogging(argv[0]);

  CLI::App app{"keldra: reads iPhone and iPad backups"};
  app.require_subcommand(1);
  bool verbose = false;
  app.add_flag("-v,--verbose", verbose, "Log the module's information lines on stderr");

  host::SendOptions options;
  SendArguments send;
  AddSendCommand(app, send);

  cli::ListArguments list;
  CLI::App* listCommand = app.add_subcommand("list", "List the backups on this machine");
  AddTempOptions(listCommand, options);
  listCommand->add_option("--root", list.roots, "Also look for backups below DIR")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  listCommand->add_flag("--json", list.json, "Print the raw list as JSON");

  cli::InfoArguments info;
  CLI::App* infoCommand = app.add_subcommand("info", "Describe one backup and its manifest");
  AddTempOptions(infoCommand, options);
  infoCommand->add_option("BACKUP", info.backup, "Backup folder")->required();
  infoCommand->add_flag("--json", info.json, "Print JSON");
  infoCommand->add_option("--password-file", info.passwordFile,
                          "File whose first line is the backup password");

  cli::ScanArguments scan;
  CLI::App* scanCommand =
      app.add_subcommand("scan", "Extract the data of a backup into one JSON file per kind");
  AddTempOptions(scanCommand, options);
  scanCommand->add_option("BACKUP", scan.backup, "Backup folder")->required();
  scanCommand
      ->add_option("--types", scan.types,
                   "Kinds to extract: all, or a list of contacts, messages, message-attachments, "
                   "calendar, calls, notes, photos, voice-memos, bookmarks, history, whatsapp")
      ->capture_default_str();
  scanCommand->add_option("--out", scan.outDir, "Folder for the output files")
      ->capture_default_str();
  scanCommand->add_flag("--force", scan.force,
                        "Use a --out that is not empty, replacing the scan files in it");
  scanCommand->add_flag("--ndjson", scan.ndjson,
                        "Stream the raw result messages to stdout instead of writing files");
  scanCommand->add_option("--password-file", scan.passwordFile,
                          "File whose first line is the backup password (else KELDRA_PASSWORD, "
                          "else a prompt)");
  scanCommand->add_flag("-q,--quiet", scan.quiet, "No progress and no closing table on stderr");
  scanCommand->add_flag(
      "--exact", scan.exact,
      "Exact reading, whose results hosts written for the module expect: databases "
      "found by path alone, fixed statements, no -wal logs");
  scanCommand->add_flag("--report", scan.report,
                        "Also make the report of the output folder (as keldra report does)");

  cli::ReportArguments reporting;
  CLI::App* reportCommand = app.add_subcommand(
      "report", "Make a folder of pages to read a scan's output in a browser, offline");
  AddTempOptions(reportCommand, options);
  reportCommand->add_option("OUT", reporting.scanFolder, "Output folder of a scan")->required();
  reportCommand->add_option("--to", reporting.to, "Folder of the report (default: OUT/report)");
  reportCommand->add_flag("--force", reporting.force,
                          "Use a --to that is not empty, replacing the report in it");
  reportCommand->add_flag("--no-media", reporting.noMedia,
                          "Copy no attachments, photos or recordings: the pages name them only "
                          "(and an encrypted backup needs no password)");
  reportCommand->add_option("--password-file", reporting.passwordFile,
                            "File whose first line is the backup password, to decipher the "
                            "media of an encrypted backup (else KELDRA_PASSWORD, else a prompt)");

  cli::ExportArguments exporting;
  CLI::App* exportCommand =
      app.add_subcommand("export", "Copy (and decipher) stored files out of a backup");
  AddTempOptions(exportCommand, options);
  exportCommand->add_option("BACKUP", exporting.backup, "Backup folder")->required();
  exportCommand->add_option("--to", exporting.to, "Destination folder")->required();
  exportCommand->add_flag("--all", exporting.all, "Every file of the backup");
  exportCommand->add_option("--domain", exporting.domains, "Every file of this domain")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  exportCommand->add_option("PATH", exporting.paths,
                            "Relative paths (or DOMAIN/relative paths) of files to export");
  exportCommand->add_flag("--force", exporting.force, "Overwrite files already at the destination");
  exportCommand->add_option("--password-file", exporting.passwordFile,
                            "File whose first line is the backup password");

  cli::DemoArguments demo;
  CLI::App* demoCommand = app.add_subcommand(
      "demo", "Build the sample backups (plain and encrypted) if absent and scan them");
  AddTempOptions(demoCommand, options);
  demoCommand->add_option("--folder", demo.folder, "Folder of the sample backups and their output")
      ->capture_default_str();

  // -v is accepted after the subcommand's name as well as before it.
  for (CLI::App* command : app.get_subcommands({}))
    command->add_flag("-v,--verbose", verbose, "Log the module's information lines on stderr");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "keldra: " << error.what() << "\n";
    return cli::kExitUsage;
  }
  if (verbose) FLAGS_minloglevel = 0;

  if (app.got_subcommand("send")) {
    if (!verbose) FLAGS_minloglevel = 0;  // the raw mode shows everything
    return RunSend(send);
  }
  // Before the modules start any thread, so that all of them leave the
  // signals to the watcher.
  cli::SignalWatch signals;
  std::string error;
  if (!host::LoadModules(options, &error)) return cli::Fail("cannot load the modules: " + error);
  if (app.got_subcommand("list")) return cli::RunList(options, list);
  if (app.got_subcommand("info")) return cli::RunInfo(options, info);
  if (app.got_subcommand("scan")) return cli::RunScan(options, scan);
  if (app.got_subcommand("export")) return cli::RunExport(options, exporting);
  if (app.got_subcommand("demo")) return cli::RunDemo(options, demo);
  if (app.got_subcommand("report")) return cli::RunReport(options, reporting);
  return cli::kExitUsage;
}
