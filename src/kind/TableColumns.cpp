#include "kind/TableColumns.h"

#include <cctype>

namespace keldra {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

TableColumns::TableColumns(const sqlite::Database& database, const std::string& table) {
  // table_info takes no bound parameter; the name is quoted as an identifier.
  std::string quoted = "\"";
  for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  quoted += '"';
  sqlite::Statement statement =
      sqlite::Prepare(database, ("PRAGMA table_info(" + quoted + ")").c_str());
  if (!statement) return;
  while (sqlite3_step(statement.get()) == SQLITE_ROW)
    names_.insert(Lower(sqlite::Text(statement.get(), 1)));
}

bool TableColumns::Has(std::string_view column) const {
  return names_.count(Lower(column)) != 0;
}

std::string TableColumns::Or(std::string_view alias, std::string_view column) const {
  if (!Has(column)) return "null";
  std::string text(alias);
  text += '.';
  text += column;
  return text;
}

std::string TableColumns::FirstOf(std::string_view alias,
                                  std::initializer_list<std::string_view> columns) const {
  for (std::string_view column : columns)
    if (Has(column)) return Or(alias, column);
  return "null";
}

std::set<std::string> ColumnsOf(const sqlite::Database& database, const std::string& table) {
  std::set<std::string> names;
  sqlite::Statement statement =
      sqlite::Prepare(database, ("PRAGMA table_info(" + table + ")").c_str());
  if (!statement) return names;
  while (sqlite3_step(statement.get()) == SQLITE_ROW)
    names.emplace(sqlite::Text(statement.get(), 1));
  return names;
}

}  // namespace keldra
