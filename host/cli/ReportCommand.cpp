// keldra report: turns a scan's output folder into a folder of pages a
// person opens in a browser (see report/README.md for its layout).
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cli/Commands.h"
#include "cli/Common.h"
#include "cli/EncryptedExport.h"
#include "report/ReportWriter.h"

namespace cli {
namespace {

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  return ::remove(path);
}

// Links are removed, never followed.
bool RemoveTree(const std::string& path) {
  return nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

// Makes the report folder, or takes an existing one that is empty; with
// `force`, one that holds an earlier report has that report removed first
// (other files stay).
bool PrepareReportFolder(const std::string& folder, bool force, std::string* error) {
  return PrepareOutputFolder(folder, force, "the report", report::IsReportEntry, RemoveTree, error);
}

std::string AbsolutePath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

}  // namespace

int RunReport(const host::SendOptions& options, const ReportArguments& arguments) {
  std::string scanFolder = WithSeparator(arguments.scanFolder);
  report::ScanFile summaryFile, deviceFile;
  std::string error;
  const rapidjson::Document& summary = summaryFile.document;
  if (!report::ReadJsonFile(scanFolder + "summary.json", summaryFile, &error) ||
      !summary.IsObject())
    return Fail("not the output folder of a scan (its summary.json is missing or broken): " +
                scanFolder);
  if (!report::ReadJsonFile(scanFolder + "device.json", deviceFile, &error) ||
      !deviceFile.document.IsObject())
    deviceFile.document.SetObject();
  const rapidjson::Document& device = deviceFile.document;

  std::string reportFolder =
      WithSeparator(arguments.to.empty() ? scanFolder + "report" : arguments.to);
  std::string backup = StringOf(summary, "backup");
  if (!backup.empty())
    if (int refused = RefuseOutputsInBackup(backup, {{"--to", reportFolder}})) return refused;
  auto member = summary.FindMember("encrypted");
  bool encrypted =
      member != summary.MemberEnd() && member->value.IsBool() && member->value.GetBool();
  if (encrypted) KeepOutputPrivate();

  report::ReportInput input;
  input.scanFolder = scanFolder;
  input.summary = &summary;
  input.device = &device;
  input.made = UtcNow();
  if (!arguments.noMedia && !backup.empty()) {
    // Media come only from the folder the scan read, and only while it is
    // still a backup.
    std::optional<rapidjson::Document> description = DescribeBackup(options, backup);
    if (!description) {
      input.mediaProblems.push_back("the backup the scan read is not at " + backup +
                                    " any more, so the report shows no media");
    } else {
      input.mediaBackup = backup;
    }
    if (description && encrypted) {
      // Its media are deciphered by the decrypt module, which needs the
      // backup unlocked.
      if (!arguments.unlocked) {
        int unlocked = UnlockIfEncrypted(options, backup, *description, arguments.passwordFile);
        if (unlocked != kExitOk) return unlocked;
      }
      bool legacy = IntOf(*description, "BackupType") == 1;
      input.decipher = [&options, backup, legacy](const auto& batch) {
        return ExportBatch(options, backup, batch, legacy);
      };
    }
  }

  if (!PrepareReportFolder(reportFolder, arguments.force, &error)) return Fail(error);
  // The decrypt module writes only to absolute paths.
  reportFolder = WithSeparator(AbsolutePath(reportFolder));
  try {
    if (!report::WriteReport(input, reportFolder, &error)) return Fail(error);
  } catch (const vorn::JsonAssertion&) {
    return Fail("the scan's files in " + scanFolder + " have an unexpected shape");
  }
  if (arguments.printPath) {
    std::printf("%s\n", Printable(reportFolder + "index.html").c_str());
    std::fflush(stdout);
  }
  return kExitOk;
}

}  // namespace cli
