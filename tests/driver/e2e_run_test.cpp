// Whole runs of the kelpra program that end normally: the files a run writes (echo file, plot
// control template, ASCII and binary data sets, special plots) as the command line, the prefix,
// the time window, the result files found and the mesh make them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plot/tecio.hpp"
#include "tests/driver/e2e_kit.hpp"
#include "tests/kit/modelwriter.hpp"
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
  // Again, over its own data sets: the output times it looks ahead at leave zone 1 its time.
  EXPECT_EQ(model.run().exitstatus, 0);
  EXPECT_TRUE(model.dat("abco.pm.dat").zones[0].line.starts_with("ZONE T=\"pm\", SOLUTIONTIME=10, "));
}

// A window that takes no output time is an error that leaves the earlier data sets as they
// were; an append run that continues its data sets and finds nothing new ends quietly. Where
// there is no output time at all, the window passes over none: the meshes are written.
TEST(E2eTimeWindow, NoTimeInsideTheWindowWritesNoDataSet) {
  Model model;
  model.control(std::string("truncate time domain\n100 200\nend\n") + std::string(kDomainBlocks));
  const ProcessResult meshes = model.run();
  EXPECT_EQ(meshes.exitstatus, 0) << meshes.err;
  EXPECT_EQ(model.dat("abco.pm.dat").zones.size(), 1U);
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

}  // namespace
}  // namespace kelpra
