#include "driver/meshfiles.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr std::int64_t kI4Bytes = 4;
constexpr std::int64_t kR8Bytes = 8;
constexpr double kColumnTolerance = 1.0e-5;

// Reads a record of n values into a fresh array, sized by the values that are there.
template <class T>
void readarray(ModelRecordFile& file, std::vector<T>& array, std::int64_t n, std::string_view what) {
  file.array(array, n, what);
}

// A number of global node numbers that must still fit a 4-byte integer.
std::int32_t globalcount(std::int64_t value, std::string_view fname) {
  if (value > std::numeric_limits<std::int32_t>::max()) {
    input_error("Too many nodes in the global node numbering (" + std::to_string(value) + ") in file: " +
                std::string(fname));
  }
  return static_cast<std::int32_t>(value);
}

[[noreturn]] void badlink(std::string_view array, std::size_t position, std::int32_t value, std::string_view allowed,
                          std::string_view fname) {
  input_error("Entry " + std::to_string(position + 1) + " of " + std::string(array) + " is " + std::to_string(value) +
              ", outside " + std::string(allowed) + ", in file: " + std::string(fname));
}

std::string range(std::int64_t first, std::int64_t last) {
  return std::to_string(first) + " to " + std::to_string(last);
}

// The checks of the node maps of a domain other than "pm" (see meshfiles.hpp).
void checklinks(const DOMAIN& dom, std::int32_t pmnodes, std::string_view fname) {
  for (std::size_t i = 0; i < dom.link_dom2pm.size(); ++i) {
    const std::int32_t n = dom.link_dom2pm[i];
    if (n < 1 || n > pmnodes) badlink("the pm node map", i, n, range(1, pmnodes), fname);
  }
  if (dom.coupling == 1) {
    const std::int64_t first = std::int64_t{dom.globalstart} + 1, last = std::int64_t{dom.globalstart} + dom.nn;
    for (std::size_t i = 0; i < dom.link_pm2dom.size(); ++i) {
      const std::int32_t m = dom.link_pm2dom[i];
      if (m > 0 && (m < first || m > last)) badlink("the domain node map", i, m, range(first, last), fname);
    }
    return;
  }
  std::int32_t low = std::numeric_limits<std::int32_t>::max(), high = 0;
  for (const std::int32_t m : dom.link_pm2dom) {
    if (m > 0) {
      low = std::min(low, m);
      high = std::max(high, m);
    }
  }
  if (high > 0 && std::int64_t{high} - low + 1 > dom.nn) {
    input_error("The domain node map spans " + range(low, high) + ", more than the " + std::to_string(dom.nn) +
                " nodes of the domain, in file: " + std::string(fname));
  }
}

// The checks of the element node numbers (see meshfiles.hpp); element numbers as in the file.
void checkincidences(const DOMAIN& dom, std::int32_t elements, std::string_view fname) {
  const bool pm = trimview(dom.name) == "pm";
  const bool dual = trimview(dom.name) == "dual";
  const std::int64_t limit = pm ? dom.nn : static_cast<std::int64_t>(dom.link_pm2dom.size());
  const auto nln = static_cast<std::size_t>(dom.nln);
  for (std::int32_t e = 0; e < elements; ++e) {
    if (dual && dom.elemzone[static_cast<std::size_t>(e)] == 0) continue;  // dropped below
    const std::size_t base = static_cast<std::size_t>(e) * nln;
    // A 4-node element whose fourth node is 0 is a triangle; the writer repeats its third node.
    const bool triangle = nln == 4 && dom.incidences[base + 3] == 0;
    for (std::size_t k = 0; k < nln; ++k) {
      const std::int32_t n = dom.incidences[base + k];
      if (triangle && k == 3) continue;
      // An element on a node that has no node of the domain is left out by the truncation.
      if (n < 1 || n > limit) {
        input_error("Element " + std::to_string(e + 1) + " refers to " + (pm ? "node " : "porous medium node ") +
                    std::to_string(n) + ", outside " + range(1, limit) + ", in file: " + std::string(fname));
      }
    }
  }
}

void readpmcoordinates(DOMAIN& dom, ModelRecordFile& file) {
  const auto nn = static_cast<std::size_t>(dom.nn);
  std::vector<double> work;
  readarray(file, work, 3 * std::int64_t{dom.nn}, "coordinate arrays");
  allocatearray(dom.x, dom.nn, "coordinate arrays");
  allocatearray(dom.y, dom.nn, "coordinate arrays");
  allocatearray(dom.z, dom.nn, "coordinate arrays");
  std::copy_n(work.begin(), nn, dom.x.begin());
  std::copy_n(work.begin() + static_cast<std::ptrdiff_t>(nn), nn, dom.y.begin());
  std::copy_n(work.begin() + static_cast<std::ptrdiff_t>(2 * nn), nn, dom.z.begin());
  work = {};
  std::int32_t grid[3] = {0, 0, 0};
  file.values(std::span<std::int32_t>(grid));
  if (grid[2] < 0) {
    input_error("Negative number of node layers (" + std::to_string(grid[2]) + ") in file: " + file.name());
  }
  file.close();
  plot_data.nx = grid[0];
  plot_data.ny = grid[1];
  plot_data.nz = grid[2];
  dom.globalstart = 0;
  plot_data.globalstartindex = dom.nn;
  screenthenecho("  Done reading coordinates");
  if (plot_data.nz == 0) {
    // Layers not given: count the nodes of the first node's column.
    std::int32_t layers = 0;
    for (std::size_t i = 0; i < nn; ++i) {
      if (std::abs(dom.x[i] - dom.x[0]) < kColumnTolerance && std::abs(dom.y[i] - dom.y[0]) < kColumnTolerance) {
        ++layers;
      }
    }
    plot_data.nz = dom.nn < 2 ? 1 : layers;
  }
}

void readolfwalls(const DOMAIN& dom, ModelRecordFile& file) {
  plot_data.olf_wall = file.l();
  if (!plot_data.olf_wall) return;
  plot_data.nnwall = file.count("number of wall nodes");
  const std::int32_t walls = file.count("number of walls");
  // The three wall records must be there before anything is sized by the count.
  file.needroom(3, saturatedproduct(saturatedproduct(dom.nn, std::int64_t{walls} + 2), kI4Bytes));
  const std::int32_t base = plot_data.globalstartindex;
  const std::int32_t extent = globalcount(std::int64_t{base} + dom.nn, file.name());
  const auto nn = static_cast<std::size_t>(dom.nn);
  const auto first = static_cast<std::size_t>(base);

  std::vector<std::int32_t> values;
  readarray(file, values, dom.nn, "olf wall arrays");
  allocatearray(plot_data.is_wallnode, extent, "olf wall arrays");
  for (std::size_t i = 0; i < nn; ++i) plot_data.is_wallnode[first + i] = (values[i] & 1) != 0 ? 1 : 0;

  // Rows for the "olf" nodes only, so the table is bounded by the record (none for no nodes).
  readarray(file, values, saturatedproduct(dom.nn, walls), "olf wall arrays");
  plot_data.olfwallbase = base;
  plot_data.link_olf2wall.allocate(dom.nn, dom.nn == 0 ? 0 : walls, 0, "olf wall arrays");
  for (std::int32_t w = 1; w <= plot_data.link_olf2wall.extent2(); ++w) {
    const auto column = values.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(w - 1) * nn);
    std::copy_n(column, nn, plot_data.link_olf2wall.column(w).begin());
  }

  readarray(file, values, dom.nn, "olf wall arrays");
  allocatearray(plot_data.link_wall2olf, extent, "olf wall arrays");
  std::copy_n(values.begin(), nn, plot_data.link_wall2olf.begin() + static_cast<std::ptrdiff_t>(first));
}

void readlinkedcoordinates(DOMAIN& dom, const DOMAIN& pm, ModelRecordFile& file) {
  dom.coupling = file.i4();
  readarray(file, dom.link_dom2pm, dom.nn, "link arrays");
  readarray(file, dom.link_pm2dom, pm.nn, "link arrays");
  if (trimview(dom.name) == "olf") readolfwalls(dom, file);
  file.close();
  screenthenecho("  Done reading coordinates");

  if (dom.coupling == 1) {
    screenthenecho("  Using multi-node coupling scheme");
    dom.globalstart = plot_data.globalstartindex;
    checklinks(dom, pm.nn, file.name());
    allocatearray(dom.x, dom.nn, "coordinate arrays");
    allocatearray(dom.y, dom.nn, "coordinate arrays");
    allocatearray(dom.z, dom.nn, "coordinate arrays");
    for (std::size_t i = 0; i < dom.link_dom2pm.size(); ++i) {
      const auto n = static_cast<std::size_t>(dom.link_dom2pm[i] - 1);
      dom.x[i] = pm.x[n];
      dom.y[i] = pm.y[n];
      dom.z[i] = pm.z[n];
    }
    plot_data.globalstartindex = globalcount(std::int64_t{plot_data.globalstartindex} + dom.nn, file.name());
  } else {
    screenthenecho("  Using common-node coupling scheme");
    checklinks(dom, pm.nn, file.name());
  }
}

}  // namespace

std::string meshfilename(std::string_view kind, std::string_view domain) {
  std::string name = prefixtext();
  name += kind;
  name += domain;
  return name;
}

void coordsread(DOMAIN& dom, const DOMAIN& pm) {
  const std::string_view name = trimview(dom.name);
  ModelRecordFile file(meshfilename("o.coordinates_", name));
  screenthenecho("Coordinates file: " + file.name());
  dom.nn = file.count("number of nodes");
  screenthenecho("  Number of nodes " + std::to_string(dom.nn));
  if (name == "pm") {
    readpmcoordinates(dom, file);
  } else {
    readlinkedcoordinates(dom, pm, file);
  }
}

void elemsread(DOMAIN& dom) {
  const std::string name(trimview(dom.name));
  ModelRecordFile file(meshfilename("o.elements_", name));
  screenthenecho("Elements file: " + file.name());
  dom.nln = file.count("number of nodes per element");
  dom.ne = file.count("number of elements");
  const std::int32_t elements = dom.ne;
  const std::string what = name + " element arrays";
  readarray(file, dom.incidences, saturatedproduct(dom.nln, dom.ne), what);
  readarray(file, dom.elemzone, dom.ne, what);
  checkincidences(dom, elements, file.name());

  if (name == "dual") {
    // Only elements of a non-zero zone belong to the dual continuum; the arrays keep their size.
    const auto nln = static_cast<std::size_t>(dom.nln);
    std::size_t kept = 0;
    for (std::size_t e = 0; e < static_cast<std::size_t>(elements); ++e) {
      if (dom.elemzone[e] == 0) continue;
      dom.elemzone[kept] = dom.elemzone[e];
      std::copy_n(dom.incidences.begin() + static_cast<std::ptrdiff_t>(e * nln), nln,
                  dom.incidences.begin() + static_cast<std::ptrdiff_t>(kept * nln));
      ++kept;
    }
    dom.ne = static_cast<std::int32_t>(kept);
  } else if (name == "olf") {
    readarray(file, plot_data.wallelemid, elements, "Overland flow wall node element array");
    plot_data.olf_wall = file.l();
    if (plot_data.olf_wall) file.values(std::span<std::int32_t>(plot_data.wallelemid));
  } else if (name == "frac") {
    file.needroom(2, saturatedproduct(elements, 2 * kI4Bytes + kR8Bytes));
    dom.auxint2d.allocate(elements, 2, 0, "Fracture element arrays");
    allocatearray(dom.aperture, elements, "Fracture element arrays");
    file.values(std::span<std::int32_t>(dom.auxint2d.data(), static_cast<std::size_t>(dom.auxint2d.size())));
    file.values(std::span<double>(dom.aperture));
  }
  file.close();

  const std::string count = "  Number of elements " + std::to_string(dom.ne);
  const std::string done = "  Done reading elements file";
  screenline(count);
  screenline(done);
  echoline(count);
  echoline(done);
  if (const std::string_view word = zonetypeword(dom.nln, name); !word.empty()) dom.zonetype = word;
}

}  // namespace kelpra
