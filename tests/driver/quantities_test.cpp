// The quantities of the output-variable handlers on a model that holds every one of their
// files for every domain: data-set order, values read back, later zones with files missing,
// element properties read once, common-node domains and append mode; both writer back ends.
#include "tests/driver/plotsetup_fixture.hpp"

namespace kelpra {
namespace {

enum class Kind { r4, r8, i4, computed };

// The third time of a row: its file left out every other row, or as stated.
enum class At3 { byparity, read, missing, shared };  // shared: the group's deciding file is missing

// One quantity file of one domain and the variables it becomes, in data-set order. Computed
// rows write no file; static rows are read once, from the file of output time 1. A root
// ending in "." names files without the domain.
struct Row {
  std::string domain;
  std::string root;
  Kind kind;
  std::vector<std::string> names;
  bool cellcentred = false;
  bool isstatic = false;
  At3 at3 = At3::byparity;
};

const std::vector<std::string> kPeclet = {"Peclet x", "Peclet y", "Peclet z"};
const std::vector<std::string> kDiffPeclet = {"DiffPeclet x", "DiffPeclet y", "DiffPeclet z"};
const std::vector<std::string> kTensor = {"Kxx", "Kyy", "Kzz", "Kxy", "Kyz", "Kzx"};
const std::vector<std::string> kPrincipal = {"Kxx", "Kyy", "Kzz"};

const std::vector<Row> kRows = {
    {"pm", "wall_node", Kind::i4, {"Wall Node Number"}, false, true},
    {"pm", "wall_elem", Kind::i4, {"Wall Element Label"}, true, true},
    {"pm", "", Kind::computed, {"Depth2Surf"}},
    {"pm", "", Kind::computed, {"Head", "Pressure Head"}},
    {"pm", "envhead", Kind::r8, {"Environmental Head"}},
    {"pm", "sat", Kind::r4, {"Sat"}},
    {"pm", "vwc", Kind::r8, {"VWC"}},
    {"pm", "", Kind::computed, {"Depth2GWT", "Depth2GWT2D"}},
    {"pm", "ice_sat", Kind::r4, {"IceSat"}},
    {"pm", "freeze_thaw_temp", Kind::r8, {"Temperature"}},
    {"pm", "newton_residual", Kind::r8, {"Newton Residual"}},
    {"pm", "v", Kind::r4, {"Vx", "Vy", "Vz"}, true},
    {"pm", "q", Kind::r4, {"qx", "qy", "qz"}, true},
    {"pm", "tvk", Kind::r4, {"Time Varying Kxx", "Time Varying Kyy", "Time Varying Kzz"}, true},
    {"pm", "tv_por", Kind::r4, {"Time Varying Porosity"}, true},
    {"pm", "tv_stor", Kind::r8, {"Time Varying SpStor"}, true},
    {"pm", "mine_advance", Kind::i4, {"mine_advance"}, true},
    {"pm", "Peclet", Kind::r4, kPeclet, true, true},
    {"pm", "DiffPeclet", Kind::r4, kDiffPeclet, true, true},
    {"pm", "ElemK", Kind::r8, kTensor, true, true},
    {"pm", "ElemPor", Kind::r4, {"Porosity"}, true, true},
    {"pm", "ElemStor", Kind::r8, {"SpStor"}, true, true},
    {"pm", "ElemTort", Kind::r8, {"Tortuosity"}, true, true},
    {"pm", "ElemIbedFraction", Kind::r8, {"ElemIbedFraction"}, true, true},
    {"pm", "ElemVolume", Kind::r8, {"Volume"}, true, true},
    {"pm", "permafrost", Kind::r4, {"Permafrost"}, true},
    {"pm", "ETPmEvap3D", Kind::r8, {"3D Subsurface evaporation"}},
    {"pm", "ETPmTranspire3D", Kind::r8, {"3D Subsurface transpiration"}},
    {"pm", "ExchFlux", Kind::r4, {"Exchange flux"}},
    {"pm", "DualExchFlux", Kind::r4, {"Dual exchange flux"}},
    {"pm", "ExchFlux_pm2", Kind::r4, {"Exchange flux Pm"}},
    {"pm", "ExchFlux_olf2", Kind::r4, {"Exchange flux Olf"}},
    {"pm", "fluid_density", Kind::r8, {"Fluid Density"}},
    {"pm", "water_age", Kind::r8, {"Water Age"}, false, false, At3::missing},
    {"pm", "water_age_ratio", Kind::r8, {"Water Age Ratio"}, false, false, At3::read},
    {"pm", "lp", Kind::r8, {"LocationProbability"}, true},
    {"dual", "sat", Kind::r4, {"Sat"}},
    {"dual", "ice_sat", Kind::r4, {"IceSatDual"}},
    {"dual", "v", Kind::r4, {"Vx", "Vy", "Vz"}, true},
    {"dual", "permafrost", Kind::r4, {"Permafrost"}, true},
    {"dual", "ExchFlux", Kind::r4, {"Exchange flux"}},
    {"frac", "sat", Kind::r4, {"Sat"}},
    {"frac", "v", Kind::r4, {"Vx", "Vy", "Vz"}, true},
    {"frac", "ElemVolume", Kind::r8, {"Volume"}, true, true},
    {"frac", "permafrost", Kind::r4, {"Permafrost"}, true},
    {"frac", "", Kind::computed, {"Aperture"}},
    {"olf", "wall_node", Kind::i4, {"Wall Node Number"}, false, true},
    {"olf", "wall_elem", Kind::i4, {"Wall Element Label"}, true, true},
    {"olf", "max_depth", Kind::r8, {"MaxDepth"}},
    {"olf", "flow_rate", Kind::r8, {"Flow Rate"}},
    {"olf", "v", Kind::r4, {"Vx", "Vy", "Vz"}, true},
    {"olf", "friction", Kind::r8, {"nx", "ny"}, true},
    {"olf", "ElemK", Kind::r8, kPrincipal, true, true},
    {"olf", "permafrost", Kind::r4, {"Permafrost"}, true},
    {"olf", "flux", Kind::r8, {"Specified Flux"}},
    {"olf", "Rain", Kind::r8, {"Rain"}},
    {"olf", "PET", Kind::r8, {"nodal PET"}},
    {"olf", "ETEvap", Kind::r8, {"Surface water evaporation"}},
    {"olf", "ETPmEvap", Kind::r8, {"Subsurface evaporation"}},
    {"olf", "ETPmTranspire", Kind::r8, {"Subsurface transpiration"}},
    {"olf", "ETActual", Kind::r8, {"Actual ET"}},
    {"olf", "snowdepth.", Kind::r8, {"Snowdepth"}, true, false, At3::missing},
    {"olf", "snowmelt.", Kind::r8, {"Snowmelt"}, true, false, At3::shared},
    {"olf", "liquid_p.", Kind::r8, {"Liquid precipitation"}, true, false, At3::shared},
    {"olf", "solid_p.", Kind::r8, {"Solid precipitation"}, true, false, At3::shared},
    {"olf", "snowcover.", Kind::r8, {"Snow cover Elevation"}, false, false, At3::shared},
    {"olf", "ExchFlux_pm2", Kind::r4, {"Exchange flux Pm"}},
    {"chan", "incised_head", Kind::r8, {"Incised Head"}},
    {"chan", "max_depth", Kind::r8, {"MaxDepth"}},
    {"chan", "v", Kind::r4, {"Vx", "Vy", "Vz"}, true},
    {"chan", "permafrost", Kind::r4, {"Permafrost"}, true},
};

// Values of component c of row r's file at output time n; exact in single precision.
Values filevalues(std::size_t r, std::size_t c, int n, std::int32_t count) {
  Values v;
  for (std::int32_t i = 0; i < count; ++i) v.push_back(100.0 * static_cast<double>(r) + 10.0 * static_cast<double>(c) + n + 0.125 * i);
  return v;
}

std::vector<std::string> meshvariables(const std::string& domain) {
  if (domain == "pm") return {"X", "Y", "Z", "Zone", "Layer Number", "Column Number", "Thickness"};
  return {"X", "Y", "Z", "Zone", "3DNode#"};
}

class Quantities : public PlotSetupBackEnds {
 protected:
  // pm: 2 x 1 cells, 3 node layers (18 nodes, 4 bricks); dual on every pm element, frac on
  // the plane j = 0, olf and chan on the top layer, all with nodes of their own.
  void model() {
    mesh_ = model_.pm(2, 1, 3);
    model_.dual(mesh_, std::vector<std::int32_t>(4, 1), 18);
    testkit::LinkedDomain chan = model_.olf(mesh_, SurfaceOptions{.globalstart = 51});
    chan.name = "chan";
    model_.linkedfiles(chan);
    model_.olf(mesh_, SurfaceOptions{.globalstart = 36});
    model_.frac(mesh_, true, 42);
  }
  std::int32_t countof(const DOMAIN& dom, const Row& row) const { return row.cellcentred ? dom.ne : dom.nn; }
  DOMAIN& record(const std::string& domain) {
    Records& r = *records_;
    if (domain == "pm") return r.pm;
    if (domain == "dual") return r.dual;
    if (domain == "frac") return r.frac;
    if (domain == "olf") return r.olf;
    return r.chan;
  }
  // Writes the file of row r at time n.
  void write(std::size_t r, int n) {
    const Row& row = kRows[r];
    const std::int32_t count = countof(record(row.domain), row);
    const auto path = row.root.ends_with('.') ? model_.path("o." + row.root + plot_data.nfs)
                                              : model_.resultpath(row.root, row.domain, n);
    // A conductivity file's description gives its form: 3 for the full tensor.
    const std::string description = row.root != "ElemK" ? row.root : row.names.size() == 6 ? "3 tensor" : "1";
    const std::string text = timeof(n) + " " + description;
    if (row.kind == Kind::i4) {
      std::vector<std::int32_t> v;
      for (const double x : filevalues(r, 0, n, count)) v.push_back(static_cast<std::int32_t>(x * 8));
      testkit::writeresult_i4(path, text, v);
    } else if (row.kind == Kind::r4) {
      std::vector<std::vector<float>> comps;
      for (std::size_t c = 0; c < row.names.size(); ++c) {
        const Values d = filevalues(r, c, n, count);
        comps.emplace_back(d.begin(), d.end());
      }
      if (comps.size() == 1) {
        testkit::writeresult_r4(path, text, comps[0]);
      } else {
        testkit::writeresult_r4(path, text, comps);
      }
    } else {
      std::vector<Values> comps;
      for (std::size_t c = 0; c < row.names.size(); ++c) comps.push_back(filevalues(r, c, n, count));
      if (comps.size() == 1) {
        testkit::writeresult_r8(path, text, comps[0]);
      } else {
        testkit::writeresult_r8(path, text, comps);
      }
    }
  }
  Values expected(std::size_t r, std::size_t c, int n) {
    const Row& row = kRows[r];
    const Values v = filevalues(r, c, n, countof(record(row.domain), row));
    if (row.kind != Kind::i4) return v;
    Values i;
    for (const double x : v) i.push_back(static_cast<double>(static_cast<std::int32_t>(x * 8)));
    return i;
  }
  testkit::LayeredMesh mesh_;
};

// Rows whose file is left out at the third time (static rows have none after the first),
// and rows whose variables the third zone shares.
bool missingatthree(std::size_t r) {
  return kRows[r].at3 == At3::missing || (kRows[r].at3 == At3::byparity && r % 2 == 1);
}
bool sharedatthree(std::size_t r) { return missingatthree(r) || kRows[r].at3 == At3::shared; }

TEST_P(Quantities, EveryFileOfEveryDomainInDataSetOrderAndSharedWhenMissing) {
  model();
  create();
  plot_data.plot_depthgrndsurf = true;
  for (int n = 1; n <= 3; ++n) writeheads("pm", n, headsat(mesh_.z, n));
  for (std::size_t r = 0; r < kRows.size(); ++r) {
    if (kRows[r].kind == Kind::computed) continue;
    for (int n = 1; n <= 3; ++n) {
      if ((kRows[r].isstatic && n > 1) || (n == 3 && missingatthree(r))) continue;
      plot_data.nfs = outputtimeindex(n);
      write(r, n);
    }
  }
  ASSERT_NO_THROW(run(3));
  for (const std::string domain : {"pm", "dual", "frac", "olf", "chan"}) {
    SCOPED_TRACE(domain);
    const TecplotFile f = readback(domain);
    expectcomplete(f, domain);
    std::vector<std::string> names = meshvariables(domain);
    for (const Row& row : kRows) {
      if (row.domain == domain) names.insert(names.end(), row.names.begin(), row.names.end());
    }
    ASSERT_EQ(f.variables, names);
    ASSERT_EQ(f.zones.size(), 3u);
    for (std::size_t r = 0; r < kRows.size(); ++r) {
      const Row& row = kRows[r];
      if (row.domain != domain || row.kind == Kind::computed) continue;
      for (std::size_t c = 0; c < row.names.size(); ++c) {
        SCOPED_TRACE(row.names[c]);
        const auto v = static_cast<std::size_t>(varindex(f, row.names[c]));
        for (int n = 1; n <= 3; ++n) {
          const TecplotZone& z = f.zones[static_cast<std::size_t>(n - 1)];
          const bool shared = n > 1 && (row.isstatic || (n == 3 && sharedatthree(r)));
          EXPECT_EQ(z.sharezone[v], shared ? 0 : -1) << n;
          EXPECT_EQ(z.cellcentred[v], row.cellcentred) << n;
          EXPECT_EQ(z.values[v], expected(r, c, shared ? 1 : n)) << n;
        }
      }
    }
  }
  // The temperature is shown in degrees Celsius; the dual continuum's own exchange flux is a
  // volume rate.
  const TecplotFile pm = readback("pm");
  EXPECT_EQ(unitsof(pm, varindex(pm, "Temperature")), "(deg C)");
  EXPECT_EQ(unitsof(pm, varindex(pm, "Fluid Density")), "(kg m^-3)");
  EXPECT_EQ(unitsof(pm, varindex(pm, "Exchange flux")), "(m s^-1)");
  EXPECT_EQ(unitsof(pm, varindex(pm, "Volume")), "(m^3)");
  const TecplotFile dual = readback("dual");
  EXPECT_EQ(unitsof(dual, varindex(dual, "Exchange flux")), "(m^3 s^-1)");
}

// A common-node "olf" takes heads from "pm" and reads its own maximum depths (right after
// the heads) and flow rates over its own nodes.
TEST_P(Quantities, CommonNodeSurfaceReadsItsOwnNodalQuantities) {
  mesh_ = model_.pm(2, 1, 3);
  model_.olf(mesh_, SurfaceOptions{.multinode = false});
  create();
  for (int n = 1; n <= 2; ++n) {
    writeheads("pm", n, headsat(mesh_.z, n));
    model_.result_r8("max_depth", "olf", n, timeof(n), plus(Values(6, 0.5), n));
    model_.result_r8("flow_rate", "olf", n, timeof(n), plus(Values{1, 2, 3, 4, 5, 6}, 10 * n));
  }
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Head", "Pressure Head",
                                                   "MaxDepth", "Flow Rate"}));
  ASSERT_EQ(f.zones.size(), 2u);
  EXPECT_EQ(f.zones[1].values[7], Values(6, 2.5));
  EXPECT_EQ(f.zones[1].values[8], (Values{21, 22, 23, 24, 25, 26}));
  // The heads are the top layer's pm heads.
  EXPECT_EQ(f.zones[1].values[5], pick(headsat(mesh_.z, 2), {13, 14, 15, 16, 17, 18}));
}

// A time window that starts at output time 5, index width 6: the element properties still
// come from the files of output time 1 and land in the first zone, a property file of time 5
// alone is never read, and three principal conductivities are shared as three.
TEST_P(Quantities, ElementPropertiesOfOutputTimeOneWhateverTheFirstTime) {
  mesh_ = model_.pm(2, 1, 3);
  create();
  plot_data.outputtimeindexwidth = 6;
  plot_data.nfilestart = 5;
  const auto file = [&](const std::string& root, int n) { return model_.resultpath(root, "pm", n, 6); };
  testkit::writeresult_r4(file("ElemPor", 1), "1.5 por", std::vector<float>(4, 0.25f));
  testkit::writeresult_r8(file("ElemK", 1), "1.5 1 principal", std::vector<Values>(3, Values{1, 2, 3, 4}));
  testkit::writeresult_r8(file("ElemStor", 5), "5.5 stor", Values(4, 0.5));
  ASSERT_NO_THROW(run(6, 5));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  std::vector<std::string> names = meshvariables("pm");
  names.insert(names.end(), {"Kxx", "Kyy", "Kzz", "Porosity"});
  ASSERT_EQ(f.variables, names);
  ASSERT_EQ(f.zones.size(), 2u);
  EXPECT_EQ(f.zones[0].solutiontime, 5.5);
  for (std::size_t v = 7; v < names.size(); ++v) {
    EXPECT_EQ(f.zones[0].values[v], v == 10 ? Values(4, 0.25) : (Values{1, 2, 3, 4})) << names[v];
    EXPECT_EQ(f.zones[1].sharezone[v], 0) << names[v];
    EXPECT_TRUE(f.zones[1].cellcentred[v]) << names[v];
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, Quantities, ::testing::Bool(), backendname);

// In append mode a later time without a maximum-depth file reads the data set's first output
// time instead, with a warning; a missing saturation file is shared with zone 1 as always.
class QuantitiesAppend : public PlotSetup {};

TEST_F(QuantitiesAppend, MissingMaxDepthsComeFromTheFirstOutputTime) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.olf(mesh);
  create();
  plot_data.tecappend = true;
  plot_data.tecappendnfile0 = 1;
  for (const int n : {1, 2}) {
    model_.result_r8("max_depth", "olf", n, timeof(n), Values(6, n));
    model_.result_r4("sat", "pm", n, timeof(n), std::vector<float>(18, 0.25f * static_cast<float>(n)));
  }
  model_.result_r4("sat", "pm", 3, timeof(3), std::vector<float>(18, 0.75f));
  model_.result_r8("max_depth", "olf", 4, timeof(4), Values(6, 4.0));
  std::string out;
  ASSERT_NO_THROW(out = run(4));
  EXPECT_NE(out.find("Warning: file not found -> appending at time index 0001\n"), std::string::npos) << out;
  const TecplotFile olf = readback("olf");
  const int maxdepth = varindex(olf, "MaxDepth");
  ASSERT_EQ(olf.zones.size(), 4u);
  EXPECT_EQ(olf.zones[2].sharezone[static_cast<std::size_t>(maxdepth)], -1);
  EXPECT_EQ(olf.zones[2].values[static_cast<std::size_t>(maxdepth)], Values(6, 1.0));
  EXPECT_EQ(olf.zones[3].values[static_cast<std::size_t>(maxdepth)], Values(6, 4.0));
  const TecplotFile pm = readback("pm");
  const auto sat = static_cast<std::size_t>(varindex(pm, "Sat"));
  EXPECT_EQ(pm.zones[2].values[sat], Values(18, 0.75));
  EXPECT_EQ(pm.zones[3].sharezone[sat], 0);
}

}  // namespace
}  // namespace kelpra
