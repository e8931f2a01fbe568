// Helpers of the scan tests of the SQLite kinds: a fixed time zone, the
// result payloads of a scan with the backup folder masked, and reviewed
// golden outputs.
#ifndef TESTS_INTEGRATION_KINDSCANSUPPORT_H_
#define TESTS_INTEGRATION_KINDSCANSUPPORT_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace kind_scan {

inline constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
using testing_support::kTestZone;
using testing_support::ScopedTimeZone;

inline void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Every result payload of a recording, compact, with `folder` written as
// "<backup>/". Fails the test on envelope violations.
inline std::vector<std::string> MaskedResults(const host::Recorder& recorder,
                                              const std::string& folder) {
  EXPECT_EQ(recorder.Count("violation"), 0u);
  std::vector<std::string> texts = testing_support::ResultTexts(recorder);
  for (std::string& text : texts) ReplaceAll(text, folder, "<backup>/");
  return texts;
}

// The scan command's payload for the kinds of `typesJson` (e.g. "[0]").
inline std::string ScanPayload(const std::string& folder, const std::string& typesJson) {
  return "{\"backupDir\":" + testing_support::Quoted(folder) + ",\"types\":" + typesJson + "}";
}

// Scans `folder` and returns every result payload, masked as above.
inline std::vector<std::string> ScanResults(
    const std::string& folder, const std::string& typesJson,
    const host::SendOptions& options = testing_support::BuildTreeOptions()) {
  return MaskedResults(testing_support::Send(kScan, ScanPayload(folder, typesJson), options),
                       folder);
}

// Parsed payloads, for tests that look inside them.
inline std::vector<std::unique_ptr<rapidjson::Document>> Parse(
    const std::vector<std::string>& texts) {
  std::vector<std::unique_ptr<rapidjson::Document>> documents;
  for (const std::string& text : texts) {
    documents.push_back(std::make_unique<rapidjson::Document>());
    documents.back()->Parse(text.c_str(), text.size());
  }
  return documents;
}

inline std::string GoldenPath(const std::string& name) {
  // Not derived from __FILE__: a compiler cache may rewrite it to a relative path.
  return std::string(KELDRA_GOLDEN_DIR) + "/" + name;
}

// KELDRA_UPDATE_GOLDEN=1: golden files are written instead of compared.
inline bool Updating() {
  const char* update = std::getenv("KELDRA_UPDATE_GOLDEN");
  return update && *update == '1';
}

// Compares the texts with tests/golden/<name>, one per line.
inline void ExpectGolden(const std::string& name, const std::vector<std::string>& texts) {
  const std::string path = GoldenPath(name);
  if (Updating()) {
    testing_support::MakeFolders(path.substr(0, path.rfind('/') + 1));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& text : texts) out << text << '\n';
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << path;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  ASSERT_EQ(texts.size(), expected.size()) << name;
  for (size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(texts[i], expected[i]) << name << " line " << i + 1;
}

}  // namespace kind_scan

#endif  // TESTS_INTEGRATION_KINDSCANSUPPORT_H_
