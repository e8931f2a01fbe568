// Scan benchmark of the five SQLite kinds (contacts, calendar, calls,
// Safari bookmarks and history) over one large synthetic backup, against
// the sqlite3 shell running the kinds' own statements.
//
// Every timed run is a fresh process (this program re-executed): the scan
// goes through the host code in-process (host::RunSend with a sink that
// counts and discards events), so its time and peak resident size cover the
// whole road of a scan. A second mode hands the module a bare send function
// instead of the host, to show what the host's routing costs.
#include <dlfcn.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "Harness.h"
#include "builder/BackupBuilder.h"
#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CalendarWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"
#include "keldra/Names.h"
#include "keldra/Plugin.h"
#include "vorn/QoTask.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::MillisecondsSince;
using bench::PeakRssKb;

struct Size {
  int contacts = 20000;
  int calls = 50000;  // two fifths in call_history.db, the rest in the store
  int visits = 100000;
};

constexpr int64_t kJune2024 = 739000000;  // seconds since 2001
constexpr int64_t kUnixOf2001 = 978307200;

// ---- the backup --------------------------------------------------------

void AddContacts(builder::BackupBuilder& backup, int count) {
  builder::AddressBookWriter book;
  const char* labels[] = {"_$!<Mobile>!$_", "_$!<Home>!$_", "_$!<Work>!$_", "Gym"};
  for (int i = 0; i < count; ++i) {
    builder::AddressBookWriter::Person person;
    person.first = "First" + std::to_string(i);
    person.last = "Last" + std::to_string(i % 997);
    if (i % 3 == 0) person.organization = "Company " + std::to_string(i % 101);
    if (i % 5 == 0) person.jobTitle = "Engineer";
    if (i % 7 == 0) person.birthday = -86400 * (i % 20000);
    person.creationDate = kJune2024 - 86400 * (i % 1000);
    person.modificationDate = kJune2024 - 3600 * (i % 1000);
    const int64_t id = book.AddPerson(person);
    book.AddPhone(id, "+1 555 " + std::to_string(1000000 + i), labels[i % 4]);
    if (i % 2 == 0) book.AddPhone(id, "+1 556 " + std::to_string(1000000 + i), labels[(i + 1) % 4]);
    book.AddEmail(id, "person" + std::to_string(i) + "@example.com", labels[(i + 2) % 4]);
    if (i % 4 == 0) {
      book.AddPostalAddress(id, "_$!<Home>!$_",
                            {{"Street", std::to_string(i) + " Main Street"},
                             {"City", "Springfield"},
                             {"State", "IL"},
                             {"ZIP", std::to_string(60000 + i % 9999)},
                             {"Country", "United States"},
                             {"CountryCode", "us"}});
    }
    if (i % 10 == 0) {
      builder::AddressBookWriter::MultiValue chat;
      chat.recordId = id;
      chat.property = builder::AddressBookWriter::kMessaging;
      chat.label = "_$!<Other>!$_";
      chat.entries = {{"service", "Jabber"}, {"username", "user" + std::to_string(i)}};
      book.AddMultiValue(chat);
    }
    if (i % 8 == 0) {
      builder::AddressBookWriter::MultiValue date;
      date.recordId = id;
      date.property = builder::AddressBookWriter::kDate;
      date.label = "_$!<Anniversary>!$_";
      date.value = std::to_string(86400 * (i % 8000));
      book.AddMultiValue(date);
    }
  }
  book.AddTo(backup);
}

void AddCalls(builder::BackupBuilder& backup, int count) {
  builder::CallHistoryDbWriter older;
  const int olderCount = count * 2 / 5;
  for (int i = 0; i < olderCount; ++i) {
    builder::CallHistoryDbWriter::Call call;
    call.address = "+1555" + std::to_string(1000000 + i % 5000);
    call.date = kJune2024 + kUnixOf2001 - 600 * int64_t{i};
    call.duration = i % 900;
    call.flags = i % 3 ? 5 : 4;
    call.name = i % 4 ? "" : "Caller " + std::to_string(i % 5000);
    call.countryCode = "us";
    call.networkCode = "410";
    older.AddCall(call);
  }
  older.AddTo(backup);
  builder::CallStoreWriter store;
  for (int i = olderCount; i < count; ++i) {
    builder::CallStoreWriter::CallRecord call;
    call.name = i % 4 ? "" : "Caller " + std::to_string(i % 5000);
    call.address = "+1555" + std::to_string(1000000 + i % 5000);
    call.date = kJune2024 - 600.25 * i;
    call.originated = i % 3;
    call.duration = (i % 900) + 0.5;
    call.isoCountryCode = "us";
    call.serviceProvider = "com.apple.Telephony";
    call.location = i % 6 ? "" : "Springfield, IL";
    store.AddCall(call);
  }
  store.AddTo(backup);
}

void AddHistory(builder::BackupBuilder& backup, int visits) {
  builder::HistoryWriter history;
  const int pages = std::max(1, visits / 5);
  for (int i = 0; i < pages; ++i)
    history.AddItem("https://www" + std::to_string(i % 300) + ".example.com/path/" +
                    std::to_string(i) + "?ref=bench");
  for (int i = 0; i < visits; ++i)
    history.AddVisit(1 + (i * 7919) % pages, kJune2024 - 37.5 * i,
                     "Example page " + std::to_string((i * 7919) % pages));
  history.AddTo(backup);
}

void AddCalendar(builder::BackupBuilder& backup) {
  builder::CalendarWriter calendar;
  for (int c = 1; c <= 10; ++c) {
    builder::CalendarWriter::CalendarRow row;
    row.uuid = "CAL-" + std::to_string(c);
    row.title = "Calendar " + std::to_string(c);
    row.color = "#1BADF8";
    calendar.AddCalendar(row);
  }
  for (int i = 1; i <= 3000; ++i) {
    builder::CalendarWriter::Item item;
    item.calendarId = 1 + i % 10;
    item.uuid = "ITEM-" + std::to_string(i);
    item.summary = "Event " + std::to_string(i);
    item.startDate = kJune2024 + 3600.0 * i;
    item.endDate = kJune2024 + 3600.0 * i + 1800;
    item.startTz = "America/Chicago";
    const int64_t id = calendar.AddItem(item);
    builder::CalendarWriter::Alarm alarm;
    alarm.itemId = id;
    if (i % 2 == 0) {
      alarm.uuid = "ALARM-" + std::to_string(i);
      calendar.AddAlarm(alarm);
    }
    if (i % 6 == 0) {
      alarm.uuid = "ALARM2-" + std::to_string(i);
      alarm.triggerInterval = -3600;
      calendar.AddAlarm(alarm);
    }
    if (i % 5 == 0) {
      builder::CalendarWriter::Recurrence recurrence;
      recurrence.itemId = id;
      recurrence.uuid = "REC-" + std::to_string(i);
      calendar.AddRecurrence(recurrence);
    }
  }
  calendar.AddTo(backup);
}

void AddBookmarks(builder::BackupBuilder& backup) {
  builder::BookmarksWriter bookmarks;
  for (int f = 0; f < 50; ++f) {
    const int64_t folder = bookmarks.AddFolder(1, "Folder " + std::to_string(f), f);
    for (int b = 0; b < 10; ++b)
      bookmarks.AddBookmark(folder, "Bookmark " + std::to_string(b),
                            "https://site" + std::to_string(f * 10 + b) + ".example.com/", 9 - b);
  }
  bookmarks.AddTo(backup);
}

std::string BuildBackup(const std::string& folder, const Size& size) {
  builder::BackupBuilder backup(folder);
  AddContacts(backup, size.contacts);
  AddCalls(backup, size.calls);
  AddHistory(backup, size.visits);
  AddCalendar(backup);
  AddBookmarks(backup);
  backup.Finish();
  return "built";
}

// ---- the floor ---------------------------------------------------------

struct FloorRun {
  std::string database;  // stored path
  std::string sql;
};

std::string StoredPath(const std::string& folder, const std::string& domain,
                       const std::string& path) {
  const std::string id = builder::BackupBuilder::FileID(domain, path);
  return folder + id.substr(0, 2) + "/" + id;
}

// The statements each kind runs, database by database, as the shell gets
// them: the multi-value statement once per property, its number in place of
// the parameter.
std::vector<FloorRun> FloorRuns(const std::string& folder) {
  std::string contacts =
      "select rowid,First,Last,Middle,Prefix,Suffix,FirstPhonetic,MiddlePhonetic,LastPhonetic,"
      "DisplayName,Organization,Department,Note,Kind,Birthday,JobTitle,Nickname,CreationDate,"
      "ModificationDate from ABPerson;";
  for (int property : {13, 5})
    contacts +=
        "select v.uid,v.record_id,e.value as value,k.value as value_type,l.value as label from "
        "ABMultiValue v left join ABMultiValueLabel l on v.label = l.rowid inner join "
        "ABMultiValueEntry e inner join ABMultiValueEntryKey k on e.parent_id = v.uid and e.key "
        "= k.rowid and v.property = " +
        std::to_string(property) + " order by uid;";
  for (int property : {22, 4, 3, 12, 23})
    contacts +=
        "select v.uid,v.record_id,v.value,l.value as label from ABMultiValue v left join "
        "ABMultiValueLabel l on v.label = l.rowid where v.property == " +
        std::to_string(property) + " and v.value is not null;";
  const std::string calendar =
      "select c.UUID,c.title,c.flags,c.color from Calendar c;"
      "select c.UUID as cUUID,ci.UUID as ciUUID,al.UUID alUUID,al.trigger_interval,ci.url,"
      "ci.summary,ci.start_date, ci.end_date,ci.start_tz,ci.all_day,ci.description,l.title as "
      "location from Alarm al inner join CalendarItem ci on al.calendaritem_owner_id == ci.ROWID "
      "INNER join Calendar c on c.rowid == ci.calendar_id left join Location l on l.rowid == "
      "ci.location_id;"
      "select c.UUID cUUID,ci.UUID ciUUID,re.UUID reUUID,re.frequency,re.interval,"
      "re.cached_end_date,re.count,ci.url,ci.summary,ci.start_date,ci.end_date,ci.start_tz,"
      "ci.all_day,ci.description,l.title as location from Recurrence re inner join "
      "CalendarItem ci on re.owner_id == ci.ROWID INNER join Calendar c on c.rowid == "
      "ci.calendar_id left join Location l on l.rowid == ci.location_id;";
  return {
      {StoredPath(folder, "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"), contacts},
      {StoredPath(folder, "HomeDomain", "Library/Calendar/Calendar.sqlitedb"), calendar},
      {StoredPath(folder, "WirelessDomain", "Library/CallHistory/call_history.db"),
       "select name,address,date,flags,duration,country_code,network_code from call"},
      {StoredPath(folder, "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"),
       "select zname,zaddress,zdate,zoriginated,zduration,ziso_country_code,zservice_provider,"
       "zlocation from zcallrecord  order by zdate desc"},
      {StoredPath(folder, "HomeDomain", "Library/Safari/Bookmarks.db"),
       "select id,parent,title,url,num_children,order_index,special_id from bookmarks"},
      {StoredPath(folder, "HomeDomain", "Library/Safari/History.db"),
       "select hv.title,hi.url,hv.visit_time from history_visits hv left join history_items hi "
       "on hi.id =  hv.history_item order by hv.visit_time desc;"},
  };
}

// ---- child side --------------------------------------------------------

std::string ScanPayload(const std::string& folder, const std::string& types) {
  return "{\"backupDir\":\"" + folder + "\",\"types\":" + types + "}";
}

// Prints "<scan ms> <events> <bytes> <peak kB>".
int RunHostChild(const std::string& folder, const std::string& types) {
  host::SendOptions options;
  options.decryptModulePath = "none";
  options.taskId = "bench";
  std::string error;
  if (!host::LoadModules(options, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  bench::CountingSink sink;
  Clock::time_point start = Clock::now();
  int rc = host::RunSend(options, keldra::names::kDoScan, ScanPayload(folder, types), sink, &error);
  double ms = MillisecondsSince(start);
  std::printf("%.3f %zu %zu %ld\n", ms, sink.events, sink.bytes, PeakRssKb());
  std::fflush(stdout);
  std::_Exit(rc == 0 ? 0 : 1);
}

size_t g_messages = 0;
size_t g_bytes = 0;

intptr_t CountingSend(PluginMessage* message) {
  ++g_messages;
  if (message->payloadForm == kPayloadText && message->payload)
    g_bytes += std::strlen(static_cast<const char*>(message->payload));
  return 0;
}

// The module alone: a send function that only counts. Same output line.
int RunDirectChild(const std::string& folder, const std::string& types) {
  const std::string path = host::ModuleBesideProgram("libkeldra.so");
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto registerModule =
      handle ? reinterpret_cast<RegisterModuleFunction>(dlsym(handle, "RegisterModule")) : nullptr;
  if (!registerModule) {
    std::fprintf(stderr, "cannot load %s\n", path.c_str());
    return 1;
  }
  static ModuleRegistration registration{};
  registration.hostSend = &CountingSend;
  registration.moduleInstance = &registration;
  registerModule(&registration);
  auto task = QoTaskSchedular::Get().AddTask("bench");
  const std::string payload = ScanPayload(folder, types);
  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  message.taskId = "bench";
  message.target = keldra::names::kDoScan;
  message.payloadForm = kPayloadText;
  message.payload = const_cast<char*>(payload.c_str());
  message.payloadLength = payload.size();
  Clock::time_point start = Clock::now();
  registration.moduleReceive(&message);
  double ms = MillisecondsSince(start);
  std::printf("%.3f %zu %zu %ld\n", ms, g_messages, g_bytes, PeakRssKb());
  std::fflush(stdout);
  std::_Exit(0);
}

// ---- parent side -------------------------------------------------------

// The whole process as the parent saw it (cpu: start, module loading and
// exit included); the scan as the child saw it.
struct Sample : bench::Usage {
  explicit Sample(const bench::Usage& usage = {}) : bench::Usage(usage) {}
  double scanMs = 0;
  size_t events = 0;
  size_t bytes = 0;
};

Sample RunFloor(const std::vector<FloorRun>& runs) {
  Sample total;
  total.ok = true;
  for (const FloorRun& run : runs) {
    bench::Usage one = bench::RunProcess({"sqlite3", run.database, run.sql}, nullptr);
    total.ok = total.ok && one.ok;
    total.wallMs += one.wallMs;
    total.cpuMs += one.cpuMs;
    total.peakRssKb = std::max(total.peakRssKb, one.peakRssKb);
  }
  total.scanMs = total.wallMs;
  return total;
}

Sample RunScan(const char* mode, const std::string& folder, const std::string& types) {
  std::string output;
  Sample sample(bench::RunProcess({"/proc/self/exe", "--child", mode, folder, types}, &output));
  std::istringstream fields(output);
  fields >> sample.scanMs >> sample.events >> sample.bytes >> sample.peakRssKb;
  if (!fields) sample.ok = false;
  return sample;
}

bool AllOk(const std::vector<Sample>& samples) {
  return std::all_of(samples.begin(), samples.end(), [](const Sample& s) { return s.ok; });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
    if (std::strcmp(argv[2], "direct") == 0) return RunDirectChild(argv[3], argv[4]);
    return RunHostChild(argv[3], argv[4]);
  }
  Size size;
  int repeat = 5;
  bool perKind = false;
  std::string cache = "/tmp/keldra-sqlite-kinds-bench";
  CLI::App app{"Times a scan of the five SQLite kinds against the sqlite3 shell."};
  app.add_option("--contacts", size.contacts, "persons in the address book")
      ->check(CLI::Range(1, 1000000));
  app.add_option("--calls", size.calls, "calls in both call databases")
      ->check(CLI::Range(1, 10000000));
  app.add_option("--visits", size.visits, "Safari history visits")->check(CLI::Range(1, 10000000));
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 100));
  app.add_flag("--per-kind", perKind, "also time each kind alone against its own floor");
  app.add_option("--cache", cache, "folder keeping the built backup");
  CLI11_PARSE(app, argc, argv);

  const std::string folder = cache + "/c" + std::to_string(size.contacts) + "-k" +
                             std::to_string(size.calls) + "-v" + std::to_string(size.visits);
  if (!bench::EnsureBuilt(folder, [&](const std::string& f) { return BuildBackup(f, size); }))
    return 1;
  const std::string backupDir = folder + "/";
  const std::vector<FloorRun> floorRuns = FloorRuns(backupDir);

  // Interleaved, so that every measurement sees the same machine state.
  std::vector<Sample> floors, scans, directs, idles;
  for (int i = 0; i < repeat; ++i) {
    floors.push_back(RunFloor(floorRuns));
    scans.push_back(RunScan("host", backupDir, "[0,3,4,8,9]"));
    directs.push_back(RunScan("direct", backupDir, "[0,3,4,8,9]"));
    idles.push_back(RunScan("host", backupDir, "[]"));
  }
  if (!AllOk(floors) || !AllOk(scans) || !AllOk(directs) || !AllOk(idles)) {
    std::fprintf(stderr, "sqlite_kinds_bench: a measured run failed (is sqlite3 installed?)\n");
    return 1;
  }

  const double floorMs = Median(floors, &Sample::wallMs);
  const double floorCpuMs = Median(floors, &Sample::cpuMs);
  std::printf(
      "\nSQLite kinds scan: %d contacts, %d calls, %d history visits; median of %d; "
      "%ld CPUs, %s\n\n",
      size.contacts, size.calls, size.visits, repeat, sysconf(_SC_NPROCESSORS_ONLN),
      bench::CpuModel().c_str());
  std::printf("%-34s %10s %8s %10s %8s %10s %9s %10s\n", "", "time (ms)", "x floor", "CPU (ms)",
              "x floor", "RSS (MB)", "messages", "JSON (MB)");
  auto row = [&](const char* name, const std::vector<Sample>& samples, double ms) {
    const double cpuMs = Median(samples, &Sample::cpuMs);
    std::printf("%-34s %10.1f %8.2f %10.1f %8.2f %10.1f %9zu %10.1f\n", name, ms, ms / floorMs,
                cpuMs, cpuMs / floorCpuMs, Median(samples, &Sample::peakRssKb) / 1024,
                samples.front().events, samples.front().bytes / 1048576.0);
  };
  row("sqlite3 shell (floor, summed)", floors, floorMs);
  row("scan through the host", scans, Median(scans, &Sample::scanMs));
  row("scan, module alone", directs, Median(directs, &Sample::scanMs));
  row("scan of no kind (manifest only)", idles, Median(idles, &Sample::scanMs));
  std::printf(
      "\nScan times are the RunSend call (or the module's receive call) alone; the floor is the\n"
      "whole of six sqlite3 runs. CPU is user + system time of the whole process (start, module\n"
      "loading and exit included). RSS is the child's peak (ru_maxrss).\n");

  if (perKind) {
    // The floor runs of each kind's databases, by their index in FloorRuns.
    const std::vector<std::pair<const char*, std::vector<size_t>>> kinds = {
        {"[0]", {0}}, {"[3]", {1}}, {"[4]", {2, 3}}, {"[8]", {4}}, {"[9]", {5}}};
    std::printf("\n%-12s %10s %10s %10s %10s %10s\n", "kind alone", "time (ms)", "floor (ms)",
                "CPU (ms)", "floor CPU", "RSS (MB)");
    for (const auto& [types, runs] : kinds) {
      std::vector<FloorRun> kindRuns;
      for (size_t run : runs) kindRuns.push_back(floorRuns[run]);
      std::vector<Sample> samples, kindFloors;
      for (int i = 0; i < repeat; ++i) {
        kindFloors.push_back(RunFloor(kindRuns));
        samples.push_back(RunScan("host", backupDir, types));
      }
      std::printf("%-12s %10.1f %10.1f %10.1f %10.1f %10.1f\n", types,
                  Median(samples, &Sample::scanMs), Median(kindFloors, &Sample::wallMs),
                  Median(samples, &Sample::cpuMs), Median(kindFloors, &Sample::cpuMs),
                  Median(samples, &Sample::peakRssKb) / 1024);
    }
  }
  return 0;
}
