#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/watertable.hpp"
#include "tests/kit/cleanrun.hpp"

namespace kelpra {
namespace {

using R8 = std::vector<double>;

class WaterTable : public testkit::CleanRun {
 protected:
  // Depths of every node for elevations z and pressure heads psi; twod picks the variant.
  static R8 depths(bool twod, int nz, bool interp, const R8& z, const R8& psi) {
    R8 head(z.size());
    for (std::size_t i = 0; i < z.size(); ++i) head[i] = z[i] + psi[i];
    R8 d(z.size(), -1.0);
    const auto nn = static_cast<std::int32_t>(z.size());
    if (twod) {
      depth2gwt2ddomain(nn, nz, interp, z, head, d);
    } else {
      depth2gwtdomain(nn, nz, interp, z, head, d);
    }
    return d;
  }
};

TEST_F(WaterTable, CrossingBetweenTwoLayers) {
  const R8 z{0.0, 10.0};
  const R8 psi{2.0, -1.0};
  const double wt = 20.0 / 3.0;
  const R8 d3 = depths(false, 2, true, z, psi);
  EXPECT_NEAR(d3[0], -wt, 1e-12);
  EXPECT_NEAR(d3[1], 10.0 - wt, 1e-12);
  for (const double v : depths(true, 2, true, z, psi)) EXPECT_NEAR(v, 10.0 - wt, 1e-12);
  // Without interpolation the water table is the head of the saturated node.
  EXPECT_EQ(depths(false, 2, false, z, psi), (R8{-2.0, 8.0}));
  EXPECT_EQ(depths(true, 2, false, z, psi), (R8{8.0, 8.0}));

  double depth = 0.0;
  double wtout = 0.0;
  depth2gwtnode(2, 2, 2, true, z, psi, depth, wtout);
  EXPECT_NEAR(wtout, wt, 1e-12);
  depth2gwtnodebottomup(1, 2, 2, true, z, psi, depth, wtout);
  EXPECT_NEAR(depth, 10.0 - wt, 1e-12);
}

TEST_F(WaterTable, WetDryAndPerchedColumns) {
  // Two columns of three layers: column 1 wet throughout (head of the top 11), column 2
  // dry throughout (head of the bottom -1).
  const R8 z{0.0, 0.0, 5.0, 5.0, 10.0, 10.0};
  const R8 psi{1.0, -1.0, 1.0, -1.0, 1.0, -1.0};
  EXPECT_EQ(depths(false, 3, true, z, psi), (R8{-11.0, 1.0, -6.0, 6.0, -1.0, 11.0}));
  EXPECT_EQ(depths(true, 3, true, z, psi), (R8{0.0, 11.0, 0.0, 11.0, 0.0, 11.0}));

  // Saturated, unsaturated, saturated, unsaturated: crossings at 5 and 25.
  const R8 zp{0.0, 10.0, 20.0, 30.0};
  const R8 perched{1.0, -1.0, 1.0, -1.0};
  EXPECT_EQ(depths(false, 4, true, zp, perched), (R8{-5.0, 5.0, -5.0, 5.0}));
  EXPECT_EQ(depths(true, 4, true, zp, perched), R8(4, 25.0));
}

TEST_F(WaterTable, SingleLayerAndNan) {
  const R8 z{1.0, 2.0, 3.0};
  const R8 psi{0.5, -0.25, 2.0};
  EXPECT_EQ(depths(false, 1, true, z, psi), (R8{-0.5, 0.25, -2.0}));
  EXPECT_EQ(depths(true, 1, true, z, psi), R8(3, 0.0));
  // A NaN pressure head counts as unsaturated in the three-dimensional variant.
  EXPECT_EQ(depths(false, 2, false, R8{0.0, 10.0}, R8{2.0, std::numeric_limits<double>::quiet_NaN()}),
            (R8{-2.0, 8.0}));
  R8 none;
  depth2gwtdomain(0, 3, true, none, none, none);
}

// The whole-domain sweep gives, node for node, what the walk from that one node gives.
TEST_F(WaterTable, DomainSweepsEqualTheWalksFromEveryNodeAndColumn) {
  std::mt19937 random(11);
  for (const int nz : {1, 2, 5, 17}) {
    for (const bool interp : {false, true}) {
      const int npl = 7;
      R8 z, psi;
      for (int k = 0; k < nz; ++k) {
        for (int c = 0; c < npl; ++c) {
          z.push_back(k * 2.0 + 0.1 * c);
          const int draw = static_cast<int>(random() % 9);
          psi.push_back(draw == 0 ? std::numeric_limits<double>::quiet_NaN() : draw == 1 ? 0.0 : draw * 0.5 - 2.25);
        }
      }
      const R8 d = depths(false, nz, interp, z, psi);
      // The pressure heads as the domain computes them from the heads.
      R8 exact(z.size());
      for (std::size_t i = 0; i < z.size(); ++i) exact[i] = (z[i] + psi[i]) - z[i];
      const auto nn = static_cast<std::int32_t>(z.size());
      for (std::int32_t i = 1; i <= nn; ++i) {
        double depth = 0.0, wt = 0.0;
        depth2gwtnode(i, nn, nz, interp, z, exact, depth, wt);
        const double got = d[static_cast<std::size_t>(i - 1)];
        EXPECT_TRUE(got == depth || (std::isnan(got) && std::isnan(depth))) << "nz " << nz << " node " << i;
      }
      // The two-dimensional sweep against the scan of each column on its own.
      const R8 d2 = depths(true, nz, interp, z, psi);
      for (std::int32_t c = 1; c <= npl; ++c) {
        double depth = 0.0, wt = 0.0;
        depth2gwtnodebottomup(c, nn, nz, interp, z, exact, depth, wt);
        for (int k = 0; k < nz; ++k) {
          const double got = d2[static_cast<std::size_t>(c - 1 + k * npl)];
          EXPECT_TRUE(got == depth || (std::isnan(got) && std::isnan(depth))) << "nz " << nz << " column " << c;
        }
      }
    }
  }
}

TEST_F(WaterTable, NodeCountNotWholeLayersIsAnInputError) {
  const R8 v(5, 0.0);
  R8 d(5);
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(depth2gwtdomain(5, 2, true, v, v, d), RunStopped);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("*** INPUT ERROR, HALTING EXECUTION ***"), std::string::npos);
  EXPECT_NE(err.find("Depth to water table: 5 nodes do not form 2 layers of equal size."), std::string::npos);
  testing_only::reseterrorstate();
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(depth2gwt2ddomain(5, 0, true, v, v, d), RunStopped);
  ::testing::internal::GetCapturedStderr();
}

TEST_F(WaterTable, ShortArraysAndForeignNodesStop) {
  const R8 v(4, 0.0);
  R8 shortdepth(3);
  double depth = 0.0;
  double wt = 0.0;
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(depth2gwtdomain(4, 2, true, v, v, shortdepth), RunStopped);
  testing_only::reseterrorstate();
  EXPECT_THROW(depth2gwtnode(5, 4, 2, true, v, v, depth, wt), RunStopped);
  testing_only::reseterrorstate();
  EXPECT_THROW(depth2gwtnodebottomup(3, 4, 2, true, v, v, depth, wt), RunStopped);
  ::testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace kelpra
