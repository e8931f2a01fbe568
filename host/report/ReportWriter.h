// Writes a report folder from a scan's output folder: the pages, the
// assets, and the data files of every kind the scan wrote.
#ifndef HOST_REPORT_REPORTWRITER_H_
#define HOST_REPORT_REPORTWRITER_H_

#include <string>
#include <vector>

#include "report/MediaFiles.h"
#include "vorn/Json.h"

namespace report {

struct ReportInput {
  std::string scanFolder;                     // ends in "/"
  const rapidjson::Value* summary = nullptr;  // summary.json
  const rapidjson::Value* device = nullptr;   // device.json, or an empty object
  // The backup folder the media are copied from; "" for none (the pages
  // then name the media and show none).
  std::string mediaBackup;
  // How stored files of an encrypted backup are deciphered into the report;
  // null for a plain backup, whose files are copied as they are.
  MediaFiles::Decipher decipher;
  std::vector<std::string> mediaProblems;  // why media are missing, in plain words
  std::string made;                        // when, as UTC text ("2026-12-06T20:00:00Z")
};

// Writes into `reportFolder` (ending in "/", existing and empty). False with
// `error` saying what could not be written or read.
bool WriteReport(const ReportInput& input, const std::string& reportFolder, std::string* error);

// A scan file parsed in place: the document's strings stay in `text`, so a
// large file is held once. Neither may move once read.
struct ScanFile {
  std::string text;
  rapidjson::Document document;
};

// False with `error` set when the file cannot be read, is no JSON or is
// nested deeper than any scan writes.
bool ReadJsonFile(const std::string& path, ScanFile& file, std::string* error);

// The entries a report folder holds, for replacing an earlier report.
bool IsReportEntry(const std::string& name);

}  // namespace report

#endif  // HOST_REPORT_REPORTWRITER_H_
