#include "kind/note/KeyMatcher.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>

namespace keldra {
namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

// Numbers the distinct keys: `distinct` holds each once, `listOfKey` maps
// every key to its number.
void Deduplicate(const std::vector<std::string_view>& keys, std::vector<std::string_view>& distinct,
                 std::vector<size_t>& listOfKey) {
  std::unordered_map<std::string_view, size_t> numbers;
  listOfKey.reserve(keys.size());
  for (std::string_view key : keys) {
    auto inserted = numbers.emplace(key, distinct.size());
    if (inserted.second) distinct.push_back(key);
    listOfKey.push_back(inserted.first->second);
  }
}

size_t LongestPath(const FileMap& map) {
  size_t longest = 0;
  for (const FileMap::Entry& entry : map) longest = std::max(longest, entry.first.size());
  return longest;
}

// A deterministic automaton over byte classes: bytes that occur in no key
// share class 0, so the table has one column per byte value the keys use.
class Automaton {
 public:
  void Build(const std::vector<std::string_view>& keys, const std::vector<uint32_t>& numbers) {
    std::fill(std::begin(classOf_), std::end(classOf_), 0);
    classes_ = 1;
    size_t states = 1;
    for (uint32_t number : numbers) {
      for (unsigned char c : keys[number])
        if (classOf_[c] == 0) classOf_[c] = static_cast<uint16_t>(classes_++);
      states += keys[number].size();
    }
    next_.reserve(states * classes_);
    next_.assign(classes_, kNone);  // the root
    key_.assign(1, kNone);
    for (uint32_t number : numbers) AddKey(keys[number], number);
    Complete();
  }

  // Reports every key that ends at each position of `text` (a key ending at
  // several positions is reported each time).
  template <typename Report>
  void Scan(std::string_view text, Report&& report) const {
    uint32_t state = 0;
    for (unsigned char c : text) {
      state = next_[static_cast<size_t>(state) * classes_ + classOf_[c]];
      for (uint32_t s = key_[state] != kNone ? state : outputLink_[state]; s != kNone;
           s = outputLink_[s])
        report(key_[s]);
    }
  }

 private:
  uint32_t NewState() {
    uint32_t state = static_cast<uint32_t>(key_.size());
    next_.resize(next_.size() + classes_, kNone);
    key_.push_back(kNone);
    return state;
  }

  void AddKey(std::string_view text, uint32_t number) {
    uint32_t state = 0;
    for (unsigned char c : text) {
      size_t slot = static_cast<size_t>(state) * classes_ + classOf_[c];
      if (next_[slot] == kNone) {
        uint32_t created = NewState();  // grows next_ before the slot is written
        next_[slot] = created;
      }
      state = next_[slot];
    }
    key_[state] = number;  // keys are distinct: each state ends at most one
  }

  // Breadth first: failure links, missing transitions filled from the
  // failure state's, and for each state the nearest state on its failure
  // chain at which a key ends.
  void Complete() {
    std::vector<uint32_t> failure(key_.size(), 0);
    outputLink_.assign(key_.size(), kNone);
    std::vector<uint32_t> queue;
    queue.reserve(key_.size());
    for (size_t c = 0; c < classes_; ++c) {
      uint32_t& target = next_[c];
      if (target == kNone) {
        target = 0;
      } else {
        queue.push_back(target);
      }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
      uint32_t state = queue[head];
      uint32_t fail = failure[state];
      outputLink_[state] = key_[fail] != kNone ? fail : outputLink_[fail];
      for (size_t c = 0; c < classes_; ++c) {
        uint32_t& target = next_[static_cast<size_t>(state) * classes_ + c];
        uint32_t viaFailure = next_[static_cast<size_t>(fail) * classes_ + c];
        if (target == kNone) {
          target = viaFailure;
        } else {
          failure[target] = viaFailure;
          queue.push_back(target);
        }
      }
    }
  }

  uint16_t classOf_[256];
  size_t classes_ = 1;
  std::vector<uint32_t> next_;        // state * classes_ + class -> state
  std::vector<uint32_t> key_;         // the key ending at a state, or kNone
  std::vector<uint32_t> outputLink_;  // next state on the failure chain ending a key
};

// The end of the longest run of `numbers` from `from` on whose automaton
// (one state per key byte, one column per byte value used) fits in `budget`
// table entries; `from` itself when not even its first key fits.
size_t GroupEnd(const std::vector<std::string_view>& keys, const std::vector<uint32_t>& numbers,
                size_t from, size_t budget) {
  bool used[256] = {};
  size_t classes = 1;
  size_t states = 1;
  size_t end = from;
  for (; end < numbers.size(); ++end) {
    size_t addedClasses = 0;
    bool seen[256] = {};
    for (unsigned char c : keys[numbers[end]])
      if (!used[c] && !seen[c]) {
        seen[c] = true;
        ++addedClasses;
      }
    size_t newStates = states + keys[numbers[end]].size();
    size_t newClasses = classes + addedClasses;
    if (newStates >= kNone || newStates > budget / newClasses) break;
    for (size_t c = 0; c < 256; ++c) used[c] = used[c] || seen[c];
    states = newStates;
    classes = newClasses;
  }
  return end;
}

RecordList AllRecords(const FileMap& map) {
  RecordList records;
  records.reserve(map.size());
  for (const FileMap::Entry& entry : map) records.push_back(entry.second);
  return records;
}

RecordList RecordsContaining(const FileMap& map, std::string_view key) {
  RecordList records;
  for (const FileMap::Entry& entry : map)
    if (entry.first.find(key) != std::string_view::npos) records.push_back(entry.second);
  return records;
}

}  // namespace

KeyMatches MatchKeysOneByOne(const FileMap& map, const std::vector<std::string_view>& keys) {
  KeyMatches matches;
  std::vector<std::string_view> distinct;
  Deduplicate(keys, distinct, matches.listOfKey_);
  for (std::string_view key : distinct) matches.lists_.push_back(RecordsContaining(map, key));
  return matches;
}

KeyMatches MatchKeys(const FileMap& map, const std::vector<std::string_view>& keys,
                     size_t tableBudget) {
  KeyMatches matches;
  std::vector<std::string_view> distinct;
  Deduplicate(keys, distinct, matches.listOfKey_);
  matches.lists_.resize(distinct.size());

  // A key longer than every path is in none; the empty key is in all.
  const size_t longest = LongestPath(map);
  std::vector<uint32_t> searched;
  for (size_t number = 0; number < distinct.size(); ++number) {
    std::string_view key = distinct[number];
    if (key.empty())
      matches.lists_[number] = AllRecords(map);
    else if (key.size() <= longest)
      searched.push_back(static_cast<uint32_t>(number));
  }
  if (searched.empty()) return matches;

  // Keys go into automata in groups whose table fits the budget, one pass
  // over the map per group; a key too large for a table of its own is
  // matched on its own.
  std::vector<size_t> lastRecord(distinct.size(), std::numeric_limits<size_t>::max());
  for (size_t from = 0; from < searched.size();) {
    size_t to = GroupEnd(distinct, searched, from, tableBudget);
    if (to == from) {
      uint32_t number = searched[from++];
      matches.lists_[number] = RecordsContaining(map, distinct[number]);
      continue;
    }
    std::vector<uint32_t> group(searched.begin() + from, searched.begin() + to);
    from = to;
    Automaton automaton;
    automaton.Build(distinct, group);
    // A record goes into a key's list once, however often the key occurs in it.
    size_t index = 0;
    for (const FileMap::Entry& entry : map) {
      automaton.Scan(entry.first, [&](uint32_t number) {
        if (lastRecord[number] == index) return;
        lastRecord[number] = index;
        matches.lists_[number].push_back(entry.second);
      });
      ++index;
    }
  }
  return matches;
}

}  // namespace keldra
