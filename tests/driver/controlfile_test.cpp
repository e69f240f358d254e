// The plot control file: the template, the readers of the comment-free copy and the
// reports for bad control files.
#include "driver/controlfile.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "plot/nodesearch.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {

// Defined with the domain-creation tests.
std::map<std::string, DOMAIN> createmodel(const std::vector<std::string>& withmesh);

namespace {

using testkit::readfile;
using testkit::writefile;

const char* const kProcessingOrder[] = {"pm", "dual", "frac", "olf", "well", "chan", "tile", "addition"};

const std::string kGlobalBlock =
    "tecplot mode\n! tecplot binary mode\n! tecplot binary flush interval\n! 1\n! tecplot binary append\n"
    "! truncate time domain\n! 0.0  1.0E+20\n! number of digits for output file suffix\n! 4\nend\n";

const std::string kBox = "! -1.00000E+20 1.00000E+20\n";
const std::string kRule = "end\n!---------------------------------------------\n";

std::string truncationoffer(const std::string& name) {
  return "! truncate " + name + " domain\n" + kBox + kBox + kBox + "! truncate " + name + " domain by layer\n" + kBox +
         kBox + "!            0        1000\n";
}

const std::string kPmBlock =
    "write pm domain file\n! no pm layer numbers\n! no pm column numbers\n! no pm element thickness\n"
    "! no pm cutoff wall\n! no pm heads\n! no pm pressure heads\n! no pm environmental head\n"
    "! no pm saturations\n! no pm volumetric water content\n! no pm ice saturation\n"
    "! no pm linear velocities (vx, vy, vz)\n! no pm concentrations\n"
    "! no pm immobile/isotope fractionation concentrations\n! no pm redox capacity\n! no pm mass sorbed\n"
    "! no pm peclet number\n! no pm diffusion peclet number\n! no pm element k\n! no pm element porosity\n"
    "! no pm element specific storage\n! no pm element tortuosity\n"
    "! no pm element fraction of compressible interbeds\n! no pm element volume\n! no pm permafrost\n"
    "! no pm flux (qx, qy, qz)\n! no pm tvk (kx, ky, kz)\n! no pm time varying porosity\n"
    "! no pm time varying specific storage\n! no pm local probability\n! no pm et3d\n"
    "! no pm depth to water table\n! no pm time varying topography\n! no pm time varying topography zones\n"
    "! no pm hmc fractions\n! no pm fluid density\n" +
    truncationoffer("pm") + kRule;

const std::string kOlfBlock =
    "write olf domain file\n! no olf cutoff wall\n! no olf heads\n! no olf linear velocities (vx, vy, vz)\n"
    "! no olf concentrations\n! no olf immobile/isotope fractionation concentrations\n! no olf redox capacity\n"
    "! no olf friction (nx, ny)\n! no olf/pm exchange flux\n! no olf/pm solute exchange\n! no olf et\n"
    "! no olf max water depth\n! no olf time varying topography\n! no olf rain and snowmelt package\n"
    "! no olf hmc fractions\n! no olf flow rates\n" +
    truncationoffer("olf") +
    "! compare surface water depth\n! -1.0E+20  1.0E+20\n! -1.0E+20  1.0E+20\n! -1.0E+20  1.0E+20\n" + kRule;

const std::string kAdditionBlock =
    "! Additional post-processing commands\n! simulation time unit conversion factor\n! 0.0  1.0\n"
    "! plot pm zone isopach structure\n! plot pm depth below ground surface\n! interpolate depth to gw table\n" +
    kRule;

const std::string kTail = "write time series file\nend\n";

class ControlFileTest : public testkit::EchoPlotRun {
 protected:
  std::string controlfile() const { return plot_data.prefix + ".plot.control"; }

  void model(const std::vector<std::string>& withmesh) {
    m_ = createmodel(withmesh);
    // Only the reading is of interest in the echo.
    std::fflush(unitstream(plot_data.ieco));
    std::FILE* f = std::fopen(echo_.c_str(), "w");
    std::fclose(f);
    std::rewind(unitstream(plot_data.ieco));
  }

  // The template as the main program writes it.
  std::string writetemplate() {
    plot_data.plotcontrolunit = getunit();
    EXPECT_EQ(openunit(plot_data.plotcontrolunit, controlfile(), FileForm::formatted, OpenStatus::replace), 0);
    writeplotcontrolinit();
    for (const char* name : kProcessingOrder) writeplotcontrol(m_[name]);
    writeline(plot_data.plotcontrolunit, "write time series file");
    writeline(plot_data.plotcontrolunit, "end");
    freeunit(plot_data.plotcontrolunit);
    return readfile(controlfile());
  }

  // Reads the control file the way the main program does: strip it into "scratch_plot",
  // then the global block and every domain in the processing order. Returns the screen text.
  std::string readcontrol() {
    const std::string scratch = (dir_ / "scratch_plot").string();
    const int itmp = getunit();
    EXPECT_EQ(openunit(itmp, scratch, FileForm::formatted, OpenStatus::replace), 0);
    const int itmp2 = getunit();
    EXPECT_EQ(openunit(itmp2, controlfile(), FileForm::formatted, OpenStatus::old), 0);
    ::testing::internal::CaptureStdout();
    struct Restore {
      std::string* out;
      ~Restore() { *out = ::testing::internal::GetCapturedStdout(); }
    };
    std::string out;
    {
      Restore restore{&out};
      strip_comments(itmp2, itmp);
      freeunit(itmp);
      freeunit(itmp2);
      plot_data.plotcontrolunit = getunit();
      EXPECT_EQ(openunit(plot_data.plotcontrolunit, scratch, FileForm::formatted, OpenStatus::old), 0);
      readplotcontrolinit();
      for (const char* name : kProcessingOrder) readplotcontrol(m_[name]);
      freeunit(plot_data.plotcontrolunit);
    }
    return out;
  }
  std::string readcontrol(const std::string& text) {
    writefile(controlfile(), text);
    return readcontrol();
  }

  // Reads expecting a stop; returns what went to standard error.
  std::string readstops(const std::string& text) {
    return testkit::stoperr([&] { readcontrol(text); });
  }

  std::map<std::string, DOMAIN> m_;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kUnrecognised = "Plot control - Unrecognized line\n";

// --- The template ---------------------------------------------------------------------

TEST_F(ControlFileTest, TemplateForAModelWithOnlyPm) {
  model({"pm"});
  EXPECT_EQ(writetemplate(), kGlobalBlock + kPmBlock + kAdditionBlock + kTail);
}

TEST_F(ControlFileTest, TemplateBlocksFollowTheProcessingOrder) {
  model({"pm", "olf", "chan"});
  const std::string text = writetemplate();
  EXPECT_EQ(text.substr(0, kGlobalBlock.size() + kPmBlock.size()), kGlobalBlock + kPmBlock);
  const std::size_t olf = text.find(kOlfBlock);
  const std::size_t chan = text.find("write chan domain file\n");
  ASSERT_NE(olf, std::string::npos);
  ASSERT_NE(chan, std::string::npos);
  EXPECT_LT(olf, chan);
  EXPECT_TRUE(contains(text, "! no chan incised heads\n! no chan linear"));
  EXPECT_FALSE(contains(text, "dual"));
  EXPECT_EQ(text.substr(text.size() - kAdditionBlock.size() - kTail.size()), kAdditionBlock + kTail);
}

TEST_F(ControlFileTest, TemplateOffersComparisonsOnlyWithObservationsAndHeads) {
  model({"pm"});
  writefile(plot_data.prefix + ".observed_heads", "");
  std::string text = writetemplate();
  EXPECT_FALSE(contains(text, "compare"));
  EXPECT_TRUE(plot_data.observedheadsfileexists);
  EXPECT_TRUE(plot_data.observedgwtfileexists);
  EXPECT_FALSE(plot_data.observedd2gwtfileexists);

  writefile(plot_data.prefix + "o.head_pm.0001", "");
  writefile(plot_data.prefix + ".observed_d2gwt", "");
  text = writetemplate();
  EXPECT_TRUE(contains(text, "!            0        1000\n! compare heads 3d domain\n! -1.0E+20  1.0E+20\n"
                             "! -1.0E+20  1.0E+20\n! -1.0E+20  1.0E+20\n! compare gw table elevation\n"
                             "! compare depth to gw table\nend\n"));
  EXPECT_TRUE(plot_data.observedd2gwtfileexists);
}

TEST_F(ControlFileTest, TemplateWritesTheRecordsBoundsAsTheyStand) {
  model({"pm"});
  DOMAIN& pm = m_["pm"];
  pm.xmin_trunc = 0.0;
  pm.xmax_trunc = 1.5e-100;
  pm.ymin_trunc = -2.5;
  pm.ymax_trunc = 123456.0;
  pm.layermin_trunc = 3;
  pm.layermax_trunc = -7;
  const std::string text = writetemplate();
  EXPECT_TRUE(contains(text, "\n!  0.00000E+00 1.50000-100\n! -2.50000E+00 1.23456E+05\n")) << text;
  EXPECT_TRUE(contains(text, "\n!            3          -7\n"));
}

TEST_F(ControlFileTest, UnchangedTemplateReadsBackWithEverythingOn) {
  model({"pm", "olf", "chan"});
  writetemplate();
  const std::string out = readcontrol();
  EXPECT_EQ(out, "");
  for (const char* name : {"pm", "olf", "chan"}) {
    EXPECT_TRUE(m_[name].writefile) << name;
    for (const auto& [field, sw] : domainswitches()) EXPECT_TRUE(m_[name].*sw) << name << " " << field;
    EXPECT_FALSE(m_[name].truncate);
    EXPECT_FALSE(m_[name].truncatebylayer);
  }
  for (const char* name : {"dual", "frac", "well", "tile", "addition"}) EXPECT_FALSE(m_[name].writefile) << name;
  const PlotData& pd = plot_data;
  EXPECT_TRUE(pd.tecplot_mode);
  EXPECT_FALSE(pd.tecplot_bin_mode);
  EXPECT_FALSE(pd.tecappend);
  EXPECT_EQ(pd.outputtimeindexwidth, 4);
  EXPECT_FALSE(pd.truncate_time_domain);
  EXPECT_FALSE(pd.compare_heads_3d_domain || pd.compare_gwtable_elev || pd.compare_deth2gwtable ||
               pd.compare_surface_water_depth);
  EXPECT_FALSE(pd.plot_zone_isopach || pd.plot_depthgrndsurf || pd.interpd2wt || pd.sim_time_conversion);
  EXPECT_EQ(echo(),
            "\nINSTRUCTION: tecplot mode\n\nINSTRUCTION: end\n"
            "\nINSTRUCTION: write pm domain file\n\nINSTRUCTION: end\n"
            "\nINSTRUCTION: write olf domain file\n\nINSTRUCTION: end\n"
            "\nINSTRUCTION: write chan domain file\n\nINSTRUCTION: end\n");
}

// --- The global block -----------------------------------------------------------------

TEST_F(ControlFileTest, KeywordInCapitalsIsAcceptedAndEchoedAsWritten) {
  model({"pm"});
  const std::string out = readcontrol("  Tecplot BINARY mode\nSome Bogus Line\nEND of globals\n");
  EXPECT_TRUE(plot_data.tecplot_bin_mode);
  EXPECT_EQ(out, kUnrecognised + "some bogus line\n\n");
  EXPECT_TRUE(contains(echo(), "\nINSTRUCTION: Tecplot BINARY mode\n\nINSTRUCTION: Some Bogus Line\n" + kUnrecognised +
                                   "some bogus line\n\n\nINSTRUCTION: END of globals\n"));
}

TEST_F(ControlFileTest, AppendNeedsBinaryMode) {
  model({"pm"});
  EXPECT_FALSE(contains(readcontrol("tecplot binary append\nend\n"), "Appending"));
  EXPECT_FALSE(plot_data.tecappend);
  const std::string out = readcontrol("tecplot binary mode\ntecplot binary append\nend\n");
  EXPECT_TRUE(plot_data.tecappend);
  EXPECT_EQ(plot_data.tecappendnfile, 1);
  EXPECT_EQ(out, "");  // the start messages follow once the whole file is read
}

TEST_F(ControlFileTest, GlobalBlockWithoutEndWritesNoDomainAndKeepsAppendUnadjusted) {
  model({"pm"});
  readcontrol("tecplot binary append\nwrite pm domain file\n");
  EXPECT_TRUE(plot_data.tecappend);
  EXPECT_FALSE(m_["pm"].writefile);
}

TEST_F(ControlFileTest, FlushIntervalAndTimeWindow) {
  model({"pm"});
  readcontrol("tecplot binary flush interval\n   0\ntruncate time domain\n10.0,\n  2.5e1\nend\n");
  EXPECT_EQ(plot_data.tecbinflushint, 1);
  EXPECT_TRUE(plot_data.truncate_time_domain);
  EXPECT_EQ(plot_data.tmin_trunc, 10.0);
  EXPECT_EQ(plot_data.tmax_trunc, 25.0);
  // Value lines are not echoed.
  EXPECT_FALSE(contains(echo(), "2.5e1"));
}

TEST_F(ControlFileTest, IndexWidth) {
  model({"pm"});
  readcontrol("number of digits for output file suffix\n10\nend\n");
  EXPECT_EQ(plot_data.outputtimeindexwidth, 10);
  EXPECT_EQ(plot_data.fextwidth, 11);
}

// A bad value stops the run with a report that names the value as written and the control
// file, not the comment-free copy that is read.
TEST_F(ControlFileTest, BadValuesNameTheValueAndTheFile) {
  model({"pm"});
  const std::string in = " in " + controlfile();
  const std::string width = "number of digits for output file suffix\n";
  const std::string values = "Error reading the values of plot control instruction: ";
  const std::vector<std::pair<std::string, std::string>> cases{
      {width + "3\nend\n", "Output file suffix length must be between 4 and 10: 3" + in},
      {width + "011\nend\n", "Output file suffix length must be between 4 and 10: 011" + in},
      {width + "four\nend\n", "Error reading output file suffix length: four" + in},
      {width, "Error reading output file suffix length: no value" + in},
      {"truncate time domain\n1.0 soon\nend\n", values + "truncate time domain\nNot a number: soon" + in},
      {"tecplot binary flush interval\n1.5\nend\n",
       values + "tecplot binary flush interval\nNot a whole number: 1.5" + in},
      {"tecplot binary flush interval\n", values + "tecplot binary flush interval\nValues missing at the end of " +
                                                 controlfile()},
      {"end\nwrite pm domain file\ntruncate pm domain\n0 1\n0 1\n0 top\nend\n",
       values + "truncate pm domain\nNot a number: top" + in},
      {"end\nsimulation time unit conversion factor\n0 x2\n",
       values + "simulation time unit conversion factor\nNot a number: x2" + in},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    const std::string err = readstops(text);
    EXPECT_TRUE(contains(err, message + "\n")) << err;
    EXPECT_FALSE(contains(err, "scratch_plot")) << err;
    // The stop closed every unit, the echo file's too.
    testing_only::reseterrorstate();
    plot_data.ieco = getunit();
    ASSERT_EQ(openunit(plot_data.ieco, echo_, FileForm::formatted, OpenStatus::replace), 0);
  }
}

TEST_F(ControlFileTest, MissingIncludeFileStops) {
  model({"pm"});
  const std::string err = readstops("include nosuchfile.txt\nend\n");
  EXPECT_TRUE(contains(err, "Include file not found: nosuchfile.txt")) << err;
}

// --- Domain blocks --------------------------------------------------------------------

TEST_F(ControlFileTest, EachTextClearsItsOwnSwitch) {
  model({"pm", "olf", "chan"});
  readcontrol(
      "end\nwrite pm domain file\nno pm time varying specific storage\nend\n"
      "write olf domain file\nNo Olf Time Varying Topography\nend\n"
      "write chan domain file\nno chan incised heads\nend\n");
  EXPECT_FALSE(m_["pm"].writetvstor);
  EXPECT_TRUE(m_["pm"].writetvpor);
  EXPECT_FALSE(m_["olf"].writetvtopo);
  EXPECT_TRUE(m_["olf"].writetvtopozone);
  EXPECT_FALSE(m_["chan"].writeinchead);
  EXPECT_TRUE(m_["chan"].writehead);
  testing_only::resetplotdata();
  plot_data.prefix = (dir_ / "abc").string();
  m_["pm"].writetvstor = true;
  readcontrol("end\nwrite pm domain file\nno pm time varying porosity\nend\n");
  EXPECT_FALSE(m_["pm"].writetvpor);
  EXPECT_TRUE(m_["pm"].writetvstor);
}

TEST_F(ControlFileTest, EveryRowIsAcceptedInEveryDomain) {
  model({"pm", "tile"});
  std::string text = "end\nwrite tile domain file\n";
  for (const InstructionRow& row : quantityinstructions()) text += "no tile" + std::string(row.suffix) + "\n";
  const std::string out = readcontrol(text + "end\n");
  EXPECT_EQ(out, "");
  for (const InstructionRow& row : quantityinstructions()) EXPECT_FALSE(m_["tile"].*row.sw) << row.suffix;
  EXPECT_FALSE(m_["pm"].writefile);
}

TEST_F(ControlFileTest, BoxAndLayerTruncation) {
  model({"pm", "olf"});
  readcontrol(
      "end\nwrite pm domain file\ntruncate pm domain\n1 2\n3,4\n5\n6\nend\n"
      "write olf domain file\ntruncate olf domain by layer\n-1 1\n-2 2\n2 5\nend\n");
  const DOMAIN& pm = m_["pm"];
  EXPECT_TRUE(pm.truncate);
  EXPECT_FALSE(pm.truncatebylayer);
  EXPECT_EQ(pm.xmin_trunc, 1.0);
  EXPECT_EQ(pm.xmax_trunc, 2.0);
  EXPECT_EQ(pm.ymin_trunc, 3.0);
  EXPECT_EQ(pm.ymax_trunc, 4.0);
  EXPECT_EQ(pm.zmin_trunc, 5.0);
  EXPECT_EQ(pm.zmax_trunc, 6.0);
  const DOMAIN& olf = m_["olf"];
  EXPECT_TRUE(olf.truncatebylayer);
  EXPECT_FALSE(olf.truncate);
  EXPECT_EQ(olf.xmin_trunc, -1.0);
  EXPECT_EQ(olf.ymax_trunc, 2.0);
  EXPECT_EQ(olf.layermin_trunc, 2);
  EXPECT_EQ(olf.layermax_trunc, 5);
}

TEST_F(ControlFileTest, ComparisonsBelongToTheirDomains) {
  model({"pm", "olf"});
  const std::string out = readcontrol(
      "end\nwrite olf domain file\ncompare heads 3d domain\nend\n"
      "write pm domain file\ncompare heads 3d domain\n0 10\n0 20\n-5 5\ncompare gw table elevation\n"
      "compare depth to gw table\nend\n"
      "write olf domain file\n");
  EXPECT_EQ(out, kUnrecognised + "compare heads 3d domain\n\n");
  EXPECT_TRUE(plot_data.compare_heads_3d_domain);
  EXPECT_TRUE(plot_data.compare_gwtable_elev);
  EXPECT_TRUE(plot_data.compare_deth2gwtable);
  EXPECT_FALSE(plot_data.compare_surface_water_depth);
  EXPECT_EQ(plot_data.ymax_trunc_h, 20.0);
  EXPECT_EQ(plot_data.zmin_trunc_h, -5.0);
  // The surface-water comparison belongs to olf and has a window of its own.
  readcontrol("end\nwrite olf domain file\ncompare surface water depth\n1 2\n3 4\n5 6\nend\n");
  EXPECT_TRUE(plot_data.compare_surface_water_depth);
  EXPECT_EQ(plot_data.xmin_trunc_h_olf, 1.0);
  EXPECT_EQ(plot_data.zmax_trunc_h_olf, 6.0);
  EXPECT_EQ(plot_data.ymax_trunc_h, 20.0);
  EXPECT_EQ(plot_data.zmin_trunc_h, -5.0);
}

TEST_F(ControlFileTest, LinesBeforeTheWriteLineArePassedOver) {
  model({"pm"});
  const std::string out = readcontrol("end\nno pm heads\nwrite pm domain file\nno pm saturations\nend\n");
  EXPECT_EQ(out, "");
  EXPECT_TRUE(m_["pm"].writehead);
  EXPECT_FALSE(m_["pm"].writesat);
  // Of two blocks with the same write line only the first is read.
  m_["pm"].writesat = true;
  readcontrol("end\nwrite pm domain file\nno pm heads\nend\nwrite pm domain file\nno pm saturations\nend\n");
  EXPECT_FALSE(m_["pm"].writehead);
  EXPECT_TRUE(m_["pm"].writesat);
}

TEST_F(ControlFileTest, AdditionCommandsAreFoundAnywhereAfterTheGlobalBlock) {
  model({"pm"});
  const std::string out = readcontrol(
      "end\nwrite pm domain file\nSimulation Time Unit Conversion Factor\n0.5\n86400\n"
      "interpolate depth to gw table\ninterpolate depth to gw tables\nend\n"
      "plot pm zone isopach structure\nplot pm depth below ground surface\n");
  // Inside a block neither they nor the conversion's values (over two lines here) are the
  // block's unrecognised lines.
  EXPECT_EQ(out, kUnrecognised + "interpolate depth to gw tables\n\n");
  const PlotData& pd = plot_data;
  EXPECT_TRUE(pd.interpd2wt);
  EXPECT_TRUE(pd.sim_time_conversion);
  EXPECT_EQ(pd.addtime, 0.5);
  EXPECT_EQ(pd.timeunitfactor, 86400.0);
  EXPECT_TRUE(pd.plot_zone_isopach);
  EXPECT_TRUE(pd.plot_depthgrndsurf);
  EXPECT_TRUE(contains(echo(), "\nINSTRUCTION: simulation time unit conversion factor\n"));
  EXPECT_FALSE(m_["addition"].writefile);
}

TEST_F(ControlFileTest, BlockOfAMissingDomainIsPassedOver) {
  model({"pm"});
  const std::string out =
      readcontrol("end\nwrite dual domain file\nno dual heads\nend\nwrite pm domain file\nend\n");
  EXPECT_EQ(out, "");
  EXPECT_FALSE(m_["dual"].writefile);
  EXPECT_TRUE(m_["dual"].writehead);
  EXPECT_TRUE(m_["pm"].writefile);
}

TEST_F(ControlFileTest, LinesAreComparedOverSixtyCharacters) {
  model({"pm"});
  // A comment after an instruction makes it unrecognised; past 60 characters it is cut off.
  const std::string out = readcontrol("end\nwrite pm domain file\nno pm heads ! off\nno pm saturations" +
                                      std::string(43, ' ') + "tail\nend\n");
  EXPECT_EQ(out, kUnrecognised + "no pm heads ! off\n\n");
  EXPECT_TRUE(m_["pm"].writehead);
  EXPECT_FALSE(m_["pm"].writesat);
}

}  // namespace
}  // namespace kelpra
