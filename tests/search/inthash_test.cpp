#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "search/inthash.hpp"
#include "tests/kit/capture.hpp"

namespace kelpra {
namespace {

std::map<std::int32_t, std::int32_t> walk(const IHashTable& t) {
  std::map<std::int32_t, std::int32_t> seen;
  IHashIterator it;
  inititerator(it, t);
  while (hasnextiterator(it)) {
    std::int32_t key = 0, value = 0;
    nextiterator(it, t, key, value);
    EXPECT_TRUE(seen.emplace(key, value).second) << "key " << key << " walked twice";
  }
  return seen;
}

TEST(IHashTable, BucketCountsComeFromThePrimeTable) {
  const std::vector<std::pair<std::int64_t, std::int32_t>> cases{
      {-7, 5}, {0, 5}, {5, 5}, {6, 11}, {1000000, 1982627}, {2147483647, 2147483647}, {4294967296, 2147483647}};
  for (const auto& [n, want] : cases) EXPECT_EQ(getprimebucketcount(n), want) << n;
  IHashTable t;
  t.init();
  EXPECT_EQ(t.bucketcount(), 1000003);
  t.init(6);
  EXPECT_EQ(t.bucketcount(), 11);
  EXPECT_EQ(t.maxbucketcount(), 2147483647);
  EXPECT_EQ(t.maxloadfactor(), 0.75F);
}

TEST(IHashTable, GrowthRehashAndReserve) {
  IHashTable t;
  t.init(0);
  for (std::int32_t k = 1; k <= 3; ++k) t.insert(k, 10 * k);
  EXPECT_EQ(t.bucketcount(), 5);
  t.insert(3, 33);  // an existing key: value replaced, no growth
  EXPECT_EQ(t.sz(), 3);
  t.insert(4, 40);
  EXPECT_EQ(t.bucketcount(), 11);
  for (std::int32_t k = 5; k <= 8; ++k) t.insert(k, 10 * k);
  EXPECT_EQ(t.bucketcount(), 11);
  t.insert(9, 90);
  EXPECT_EQ(t.bucketcount(), 23);
  std::int32_t v = -1;
  EXPECT_TRUE(t.get(3, v));
  EXPECT_EQ(v, 33);
  EXPECT_FALSE(t.get(99, v));
  EXPECT_EQ(v, 0);

  IHashTable r;
  r.init(5);
  r.reserve(3);
  EXPECT_EQ(r.bucketcount(), 5);
  r.reserve(100);
  EXPECT_EQ(r.bucketcount(), 199);
  r.init();
  for (std::int32_t k = 0; k < 10; ++k) r.insert(k, k);
  r.rehash(0);
  EXPECT_EQ(r.bucketcount(), 23);
  EXPECT_EQ(r.loadfactor(), 10.0F / 23.0F);
  r.clear();
  EXPECT_EQ(r.sz(), 0);
  EXPECT_TRUE(r.empty());
  r.insert(7, 70);
  EXPECT_TRUE(r.get(7, v));
  EXPECT_EQ(v, 70);
}

TEST(IHashTable, IterationWalksBucketsDownward) {
  IHashTable t;
  t.init(5);
  for (std::int32_t k = 1; k <= 3; ++k) t.insert(k, k);
  IHashIterator it;
  inititerator(it, t);
  std::vector<std::int32_t> keys;
  std::int32_t key = 0, value = 0;
  while (hasnextiterator(it)) {
    nextiterator(it, t, key, value);
    keys.push_back(key);
  }
  EXPECT_EQ(keys, (std::vector<std::int32_t>{3, 2, 1}));
  testkit::expectstop([&] { nextiterator(it, t, key, value); }, "IHashIterator: no next element");
}

// Random inserts, erases, look-ups, resizes and clears against std::unordered_map, with
// the extreme and negative keys mixed in.
TEST(IHashTable, AgreesWithUnorderedMap) {
  std::mt19937 gen(11);
  std::uniform_int_distribution<std::int32_t> small(-300, 300);
  const std::vector<std::int32_t> extremes{INT_MIN, INT_MIN + 1, -1, 0, INT_MAX};
  IHashTable t;
  t.init(0);
  std::unordered_map<std::int32_t, std::int32_t> oracle;
  for (int step = 0; step < 40000; ++step) {
    const std::int32_t key = step % 17 == 0 ? extremes[static_cast<std::size_t>(step) % extremes.size()] : small(gen);
    const int op = static_cast<int>(gen() % 100);
    if (op < 55) {
      t.insert(key, step);
      oracle[key] = step;
      ASSERT_LE(t.loadfactor(), 0.75F);
    } else if (op < 85) {
      ASSERT_EQ(t.erase(key), oracle.erase(key) == 1);
    } else if (op < 97) {
      std::int32_t v = -1;
      const auto found = oracle.find(key);
      ASSERT_EQ(t.get(key, v), found != oracle.end());
      ASSERT_EQ(v, found != oracle.end() ? found->second : 0);
    } else if (op < 98) {
      t.rehash(static_cast<std::int32_t>(gen() % 2000));
    } else if (op < 99) {
      t.reserve(static_cast<std::int32_t>(gen() % 2000));
    } else if (step % 5 == 0) {
      t.clear();
      oracle.clear();
    }
    ASSERT_EQ(t.sz(), static_cast<std::int32_t>(oracle.size()));
  }
  std::int32_t chained = 0;
  for (std::int32_t i = 1; i <= t.bucketcount(); ++i) chained += t.bucketsize(i);
  EXPECT_EQ(chained, t.sz());
  EXPECT_EQ(walk(t), (std::map<std::int32_t, std::int32_t>(oracle.begin(), oracle.end())));
}

TEST(IHashTable, CopiesAreDeepAndSelfAssignmentKeepsTheContents) {
  IHashTable a;
  a.init(5);
  for (std::int32_t k = -20; k <= 20; ++k) a.insert(k, k * k);
  IHashTable b = a;
  IHashTable& alias = b;
  b = alias;
  const auto before = walk(b);
  a.insert(1, -1);
  a.erase(2);
  a.destroy();
  EXPECT_EQ(before.size(), 41U);
  EXPECT_EQ(walk(b), before);
  IHashTable c = std::move(b);
  EXPECT_EQ(walk(c), before);
}

std::int32_t firstbucket(std::int32_t, std::int32_t) { return 1; }
std::int32_t badbucket(std::int32_t count, std::int32_t) { return count + 1; }

TEST(IHashTable, CustomHashUnsetTablesAndLongChains) {
  IHashTable t;
  std::int32_t v = 7;
  EXPECT_FALSE(t.get(3, v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(t.holds(3));
  EXPECT_FALSE(t.erase(3));
  EXPECT_EQ(t.bucketsize(1), 0);
  testkit::expectstop([&] { t.insert(1, 1); }, "IHashTable: insert on a table that was not set up by init");
  testkit::expectstop([&] { t.rehash(10); }, "IHashTable: rehash on a table");

  t.init(5, firstbucket);
  for (std::int32_t k = 0; k < 3; ++k) t.insert(k, k);
  EXPECT_EQ(t.bucketsize(1), 3);
  t.init(5);  // the hash function stays
  t.insert(9, 9);
  EXPECT_EQ(t.bucketsize(1), 1);
  t.init(5, badbucket);
  testkit::expectstop([&] { t.insert(1, 1); }, "the hash function gave bucket 6 for key 1, outside 1 to 5");
  testkit::expectstop([&] { t.rehashwork(0); }, "rehashwork needs at least one bucket");

  // One chain of many nodes is released without recursion.
  IHashTable big;
  big.init();
  for (std::int32_t k = 0; k < 300000; ++k) big.insert(k, k);
  big.rehashwork(1);
  EXPECT_EQ(big.bucketsize(1), 300000);
  IHashTable copy = big;
  EXPECT_TRUE(copy.holds(299999));
  big.destroy();
}

}  // namespace
}  // namespace kelpra
