// Column reads the WhatsApp readers share.
#ifndef KELDRA_KIND_WHATSAPP_COLUMNS_H_
#define KELDRA_KIND_WHATSAPP_COLUMNS_H_

#include <set>
#include <string>
#include <string_view>

#include "common/Sqlite.h"
#include "kind/JsonText.h"
#include "kind/TableColumns.h"
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

using keldra::ColumnsOf;

// "<alias>.<name>" when the table has the column, else NULL: complete
// reading builds its statements from the columns a store really has.
inline std::string ColumnOrNull(const std::set<std::string>& columns, const char* alias,
                                const char* name) {
  if (!columns.count(name)) return "NULL";
  return std::string(alias) + "." + name;
}

}  // namespace keldra::whatsapp

#endif  // KELDRA_KIND_WHATSAPP_COLUMNS_H_
