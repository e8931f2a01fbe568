#include "Events.h"

#include <openssl/evp.h>
#include <rapidjson/reader.h>

#include <cinttypes>
#include <cstring>

#include "vorn/PimJsonUtil.h"

namespace host::events {

namespace {

// Validates while noting the top-level member names, in one pass.
struct TopLevelKeys : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TopLevelKeys> {
  int depth = 0;
  bool stageTotal = false;
  bool Default() { return true; }
  bool StartObject() { return ++depth, true; }
  bool EndObject(rapidjson::SizeType) { return --depth, true; }
  bool StartArray() { return ++depth, true; }
  bool EndArray(rapidjson::SizeType) { return --depth, true; }
  bool Key(const char* name, rapidjson::SizeType length, bool) {
    if (depth == 1 && length == 11 && std::memcmp(name, "stage_total", 11) == 0) stageTotal = true;
    return true;
  }
};

}  // namespace

bool ValidatePayload(const char* text, size_t* length, bool* hasStageTotal) {
  if (!text) return false;
  rapidjson::StringStream stream(text);
  TopLevelKeys handler;
  rapidjson::Reader reader;
  if (reader
          .Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseStopWhenDoneFlag>(stream,
                                                                                            handler)
          .IsError())
    return false;
  // Only white space may follow the value.
  const char* rest = text + stream.Tell();
  while (*rest == ' ' || *rest == '\n' || *rest == '\r' || *rest == '\t') ++rest;
  if (*rest != '\0') return false;
  if (length) *length = static_cast<size_t>(rest - text);
  if (hasStageTotal) *hasStageTotal = handler.stageTotal;
  return true;
}

std::string PayloadJson(const char* text, bool* valid) {
  bool ok = ValidatePayload(text, nullptr, nullptr);
  if (valid) *valid = ok;
  return ok ? std::string(text) : "null";
}

std::string Sha256Hex(const uint8_t* data, uint64_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  static const uint8_t kEmpty = 0;
  EVP_Digest(data ? data : &kEmpty, size, digest, &length, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string ValueJson(const rapidjson::Value& value) {
  return PimJsonUtil::ToString(value);
}

std::string Quote(const char* text) {
  if (!text) return "null";
  rapidjson::Value value(rapidjson::StringRef(text));
  return PimJsonUtil::ToString(value);
}

std::string Result(const PluginMessage& message, const char* payloadJson, size_t length) {
  std::string line =
      "{\"event\":\"result\",\"taskId\":" + Quote(message.taskId) +
      ",\"target\":" + Quote(message.target) + ",\"subCommand\":" + Quote(message.subCommand) +
      ",\"payloadForm\":" + std::to_string(message.payloadForm) +
      ",\"payloadLength\":" + std::to_string(message.payloadLength) + ",\"payload\":";
  line.reserve(line.size() + length + 1);
  line.append(payloadJson, length);
  line += '}';
  return line;
}

std::string Request(const char* target, const char* subCommand, const char* taskId,
                    const std::string& payloadJson, bool answered) {
  return "{\"event\":\"request\",\"target\":" + Quote(target) +
         ",\"subCommand\":" + Quote(subCommand) + ",\"taskId\":" + Quote(taskId) +
         ",\"payload\":" + payloadJson + ",\"answered\":" + (answered ? "true" : "false") + "}";
}

std::string Violation(const std::string& what) {
  return "{\"event\":\"violation\",\"what\":" + Quote(what.c_str()) + "}";
}

std::string Return(uint64_t replyPresent, const std::string& replyJson) {
  return "{\"event\":\"return\",\"replyPresent\":" + std::to_string(replyPresent ? 1 : 0) +
         ",\"replyData\":" + replyJson + "}";
}

std::string Notify(const std::string& taskId, int status) {
  return "{\"event\":\"notify\",\"taskId\":" + Quote(taskId.c_str()) +
         ",\"status\":" + std::to_string(status) + "}";
}

}  // namespace host::events

namespace host {

void Recorder::OnEvent(const std::string& line) {
  lines_.push_back(line);
  auto document = std::make_unique<rapidjson::Document>();
  document->Parse(line.c_str(), line.size());
  events_.push_back(std::move(document));
}

std::vector<const rapidjson::Value*> Recorder::Payloads(const char* kind) const {
  std::vector<const rapidjson::Value*> payloads;
  for (const auto& event : events_) {
    if (!event->IsObject()) continue;
    auto type = event->FindMember("event");
    if (type == event->MemberEnd() || !type->value.IsString()) continue;
    if (std::strcmp(type->value.GetString(), kind) != 0) continue;
    auto payload = event->FindMember("payload");
    payloads.push_back(payload == event->MemberEnd() ? event.get() : &payload->value);
  }
  return payloads;
}

size_t Recorder::Count(const char* kind) const {
  size_t count = 0;
  for (const auto& event : events_) {
    if (!event->IsObject()) continue;
    auto type = event->FindMember("event");
    if (type != event->MemberEnd() && type->value.IsString() &&
        std::strcmp(type->value.GetString(), kind) == 0)
      ++count;
  }
  return count;
}

void Recorder::Clear() {
  lines_.clear();
  events_.clear();
}

}  // namespace host
