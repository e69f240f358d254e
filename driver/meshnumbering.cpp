#include "driver/meshnumbering.hpp"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

#include "plot/tecplot.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

std::size_t count(std::int32_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

// The number of entries set among the first n of a mask (all n when the mask is empty).
std::size_t written(const Mask& mask, std::size_t n, std::string_view what, const DOMAIN& dom) {
  if (mask.empty()) return n;
  if (mask.size() < n) {
    fatalerror(std::string(what) + " mask of " + domainname(dom) + " domain holds " + std::to_string(mask.size()) +
               " entries, " + std::to_string(n) + " expected.");
  }
  return static_cast<std::size_t>(
      std::count_if(mask.begin(), mask.begin() + static_cast<std::ptrdiff_t>(n), [](std::uint8_t m) { return m != 0; }));
}

bool isset(const Mask& mask, std::size_t i) { return mask.empty() || mask[i] != 0; }

template <class T>
void reserve(std::vector<T>& values, std::size_t n, std::string_view what) {
  checkedalloc(what, [&] { values.reserve(n); });
}

std::size_t elementsperlayer(const DOMAIN& dom) {
  const std::size_t ne = count(dom.ne);
  const std::size_t perlayer = plot_data.nz > 1 ? ne / static_cast<std::size_t>(plot_data.nz - 1) : 0;
  return perlayer >= 1 ? perlayer : std::max<std::size_t>(ne, 1);
}

// Layer (column false) or column (column true) of every written element.
std::vector<std::int32_t> layerorcolumn(const DOMAIN& dom, bool column, std::string_view what) {
  const std::size_t ne = count(dom.ne);
  const std::size_t perlayer = elementsperlayer(dom);
  std::vector<std::int32_t> values;
  reserve(values, written(dom.elemmask, ne, "Element", dom), what);
  for (std::size_t e = 0; e < ne; ++e) {
    if (!isset(dom.elemmask, e)) continue;
    values.push_back(static_cast<std::int32_t>(column ? e % perlayer + 1 : e / perlayer + 1));
  }
  return values;
}

}  // namespace

std::vector<std::int32_t> nodenumbervalues(std::int32_t nodecount, const Mask& mask, const DOMAIN& dom) {
  const std::size_t n = count(nodecount);
  std::vector<std::int32_t> values;
  reserve(values, written(mask, n, "Node", dom), "3D node id temporary array");
  const bool ownnodes = dom.coupling == 1;
  if (ownnodes && dom.link_dom2pm.size() < n) {
    input_error("Node links of " + domainname(dom) + " domain hold " + std::to_string(dom.link_dom2pm.size()) +
                " porous medium nodes, " + std::to_string(n) + " expected.");
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!isset(mask, i)) continue;
    values.push_back(ownnodes ? dom.link_dom2pm[i] : static_cast<std::int32_t>(i + 1));
  }
  return values;
}

std::vector<std::int32_t> layernumbervalues(const DOMAIN& dom) {
  return layerorcolumn(dom, false, "3D layer number temporary array");
}

std::vector<std::int32_t> columnnumbervalues(const DOMAIN& dom) {
  return layerorcolumn(dom, true, "3D column number temporary array");
}

std::vector<double> elementthicknessvalues(const DOMAIN& dom) {
  const std::size_t ne = count(dom.ne);
  const std::size_t nln = count(dom.nln);
  const std::size_t h = nln / 2;
  if (dom.incidences.size() < nln * ne) {
    input_error("Element node lists of " + domainname(dom) + " domain hold " + std::to_string(dom.incidences.size()) +
                " node numbers, " + std::to_string(nln * ne) + " expected.");
  }
  const std::size_t limit = std::min(count(dom.nn), dom.z.size());
  auto z = [&](std::size_t e, std::size_t k) {
    const std::int32_t n = dom.incidences[e * nln + k];
    if (n < 1 || static_cast<std::size_t>(n) > limit) {
      input_error("Element " + std::to_string(e + 1) + " of " + domainname(dom) + " domain refers to node " +
                  std::to_string(n) + " outside 1 to " + std::to_string(limit) + ".");
    }
    return dom.z[static_cast<std::size_t>(n - 1)];
  };
  std::vector<double> values;
  reserve(values, written(dom.elemmask, ne, "Element", dom), "3D column number temporary array");
  for (std::size_t e = 0; e < ne; ++e) {
    if (!isset(dom.elemmask, e)) continue;
    double sum = 0.0;
    for (std::size_t k = 0; k < h; ++k) sum += z(e, h + k) - z(e, k);
    // An element of fewer than two nodes has no faces and no thickness.
    values.push_back(h > 0 ? sum / static_cast<double>(h) : 0.0);
  }
  return values;
}

void write3dnodenumber(std::int32_t var, std::int32_t nodecount, const Mask& mask, DOMAIN& dom) {
  const std::vector<std::int32_t> values = nodenumbervalues(nodecount, mask, dom);
  tecplotwritearrayint4(var, static_cast<std::int32_t>(values.size()), values, false, mask, "3D node #", dom);
}

void writelayernumber(std::int32_t var, DOMAIN& dom) {
  const std::vector<std::int32_t> values = layernumbervalues(dom);
  tecplotwritearrayint4(var, static_cast<std::int32_t>(values.size()), values, false, dom.elemmask, "Layer #", dom);
}

void writecolumnnumber(std::int32_t var, DOMAIN& dom) {
  const std::vector<std::int32_t> values = columnnumbervalues(dom);
  tecplotwritearrayint4(var, static_cast<std::int32_t>(values.size()), values, false, dom.elemmask, "Column #", dom);
}

void writeelementthickness(std::int32_t var, DOMAIN& dom) {
  const std::vector<double> values = elementthicknessvalues(dom);
  tecplotwritearrayreal8(var, static_cast<std::int32_t>(values.size()), values, false, dom.elemmask, "Thickness",
                         dom);
}

}  // namespace kelpra
