// Domain creation: existence, instruction texts and switches, units, meshes and the
// per-species and per-fraction number arrays.
#include "driver/domaincreate.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {

// Shared with the other tests of this folder: lays down small mesh files for the named
// domains under the current prefix and creates all eight records in creation order, the
// way the main program does ("pmcopy" is the copy of "pm" the others are created with).
std::map<std::string, DOMAIN> createmodel(const std::vector<std::string>& withmesh);

namespace {

using I4 = std::vector<std::int32_t>;

void writemesh(const std::string& prefix, const std::string& name) {
  using testkit::RecordFileWriter;
  if (name == "pm") {
    RecordFileWriter c(prefix + "o.coordinates_pm");
    c.i4(4).endrecord();
    c.r8s(std::vector<double>{0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0}).endrecord();
    c.i4(0).i4(0).i4(1).endrecord();
    RecordFileWriter e(prefix + "o.elements_pm");
    e.i4(4).endrecord().i4(1).endrecord().i4s(I4{1, 2, 4, 3}).endrecord().i4s(I4{1}).endrecord();
    return;
  }
  // Every other domain shares two "pm" nodes (common-node coupling) and has one segment.
  RecordFileWriter c(prefix + "o.coordinates_" + name);
  c.i4(2).endrecord().i4(0).endrecord().i4s(I4{1, 2}).endrecord().i4s(I4{1, 2, 0, 0}).endrecord();
  if (name == "olf") c.l(false).endrecord();
  RecordFileWriter e(prefix + "o.elements_" + name);
  e.i4(2).endrecord().i4(1).endrecord().i4s(I4{1, 2}).endrecord().i4s(I4{1}).endrecord();
  if (name == "olf") e.i4s(I4{0}).endrecord().l(false).endrecord();
  if (name == "frac") e.i4s(I4{0, 0}).endrecord().r8s(std::vector<double>{0.001}).endrecord();
}

}  // namespace

std::map<std::string, DOMAIN> createmodel(const std::vector<std::string>& withmesh) {
  for (const std::string& name : withmesh) writemesh(plot_data.prefix, name);
  std::map<std::string, DOMAIN> m;
  domaincreate(m["pm"], "pm", m["pm"]);
  m["pm"].coupling = 1;
  m["pmcopy"] = m["pm"];
  for (const char* name : {"dual", "olf", "frac", "chan", "well", "tile", "addition"}) {
    domaincreate(m[name], name, m["pmcopy"]);
  }
  return m;
}

namespace {

class DomainCreateTest : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = (dir_ / "abc").string();
  }
  testkit::TempDir dir_;
};

TEST_F(DomainCreateTest, OnlyDomainsWithCoordinatesExist) {
  auto m = createmodel({"pm", "olf"});
  for (const char* name : {"pm", "olf"}) {
    const DOMAIN& d = m[name];
    EXPECT_TRUE(d.exists) << name;
    EXPECT_EQ(d.name, name);
    EXPECT_TRUE(unitused(d.unit)) << name;
    EXPECT_EQ(d.writefileinstr, "write " + std::string(name) + " domain file");
    EXPECT_EQ(d.headinstr, "no " + std::string(name) + " heads");
    EXPECT_EQ(d.nn, std::string(name) == "pm" ? 4 : 2);
    EXPECT_EQ(d.ne, 1);
  }
  EXPECT_NE(m["pm"].unit, m["olf"].unit);
  EXPECT_EQ(m["pm"].zonetype, "FETETRAHEDRON");
  for (const char* name : {"dual", "frac", "chan", "well", "tile"}) {
    const DOMAIN& d = m[name];
    EXPECT_FALSE(d.exists) << name;
    EXPECT_EQ(d.name, "") << name;
    EXPECT_EQ(d.unit, -1) << name;
    EXPECT_EQ(d.headinstr, "") << name;
    EXPECT_EQ(d.nn, 0) << name;
    for (const auto& [field, sw] : domainswitches()) EXPECT_TRUE(d.*sw) << name << " " << field;
  }
  const DOMAIN& a = m["addition"];
  EXPECT_TRUE(a.exists);
  EXPECT_EQ(a.name, "addition");
  EXPECT_EQ(a.unit, -1);
  EXPECT_EQ(a.nn, 0);
  for (const auto& [field, instr] : domaininstructions()) EXPECT_EQ(a.*instr, "") << field;
}

TEST_F(DomainCreateTest, EveryTextFilledExceptDualIceSaturation) {
  auto m = createmodel({"pm", "dual"});
  for (const char* name : {"pm", "dual"}) {
    const DOMAIN& d = m[name];
    for (const auto& [field, instr] : domaininstructions()) {
      if (field == "icesatdualinstr") {
        EXPECT_EQ(d.*instr, "");
        continue;
      }
      EXPECT_FALSE((d.*instr).empty()) << name << " " << field;
      EXPECT_LE((d.*instr).size(), 60u) << d.*instr;
      EXPECT_NE((d.*instr).find(name), std::string::npos) << d.*instr;
    }
    for (const auto& [field, sw] : domainswitches()) EXPECT_TRUE(d.*sw) << field;
    EXPECT_FALSE(d.truncate);
    EXPECT_FALSE(d.truncatebylayer);
  }
  const DOMAIN& dual = m["dual"];
  EXPECT_EQ(dual.truncinstr, "truncate dual domain");
  EXPECT_EQ(dual.trunclayerinstr, "truncate dual domain by layer");
  EXPECT_EQ(dual.exchfluxinstr, "no dual/pm exchange flux");
  EXPECT_EQ(dual.iconcinstr, "no dual immobile/isotope fractionation concentrations");
  EXPECT_EQ(dual.velinstr, "no dual linear velocities (vx, vy, vz)");
}

TEST_F(DomainCreateTest, NoSpeciesOrFractionFileLeavesNumberArraysEmpty) {
  auto m = createmodel({"pm"});
  EXPECT_TRUE(m["pm"].ConcNvar.empty());
  EXPECT_TRUE(m["pm"].ConcSolidNvar.empty());
  EXPECT_TRUE(m["pm"].HmcNvar.empty());
}

TEST_F(DomainCreateTest, SpeciesAndFractionNumberArrays) {
  plot_data.speciesfileexists = true;
  plot_data.nspeciestot = 2;
  plot_data.colloidtransport = true;
  plot_data.hmcfileexists = true;
  plot_data.num_fractions = 3;
  auto m = createmodel({"pm", "olf"});
  for (const char* name : {"pm", "olf"}) {
    EXPECT_EQ(m[name].ConcNvar, I4({0, 0})) << name;
    EXPECT_EQ(m[name].ConcSolidNvar, I4({0, 0})) << name;
    EXPECT_EQ(m[name].HmcNvar, I4({0, 0, 0, 0, 0})) << name;
  }
  EXPECT_TRUE(m["addition"].ConcNvar.empty());
  // Without a colloid there is no solid array.
  plot_data.colloidtransport = false;
  DOMAIN olf;
  domaincreate(olf, "olf", m["pmcopy"]);
  EXPECT_EQ(olf.ConcNvar.size(), 2u);
  EXPECT_TRUE(olf.ConcSolidNvar.empty());
}

TEST_F(DomainCreateTest, ImpossibleSpeciesCountIsAnAllocationError) {
  plot_data.speciesfileexists = true;
  plot_data.nspeciestot = -1;
  writemesh(plot_data.prefix, "pm");
  DOMAIN pm;
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(domaincreate(pm, "pm", pm), RunStopped);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Allocation failed: NewDomain ConcNvar array"), std::string::npos) << err;
}

TEST_F(DomainCreateTest, BrokenMeshFileStopsTheRun) {
  testkit::writefile(plot_data.prefix + "o.coordinates_pm", "not a record file");
  DOMAIN pm;
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(domaincreate(pm, "pm", pm), RunStopped);
  ::testing::internal::GetCapturedStderr();
}

// The other domains refer to porous-medium nodes: without the "pm" mesh the report names
// that missing file, not a node-map range of another domain's file.
TEST_F(DomainCreateTest, MissingPorousMediumMeshIsNamed) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(createmodel({"olf"}), RunStopped);
  ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("INPUT ERROR"), std::string::npos) << err;
  EXPECT_NE(err.find("Failed to open file: " + plot_data.prefix + "o.coordinates_pm\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("o.coordinates_olf"), std::string::npos) << err;
}

}  // namespace
}  // namespace kelpra
