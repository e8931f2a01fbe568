// Text members of result objects, added with their length so that a text
// holding a NUL byte is kept whole.
#ifndef KELDRA_KIND_JSONTEXT_H_
#define KELDRA_KIND_JSONTEXT_H_

#include <string_view>

#include "common/Sqlite.h"
#include "vorn/Json.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {

inline void AddText(rapidjson::Value& object, rapidjson::Document::AllocatorType& allocator,
                    const char* key, std::string_view text) {
  PimJsonUtil::AddJsonDictStringValue(object, allocator, key, text.data(), text.size());
}

// A text column as a string member; NULL gives "".
inline void AddText(rapidjson::Value& object, rapidjson::Document::AllocatorType& allocator,
                    const char* key, sqlite3_stmt* statement, int column) {
  AddText(object, allocator, key, sqlite::Text(statement, column));
}

}  // namespace keldra

#endif  // KELDRA_KIND_JSONTEXT_H_
