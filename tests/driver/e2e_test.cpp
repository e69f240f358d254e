// Whole runs of the kelpra program on small models laid down in temporary directories: the
// files a run writes (echo file, plot control template, ASCII and binary data sets, append
// file, special plots) and the reports of runs that must stop.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plot/tecio.hpp"
#include "tests/driver/e2e_kit.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/savedheader.hpp"
#include "tests/kit/tecplot_reader.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;
using testkit::ElementKind;


// Zone 1's node lists of the untruncated "pm" bricks: their own node numbers.
std::vector<std::int32_t> pmconnectivity(const LayeredMesh& pm) { return pm.incidences; }

void expectheads(const DatZone& zone, const std::vector<double>& heads, const std::vector<double>* z) {
  const std::vector<double> got = reals(zone.find("head"));
  ASSERT_EQ(got.size(), heads.size());
  for (std::size_t i = 0; i < heads.size(); ++i) EXPECT_EQ(got[i], heads[i]) << "node " << i + 1;
  if (z == nullptr) return;
  const std::vector<double> pressure = reals(zone.find("pressure head"));
  ASSERT_EQ(pressure.size(), heads.size());
  for (std::size_t i = 0; i < heads.size(); ++i) EXPECT_DOUBLE_EQ(pressure[i], heads[i] - (*z)[i]) << i + 1;
}

// ---- A run without a control file ----------------------------------------------------------

class E2eDefaultRun : public ::testing::Test {
 protected:
  void SetUp() override {
    model.heads(1, 1.0);
    model.heads(2, 2.0);
    first = model.run();
  }
  Model model;
  ProcessResult first;
};

TEST_F(E2eDefaultRun, EndsNormallyAfterEveryOutputTime) {
  EXPECT_EQ(first.exitstatus, 0) << first.err;
  EXPECT_TRUE(first.out.ends_with(
      "   8     LogDepth\n"
      "\nTime 0001: 1\nTime 0002: 2\n"
      "Warning: No output file found with extension: 0003\n"
      "\nClosing tecplot file: abco.pm\nClosing tecplot file: abco.olf\n" +
      kNormalExit))
      << first.out;
  // Standard error holds the deprecation warning and nothing else.
  EXPECT_EQ(first.err, kDeprecation);
}

TEST_F(E2eDefaultRun, EchoFileHoldsBannerWarningAndTimes) {
  const std::string eco = model.file("abco.kelpra.eco");
  EXPECT_TRUE(eco.starts_with(std::string(74, '@') + '\n')) << eco.substr(0, 200);
  EXPECT_TRUE(has(eco, "KELPRA: Post-processor for Tarnovelquasir"));
  EXPECT_TRUE(has(eco, "REVISION:   2975"));
  EXPECT_TRUE(has(eco, kDeprecation));
  EXPECT_LT(eco.find(kDeprecation), eco.find("Coordinates file: abco.coordinates_pm"));
  // The template was written, not read.
  EXPECT_FALSE(has(eco, "INSTRUCTION: "));
  EXPECT_TRUE(has(eco, "\n\nTime 0001: 1\nTime 0002: 2\nWarning: No output file found with extension: 0003\n"));
  EXPECT_TRUE(has(eco, "Creating tecplot file abco.pm\n"));
  EXPECT_TRUE(has(eco, "Creating tecplot file abco.olf\n"));
  EXPECT_TRUE(eco.ends_with("Closing tecplot file: abco.olf\n" + kNormalExit)) << eco;
  EXPECT_FALSE(model.exists("scratch_plot"));
}

TEST_F(E2eDefaultRun, WritesTheTemplateForTheModelsDomains) {
  const std::string control = model.file("abc.plot.control");
  EXPECT_TRUE(control.starts_with(
      "tecplot mode\n! tecplot binary mode\n! tecplot binary flush interval\n! 1\n! tecplot binary append\n"
      "! truncate time domain\n! 0.0  1.0E+20\n! number of digits for output file suffix\n! 4\nend\n"
      "write pm domain file\n! no pm layer numbers\n"))
      << control;
  EXPECT_TRUE(has(control, "\nwrite olf domain file\n! no olf cutoff wall\n"));
  EXPECT_TRUE(has(control, "! truncate pm domain\n! -1.00000E+20 1.00000E+20\n"));
  EXPECT_TRUE(has(control, "! truncate pm domain by layer\n! -1.00000E+20 1.00000E+20\n"
                           "! -1.00000E+20 1.00000E+20\n!            0        1000\nend\n"));
  for (const char* absent : {"write dual domain file", "write frac domain file", "write chan domain file",
                             "write well domain file", "write tile domain file"}) {
    EXPECT_FALSE(has(control, absent)) << absent;
  }
  EXPECT_TRUE(control.ends_with(
      "! Additional post-processing commands\n! simulation time unit conversion factor\n! 0.0  1.0\n"
      "! plot pm zone isopach structure\n! plot pm depth below ground surface\n! interpolate depth to gw table\n"
      "end\n!" + std::string(45, '-') + "\nwrite time series file\nend\n"))
      << control;
}

TEST_F(E2eDefaultRun, PmDataSetHasOneZonePerTimeSharingZoneOne) {
  const DatFile pm = model.dat("abco.pm.dat");
  EXPECT_EQ(pm.line(0), "TITLE = \"E2E model\"");
  EXPECT_EQ(pm.line(1), kPmVariables);
  EXPECT_EQ(pm.line(2), "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"");
  EXPECT_EQ(pm.line(3), "DATASETAUXDATA TNQ_Version=\"2975\"");
  EXPECT_EQ(pm.line(5), "DATASETAUXDATA Model_Prefix=\"abc\"");
  ASSERT_EQ(pm.zones.size(), 2U);
  EXPECT_EQ(pm.zones[0].line,
            "ZONE T=\"pm\", SOLUTIONTIME=1, DATAPACKING=BLOCK, NODES=27, ELEMENTS=8, ZONETYPE=FEBRICK, "
            "VARLOCATION=([4,5,6,7]=CELLCENTERED)");
  EXPECT_EQ(pm.zones[1].line,
            "ZONE T=\"pm\", SOLUTIONTIME=2, DATAPACKING=BLOCK, NODES=27, ELEMENTS=8, ZONETYPE=FEBRICK, "
            "VARLOCATION=([4,5,6,7]=CELLCENTERED), VARSHARELIST=([1,2,3,4,5,6,7]=1), CONNECTIVITYSHAREZONE=1");
  EXPECT_EQ(pm.zones[0].dt, "DT=(DOUBLE,DOUBLE,DOUBLE,LONGINT,LONGINT,LONGINT,DOUBLE,DOUBLE,DOUBLE,DOUBLE,DOUBLE)");

  // Zone 1: mesh, numbering and heads, then the node lists; later zones only the heads.
  EXPECT_EQ(reals(pm.zones[0].find("x")), model.pm.x);
  EXPECT_EQ(reals(pm.zones[0].find("z")), model.pm.z);
  EXPECT_EQ(integers(pm.zones[0].find("zone (cell centred)")), model.pm.zones);
  EXPECT_EQ(integers(pm.zones[0].find("element node lists")), pmconnectivity(model.pm));
  expectheads(pm.zones[0], model.pmheads(1), &model.pm.z);
  ASSERT_EQ(pm.zones[1].arrays.size(), 4U);
  EXPECT_EQ(pm.zones[1].arrays[0].label, "head");
  EXPECT_EQ(pm.zones[1].arrays[1].label, "pressure head");
  EXPECT_EQ(pm.zones[1].arrays[2].label, "depth to groundwater 3d");
  EXPECT_EQ(pm.zones[1].arrays[3].label, "depth to groundwater 2d");
  expectheads(pm.zones[1], model.pmheads(2), &model.pm.z);
}

TEST_F(E2eDefaultRun, OlfDataSetHasOneZonePerTime) {
  const DatFile olf = model.dat("abco.olf.dat");
  EXPECT_EQ(olf.line(1), kOlfVariables);
  ASSERT_EQ(olf.zones.size(), 2U);
  EXPECT_EQ(olf.zones[0].line,
            "ZONE T=\"olf\", SOLUTIONTIME=1, DATAPACKING=BLOCK, NODES=9, ELEMENTS=4, ZONETYPE=FEQUADRILATERAL, "
            "VARLOCATION=([4]=CELLCENTERED)");
  EXPECT_EQ(olf.zones[1].line,
            "ZONE T=\"olf\", SOLUTIONTIME=2, DATAPACKING=BLOCK, NODES=9, ELEMENTS=4, ZONETYPE=FEQUADRILATERAL, "
            "VARLOCATION=([4]=CELLCENTERED), VARSHARELIST=([1,2,3,4,5]=1), CONNECTIVITYSHAREZONE=1");
  EXPECT_NE(olf.zones[0].find("element node lists"), nullptr);
  EXPECT_EQ(olf.zones[1].find("element node lists"), nullptr);
  expectheads(olf.zones[0], model.olfheads(1), nullptr);
  expectheads(olf.zones[1], model.olfheads(2), nullptr);
  // The surface depth is the head above the surface (4-byte values).
  const std::vector<double> depth = reals(olf.zones[1].find("Depth"));
  const std::vector<double> h = model.olfheads(2);
  ASSERT_EQ(depth.size(), h.size());
  ASSERT_EQ(model.olf.mesh.z.size(), h.size());
  for (std::size_t i = 0; i < h.size(); ++i) EXPECT_FLOAT_EQ(depth[i], h[i] - model.olf.mesh.z[i]);
}

TEST_F(E2eDefaultRun, TemplateReadsBackToTheSameDataSets) {
  const std::string pm1 = model.file("abco.pm.dat");
  const std::string olf1 = model.file("abco.olf.dat");
  const std::string control = model.file("abc.plot.control");
  const ProcessResult second = model.run();
  EXPECT_EQ(second.exitstatus, 0) << second.err;
  EXPECT_EQ(model.file("abc.plot.control"), control);  // read, not rewritten
  const std::string eco = model.file("abco.kelpra.eco");
  EXPECT_TRUE(has(eco, "\nINSTRUCTION: tecplot mode\n"));
  EXPECT_TRUE(has(eco, "\nINSTRUCTION: write pm domain file\n"));
  EXPECT_TRUE(has(eco, "\nINSTRUCTION: write olf domain file\n"));
  EXPECT_FALSE(has(eco, "Unrecognized"));
  EXPECT_TRUE(model.exists("scratch_plot"));
  EXPECT_FALSE(has(model.file("scratch_plot"), "!"));
  EXPECT_EQ(withoutdate(model.file("abco.pm.dat")), withoutdate(pm1));
  EXPECT_EQ(withoutdate(model.file("abco.olf.dat")), withoutdate(olf1));
}

// ---- Command line ----------------------------------------------------------------------------

TEST(E2eCommandLine, MakePlotControlRewritesTheTemplateAndStops) {
  Model model;
  model.heads(1, 1.0);
  model.control("tecplot binary mode\nend\n");
  const ProcessResult r = model.run({"--make_plot_control", "extra"});
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Invalid command line option: extra\n"));
  const std::string tail = "\nGenerate abc.plot.control file and terminate...\n" + kNormalExit;
  EXPECT_TRUE(r.out.ends_with(tail)) << r.out;
  EXPECT_TRUE(model.file("abco.kelpra.eco").ends_with(tail));
  EXPECT_TRUE(model.file("abc.plot.control").starts_with("tecplot mode\n! tecplot binary mode\n"));
  EXPECT_FALSE(model.exists("abco.pm.dat"));
  EXPECT_FALSE(model.exists("abco.olf.dat"));
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr"));
}

// The template written on request is a valid control file: the next run reads it, echoes its
// instructions and converts every output time.
TEST(E2eCommandLine, RequestedTemplateReadsBackAsAControlFile) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  ASSERT_EQ(model.run({"--make_plot_control"}).exitstatus, 0);
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "INSTRUCTION: write pm domain file"));
  EXPECT_TRUE(has(r.out, "Time 0002: 2\n"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 2u);
  EXPECT_EQ(model.dat("abco.olf.dat").zones.size(), 2u);
}

TEST(E2eCommandLine, OptionInCapitalsAndOtherArgumentsLowerCased) {
  Model model;
  const ProcessResult r = model.run({"--MAKE_Plot_Control", "EXTRA"});
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Invalid command line option: extra\n"));
  EXPECT_TRUE(has(r.out, "Generate abc.plot.control file and terminate..."));
}

TEST(E2eCommandLine, EmptyArgumentHidesTheOption) {
  Model model;
  model.heads(1, 1.0);
  const ProcessResult r = model.run({"", "--make_plot_control"});
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_FALSE(has(r.out, "Generate "));
  EXPECT_TRUE(model.exists("abco.pm.dat"));
}

TEST(E2ePrefix, PromptAcceptsAPrefixAfterABadOne) {
  Model model;
  fs::remove(model.dir / "batch.pfx");
  model.heads(1, 1.0);
  const ProcessResult r = model.run({}, "nope\nabc\n");
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Unable to find file nope.vorn"));
  EXPECT_TRUE(model.file("batch.pfx").starts_with("abc"));
  EXPECT_TRUE(model.exists("abco.pm.dat"));
}

// ---- Binary data sets ----------------------------------------------------------------------------

TEST(E2eBinary, SameContentsAsTheAsciiRun) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control(std::string("end\n") + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  const DatFile ascii = model.dat("abco.pm.dat");
  model.control(std::string("tecplot binary mode\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Closing tecplot file: abco.pm\n"));
  for (const char* left : {"abco.pm.szplt.szhdr", "abco.pm.szplt.szdat", "abco.olf.szplt.szhdr",
                           "abco.olf.szplt.szdat"}) {
    EXPECT_FALSE(model.exists(left)) << left;
  }

  TecplotFile f;
  std::string error;
  ASSERT_TRUE(testkit::readtecplot(model.dir / "abco.pm.szplt", f, error)) << error;
  EXPECT_EQ(f.title, kTitle);
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "Layer Number", "Column Number",
                                                   "Thickness", "Head", "Pressure Head", "Depth2GWT",
                                                   "Depth2GWT2D"}));
  ASSERT_EQ(f.zones.size(), 2U);
  const auto& z1 = f.zones[0];
  const auto& z2 = f.zones[1];
  EXPECT_EQ(z1.title, "pm");
  EXPECT_EQ(z1.solutiontime, 1.0);
  EXPECT_EQ(z2.solutiontime, 2.0);
  EXPECT_EQ(z1.zonetype, kTecFeBrick);
  EXPECT_EQ(z1.nodes, 27);
  EXPECT_EQ(z1.cells, 8);
  EXPECT_EQ(z1.cellcentred,
            (std::vector<bool>{false, false, false, true, true, true, true, false, false, false, false}));
  EXPECT_EQ(z2.cellcentred, z1.cellcentred);
  EXPECT_EQ(z1.connsharezone, -1);
  EXPECT_EQ(z2.connsharezone, 0);
  EXPECT_EQ(z2.sharezone, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1}));
  // Every array as the ASCII data set holds it.
  EXPECT_EQ(z1.values[0], reals(ascii.zones[0].find("x")));
  EXPECT_EQ(z1.values[1], reals(ascii.zones[0].find("y")));
  EXPECT_EQ(z1.values[2], reals(ascii.zones[0].find("z")));
  const std::vector<std::int32_t> zones = integers(ascii.zones[0].find("zone (cell centred)"));
  EXPECT_EQ(z1.values[3], std::vector<double>(zones.begin(), zones.end()));
  EXPECT_EQ(z1.values[7], reals(ascii.zones[0].find("head")));
  EXPECT_EQ(z1.values[8], reals(ascii.zones[0].find("pressure head")));
  EXPECT_EQ(z2.values[7], reals(ascii.zones[1].find("head")));
  EXPECT_EQ(z2.values[8], reals(ascii.zones[1].find("pressure head")));
  EXPECT_EQ(z2.values[7], model.pmheads(2));
  std::vector<std::int32_t> nodes = integers(ascii.zones[0].find("element node lists"));
  for (std::int32_t& n : nodes) n -= 1;  // the reader counts from 0
  EXPECT_EQ(z1.connectivity, nodes);
  EXPECT_EQ(z2.connectivity, nodes);
}

// ---- Append mode ---------------------------------------------------------------------------



class E2eAppendMode : public ::testing::Test {
 protected:
  void SetUp() override {
    model.heads(1, 1.0);
    model.heads(2, 2.0);
    model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
    run1 = model.run();
    afterrun1 = readdataset(model.dir / "abco.pm.szplt");
    model.heads(3, 3.0);
    model.heads(4, 4.0);
    run2 = model.run();
  }
  Model model;
  ProcessResult run1, run2;
  TecplotFile afterrun1;
};

TEST_F(E2eAppendMode, EachRunStartsAfterTheStoredIndex) {
  EXPECT_EQ(run1.exitstatus, 0) << run1.err;
  EXPECT_EQ(run2.exitstatus, 0) << run2.err;
  const std::string start1 = "\nAppending to Tecplot output\nStarting at time index 0001\n\n";
  EXPECT_TRUE(has(run1.out, start1));
  EXPECT_TRUE(has(run1.out, "\nTime 0001: 1\nTime 0002: 2\nWarning: No output file found with extension: 0003\n\n"));
  EXPECT_TRUE(has(run2.out, "\nAppending to Tecplot output\nStarting at time index 0003\n\n"));
  EXPECT_TRUE(has(run2.out,
                  "\nTime 0003: 3\nTime 0004: 4\nWarning: No output file found with extension: 0005\n\n"));
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "Starting at time index 0003\n"));
  // Append mode only flushes at the end: no closing message.
  EXPECT_FALSE(has(run1.out, "Closing tecplot file"));
  EXPECT_FALSE(has(run2.out, "Closing tecplot file"));
  EXPECT_FALSE(has(run2.err, "temporary files found"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));
}

TEST_F(E2eAppendMode, NothingNewLeavesEverythingAsItWas) {
  const ProcessResult run3 = model.run();
  EXPECT_EQ(run3.exitstatus, 0) << run3.err;
  EXPECT_TRUE(has(run3.out,
                  "Starting at time index 0005\n\nWarning: No output file found with extension: 0005\n"
                  "No more data to append\n\n" + kNormalExit));
  EXPECT_FALSE(has(run3.out, "Creating tecplot file"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));
}

TEST_F(E2eAppendMode, DataSetHoldsEveryTimeOnce) {
  // Every append run leaves a readable data set and keeps the writer's temporary files for
  // the next one to continue.
  ASSERT_EQ(afterrun1.zones.size(), 2U);
  EXPECT_EQ(afterrun1.zones[1].solutiontime, 2.0);
  EXPECT_TRUE(model.exists("abco.pm.szplt.szhdr"));
  EXPECT_TRUE(model.exists("abco.olf.szplt.szhdr"));
  const TecplotFile pm = readdataset(model.dir / "abco.pm.szplt");
  ASSERT_EQ(pm.zones.size(), 4U);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(pm.zones[i].solutiontime, static_cast<double>(i + 1));
    EXPECT_EQ(pm.zones[i].values[7], model.pmheads(static_cast<int>(i + 1))) << "zone " << i + 1;
    EXPECT_EQ(pm.zones[i].values[0], model.pm.x) << "zone " << i + 1;
    EXPECT_EQ(pm.zones[i].connectivity, afterrun1.zones[0].connectivity) << "zone " << i + 1;
  }
  const TecplotFile olf = readdataset(model.dir / "abco.olf.szplt");
  ASSERT_EQ(olf.zones.size(), 4U);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(olf.zones[i].solutiontime, static_cast<double>(i + 1));
    EXPECT_EQ(olf.zones[i].values[5], model.olfheads(static_cast<int>(i + 1))) << "zone " << i + 1;
  }
}

TEST_F(E2eAppendMode, RunWithoutAppendMovesTheLeftOversAsideAndStartsAfresh) {
  model.control(std::string("tecplot binary mode\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.err,
                  "Tecplot szplt temporary files found (abco.pm.szplt.szhdr, etc.)\n"
                  "They are moved aside to abco.pm.szplt.szhdr.old and abco.pm.szplt.szdat.old; the data set is "
                  "written anew.\n"));
  EXPECT_TRUE(has(r.err, "Tecplot szplt temporary files found (abco.olf.szplt.szhdr, etc.)\n"));
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr"));
  EXPECT_TRUE(model.exists("abco.pm.szplt.szdat.old"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(4));  // neither read nor written
  expecttimesonce(model, 4);

  // A second append series and normal run keep the first pair and set theirs aside beside it;
  // a lone temporary takes the suffix of a pair no other file holds.
  const std::string firstheader = model.file("abco.pm.szplt.szhdr.old");
  fs::remove(model.dir / "abco.tec_append");
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  model.control(std::string("tecplot binary mode\nend\n") + std::string(kDomainBlocks));
  EXPECT_TRUE(has(model.run().err, "They are moved aside to abco.pm.szplt.szhdr.old2 and abco.pm.szplt.szdat.old2;"));
  EXPECT_EQ(model.file("abco.pm.szplt.szhdr.old"), firstheader);
  writefile(model.dir / "abco.pm.szplt.szdat", "zones");
  const ProcessResult lone = model.run();
  EXPECT_TRUE(has(lone.err,
                  "Tecplot szplt temporary file found (abco.pm.szplt.szdat)\n"
                  "It is moved aside to abco.pm.szplt.szdat.old3; the data set is written anew.\n"))
      << lone.err;
  EXPECT_EQ(model.file("abco.pm.szplt.szdat.old3"), "zones");
  EXPECT_FALSE(model.exists("abco.pm.szplt.szhdr.old3"));
}

// A pair set aside takes one suffix that neither of its files holds: a lone header set aside
// before makes both files of the next pair ".old2".
TEST(E2eAppend, SetAsidePairSharesOneSuffix) {
  Model model;
  model.heads(1, 1.0);
  model.control("tecplot binary mode\nend\n" + std::string(kDomainBlocks));
  writefile(model.dir / "abco.pm.szplt.szhdr", "lone header");
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_EQ(model.file("abco.pm.szplt.szhdr.old"), "lone header");
  writefile(model.dir / "abco.pm.szplt.szhdr", "header");
  writefile(model.dir / "abco.pm.szplt.szdat", "zones");
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_EQ(model.file("abco.pm.szplt.szhdr.old2"), "header");
  EXPECT_EQ(model.file("abco.pm.szplt.szdat.old2"), "zones");
  EXPECT_FALSE(model.exists("abco.pm.szplt.szdat.old"));
}

TEST(E2eAppend, AppendWithoutBinaryModeIsIgnored) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string("tecplot binary append\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_FALSE(has(r.out, "Appending to Tecplot output"));
  EXPECT_FALSE(model.exists("abco.tec_append"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 1U);
}

// An append run says what it does: which data sets it continues and after which output time,
// that it appended nothing only where it did not, why a window took no new output time, and
// whose values stand in for a result file missing at its first output time.
TEST(E2eAppend, RunsSayWhatTheyDo) {
  struct Case {
    std::string name;
    std::string window;  // global lines of the second run
    int added;           // new output times
    bool withpm;         // pm has result files at them
    std::vector<std::string> said, unsaid;
    bool olfgone = false;  // olf's data set and its temporary files are gone
  };
  const Case cases[] = {
      {"continued", "", 1, true,
       {"Continuing tecplot file abco.pm after output time 0002\n",
        "Continuing tecplot file abco.olf after output time 0002\n", "Time 0003"},
       {"Creating tecplot file", "No more data to append"}},
      {"nothing new", "", 0, true, {"No more data to append"}, {"No new output time"}},
      {"nothing new, olf's data set gone", "", 0, true,
       {"No more data to append",
        "The data set abco.olf.szplt and its temporary files do not exist.\nThe next output time, 0003, starts it; "
        "this run has no new output time to write."},
       {},
       true},
      {"a window that takes no new time", "truncate time domain\n100 200\n", 2, true,
       {"No more data to append",
        "No new output time lies in the time window of \"truncate time domain\" (100 to 200): the new output times "
        "0003 to 0004 (times 3 to 4) lie outside it.\nThe data sets are left as they are."},
       {}},
      {"a pm result file missing", "", 1, false,
       {"Warning: file not found -> appending at time index 0001",
        "A result file of output time 0003 does not exist:\n  abco.head_pm.0003\nIts variables take the values of "
        "output time 0001 (abco.head_pm.0001) in the zone of output time 0003."},
       {"No more data to append"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    writeseries(model);
    if (HasFatalFailure()) return;
    for (int i = 3; i < 3 + c.added; ++i) model.heads(i, i, c.withpm);
    if (c.olfgone) {
      for (const char* name : {"abco.olf.szplt", "abco.olf.szplt.szhdr", "abco.olf.szplt.szdat"}) {
        fs::remove(model.dir / name);
      }
    }
    model.control("tecplot binary mode\ntecplot binary append\n" + c.window + "end\n" + std::string(kDomainBlocks));
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 0) << r.err;
    const std::string text = r.out + r.err;
    for (const std::string& s : c.said) EXPECT_TRUE(has(text, s)) << s << "\n" << text;
    for (const std::string& s : c.unsaid) EXPECT_FALSE(has(text, s)) << s << "\n" << text;
  }
}

// A domain the control file writes but the model lacks is warned of, with the data set an
// earlier run left of it; the run ends normally.
TEST(E2eRun, RequestedDomainTheModelLacksIsWarnedOf) {
  const std::string lacks =
      "The plot control file abc.plot.control writes the olf domain, but the model has no olf domain: its "
      "coordinates file abco.coordinates_olf does not exist.";
  for (const bool earlier : {true, false}) {
    SCOPED_TRACE(earlier ? "with an earlier data set" : "without");
    Model model;
    model.heads(1, 1.0);
    model.control("end\n" + std::string(kDomainBlocks));
    if (earlier) {
      ASSERT_EQ(model.run().exitstatus, 0);
    }
    const std::string olf = earlier ? model.file("abco.olf.dat") : "";
    fs::rename(model.dir / "abco.coordinates_olf", model.dir / "aside");
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 0) << r.err;
    EXPECT_TRUE(has(r.err, lacks + (earlier ? "\nThe data set abco.olf.dat is left as an earlier run wrote it.\n"
                                            : "\n\n")))
        << r.err;
    if (earlier) {
      EXPECT_TRUE(model.file("abco.olf.dat") == olf);
    }
    // Without the write line there is nothing to warn of.
    model.control("end\nwrite pm domain file\nend\n");
    EXPECT_FALSE(has(model.run().err, "writes the olf domain"));
  }
}

TEST(E2eAppendStops, StopInTheMiddleOfATimeLeavesNoZoneTwice) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  EXPECT_EQ(model.run().exitstatus, 0);
  // "pm" takes time 3, then the "olf" values of time 3 end short and stop the run.
  model.heads(3, 3.0);
  const fs::path olf3 = model.dir / "abco.head_olf.0003";
  fs::resize_file(olf3, fs::file_size(olf3) - 8);
  EXPECT_EQ(model.run().exitstatus, 1);
  model.heads(3, 3.0);
  EXPECT_EQ(model.run().exitstatus, 0);
  expecttimesonce(model, 3);
}


TEST(E2eAppendStops, KillBetweenFlushesLosesNoTime) {
  Model model;
  for (int i = 1; i <= 3; ++i) model.heads(i, i);
  model.control("tecplot binary mode\ntecplot binary flush interval\n2\ntecplot binary append\nend\n" +
                std::string(kDomainBlocks));
  // The run waits at the pipe of time 4 once times 1 to 3 are written, time 3 not yet flushed.
  const fs::path pipe = model.dir / "abco.head_pm.0004";
  HeldRun held(model, pipe);
  ASSERT_TRUE(held.waiting());
  held.kill();
  fs::remove(pipe);
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(2));
  model.heads(4, 4.0);
  EXPECT_EQ(model.run().exitstatus, 0);
  expecttimesonce(model, 4);
}

// A run without append mode after a killed one writes every time once, not after the zones
// the killed run left in its temporary files.
TEST(E2eAppendStops, RunAfterAKilledRunStartsAfresh) {
  Model model;
  for (int i = 1; i <= 2; ++i) model.heads(i, i);
  model.control("tecplot binary mode\nend\n" + std::string(kDomainBlocks));
  const fs::path pipe = model.dir / "abco.head_pm.0003";
  {
    HeldRun held(model, pipe);
    ASSERT_TRUE(held.waiting());
  }
  fs::remove(pipe);
  ASSERT_TRUE(model.exists("abco.pm.szplt.szhdr"));
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "Time 0002: 2\n"));  // each line is written at once
  model.heads(3, 3.0);
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.err, "They are moved aside to abco.pm.szplt.szhdr.old"));
  expecttimesonce(model, 3);
}

// An append run that cannot continue a data set stops before it changes any: the data sets
// stay byte for byte as the earlier run left them.
TEST(E2eAppendStops, MissingOrOtherTemporariesStopBeforeAnyDataSetChanges) {
  struct Case {
    const char* name;
    std::vector<std::string> removed;
    const char* olfline;  // an olf instruction of the second run
    const char* reason;
  };
  const Case cases[] = {
      {"pm temporaries gone", {"abco.pm.szplt.szhdr", "abco.pm.szplt.szdat"}, "",
       "abco.pm.szplt: its temporary files abco.pm.szplt.szhdr and abco.pm.szplt.szdat are missing."},
      {"olf data gone", {"abco.olf.szplt.szdat"}, "",
       "abco.olf.szplt: its temporary file abco.olf.szplt.szdat is missing."},
      {"olf of other variables", {}, "no olf heads\n",
       "abco.olf.szplt: its temporary files abco.olf.szplt.szhdr and abco.olf.szplt.szdat hold a data set of "
       "other variables."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    writeseries(model);
    if (HasFatalFailure()) return;
    for (const std::string& name : c.removed) fs::remove(model.dir / name);
    const std::string pm = model.file("abco.pm.szplt"), olf = model.file("abco.olf.szplt");
    model.heads(3, 3.0);
    model.control(std::string(kAppendControl) + "write pm domain file\nend\nwrite olf domain file\n" + c.olfline +
                  "end\n");
    const ProcessResult r = model.run();
    EXPECT_EQ(r.exitstatus, 1);
    EXPECT_TRUE(has(r.err, std::string("Failed to append to the data set ") + c.reason +
                               "\nThe append series goes on after output time 0002.\nMove "))
        << r.err;
    EXPECT_TRUE(model.file("abco.pm.szplt") == pm);
    EXPECT_TRUE(model.file("abco.olf.szplt") == olf);
    EXPECT_EQ(model.file("abco.tec_append"), appendrecord(2));
  }
}

// ---- Runs side by side and the shared log ---------------------------------------------------------

// A second run in the directory is refused before it writes anything, whatever its prefix and
// whatever files of the first run were deleted; the first, held at its observation file after
// closing its data sets, then ends normally with every time once.
TEST(E2eConcurrency, SecondRunInTheDirectoryIsRefused) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control(
      "tecplot binary mode\nend\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n"
      "-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\nend\nwrite olf domain file\nend\n");
  HeldRun first(model, model.dir / "abc.observed_heads");
  ASSERT_TRUE(first.waiting());
  fs::remove(model.dir / "scratch_plot");
  const std::string echo = model.file("abco.kelpra.eco"), pm = model.file("abco.pm.szplt");
  for (const char* prefix : {"abc\n", "xyz\n"}) {
    writefile(model.dir / "batch.pfx", prefix);
    const ProcessResult second = model.run();
    EXPECT_EQ(second.exitstatus, 1);
    EXPECT_TRUE(has(second.err,
                    "Another kelpra run is working in this directory.\n"
                    "Wait until it has ended; this run has written nothing.\n"))
        << second.err;
  }
  EXPECT_FALSE(model.exists("xyzo.kelpra.eco"));
  EXPECT_FALSE(model.exists("scratch_plot"));
  EXPECT_EQ(model.file("abco.kelpra.eco"), echo);
  EXPECT_TRUE(model.file("abco.pm.szplt") == pm);
  writefile(model.dir / "batch.pfx", "abc\n");
  EXPECT_EQ(first.finish("1\n0.5 0.5 0.5 1.75\n"), 0);
  expecttimesonce(model, 2);
}

// A directory that cannot be locked (here: not readable) is warned of once, although the
// prefix's directory is the same one. The run needs a user whom the permissions bind.
TEST(E2eConcurrency, UnlockableDirectoryIsWarnedOfOnce) {
  Model model;
  model.heads(1, 1.0);
  model.control("end\n" + std::string(kDomainBlocks));
  ASSERT_EQ(::chmod(model.dir.path().c_str(), 0333), 0);
  const fs::path program = testkit::builtprogram("driver/kelpra");
  const ProcessResult r =
      ::geteuid() == 0
          ? testkit::runprocess("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", program},
                                model.dir.path())
          : testkit::runprocess(program, {}, model.dir.path());
  ::chmod(model.dir.path().c_str(), 0755);
  if (!has(r.out, "Normal exit")) GTEST_SKIP() << "kelpra could not run as another user here: " << r.err;
  const std::string why = "This run is not guarded against a second kelpra run in this directory: the directory "
                          "cannot be locked (Permission denied).";
  const std::size_t first = r.err.find(why);
  EXPECT_NE(first, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("cannot be locked", first + why.size()), std::string::npos) << r.err;
}

// A prefix may point into another directory: a run there and a run whose prefix points there
// exclude each other in either order, and a prefix naming the run's own directory by another
// name does not refuse the run itself.
TEST(E2eConcurrency, RunsMeetingWhereThePrefixPointsAreRefused) {
  const std::string control =
      "end\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n"
      "-1.0E+20  1.0E+20\nend\nwrite olf domain file\nend\n";
  for (const bool heldpointsthere : {false, true}) {
    SCOPED_TRACE(heldpointsthere ? "the held run's prefix points there" : "the second run's prefix points there");
    Model target, elsewhere;
    target.heads(1, 1.0);
    target.control(control);
    const std::string pointing = "'" + target.dir.path().string() + "/abc'\n";
    writefile(elsewhere.dir / "batch.pfx", pointing);
    const Model& heldat = heldpointsthere ? elsewhere : target;
    const Model& second = heldpointsthere ? target : elsewhere;
    HeldRun first(heldat, target.dir / "abc.observed_heads");
    ASSERT_TRUE(first.waiting());
    const std::string echo = target.file("abco.kelpra.eco"), pm = target.file("abco.pm.dat.tmp");
    const ProcessResult r = second.run();
    EXPECT_EQ(r.exitstatus, 1);
    EXPECT_TRUE(has(r.err, "Wait until it has ended; this run has written nothing.\n")) << r.err;
    EXPECT_FALSE(second.exists("scratch_plot"));
    EXPECT_EQ(target.file("abco.kelpra.eco"), echo);
    EXPECT_TRUE(target.file("abco.pm.dat.tmp") == pm);
    EXPECT_EQ(first.finish("1\n0.5 0.5 0.5 1.75\n"), 0);
  }
  Model self;
  self.heads(1, 1.0);
  writefile(self.dir / "batch.pfx", "'" + self.dir.path().string() + "/./abc'\n");
  EXPECT_EQ(self.run().exitstatus, 0);
  EXPECT_TRUE(self.exists("abco.pm.dat"));
}

// Standard output and standard error sent to one file keep the order in which the run wrote
// them: the banner, the warning box, the progress lines, then the error box.
TEST(E2eConcurrency, OneLogForBothStreamsKeepsTheOrder) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  const fs::path olf2 = model.dir / "abco.head_olf.0002";
  fs::resize_file(olf2, fs::file_size(olf2) - 8);
  const std::string command = "exec '" + fs::absolute(testkit::builtprogram("driver/kelpra")).string() + "' > log 2>&1";
  const ProcessResult r = testkit::runprocess("/bin/sh", {"-c", command}, model.dir.path());
  EXPECT_EQ(r.exitstatus, 1);
  const std::string log = model.file("log");
  std::vector<std::size_t> at;
  for (const char* part : {"Kelpra has been deprecated", "Time 0001: 1", "Time 0002: 2", "HALTING EXECUTION"}) {
    at.push_back(log.find(part));
    EXPECT_NE(at.back(), std::string::npos) << part << " in\n" << log;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << log;
  EXPECT_LT(log.find_first_not_of("\n "), at[0]);  // the banner comes first
}

// ---- Time window -------------------------------------------------------------------------------

TEST(E2eTimeWindow, SkipsTimesOutsideTheClosedWindow) {
  Model model;
  const double times[] = {5, 10, 15, 25, 30};
  for (int i = 1; i <= 5; ++i) model.heads(i, times[i - 1]);
  model.control(std::string("truncate time domain\n10 15\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Skip Time 0001: 5\n"));
  EXPECT_LT(r.out.find("Skip Time 0001: 5\n"), r.out.find("pm data to tecplot"));
  EXPECT_TRUE(has(r.out,
                  "\nTime 0002: 10\nTime 0003: 15\nSkip Time 0004: 25\nSkip Time 0005: 30\n"
                  "Warning: No output file found with extension: 0006\n"));
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "Skip Time 0004: 25\nSkip Time 0005: 30\n"));

  const DatFile pm = model.dat("abco.pm.dat");
  ASSERT_EQ(pm.zones.size(), 2U);
  EXPECT_TRUE(pm.zones[0].line.starts_with("ZONE T=\"pm\", SOLUTIONTIME=10, "));
  EXPECT_TRUE(pm.zones[1].line.starts_with("ZONE T=\"pm\", SOLUTIONTIME=15, "));
  expectheads(pm.zones[0], model.pmheads(2), &model.pm.z);
  expectheads(pm.zones[1], model.pmheads(3), &model.pm.z);
  EXPECT_EQ(model.dat("abco.olf.dat").zones.size(), 2U);
}

// A window that takes no output time is an error that leaves the earlier data sets as they
// were; an append run that continues its data sets and finds nothing new ends quietly.
TEST(E2eTimeWindow, NoTimeInsideTheWindowWritesNoDataSet) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control("end\n" + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  const std::string pm = model.file("abco.pm.dat");
  ASSERT_FALSE(pm.empty());
  model.control(std::string("truncate time domain\n100 200\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_TRUE(has(r.out, "Skip Time 0001: 1\nSkip Time 0002: 2\nWarning: No output file found with extension: 0003\n"));
  EXPECT_TRUE(has(r.err,
                  "No output time lies in the time window of \"truncate time domain\" (100 to 200).\n"
                  "The output times found run from 1 to 2.\n"
                  "No data set was written; those of earlier runs are left as they are.\n"))
      << r.err;
  EXPECT_FALSE(has(r.out, "Creating tecplot file"));
  EXPECT_FALSE(has(r.out, "Closing tecplot file"));
  EXPECT_EQ(model.file("abco.pm.dat"), pm);

  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  const std::string szplt = model.file("abco.pm.szplt"), header = model.file("abco.pm.szplt.szhdr");
  model.heads(3, 3.0);
  model.control("tecplot binary mode\ntecplot binary append\ntruncate time domain\n100 200\nend\n" +
                std::string(kDomainBlocks));
  const ProcessResult quiet = model.run();
  EXPECT_EQ(quiet.exitstatus, 0) << quiet.err;
  EXPECT_TRUE(model.file("abco.pm.szplt") == szplt);
  EXPECT_TRUE(model.file("abco.pm.szplt.szhdr") == header);
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(2));
}

// ---- Missing result files --------------------------------------------------------------------

TEST(E2eMissingFiles, QuantityMissingLaterSharesZoneOne) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0, true, false);  // no "olf" heads at index 2
  model.heads(3, 3.0);
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0);
  const std::string warning =
      "A result file of output time 0002 does not exist:\n  abco.head_olf.0002\n"
      "Its variables repeat the values of output time 0001 (zone 1) in zone 2 of the olf data set.\n";
  EXPECT_TRUE(has(r.err, warning)) << r.err;
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), warning));
  EXPECT_FALSE(has(r.err, "pm data set"));
  const DatFile olf = model.dat("abco.olf.dat");
  ASSERT_EQ(olf.zones.size(), 3U);
  EXPECT_EQ(olf.zones[1].line,
            "ZONE T=\"olf\", SOLUTIONTIME=2, DATAPACKING=BLOCK, NODES=9, ELEMENTS=4, ZONETYPE=FEQUADRILATERAL, "
            "VARLOCATION=([4]=CELLCENTERED), VARSHARELIST=([1,2,3,4,5,6,7,8]=1), CONNECTIVITYSHAREZONE=1");
  EXPECT_TRUE(olf.zones[1].arrays.empty());
  EXPECT_TRUE(olf.zones[2].line.ends_with("VARSHARELIST=([1,2,3,4,5]=1), CONNECTIVITYSHAREZONE=1"));
  expectheads(olf.zones[2], model.olfheads(3), nullptr);
  // "pm" is unaffected.
  expectheads(model.dat("abco.pm.dat").zones[1], model.pmheads(2), &model.pm.z);
}

TEST(E2eMissingFiles, QuantityMissingAtTheFirstTimeIsNeverWritten) {
  Model model;
  model.heads(1, 1.0, true, false);
  model.heads(2, 2.0);
  ASSERT_EQ(model.run().exitstatus, 0);
  const DatFile olf = model.dat("abco.olf.dat");
  EXPECT_EQ(olf.line(1), R"(VARIABLES = "X","Y","Z","Zone","3DNode#")");
  ASSERT_EQ(olf.zones.size(), 2U);
  EXPECT_TRUE(olf.zones[1].arrays.empty());
}

TEST(E2eMissingFiles, NoResultFileSetsUpFromTheMeshAlone) {
  Model model;
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Warning: No output file found with extension: 0001\n"));
  EXPECT_FALSE(has(r.out, "Time 0001"));
  const DatFile pm = model.dat("abco.pm.dat");
  EXPECT_EQ(pm.line(1), R"(VARIABLES = "X","Y","Z","Zone","Layer Number","Column Number","Thickness")");
  ASSERT_EQ(pm.zones.size(), 1U);
  EXPECT_EQ(integers(pm.zones[0].find("element node lists")), pmconnectivity(model.pm));
}

// ---- Meshes ----------------------------------------------------------------------------------

// Without truncation the layering of a mesh does not matter: a surface of one element over a
// column of four element layers is written whole.
TEST(E2eMesh, SurfaceWithFewerElementsThanLayersWithoutTruncation) {
  Model model(1, 1, 5);
  model.heads(1, 1.0);
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  const DatFile olf = model.dat("abco.olf.dat");
  ASSERT_EQ(olf.zones.size(), 1U);
  EXPECT_TRUE(has(olf.zones[0].line, ", NODES=4, ELEMENTS=1, ZONETYPE=FEQUADRILATERAL")) << olf.zones[0].line;
  expectheads(olf.zones[0], model.olfheads(1), nullptr);
}

// ---- Special plots -----------------------------------------------------------------------------

// Two columns of four element layers with node layers at z = 0, 1, 3, 6, 10; element zones
// bottom up: column A 1, 2, 1, 2 and column B 1, 1, 1, 12.
class E2eSpecialPlots : public ::testing::Test {
 protected:
  void SetUp() override {
    LayeredMesh mesh = testkit::layeredmesh(2, 1, 5, ElementKind::bricks);
    const double levels[] = {0, 1, 3, 6, 10};
    for (std::size_t i = 0; i < mesh.z.size(); ++i) mesh.z[i] = levels[i / 6];
    mesh.zones = {1, 1, 2, 1, 1, 1, 2, 12};
    model.rewritepm(mesh);
    model.heads(1, 1.0);
    model.control(std::string("end\n") + std::string(kDomainBlocks) +
                  "plot pm zone isopach structure\nplot pm depth below ground surface\n");
    result = model.run();
  }
  Model model{2, 1, 5};
  ProcessResult result;
};

TEST_F(E2eSpecialPlots, RunWritesBothAfterClosingTheDataSets) {
  EXPECT_EQ(result.exitstatus, 0) << result.err;
  const std::size_t closing = result.out.find("Closing tecplot file: abco.olf\n");
  const std::size_t isopach = result.out.find("\n \n" + std::string(48, '-') +
                                               "\npm isopach plot\nCreating Tecplot file abco.pm_Isopach.dat\n");
  const std::size_t depth = result.out.find(
      "\nplot pm depth below ground surface\nCreating Tecplot file abco.pm_DepthToSurf.dat\n");
  ASSERT_NE(isopach, std::string::npos) << result.out;
  ASSERT_NE(depth, std::string::npos) << result.out;
  EXPECT_LT(closing, isopach);
  EXPECT_LT(isopach, depth);
  EXPECT_TRUE(result.out.ends_with("Closing tecplot file: abco.pm_DepthToSurf\n" + kNormalExit)) << result.out;
}

TEST_F(E2eSpecialPlots, IsopachHasOneZonePerElementZone) {
  const DatFile iso = model.dat("abco.pm_Isopach.dat");
  EXPECT_EQ(iso.line(1), R"x(VARIABLES = "X","Y","Z(isopach top)","isopach thickness")x");
  ASSERT_EQ(iso.zones.size(), 12U);
  EXPECT_EQ(iso.zones[0].line,
            "ZONE T=\"Isopach\", SOLUTIONTIME=01, DATAPACKING=BLOCK, NODES=6, ELEMENTS=2, "
            "ZONETYPE=FEQUADRILATERAL, VARLOCATION=([4]=CELLCENTERED)");
  for (std::size_t z = 1; z < 12; ++z) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02zu", z + 1);
    EXPECT_EQ(iso.zones[z].line, std::string("ZONE T=\"Isopach\", SOLUTIONTIME=") + digits +
                                     ", DATAPACKING=BLOCK, NODES=6, ELEMENTS=2, ZONETYPE=FEQUADRILATERAL, "
                                     "VARLOCATION=([4]=CELLCENTERED), VARSHARELIST=([1,2]=1), CONNECTIVITYSHAREZONE=1");
  }
  // Surface nodes x = 0, 1, 2 in two rows; the middle ones take column B's value, which
  // comes later.
  EXPECT_EQ(reals(iso.zones[0].find("z (isopach top)")), (std::vector<double>{6, 6, 6, 6, 6, 6}));
  EXPECT_EQ(reals(iso.zones[0].find("isopach thickness (cell centred)")), (std::vector<double>{4, 6}));
  EXPECT_NE(iso.zones[0].find("element node lists"), nullptr);
  EXPECT_EQ(reals(iso.zones[1].find("z (isopach top)")), (std::vector<double>{10, 10, 0, 10, 10, 0}));
  EXPECT_EQ(reals(iso.zones[1].find("isopach thickness")), (std::vector<double>{6, 0}));
  EXPECT_EQ(reals(iso.zones[5].find("z (isopach top)")), std::vector<double>(6, 0.0));
  EXPECT_EQ(reals(iso.zones[5].find("isopach thickness")), (std::vector<double>{0, 0}));
  EXPECT_EQ(reals(iso.zones[11].find("z (isopach top)")), (std::vector<double>{0, 10, 10, 0, 10, 10}));
  EXPECT_EQ(reals(iso.zones[11].find("isopach thickness")), (std::vector<double>{0, 4}));
  EXPECT_EQ(iso.zones[11].arrays.size(), 2U);
}

TEST_F(E2eSpecialPlots, DepthBelowGroundSurface) {
  const DatFile d = model.dat("abco.pm_DepthToSurf.dat");
  EXPECT_EQ(d.line(1), R"(VARIABLES = "X","Y","Z","DepthToSurf")");
  ASSERT_EQ(d.zones.size(), 1U);
  EXPECT_EQ(d.zones[0].line,
            "ZONE T=\"DepthToSurf\", DATAPACKING=BLOCK, NODES=30, ELEMENTS=8, ZONETYPE=FEBRICK");
  std::vector<double> expected;
  for (const double depth : {10.0, 9.0, 7.0, 4.0, 0.0}) expected.insert(expected.end(), 6, depth);
  EXPECT_EQ(reals(d.zones[0].find("DepthToSurf")), expected);
  EXPECT_EQ(integers(d.zones[0].find("element node lists")), pmconnectivity(model.pm));
}

// ---- Runs that must stop ---------------------------------------------------------------------

TEST(E2eBadInput, TruncatedElementsFile) {
  Model model;
  model.heads(1, 1.0);
  const fs::path elements = model.dir / "abco.elements_pm";
  fs::resize_file(elements, 40);
  const ProcessResult r = model.run();
  EXPECT_EQ(expectstopped(model, r, kFatal),
            "Error reading file: abco.elements_pm\n"
            "Error detail: Error encountered during read statement\nError number: 39");
  EXPECT_FALSE(model.exists("abco.pm.dat"));
}

// The report says what the file holds: a foreign header, or olf's 9 heads where pm has 27 nodes.
TEST(E2eBadInput, BrokenResultFileSaysWhatItHolds) {
  const std::string held = "\n\nWhat the files of this run now hold:\n"
                           "abco.pm.dat: output time 0001 of this run\nabco.olf.dat: output time 0001 of this run";
  for (const bool foreign : {true, false}) {
    Model model;
    model.heads(1, 1.0);
    model.heads(2, 2.0);
    const fs::path pm2 = model.dir / "abco.head_pm.0002";
    if (foreign) writefile(pm2, "garbage that is no result file");
    if (!foreign) fs::copy_file(model.dir / "abco.head_olf.0002", pm2, fs::copy_options::overwrite_existing);
    EXPECT_EQ(expectstopped(model, model.run(), kInput),
              foreign ? "Error reading header from file abco.head_pm.0002\n"
                        "The header is not that of a result file: its record length word holds 1,651,663,207, not 80.\n"
                        "Error detail: Error encountered during read statement\nError number: 39" + held
                      : "Error reading values from file abco.head_pm.0002\n"
                        "The record holds 9 values where 27 are needed.\n"
                        "Error detail: Error encountered during read statement\nError number: 39" + held);
  }
}

TEST(E2eBadInput, IncludeOfAMissingFile) {
  Model model;
  model.heads(1, 1.0);
  model.control("include nothere.txt\nend\n");
  const ProcessResult r = model.run();
  EXPECT_EQ(expectstopped(model, r, kInput), "Include file not found: nothere.txt");
  EXPECT_FALSE(model.exists("abco.pm.dat"));
}

TEST(E2eBadInput, IncludedControlLinesTakeEffect) {
  Model model;
  model.heads(1, 1.0);
  writefile(model.dir / "global.txt", "! comment\ntecplot binary mode\n");
  model.control(std::string("include global.txt\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "\nINSTRUCTION: tecplot binary mode\n"));
  EXPECT_TRUE(model.exists("abco.pm.szplt"));
}

TEST(E2eBadInput, MalformedValueLine) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string("truncate time domain\nabc\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_TRUE(has(expectstopped(model, r, kInput), "truncate time domain"));
  EXPECT_FALSE(model.exists("abco.pm.dat"));
}

TEST(E2eBadInput, IndexWidthOutOfRange) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string("number of digits for output file suffix\n11\nend\n") + std::string(kDomainBlocks));
  EXPECT_EQ(expectstopped(model, model.run(), kInput),
            "Output file suffix length must be between 4 and 10: 11 in abc.plot.control");
}

TEST(E2eBadInput, PrefixPromptEndsWithoutAPrefix) {
  Model model;
  fs::remove(model.dir / "batch.pfx");
  const ProcessResult r = model.run({}, "nope\n");
  EXPECT_TRUE(has(expectstopped(model, r, kFatal), "No problem prefix given"));
  EXPECT_TRUE(has(r.out, "batch.pfx file does not exist\n"));
  EXPECT_TRUE(has(r.out, "Unable to find file nope.vorn\n"));
  EXPECT_FALSE(model.exists("abco.kelpra.eco"));
  EXPECT_FALSE(model.exists("batch.pfx"));
}

// The append file is only a hint: one cut short is warned of, and a new series begins.
TEST(E2eBadInput, TruncatedAppendFile) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  writefile(model.dir / "abco.tec_append", appendrecord(7).substr(0, 6));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0);
  EXPECT_TRUE(has(r.err, "The append file abco.tec_append cannot be read: it holds 6 bytes that are not one record "
                         "of an output-time index.\nNo data set has temporary files to continue"))
      << r.err;
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(1));
}

}  // namespace
}  // namespace kelpra

namespace kelpra {
namespace {

// The warning of an "olf" data set new to an append series, which holds one zone at the time.
void expectwrittenanew(const ProcessResult& r, const Model& model, const std::string& index, double time) {
  EXPECT_TRUE(has(r.err,
                  "The data set abco.olf.szplt and its temporary files do not exist.\n"
                  "The data set is written anew from output time " + index + ".\n"))
      << r.err;
  const TecplotFile f = readdataset(model.dir / "abco.olf.szplt");
  ASSERT_EQ(f.zones.size(), 1u);
  EXPECT_EQ(f.zones[0].solutiontime, time);
}

// An output-time index past what the index width holds ends the loop with a warning and a
// normal exit, so the data sets written so far are complete. The series reaches 9998 with the
// earlier result files deleted, as its temporary files record.
TEST(E2eIndexWidth, LastIndexOfTheWidthEndsTheRunNormally) {
  Model model;
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  model.heads(1, 5.0);
  ASSERT_EQ(model.run().exitstatus, 0);
  fs::remove(model.dir / "abco.head_pm.0001");
  fs::remove(model.dir / "abco.head_olf.0001");
  for (const char* name : {"abco.pm.szplt.szhdr", "abco.olf.szplt.szhdr"}) {
    testkit::SavedHeader header;
    ASSERT_TRUE(testkit::readsavedheader(model.dir / name, header));
    header.zones.at(0).outputindex = 9998;
    testkit::writesavedheader(model.dir / name, header);
  }
  model.heads(9999, 6.0);
  testkit::writefile(model.dir / "abco.tec_append", appendrecord(9998));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Starting at time index 9999\n"));
  EXPECT_TRUE(has(r.out, "Time 9999: 6\n"));
  EXPECT_FALSE(has(r.err, "WARNING MESSAGE ***\n*********************************\n\nThe append file"));
  EXPECT_TRUE(has(r.err, "Output-time index 10000 does not fit in 4 digits: later output times are not read."));
  EXPECT_TRUE(has(r.out, "---- Normal exit ----"));
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(9999));
  const TecplotFile f = readdataset(model.dir / "abco.olf.szplt");
  ASSERT_EQ(f.zones.size(), 2u);
  EXPECT_EQ(f.zones[1].solutiontime, 6.0);
}

// A data set new to an append series starts where this run's set-up happens, also when the
// time window passes over the first output time after the stored one.
TEST(E2eAppend, NewDataSetStartsAtTheFirstTimeInTheWindow) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string(kAppendControl) + "write pm domain file\nend\n");
  ASSERT_EQ(model.run().exitstatus, 0);
  model.heads(2, 2.0);
  model.heads(3, 3.0);
  model.control("tecplot binary mode\ntecplot binary append\ntruncate time domain\n2.5 10\nend\n" +
                std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  expectwrittenanew(r, model, "0003", 3.0);
}

// A killed ASCII run leaves the earlier data set whole beside its own temporary file, which
// the next run replaces.
TEST(E2eAsciiStops, KilledRunLeavesTheEarlierDataSetWhole) {
  Model model;
  model.heads(1, 1.0);
  model.heads(2, 2.0);
  model.control("end\n" + std::string(kDomainBlocks));
  ASSERT_EQ(model.run().exitstatus, 0);
  const std::string pm = model.file("abco.pm.dat"), olf = model.file("abco.olf.dat");
  ASSERT_EQ(model.dat("abco.pm.dat").zones.size(), 2u);
  const fs::path pipe = model.dir / "abco.head_pm.0003";
  {
    HeldRun held(model, pipe);
    ASSERT_TRUE(held.waiting());
  }
  fs::remove(pipe);
  EXPECT_EQ(model.file("abco.pm.dat"), pm);
  EXPECT_EQ(model.file("abco.olf.dat"), olf);
  EXPECT_TRUE(model.exists("abco.pm.dat.tmp"));
  model.heads(3, 3.0);
  ASSERT_EQ(model.run().exitstatus, 0);
  EXPECT_FALSE(model.exists("abco.pm.dat.tmp"));
  EXPECT_FALSE(model.exists("abco.olf.dat.tmp"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 3u);
  // An error stop puts what was written in place: "pm" holds time 3, "olf" stopped before it.
  const fs::path olf3 = model.dir / "abco.head_olf.0003";
  fs::resize_file(olf3, fs::file_size(olf3) - 8);
  ASSERT_EQ(model.run().exitstatus, 1);
  EXPECT_FALSE(model.exists("abco.pm.dat.tmp"));
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 3u);
  EXPECT_EQ(model.dat("abco.olf.dat").zones.size(), 2u);
}

// ---- Observation comparisons -----------------------------------------------------------------

// Heads that make every simulated value a short binary fraction, so that the files can be
// written out here digit for digit: "pm" heads 1.5 + x/4 + y/8 (water table between the node
// layers z = 1 and z = 2), "olf" depths x/4 + y/2. The top node at x = 0, y = 2 stands at
// z = 6, so that the nearest "olf" node in plan differs from the nearest in space.
class E2eComparisons : public ::testing::Test {
 protected:
  void SetUp() override {
    LayeredMesh mesh = model.pm;
    mesh.z[static_cast<std::size_t>(mesh.node(0, 2, 2) - 1)] = 6;
    model.rewritepm(mesh);
    for (int index = 1; index <= 2; ++index) {
      const std::string text = std::to_string(index) + " heads";
      std::vector<double> pm(mesh.x.size()), olf(model.olf.dom2pm.size());
      for (std::size_t i = 0; i < pm.size(); ++i) pm[i] = 1.5 + mesh.x[i] / 4 + mesh.y[i] / 8;
      for (std::size_t i = 0; i < olf.size(); ++i) {
        const auto n = static_cast<std::size_t>(model.olf.dom2pm[i] - 1);
        olf[i] = mesh.z[n] + mesh.x[n] / 4 + mesh.y[n] / 2;
      }
      model.writer.result_r8("head", "pm", index, text, pm);
      model.writer.result_r8("head", "olf", index, text, olf);
    }
    // Read both as x, y, z, head and as x, y, elevation (the rest of each line skipped).
    writefile(model.dir / "abc.observed_heads",
              "4\n0.5 0.5 0.5 1.75\n1.5 1.25\n 1.5 2.0\n1 1 1 2.5\n5,5,5,9\n");
    writefile(model.dir / "abc.observed_d2gwt", "2\n0.25 0.25 0.5\n2 2 0\n");
    writefile(model.dir / "abc.observed_heads_olf", "3\n1.25 0.75 0.5\n0.1 1.6 0.25\n2 2 9\n");
  }
  // The olf window is narrower than the pm one on z: the pm point at z = 1.5 still counts.
  static constexpr std::string_view kControl =
      "end\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n"
      "-1.0E+20  1.0E+20\ncompare gw table elevation\ncompare depth to gw table\nend\n"
      "write olf domain file\ncompare surface water depth\n-1 1.5\n-1.0E+20  1.0E+20\n-1 1\nend\n";

  // A file without its creation date; the last two lines (the R-squared zone) are checked
  // against the oracle.
  struct Written {
    std::string body;
    double r2title = 0;
    double r2 = 0;
  };
  Written written(const std::string& name) const {
    std::vector<std::string> lines = splitlines(withoutdate(model.file(name)));
    Written w;
    if (lines.size() < 2) {
      ADD_FAILURE() << name;
      return w;
    }
    const std::string title = lines[lines.size() - 2];
    const std::size_t eq = title.find(" =");
    w.r2title = eq == std::string::npos ? -1e300 : std::strtod(title.c_str() + eq + 2, nullptr);
    w.r2 = std::strtod(lines.back().c_str(), nullptr);
    for (std::size_t i = 0; i + 2 < lines.size(); ++i) w.body += lines[i] + '\n';
    return w;
  }
  Model model;
};

std::string comparisonhead(std::string_view obs, std::string_view sim, std::string_view zone) {
  return "TITLE = \"abc\"\nVARIABLES = \"" + std::string(obs) + "\",\"" + std::string(sim) +
         "\"\n"
         "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"\nDATASETAUXDATA TNQ_Version=\"2975\"\n"
         "DATASETAUXDATA Model_Prefix=\"abc\"\nDATASETAUXDATA Mass_Base_Unit=\"kg\"\n"
         "DATASETAUXDATA Length_Base_Unit=\"m\"\nDATASETAUXDATA Time_Base_Unit=\"s\"\n"
         "DATASETAUXDATA Temperature_Base_Unit=\"deg C\"\n# " +
         std::string(obs) + " units: (m)\n# " + std::string(sim) +
         " units: (m)\nVARAUXDATA 1 Units=\"(m)\"\nVARAUXDATA 2 Units=\"(m)\"\nZONE T=\"" + std::string(zone) + "\"\n";
}

std::string scatterhead(std::string_view titleword, std::string_view title, std::string_view obs,
                        std::string_view sim) {
  std::string text = std::string(titleword) + " = \"" + std::string(title) + "\"\nVARIABLES = \"X\",\"Y\",\"Z\",\"" +
                     std::string(obs) + "\",\"" + std::string(sim) +
                     "\",\"Diff\"\n"
                     "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"\nDATASETAUXDATA TNQ_Version=\"2975\"\n"
                     "DATASETAUXDATA Model_Prefix=\"abc\"\nDATASETAUXDATA Mass_Base_Unit=\"kg\"\n"
                     "DATASETAUXDATA Length_Base_Unit=\"m\"\nDATASETAUXDATA Time_Base_Unit=\"s\"\n"
                     "DATASETAUXDATA Temperature_Base_Unit=\"deg C\"\n";
  for (const std::string_view label : {std::string_view("X"), std::string_view("Y"), std::string_view("Z"), obs, sim,
                                       std::string_view("Diff")}) {
    text += "# " + std::string(label) + " units: (m)\n";
  }
  for (int v = 1; v <= 6; ++v) text += "VARAUXDATA " + std::to_string(v) + " Units=\"(m)\"\n";
  return text + "ZONE T=\"data\"\n";
}

// R-squared of the pairs, two passes in extended precision.
double rsquared(const std::vector<std::pair<double, double>>& pairs) {
  long double mean = 0, ssres = 0, sstot = 0;
  for (const auto& [o, s] : pairs) mean += o;
  mean /= static_cast<long double>(pairs.size());
  for (const auto& [o, s] : pairs) {
    ssres += (static_cast<long double>(o) - s) * (static_cast<long double>(o) - s);
    sstot += (o - mean) * (o - mean);
  }
  return static_cast<double>(1.0L - ssres / sstot);
}

void expectr2(const std::string& name, double r2title, double r2, const std::vector<std::pair<double, double>>& pairs) {
  const double oracle = rsquared(pairs);
  EXPECT_NEAR(r2, oracle, 1e-13 * std::max(1.0, std::abs(oracle))) << name;
  EXPECT_NEAR(r2title, oracle, 0.00005 + 1e-12) << name;
}

TEST_F(E2eComparisons, AllFourWriteTheirFilesInTheExitOrder) {
  model.control(std::string(kControl));
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_EQ(r.err, kDeprecation);
  EXPECT_TRUE(has(r.out,
                  "Closing tecplot file: abco.olf\nEvaluating shape functions at XYZ observation locations\n"
                  "This might take several minutes...\n           1  of           4  observation points\n"))
      << r.out;

  Written w = written("abco.compare_heads.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed head", "Simulated head", "data") +
                        "  1.7500000000000000E+000  1.6875000000000000E+000\n"
                        "  2.0000000000000000E+000  2.0312500000000000E+000\n"
                        "  2.5000000000000000E+000  1.8750000000000000E+000\n"
                        "ZONE T=\"straight line\"\n"
                        "  1.6875000000000000E+000  1.6875000000000000E+000\n"
                        "  2.5000000000000000E+000  2.5000000000000000E+000\n");
  expectr2("heads", w.r2title, w.r2, {{1.75, 1.6875}, {2.0, 2.03125}, {2.5, 1.875}});
  EXPECT_TRUE(has(model.file("abco.compare_heads.dat"), "\nZone T=\"R<sup>2</sup> ="));
  EXPECT_EQ(withoutdate(model.file("abco.compare_heads_scatter.dat")),
            scatterhead("Title", "Observed vs simulated heads scatter plot", "Observed head", "Simulated head") +
                "      0.50000000E+00      0.50000000E+00      0.50000000E+00      0.17500000E+01"
                "      0.16875000E+01     -0.62500000E-01\n"
                "      0.15000000E+01      0.12500000E+01      0.15000000E+01      0.20000000E+01"
                "      0.20312500E+01      0.31250000E-01\n"
                "      0.10000000E+01      0.10000000E+01      0.10000000E+01      0.25000000E+01"
                "      0.18750000E+01     -0.62500000E+00\n");

  // Water-table elevations at the top nodes of the nearest columns; zones titled by the time.
  w = written("abco.compare_GWTable_Elevation.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed GWT elevation", "Simulated GWT elevation", "2") +
                        "  5.0000000000000000E-001  1.5000000000000000E+000\n"
                        "  1.5000000000000000E+000  1.8750000000000000E+000\n"
                        "  1.0000000000000000E+000  1.8750000000000000E+000\n"
                        "  5.0000000000000000E+000  2.2500000000000000E+000\n"
                        "ZONE T=\"straight line\"\n"
                        "  5.0000000000000000E-001  5.0000000000000000E-001\n"
                        "  5.0000000000000000E+000  5.0000000000000000E+000\n");
  expectr2("elevation", w.r2title, w.r2, {{0.5, 1.5}, {1.5, 1.875}, {1.0, 1.875}, {5.0, 2.25}});
  EXPECT_TRUE(has(model.file("abco.compare_GWTable_Elevation.dat"), "\nZONE T=\"R<sup>2</sup> ="));
  EXPECT_EQ(withoutdate(model.file("abco.compare_GWTable_Elevation_scatter.dat")),
            scatterhead("TITLE", "Observed vs simulated heads scatter plot", "Observed GWT elevation",
                        "Simulated GWT elevation") +
                "      0.50000000E+00      0.50000000E+00      0.20000000E+01      0.50000000E+00"
                "      0.15000000E+01      0.10000000E+01\n"
                "      0.15000000E+01      0.12500000E+01      0.20000000E+01      0.15000000E+01"
                "      0.18750000E+01      0.37500000E+00\n"
                "      0.10000000E+01      0.10000000E+01      0.20000000E+01      0.10000000E+01"
                "      0.18750000E+01      0.87500000E+00\n"
                "      0.50000000E+01      0.50000000E+01      0.20000000E+01      0.50000000E+01"
                "      0.22500000E+01     -0.27500000E+01\n");

  w = written("abco.compare_Depth2GWTable.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed Depth2GWT", "Simulated Depth2GWT", "2") +
                        "  5.0000000000000000E-001  5.0000000000000000E-001\n"
                        "  0.0000000000000000E+000 -2.5000000000000000E-001\n"
                        "ZONE T=\"straight line\"\n"
                        " -2.5000000000000000E-001 -2.5000000000000000E-001\n"
                        "  5.0000000000000000E-001  5.0000000000000000E-001\n");
  expectr2("depth", w.r2title, w.r2, {{0.5, 0.5}, {0.0, -0.25}});
  EXPECT_EQ(withoutdate(model.file("abco.compare_D2GWT_scatter.dat")),
            scatterhead("TITLE", "Observed vs simulated D2GWT plot", "Observed Depth2GWT", "Simulated Depth2GWT") +
                "      0.25000000E+00      0.25000000E+00      0.20000000E+01      0.50000000E+00"
                "      0.50000000E+00      0.00000000E+00\n"
                "      0.20000000E+01      0.20000000E+01      0.20000000E+01      0.00000000E+00"
                "     -0.25000000E+00     -0.25000000E+00\n");

  // Surface-water depths at the nearest node in plan (x = 0, y = 2 at z = 6); the third point
  // lies outside the olf window.
  w = written("abco.compare_swdepth_olf.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed depth olf", "Simulated depth olf", "data") +
                        "  5.0000000000000000E-001  7.5000000000000000E-001\n"
                        "  2.5000000000000000E-001  1.0000000000000000E+000\n"
                        "ZONE T=\"straight line\"\n"
                        "  2.5000000000000000E-001  2.5000000000000000E-001\n"
                        "  1.0000000000000000E+000  1.0000000000000000E+000\n");
  expectr2("olf", w.r2title, w.r2, {{0.5, 0.75}, {0.25, 1.0}});
  EXPECT_EQ(withoutdate(model.file("abco.compare_swdepth_scatter_olf.dat")),
            scatterhead("Title", "Observed vs simulated heads scatter plot", "Observed depth olf",
                        "Simulated depth olf") +
                "      0.12500000E+01      0.75000000E+00      0.20000000E+01      0.50000000E+00"
                "      0.75000000E+00      0.25000000E+00\n"
                "      0.10000000E+00      0.16000000E+01      0.60000000E+01      0.25000000E+00"
                "      0.10000000E+01      0.75000000E+00\n");

  // The location cache: one 163-character line per point; the corner shared by all eight
  // bricks goes to the first, the last point is unlocated.
  const std::vector<std::string> cache = splitlines(model.file("abco.ObsShape.txt"));
  ASSERT_EQ(cache.size(), 4U);
  for (const std::string& line : cache) EXPECT_EQ(line.size(), 163U) << line;
  EXPECT_EQ(cache[2].substr(0, 30), "         1    0.0000000000    ");
  EXPECT_TRUE(cache[3].starts_with("        -1   -1.0000000000      -1.0000000000"));
}

TEST_F(E2eComparisons, MissingHeadsAndDepthsAreWarnedOf) {
  std::filesystem::remove(model.dir / "abco.head_pm.0001");
  std::filesystem::remove(model.dir / "abco.head_pm.0002");
  model.control(std::string(kControl));
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.err, "The head comparison is skipped: the pm domain holds no heads at the last output time."));
  EXPECT_TRUE(has(r.err, "The water table elevation comparison is skipped: the pm domain holds no depths to the "
                         "water table (\"Depth2GWT\") at the last output time."));
  EXPECT_TRUE(has(r.err, "The depth to water table comparison is skipped"));
  EXPECT_TRUE(has(r.out, "---- Normal exit ----"));
  EXPECT_FALSE(model.exists("abco.compare_heads.dat"));
  EXPECT_FALSE(model.exists("abco.compare_Depth2GWTable.dat"));
  // The olf comparison is not affected.
  EXPECT_TRUE(model.exists("abco.compare_swdepth_olf.dat"));
}

}  // namespace
}  // namespace kelpra

namespace kelpra {
namespace {

// Under a time window zone 1 holds the window's first output time, and a common-node "olf"
// names the "pm" concentration files it repeats only when it writes concentrations.
TEST(E2eMissingFilesWarning, NamesZoneOnesTimeAndOnlyTheDomainsOwnVariables) {
  const std::string pmwarning =
      "A result file of output time 0003 does not exist:\n  abco.conc_pm.A.0003\n"
      "Its variables repeat the values of output time 0002 (zone 1) in zone 2 of the ";
  for (const bool olfconc : {true, false}) {
    SCOPED_TRACE(olfconc);
    Model model;
    model.olf = model.writer.olf(model.pm, testkit::SurfaceOptions{.multinode = false});
    model.writer.species({"A"});
    for (int n = 1; n <= 3; ++n) {
      model.heads(n, n, true, false);
      if (n != 3) model.writer.result_r8("conc", "pm.A", n, numbertext(n) + " conc", std::vector<double>(27, n));
    }
    model.control("truncate time domain\n1.5 10\nend\nwrite pm domain file\nend\nwrite olf domain file\n" +
                  std::string(olfconc ? "" : "no olf concentrations\n") + "end\n");
    const ProcessResult r = model.run();
    ASSERT_EQ(r.exitstatus, 0) << r.err;
    EXPECT_TRUE(has(r.err, pmwarning + "pm data set.\n")) << r.err;
    EXPECT_EQ(has(r.err, pmwarning + "olf data set.\n"), olfconc) << r.err;
  }
}

// Additional commands inside a domain block, the conversion's values included, are not
// reported as unrecognised lines of the block; a misspelt line still is.
TEST(E2eControlFile, AdditionalCommandsInsideADomainBlock) {
  Model model;
  model.heads(1, 1.0);
  model.control("end\nwrite pm domain file\nsimulation time unit conversion factor\n0.5 10\n"
                "interpolate depth to gw table\nno pm haeds\nend\n");
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Plot control - Unrecognized line\nno pm haeds\n")) << r.out;
  EXPECT_EQ(r.out.find("Unrecognized"), r.out.rfind("Unrecognized")) << r.out;
  EXPECT_TRUE(model.dat("abco.pm.dat").zones.at(0).line.starts_with("ZONE T=\"pm\", SOLUTIONTIME=10.5, "));
}

}  // namespace
}  // namespace kelpra
