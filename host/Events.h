// What the host sees of a command, as one compact JSON object per event:
// results the module sends, requests it makes (and whether they were
// answered), envelope violations, the in-place reply and task notifications.
#ifndef HOST_EVENTS_H_
#define HOST_EVENTS_H_

#include <memory>
#include <string>
#include <vector>

#include "keldra/Plugin.h"
#include "vorn/Json.h"

namespace host {

class EventSink {
 public:
  virtual ~EventSink() = default;
  // One event as compact JSON text.
  virtual void OnEvent(const std::string& line) = 0;
};

// Renders events. Payload texts are embedded as sent (after validation), so
// members keep the module's order and duplicates.
namespace events {

// Checks that a payload text is one valid JSON value (UTF-8 checked), and
// whether it is an object with a top-level "stage_total" member (a kind
// result). `length` receives the text's byte count.
bool ValidatePayload(const char* text, size_t* length, bool* hasStageTotal);
// The JSON of a payload for printing: the text itself when it is valid JSON,
// else null. `valid` reports which.
std::string PayloadJson(const char* text, bool* valid);
// A document or value rendered compactly.
std::string ValueJson(const rapidjson::Value& value);
// Lowercase hex SHA-256 of the bytes.
std::string Sha256Hex(const uint8_t* data, uint64_t size);
// A JSON string literal.
std::string Quote(const char* text);

std::string Result(const PluginMessage& message, const char* payloadJson, size_t length);
std::string Request(const char* target, const char* subCommand, const char* taskId,
                    const std::string& payloadJson, bool answered);
std::string Violation(const std::string& what);
std::string Return(uint64_t replyPresent, const std::string& replyJson);
std::string Notify(const std::string& taskId, int status);

}  // namespace events

// Keeps every event, parsed, for tests and for assembling outputs.
class Recorder : public EventSink {
 public:
  void OnEvent(const std::string& line) override;

  const std::vector<std::string>& Lines() const { return lines_; }
  // Parsed events, in order.
  const std::vector<std::unique_ptr<rapidjson::Document>>& Events() const { return events_; }
  // The "payload" of every event whose "event" is `kind`.
  std::vector<const rapidjson::Value*> Payloads(const char* kind) const;
  size_t Count(const char* kind) const;
  void Clear();

 private:
  std::vector<std::string> lines_;
  std::vector<std::unique_ptr<rapidjson::Document>> events_;
};

}  // namespace host

#endif  // HOST_EVENTS_H_
