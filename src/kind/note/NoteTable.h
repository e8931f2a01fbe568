// The text of a table stored in a note store: a replicated object graph
// (entries that refer to each other by index, key names, type names and
// UUIDs held in lists beside them) whose root is the table object. Its rows
// and columns are ordered sets of UUIDs, and each cell is a small note of
// its own.
#ifndef KELDRA_KIND_NOTE_NOTETABLE_H_
#define KELDRA_KIND_NOTE_NOTETABLE_H_

#include <optional>
#include <string>
#include <string_view>

namespace keldra {

// The type name of the root entry of a table.
inline constexpr std::string_view kTableTypeName = "com.apple.notes.ICTable";

// The cells' text as rows of text: cells separated by a tab, rows ended by a
// line feed, in the table's own row and column order. None when `objectData`
// (the object graph message) holds no table or its references do not hold.
std::optional<std::string> DecodeTableText(std::string_view objectData);

}  // namespace keldra

#endif  // KELDRA_KIND_NOTE_NOTETABLE_H_
