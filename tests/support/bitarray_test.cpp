#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/bitarray.hpp"
#include "support/byteorder.hpp"

namespace kelpra {
namespace {

using I4 = std::vector<std::int32_t>;

TEST(BitArray, Sizes) {
  EXPECT_EQ(bitarraysize(0), 0);
  EXPECT_EQ(bitarraysize(1), 1);
  EXPECT_EQ(bitarraysize(32), 1);
  EXPECT_EQ(bitarraysize(33), 2);
  EXPECT_EQ(bitarraysize(16777217), 524289);
  EXPECT_EQ(bitarraysize(std::numeric_limits<std::int32_t>::max()), 67108864);  // no overflow
  EXPECT_EQ(bitarraynumbits(I4(3)), 96);
}

TEST(BitArray, SetClearTestAndCount) {
  I4 bits(2, 0);
  bitarrayset2(bits, 33);
  EXPECT_EQ(bits, (I4{0, 1}));
  EXPECT_EQ(bitarraycount(bits), 1);
  bitarrayset2(bits, 32);  // the sign bit of word 1
  EXPECT_EQ(bits[0], std::numeric_limits<std::int32_t>::min());
  EXPECT_TRUE(bitarraytest(bits, 32));
  EXPECT_FALSE(bitarraytest(bits, 31));
  bitarrayclear(bits, 32);
  EXPECT_EQ(bits, (I4{0, 1}));

  I4 three(3, 0);
  bitarrayset1(three);
  EXPECT_EQ(bitarraycount(three), 96);
  bitarrayreset(three);
  EXPECT_EQ(bitarraycount(three), 0);
}

TEST(BitArray, IndexListsAndMasks) {
  I4 bits(2, 0);
  bitarrayfromindexlist(I4{0, 1, 65, -3}, bits);
  EXPECT_EQ(bits, (I4{1, 0}));

  bitarrayreset(bits);
  bitarrayfromindexlist(I4{40, 5, 3, 5}, bits);
  I4 list(2, -7);
  std::int32_t n = -1;
  bitarraytoindexlist(bits, list, n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(list, (I4{3, 5}));
  list.assign(4, -7);
  bitarraytoindexlist(bits, list, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(list, (I4{3, 5, 40, -7}));

  // Mask entries past the bits are ignored; bits already set stay set.
  I4 word(1, 2);
  std::vector<bool> mask(40, false);
  mask[0] = mask[35] = true;
  bitarrayfrommask(mask, word);
  EXPECT_EQ(word[0], 3);
  // A mask longer than the bits keeps its tail; 4-byte logicals work as masks.
  I4 logicals(34, 7);
  bitarraytomask(word, logicals);
  EXPECT_EQ(logicals[1], 1);
  EXPECT_EQ(logicals[2], 0);
  EXPECT_EQ(logicals[32], 7);
}

TEST(ByteOrder, Swaps) {
  std::int32_t i = 1;
  swapbyteorder_i32(i);
  EXPECT_EQ(i, 16777216);
  swapbyteorder_i32(i);
  EXPECT_EQ(i, 1);
  std::int64_t l = 0x0102030405060708;
  swapbyteorder_i64(l);
  EXPECT_EQ(l, 0x0807060504030201);
  float f = 1.0f;
  swapbyteorder_r32(f);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(f), 0x0000803Fu);

  // Swapped, this real is a NaN; swapping back restores the exact pattern.
  const std::uint64_t pattern = 0x0100000000F8FF7F;
  double d = std::bit_cast<double>(pattern);
  swapbyteorder_r64(d);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(d), 0x7FFFF80000000001u);
  swapbyteorder_r64(d);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(d), pattern);
}

}  // namespace
}  // namespace kelpra
