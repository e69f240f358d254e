// Handlers that serve a group of result files with one initialiser and one reader: the
// evapotranspiration and exchange-flux files, each on its own, and the rain-and-snow and
// water-age groups, which share one availability and one found flag per group.
#include <cstddef>
#include <span>
#include <string>

#include "variables/handlers.hpp"
#include "variables/quantities.hpp"

namespace kelpra {
namespace rows {
namespace {

using K = ValueKind;
using D = DOMAIN;

// Evapotranspiration: nodal rates, each file with its own flags.
const Quantity etevap{"o.ETEvap_", K::r8, false,
                      {{{&D::etevap, &D::etevapvar, "Surface water evaporation", "surface water evaporation"}}}, 1,
                      &D::etevapavail, &D::etevapfound, "L * T^-1", "ET evaporation array"};
const Quantity etpmevap{"o.ETPmEvap_", K::r8, false,
                        {{{&D::etpmevap, &D::etpmevapvar, "Subsurface evaporation", "subsurface evaporation"}}}, 1,
                        &D::etpmevapavail, &D::etpmevapfound, "L * T^-1", "ET PM evaporation array"};
const Quantity etpmtranspire{"o.ETPmTranspire_", K::r8, false,
                             {{{&D::etpmtranspire, &D::etpmtranspirevar, "Subsurface transpiration",
                                "subsurface transpiration"}}},
                             1, &D::etpmtranspireavail, &D::etpmtranspirefound, "L * T^-1",
                             "ET PM transpiration array"};
const Quantity etactual{"o.ETActual_", K::r8, false, {{{&D::etactual, &D::etactualvar, "Actual ET", "Actual ET"}}},
                        1, &D::etactualavail, &D::etactualfound, "L * T^-1", "Actual ET array"};
const Quantity etpmevap3d{"o.ETPmEvap3D_", K::r8, false,
                          {{{&D::etpmevap3d, &D::etpmevap3dvar, "3D Subsurface evaporation",
                             "3D subsurface evaporation"}}},
                          1, &D::etpmevap3davail, &D::etpmevap3dfound, "L * T^-1", "ET 3D PM evaporation array"};
const Quantity etpmtranspire3d{"o.ETPmTranspire3D_", K::r8, false,
                               {{{&D::etpmtranspire3d, &D::etpmtranspire3dvar, "3D Subsurface transpiration",
                                  "3D subsurface transpiration"}}},
                               1, &D::etpmtranspire3davail, &D::etpmtranspire3dfound, "L * T^-1",
                               "ET 3D PM transpiration array"};

// Exchange fluxes: nodal, each file with its own flags. The allocation texts follow the
// domain name.
const Quantity exchflux{"o.ExchFlux_", K::r4, false,
                        {{{&D::exchflux, &D::exchfluxvar, "Exchange flux", "exchange flux"}}}, 1, &D::exchfluxavail,
                        &D::exchfluxfound, "L * T^-1", " exchange flux array"};
const Quantity dualexchflux{"o.DualExchFlux_", K::r4, false,
                            {{{&D::dualexchflux, &D::dualexchfluxvar, "Dual exchange flux", "dual exchange flux"}}}, 1,
                            &D::dualexchfluxavail, &D::dualexchfluxfound, "L * T^-1", " dual exchange flux array"};
const Quantity exchfluxpm{"o.ExchFlux_pm2_", K::r4, false,
                          {{{&D::exchfluxpm, &D::exchfluxpmvar, "Exchange flux Pm", "exchange flux pm"}}}, 1,
                          &D::exchfluxpmavail, &D::exchfluxpmfound, "L * T^-1", " exchange flux from PM array"};
const Quantity exchfluxolf{"o.ExchFlux_olf2_", K::r4, false,
                           {{{&D::exchfluxolf, &D::exchfluxolfvar, "Exchange flux Olf", "exchange flux olf"}}}, 1,
                           &D::exchfluxolfavail, &D::exchfluxolffound, "L * T^-1", " exchange flux from OLF array"};

// Rain and snow: one group, files named without the domain.
const Quantity snowdepth{"o.snowdepth.", K::r8, true,
                         {{{&D::snowdepth, &D::snowdepthvar, "Snowdepth", "snow depth (cell centred)"}}}, 1,
                         &D::rainsnowmeltavail, &D::rainsnowmeltfound, "L", "snow depth array", false, false, false,
                         FileName::nodomain};
const Quantity snowmelt{"o.snowmelt.", K::r8, true,
                        {{{&D::snowmelt, &D::snowmeltvar, "Snowmelt", "snowmelt (cell centred)"}}}, 1,
                        &D::rainsnowmeltavail, &D::rainsnowmeltfound, "L * T^-1", "snowmelt array", false, false,
                        false, FileName::nodomain};
const Quantity liquidp{"o.liquid_p.", K::r8, true,
                       {{{&D::liquidp, &D::liquidpvar, "Liquid precipitation", "liquid precipitation (cell centred)"}}},
                       1, &D::rainsnowmeltavail, &D::rainsnowmeltfound, "L * T^-1", "liquid precipitation array",
                       false, false, false, FileName::nodomain};
const Quantity solidp{"o.solid_p.", K::r8, true,
                      {{{&D::solidp, &D::solidpvar, "Solid precipitation", "solid precipitation (cell centred)"}}}, 1,
                      &D::rainsnowmeltavail, &D::rainsnowmeltfound, "L * T^-1", "solid precipitation array", false,
                      false, false, FileName::nodomain};
const Quantity snowcover{"o.snowcover.", K::r8, false,
                         {{{&D::snowcover, &D::snowcovervar, "Snow cover Elevation", "snow cover"}}}, 1,
                         &D::rainsnowmeltavail, &D::rainsnowmeltfound, "L", "snow cover array", false, false, false,
                         FileName::nodomain};

// Water age: one group.
const Quantity waterage{"o.water_age_", K::r8, false, {{{&D::waterage, &D::wateragevar, "Water Age", "water age"}}},
                        1, &D::waterageavail, &D::wateragefound, "T", "water age array"};
const Quantity wateragerat{"o.water_age_ratio_", K::r8, false,
                           {{{&D::wateragerat, &D::waterageratvar, "Water Age Ratio", "water age ratio"}}}, 1,
                           &D::waterageavail, &D::wateragefound, "1", "water age ratio array"};

}  // namespace
}  // namespace rows

namespace {

using Group = std::span<const Quantity* const>;

const Quantity* const kEt[] = {&rows::etevap, &rows::etpmevap, &rows::etpmtranspire, &rows::etactual};
const Quantity* const kEt3d[] = {&rows::etpmevap3d, &rows::etpmtranspire3d};
const Quantity* const kSnow[] = {&rows::snowdepth, &rows::snowmelt, &rows::liquidp, &rows::solidp, &rows::snowcover};
const Quantity* const kWaterAge[] = {&rows::waterage, &rows::wateragerat};

// Files on their own: each is looked for later only when it was there at the first time.
void eachinit(Group group, DOMAIN& dom) {
  for (const Quantity* q : group) quantityinit(*q, dom);
}
void eachread(Group group, DOMAIN& dom) {
  for (const Quantity* q : group) {
    if (dom.*q->avail) quantityread(*q, dom);
  }
}

// A group with one availability flag: available when any member was registered, not only
// when the last member looked for was there. A member missing at the first time has no
// variable, so the reader neither reads nor shares it later.
void groupinit(Group group, DOMAIN& dom) {
  bool any = false;
  for (const Quantity* q : group) {
    quantityinit(*q, dom);
    any = any || quantityregistered(*q, dom);
  }
  dom.*group.front()->avail = any;
}

struct Exchange {
  const Quantity* q;
  bool DOMAIN::*on;  // the partner's exchange switch; none for the domain's own flux
};
const Exchange kExchange[] = {{&rows::exchflux, nullptr},
                              {&rows::dualexchflux, &DOMAIN::dualexchfluxon},
                              {&rows::exchfluxpm, &DOMAIN::exchfluxpmon},
                              {&rows::exchfluxolf, &DOMAIN::exchfluxolfon}};

}  // namespace

void etinit(DOMAIN& dom) { eachinit(kEt, dom); }
void etread(DOMAIN& dom) { eachread(kEt, dom); }
void et3dinit(DOMAIN& dom) { eachinit(kEt3d, dom); }
void et3dread(DOMAIN& dom) { eachread(kEt3d, dom); }

void exchfluxinit(DOMAIN& dom) {
  const std::string name = domainname(dom);
  for (const Exchange& e : kExchange) {
    Quantity q = *e.q;
    const std::string allocation = name + std::string(q.allocation);
    q.allocation = allocation;
    // The dual continuum's own exchange is written per node as a volume rate.
    if (e.q == &rows::exchflux && name == "dual") q.units = "L^3 * T^-1";
    quantityinit(q, dom);
    if (e.on != nullptr && !(dom.*q.avail)) dom.*e.on = false;
  }
}

void exchfluxread(DOMAIN& dom) {
  // The domain's own flux, then the partners porous medium, overland flow, dual continuum.
  for (const std::size_t k : {0, 2, 3, 1}) {
    const Exchange& e = kExchange[k];
    if (dom.*e.q->avail && (e.on == nullptr || dom.*e.on)) quantityread(*e.q, dom);
  }
}

void rainsnowmeltinit(DOMAIN& dom) { groupinit(kSnow, dom); }

void rainsnowmeltread(DOMAIN& dom) {
  // The first registered member (the snow depth when it has a variable) decides whether the
  // group is read or shared; the others are then read without a test of their own.
  bool decided = false;
  for (const Quantity* q : kSnow) {
    if (!quantityregistered(*q, dom)) continue;
    if (!decided) {
      quantityread(*q, dom);
      decided = true;
    } else if (dom.rainsnowmeltfound) {
      quantityload(*q, dom);
    } else {
      quantityshare(*q, dom);
    }
  }
}

void waterageinit(DOMAIN& dom) { groupinit(kWaterAge, dom); }

void waterageread(DOMAIN& dom) {
  for (const Quantity* q : kWaterAge) {
    if (quantityregistered(*q, dom)) quantityread(*q, dom);
  }
}

}  // namespace kelpra
