#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <type_traits>
#include <vector>

#include "search/kdtree.hpp"
#include "tests/kit/capture.hpp"

namespace kelpra {
namespace {

using R8 = std::vector<double>;
using I4 = std::vector<std::int32_t>;
constexpr double H = 1.7976931348623157e308;

template <int D>
using Coords = std::array<R8, D>;

// Builds over the whole cloud, or over the positions of an index list.
template <int D>
void build(KDTree<D>& t, const std::type_identity_t<Coords<D>>& c, const I4* index = nullptr,
           std::optional<std::int32_t> bucket = {}) {
  if constexpr (D == 3) {
    index != nullptr ? t.init2(*index, c[0], c[1], c[2], bucket) : t.init1(c[0], c[1], c[2], bucket);
  } else {
    index != nullptr ? t.init2(*index, c[0], c[1], bucket) : t.init1(c[0], c[1], bucket);
  }
}

I4 listed(const I4Array& list, std::int32_t count) {
  I4 out(list.begin(), list.begin() + count);
  std::sort(out.begin(), out.end());
  return out;
}

template <class Dimension>
class KDTreeQueries : public ::testing::Test {};
using Dimensions = ::testing::Types<std::integral_constant<int, 2>, std::integral_constant<int, 3>>;
TYPED_TEST_SUITE(KDTreeQueries, Dimensions);

// Random clouds on a coarse grid (many duplicate coordinates and exactly equal distances),
// every search against brute force, over init1 and init2 and several bucket sizes.
TYPED_TEST(KDTreeQueries, AgreeWithBruteForce) {
  constexpr int D = TypeParam::value;
  using Tree = KDTree<D>;
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> grid(0, 12);
  const std::size_t npoints = 1500;
  Coords<D> c;
  for (auto& axis : c) {
    for (std::size_t i = 0; i < npoints; ++i) axis.push_back(grid(gen) * 0.5);
  }
  I4 index;
  for (std::size_t i = 0; i < 700; ++i) index.push_back(static_cast<std::int32_t>(gen() % npoints) + 1);

  for (const bool indexed : {false, true}) {
    for (const std::int32_t bucket : {1, 3, 20}) {
      Tree t;
      build(t, c, indexed ? &index : nullptr, bucket);
      const auto n = static_cast<std::int32_t>(indexed ? index.size() : npoints);
      auto dist2 = [&](const typename Tree::Point& q, std::int32_t p) {
        const std::size_t pt = static_cast<std::size_t>(indexed ? index[static_cast<std::size_t>(p) - 1] : p) - 1;
        double s = 0;
        for (int a = 0; a < D; ++a) s += (q[a] - c[a][pt]) * (q[a] - c[a][pt]);
        return s;
      };
      I4Array list;
      std::int32_t count = 0;
      for (int trial = 0; trial < 120; ++trial) {
        typename Tree::Point q{};
        // Grid points, points between grid lines, and points far outside the cloud.
        for (auto& v : q) v = trial % 3 == 0 ? grid(gen) * 0.5 : (trial % 3 == 1 ? grid(gen) * 0.25 : 40.0 - grid(gen));
        SCOPED_TRACE(::testing::Message() << "indexed " << indexed << " bucket " << bucket << " trial " << trial);
        std::vector<std::pair<double, std::int32_t>> all;
        for (std::int32_t p = 1; p <= n; ++p) all.emplace_back(dist2(q, p), p);
        std::sort(all.begin(), all.end());
        const double best = all.front().first;
        auto wanted = [&](auto keep) {
          I4 want;
          for (const auto& [d, p] : all) {
            if (keep(d, p)) want.push_back(p);
          }
          std::sort(want.begin(), want.end());
          return want;
        };

        t.exactsearch(q, list, count);
        EXPECT_EQ(listed(list, count), wanted([](double d, std::int32_t) { return d == 0; }));

        double d2 = 0;
        std::int32_t p = 0;
        t.nearestneighborsearch(q, d2, p);
        EXPECT_EQ(d2, best);
        EXPECT_EQ(dist2(q, p), best);

        I4 ties(static_cast<std::size_t>(n));
        std::int32_t nties = 0;
        t.nearestneighborsearchwithties(q, d2, ties, nties);
        ties.resize(static_cast<std::size_t>(nties));
        std::sort(ties.begin(), ties.end());
        EXPECT_EQ(d2, best);
        EXPECT_EQ(ties, wanted([best](double d, std::int32_t) { return d == best; }));

        const std::int32_t k = 8;
        R8 dists(k + 2);
        I4 knn(k);
        t.nearestnneighborsearch(q, k, dists, knn, count);
        ASSERT_EQ(count, k);
        for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
          EXPECT_EQ(dists[i], all[i].first);
          EXPECT_EQ(dist2(q, knn[i]), dists[i]);
        }
        EXPECT_EQ(dists[k], H);
        I4 distinct(knn);
        std::sort(distinct.begin(), distinct.end());
        EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());

        // A radius that often meets points at exactly its distance.
        const double r = 0.5 * (1 + trial % 4);
        t.radiussearch(q, r, list, count);
        EXPECT_EQ(listed(list, count), wanted([r](double d, std::int32_t) { return d < r * r; }));

        // A closed box with faces on grid values.
        typename Tree::Box box{};
        for (int a = 0; a < D; ++a) {
          const double lo = grid(gen) * 0.5, hi = grid(gen) * 0.5;
          box[a] = std::min(lo, hi);
          box[D + a] = std::max(lo, hi);
        }
        t.rangesearch(box, list, count);
        EXPECT_EQ(listed(list, count),
                  wanted([&](double, std::int32_t pos) { return Tree::pointinboundingbox(box, t.getpoint(pos)); }));
      }
    }
  }
}

TYPED_TEST(KDTreeQueries, EmptyAndUnbuiltTreesFindNothing) {
  constexpr int D = TypeParam::value;
  KDTree<D> built, unbuilt;
  build(built, Coords<D>{});
  EXPECT_FALSE(built.empty());
  EXPECT_TRUE(unbuilt.empty());
  EXPECT_EQ((std::array{built.bucketsize(), built.root()->lo, built.root()->hi, built.leaves(), built.depth()}),
            (std::array{0, 1, 0, 1, 0}));
  for (const KDTree<D>* t : {&built, &unbuilt}) {
    const typename KDTree<D>::Point q{};
    double d2 = 0;
    std::int32_t p = 5, count = 5;
    t->nearestneighborsearch(q, d2, p);
    EXPECT_EQ(p, 0);
    EXPECT_EQ(d2, H);
    I4Array list;
    t->exactsearch(q, list, count);
    EXPECT_EQ(count, 0);
    t->radiussearch(q, 1.0, list, count);
    EXPECT_EQ(count, 0);
    t->rangesearch(typename KDTree<D>::Box{-1, -1, 1, 1}, list, count);
    EXPECT_EQ(count, 0);
    R8 dists(2, 0.0);
    I4 knn(2);
    t->nearestnneighborsearch(q, 2, dists, knn, count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dists, (R8{H, H}));
  }
}

// ---- Construction

TEST(KDTreeBuild, BucketSizeDepthAndLeafRules) {
  const R8 x{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const R8 y(10, 0.0), z(10, 0.0);
  KDTree3D t;
  t.init1(x, y, z);
  EXPECT_EQ(t.bucketsize(), 10);  // min(n, 20)
  EXPECT_EQ(t.leaves(), 1);
  EXPECT_FALSE(t.root()->left);
  t.init1(x, y, z, 0);
  EXPECT_EQ(t.bucketsize(), 1);
  EXPECT_EQ(t.leaves(), 10);
  t.init1(x, y, z, 50);
  EXPECT_EQ(t.bucketsize(), 10);
  t.init1(x, y, z, 1, 0);
  EXPECT_EQ(t.leaves(), 1);
  EXPECT_EQ(t.depth(), 0);
  EXPECT_EQ(t.maxdepth(), 0);
  t.init1(x, y, z, 1, -3);
  EXPECT_EQ(t.maxdepth(), 0);
}

TEST(KDTreeBuild, CoincidentPointsStayInOneChildlessNode) {
  const R8 c(12, 2.5);
  KDTree3D t;
  t.init1(c, c, c, 4);
  EXPECT_EQ(t.leaves(), 1);
  EXPECT_EQ(t.depth(), 0);
  EXPECT_EQ(t.root()->splitdim, 1);
  EXPECT_FALSE(t.root()->left);
  I4Array list;
  std::int32_t count = 0;
  t.exactsearch(2.5, 2.5, 2.5, list, count);
  EXPECT_EQ(count, 12);
}

TEST(KDTreeBuild, SplitOnTheWidestSideLowerAxisFirst) {
  EXPECT_EQ(KDTree3D::splitonwidest(0, {0, 0, 0, 2, 2, 1}), 1);
  EXPECT_EQ(KDTree3D::splitonwidest(0, {0, 0, 0, 1, 2, 2}), 2);
  EXPECT_EQ(KDTree3D::splitonwidest(0, {0, 0, 0, 1, 1, 2}), 3);
  // No positive width: the level decides.
  EXPECT_EQ(KDTree3D::splitonwidest(4, {1, 1, 1, 1, 1, 1}), 2);
  EXPECT_EQ(KDTree2D::splitonwidest(0, {0, 0, 3, 3}), 1);
  EXPECT_EQ(KDTree2D::splitonwidest(3, {H, H, -H, -H}), 2);
}

TEST(KDTreeBuild, TwoPointsCutAtTheLowerOne) {
  const R8 x{5, 3}, same{1, 1};
  KDTree3D t;
  t.init1(x, same, same, 1);
  const auto* root = t.root();
  EXPECT_EQ(root->splitdim, 1);
  EXPECT_EQ(root->splitvalue, 3.0);
  ASSERT_TRUE(root->left);
  EXPECT_EQ(t.order()[static_cast<std::size_t>(root->left->lo) - 1], 2);
  EXPECT_EQ(t.order()[static_cast<std::size_t>(root->right->lo) - 1], 1);
  // The children's boxes are the root box cut at the split value.
  EXPECT_EQ(root->left->box[3], 3.0);
  EXPECT_EQ(root->right->box[0], 3.0);
}

TEST(KDTreeBuild, SameInputSameTreeAndIndexedBoxCoversAllPoints) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(0, 1);
  R8 x(5000), y(5000);
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = u(gen);
    y[i] = u(gen);
  }
  KDTree2D a, b;
  a.init1(x, y, 5);
  b.init1(x, y, 5);
  EXPECT_TRUE(std::ranges::equal(a.order(), b.order()));  // every cut in the same place
  EXPECT_EQ(a.leaves(), b.leaves());
  const I4 index{2, 3};
  const R8 px{10, 1, 2}, py{-4, 1, 2};
  a.init2(index, px, py);
  EXPECT_EQ(a.root()->box, (KDTree2D::Box{1, -4, 10, 2}));
  EXPECT_EQ(a.getpoint(1), (KDTree2D::Point{1, 1}));
}

TEST(KDTreeBuild, CopiesAreIndependentAndSelfAssignmentKeepsTheTree) {
  const R8 x{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const R8 y{5, 3, 1, 4, 2, 0, 9, 8, 7, 6, 11, 10};
  auto source = std::make_unique<KDTree2D>();
  source->init1(x, y, 2);
  KDTree2D copy = *source;
  KDTree2D& alias = copy;
  copy = alias;
  const std::int32_t leaves = source->leaves();
  source.reset();
  EXPECT_EQ(copy.leaves(), leaves);
  double d2 = 0;
  std::int32_t p = 0;
  copy.nearestneighborsearch(6.1, 9.2, d2, p);
  EXPECT_EQ(p, 7);
  KDTree2D moved = std::move(copy);
  moved.nearestneighborsearch(11.0, 10.0, d2, p);
  EXPECT_EQ(p, 12);
  moved.destroy();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.leaves(), 0);
}

TEST(KDTreeBuild, BadArgumentsStopTheRun) {
  const R8 two{1, 2}, one{1};
  KDTree3D t;
  testkit::expectstop([&] { t.init1(two, two, one); }, "KDTree3D: the coordinate arrays differ in length (2, 2, 1)");
  testkit::expectstop([&] { t.init2(I4{1, 3}, two, two, two); }, "index list entry 2 is 3, outside 1 to 2");
  KDTree2D u;
  u.init1(two, two);
  R8 dists(3);
  I4 list(3);
  std::int32_t count = 0;
  testkit::expectstop([&] { u.nearestnneighborsearch(0.0, 0.0, 0, dists, list, count); },
                      "KDTree2D: k-nearest search for k = 0, below 1");
  testkit::expectstop([&] { u.nearestnneighborsearch(0.0, 0.0, 4, dists, list, count); }, "with room for 3 results");
  double d2 = 0;
  testkit::expectstop([&] { u.nearestneighborsearchwithties(0.0, 0.0, d2, std::span<std::int32_t>{}, count); },
                      "list with ties has no entry");
}

// ---- The searches' own tie and bound cases

TEST(KDTreeSearch, TiesAndBounds) {
  // Squared distances from the origin: 4, 1, 4, 9; one leaf scanned in point order.
  const R8 x{2, 0, -2, 0}, y{0, 1, 0, 3};
  KDTree2D t;
  t.init1(x, y);
  double d2 = 0;
  std::int32_t p = 0, count = 0;
  t.nearestneighborsearch(0.0, -3.0, d2, p);  // positions 1 and 3 both at 13: the first scanned
  EXPECT_EQ(std::pair(d2, p), std::pair(13.0, 1));
  I4 two(2), one(1);
  t.nearestneighborsearchwithties(0.0, -3.0, d2, two, count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(two, (I4{1, 3}));
  t.nearestneighborsearchwithties(0.0, -3.0, d2, one, count);
  EXPECT_EQ(std::pair(count, one[0]), std::pair(1, 1));

  R8 dists(2);
  t.nearestnneighborsearch(0.0, 0.0, 2, dists, two, count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(dists, (R8{1, 4}));
  EXPECT_EQ(two, (I4{2, 1}));
  R8 many(6);
  I4 manylist(6);
  t.nearestnneighborsearch(0.0, 0.0, 6, many, manylist, count);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(many, (R8{1, 4, 4, 9, H, H}));

  I4Array list;
  t.radiussearch(0.0, 0.0, 2.0, list, count);  // distance 2 exactly is not inside
  EXPECT_EQ(listed(list, count), (I4{2}));
  t.radiussearch(0.0, 1.0, 0.0, list, count);
  EXPECT_EQ(count, 0);
  t.radiussearch(0.0, 0.0, -3.0, list, count);
  EXPECT_EQ(count, 0);
  t.rangesearch({0, 1, 2, 3}, list, count);  // faces on points 2 and 4
  EXPECT_EQ(listed(list, count), (I4{2, 4}));
}

TEST(KDTreeSearch, ExactSearchFindsTiesOnBothSidesOfASortedCut) {
  // Four points, bucket size 1: the sorted cut puts one point of x = 2 left of the cut
  // at 2 and two right of it.
  const R8 x{2, 1, 2, 2}, zero(4, 0.0);
  KDTree3D t;
  t.init1(x, zero, zero, 1);
  I4Array list;
  std::int32_t count = 0;
  t.exactsearch(2.0, 0.0, 0.0, list, count);
  EXPECT_EQ(listed(list, count), (I4{1, 3, 4}));
}

TEST(KDTreeSearch, GrowableListsGrowByHalf) {
  const R8 x{0, 1, 2, 3, 4, 5, 6}, zero(7, 0.0);
  KDTree2D t;
  t.init1(x, zero);
  I4Array list;
  list.allocate(4);
  std::int32_t count = 0;
  for (const auto& [xmax, size] : {std::pair{3.0, 4}, {4.0, 6}, {6.0, 9}}) {
    t.rangesearch({0, 0, xmax, 0}, list, count);
    EXPECT_EQ(count, static_cast<std::int32_t>(xmax) + 1);
    EXPECT_EQ(list.size(), size);
  }
  I4Array fresh;
  t.radiussearch(0.0, 0.0, 1.5, fresh, count);
  EXPECT_EQ(fresh.size(), 2);  // 1, then 2
}

}  // namespace
}  // namespace kelpra
