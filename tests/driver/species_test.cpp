// Species families (concentrations, solid phase, immobile concentrations, solute exchange,
// redox capacity, sorbed mass) and HMC fractions through set-up and append: data-set order,
// names, units, values, and each member read or shared by itself at later times.
#include "plot/modelfiles.hpp"
#include "tests/driver/plotsetup_fixture.hpp"
#include "tests/kit/capture.hpp"

namespace kelpra {
namespace {

// One species family of "pm": its result files are named by root, "_pm.", the species name
// and the key's ending; each variable by the species name and the suffix.
struct Family {
  std::string root;
  std::string ending;  // after the species name, before "." and the index
  std::string suffix;
  std::string label;   // array comment; empty: the variable name
  bool single = false;
  std::vector<int> species;
  std::vector<std::string> units;  // per member
};

const std::vector<std::string> kSpecies = {"Heat", "Virus", "Tracer"};  // temperature, colloid, plain
const std::string kC = "(deg C)", kNc = "(Nc m^-3)", kMass = "(kg m^-3)";
const std::string kHeatFlux = "(kg s^-3)", kNcFlux = "(Nc m^-2 s^-1)";

const std::vector<Family> kFamilies = {
    {"conc", "", "", "", false, {1, 2, 3}, {kC, kNc, kMass}},
    {"concsolid", "", " (solid)", "", false, {2}, {"(Nc kg^-1)"}},
    {"iconc", "", " (immobile)", "", false, {1, 2, 3}, {kC, kNc, kMass}},
    {"ExchSol", "", " exchange", "solute exchange", true, {1, 2}, {kHeatFlux, kNcFlux}},
    {"ExchSolAdv", "", " adv. exchange", "adv. solute exchange", true, {1, 2}, {kHeatFlux, kNcFlux}},
    {"DualExchSolAdv", "", " dual adv. exchange", "dual adv. solute exchange", true, {1, 2}, {kHeatFlux, kNcFlux}},
    {"ExchSolDisp", "", " disp. exchange", "disp. solute exchange", true, {1, 2}, {kHeatFlux, kNcFlux}},
    {"DualExchSolDisp", "", " dual disp. exchange", "dual disp. solute exchange", true, {1, 2}, {kHeatFlux, kNcFlux}},
    {"conc", "-Redox", "", "Redox Capacity", false, {1}, {kC}},
    {"mass_sorbed", "", " Mass Sorbed", "mass sorbed", false, {2, 3}, {"(kg)", "(kg)"}},
};

// Values of family f, species s at time n; exact in single precision.
Values familyvalues(std::size_t f, int s, int n, int count) {
  Values v;
  for (int i = 0; i < count; ++i) v.push_back(1000.0 * static_cast<double>(f) + 100.0 * s + n + 0.125 * i);
  return v;
}

// The model files read as the start-up reads them.
void readmodelfiles() {
  ::testing::internal::CaptureStdout();
  speciesread();
  hmcfractionsread();
  ::testing::internal::GetCapturedStdout();
}

class Species : public PlotSetupBackEnds {};
class SpeciesAscii : public PlotSetup {};

// The middle species' files are missing at time 2 and the last species' at time 3.
bool missing(int s, int n) { return (n == 2 && s == 2) || (n == 3 && s == 3); }

TEST_P(Species, EveryFamilyMemberReadOrSharedByItself) {
  model_.pm(2, 1, 3);
  model_.species({"Heat", "Virus"}, {"Tracer"}, {true, false}, {false, true});
  readmodelfiles();
  Records& r = create();
  r.pm.writeexchflux = false;  // the dual exchange flux switch stays on
  for (std::size_t f = 0; f < kFamilies.size(); ++f) {
    const Family& fam = kFamilies[f];
    for (const int s : fam.species) {
      for (int n = 1; n <= 3; ++n) {
        if (missing(s, n)) continue;
        const std::string key = "pm." + kSpecies[static_cast<std::size_t>(s - 1)] + fam.ending;
        const Values v = familyvalues(f, s, n, 18);
        if (fam.single) {
          model_.result_r4(fam.root, key, n, timeof(n), std::vector<float>(v.begin(), v.end()));
        } else {
          model_.result_r8(fam.root, key, n, timeof(n), v);
        }
      }
    }
  }
  ASSERT_NO_THROW(run(3));
  const TecplotFile pm = readback("pm");
  expectcomplete(pm, "pm");
  ASSERT_EQ(pm.zones.size(), 3u);
  std::vector<std::string> names = {"X", "Y", "Z", "Zone", "Layer Number", "Column Number", "Thickness"};
  std::vector<std::string> labels;
  for (std::size_t f = 0; f < kFamilies.size(); ++f) {
    const Family& fam = kFamilies[f];
    for (std::size_t k = 0; k < fam.species.size(); ++k) {
      const int s = fam.species[k];
      const std::string name =
          fam.ending.empty() ? kSpecies[static_cast<std::size_t>(s - 1)] + fam.suffix : "Redox capacity";
      SCOPED_TRACE(name);
      names.push_back(name);
      labels.push_back(fam.label.empty() ? name : fam.label);
      const int v = varindex(pm, name);
      ASSERT_GE(v, 0);
      EXPECT_EQ(unitsof(pm, v), fam.units[k]);
      for (int n = 1; n <= 3; ++n) {
        const TecplotZone& z = pm.zones[static_cast<std::size_t>(n - 1)];
        const auto i = static_cast<std::size_t>(v);
        EXPECT_EQ(z.datatypes[i], fam.single ? kFloat : kDouble);
        EXPECT_EQ(z.sharezone[i], missing(s, n) ? 0 : -1) << n;
        EXPECT_EQ(z.values[i], familyvalues(f, s, missing(s, n) ? 1 : n, 18)) << n;
      }
    }
  }
  EXPECT_EQ(pm.variables, names);
  if (!binary_) {
    // Zone 1 writes every array under its own label, in data-set order.
    const std::vector<std::string> zone1 = readascii("pm").labels[0];
    ASSERT_GE(zone1.size(), labels.size());
    EXPECT_EQ(std::vector<std::string>(zone1.end() - std::ssize(labels), zone1.end()), labels);
  }
}

// A dual-continuum exchange family without its plain family is still read at later times
// ("pm"); while the dual exchange flux is off it repeats zone 1 ("dual").
TEST_P(Species, DualExchangeFamilyOnItsOwn) {
  model_.dual(model_.pm(1, 1, 2), {1});
  model_.species({"S"});
  readmodelfiles();
  for (const std::string domain : {"pm", "dual"}) {
    for (const int n : {1, 2}) {
      model_.result_r4("DualExchSolDisp", domain + ".S", n, timeof(n), std::vector<float>(8, static_cast<float>(n)));
    }
  }
  Records& r = create();
  r.pm.writeexchflux = r.dual.writeexchflux = false;
  r.dual.dualexchfluxon = false;
  ASSERT_NO_THROW(run(2));
  for (const std::string domain : {"pm", "dual"}) {
    const TecplotFile f = readback(domain);
    expectcomplete(f, domain);
    ASSERT_EQ(f.variables.back(), "S dual disp. exchange");
    EXPECT_EQ(varindex(f, "S disp. exchange"), -1);
    ASSERT_EQ(f.zones.size(), 2u);
    EXPECT_EQ(f.zones[1].sharezone.back(), domain == "pm" ? -1 : 0);
    EXPECT_EQ(f.zones[1].values.back(), Values(8, domain == "pm" ? 2.0 : 1.0));
  }
}

// A common-node "olf" shares exactly the species whose "pm" file is missing, and gives each
// species the units the porous medium gives it.
TEST_P(Species, CommonNodeDomainSharesThePorousMediumsMissingSpecies) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.olf(mesh, SurfaceOptions{.multinode = false});
  model_.species({"A", "B"}, {}, {false, false}, {false, true});
  readmodelfiles();
  create();
  auto conc = [](int s, int n) { return familyvalues(0, s, n, 18); };
  for (int n = 1; n <= 3; ++n) {
    model_.result_r8("conc", "pm.A", n, timeof(n), conc(1, n));
    if (n != 2) model_.result_r8("conc", "pm.B", n, timeof(n), conc(2, n));
  }
  ASSERT_NO_THROW(run(3));
  const TecplotFile olf = readback("olf");
  expectcomplete(olf, "olf");
  EXPECT_EQ(olf.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "A", "B"}));
  EXPECT_EQ(unitsof(olf, 5), kMass);
  EXPECT_EQ(unitsof(olf, 6), kNc);
  ASSERT_EQ(olf.zones.size(), 3u);
  const std::vector<int> top = {13, 14, 15, 16, 17, 18};
  EXPECT_EQ(sharedvars(olf.zones[1]), (std::vector<int>{1, 2, 3, 4, 5, 7}));
  EXPECT_EQ(sharedvars(olf.zones[2]), (std::vector<int>{1, 2, 3, 4, 5}));
  for (int n = 1; n <= 3; ++n) {
    const TecplotZone& z = olf.zones[static_cast<std::size_t>(n - 1)];
    EXPECT_EQ(z.values[5], pick(conc(1, n), top)) << n;
    EXPECT_EQ(z.values[6], pick(conc(2, n == 2 ? 1 : n), top)) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, Species, ::testing::Bool(), backendname);

// A species file missing at the first time while species 1's exists stops the run.
TEST_F(SpeciesAscii, LaterSpeciesMissingAtTheFirstTimeStops) {
  model_.pm(1, 1, 2);
  model_.species({"A", "B", "C"});
  readmodelfiles();
  create();
  model_.result_r8("iconc", "pm.A", 1, timeof(1), Values(8, 1.0));
  model_.result_r8("iconc", "pm.B", 1, timeof(1), Values(8, 1.0));
  const std::string err = testkit::stopreport([&] { step(1); }, true);
  EXPECT_NE(err.find("Failed to open file: " + model_.resultpath("iconc", "pm.C", 1).string()), std::string::npos)
      << err;
}

// In append mode every first-time probe, the deciding one included, falls back to the data
// set's first output time.
TEST_F(SpeciesAscii, AppendModeRetriesEachSpecies) {
  model_.pm(1, 1, 2);
  model_.species({"A", "B"});
  readmodelfiles();
  create();
  plot_data.tecappend = true;
  plot_data.tecappendnfile0 = 1;
  plot_data.nfilestart = 2;
  model_.result_r8("conc", "pm.A", 2, timeof(2), Values(8, 2.0));
  model_.result_r8("conc", "pm.B", 1, timeof(1), Values(8, 1.0));
  model_.result_r8("iconc", "pm.A", 1, timeof(1), Values(8, 3.0));
  model_.result_r8("iconc", "pm.B", 2, timeof(2), Values(8, 4.0));
  std::string out;
  ASSERT_NO_THROW(out = run(2, 2));
  const std::string warning = "Warning: file not found -> appending at time index 0001\n";
  const auto first = out.find(warning);
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find(warning, first + 1), std::string::npos) << out;
  const TecplotFile pm = readback("pm");
  ASSERT_EQ(pm.zones.size(), 1u);
  const std::vector<Values> tail(pm.zones[0].values.end() - 4, pm.zones[0].values.end());
  EXPECT_EQ(tail, (std::vector<Values>{Values(8, 2.0), Values(8, 1.0), Values(8, 3.0), Values(8, 4.0)}));
}

// Only temperature species: no sorbed mass is looked for and the redox capacity is in
// degrees Celsius. HMC files lie under "./hmc/": fraction 1's file decides, the mixing ratio
// and the error are registered only when found at the first time, and each file is read or
// shared by itself.
TEST_F(SpeciesAscii, TemperatureSpeciesAndHmcFractions) {
  const testkit::WorkingDirectory cwd(dir_.path());
  model_.dual(model_.pm(1, 1, 2), {1});
  model_.species({"T1", "T2"}, {}, {true, true});
  model_.hmc({"rain", "snow"});
  plot_data.prefix = "abc";
  readmodelfiles();
  create();
  std::filesystem::create_directory("hmc");
  auto hmc = [](const std::string& domain, const std::string& what, int n, double value) {
    testkit::writeresult_r8("hmc/abco.hmc_" + domain + "." + what + "." + outputtimeindex(n), timeof(n),
                            Values(8, value));
  };
  for (int n = 1; n <= 2; ++n) {
    for (const std::string s : {"T1", "T2"}) {
      model_.result_r8("conc", "pm." + s, n, timeof(n), Values(8, n));
      model_.result_r8("mass_sorbed", "pm." + s, n, timeof(n), Values(8, n));
    }
    hmc("pm", "rain", n, 10 + n);
    hmc("pm", "snow", n, 20 + n);
    hmc("pm", n == 1 ? "mixing_ratio" : "hmc_error", n, 30 + n);
    hmc("dual", "mixing_ratio", n, 1);  // without fraction 1: no HMC variable at all
    hmc("dual", "hmc_error", n, 1);
  }
  model_.result_r8("conc", "pm.T1-Redox", 1, timeof(1), Values(8, 7.0));
  ASSERT_NO_THROW(run(2));
  const TecplotFile pm = readback("pm");
  expectcomplete(pm, "pm");
  const std::vector<std::string> tail(pm.variables.begin() + 7, pm.variables.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"T1", "T2", "Redox capacity", "f_rain", "f_snow", "HMC Mixing Ratio"}));
  for (const int v : {7, 8, 9}) EXPECT_EQ(unitsof(pm, v), kC);
  for (const int v : {10, 11, 12}) EXPECT_EQ(unitsof(pm, v), "(-)");
  ASSERT_EQ(pm.zones.size(), 2u);
  EXPECT_EQ(sharedvars(pm.zones[1]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 10, 13}));
  const std::vector<Values> later(pm.zones[1].values.begin() + 7, pm.zones[1].values.end());
  EXPECT_EQ(later, (std::vector<Values>{Values(8, 2), Values(8, 2), Values(8, 7), Values(8, 12), Values(8, 22),
                                        Values(8, 31)}));
  EXPECT_EQ(readback("dual").variables.back(), "3DNode#");
}

}  // namespace
}  // namespace kelpra
