#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "search/nodelisthash.hpp"
#include "tests/kit/capture.hpp"

namespace kelpra {
namespace {

using Key = std::vector<std::int32_t>;
using Values = std::array<std::int32_t, 2>;

TEST(MeshHashTable, KeysInAnyOrderAreOneEntry) {
  MeshHashTable t;
  t.init(3, 5);
  t.insert(Key{3, 1, 2}, 7);
  t.insert(Key{2, 3, 1}, 9);
  Values v{};
  EXPECT_TRUE(t.get(Key{1, 2, 3}, v));
  EXPECT_EQ(v, (Values{7, 9}));
  EXPECT_EQ(t.sz(), 1);
  t.insert(Key{1, 3, 2}, 11);
  t.get(Key{3, 2, 1}, v);
  EXPECT_EQ(v, (Values{7, 11}));
  EXPECT_FALSE(t.get(Key{1, 2, 4}, v));
  EXPECT_EQ(v, (Values{0, 0}));
  // The caller's key is not reordered, and elements past the key length are ignored.
  Key longer{9, 8, 7, 100};
  t.insert(longer, 1);
  EXPECT_EQ(longer, (Key{9, 8, 7, 100}));
  EXPECT_TRUE(t.holds(Key{7, 8, 9}));
  EXPECT_TRUE(t.erase(Key{8, 9, 7}));
  EXPECT_FALSE(t.erase(Key{8, 9, 7}));
}

TEST(MeshHashTable, HashValuesAndKeyLength) {
  // 1 XOR (64 + 0 + 2 + 0x9E3779B9) = 0x9E3779FA, reduced over 2147483647 buckets.
  EXPECT_EQ(hashfunc(2147483647, Key{1, 2}), static_cast<std::int32_t>(0x9E3779FAU % 2147483647U + 1));
  // A hash with its top bit set is reduced as an unsigned number.
  const std::uint64_t negative = static_cast<std::uint64_t>(std::int64_t{-5});
  EXPECT_EQ(hashfunc(11, Key{-5}), static_cast<std::int32_t>(negative % 11 + 1));
  MeshHashTable t;
  t.init(0, 5);
  EXPECT_EQ(t.keylength(), 1);
  t.insert(Key{12}, 1);
  EXPECT_EQ(t.bucketsize(3), 1);
  t.destroy();
  EXPECT_EQ(t.keylength(), 0);
  EXPECT_EQ(t.bucketcount(), 0);
}

TEST(MeshHashTable, AgreesWithSortedKeyMapThroughGrowthAndIteration) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<std::int32_t> node(-6, 9);
  MeshHashTable t;
  t.init(3, 1);
  std::map<Key, Values> oracle;
  for (int step = 0; step < 20000; ++step) {
    Key key{node(gen), node(gen), node(gen)};
    Key sorted = key;
    std::sort(sorted.begin(), sorted.end());
    const int op = static_cast<int>(gen() % 10);
    if (op < 5) {
      t.insert(key, step);
      const auto [it, fresh] = oracle.try_emplace(sorted, Values{step, 0});
      if (!fresh) it->second[1] = step;
    } else if (op < 8) {
      ASSERT_EQ(t.erase(key), oracle.erase(sorted) == 1);
    } else {
      Values v{-1, -1};
      const auto found = oracle.find(sorted);
      ASSERT_EQ(t.get(key, v), found != oracle.end());
      ASSERT_EQ(v, found != oracle.end() ? found->second : (Values{0, 0}));
    }
    ASSERT_EQ(t.sz(), static_cast<std::int32_t>(oracle.size()));
  }
  EXPECT_LE(t.loadfactor(), 0.75F);
  t.rehash(0);
  t.reserve(5000);
  EXPECT_EQ(t.bucketcount(), 6949);

  const MeshHashTable copy = t;
  t.clear();
  std::map<Key, Values> walked;
  MeshHashIterator it;
  inititerator(it, copy);
  Key key(3);
  Values v{};
  while (hasnextiterator(it)) {
    nextiterator(it, copy, key, v);
    EXPECT_TRUE(std::is_sorted(key.begin(), key.end()));
    walked.emplace(key, v);
  }
  EXPECT_EQ(walked, oracle);
  testkit::expectstop([&] { nextiterator(it, copy, key, v); }, "MeshHashIterator: no next element");
}

TEST(MeshHashTable, ShortKeysAndUnsetTables) {
  MeshHashTable t;
  Values v{5, 5};
  EXPECT_FALSE(t.get(Key{1, 2}, v));
  EXPECT_EQ(v, (Values{0, 0}));
  EXPECT_FALSE(t.erase(Key{1}));
  testkit::expectstop([&] { t.insert(Key{1, 2}, 1); }, "MeshHashTable: insert on a table that was not set up by init");
  t.init(4, 5);
  testkit::expectstop([&] { t.insert(Key{1, 2}, 1); },
                      "MeshHashTable: insert with a key of 2 node numbers, the table's keys have 4");
  testkit::expectstop([&] { t.get(Key{1, 2, 3}, v); }, "get with a key of 3");
  t.insert(Key{4, 3, 2, 1}, 1);
  MeshHashIterator it;
  inititerator(it, t);
  Key shortkey(2);
  testkit::expectstop([&] { nextiterator(it, t, shortkey, v); }, "MeshHashIterator: the key array holds 2 entries");
  // Long keys take a heap work copy.
  MeshHashTable wide;
  wide.init(40);
  Key big(40);
  for (std::int32_t i = 0; i < 40; ++i) big[static_cast<std::size_t>(i)] = 40 - i;
  wide.insert(big, 3);
  std::sort(big.begin(), big.end());
  EXPECT_TRUE(wide.get(big, v));
  EXPECT_EQ(v, (Values{3, 0}));
  MeshHashTable& alias = wide;
  wide = alias;
  EXPECT_TRUE(wide.holds(big));
}

}  // namespace
}  // namespace kelpra
