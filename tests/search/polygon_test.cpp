#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
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

TEST(PolygonGeometry, ShapesAndMeasures) {
  Poly star;  // a pentagram turns the same way at every vertex but crosses itself
  for (int k = 0; k < 5; ++k) {
    star.x.push_back(std::cos(std::numbers::pi / 2 + 4 * std::numbers::pi * k / 5));
    star.y.push_back(std::sin(std::numbers::pi / 2 + 4 * std::numbers::pi * k / 5));
  }
  struct Case {
    Poly p;
    bool ccw, convex, simple;
    double area, perimeter;
    PolyPoint centroid;
  };
  const std::vector<Case> cases{
      {kSquare, true, true, true, 1, 4, {0.5, 0.5}},
      {{{0, 1, 1, 0}, {1, 1, 0, 0}}, false, true, true, 1, 4, {0.5, 0.5}},
      {{{0, 3}, {0, 4}}, true, true, true, 0, 5, {1.5, 2}},
      {{{0, 1, 2, 4}, {0, 0, 0, 0}}, false, true, false, 0, 8, {2, 0}},  // zero area: the box centre
      {{{0, 2, 2, 1, 1, 0}, {0, 0, 1, 1, 2, 2}}, true, false, true, 3, 8, {5.0 / 6, 5.0 / 6}},
      {{{0, 1, 1, 0}, {0, 1, 0, 1}}, false, false, false, 0, 2 + 2 * std::numbers::sqrt2, {0.5, 0.5}},  // bow tie
      {{{0, 0.5, 1, 1, 0}, {0, 0, 0, 1, 1}}, true, true, false, 1, 4, {0.5, 0.5}},  // collinear neighbours
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [p, ccw, convex, simple, area, perimeter, centroid] = cases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(polyisccw(p.x, p.y), ccw);
    EXPECT_EQ(polyisconvex(p.x, p.y), convex);
    EXPECT_EQ(polyissimple(p.x, p.y), simple);
    EXPECT_EQ(polyarea(p.x, p.y), area);
    EXPECT_DOUBLE_EQ(polyperimeter(p.x, p.y), perimeter);
    EXPECT_DOUBLE_EQ(polycentroid(p.x, p.y)[0], centroid[0]);
    EXPECT_DOUBLE_EQ(polycentroid(p.x, p.y)[1], centroid[1]);
  }
  EXPECT_TRUE(polyisconvex(star.x, star.y));
  EXPECT_FALSE(polyissimple(star.x, star.y));
  R8 x{0, 1, 1, 0}, y{1, 1, 0, 0};
  polymakeccw(x, y);
  EXPECT_EQ(x, kSquare.x);
  EXPECT_EQ(y, kSquare.y);
  EXPECT_EQ(polyvertexcentroid(R8{0, 1, 2, 4}, R8{0, 0, 0, 0}), (PolyPoint{1.75, 0}));
  EXPECT_EQ(polyboundingbox(kSquare.x, kSquare.y), (std::array<double, 4>{0, 1, 0, 1}));
  EXPECT_EQ(polycentroid(R8{}, R8{}), (PolyPoint{0, 0}));
  EXPECT_EQ(polyvertexcentroid(R8{}, R8{}), (PolyPoint{0, 0}));
}

TEST(PolygonGeometry, SegmentIntersections) {
  struct Case {
    PolyPoint a, b, c, d;
    segintresult want;
  };
  const std::vector<Case> cases{
      {{0, 0}, {2, 0}, {1, 0}, {3, 0}, {2, {1, 0}, {2, 0}}},  // overlap, case 3
      {{0, 0}, {4, 0}, {3, 0}, {1, 0}, {2, {3, 0}, {1, 0}}},  // c-d inside a-b
      {{0, 0}, {1, 0}, {1, 0}, {1, 1}, {1, {1, 0}, {}}},      // touching ends
      {{0, 0}, {2, 2}, {0, 2}, {2, 0}, {1, {1, 1}, {}}},
      {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {}},                   // parallel
      {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {}},                   // collinear, apart
      {{0, 0}, {1, 1}, {2, 0}, {1.5, 2}, {}},
  };
  for (const auto& [a, b, c, d, want] : cases) {
    const segintresult r = segsegint(a, b, c, d);
    EXPECT_EQ(r.code, want.code);
    EXPECT_EQ(r.p, want.p);
    EXPECT_EQ(r.q, want.q);
  }
  EXPECT_EQ(ccwsign({0, 0}, {1, 0}, {0, 1}), 1);
  EXPECT_EQ(ccwsign({0, 0}, {1, 0}, {0, -1}), -1);
  EXPECT_EQ(ccwsign({0, 0}, {1, 0}, {5, 0}), 0);
}

TEST(PolygonGeometry, PointLocation) {
  const Poly cw{{0, 0, 1, 1}, {0, 1, 1, 0}}, tri{{0, 2, 0}, {0, 0, 2}}, seg{{0, 2}, {0, 2}}, dot{{3}, {4}}, none;
  struct Case {
    const Poly* poly;
    PolyPoint p;
    std::int32_t winding;
    bool contains, boundary;
  };
  const std::vector<Case> cases{
      {&kSquare, {0.5, 0.5}, 1, true, false},  // an interior point is beside every edge, not on one
      {&cw, {0.5, 0.5}, -1, true, false},
      {&kSquare, {0.5, 0}, 1, true, true},  // lower and left edges count as inside
      {&kSquare, {0, 0.5}, 1, true, true},
      {&kSquare, {0.5, 1}, 0, false, true},
      {&kSquare, {1, 0.5}, 0, false, true},
      {&kSquare, {1, 1}, 0, false, true},
      {&tri, {0.5, 0.5}, 1, true, false},
      {&tri, {1, 0}, 1, false, true},  // a triangle's own edges are outside, whatever the winding
      {&seg, {1, 1}, 0, true, true},
      {&seg, {1, 1.5}, 0, false, false},  // beside the segment
      {&dot, {3, 4}, 0, true, true},
      {&none, {0, 0}, 0, false, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [poly, p, winding, contains, boundary] = cases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(windingnumber(p[0], p[1], poly->x, poly->y), winding);
    EXPECT_EQ(polycontainspoint(p[0], p[1], poly->x, poly->y), contains);
    EXPECT_EQ(polyboundarycontainspoint(p[0], p[1], poly->x, poly->y), boundary);
  }
  EXPECT_FALSE(pointintri(0.1, 0.1, seg.x, seg.y));
  EXPECT_TRUE(segpointint(2, 2, {2, 2}, {2, 2}));
  EXPECT_FALSE(segpointint(2, 3, {2, 2}, {2, 2}));
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
  // Storage-less output starts over at entry 1 whatever count it came with.
  R8Array fresh;
  pushback(2.5, count, fresh);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(fresh.size(), 1);
  EXPECT_EQ(fresh(1), 2.5);
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
