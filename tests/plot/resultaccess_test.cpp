// Output-time index texts and the time-stamp lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plot/plotdata.hpp"
#include "plot/resultaccess.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::stopreport;

class ResultAccess : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = model.prefix();
  }

  // A one-value result file whose header starts with the time text.
  void result(const std::string& name, const std::string& time = "1.0") const {
    testkit::writeresult_r8(model.path(name), time + " values", std::vector<double>{1.0});
  }
  std::string name(const std::string& suffix) const { return model.path(suffix).string(); }
  std::string stamp(std::int32_t index, bool& found) const {
    gettimestamp("." + outputtimeindex(index), found);
    return plot_data.timestamp;
  }

  testkit::TempDir dir;
  testkit::ModelWriter model{dir.path()};
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(ResultAccess, IndexKeepsWidthDigits) {
  EXPECT_EQ(outputtimeindex(5), "0005");
  EXPECT_EQ(outputtimeindex(9999), "9999");
  EXPECT_EQ(outputtimeindex(0), "0000");
  plot_data.outputtimeindexwidth = 6;
  EXPECT_EQ(outputtimeindex(5), "000005");
  plot_data.outputtimeindexwidth = 10;
  EXPECT_EQ(outputtimeindex(12345), "0000012345");
  EXPECT_EQ(outputtimeindex(2147483647), "2147483647");
}

TEST_F(ResultAccess, IndexTooWideForItsWidthStops) {
  // Wrapping 10000 onto "0000" (and 10001 onto "0001") would convert old files again.
  for (const std::int32_t index : {10000, 12345, -1}) {
    testing_only::reseterrorstate();
    const std::string err = stopreport([index] { outputtimeindex(index); });
    EXPECT_TRUE(has(err, "INPUT ERROR")) << err;
    EXPECT_TRUE(has(err, "Output-time index " + std::to_string(index) + " does not fit in 4 digits.")) << err;
  }
}

TEST_F(ResultAccess, OutputTimesAreCountedInWords) {
  EXPECT_EQ(outputtimecount(0), "0 output times");
  EXPECT_EQ(outputtimecount(1), "1 output time");
  EXPECT_EQ(outputtimecount(12), "12 output times");
}

TEST_F(ResultAccess, OutputTimeListJoinsRunsUnlessEachIsAsked) {
  EXPECT_EQ(outputtimelist({}), "no output time");
  EXPECT_EQ(outputtimelist({3}), "output time 0003");
  EXPECT_EQ(outputtimelist({1, 2, 3, 5}), "output times 0001 to 0003, 0005");
  EXPECT_EQ(outputtimelist({3, 4}, false), "output times 0003, 0004");
  EXPECT_EQ(outputtimelist({7}, false), "output time 0007");
}

TEST_F(ResultAccess, OutputTimeListCountsUnrecordedAndNamesTooWideIndices) {
  EXPECT_EQ(outputtimelist({0, 0, 0}), "3 output times");
  EXPECT_EQ(outputtimelist({4, 0}, false), "2 output times");
  EXPECT_EQ(outputtimelist({10000}), "output time 10000 (more digits than the 4 of the output file suffix)");
}

TEST_F(ResultAccess, RootListIsComplete) {
  const auto& roots = timefileroots();
  EXPECT_EQ(roots.front(), "conc_chem");
  EXPECT_EQ(roots[11], "head_olf");
  EXPECT_EQ(roots[7], "redox");
  EXPECT_EQ(roots.back(), "freeze_thaw_temp");
  EXPECT_EQ(std::count_if(roots.begin(), roots.end(), [](std::string_view r) { return r.starts_with("conc"); }), 7);
  EXPECT_EQ(std::count_if(roots.begin(), roots.end(), [](std::string_view r) { return r.empty(); }), 0);
  std::vector<std::string_view> sorted(roots.begin(), roots.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST_F(ResultAccess, OverlandHeadsAloneGiveTheTimeStamp) {
  result("o.head_olf.0001", "2.5");
  bool found = false;
  EXPECT_EQ(stamp(1, found), "2.5");
  EXPECT_TRUE(found);
  EXPECT_TRUE(plot_data.time_file_found);
  EXPECT_EQ(plot_data.time_fname, name("o.head_olf.0001"));
}

TEST_F(ResultAccess, NoFileLeavesZeroTimeAndTheOldName) {
  plot_data.time_fname = "earlier";
  bool found = true;
  EXPECT_EQ(stamp(3, found), "0.0");
  EXPECT_FALSE(found);
  EXPECT_FALSE(plot_data.time_file_found);
  EXPECT_EQ(plot_data.time_fname, "earlier");
}

TEST_F(ResultAccess, WithoutSpeciesTheConcentrationRootsAreNotProbed) {
  // The names a species-less probe of the conc and redox roots could form.
  for (const char* n : {"o.conc_pm..0001", "o.conc_pm.0001", "o.conc_pm.-Redox.0001", "o.conc_chem..0001"}) result(n);
  bool found = true;
  EXPECT_EQ(stamp(1, found), "0.0");
  EXPECT_FALSE(found);

  plot_data.spname = {"Cl", "Na"};
  result("o.conc_pm.Cl-Redox.0001", "4.0");
  EXPECT_EQ(stamp(1, found), "4.0");
  EXPECT_EQ(plot_data.time_fname, name("o.conc_pm.Cl-Redox.0001"));
  plot_data.time_file_found = false;
  result("o.conc_dual.Cl.0001", "3.0");
  EXPECT_EQ(stamp(1, found), "3.0");
  EXPECT_EQ(plot_data.time_fname, name("o.conc_dual.Cl.0001"));
}

TEST_F(ResultAccess, RememberedRootIsProbedFirst) {
  result("o.head_pm.0001", "1.0");
  result("o.head_chan.0002", "2.0");
  result("o.head_pm.0002", "2.5");
  result("o.head_chan.0003", "3.0");
  bool found = false;
  EXPECT_EQ(stamp(1, found), "1.0");
  EXPECT_EQ(stamp(2, found), "2.5");  // head_chan comes earlier in the list, but head_pm is remembered
  EXPECT_EQ(plot_data.time_fname, name("o.head_pm.0002"));
  EXPECT_EQ(stamp(3, found), "3.0");  // no head_pm file: the full search from the first root
  EXPECT_EQ(plot_data.time_fname, name("o.head_chan.0003"));
  EXPECT_TRUE(found);
}

TEST_F(ResultAccess, RememberedNameWithoutDotIsFatal) {
  plot_data.time_file_found = true;
  plot_data.time_fname = "nodot   ";
  const std::string err = stopreport([] { findtimefile(".0001"); });
  EXPECT_TRUE(has(err, "FATAL ERROR")) << err;
  EXPECT_TRUE(has(err, "File extension not found for file: nodot\n")) << err;
}

TEST_F(ResultAccess, MixingFractionRootsLieInTheHmcFolder) {
  const testkit::WorkingDirectory here(dir.path());
  plot_data.prefix = "abc";
  std::filesystem::create_directory(dir / "hmc");
  testkit::writeresult_r8(dir / "hmc" / "abco.hmc_olf.hmc_error.0007", "7.0 error", std::vector<double>{1.0});
  bool found = false;
  EXPECT_EQ(stamp(7, found), "7.0");
  EXPECT_EQ(plot_data.time_fname, "./hmc/abco.hmc_olf.hmc_error.0007");
}

TEST_F(ResultAccess, ExtensionIsCutToItsWidth) {
  result("o.sat_pm.0001", "5.0");
  findtimefile(".00012");
  EXPECT_TRUE(plot_data.time_file_found);
  EXPECT_EQ(plot_data.time_fname, name("o.sat_pm.0001"));
}

TEST_F(ResultAccess, ConvertedTimeReadsBackToTheSameValue) {
  plot_data.sim_time_conversion = true;
  plot_data.timeunitfactor = 86400.0;
  result("o.head_pm.0001", "1.5");
  bool found = false;
  EXPECT_EQ(stamp(1, found), "129600");
  plot_data.addtime = 0.25;
  plot_data.timeunitfactor = 1.0 / 3.0;
  const std::string text = stamp(1, found);
  EXPECT_EQ(std::stod(text), 1.5 / 3.0 + 0.25) << text;
}

TEST_F(ResultAccess, UnconvertedTimeIsTheHeaderText) {
  result("o.head_pm.0001", "2.50E+03");
  bool found = false;
  EXPECT_EQ(stamp(1, found), "2.50E+03");
}

TEST_F(ResultAccess, TimeThatIsNotANumberIsReported) {
  plot_data.sim_time_conversion = true;
  plot_data.timeunitfactor = 1.0;
  result("o.head_pm.0001", "day3");
  bool found = false;
  const std::string err = stopreport([&] { stamp(1, found); });
  EXPECT_TRUE(has(err, "Cannot read the time stamp \"day3\" of file: " + name("o.head_pm.0001"))) << err;
}

TEST_F(ResultAccess, BrokenHeaderStops) {
  testkit::writefile(model.path("o.head_pm.0001"), testkit::framedrecord(std::string(80, ' ')));
  bool found = false;
  const std::string err = stopreport([&] { stamp(1, found); });
  EXPECT_TRUE(has(err, "Invalid binary file header format.")) << err;
}

}  // namespace
}  // namespace kelpra
