#include "Harness.h"

#include <limits.h>
#include <malloc.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <utility>

#include "Host.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/QoTask.h"

namespace host {
namespace {

std::string ProgramFolder() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(length));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The in-place answer of a command, rendered for the return event.
std::string ReplyJson(const std::string& command, const PluginMessage& message,
                      rapidjson::Document* callerDocument) {
  if (callerDocument) return events::ValueJson(*callerDocument);
  if (command == keldra::names::kQueryRecordingList && message.replyPresent && message.replyData) {
    using Reply = std::pair<rapidjson::Document*, rapidjson::Value*>;
    std::unique_ptr<Reply> reply(static_cast<Reply*>(message.replyData));
    std::unique_ptr<rapidjson::Value> list(reply->second);
    std::unique_ptr<rapidjson::Document> document(reply->first);
    std::string json = "{\"document\":";
    json += document ? events::ValueJson(*document) : "null";
    json += ",\"list\":";
    json += list ? events::ValueJson(*list) : "null";
    json += '}';
    // The list's values live in the document's allocator: list goes first.
    list.reset();
    document.reset();
    return json;
  }
  return "null";
}

void Deliver(const SendOptions& options, const std::string& command,
             const std::optional<std::string>& payload, rapidjson::Document* callerDocument,
             EventSink& sink) {
  Session session;
  session.sink = &sink;
  session.taskId = options.taskId.c_str();
  session.refused = options.refuse;
  session.platform.tempDir = options.tempDir;

  std::shared_ptr<QoTask> task;
  if (!options.noTask) {
    task = QoTaskSchedular::Get().AddTask(options.taskId, [&sink](const std::string& id, int s) {
      sink.OnEvent(events::Notify(id, s));
    });
  }
  size_t results = 0;
  session.onResult = [&]() {
    ++results;
    if (task && options.stopAfter && results == options.stopAfter) task->RequestStop();
  };

  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  message.taskId = options.taskId.c_str();
  message.target = command.c_str();
  if (callerDocument) {
    message.payloadForm = kPayloadDocument;
    message.payload = callerDocument;
  } else if (payload) {
    message.payloadForm = kPayloadText;
    message.payload = const_cast<char*>(payload->c_str());
    message.payloadLength = payload->size();
  }
  Host::Get().Deliver(message, session);
  sink.OnEvent(events::Return(message.replyPresent, ReplyJson(command, message, callerDocument)));
  if (task) QoTaskSchedular::Get().RemoveTask(options.taskId);
}

// {"backupDir": the payload's "backupDir", "password": password}
std::string UnlockPayload(const std::optional<std::string>& payload, const std::string& password) {
  rapidjson::Document unlock(rapidjson::kObjectType);
  rapidjson::Document parsed;
  if (payload) parsed.Parse(payload->c_str(), payload->size());
  std::string backupDir;
  if (parsed.IsObject()) {
    auto member = parsed.FindMember("backupDir");
    if (member != parsed.MemberEnd() && member->value.IsString())
      backupDir.assign(member->value.GetString(), member->value.GetStringLength());
  }
  PimJsonUtil::AddJsonDictStringValue(unlock, unlock.GetAllocator(), "backupDir", backupDir);
  PimJsonUtil::AddJsonDictStringValue(unlock, unlock.GetAllocator(), "password", password);
  return PimJsonUtil::ToString(unlock);
}

}  // namespace

std::string ModuleBesideProgram(const char* name) {
  return ProgramFolder() + "/../lib/" + name;
}

bool LoadModules(const SendOptions& options, std::string* error) {
  // Every message of a scan is built, copied and freed in turn; returning the
  // freed top of the heap to the system after each one made the next fault
  // its pages in afresh. Keep up to 64 MiB of it.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  std::string module =
      options.modulePath.empty() ? ModuleBesideProgram("libkeldra.so") : options.modulePath;
  if (!Host::Get().LoadKeldra(module, error)) return false;
  if (options.decryptModulePath == "none") return true;
  std::string decrypt = options.decryptModulePath.empty() ? ModuleBesideProgram("libvexa.so")
                                                          : options.decryptModulePath;
  return Host::Get().LoadVexa(decrypt, error);
}

int RunSend(const SendOptions& options, const std::string& command,
            const std::optional<std::string>& payload, EventSink& sink, std::string* error) {
  if (!LoadModules(options, error)) return 2;
  std::unique_ptr<rapidjson::Document> callerDocument;
  if (options.document && payload) {
    callerDocument = std::make_unique<rapidjson::Document>();
    callerDocument->Parse(payload->c_str(), payload->size());
    if (callerDocument->HasParseError()) {
      if (error)
        *error = std::string("payload is not JSON: ") +
                 rapidjson::GetParseError_En(callerDocument->GetParseError());
      return 2;
    }
  }
  if (options.unlockPassword) {
    std::string unlock = UnlockPayload(payload, *options.unlockPassword);
    Deliver(options, keldra::names::kUnlockWithPassword, unlock, nullptr, sink);
  }
  Deliver(options, command, payload, callerDocument.get(), sink);
  return 0;
}

}  // namespace host
