// Memory for large stores that live as long as their owner (a manifest's
// records and texts): regions of whole 2 MiB pages, marked for transparent
// huge pages. Faulting in fresh 4 KiB pages one by one was most of what a
// large manifest's load cost beyond reading it; a huge page is faulted in
// about as fast as one small page. Where the system gives no huge pages the
// regions behave as ordinary anonymous memory.
#ifndef KELDRA_COMMON_HUGEPAGES_H_
#define KELDRA_COMMON_HUGEPAGES_H_

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <utility>
#include <vector>

namespace keldra {

// Hands out memory from the front of its current region, and takes a new
// region (twice the last, up to kMaxRegion) when a request does not fit.
// Nothing is given back before the store goes. Its bookkeeping lives outside
// the regions, so no page is touched that holds no data.
class HugePageStore : public std::pmr::memory_resource {
 public:
  static constexpr size_t kPageSize = size_t{2} << 20;
  static constexpr size_t kMaxRegion = size_t{64} << 20;

  HugePageStore() = default;
  ~HugePageStore() override;
  HugePageStore(const HugePageStore&) = delete;
  HugePageStore& operator=(const HugePageStore&) = delete;

 private:
  void* do_allocate(size_t bytes, size_t alignment) override;
  void do_deallocate(void*, size_t, size_t) override {}
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
  void AddRegion(size_t atLeast);

  std::vector<std::pair<void*, size_t>> regions_;
  uintptr_t next_ = 0;
  uintptr_t end_ = 0;
  size_t nextRegion_ = kPageSize;
};

}  // namespace keldra

#endif  // KELDRA_COMMON_HUGEPAGES_H_
