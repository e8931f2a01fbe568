// Finds many byte patterns in a text in one left-to-right pass (an
// Aho-Corasick automaton). Built for the thumbnail search, which looks for
// thousands of photo paths in every path of a manifest of millions of rows:
// one pass costs about one table lookup per text byte, whatever the number
// of patterns.
#ifndef KELDRA_KIND_PHOTO_PATHMATCHER_H_
#define KELDRA_KIND_PHOTO_PATHMATCHER_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace keldra {

class PathMatcher {
 public:
  // The patterns, by index; an empty pattern is never reported. Duplicates
  // are allowed: each is reported under the lowest index that holds it.
  explicit PathMatcher(const std::vector<std::string_view>& patterns);

  // Calls `found(index)` for every occurrence of a pattern in `text`, in
  // order of the occurrences' ends (patterns ending at the same byte: longest
  // first). Stops early when `found` returns false.
  template <typename Found>
  void Scan(std::string_view text, Found&& found) const {
    uint32_t state = 0;
    for (unsigned char byte : text) {
      state = Next(state, byte);
      for (uint32_t hit = HitAt(state); hit != 0; hit = outputLink_[hit]) {
        if (!found(pattern_[hit])) return;
      }
    }
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  uint32_t AddNode(uint32_t parent, unsigned char byte);
  uint32_t Child(uint32_t node, unsigned char byte) const;
  void InsertEdge(uint32_t node, unsigned char byte, uint32_t child);
  void Grow();
  void LinkFailures();

  uint32_t Next(uint32_t state, unsigned char byte) const {
    for (;;) {
      uint32_t child = Child(state, byte);
      if (child != kNone) return child;
      if (state == 0) return 0;
      state = failure_[state];
    }
  }
  // The node itself when a pattern ends there, else its nearest suffix that
  // ends one; 0 when none does.
  uint32_t HitAt(uint32_t state) const {
    return pattern_[state] != kNone ? state : outputLink_[state];
  }

  // Per node.
  std::vector<uint32_t> failure_;
  std::vector<uint32_t> outputLink_;
  std::vector<uint32_t> pattern_;  // index of the pattern ending here, or kNone
  std::vector<uint32_t> firstChild_;
  std::vector<uint32_t> nextSibling_;
  std::vector<unsigned char> byte_;

  // Edges: the root's in a direct table, the others in an open-addressing
  // table keyed by (node << 8 | byte).
  uint32_t rootChild_[256];
  std::vector<uint64_t> edgeKeys_;
  std::vector<uint32_t> edgeChildren_;
  size_t edgeCount_ = 0;
  unsigned edgeShift_ = 64;
};

}  // namespace keldra

#endif  // KELDRA_KIND_PHOTO_PATHMATCHER_H_
