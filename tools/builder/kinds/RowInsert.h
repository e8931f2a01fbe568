// Rows given by column name, for device tables with many optional columns
// where a row sets only some of them.
#ifndef KELDRA_BUILDER_KINDS_ROWINSERT_H_
#define KELDRA_BUILDER_KINDS_ROWINSERT_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "builder/kinds/Cell.h"
#include "builder/kinds/SqliteWriter.h"

namespace builder {

using Row = std::vector<std::pair<std::string, Cell>>;

// NULL for an empty optional.
template <typename T>
Cell Nullable(const std::optional<T>& value) {
  return value ? Cell(*value) : Cell();
}

// INSERT INTO table (names...) VALUES (cells...).
inline void InsertRow(SqliteDatabase& database, const std::string& table, const Row& row) {
  std::string sql = "INSERT INTO " + table + " (";
  std::string values;
  std::vector<Cell> cells;
  cells.reserve(row.size());
  for (size_t i = 0; i < row.size(); ++i) {
    sql += (i ? "," : "") + row[i].first;
    values += i ? ",?" : "?";
    cells.push_back(row[i].second);
  }
  database.Run(sql + ") VALUES (" + values + ")", cells);
}

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_ROWINSERT_H_
