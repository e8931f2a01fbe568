// keldra scan, list, info, export, report and demo.
#ifndef HOST_CLI_COMMANDS_H_
#define HOST_CLI_COMMANDS_H_

#include <string>
#include <vector>

#include "Harness.h"

namespace cli {

struct ScanArguments {
  std::string backup;
  std::string types = "all";
  std::string outDir = "keldra-out";
  bool ndjson = false;
  std::string passwordFile;
  bool quiet = false;   // no progress even on a terminal
  bool force = false;   // take a non-empty --out, replacing the scan files in it
  bool exact = false;   // no complete reading: the kinds read what the original reads
  bool report = false;  // make the report of the output folder once the scan is written
};
int RunScan(const host::SendOptions& options, const ScanArguments& arguments);

struct ListArguments {
  std::vector<std::string> roots;
  bool json = false;
};
int RunList(const host::SendOptions& options, const ListArguments& arguments);

struct InfoArguments {
  std::string backup;
  bool json = false;
  std::string passwordFile;
};
int RunInfo(const host::SendOptions& options, const InfoArguments& arguments);

// Reports that `argument` names no backup, naming the backups found below
// it; returns the failure's exit status.
int FailNotABackup(const host::SendOptions& options, const std::string& argument);

struct ExportArguments {
  std::string backup;
  std::string to;
  bool all = false;
  std::vector<std::string> domains;
  std::vector<std::string> paths;
  bool force = false;
  std::string passwordFile;
};
int RunExport(const host::SendOptions& options, const ExportArguments& arguments);

struct ReportArguments {
  std::string scanFolder;
  std::string to;         // default: the scan folder's report/
  bool force = false;     // take a folder that is not empty, replacing the report in it
  bool printPath = true;  // print the path of its index.html
  std::string passwordFile;
  bool unlocked = false;  // an encrypted backup is unlocked in this process already
  bool noMedia = false;   // copy no media: names only, and no password needed
};
// Reads the scan's files; the backup only for the media it copies (through
// the decrypt module when it is encrypted). Prints the path of the report's
// index.html.
int RunReport(const host::SendOptions& options, const ReportArguments& arguments);

// The password of the demo's encrypted sample backup.
inline constexpr char kDemoPassword[] = "keldra-demo";

struct DemoArguments {
  std::string folder = "keldra-demo";
};
int RunDemo(const host::SendOptions& options, const DemoArguments& arguments);

}  // namespace cli

#endif  // HOST_CLI_COMMANDS_H_
