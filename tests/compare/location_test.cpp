// Local coordinates and weights in element boxes, the box grid against the element scan on
// random meshes, and the location cache.
#include "compare/location.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textformats.hpp"
#include "tests/compare/comparetesting.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using Point = std::array<double, 3>;

struct BoxCase {
  const char* what;
  Point point;
  std::int32_t flag;
  Point rst;
};

// The box [0, 1] x [0, 2] x [1, 3], or the same flat on z (z = 1 only).
TEST(BoxCoordinates, LocalCoordinatesAndTolerance) {
  const Point lo{0, 0, 1}, hi{1, 2, 3}, flathi{1, 2, 1};
  const BoxCase cases[] = {
      {"centre", {0.5, 1, 2}, 0, {0, 0, 0}},
      {"corner", {1, 2, 3}, 0, {1, 1, 1}},
      {"low corner", {0, 0, 1}, 0, {-1, -1, -1}},
      {"within the tolerance", {1.00002, 1, 2}, 0, {1.00004, 0, 0}},
      {"beyond the tolerance", {1.00003, 1, 2}, -1, {1.00006, 0, 0}},
      {"below on y", {0.5, -0.0002, 2}, -1, {0, -1.0002, 0}},
  };
  for (const BoxCase& c : cases) {
    Point rst{};
    std::int32_t flag = 7;
    get_rst_from_xyz(kBrick8, 3, c.point, lo, hi, rst, flag);
    EXPECT_EQ(flag, c.flag) << c.what;
    for (std::size_t d = 0; d < 3; ++d) EXPECT_NEAR(rst[d], c.rst[d], 1e-12) << c.what << " axis " << d;
  }
  // A flat axis keeps its own slot with coordinate 0 and holds only points on its plane.
  Point rst{};
  std::int32_t flag = 7;
  get_rst_from_xyz(kBrick8, 3, Point{0.75, 0.5, 1}, lo, flathi, rst, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(rst, (Point{0.5, -0.5, 0}));
  get_rst_from_xyz(kBrick8, 3, Point{0.75, 0.5, 1.0000001}, lo, flathi, rst, flag);
  EXPECT_EQ(flag, -1);
  // Another element kind is not evaluated.
  rst = {7, 7, 7};
  get_rst_from_xyz(64, 3, Point{9, 9, 9}, lo, hi, rst, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(rst, (Point{7, 7, 7}));
}

// Corner k of the weights: the x, y, z signs of node k + 1.
constexpr double kSigns[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                 {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};

TEST(BoxCoordinates, WeightsAtCentreAndCornersInterpolateLinearFields) {
  std::array<double, 8> w{};
  br8shp(1, Point{0, 0, 0}, w);
  for (const double v : w) EXPECT_EQ(v, 0.125);
  const auto& corners = kSigns;
  for (std::size_t k = 0; k < 8; ++k) {
    const std::array<double, 4> rst{9, corners[k][0], corners[k][1], corners[k][2]};  // from slot 2
    br8shp(2, rst, w);
    for (std::size_t j = 0; j < 8; ++j) EXPECT_EQ(w[j], j == k ? 1.0 : 0.0) << k << ' ' << j;
  }
  // A field linear in r, s, t is reproduced anywhere in the box.
  std::array<double, 8> nodal{};
  for (std::size_t k = 0; k < 8; ++k) nodal[k] = 3 + 2 * corners[k][0] - corners[k][1] + 0.5 * corners[k][2];
  br8shp(1, Point{0.3, -0.7, 0.9}, w);
  EXPECT_NEAR(dfe_interp(w, nodal), 3 + 0.6 + 0.7 + 0.45, 1e-14);
  EXPECT_EQ(linf(-1), 0.0);
  EXPECT_EQ(linf(0.5), 0.75);
}

// ---- The grid against the scan ---------------------------------------------------------------

struct RandomMesh {
  std::vector<double> x, y, z;
  std::vector<std::int32_t> incidences;
  BrickMesh view() const { return {x, y, z, incidences, static_cast<std::int32_t>(incidences.size() / 8)}; }
};

// A jittered block grid (boxes overlap), its elements in random order, with flat elements,
// repeated elements, one element over the whole mesh and one with a node at infinity.
RandomMesh randommesh(std::mt19937_64& rng, int nx, int ny, int nz) {
  RandomMesh m;
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  auto node = [&](int i, int j, int k) { return k * (nx + 1) * (ny + 1) + j * (nx + 1) + i + 1; };
  for (int k = 0; k <= nz; ++k) {
    for (int j = 0; j <= ny; ++j) {
      for (int i = 0; i <= nx; ++i) {
        // Nodes on the outer faces stay in place, so some boxes meet exactly.
        const bool inner = i > 0 && i < nx && j > 0 && j < ny;
        m.x.push_back(i + (inner ? jitter(rng) : 0));
        m.y.push_back(j + (inner ? jitter(rng) : 0));
        m.z.push_back(k * 0.5 + (inner ? jitter(rng) / 2 : 0));
      }
    }
  }
  std::vector<std::array<std::int32_t, 8>> elements;
  for (int k = 0; k < nz; ++k) {
    for (int j = 0; j < ny; ++j) {
      for (int i = 0; i < nx; ++i) {
        elements.push_back({node(i, j, k), node(i + 1, j, k), node(i + 1, j + 1, k), node(i, j + 1, k),
                            node(i, j, k + 1), node(i + 1, j, k + 1), node(i + 1, j + 1, k + 1),
                            node(i, j + 1, k + 1)});
      }
    }
  }
  std::shuffle(elements.begin(), elements.end(), rng);
  // Flat on z: the bottom face of the mesh twice (its nodes lie at z = 0 exactly).
  elements.push_back({node(0, 0, 0), node(1, 0, 0), node(1, 1, 0), node(0, 1, 0), node(0, 0, 0), node(1, 0, 0),
                      node(1, 1, 0), node(0, 1, 0)});
  elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(elements.size() / 3), elements[elements.size() / 2]);
  elements.push_back({node(0, 0, 0), node(nx, 0, 0), node(nx, ny, 0), node(0, ny, 0), node(0, 0, nz), node(nx, 0, nz),
                      node(nx, ny, nz), node(0, ny, nz)});
  m.x.push_back(std::numeric_limits<double>::infinity());
  m.y.push_back(1);
  m.z.push_back(0.5);
  const auto far = static_cast<std::int32_t>(m.x.size());
  elements.push_back(
      {node(0, 0, 0), far, node(1, 1, 0), node(0, 1, 0), node(0, 0, 1), far, node(1, 1, 1), node(0, 1, 1)});
  for (const auto& e : elements) m.incidences.insert(m.incidences.end(), e.begin(), e.end());
  return m;
}

TEST(BrickBoxIndex, AnswersAsTheScanOnRandomMeshes) {
  std::mt19937_64 rng(17);
  const int sizes[][3] = {{1, 1, 1}, {3, 2, 2}, {6, 5, 3}, {24, 20, 6}};
  for (const auto& size : sizes) {
    const RandomMesh mesh = randommesh(rng, size[0], size[1], size[2]);
    const BrickMesh view = mesh.view();
    const BrickBoxIndex index(view);
    std::vector<Point> points;
    std::uniform_real_distribution<double> ux(-0.2, size[0] + 0.2), uy(-0.2, size[1] + 0.2),
        uz(-0.1, size[2] * 0.5 + 0.1);
    for (int i = 0; i < 3000; ++i) points.push_back({ux(rng), uy(rng), uz(rng)});
    // Nodes (shared corners), points just off them, and points no box can hold.
    for (std::size_t n = 0; n + 1 < mesh.x.size(); ++n) {
      points.push_back({mesh.x[n], mesh.y[n], mesh.z[n]});
      points.push_back({mesh.x[n] + 1e-5, mesh.y[n] - 3e-5, mesh.z[n]});
    }
    points.push_back({std::nan(""), 0.5, 0.25});
    points.push_back({1e300, -1e300, 0});
    std::size_t found = 0;
    for (const Point& p : points) {
      Point a{}, b{};
      const std::int32_t scanned = scanbricks(view, p, a);
      const std::int32_t indexed = index.find(p, b);
      ASSERT_EQ(indexed, scanned) << p[0] << ' ' << p[1] << ' ' << p[2];
      if (scanned > 0) {
        EXPECT_EQ(a, b);
        ++found;
      }
    }
    EXPECT_GT(found, points.size() / 4);
  }
}

// ---- Distorted bricks --------------------------------------------------------------------------

// Two columns of two layers, skewed on x and y, over a sloping interface (z from 1 to 1.8) under
// a sloping top: elements 1, 2 below, 3, 4 above.
RandomMesh distortedmesh() {
  RandomMesh m;
  for (int k = 0; k <= 2; ++k) {
    for (int j = 0; j <= 1; ++j) {
      for (int i = 0; i <= 2; ++i) {
        m.x.push_back(i + 0.25 * k + 0.1 * j);
        m.y.push_back(j + 0.1 * i);
        m.z.push_back(k == 0 ? 0.1 * j : k == 1 ? 1 + 0.4 * i + 0.2 * j : 3 - 0.1 * i);
      }
    }
  }
  auto node = [](int i, int j, int k) { return k * 6 + j * 3 + i + 1; };
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < 2; ++i) {
      for (const int kk : {k, k + 1}) {
        for (const auto& [a, b] : {std::pair{i, 0}, std::pair{i + 1, 0}, std::pair{i + 1, 1}, std::pair{i, 1}}) {
          m.incidences.push_back(node(a, b, kk));
        }
      }
    }
  }
  return m;
}

// The node values of element e.
std::array<double, 8> nodal(const RandomMesh& m, const std::vector<double>& values, std::int32_t e) {
  std::array<double, 8> v{};
  for (std::size_t k = 0; k < 8; ++k) {
    v[k] = values[static_cast<std::size_t>(m.incidences[static_cast<std::size_t>(e - 1) * 8 + k] - 1)];
  }
  return v;
}

// The point at local coordinates rst of element e.
Point pointat(const RandomMesh& m, std::int32_t e, const Point& rst) {
  std::array<double, 8> w{};
  br8shp(1, rst, w);
  return {dfe_interp(w, nodal(m, m.x, e)), dfe_interp(w, nodal(m, m.y, e)), dfe_interp(w, nodal(m, m.z, e))};
}

// The first element whose box holds the point, with its box coordinates.
std::int32_t boxrule(const RandomMesh& m, const Point& p, Point& rst) {
  for (std::int32_t e = 1; e <= m.view().ne; ++e) {
    Point lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    for (std::size_t k = 0; k < 8; ++k) {
      const auto n = static_cast<std::size_t>(m.incidences[static_cast<std::size_t>(e - 1) * 8 + k] - 1);
      const double c[3] = {m.x[n], m.y[n], m.z[n]};
      for (std::size_t d = 0; d < 3; ++d) {
        lo[d] = std::min(lo[d], c[d]);
        hi[d] = std::max(hi[d], c[d]);
      }
    }
    std::int32_t flag = 0;
    get_rst_from_xyz(kBrick8, 3, p, lo, hi, rst, flag);
    if (flag == 0) return e;
  }
  return -1;
}

TEST(DistortedBricks, NodesReproduceTheirValuesAndPointsGoToTheBodyThatHoldsThem) {
  const RandomMesh mesh = distortedmesh();
  const BrickMesh view = mesh.view();
  const BrickBoxIndex index(view);
  std::vector<double> heads(mesh.x.size());
  for (std::size_t n = 0; n < heads.size(); ++n) heads[n] = 30 + 0.001 * static_cast<double>(n * n % 7) + 0.1 * n;
  for (std::size_t n = 0; n < heads.size(); ++n) {
    const Point p{mesh.x[n], mesh.y[n], mesh.z[n]};
    Point rst{};
    const std::int32_t e = index.find(p, rst);
    ASSERT_GT(e, 0) << n;
    std::array<double, 8> w{};
    br8shp(1, rst, w);
    EXPECT_NEAR(dfe_interp(w, nodal(mesh, heads, e)), heads[n], 1e-12) << "node " << n + 1;
  }

  // A field linear in x, y, z is reproduced in a body; in the box alone the box's weights stay.
  std::vector<double> linear(mesh.x.size());
  for (std::size_t n = 0; n < linear.size(); ++n) linear[n] = 2 + mesh.x[n] - 3 * mesh.y[n] + 0.5 * mesh.z[n];
  struct Case {
    const char* what;
    Point point;
    std::int32_t boxelement;  // the first whose box holds it
    std::int32_t element;
    Holding holding;
  };
  const Case cases[] = {
      {"above the sloping interface, in the box below", pointat(mesh, 4, {0.3, 0, -0.6}), 2, 4, Holding::body},
      {"inside the lower layer", pointat(mesh, 1, {-0.5, 0.7, 0.2}), 1, 1, Holding::body},
      {"in no body, in a box", {2.3, 0.1, 0.05}, 2, 2, Holding::box},
      {"in no box", {5, 5, 5}, -1, -1, Holding::none},
  };
  for (const Case& c : cases) {
    Point boxrst{}, rst{}, scanned{};
    EXPECT_EQ(boxrule(mesh, c.point, boxrst), c.boxelement) << c.what;
    const std::int32_t e = index.find(c.point, rst);
    ASSERT_EQ(e, c.element) << c.what;
    EXPECT_EQ(scanbricks(view, c.point, scanned), e) << c.what;
    if (e < 0) continue;
    EXPECT_EQ(scanned, rst) << c.what;
    Point again{};
    EXPECT_EQ(brickholds(view, e, c.point, again), c.holding) << c.what;
    if (c.holding == Holding::box) {
      EXPECT_EQ(rst, boxrst) << c.what;
    } else {
      std::array<double, 8> w{};
      br8shp(1, rst, w);
      EXPECT_NEAR(dfe_interp(w, nodal(mesh, linear, e)), 2 + c.point[0] - 3 * c.point[1] + 0.5 * c.point[2], 1e-12)
          << c.what;
    }
  }
}

// In the coordinates of a projected grid (millions of metres) the bodies of small bricks still
// hold their points: the rounding of the coordinates must not send them to the box rule.
TEST(DistortedBricks, BodiesHoldTheirPointsFarFromTheOrigin) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const double size : {1.0, 0.1}) {
    for (int c = 0; c < 2000; ++c) {
      // One brick about (512345, 5432109), its corners moved by up to a fifth of its size.
      RandomMesh m;
      for (std::size_t k = 0; k < 8; ++k) {
        const double r = (k == 1 || k == 2 || k == 5 || k == 6) ? 1 : -1, s = (k % 4 >= 2) ? 1 : -1, t = k < 4 ? -1 : 1;
        m.x.push_back(512345.0 + size * (r + 0.2 * u(rng)));
        m.y.push_back(5432109.0 + size * (s + 0.2 * u(rng)));
        m.z.push_back(size * (t + 0.2 * u(rng)));
        m.incidences.push_back(static_cast<std::int32_t>(k + 1));
      }
      const Point at{0.98 * u(rng), 0.98 * u(rng), 0.98 * u(rng)};
      Point rst{};
      ASSERT_EQ(brickholds(m.view(), 1, pointat(m, 1, at), rst), Holding::body) << "size " << size << ", brick " << c;
      for (std::size_t d = 0; d < 3; ++d) EXPECT_NEAR(rst[d], at[d], 1e-6);
    }
  }
}

// Bricks at their box corners keep the box's coordinates bit for bit; a brick of zero volume
// holds by its box only.
TEST(DistortedBricks, BoxBricksKeepTheBoxRuleAndFlatOnesHoldByTheirBoxOnly) {
  const testkit::LayeredMesh layered = testkit::layeredmesh(3, 2, 3);
  RandomMesh boxes{layered.x, layered.y, layered.z, layered.incidences};
  for (std::size_t n = 0; n < boxes.x.size(); ++n) boxes.x[n] = boxes.x[n] * boxes.x[n] / 3;  // uneven widths
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-0.1, 3.1);
  std::vector<Point> points;
  for (std::size_t n = 0; n < boxes.x.size(); ++n) points.push_back({boxes.x[n], boxes.y[n], boxes.z[n]});
  for (int i = 0; i < 500; ++i) points.push_back({u(rng), u(rng) * 2 / 3, u(rng) * 2 / 3});
  const BrickBoxIndex index(boxes.view());
  for (const Point& p : points) {
    Point expected{}, rst{};
    const std::int32_t e = index.find(p, rst);
    ASSERT_EQ(e, boxrule(boxes, p, expected)) << p[0] << ' ' << p[1] << ' ' << p[2];
    if (e > 0) {
      EXPECT_EQ(rst, expected);
    }
  }

  // Element 1: a sloping plane twice (no volume), element 2: the unit cube.
  const RandomMesh flat{{0, 1, 1, 0, 1, 1, 0, 0}, {0, 0, 1, 1, 0, 1, 0, 1}, {0, 1, 1, 0, 0, 0, 1, 1},
                        {1, 2, 3, 4, 1, 2, 3, 4, 1, 5, 6, 4, 7, 2, 3, 8}};
  const BrickMesh alone{flat.x, flat.y, flat.z, std::span(flat.incidences).first(8), 1};
  for (const Point& p : {Point{0.5, 0.5, 0.25}, Point{0.5, 0.5, 0.5}}) {
    Point rst{}, boxrst{};
    boxrule(flat, p, boxrst);
    EXPECT_EQ(brickholds(flat.view(), 1, p, rst), Holding::box);
    EXPECT_EQ(rst, boxrst);
    EXPECT_EQ(scanbricks(alone, p, rst), 1);
    EXPECT_EQ(rst, boxrst);
    EXPECT_EQ(scanbricks(flat.view(), p, rst), 2);
  }
  // The plane's second copy raised by rounding, or by nearly nothing, gives it no body either.
  for (const double up : {1e-16, 1e-15, 1e-10}) {
    const RandomMesh raised{{0, 1, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1},
                            {0, 1, 1, 0, up, 1 + up, 1 + up, up}, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const Point& p : {Point{0.5, 0.5, 0.5}, Point{0.3, 0.6, 0.3}}) {
      Point rst{};
      EXPECT_EQ(brickholds(raised.view(), 1, p, rst), Holding::box) << up << ' ' << p[0];
    }
  }
}

// Whether the Jacobian determinant of the unit-sized brick m stays clear of 0 on a grid (by
// `least`, by default a 30th of the undistorted brick's, for what lies between its points); on
// the face r = +1 of a wedge, collapsed to an edge, it need only not be negative. The map is
// linear along each axis: differences give its derivatives.
bool onesigned(const RandomMesh& m, double least = 5e-4, bool wedge = false) {
  for (int i = 0; i < 343; ++i) {
    Point e[3], at{i % 7 / 3.0 - 1, i / 7 % 7 / 3.0 - 1, i / 49 / 3.0 - 1};
    const Point here = pointat(m, 1, at);
    for (std::size_t a = 0; a < 3; ++a) {
      at[a] += 0.5;
      const Point there = pointat(m, 1, at);
      at[a] -= 0.5;
      for (std::size_t d = 0; d < 3; ++d) e[a][d] = there[d] - here[d];
    }
    const double bound = wedge && at[0] == 1 ? -1e-12 : least;  // rounding on the collapsed face
    if (e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) + e[0][1] * (e[1][2] * e[2][0] - e[1][0] * e[2][2]) +
            e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]) < bound) {
      return false;
    }
  }
  return true;
}

// Every node of a brick whose Jacobian keeps one sign is held by its body with weight 1: a unit
// brick with two top corners pulled far out, and random ones with corners moved by up to 0.4.
TEST(DistortedBricks, BodiesWithOneSignedJacobiansHoldTheirNodes) {
  std::vector<RandomMesh> bricks{
      {{0, 1, 1, 0, 0, 2.95, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 3.7, 1, 1, 1}, {1, 2, 3, 4, 5, 6, 7, 8}}};
  ASSERT_TRUE(onesigned(bricks[0]));
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(-0.4, 0.4);
  for (RandomMesh m = bricks[0]; bricks.size() < 2000;) {
    for (std::size_t i = 0; i < 24; ++i) {
      (i < 8 ? m.x : i < 16 ? m.y : m.z)[i % 8] = (1 + kSigns[i % 8][i / 8]) / 2 + u(rng);
    }
    if (onesigned(m)) bricks.push_back(m);
  }
  for (std::size_t b = 0; b < bricks.size(); ++b) {
    for (std::size_t k = 0; k < 8; ++k) {
      Point rst{};
      ASSERT_EQ(brickholds(bricks[b].view(), 1, {bricks[b].x[k], bricks[b].y[k], bricks[b].z[k]}, rst), Holding::body)
          << "brick " << b << ", node " << k + 1;
      std::array<double, 8> w{};
      br8shp(1, rst, w);
      for (std::size_t j = 0; j < 8; ++j) EXPECT_NEAR(w[j], j == k ? 1 : 0, 1e-9) << b << ' ' << k;
    }
  }
}

// A brick pinched to a wedge (its nodes 3 and 7 are 2 and 6) shares the collapsed edge with the
// unit cube beside it, numbered after it: the wedge holds the edge's points by its body.
TEST(DistortedBricks, PinchedBrickHoldsItsCollapsedEdgeBeforeAHigherNumberedNeighbour) {
  const RandomMesh mesh{{0, 1, 0.1, 0, 1, -0.2, 2, 2, 1, 2, 2, 1},
                        {0, 0, 1, 0.1, 0, 1.1, 0, 1, 1, 0, 1, 1},
                        {0, 0, 0.2, 1, 1, 1.3, 0, 0, 0, 1, 1, 1},
                        {1, 2, 2, 3, 4, 5, 5, 6, 2, 7, 8, 9, 5, 10, 11, 12}};
  const BrickBoxIndex index(mesh.view());
  for (const double z : {0.0, 0.1, 0.25, 0.5, 0.8, 1.0}) {
    Point rst{};
    ASSERT_EQ(index.find({1, 0, z}, rst), 1) << z;
    const Point back = pointat(mesh, 1, rst);
    for (std::size_t d = 0; d < 3; ++d) EXPECT_NEAR(back[d], (Point{1, 0, z}[d]), 1e-9) << z;
  }
}

// Points on the edge that a wedge's collapsed face became are held by the wedge (element 1)
// before its box as a brick (element 2), which holds them by its body too. In the wedges of the
// table (the Jacobian keeps one sign, barely) Newton's method from the centre ends at a root
// outside, and from the corners of the collapsed face no Newton step can be taken.
TEST(DistortedBricks, WedgeHoldsItsCollapsedEdgeBeforeAHigherNumberedBrick) {
  std::vector<std::pair<RandomMesh, Point>> rows = {
      {{{0.2591, 0.6711, 0.6711, 0.2591, 0.12, 1.2697, 0.8109, -0.2981},
        {-0.1194, -0.391, -0.391, -0.1194, 0.3565, -0.2421, 1.2004, 0.7312},
        {-0.1679, 0.2039, 0.2039, -0.1679, 1.2416, 1.3076, 1.3578, 1.2583},
        {}},
       {-0.9, 0, -1}},
      {{{-0.0426, 0.7631, 0.751, -0.1686, -0.0426, 0.6051, 0.7866, -0.1686},
        {0.2417, -0.2802, 0.6222, 0.616, 0.2417, -0.1916, 0.9255, 0.616},
        {-0.2657, -0.2646, 0.1148, 0.3858, -0.2657, 1.0837, 0.6043, 0.3858},
        {}},
       {-1, 0.8, 0}},
  };
  // And a thousand random wedges, their face r = +1 collapsed along s (nodes 3 and 7 at 2 and 6):
  // the 810th failed as those did.
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> u(-0.4, 0.4);
  RandomMesh m{std::vector<double>(8), std::vector<double>(8), std::vector<double>(8), {1, 2, 3, 4, 5, 6, 7, 8}};
  for (int wedges = 0; wedges < 1000;) {
    for (std::size_t i = 0; i < 24; ++i) {
      std::vector<double>& axis = i < 8 ? m.x : i < 16 ? m.y : m.z;
      const double moved = (1 + kSigns[i % 8][i / 8]) / 2 + u(rng);
      axis[i % 8] = i % 8 == 2 || i % 8 == 6 ? axis[i % 8 - 1] : moved;
    }
    if (!onesigned(m, 1e-4, true)) continue;
    ++wedges;
    for (const double t : {-0.6, -0.2, 0.2, 0.6}) rows.push_back({m, {1, 0, t}});
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    RandomMesh mesh = rows[i].first;
    mesh.incidences = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::vector<double>* axes[] = {&mesh.x, &mesh.y, &mesh.z};
    for (std::size_t d = 0; d < 3; ++d) {
      const auto [lo, hi] = std::minmax_element(axes[d]->begin(), axes[d]->end());
      const double bounds[2] = {*lo, *hi};
      for (std::size_t k = 0; k < 8; ++k) axes[d]->push_back(bounds[kSigns[k][d] > 0 ? 1 : 0]);
    }
    const Point p = pointat(mesh, 1, rows[i].second);
    Point rst{};
    ASSERT_EQ(brickholds(mesh.view(), 1, p, rst), Holding::body) << "row " << i;
    EXPECT_EQ(scanbricks(mesh.view(), p, rst), 1) << "row " << i;
    EXPECT_EQ(BrickBoxIndex(mesh.view()).find(p, rst), 1) << "row " << i;
  }
}

// Where no body holds a point, the lowest-numbered element whose box holds it wins, by the scan
// and by the grid: of two bricks sheared apart on x and on y, above a corner of their common
// base, in either order, and with a brick that has a node at infinity (tested everywhere).
TEST(DistortedBricks, LowestNumberedBoxHolderWinsWhereNoBodyHoldsThePoint) {
  const double inf = std::numeric_limits<double>::infinity();
  // Nodes 1 to 4 the base, 5 to 8 its top shifted by 1 on x, 9 to 12 on y, 13 a node at infinity.
  const RandomMesh nodes{{0, 1, 1, 0, 1, 2, 2, 1, 0, 1, 1, 0, inf},
                         {0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 2, 2, 0},
                         {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                         {}};
  const std::vector<std::int32_t> shearx{1, 2, 3, 4, 5, 6, 7, 8}, sheary{1, 2, 3, 4, 9, 10, 11, 12},
      far{1, 2, 3, 4, 5, 13, 7, 8};
  const Point p{0.2, 0.5, 0.9};
  for (const auto& order :
       {std::pair{shearx, sheary}, std::pair{sheary, shearx}, std::pair{far, shearx}, std::pair{shearx, far}}) {
    RandomMesh mesh = nodes;
    mesh.incidences = order.first;
    mesh.incidences.insert(mesh.incidences.end(), order.second.begin(), order.second.end());
    Point first{}, second{}, scanned{}, indexed{};
    ASSERT_EQ(brickholds(mesh.view(), 1, p, first), Holding::box);
    ASSERT_EQ(brickholds(mesh.view(), 2, p, second), Holding::box);
    EXPECT_EQ(scanbricks(mesh.view(), p, scanned), 1);
    EXPECT_EQ(scanned, first);
    EXPECT_EQ(BrickBoxIndex(mesh.view()).find(p, indexed), 1);
    EXPECT_EQ(indexed, first);
  }
}

// ---- The location cache ------------------------------------------------------------------------

class LocationCache : public comparetest::CompareRun {
 protected:
  void SetUp() override {
    CompareRun::SetUp();
    pm = pmdomain(testkit::layeredmesh(2, 2, 3));
    points({{0.5, 0.5, 0.5}, {1, 1, 1}, {1.5, 1.25, 1.5}, {5, 5, 5}});
  }
  static void points(const std::vector<Point>& p) {
    plot_data.xob.clear();
    plot_data.yob.clear();
    plot_data.zob.clear();
    for (const Point& q : p) {
      plot_data.xob.push_back(q[0]);
      plot_data.yob.push_back(q[1]);
      plot_data.zob.push_back(q[2]);
    }
    plot_data.nobs_head = static_cast<std::int32_t>(p.size());
  }
  // Runs the location step; returns what went to the screen and, in warnings, to stderr.
  std::pair<std::string, std::string> locate() {
    testkit::Ending e = testkit::ending([&] { obs_points_shape(pm); });
    EXPECT_EQ(e.status, -1) << e.err;  // not stopped
    return {std::move(e.out), std::move(e.err)};
  }
  std::string cache() const { return testkit::readfile(cachepath()); }
  std::filesystem::path cachepath() const { return dir.path() / "abco.ObsShape.txt"; }

  DOMAIN pm;
};

const std::string kQuarter = "  0.12500000000    ";
const std::string kZero = "   0.0000000000    ";
const std::string kOne = "   1.0000000000    ";
const std::string kUnlocated = "   -1.0000000000    ";

TEST_F(LocationCache, SearchWritesTheCacheAndALaterRunReadsIt) {
  const auto [out, err] = locate();
  EXPECT_EQ(out,
            "Evaluating shape functions at XYZ observation locations\nThis might take several minutes...\n"
            "           1  of           4  observation points\n           2  of           4  observation points\n"
            "           3  of           4  observation points\n           4  of           4  observation points\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{1, 1, 8, -1}));
  std::string expected = "         1 ";
  for (int k = 0; k < 8; ++k) expected += kQuarter;
  expected += "\n         1 ";
  for (int k = 0; k < 8; ++k) expected += k == 6 ? kOne : kZero;
  expected += "\n         8 ";
  // r = 0, s = -0.5, t = 0: weights 0.1875 on the y-minimum side, 0.0625 on the other.
  for (int k = 0; k < 8; ++k) expected += k % 4 < 2 ? "  0.18750000000    " : "  0.62500000000E-01";
  expected += "\n        -1 ";
  for (int k = 0; k < 8; ++k) expected += " " + kUnlocated.substr(2);
  EXPECT_EQ(cache(), expected + "\n");
  EXPECT_FALSE(std::filesystem::exists(cachepath().string() + ".tmp"));

  plot_data.obs_el.clear();
  plot_data.basisfunctions.clear();
  const auto [again, againerr] = locate();
  EXPECT_EQ(again, "");
  EXPECT_EQ(againerr, "");
  EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{1, 1, 8, -1}));
  EXPECT_EQ(plot_data.basisfunctions[2][0], 0.1875);
  EXPECT_EQ(plot_data.basisfunctions[3][5], -1.0);
}

// Each damaged or stale cache is warned of, and replaced by the result of a new search.
TEST_F(LocationCache, UnfitCacheIsSearchedAgainAndRewritten) {
  locate();
  const std::string good = cache();
  const std::string firstline = good.substr(0, good.find('\n') + 1);
  struct Damage {
    const char* what;
    std::string text;
    std::string reason;
  };
  const Damage damages[] = {
      {"truncated", good.substr(0, good.rfind('\n', good.size() - 2) + 1), "it holds 3 lines for 4 observation points"},
      {"too long", good + firstline, "it holds more lines than the 4 observation points"},
      {"garbage", "not a cache\n", "line 1 does not fit the layout"},
      {"element out of range", "        99" + good.substr(10), "line 1 names element 99, outside 1 to 8"},
      {"wrong element", "         2" + good.substr(10), "line 1: element 2 no longer holds point 1"},
      {"weights of an unlocated point",
       good.substr(0, good.rfind('\n', good.size() - 2) + 1) + "        -1" + firstline.substr(10),
       "line 4 gives weights to an unlocated point"},
  };
  for (const Damage& d : damages) {
    testkit::writefile(cachepath(), d.text);
    const auto [out, err] = locate();
    EXPECT_NE(err.find("do not fit the observation points and the mesh: " + d.reason + ".\nThe points are located"),
              std::string::npos)
        << d.what << err;
    EXPECT_NE(out.find("4  of           4  observation points"), std::string::npos) << d.what;
    EXPECT_EQ(cache(), good) << d.what;
  }
  // The mesh moved under the cache: the first point is now in another element.
  for (double& x : pm.x) x -= 0.75;
  const auto [out, err] = locate();
  EXPECT_NE(err.find("line 1: element 1 no longer holds point 1"), std::string::npos) << err;
  EXPECT_EQ(plot_data.obs_el[0], 2);
  EXPECT_NE(cache(), good);
  // Weights that no longer match the point are stale too.
  const std::string moved = cache();
  points({{0.45, 0.5, 0.5}});
  testkit::writefile(cachepath(), moved.substr(0, moved.find('\n') + 1));
  const auto [out2, err2] = locate();
  EXPECT_NE(err2.find("line 1: the weights no longer match point 1 in element 2"), std::string::npos) << err2;
}

// A point cached in no element is kept there only while no element holds it: moved into the
// mesh, it is located again and the cache rewritten.
TEST_F(LocationCache, UnlocatedPointIsKeptOnlyWhileNoElementHoldsIt) {
  locate();
  const std::string good = cache();
  points({{0.5, 0.5, 0.5}, {1, 1, 1}, {1.5, 1.25, 1.5}, {-5, 0.5, 0.5}});
  const auto [out, err] = locate();
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{1, 1, 8, -1}));
  EXPECT_EQ(cache(), good);

  points({{0.5, 0.5, 0.5}, {1, 1, 1}, {1.5, 1.25, 1.5}, {0.5, 0.5, 0.5}});
  const auto [movedout, movederr] = locate();
  EXPECT_NE(movederr.find("do not fit the observation points and the mesh: line 4: point 4 now lies in element 1.\n"
                          "The points are located again"),
            std::string::npos)
      << movederr;
  EXPECT_NE(movedout.find("4  of           4  observation points"), std::string::npos);
  EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{1, 1, 8, 1}));
  EXPECT_EQ(cache(), good.substr(0, good.rfind('\n', good.size() - 2) + 1) + good.substr(0, good.find('\n') + 1));
}

// A cache that is no regular file is left as it is: the points are located all the same. A
// FIFO at its temporary name is no way into it: the cache is created anew there.
TEST_F(LocationCache, CacheThatIsNoRegularFileIsLeftAlone) {
  for (const std::string& path : {cachepath().string(), cachepath().string() + ".tmp"}) {
    SCOPED_TRACE(path);
    const bool own = path == cachepath().string();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const auto [out, err] = locate();
    EXPECT_EQ(err.find("it is a FIFO") != std::string::npos, own) << err;
    EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{1, 1, 8, -1}));
    EXPECT_EQ(std::filesystem::is_fifo(path), own);
    EXPECT_EQ(std::filesystem::is_regular_file(cachepath()), !own);
    std::filesystem::remove(path);
  }
}

// On a distorted mesh a cache of box weights is searched again; one of body weights is kept.
TEST_F(LocationCache, BoxWeightsOfADistortedMeshAreSearchedAgain) {
  const RandomMesh mesh = distortedmesh();
  pm.nn = static_cast<std::int32_t>(mesh.x.size());
  pm.ne = 4;
  pm.x = mesh.x;
  pm.y = mesh.y;
  pm.z = mesh.z;
  pm.incidences = mesh.incidences;
  const std::vector<Point> p = {pointat(mesh, 4, {0.3, 0, -0.6}), pointat(mesh, 1, {-0.5, 0.7, 0.2}), {2.3, 0.1, 0.05}};
  points(p);
  locate();
  EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{4, 1, 2}));
  const std::string fresh = cache();
  EXPECT_EQ(locate().first, "");  // kept

  // The lines the box rule wrote; the third (in no body) is the same by both rules.
  std::vector<std::string> lines;
  for (const Point& q : p) {
    Point rst{};
    const std::int32_t e = boxrule(mesh, q, rst);
    std::array<double, 8> w{};
    br8shp(1, rst, w);
    std::string line;
    appendinteger(line, e, formatI(10));
    line += ' ';
    for (const double v : w) {
      line += ' ';
      appendreal(line, v, formatG(18, 11));
    }
    lines.push_back(line + "\n");
  }
  EXPECT_EQ(fresh.substr(fresh.rfind('\n', fresh.size() - 2) + 1), lines[2]);
  const std::string freshline[] = {fresh.substr(0, fresh.find('\n') + 1),
                                   fresh.substr(fresh.find('\n') + 1, lines[1].size())};
  const std::pair<std::string, std::string> stale[] = {
      {lines[0] + freshline[1] + lines[2], "line 1: point 1 belongs to element 4, not to element 2"},
      {freshline[0] + lines[1] + lines[2], "line 2: the weights no longer match point 2 in element 1"},
  };
  for (const auto& [text, reason] : stale) {
    testkit::writefile(cachepath(), text);
    const auto [out, err] = locate();
    EXPECT_NE(err.find(reason), std::string::npos) << err;
    EXPECT_EQ(cache(), fresh) << reason;
  }
}

TEST_F(LocationCache, NoPointLeavesAnEmptyCache) {
  points({});
  const auto [out, err] = locate();
  EXPECT_EQ(out, "Evaluating shape functions at XYZ observation locations\nThis might take several minutes...\n");
  EXPECT_EQ(cache(), "");
  EXPECT_TRUE(plot_data.obs_el.empty());
  // The empty cache fits no point: read again without a search.
  EXPECT_EQ(locate().first, "");
}

}  // namespace
}  // namespace kelpra
