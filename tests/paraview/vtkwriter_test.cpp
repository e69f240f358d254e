// VTK files of a domain per output time: the array writers' layout and special values, the
// file's header, cells and section rule on hand-made domain records, and a file loaded by
// VTK's own reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "paraview/paraview.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/vtkreader.hpp"

namespace kelpra {
namespace {

using testkit::readfile;
using Lines = std::vector<std::string>;

// The lines of a text from the one equal to `first` on (all of them for ""; none when absent).
Lines from(const std::string& text, const std::string& first = {}) {
  Lines all;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  const auto at = first.empty() ? all.begin() : std::find(all.begin(), all.end(), first);
  return {at, all.end()};
}

// The section and array lines of a file, in order.
Lines sections(const std::string& text) {
  Lines out;
  for (const std::string& line : from(text)) {
    for (const char* start : {"POINT_DATA", "CELL_DATA", "SCALARS", "VECTORS"}) {
      if (line.rfind(start, 0) == 0) out.push_back(line);
    }
  }
  return out;
}

std::string pad(const std::string& text, std::size_t width) { return std::string(width - text.size(), ' ') + text; }

// A full-mesh record as the set-up leaves it: node i (from 0) at (i mod 3, i div 3,
// 10 + i/4), its porous-medium node 101 + i.
DOMAIN meshrecord(const std::string& name, std::int32_t nln, const std::vector<std::int32_t>& incidences,
                  std::int32_t nn = 6) {
  DOMAIN d;
  d.name = name;
  d.coupling = 1;
  d.nln = nln;
  d.nn = d.nn_trunc = nn;
  d.ne = d.ne_trunc = static_cast<std::int32_t>(incidences.size()) / nln;
  d.incidences = incidences;
  for (std::int32_t i = 0; i < nn; ++i) {
    d.x.push_back(i % 3);
    d.y.push_back(i / 3);
    d.z.push_back(10 + 0.25 * i);
    d.link_dom2pm.push_back(101 + i);
    d.link_pm2dom.push_back(i + 1);
    d.nodemap.push_back(i + 1);
  }
  d.nodemask.assign(static_cast<std::size_t>(nn), 1);
  d.elemmask.assign(static_cast<std::size_t>(d.ne), 1);
  return d;
}

std::vector<double> ramp(std::size_t n, double start) {
  std::vector<double> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(start + 0.25 * static_cast<double>(i));
  return v;
}
std::vector<float> rampf(std::size_t n, float start) {
  std::vector<float> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(start + 0.5f * static_cast<float>(i));
  return v;
}

// Six nodes: one quadrilateral and two triangles (fourth node 0), with heads and depths.
DOMAIN surface(const std::string& name = "olf") {
  DOMAIN d = meshrecord(name, 4, {1, 2, 5, 4, 2, 3, 6, 0, 2, 6, 5, 0});
  d.headavail = true;
  d.head = ramp(6, 11);
  d.depth = d.logdepth = rampf(6, 1);
  return d;
}

class VtkWriter : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = (dir_ / "abc").string();
    plot_data.nfile = 2;
    plot_data.nfs = "0002";
    plot_data.timestamp = "2.5";
    plot_data.ntit = 2;
    plot_data.title = {"first title line", "Model title"};
  }

  std::string path(const DOMAIN& d) const { return plot_data.prefix + "o." + d.name + ".0002.vtk"; }

  // Writes the domain's file and returns it; the screen and the reports land in out_, err_.
  std::string write(const DOMAIN& d) {
    const testkit::Ending e = testkit::ending([&] { multiparaview(d); });
    out_ = e.out;
    err_ = e.err;
    EXPECT_EQ(e.status, -1) << err_;  // not stopped
    return readfile(path(d));
  }

  // What one array writer writes into a file of its own; its result lands in returned_.
  template <class F>
  std::string block(F writer) {
    UnitHandle unit = UnitHandle::take();
    EXPECT_EQ(openunit(unit.unit(), blockfile(), FileForm::formatted, OpenStatus::replace), 0);
    returned_ = writer(unit.unit());
    unit.release();
    return readfile(blockfile());
  }
  std::string blockfile() const { return (dir_ / "block.txt").string(); }

  testkit::TempDir dir_;
  std::string out_, err_;
  bool returned_ = false;
};

// ---------------------------------------------------------------------------------------
// Array writers

TEST_F(VtkWriter, ScalarBlocksHoldSixValuesToALine) {
  const std::vector<double> values = ramp(13, 1.0);
  const Lines got = from(block(
      [&](int unit) { return write_paraview_darray(values, 13, Mask{}, VtkData::point, "head", false, true, unit); }));
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(Lines(got.begin(), got.begin() + 4),
            (Lines{"", "POINT_DATA         13", "SCALARS head float", "LOOKUP_TABLE default"}));
  EXPECT_EQ(got[4].size(), 90u);
  EXPECT_EQ(got[5].size(), 90u);
  EXPECT_EQ(got[4].substr(0, 30), "     1.0000         1.2500    ");
  EXPECT_EQ(got[6], "     4.0000    ");
}

TEST_F(VtkWriter, ScalarBlockSpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    bool eightbyte;
    std::string field, type;
    bool nonfinite;
  } cases[] = {
      {1.0e-31, true, "     0.0000    ", "float", false},   // small 8-byte values go out as zero
      {1.0e-31, false, "    0.10000E-30", "float", false},  // but 4-byte ones as they are
      {1.5e100, true, "   0.15000E+101", "double", false},  // three exponent digits, beyond "float"
      {std::nan(""), true, "     0.0000    ", "float", true}, {inf, false, "     0.0000    ", "float", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    std::vector<double> values = {c.value};
    const std::vector<float> single = {static_cast<float>(c.value)};
    const Lines got = from(block([&](int unit) {
      return c.eightbyte ? write_paraview_darray(values, 1, Mask{}, VtkData::cell, "v", false, false, unit)
                         : write_paraview_array(single, 1, Mask{}, VtkData::cell, "v", false, false, unit);
    }));
    EXPECT_EQ(got, (Lines{"", "SCALARS v " + c.type, "LOOKUP_TABLE default", c.field}));
    EXPECT_EQ(returned_, c.nonfinite);
    EXPECT_TRUE(values[0] == c.value || std::isnan(c.value));  // the caller's values stay
  }
}

TEST_F(VtkWriter, MaskedBlocksWriteOnlyKeptEntries) {
  const std::vector<double> values = {1, 2, 3, 4};
  EXPECT_EQ(block([&](int unit) {
              return write_paraview_darray(values, 4, Mask{1, 0, 0, 1}, VtkData::cell, "v", true, true, unit);
            }),
            "\nCELL_DATA          2\nSCALARS v float\nLOOKUP_TABLE default\n     1.0000         4.0000    \n");
  // Not truncated: every entry, whatever the mask.
  const std::vector<float> x = {1, 2}, y = {3, 4}, z = {5, 6};
  EXPECT_EQ(block([&](int unit) {
              return write_paraview_vector_array(x, y, z, 2, Mask{0, 1}, VtkData::cell, "v", false, false, unit);
            }),
            "\nVECTORS v float\n     1.0000         3.0000         5.0000    \n"
            "     2.0000         4.0000         6.0000    \n");
  // Two components get a zero third one.
  const std::vector<double> dx = {1, 2}, dy = {3, 4};
  EXPECT_EQ(block([&](int unit) {
              return write_paraview_vector_2d_darray(dx, dy, 2, Mask{0, 1}, VtkData::point, "v", true, true, unit);
            }),
            "\nPOINT_DATA          1\nVECTORS v float\n     2.0000         4.0000         0.0000    \n");
  // A non-zero 8-byte component below the smallest normal float makes the vector "double".
  const std::vector<double> tiny = {1e-150, 0};
  EXPECT_EQ(block([&](int unit) {
              return write_paraview_vector_2d_darray(tiny, dy, 2, Mask{1, 0}, VtkData::point, "v", true, false, unit);
            }),
            "\nVECTORS v double\n   0.10000E-149     3.0000         0.0000    \n");
  testkit::expectstop(
      [&] {
        block([&](int unit) { return write_paraview_darray(values, 5, {}, VtkData::point, "v", false, true, unit); });
      },
      "VTK array v of " + blockfile() + " holds 4 values, 5 expected.");
}

TEST(VtkArrayName, OneTokenPerName) {
  EXPECT_EQ(vtkarrayname("head"), "head");
  EXPECT_EQ(vtkarrayname("50% \"x\"\t"), "50%25%20%22x%22%09");
  EXPECT_EQ(vtkarrayname(""), "unnamed");
}

// ---------------------------------------------------------------------------------------
// Whole files

// The text from the line that starts with `first` on; "" when there is none.
std::string tail(const std::string& text, const std::string& first) {
  const std::size_t at = text.rfind("\n" + first);
  return at == std::string::npos ? std::string() : text.substr(at + 1);
}
// The start of `text` as long as `like`.
std::string start(const std::string& text, const std::string& like) { return text.substr(0, like.size()); }

TEST_F(VtkWriter, HeaderTitleTimeAndProgressLines) {
  DOMAIN d = surface();
  const std::string header = "# vtk DataFile Version 1.0\nModel title" + std::string(49, ' ') +
                             "\nASCII\nDATASET UNSTRUCTURED_GRID\nFIELD FieldData 1\nTIME 1 1 double\n"
                             "   2.5000000000000000     \nPOINTS          6 double\n"
                             "   0.0000000000000000         0.0000000000000000         10.000000000000000     \n";
  EXPECT_EQ(start(write(d), header), header);
  EXPECT_EQ(out_, "");  // progress lines only at output time 1
  plot_data.ntit = 0;
  plot_data.title = {""};
  plot_data.timestamp = "later";
  plot_data.nfile = 1;
  EXPECT_EQ(write(d).substr(27, 61), std::string(60, ' ') + "\n");
  EXPECT_NE(tail(readfile(path(d)), "TIME").find("\n   0.0000000000000000     \n"), std::string::npos);
  EXPECT_NE(err_.find("The time stamp \"later\" is not a number: TIME 0.0 is written to " + path(d)), std::string::npos)
      << err_;
  EXPECT_EQ(out_, " \n" + std::string(48, '-') + "\nolf data to paraview\nCreating paraview file " + path(d) +
                      std::string(300 - path(d).size(), ' ') + "\n");
}

// A "pm" record without data ends after its cell types.
TEST_F(VtkWriter, CellShapesAndCounts) {
  const struct {
    std::int32_t nln;
    std::vector<std::int32_t> incidences;
    std::string cells;
  } cases[] = {
      {4, {1, 2, 3, 4, 1, 2, 3, 0}, R"(CELLS          2          9 
4         0          1          2          3 
3         0          1          2 

CELL_TYPES          2
10
5
)"},
      {6, {1, 2, 3, 4, 5, 6}, R"(CELLS          1 
         9 
8         0          1          2          2          3          4          5          5 

CELL_TYPES          1
12
)"},
      {2, {1, 2, 2, 3}, R"(CELLS          2          6 
2         0          1 
2         1          2 

CELL_TYPES          2
3
3
)"},
      {3, {3, 2, 1}, "CELLS          1          4 \n3         2          1          0 \n\nCELL_TYPES          1\n5\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nln);
    EXPECT_EQ(tail(write(meshrecord("pm", c.nln, c.incidences)), "CELLS"), c.cells);
  }
  // Another node count stops the run before any file is made.
  const DOMAIN five = meshrecord("pm", 5, {1, 2, 3, 4, 5});
  std::filesystem::remove(path(five));
  testkit::expectstop([&] { multiparaview(five); }, "Unsupported number of nodes per element (5) in pm domain.");
  EXPECT_FALSE(std::filesystem::exists(path(five)));
  // Elsewhere 4-node elements are quadrilaterals.
  EXPECT_EQ(start(tail(write(surface("chan")), "CELL_TYPES"), "CELL_TYPES          3\n9\n5\n5\n\n"),
            "CELL_TYPES          3\n9\n5\n5\n\n");
}

TEST_F(VtkWriter, SectionsFollowTheKindOfEachArray) {
  DOMAIN olf = surface();
  olf.rainsnowmeltfound = olf.velavail = true;
  olf.snowdepth = olf.snowmelt = olf.liquidp = olf.solidp = ramp(3, 0);
  olf.snowcover = ramp(6, 0);
  olf.vx = olf.vy = olf.vz = rampf(3, 0);
  EXPECT_EQ(sections(write(olf)),
            (Lines{"POINT_DATA          6", "SCALARS head float", "SCALARS depth float", "SCALARS log10Depth float",
                   "CELL_DATA          3", "SCALARS snowdepth float", "SCALARS snowmelt float",
                   "SCALARS liquid_precipitation float", "SCALARS solid_precipitation float", "POINT_DATA          6",
                   "SCALARS snowcover float", "SCALARS 3D_node int", "CELL_DATA          3",
                   "VECTORS linear_velocity_xyz float"}));
  const std::string nodes = "SCALARS 3D_node int\nLOOKUP_TABLE default\n" + pad("101", 26) + "\n";
  EXPECT_EQ(start(tail(readfile(path(olf)), "SCALARS 3D_node"), nodes), nodes);

  // Element properties only: one cell section, no porous-medium node numbers in "pm".
  DOMAIN pm = meshrecord("pm", 4, {1, 2, 3, 4, 2, 3, 4, 5});
  pm.elemkavail = pm.elemvolumeavail = true;
  pm.elemkxx = {1e-31, 2};
  pm.elemkyy = pm.elemkzz = pm.elemvolume = {3, 4};
  EXPECT_EQ(sections(write(pm)), (Lines{"CELL_DATA          2", "SCALARS Kxx float", "SCALARS Kyy float",
                                        "SCALARS Kzz float", "SCALARS Volume float"}));
  EXPECT_EQ(pm.elemkxx[0], 1e-31);
}

TEST_F(VtkWriter, ArraysWrittenOnlyWhenSetUpAndNamedUniquely) {
  DOMAIN pm = meshrecord("pm", 8, {1, 2, 3, 4, 5, 6, 1, 2});
  pm.headavail = pm.envhavail = pm.satavail = true;
  pm.head = pm.depth2gwt = pm.envh = ramp(6, 1);
  pm.sat = rampf(6, 0);
  pm.writeenvh = false;
  EXPECT_EQ(sections(write(pm)), (Lines{"POINT_DATA          6", "SCALARS head float", "SCALARS saturation float"}));
  pm.depth2gwtvar = 3;  // its set-up found heads and node columns
  pm.writeenvh = true;
  EXPECT_EQ(sections(write(pm)),
            (Lines{"POINT_DATA          6", "SCALARS head float", "SCALARS environmental_head float",
                   "SCALARS saturation float", "SCALARS Depth2GWT float"}));

  DOMAIN dual = surface("dual");
  plot_data.nspeciesmob = 2;
  plot_data.spname = {"Na Cl", "head"};
  dual.concavail = dual.exchsoladvavail = true;
  dual.conc.allocate(6, 2, 1.0);
  dual.exchsoladv.allocate(6, 2, 2.0f);
  EXPECT_EQ(sections(write(dual)), (Lines{"POINT_DATA          6", "SCALARS head float", "SCALARS Na%20Cl float",
                                          "SCALARS head_2 float", "SCALARS adv_solute_exchange_Na%20Cl float",
                                          "SCALARS adv_solute_exchange_head float", "SCALARS 3D_node int"}));
}

TEST_F(VtkWriter, TruncatedMeshWritesKeptPointsCellsAndValues) {
  DOMAIN d = surface();
  // The two triangles: nodes 2, 3, 5, 6 become 1 to 4.
  d.truncate = true;
  d.nodemask = {0, 1, 1, 0, 1, 1};
  d.elemmask = {0, 1, 1};
  d.nodemap = {0, 1, 2, 0, 3, 4};
  d.nn_trunc = 4;
  d.ne_trunc = 2;
  const std::string text = write(d);
  EXPECT_EQ(from(text, "POINTS          4 double").at(5), "");
  const std::string cells = R"(CELLS          2          8 
3         0          1          3 
3         0          3          2 

CELL_TYPES          2
5
5

POINT_DATA          4
SCALARS head float
LOOKUP_TABLE default
     11.250         11.500         12.000         12.250    
)";
  EXPECT_EQ(start(tail(text, "CELLS"), cells), cells);
  EXPECT_EQ(tail(text, "SCALARS 3D_node"), "SCALARS 3D_node int\nLOOKUP_TABLE default\n" + pad("102", 26) + "\n" +
                                               pad("103", 26) + "\n" + pad("105", 26) + "\n" + pad("106", 26) + "\n");
}

TEST_F(VtkWriter, ValuesThatAreNotNumbersGiveOneWarning) {
  DOMAIN d = surface("dual");
  d.head[2] = std::numeric_limits<double>::quiet_NaN();
  d.x[0] = std::numeric_limits<double>::infinity();
  d.satavail = true;
  d.sat = rampf(6, 0);
  d.sat[0] = -std::numeric_limits<float>::infinity();
  EXPECT_EQ(from(write(d), "SCALARS head float").at(2).substr(30, 15), "     0.0000    ");
  EXPECT_NE(
      err_.find("Values that are not numbers were written as 0.0 in " + path(d) + ", arrays: POINTS, head, saturation"),
      std::string::npos)
      << err_;
  EXPECT_EQ(err_.find("WARNING MESSAGE"), err_.rfind("WARNING MESSAGE"));
}

// ---------------------------------------------------------------------------------------
// VTK's own reader

TEST_F(VtkWriter, MixedSurfaceWithSpeciesExchangeLoadsInVtk) {
  const std::optional<std::filesystem::path> python = testkit::findvtkpython();
  if (!python) GTEST_SKIP() << "python3-vtk9 cannot be imported";
  DOMAIN d = surface();
  plot_data.nspeciesmob = 2;
  plot_data.spname = {"Na", "Cl"};
  d.rainsnowmeltfound = true;
  d.snowdepth = d.snowmelt = d.liquidp = d.solidp = ramp(3, 1.5e100);
  d.snowcover = ramp(6, 0);
  d.exchsoladvavail = true;
  d.exchsoladv.allocate(6, 2);
  for (std::int32_t i = 1; i <= 6; ++i) {
    d.exchsoladv(i, 1) = static_cast<float>(i);
    d.exchsoladv(i, 2) = static_cast<float>(-i);
  }
  d.velavail = d.elemstoravail = true;
  d.vx = rampf(3, 1);
  d.vy = rampf(3, 2);
  d.vz = rampf(3, -3);
  d.elemstor = {0.5, 1e-5, 2e-5};
  write(d);
  testkit::VtkDataSet got;
  std::string problem;
  ASSERT_TRUE(testkit::readvtk(*python, path(d), testkit::VtkKind::grid, got, problem)) << problem;

  ASSERT_EQ(got.points.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(got.points[i], (std::vector<double>{d.x[i], d.y[i], d.z[i]}));
  EXPECT_EQ(got.celltypes, (std::vector<int>{9, 5, 5}));
  EXPECT_EQ(got.cells, (std::vector<std::vector<int>>{{0, 1, 4, 3}, {1, 2, 5}, {1, 5, 4}}));
  EXPECT_EQ(got.fielddata.at("TIME").values, (std::vector<double>{2.5}));

  EXPECT_EQ(got.pointdata.size(), 7u);
  EXPECT_EQ(got.pointdata.at("head").values, d.head);
  EXPECT_EQ(got.pointdata.at("log10Depth").values, std::vector<double>(d.logdepth.begin(), d.logdepth.end()));
  EXPECT_EQ(got.pointdata.at("snowcover").values, d.snowcover);
  EXPECT_EQ(got.pointdata.at("adv_solute_exchange_Na").values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(got.pointdata.at("adv_solute_exchange_Cl").values, (std::vector<double>{-1, -2, -3, -4, -5, -6}));
  EXPECT_EQ(got.pointdata.at("3D_node").values, (std::vector<double>{101, 102, 103, 104, 105, 106}));

  EXPECT_EQ(got.celldata.size(), 6u);
  EXPECT_EQ(got.celldata.at("snowdepth").type, "double");
  EXPECT_DOUBLE_EQ(got.celldata.at("snowmelt").values.at(0), 1.5e100);
  EXPECT_EQ(got.celldata.at("SpStor").values, (std::vector<double>{0.5, 1e-5f, 2e-5f}));
  const testkit::VtkArray& velocity = got.celldata.at("linear_velocity_xyz");
  EXPECT_EQ(velocity.components, 3);
  EXPECT_EQ(velocity.values, (std::vector<double>{1, 2, -3, 1.5, 2.5, -2.5, 2, 3, -2}));
}

}  // namespace
}  // namespace kelpra
