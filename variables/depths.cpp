// Depths computed from the mesh and the heads: below the ground surface (once) and to the
// water table (at every time with heads), along the node columns of the layered "pm" mesh.
#include <algorithm>

#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/watertable.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

// Whether the nodes form whole layers, as the column walks need; otherwise, with `warn`, one
// warning says why the depths to the water table are left out.
bool wholelayers(const DOMAIN& dom, bool warn) {
  const std::int32_t nz = plot_data.nz;
  if (nz >= 1 && dom.nn >= nz && dom.nn % nz == 0) return true;
  if (warn) {
    warningmsg("Depths to the water table are not written: the " + std::to_string(dom.nn) +
               " nodes of the pm domain do not form " + std::to_string(nz) + " node layers of equal size.");
  }
  return false;
}

// The depths to the water table are measured from the last topography read, when there is one.
std::span<const double> reference(const DOMAIN& dom) {
  const auto n = static_cast<std::size_t>(std::max(dom.nn, 0));
  if (dom.tvtopoavail && dom.writetvtopo && dom.tvtopoz.size() >= n) return std::span(dom.tvtopoz).first(n);
  if (dom.z.size() < n) fatalerror("Node elevations of " + domainname(dom) + " domain are missing.");
  return std::span(dom.z).first(n);
}

using DepthFunction = void (*)(std::int32_t, std::int32_t, bool, std::span<const double>, std::span<const double>,
                               std::span<double>);

void compute(DepthFunction f, R8Vec& depth, const DOMAIN& dom) {
  f(dom.nn, plot_data.nz, plot_data.interpd2wt, reference(dom), dom.head, depth);
}

void depthinit(DOMAIN& dom, R8Vec DOMAIN::*depth, std::int32_t DOMAIN::*var, std::string_view name,
               std::string_view label, std::string_view allocation, DepthFunction f, bool warn) {
  if (!dom.headavail || !wholelayers(dom, warn)) return;
  sizearray(dom.*depth, dom.nn, allocation);
  registervariable(dom, name, dom.*var, ValueKind::r8, "L", false);
  compute(f, dom.*depth, dom);
  addzonearray(dom, dom.*var, label, depth, false);
}

void depthread(DOMAIN& dom, R8Vec DOMAIN::*depth, std::int32_t DOMAIN::*var, DepthFunction f) {
  if (dom.*var < 1) return;  // not set up at the first time
  if (!dom.headfound) {
    sharewithzone1(dom, dom.*var);
    return;
  }
  compute(f, dom.*depth, dom);
}

}  // namespace

void depth2gwtinit(DOMAIN& dom) {
  depthinit(dom, &DOMAIN::depth2gwt, &DOMAIN::depth2gwtvar, "Depth2GWT", "depth to groundwater 3d",
            "depth to groundwater table array", depth2gwtdomain, true);
}

void depth2gwt2dinit(DOMAIN& dom) {
  // One warning for both depths: the 3-D one has given it when it was asked for.
  depthinit(dom, &DOMAIN::depth2gwt2d, &DOMAIN::depth2gwt2dvar, "Depth2GWT2D", "depth to groundwater 2d",
            "2d depth to groundwater table array", depth2gwt2ddomain, !dom.writedepth2gwt);
}

void depth2gwtread(DOMAIN& dom) { depthread(dom, &DOMAIN::depth2gwt, &DOMAIN::depth2gwtvar, depth2gwtdomain); }

void depth2gwt2dread(DOMAIN& dom) {
  depthread(dom, &DOMAIN::depth2gwt2d, &DOMAIN::depth2gwt2dvar, depth2gwt2ddomain);
}

void columndepths(std::span<const double> z, std::int32_t m, std::int32_t layers, std::span<double> depth) {
  for (std::int32_t j = 0; j < m; ++j) {
    const double surface = z[static_cast<std::size_t>((layers - 1) * m + j)];
    for (std::int32_t k = 0; k < layers; ++k) {
      const auto i = static_cast<std::size_t>(k * m + j);
      depth[i] = k == layers - 1 ? 0.0 : surface - z[i];
    }
  }
}

void depth2surfinit(DOMAIN& dom) {
  if (dom.depth2surf.empty()) {
    sizearray(dom.depth2surf, dom.nn, "Depth to surface array");
    // Whole layers of m nodes, numbered layer by layer upwards; the top node of a column is
    // its ground surface. Nodes beyond the whole layers keep 0.
    const std::int32_t nz = plot_data.nz;
    const std::int32_t m = nz >= 1 ? dom.nn / nz : 0;
    if (m > 0) {
      if (dom.z.size() < static_cast<std::size_t>(dom.nn)) {
        fatalerror("Node elevations of " + domainname(dom) + " domain are missing.");
      }
      columndepths(dom.z, m, nz, dom.depth2surf);
    }
  }
  registervariable(dom, "Depth2Surf", dom.depth2surfvar, ValueKind::r8, "L", false);
  addzonearray(dom, dom.depth2surfvar, "Depth to surf", &DOMAIN::depth2surf, false, Source::own, true);
}

}  // namespace kelpra
