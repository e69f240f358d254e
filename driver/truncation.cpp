#include "driver/truncation.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

std::size_t count(std::int32_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

// The node lists must cover every element, and every reference must lie within `limit`
// (the smallest of the arrays it will index), so that nothing below reads past an array.
void checkreferences(const DOMAIN& dom, std::size_t limit) {
  const std::size_t nln = count(dom.nln);
  const std::size_t ne = count(dom.ne);
  if (dom.incidences.size() < nln * ne) {
    input_error("Element node lists of " + domainname(dom) + " domain hold " + std::to_string(dom.incidences.size()) +
                " node numbers, " + std::to_string(nln * ne) + " expected.");
  }
  for (std::size_t e = 0; e < ne; ++e) {
    for (std::size_t k = 0; k < nln; ++k) {
      const std::int32_t n = dom.incidences[e * nln + k];
      if (n >= 1 && static_cast<std::size_t>(n) > limit) {
        input_error("Element " + std::to_string(e + 1) + " of " + domainname(dom) + " domain refers to node " +
                    std::to_string(n) + " outside 1 to " + std::to_string(limit) + ".");
      }
    }
  }
}

std::size_t coordinatelimit(const DOMAIN& pmcopy) {
  return std::min({count(pmcopy.nn), pmcopy.x.size(), pmcopy.y.size(), pmcopy.z.size()});
}

// The box or layer test of one element, by the centroid of its porous-medium nodes.
class KeepTest {
 public:
  // `elementcount` is the element count the layers are taken from.
  KeepTest(const DOMAIN& dom, const DOMAIN& pmcopy, std::int32_t elementcount)
      : dom_(dom), pm_(pmcopy), box_(dom.truncate) {
    // Only the layer test needs layers: a full mesh is written whatever its layering.
    if (box_ || !dom.truncatebylayer || count(dom.ne) == 0) return;
    perlayer_ = plot_data.nz > 1 ? elementcount / (plot_data.nz - 1) : elementcount;
    // Fewer elements than layers leave no element per layer and no layer to test against.
    if (perlayer_ < 1) {
      input_error("Cannot truncate " + domainname(dom) + " domain by layer: " + std::to_string(elementcount) +
                  " elements do not fill " + std::to_string(plot_data.nz) + " node layers.");
    }
  }

  // Element e (1-based); `references` receives the number of node references averaged.
  bool keeps(std::size_t e, std::int32_t& references) const {
    const std::size_t nln = count(dom_.nln);
    double sx = 0.0, sy = 0.0, sz = 0.0;
    references = 0;
    for (std::size_t k = 0; k < nln; ++k) {
      const std::int32_t n = dom_.incidences[(e - 1) * nln + k];
      if (n < 1) continue;
      const auto i = static_cast<std::size_t>(n - 1);
      sx += pm_.x[i];
      sy += pm_.y[i];
      sz += pm_.z[i];
      ++references;
    }
    if (references == 0) return false;  // no centroid
    const double cx = sx / references, cy = sy / references, cz = sz / references;
    const bool inxy = dom_.xmin_trunc <= cx && cx <= dom_.xmax_trunc && dom_.ymin_trunc <= cy &&
                      cy <= dom_.ymax_trunc;
    if (box_) return inxy && dom_.zmin_trunc <= cz && cz <= dom_.zmax_trunc;
    const auto layer = static_cast<std::int64_t>((e - 1) / static_cast<std::size_t>(perlayer_)) + 1;
    return inxy && dom_.layermin_trunc <= layer && layer <= dom_.layermax_trunc;
  }

 private:
  const DOMAIN& dom_;
  const DOMAIN& pm_;
  bool box_;
  std::int32_t perlayer_ = 1;
};

}  // namespace

void truncationmessages(const DOMAIN& dom) {
  const bool cut = dom.meshcut;
  const std::string nodes = std::to_string(dom.nn_trunc) + (cut ? "/" + std::to_string(dom.nn) : "");
  const std::string elements = std::to_string(dom.ne_trunc) + (cut ? "/" + std::to_string(dom.ne) : "");
  const std::string lines[] = {"", "Medium: " + domainname(dom), cut ? "Truncated mesh" : "Full mesh (no truncation)",
                               "Nodes:    " + nodes, "Elements: " + elements};
  for (const std::string& line : lines) screenline(line);
  for (const std::string& line : lines) echoline(line);
}

namespace {

// The writer packs masked arrays into these; sized once for the run.
void workarrays(const DOMAIN& dom, const DOMAIN& pmcopy) {
  if (!dom.truncate || !plot_data.tmpr8.empty()) return;
  const std::size_t n = std::max(count(pmcopy.ne), count(pmcopy.nn));
  allocatearray(plot_data.tmpr8, n, "file writing truncation temp arrays");
  allocatearray(plot_data.tmpr4, n, "file writing truncation temp arrays");
  allocatearray(plot_data.tmpi4, n, "file writing truncation temp arrays");
}

}  // namespace

void multitruncate(DOMAIN& dom, const DOMAIN& pmcopy, bool announce) {
  const bool pm = trimview(dom.name) == "pm";
  const bool cut = dom.truncate || dom.truncatebylayer;
  const std::size_t nn = count(dom.nn);
  const std::size_t ne = count(dom.ne);
  const std::size_t nln = count(dom.nln);
  const std::size_t pmnn = count(pmcopy.nn);

  const std::string what = domainname(dom) + " truncated mesh arrays";
  allocatearray(dom.nodemask, nn, what);
  allocatearray(dom.elemmask, ne, what);
  allocatearray(dom.nodemap, pmnn, what);

  std::size_t limit = pm ? std::min(nn, pmnn) : std::min(pmnn, dom.link_pm2dom.size());
  if (cut) limit = std::min(limit, coordinatelimit(pmcopy));
  checkreferences(dom, limit);

  // The domain's own node of porous-medium node n, 0 when the domain has none.
  auto ownnode = [&](std::int32_t n) -> std::int32_t {
    if (pm) return n;
    const std::int32_t m = dom.link_pm2dom[static_cast<std::size_t>(n - 1)];
    if (m <= 0) return 0;
    const std::int64_t own = static_cast<std::int64_t>(m) - dom.globalstart;
    if (own < 1 || static_cast<std::size_t>(own) > nn) {
      input_error("Porous medium node " + std::to_string(n) + " is linked to node " + std::to_string(own) + " of " +
                  domainname(dom) + " domain, outside 1 to " + std::to_string(nn) + ".");
    }
    return static_cast<std::int32_t>(own);
  };

  const KeepTest test(dom, pmcopy, dom.ne);
  dom.ne_trunc = 0;
  for (std::size_t e = 1; e <= ne; ++e) {
    std::int32_t references = 0;
    if (cut && !test.keeps(e, references)) continue;
    const std::int32_t* nodes = dom.incidences.data() + (e - 1) * nln;
    // Every node of "pm" is its own node; the links are looked up for the other domains only.
    bool linked = true;
    for (std::size_t k = 0; k < nln && !pm; ++k) {
      if (nodes[k] >= 1 && ownnode(nodes[k]) == 0) linked = false;
    }
    // An element with a node outside the domain cannot be written with the domain's nodes.
    // The full mesh still shows its linked nodes; a truncated mesh drops the element whole.
    if (cut && !linked) continue;
    for (std::size_t k = 0; k < nln; ++k) {
      if (nodes[k] < 1) continue;
      const std::int32_t own = pm ? nodes[k] : ownnode(nodes[k]);
      if (own > 0) dom.nodemask[static_cast<std::size_t>(own - 1)] = 1;
    }
    if (linked) {
      dom.elemmask[e - 1] = 1;
      ++dom.ne_trunc;
    }
  }

  // With overland walls every node stays in the zone, so every node is numbered too.
  if (!cut && plot_data.olf_wall) std::fill(dom.nodemask.begin(), dom.nodemask.end(), std::uint8_t{1});

  std::int32_t k = 0;
  for (std::size_t i = 1; i <= nn; ++i) {
    if (dom.nodemask[i - 1] == 0) continue;
    ++k;
    const std::int32_t p = pm ? static_cast<std::int32_t>(i)
                              : (i <= dom.link_dom2pm.size() ? dom.link_dom2pm[i - 1] : 0);
    // A node without a porous-medium node (an overland wall copy) is not reached through
    // the element node lists, which hold porous-medium numbers.
    if (p >= 1 && static_cast<std::size_t>(p) <= pmnn) dom.nodemap[static_cast<std::size_t>(p - 1)] = k;
  }
  dom.nn_trunc = k;

  dom.meshcut = cut;
  if (announce) truncationmessages(dom);
  // Also the full mesh is packed when it leaves out nodes or elements; the zone holds only
  // the kept ones and `nodemap` numbers only those.
  dom.truncate = cut || dom.nn_trunc < dom.nn || dom.ne_trunc < dom.ne;
  workarrays(dom, pmcopy);
}

void commontruncate(DOMAIN& dom, const DOMAIN& pmcopy, bool announce) {
  const bool cut = dom.truncate || dom.truncatebylayer;
  const std::size_t nn = count(dom.nn);
  const std::size_t ne = count(dom.ne);
  const std::size_t nln = count(dom.nln);
  const std::size_t pmnn = count(pmcopy.nn);

  constexpr std::string_view what = "common node mesh truncation arrays";
  allocatearray(dom.nodemask, pmnn, what);
  allocatearray(dom.pmnodemask, nn, what);
  allocatearray(dom.elemmask, ne, what);
  allocatearray(dom.nodemap, pmnn, what);

  std::size_t limit = pmnn;
  if (cut) limit = std::min({limit, coordinatelimit(pmcopy), dom.link_pm2dom.size()});
  checkreferences(dom, limit);

  if (!cut) {
    dom.nn_trunc = dom.nn;
    dom.ne_trunc = dom.ne;
    std::fill(dom.elemmask.begin(), dom.elemmask.end(), std::uint8_t{1});
    std::fill(dom.pmnodemask.begin(), dom.pmnodemask.end(), std::uint8_t{1});
    for (const std::int32_t n : std::span(dom.incidences).first(nln * ne)) {
      if (n >= 1) dom.nodemask[static_cast<std::size_t>(n - 1)] = 1;
    }
    // The zone holds all `nn` nodes of the domain, also those no element refers to (those of
    // the zone-0 elements a "dual" domain drops), so that the counts agree with `nn_trunc`.
    for (std::size_t i = 1; i <= nn && i <= dom.link_dom2pm.size(); ++i) {
      const std::int32_t p = dom.link_dom2pm[i - 1];
      if (p >= 1 && static_cast<std::size_t>(p) <= pmnn) {
        dom.nodemask[static_cast<std::size_t>(p - 1)] = 1;
        dom.nodemap[static_cast<std::size_t>(p - 1)] = static_cast<std::int32_t>(i);
      }
    }
  } else {
    std::int32_t m0 = std::numeric_limits<std::int32_t>::max();
    for (const std::int32_t m : dom.link_pm2dom) {
      if (m > 0) m0 = std::min(m0, m);
    }
    const KeepTest test(dom, pmcopy, pmcopy.ne);
    dom.ne_trunc = 0;
    for (std::size_t e = 1; e <= ne; ++e) {
      std::int32_t references = 0;
      const bool keep = test.keeps(e, references);
      plot_data.nln = references;
      if (!keep) continue;
      dom.elemmask[e - 1] = 1;
      ++dom.ne_trunc;
      for (std::size_t k = 0; k < nln; ++k) {
        const std::int32_t n = dom.incidences[(e - 1) * nln + k];
        if (n < 1) continue;
        dom.nodemask[static_cast<std::size_t>(n - 1)] = 1;
        // The own node of a porous-medium node, counted from the smallest own number.
        const std::int32_t m = dom.link_pm2dom[static_cast<std::size_t>(n - 1)];
        const std::int64_t own = static_cast<std::int64_t>(m) - m0 + 1;
        if (m > 0 && own >= 1 && static_cast<std::size_t>(own) <= nn) {
          dom.pmnodemask[static_cast<std::size_t>(own - 1)] = 1;
        }
      }
    }
    std::int32_t k = 0;
    for (std::size_t i = 0; i < pmnn; ++i) {
      if (dom.nodemask[i] != 0) dom.nodemap[i] = ++k;
    }
    dom.nn_trunc = k;
  }

  dom.meshcut = cut;
  if (announce) truncationmessages(dom);
  dom.truncate = true;
  workarrays(dom, pmcopy);
}

}  // namespace kelpra
