// keldra scan: unlocks an encrypted backup, runs the scan, and writes one
// JSON file per kind (assembled from the stage messages), device.json and
// summary.json; or, with --ndjson, streams the raw results.
#include "cli/Commands.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

#include "Events.h"
#include "cli/CommandTempFolder.h"
#include "cli/Common.h"
#include "cli/Interruption.h"
#include "cli/KindNames.h"
#include "cli/KindOutput.h"
#include "cli/ScanReport.h"
#include "keldra/Names.h"
#include "keldra/Status.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/QoTask.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct KindState {
  std::unique_ptr<KindOutput> output;
  bool receivedAny = false;
  bool written = false;
  double finishedAt = 0;  // ms since the scan started
  double startedAt = 0;
};

// Takes the scan's events: results go to their kind's output (written as
// soon as the kind's series closes), unanswered requests become failures.
class ScanSink : public host::EventSink {
 public:
  ScanSink(const ScanArguments& arguments, const std::vector<int>& kinds)
      : arguments_(arguments),
        started_(Clock::now()),
        progress_(StderrIsTerminal() && !arguments.quiet) {
    for (int number : kinds) {
      order_.push_back(number);
      kinds_[number].output = MakeKindOutput(number);
    }
  }

  void OnEvent(const std::string& line) override {
    rapidjson::Document event;
    event.Parse(line.c_str(), line.size());
    if (!event.IsObject()) return;
    std::string kind = StringOf(event, "event");
    if (kind == "result") {
      OnResult(event["payload"]);
    } else if (kind == "request" && event.HasMember("answered") && event["answered"].IsFalse()) {
      std::string what = StringOf(event, "subCommand");
      if (what.empty()) what = StringOf(event, "target");
      ++unanswered_[what];
    }
  }

  // Writes what is still open; returns false when a file could not be written.
  bool Finish(bool interrupted) {
    bool ok = true;
    for (int number : order_) {
      KindState& state = kinds_[number];
      if (state.written) continue;
      // A kind that sent nothing has no data when the scan ran to its end;
      // after an interruption it may not have run at all.
      if (!state.receivedAny && interrupted) continue;
      ok = WriteKind(number, state) && ok;
    }
    if (progress_) std::fputs("\r\033[K", stderr);
    return ok;
  }

  int ScanStatus() const { return scanStatus_; }
  bool AnyIncomplete(bool interrupted) const {
    for (int number : order_)
      if (report_.StatusOf(number, Closed(number), interrupted) == KindStatus::kIncomplete)
        return true;
    return false;
  }
  void PrintReport(bool interrupted) const {
    std::map<int, bool> closed;
    for (int number : order_) closed[number] = Closed(number);
    report_.PrintTable(stderr, order_, interrupted, closed);
  }
  int ErrorCode() const { return errorCode_; }

  void Summarise(rapidjson::Document& summary, bool interrupted) const {
    auto& a = summary.GetAllocator();
    rapidjson::Value entries(rapidjson::kArrayType);
    for (int number : order_) {
      const KindState& state = kinds_.at(number);
      rapidjson::Value entry(rapidjson::kObjectType);
      PimJsonUtil::AddJsonDictStringValue(entry, a, "name", KindNameOf(number));
      PimJsonUtil::AddJsonDictIntValue(entry, a, "type", number);
      bool closed = Closed(number);
      KindStatus status = report_.StatusOf(number, closed, interrupted);
      PimJsonUtil::AddJsonDictStringValue(entry, a, "status", StatusWord(status));
      if (status == KindStatus::kIncomplete) {
        rapidjson::Value problems(rapidjson::kArrayType);
        for (const std::string& sentence : report_.ProblemSentences(number, closed))
          PimJsonUtil::PushJsonArrayStringValue(problems, a, sentence.c_str());
        entry.AddMember("problems", problems, a);
      }
      if (state.written) {
        PimJsonUtil::AddJsonDictStringValue(entry, a, "file",
                                            std::string(KindNameOf(number)) + ".json");
        state.output->Summarise(entry, a);
        entry.AddMember("duration_ms", static_cast<int64_t>(state.finishedAt - state.startedAt), a);
      }
      entries.PushBack(entry, a);
    }
    summary.AddMember("kinds", entries, a);
    rapidjson::Value failures(rapidjson::kArrayType);
    for (const auto& [request, count] : unanswered_) {
      std::string text = std::to_string(count) + " " + request +
                         (count == 1 ? " request was" : " requests were") + " refused";
      PimJsonUtil::PushJsonArrayStringValue(failures, a, text.c_str());
    }
    for (const std::string& text : writeFailures_)
      PimJsonUtil::PushJsonArrayStringValue(failures, a, text.c_str());
    summary.AddMember("failures", failures, a);
  }

 private:
  void OnResult(const rapidjson::Value& payload) {
    if (!payload.IsObject()) return;
    if (arguments_.ndjson) {
      std::string text = PimJsonUtil::ToString(payload);
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fputc('\n', stdout);
    }
    if (!payload.HasMember("type")) {  // the scan's final status
      scanStatus_ =
          static_cast<int>(IntOf(payload, "status", keldra::ToInt(keldra::CommandStatus::kFailed)));
      errorCode_ = static_cast<int>(IntOf(payload, "error_code", 0));
      return;
    }
    report_.Take(payload);
    int number = static_cast<int>(IntOf(payload, "type", -1));
    if (const keldra::KindDescriptor* kind = keldra::KindOfType(number))
      number = kind->number;  // an extra series belongs to its kind
    auto found = kinds_.find(number);
    if (found == kinds_.end() || !found->second.output) return;
    KindState& state = found->second;
    if (!state.receivedAny) {
      state.receivedAny = true;
      state.startedAt = lastFinish_;
    }
    if (arguments_.ndjson) return;
    state.output->Begin(arguments_.outDir + KindNameOf(number) + ".json");
    state.output->Add(payload);
    if (state.output->Complete() && !state.written) WriteKind(number, state);
    ShowProgress(number, state);
  }

  // Streamed results are not assembled, so a kind's closing message is not
  // recognised: one that sent anything counts as closed, its problems still
  // count.
  bool Closed(int number) const {
    const KindState& state = kinds_.at(number);
    if (arguments_.ndjson) return state.receivedAny;
    return state.output && state.output->Complete();
  }

  bool WriteKind(int number, KindState& state) {
    state.written = true;
    state.finishedAt = MillisecondsSince(started_);
    lastFinish_ = state.finishedAt;
    if (arguments_.ndjson) return true;
    std::string path = arguments_.outDir + KindNameOf(number) + ".json";
    if (state.output->Begin(path) && state.output->End()) return true;
    writeFailures_.push_back("cannot write " + path);
    return false;
  }

  void ShowProgress(int number, const KindState& state) {
    if (!progress_) return;
    double now = MillisecondsSince(started_);
    if (now - lastProgress_ < 100 && !state.output->Complete()) return;
    lastProgress_ = now;
    std::fprintf(stderr, "\r\033[K%-20s %8zu items  %6.1fs", KindNameOf(number),
                 state.output->Count(), now / 1000.0);
    std::fflush(stderr);
  }

  const ScanArguments& arguments_;
  Clock::time_point started_;
  bool progress_;
  std::vector<int> order_;
  std::map<int, KindState> kinds_;
  std::map<std::string, int> unanswered_;
  ScanReport report_;
  std::vector<std::string> writeFailures_;
  int scanStatus_ = -1;
  int errorCode_ = 0;
  double lastFinish_ = 0;
  double lastProgress_ = -1000;
};

std::string ScanPayload(const std::string& folder, const std::vector<int>& kinds, bool complete) {
  rapidjson::Document payload(rapidjson::kObjectType);
  auto& a = payload.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(payload, a, "backupDir", folder);
  rapidjson::Value types(rapidjson::kArrayType);
  for (int number : kinds) types.PushBack(number, a);
  payload.AddMember("types", types, a);
  if (complete) payload.AddMember("complete", true, a);
  return PimJsonUtil::ToString(payload);
}

rapidjson::Value DeviceSummary(const rapidjson::Value& description,
                               rapidjson::Document::AllocatorType& a) {
  rapidjson::Value device(rapidjson::kObjectType);
  for (const char* name : {"DeviceName", "ProductType", "ProductVersion", "SerialNumber",
                           "UniqueIdentifier", "LastBackupDate"})
    PimJsonUtil::AddJsonDictStringValue(device, a, name, StringOf(description, name));
  return device;
}

}  // namespace

int RunScan(const host::SendOptions& baseOptions, const ScanArguments& arguments) {
  std::string error;
  std::optional<std::vector<int>> kinds = ParseKindList(arguments.types, &error);
  if (!kinds) {
    std::fprintf(stderr, "keldra scan: %s\n", Printable(error).c_str());
    return kExitUsage;
  }
  if (arguments.report && arguments.ndjson) {
    std::fprintf(stderr,
                 "keldra scan: --report reads the output files, which --ndjson does not write\n");
    return kExitUsage;
  }
  std::string folder = BackupFolder(arguments.backup);
  std::string outDir = arguments.ndjson ? "" : arguments.outDir;
  // Describing creates nothing, so a folder that is no backup is named as
  // such before its outputs are judged.
  std::optional<rapidjson::Document> description = DescribeBackup(baseOptions, folder);
  if (!description) return FailNotABackup(baseOptions, arguments.backup);
  if (int refused =
          RefuseOutputsInBackup(folder, {{"--out", outDir}, {"--temp-dir", baseOptions.tempDir}}))
    return refused;
  if (IntOf(*description, "IsEncrypted") != 0) KeepOutputPrivate();

  // A legacy manifest is plain even in an encrypted backup, and exact
  // reading leaves its stored files undeciphered: only then is the password
  // not needed.
  if (IntOf(*description, "BackupType") == 2 || !arguments.exact) {
    int unlocked = UnlockIfEncrypted(baseOptions, folder, *description, arguments.passwordFile);
    if (unlocked != kExitOk) return unlocked;
  }

  host::SendOptions options = baseOptions;
  std::unique_ptr<CommandTempFolder> temp = CommandTempFolder::Open(options, &error);
  if (!temp) return Fail(error);

  ScanArguments settings = arguments;
  if (!arguments.ndjson) {
    settings.outDir = WithSeparator(arguments.outDir);
    if (!PrepareScanFolder(settings.outDir, arguments.force, &error)) return Fail(error);
    if (!WriteJsonFile(settings.outDir + "device.json", *description))
      return Fail("cannot write " + settings.outDir + "device.json");
  }

  options.taskId = "scan-" + std::to_string(getpid());
  std::string started = UtcNow();
  Clock::time_point start = Clock::now();
  ScanSink sink(settings, *kinds);
  bool interrupted = false;
  {
    // The first signal lets the kind running finish, and the rest of the
    // scan is skipped; what was found is written below.
    std::string taskId = options.taskId;
    GracefulStop stop([taskId] {
      if (auto task = QoTaskSchedular::Get().FindTask(taskId)) task->RequestStop();
    });
    if (host::RunSend(options, keldra::names::kDoScan,
                      ScanPayload(folder, *kinds, !arguments.exact), sink, &error) != 0)
      return Fail(error);
    interrupted = ReceivedSignal() != 0;
  }
  bool written = sink.Finish(interrupted);
  std::fflush(stdout);

  if (sink.ScanStatus() != keldra::ToInt(keldra::CommandStatus::kFinished) && !interrupted)
    return Fail("manifest could not be read: " + folder +
                (sink.ErrorCode() ? " (error " + std::to_string(sink.ErrorCode()) + ")" : ""));
  if (!arguments.ndjson) {
    rapidjson::Document summary(rapidjson::kObjectType);
    auto& a = summary.GetAllocator();
    PimJsonUtil::AddJsonDictStringValue(summary, a, "backup", folder);
    rapidjson::Value device = DeviceSummary(*description, a);
    summary.AddMember("device", device, a);
    PimJsonUtil::AddJsonDictBooleanValue(summary, a, "encrypted",
                                         IntOf(*description, "IsEncrypted") != 0);
    PimJsonUtil::AddJsonDictStringValue(
        summary, a, "manifest",
        IntOf(*description, "BackupType") == 1 ? "Manifest.mbdb" : "Manifest.db");
    PimJsonUtil::AddJsonDictStringValue(summary, a, "status",
                                        interrupted ? "interrupted" : "finished");
    PimJsonUtil::AddJsonDictStringValue(summary, a, "started", started);
    summary.AddMember("duration_ms", static_cast<int64_t>(MillisecondsSince(start)), a);
    sink.Summarise(summary, interrupted);
    if (!WriteJsonFile(settings.outDir + "summary.json", summary))
      return Fail("cannot write " + settings.outDir + "summary.json");
  }
  if (!arguments.quiet) sink.PrintReport(interrupted);
  if (interrupted) {
    std::fprintf(stderr, "keldra: scan interrupted; finished kinds are written to %s\n",
                 Printable(settings.outDir).c_str());
    return InterruptedStatus();
  }
  if (!written) return Fail("some output files could not be written to " + settings.outDir);
  if (arguments.report) {
    // The folder was empty, or --force kept an earlier report: replace it.
    ReportArguments reporting;
    reporting.scanFolder = settings.outDir;
    reporting.force = true;
    reporting.unlocked = true;
    int reported = RunReport(baseOptions, reporting);
    if (reported != kExitOk) return reported;
  }
  if (sink.AnyIncomplete(interrupted)) {
    std::fprintf(stderr, "keldra: finished; some data could not be read\n");
    return kExitIncomplete;
  }
  return kExitOk;
}

}  // namespace cli
