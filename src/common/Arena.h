// Append-only storage for many small strings that live as long as their
// owner: one allocation per block instead of one per string.
#ifndef KELDRA_COMMON_ARENA_H_
#define KELDRA_COMMON_ARENA_H_

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace keldra {

class Arena {
 public:
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
      // Plain new: the block is written before it is read, zero-filling it
      // would only touch every page twice.
      blocks_.emplace_back(new char[blockSize]);
      next_ = blocks_.back().get();
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
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;
  size_t remaining_ = 0;
};

}  // namespace keldra

#endif  // KELDRA_COMMON_ARENA_H_
