// The box of a brick's nodes: bounds taken in node order, so that coordinates that are not
// numbers and signed zeros give the bits min_element and max_element would.
#include "compare/bricksearch.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace kelpra {
namespace {

using locationdetail::Box;
using locationdetail::boxof;
using locationdetail::brickbox;
using locationdetail::bricknodes;
using locationdetail::Nodes;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Nodes along(const std::array<double, 8>& x) {
  Nodes c{};
  c[0] = x;
  c[1].fill(1.0);
  c[2].fill(2.0);
  return c;
}

TEST(BrickBox, NotANumberBoundsOnlyAsTheFirstNode) {
  const Box first = boxof(along({kNaN, 3, -1, 2, 0, 5, 4, 1}));
  EXPECT_TRUE(std::isnan(first.min[0]));
  EXPECT_TRUE(std::isnan(first.max[0]));
  const Box later = boxof(along({3, kNaN, -1, 2, 0, kNaN, 5, 1}));
  EXPECT_EQ(later.min[0], -1.0);
  EXPECT_EQ(later.max[0], 5.0);
  EXPECT_EQ(later.min[1], 1.0);
  EXPECT_EQ(later.max[2], 2.0);
}

TEST(BrickBox, SignedZerosKeepTheFirst) {
  const Box negative = boxof(along({-0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}));
  EXPECT_TRUE(std::signbit(negative.min[0]));
  EXPECT_TRUE(std::signbit(negative.max[0]));
  const Box positive = boxof(along({0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0}));
  EXPECT_FALSE(std::signbit(positive.min[0]));
  EXPECT_FALSE(std::signbit(positive.max[0]));
}

TEST(BrickBox, SameBitsAsMinAndMaxElement) {
  const double values[] = {0.0, -0.0, 1.0, -1.0, 2.5, kNaN, -kNaN, kInf, -kInf, 1e300};
  std::mt19937_64 rng(5);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(values) - 1);
  for (int trial = 0; trial < 20000; ++trial) {
    Nodes c;
    for (auto& axis : c) {
      for (double& v : axis) v = values[pick(rng)];
    }
    const Box b = boxof(c);
    for (std::size_t d = 0; d < 3; ++d) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(b.min[d]),
                std::bit_cast<std::uint64_t>(*std::min_element(c[d].begin(), c[d].end())))
          << "trial " << trial << " axis " << d;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(b.max[d]),
                std::bit_cast<std::uint64_t>(*std::max_element(c[d].begin(), c[d].end())))
          << "trial " << trial << " axis " << d;
    }
  }
}

TEST(BrickBox, OfAMeshElementIsOfItsNodes) {
  // Element 2 takes nodes 9..16 of a mesh whose node n sits at (n, -n, n / 4).
  std::vector<double> x, y, z;
  for (int n = 1; n <= 16; ++n) {
    x.push_back(n);
    y.push_back(-n);
    z.push_back(n / 4.0);
  }
  std::vector<std::int32_t> incidences;
  for (std::int32_t n = 1; n <= 16; ++n) incidences.push_back(n);
  const BrickMesh mesh{x, y, z, incidences, 2};
  const Box b = brickbox(mesh, 2);
  EXPECT_EQ(b.min, (std::array<double, 3>{9, -16, 2.25}));
  EXPECT_EQ(b.max, (std::array<double, 3>{16, -9, 4}));
  EXPECT_EQ(bricknodes(mesh, 2)[0][0], 9.0);
}

}  // namespace
}  // namespace kelpra
