// One item of a long result list, built with the JSON helpers in a scratch
// pool and then copied into the list's document.
//
// RapidJSON gives an object room for 16 members when its first member is
// added; a copy sizes every object and array exactly. For lists of 100,000
// small objects (history visits, calls) that halves the document, and with
// it the memory a scan touches.
#ifndef KELDRA_KIND_COMPACTROW_H_
#define KELDRA_KIND_COMPACTROW_H_

#include <cstddef>

#include "kind/kind.h"

namespace keldra {

class CompactRow {
 public:
  CompactRow() : scratch_(buffer_, sizeof buffer_), row_(rapidjson::kObjectType) {}
  CompactRow(const CompactRow&) = delete;
  CompactRow& operator=(const CompactRow&) = delete;

  // The row being built, an object, and the allocator to build it with.
  rapidjson::Value& Object() { return row_; }
  Kind::Allocator& Allocator() { return scratch_; }

  // Appends an exact-size copy of the row to `array` (with `allocator`, the
  // array's) and starts a new, empty row.
  void AppendTo(rapidjson::Value& array, Kind::Allocator& allocator) {
    rapidjson::Value copy(row_, allocator);
    array.PushBack(copy, allocator);
    row_.SetObject();
    scratch_.Clear();
  }

 private:
  alignas(8) char buffer_[4096];
  Kind::Allocator scratch_;
  rapidjson::Value row_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_COMPACTROW_H_
