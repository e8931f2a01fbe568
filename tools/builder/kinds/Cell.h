// One column value of a row a test writes into a device database: NULL, an
// integer, a real, text or a blob. Converts implicitly from the C++ types, so
// rows read naturally: person.first = "Anna"; call.date = 740000000.5;
#ifndef KELDRA_BUILDER_KINDS_CELL_H_
#define KELDRA_BUILDER_KINDS_CELL_H_

#include <cstdint>
#include <string>
#include <utility>

namespace builder {

struct Cell {
  enum class Type { kNull, kInteger, kReal, kText, kBlob };

  Cell() = default;
  Cell(std::nullptr_t) {}
  Cell(int value) : type(Type::kInteger), integer(value) {}
  Cell(int64_t value) : type(Type::kInteger), integer(value) {}
  Cell(double value) : type(Type::kReal), real(value) {}
  Cell(const char* text) : type(text ? Type::kText : Type::kNull), bytes(text ? text : "") {}
  Cell(std::string text) : type(Type::kText), bytes(std::move(text)) {}
  static Cell Blob(std::string bytes) {
    Cell cell(std::move(bytes));
    cell.type = Type::kBlob;
    return cell;
  }

  bool IsNull() const { return type == Type::kNull; }
  bool IsText() const { return type == Type::kText; }

  Type type = Type::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text or blob
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_CELL_H_
