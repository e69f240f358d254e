// The Tecplot writer on small data sets: exact ASCII text, binary values read back, and the
// checks that keep a zone from being written incomplete or out of order.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <limits>
#include <regex>

#include <sys/wait.h>
#include <unistd.h>

#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "plot/textpipeline.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/units.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/tecplot_reader.hpp"

namespace kelpra {
namespace {

std::string field(double x) {
  char f[27] = {};
  formatreal26(x, f);
  return std::string(f, 26);
}

TEST(RealField, FixedAndExponentForms) {
  EXPECT_EQ(field(0.0), "   0.0000000000000000     ");
  EXPECT_EQ(field(-0.0), "   0.0000000000000000     ");
  EXPECT_EQ(field(1.5), "   1.5000000000000000     ");
  EXPECT_EQ(field(-2.5), "  -2.5000000000000000     ");
  EXPECT_EQ(field(0.1), "  0.10000000000000001     ");
  EXPECT_EQ(field(123456.789), "   123456.78900000000     ");
  EXPECT_EQ(field(1.2345e16), "   12345000000000000.     ");
  EXPECT_EQ(field(0.01), "  0.10000000000000000E-001");
  EXPECT_EQ(field(0.099), "  0.99000000000000005E-001");
  EXPECT_EQ(field(1.0e17), "  0.10000000000000000E+018");
  EXPECT_EQ(field(-3.0e-300), " -0.30000000000000002E-299");
  EXPECT_EQ(field(static_cast<double>(0.1f)), "  0.10000000149011612     ");
  // The largest double below 0.1 stays below it at 17 digits.
  EXPECT_EQ(field(std::nextafter(0.1, 0.0)), "  0.99999999999999992E-001");
  EXPECT_EQ(field(std::numeric_limits<double>::quiet_NaN()), "                  NaN     ");
  EXPECT_EQ(field(-std::numeric_limits<double>::infinity()), "            -Infinity     ");
}

// The exact integer path gives the digits and exponent of general scientific formatting.
TEST(RealField, IntegerPathMatchesScientificFormatting) {
  std::mt19937_64 random(5);
  std::vector<double> values = {1.0e-6, std::nextafter(1.0e-6, 1.0), 0.1, 0.5, 1.0, 9.5, 10.0, 99.999999999999986,
                                1.0e15, 9007199254740991.0, std::nextafter(1.0e16, 0.0), 1.0e16, 123456.789,
                                0.30000000000000004, 2.5e-6, 1.0 / 3.0};
  for (int p = -6; p <= 15; ++p) {
    const double ten = std::pow(10.0, p);
    values.insert(values.end(), {ten, std::nextafter(ten, 0.0), std::nextafter(ten, 1e300)});
  }
  for (int i = 0; i < 200000; ++i) {
    const double exponent = std::uniform_real_distribution<double>(-6.0, 15.9)(random);
    values.push_back(std::pow(10.0, exponent) * std::uniform_real_distribution<double>(1.0, 1.0000001)(random));
  }
  for (const double x : values) {
    char digits[17];
    int exponent = 0;
    if (!seventeendigits(x, digits, exponent)) {
      ASSERT_TRUE(x <= 1.0e-6 || x >= 9007199254740992.0) << x;  // left to the general path
      continue;
    }
    char sci[40];
    const auto r = std::to_chars(sci, sci + sizeof sci, x, std::chars_format::scientific, 16);
    const std::string expected(sci, r.ptr);
    std::string got = std::string(1, digits[0]) + "." + std::string(digits + 1, 16) + "e";
    got += (exponent < 0 ? "-" : "+");
    got += (std::abs(exponent) < 10 ? "0" : "") + std::to_string(std::abs(exponent));
    ASSERT_EQ(got, expected) << x;
  }
  char digits[17];
  int exponent = 0;
  for (const double outside : {9.0e-7, 9007199254740992.0, 1.0e300, 5.0e-324}) {
    EXPECT_FALSE(seventeendigits(outside, digits, exponent)) << outside;
  }
}

using testkit::expectstop;

class Writer : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    setbaseunits(kilogram_meter_second);
    plot_data.prefix = "abc";
  }

  // A "pm" domain of two bricks stacked in one column: 12 nodes, 2 elements.
  static DOMAIN pmdomain() {
    DOMAIN dom;
    dom.name = "pm";
    dom.coupling = 1;
    dom.nn = 12;
    dom.ne = 2;
    dom.nln = 8;
    dom.zonetype = "FEBRICK";
    dom.incidences = {1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8, 9, 10, 11, 12};
    for (int i = 0; i < 12; ++i) dom.x.push_back(i % 2), dom.z.push_back(i / 4);
    return dom;
  }

  // Registers X (double), Head (double, units "L") and Layer (integer, cell-centred).
  void registervars(DOMAIN& dom) {
    tecplotinit(dom);
    std::int32_t xvar = 0, headvar = 0, layervar = 0;
    tecplotvaradd("X", dom.nvar, xvar, dom.varlist);
    tecplotdatatypereal8(xvar, dom.x, dom);
    tecplotvarunitsadd("X", xvar, "L", dom);
    tecplotvaradd("Head", dom.nvar, headvar, dom.varlist);
    tecplotdatatypereal8(headvar, dom.z, dom);
    tecplotvarunitsadd("Head", headvar, "L", dom);
    tecplotvaradd("Layer", dom.nvar, layervar, dom.varlist);
    tecplotdatatypeint4(layervar, {}, dom);
  }

  void writezone1(DOMAIN& dom, std::string_view time) {
    tecplotvarlocccadd(3, dom);
    tecplotwritezonefe("pm", 12, 2, time, 0, dom);
    const Mask none;
    tecplotwritearrayreal8(1, 12, dom.x, false, none, "X", dom);
    tecplotwritearrayreal8(2, 12, dom.z, false, none, "Head", dom);
    const std::vector<std::int32_t> layers = {1, 2};
    tecplotwritearrayint4(3, 2, layers, false, none, "Layer", dom);
    tecplotwriteconnectivity(Mask(2, 1), dom);
  }

  // Opens the data set and writes two zones: zone 1 whole, zone 2 with X shared, heads of
  // 7.25 and the given layers (cell-centred again). The data set is left open.
  void writetwozones(DOMAIN& dom, const std::string& base, std::string_view title, std::string_view time1,
                     const std::vector<std::int32_t>& layers2) {
    registervars(dom);
    tecplotfileopen(base, title, dom.nvar, dom.varlist, dom);
    tecplotvarunitswrite(dom);
    writezone1(dom, time1);
    tecplotvarshareadd(1, 1, dom);
    tecplotvarlocccadd(3, dom);
    tecplotwritezonefe("pm", 12, 2, "200.5", 1, dom);
    const std::vector<double> heads(12, 7.25);
    tecplotwritearrayreal8(2, 12, heads, false, Mask(), "Head", dom);
    tecplotwritearrayint4(3, 2, layers2, false, Mask(), "Layer", dom);
  }

  // writetwozones in binary mode at base "abco.pm", titled "Title" at time 100.0 with layers
  // 5 and 6; returns the base.
  std::string writebinarytwozones(DOMAIN& dom) {
    plot_data.tecplot_bin_mode = true;
    const std::string base = (dir / "abco.pm").string();
    writetwozones(dom, base, "Title", "100.0", {5, 6});
    return base;
  }

  testkit::TempDir dir;
};

TEST_F(Writer, AsciiDataSetText) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  const std::string base = (dir / "abco.pm").string();
  writetwozones(dom, base, "Title one   ", " 100.0 ", {-1, 2000000000});
  tecplotfileclose(dom);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "   1     X\n   2     Head\n   3     Layer\nClosing tecplot file: " + base + "\n");
  EXPECT_EQ(dom.unit, -1);

  std::string text = testkit::readfile(base + ".dat");
  // The creation date changes from run to run.
  text = std::regex_replace(text, std::regex("Date_Created=\"[^\"]*\""), "Date_Created=\"D\"");
  const std::string sevens = "   7.2500000000000000     ";
  const std::string expected =
      "TITLE = \"Title one\"\n"
      "VARIABLES = \"X\",\"Head\",\"Layer\"\n"
      "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"\n"
      "DATASETAUXDATA TNQ_Version=\"2975\"\n"
      "DATASETAUXDATA Date_Created=\"D\"\n"
      "DATASETAUXDATA Model_Prefix=\"abc\"\n"
      "DATASETAUXDATA Mass_Base_Unit=\"kg\"\n"
      "DATASETAUXDATA Length_Base_Unit=\"m\"\n"
      "DATASETAUXDATA Time_Base_Unit=\"s\"\n"
      "DATASETAUXDATA Temperature_Base_Unit=\"deg C\"\n"
      "# X units: (m)\n# Head units: (m)\n"
      "VARAUXDATA 1 Units=\"(m)\"\nVARAUXDATA 2 Units=\"(m)\"\n"
      "ZONE T=\"pm\", SOLUTIONTIME=100.0, DATAPACKING=BLOCK, NODES=12, ELEMENTS=2, ZONETYPE=FEBRICK, "
      "VARLOCATION=([3]=CELLCENTERED)\n"
      "DT=(DOUBLE,DOUBLE,LONGINT)\n"
      "# X\n" +
      field(0) + field(1) + field(0) + field(1) + field(0) + "\n" + field(1) + field(0) + field(1) + field(0) +
      field(1) + "\n" + field(0) + field(1) + "\n" +
      "# Head\n" + field(0) + field(0) + field(0) + field(0) + field(1) + "\n" + field(1) + field(1) + field(1) +
      field(2) + field(2) + "\n" + field(2) + field(2) + "\n" +
      "# Layer\n          1          2\n"
      "# element node lists\n"
      "         1          2          3          4          5          6          7          8 \n"
      "         5          6          7          8          9         10         11         12 \n"
      "ZONE T=\"pm\", SOLUTIONTIME=200.5, DATAPACKING=BLOCK, NODES=12, ELEMENTS=2, ZONETYPE=FEBRICK, "
      "VARLOCATION=([3]=CELLCENTERED), VARSHARELIST=([1]=1), CONNECTIVITYSHAREZONE=1\n"
      "DT=(DOUBLE,DOUBLE,LONGINT)\n"
      "# Head\n" +
      sevens + sevens + sevens + sevens + sevens + "\n" + sevens + sevens + sevens + sevens + sevens + "\n" +
      sevens + sevens + "\n" + "# Layer\n         -1 2000000000\n";
  EXPECT_EQ(text, expected);
}

TEST_F(Writer, ZoneLineOfTheWorkedExample) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  tecplotinit(dom);
  std::int32_t v = 0;
  for (const char* name : {"X", "Y", "Z", "A", "B"}) tecplotvaradd(name, dom.nvar, v, dom.varlist);
  tecplotfileopen((dir / "ex").string(), "t", dom.nvar, dom.varlist, dom);
  dom.zone = 1;  // as if zone 1 had been written
  tecplotvarlocccadd(4, dom);
  tecplotvarlocccadd(5, dom);
  for (int k = 1; k <= 3; ++k) tecplotvarshareadd(k, 1, dom);
  dom.zonevarstate.clear();
  tecplotwritezonefe("pm", 1000, 800, "100.0", 1, dom);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(plot_data.zone_line,
            "ZONE T=\"pm\", SOLUTIONTIME=100.0, DATAPACKING=BLOCK, NODES=1000, ELEMENTS=800, ZONETYPE=FEBRICK, "
            "VARLOCATION=([4,5]=CELLCENTERED), VARSHARELIST=([1,2,3]=1), CONNECTIVITYSHAREZONE=1");
  EXPECT_EQ(plot_data.varloc, "");
  EXPECT_EQ(plot_data.dlist, "");
  // Every group names its source zone: without it a reader takes the previous zone.
  for (const int k : {3, 1}) tecplotvarshareadd(k, 1, dom);
  tecplotvarshareadd(2, 2, dom);
  tecplotvarshareadd(5, 1, dom);
  tecplotvarshareadd(5, 0, dom);  // zone 0: not shared after all
  dom.zonevarstate.clear();
  ::testing::internal::CaptureStdout();
  tecplotwritezonefe("pm", 1000, 800, "", 1, dom);
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(plot_data.zone_line.ends_with("VARSHARELIST=([1,3]=1, [2]=2), CONNECTIVITYSHAREZONE=1"))
      << plot_data.zone_line;
}

TEST_F(Writer, FirstZoneDropsShareMarksAndBlankTimeGivesNoSolutionTime) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  tecplotinit(dom);
  std::int32_t v = 0;
  tecplotvaradd("X", dom.nvar, v, dom.varlist);
  tecplotfileopen((dir / "z").string(), "t", dom.nvar, dom.varlist, dom);
  tecplotvarshareadd(1, 1, dom);
  tecplotwritezonefe("pm", 12, 2, "   ", 0, dom);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(plot_data.zone_line,
            "ZONE T=\"pm\", DATAPACKING=BLOCK, NODES=12, ELEMENTS=2, ZONETYPE=FEBRICK");
  // The shared mark was dropped, so X must be written in zone 1.
  EXPECT_EQ(dom.zonevarstate, std::vector<std::uint8_t>{0});
}

TEST_F(Writer, RegistrationListsAndEcho) {
  DOMAIN dom;
  std::int32_t n = 0;
  ::testing::internal::CaptureStdout();
  dom.nvar = 11;
  tecplotvaradd("Head  ", dom.nvar, n, dom.varlist);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "  12     Head\n");
  EXPECT_EQ(n, 12);

  DOMAIN a;
  ::testing::internal::CaptureStdout();
  tecplotvaradd("X", a.nvar, n, a.varlist);
  tecplotvaradd("Y", a.nvar, n, a.varlist);
  EXPECT_EQ(a.varlist, "\"X\",\"Y\"");
  plot_data.tecplot_bin_mode = true;
  DOMAIN b;
  tecplotvaradd("X", b.nvar, n, b.varlist);
  tecplotvaradd("Y", b.nvar, n, b.varlist);
  tecplotvaradd("Conc a,b", b.nvar, n, b.varlist);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(b.varlist, "X,Y,\"Conc a,b\"");

  // The quoted name stays one variable of the binary data set.
  void* handle = nullptr;
  const std::string base = (dir / "comma").string();
  ASSERT_EQ(tecFileWriterOpen(base.c_str(), "t", b.varlist.c_str(), 1, 0, 0, nullptr, &handle), 0);
  ASSERT_EQ(tecFileWriterClose(&handle), 0);
  testkit::TecplotFile file;
  std::string error;
  ASSERT_TRUE(testkit::readtecplot(base + ".szplt", file, error)) << error;
  EXPECT_EQ(file.variables, (std::vector<std::string>{"X", "Y", "Conc a,b"}));
}

TEST_F(Writer, DataTypesAndUnitListsPerBackEnd) {
  DOMAIN dom;
  tecplotdatatypereal8(1, {}, dom);
  tecplotdatatypereal8(2, {}, dom);
  tecplotdatatypeint4(3, {}, dom);
  tecplotdatatype(4, 7, dom);
  EXPECT_EQ(dom.dtlist, "DOUBLE,DOUBLE,LONGINT,SINGLE");
  EXPECT_EQ(tecdt2string(2), "DOUBLE  ");
  EXPECT_EQ(tecdt2string(9), "SINGLE  ");
  tecplotvarunitsadd("Blank", 5, "   ", dom);
  EXPECT_EQ(dom.unitcomments, "");

  plot_data.tecplot_bin_mode = true;
  DOMAIN bin;
  tecplotinit(bin);
  ASSERT_EQ(bin.vardatatype.size(), 100);
  for (int i = 1; i <= 100; ++i) tecplotdatatype(i, 2, bin);
  tecplotdatatype(101, 3, bin);
  EXPECT_EQ(bin.vardatatype.size(), 150);
  EXPECT_EQ(bin.vardatatype(101), 3);
  EXPECT_EQ(bin.vardatatype(150), 1);
  tecplotvarunitsadd("Far", 160, "M * L^-3", bin);
  EXPECT_EQ(bin.varunits.size(), 160);
  EXPECT_EQ(std::string(bin.varunits(160)).substr(0, 12), "(kg m^-3)   ");
}

TEST_F(Writer, SpeciesUnitsFollowTheKindOfSpecies) {
  plot_data.is_temperature = {true, false, false};
  plot_data.is_colloid = {false, true, false};
  EXPECT_EQ(parseunitstrans(2, "M * L^-3"), parseunits("Nc * L^-3"));
  EXPECT_EQ(parseunitstrans(3, "M * L^-3"), parseunits("M * L^-3"));
  EXPECT_EQ(parseunitstrans(1, "M * L^-2 * T^-1"), parseunits("M * T^-3"));
  EXPECT_EQ(parseunitstrans(1, "M * L^-3"), "(deg C)");
  settempunitstok();
}

TEST_F(Writer, LineLayoutOfValueBlocks) {
  const int unit = getunit();
  const std::string name = (dir / "lines.txt").string();
  ASSERT_EQ(openunit(unit, name, FileForm::formatted, OpenStatus::replace), 0);
  std::vector<double> seven(7, 1.0), ten(10, 1.0), three(3, 1.0);
  writearrayreal8(7, seven, unit);
  writearrayreal8(10, ten, unit);
  writearrayreal8(3, three, unit);
  writearrayreal8(0, three, unit);
  std::vector<double> many(5001, 2.0);
  writearrayreal8(5001, many, unit);
  freeunit(unit);
  const std::string text = testkit::readfile(name);
  std::vector<std::size_t> lengths;
  std::size_t start = 0;
  for (std::size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', start)) {
    lengths.push_back(p - start);
    start = p + 1;
  }
  ASSERT_EQ(lengths.size(), 2u + 2u + 1u + 1001u);
  EXPECT_EQ(lengths[0], 130u);
  EXPECT_EQ(lengths[1], 52u);
  EXPECT_EQ(lengths[2], 130u);
  EXPECT_EQ(lengths[3], 130u);
  EXPECT_EQ(lengths[4], 78u);
  EXPECT_EQ(lengths.back(), 26u);
}

TEST_F(Writer, ElementShapesAndTruncatedNumbering) {
  DOMAIN olf;
  olf.name = "olf";
  olf.nln = 3;
  olf.incidences = {1, 2, 3};
  std::array<std::int32_t, 8> nodes{};
  tecplotelemconnectivity(olf, 1, nodes);
  EXPECT_EQ((std::vector<int>(nodes.begin(), nodes.begin() + 4)), (std::vector<int>{1, 2, 3, 3}));

  DOMAIN prism;
  prism.name = "pm";
  prism.nln = 6;
  prism.incidences = {1, 2, 3, 4, 5, 6};
  prism.nodemap = {10, 20, 30, 40, 50, 60};
  tecplotelemconnectivity(prism, 1, nodes);
  EXPECT_EQ((std::vector<int>(nodes.begin(), nodes.end())), (std::vector<int>{10, 20, 30, 30, 40, 50, 60, 60}));
  EXPECT_EQ(zonetypecode(4, "pm"), 4);
  EXPECT_EQ(zonetypecode(4, "dual"), 4);
  EXPECT_EQ(zonetypecode(4, "olf"), 3);
  EXPECT_EQ(zonetypecode(6, "olf"), 5);
  EXPECT_EQ(zonetypeword(5, "pm"), "");
}

TEST_F(Writer, OverlandWallsMapNodesOntoTheirWallCopies) {
  DOMAIN olf;
  olf.name = "olf";
  olf.coupling = 1;
  olf.nln = 4;
  olf.globalstart = 100;
  olf.incidences = {1, 2, 3, 4};  // "pm" node numbers
  olf.link_pm2dom = {101, 102, 103, 104};
  olf.nn = 5;
  olf.nodemask = {1, 1, 1, 1, 1};
  plot_data.olf_wall = true;
  plot_data.is_wallnode.assign(110, 0);
  plot_data.is_wallnode[102 - 1] = 1;
  plot_data.olfwallbase = 100;
  plot_data.link_olf2wall.allocate(10, 2, 0);
  plot_data.link_olf2wall(2, 2) = 105;
  plot_data.wallelemid = {2};
  std::array<std::int32_t, 8> nodes{};
  tecplotelemconnectivity(olf, 1, nodes);
  EXPECT_EQ((std::vector<int>(nodes.begin(), nodes.begin() + 4)), (std::vector<int>{1, 5, 3, 4}));

  // With node 2 left out the kept own nodes are numbered in order.
  DOMAIN cut = olf;
  cut.nodemask = {1, 0, 1, 1, 1};
  tecplotelemconnectivity(cut, 1, nodes);
  EXPECT_EQ((std::vector<int>(nodes.begin(), nodes.begin() + 4)), (std::vector<int>{1, 4, 2, 3}));

  // Another multi-node domain never reads the overland wall tables.
  DOMAIN chan = olf;
  chan.name = "chan";
  tecplotelemconnectivity(chan, 1, nodes);
  EXPECT_EQ((std::vector<int>(nodes.begin(), nodes.begin() + 4)), (std::vector<int>{1, 2, 3, 4}));

  // A wall number outside the tables is an input error, not a read past them.
  plot_data.wallelemid = {3};
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(tecplotelemconnectivity(olf, 1, nodes), RunStopped);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("is not in the wall tables"), std::string::npos);
}

TEST_F(Writer, TruncatedArraysArePackedAndWorkArraysGrow) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  tecplotinit(dom);
  std::int32_t v = 0;
  tecplotvaradd("X", dom.nvar, v, dom.varlist);
  tecplotdatatypereal8(v, {}, dom);
  tecplotfileopen((dir / "t").string(), "t", dom.nvar, dom.varlist, dom);
  dom.nodemap = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0};
  tecplotwritezonefe("pm", 8, 1, "", 0, dom);
  Mask nodes(12, 0);
  for (int i = 0; i < 8; ++i) nodes[static_cast<std::size_t>(i)] = 1;
  ASSERT_TRUE(plot_data.tmpr8.empty());
  tecplotwritearrayreal8(1, 12, dom.z, true, nodes, "X", dom);
  EXPECT_GE(plot_data.tmpr8.size(), 8u);
  tecplotwriteconnectivity(Mask{1, 0}, dom);
  tecplotfileclose(dom);
  ::testing::internal::GetCapturedStdout();
  const std::string text = testkit::readfile((dir / "t.dat").string());
  EXPECT_NE(text.find("# X\n" + field(0) + field(0) + field(0) + field(0) + field(1) + "\n" + field(1) + field(1) +
                      field(1) + "\n# element node lists\n"),
            std::string::npos);
}

class WriterErrors : public Writer {
 protected:
  DOMAIN opened() {
    DOMAIN dom = pmdomain();
    ::testing::internal::CaptureStdout();
    registervars(dom);
    tecplotfileopen((dir / "e").string(), "t", dom.nvar, dom.varlist, dom);
    ::testing::internal::GetCapturedStdout();
    return dom;
  }
};

// A stopping report closes every file, so each case starts from a fresh data set.
TEST_F(WriterErrors, EveryVariableOfEveryZoneIsWrittenOrSharedExactlyOnce) {
  const Mask none;
  auto zone1 = [&] {
    DOMAIN dom = opened();
    tecplotwritezonefe("pm", 12, 2, "1", 0, dom);
    return dom;
  };
  DOMAIN a = zone1();
  expectstop([&] { tecplotwritearrayreal8(2, 12, a.z, false, none, "Head", a); }, "comes before variable # 1");
  DOMAIN b = zone1();
  tecplotwritearrayreal8(1, 12, b.x, false, none, "X", b);
  expectstop([&] { tecplotwritearrayreal8(1, 12, b.x, false, none, "X", b); }, "written twice");
  DOMAIN c = zone1();
  tecplotwritearrayreal8(1, 12, c.x, false, none, "X", c);
  expectstop([&] { tecplotwritearrayreal8(2, 11, c.z, false, none, "Head", c); }, "has 11 values, 12 expected");
  DOMAIN d = zone1();
  tecplotwritearrayreal8(1, 12, d.x, false, none, "X", d);
  expectstop([&] { tecplotwritezonefe("pm", 12, 2, "2", 1, d); }, "has no values for variable # 2");

  DOMAIN e = opened();
  writezone1(e, "1");
  tecplotvarshareadd(1, 1, e);
  tecplotwritezonefe("pm", 12, 2, "2", 1, e);
  expectstop([&] { tecplotwritearrayreal8(1, 12, e.x, false, none, "X", e); }, "is shared");
  DOMAIN f = opened();
  writezone1(f, "1");
  tecplotvarshareadd(1, 1, f);
  tecplotwritezonefe("pm", 12, 2, "2", 1, f);
  ::testing::internal::CaptureStdout();
  expectstop([&] { tecplotfileclose(f); }, "has no values for variable # 2");
  ::testing::internal::GetCapturedStdout();
}

TEST_F(WriterErrors, MarksOutOfRangeCountsAndMissingConnectivity) {
  DOMAIN a = opened();
  expectstop([&] { tecplotvarshareadd(4, 1, a); }, "share mark for variable # 4");
  DOMAIN b = opened();
  expectstop([&] { tecplotvarlocccadd(0, b); }, "cell-centred mark for variable # 0");
  DOMAIN c = opened();
  tecplotvarlocccadd(3, c);
  tecplotwritezonefe("pm", 12, 2, "1", 0, c);
  tecplotwritearrayreal8(1, 12, c.x, false, Mask(), "X", c);
  tecplotwritearrayreal8(2, 12, c.z, false, Mask(), "Head", c);
  expectstop([&] { tecplotwritearrayint4(3, 12, std::vector<std::int32_t>(12), false, Mask(), "L", c); },
             "has 12 values, 2 expected");
  DOMAIN d = opened();
  tecplotvarlocccadd(3, d);
  tecplotwritezonefe("pm", 12, 2, "1", 0, d);
  tecplotwritearrayreal8(1, 12, d.x, false, Mask(), "X", d);
  tecplotwritearrayreal8(2, 12, d.z, false, Mask(), "Head", d);
  tecplotwritearrayint4(3, 2, std::vector<std::int32_t>(2), false, Mask(), "L", d);
  expectstop([&] { tecplotwritezonefe("pm", 12, 2, "2", 1, d); }, "has no element connectivity");
}

TEST_F(WriterErrors, UnsupportedElementShapeIsAnInputError) {
  DOMAIN dom = opened();
  dom.nln = 5;
  expectstop([&] { tecplotwritezonefe("pm", 12, 2, "1", 0, dom); },
             "INPUT ERROR");
}

TEST_F(Writer, MetadataForAnotherTextFileLeavesTheModeAlone) {
  plot_data.tecplot_bin_mode = true;
  const int unit = getunit();
  const std::string name = (dir / "cmp.dat").string();
  ASSERT_EQ(openunit(unit, name, FileForm::formatted, OpenStatus::replace), 0);
  tecplotmetadataascii(unit);
  freeunit(unit);
  EXPECT_TRUE(plot_data.tecplot_bin_mode);
  const std::string text = testkit::readfile(name);
  EXPECT_EQ(text.substr(0, 53), "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
}

// The binary close writes the data set itself; when it cannot, the run must not end as if
// it had. The temporary files stay for a later run.
TEST_F(WriterErrors, BinaryCloseThatCannotWriteTheDataSetStops) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  const std::string base = writebinarytwozones(dom);
  std::filesystem::create_directory(base + ".szplt");
  expectstop([&] { tecplotfileclose(dom); }, ".szplt could not be written.");
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(dom.tecfilehandle, nullptr);
  EXPECT_TRUE(std::filesystem::exists(base + ".szplt.szdat"));
}

TEST_F(Writer, BinaryDataSetHoldsTheSameValuesAsAscii) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  const std::string base = writebinarytwozones(dom);
  tecplotfileclose(dom);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(dom.tecfilehandle, nullptr);

  testkit::TecplotFile file;
  std::string error;
  ASSERT_TRUE(testkit::readtecplot(base + ".szplt", file, error)) << error;
  EXPECT_EQ(file.title, "Title");
  EXPECT_EQ(file.variables, (std::vector<std::string>{"X", "Head", "Layer"}));
  ASSERT_EQ(file.zones.size(), 2u);
  const auto& z1 = file.zones[0];
  const auto& z2 = file.zones[1];
  EXPECT_EQ(z1.zonetype, 5);
  EXPECT_DOUBLE_EQ(z1.solutiontime, 100.0);
  EXPECT_DOUBLE_EQ(z2.solutiontime, 200.5);
  EXPECT_EQ(z1.values[0], std::vector<double>(dom.x.begin(), dom.x.end()));
  EXPECT_EQ(z2.values[0], z1.values[0]);
  EXPECT_EQ(z2.sharezone[0], 0);
  EXPECT_EQ(z2.values[1], std::vector<double>(12, 7.25));
  EXPECT_EQ(z1.cellcentred, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(z2.cellcentred, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(z2.values[2], (std::vector<double>{5, 6}));
  EXPECT_EQ(z1.datatypes, (std::vector<int>{2, 2, 3}));
  EXPECT_EQ(z1.connectivity, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(z2.connectivity, z1.connectivity);
  int units = 0;
  for (const auto& aux : file.aux) {
    if (aux.var >= 0) {
      EXPECT_EQ(aux.name, "Units");
      EXPECT_EQ(aux.value, "(m)");
      ++units;
    }
  }
  EXPECT_EQ(units, 2);
}

// The overland mesh lies on the top layer of "pm": its elements name "pm" nodes 5 to 8, its own
// nodes are 1 to 4 and the node map runs over the "pm" nodes.
TEST_F(Writer, OverlandQuadrilateralsOnTopOfThePorousMedium) {
  DOMAIN olf;
  olf.name = "olf";
  olf.coupling = 1;
  olf.nln = 4;
  olf.nn = 4;
  olf.globalstart = 8;
  olf.incidences = {5, 6, 8, 7};
  olf.link_pm2dom = {0, 0, 0, 0, 9, 10, 11, 12};
  olf.link_dom2pm = {5, 6, 7, 8};
  olf.nodemask = {1, 1, 1, 1};
  olf.nodemap = {0, 0, 0, 0, 1, 2, 3, 4};
  std::array<std::int32_t, 8> nodes{};
  tecplotelemconnectivity(olf, 1, nodes);
  EXPECT_EQ((std::vector<int>(nodes.begin(), nodes.begin() + 4)), (std::vector<int>{1, 2, 4, 3}));
}

TEST_F(Writer, BinaryZoneOfManyVariablesWithoutDataTypeCalls) {
  plot_data.tecplot_bin_mode = true;
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  tecplotinit(dom);
  std::int32_t v = 0;
  for (int i = 1; i <= 120; ++i) tecplotvaradd("V" + std::to_string(i), dom.nvar, v, dom.varlist);
  const std::string base = (dir / "many").string();
  tecplotfileopen(base, "t", dom.nvar, dom.varlist, dom);
  tecplotwritezonefe("pm", 12, 2, "1.0", 0, dom);
  const std::vector<float> values(12, 0.5f);
  for (int i = 1; i <= 120; ++i) tecplotwritearrayreal4(i, 12, values, false, Mask(), "V", dom);
  tecplotwriteconnectivity(Mask(2, 1), dom);
  tecplotfileclose(dom);
  ::testing::internal::GetCapturedStdout();
  testkit::TecplotFile file;
  std::string error;
  ASSERT_TRUE(testkit::readtecplot(base + ".szplt", file, error)) << error;
  ASSERT_EQ(file.zones.size(), 1u);
  EXPECT_EQ(file.zones[0].datatypes, std::vector<int>(120, 1));
  EXPECT_EQ(file.zones[0].values[119], std::vector<double>(12, 0.5));
}

// An appending run continues a binary data set that already holds zone 1; its first zone still
// writes every variable, so a share mark made before it is dropped in the checks as in the file.
TEST_F(Writer, FirstZoneOfAnAppendingRunSharesNothing) {
  plot_data.tecplot_bin_mode = true;
  const std::string base = (dir / "app").string();
  const Mask none;
  const pid_t pid = fork();
  if (pid == 0) {
    DOMAIN dom = pmdomain();
    ::testing::internal::CaptureStdout();
    registervars(dom);
    tecplotfileopen(base, "t", dom.nvar, dom.varlist, dom);
    writezone1(dom, "1.0");
    tecplotfileflush(dom);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  registervars(dom);
  plot_data.tecappend = true;  // continuing output time 1; the close below then writes the file
  plot_data.tecappendnfile = 2;
  tecplotfileopen(base, "t", dom.nvar, dom.varlist, dom);
  plot_data.tecappend = false;
  tecplotvarshareadd(1, 1, dom);
  tecplotvarlocccadd(3, dom);
  tecplotwritezonefe("pm", 12, 2, "2.0", 0, dom);
  EXPECT_EQ(dom.zone, 2);
  tecplotwritearrayreal8(1, 12, dom.x, false, none, "X", dom);
  tecplotwritearrayreal8(2, 12, dom.z, false, none, "Head", dom);
  tecplotwritearrayint4(3, 2, std::vector<std::int32_t>{1, 2}, false, none, "Layer", dom);
  tecplotwriteconnectivity(Mask(2, 1), dom);
  tecplotfileclose(dom);
  ::testing::internal::GetCapturedStdout();
  testkit::TecplotFile file;
  std::string error;
  ASSERT_TRUE(testkit::readtecplot(base + ".szplt", file, error)) << error;
  ASSERT_EQ(file.zones.size(), 2u);
  EXPECT_EQ(file.zones[1].sharezone, (std::vector<int>{-1, -1, -1}));
  EXPECT_DOUBLE_EQ(file.zones[1].solutiontime, 2.0);
}

// In a binary data set a share mark with zone 0 means no sharing: the variable is written.
TEST_F(Writer, BinaryShareMarkWithZoneZeroWritesTheValues) {
  plot_data.tecplot_bin_mode = true;
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  registervars(dom);
  const std::string base = (dir / "zero").string();
  tecplotfileopen(base, "t", dom.nvar, dom.varlist, dom);
  writezone1(dom, "1.0");
  tecplotvarshareadd(1, 0, dom);
  tecplotvarshareadd(2, 1, dom);
  tecplotvarlocccadd(3, dom);
  tecplotwritezonefe("pm", 12, 2, "2.0", 1, dom);
  tecplotwritearrayreal8(1, 12, dom.x, false, Mask(), "X", dom);
  tecplotwritearrayint4(3, 2, std::vector<std::int32_t>{1, 2}, false, Mask(), "Layer", dom);
  tecplotfileclose(dom);
  ::testing::internal::GetCapturedStdout();
  testkit::TecplotFile file;
  std::string error;
  ASSERT_TRUE(testkit::readtecplot(base + ".szplt", file, error)) << error;
  ASSERT_EQ(file.zones.size(), 2u);
  EXPECT_EQ(file.zones[1].sharezone, (std::vector<int>{-1, 0, -1}));
}

TEST_F(Writer, LongAsciiMarkListsAreKeptWhole) {
  DOMAIN dom = pmdomain();
  ::testing::internal::CaptureStdout();
  tecplotinit(dom);
  std::int32_t v = 0;
  for (int i = 1; i <= 300; ++i) tecplotvaradd("V" + std::to_string(i), dom.nvar, v, dom.varlist);
  for (int i = 1; i <= 300; ++i) tecplotdatatypereal8(i, {}, dom);
  tecplotfileopen((dir / "long").string(), "t", dom.nvar, dom.varlist, dom);
  dom.zone = 1;  // as if zone 1 had been written
  for (int i = 1; i <= 300; ++i) tecplotvarshareadd(i, 1, dom);
  for (int i = 1; i <= 300; ++i) tecplotvarlocccadd(i, dom);
  tecplotwritezonefe("pm", 12, 2, "", 1, dom);
  ::testing::internal::GetCapturedStdout();
  std::string numbers;
  for (int i = 1; i <= 300; ++i) numbers += (i > 1 ? "," : "") + std::to_string(i);
  EXPECT_NE(plot_data.zone_line.find("VARLOCATION=([" + numbers + "]=CELLCENTERED)"), std::string::npos);
  EXPECT_NE(plot_data.zone_line.find("VARSHARELIST=([" + numbers + "]=1)"), std::string::npos);
  EXPECT_EQ(std::count(dom.dtlist.begin(), dom.dtlist.end(), ','), 299);
}

// Large arrays are formatted on all cores in chunks; the text must be the one the single
// thread writes, also where a chunk ends inside a line group or the last line is short.
TEST_F(Writer, ArraysWrittenOnAllCoresMatchOneThreadByteForByte) {
  const std::size_t n = 300007;
  std::vector<double> r8(n);
  std::vector<float> r4(n);
  std::vector<std::int32_t> i4(n);
  for (std::size_t i = 0; i < n; ++i) {
    r8[i] = std::sin(static_cast<double>(i)) * std::pow(10.0, static_cast<double>(i % 40) - 20.0);
    r4[i] = static_cast<float>(r8[i]);
    i4[i] = static_cast<std::int32_t>(i * 7919 % 2000000011) - 1000000000;
  }
  const auto writeall = [&](std::size_t threads) {
    testing_only::setformatterthreads(threads);
    const std::string name = (dir / ("arrays" + std::to_string(threads))).string();
    const int unit = getunit();
    EXPECT_EQ(openunit(unit, name, FileForm::formatted, OpenStatus::replace), 0);
    writearrayreal8(static_cast<std::int32_t>(n), r8, unit);
    writearrayreal4(static_cast<std::int32_t>(n), r4, unit);
    writearrayint4(static_cast<std::int32_t>(n), i4, unit);
    for (const int q : {8, 3, 11}) bufferedwriteint4(static_cast<std::int32_t>(n), i4, unit, q);
    freeunit(unit);
    return testkit::readfile(name);
  };
  const std::string one = writeall(1);
  // Few formatters run round their slots many times per array; many leave some idle.
  for (const std::size_t threads : {2, 3, 9}) {
    const std::string many = writeall(threads);
    EXPECT_EQ(one.size(), many.size()) << threads;
    EXPECT_TRUE(one == many) << threads;
  }
  testing_only::setformatterthreads(0);
  EXPECT_EQ(one.substr(0, 26), field(r8[0]));
}

TEST_F(Writer, ConnectivityLinesHoldEightValuesAtMost) {
  const int unit = getunit();
  const std::string name = (dir / "conn.txt").string();
  ASSERT_EQ(openunit(unit, name, FileForm::formatted, OpenStatus::replace), 0);
  std::vector<std::int32_t> values(20);
  for (int i = 0; i < 20; ++i) values[static_cast<std::size_t>(i)] = i + 1;
  bufferedwriteint4(20, values, unit, 10);
  freeunit(unit);
  const std::string text = testkit::readfile(name);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
  EXPECT_EQ(text.substr(0, text.find('\n')).size(), 88u);
}

}  // namespace
}  // namespace kelpra
