// Per-species nodal solute results: concentrations (with the solid phase of colloid
// species), immobile-zone concentrations, sorbed mass and redox capacity.
#include <array>

#include "plot/readservices.hpp"
#include "plot/tecplot.hpp"
#include "support/checkedalloc.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "variables/families.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

using D = DOMAIN;

const SpeciesFamily<double> kConc{
    {&D::conc, &D::ConcNvar, &D::concavail, &D::concfound, "M * L^-3", "concentration array"},
    "o.conc_", ".", "", "", SpeciesSet::all, true};
const SpeciesFamily<double> kConcSolid{{&D::concsolid, &D::ConcSolidNvar, &D::concsolidavail, &D::concsolidfound,
                                        "Nc * M^-1", "colloid concentration solid array"},
                                       "o.concsolid_", ".", " (solid)", "", SpeciesSet::colloid, false};
const SpeciesFamily<double> kIconc{
    {&D::iconc, &D::IconcNvar, &D::iconcavail, &D::iconcfound, "M * L^-3", "immobile concentration arrays"},
    "o.iconc_", ".", " (immobile)", "", SpeciesSet::all, true};
const SpeciesFamily<double> kMassSorbed{
    {&D::masssorbed, &D::MassSorbedNvar, &D::masssorbedavail, &D::masssorbedfound, "M", "mass sorbed array"},
    "o.mass_sorbed_", ".", " Mass Sorbed", "mass sorbed", SpeciesSet::nontemperature, true};

// Only the porous medium and the dual continuum carry colloids in a solid phase.
bool solidphase(const DOMAIN& dom) {
  const std::string_view name = trimview(dom.name);
  return plot_data.colloidtransport && (name == "pm" || name == "dual");
}

// The redox capacity is read from species 1's file.
std::string& redoxfile(const DOMAIN& dom) {
  plot_data.filename = speciesfile("o.conc_", dom, 1, "-Redox.");
  return plot_data.filename;
}

}  // namespace

void concinit(DOMAIN& dom) {
  speciesfamilyinit(kConc, dom);
  if (solidphase(dom)) speciesfamilyinit(kConcSolid, dom);
}

void concread(DOMAIN& dom) {
  speciesfamilyread(kConc, dom, &dom.concspeciesfound);
  if (solidphase(dom)) speciesfamilyread(kConcSolid, dom);
}

void iconcinit(DOMAIN& dom) { speciesfamilyinit(kIconc, dom); }
void iconcread(DOMAIN& dom) { speciesfamilyread(kIconc, dom); }
void masssorbedinit(DOMAIN& dom) { speciesfamilyinit(kMassSorbed, dom); }
void masssorbedread(DOMAIN& dom) { speciesfamilyread(kMassSorbed, dom); }

void redoxcapacityinit(DOMAIN& dom) {
  if (plot_data.nspeciestot < 1) return;
  checkfileinit(redoxfile(dom), dom.redoxcapacityavail);
  if (!dom.redoxcapacityavail) return;
  notefoundfile(plot_data.filename, std::array<std::string_view, 1>{"Redox capacity"});
  sizearray(dom.redoxcapacity, dom.nn, "redox capacity array");
  init_var8(dom.nn, plot_data.filename, dom.redoxcapacity, "Redox capacity", dom.redoxcapacityvar, dom.nvar,
            dom.varlist);
  tecplotdatatypereal8(dom.redoxcapacityvar, dom.redoxcapacity, dom);
  tecplottransvarunitsadd(1, "Redox capacity", dom.redoxcapacityvar, "M * L^-3", dom);
  addzonearray(dom, dom.redoxcapacityvar, "Redox Capacity", &DOMAIN::redoxcapacity, false);
}

void redoxcapacityread(DOMAIN& dom) {
  dom.redoxcapacityfound = fileexists(redoxfile(dom));
  if (dom.redoxcapacityfound) {
    read_var8(dom.nn, plot_data.filename, dom.redoxcapacity);
  } else {
    notemissing(dom, plot_data.filename, &DOMAIN::redoxcapacityfound);
    sharewithzone1(dom, dom.redoxcapacityvar);
  }
}

void commonconcinit(DOMAIN& dom, const DOMAIN& pm) {
  if (!plot_data.speciesfileexists || !dom.writeconc || !pm.concavail) return;
  allocatearray(dom.ConcNvar, plot_data.nspeciestot, "NewDomain ConcNvar array");
  for (const std::int32_t s : speciesof(SpeciesSet::all)) {
    const std::string name(trimview(plot_data.spname[static_cast<std::size_t>(s - 1)]));
    std::int32_t& var = dom.ConcNvar[static_cast<std::size_t>(s - 1)];
    tecplotvaradd(name, dom.nvar, var, dom.varlist);
    tecplotdatatype(var, datatypecode(ValueKind::r8), dom);
    // The units the porous medium gives the species: degrees Celsius for a temperature,
    // particle counts for a colloid.
    tecplottransvarunitsadd(s, name, var, "M * L^-3", dom);
    addzonearray(dom, var, name, &DOMAIN::conc, s, Source::pmcopy);
  }
}

void commonconcread(DOMAIN& dom, const DOMAIN& pm) {
  const Mask& found = pm.concspeciesfound;
  bool shared = false;
  for (std::size_t k = 0; k < dom.ConcNvar.size(); ++k) {
    const std::int32_t var = dom.ConcNvar[k];
    if (var > 0 && !(k < found.size() && found[k] != 0)) {
      sharewithzone1(dom, var);
      shared = true;
    }
  }
  // A domain without concentration variables repeats nothing, so names no "pm" file.
  if (shared) notemissingofpm(dom, pm, &DOMAIN::concfound);
}

}  // namespace kelpra
