// Heads, topography and zones on small hand-made domains with result files written by the
// test model writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

class Handlers : public ::testing::Test {
 protected:
  void SetUp() override {
    freeunitall();
    testing_only::reseterrorstate();
    testing_only::resetplotdata();
    plot_data.prefix = (dir.path() / "abc").string();
    plot_data.nfs = "0001";
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    ::testing::internal::GetCapturedStdout();
    freeunitall();
    testing_only::reseterrorstate();
    testing_only::resetplotdata();
  }
  std::filesystem::path result(const std::string& root, const std::string& domain, const std::string& index) {
    return dir.path() / ("abco." + root + domain + "." + index);
  }
  static DOMAIN domain(const std::string& name, std::vector<double> z) {
    DOMAIN dom;
    dom.name = name;
    dom.nn = static_cast<std::int32_t>(z.size());
    dom.ne = 1;
    dom.z = std::move(z);
    dom.elemzone = {7};
    return dom;
  }
  testkit::TempDir dir;
};

TEST_F(Handlers, CheckFileInitRetriesTheFirstIndexInAppendMode) {
  testkit::writeresult_r8(result("head_", "pm", "000003"), "1.0 h", std::vector<double>{1});
  std::string name = result("head_", "pm", "000009").string();
  bool exists = true;
  checkfileinit(name, exists);
  EXPECT_FALSE(exists);
  EXPECT_EQ(name, result("head_", "pm", "000009").string());  // append mode off: name unchanged

  plot_data.tecappend = true;
  plot_data.tecappendnfile0 = 3;
  plot_data.outputtimeindexwidth = 6;
  ::testing::internal::GetCapturedStdout();
  ::testing::internal::CaptureStdout();
  checkfileinit(name, exists);
  EXPECT_TRUE(exists);
  EXPECT_EQ(name, result("head_", "pm", "000003").string());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Warning: file not found -> appending at time index 000003\n");
  ::testing::internal::CaptureStdout();
}

TEST_F(Handlers, PressureHeadsFromStaticOrTimeVaryingElevation) {
  DOMAIN pm = domain("pm", {0.0, 1.0, 2.0});
  testkit::writeresult_r8(result("head_", "pm", "0001"), "1.0 h", std::vector<double>{5.0, 5.0, 5.0});
  headinit(pm);
  EXPECT_TRUE(pm.headavail);
  EXPECT_EQ(pm.headvar, 1);
  EXPECT_EQ(pm.pressheadvar, 2);
  EXPECT_EQ(pm.presshead, (R8Vec{5.0, 4.0, 3.0}));
  EXPECT_EQ(pm.varlist, "\"Head\",\"Pressure Head\"");
  EXPECT_EQ(pm.unitcomments, "# Head units: (m)\n# Pressure Head units: (m)");

  // Time 2: the topography file was found, so pressure heads measure from it.
  plot_data.nfs = "0002";
  testkit::writeresult_r8(result("tvtopo_", "pm", "0002"), "2.0 t", std::vector<double>{1.0, 1.0, 1.0});
  testkit::writeresult_r8(result("head_", "pm", "0002"), "2.0 h", std::vector<double>{6.0, 6.0, 6.0});
  tvtopopreread(false, pm);
  EXPECT_TRUE(pm.tvtopofound);
  headread(pm);
  EXPECT_EQ(pm.presshead, (R8Vec{5.0, 5.0, 5.0}));

  // Time 3: no head file: head and pressure head share zone 1, values kept.
  plot_data.nfs = "0003";
  pm.tvtopofound = false;
  headread(pm);
  EXPECT_FALSE(pm.headfound);
  EXPECT_EQ(pm.pendingshare, (std::vector<std::uint8_t>{1, 1}));
  EXPECT_EQ(pm.head, (R8Vec{6.0, 6.0, 6.0}));
}

TEST_F(Handlers, SurfaceDepthsAndTheirLogarithms) {
  DOMAIN olf = domain("olf", {10.0, 10.0, 10.0, 10.0});
  testkit::writeresult_r8(result("head_", "olf", "0001"), "1.0 h", std::vector<double>{9.0, 10.0 + 1e-8, 11.0, 10.0});
  headinit(olf);
  EXPECT_EQ(olf.varlist, "\"Head\",\"Depth\",\"LogDepth\"");
  EXPECT_EQ(olf.pressheadvar, 0);
  EXPECT_EQ(olf.depth[0], 0.0f);
  EXPECT_FLOAT_EQ(olf.logdepth[0], -8.0f);
  EXPECT_NEAR(olf.logdepth[1], -8.0f, 1e-3);
  EXPECT_FLOAT_EQ(olf.depth[2], 1.0f);
  EXPECT_FLOAT_EQ(olf.logdepth[2], 0.0f);
  EXPECT_FLOAT_EQ(olf.logdepth[3], -8.0f);
}

TEST_F(Handlers, WithoutPressureHeadsOnlyHeadIsRegisteredOrShared) {
  DOMAIN pm = domain("pm", {0.0});
  pm.writepresshead = false;
  testkit::writeresult_r8(result("head_", "pm", "0001"), "1.0 h", std::vector<double>{5.0});
  headinit(pm);
  EXPECT_EQ(pm.nvar, 1);
  plot_data.nfs = "0002";
  headread(pm);
  EXPECT_EQ(pm.pendingshare, (std::vector<std::uint8_t>{1}));
}

TEST_F(Handlers, MissingFirstHeadFileMeansNoHeadForTheRun) {
  DOMAIN pm = domain("pm", {0.0});
  headinit(pm);
  EXPECT_FALSE(pm.headavail);
  EXPECT_EQ(pm.nvar, 0);
  EXPECT_TRUE(pm.zonearrays.empty());
}

TEST_F(Handlers, ZoneVariableFromTheMeshOrFromZoneFiles) {
  DOMAIN pm = domain("pm", {0.0});
  zoneinit(pm);
  EXPECT_FALSE(pm.zoneavail);
  EXPECT_EQ(pm.zonevar, 1);
  EXPECT_EQ(pm.elemzone, (I4Vec{7}));
  EXPECT_EQ(pm.pendingcc, (std::vector<std::uint8_t>{1}));

  DOMAIN olf = domain("olf", {0.0});
  testkit::writeresult_i4(result("tv_zone_", "olf", "0001"), "1.0 z", std::vector<std::int32_t>{3});
  zoneinit(olf);
  EXPECT_TRUE(olf.zoneavail);
  EXPECT_EQ(olf.elemzone, (I4Vec{3}));
  plot_data.nfs = "0002";
  olf.pendingcc.clear();
  zoneread(olf);
  EXPECT_FALSE(olf.zonefound);
  EXPECT_EQ(olf.pendingshare, (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(olf.pendingcc, (std::vector<std::uint8_t>{1}));
}

TEST_F(Handlers, TopographyDifferenceForThePorousMediumOnly) {
  DOMAIN pm = domain("pm", {5.0, 5.0});
  testkit::writeresult_r8(result("tvtopo_", "pm", "0001"), "1.0 t", std::vector<double>{5.0, 3.0});
  tvtopoinit(pm);
  EXPECT_EQ(pm.varlist, "\"tvTopoZ\",\"tvTopoZAbsDiff\"");
  EXPECT_EQ(pm.tvtopozdiff, (R8Vec{0.0, 2.0}));

  DOMAIN olf = domain("olf", {5.0, 5.0});
  testkit::writeresult_r8(result("tvtopo_", "olf", "0001"), "1.0 t", std::vector<double>{5.0, 3.0});
  tvtopoinit(olf);
  EXPECT_EQ(olf.varlist, "\"tvTopoZ\"");
  plot_data.nfs = "0002";
  tvtoporead(olf);
  EXPECT_EQ(olf.pendingshare, (std::vector<std::uint8_t>{1}));
}

TEST_F(Handlers, TopographyZonesAreCellCentredIntegers) {
  DOMAIN pm = domain("pm", {0.0});
  testkit::writeresult_i4(result("tvtopo_zone_", "pm", "0001"), "1.0 z", std::vector<std::int32_t>{4});
  tvtopozoneinit(pm);
  EXPECT_TRUE(pm.tvtopozoneavail);
  EXPECT_EQ(pm.tvtopozone, (I4Vec{4}));
  EXPECT_EQ(pm.dtlist, "LONGINT");
  ASSERT_EQ(pm.zonearrays.size(), 1u);
  EXPECT_TRUE(pm.zonearrays[0].cellcentred);
}

TEST_F(Handlers, PorousMediumReadOnlyMarksNothingInItsUnopenedBinaryDataSet) {
  // "pm" read only for the common-node domains registers its variables but never opens its
  // data set; a missing file at a later time must not try to mark a share in it.
  plot_data.tecplot_bin_mode = true;
  plot_data.pmreadonly = true;
  DOMAIN pm = domain("pm", {0.0, 1.0});
  tecplotinit(pm);
  testkit::writeresult_r8(result("head_", "pm", "0001"), "1.0 h", std::vector<double>{5.0, 5.0});
  testkit::writeresult_i4(result("tvtopo_zone_", "pm", "0001"), "1.0 z", std::vector<std::int32_t>{4});
  zoneinit(pm);
  headinit(pm);
  tvtopozoneinit(pm);
  ASSERT_TRUE(pm.headavail);
  const std::int32_t cellcentred = pm.ncc;

  plot_data.nfs = "0002";  // no file of any kind
  zoneread(pm);
  headread(pm);
  tvtopozoneread(pm);
  EXPECT_FALSE(pm.headfound);
  EXPECT_EQ(pm.head, (R8Vec{5.0, 5.0}));
  EXPECT_TRUE(std::none_of(pm.pendingshare.begin(), pm.pendingshare.end(), [](std::uint8_t m) { return m != 0; }));
  EXPECT_EQ(pm.ncc, cellcentred);  // the list of a zone that is never written does not grow

  // A "pm" that writes its own data set shares as usual (ASCII: the marks need no open file).
  plot_data.pmreadonly = false;
  plot_data.tecplot_bin_mode = false;
  headread(pm);
  EXPECT_EQ(pm.pendingshare.at(static_cast<std::size_t>(pm.headvar - 1)), 1);
}

// Depth below the ground surface, layer by layer: the top node of each column is the surface.
// Nodes beyond whole layers, or a mesh without layers, get 0 instead of reading past the
// arrays; the depths to the water table are then left out with one warning.
TEST_F(Handlers, DepthsFollowTheNodeColumnsOfWholeLayers) {
  const auto zs = [](std::int32_t n) {
    std::vector<double> z;
    for (std::int32_t i = 0; i < n; ++i) z.push_back(0.5 * i * i);
    return z;
  };
  DOMAIN pm = domain("pm", zs(12));
  plot_data.nz = 3;
  depth2surfinit(pm);
  ASSERT_EQ(pm.depth2surf.size(), 12u);
  for (std::size_t j = 0; j < 4; ++j) {
    EXPECT_EQ(pm.depth2surf[j + 8], 0.0);
    EXPECT_EQ(pm.depth2surf[j], pm.z[j + 8] - pm.z[j]);
    EXPECT_EQ(pm.depth2surf[j + 4], pm.z[j + 8] - pm.z[j + 4]);
  }
  EXPECT_EQ(pm.varlist, "\"Depth2Surf\"");

  const struct {
    std::int32_t nn, nz;
  } layouts[] = {{13, 3}, {12, 0}, {2, 3}};
  for (const auto& c : layouts) {
    SCOPED_TRACE(c.nn);
    DOMAIN odd = domain("pm", zs(c.nn));
    odd.headavail = true;
    odd.head.assign(static_cast<std::size_t>(c.nn), 100.0);
    plot_data.nz = c.nz;
    depth2surfinit(odd);
    const std::int32_t whole = c.nz >= 1 ? c.nn / c.nz * c.nz : 0;
    for (std::int32_t i = whole; i < c.nn; ++i) EXPECT_EQ(odd.depth2surf[static_cast<std::size_t>(i)], 0.0);
    if (whole > 0) {
      EXPECT_EQ(odd.depth2surf[0], odd.z[static_cast<std::size_t>(whole - whole / c.nz)] - odd.z[0]);
    }
    ::testing::internal::CaptureStderr();
    depth2gwtinit(odd);
    depth2gwt2dinit(odd);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(odd.depth2gwtvar, 0);
    EXPECT_EQ(odd.depth2gwt2dvar, 0);
    EXPECT_EQ(err.find("Depths to the water table are not written"), err.rfind("Depths to the water table")) << err;
    EXPECT_NE(err.find("do not form " + std::to_string(c.nz) + " node layers"), std::string::npos) << err;
    depth2gwtread(odd);  // nothing was set up: nothing to share
    EXPECT_TRUE(odd.pendingshare.empty());
  }
}

}  // namespace
}  // namespace kelpra
