// Mesh-numbering variables: node numbers, layers, columns and thicknesses of the written
// nodes and elements, and their arrays in an ASCII data set.
#include <gtest/gtest.h>

#include <numeric>

#include "driver/meshnumbering.hpp"
#include "driver/truncation.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/layeredpm.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::layeredpm;
using testkit::stoperr;

std::vector<std::int32_t> range(int first, int last) {
  std::vector<std::int32_t> v(static_cast<std::size_t>(last - first + 1));
  std::iota(v.begin(), v.end(), first);
  return v;
}

class MeshNumbering : public testkit::CleanPlotRun {
 protected:
  static void quietly(DOMAIN& dom, const DOMAIN& pmcopy, bool common = false) {
    ::testing::internal::CaptureStdout();
    if (common) {
      commontruncate(dom, pmcopy);
    } else {
      multitruncate(dom, pmcopy);
    }
    ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(MeshNumbering, LayersAndColumnsOfAThreeLayerMesh) {
  DOMAIN pm = layeredpm(100, 3);  // 200 elements
  quietly(pm, pm);
  const std::vector<std::int32_t> layers = layernumbervalues(pm);
  const std::vector<std::int32_t> columns = columnnumbervalues(pm);
  ASSERT_EQ(layers.size(), 200u);
  for (std::size_t e = 0; e < 200; ++e) EXPECT_EQ(layers[e], e < 100 ? 1 : 2) << e + 1;
  std::vector<std::int32_t> twice = range(1, 100);
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_EQ(columns, twice);
}

TEST_F(MeshNumbering, TruncatedMeshWritesOnlyKeptElements) {
  DOMAIN pm = layeredpm(100, 3);
  pm.truncatebylayer = true;
  pm.layermin_trunc = pm.layermax_trunc = 2;
  pm.xmax_trunc = 50.0;  // elements 101 to 150
  const DOMAIN pmcopy = pm;
  quietly(pm, pmcopy);
  ASSERT_EQ(pm.ne_trunc, 50);
  EXPECT_EQ(layernumbervalues(pm), std::vector<std::int32_t>(50, 2));
  EXPECT_EQ(columnnumbervalues(pm), range(1, 50));
  EXPECT_EQ(elementthicknessvalues(pm).size(), 50u);
}

TEST_F(MeshNumbering, ThicknessIsTopFaceMinusBottomFace) {
  DOMAIN brick = layeredpm(1, 2, 2.0);
  EXPECT_EQ(elementthicknessvalues(brick), std::vector<double>{2.0});

  DOMAIN prism;
  prism.name = "pm";
  prism.nn = 6;
  prism.ne = 1;
  prism.nln = 6;
  prism.incidences = {1, 2, 3, 4, 5, 6};
  prism.z = {0.0, 1.0, 2.0, 3.0, 4.5, 5.0};  // a sloping wedge: mean of 3, 3.5 and 3
  EXPECT_DOUBLE_EQ(elementthicknessvalues(prism).at(0), 9.5 / 3.0);
}

TEST_F(MeshNumbering, CommonNodeNumbersArePorousMediumNodes) {
  const DOMAIN pm = layeredpm(3, 2);  // 16 nodes; the top layer is 9 .. 16
  DOMAIN olf;
  olf.name = "olf";
  olf.coupling = 0;
  olf.nln = 4;
  olf.nn = 8;
  olf.ne = 3;
  olf.incidences = {9, 10, 14, 13, 10, 11, 15, 14, 11, 12, 16, 15};
  olf.link_dom2pm = range(9, 16);
  olf.link_pm2dom.assign(16, 0);
  for (int p = 9; p <= 16; ++p) olf.link_pm2dom[static_cast<std::size_t>(p - 1)] = p - 8;
  quietly(olf, pm, true);
  EXPECT_EQ(nodenumbervalues(pm.nn, olf.nodemask, olf), range(9, 16));
  // Any coupling other than multi-node counts over the porous-medium nodes the same way.
  olf.coupling = 2;
  EXPECT_EQ(nodenumbervalues(pm.nn, olf.nodemask, olf), range(9, 16));

  // A multi-node domain counts over its own nodes and names their porous-medium nodes.
  olf.coupling = 1;
  EXPECT_EQ(nodenumbervalues(olf.nn, Mask{1, 0, 1, 0, 0, 0, 0, 1}, olf), (std::vector<std::int32_t>{9, 11, 16}));
  olf.link_dom2pm.pop_back();
  EXPECT_NE(stoperr([&] { nodenumbervalues(olf.nn, Mask(8, 1), olf); }).find("hold 7 porous medium nodes, 8 expected"),
            std::string::npos);
}

TEST_F(MeshNumbering, TooFewLayersOrElementsMakeOneLayer) {
  DOMAIN pm = layeredpm(3, 2);
  plot_data.nz = 1;
  EXPECT_EQ(layernumbervalues(pm), std::vector<std::int32_t>(3, 1));
  EXPECT_EQ(columnnumbervalues(pm), range(1, 3));
  plot_data.nz = 10;  // nine element layers for three elements
  EXPECT_EQ(layernumbervalues(pm), std::vector<std::int32_t>(3, 1));
  EXPECT_EQ(columnnumbervalues(pm), range(1, 3));
}

TEST_F(MeshNumbering, BadNodeListsStopTheRun) {
  DOMAIN pm = layeredpm(2, 2);
  pm.incidences[9] = 0;
  EXPECT_NE(stoperr([&] { elementthicknessvalues(pm); }).find("Element 2 of pm domain refers to node 0 outside 1 to 12."),
            std::string::npos);
  reset();
  pm.incidences.resize(10);
  EXPECT_NE(stoperr([&] { elementthicknessvalues(pm); }).find("hold 10 node numbers, 16 expected"), std::string::npos);
  reset();
  pm.elemmask = {1};
  EXPECT_NE(stoperr([&] { layernumbervalues(pm); }).find("Element mask of pm domain holds 1 entries, 2 expected."),
            std::string::npos);
}

TEST_F(MeshNumbering, ArraysOfAnAsciiDataSet) {
  testkit::TempDir dir;
  DOMAIN pm = layeredpm(1, 3);  // two bricks in one column, 12 nodes
  pm.zonetype = "FEBRICK";
  pm.link_dom2pm = range(1, 12);
  pm.truncate = true;
  pm.zmin_trunc = 1.0;  // the upper brick
  const DOMAIN pmcopy = pm;
  quietly(pm, pmcopy);

  ::testing::internal::CaptureStdout();
  tecplotinit(pm);
  std::int32_t xvar = 0;
  tecplotvaradd("X", pm.nvar, xvar, pm.varlist);
  tecplotdatatype(xvar, 2, pm);
  tecplotvaradd("3DNode#", pm.nvar, pm.nodeidvar, pm.varlist);
  tecplotdatatype(pm.nodeidvar, 3, pm);
  tecplotvaradd("Layer Number", pm.nvar, pm.layernumvar, pm.varlist);
  tecplotdatatype(pm.layernumvar, 3, pm);
  tecplotvaradd("Column Number", pm.nvar, pm.columnnumvar, pm.varlist);
  tecplotdatatype(pm.columnnumvar, 3, pm);
  tecplotvaradd("Thickness", pm.nvar, pm.thicknessvar, pm.varlist);
  tecplotdatatype(pm.thicknessvar, 2, pm);
  const std::string base = (dir / "abco.pm").string();
  tecplotfileopen(base, "t", pm.nvar, pm.varlist, pm);
  for (const std::int32_t v : {pm.layernumvar, pm.columnnumvar, pm.thicknessvar}) tecplotvarlocccadd(v, pm);
  tecplotwritezonefe("pm", pm.nn_trunc, pm.ne_trunc, "1.0", 0, pm);
  tecplotwritearrayreal8(xvar, pm.nn, pm.x, pm.truncate, pm.nodemask, "x", pm);
  write3dnodenumber(pm.nodeidvar, pm.nn, pm.nodemask, pm);
  writelayernumber(pm.layernumvar, pm);
  writecolumnnumber(pm.columnnumvar, pm);
  writeelementthickness(pm.thicknessvar, pm);
  tecplotwriteconnectivity(pm.elemmask, pm);
  tecplotfileclose(pm);
  ::testing::internal::GetCapturedStdout();

  const std::string text = testkit::readfile(base + ".dat");
  EXPECT_NE(text.find("# 3D node #\n          5          6          7          8          9\n"
                      "         10         11         12\n"
                      "# Layer #\n          2\n"
                      "# Column #\n          1\n"
                      "# Thickness\n   1.0000000000000000     \n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace kelpra
