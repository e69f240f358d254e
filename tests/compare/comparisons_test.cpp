// The observation readers and the comparisons' handling of odd input: short or malformed
// files, points outside every window, values or coordinates the domain lacks.
#include "compare/comparisons.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/compare/comparetesting.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

class Observations : public comparetest::CompareRun {
 protected:
  void SetUp() override {
    CompareRun::SetUp();
    pm = pmdomain(testkit::layeredmesh(1, 1, 2, testkit::ElementKind::prisms));
    pm.head.assign(pm.x.size(), 3.0);
  }
  void file(const std::string& suffix, const std::string& text) { testkit::writefile(dir / ("abc" + suffix), text); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir / name); }
  std::string read(const std::string& name) const { return testkit::readfile(dir / name); }

  DOMAIN pm;
};

TEST_F(Observations, RecordsStartOnNewLinesAndRunOverLineEnds) {
  // Extra numbers end a record's line; a record may go on over the next line.
  file(".observed_heads", "3 points\n1.0 2.0 3.0 4.0 5.0\n6,7\n8 9 extra\n10 11 12 13\n");
  read_obs_heads_xyz(pm);
  EXPECT_EQ(plot_data.nobs_head, 3);
  EXPECT_EQ(plot_data.xob, (std::vector<double>{1, 6, 10}));
  EXPECT_EQ(plot_data.zob, (std::vector<double>{3, 8, 12}));
  EXPECT_EQ(plot_data.hob, (std::vector<double>{4, 9, 13}));
  // Prisms: no location step, every point counts as located.
  EXPECT_EQ(plot_data.obs_el, (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_FALSE(exists("abco.ObsShape.txt"));

  file(".observed_heads", "2\n1.0 2.0 3.0 4.0 5.0\n6 7 8\n");
  read_obs_heads_xy(pm);
  EXPECT_EQ(plot_data.xob, (std::vector<double>{1, 6}));
  EXPECT_EQ(plot_data.zob, (std::vector<double>{0, 0}));
  EXPECT_EQ(plot_data.hob, (std::vector<double>{3, 8}));
  file(".observed_d2gwt", "-4\n");
  read_d2gwt_heads(pm);
  EXPECT_EQ(plot_data.nobs_head, 0);
  EXPECT_TRUE(plot_data.xob.empty());
}

TEST_F(Observations, BadFilesStopTheRun) {
  struct Bad {
    const char* text;
    const char* report;
  };
  const Bad bads[] = {
      {"3\n1 2 3\n4 5 6\n", "Error reading file: "},
      {"2\n1 2 x\n", "Error reading file: "},
      {"2\n1,,3\n", "Error reading file: "},
      {"two\n", "Error reading file: "},
      {"", "Error reading file: "},
      // A count far beyond the file is not trusted with an allocation.
      {"2000000000\n1 2 3\n", "Error reading file: "},
  };
  for (const Bad& b : bads) {
    file(".observed_heads_olf", b.text);
    DOMAIN olf;
    olf.name = "olf";
    testkit::expectstop([&] { read_obs_heads_xy(olf); }, b.report + (dir.path() / "abc.observed_heads_olf").string());
    freeunitall();
  }
  testkit::expectstop([&] { read_d2gwt_heads(pm); }, "Failed to open file: ");
  DOMAIN olf;
  olf.name = "olf";
  testkit::expectstop([&] { read_obs_heads_xyz(olf); }, "Porous medium domain expected.");
}

TEST_F(Observations, NoCountedPointGivesNotANumberAndAWarning) {
  plot_data.zmin_trunc_h = 100;  // the window holds no point
  plot_data.zmax_trunc_h = 200;
  plot_data.xmin_trunc_h = plot_data.ymin_trunc_h = -1e20;
  plot_data.xmax_trunc_h = plot_data.ymax_trunc_h = 1e20;
  file(".observed_heads", "1\n0.5 0.5 0.5 2\n");
  read_obs_heads_xyz(pm);
  ::testing::internal::CaptureStderr();
  compare_heads_output(pm);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("The head comparison counted no observation point: its R-squared is not a number."),
            std::string::npos)
      << err;
  const std::string text = read("abco.compare_heads.dat");
  EXPECT_TRUE(
      text.ends_with("ZONE T=\"data\"\nZONE T=\"straight line\"\n"
                     "  1.0000000000000000E+020  1.0000000000000000E+020\n"
                     " -1.0000000000000000E+020 -1.0000000000000000E+020\n"
                     "Zone T=\"R<sup>2</sup> =       NaN\"\n"
                     "                      NaN                      NaN\n"))
      << text;
  EXPECT_TRUE(read("abco.compare_heads_scatter.dat").ends_with("ZONE T=\"data\"\n"));
  EXPECT_TRUE(plot_data.xob.empty());  // released
}

// Prisms take the nearest node in space; the olf comparison the nearest in plan.
TEST_F(Observations, NearestNodesInSpaceAndInPlan) {
  plot_data.xmin_trunc_h = plot_data.ymin_trunc_h = plot_data.zmin_trunc_h = -1e20;
  plot_data.xmax_trunc_h = plot_data.ymax_trunc_h = plot_data.zmax_trunc_h = 1e20;
  for (std::size_t i = 0; i < pm.head.size(); ++i) pm.head[i] = static_cast<double>(i + 1);
  file(".observed_heads", "1\n0.9 0.1 0.8 2\n");
  read_obs_heads_xyz(pm);
  compare_heads_output(pm);
  // Node 6 (1, 0, 1) is nearest.
  EXPECT_NE(
      read("abco.compare_heads.dat").find("ZONE T=\"data\"\n  2.0000000000000000E+000  6.0000000000000000E+000\n"),
      std::string::npos);

  DOMAIN olf;
  olf.name = "olf";
  olf.nn = 2;
  olf.x = {0, 1};
  olf.y = {0, 0};
  olf.z = {5, 0.5};  // the first node is nearer in plan, the second in space
  olf.depth = {0.25F, 0.75F};
  plot_data.xmin_trunc_h_olf = plot_data.ymin_trunc_h_olf = plot_data.zmin_trunc_h_olf = -1;
  plot_data.xmax_trunc_h_olf = plot_data.ymax_trunc_h_olf = plot_data.zmax_trunc_h_olf = 1;
  file(".observed_heads_olf", "2\n0.4 0 0.5\n2 0 1\n");
  read_obs_heads_xy(olf);
  compare_heads_output(olf);
  EXPECT_TRUE(read("abco.compare_swdepth_scatter_olf.dat")
                  .ends_with("ZONE T=\"data\"\n      0.40000000E+00      0.00000000E+00      0.50000000E+01"
                             "      0.50000000E+00      0.25000000E+00     -0.25000000E+00\n"));

  // A common-node olf has no coordinates of its own: warned of, no files, set released.
  std::filesystem::remove(dir / "abco.compare_swdepth_olf.dat");
  olf.x.clear();
  read_obs_heads_xy(olf);
  ::testing::internal::CaptureStderr();
  compare_heads_output(olf);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("The surface water depth comparison is skipped: the olf domain has no node coordinates of its "
                     "own."),
            std::string::npos)
      << err;
  EXPECT_FALSE(exists("abco.compare_swdepth_olf.dat"));
  EXPECT_TRUE(plot_data.xob.empty());
}

}  // namespace
}  // namespace kelpra
