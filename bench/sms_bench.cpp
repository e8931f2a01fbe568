// Messages benchmark: a scan of kind 1 (the platform reads sms.db, the
// module forwards every conversation) through the host code, against the
// sqlite3 shell running the reader's own SELECT statements on the same file;
// and a scan of kind 2 (a large attachment table resolved in a large
// manifest) against the shell reading both tables.
//
// Every timed run is a fresh process (this program re-executed, or sqlite3),
// so its peak resident size is its own. Backups are built once per size and
// reused.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "Harness.h"
#include "builder/BackupBuilder.h"
#include "builder/Synthetic.h"
#include "builder/kinds/SmsDatabase.h"
#include "platform/sms/SmsReader.h"

namespace {

using bench::Clock;
using bench::CountingSink;
using bench::Median;
using bench::MillisecondsSince;
using bench::PeakRssKb;

double SelfCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return bench::CpuMs(usage);
}

// Deterministic words for message texts of realistic lengths.
class Words {
 public:
  explicit Words(uint64_t seed) : state_(seed * 2862933555777941757ULL + 3037000493ULL) {}
  uint64_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return state_ >> 33;
  }
  std::string Text() {
    static const char* const kWords[] = {
        "see",   "you",   "at",   "the",    "station", "tomorrow", "ok",      "thanks",
        "lunch", "what",  "time", "works",  "for",     "me",       "running", "late",
        "sorry", "call",  "when", "you're", "free",    "weekend",  "plans",   "\xF0\x9F\x98\x82",
        "sure",  "great", "got",  "it",     "on",      "my",       "way",     "\xC3\xA9t\xC3\xA9"};
    size_t count = 2 + Next() % 24;
    std::string text;
    for (size_t i = 0; i < count; ++i) {
      if (i) text += ' ';
      text += kWords[Next() % (sizeof kWords / sizeof kWords[0])];
    }
    return text;
  }

 private:
  uint64_t state_;
};

constexpr int64_t kFirstDate = 600000000;  // 2020-01-05, seconds since 2001

// `messages` messages spread evenly over `chats` conversations (a fifth of
// them groups); one in five keeps its text in attributedBody alone, one in
// twenty has an attachment.
std::vector<builder::SmsChatSpec> SyntheticChats(size_t messages, size_t chats, size_t first,
                                                 size_t count, Words& words) {
  std::vector<builder::SmsChatSpec> specs;
  for (size_t c = first; c < first + count && c < chats; ++c) {
    builder::SmsChatSpec chat;
    chat.group = c % 5 == 0;
    chat.identifier =
        chat.group ? "chat" + std::to_string(100000000 + c) : "+1555" + std::to_string(1000000 + c);
    chat.participants.push_back(chat.group ? "+1556" + std::to_string(1000000 + c)
                                           : chat.identifier);
    if (chat.group) chat.participants.push_back("user" + std::to_string(c) + "@example.com");
    chat.service = c % 3 == 0 ? "SMS" : "iMessage";
    size_t share = messages / chats + (c < messages % chats ? 1 : 0);
    for (size_t m = 0; m < share; ++m) {
      builder::SmsMessageSpec message;
      message.fromMe = words.Next() % 2 == 0;
      message.sender = message.fromMe ? "" : chat.participants[m % chat.participants.size()];
      message.text = words.Text();
      message.bodyOnly = m % 5 == 4;
      message.date = kFirstDate + static_cast<int64_t>(c * 1000 + m) * 37;
      message.dateRead = message.fromMe ? 0 : message.date + 60;
      if (m % 20 == 19) {
        builder::SmsAttachmentSpec attachment;
        attachment.filename = "~/Library/SMS/Attachments/" + std::to_string(c % 100) + "/" +
                              std::to_string(m) + "/IMG_" + std::to_string(c * 1000 + m) + ".JPG";
        attachment.stored = false;
        attachment.content = std::string(1000, 'j');
        *message.text = "\xEF\xBF\xBC" + *message.text;
        message.attachments.push_back(attachment);
      }
      chat.messages.push_back(std::move(message));
    }
    specs.push_back(std::move(chat));
  }
  return specs;
}

void BuildMessagesBackup(const std::string& folder, size_t messages, size_t chats) {
  builder::BackupBuilder backup(folder);
  Words words(7);
  builder::AddSmsDatabase(backup, builder::SmsGeneration::kIos14, {}, [&](auto& writer) {
    for (size_t first = 0; first < chats; first += 100)
      for (const auto& chat : SyntheticChats(messages, chats, first, 100, words))
        writer.AddChat(chat);
  });
  backup.Finish();
}

// `attachments` attachment rows, each listed in the manifest (half of them
// with a stored file), among `rows` synthetic manifest rows.
void BuildAttachmentBackup(const std::string& folder, size_t attachments, size_t rows) {
  builder::BackupBuilder backup(folder);
  builder::AddSmsDatabase(backup, builder::SmsGeneration::kIos14, {}, [&](auto& writer) {
    for (size_t i = 0; i < attachments; ++i)
      writer.AddAttachmentRow("~/Library/SMS/Attachments/" + std::to_string(i % 256) + "/" +
                                  std::to_string(i) + "/IMG_" + std::to_string(i) + ".HEIC",
                              "image/heic", kFirstDate + static_cast<int64_t>(i));
  });
  for (size_t i = 0; i < attachments; ++i) {
    std::string path = "Library/SMS/Attachments/" + std::to_string(i % 256) + "/" +
                       std::to_string(i) + "/IMG_" + std::to_string(i) + ".HEIC";
    // Every tenth attachment is not in the manifest, half of the rest have
    // no stored file.
    if (i % 10 == 9) continue;
    if (i % 2)
      backup.AddFile("MediaDomain", path, "heic");
    else
      backup.AddManifestEntry("MediaDomain", path, builder::kFlagFile);
  }
  builder::AddSyntheticFiles(backup, rows, 1);
  backup.Finish();
}

// ---- child side -----------------------------------------------------------

// Scans `folder` for kind `type` and prints
// "<ms> <cpu ms> <events> <bytes> <peak kB>".
int RunChild(const std::string& type, const std::string& folder, const std::string& tempDir) {
  host::SendOptions options;
  options.decryptModulePath = "none";
  options.tempDir = tempDir;
  std::string error;
  if (!host::LoadModules(options, &error)) {
    std::fprintf(stderr, "sms_bench: %s\n", error.c_str());
    return 1;
  }
  std::string payload = "{\"backupDir\":\"" + folder + "\",\"types\":[" + type + "]}";
  CountingSink sink;
  double cpuStart = SelfCpuMs();
  Clock::time_point start = Clock::now();
  int rc = host::RunSend(options, "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP", payload, sink, &error);
  double ms = MillisecondsSince(start);
  double cpuMs = SelfCpuMs() - cpuStart;
  std::printf("%.3f %.3f %zu %zu %ld\n", ms, cpuMs, sink.events, sink.bytes, PeakRssKb());
  std::fflush(stdout);
  std::_Exit(rc);
}

// ---- parent side ----------------------------------------------------------

// The whole process as the parent saw it; the scan as the child timed it.
struct Sample : bench::Usage {
  explicit Sample(const bench::Usage& usage = {}) : bench::Usage(usage) {}
  double scanMs = 0;
  double scanCpuMs = 0;
  size_t events = 0;
  size_t bytes = 0;
};

Sample RunScan(const std::string& type, const std::string& folder, const std::string& tempDir) {
  std::string output;
  Sample sample(bench::RunProcess({"/proc/self/exe", "--child", type, folder, tempDir}, &output));
  std::istringstream fields(output);
  long childPeak = 0;
  fields >> sample.scanMs >> sample.scanCpuMs >> sample.events >> sample.bytes >> childPeak;
  if (!fields) sample.ok = false;
  return sample;
}

// The shell running `statements` on `database`, output discarded.
Sample RunFloor(const std::string& database, const std::vector<std::string>& statements) {
  std::string sql;
  for (const std::string& statement : statements) sql += statement + ";\n";
  return Sample(bench::RunProcess({"sqlite3", "-readonly", database, sql}, nullptr));
}

std::string StoredSmsDb(const std::string& folder) {
  std::string id = builder::BackupBuilder::FileID("HomeDomain", "Library/SMS/sms.db");
  return folder + "/" + id.substr(0, 2) + "/" + id;
}

void PrintRow(const char* name, double ms, double floorMs, double cpuMs, double floorCpuMs,
              double rssKb) {
  std::printf("%-34s %10.1f %9.2f %10.1f %9.2f %14.1f\n", name, ms, ms / floorMs, cpuMs,
              cpuMs / floorCpuMs, rssKb / 1024);
}

void PrintHeader() {
  std::printf("%-34s %10s %9s %10s %9s %14s\n", "", "wall (ms)", "x floor", "cpu (ms)", "x floor",
              "peak RSS (MB)");
}

bool AllOk(const std::vector<Sample>& samples) {
  for (const Sample& sample : samples)
    if (!sample.ok) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child") == 0) return RunChild(argv[2], argv[3], argv[4]);

  size_t messages = 200000;
  size_t chats = 2000;
  size_t attachments = 100000;
  size_t manifestRows = 300000;
  int repeat = 5;
  std::string cache = "/tmp/keldra-sms-bench";
  CLI::App app{"Times the messages kinds against the sqlite3 shell."};
  app.add_option("--messages", messages, "messages in sms.db")->check(CLI::Range(1000, 5000000));
  app.add_option("--chats", chats, "conversations")->check(CLI::Range(1, 100000));
  app.add_option("--attachments", attachments, "attachment rows for kind 2")
      ->check(CLI::Range(1000, 5000000));
  app.add_option("--manifest-rows", manifestRows, "synthetic manifest rows for kind 2")
      ->check(CLI::Range(1000, 5000000));
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 100));
  app.add_option("--cache", cache, "folder keeping the built backups");
  bool buildOnly = false;
  app.add_flag("--build-only", buildOnly,
               "build the backups below --cache and stop (for timing whole commands on them)");
  CLI11_PARSE(app, argc, argv);

  std::string messagesFolder =
      cache + "/messages" + std::to_string(messages) + "-chats" + std::to_string(chats);
  std::string attachmentFolder =
      cache + "/attachments" + std::to_string(attachments) + "-rows" + std::to_string(manifestRows);
  std::string scratch = cache + "/scratch/";
  mkdir(cache.c_str(), 0700);
  mkdir(scratch.c_str(), 0700);
  if (!bench::EnsureBuilt(messagesFolder,
                          [&](const std::string& f) {
                            BuildMessagesBackup(f, messages, chats);
                            return "built";
                          }) ||
      !bench::EnsureBuilt(attachmentFolder, [&](const std::string& f) {
        BuildAttachmentBackup(f, attachments, manifestRows);
        return "built";
      }))
    return 1;
  if (buildOnly) {
    std::printf("%s\n%s\n", messagesFolder.c_str(), attachmentFolder.c_str());
    return 0;
  }

  std::string smsDb = StoredSmsDb(messagesFolder);
  std::vector<std::string> statements = host::sms::ReaderStatements(smsDb, host::PlatformOptions{});
  std::string attachmentDb = StoredSmsDb(attachmentFolder);
  std::vector<std::string> attachmentStatement = {
      "select filename,mime_type,created_date from attachment"};
  std::vector<std::string> manifestStatement = {
      "select fileID,domain,relativePath,flags from Files"};

  std::vector<Sample> floors, scans, attachmentFloors, manifestFloors, attachmentScans, empties;
  for (int i = 0; i < repeat; ++i) {
    floors.push_back(RunFloor(smsDb, statements));
    scans.push_back(RunScan("1", messagesFolder, scratch));
    attachmentFloors.push_back(RunFloor(attachmentDb, attachmentStatement));
    manifestFloors.push_back(RunFloor(attachmentFolder + "/Manifest.db", manifestStatement));
    attachmentScans.push_back(RunScan("2", attachmentFolder, scratch));
    empties.push_back(RunScan("", messagesFolder, scratch));
  }
  for (const auto* samples :
       {&floors, &scans, &attachmentFloors, &manifestFloors, &attachmentScans, &empties}) {
    if (!AllOk(*samples)) {
      std::fprintf(stderr, "sms_bench: a measured run failed (is sqlite3 installed?)\n");
      return 1;
    }
  }

  double floorMs = Median(floors, &Sample::wallMs);
  double floorCpuMs = Median(floors, &Sample::cpuMs);
  std::printf("\nMessages: %zu messages in %zu chats, median of %d, %ld CPUs, %s\n", messages,
              chats, repeat, sysconf(_SC_NPROCESSORS_ONLN), bench::CpuModel().c_str());
  std::printf("reader statements (the floor runs exactly these):\n");
  for (const std::string& statement : statements) std::printf("  %s\n", statement.c_str());
  std::printf("\n");
  PrintHeader();
  PrintRow("sqlite3 shell (floor)", floorMs, floorMs, floorCpuMs, floorCpuMs,
           Median(floors, &Sample::peakRssKb));
  PrintRow("scan of kind 1 (host + module)", Median(scans, &Sample::scanMs), floorMs,
           Median(scans, &Sample::scanCpuMs), floorCpuMs, Median(scans, &Sample::peakRssKb));
  PrintRow("scan of no kind (same backup)", Median(empties, &Sample::scanMs), floorMs,
           Median(empties, &Sample::scanCpuMs), floorCpuMs, Median(empties, &Sample::peakRssKb));
  std::printf("kind 1: %zu events, %.1f MB of event text\n", scans.front().events,
              scans.front().bytes / 1048576.0);

  double attachmentFloorMs =
      Median(attachmentFloors, &Sample::wallMs) + Median(manifestFloors, &Sample::wallMs);
  double attachmentFloorCpuMs =
      Median(attachmentFloors, &Sample::cpuMs) + Median(manifestFloors, &Sample::cpuMs);
  std::printf("\nAttachments: %zu attachment rows, %zu + %zu manifest rows, median of %d\n",
              attachments, manifestRows, attachments - attachments / 10, repeat);
  PrintHeader();
  PrintRow("sqlite3 shell, attachment table", Median(attachmentFloors, &Sample::wallMs),
           attachmentFloorMs, Median(attachmentFloors, &Sample::cpuMs), attachmentFloorCpuMs,
           Median(attachmentFloors, &Sample::peakRssKb));
  PrintRow("sqlite3 shell, manifest", Median(manifestFloors, &Sample::wallMs), attachmentFloorMs,
           Median(manifestFloors, &Sample::cpuMs), attachmentFloorCpuMs,
           Median(manifestFloors, &Sample::peakRssKb));
  PrintRow("scan of kind 2 (host + module)", Median(attachmentScans, &Sample::scanMs),
           attachmentFloorMs, Median(attachmentScans, &Sample::scanCpuMs), attachmentFloorCpuMs,
           Median(attachmentScans, &Sample::peakRssKb));
  std::printf(
      "\nScan times are RunSend alone, as the child measures it (module loading excluded);\n"
      "floors are whole sqlite3 runs. cpu is user + system time. The x floor of kind 2 is\n"
      "against the sum of both shells.\n");
  return 0;
}
