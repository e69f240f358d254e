#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "search/polygon.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using R8 = std::vector<double>;

struct Poly {
  R8 x, y;
};

const Poly kSquare{{0, 1, 1, 0}, {0, 0, 1, 1}};

Poly moved(const Poly& p, double dx, double dy) {
  Poly q = p;
  for (auto& v : q.x) v += dx;
  for (auto& v : q.y) v += dy;
  return q;
}

struct Intersection {
  std::int32_t code = -1;
  Poly out;
};

Intersection intersect(const Poly& p, const Poly& q) {
  Intersection r;
  std::int32_t count = 0;
  R8Array xo, yo;
  r.code = polyintersection(p.x, p.y, q.x, q.y, count, xo, yo);
  r.out.x.assign(xo.begin(), xo.begin() + count);
  r.out.y.assign(yo.begin(), yo.begin() + count);
  EXPECT_EQ(polyintersects(p.x, p.y, q.x, q.y), r.code);
  return r;
}

TEST(PolygonGeometry, UnitSquareMeasuresAndOrientation) {
  EXPECT_TRUE(polyisccw(kSquare.x, kSquare.y));
  EXPECT_EQ(polyarea(kSquare.x, kSquare.y), 1.0);
  EXPECT_EQ(polyperimeter(kSquare.x, kSquare.y), 4.0);
  EXPECT_EQ(polycentroid(kSquare.x, kSquare.y), (PolyPoint{0.5, 0.5}));
  EXPECT_TRUE(polyisconvex(kSquare.x, kSquare.y));
  EXPECT_TRUE(polyissimple(kSquare.x, kSquare.y));
  EXPECT_EQ(polyboundingbox(kSquare.x, kSquare.y), (std::array<double, 4>{0, 1, 0, 1}));
  R8 x{0, 1, 1, 0}, y{1, 1, 0, 0};
  EXPECT_FALSE(polyisccw(x, y));
  EXPECT_EQ(polyarea(x, y), 1.0);
  polymakeccw(x, y);
  EXPECT_EQ(x, (R8{0, 1, 1, 0}));
  EXPECT_EQ(y, (R8{0, 0, 1, 1}));

  EXPECT_TRUE(polyisccw(R8{0, 1}, R8{0, 5}));
  EXPECT_TRUE(polyissimple(R8{0, 1}, R8{0, 5}));
  EXPECT_FALSE(polyisccw(R8{0, 1, 2, 4}, R8{0, 0, 0, 0}));
  EXPECT_EQ(polycentroid(R8{0, 1, 2, 4}, R8{0, 0, 0, 0}), (PolyPoint{2, 0}));
  EXPECT_EQ(polyvertexcentroid(R8{0, 1, 2, 4}, R8{0, 0, 0, 0}), (PolyPoint{1.75, 0}));
  EXPECT_EQ(polyperimeter(R8{0, 3}, R8{0, 4}), 5.0);
  EXPECT_EQ(polyarea(R8{0, 3}, R8{0, 4}), 0.0);
  EXPECT_EQ(polycentroid(R8{}, R8{}), (PolyPoint{0, 0}));
  EXPECT_EQ(polyvertexcentroid(R8{}, R8{}), (PolyPoint{0, 0}));
  // An L shape: area 3, centroid by the area formula.
  const Poly l{{0, 2, 2, 1, 1, 0}, {0, 0, 1, 1, 2, 2}};
  EXPECT_EQ(polyarea(l.x, l.y), 3.0);
  const PolyPoint c = polycentroid(l.x, l.y);
  EXPECT_DOUBLE_EQ(c[0], 5.0 / 6.0);
  EXPECT_DOUBLE_EQ(c[1], 5.0 / 6.0);
  EXPECT_FALSE(polyisconvex(l.x, l.y));
  EXPECT_TRUE(polyissimple(l.x, l.y));
}

TEST(PolygonGeometry, SimplicityAndConvexity) {
  // A pentagram turns the same way at every vertex but crosses itself.
  R8 sx, sy;
  for (int k = 0; k < 5; ++k) {
    const double a = std::numbers::pi / 2 + 4 * std::numbers::pi * k / 5;
    sx.push_back(std::cos(a));
    sy.push_back(std::sin(a));
  }
  EXPECT_TRUE(polyisconvex(sx, sy));
  EXPECT_FALSE(polyissimple(sx, sy));
  EXPECT_FALSE(polyissimple(R8{0, 1, 1, 0}, R8{0, 1, 0, 1}));  // bow tie
  const Poly extra{{0, 0.5, 1, 1, 0}, {0, 0, 0, 1, 1}};
  EXPECT_TRUE(polyisconvex(extra.x, extra.y));
  EXPECT_FALSE(polyissimple(extra.x, extra.y));
}

TEST(PolygonGeometry, SegmentIntersections) {
  segintresult r = segsegint({0, 0}, {2, 0}, {1, 0}, {3, 0});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.p, (PolyPoint{1, 0}));
  EXPECT_EQ(r.q, (PolyPoint{2, 0}));
  r = segsegint({0, 0}, {1, 0}, {1, 0}, {1, 1});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.p, (PolyPoint{1, 0}));
  EXPECT_EQ(segsegint({0, 0}, {1, 0}, {0, 1}, {1, 1}).code, 0);
  r = segsegint({0, 0}, {2, 2}, {0, 2}, {2, 0});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.p, (PolyPoint{1, 1}));
  EXPECT_EQ(segsegint({0, 0}, {1, 1}, {2, 0}, {1.5, 2}).code, 0);
  EXPECT_EQ(segsegint({0, 0}, {1, 0}, {2, 0}, {3, 0}).code, 0);  // collinear, apart
  r = segsegint({0, 0}, {4, 0}, {3, 0}, {1, 0});  // c-d inside a-b
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.p, (PolyPoint{3, 0}));
  EXPECT_EQ(r.q, (PolyPoint{1, 0}));
  EXPECT_EQ(ccwsign({0, 0}, {1, 0}, {0, 1}), 1);
  EXPECT_EQ(ccwsign({0, 0}, {1, 0}, {0, -1}), -1);
  EXPECT_EQ(ccwsign({0, 0}, {1, 0}, {5, 0}), 0);
}

TEST(PolygonGeometry, PointLocation) {
  const R8 cwx{0, 0, 1, 1}, cwy{0, 1, 1, 0};
  EXPECT_EQ(windingnumber(0.5, 0.5, kSquare.x, kSquare.y), 1);
  EXPECT_EQ(windingnumber(0.5, 0.5, cwx, cwy), -1);
  EXPECT_TRUE(polycontainspoint(0.5, 0.5, cwx, cwy));
  EXPECT_EQ(windingnumber(0.5, 0.0, kSquare.x, kSquare.y), 1);  // lower and left edges count
  EXPECT_EQ(windingnumber(0.0, 0.5, kSquare.x, kSquare.y), 1);
  EXPECT_EQ(windingnumber(0.5, 1.0, kSquare.x, kSquare.y), 0);
  EXPECT_EQ(windingnumber(1.0, 0.5, kSquare.x, kSquare.y), 0);
  EXPECT_EQ(windingnumber(0.5, 0.5, R8{}, R8{}), 0);
  const R8 tx{0, 2, 0}, ty{0, 0, 2};
  EXPECT_TRUE(polycontainspoint(0.5, 0.5, tx, ty));
  EXPECT_FALSE(polycontainspoint(1.0, 0.0, tx, ty));  // on an edge
  EXPECT_FALSE(pointintri(0.1, 0.1, R8{0, 1}, R8{0, 1}));
  EXPECT_TRUE(polycontainspoint(3, 4, R8{3}, R8{4}));
  EXPECT_TRUE(polycontainspoint(1, 1, R8{0, 2}, R8{0, 2}));
  EXPECT_FALSE(polycontainspoint(1, 1.5, R8{0, 2}, R8{0, 2}));  // beside the segment
  // The boundary test wants the point on an edge, not merely beside one.
  EXPECT_TRUE(polyboundarycontainspoint(0.5, 0.0, kSquare.x, kSquare.y));
  EXPECT_TRUE(polyboundarycontainspoint(1.0, 1.0, kSquare.x, kSquare.y));
  EXPECT_FALSE(polyboundarycontainspoint(0.5, 0.5, kSquare.x, kSquare.y));
  EXPECT_FALSE(polyboundarycontainspoint(0.5, 0.5, R8{}, R8{}));
  EXPECT_TRUE(segpointint(2, 2, {2, 2}, {2, 2}));
  EXPECT_FALSE(segpointint(2, 3, {2, 2}, {2, 2}));
  EXPECT_FALSE(segpointint(0, 2.5, {0, 0}, {0, 2}));
}

class PolygonPrint : public testkit::CleanRun {};

TEST_F(PolygonPrint, ListsVerticesInScientificForm) {
  testkit::TempDir dir;
  const std::string name = (dir / "poly.txt").string();
  const int u = getunit();
  ASSERT_EQ(openunit(u, name, FileForm::formatted, OpenStatus::replace), 0);
  polyprint(u, R8{0, 1, -0.1, 1.5e-300}, R8{1, 123456789.123456789, -1.7976931348623157e308, NAN});
  freeunit(u);
  EXPECT_EQ(testkit::readfile(name),
            "Polygon number of vertices: 4\n"
            "                      X                       Y\n"
            " 0.000000000000000E+000  1.000000000000000E+000\n"
            " 1.000000000000000E+000  1.234567891234568E+008\n"
            "-1.000000000000000E-001 -1.797693134862316E+308\n"
            " 1.500000000000000E-300                     NaN\n");
  testkit::expectstop([&] { polyprint(u, kSquare.x, kSquare.y); }, "Error writing file");
  testkit::expectstop([&] { polyarea(R8{1, 2, 3}, R8{1, 2}); }, "polyarea: the polygon has 3 x and 2 y coordinates");
}

TEST(ConvexIntersection, HandMadeCases) {
  struct Case {
    Poly q;
    std::int32_t code;
    Poly out;
  };
  const std::vector<Case> cases{
      {moved(kSquare, 0.5, 0.5), 3, {{1, 1, 0.5, 0.5}, {0.5, 1, 1, 0.5}}},
      {moved(kSquare, 0.5, 0), 3, {{0.5, 1, 1, 0.5}, {0, 0, 1, 1}}},
      {{{0.25, 0.75, 0.75, 0.25}, {0.25, 0.25, 0.75, 0.75}}, 4, {{0.25, 0.75, 0.75, 0.25}, {0.25, 0.25, 0.75, 0.75}}},
      {moved(kSquare, 3, 0), 0, {}},
      {kSquare, 3, kSquare},
      {moved(kSquare, 1, 0), 2, {{1}, {0}}},
      {moved(kSquare, 1, 1), 2, {{1}, {1}}},
      {{{1, 2, 3, 2}, {0.5, 0, 0.5, 1}}, 3, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Intersection r = intersect(kSquare, cases[i].q);
    EXPECT_EQ(r.code, cases[i].code);
    EXPECT_EQ(r.out.x, cases[i].out.x);
    EXPECT_EQ(r.out.y, cases[i].out.y);
  }
  const Poly inner{{0.25, 0.75, 0.75, 0.25}, {0.25, 0.25, 0.75, 0.75}};
  const Intersection super = intersect(inner, kSquare);
  EXPECT_EQ(super.code, 5);
  EXPECT_EQ(super.out.x, inner.x);
  const Intersection tri = intersect({{0, 2, 0}, {0, 0, 2}}, {{0, 2, 2}, {0, 0, 2}});
  EXPECT_EQ(tri.code, 3);
  EXPECT_EQ(tri.out.x, (R8{0, 2, 1}));
  EXPECT_EQ(tri.out.y, (R8{0, 0, 1}));
  // Fewer than three vertices: no region.
  EXPECT_EQ(intersect(kSquare, {{0.5, 0.6}, {0.5, 0.6}}).code, 0);

  EXPECT_EQ(segintcode2string(3), "partial");
  EXPECT_EQ(segintcode2string(5), "superset");
  EXPECT_EQ(segintcode2string(6), "");
  EXPECT_EQ(segintcode2string(-1), "");
}

TEST(ConvexIntersection, OutputStorageGrowsByHalf) {
  R8Array xo, yo;
  std::int32_t count = 0;
  std::vector<std::int32_t> sizes;
  for (int i = 0; i < 8; ++i) {
    polyupdate(i, -i, count, xo, yo);
    polyupdate(i, -i, count, xo, yo);  // a repeat of the last vertex is not added
    if (sizes.empty() || sizes.back() != xo.size()) sizes.push_back(xo.size());
  }
  EXPECT_EQ(count, 8);
  EXPECT_EQ(sizes, (std::vector<std::int32_t>{1, 2, 3, 5, 8}));
  EXPECT_EQ(yo(8), -7.0);
}

// Sutherland-Hodgman clip of q by the convex counterclockwise p: the oracle's region.
Poly clip(const Poly& p, const Poly& q) {
  Poly out = q;
  const std::size_t n = p.x.size();
  for (std::size_t i = 0; i < n && !out.x.empty(); ++i) {
    const PolyPoint a{p.x[i], p.y[i]}, b{p.x[(i + 1) % n], p.y[(i + 1) % n]};
    auto side = [&](double x, double y) { return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]); };
    Poly in = std::move(out);
    out = {};
    for (std::size_t j = 0; j < in.x.size(); ++j) {
      const std::size_t k = (j + 1) % in.x.size();
      const double sj = side(in.x[j], in.y[j]), sk = side(in.x[k], in.y[k]);
      if (sj >= 0) {
        out.x.push_back(in.x[j]);
        out.y.push_back(in.y[j]);
      }
      if ((sj >= 0) != (sk >= 0)) {
        const double t = sj / (sj - sk);
        out.x.push_back(in.x[j] + t * (in.x[k] - in.x[j]));
        out.y.push_back(in.y[j] + t * (in.y[k] - in.y[j]));
      }
    }
  }
  return out;
}

TEST(ConvexIntersection, RandomConvexPairsAgainstClipping) {
  std::mt19937 gen(19);
  std::uniform_real_distribution<double> u(0, 1);
  auto randomconvex = [&] {
    const double cx = 4 * u(gen), cy = 4 * u(gen), r = 0.3 + 2 * u(gen);
    const int n = 3 + static_cast<int>(gen() % 7);
    R8 angles;
    for (int i = 0; i < n; ++i) angles.push_back(2 * std::numbers::pi * u(gen));
    std::sort(angles.begin(), angles.end());
    Poly p;
    for (const double a : angles) {
      p.x.push_back(cx + r * std::cos(a));
      p.y.push_back(cy + r * std::sin(a));
    }
    return p;
  };
  int counts[6] = {};
  for (int trial = 0; trial < 2000; ++trial) {
    const Poly p = randomconvex(), q = randomconvex();
    ASSERT_TRUE(polyisconvex(p.x, p.y) && polyisccw(p.x, p.y));
    const Intersection r = intersect(p, q);
    const Poly c = clip(p, q);
    const double want = polyarea(c.x, c.y);
    const double got = polyarea(r.out.x, r.out.y);
    SCOPED_TRACE(trial);
    ASSERT_GE(r.code, 0);
    ++counts[r.code];
    if (r.code == 0) {
      EXPECT_NEAR(want, 0.0, 1e-12);
    } else {
      EXPECT_NEAR(got, want, 1e-9 * (1 + want));
      EXPECT_TRUE(polyisconvex(r.out.x, r.out.y));
    }
    if (r.code == 4) {
      EXPECT_EQ(r.out.x, q.x);
    }
    if (r.code == 5) {
      EXPECT_EQ(r.out.x, p.x);
    }
  }
  // Every relation was met often enough to mean something.
  for (const int code : {0, 3, 4, 5}) EXPECT_GT(counts[code], 20) << code;
}

}  // namespace
}  // namespace kelpra
