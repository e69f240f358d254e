// Solute exchange rates between a domain and the porous medium, per mobile species: total,
// advective and dispersive, the last two also with the dual continuum.
#include "variables/families.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

using D = DOMAIN;

SpeciesFamily<float> exchange(FamilyTable<float> table, std::string_view root, std::string_view suffix,
                              std::string_view label) {
  return {table, root, ".", suffix, label, SpeciesSet::mobile, true};
}

constexpr std::string_view kUnits = "M * L^-2 * T^-1";

const SpeciesFamily<float> kExchSol =
    exchange({&D::exchsol, &D::ExchSolNvar, &D::exchsolavail, &D::exchsolfound, kUnits, "solute exchange arrays"},
             "o.ExchSol_", " exchange", "solute exchange");
const SpeciesFamily<float> kExchSolAdv =
    exchange({&D::exchsoladv, &D::ExchSolAdvNvar, &D::exchsoladvavail, &D::exchsoladvfound, kUnits,
              "Advective solute exchange arrays"},
             "o.ExchSolAdv_", " adv. exchange", "adv. solute exchange");
const SpeciesFamily<float> kDualExchSolAdv =
    exchange({&D::dualexchsoladv, &D::DualExchSolAdvNvar, &D::dualexchsoladvavail, &D::dualexchsoladvfound, kUnits,
              "Advective dual solute exchange arrays"},
             "o.DualExchSolAdv_", " dual adv. exchange", "dual adv. solute exchange");
const SpeciesFamily<float> kExchSolDisp =
    exchange({&D::exchsoldisp, &D::ExchSolDispNvar, &D::exchsoldispavail, &D::exchsoldispfound, kUnits,
              "Dispersive solute exchange arrays"},
             "o.ExchSolDisp_", " disp. exchange", "disp. solute exchange");
const SpeciesFamily<float> kDualExchSolDisp =
    exchange({&D::dualexchsoldisp, &D::DualExchSolDispNvar, &D::dualexchsoldispavail, &D::dualexchsoldispfound,
              kUnits, "Dispersive dual solute exchange arrays"},
             "o.DualExchSolDisp_", " dual disp. exchange", "dual disp. solute exchange");

// The dual-continuum files are read only while the dual exchange flux is; otherwise the
// dual variables repeat zone 1, so that every zone holds each of them.
void readwithdual(const SpeciesFamily<float>& plain, const SpeciesFamily<float>& dual, DOMAIN& dom) {
  speciesfamilyread(plain, dom);
  if (!(dom.*dual.table.avail)) return;
  if (dom.dualexchfluxon) {
    speciesfamilyread(dual, dom);
  } else {
    familyshare(dual.table, speciesmembers(dual, dom), dom);
  }
}

}  // namespace

void exchsolinit(DOMAIN& dom) { speciesfamilyinit(kExchSol, dom); }
void exchsolread(DOMAIN& dom) { speciesfamilyread(kExchSol, dom); }

void exchsoladvinit(DOMAIN& dom) {
  speciesfamilyinit(kExchSolAdv, dom);
  speciesfamilyinit(kDualExchSolAdv, dom);
}
void exchsoladvread(DOMAIN& dom) { readwithdual(kExchSolAdv, kDualExchSolAdv, dom); }

void exchsoldispinit(DOMAIN& dom) {
  speciesfamilyinit(kExchSolDisp, dom);
  speciesfamilyinit(kDualExchSolDisp, dom);
}
void exchsoldispread(DOMAIN& dom) { readwithdual(kExchSolDisp, kDualExchSolDisp, dom); }

}  // namespace kelpra
