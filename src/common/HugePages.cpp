#include "common/HugePages.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

namespace keldra {
namespace {

constexpr size_t kPage = HugePageStore::kPageSize;

uintptr_t AlignUp(uintptr_t value, size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// `size` (a multiple of kPage) bytes starting on a huge-page boundary: one
// page more is mapped and both ends trimmed.
void* MapRegion(size_t size) {
  const size_t reserved = size + kPage;
  void* mapped =
      mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t base = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t start = AlignUp(base, kPage);
  if (start > base) munmap(mapped, start - base);
  const uintptr_t end = start + size;
  if (base + reserved > end) munmap(reinterpret_cast<void*>(end), base + reserved - end);
  void* region = reinterpret_cast<void*>(start);
  // Advice only: without huge pages the region still works.
  madvise(region, size, MADV_HUGEPAGE);
  return region;
}

}  // namespace

HugePageStore::~HugePageStore() {
  for (const auto& [region, size] : regions_) munmap(region, size);
}

void* HugePageStore::do_allocate(size_t bytes, size_t alignment) {
  if (alignment == 0 || alignment > kPage) throw std::bad_alloc();
  uintptr_t at = AlignUp(next_, alignment);
  if (next_ == 0 || at > end_ || bytes > end_ - at) {
    AddRegion(bytes);
    at = next_;  // a fresh region starts on a page boundary
  }
  next_ = at + bytes;
  return reinterpret_cast<void*>(at);
}

void HugePageStore::AddRegion(size_t atLeast) {
  if (atLeast > SIZE_MAX - 2 * kPage) throw std::bad_alloc();
  const size_t size = std::max(nextRegion_, AlignUp(std::max<size_t>(atLeast, 1), kPage));
  regions_.reserve(regions_.size() + 1);
  void* region = MapRegion(size);
  regions_.emplace_back(region, size);
  next_ = reinterpret_cast<uintptr_t>(region);
  end_ = next_ + size;
  nextRegion_ = std::min(size * 2, kMaxRegion);
}

}  // namespace keldra
