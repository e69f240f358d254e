#include "search/elementsearch.hpp"

#include <gtest/gtest.h>

#include "support/strings.hpp"
#include "tests/kit/capture.hpp"
#include "tests/search/layeredmesh.hpp"

namespace kelpra {
namespace {

using searchtest::LayeredMesh;
using searchtest::layeredmesh;
using Recorded = searchtest::RecordedSearch;

TEST(ElementSearchSetUp, RefusesMeshesThatLaterSearchesWouldOverrun) {
  const LayeredMesh m = layeredmesh(2, 2, 3, true, 0.0, 0.0, 1);  // 4 elements per layer, 8 in all
  ElementSearch s;
  s.initelementsearch(m.ne, m.ne2d, m.nln, m.nz, m.in, m.x, m.y, m.z);
  const std::vector<double> shortz(m.z.begin(), m.z.end() - 1);
  struct Case {
    std::int32_t ne, ne2d, nln, nz;
    std::span<const double> z;
    std::string fragment;
  };
  for (const Case& c : {Case{8, 4, 7, 3, m.z, "Fixed resolution grid expects prism or block elements."},
                        Case{8, 0, 8, 3, m.z, "at least one element per layer"},
                        Case{8, 4, 8, 4, m.z, "3 element layers of 4 elements need 12 elements, the mesh has 8"},
                        Case{3, 4, 8, 1, m.z, "1 element layers of 4 elements need 4"},
                        Case{8, 4, 8, 3, shortz, "element 8 names node 27, outside the 26 nodes"}}) {
    testkit::expectstop([&] { s.initelementsearch(c.ne, c.ne2d, c.nln, c.nz, m.in, m.x, m.y, c.z); }, c.fragment);
  }
  EXPECT_EQ(s.ne, 8);  // refused set-ups leave the search as it was
  EXPECT_EQ(s.findelement2d(1.5, 1.5), 4);
  testkit::expectstop([&] { s.elementcentroid3d(9); }, "element 9 outside 1..8");
}

TEST(ElementSearchGeometry, CoordinatesCentroidsAndBox) {
  LayeredMesh m = layeredmesh(1, 1, 2, true, 0.0, 0.0, 1);
  m.z = {0, 0, 0, 2, 4, 4, 4, 6};  // element 1 has nodes 1, 2, 4, 3 below and 5, 6, 8, 7 above
  ElementSearch s;
  s.initelementsearch(m.ne, m.ne2d, m.nln, m.nz, m.in, m.x, m.y, m.z);
  EXPECT_EQ(s.elementcoords3d(1, 3), (std::array<double, 3>{1, 1, 2}));
  EXPECT_EQ(s.elementcoords2d(1, 8), (std::array<double, 2>{0, 1}));
  EXPECT_EQ(s.elementcentroidbottom(1), (std::array<double, 3>{0.5, 0.5, 0.5}));
  EXPECT_EQ(s.elementcentroidtop(1), (std::array<double, 3>{0.5, 0.5, 4.5}));
  EXPECT_EQ(s.elementcentroid3d(1), (std::array<double, 3>{0.5, 0.5, 2.5}));
  EXPECT_EQ(s.elementcentroid2d(1), (std::array<double, 2>{0.5, 0.5}));
  EXPECT_EQ(s.elementaabb(1), (std::array<double, 6>{0, 0, 0, 1, 1, 6}));
}

TEST(ElementSearch2D, FacesAndTheFallbackRule) {
  for (const bool blocks : {false, true}) {
    Recorded r(layeredmesh(6, 4, 5, blocks, 0.2, 0.1, 3));
    ElementSearch& s = r.s;
    // Every first-layer face holds its own centroid, by the grid and by layer.
    for (std::int32_t e = 1; e <= r.m.ne2d; ++e) {
      const auto c = s.elementcentroid2d(e);
      ASSERT_EQ(s.findelement2d(c[0], c[1]), e);
      ASSERT_TRUE(s.pointinelement2d(e + 3 * r.m.ne2d, c[0], c[1]));
      ASSERT_EQ(s.findelementbylayer(c[0], c[1], 3), e + 2 * r.m.ne2d);
    }
    // Outside: the error callback returns, so the searches give 0.
    EXPECT_EQ(s.findelement2d(-1.0, 2.0), 0);
    EXPECT_EQ(s.findelementbylayer(-1.0, 2.0, 1), 0);
    EXPECT_EQ(s.findelementbylayer(1.0, 2.0, 5), 0);
    EXPECT_EQ(r.errors, (std::vector<std::string>{
                            "findElement2D: point outside mesh\npoint: (" + tostring_r8(-1.0) + ", " +
                                tostring_r8(2.0) + ")",
                            "findElementByLayer: point outside mesh\npoint: " + pointtostring2d(-1.0, 2.0),
                            "findElementByLayer: layer outside range\nlayer: 5, expected: 1,4"}));
    EXPECT_TRUE(r.warnings.empty());
    // Nearest: silently, then with warnings.
    s.usenearest = true;
    s.verbosewarn = false;
    EXPECT_EQ(s.findelement2d(-1.0, -2.0), 1);  // the nearest centroid
    EXPECT_EQ(s.findelementbylayer(-1.0, -2.0, 0), 1);
    EXPECT_TRUE(r.warnings.empty());
    s.verbosewarn = true;
    EXPECT_EQ(s.findelementbylayer(0.5, 0.1, 7), 1 + 3 * r.m.ne2d);
    EXPECT_EQ(s.findelement2d(-1.0, -2.0), 1);
    EXPECT_EQ(r.warnings, (std::vector<std::string>{
                              "findElementByLayer: layer outside range: using nearest layer\nlayer: 7, expected: 1,4",
                              "findElement2D: point outside mesh: using nearest element\npoint: " +
                                  pointtostring2d(-1.0, -2.0)}));
    EXPECT_EQ(r.errors.size(), 3u);
  }
}

TEST(ElementSearch2D, NearestTiesKeepTheLowerNumber) {
  Recorded r(layeredmesh(2, 1, 2, true, 0.0, 0.0, 1));  // centroids (0.5, 0.5) and (1.5, 0.5)
  EXPECT_EQ(r.s.findnearestelement2d(1.0, 7.0), 1);
  EXPECT_EQ(r.s.findnearestelement2d(1.0000001, 7.0), 2);
  EXPECT_EQ(ElementSearch().findnearestelement2d(1.0, 1.0), 0);
}

TEST(ElementSearchDefault, FreeFunctionsUseTheDefaultCallbacks) {
  const LayeredMesh m = layeredmesh(3, 3, 2, false, 0.1, 0.0, 9);
  initelementsearch(m.ne, m.ne2d, m.nln, m.nz, m.in, m.x, m.y, m.z);
  EXPECT_EQ(findelement2d(0.1, 0.05), 1);
  const std::string err = testkit::stoperr([] { findelement2d(5.0, 5.0); });
  EXPECT_NE(err.find("FATAL ERROR"), std::string::npos);
  EXPECT_NE(err.find("findElement2D: point outside mesh\npoint: " + pointtostring2d(5.0, 5.0)), std::string::npos);
  testing_only::reseterrorstate();
  // An empty callback acts as the default one.
  std::vector<std::string> seen;
  seterrorcallback([&](std::string_view t) { seen.emplace_back(t); });
  EXPECT_EQ(findelementbylayer(5.0, 5.0, 1), 0);
  EXPECT_EQ(seen.size(), 1u);
  seterrorcallback(nullptr);
  testkit::expectstop([] { findelement2d(5.0, 5.0); }, "findElement2D: point outside mesh");
  elementsearch() = ElementSearch();  // no view of this test's mesh outlives it
}

}  // namespace
}  // namespace kelpra
