// Append-only storage for many small strings that live as long as their
// owner: one allocation per block instead of one per string.
#ifndef KELDRA_COMMON_ARENA_H_
#define KELDRA_COMMON_ARENA_H_

#include <cstring>
#include <memory_resource>
#include <string_view>
#include <utility>
#include <vector>

namespace keldra {

class Arena {
 public:
  // Blocks come from `memory`, which must outlive the arena.
  explicit Arena(std::pmr::memory_resource* memory = std::pmr::new_delete_resource())
      : memory_(memory) {}
  ~Arena() {
    for (const auto& [block, size] : blocks_) memory_->deallocate(block, size, 1);
  }
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // A copy of the bytes that stays valid while the arena lives.
  std::string_view Copy(std::string_view text) {
    if (text.empty()) return {};
    char* place = Allocate(text.size());
    std::memcpy(place, text.data(), text.size());
    return {place, text.size()};
  }

  // `size` bytes of uninitialised storage.
  char* Allocate(size_t size) {
    if (size > remaining_) {
      size_t blockSize = size > kBlockSize / 4 ? size : kBlockSize;
      // Not zero-filled: the block is written before it is read, and
      // filling it would only touch every page twice.
      blocks_.reserve(blocks_.size() + 1);
      next_ = static_cast<char*>(memory_->allocate(blockSize, 1));
      blocks_.emplace_back(next_, blockSize);
      remaining_ = blockSize;
      if (size > kBlockSize / 4) {  // a large string gets a block of its own
        remaining_ = 0;
        return next_;
      }
    }
    char* place = next_;
    next_ += size;
    remaining_ -= size;
    return place;
  }

 private:
  static constexpr size_t kBlockSize = 256 * 1024;
  std::pmr::memory_resource* memory_;
  std::vector<std::pair<char*, size_t>> blocks_;
  char* next_ = nullptr;
  size_t remaining_ = 0;
};

}  // namespace keldra

#endif  // KELDRA_COMMON_ARENA_H_
