// Time-varying topography, element zones and topography zones.
#include "plot/readservices.hpp"
#include "plot/tecplot.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
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
  const std::string& filename = plot_data.filename;
  bool exists = false;
  if (firsttime) {
    exists = checkquantityfile("o.tvtopo_", dom, dom.tvtopoavail);
  } else {
    dom.tvtopofound = fileexists(quantityfilename("o.tvtopo_", dom));
    exists = dom.tvtopofound;
  }
  if (!exists) return;
  if (dom.tvtopoz.empty()) sizearray(dom.tvtopoz, dom.nn, "time varying topography z array");
  read_var8(dom.nn, filename, dom.tvtopoz);
}

void tvtopoinit(DOMAIN& dom) {
  const std::string& filename = plot_data.filename;
  if (!checkquantityfile("o.tvtopo_", dom, dom.tvtopoavail)) return;
  if (dom.tvtopoz.empty()) sizearray(dom.tvtopoz, dom.nn, "time varying topography z array");
  init_var8(dom.nn, filename, dom.tvtopoz, "tvTopoZ", dom.tvtopozvar, dom.nvar, dom.varlist);
  tecplotdatatypereal8(dom.tvtopozvar, dom.tvtopoz, dom);
  tecplotvarunitsadd("tvTopoZ", dom.tvtopozvar, "L", dom);
  addzonearray(dom, dom.tvtopozvar, "tvTopoZ", &DOMAIN::tvtopoz, false);
  if (!isporousmedium(dom)) return;
  sizearray(dom.tvtopozdiff, dom.nn, "time varying topography z change array");
  registervariable(dom, "tvTopoZAbsDiff", dom.tvtopozdiffvar, ValueKind::r8, "L", false);
  addzonearray(dom, dom.tvtopozdiffvar, "tvTopoZAbsDiff", &DOMAIN::tvtopozdiff, false);
  topographydifference(dom);
}

void tvtoporead(DOMAIN& dom) {
  const std::string& filename = quantityfilename("o.tvtopo_", dom);
  dom.tvtopofound = fileexists(filename);
  if (dom.tvtopofound) {
    read_var8(dom.nn, filename, dom.tvtopoz);
    if (isporousmedium(dom)) topographydifference(dom);
    return;
  }
  sharewithzone1(dom, dom.tvtopozvar);
  if (isporousmedium(dom)) sharewithzone1(dom, dom.tvtopozdiffvar);
}

void zoneinit(DOMAIN& dom) {
  const std::string& filename = plot_data.filename;
  checkquantityfile("o.tv_zone_", dom, dom.zoneavail);
  if (dom.zoneavail) {
    init_ivar4(dom.ne, filename, dom.elemzone, "Zone", dom.zonevar, dom.nvar, dom.varlist);
  } else {
    tecplotvaradd("Zone", dom.nvar, dom.zonevar, dom.varlist);
  }
  tecplotdatatypeint4(dom.zonevar, dom.elemzone, dom);
  tecplotvarlocccadd(dom.zonevar, dom);
  addzonearray(dom, dom.zonevar, "zone (cell centred)", &DOMAIN::elemzone, true);
}

void zoneread(DOMAIN& dom) {
  const std::string& filename = quantityfilename("o.tv_zone_", dom);
  dom.zonefound = fileexists(filename);
  if (dom.zonefound) {
    read_ivar4(dom.ne, filename, dom.elemzone);
  } else {
    sharewithzone1(dom, dom.zonevar);
  }
  markcellcentred(dom, dom.zonevar);
}

void tvtopozoneinit(DOMAIN& dom) {
  const std::string& filename = plot_data.filename;
  if (!checkquantityfile("o.tvtopo_zone_", dom, dom.tvtopozoneavail)) return;
  sizearray(dom.tvtopozone, dom.ne, "time varying topography zone array");
  init_ivar4(dom.ne, filename, dom.tvtopozone, "tvTopoZone", dom.tvtopozonevar, dom.nvar, dom.varlist);
  tecplotdatatypeint4(dom.tvtopozonevar, dom.tvtopozone, dom);
  tecplotvarlocccadd(dom.tvtopozonevar, dom);
  addzonearray(dom, dom.tvtopozonevar, "tvTopoZone", &DOMAIN::tvtopozone, true);
}

void tvtopozoneread(DOMAIN& dom) {
  const std::string& filename = quantityfilename("o.tvtopo_zone_", dom);
  dom.tvtopozonefound = fileexists(filename);
  if (dom.tvtopozonefound) {
    read_ivar4(dom.ne, filename, dom.tvtopozone);
  } else {
    sharewithzone1(dom, dom.tvtopozonevar);
  }
  markcellcentred(dom, dom.tvtopozonevar);
}

}  // namespace kelpra
