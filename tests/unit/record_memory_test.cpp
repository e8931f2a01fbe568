// The stores a manifest's records and texts live in: every piece handed out
// is aligned as asked, no two overlap, and all stay valid until the store goes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/Arena.h"
#include "common/HugePages.h"

namespace {

using keldra::Arena;
using keldra::HugePageStore;

struct Piece {
  unsigned char* at;
  size_t size;
  unsigned char fill;
};

TEST(RecordMemory, PiecesAreAlignedDisjointAndKeepTheirBytesAcrossRegions) {
  HugePageStore store;
  std::vector<Piece> pieces;
  // Sizes and alignments that leave odd tails in each region, a piece larger
  // than any region so far, and enough in all to need several regions.
  const size_t sizes[] = {1, 7, 104, 512, 4096, 256 * 1024, 3 * HugePageStore::kPageSize + 5};
  const size_t alignments[] = {1, 8, 16, 64, 4096};
  for (int round = 0; round < 60; ++round) {
    for (size_t i = 0; i < std::size(sizes); ++i) {
      if (sizes[i] > HugePageStore::kPageSize && round % 20 != 0) continue;
      size_t alignment = alignments[(round + i) % std::size(alignments)];
      auto* at = static_cast<unsigned char*>(store.allocate(sizes[i], alignment));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(at) % alignment, 0u);
      auto fill = static_cast<unsigned char>(pieces.size() * 31 + 1);
      std::memset(at, fill, sizes[i]);
      pieces.push_back({at, sizes[i], fill});
    }
  }
  for (const Piece& piece : pieces) {
    ASSERT_EQ(piece.at[0], piece.fill);
    ASSERT_EQ(piece.at[piece.size - 1], piece.fill);
    ASSERT_EQ(piece.at[piece.size / 2], piece.fill);
  }
}

TEST(RecordMemory, ArenaCopiesOutliveTheirSourcesInEitherStore) {
  HugePageStore store;
  Arena onHugePages(&store);
  Arena onHeap;
  std::vector<std::string_view> copies;
  for (int i = 0; i < 20000; ++i) {
    std::string text = "Library/Path/" + std::to_string(i) + std::string(i % 97, 'x');
    copies.push_back(onHugePages.Copy(text));
    copies.push_back(onHeap.Copy(text));
  }
  // A text larger than a block gets one of its own.
  std::string large(300 * 1024, 'L');
  copies.push_back(onHugePages.Copy(large));
  for (int i = 0; i < 20000; ++i) {
    std::string text = "Library/Path/" + std::to_string(i) + std::string(i % 97, 'x');
    ASSERT_EQ(copies[2 * i], text);
    ASSERT_EQ(copies[2 * i + 1], text);
  }
  EXPECT_EQ(copies.back(), large);
  EXPECT_TRUE(onHeap.Copy("").empty());
}

}  // namespace
