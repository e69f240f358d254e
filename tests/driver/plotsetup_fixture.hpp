// The plot set-up and append fixture shared by the driver's tests: small generated models
// run through init and append as the main loop does, both writer back ends, and ASCII data
// sets read back into the form the binary reader gives.
#pragma once

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

#include <gtest/gtest.h>

#include "driver/domaincreate.hpp"
#include "driver/plotsetup.hpp"
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

// Each test file uses its own part of these helpers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"

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
  DOMAIN pm, pmcopy, dual, frac, olf, chan;
  std::vector<DOMAIN*> plotted() { return {&pm, &dual, &frac, &olf, &chan}; }
  std::vector<DOMAIN*> others() { return {&dual, &frac, &olf, &chan}; }
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
      domaincreate(r.chan, "chan", r.pmcopy);
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
      for (DOMAIN* d : r.plotted()) truncatemesh(*d, r.pmcopy);
      init(r.pm, r.pmcopy);
      r.pmcopy = r.pm;
      for (DOMAIN* d : r.others()) init(*d, r.pmcopy);
    } else {
      append(r.pm, r.pmcopy);
      r.pmcopy = r.pm;
      for (DOMAIN* d : r.others()) append(*d, r.pmcopy);
    }
    for (DOMAIN* d : r.plotted()) flushrule(*d);
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
    {"Pressure Head", kDouble, "(m)", false},  {"Depth2GWT", kDouble, "(m)", false},
    {"Depth2GWT2D", kDouble, "(m)", false},
});

}  // namespace
}  // namespace kelpra

#pragma GCC diagnostic pop
