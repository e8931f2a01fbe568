// Column reads the WhatsApp readers share.
#ifndef KELDRA_KIND_WHATSAPP_COLUMNS_H_
#define KELDRA_KIND_WHATSAPP_COLUMNS_H_

#include <set>
#include <string>
#include <string_view>

#include "common/Sqlite.h"
#include "kind/JsonText.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace keldra::whatsapp {

using keldra::AddText;

// The date text of a column holding seconds since 2001: the leading integer
// of its text, so a fraction is dropped.
inline std::string DateOf(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return Utils::Convert2001GMTtoDate(Utils::ParseLeadingInt64(text));
}

// The column names of a table; empty when it does not exist.
inline std::set<std::string> ColumnsOf(const sqlite::Database& database, const std::string& table) {
  std::set<std::string> names;
  sqlite::Statement statement =
      sqlite::Prepare(database, ("PRAGMA table_info(" + table + ")").c_str());
  if (!statement) return names;
  while (sqlite3_step(statement.get()) == SQLITE_ROW)
    names.emplace(sqlite::Text(statement.get(), 1));
  return names;
}

// "<alias>.<name>" when the table has the column, else NULL: complete
// reading builds its statements from the columns a store really has.
inline std::string ColumnOrNull(const std::set<std::string>& columns, const char* alias,
                                const char* name) {
  if (!columns.count(name)) return "NULL";
  return std::string(alias) + "." + name;
}

}  // namespace keldra::whatsapp

#endif  // KELDRA_KIND_WHATSAPP_COLUMNS_H_
