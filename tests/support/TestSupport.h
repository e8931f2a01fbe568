// Shared helpers of the test suites.
#ifndef TESTS_SUPPORT_TESTSUPPORT_H_
#define TESTS_SUPPORT_TESTSUPPORT_H_

#include <optional>
#include <string>
#include <vector>

#include "Events.h"
#include "Harness.h"
#include "vorn/Json.h"

namespace testing_support {

// A fresh folder below $TMPDIR (or /tmp), removed with its contents on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder, ending in "/".
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Central European time, as a POSIX rule (no zone database needed): dates of
// June print with +02:00, of January with +01:00.
inline constexpr char kTestZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

// Sets TZ while it lives (date texts follow it), then restores the previous
// value or its absence.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone = kTestZone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// The real-sample folder, or "" when it is absent (tests then skip).
std::string FixturesDir();
#define SKIP_WITHOUT_FIXTURES(dir)                                      \
  do {                                                                  \
    if ((dir).empty()) GTEST_SKIP() << "real samples folder is absent"; \
  } while (0)

void WriteFile(const std::string& path, const std::string& bytes);
// Runs SQL statements on the database file at `path` (created if absent);
// a failure fails the test.
void ExecSql(const std::string& path, const std::string& sql);
std::string ReadFile(const std::string& path);
void MakeFolders(const std::string& path);
// The names in a folder but "." and "..", sorted; none when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// Options for the modules of this build tree.
host::SendOptions BuildTreeOptions();

// Sends one command through the host code and records every event.
host::Recorder Send(const std::string& command, const std::optional<std::string>& payload,
                    host::SendOptions options = BuildTreeOptions());

// The payloads of result events, as compact JSON texts.
std::vector<std::string> ResultTexts(const host::Recorder& recorder);
// The closing status message of a command, as compact JSON.
std::string StatusText(const std::string& command, int status, int errorCode);
// Compact JSON of a value.
std::string Json(const rapidjson::Value& value);
// The text as a JSON string, quotes and escapes included.
std::string Quoted(const std::string& text);

// A snapshot of every entry below a folder: path, size, mode, mtime and a
// digest of the contents, to prove a scan changed nothing.
std::string TreeSnapshot(const std::string& folder);

}  // namespace testing_support

#endif  // TESTS_SUPPORT_TESTSUPPORT_H_
