// The isopach and depth-below-surface plots: the isopach sums of one element zone down each
// column, and the two data sets written from a small layered model.
#include "driver/specialplots.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/domaincreate.hpp"
#include "driver/runfiles.hpp"
#include "plot/tecio.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using I4 = std::vector<std::int32_t>;
using R8 = std::vector<double>;

// Two surface quadrilaterals side by side (surface nodes 1 2 3 / 4 5 6) over three element
// layers of bricks; node layer k lies at z[k] and numbers its nodes 6k + 1 .. 6k + 6.
struct TwoColumns {
  R8 z;
  I4 olf = {1, 2, 5, 4, 2, 3, 6, 5};
  I4 pm;
  I4 zones;  // layer by layer: column 1, column 2

  TwoColumns(const R8& layerz, const I4& zonesbylayer) : zones(zonesbylayer) {
    for (std::size_t k = 0; k < layerz.size(); ++k) z.insert(z.end(), 6, layerz[k]);
    for (std::int32_t k = 0; k + 1 < static_cast<std::int32_t>(layerz.size()); ++k) {
      for (std::int32_t e = 0; e < 2; ++e) {
        for (std::int32_t up = 0; up <= 1; ++up) {
          for (std::int32_t c = 0; c < 4; ++c) pm.push_back(olf[static_cast<std::size_t>(4 * e + c)] + 6 * (k + up));
        }
      }
    }
  }
  // Thickness per surface element and top elevation per surface node for one zone.
  void isopach(std::int32_t zone, R8& thickness, R8& top) const {
    thickness.assign(2, 0.0);
    top.assign(6, 0.0);
    const auto ne = static_cast<std::int32_t>(zones.size());
    compute_isopach_structure(zone, static_cast<std::int32_t>(z.size()), ne, zones, z, 8, pm, 6, 2, 4, olf,
                              ne / 2 - 1, thickness, top);
  }
};

TEST(IsopachStructure, ColumnWithoutTheZoneKeepsZeroes) {
  const TwoColumns mesh({0.0, 1.0, 3.0, 6.0}, {5, 1, 7, 1, 5, 1});
  R8 thickness, top;
  mesh.isopach(7, thickness, top);
  EXPECT_EQ(thickness, (R8{2.0, 0.0}));
  // Nodes 2 and 5 also belong to the second column, which has no element of zone 7.
  EXPECT_EQ(top, (R8{3.0, 3.0, 0.0, 3.0, 3.0, 0.0}));

  mesh.isopach(9, thickness, top);  // a zone no element has
  EXPECT_EQ(thickness, (R8{0.0, 0.0}));
  EXPECT_EQ(top, R8(6, 0.0));
}

TEST(IsopachStructure, SeparateLayersOfOneZoneAddUpAndTheUpperOneIsTheTop) {
  const TwoColumns mesh({0.0, 1.0, 3.0, 6.0}, {5, 1, 7, 1, 5, 1});
  R8 thickness, top;
  mesh.isopach(5, thickness, top);
  EXPECT_EQ(thickness, (R8{1.0 + 3.0, 0.0}));
  EXPECT_EQ(top, (R8{6.0, 6.0, 0.0, 6.0, 6.0, 0.0}));

  mesh.isopach(1, thickness, top);  // the whole second column
  EXPECT_EQ(thickness, (R8{0.0, 6.0}));
  EXPECT_EQ(top, (R8{0.0, 6.0, 6.0, 0.0, 6.0, 6.0}));
}

TEST(IsopachStructure, TrianglesStoredWithFourNodeSlotsAverageOverThree) {
  // One prism: bottom nodes 1 2 3 at z 0, top nodes 4 5 6 at z 1, 2, 3. Over three nodes the
  // thickness is (1 + 2 + 3) / 3 = 2; taking the empty fourth slot as a node would give 1.
  const R8 z = {0.0, 0.0, 0.0, 1.0, 2.0, 3.0};
  const I4 prism = {1, 2, 3, 4, 5, 6};
  const I4 triangle = {1, 2, 3, 0};
  R8 thickness(1, 0.0), top(3, 0.0);
  compute_isopach_structure(4, 6, 1, I4{4}, z, 6, prism, 3, 1, 4, triangle, 0, thickness, top);
  EXPECT_DOUBLE_EQ(thickness[0], 2.0);
  EXPECT_EQ(top, (R8{1.0, 2.0, 3.0}));
}

// A layered model on disk and its "pm" and "olf" records as the main program creates them.
class SpecialPlots : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = model.prefix();
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (HasFailure()) std::fputs(out.c_str(), stdout);  // the failures were captured too
    CleanPlotRun::TearDown();
  }

  // Node layers at z = 0, 1, 2, ...; each element layer its own zone, from 1 at the bottom.
  void create(std::int32_t nodelayers) {
    testkit::LayeredMesh mesh = testkit::layeredmesh(2, 1, nodelayers);
    const std::int32_t perlayer = mesh.elements() / (nodelayers - 1);
    for (std::size_t p = 0; p < mesh.zones.size(); ++p) mesh.zones[p] = static_cast<std::int32_t>(p) / perlayer + 1;
    model.pmfiles(mesh, 3, 2, nodelayers);
    model.olf(mesh);
    domaincreate(pm, "pm", pm);
    pm.coupling = 1;
    pmcopy = pm;
    domaincreate(olf, "olf", pmcopy);
  }

  std::string dataset(const std::string& suffix) const { return testkit::readfile(model.path(suffix)); }

  static std::vector<std::string> zonelines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("ZONE ")) lines.push_back(line);
    }
    return lines;
  }
  // The values of the first block labelled "# label".
  static R8 block(const std::string& text, const std::string& label) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line) && line != "# " + label) {
    }
    R8 values;
    while (std::getline(in, line) && !line.starts_with("#") && !line.starts_with("ZONE")) {
      std::istringstream numbers(line);
      for (double v = 0.0; numbers >> v;) values.push_back(v);
    }
    return values;
  }

  testkit::TempDir dir;
  testkit::ModelWriter model{dir.path()};
  DOMAIN pm, pmcopy, olf;
};

// A binary special plot still being written when the run stops keeps its complete zones, and the
// report says how many; one whose zones are all complete was written by the run.
TEST_F(SpecialPlots, StoppedBinaryPlotSaysWhatItKeeps) {
  plot_data.tecplot_bin_mode = true;
  const std::string base = model.prefix() + "o.pm_Isopach";
  for (const bool cut : {true, false}) {
    SCOPED_TRACE(cut);
    DOMAIN plot;
    planrunfiles({}, {}, {SpecialPlot{base, &plot}});
    plot.tecfilename = base;
    ASSERT_EQ(tecFileWriterOpen(base.c_str(), "t", "X", kTecFormatSzplt, kTecFileFull, 0, nullptr,
                                &plot.tecfilehandle),
              kTecOk);
    const float x[2] = {0, 1};
    const std::int32_t nodes[2] = {1, 2};
    for (int z = 1; z <= 2; ++z) {
      std::int32_t zone = 0;
      ASSERT_EQ(tecZoneCreateFE(plot.tecfilehandle, "Isopach", kTecFeLineSeg, 2, 1, nullptr, nullptr, nullptr, nullptr,
                                0, 0, 0, &zone),
                kTecOk);
      if (cut && z == 2) break;
      ASSERT_EQ(tecZoneVarWriteFloatValues(plot.tecfilehandle, zone, 1, 0, 2, x), kTecOk);
      ASSERT_EQ(tecZoneNodeMapWrite32(plot.tecfilehandle, zone, 0, 1, 2, nodes), kTecOk);
    }
    const std::string report = settlerunfiles();
    forgetrunfiles();
    EXPECT_EQ(report, "What the files of this run now hold:\n" + base + ".szplt: " +
                          (cut ? "its first 1 zone (this run stopped while writing it)" : "written by this run"));
  }
}

TEST_F(SpecialPlots, IsopachTimeTextsHaveTheDigitsOfTheLargestZone) {
  create(13);  // twelve element layers, zones 1 to 12
  plot_pmzone_isopach_structure(olf, pm);
  const std::vector<std::string> zones = zonelines(dataset("o.pm_Isopach.dat"));
  ASSERT_EQ(zones.size(), 12u);
  EXPECT_NE(zones.front().find("T=\"Isopach\", SOLUTIONTIME=01,"), std::string::npos) << zones.front();
  EXPECT_NE(zones[8].find("SOLUTIONTIME=09,"), std::string::npos) << zones[8];
  EXPECT_NE(zones.back().find("SOLUTIONTIME=12,"), std::string::npos) << zones.back();
  // Later zones share x and y and take the node lists of zone 1.
  EXPECT_NE(zones.back().find("VARSHARELIST=([1,2]=1)"), std::string::npos) << zones.back();
  EXPECT_NE(zones.back().find("CONNECTIVITYSHAREZONE=1"), std::string::npos) << zones.back();
}

TEST_F(SpecialPlots, IsopachOfSevenZonesHasSingleDigitTimes) {
  create(8);
  plot_pmzone_isopach_structure(olf, pm);
  const std::string text = dataset("o.pm_Isopach.dat");
  const std::vector<std::string> zones = zonelines(text);
  ASSERT_EQ(zones.size(), 7u);
  EXPECT_NE(zones.front().find("SOLUTIONTIME=1,"), std::string::npos) << zones.front();
  EXPECT_NE(zones.back().find("SOLUTIONTIME=7,"), std::string::npos) << zones.back();
  // Zone 1 is the bottom element layer, from z 0 to 1, under every surface element.
  EXPECT_EQ(block(text, "isopach thickness (cell centred)"), R8(2, 1.0));
  EXPECT_EQ(block(text, "z (isopach top)"), R8(6, 1.0));
}

// An overland domain on the porous-medium nodes has no mesh of its own to draw the isopach
// on: that plot is left out with a warning, and the depth plot does not depend on it.
TEST_F(SpecialPlots, IsopachWithoutOwnSurfaceNodesIsSkippedWithAWarning) {
  testkit::LayeredMesh mesh = testkit::layeredmesh(2, 1, 4);
  model.pmfiles(mesh, 3, 2, 4);
  model.olf(mesh, testkit::SurfaceOptions{.multinode = false});
  domaincreate(pm, "pm", pm);
  pmcopy = pm;
  domaincreate(olf, "olf", pmcopy);
  ::testing::internal::CaptureStderr();
  plot_pmzone_isopach_structure(olf, pm);
  plot_pmdepth_grndsurf(olf, pm);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("The pm isopach plot is not written: it needs an overland flow domain with nodes"),
            std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(model.path("o.pm_Isopach.dat")));
  EXPECT_EQ(zonelines(dataset("o.pm_DepthToSurf.dat")).size(), 1u);
}

// A damaged zone number would ask for a zone per number up to it.
TEST_F(SpecialPlots, IsopachWithMoreZoneNumbersThanElementsIsSkipped) {
  create(4);
  pm.elemzone[1] = 10001;
  ::testing::internal::CaptureStderr();
  plot_pmzone_isopach_structure(olf, pm);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("zone number, 10001, is more than 10000 and more than the 6 porous medium elements."),
            std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(model.path("o.pm_Isopach.dat")));
}

TEST_F(SpecialPlots, DepthBelowSurfaceIsMeasuredFromTheTopOfEachColumn) {
  create(4);  // node layers at z 0, 1, 2, 3
  plot_pmdepth_grndsurf(olf, pm);
  const std::string text = dataset("o.pm_DepthToSurf.dat");
  ASSERT_EQ(zonelines(text).size(), 1u);
  EXPECT_EQ(zonelines(text).front().find("SOLUTIONTIME"), std::string::npos);
  R8 expected;
  for (const double depth : {3.0, 2.0, 1.0, 0.0}) expected.insert(expected.end(), 6, depth);
  EXPECT_EQ(block(text, "DepthToSurf"), expected);
}

TEST_F(SpecialPlots, DepthPlotNeedsWholeLayersOfTheSurfaceNodes) {
  create(3);
  olf.nn = pm.nn + 1;  // more surface nodes than porous-medium nodes: no layer fits
  ::testing::internal::CaptureStderr();
  bool stopped = false;
  try {
    plot_pmdepth_grndsurf(olf, pm);
  } catch (const RunStopped& stop) {
    stopped = stop.exitstatus == 1;
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(stopped);
  EXPECT_NE(err.find("whole layers of the overland flow nodes"), std::string::npos) << err;
}

}  // namespace
}  // namespace kelpra
