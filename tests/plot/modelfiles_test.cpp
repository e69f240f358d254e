// Model files, banner and the echo-and-screen line.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/modelfiles.hpp"
#include "plot/normalexit.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/units.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::screen;

class ModelFiles : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = model.prefix();
  }
  void TearDown() override {
    EXPECT_FALSE(unitused(kFirstUnit)) << "a unit was left taken";
    CleanPlotRun::TearDown();
    setbaseunits(kilogram_meter_second);
  }

  // Runs f, which must stop the run with status 1, and returns its report.
  template <class F>
  static std::string stopreport(F&& f) {
    testing_only::reseterrorstate();
    return testkit::stopreport(f, true);
  }

  testkit::TempDir dir;
  testkit::ModelWriter model{dir.path()};
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(ModelFiles, GeneralFileGivesTitlesAndUnitSystem) {
  model.gen({"First title", "Second"}, kilogram_centimeter_day);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(screen([] { titleread(); }), "First title\nSecond\n\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // no version warning
  EXPECT_EQ(plot_data.ntit, 2);
  EXPECT_EQ(plot_data.title, (std::vector<std::string>{"First title", "Second"}));
  EXPECT_EQ(baseunitsystem(), kilogram_centimeter_day);
  EXPECT_EQ(parseunits("L"), "(cm)");
}

TEST_F(ModelFiles, NoTitleLinesGiveOneBlankTitleAndTwoEmptyLines) {
  model.gen({});
  EXPECT_EQ(screen([] { titleread(); }), "\n\n");
  EXPECT_EQ(plot_data.ntit, 0);
  EXPECT_EQ(plot_data.title, (std::vector<std::string>{""}));
}

TEST_F(ModelFiles, OtherPreprocessorVersionWarnsAndGoesOn) {
  model.gen({"t"}, kilogram_meter_second, "2974");
  ::testing::internal::CaptureStderr();
  screen([] { titleread(); });
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(has(err, "WARNING MESSAGE")) << err;
  EXPECT_TRUE(has(err, "Vorn version does not match KELPRA version.\nThis may result in a failure of KELPRA to run."));
  EXPECT_EQ(plot_data.title.front(), "t");
}

TEST_F(ModelFiles, MissingOrBrokenGeneralFileStops) {
  const std::string name = model.path("o.gen").string();
  EXPECT_TRUE(has(stopreport([] { titleread(); }), "Failed to open file: " + name));

  {  // cut after the title count
    testkit::RecordFileWriter w(model.path("o.gen"));
    w.text("2975", 80).endrecord().i4(2).endrecord();
  }
  std::string err = stopreport([] { titleread(); });
  EXPECT_TRUE(has(err, "FATAL ERROR")) << err;
  EXPECT_TRUE(has(err, "Error reading file: " + name + "\nError detail: End-of-file encountered on read")) << err;

  {  // titles shorter than their count, and an unknown unit system
    testkit::RecordFileWriter w(model.path("o.gen"));
    w.text("2975", 80).endrecord().i4(3).endrecord().text("a", 60).text("b", 60).endrecord().i4(0).endrecord();
  }
  EXPECT_TRUE(has(stopreport([] { titleread(); }), "Error reading file: " + name));
  testing_only::reseterrorstate();
  model.gen({"a"}, 12);
  EXPECT_TRUE(has(stopreport([] { titleread(); }), "INPUT ERROR"));
}

TEST_F(ModelFiles, NegativeOrHugeTitleCountIsCaught) {
  {
    testkit::RecordFileWriter w(model.path("o.gen"));
    w.text("2975", 80).endrecord().i4(-1).endrecord().endrecord().i4(0).endrecord();
  }
  std::string err = stopreport([] { titleread(); });
  EXPECT_TRUE(has(err, "INPUT ERROR")) << err;
  EXPECT_TRUE(has(err, "Negative number of title lines (-1) in file: " + model.path("o.gen").string())) << err;

  {  // a count no file of this size can hold: a read error, not a giant allocation
    testkit::RecordFileWriter w(model.path("o.gen"));
    w.text("2975", 80).endrecord().i4(2147483647).endrecord().text("a", 60).endrecord().i4(0).endrecord();
  }
  EXPECT_TRUE(has(stopreport([] { titleread(); }), "Error reading file: "));
}

TEST_F(ModelFiles, SpeciesFlagsBelongToTheMobileSpeciesOnly) {
  {  // whatever follows the flags is not read
    testkit::RecordFileWriter w(model.path("o.species"));
    w.i4(2).endrecord().i4(1).endrecord();
    for (const char* n : {"Tracer", "Temp", "Fixed"}) w.text(n, 50).endrecord();
    w.l(false).endrecord().l(true).endrecord().l(true).endrecord().l(false).endrecord();
    w.l(true).endrecord().l(true).endrecord();
  }
  EXPECT_EQ(screen([] { speciesread(); }), "Species file: " + model.path("o.species").string() + "\n");
  EXPECT_TRUE(plot_data.speciesfileexists);
  EXPECT_EQ(plot_data.nspeciesmob, 2);
  EXPECT_EQ(plot_data.ncspec, 1);
  EXPECT_EQ(plot_data.nspeciestot, 3);
  EXPECT_EQ(plot_data.spname, (std::vector<std::string>{"Tracer", "Temp", "Fixed"}));
  EXPECT_EQ(plot_data.is_temperature, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(plot_data.is_colloid, (std::vector<bool>{true, false, false}));
  EXPECT_TRUE(plot_data.colloidtransport);
}

TEST_F(ModelFiles, BooleansReadTheirLowestBit) {
  testkit::RecordFileWriter w(model.path("o.species"));
  w.i4(1).endrecord().i4(0).endrecord().text("s", 50).endrecord().i4(2).endrecord().i4(3).endrecord();
  w.close();
  screen([] { speciesread(); });
  EXPECT_EQ(plot_data.is_temperature, (std::vector<bool>{false}));
  EXPECT_EQ(plot_data.is_colloid, (std::vector<bool>{true}));
}

TEST_F(ModelFiles, MissingOptionalFilesAreOneLineEach) {
  EXPECT_EQ(screen([] { speciesread(); }), "No species file present\n");
  EXPECT_EQ(screen([] { hmcfractionsread(); }), "No HMC file present\n");
  EXPECT_FALSE(plot_data.speciesfileexists);
  EXPECT_FALSE(plot_data.hmcfileexists);
  EXPECT_EQ(plot_data.nspeciestot, 0);
  EXPECT_TRUE(plot_data.spname.empty());
  EXPECT_EQ(plot_data.num_fractions, 0);
}

TEST_F(ModelFiles, BadSpeciesFilesStop) {
  {
    testkit::RecordFileWriter w(model.path("o.species"));
    w.i4(1).endrecord().i4(-2).endrecord();
  }
  std::string err = stopreport([] { speciesread(); });
  EXPECT_TRUE(has(err, "Negative number of further species (-2) in file: ")) << err;
  {
    testkit::RecordFileWriter w(model.path("o.species"));
    w.i4(2).endrecord().i4(0).endrecord().text("a", 50).endrecord();
  }
  EXPECT_TRUE(has(stopreport([] { speciesread(); }), "Error reading file: " + model.path("o.species").string()));
  {
    testkit::RecordFileWriter w(model.path("o.species"));
    w.i4(2147483647).endrecord().i4(2147483647).endrecord();
  }
  EXPECT_TRUE(has(stopreport([] { speciesread(); }), "Too many species (4294967294) in file: "));
}

TEST_F(ModelFiles, FractionNamesGetTheirPrefix) {
  model.hmc({"rain", std::string(80, 'x')});
  EXPECT_EQ(screen([] { hmcfractionsread(); }), "HMC file: " + model.path("o.hmc").string() + "\n");
  EXPECT_TRUE(plot_data.hmcfileexists);
  EXPECT_EQ(plot_data.num_fractions, 2);
  EXPECT_EQ(plot_data.frac_name, (std::vector<std::string>{"f_rain", "f_" + std::string(78, 'x')}));
}

TEST_F(ModelFiles, BadFractionFilesStop) {
  {
    testkit::RecordFileWriter w(model.path("o.hmc"));
    w.i4(1).endrecord().i4(1).endrecord().i4(1).endrecord().l(true).endrecord().i4(-1).endrecord();
  }
  EXPECT_TRUE(has(stopreport([] { hmcfractionsread(); }), "Negative number of fractions (-1) in file: "));
  {
    testkit::RecordFileWriter w(model.path("o.hmc"));
    w.i4(1).endrecord().i4(1).endrecord().i4(1).endrecord().l(true).endrecord().i4(1).endrecord();
    w.i4(0).endrecord().i4(0).endrecord().text("f", 80).endrecord().i4(1).endrecord();
  }
  EXPECT_TRUE(has(stopreport([] { hmcfractionsread(); }), "Error reading file: "));
}

std::string expectedbanner() {
  const std::string at(74, '@');
  const std::string blank = "@@" + std::string(70, ' ') + "@@";
  auto row = [](std::string text) {
    text = "@@   " + text;
    text.resize(72, ' ');
    return text + "@@";
  };
  std::string out;
  for (const std::string& line :
       {at, at, blank, row("KELPRA: Post-processor for Tarnovelquasir"), blank, row("REVISION:   2975"),
        row("BUILD DATE: 2026-06-02"), row("BUILD INFO: 64-bit"), blank, blank, at, at, std::string()}) {
    out += line + "\n";
  }
  return out;
}

TEST_F(ModelFiles, BannerGoesToTheScreenForUnitsBelowOne) {
  EXPECT_EQ(screen([] { header(0); }), expectedbanner());
  EXPECT_EQ(screen([] { header(-3); }), expectedbanner());
  const std::string fourth = expectedbanner().substr(75 * 3, 75);
  EXPECT_EQ(fourth.substr(0, 46), "@@   KELPRA: Post-processor for Tarnovelquasir");
}

TEST_F(ModelFiles, BannerAndLinesGoToTheEchoFile) {
  const auto echo = dir / "abco.kelpra.eco";
  UnitHandle unit = UnitHandle::take();
  ASSERT_EQ(openunit(unit.unit(), echo.string(), FileForm::formatted, OpenStatus::replace), 0);
  EXPECT_EQ(screen([&] { header(unit.unit()); }), "");
  plot_data.ieco = unit.unit();
  EXPECT_EQ(screen([] { write_string("Reading done   "); }), "Reading done   \n");
  unit.release();
  EXPECT_EQ(testkit::readfile(echo), expectedbanner() + "Reading done   \n");
}

class NormalExit : public ModelFiles {
 protected:
  // Runs the normal exit with an open echo file; returns the screen text and the exit status.
  std::string run(std::optional<std::string_view> message, int& status) {
    UnitHandle eco = UnitHandle::take();
    EXPECT_EQ(openunit(eco.unit(), (dir / "eco").string(), FileForm::formatted, OpenStatus::replace), 0);
    plot_data.ieco = eco.unit();
    ::testing::internal::CaptureStdout();
    status = -1;
    try {
      normalexitstop(message);
    } catch (const RunStopped& stop) {
      status = stop.exitstatus;
    }
    EXPECT_FALSE(unitused(eco.unit())) << "the exit releases every unit";
    return ::testing::internal::GetCapturedStdout();
  }
  const std::string closing = "\n\n\n" + std::string(20, ' ') + "---- Normal exit ----\n\n\n";
};

TEST_F(NormalExit, MessageThenClosingLinesOnScreenAndEcho) {
  int status = -1;
  const std::string screen = run("Plot control file written   ", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(screen, "\nPlot control file written\n" + closing);
  EXPECT_EQ(testkit::readfile(dir / "eco"), screen);
}

TEST_F(NormalExit, WithoutMessageOnlyTheClosingLines) {
  int status = -1;
  const std::string screen = run(std::nullopt, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(screen, closing);
  EXPECT_EQ(testkit::readfile(dir / "eco"), closing);
}

}  // namespace
}  // namespace kelpra
