// Which manifest records hold a note attachment's key in their relative
// path. The rule is plain (every record, in map order, whose path contains
// the key anywhere, case-sensitively; the empty key is in every path), but a
// device with thousands of attachments and a million files cannot afford one
// pass over the manifest per key. All keys are therefore looked for in one
// pass, with an automaton over the distinct keys (Aho-Corasick).
#ifndef KELDRA_KIND_NOTE_KEYMATCHER_H_
#define KELDRA_KIND_NOTE_KEYMATCHER_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "backup/FileMap.h"

namespace keldra {

using RecordList = std::vector<const ManifestFile*>;

class KeyMatches {
 public:
  // The records whose relative path contains key number `key`, in map order.
  const RecordList& ForKey(size_t key) const { return lists_[listOfKey_[key]]; }
  size_t KeyCount() const { return listOfKey_.size(); }

 private:
  friend KeyMatches MatchKeys(const FileMap&, const std::vector<std::string_view>&, size_t);
  friend KeyMatches MatchKeysOneByOne(const FileMap&, const std::vector<std::string_view>&);
  std::vector<RecordList> lists_;  // one per distinct key
  std::vector<size_t> listOfKey_;  // key number -> its list
};

// An automaton's transition table may take this many entries (4 bytes
// each); more keys are split into groups, each with its own pass over the
// map.
inline constexpr size_t kKeyTableBudget = size_t{16} << 20;

// All keys in one pass over the map (more when they need several tables).
KeyMatches MatchKeys(const FileMap& map, const std::vector<std::string_view>& keys,
                     size_t tableBudget = kKeyTableBudget);

// The rule as written: one pass over the map per distinct key.
KeyMatches MatchKeysOneByOne(const FileMap& map, const std::vector<std::string_view>& keys);

}  // namespace keldra

#endif  // KELDRA_KIND_NOTE_KEYMATCHER_H_
