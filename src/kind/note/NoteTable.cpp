#include "kind/note/NoteTable.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kind/note/ProtoWire.h"

namespace keldra {
namespace {

using proto::Field;
using proto::FirstBytes;
using proto::FirstVarint;
using proto::Reader;
using proto::Wire;

// Fields of the object graph and of its entries.
constexpr uint32_t kGraphEntry = 3;
constexpr uint32_t kGraphKeyName = 4;
constexpr uint32_t kGraphTypeName = 5;
constexpr uint32_t kGraphUuid = 6;
constexpr uint32_t kEntryDictionary = 6;
constexpr uint32_t kEntryNote = 10;
constexpr uint32_t kEntryCustomMap = 13;
constexpr uint32_t kEntryOrderedSet = 16;
constexpr uint32_t kMapType = 1;
constexpr uint32_t kMapItem = 3;
constexpr uint32_t kItemKey = 1;
constexpr uint32_t kItemValue = 2;
constexpr uint32_t kValueUnsigned = 2;
constexpr uint32_t kValueReference = 6;
constexpr uint32_t kNoteText = 2;

// A table this large would be mostly separators; it is not spelled out.
constexpr uint64_t kMaxCells = 1u << 20;
// Map items read while following references, over one table.
constexpr uint64_t kMaxWork = 1u << 24;

std::vector<std::string_view> Repeated(std::string_view message, uint32_t number) {
  std::vector<std::string_view> items;
  Reader reader(message);
  Field field;
  while (reader.Next(field))
    if (field.number == number && field.wire == Wire::kBytes) items.push_back(field.bytes);
  return items;
}

class ObjectGraph {
 public:
  explicit ObjectGraph(std::string_view data)
      : entries_(Repeated(data, kGraphEntry)),
        keyNames_(Repeated(data, kGraphKeyName)),
        typeNames_(Repeated(data, kGraphTypeName)),
        uuids_(Repeated(data, kGraphUuid)) {
    for (size_t i = 0; i < uuids_.size(); ++i) uuidIndex_.emplace(uuids_[i], i);
  }

  // The first entry whose custom map has the type `typeName`.
  std::optional<size_t> FindRoot(std::string_view typeName) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
      std::optional<std::string_view> map = FirstBytes(entries_[i], kEntryCustomMap);
      if (!map) continue;
      std::optional<uint64_t> type = FirstVarint(*map, kMapType);
      if (type && *type < typeNames_.size() && typeNames_[*type] == typeName) return i;
    }
    return std::nullopt;
  }

  // The entry a value refers to.
  std::optional<size_t> Referenced(std::string_view value) const {
    std::optional<uint64_t> index = FirstVarint(value, kValueReference);
    if (!index || *index >= entries_.size()) return std::nullopt;
    return static_cast<size_t>(*index);
  }

  // The value stored under `keyName` in an entry's custom map.
  std::optional<std::string_view> MapValue(size_t entry, std::string_view keyName) const {
    std::optional<std::string_view> map = FirstBytes(entries_[entry], kEntryCustomMap);
    if (!map) return std::nullopt;
    Reader reader(*map);
    Field field;
    while (reader.Next(field)) {
      // Many references may lead to one large map: the items read are
      // counted over the whole table.
      if (++work_ > kMaxWork) return std::nullopt;
      if (field.number != kMapItem || field.wire != Wire::kBytes) continue;
      std::optional<uint64_t> key = FirstVarint(field.bytes, kItemKey);
      if (key && *key < keyNames_.size() && keyNames_[*key] == keyName)
        return FirstBytes(field.bytes, kItemValue);
    }
    return std::nullopt;
  }

  bool Exhausted() const { return work_ > kMaxWork; }

  // The UUID list index of the UUID object a value refers to.
  std::optional<uint64_t> UuidOf(std::string_view value) const {
    std::optional<size_t> entry = Referenced(value);
    if (!entry) return std::nullopt;
    std::optional<std::string_view> index = MapValue(*entry, "UUIDIndex");
    if (!index) return std::nullopt;
    return FirstVarint(*index, kValueUnsigned);
  }

  // The (key, value) pairs of the dictionary a value refers to; `work`
  // counts the elements read.
  std::vector<std::pair<std::string_view, std::string_view>> Dictionary(std::string_view value,
                                                                        uint64_t& work) const {
    std::vector<std::pair<std::string_view, std::string_view>> pairs;
    std::optional<size_t> entry = Referenced(value);
    if (!entry) return pairs;
    std::optional<std::string_view> dictionary = FirstBytes(entries_[*entry], kEntryDictionary);
    if (dictionary) work += AppendPairs(*dictionary, pairs);
    return pairs;
  }

  // The members of the ordered set a value refers to, in order, each as the
  // UUID list index of the member's identity.
  std::vector<uint64_t> OrderedMembers(std::string_view value) const {
    std::vector<uint64_t> members;
    std::optional<size_t> entry = Referenced(value);
    if (!entry) return members;
    std::optional<std::string_view> set = FirstBytes(entries_[*entry], kEntryOrderedSet);
    std::optional<std::string_view> ordering = set ? FirstBytes(*set, 1) : std::nullopt;
    std::optional<std::string_view> array = ordering ? FirstBytes(*ordering, 1) : std::nullopt;
    std::optional<std::string_view> contents = ordering ? FirstBytes(*ordering, 2) : std::nullopt;
    if (!array || !contents) return members;

    // The array lists positions by the UUIDs of its slots; the contents map
    // each slot's UUID object to the member's identity.
    std::map<uint64_t, uint64_t> identityOfSlot;
    std::vector<std::pair<std::string_view, std::string_view>> pairs;
    AppendPairs(*contents, pairs);
    for (const auto& [key, member] : pairs) {
      std::optional<uint64_t> slot = UuidOf(key);
      std::optional<uint64_t> identity = UuidOf(member);
      if (slot && identity) identityOfSlot.emplace(*slot, *identity);
    }
    std::vector<std::pair<uint64_t, uint64_t>> positions;  // (position, slot)
    for (std::string_view slot : Repeated(*array, 2)) {
      std::optional<uint64_t> position = FirstVarint(slot, 1);
      std::optional<std::string_view> uuid = FirstBytes(slot, 2);
      if (!position || !uuid) continue;
      auto known = uuidIndex_.find(*uuid);  // the first of equal UUIDs
      if (known != uuidIndex_.end()) positions.emplace_back(*position, known->second);
    }
    std::stable_sort(positions.begin(), positions.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [position, slot] : positions) {
      auto identity = identityOfSlot.find(slot);
      if (identity != identityOfSlot.end()) members.push_back(identity->second);
    }
    return members;
  }

  // The text of the note entry a value refers to; "" when it is none.
  std::string_view NoteText(std::string_view value) const {
    std::optional<size_t> entry = Referenced(value);
    if (!entry) return {};
    std::optional<std::string_view> note = FirstBytes(entries_[*entry], kEntryNote);
    if (!note) return {};
    return FirstBytes(*note, kNoteText).value_or(std::string_view());
  }

 private:
  // The number of elements read.
  static size_t AppendPairs(std::string_view dictionary,
                            std::vector<std::pair<std::string_view, std::string_view>>& pairs) {
    std::vector<std::string_view> elements = Repeated(dictionary, 1);
    for (std::string_view element : elements) {
      std::optional<std::string_view> key = FirstBytes(element, 1);
      std::optional<std::string_view> value = FirstBytes(element, 2);
      if (key && value) pairs.emplace_back(*key, *value);
    }
    return elements.size();
  }

  std::vector<std::string_view> entries_;
  std::vector<std::string_view> keyNames_;
  std::vector<std::string_view> typeNames_;
  std::vector<std::string_view> uuids_;
  std::unordered_map<std::string_view, uint64_t> uuidIndex_;
  mutable uint64_t work_ = 0;
};

}  // namespace

std::optional<std::string> DecodeTableText(std::string_view objectData) {
  ObjectGraph graph(objectData);
  std::optional<size_t> root = graph.FindRoot(kTableTypeName);
  if (!root) return std::nullopt;
  std::optional<std::string_view> rowsValue = graph.MapValue(*root, "crRows");
  std::optional<std::string_view> columnsValue = graph.MapValue(*root, "crColumns");
  std::optional<std::string_view> cellsValue = graph.MapValue(*root, "cellColumns");
  if (!rowsValue || !columnsValue || !cellsValue) return std::nullopt;
  std::vector<uint64_t> rows = graph.OrderedMembers(*rowsValue);
  std::vector<uint64_t> columns = graph.OrderedMembers(*columnsValue);
  if (!rows.empty() && columns.size() > kMaxCells / rows.size()) return std::nullopt;

  // cellColumns: column identity -> (row identity -> cell note). Columns may
  // all refer to one large dictionary, so the elements read are counted.
  std::map<std::pair<uint64_t, uint64_t>, std::string_view> cells;
  uint64_t work = 0;
  for (const auto& [columnKey, columnCells] : graph.Dictionary(*cellsValue, work)) {
    std::optional<uint64_t> column = graph.UuidOf(columnKey);
    if (!column) continue;
    auto rowCells = graph.Dictionary(columnCells, work);
    if (work > kMaxCells) return std::nullopt;
    for (const auto& [rowKey, cell] : rowCells) {
      std::optional<uint64_t> row = graph.UuidOf(rowKey);
      if (row) cells.emplace(std::make_pair(*row, *column), graph.NoteText(cell));
    }
  }

  if (graph.Exhausted()) return std::nullopt;

  std::string text;
  for (uint64_t row : rows) {
    for (size_t c = 0; c < columns.size(); ++c) {
      if (c) text += '\t';
      auto cell = cells.find({row, columns[c]});
      if (cell != cells.end()) text.append(cell->second.data(), cell->second.size());
    }
    text += '\n';
  }
  return text;
}

}  // namespace keldra
