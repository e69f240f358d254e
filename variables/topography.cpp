// Time-varying topography, element zones and topography zones.
#include "plot/readservices.hpp"
#include "plot/tecplot.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "variables/handlers.hpp"
#include "variables/quantities.hpp"

namespace kelpra {
namespace rows {
namespace {

using K = ValueKind;
using D = DOMAIN;

const Quantity tvtopo{"o.tvtopo_", K::r8, false, {{{&D::tvtopoz, &D::tvtopozvar, "tvTopoZ", "tvTopoZ"}}}, 1,
                      &D::tvtopoavail, &D::tvtopofound, "L", "time varying topography z array"};
const Quantity tvtopozone{"o.tvtopo_zone_", K::i4, true,
                          {{{&D::tvtopozone, &D::tvtopozonevar, "tvTopoZone", "tvTopoZone"}}}, 1,
                          &D::tvtopozoneavail, &D::tvtopozonefound, "", "time varying topography zone array"};
// Its initialiser is its own: "Zone" is registered even without a file, over the element
// zones of the mesh, which keep their array.
const Quantity zone{"o.tv_zone_", K::i4, true, {{{&D::elemzone, &D::zonevar, "Zone", "zone (cell centred)"}}}, 1,
                    &D::zoneavail, &D::zonefound, "", ""};

}  // namespace
}  // namespace rows

namespace {

bool isporousmedium(const DOMAIN& dom) { return trimview(dom.name) == "pm"; }

void topographydifference(DOMAIN& dom) {
  const auto n = static_cast<std::size_t>(std::max(dom.nn, 0));
  if (dom.z.size() < n || dom.tvtopoz.size() < n) {
    fatalerror("Node elevations of " + domainname(dom) + " domain are missing.");
  }
  for (std::size_t i = 0; i < n; ++i) dom.tvtopozdiff[i] = dom.z[i] - dom.tvtopoz[i];
}

}  // namespace

void tvtopopreread(bool firsttime, DOMAIN& dom) {
  bool exists = false;
  if (firsttime) {
    exists = quantityfirstfile(rows::tvtopo, dom);
  } else {
    dom.tvtopofound = fileexists(quantityfilename(rows::tvtopo.root, dom));
    exists = dom.tvtopofound;
  }
  if (!exists) return;
  if (dom.tvtopoz.empty()) sizearray(dom.tvtopoz, dom.nn, rows::tvtopo.allocation);
  read_var8(dom.nn, plot_data.filename, dom.tvtopoz);
}

void tvtopoinit(DOMAIN& dom) {
  quantityinit(rows::tvtopo, dom);
  if (!dom.tvtopoavail || !isporousmedium(dom)) return;
  sizearray(dom.tvtopozdiff, dom.nn, "time varying topography z change array");
  registervariable(dom, "tvTopoZAbsDiff", dom.tvtopozdiffvar, ValueKind::r8, "L", false);
  addzonearray(dom, dom.tvtopozdiffvar, "tvTopoZAbsDiff", &DOMAIN::tvtopozdiff, false);
  topographydifference(dom);
}

void tvtoporead(DOMAIN& dom) {
  quantityread(rows::tvtopo, dom);
  if (!isporousmedium(dom)) return;
  if (dom.tvtopofound) {
    topographydifference(dom);
  } else {
    sharewithzone1(dom, dom.tvtopozdiffvar);
  }
}

void zoneinit(DOMAIN& dom) {
  const std::string& filename = plot_data.filename;
  // A missing file leaves the mesh's element zones as the values of "Zone".
  if (quantityfirstfile(rows::zone, dom)) {
    init_ivar4(dom.ne, filename, dom.elemzone, "Zone", dom.zonevar, dom.nvar, dom.varlist);
  } else {
    tecplotvaradd("Zone", dom.nvar, dom.zonevar, dom.varlist);
  }
  tecplotdatatypeint4(dom.zonevar, dom.elemzone, dom);
  tecplotvarlocccadd(dom.zonevar, dom);
  addzonearray(dom, dom.zonevar, "zone (cell centred)", &DOMAIN::elemzone, true);
}

void zoneread(DOMAIN& dom) { quantityread(rows::zone, dom); }

void tvtopozoneinit(DOMAIN& dom) { quantityinit(rows::tvtopozone, dom); }
void tvtopozoneread(DOMAIN& dom) { quantityread(rows::tvtopozone, dom); }

}  // namespace kelpra
