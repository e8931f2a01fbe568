#include "kind/photo/PathMatcher.h"

#include <algorithm>

namespace keldra {
namespace {

constexpr uint64_t kEmptyKey = UINT64_MAX;

uint64_t EdgeKey(uint32_t node, unsigned char byte) {
  return (static_cast<uint64_t>(node) << 8) | byte;
}

}  // namespace

PathMatcher::PathMatcher(const std::vector<std::string_view>& patterns) {
  std::fill(std::begin(rootChild_), std::end(rootChild_), kNone);
  size_t bytes = 0;
  for (std::string_view pattern : patterns) bytes += pattern.size();
  failure_.reserve(bytes + 1);
  AddNode(0, 0);  // the root
  for (size_t index = 0; index < patterns.size(); ++index) {
    uint32_t node = 0;
    for (unsigned char byte : patterns[index]) {
      uint32_t child = Child(node, byte);
      node = child != kNone ? child : AddNode(node, byte);
    }
    if (node != 0 && pattern_[node] == kNone) pattern_[node] = static_cast<uint32_t>(index);
  }
  LinkFailures();
}

uint32_t PathMatcher::AddNode(uint32_t parent, unsigned char byte) {
  uint32_t node = static_cast<uint32_t>(failure_.size());
  failure_.push_back(0);
  outputLink_.push_back(0);
  pattern_.push_back(kNone);
  firstChild_.push_back(kNone);
  nextSibling_.push_back(kNone);
  byte_.push_back(byte);
  if (node == 0) return node;
  nextSibling_[node] = firstChild_[parent];
  firstChild_[parent] = node;
  if (parent == 0) {
    rootChild_[byte] = node;
  } else {
    InsertEdge(parent, byte, node);
  }
  return node;
}

uint32_t PathMatcher::Child(uint32_t node, unsigned char byte) const {
  if (node == 0) return rootChild_[byte];
  if (edgeKeys_.empty()) return kNone;
  uint64_t key = EdgeKey(node, byte);
  size_t mask = edgeKeys_.size() - 1;
  for (size_t slot = (key * 0x9E3779B97F4A7C15ull) >> edgeShift_;; slot = (slot + 1) & mask) {
    if (edgeKeys_[slot] == key) return edgeChildren_[slot];
    if (edgeKeys_[slot] == kEmptyKey) return kNone;
  }
}

void PathMatcher::InsertEdge(uint32_t node, unsigned char byte, uint32_t child) {
  // Kept at most half full, so that a miss ends after a few probes.
  if ((edgeCount_ + 1) * 2 > edgeKeys_.size()) Grow();
  uint64_t key = EdgeKey(node, byte);
  size_t mask = edgeKeys_.size() - 1;
  size_t slot = (key * 0x9E3779B97F4A7C15ull) >> edgeShift_;
  while (edgeKeys_[slot] != kEmptyKey) slot = (slot + 1) & mask;
  edgeKeys_[slot] = key;
  edgeChildren_[slot] = child;
  ++edgeCount_;
}

void PathMatcher::Grow() {
  std::vector<uint64_t> keys = std::move(edgeKeys_);
  std::vector<uint32_t> children = std::move(edgeChildren_);
  size_t capacity = keys.empty() ? 64 : keys.size() * 2;
  edgeKeys_.assign(capacity, kEmptyKey);
  edgeChildren_.assign(capacity, 0);
  edgeShift_ = 64;
  for (size_t size = capacity; size > 1; size >>= 1) --edgeShift_;
  size_t mask = capacity - 1;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == kEmptyKey) continue;
    size_t slot = (keys[i] * 0x9E3779B97F4A7C15ull) >> edgeShift_;
    while (edgeKeys_[slot] != kEmptyKey) slot = (slot + 1) & mask;
    edgeKeys_[slot] = keys[i];
    edgeChildren_[slot] = children[i];
  }
}

void PathMatcher::LinkFailures() {
  // Breadth first: a node's failure target is shallower, so it is final by
  // the time the node is reached.
  std::vector<uint32_t> queue;
  queue.reserve(failure_.size());
  for (uint32_t child = firstChild_[0]; child != kNone; child = nextSibling_[child])
    queue.push_back(child);
  for (size_t head = 0; head < queue.size(); ++head) {
    uint32_t node = queue[head];
    for (uint32_t child = firstChild_[node]; child != kNone; child = nextSibling_[child]) {
      queue.push_back(child);
      uint32_t target = Next(failure_[node], byte_[child]);
      failure_[child] = target;
      outputLink_[child] = HitAt(target);
    }
  }
}

}  // namespace keldra
