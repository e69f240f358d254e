// Heads, and what follows from them: pressure heads below ground, water depths on the surface.
#include <cmath>
#include <string_view>
#include <vector>

#include "support/textview.hpp"
#include "variables/handlers.hpp"
#include "variables/quantities.hpp"

namespace kelpra {
namespace rows {
namespace {

const Quantity head{"o.head_", ValueKind::r8, false, {{{&DOMAIN::head, &DOMAIN::headvar, "Head", "head"}}}, 1,
                    &DOMAIN::headavail, &DOMAIN::headfound, "L", "head array"};

}  // namespace
}  // namespace rows

namespace {

bool surfacedomain(const DOMAIN& dom) {
  const std::string_view n = trimview(dom.name);
  return n == "olf" || n == "chan";
}

// Heads are measured from the time-varying elevation when its file was found for this time.
const R8Vec& referenceelevation(const DOMAIN& dom, bool topofound) {
  if (dom.writetvtopo && topofound && dom.tvtopoz.size() >= static_cast<std::size_t>(dom.nn)) return dom.tvtopoz;
  return dom.z;
}

void derive(DOMAIN& dom, bool topofound) {
  const R8Vec& ref = referenceelevation(dom, topofound);
  const auto n = static_cast<std::size_t>(std::max(dom.nn, 0));
  if (ref.size() < n || dom.head.size() < n) {
    fatalerror("Node elevations of " + domainname(dom) + " domain are missing.");
  }
  if (surfacedomain(dom)) {
    for (std::size_t i = 0; i < n; ++i) {
      const double d = dom.head[i] - ref[i];
      dom.depth[i] = static_cast<float>(d < 0.0 ? 0.0 : d);
      dom.logdepth[i] = std::log10(static_cast<float>(d < 1.0e-8 ? 1.0e-8 : d));
    }
  } else if (dom.writepresshead) {
    for (std::size_t i = 0; i < n; ++i) dom.presshead[i] = dom.head[i] - ref[i];
  }
}

}  // namespace

void headinit(DOMAIN& dom) {
  // What is computed from the heads goes with them where their file is missing.
  std::vector<std::string_view> derived;
  if (surfacedomain(dom)) {
    derived = {"Depth", "LogDepth"};
  } else {
    if (dom.writepresshead) derived.push_back("Pressure Head");
    if (dom.writedepth2gwt) derived.push_back("Depth2GWT");
    if (dom.writedepth2gwt2d) derived.push_back("Depth2GWT2D");
  }
  quantityinit(rows::head, dom, derived);
  if (!dom.headavail) return;
  if (!surfacedomain(dom)) {
    if (!dom.writepresshead) return;
    sizearray(dom.presshead, dom.nn, "pressure head array");
    registervariable(dom, "Pressure Head", dom.pressheadvar, ValueKind::r8, "L", false);
    addzonearray(dom, dom.pressheadvar, "pressure head", &DOMAIN::presshead, false);
  } else {
    sizearray(dom.depth, dom.nn, "depth and log depth arrays");
    sizearray(dom.logdepth, dom.nn, "depth and log depth arrays");
    registervariable(dom, "Depth", dom.depthvar, ValueKind::r4, "L", false);
    registervariable(dom, "LogDepth", dom.logdepthvar, ValueKind::r4, "L", false);
    addzonearray(dom, dom.depthvar, "Depth", &DOMAIN::depth, false);
    addzonearray(dom, dom.logdepthvar, "log10(Depth)", &DOMAIN::logdepth, false);
  }
  derive(dom, dom.tvtopoavail);
}

void headread(DOMAIN& dom) {
  quantityread(rows::head, dom);
  if (dom.headfound) {
    derive(dom, dom.tvtopofound);
    return;
  }
  if (surfacedomain(dom)) {
    sharewithzone1(dom, dom.depthvar);
    sharewithzone1(dom, dom.logdepthvar);
  } else if (dom.writepresshead) {
    sharewithzone1(dom, dom.pressheadvar);
  }
}

}  // namespace kelpra
