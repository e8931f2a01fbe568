#include "platform/sms/Database.h"

#include <cctype>

namespace host::sms {
namespace {

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

std::set<std::string> TableNames(const Database& database) {
  std::set<std::string> names;
  Statement statement = Prepare(
      database,
      "SELECT name FROM sqlite_master WHERE type = 'table' AND sql NOT LIKE 'CREATE VIRTUAL%'");
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
    names.insert(Lowercase(Text(statement.get(), 0)));
  return names;
}

std::set<std::string> ColumnNames(const Database& database, const std::string& table) {
  std::set<std::string> names;
  Statement statement = Prepare(database, "SELECT name FROM pragma_table_info(?1)");
  if (!statement) return names;
  sqlite3_bind_text(statement.get(), 1, table.c_str(), static_cast<int>(table.size()),
                    SQLITE_TRANSIENT);
  while (sqlite3_step(statement.get()) == SQLITE_ROW)
    names.insert(Lowercase(Text(statement.get(), 0)));
  return names;
}

}  // namespace host::sms
