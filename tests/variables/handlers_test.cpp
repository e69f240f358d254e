// Heads, topography, zones, depths, groups of files and element properties on small
// hand-made domains with result files written by the test model writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
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


// ---- Groups of files and element properties -------------------------------------------------

// The share marks of the zone written next, one per variable.
std::vector<std::uint8_t> shares(const DOMAIN& dom) {
  std::vector<std::uint8_t> marks = dom.pendingshare;
  marks.resize(static_cast<std::size_t>(dom.nvar), 0);
  return marks;
}
using Marks = std::vector<std::uint8_t>;

// Files on their own: a file first there later is never looked for, a missing one alone is
// shared; exchange partners missing at the first time stay switched off.
TEST_F(Handlers, EvapotranspirationAndExchangeFilesStandOnTheirOwn) {
  DOMAIN olf = domain("olf", {0.0});
  testkit::writeresult_r8(result("ETPmEvap_", "olf", "0001"), "1.0 e", std::vector<double>{1});
  testkit::writeresult_r8(result("ETActual_", "olf", "0001"), "1.0 a", std::vector<double>{3});
  etinit(olf);
  EXPECT_EQ(olf.varlist, "\"Subsurface evaporation\",\"Actual ET\"");
  DOMAIN pm = domain("pm", {0.0});
  testkit::writeresult_r4(result("ExchFlux_olf2_", "pm", "0001"), "1.0 x", std::vector<float>{1});
  exchfluxinit(pm);
  EXPECT_EQ(pm.varlist, "\"Exchange flux Olf\"");
  EXPECT_FALSE(pm.dualexchfluxon || pm.exchfluxpmon);
  EXPECT_TRUE(pm.exchfluxolfon);

  plot_data.nfs = "0002";
  for (const char* root : {"ETEvap_", "ETPmEvap_"}) {
    testkit::writeresult_r8(result(root, "olf", "0002"), "2.0 e", std::vector<double>{5});
  }
  for (const char* root : {"ExchFlux_", "DualExchFlux_", "ExchFlux_pm2_", "ExchFlux_olf2_"}) {
    testkit::writeresult_r4(result(root, "pm", "0002"), "2.0 x", std::vector<float>{2});
  }
  etread(olf);
  exchfluxread(pm);
  EXPECT_TRUE(olf.etpmevapfound && !olf.etactualfound && !olf.etevapfound);
  EXPECT_EQ(olf.etpmevap, R8Vec{5});
  EXPECT_EQ(shares(olf), (Marks{0, 1}));
  EXPECT_TRUE(pm.exchfluxolffound && !pm.exchfluxfound && !pm.dualexchfluxfound && !pm.exchfluxpmfound);
  EXPECT_TRUE(pm.exchfluxpm.empty());
}

// The snow group: only members registered at the first time are read or shared later, and
// the first of them (the snow depth when registered) decides for the group.
TEST_F(Handlers, SnowGroupFollowsItsRegisteredMembers) {
  const std::vector<std::string> roots = {"snowdepth", "snowmelt", "liquid_p", "solid_p", "snowcover"};
  const struct {
    std::string missingfirst, missingat7;
    std::int32_t nvar;
  } cases[] = {{"", "snowdepth", 5}, {"snowcover", "", 4}, {"snowdepth", "snowmelt", 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.missingfirst + " / " + c.missingat7);
    testkit::TempDir here;
    plot_data.prefix = (here.path() / "abc").string();
    // Files without a domain name, all but `except` at time n.
    const auto lay = [&](int n, const std::string& except) {
      plot_data.nfs = "000" + std::to_string(n);
      for (const std::string& root : roots) {
        if (root == except) continue;
        testkit::writeresult_r8(here.path() / ("abco." + root + "." + plot_data.nfs), "1.0 s", R8Vec(2, n));
      }
    };
    lay(1, c.missingfirst);
    DOMAIN olf = domain("olf", {0.0, 0.0});
    olf.ne = 2;
    rainsnowmeltinit(olf);
    EXPECT_TRUE(olf.rainsnowmeltavail);
    EXPECT_EQ(olf.nvar, c.nvar);
    for (const int n : {7, 8}) {
      lay(n, n == 7 ? c.missingat7 : "");
      olf.pendingshare.clear();
      rainsnowmeltread(olf);
      const bool found = n == 8 || c.missingat7.empty();
      EXPECT_EQ(olf.rainsnowmeltfound, found) << n;
      EXPECT_EQ(shares(olf), Marks(static_cast<std::size_t>(c.nvar), found ? 0 : 1)) << n;
    }
    EXPECT_EQ(olf.snowdepth.empty(), c.missingfirst == "snowdepth");
    EXPECT_EQ(olf.snowcover.empty(), c.missingfirst == "snowcover");
    EXPECT_EQ(olf.solidp, (R8Vec{8, 8}));
    // The deciding file there while a registered member's is missing stops the run.
    lay(9, "solid_p");
    testkit::expectstop([&] { rainsnowmeltread(olf); }, "Failed to open file: ");
  }
}

// Time 1 holds one water-age file, time 2 only the age: the age alone moves on, or the
// ratio alone is shared.
TEST_F(Handlers, WaterAgeMembersAreReadOrSharedOnlyWhenRegistered) {
  for (const bool ageonly : {true, false}) {
    DOMAIN dom = domain(ageonly ? "pm" : "dual", {0.0});
    plot_data.nfs = "0001";
    testkit::writeresult_r8(result(ageonly ? "water_age_" : "water_age_ratio_", dom.name, "0001"), "1.0 w", R8Vec{1});
    waterageinit(dom);
    EXPECT_TRUE(dom.waterageavail);
    EXPECT_EQ(dom.varlist, ageonly ? "\"Water Age\"" : "\"Water Age Ratio\"");
    plot_data.nfs = "0002";
    testkit::writeresult_r8(result("water_age_", dom.name, "0002"), "2.0 w", R8Vec{2});
    waterageread(dom);
    EXPECT_EQ(dom.wateragefound, ageonly);
    EXPECT_EQ(shares(dom), Marks{ageonly ? std::uint8_t{0} : std::uint8_t{1}});
    EXPECT_EQ(dom.waterage, ageonly ? R8Vec{2} : R8Vec{});
  }
}

// Element properties take the file of output time 1 with a plain test, even in append mode;
// the Peclet reader, which a run does not call, takes the current time's file.
TEST_F(Handlers, PecletReaderTakesTheCurrentTime) {
  plot_data.tecappend = true;
  plot_data.tecappendnfile0 = 5;
  plot_data.nfs = "0005";
  DOMAIN pm = domain("pm", {0.0});
  testkit::writeresult_r4(result("Peclet_", "pm", "0001"), "1.0 p", std::vector<std::vector<float>>(3, {1}));
  testkit::writeresult_r8(result("ElemTort_", "pm", "0005"), "5.0 t", R8Vec{1});
  pecletinit(pm);
  elemtortinit(pm);
  EXPECT_FALSE(pm.elemtortavail);
  EXPECT_EQ(pm.nvar, 3);
  pm.pendingcc.clear();
  pecletread(pm);
  EXPECT_FALSE(pm.pecletfound);
  EXPECT_EQ(shares(pm), (Marks{1, 1, 1}));
  EXPECT_EQ(pm.pendingcc, (Marks{1, 1, 1}));
  testkit::writeresult_r4(result("Peclet_", "pm", "0005"), "5.0 p", std::vector<std::vector<float>>(3, {9}));
  pecletread(pm);
  EXPECT_TRUE(pm.pecletfound);
  EXPECT_EQ(pm.pecletz, R4Vec{9});
}

// The conductivity's form is the whole number its header description begins with.
TEST_F(Handlers, ConductivityFormFromTheHeaderDescription) {
  const struct {
    std::string description;
    std::int32_t form, components;  // no components: the run stops
  } cases[] = {{"3 full tensor", 3, 6}, {"1", 1, 3}, {"3,x", 3, 6}, {"-2 x", -2, 3}, {"3D", 0, 0}, {"", 0, 0},
               {"3.0", 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    DOMAIN pm = domain("pm", {0.0});
    const auto path = result("ElemK_", "pm", "0001");
    testkit::writeresult_r8(path, "1.0 " + c.description, std::vector<R8Vec>(6, R8Vec{2.5}));
    if (c.components == 0) {
      testkit::expectstop([&] { elemkinit(pm); }, "element conductivity file " + path.string());
      continue;
    }
    elemkinit(pm);
    EXPECT_EQ(pm.elemktype, c.form);
    EXPECT_EQ(pm.nvar, c.components);
    EXPECT_EQ(pm.elemkxy.empty(), c.components == 3);
  }
}

}  // namespace
}  // namespace kelpra
