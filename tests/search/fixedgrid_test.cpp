#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "search/fixedgrid.hpp"
#include "tests/kit/capture.hpp"
#include "tests/search/layeredmesh.hpp"

namespace kelpra {
namespace {

using searchtest::LayeredMesh;
using searchtest::layeredmesh;

// First layer of a 2 x 1 block mesh on integer nodes: element 1 spans x 0..1, element 2
// x 1..2, both y 0..1.
struct TwoBlocks {
  std::vector<double> x{0, 1, 2, 0, 1, 2};
  std::vector<double> y{0, 0, 0, 1, 1, 1};
  std::vector<std::int32_t> in{1, 2, 5, 4, 1, 2, 5, 4, 2, 3, 6, 5, 2, 3, 6, 5};
};

std::int32_t bruteforce(const FIXEDRESGRID& g, double px, double py) {
  for (std::int32_t e = 1; e <= g.ne; ++e) {
    if (g.pointin(e, px, py)) return e;
  }
  return 0;
}

TEST(FixedResGrid, AnswersEqualABruteForceScan) {
  struct Case {
    bool blocks;
    std::int32_t nx, ny;
  };
  for (const Case c : {Case{true, 1, 1}, Case{true, 7, 5}, Case{false, 13, 29}, Case{false, 1000, 1000},
                       Case{true, 0, -3}}) {
    const LayeredMesh m = layeredmesh(12, 9, 2, c.blocks, 0.22, 0.0, 17);
    FIXEDRESGRID g;
    g.init(c.nx, c.ny, m.ne2d, m.nln, m.in, m.x, m.y);
    EXPECT_EQ(g.nx, std::max(c.nx, 1));
    EXPECT_EQ(g.rowindex.size(), std::int64_t{g.nx} * g.ny + 1);
    EXPECT_EQ(g.rowindex(1), 1);
    std::vector<std::array<double, 2>> points;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> ux(-0.5, 12.5), uy(-0.5, 9.5);
    for (int k = 0; k < 3000; ++k) points.push_back({ux(rng), uy(rng)});
    // Nodes, edge midpoints and the box's edges: the shared and boundary cases.
    for (std::size_t n = 0; n < m.x.size() / 2; ++n) points.push_back({m.x[n], m.y[n]});
    for (std::int32_t e = 1; e <= m.ne2d; ++e) {
      const auto a = m.nodeindex(1, e), b = m.nodeindex(2, e);
      points.push_back({(m.x[a] + m.x[b]) / 2, (m.y[a] + m.y[b]) / 2});
    }
    for (double t = 0; t <= 1.0; t += 0.125) {
      for (const auto p : {std::array{12 * t, 0.0}, {12 * t, 9.0}, {0.0, 9 * t}, {12.0, 9 * t}}) points.push_back(p);
    }
    for (const auto& p : points) {
      ASSERT_EQ(g.findelement(p[0], p[1]), bruteforce(g, p[0], p[1]))
          << "blocks " << c.blocks << " grid " << c.nx << "x" << c.ny << " at " << p[0] << ", " << p[1];
    }
    EXPECT_EQ(g.findelement(12.0, 9.0), m.ne2d - (c.blocks ? 0 : 1));  // corner xmax, ymax: last cell
  }
}

TEST(FixedResGrid, EdgesCellBoundariesAndOrientation) {
  TwoBlocks t;
  FIXEDRESGRID g;
  g.init(2, 1, 2, 8, t.in, t.x, t.y);
  EXPECT_EQ(g.bbox, (std::array<double, 4>{0, 0, 2, 1}));
  // Element 1 reaches the cell boundary x = 1, so cell 2 lists it too.
  EXPECT_EQ(std::vector<std::int32_t>(g.elementindex.begin(), g.elementindex.end()),
            (std::vector<std::int32_t>{1, 1, 2}));
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  for (const auto& [px, py, e] : std::vector<std::tuple<double, double, std::int32_t>>{
           {1.0, 0.5, 1}, {2.0, 1.0, 2}, {0.0, 0.0, 1}, {1.5, 0.5, 2}, {2.0000001, 0.5, 0}, {nan, 0.5, 0},
           {0.5, inf, 0}}) {
    EXPECT_EQ(g.findelement(px, py), e) << px << ", " << py;
  }
  // A clockwise face holds neither its edges nor its diagonal; a counter-clockwise one does.
  for (const bool clockwise : {true, false}) {
    t.in = clockwise ? std::vector<std::int32_t>{1, 4, 5, 2, 1, 4, 5, 2}
                     : std::vector<std::int32_t>{1, 2, 5, 4, 1, 2, 5, 4};
    g.init(4, 4, 1, 8, t.in, t.x, t.y);
    EXPECT_EQ(g.findelement(0.5, 0.25), 1);
    for (const auto p : {std::array{0.5, 0.5}, {0.0, 0.5}, {1.0, 1.0}, {0.5, 0.0}}) {
      EXPECT_EQ(g.findelement(p[0], p[1]), clockwise ? 0 : 1) << p[0] << ", " << p[1];
    }
  }
}

TEST(FixedResGrid, FlatEmptyAndRefusedGrids) {
  FIXEDRESGRID g;
  EXPECT_TRUE(g.empty());
  EXPECT_EQ(g.findelement(0.0, 0.0), 0);
  // Every face on the line x = 3: one cell along x, and faces of zero area hold nothing.
  const std::vector<double> x{3, 3, 3, 3, 3, 3}, y{0, 1, 2, 0, 1, 2};
  const std::vector<std::int32_t> in{1, 2, 3, 4, 5, 6};
  g.init(10, 10, 1, 6, in, x, y);
  EXPECT_EQ(std::tuple(g.nx, g.ny, g.dx), std::tuple(1, 10, 0.0));
  EXPECT_EQ(g.findelement(3.0, 2.0), 0);
  g.init(3, 3, 0, 6, in, x, y);  // no elements: the box is node 1, nothing is listed
  EXPECT_EQ(g.bbox, (std::array<double, 4>{3, 0, 3, 0}));
  EXPECT_EQ(g.findelement(3.0, 0.0), 0);
  g.destroy();
  EXPECT_TRUE(g.empty() && g.nface == 0 && !g.rowindex.allocated());
  EXPECT_EQ(g.findelement(3.0, 0.0), 0);

  const TwoBlocks t;
  testkit::expectstop([&] { g.init(2, 2, 1, 7, t.in, t.x, t.y); },
                      "Fixed resolution grid expects prism or block elements.");
  const std::vector<std::int32_t> bad{1, 2, 9, 4, 1, 2, 5, 4};
  testkit::expectstop([&] { g.init(2, 2, 1, 8, bad, t.x, t.y); }, "element 1 names node 9, outside the 6 nodes");
  testkit::expectstop([&] { g.init(2, 2, 3, 8, t.in, t.x, t.y); }, "holds 16 entries");
  EXPECT_TRUE(g.empty());
}

TEST(FixedResGrid, DispatchReachesAnOverriddenFaceTest) {
  struct Everywhere : FIXEDRESGRID {
    bool pointin(std::int32_t, double, double) const override { return true; }
  };
  const TwoBlocks t;
  Everywhere g;
  g.init(2, 1, 2, 8, t.in, t.x, t.y);
  EXPECT_EQ(g.findelement(1.9, 0.5), 1);  // cell 2 lists element 1 first, and the override claims it
  const FIXEDRESGRID plain = g;
  EXPECT_EQ(plain.findelement(1.9, 0.5), 2);
}

TEST(PointInTri, SignRuleDegenerateAndNaN) {
  const std::array<double, 3> xs{0, 1, 0}, ys{0, 0, 1};
  EXPECT_TRUE(pointintri(0.5, 0.5, xs, ys));  // on the hypotenuse
  EXPECT_TRUE(pointintri(0.0, 0.0, xs, ys));
  EXPECT_FALSE(pointintri(0.5, 0.5, std::array{0.0, 0.0, 1.0}, std::array{0.0, 1.0, 0.0}));  // clockwise
  EXPECT_TRUE(pointintri(0.2, 0.2, std::array{0.0, 0.0, 1.0}, std::array{0.0, 1.0, 0.0}));
  EXPECT_FALSE(pointintri(5.0, 0.0, std::array{0.0, 1.0, 2.0}, std::array{0.0, 0.0, 0.0}));  // zero area
  EXPECT_FALSE(pointintri(std::nan(""), 0.1, xs, ys));
  EXPECT_EQ(getboundingbox(std::vector<double>{2, -1}, std::vector<double>{5, 7}), (Box2d{-1, 2, 5, 7}));
}

}  // namespace
}  // namespace kelpra
