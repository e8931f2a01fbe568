#include "Host.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace host {
namespace {

thread_local Session* t_session = nullptr;

bool StartsWith(const char* text, const char* prefix) {
  return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool Equals(const char* a, const char* b) {
  return a && b && std::strcmp(a, b) == 0;
}

bool AllZero(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i]) return false;
  return true;
}

// Secrets never reach an event: members named "password" are masked.
void MaskSecrets(rapidjson::Value& value) {
  if (value.IsObject()) {
    for (auto& member : value.GetObject()) {
      if (member.name.IsString() && std::strcmp(member.name.GetString(), "password") == 0)
        member.value.SetString("<redacted>");
      else
        MaskSecrets(member.value);
    }
  } else if (value.IsArray()) {
    for (auto& element : value.GetArray()) MaskSecrets(element);
  }
}

std::string DocumentJson(const void* pointer) {
  if (!pointer) return "null";
  rapidjson::Document copy;
  copy.CopyFrom(*static_cast<const rapidjson::Value*>(pointer), copy.GetAllocator());
  MaskSecrets(copy);
  return events::ValueJson(copy);
}

std::string TextJson(const char* text) {
  bool valid = false;
  std::string json = events::PayloadJson(text, &valid);
  if (!valid || json.find("\"password\"") == std::string::npos) return json;
  rapidjson::Document document;
  document.Parse(json.c_str(), json.size());
  MaskSecrets(document);
  return events::ValueJson(document);
}

// The rendering of a request's payload, taken before the handler answers.
std::string RequestPayloadJson(const PluginMessage& message) {
  if (message.payloadForm == kPayloadDocument) return DocumentJson(message.payload);
  if (message.payloadForm != kPayloadText || !message.payload) return "null";
  if (Equals(message.subCommand, keldra::names::kDecompressZipStream))
    return "{\"bytes\":" + std::to_string(message.payloadLength) + "}";
  return TextJson(static_cast<const char*>(message.payload));
}

void Emit(Session* session, const std::string& line) {
  if (session && session->sink) session->sink->OnEvent(line);
}

bool LoadModule(const std::string& path, ModuleRegistration& registration, void* instance,
                ModuleReceiveFunction& receive, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) *error = dlerror();
    return false;
  }
  auto registerModule = reinterpret_cast<RegisterModuleFunction>(dlsym(handle, "RegisterModule"));
  if (!registerModule) {
    if (error) *error = path + ": no RegisterModule";
    return false;
  }
  registration.hostSend = &Host::HostSend;
  registration.moduleReceive = nullptr;
  registration.moduleInstance = instance;
  registerModule(&registration);
  if (!registration.moduleReceive) {
    if (error) *error = path + ": RegisterModule gave no receive function";
    return false;
  }
  receive = registration.moduleReceive;
  return true;
}

}  // namespace

Session* CurrentSession() {
  return t_session;
}

Host& Host::Get() {
  static Host* host = new Host();  // lives as long as the loaded modules
  return *host;
}

bool Host::LoadKeldra(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(loadMutex_);
  if (keldraReceive_) {
    if (path == keldraPath_) return true;
    if (error) *error = "another keldra module is already loaded: " + keldraPath_;
    return false;
  }
  if (!LoadModule(path, keldraRegistration_, KeldraInstance(), keldraReceive_, error)) return false;
  keldraPath_ = path;
  return true;
}

bool Host::LoadVexa(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(loadMutex_);
  if (path.empty()) return true;
  if (vexaReceive_) {
    if (path == vexaPath_) return true;
    if (error) *error = "another decrypt module is already loaded: " + vexaPath_;
    return false;
  }
  if (!LoadModule(path, vexaRegistration_, VexaInstance(), vexaReceive_, error)) return false;
  vexaPath_ = path;
  return true;
}

void Host::Deliver(PluginMessage& message, Session& session) {
  Session* previous = t_session;
  t_session = &session;
  if (keldraReceive_) keldraReceive_(&message);
  t_session = previous;
}

std::optional<std::string> Host::DecryptManifest(const std::string& backupDir,
                                                 const std::string& tempDir) {
  if (!vexaReceive_) return std::nullopt;
  rapidjson::Document request(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(request, request.GetAllocator(), "backupDir", backupDir);
  PimJsonUtil::AddJsonDictStringValue(request, request.GetAllocator(), "tempDir", tempDir);
  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  message.target = keldra::names::kVexaDecryptManifest;
  message.payloadForm = kPayloadDocument;
  message.payload = &request;
  vexaReceive_(&message);
  if (!message.replyPresent || !message.replyData) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> path(static_cast<char*>(message.replyData),
                                                   &std::free);
  return std::string(path.get());
}

intptr_t Host::HostSend(PluginMessage* message) noexcept {
  if (!message) return 0;
  try {
    return Get().Route(*message);
  } catch (const std::exception& error) {
    return RouteFailed(error.what());
  } catch (...) {
    return RouteFailed("unknown error");
  }
}

// A module called through a C interface: nothing may unwind into it. The
// message stays unanswered, which the module already handles as a refusal,
// and the issuer hears why.
intptr_t Host::RouteFailed(const char* what) noexcept {
  try {
    Emit(t_session, events::Violation(std::string("host could not route the message: ") + what));
  } catch (...) {
  }
  return -1;
}

intptr_t Host::Route(PluginMessage& message) {
  Session* session = t_session;
  CheckEnvelope(message, session);
  if (Equals(message.target, keldra::names::kCommandReceive)) {
    if (Equals(message.subCommand, keldra::names::kSendResult)) {
      RouteResult(message, session);
    } else if (StartsWith(message.subCommand, keldra::names::kPlatformPrefix)) {
      RoutePlatformRequest(message, session);
    } else {
      Emit(session, events::Violation(std::string("unknown subCommand: ") +
                                      (message.subCommand ? message.subCommand : "(null)")));
    }
  } else if (StartsWith(message.target, keldra::names::kVexaPrefix)) {
    RouteDecryptRequest(message, session);
  } else if (StartsWith(message.target, keldra::names::kKeldraPrefix)) {
    if (keldraReceive_) keldraReceive_(&message);
  } else {
    Emit(session, events::Violation(std::string("unknown target: ") +
                                    (message.target ? message.target : "(null)")));
  }
  return 0;
}

void Host::CheckEnvelope(const PluginMessage& message, Session* session) {
  if (message.reserved0 || message.reserved1 || message.reserved2 || message.reserved3 ||
      !AllZero(message.reserved4, sizeof message.reserved4))
    Emit(session, events::Violation("non-zero reserved field"));
  if (message.senderInstance != KeldraInstance() && message.senderInstance != VexaInstance())
    Emit(session, events::Violation("wrong senderInstance"));
}

void Host::RouteResult(PluginMessage& message, Session* session) {
  if (!message.taskId || !*message.taskId) {
    Emit(session, events::Violation("result without task id"));
  } else if (session && session->taskId && std::strcmp(session->taskId, message.taskId) != 0) {
    Emit(session, events::Violation(std::string("result for another task: ") + message.taskId));
  }
  if (message.replyPresent || message.replyData || message.replyCode)
    Emit(session, events::Violation("reply field set in a result"));

  // The text of a result is embedded as sent, checked once and copied once.
  std::string rendered = "null";
  const char* payloadJson = nullptr;
  size_t payloadLength = 0;
  if (message.payloadForm == kPayloadText) {
    const char* text = static_cast<const char*>(message.payload);
    bool kindResult = false;
    if (!events::ValidatePayload(text, &payloadLength, &kindResult)) {
      Emit(session, events::Violation("result text is not valid JSON"));
    } else {
      payloadJson = text;
      // Kind results (they carry "stage_total") leave payloadLength 0; every
      // other result gives the text's byte count.
      uint64_t expected = kindResult ? 0 : std::strlen(text);
      if (message.payloadLength != expected)
        Emit(session, events::Violation("payloadLength " + std::to_string(message.payloadLength) +
                                        " where " + std::to_string(expected) + " belongs"));
    }
  } else if (message.payloadForm == kPayloadDocument) {
    rendered = DocumentJson(message.payload);
  } else if (message.payloadForm == kPayloadData) {
    const auto* data = static_cast<const DataPayload*>(message.payload);
    if (!data || !data->json) {
      Emit(session, events::Violation("form-2 result without its JSON value"));
    } else {
      rendered = "{\"json\":" + DocumentJson(data->json) +
                 ",\"bytes\":" + std::to_string(data->size) + ",\"sha256\":\"" +
                 events::Sha256Hex(data->data, data->size) + "\"}";
      if (session && session->onData)
        session->onData(static_cast<const rapidjson::Value*>(data->json), data->data, data->size);
    }
    if (message.payloadLength != 0)
      Emit(session, events::Violation("payloadLength of a form-2 result is not 0"));
  } else {
    Emit(session, events::Violation("unknown payloadForm " + std::to_string(message.payloadForm)));
  }
  if (!payloadJson) {
    payloadJson = rendered.c_str();
    payloadLength = rendered.size();
  }
  Emit(session, events::Result(message, payloadJson, payloadLength));
  if (session && session->onResult) session->onResult();
}

void Host::RoutePlatformRequest(PluginMessage& message, Session* session) {
  bool albumRequest = Equals(message.subCommand, keldra::names::kPhotoQueryPhotoFromAlbum);
  if (message.taskId && !albumRequest)
    Emit(session, events::Violation("platform request carries a task id"));
  bool decompress = Equals(message.subCommand, keldra::names::kDecompressZipStream);
  if (!decompress && message.payloadLength != 0)
    Emit(session, events::Violation("platform query with payloadLength set"));
  if (message.replyPresent) Emit(session, events::Violation("request sent with replyPresent set"));

  std::string payloadJson = RequestPayloadJson(message);
  bool answered = false;
  bool refused = session && session->refused.count(message.subCommand);
  if (!refused) {
    static const PlatformOptions kDefaults;
    answered = platform_.Handle(message, session ? session->platform : kDefaults);
  }
  Emit(session,
       events::Request(message.target, message.subCommand, message.taskId, payloadJson, answered));
}

void Host::RouteDecryptRequest(PluginMessage& message, Session* session) {
  if (message.taskId) Emit(session, events::Violation("decrypt request carries a task id"));
  if (message.subCommand) Emit(session, events::Violation("decrypt request with a subCommand"));
  if (message.payloadForm != kPayloadDocument)
    Emit(session, events::Violation("decrypt request not in payload form 1"));
  if (message.replyPresent || message.replyData || message.replyCode)
    Emit(session, events::Violation("request sent with reply fields set"));

  std::string payloadJson = RequestPayloadJson(message);
  bool refused = session && session->refused.count(message.target);
  if (!refused && vexaReceive_) vexaReceive_(&message);
  Emit(session, events::Request(message.target, message.subCommand, message.taskId, payloadJson,
                                message.replyPresent != 0));
}

}  // namespace host
