#include "driver/specialplots.hpp"

#include <algorithm>

#include "driver/plotsetup.hpp"
#include "plot/modelfiles.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/interrupt.hpp"
#include "support/numutils.hpp"
#include "support/textview.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

std::string datasetname(std::string_view suffix) {
  return prefixtext() + std::string(suffix);
}

void announce(std::string_view what, const std::string& name) {
  write_rule();
  write_string(what);
  write_string("Creating Tecplot file " + name + (plot_data.tecplot_bin_mode ? ".szplt" : ".dat"));
}

// The counts and masks of a record's own data set; a record whose data set was never set up
// is written whole.
struct Extent {
  std::int32_t nodes;
  std::int32_t elements;
  bool truncate;
};
Extent extentof(const DOMAIN& dom) {
  if (dom.nodemask.empty() || dom.elemmask.empty()) return {dom.nn, dom.ne, false};
  return {dom.nn_trunc, dom.ne_trunc, dom.truncate};
}

// Why the isopach plot cannot be made of these meshes ("" when it can).
std::string isopachobstacle(const DOMAIN& olf, const DOMAIN& pm, std::int32_t zmax) {
  if (olf.nn < 1 || olf.ne < 1 || olf.x.size() < static_cast<std::size_t>(olf.nn) ||
      olf.y.size() < static_cast<std::size_t>(olf.nn)) {
    return "it needs an overland flow domain with nodes and elements of its own (multi-node coupling).";
  }
  if (pm.nn < olf.nn || pm.nn % olf.nn != 0 || pm.ne < olf.ne || pm.ne % olf.ne != 0) {
    return "it needs a porous medium mesh of whole layers of the overland flow mesh: " + std::to_string(pm.nn) +
           " nodes, " + std::to_string(pm.ne) + " elements against " + std::to_string(olf.nn) + " and " +
           std::to_string(olf.ne) + ".";
  }
  // A zone is written for every number up to the largest, also numbers no element has. Far
  // more numbers than elements come from a damaged elements file and would write zone after
  // zone for hours; sparse numbering as models use it stays well below this.
  constexpr std::int32_t kFewZones = 10000;
  if (zmax > std::max(pm.ne, kFewZones)) {
    return "the largest porous medium element zone number, " + std::to_string(zmax) + ", is more than " +
           std::to_string(kFewZones) + " and more than the " + std::to_string(pm.ne) + " porous medium elements.";
  }
  return {};
}

}  // namespace

void compute_isopach_structure(std::int32_t zone, std::int32_t pmnn, std::int32_t pmne,
                               std::span<const std::int32_t> pmzones, std::span<const double> pmz, std::int32_t pmnln,
                               std::span<const std::int32_t> pmincidences, std::int32_t olfnn, std::int32_t olfne,
                               std::int32_t olfnln, std::span<const std::int32_t> olfincidences, std::int32_t layers,
                               std::span<double> thickness, std::span<double> top) {
  std::int32_t s = olfnln;
  if (olfnln == 4 && olfincidences.size() >= 4 && olfincidences[3] == 0) s = 3;
  if (s < 1 || pmnln < s) input_error("The isopach plot needs porous medium elements above the surface elements.");
  auto node = [&](std::int32_t p, std::int32_t k) {
    const std::size_t at = static_cast<std::size_t>(p - 1) * static_cast<std::size_t>(pmnln) + static_cast<std::size_t>(k - 1);
    const std::int32_t n = at < pmincidences.size() ? pmincidences[at] : 0;
    if (n < 1 || n > pmnn || static_cast<std::size_t>(n) > pmz.size()) {
      input_error("Porous medium element " + std::to_string(p) + " refers to node " + std::to_string(n) +
                  " outside 1 to " + std::to_string(pmnn) + ".");
    }
    return n;
  };
  for (std::int32_t e = 1; e <= olfne && static_cast<std::size_t>(e) <= thickness.size(); ++e) {
    for (std::int32_t k = 0; k <= layers; ++k) {
      const std::int32_t p = e + k * olfne;
      if (p > pmne || static_cast<std::size_t>(p) > pmzones.size()) break;
      if (pmzones[static_cast<std::size_t>(p - 1)] != zone) continue;
      double bottom = 0.0, topsum = 0.0;
      for (std::int32_t t = 1; t <= std::min(pmnln, s); ++t) bottom += pmz[static_cast<std::size_t>(node(p, t) - 1)];
      for (std::int32_t t = s + 1; t <= pmnln; ++t) topsum += pmz[static_cast<std::size_t>(node(p, t) - 1)];
      thickness[static_cast<std::size_t>(e - 1)] += topsum / s - bottom / s;
      for (std::int32_t t = 1; t <= pmnln - s; ++t) {
        const std::int32_t n = node(e, t);
        if (n > olfnn || static_cast<std::size_t>(n) > top.size()) {
          input_error("Porous medium node " + std::to_string(n) + " of the bottom layer is not an overland flow node.");
        }
        top[static_cast<std::size_t>(n - 1)] = pmz[static_cast<std::size_t>(node(p, s + t) - 1)];
      }
    }
  }
}

void plot_pmzone_isopach_structure(DOMAIN& olf, DOMAIN& pm) {
  // The other plots of the run do not depend on this one: it is left out with the reason.
  const auto zones = std::span<const std::int32_t>(pm.elemzone.data(),
                                                   std::min<std::size_t>(pm.elemzone.size(), std::max(pm.ne, 0)));
  const std::int32_t zmax = zones.empty() ? 0 : *std::max_element(zones.begin(), zones.end());
  if (const std::string obstacle = isopachobstacle(olf, pm, zmax); !obstacle.empty()) {
    warningmsg("The pm isopach plot is not written: " + obstacle);
    return;
  }
  R8Vec top, thickness;
  sizearray(top, olf.nn, "top elevation and thickness arrays");
  sizearray(thickness, olf.ne, "top elevation and thickness arrays");
  const std::int32_t layers = pm.ne / olf.ne;
  const std::int32_t digits = numdigits(zmax);
  const std::string name = datasetname("o.pm_Isopach");
  announce("pm isopach plot", name);

  tecplotinit(olf);
  registervariable(olf, "X", olf.xvar, ValueKind::r8, "L", false);
  registervariable(olf, "Y", olf.yvar, ValueKind::r8, "L", false);
  registervariable(olf, "Z(isopach top)", olf.zvar, ValueKind::r8, "L", false);
  registervariable(olf, "isopach thickness", olf.zonevar, ValueKind::r8, "L", true);
  tecplotfileopen(name, firsttitle(), olf.nvar, olf.varlist, olf);
  tecplotvarunitswrite(olf);

  const Extent ext = extentof(olf);
  auto compute = [&](std::int32_t zone) {
    std::fill(top.begin(), top.end(), 0.0);
    std::fill(thickness.begin(), thickness.end(), 0.0);
    compute_isopach_structure(zone, pm.nn, pm.ne, zones, pm.z, pm.nln, pm.incidences, olf.nn, olf.ne, olf.nln,
                              olf.incidences, layers - 1, thickness, top);
  };
  compute(1);
  tecplotwritezonefe("Isopach", ext.nodes, ext.elements, zeropaddedintstring(digits, 1), 0, olf);
  tecplotwritearrayreal8(olf.xvar, olf.nn, olf.x, ext.truncate, olf.nodemask, "x", olf);
  tecplotwritearrayreal8(olf.yvar, olf.nn, olf.y, ext.truncate, olf.nodemask, "y", olf);
  tecplotwritearrayreal8(olf.zvar, olf.nn, top, ext.truncate, olf.nodemask, "z (isopach top)", olf);
  tecplotwritearrayreal8(olf.zonevar, olf.ne, thickness, ext.truncate, olf.elemmask,
                         "isopach thickness (cell centred)", olf);
  tecplotwriteconnectivity(olf.elemmask, olf);
  for (std::int32_t zone = 2; zone <= zmax; ++zone) {
    checkstop();
    compute(zone);
    tecplotvarlocccadd(olf.zonevar, olf);
    tecplotvarshareadd(olf.xvar, 1, olf);
    tecplotvarshareadd(olf.yvar, 1, olf);
    tecplotwritezonefe("Isopach", ext.nodes, ext.elements, zeropaddedintstring(digits, zone), 1, olf);
    tecplotwritearrayreal8(olf.zvar, olf.nn, top, ext.truncate, olf.nodemask, "z (isopach top)", olf);
    tecplotwritearrayreal8(olf.zonevar, olf.ne, thickness, ext.truncate, olf.elemmask, "isopach thickness", olf);
  }
  tecplotfileclose(olf);
}

void plot_pmdepth_grndsurf(DOMAIN& olf, DOMAIN& pm) {
  R8Vec depth;
  sizearray(depth, pm.nn, "Depth to surface array");
  if (pm.depth2surf.size() >= static_cast<std::size_t>(pm.nn)) {
    std::copy_n(pm.depth2surf.begin(), pm.nn, depth.begin());
  } else {
    if (olf.nn < 1 || pm.nn < olf.nn || pm.nn % olf.nn != 0) {
      input_error("The depth below ground surface plot needs a porous medium mesh of whole layers of the overland "
                  "flow nodes: " + std::to_string(pm.nn) + " nodes against " + std::to_string(olf.nn) + ".");
    }
    if (pm.z.size() < static_cast<std::size_t>(pm.nn)) input_error("Node elevations of pm domain are missing.");
    columndepths(pm.z, olf.nn, pm.nn / olf.nn, depth);
  }
  const std::string name = datasetname("o.pm_DepthToSurf");
  announce("plot pm depth below ground surface", name);
  tecplotinit(pm);
  std::int32_t depthvar = 0;
  registervariable(pm, "X", pm.xvar, ValueKind::r8, "L", false);
  registervariable(pm, "Y", pm.yvar, ValueKind::r8, "L", false);
  registervariable(pm, "Z", pm.zvar, ValueKind::r8, "L", false);
  registervariable(pm, "DepthToSurf", depthvar, ValueKind::r8, "L", false);
  tecplotfileopen(name, firsttitle(), pm.nvar, pm.varlist, pm);
  tecplotvarunitswrite(pm);
  const Extent ext = extentof(pm);
  tecplotwritezonefe("DepthToSurf", ext.nodes, ext.elements, "", 0, pm);
  tecplotwritearrayreal8(pm.xvar, pm.nn, pm.x, ext.truncate, pm.nodemask, "x", pm);
  tecplotwritearrayreal8(pm.yvar, pm.nn, pm.y, ext.truncate, pm.nodemask, "y", pm);
  tecplotwritearrayreal8(pm.zvar, pm.nn, pm.z, ext.truncate, pm.nodemask, "z", pm);
  tecplotwritearrayreal8(depthvar, pm.nn, depth, ext.truncate, pm.nodemask, "DepthToSurf", pm);
  tecplotwriteconnectivity(pm.elemmask, pm);
  tecplotfileclose(pm);
}

}  // namespace kelpra
