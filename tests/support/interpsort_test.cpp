#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "support/errors.hpp"
#include "support/interpsort.hpp"

namespace kelpra {
namespace {

using I4 = std::vector<std::int32_t>;
using R8 = std::vector<double>;

template <class T>
std::vector<T> randomdata(std::mt19937& gen, int n, T range) {
  std::vector<T> v(static_cast<std::size_t>(n));
  if constexpr (std::is_integral_v<T>) {
    std::uniform_int_distribution<T> dist(-range, range);
    for (auto& e : v) e = dist(gen);
  } else {
    std::uniform_real_distribution<T> dist(-range, range);
    for (auto& e : v) e = dist(gen);
  }
  return v;
}

// idx is a 1-based permutation ordering a ascending; stable: equal keys in index order.
template <class T>
void expectindexsorted(const std::vector<T>& a, const I4& idx, bool stable = false) {
  I4 perm(idx);
  std::sort(perm.begin(), perm.end());
  for (std::size_t k = 0; k < perm.size(); ++k) ASSERT_EQ(perm[k], static_cast<std::int32_t>(k + 1));
  std::vector<T> expected(a);
  std::sort(expected.begin(), expected.end());
  for (std::size_t k = 0; k < idx.size(); ++k) {
    ASSERT_EQ(a[static_cast<std::size_t>(idx[k] - 1)], expected[k]);
    if (stable && k > 0 && a[static_cast<std::size_t>(idx[k] - 1)] == a[static_cast<std::size_t>(idx[k - 1] - 1)]) {
      EXPECT_LT(idx[k - 1], idx[k]);
    }
  }
}

TEST(Sorting, MatchesTheStandardLibraryOnRandomData) {
  std::mt19937 gen(20240607);
  // Around the quicksort's insertion threshold and the shell gaps, with many repeats.
  for (const int n : {0, 1, 2, 16, 17, 18, 100, 5000}) {
    const I4 ints = randomdata<std::int32_t>(gen, n, 6);
    const R8 reals = randomdata<double>(gen, n, 1e3);
    I4 isorted = ints;
    std::sort(isorted.begin(), isorted.end());
    R8 rsorted = reals;
    std::sort(rsorted.begin(), rsorted.end());

    I4 a = ints;
    quicksorti4(n, a);
    EXPECT_EQ(a, isorted);
    a = ints;
    insertionsorti4nodim(a);
    EXPECT_EQ(a, isorted);
    for (auto* sort : {+[](R8& v) { quicksortr8nodim(v); }, +[](R8& v) { shellsortr8nodim(v); },
                       +[](R8& v) { insertionsortr8(static_cast<std::int32_t>(v.size()), v); }}) {
      R8 r = reals;
      sort(r);
      EXPECT_EQ(r, rsorted) << "n=" << n;
    }

    I4 idx(ints.size());
    quicksorti4indexnodim(ints, idx);
    expectindexsorted(ints, idx);
    heapsorti4index(n, ints, idx);
    expectindexsorted(ints, idx);
    insertionsorti4index(n, ints, idx);
    expectindexsorted(ints, idx, true);
    quicksortr8index(n, reals, idx);
    expectindexsorted(reals, idx);
    shellsortr8indexnodim(reals, idx);
    expectindexsorted(reals, idx);
    insertionsortr8indexnodim(reals, idx);
    expectindexsorted(reals, idx, true);
  }
}

TEST(Sorting, OrderedReversedConstantAndNanInput) {
  I4 up(100000);
  std::iota(up.begin(), up.end(), -50000);
  const I4 down(up.rbegin(), up.rend());
  I4 a = down;
  quicksorti4nodim(a);
  EXPECT_EQ(a, up);
  quicksorti4nodim(a);
  EXPECT_EQ(a, up);
  heapsorti4indexnodim(down, a);
  expectindexsorted(down, a);
  I4 same(1000, 4);
  quicksorti4nodim(same);
  EXPECT_EQ(same, I4(1000, 4));

  // Unordered keys give no sorted result, but the partition scans must not leave the array.
  std::mt19937 gen(11);
  R8 r = randomdata<double>(gen, 500, 1.0);
  for (std::size_t i = 0; i < r.size(); i += 3) r[i] = std::numeric_limits<double>::quiet_NaN();
  I4 idx(r.size());
  quicksortr8indexnodim(r, idx);
  std::sort(idx.begin(), idx.end());
  EXPECT_EQ(std::adjacent_find(idx.begin(), idx.end()), idx.end());
  EXPECT_EQ(idx.back(), 500);
}

TEST(Sorting, InsertionThresholdCountsAndStability) {
  // Equal keys show the method: insertion sort keeps their order, a partition does not.
  I4 idx(17);
  quicksorti4index(16, I4(16, 3), idx);
  EXPECT_TRUE(std::is_sorted(idx.begin(), idx.begin() + 16));
  quicksorti4index(17, I4(17, 3), idx);
  EXPECT_FALSE(std::is_sorted(idx.begin(), idx.end()));

  I4 a{5, 4, 3, 2, 1};
  quicksorti4(3, a);  // only the first n move
  EXPECT_EQ(a, (I4{3, 4, 5, 2, 1}));
  quicksorti4(1, a);
  quicksorti4(-2, a);
  EXPECT_EQ(a, (I4{3, 4, 5, 2, 1}));
  quicksorti4(99, a);  // a count past the array is cut to it
  EXPECT_EQ(a, (I4{1, 2, 3, 4, 5}));

  I4 untouched{9, 9};
  insertionsorti4index(0, a, untouched);
  EXPECT_EQ(untouched, (I4{9, 9}));
  heapsorti4index(1, a, untouched);
  EXPECT_EQ(untouched, (I4{1, 9}));
  idx.assign(4, 0);
  insertionsorti4index(4, I4{5, 3, 5, 1}, idx);
  EXPECT_EQ(idx, (I4{4, 2, 1, 3}));
}

TEST(Interpolation, TableEndsAndBetweenPoints) {
  const R8 x{0.0, 1.0, 2.0, 4.0};
  const R8 y{10.0, 20.0, 20.0, -20.0};
  auto at = [&](double xq, std::int32_t n = 4) {
    double yq = 0.0;
    interptabler8(n, x, y, xq, yq);
    return yq;
  };
  EXPECT_EQ(at(4.0), -20.0);
  EXPECT_EQ(at(1e300), -20.0);
  EXPECT_EQ(at(0.0), 10.0);
  EXPECT_EQ(at(-3.0), 10.0);
  EXPECT_DOUBLE_EQ(at(0.25), 12.5);
  EXPECT_DOUBLE_EQ(at(3.0), 0.0);
  EXPECT_EQ(at(2.0), 20.0);
  for (const double xq : {1.1, 1.3, 1.999}) EXPECT_EQ(at(xq), 20.0);  // between equal values
  EXPECT_EQ(at(0.5, 1), 10.0);
  EXPECT_DOUBLE_EQ(at(0.5, 2), 15.0);

  EXPECT_EQ(lerpr8(0.1, 0.7, 0.0), 0.1);
  EXPECT_EQ(lerpr8(0.1, 0.7, 1.0), 0.7);
  EXPECT_EQ(lerpr8(-3.0, 1e-3, 1.0), 1e-3);
  EXPECT_EQ(lerpr8(-5.0, -2.0, 0.0), -5.0);
  EXPECT_DOUBLE_EQ(lerpr8(1.0, 3.0, 2.0), 5.0);
}

TEST(Interpolation, SearchMatchesTheStandardLibrary) {
  const R8 x{1.0, 2.0, 3.0, 4.0, 5.0};
  EXPECT_EQ(binsearchr8(-10.0, 5, x), 1);
  EXPECT_EQ(binsearchr8(3.0, 5, x), 3);
  EXPECT_EQ(binsearchr8(5.0, 5, x), 5);
  EXPECT_EQ(binsearchr8(1.5, 2, x), 1);
  EXPECT_EQ(binsearchr8(0.0, 1, x), 1);

  std::mt19937 gen(99);
  R8 table = randomdata<double>(gen, 300, 50.0);
  std::sort(table.begin(), table.end());
  const auto n = static_cast<std::int32_t>(table.size());
  for (const double xq : randomdata<double>(gen, 2000, 60.0)) {
    // Index of the last x <= xq, at least 1.
    const auto last = std::upper_bound(table.begin(), table.end(), xq) - table.begin();
    EXPECT_EQ(binsearchr8(xq, n, table), std::max<std::int32_t>(static_cast<std::int32_t>(last), 1));
  }
}

TEST(Interpolation, EmptyTablesStop) {
  testing_only::reseterrorstate();
  double yq = 0.0;
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(interptabler8(0, R8{1.0}, R8{1.0}, 1.0, yq), RunStopped);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Interpolation table is empty."), std::string::npos);
  testing_only::reseterrorstate();
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(binsearchr8(1.0, 3, R8{}), RunStopped);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Search table is empty."), std::string::npos);
  testing_only::reseterrorstate();
}

TEST(SmallArrays, EditsAndSwaps) {
  std::int32_t three[3] = {3, 2, 1};
  sort3i4(three);
  EXPECT_EQ(I4(three, three + 3), (I4{1, 2, 3}));
  std::int32_t x = 1;
  std::int32_t y = 2;
  swapi4mask(x, y, false);
  EXPECT_EQ(x, 1);
  swapi4mask(x, y, true);
  EXPECT_EQ(x, 2);

  I4 a{1, 2, 3, 4, 5};
  reversearrayi4(a);
  EXPECT_EQ(a, (I4{5, 4, 3, 2, 1}));
  iotai4(-1, a);
  EXPECT_EQ(a, (I4{-1, 0, 1, 2, 3}));

  a = {1, 1, 2, 2, 2, 3};
  std::int32_t n = 6;
  uniquei4(n, a);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(a, (I4{1, 2, 3, 2, 2, 3}));
  a = {1, 2, 3, 5, 6, 9};
  n = 6;
  uniquei4pred(n, a, [](std::int32_t kept, std::int32_t next) { return next - kept <= 1; });
  EXPECT_EQ(n, 4);
  EXPECT_EQ(a, (I4{1, 3, 5, 9, 6, 9}));
  R8 r{0.5, 0.5, -0.0, 0.0};
  n = 4;
  uniquer8(n, r);
  EXPECT_EQ(n, 2);

  progsleep(-5);  // returns at once
}

}  // namespace
}  // namespace kelpra
