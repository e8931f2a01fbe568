#include "Vexa.h"

#include <cstring>

#include "Requests.h"
#include "keldra/Names.h"
#include "vorn/Json.h"

namespace vexa {
namespace {

ModuleRegistration* g_registration = nullptr;

// The request object: the sender's document (form 1) or its parsed text
// (form 0, kept in `parsed`); null for anything else.
const rapidjson::Value* RequestObject(const PluginMessage& message, rapidjson::Document& parsed) {
  if (!message.payload) return nullptr;
  const rapidjson::Value* request = nullptr;
  if (message.payloadForm == kPayloadDocument) {
    request = static_cast<const rapidjson::Document*>(message.payload);
  } else if (message.payloadForm == kPayloadText) {
    parsed.Parse(static_cast<const char*>(message.payload));
    if (parsed.HasParseError()) return nullptr;
    request = &parsed;
  }
  return request && request->IsObject() ? request : nullptr;
}

bool Is(const char* target, const char* name) {
  return std::strcmp(target, name) == 0;
}

}  // namespace

void SetRegistration(ModuleRegistration* registration) {
  g_registration = registration;
}

void ReceiveRequest(PluginMessage* message) noexcept {
  if (!message || !message->target) return;
  try {
    rapidjson::Document parsed;
    const rapidjson::Value* request = RequestObject(*message, parsed);
    if (!request) return;
    const char* target = message->target;
    if (Is(target, keldra::names::kVexaUnlockWithPassword))
      AnswerUnlock(*message, *request);
    else if (Is(target, keldra::names::kVexaDecryptManifest))
      AnswerDecryptManifest(*message, *request);
    else if (Is(target, keldra::names::kVexaDecryptFile))
      AnswerDecryptFile(*message, *request);
  } catch (...) {
    // Whatever went wrong, the request stays unanswered; nothing escapes
    // into the host.
  }
}

}  // namespace vexa
