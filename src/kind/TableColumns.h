// Statements built from the columns a database really has: device databases
// gain and lose columns from one system release to the next.
#ifndef KELDRA_KIND_TABLECOLUMNS_H_
#define KELDRA_KIND_TABLECOLUMNS_H_

#include <set>
#include <string>
#include <string_view>

#include "common/Sqlite.h"

namespace keldra {

class TableColumns {
 public:
  // The columns of `table`; none when the table does not exist.
  TableColumns(const sqlite::Database& database, const std::string& table);

  bool Exists() const { return !names_.empty(); }
  bool Has(std::string_view column) const;
  // "<alias>.<column>" when the table has it, else "null", so a statement
  // keeps its shape.
  std::string Or(std::string_view alias, std::string_view column) const;
  // The first of `columns` the table has, as Or would give it.
  std::string FirstOf(std::string_view alias,
                      std::initializer_list<std::string_view> columns) const;

 private:
  std::set<std::string> names_;  // lower case: SQLite's names are case-blind
};

// The column names of a table as the schema spells them; empty when the
// table does not exist.
std::set<std::string> ColumnsOf(const sqlite::Database& database, const std::string& table);

}  // namespace keldra

#endif  // KELDRA_KIND_TABLECOLUMNS_H_
