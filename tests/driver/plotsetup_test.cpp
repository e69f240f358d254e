// Per-domain plot set-up and per-time append on small generated models: the variables each
// domain registers, files present, missing and present again over the output times, mesh
// truncation, common-node domains taking porous-medium values, and both writer back ends.
#include "driver/plotsetup.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "driver/domaincreate.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/units.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/tecplot_reader.hpp"

namespace kelpra {
namespace {

using testkit::ElementKind;
using testkit::LayeredMesh;
using testkit::ModelWriter;
using testkit::SurfaceOptions;
using testkit::TecplotFile;
using testkit::TecplotZone;
using testkit::TempDir;
using Values = std::vector<double>;

constexpr int kFloat = 1;
constexpr int kDouble = 2;
constexpr int kInt = 3;

// ---------------------------------------------------------------------------------------
// ASCII data sets read back into the same form as the binary reader gives, so that one set
// of checks serves both back ends. Shared values and node lists are copied in from the zone
// that holds them.

std::vector<std::string> splitlines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<int> numbers(const std::string& list) {
  std::vector<int> out;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) out.push_back(std::atoi(item.c_str()));
  return out;
}

int typecode(const std::string& word) {
  if (word == "SINGLE") return kFloat;
  if (word == "DOUBLE") return kDouble;
  if (word == "LONGINT") return kInt;
  return 0;
}

int zonetypecode(const std::string& word) {
  if (word == "FELINESEG") return 1;
  if (word == "FEQUADRILATERAL") return 3;
  if (word == "FETETRAHEDRON") return 4;
  if (word == "FEBRICK") return 5;
  return 0;
}

std::string unquote(const std::string& text) {
  const auto a = text.find('"');
  const auto b = text.rfind('"');
  return a == std::string::npos || b <= a ? std::string() : text.substr(a + 1, b - a - 1);
}

struct AsciiFile {
  TecplotFile data;
  std::vector<std::string> header;               // comment lines before the first zone
  std::vector<std::vector<std::string>> labels;  // per zone, the array labels in file order
};

bool parseascii(const std::string& text, AsciiFile& out, std::string& error) {
  TecplotFile& f = out.data;
  std::vector<std::vector<Values>> arrays;  // per zone, the arrays in file order
  std::vector<std::vector<std::int32_t>> lists;
  Values* current = nullptr;
  bool inlist = false;
  static const std::regex kZone(
      R"re(^ZONE T="([^"]*)"(, SOLUTIONTIME=([^,]+))?, DATAPACKING=BLOCK, NODES=(\d+), )re"
      R"re(ELEMENTS=(\d+), ZONETYPE=(\w+)(, VARLOCATION=\(\[([0-9,]+)\]=CELLCENTERED\))?)re"
      R"re((, VARSHARELIST=\(\[([0-9,]+)\]=1\))?(, CONNECTIVITYSHAREZONE=(\d+))?$)re");
  for (const std::string& line : splitlines(text)) {
    if (line.rfind("TITLE = ", 0) == 0) {
      f.title = unquote(line);
    } else if (line.rfind("VARIABLES = ", 0) == 0) {
      std::istringstream in(line.substr(12));
      for (std::string name; std::getline(in, name, ',');) f.variables.push_back(unquote(name));
    } else if (line.rfind("DATASETAUXDATA ", 0) == 0) {
      const auto eq = line.find('=');
      f.aux.push_back({-1, line.substr(15, eq - 15), unquote(line)});
    } else if (line.rfind("VARAUXDATA ", 0) == 0) {
      for (const std::string& item : splitlines(line)) {
        std::istringstream in(item.substr(11));
        int var = 0;
        std::string rest;
        in >> var >> rest;
        f.aux.push_back({var - 1, rest.substr(0, rest.find('=')), unquote(item)});
      }
    } else if (line.rfind("ZONE ", 0) == 0) {
      std::smatch m;
      if (!std::regex_match(line, m, kZone)) return (error = "zone line: " + line, false);
      TecplotZone z;
      const std::size_t nvar = f.variables.size();
      z.title = m[1];
      z.solutiontime = m[3].matched ? std::atof(m[3].str().c_str()) : 0.0;
      z.nodes = std::atoll(m[4].str().c_str());
      z.cells = std::atoll(m[5].str().c_str());
      z.zonetype = zonetypecode(m[6]);
      z.cellcentred.assign(nvar, false);
      z.sharezone.assign(nvar, -1);
      z.passive.assign(nvar, false);
      z.datatypes.assign(nvar, kFloat);
      for (const int v : m[8].matched ? numbers(m[8]) : std::vector<int>{}) {
        if (v < 1 || static_cast<std::size_t>(v) > nvar) return (error = "location list: " + line, false);
        z.cellcentred[static_cast<std::size_t>(v - 1)] = true;
      }
      for (const int v : m[10].matched ? numbers(m[10]) : std::vector<int>{}) {
        if (v < 1 || static_cast<std::size_t>(v) > nvar) return (error = "share list: " + line, false);
        z.sharezone[static_cast<std::size_t>(v - 1)] = 0;
      }
      z.connsharezone = m[12].matched ? std::atoi(m[12].str().c_str()) - 1 : -1;
      f.zones.push_back(z);
      arrays.emplace_back();
      lists.emplace_back();
      out.labels.emplace_back();
      current = nullptr;
      inlist = false;
    } else if (line.rfind("DT=(", 0) == 0) {
      if (f.zones.empty()) return (error = "DT before a zone", false);
      std::istringstream in(line.substr(4, line.size() - 5));
      std::size_t v = 0;
      for (std::string word; std::getline(in, word, ',');) {
        if (v < f.zones.back().datatypes.size()) f.zones.back().datatypes[v] = typecode(word);
        ++v;
      }
      if (v != f.variables.size()) return (error = "DT list: " + line, false);
    } else if (line.rfind("# ", 0) == 0) {
      if (f.zones.empty()) {
        out.header.push_back(line);
        continue;
      }
      const std::string label = line.substr(2);
      inlist = label == "element node lists";
      if (inlist) continue;
      out.labels.back().push_back(label);
      arrays.back().emplace_back();
      current = &arrays.back().back();
    } else if (!f.zones.empty()) {
      std::istringstream in(line);
      for (std::string word; in >> word;) {
        if (inlist) {
          lists.back().push_back(static_cast<std::int32_t>(std::atol(word.c_str())));
        } else if (current != nullptr) {
          current->push_back(std::strtod(word.c_str(), nullptr));
        } else {
          return (error = "values outside an array: " + line, false);
        }
      }
    }
  }
  // Own arrays come in variable-number order, one per variable that is not shared.
  for (std::size_t zi = 0; zi < f.zones.size(); ++zi) {
    TecplotZone& z = f.zones[zi];
    z.values.resize(f.variables.size());
    std::size_t k = 0;
    for (std::size_t v = 0; v < f.variables.size(); ++v) {
      if (z.sharezone[v] >= 0) {
        z.values[v] = f.zones[static_cast<std::size_t>(z.sharezone[v])].values[v];
      } else if (k < arrays[zi].size()) {
        z.values[v] = arrays[zi][k++];
      } else {
        return (error = "zone " + std::to_string(zi + 1) + " lacks variable " + std::to_string(v + 1), false);
      }
    }
    if (k != arrays[zi].size()) return (error = "zone " + std::to_string(zi + 1) + " has extra arrays", false);
    if (z.connsharezone >= 0) {
      if (!lists[zi].empty()) return (error = "zone with shared node lists writes its own", false);
      z.connectivity = f.zones[static_cast<std::size_t>(z.connsharezone)].connectivity;
    } else {
      for (const std::int32_t n : lists[zi]) z.connectivity.push_back(n - 1);
    }
  }
  return true;
}

// Every variable of every zone is either shared with an earlier zone or has one value per
// node (nodal) or per element (cell-centred); every zone has its node lists.
void expectcomplete(const TecplotFile& f, const std::string& what) {
  for (std::size_t zi = 0; zi < f.zones.size(); ++zi) {
    const TecplotZone& z = f.zones[zi];
    for (std::size_t v = 0; v < f.variables.size(); ++v) {
      SCOPED_TRACE(what + " zone " + std::to_string(zi + 1) + " " + f.variables[v]);
      EXPECT_FALSE(z.passive[v]);
      if (z.sharezone[v] >= 0) {
        EXPECT_LT(z.sharezone[v], static_cast<int>(zi));
      } else {
        EXPECT_EQ(z.values[v].size(), static_cast<std::size_t>(z.cellcentred[v] ? z.cells : z.nodes));
      }
    }
    const int perelement = z.zonetype == 5 ? 8 : z.zonetype == 1 ? 2 : 4;
    EXPECT_EQ(z.connectivity.size(), static_cast<std::size_t>(z.cells * perelement)) << what;
  }
}

int varindex(const TecplotFile& f, const std::string& name) {
  const auto it = std::find(f.variables.begin(), f.variables.end(), name);
  return it == f.variables.end() ? -1 : static_cast<int>(it - f.variables.begin());
}

std::string unitsof(const TecplotFile& f, int v) {
  for (const auto& a : f.aux) {
    if (a.var == v && a.name == "Units") return a.value;
  }
  return "";
}

// One registered variable: name, data type, units text and location.
struct Registered {
  std::string name;
  int type;
  std::string units;
  bool cellcentred;
};

void expectregistered(const TecplotFile& f, const std::vector<Registered>& expected) {
  std::vector<std::string> names;
  for (const auto& r : expected) names.push_back(r.name);
  ASSERT_EQ(f.variables, names);
  ASSERT_FALSE(f.zones.empty());
  for (std::size_t v = 0; v < expected.size(); ++v) {
    SCOPED_TRACE(expected[v].name);
    EXPECT_EQ(f.zones[0].datatypes[v], expected[v].type);
    EXPECT_EQ(unitsof(f, static_cast<int>(v)), expected[v].units);
    EXPECT_EQ(f.zones[0].cellcentred[v], expected[v].cellcentred);
  }
}

// The variables (1-based) a zone shares.
std::vector<int> sharedvars(const TecplotZone& z) {
  std::vector<int> out;
  for (std::size_t v = 0; v < z.sharezone.size(); ++v) {
    if (z.sharezone[v] >= 0) out.push_back(static_cast<int>(v) + 1);
  }
  return out;
}

Values pick(const Values& all, const std::vector<int>& oneBased) {
  Values out;
  for (const int n : oneBased) out.push_back(all[static_cast<std::size_t>(n - 1)]);
  return out;
}

Values asfloat(const Values& v) {
  Values out;
  for (const double x : v) out.push_back(static_cast<double>(static_cast<float>(x)));
  return out;
}

std::vector<std::int32_t> firstelement(const TecplotZone& z, int perelement) {
  const auto n = std::min(static_cast<std::size_t>(perelement), z.connectivity.size());
  return {z.connectivity.begin(), z.connectivity.begin() + static_cast<std::ptrdiff_t>(n)};
}

// Heads of a model at output time n: a metre or so above each node, different per node and time.
Values headsat(const Values& z, int n) {
  Values h;
  for (std::size_t i = 0; i < z.size(); ++i) h.push_back(z[i] + 0.5 + 0.25 * static_cast<double>(i) + n);
  return h;
}

Values minus(const Values& a, const Values& b) {
  Values out;
  for (std::size_t i = 0; i < a.size(); ++i) out.push_back(a[i] - b[i]);
  return out;
}

Values plus(const Values& a, double d) {
  Values out;
  for (const double x : a) out.push_back(x + d);
  return out;
}

// ---------------------------------------------------------------------------------------

struct Records {
  DOMAIN pm, pmcopy, dual, frac, olf;
  std::vector<DOMAIN*> plotted() { return {&pm, &dual, &frac, &olf}; }
  std::vector<DOMAIN*> others() { return {&dual, &frac, &olf}; }
};

class PlotSetup : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    begin(dir_.path());
  }
  void TearDown() override {
    release();
    CleanPlotRun::TearDown();
  }
  // Fresh run settings for a model laid down in dir.
  void begin(const std::filesystem::path& dir) {
    setbaseunits(kilogram_meter_second);
    plot_data.tecplot_bin_mode = binary_;
    plot_data.prefix = ModelWriter(dir).prefix();
    plot_data.title = {"Plot set-up model", "second line"};
    plot_data.nfilestart = 1;
    records_.reset();
  }
  // Binary data sets left open by a failed test are closed so that their files go away.
  void release() {
    if (!records_) return;
    for (DOMAIN* d : records_->plotted()) {
      if (d->tecfilehandle != nullptr) tecFileWriterClose(&d->tecfilehandle);
    }
    records_.reset();
  }

  template <class F>
  static std::string quiet(F f) {
    ::testing::internal::CaptureStdout();
    try {
      f();
    } catch (...) {
      ::testing::internal::GetCapturedStdout();
      throw;
    }
    return ::testing::internal::GetCapturedStdout();
  }

  // The records of every domain whose mesh exists, created in creation order.
  Records& create() {
    records_ = std::make_unique<Records>();
    Records& r = *records_;
    quiet([&] {
      domaincreate(r.pm, "pm", r.pm);
      r.pm.coupling = 1;
      r.pmcopy = r.pm;
      domaincreate(r.dual, "dual", r.pmcopy);
      domaincreate(r.olf, "olf", r.pmcopy);
      domaincreate(r.frac, "frac", r.pmcopy);
    });
    return r;
  }

  static std::string timeof(int n) { return std::to_string(n) + ".5"; }

  // One output index, as the main loop takes it: set-up at the first, append later.
  void step(int n) {
    Records& r = *records_;
    plot_data.nfile = n;
    plot_data.nfs = outputtimeindex(n);
    plot_data.timestamp = timeof(n);
    if (n == plot_data.nfilestart) {
      init(r.pm, r.pmcopy);
      r.pmcopy = r.pm;
      for (DOMAIN* d : r.others()) init(*d, r.pmcopy);
    } else {
      append(r.pm, r.pmcopy);
      r.pmcopy = r.pm;
      for (DOMAIN* d : r.others()) append(*d, r.pmcopy);
    }
  }
  void closeall() {
    for (DOMAIN* d : records_->plotted()) tecplotfileclose(*d);
  }
  // Indices first .. last, then the files closed; the screen output.
  std::string run(int last, int first = 1) {
    return quiet([&] {
      for (int n = first; n <= last; ++n) step(n);
      closeall();
    });
  }

  std::filesystem::path plotfile(const std::string& domain) const {
    return plot_data.prefix + "o." + domain + (binary_ ? ".szplt" : ".dat");
  }
  TecplotFile readback(const std::string& domain) const {
    std::string error;
    if (binary_) {
      TecplotFile f;
      if (!testkit::readtecplot(plotfile(domain), f, error)) ADD_FAILURE() << domain << ": " << error;
      return f;
    }
    AsciiFile f;
    if (!parseascii(testkit::readfile(plotfile(domain)), f, error)) ADD_FAILURE() << domain << ": " << error;
    return f.data;
  }
  AsciiFile readascii(const std::string& domain) const {
    AsciiFile f;
    std::string error;
    if (!parseascii(testkit::readfile(plotfile(domain)), f, error)) ADD_FAILURE() << domain << ": " << error;
    return f;
  }

  void writeheads(const std::string& domain, int n, const Values& values) const {
    model_.result_r8("head", domain, n, timeof(n) + " heads", values);
  }

  bool binary_ = false;
  TempDir dir_;
  ModelWriter model_{dir_.path()};
  std::unique_ptr<Records> records_;
};

// The same checks against both writer back ends.
class PlotSetupBackEnds : public PlotSetup, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    binary_ = GetParam();
    PlotSetup::SetUp();
  }
};

std::string backendname(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Binary" : "Ascii"; }

// Every data set starts with the coordinates and the element zones.
std::vector<Registered> withmesh(std::vector<Registered> rest) {
  std::vector<Registered> all = {{"X", kDouble, "(m)", false},
                                 {"Y", kDouble, "(m)", false},
                                 {"Z", kDouble, "(m)", false},
                                 {"Zone", kInt, "", true}};
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

const std::vector<Registered> kPmVariables = withmesh({
    {"Layer Number", kInt, "", true},      {"Column Number", kInt, "", true},
    {"Thickness", kDouble, "", true},      {"Head", kDouble, "(m)", false},
    {"Pressure Head", kDouble, "(m)", false},
});

// ---------------------------------------------------------------------------------------
// Porous medium

TEST_P(PlotSetupBackEnds, PmBricksRegisterMeshAndHeadVariables) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = 1; n <= 2; ++n) writeheads("pm", n, headsat(mesh.z, n));
  create();
  ASSERT_NO_THROW(run(2));

  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  expectregistered(f, kPmVariables);
  EXPECT_EQ(f.title, "Plot set-up model");
  ASSERT_EQ(f.zones.size(), 2u);
  const TecplotZone& z1 = f.zones[0];
  EXPECT_EQ(z1.title, "pm");
  EXPECT_EQ(z1.zonetype, 5);
  EXPECT_EQ(z1.nodes, 18);
  EXPECT_EQ(z1.cells, 4);
  EXPECT_DOUBLE_EQ(z1.solutiontime, 1.5);
  EXPECT_EQ(z1.values[0], mesh.x);
  EXPECT_EQ(z1.values[2], mesh.z);
  EXPECT_EQ(z1.values[3], (Values{1, 1, 1, 1}));
  EXPECT_EQ(z1.values[4], (Values{1, 1, 2, 2}));
  EXPECT_EQ(z1.values[5], (Values{1, 2, 1, 2}));
  EXPECT_EQ(z1.values[6], (Values{1, 1, 1, 1}));
  EXPECT_EQ(z1.values[7], headsat(mesh.z, 1));
  EXPECT_EQ(z1.values[8], minus(headsat(mesh.z, 1), mesh.z));
  EXPECT_EQ(firstelement(z1, 8), (std::vector<std::int32_t>{0, 1, 4, 3, 6, 7, 10, 9}));

  // Later zones share every time-invariant variable and the node lists.
  const TecplotZone& z2 = f.zones[1];
  EXPECT_DOUBLE_EQ(z2.solutiontime, 2.5);
  EXPECT_EQ(sharedvars(z2), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(z2.connsharezone, 0);
  EXPECT_EQ(z2.cellcentred, z1.cellcentred);
  EXPECT_EQ(z2.values[7], headsat(mesh.z, 2));
  EXPECT_EQ(z2.values[8], minus(headsat(mesh.z, 2), mesh.z));
}

TEST_F(PlotSetup, PmEchoesEveryRegistrationAndItsBanner) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  writeheads("pm", 1, headsat(mesh.z, 1));
  create();
  std::string out;
  ASSERT_NO_THROW(out = run(1));
  const std::string expected = " \n" + std::string(48, '-') + "\npm data to tecplot\nCreating tecplot file " +
                               plot_data.prefix + "o.pm\n" +
                               "   1     X\n   2     Y\n   3     Z\n   4     Zone\n   5     Layer Number\n"
                               "   6     Column Number\n   7     Thickness\n   8     Head\n   9     Pressure Head\n";
  EXPECT_NE(out.find(expected), std::string::npos) << out;
  EXPECT_NE(out.find("Medium: pm\nFull mesh (no truncation)\nNodes:    18\nElements: 4\n"), std::string::npos) << out;
}

TEST_F(PlotSetup, PmAsciiFileHoldsUnitsLabelsAndZoneLines) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = 1; n <= 2; ++n) writeheads("pm", n, headsat(mesh.z, n));
  create();
  ASSERT_NO_THROW(run(2));
  const std::string text = testkit::readfile(plotfile("pm"));
  EXPECT_NE(text.find("VARIABLES = \"X\",\"Y\",\"Z\",\"Zone\",\"Layer Number\",\"Column Number\",\"Thickness\","
                      "\"Head\",\"Pressure Head\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("# X units: (m)\n# Y units: (m)\n# Z units: (m)\n# Head units: (m)\n"
                      "# Pressure Head units: (m)\n"),
            std::string::npos);
  EXPECT_NE(text.find("ZONE T=\"pm\", SOLUTIONTIME=1.5, DATAPACKING=BLOCK, NODES=18, ELEMENTS=4, ZONETYPE=FEBRICK, "
                      "VARLOCATION=([4,5,6,7]=CELLCENTERED)\nDT=(DOUBLE,DOUBLE,DOUBLE,LONGINT,LONGINT,LONGINT,DOUBLE,"
                      "DOUBLE,DOUBLE)\n# x\n"),
            std::string::npos);
  EXPECT_NE(text.find("ZONE T=\"pm\", SOLUTIONTIME=2.5, DATAPACKING=BLOCK, NODES=18, ELEMENTS=4, ZONETYPE=FEBRICK, "
                      "VARLOCATION=([4,5,6,7]=CELLCENTERED), VARSHARELIST=([1,2,3,4,5,6,7]=1), "
                      "CONNECTIVITYSHAREZONE=1\n"),
            std::string::npos);
  const AsciiFile f = readascii("pm");
  ASSERT_EQ(f.labels.size(), 2u);
  EXPECT_EQ(f.labels[0], (std::vector<std::string>{"x", "y", "z", "zone (cell centred)", "Layer #", "Column #",
                                                   "Thickness", "head", "pressure head"}));
  EXPECT_EQ(f.labels[1], (std::vector<std::string>{"head", "pressure head"}));
  // Node lists of the first zone only, eight a line for bricks.
  EXPECT_NE(text.find("# element node lists\n         1          2          5          4          7          8"
                      "         11         10 \n"),
            std::string::npos);
  EXPECT_EQ(text.find("# element node lists"), text.rfind("# element node lists"));
}

TEST_P(PlotSetupBackEnds, PmPrismsWriteBricksWithRepeatedCorners) {
  const LayeredMesh mesh = model_.pm(2, 1, 3, ElementKind::prisms);
  writeheads("pm", 1, headsat(mesh.z, 1));
  create();
  ASSERT_NO_THROW(run(1));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  expectregistered(f, kPmVariables);
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.zonetype, 5);
  EXPECT_EQ(z.cells, 8);
  EXPECT_EQ(z.values[4], (Values{1, 1, 1, 1, 2, 2, 2, 2}));
  EXPECT_EQ(z.values[5], (Values{1, 2, 3, 4, 1, 2, 3, 4}));
  // Bottom triangle 1, 2, 4 and top triangle 7, 8, 10, each with its third corner twice.
  EXPECT_EQ(firstelement(z, 8), (std::vector<std::int32_t>{0, 1, 3, 3, 6, 7, 9, 9}));
}

TEST_P(PlotSetupBackEnds, HeadMissingAtOneIndexIsSharedThenReadAgain) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (const int n : {1, 2, 4}) writeheads("pm", n, headsat(mesh.z, n));
  create();
  ASSERT_NO_THROW(run(4));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  ASSERT_EQ(f.zones.size(), 4u);
  EXPECT_EQ(sharedvars(f.zones[2]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(f.zones[2].values[7], headsat(mesh.z, 1));
  EXPECT_EQ(f.zones[2].values[8], minus(headsat(mesh.z, 1), mesh.z));
  EXPECT_EQ(sharedvars(f.zones[3]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(f.zones[3].values[7], headsat(mesh.z, 4));
  EXPECT_EQ(f.zones[3].values[8], minus(headsat(mesh.z, 4), mesh.z));
}

TEST_P(PlotSetupBackEnds, HeadMissingAtFirstIndexIsAbsentForTheRun) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (const int n : {2, 3}) writeheads("pm", n, headsat(mesh.z, n));
  Records& r = create();
  ASSERT_NO_THROW(run(3));
  EXPECT_FALSE(r.pm.headavail);
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  EXPECT_EQ(f.variables,
            (std::vector<std::string>{"X", "Y", "Z", "Zone", "Layer Number", "Column Number", "Thickness"}));
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(sharedvars(f.zones[2]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_P(PlotSetupBackEnds, ZoneFileOnlyAtSecondIndex) {
  model_.pm(2, 1, 3);
  testkit::writeresult_i4(model_.resultpath("tv_zone", "pm", 2), "2.5 zones", {7, 8, 9, 10});
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(f.zones[0].values[3], (Values{1, 1, 1, 1}));
  EXPECT_EQ(f.zones[1].sharezone[3], -1);
  EXPECT_EQ(f.zones[1].values[3], (Values{7, 8, 9, 10}));
  EXPECT_TRUE(f.zones[1].cellcentred[3]);
  // The third zone has no zone file: it repeats zone 1's mesh zones.
  EXPECT_EQ(f.zones[2].sharezone[3], 0);
  EXPECT_EQ(f.zones[2].values[3], (Values{1, 1, 1, 1}));
  EXPECT_TRUE(f.zones[2].cellcentred[3]);
}

TEST_P(PlotSetupBackEnds, TopographyFilesMovePressureHeads) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = 1; n <= 3; ++n) writeheads("pm", n, headsat(mesh.z, n));
  model_.result_r8("tvtopo", "pm", 1, "1.5", plus(mesh.z, -0.5));
  model_.result_r8("tvtopo", "pm", 2, "2.5", plus(mesh.z, -2.0));
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  std::vector<Registered> expected = kPmVariables;
  expected.push_back({"tvTopoZ", kDouble, "(m)", false});
  expected.push_back({"tvTopoZAbsDiff", kDouble, "(m)", false});
  expectregistered(f, expected);
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(f.zones[0].values[8], minus(headsat(mesh.z, 1), plus(mesh.z, -0.5)));
  EXPECT_EQ(f.zones[0].values[9], plus(mesh.z, -0.5));
  EXPECT_EQ(f.zones[0].values[10], Values(18, 0.5));
  EXPECT_EQ(f.zones[1].values[8], minus(headsat(mesh.z, 2), plus(mesh.z, -2.0)));
  EXPECT_EQ(f.zones[1].values[10], Values(18, 2.0));
  // No topography at the third index: heads measured from the mesh, topography shared.
  EXPECT_EQ(f.zones[2].values[8], minus(headsat(mesh.z, 3), mesh.z));
  EXPECT_EQ(f.zones[2].sharezone[9], 0);
  EXPECT_EQ(f.zones[2].sharezone[10], 0);
}

TEST_P(PlotSetupBackEnds, BoxTruncationPacksValuesAndRenumbersNodes) {
  const LayeredMesh mesh = model_.pm(4, 1, 3);  // 30 nodes, 8 bricks
  writeheads("pm", 1, headsat(mesh.z, 1));
  writeheads("pm", 2, headsat(mesh.z, 2));
  Records& r = create();
  r.pm.truncate = true;
  r.pm.xmax_trunc = 2.0;  // centroids at x 0.5 and 1.5 kept, 2.5 and 3.5 not
  std::string out;
  ASSERT_NO_THROW(out = run(2));
  EXPECT_NE(out.find("Truncated mesh\nNodes:    18/30\nElements: 4/8\n"), std::string::npos) << out;
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.nodes, 18);
  EXPECT_EQ(z.cells, 4);
  std::vector<int> kept;
  for (int k = 0; k < 3; ++k) {
    for (int j = 0; j < 2; ++j) {
      for (int i = 0; i <= 2; ++i) kept.push_back(mesh.node(i, j, k));
    }
  }
  EXPECT_EQ(z.values[0], pick(mesh.x, kept));
  EXPECT_EQ(z.values[2], pick(mesh.z, kept));
  EXPECT_EQ(z.values[3], (Values{1, 1, 1, 1}));
  EXPECT_EQ(z.values[4], (Values{1, 1, 2, 2}));
  EXPECT_EQ(z.values[5], (Values{1, 2, 1, 2}));
  EXPECT_EQ(z.values[7], pick(headsat(mesh.z, 1), kept));
  EXPECT_EQ(f.zones.at(1).values[8], minus(pick(headsat(mesh.z, 2), kept), pick(mesh.z, kept)));
  // pm nodes 1, 2, 7, 6 (and 11, 12, 17, 16 above) are the written nodes 1, 2, 5, 4, 7, 8, 11, 10.
  EXPECT_EQ(firstelement(z, 8), (std::vector<std::int32_t>{0, 1, 4, 3, 6, 7, 10, 9}));
  for (const std::int32_t n : z.connectivity) EXPECT_LT(n, 18);
}

TEST_P(PlotSetupBackEnds, LayerTruncationKeepsOneElementLayer) {
  const LayeredMesh mesh = model_.pm(2, 1, 4);  // 24 nodes, 6 bricks in 3 layers
  writeheads("pm", 1, headsat(mesh.z, 1));
  Records& r = create();
  r.pm.truncatebylayer = true;
  r.pm.layermin_trunc = 2;
  r.pm.layermax_trunc = 2;
  std::string out;
  ASSERT_NO_THROW(out = run(1));
  EXPECT_NE(out.find("Truncated mesh\nNodes:    12/24\nElements: 2/6\n"), std::string::npos) << out;
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.nodes, 12);
  EXPECT_EQ(z.cells, 2);
  std::vector<int> kept;
  for (int n = 7; n <= 18; ++n) kept.push_back(n);
  EXPECT_EQ(z.values[2], pick(mesh.z, kept));
  EXPECT_EQ(z.values[4], (Values{2, 2}));
  EXPECT_EQ(z.values[5], (Values{1, 2}));
  EXPECT_EQ(z.values[7], pick(headsat(mesh.z, 1), kept));
  EXPECT_EQ(z.connectivity, (std::vector<std::int32_t>{0, 1, 4, 3, 6, 7, 10, 9, 1, 2, 5, 4, 7, 8, 11, 10}));
}

// ---------------------------------------------------------------------------------------
// Domains with nodes of their own

TEST_P(PlotSetupBackEnds, MultiNodeOverlandFlowHasDepthsAndPmNodeNumbers) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.olf(mesh);
  writeheads("pm", 1, headsat(mesh.z, 1));
  // Top nodes lie at z = 2: heads below, at and above the ground.
  const Values olfhead1 = {1.5, 2.0, 3.0, 12.0, 2.25, 2.0 + 1.0e-9};
  const Values olfhead2 = {4.0, 4.0, 4.0, 4.0, 4.0, 4.0};
  writeheads("olf", 1, olfhead1);
  writeheads("olf", 2, olfhead2);
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Head", kDouble, "(m)", false},
                       {"Depth", kFloat, "(m)", false},
                       {"LogDepth", kFloat, "(m)", false}}));
  const TecplotZone& z1 = f.zones.at(0);
  EXPECT_EQ(z1.zonetype, 3);
  EXPECT_EQ(z1.nodes, 6);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.values[2], Values(6, 2.0));
  EXPECT_EQ(z1.values[3], (Values{2, 2}));
  EXPECT_EQ(z1.values[4], (Values{13, 14, 15, 16, 17, 18}));
  EXPECT_EQ(z1.values[5], olfhead1);
  EXPECT_EQ(z1.values[6], asfloat({0.0, 0.0, 1.0, 10.0, 0.25, (2.0 + 1.0e-9) - 2.0}));
  ASSERT_EQ(z1.values[7].size(), 6u);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][0]), -8.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][1]), -8.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][2]), 0.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][3]), 1.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][5]), -8.0f);
  // Element 1 on pm nodes 13, 14, 17, 16 is the domain's nodes 1, 2, 5, 4.
  EXPECT_EQ(firstelement(z1, 4), (std::vector<std::int32_t>{0, 1, 4, 3}));
  const TecplotZone& z2 = f.zones.at(1);
  EXPECT_EQ(sharedvars(z2), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(z2.values[6], Values(6, 2.0));
  EXPECT_FLOAT_EQ(static_cast<float>(z2.values[7][0]), std::log10(2.0f));
  // No surface heads at the third index: the head and both depths are shared.
  EXPECT_EQ(sharedvars(f.zones.at(2)), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_P(PlotSetupBackEnds, OverlandFlowTopographyMovesDepthsWithoutDifferenceVariable) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.olf(mesh);
  writeheads("olf", 1, Values(6, 3.0));
  writeheads("olf", 2, Values(6, 3.0));
  model_.result_r8("tvtopo", "olf", 1, "1.5", Values(6, 1.0));
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Head", "Depth", "LogDepth",
                                                   "tvTopoZ"}));
  EXPECT_EQ(f.zones.at(0).values[6], Values(6, 2.0));
  EXPECT_EQ(f.zones.at(0).values[8], Values(6, 1.0));
  // The second index has no topography file: depths from the mesh, topography shared.
  EXPECT_EQ(f.zones.at(1).values[6], Values(6, 1.0));
  EXPECT_EQ(f.zones.at(1).sharezone[8], 0);
}

TEST_P(PlotSetupBackEnds, OverlandFlowWallsLeaveOutNodeNumbers) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions walls;
  walls.walls = true;
  model_.olf(mesh, walls);
  writeheads("olf", 1, Values(6, 3.0));
  writeheads("olf", 2, Values(6, 3.5));
  create();
  ASSERT_NO_THROW(run(2));
  ASSERT_TRUE(plot_data.olf_wall);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "Head", "Depth", "LogDepth"}));
  EXPECT_EQ(f.zones.at(0).nodes, 6);
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(f.zones.at(1).values[5], asfloat(Values(6, 1.5)));
}

TEST_P(PlotSetupBackEnds, TopographyZonesBelongToPmOnly) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.dual(mesh, {1, 1, 1, 1});
  for (const char* name : {"pm", "dual"}) {
    testkit::writeresult_i4(model_.resultpath("tvtopo_zone", name, 1), "1.5", {3, 3, 4, 4});
    testkit::writeresult_i4(model_.resultpath("tvtopo_zone", name, 3), "3.5", {5, 6, 5, 6});
  }
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile pm = readback("pm");
  expectcomplete(pm, "pm");
  const int v = varindex(pm, "tvTopoZone");
  ASSERT_EQ(v, 7);
  const auto i = static_cast<std::size_t>(v);
  EXPECT_EQ(pm.zones.at(0).datatypes[i], kInt);
  EXPECT_TRUE(pm.zones.at(0).cellcentred[i]);
  EXPECT_EQ(pm.zones.at(0).values[i], (Values{3, 3, 4, 4}));
  EXPECT_EQ(pm.zones.at(1).sharezone[i], 0);
  EXPECT_TRUE(pm.zones.at(1).cellcentred[i]);
  EXPECT_EQ(pm.zones.at(2).values[i], (Values{5, 6, 5, 6}));
  const TecplotFile dual = readback("dual");
  expectcomplete(dual, "dual");
  EXPECT_EQ(varindex(dual, "tvTopoZone"), -1);
}

TEST_P(PlotSetupBackEnds, CommonNodeOverlandFlowWallsLeaveOutNodeNumbers) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions options;
  options.multinode = false;
  options.walls = true;
  model_.olf(mesh, options);
  writeheads("pm", 1, headsat(mesh.z, 1));
  writeheads("pm", 2, headsat(mesh.z, 2));
  create();
  ASSERT_NO_THROW(run(2));
  ASSERT_TRUE(plot_data.olf_wall);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "Head", "Pressure Head"}));
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(f.zones.at(1).values[4], pick(headsat(mesh.z, 2), {13, 14, 15, 16, 17, 18}));
}

TEST_P(PlotSetupBackEnds, FractureApertureIsStaticAndCellCentred) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.frac(mesh);
  writeheads("pm", 1, headsat(mesh.z, 1));
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("frac");
  expectcomplete(f, "frac");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Aperture", kDouble, "(m)", true}}));
  const TecplotZone& z1 = f.zones.at(0);
  EXPECT_EQ(z1.nodes, 9);
  EXPECT_EQ(z1.cells, 4);
  EXPECT_EQ(z1.values[4], (Values{1, 2, 3, 7, 8, 9, 13, 14, 15}));
  EXPECT_EQ(z1.values[5], (Values{0.001, 0.002, 0.003, 0.004}));
  EXPECT_EQ(firstelement(z1, 4), (std::vector<std::int32_t>{0, 1, 4, 3}));
  const TecplotZone& z2 = f.zones.at(1);
  EXPECT_EQ(sharedvars(z2), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(z2.cellcentred[5]);
  EXPECT_EQ(z2.values[5], (Values{0.001, 0.002, 0.003, 0.004}));
}

TEST_P(PlotSetupBackEnds, DualKeepsZonedElementsOnly) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.dual(mesh, {5, 0, 7, 0});
  const Values dualhead = headsat(mesh.z, 1);
  writeheads("dual", 1, dualhead);
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("dual");
  expectcomplete(f, "dual");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Head", kDouble, "(m)", false},
                       {"Pressure Head", kDouble, "(m)", false}}));
  const TecplotZone& z1 = f.zones.at(0);
  EXPECT_EQ(z1.zonetype, 5);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.nodes, 12);
  EXPECT_EQ(z1.values[3], (Values{5, 7}));
  const std::vector<int> kept = {1, 2, 4, 5, 7, 8, 10, 11, 13, 14, 16, 17};
  EXPECT_EQ(z1.values[4], Values(kept.begin(), kept.end()));
  EXPECT_EQ(z1.values[5], pick(dualhead, kept));
  EXPECT_EQ(z1.values[6], minus(pick(dualhead, kept), pick(mesh.z, kept)));
  EXPECT_EQ(z1.connectivity, (std::vector<std::int32_t>{0, 1, 3, 2, 4, 5, 7, 6, 4, 5, 7, 6, 8, 9, 11, 10}));
  // No dual head at the second index: shared with zone 1.
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_P(PlotSetupBackEnds, DomainWithoutFileRequestGetsNoDataSet) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.frac(mesh);
  Records& r = create();
  r.frac.writefile = false;
  ASSERT_NO_THROW(run(2));
  EXPECT_FALSE(std::filesystem::exists(plotfile("frac")));
  EXPECT_EQ(r.frac.nvar, 0);
  EXPECT_TRUE(std::filesystem::exists(plotfile("pm")));
}

// ---------------------------------------------------------------------------------------
// Common-node domains

TEST_P(PlotSetupBackEnds, CommonNodeOverlandFlowTakesPmValues) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  for (const int n : {1, 2, 4}) writeheads("pm", n, headsat(mesh.z, n));
  create();
  std::string out;
  ASSERT_NO_THROW(out = run(4));
  EXPECT_NE(out.find("olf data to tecplot\nCreating tecplot file " + plot_data.prefix + "o.olf\n"), std::string::npos);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Head", kDouble, "(m)", false},
                       {"Pressure Head", kDouble, "(m)", false}}));
  const std::vector<int> top = {13, 14, 15, 16, 17, 18};
  ASSERT_EQ(f.zones.size(), 4u);
  const TecplotZone& z1 = f.zones[0];
  EXPECT_EQ(z1.nodes, 6);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.values[0], pick(mesh.x, top));
  EXPECT_EQ(z1.values[2], pick(mesh.z, top));
  EXPECT_EQ(z1.values[4], Values(top.begin(), top.end()));
  EXPECT_EQ(z1.values[5], pick(headsat(mesh.z, 1), top));
  EXPECT_EQ(z1.values[6], minus(pick(headsat(mesh.z, 1), top), Values(6, 2.0)));
  EXPECT_EQ(firstelement(z1, 4), (std::vector<std::int32_t>{0, 1, 4, 3}));
  EXPECT_EQ(f.zones[1].values[5], pick(headsat(mesh.z, 2), top));
  // The pm head file of index 3 is missing: this zone shares both heads.
  EXPECT_EQ(sharedvars(f.zones[2]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(sharedvars(f.zones[3]), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(f.zones[3].values[5], pick(headsat(mesh.z, 4), top));
}

TEST_P(PlotSetupBackEnds, CommonNodePressureHeadOnlyWhenPmHoldsIt) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  for (const int n : {1, 3}) writeheads("pm", n, headsat(mesh.z, n));
  Records& r = create();
  r.pm.writepresshead = false;
  ASSERT_TRUE(r.olf.writepresshead);
  ASSERT_NO_THROW(run(3));
  EXPECT_EQ(r.olf.pressheadvar, 0);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Head"}));
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(sharedvars(f.zones[1]), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.zones[2].values[5], pick(headsat(mesh.z, 3), {13, 14, 15, 16, 17, 18}));
}

TEST_P(PlotSetupBackEnds, CommonNodeWithoutPmHeadsHasNoHeads) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.frac(mesh, false);
  writeheads("pm", 2, headsat(mesh.z, 2));
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("frac");
  expectcomplete(f, "frac");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Aperture"}));
  EXPECT_EQ(f.zones.at(0).values[4], (Values{1, 2, 3, 7, 8, 9, 13, 14, 15}));
  EXPECT_TRUE(f.zones.at(1).cellcentred[5]);
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_P(PlotSetupBackEnds, CommonNodeBoxTruncation) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  writeheads("pm", 1, headsat(mesh.z, 1));
  Records& r = create();
  r.olf.truncate = true;
  r.olf.xmax_trunc = 1.0;  // the first of the two surface elements
  std::string out;
  ASSERT_NO_THROW(out = run(1));
  EXPECT_NE(out.find("Medium: olf\nTruncated mesh\nNodes:    4/6\nElements: 1/2\n"), std::string::npos) << out;
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.nodes, 4);
  EXPECT_EQ(z.cells, 1);
  const std::vector<int> kept = {13, 14, 16, 17};
  EXPECT_EQ(z.values[0], pick(mesh.x, kept));
  EXPECT_EQ(z.values[4], Values(kept.begin(), kept.end()));
  EXPECT_EQ(z.values[5], pick(headsat(mesh.z, 1), kept));
  EXPECT_EQ(z.connectivity, (std::vector<std::int32_t>{0, 1, 3, 2}));
}

TEST_P(PlotSetupBackEnds, ReadOnlyPmFeedsCommonNodeDomainWithoutDataSet) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  for (const int n : {1, 2, 4}) writeheads("pm", n, headsat(mesh.z, n));
  Records& r = create();
  r.pm.writefile = false;
  plot_data.pmreadonly = true;
  std::string out;
  ASSERT_NO_THROW(out = run(4));
  EXPECT_NE(out.find(" \n" + std::string(48, '-') + "\npm data read for common node output\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("Creating tecplot file " + plot_data.prefix + "o.pm\n"), std::string::npos);
  EXPECT_NE(out.find("   8     Head\n   9     Pressure Head\n"), std::string::npos);
  for (const char* suffix : {"o.pm.dat", "o.pm.szplt", "o.pm.szplt.szhdr", "o.pm.szplt.szdat"}) {
    EXPECT_FALSE(std::filesystem::exists(plot_data.prefix + suffix)) << suffix;
  }
  EXPECT_EQ(r.pm.zone, 0);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  ASSERT_EQ(f.zones.size(), 4u);
  const std::vector<int> top = {13, 14, 15, 16, 17, 18};
  EXPECT_EQ(f.zones[0].values[5], pick(headsat(mesh.z, 1), top));
  EXPECT_EQ(f.zones[1].values[5], pick(headsat(mesh.z, 2), top));
  EXPECT_EQ(f.zones[2].sharezone[5], 0);
  EXPECT_EQ(f.zones[2].sharezone[6], 0);
  EXPECT_EQ(f.zones[3].values[5], pick(headsat(mesh.z, 4), top));
}

INSTANTIATE_TEST_SUITE_P(Writers, PlotSetupBackEnds, ::testing::Bool(), backendname);

// ---------------------------------------------------------------------------------------
// Writer details

TEST_F(PlotSetup, LeftOverTemporaryFileWarnsInAsciiMode) {
  model_.pm(2, 1, 3);
  testkit::writefile(plot_data.prefix + "o.pm.szplt.szhdr", "left over");
  create();
  ::testing::internal::CaptureStderr();
  std::string out;
  EXPECT_NO_THROW(out = run(1));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Tecplot szplt temporary files found (" + plot_data.prefix + "o.pm.szplt.szhdr, etc.)"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Consider deleting them, otherwise data may be appended."), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::exists(plotfile("pm")));
}

// The saved state of an open binary data set is rewritten only when it is flushed.
class PlotSetupFlush : public PlotSetup, public ::testing::WithParamInterface<std::tuple<int, int, std::vector<int>>> {
 protected:
  void SetUp() override {
    binary_ = true;
    PlotSetup::SetUp();
  }
};

TEST_P(PlotSetupFlush, FlushesAtMultiplesOfTheIntervalFromTheFirstIndex) {
  const int interval = std::get<0>(GetParam());
  const int first = std::get<1>(GetParam());
  const std::vector<int> flushed = std::get<2>(GetParam());
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = first; n < first + 6; ++n) writeheads("pm", n, headsat(mesh.z, n));
  create();
  plot_data.tecbinflushint = interval;
  plot_data.nfilestart = first;
  const std::filesystem::path state = plot_data.prefix + "o.pm.szplt.szhdr";
  std::string before;
  std::vector<int> seen;
  ASSERT_NO_THROW(quiet([&] {
    for (int n = first; n < first + 6; ++n) {
      step(n);
      const std::string now = testkit::readfile(state);
      if (n > first && now != before) seen.push_back(n);
      before = now;
    }
    closeall();
  }));
  EXPECT_EQ(seen, flushed);
  EXPECT_FALSE(std::filesystem::exists(state));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  EXPECT_EQ(f.zones.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Intervals, PlotSetupFlush,
                         ::testing::Values(std::make_tuple(1, 1, std::vector<int>{2, 3, 4, 5, 6}),
                                           std::make_tuple(2, 1, std::vector<int>{2, 4, 6}),
                                           std::make_tuple(3, 5, std::vector<int>{7, 10})));

TEST_F(PlotSetup, FirstZoneIsFlushedOnlyWithIntervalOne) {
  for (const int interval : {1, 2}) {
    SCOPED_TRACE(interval);
    TempDir dir;
    release();
    reset();
    binary_ = true;
    begin(dir.path());
    ModelWriter model(dir.path());
    model.pm(2, 1, 3);
    create();
    plot_data.tecbinflushint = interval;
    ASSERT_NO_THROW(quiet([&] { step(1); }));
    // The state saved at the opening holds no zone; a flush saves the first one.
    const std::string saved = testkit::readfile(plot_data.prefix + "o.pm.szplt.szhdr");
    ASSERT_NO_THROW(quiet([&] { tecplotfileflush(records_->pm); }));
    const std::string flushed = testkit::readfile(plot_data.prefix + "o.pm.szplt.szhdr");
    EXPECT_EQ(saved == flushed, interval == 1);
    ASSERT_NO_THROW(quiet([&] { closeall(); }));
  }
}

// One model with every kind of domain written by both back ends: the same variables, the
// same sharing and the same values zone by zone.
TEST_F(PlotSetup, BothBackEndsHoldTheSameValues) {
  TempDir other;
  std::map<std::string, TecplotFile> results[2];
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "ascii");
    const std::filesystem::path dir = binary ? other.path() : dir_.path();
    release();
    reset();
    binary_ = binary;
    begin(dir);
    ModelWriter model(dir);
    const LayeredMesh mesh = model.pm(2, 1, 3);
    model.dual(mesh, {4, 5, 0, 6});
    SurfaceOptions common;
    common.multinode = false;
    model.olf(mesh, common);
    model.frac(mesh, true, 36);
    for (const int n : {1, 2, 4}) model.result_r8("head", "pm", n, "t", headsat(mesh.z, n));
    for (const int n : {1, 3}) model.result_r8("head", "dual", n, "t", plus(headsat(mesh.z, n), 0.125));
    for (const int n : {1, 4}) model.result_r8("head", "frac", n, "t", Values(9, 1.0 / 3.0 + n));
    model.result_r8("tvtopo", "pm", 1, "t", plus(mesh.z, -0.1));
    model.result_r8("tvtopo", "pm", 3, "t", plus(mesh.z, 0.3));
    testkit::writeresult_i4(model.resultpath("tv_zone", "olf", 2), "t", {9, 8});
    Records& r = create();
    r.pm.truncate = true;
    r.pm.xmax_trunc = 1.0;
    ASSERT_NO_THROW(run(4));
    for (const char* name : {"pm", "dual", "olf", "frac"}) {
      results[binary ? 1 : 0][name] = readback(name);
      expectcomplete(results[binary ? 1 : 0][name], name);
    }
  }
  for (const char* name : {"pm", "dual", "olf", "frac"}) {
    SCOPED_TRACE(name);
    const TecplotFile& a = results[0][name];
    const TecplotFile& b = results[1][name];
    EXPECT_EQ(a.title, b.title);
    ASSERT_EQ(a.variables, b.variables);
    ASSERT_EQ(a.zones.size(), 4u);
    ASSERT_EQ(b.zones.size(), 4u);
    for (std::size_t v = 0; v < a.variables.size(); ++v) {
      EXPECT_EQ(unitsof(a, static_cast<int>(v)), unitsof(b, static_cast<int>(v))) << a.variables[v];
    }
    for (std::size_t zi = 0; zi < 4; ++zi) {
      SCOPED_TRACE("zone " + std::to_string(zi + 1));
      const TecplotZone& za = a.zones[zi];
      const TecplotZone& zb = b.zones[zi];
      EXPECT_EQ(za.title, zb.title);
      EXPECT_DOUBLE_EQ(za.solutiontime, zb.solutiontime);
      EXPECT_EQ(za.zonetype, zb.zonetype);
      EXPECT_EQ(za.nodes, zb.nodes);
      EXPECT_EQ(za.cells, zb.cells);
      EXPECT_EQ(za.datatypes, zb.datatypes);
      EXPECT_EQ(za.cellcentred, zb.cellcentred);
      EXPECT_EQ(za.sharezone, zb.sharezone);
      EXPECT_EQ(za.connsharezone, zb.connsharezone);
      EXPECT_EQ(za.values, zb.values);
      EXPECT_EQ(za.connectivity, zb.connectivity);
    }
  }
  // The pm heads missing at index 3 are shared by pm and by the common-node olf alike.
  const TecplotFile& olf = results[1]["olf"];
  EXPECT_EQ(olf.zones[2].sharezone[static_cast<std::size_t>(varindex(olf, "Head"))], 0);
  EXPECT_EQ(olf.zones[1].sharezone[3], -1);
  EXPECT_EQ(olf.zones[1].values[3], (Values{9, 8}));
}

}  // namespace
}  // namespace kelpra
