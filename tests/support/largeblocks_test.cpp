// Large blocks come from their own aligned mappings; everything allocated must come back
// intact and be given back, whatever order blocks are freed in.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace kelpra {
namespace {

TEST(LargeBlocks, ManyBlocksFreedInAnyOrderKeepTheirContents) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  constexpr std::size_t kStride = 1024;  // one marked value per 4 KiB page
  struct Block {
    std::unique_ptr<std::uint32_t[]> values;
    std::size_t n;
    std::uint32_t mark;
  };
  std::mt19937 random(7);
  std::vector<Block> live;
  for (std::uint32_t round = 0; round < 600; ++round) {
    // Sizes around the large-block threshold and well above it, next to small ones.
    const std::size_t bytes = (round % 3 == 0 ? 64 : (1 + random() % 9) * kMiB) + random() % 4096;
    Block b{std::unique_ptr<std::uint32_t[]>(new std::uint32_t[bytes / 4]), bytes / 4, round};
#if !defined(__SANITIZE_ADDRESS__)
    if (bytes >= 4 * kMiB) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.values.get()) % (2 * kMiB), 0u);
    }
#endif
    for (std::size_t i = 0; i < b.n; i += kStride) b.values[i] = b.mark;
    b.values[b.n - 1] = b.mark;
    live.push_back(std::move(b));
    if (live.size() > 40) {
      const std::size_t victim = random() % live.size();
      const Block& v = live[victim];
      for (std::size_t i = 0; i < v.n; i += kStride) ASSERT_EQ(v.values[i], v.mark);
      ASSERT_EQ(v.values[v.n - 1], v.mark);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(victim));
    }
  }
}

}  // namespace
}  // namespace kelpra
