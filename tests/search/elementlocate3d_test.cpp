#include "search/elementlocate3d.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/geometry.hpp"
#include "tests/search/layeredmesh.hpp"

namespace kelpra {
namespace {

using searchtest::LayeredMesh;
using searchtest::layeredmesh;

struct Recorded : searchtest::RecordedSearch {
  using RecordedSearch::RecordedSearch;

  // The lowest-numbered element holding the point, by the support library's own test.
  std::int32_t bruteforce(double px, double py, double pz) const {
    for (std::int32_t e = 1; e <= m.ne; ++e) {
      std::vector<double> xs, ys, zs;
      for (std::int32_t i = 1; i <= m.nln; ++i) {
        const std::size_t n = m.nodeindex(i, e);
        xs.push_back(m.x[n]), ys.push_back(m.y[n]), zs.push_back(m.z[n]);
      }
      if (pointinelement3d(m.nln, xs, ys, zs, px, py, pz)) return e;
    }
    return 0;
  }
};

double affine(double x, double y, double z) { return 3.0 - 2.0 * x + 0.5 * y + 7.0 * z; }

TEST(FindElement3D, CentroidsRandomPointsAndAffineFields) {
  for (const bool blocks : {false, true}) {
    Recorded r(layeredmesh(7, 5, 5, blocks, 0.2, 0.15, blocks ? 11 : 12));
    ElementSearch& s = r.s;
    std::vector<double> f;
    for (std::size_t n = 0; n < r.m.x.size(); ++n) f.push_back(affine(r.m.x[n], r.m.y[n], r.m.z[n]));
    for (std::int32_t e = 1; e <= r.m.ne; ++e) {
      const auto c = s.elementcentroid3d(e);
      const std::int32_t column = (e - 1) % r.m.ne2d + 1;
      ASSERT_EQ(s.findelement3d(c[0], c[1], c[2]), e);
      // Hints: the column's element of any layer, one out of range, one of another column.
      for (const std::int32_t hint : {column, e, r.m.ne + 1, -4, column % r.m.ne2d + 1}) {
        ASSERT_EQ(s.findelement3d(c[0], c[1], c[2], hint), e) << "hint " << hint;
      }
      ASSERT_TRUE(s.pointinelement3d(e, c[0], c[1], c[2]));
      EXPECT_NEAR(s.interpelement3dindex(e, c[0], c[1], c[2], f), affine(c[0], c[1], c[2]), 1e-12);
    }
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> ux(-0.3, 7.3), uy(-0.3, 5.3), uz(-0.3, 4.3);
    for (int k = 0; k < 3000; ++k) {
      const double px = ux(rng), py = uy(rng), pz = uz(rng);
      const std::int32_t e = r.bruteforce(px, py, pz);
      ASSERT_EQ(s.findelement3d(px, py, pz), e) << px << ", " << py << ", " << pz;
      if (e == 0) continue;
      EXPECT_NEAR(s.interpelement3dnoindex(px, py, pz, f), affine(px, py, pz), 1e-12);
      EXPECT_EQ(s.interpelementbottomnoindex(px, py, pz, f), s.interpelementbottomindex(e, px, py, f));
      EXPECT_EQ(s.interpelementtopnoindex(px, py, pz, f), s.interpelementtopindex(e, px, py, f));
      EXPECT_EQ(s.interpelement2dnoindex(px, py, f), s.interpelementbottomindex((e - 1) % r.m.ne2d + 1, px, py, f));
    }
    // Every miss reported through the returning error callback, no warning.
    EXPECT_FALSE(r.errors.empty());
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_EQ(s.interpelement3dnoindex(-1.0, 2.0, 1.0, f), 0.0);
  }
}

TEST(FindElement3D, LayerInterfacesAndFallbacks) {
  Recorded r(layeredmesh(3, 2, 4, false, 0.2, 0.2, 8));
  ElementSearch& s = r.s;
  const std::int32_t n2 = r.m.ne2d;
  const double px = 1.3, py = 0.2;
  const std::int32_t e = s.findelement2d(px, py);
  const double bottom = s.interpelementbottomindex(e, px, py, r.m.z);
  const double between = s.interpelementtopindex(e, px, py, r.m.z);  // layers 1 and 2
  const double top = s.interpelementtopindex(e + 2 * n2, px, py, r.m.z);
  EXPECT_EQ(s.findelement3d(px, py, bottom), e);
  EXPECT_EQ(s.findelement3d(px, py, between), e);
  EXPECT_EQ(s.findelement3d(px, py, std::nextafter(between, 9.0)), e + n2);
  EXPECT_EQ(s.findelement3d(px, py, top), e + 2 * n2);
  EXPECT_EQ(s.findelement3d(px, py, bottom - 1), 0);
  EXPECT_EQ(s.findelement3d(px, py, top + 1), 0);
  EXPECT_EQ(s.findelement3d(-5, 1, 2), 0);
  EXPECT_EQ(r.errors, (std::vector<std::string>{"findElement3D: point below mesh\npoint: " +
                                                    pointtostring3d(px, py, bottom - 1),
                                                "findElement3D: point above mesh\npoint: " +
                                                    pointtostring3d(px, py, top + 1),
                                                "findElement3D: point outside mesh\npoint: " +
                                                    pointtostring3d(-5, 1, 2)}));
  s.usenearest = true;
  EXPECT_EQ(s.findelement3d(px, py, bottom - 1), e);
  EXPECT_EQ(s.findelement3d(px, py, top + 1), e + 2 * n2);
  // Outside in plan: the nearest 3-D centroid of any layer, with no vertical test.
  std::int32_t nearest = 0;
  double best = 1e300;
  for (std::int32_t k = 1; k <= r.m.ne; ++k) {
    const auto c = s.elementcentroid3d(k);
    const double d = std::pow(c[0] + 5, 2) + std::pow(c[1] - 1, 2) + std::pow(c[2] - 2, 2);
    if (d < best) best = d, nearest = k;
  }
  EXPECT_EQ(s.findelement3d(-5, 1, 2), nearest);
  EXPECT_EQ(r.warnings.size(), 3u);
  EXPECT_EQ(r.warnings[2], "findElement3D: point outside mesh: using nearest element\npoint: " +
                               pointtostring3d(-5, 1, 2));
  // pointinelement3d is silent and leaves the switches as they were.
  r.warnings.clear();
  s.usenearest = false;
  EXPECT_FALSE(s.pointinelement3d(e, px, py, bottom - 1));
  EXPECT_FALSE(s.pointinelement3d(e, px, py, between + 0.5));
  EXPECT_TRUE(r.warnings.empty() && r.errors.size() == 3u);
  EXPECT_FALSE(s.usenearest);
  EXPECT_TRUE(s.verbosewarn);
}

TEST(InterpElement, VerticalRuleFlatElementsAndFaces) {
  LayeredMesh m = layeredmesh(1, 1, 2, false, 0.0, 0.0, 1);  // two prisms over the unit square
  Recorded r(m);
  ElementSearch& s = r.s;
  const std::vector<double> f{1, 1, 1, 1, 5, 5, 5, 5};  // 1 at the bottom, 5 at the top (z 0 and 1)
  EXPECT_EQ(s.interpelement3dindex(1, 0.6, 0.3, 0.0, f), 1.0);
  EXPECT_EQ(s.interpelement3dindex(1, 0.6, 0.3, 1.0, f), 5.0);
  EXPECT_EQ(s.interpelement3dindex(1, 0.6, 0.3, 0.5, f), 3.0);
  EXPECT_EQ(s.interpelement3dindex(1, 0.6, 0.3, 1.5, f), 7.0);  // error callback returned: extrapolated
  s.usenearest = true;
  EXPECT_EQ(s.interpelement3dindex(1, 0.6, 0.3, 1.5, f), 5.0);
  EXPECT_EQ(s.interpelement3dindex(1, 0.6, 0.3, -1.0, f), 1.0);
  EXPECT_EQ(r.errors, std::vector<std::string>{"interpElement: point above element\npoint: " +
                                               pointtostring3d(0.6, 0.3, 1.5)});
  EXPECT_EQ(r.warnings[1], "interpElement: point below element: interpolating to bottom\npoint: " +
                               pointtostring3d(0.6, 0.3, -1.0));
  // Top and bottom meet at node 2: the bottom value there, no division by zero.
  r.m.z[5] = 0.0;
  EXPECT_EQ(s.interpelement3dindex(1, 1.0, 0.0, 0.0, f), 1.0);

  // Face interpolation: vertices, nearest vertex outside (ties to the lower), degenerate faces.
  const std::array<double, 3> xs{0, 2, 0}, ys{0, 0, 2}, fs{10, 20, 30};
  EXPECT_EQ(s.interptriangle(xs, ys, fs, 2, 0), 20.0);
  EXPECT_EQ(s.interptriangle(xs, ys, fs, 5, 5), 20.0);  // vertices 2 and 3 equally near
  const std::array<double, 3> line{0, 1, 2};
  EXPECT_EQ(s.interptriangle(line, line, fs, 1, 1), 20.0);  // zero area: the nearest vertex
  const std::array<double, 4> qx{0, 1, 1, 0}, qy{0, 0, 1, 1}, qf{0, 1, 2, 1};
  EXPECT_EQ(s.interpquad(qx, qy, qf, 0.25, 0.75), 1.0);
  EXPECT_EQ(s.interpquad(qx, qy, qf, -1, 2), 1.0);
  s.usenearest = false;
  r.errors.clear();
  EXPECT_EQ(s.interptriangle(xs, ys, fs, 5, 5), 0.0);
  EXPECT_EQ(s.interpquad(qx, qy, qf, -1, 2), 0.0);
  EXPECT_EQ(r.errors, (std::vector<std::string>{"interpTriangle: point outside of triangle\npoint: " +
                                                    pointtostring2d(5, 5),
                                                "interpQuad: point outside quad\npoint: " + pointtostring2d(-1, 2)}));
  const TriangleWeights w = barycentriccoords(std::array{1.0, 1.0, 1.0}, xs, 0, 0);
  EXPECT_TRUE(std::isnan(w.s) && std::isnan(w.t));
}

}  // namespace
}  // namespace kelpra
