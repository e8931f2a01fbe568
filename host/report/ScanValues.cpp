#include "report/ScanValues.h"

namespace report {

const rapidjson::Value& EmptyArray() {
  static const rapidjson::Value empty(rapidjson::kArrayType);
  return empty;
}

const rapidjson::Value& Member(const rapidjson::Value& object, const char* name) {
  static const rapidjson::Value null;
  if (!object.IsObject()) return null;
  auto member = object.FindMember(name);
  return member != object.MemberEnd() ? member->value : null;
}

const rapidjson::Value& ArrayMember(const rapidjson::Value& object, const char* name) {
  const rapidjson::Value& value = Member(object, name);
  return value.IsArray() ? value : EmptyArray();
}

std::string Text(const rapidjson::Value& object, const char* name) {
  return std::string(TextView(object, name));
}

std::string_view TextView(const rapidjson::Value& object, const char* name) {
  const rapidjson::Value& value = Member(object, name);
  return value.IsString() ? std::string_view(value.GetString(), value.GetStringLength())
                          : std::string_view();
}

void AddText(rapidjson::Value& row, const char* name, const std::string& text, Allocator& a) {
  row.AddMember(rapidjson::StringRef(name), rapidjson::Value(text, a), a);
}

}  // namespace report
