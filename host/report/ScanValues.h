// Reading the members of a scan file's values without trusting their shape:
// the scan files are read back from disk, where anything may have changed
// them, so a missing member or one of another type reads as empty.
#ifndef HOST_REPORT_SCANVALUES_H_
#define HOST_REPORT_SCANVALUES_H_

#include <string>
#include <string_view>

#include "vorn/Json.h"

namespace report {

using Allocator = rapidjson::Document::AllocatorType;

const rapidjson::Value& EmptyArray();

// The member `name` of `object`, or a null value.
const rapidjson::Value& Member(const rapidjson::Value& object, const char* name);
// The member `name` when it is an array, or an empty array.
const rapidjson::Value& ArrayMember(const rapidjson::Value& object, const char* name);
// The member `name` when it is a string, or "".
std::string Text(const rapidjson::Value& object, const char* name);
// As Text, without a copy: valid while the scan file's document lives.
std::string_view TextView(const rapidjson::Value& object, const char* name);

void AddText(rapidjson::Value& row, const char* name, const std::string& text, Allocator& a);

}  // namespace report

#endif  // HOST_REPORT_SCANVALUES_H_
