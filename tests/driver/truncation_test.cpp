// Mesh truncation: which nodes and elements are kept, how the kept nodes are numbered, the
// progress messages, and bad meshes stopping the run instead of reading past arrays.
#include <gtest/gtest.h>

#include <numeric>

#include "driver/truncation.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/layeredpm.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::layeredpm;
using testkit::quietstoperr;
using testkit::screen;

int countset(const Mask& m) { return static_cast<int>(std::count(m.begin(), m.end(), 1)); }

class Truncation : public testkit::CleanPlotRun {};

TEST_F(Truncation, FullPmMeshKeepsUsedNodesAndEveryElement) {
  DOMAIN pm = layeredpm(3, 3, 1.0, 2);  // two nodes no element uses
  const DOMAIN pmcopy = pm;
  const std::string out = screen([&] { multitruncate(pm, pmcopy); });
  EXPECT_EQ(out, "\nMedium: pm\nFull mesh (no truncation)\nNodes:    24\nElements: 6\n");
  EXPECT_EQ(pm.nn_trunc, 24);
  EXPECT_EQ(pm.ne_trunc, 6);
  EXPECT_EQ(countset(pm.elemmask), 6);
  EXPECT_EQ(pm.nodemap[24], 0);
  EXPECT_EQ(pm.nodemap[25], 0);
  EXPECT_EQ(pm.nodemap[23], 24);
  // The zone holds 24 nodes, so the 26 nodal values must be packed.
  EXPECT_TRUE(pm.truncate);
  EXPECT_GE(plot_data.tmpr8.size(), 26u);
}

TEST_F(Truncation, FullMeshUsingEveryNodeIsNotPacked) {
  DOMAIN pm = layeredpm(3, 3);
  const DOMAIN pmcopy = pm;
  screen([&] { multitruncate(pm, pmcopy); });
  EXPECT_EQ(pm.nn_trunc, 24);
  EXPECT_FALSE(pm.truncate);
  EXPECT_TRUE(plot_data.tmpr8.empty());
  std::vector<std::int32_t> identity(24);
  std::iota(identity.begin(), identity.end(), 1);
  EXPECT_EQ(pm.nodemap, identity);
}

TEST_F(Truncation, BoxKeepsAQuarterAndReportsTotals) {
  DOMAIN pm = layeredpm(100, 11);  // 1000 elements, 2222 nodes
  pm.truncate = true;
  pm.xmax_trunc = 25.0;
  const DOMAIN pmcopy = pm;
  const std::string out = screen([&] { multitruncate(pm, pmcopy); });
  EXPECT_EQ(out, "\nMedium: pm\nTruncated mesh\nNodes:    572/2222\nElements: 250/1000\n");
  EXPECT_EQ(pm.ne_trunc, 250);
  EXPECT_EQ(pm.nn_trunc, 26 * 2 * 11);
  EXPECT_TRUE(pm.truncate);
  EXPECT_EQ(plot_data.tmpr8.size(), 2222u);
  EXPECT_EQ(plot_data.tmpr4.size(), 2222u);
  EXPECT_EQ(plot_data.tmpi4.size(), 2222u);
  // Kept nodes are numbered 1, 2, ... in node order; the others map to 0.
  std::int32_t next = 0;
  for (std::size_t i = 0; i < pm.nodemask.size(); ++i) {
    EXPECT_EQ(pm.nodemap[i], pm.nodemask[i] ? ++next : 0) << "node " << i + 1;
  }
  // Every node of a kept element is kept.
  for (int e = 0; e < pm.ne; ++e) {
    if (!pm.elemmask[static_cast<std::size_t>(e)]) continue;
    for (int k = 0; k < 8; ++k) EXPECT_GT(pm.nodemap[static_cast<std::size_t>(pm.incidences[e * 8 + k] - 1)], 0);
  }
}

TEST_F(Truncation, CentroidOnABoundIsKept) {
  DOMAIN pm = layeredpm(4, 2);
  pm.truncate = true;
  pm.xmin_trunc = pm.xmax_trunc = 1.5;
  pm.ymin_trunc = pm.ymax_trunc = 0.5;
  pm.zmin_trunc = pm.zmax_trunc = 0.5;
  const DOMAIN pmcopy = pm;
  screen([&] { multitruncate(pm, pmcopy); });
  EXPECT_EQ(pm.elemmask, (Mask{0, 1, 0, 0}));
  EXPECT_EQ(pm.nn_trunc, 8);

  // An element without nodes has no centroid and fails even an unbounded box.
  DOMAIN empty = layeredpm(2, 2);
  std::fill(empty.incidences.begin(), empty.incidences.begin() + 8, 0);
  empty.truncate = true;
  screen([&] { multitruncate(empty, empty); });
  EXPECT_EQ(empty.elemmask, (Mask{0, 1}));
}

TEST_F(Truncation, LayerRangeWithinAnXyBox) {
  DOMAIN pm = layeredpm(100, 11);  // 100 elements per layer
  pm.truncatebylayer = true;
  pm.layermin_trunc = 2;
  pm.layermax_trunc = 3;
  pm.zmax_trunc = -5.0;  // the layer mode ignores z
  const DOMAIN pmcopy = pm;
  DOMAIN all = pm;
  screen([&] { multitruncate(all, pmcopy); });
  for (int e = 1; e <= 1000; ++e) EXPECT_EQ(all.elemmask[static_cast<std::size_t>(e - 1)], e >= 101 && e <= 300);
  EXPECT_EQ(all.ne_trunc, 200);
  EXPECT_TRUE(all.truncate);

  pm.xmax_trunc = 10.0;
  screen([&] { multitruncate(pm, pmcopy); });
  for (int e = 1; e <= 1000; ++e) {
    const bool inbox = (e - 1) % 100 < 10;
    EXPECT_EQ(pm.elemmask[static_cast<std::size_t>(e - 1)], e >= 101 && e <= 300 && inbox) << e;
  }
}

TEST_F(Truncation, BoxWinsOverLayers) {
  DOMAIN pm = layeredpm(10, 11);
  pm.truncate = true;
  pm.truncatebylayer = true;
  pm.layermin_trunc = 2;
  pm.layermax_trunc = 3;
  pm.zmax_trunc = 1.0;  // the first element layer only
  const DOMAIN pmcopy = pm;
  screen([&] { multitruncate(pm, pmcopy); });
  for (int e = 1; e <= 100; ++e) EXPECT_EQ(pm.elemmask[static_cast<std::size_t>(e - 1)], e <= 10) << e;
}

TEST_F(Truncation, FewerElementsThanLayersStopsLayerTruncation) {
  DOMAIN pm = layeredpm(1, 3);  // two elements
  plot_data.nz = 5;
  pm.truncatebylayer = true;
  const DOMAIN pmcopy = pm;
  EXPECT_NE(quietstoperr([&] { multitruncate(pm, pmcopy); }).find("Cannot truncate pm domain by layer"), std::string::npos);
}

TEST_F(Truncation, MessagesGoToTheEchoFileToo) {
  testkit::TempDir dir;
  plot_data.ieco = getunit();
  ASSERT_EQ(openunit(plot_data.ieco, (dir / "echo").string(), FileForm::formatted, OpenStatus::replace), 0);
  DOMAIN pm = layeredpm(2, 2);
  pm.truncate = true;
  pm.xmax_trunc = 1.0;
  const DOMAIN pmcopy = pm;
  const std::string out = screen([&] { multitruncate(pm, pmcopy); });
  freeunit(plot_data.ieco);
  EXPECT_EQ(out, "\nMedium: pm\nTruncated mesh\nNodes:    8/12\nElements: 1/2\n");
  EXPECT_EQ(testkit::readfile(dir / "echo"), out);
}

// An overland domain of its own nodes on the top layer of a 3-column "pm" mesh.
DOMAIN multiolf(const DOMAIN& pm, int globalstart) {
  DOMAIN olf;
  olf.name = "olf";
  olf.coupling = 1;
  olf.nln = 4;
  olf.globalstart = globalstart;
  const int perlayer = 8;
  olf.nn = perlayer;
  olf.link_pm2dom.assign(static_cast<std::size_t>(pm.nn), 0);
  for (int i = 1; i <= perlayer; ++i) {
    olf.link_dom2pm.push_back(perlayer + i);
    olf.link_pm2dom[static_cast<std::size_t>(perlayer + i - 1)] = globalstart + i;
  }
  // The top faces of the three "pm" elements, in "pm" node numbers.
  olf.incidences = {9, 10, 14, 13, 10, 11, 15, 14, 11, 12, 16, 15};
  olf.ne = 3;
  return olf;
}

TEST_F(Truncation, MultiNodeDomainNumbersThroughPorousMediumNodes) {
  const DOMAIN pm = layeredpm(3, 2);  // 16 nodes
  DOMAIN olf = multiolf(pm, 16);
  screen([&] { multitruncate(olf, pm); });
  EXPECT_EQ(olf.nn_trunc, 8);
  EXPECT_EQ(olf.ne_trunc, 3);
  EXPECT_FALSE(olf.truncate);
  ASSERT_EQ(olf.nodemap.size(), 16u);
  for (int p = 1; p <= 16; ++p) EXPECT_EQ(olf.nodemap[static_cast<std::size_t>(p - 1)], p > 8 ? p - 8 : 0);
}

TEST_F(Truncation, ElementOnAnUnlinkedNodeIsNotWritten) {
  const DOMAIN pm = layeredpm(3, 2);
  DOMAIN olf = multiolf(pm, 16);
  olf.link_pm2dom[16 - 1] = 0;  // "pm" node 16 has no overland node
  olf.link_dom2pm[8 - 1] = 0;
  DOMAIN boxed = olf;
  screen([&] { multitruncate(olf, pm); });
  EXPECT_EQ(olf.elemmask, (Mask{1, 1, 0}));
  EXPECT_EQ(olf.nn_trunc, 7);  // the dropped element's linked nodes stay in the full mesh
  EXPECT_TRUE(olf.truncate);   // so the element arrays are packed to the two kept elements

  // A box that holds the element does not bring it back, nor its nodes.
  boxed.truncate = true;
  boxed.xmin_trunc = 2.0;
  screen([&] { multitruncate(boxed, pm); });
  EXPECT_EQ(boxed.ne_trunc, 0);
  EXPECT_EQ(boxed.nn_trunc, 0);
}

TEST_F(Truncation, OverlandWallsKeepEveryNode) {
  const DOMAIN pm = layeredpm(3, 2);
  DOMAIN olf = multiolf(pm, 16);
  olf.nn = 10;  // two wall copies no element refers to
  olf.link_dom2pm.insert(olf.link_dom2pm.end(), {0, 0});
  plot_data.olf_wall = true;
  const std::string out = screen([&] { multitruncate(olf, pm); });
  EXPECT_EQ(olf.nn_trunc, 10);
  EXPECT_EQ(countset(olf.nodemask), 10);
  EXPECT_FALSE(olf.truncate);
  EXPECT_NE(out.find("Nodes:    10\n"), std::string::npos);
}

TEST_F(Truncation, CommonNodeDomainIsAlwaysPacked) {
  const DOMAIN pm = layeredpm(3, 2);
  DOMAIN olf = multiolf(pm, 0);
  olf.coupling = 0;
  const std::string out = screen([&] { commontruncate(olf, pm); });
  EXPECT_EQ(out, "\nMedium: olf\nFull mesh (no truncation)\nNodes:    8\nElements: 3\n");
  EXPECT_TRUE(olf.truncate);
  EXPECT_EQ(olf.nn_trunc, 8);
  EXPECT_EQ(olf.ne_trunc, 3);
  EXPECT_EQ(countset(olf.pmnodemask), 8);
  EXPECT_EQ(countset(olf.elemmask), 3);
  ASSERT_EQ(olf.nodemask.size(), 16u);
  for (int p = 1; p <= 16; ++p) {
    EXPECT_EQ(olf.nodemask[static_cast<std::size_t>(p - 1)], p > 8) << p;
    EXPECT_EQ(olf.nodemap[static_cast<std::size_t>(p - 1)], p > 8 ? p - 8 : 0) << p;
  }
  EXPECT_EQ(plot_data.tmpr8.size(), 16u);

  // Nodes of dropped elements (zone 0 of a "dual" domain) stay: the zone holds all 8 nodes.
  DOMAIN fewer = multiolf(pm, 0);
  fewer.coupling = 0;
  fewer.ne = 1;
  screen([&] { commontruncate(fewer, pm); });
  EXPECT_EQ(fewer.nn_trunc, 8);
  EXPECT_EQ(countset(fewer.nodemask), 8);
  EXPECT_EQ(fewer.nodemap[16 - 1], 8);
}

TEST_F(Truncation, CommonNodeBoxCountsOwnNodesFromTheSmallestLink) {
  const DOMAIN pm = layeredpm(3, 2);
  DOMAIN olf = multiolf(pm, 40);  // own numbers 41 .. 48 in the links
  olf.coupling = 0;
  olf.truncate = true;
  olf.xmin_trunc = 2.0;
  const std::string out = screen([&] { commontruncate(olf, pm); });
  EXPECT_EQ(out, "\nMedium: olf\nTruncated mesh\nNodes:    4/8\nElements: 1/3\n");
  EXPECT_EQ(olf.pmnodemask, (Mask{0, 0, 1, 1, 0, 0, 1, 1}));
  EXPECT_EQ(olf.nodemap[11 - 1], 1);
  EXPECT_EQ(olf.nodemap[16 - 1], 4);
  EXPECT_EQ(plot_data.nln, 4);  // references of the last element examined
}

TEST_F(Truncation, ReferencesOutsideTheMeshStopTheRun) {
  DOMAIN pm = layeredpm(2, 2);
  pm.incidences[5] = 99;
  const DOMAIN pmcopy = pm;
  EXPECT_NE(quietstoperr([&] { multitruncate(pm, pmcopy); }).find("Element 1 of pm domain refers to node 99 outside 1 to 12."),
            std::string::npos);

  reset();
  DOMAIN olf = multiolf(layeredpm(3, 2), 16);
  olf.link_pm2dom[9 - 1] = 16 + 50;
  const DOMAIN pm2 = layeredpm(3, 2);
  EXPECT_NE(quietstoperr([&] { multitruncate(olf, pm2); }).find("outside 1 to 8"), std::string::npos);

  reset();
  DOMAIN common = multiolf(pm2, 0);
  common.coupling = 0;
  common.incidences.pop_back();
  EXPECT_NE(quietstoperr([&] { commontruncate(common, pm2); }).find("hold 11 node numbers, 12 expected"), std::string::npos);
}

}  // namespace
}  // namespace kelpra
