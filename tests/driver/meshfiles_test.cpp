// Mesh files of every domain: layout, coupling, global numbering, wall tables, zone types,
// and bad files stopping the run with their reports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "driver/meshfiles.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::ElementKind;
using testkit::LayeredMesh;
using testkit::LinkedDomain;
using testkit::MeshData;
using testkit::RecordFileWriter;
using testkit::SurfaceOptions;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class MeshFiles : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = model.prefix();
    pm.name = "pm";
  }
  void TearDown() override {
    EXPECT_FALSE(unitused(kFirstUnit)) << "a unit was left taken";
    CleanPlotRun::TearDown();
  }

  // Reads both files of a domain (pm into the fixture's record); returns the screen text.
  std::string read(DOMAIN& dom) {
    return testkit::screen([&] {
      coordsread(dom, pm);
      elemsread(dom);
    });
  }
  DOMAIN domain(const std::string& name) {
    DOMAIN d;
    d.name = name;
    return d;
  }
  // Reads the domain's files, which must stop the run; returns the report.
  std::string stopreport(DOMAIN& dom) {
    testing_only::reseterrorstate();
    return testkit::stopreport(
        [&] {
          coordsread(dom, pm);
          elemsread(dom);
        },
        true);
  }
  std::string file(const std::string& suffix) const { return model.path(suffix).string(); }

  testkit::TempDir dir;
  testkit::ModelWriter model{dir.path()};
  DOMAIN pm;
};

TEST_F(MeshFiles, LayeredPorousMedium) {
  const LayeredMesh mesh = model.pm(2, 2, 3);
  const std::string screen = read(pm);
  EXPECT_EQ(screen, "Coordinates file: " + file("o.coordinates_pm") +
                        "\n  Number of nodes 27\n  Done reading coordinates\nElements file: " +
                        file("o.elements_pm") + "\n  Number of elements 8\n  Done reading elements file\n");
  EXPECT_EQ(pm.nn, 27);
  EXPECT_EQ(pm.x, mesh.x);
  EXPECT_EQ(pm.y, mesh.y);
  EXPECT_EQ(pm.z, mesh.z);
  EXPECT_EQ((std::vector<std::int32_t>{plot_data.nx, plot_data.ny, plot_data.nz}), (std::vector<std::int32_t>{3, 3, 3}));
  EXPECT_EQ(pm.globalstart, 0);
  EXPECT_EQ(plot_data.globalstartindex, 27);
  EXPECT_EQ(pm.nln, 8);
  EXPECT_EQ(pm.ne, 8);
  EXPECT_EQ(pm.incidences, mesh.incidences);
  EXPECT_EQ(pm.elemzone, mesh.zones);
  EXPECT_EQ(pm.zonetype, "FEBRICK");
  EXPECT_TRUE(pm.link_dom2pm.empty());
}

TEST_F(MeshFiles, MessagesGoToTheEchoFileToo) {
  model.pm(1, 1, 2, ElementKind::prisms);
  UnitHandle eco = UnitHandle::take();
  ASSERT_EQ(openunit(eco.unit(), (dir / "eco").string(), FileForm::formatted, OpenStatus::replace), 0);
  plot_data.ieco = eco.unit();
  const std::string screen = read(pm);
  eco.release();
  EXPECT_EQ(testkit::readfile(dir / "eco"), screen);
  EXPECT_EQ(pm.nln, 6);
  EXPECT_EQ(pm.ne, 2);
  EXPECT_EQ(pm.zonetype, "FEBRICK");
}

TEST_F(MeshFiles, LayerCountFromTheFirstNodeColumn) {
  model.pm(1, 1, 5, ElementKind::bricks, false);
  read(pm);
  EXPECT_EQ(plot_data.nz, 5);

  // Nodes exactly 1e-5 away from node 1 in x or y are not in its column.
  MeshData m;
  m.x = {0.0, 1.0e-5, 0.0, 0.0, 0.5e-5};
  m.y = {0.0, 0.0, 0.0, 1.0e-5, 0.0};
  m.z = {0, 1, 2, 3, 4};
  model.pmfiles(m, 0, 0, 0);
  read(pm);
  EXPECT_EQ(plot_data.nz, 3);

  for (const int n : {1, 0}) {
    MeshData small;
    small.x.assign(n, 4.0);
    small.y.assign(n, 4.0);
    small.z.assign(n, 0.0);
    model.pmfiles(small, 0, 0, 0);
    read(pm);
    EXPECT_EQ(plot_data.nz, 1) << n << " nodes";
  }
}

TEST_F(MeshFiles, ZoneTypeFollowsNodesPerElementAndDomain) {
  struct Case {
    std::string name;
    std::int32_t nln;
    std::string zonetype;
  };
  MeshData nodes;
  nodes.x = {0, 1, 0, 0, 1};
  nodes.y = {0, 0, 1, 0, 1};
  nodes.z = {0, 0, 0, 1, 1};
  for (const Case& c : {Case{"pm", 4, "FETETRAHEDRON"}, Case{"pm", 3, "FETETRAHEDRON"}, Case{"pm", 2, "FELINESEG"},
                        Case{"pm", 5, ""}, Case{"olf", 4, "FEQUADRILATERAL"}, Case{"olf", 3, "FEQUADRILATERAL"},
                        Case{"dual", 4, "FETETRAHEDRON"}, Case{"chan", 2, "FELINESEG"}}) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.nln));
    MeshData m = nodes;
    m.nln = c.nln;
    for (std::int32_t k = 1; k <= c.nln; ++k) m.incidences.push_back(k);
    m.zones = {1};
    model.pmfiles(m, 0, 0, 0);
    pm = domain("pm");
    if (c.name == "pm") {
      read(pm);
      EXPECT_EQ(pm.zonetype, c.zonetype);
      continue;
    }
    model.pmfiles(nodes, 0, 0, 0);
    read(pm);
    LinkedDomain d;
    d.name = c.name;
    d.coupling = 0;
    d.dom2pm = {1, 2, 3, 4, 5};
    d.pm2dom = {1, 2, 3, 4, 5};
    d.mesh = m;
    d.wallelemid = {0};
    model.linkedfiles(d);
    DOMAIN dom = domain(c.name);
    read(dom);
    EXPECT_EQ(dom.zonetype, c.zonetype);
  }
}

TEST_F(MeshFiles, DualKeepsTheElementsOfNonZeroZones) {
  const LayeredMesh mesh = model.pm(3, 1, 2);
  read(pm);
  model.dual(mesh, {1, 0, 2});
  DOMAIN dual = domain("dual");
  read(dual);
  EXPECT_EQ(dual.ne, 2);
  EXPECT_EQ(dual.elemzone[0], 1);
  EXPECT_EQ(dual.elemzone[1], 2);
  const std::vector<std::int32_t> first(mesh.incidences.begin(), mesh.incidences.begin() + 8);
  const std::vector<std::int32_t> third(mesh.incidences.begin() + 16, mesh.incidences.begin() + 24);
  EXPECT_EQ(std::vector<std::int32_t>(dual.incidences.begin(), dual.incidences.begin() + 8), first);
  EXPECT_EQ(std::vector<std::int32_t>(dual.incidences.begin() + 8, dual.incidences.begin() + 16), third);
  EXPECT_EQ(dual.incidences.size(), 24u);  // the arrays keep their size
  EXPECT_EQ(dual.globalstart, 16);
  EXPECT_EQ(plot_data.globalstartindex, 32);
}

TEST_F(MeshFiles, CommonNodeDomainHasLinksButNoNodesOfItsOwn) {
  const LayeredMesh mesh = model.pm(2, 2, 2);
  read(pm);
  const LinkedDomain olf = model.olf(mesh, SurfaceOptions{.multinode = false});
  DOMAIN dom = domain("olf");
  const std::string screen = read(dom);
  EXPECT_TRUE(has(screen, "  Done reading coordinates\n  Using common-node coupling scheme\nElements file: ")) << screen;
  EXPECT_EQ(dom.coupling, 0);
  EXPECT_EQ(dom.nn, 9);
  EXPECT_EQ(dom.link_dom2pm, olf.dom2pm);
  EXPECT_EQ(dom.link_pm2dom, olf.pm2dom);
  EXPECT_TRUE(dom.x.empty());
  EXPECT_EQ(dom.globalstart, 0);
  EXPECT_EQ(plot_data.globalstartindex, 18);
  EXPECT_EQ(dom.zonetype, "FEQUADRILATERAL");
}

TEST_F(MeshFiles, MultiNodeDomainsNumberAfterPmInReadingOrder) {
  const LayeredMesh mesh = model.pm(4, 4, 4);  // 100 nodes
  read(pm);
  model.olf(mesh);
  DOMAIN olf = domain("olf");
  const std::string screen = read(olf);
  EXPECT_TRUE(has(screen, "  Using multi-node coupling scheme\n")) << screen;
  EXPECT_EQ(olf.globalstart, 100);
  EXPECT_EQ(plot_data.globalstartindex, 125);
  ASSERT_EQ(olf.x.size(), 25u);
  EXPECT_EQ(olf.x[6], 1.0);
  EXPECT_EQ(olf.y[6], 1.0);
  EXPECT_EQ(olf.z[6], 3.0);  // the top layer
  EXPECT_FALSE(plot_data.olf_wall);
  EXPECT_EQ(plot_data.wallelemid, std::vector<std::int32_t>(16, 0));

  const LinkedDomain frac = model.frac(mesh, true, 125);
  DOMAIN fr = domain("frac");
  read(fr);
  EXPECT_EQ(fr.globalstart, 125);
  EXPECT_EQ(plot_data.globalstartindex, 145);
  EXPECT_EQ(fr.ne, 12);
  EXPECT_EQ(fr.zonetype, "FEQUADRILATERAL");
  ASSERT_EQ(fr.auxint2d.extent1(), 12);
  ASSERT_EQ(fr.auxint2d.extent2(), 2);
  EXPECT_EQ(fr.auxint2d(3, 1), 3);
  EXPECT_EQ(fr.auxint2d(3, 2), 103);
  EXPECT_EQ(fr.aperture, frac.aperture);
}

TEST_F(MeshFiles, OverlandWallTablesUseGlobalNumbers) {
  const LayeredMesh mesh = model.pm(2, 1, 2);  // 12 nodes, 6 per layer
  read(pm);
  const LinkedDomain olf = model.olf(mesh, SurfaceOptions{.walls = true});
  DOMAIN dom = domain("olf");
  read(dom);
  EXPECT_TRUE(plot_data.olf_wall);
  EXPECT_EQ(plot_data.nnwall, 2);
  EXPECT_EQ(plot_data.is_wallnode, (Mask{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0}));
  ASSERT_EQ(plot_data.olfwallbase, 12);
  ASSERT_EQ(plot_data.link_olf2wall.extent1(), 6);
  ASSERT_EQ(plot_data.link_olf2wall.extent2(), 1);
  EXPECT_EQ(plot_data.link_olf2wall(14 - 12, 1), 14);
  EXPECT_EQ(plot_data.link_olf2wall(13 - 12, 1), 0);
  EXPECT_EQ(plot_data.link_wall2olf.size(), 18u);
  EXPECT_EQ(plot_data.link_wall2olf[16], 17);
  // With the wall flag set in the elements file the second wall-number record counts.
  EXPECT_EQ(plot_data.wallelemid, *olf.wallelemid2);
  EXPECT_EQ(plot_data.wallelemid, (std::vector<std::int32_t>{1, 1}));
}

TEST_F(MeshFiles, FirstWallNumberRecordCountsWithoutTheFlag) {
  const LayeredMesh mesh = model.pm(2, 1, 2);
  read(pm);
  LinkedDomain olf = model.olf(mesh);
  olf.wallelemid = {4, 5};
  model.linkedfiles(olf);
  DOMAIN dom = domain("olf");
  read(dom);
  EXPECT_FALSE(plot_data.olf_wall);
  EXPECT_EQ(plot_data.wallelemid, (std::vector<std::int32_t>{4, 5}));
}

TEST_F(MeshFiles, TrianglesInAQuadrilateralMeshMayEndInZero) {
  const LayeredMesh mesh = model.pm(1, 1, 2);
  read(pm);
  LinkedDomain olf = model.olf(mesh);
  olf.mesh.incidences = {5, 6, 7, 0};
  model.linkedfiles(olf);
  DOMAIN dom = domain("olf");
  read(dom);
  EXPECT_EQ(dom.incidences, (std::vector<std::int32_t>{5, 6, 7, 0}));
}

// ---- Bad files --------------------------------------------------------------------------

TEST_F(MeshFiles, MissingFilesStop) {
  std::string err = stopreport(pm);
  EXPECT_TRUE(has(err, "FATAL ERROR")) << err;
  EXPECT_TRUE(has(err, "Failed to open file: " + file("o.coordinates_pm") + "\n")) << err;
  model.pm(1, 1, 2);
  std::filesystem::remove(model.path("o.elements_pm"));
  err = stopreport(pm);
  EXPECT_TRUE(has(err, "Failed to open file: " + file("o.elements_pm") + "\n")) << err;
}

TEST_F(MeshFiles, TruncatedFilesStopWithTheReadError) {
  model.pm(1, 1, 2);
  const std::string coords = testkit::readfile(model.path("o.coordinates_pm"));
  const std::string elems = testkit::readfile(model.path("o.elements_pm"));
  struct Case {
    std::string name;
    std::string bytes;
    std::string fname;
  };
  const std::vector<Case> cases{
      {"o.coordinates_pm", "", "o.coordinates_pm"},
      {"o.coordinates_pm", coords.substr(0, coords.size() - 20), "o.coordinates_pm"},  // no layer record
      {"o.coordinates_pm", coords.substr(0, 40), "o.coordinates_pm"},                    // cut coordinates
      {"o.elements_pm", elems.substr(0, elems.size() - 10), "o.elements_pm"},           // cut zones
      {"o.elements_pm", elems.substr(0, 24), "o.elements_pm"},                           // no incidences
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " of " + std::to_string(c.bytes.size()) + " bytes");
    model.pm(1, 1, 2);
    testkit::writefile(model.path(c.name), c.bytes);
    const std::string err = stopreport(pm);
    EXPECT_TRUE(has(err, "Error reading file: " + file(c.fname) + "\nError detail: ")) << err;
  }
}

TEST_F(MeshFiles, NegativeCountsAreInputErrors) {
  struct Case {
    std::string name;
    std::vector<std::int32_t> records;  // one integer per record
    std::string message;
  };
  const std::vector<Case> cases{
      {"o.coordinates_pm", {-4}, "Negative number of nodes (-4) in file: "},
      {"o.elements_pm", {-8}, "Negative number of nodes per element (-8) in file: "},
      {"o.elements_pm", {8, -1}, "Negative number of elements (-1) in file: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    model.pm(1, 1, 2);
    {
      RecordFileWriter w(model.path(c.name));
      for (const std::int32_t v : c.records) w.i4(v).endrecord();
    }
    const std::string err = stopreport(pm);
    EXPECT_TRUE(has(err, "INPUT ERROR")) << err;
    EXPECT_TRUE(has(err, c.message + file(c.name) + "\n")) << err;
  }
  {
    RecordFileWriter w(model.path("o.coordinates_pm"));
    w.i4(1).endrecord().r8(0).r8(0).r8(0).endrecord().i4(1).i4(1).i4(-2).endrecord();
  }
  EXPECT_TRUE(has(stopreport(pm), "Negative number of node layers (-2) in file: "));
}

// The wall count sizes the wall table only through what the wall record holds.
TEST_F(MeshFiles, WallCountsAreBoundedByTheFile) {
  const LayeredMesh mesh = model.pm(1, 1, 2);
  read(pm);
  const LinkedDomain good = model.olf(mesh, SurfaceOptions{.walls = true});
  LinkedDomain negative = good, huge = good, empty = good;
  negative.nwalls = -1;
  huge.nwalls = 2000000000;
  empty.nwalls = 2000000;  // no "olf" node: nothing to hold
  empty.dom2pm = {};
  empty.pm2dom.assign(empty.pm2dom.size(), 0);
  empty.iswallnode = {};
  empty.olf2wall = {};
  empty.wall2olf = {};
  for (LinkedDomain* olf : {&negative, &huge}) {
    model.linkedfiles(*olf);
    DOMAIN dom = domain("olf");
    testing_only::reseterrorstate();
    const std::string err = testkit::stopreport([&] { coordsread(dom, pm); }, true);
    EXPECT_TRUE(has(err, olf == &huge ? "Error reading file: " + file("o.coordinates_olf")
                                      : "Negative number of walls (-1) in file: "))
        << err;
  }
  model.linkedfiles(empty);
  DOMAIN dom = domain("olf");
  testkit::screen([&] { coordsread(dom, pm); });
  EXPECT_EQ(plot_data.link_olf2wall.size(), 0);
}

// Through a pipe, where the bytes left cannot be known, a huge count backed by a few bytes is
// the read error of the end of the data, not an allocation sized by the count.
TEST_F(MeshFiles, HugeCountsThroughAPipeAreReadErrors) {
  const LayeredMesh mesh = model.pm(1, 1, 2);
  read(pm);
  LinkedDomain walls = model.olf(mesh, SurfaceOptions{.walls = true});
  walls.nwalls = 2000000000;
  model.linkedfiles(walls);
  struct Case {
    std::string name;
    std::string bytes;
    bool pm;
  };
  const Case cases[] = {
      {"o.coordinates_pm", testkit::framedrecord(testkit::le_i4(2147483647)), true},
      {"o.coordinates_olf", testkit::readfile(model.path("o.coordinates_olf")), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = model.path(c.name);
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::thread writer([&] {
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (f == nullptr) return;
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    });
    DOMAIN olf = domain("olf");
    testing_only::reseterrorstate();
    const std::string err = testkit::stopreport([&] { coordsread(c.pm ? pm : olf, pm); }, true);
    writer.join();
    EXPECT_TRUE(has(err, "Error reading file: " + file(c.name))) << err;
  }
}

TEST_F(MeshFiles, HugeCountsInShortFilesAreReadErrors) {
  model.pm(1, 1, 2);
  {
    RecordFileWriter w(model.path("o.elements_pm"));
    w.i4(8).endrecord().i4(2147483647).endrecord().i4(1).endrecord();
  }
  EXPECT_TRUE(has(stopreport(pm), "Error reading file: " + file("o.elements_pm")));
  {
    RecordFileWriter w(model.path("o.coordinates_pm"));
    w.i4(2147483647).endrecord().r8(0).endrecord();
  }
  EXPECT_TRUE(has(stopreport(pm), "Error reading file: " + file("o.coordinates_pm")));
}

TEST_F(MeshFiles, PorousMediumNodesOutsideTheMeshStop) {
  for (const std::int32_t bad : {0, 9, -3}) {
    SCOPED_TRACE(bad);
    LayeredMesh mesh = testkit::layeredmesh(1, 1, 2);
    mesh.incidences[5] = bad;
    model.pmfiles(mesh, 2, 2, 2);
    const std::string err = stopreport(pm);
    EXPECT_TRUE(has(err, "INPUT ERROR")) << err;
    EXPECT_TRUE(has(err, "Element 1 refers to node " + std::to_string(bad) + ", outside 1 to 8, in file: " +
                             file("o.elements_pm") + "\n"))
        << err;
  }
}

TEST_F(MeshFiles, OtherDomainsReferToPorousMediumNodes) {
  const LayeredMesh mesh = model.pm(1, 1, 2);  // 8 nodes, top layer 5 to 8
  read(pm);
  const LinkedDomain good = model.olf(mesh);
  struct Case {
    std::vector<std::int32_t> incidences;
    std::string message;
  };
  const std::vector<Case> cases{
      {{5, 6, 9, 7}, "Element 1 refers to porous medium node 9, outside 1 to 8, in file: "},
      {{5, 0, 8, 7}, "Element 1 refers to porous medium node 0, outside 1 to 8, in file: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    LinkedDomain olf = good;
    olf.mesh.incidences = c.incidences;
    model.linkedfiles(olf);
    DOMAIN dom = domain("olf");
    plot_data.globalstartindex = 8;
    const std::string err = stopreport(dom);
    EXPECT_TRUE(has(err, c.message + file("o.elements_olf") + "\n")) << err;
  }
  // Elements may use any "pm" node: one on a node without a node of a multi-node domain is
  // left out when the mesh is truncated, not refused here.
  for (const bool multinode : {false, true}) {
    LinkedDomain olf = model.olf(mesh, SurfaceOptions{.multinode = multinode});
    olf.mesh.incidences = {5, 6, 1, 7};
    model.linkedfiles(olf);
    DOMAIN dom = domain("olf");
    plot_data.globalstartindex = 8;
    read(dom);
    EXPECT_EQ(dom.incidences[2], 1);
  }
}

TEST_F(MeshFiles, NodeMapsOutsideTheirRangeStop) {
  const LayeredMesh mesh = model.pm(1, 1, 2);
  read(pm);
  const LinkedDomain good = model.olf(mesh);
  struct Case {
    bool multinode;
    std::vector<std::int32_t> dom2pm, pm2dom;
    std::string message;
  };
  const std::vector<Case> cases{
      {true, {5, 6, 9, 8}, good.pm2dom, "Entry 3 of the pm node map is 9, outside 1 to 8, in file: "},
      {true, {5, 6, 0, 8}, good.pm2dom, "Entry 3 of the pm node map is 0, outside 1 to 8, in file: "},
      {true, good.dom2pm, {0, 0, 0, 0, 9, 10, 11, 13}, "Entry 8 of the domain node map is 13, outside 9 to 12, in file: "},
      {false, good.dom2pm, {0, 0, 0, 0, 1, 2, 3, 5}, "The domain node map spans 1 to 5, more than the 4 nodes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    LinkedDomain olf = good;
    olf.coupling = c.multinode ? 1 : 0;
    olf.dom2pm = c.dom2pm;
    olf.pm2dom = c.pm2dom;
    model.linkedfiles(olf);
    DOMAIN dom = domain("olf");
    plot_data.globalstartindex = 8;
    const std::string err = stopreport(dom);
    EXPECT_TRUE(has(err, "INPUT ERROR")) << err;
    EXPECT_TRUE(has(err, c.message)) << err;
  }
}

// ---- A real process ------------------------------------------------------------------------

class MeshProbe : public MeshFiles {
 protected:
  testkit::ProcessResult probe(const std::vector<std::string>& what) {
    std::vector<std::string> args{model.prefix()};
    args.insert(args.end(), what.begin(), what.end());
    return testkit::runprocess(testkit::builtprogram("tests/driver/mesh_probe"), args, dir.path());
  }
};

TEST_F(MeshProbe, WholeModelReadsAndExitsNormally) {
  model.gen({"Probe model"});
  model.species({"Cl"});
  model.hmc({"rain"});
  const LayeredMesh mesh = model.pm(2, 2, 3);
  model.dual(mesh, std::vector<std::int32_t>(8, 1));
  model.olf(mesh, SurfaceOptions{.walls = true, .globalstart = 54});
  model.frac(mesh, false);
  const testkit::ProcessResult r = probe({"gen", "species", "hmc", "pm", "dual", "olf", "frac", "exit"});
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "mesh pm nn 27 ne 8 nln 8 zonetype FEBRICK globalstart 0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "mesh dual nn 27 ne 8 nln 8 zonetype FEBRICK globalstart 27\n")) << r.out;
  EXPECT_TRUE(has(r.out, "mesh olf nn 9 ne 4 nln 4 zonetype FEQUADRILATERAL globalstart 54\n")) << r.out;
  EXPECT_TRUE(has(r.out, "mesh frac nn 9 ne 4 nln 4 zonetype FEQUADRILATERAL globalstart 0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "\nprobe done\n\n\n\n                    ---- Normal exit ----\n\n\n")) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(MeshProbe, BadFilesEndWithStatusOne) {
  // missing model file
  testkit::ProcessResult r = probe({"gen"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_TRUE(has(r.err, "Failed to open file: " + file("o.gen") + "\n")) << r.err;
  // missing mesh
  r = probe({"pm"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_TRUE(has(r.err, "Failed to open file: " + file("o.coordinates_pm") + "\n")) << r.err;
  // truncated mesh
  model.pm(1, 1, 2);
  const std::string elems = testkit::readfile(model.path("o.elements_pm"));
  testkit::writefile(model.path("o.elements_pm"), elems.substr(0, elems.size() - 3));
  r = probe({"pm"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_TRUE(has(r.err, "*** FATAL ERROR, HALTING EXECUTION ***")) << r.err;
  EXPECT_TRUE(has(r.err, "Error reading file: " + file("o.elements_pm") + "\n")) << r.err;
  // node numbers outside the mesh
  LayeredMesh mesh = testkit::layeredmesh(1, 1, 2);
  mesh.incidences[0] = 99;
  model.pmfiles(mesh, 2, 2, 2);
  r = probe({"pm"});
  EXPECT_EQ(r.exitstatus, 1);
  EXPECT_TRUE(has(r.err, "*** INPUT ERROR, HALTING EXECUTION ***")) << r.err;
  EXPECT_TRUE(has(r.err, "Element 1 refers to node 99, outside 1 to 8, in file: ")) << r.err;
}

}  // namespace
}  // namespace kelpra
