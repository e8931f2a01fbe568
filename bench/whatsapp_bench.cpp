// WhatsApp scan benchmark: a generated chat store of many messages in many
// chats, scanned through the host code in a fresh process, against the
// sqlite3 shell running the kind's own statements the way the kind runs them
// (media items, push names, sessions, then chat by chat the group members
// and the messages).
#include <sqlite3.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "Harness.h"
#include "builder/BackupBuilder.h"
#include "builder/kinds/ChatStorage.h"

namespace {

using bench::Clock;

constexpr char kMediaSql[] =
    "SELECT Z_PK, ZMEDIALOCALPATH,ZFILESIZE,ZAUTHORNAME,ZTITLE,ZMEDIAURLDATE FROM ZWAMEDIAITEM;";
constexpr char kPushNameSql[] = "SELECT Z_PK,ZJID,ZPUSHNAME FROM ZWAPROFILEPUSHNAME;";
constexpr char kSessionSql[] =
    "SELECT Z_PK, ZCONTACTJID, ZPARTNERNAME,ZLASTMESSAGEDATE,ZGROUPINFO FROM ZWACHATSESSION ORDER "
    "BY ZLASTMESSAGEDATE DESC;";

// The statements the kind prepares, with each chat's id written in: the
// shell cannot bind parameters per chat. Sessions are chosen as the kind
// chooses them.
bool WriteFloorScript(const std::string& database, const std::string& script, size_t* listed) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  std::ofstream out(script);
  out << kMediaSql << "\n" << kPushNameSql << "\n" << kSessionSql << "\n";
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT Z_PK, ZGROUPINFO FROM ZWACHATSESSION WHERE ZLASTMESSAGEDATE IS NOT "
                     "NULL AND ZCONTACTJID IS NOT NULL AND ZCONTACTJID NOT LIKE '%@status' AND "
                     "ZPARTNERNAME <> '' ORDER BY ZLASTMESSAGEDATE DESC",
                     -1, &statement, nullptr);
  *listed = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    long long id = sqlite3_column_int64(statement, 0);
    if (sqlite3_column_type(statement, 1) != SQLITE_NULL)
      out << "SELECT Z_PK,ZISADMIN,ZMEMBERJID from ZWAGROUPMEMBER where ZCHATSESSION = " << id
          << ";\n";
    out << "SELECT ZFROMJID,ZTOJID, ZPUSHNAME, ZTEXT, ZMEDIAITEM, ZMESSAGEDATE,ZISFROMME,"
           "ZGROUPMEMBER FROM ZWAMESSAGE WHERE ZCHATSESSION = "
        << id << " ORDER BY ZSORT;\n";
    ++*listed;
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return static_cast<bool>(out);
}

// One scan through the host code; prints "<ms> <events> <bytes>".
int RunScanChild(const std::string& folder, const std::string& types) {
  host::SendOptions options;
  options.decryptModulePath = "none";
  std::string error;
  if (!host::LoadModules(options, &error)) {
    std::fprintf(stderr, "whatsapp_bench: %s\n", error.c_str());
    return 1;
  }
  bench::CountingSink sink;
  std::string payload = "{\"backupDir\":\"" + folder + "\",\"types\":" + types + "}";
  Clock::time_point start = Clock::now();
  host::RunSend(options, "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP", payload, sink, &error);
  double ms = bench::MillisecondsSince(start);
  std::printf("%.3f %zu %zu\n", ms, sink.events, sink.bytes);
  std::fflush(stdout);
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--scan") == 0) return RunScanChild(argv[2], argv[3]);

  size_t chats = 1000;
  size_t messages = 300000;
  uint64_t seed = 1;
  int repeat = 5;
  std::string cache = "/tmp/keldra-whatsapp-bench";
  CLI::App app{"Times the WhatsApp kind against the sqlite3 shell."};
  app.add_option("--chats", chats, "chat sessions")->check(CLI::Range(1, 100000));
  app.add_option("--messages", messages, "messages")->check(CLI::Range(1, 10000000));
  app.add_option("--seed", seed, "seed of the generated store");
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 100));
  app.add_option("--cache", cache, "folder keeping the built backups");
  CLI11_PARSE(app, argc, argv);

  std::string base = cache + "/chats" + std::to_string(chats) + "-messages" +
                     std::to_string(messages) + "-seed" + std::to_string(seed);
  if (!bench::EnsureBuilt(base, [&](const std::string& f) {
        builder::BackupBuilder backup(f);
        builder::whatsapp::AddGeneratedChats(backup, chats, messages, seed);
        backup.Finish();
        return std::to_string(chats) + " chats, " + std::to_string(messages) + " messages";
      }))
    return 1;
  std::string folder = base + "/";
  std::string fileID = builder::BackupBuilder::FileID(builder::whatsapp::kDomain,
                                                      builder::whatsapp::kChatStoragePath);
  std::string database = folder + fileID.substr(0, 2) + "/" + fileID;
  std::string script = base + ".floor.sql";
  size_t listed = 0;
  if (!WriteFloorScript(database, script, &listed)) return 1;

  const std::string self = "/proc/self/exe";
  const std::string uri = "file:" + database + "?immutable=1";
  std::vector<bench::Sample> floors, scans, empties;
  for (int i = 0; i < repeat; ++i) {
    floors.push_back(bench::RunChild("sqlite3", {"sqlite3", uri}, script));
    scans.push_back(bench::RunChild(self, {"whatsapp_bench", "--scan", folder, "[10]"}));
    empties.push_back(bench::RunChild(self, {"whatsapp_bench", "--scan", folder, "[]"}));
  }
  for (const auto* samples : {&floors, &scans, &empties})
    for (const bench::Sample& sample : *samples)
      if (!sample.ok) {
        std::fprintf(stderr, "whatsapp_bench: a measured run failed (is sqlite3 installed?)\n");
        return 1;
      }
  double floorMs = bench::MedianWall(floors);
  double scanMs = bench::MedianField(scans, 0);
  double emptyMs = bench::MedianField(empties, 0);
  std::printf("\nWhatsApp scan: %zu messages in %zu chats (%zu listed), median of %d\n", messages,
              chats, listed, repeat);
  std::printf("%-40s %10s %9s %14s\n", "", "time (ms)", "x floor", "peak RSS (MB)");
  std::printf("%-40s %10.1f %9.2f %14.1f\n", "sqlite3 shell, same statements (floor)", floorMs, 1.0,
              bench::MedianRssMb(floors));
  std::printf("%-40s %10.1f %9.2f %14.1f\n", "scan of kind 10 through the host", scanMs,
              scanMs / floorMs, bench::MedianRssMb(scans));
  std::printf("%-40s %10.1f %9.2f %14.1f\n", "  of which the scan of no kind", emptyMs,
              emptyMs / floorMs, bench::MedianRssMb(empties));
  std::printf("\nevents per scan: %.0f, %.1f MB of event text\n", bench::MedianField(scans, 1),
              bench::MedianField(scans, 2) / 1e6);
  return 0;
}
