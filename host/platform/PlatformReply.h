// What the query handlers share: reading a request's JSON text and handing a
// reply document to the module, whose it becomes.
#ifndef HOST_PLATFORM_PLATFORMREPLY_H_
#define HOST_PLATFORM_PLATFORMREPLY_H_

#include <memory>
#include <optional>
#include <string>

#include "keldra/Plugin.h"
#include "vorn/Json.h"

namespace host {

// The request's JSON text parsed; false unless it is a JSON object.
bool ParseRequest(const PluginMessage& message, rapidjson::Document& request);

// A string member of an object, when it is one.
std::optional<std::string> StringMember(const rapidjson::Value& object, const char* name);

// A new reply document with an empty object as its root.
std::unique_ptr<rapidjson::Document> NewReply();

// Replaces the payload with the reply and marks the request answered.
bool Answer(PluginMessage& message, std::unique_ptr<rapidjson::Document> reply);

}  // namespace host

#endif  // HOST_PLATFORM_PLATFORMREPLY_H_
