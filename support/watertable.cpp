#include "support/watertable.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "support/checkedalloc.hpp"
#include "support/errors.hpp"

namespace kelpra {
namespace {

// One call's view of the mesh; positions are 0-based here.
struct Columns {
  std::span<const double> z;
  std::span<const double> psi;
  std::size_t nn;
  std::size_t nz;
  std::size_t npl;
  bool interp;

  // Water table between the saturated node s and the unsaturated node u above it.
  double crossing(std::size_t s, std::size_t u) const {
    if (interp) return z[s] - psi[s] / (psi[s] - psi[u]) * (z[s] - z[u]);
    return z[s] + psi[s];
  }
  double headof(std::size_t n) const { return z[n] + psi[n]; }
  // The top node of the column whose bottom node is c.
  std::size_t topof(std::size_t c) const { return c + (nz - 1) * npl; }
};

// Without this check npl = nn / nz leaves the last nodes outside every column, or the
// column walks step past the arrays.
void checklayout(std::int32_t nn, std::int32_t nz) {
  if (nz < 1 || nn < 0 || nn % nz != 0) {
    input_error("Depth to water table: " + std::to_string(nn) + " nodes do not form " + std::to_string(nz) +
                " layers of equal size.");
  }
}

void checkarrays(std::int32_t nn, std::initializer_list<std::size_t> sizes) {
  for (const auto s : sizes) {
    if (s < static_cast<std::size_t>(nn)) {
      fatalerror("Depth to water table: an array holds " + std::to_string(s) + " values for " + std::to_string(nn) +
                 " nodes.");
    }
  }
}

Columns columns(std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z, std::span<const double> psi) {
  const auto n = static_cast<std::size_t>(nn);
  const auto layers = static_cast<std::size_t>(nz);
  return Columns{z, psi, n, layers, n / layers, interp};
}

// Water table seen from node i: a saturated node looks up to the first unsaturated node,
// an unsaturated one down to the first saturated node; psi NaN counts as unsaturated.
double watertablefrom(const Columns& m, std::size_t i) {
  auto saturated = [&](std::size_t n) { return m.psi[n] >= 0.0; };
  if (saturated(i)) {
    std::size_t n = i;
    while (n + m.npl < m.nn) {
      n += m.npl;
      if (!saturated(n)) return m.crossing(n - m.npl, n);
    }
    return m.headof(n);
  }
  std::size_t n = i;
  while (n >= m.npl) {
    n -= m.npl;
    if (saturated(n)) return m.crossing(n, n + m.npl);
  }
  return m.headof(n);
}

// Water table of the column with bottom node c: the lowest saturated-below-unsaturated
// pair; without one, the ground surface when the top node is saturated, else the head
// of the bottom node. A single layer has no pair and takes the ground surface.
double watertablebottomup(const Columns& m, std::size_t c) {
  const std::size_t top = m.topof(c);
  for (std::size_t lower = c; lower < top; lower += m.npl) {
    const std::size_t upper = lower + m.npl;
    if (m.psi[lower] >= 0.0 && m.psi[upper] < 0.0) return m.crossing(lower, upper);
  }
  if (m.nz == 1 || m.psi[top] >= 0.0) return m.z[top];
  return m.headof(c);
}

std::vector<double> pressurehead(std::span<const double> z, std::span<const double> head, std::size_t nn,
                                 std::string_view what) {
  std::vector<double> psi;
  allocatearray(psi, static_cast<std::int64_t>(nn), what);
  for (std::size_t i = 0; i < nn; ++i) psi[i] = head[i] - z[i];
  return psi;
}

}  // namespace

void depth2gwtnode(std::int32_t i, std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z,
                   std::span<const double> psi, double& depth, double& wt) {
  checklayout(nn, nz);
  checkarrays(nn, {z.size(), psi.size()});
  if (i < 1 || i > nn) fatalerror("Depth to water table: node " + std::to_string(i) + " is not a node of the mesh.");
  const auto m = columns(nn, nz, interp, z, psi);
  const auto k = static_cast<std::size_t>(i - 1);
  wt = watertablefrom(m, k);
  depth = z[k] - wt;
}

void depth2gwtdomain(std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z,
                     std::span<const double> head, std::span<double> depth) {
  checklayout(nn, nz);
  checkarrays(nn, {z.size(), head.size(), depth.size()});
  const auto psi = pressurehead(z, head, static_cast<std::size_t>(nn), "depth to groundwater work array");
  const auto m = columns(nn, nz, interp, z, psi);
  // The answers of watertablefrom for every column in two sweeps instead of a walk per node:
  // downwards, each saturated node takes the crossing below the nearest unsaturated node
  // above it; upwards, each unsaturated node the crossing above the nearest saturated node
  // below it. The sweeps go layer by layer over all columns at once, so that the arrays are
  // read in order rather than a layer apart.
  std::vector<double> reach;  // per column: the water table the sweep carries along
  allocatearray(reach, static_cast<std::int64_t>(m.npl), "depth to groundwater work array");
  for (std::size_t c = 0; c < m.npl; ++c) reach[c] = m.headof(m.topof(c));
  for (std::size_t layer = m.nz; layer-- > 0;) {
    const std::size_t base = layer * m.npl;
    for (std::size_t c = 0; c < m.npl; ++c) {
      const std::size_t n = base + c;
      if (psi[n] >= 0.0) {
        depth[n] = z[n] - reach[c];
      } else if (layer > 0) {
        reach[c] = m.crossing(n - m.npl, n);
      }
    }
  }
  for (std::size_t c = 0; c < m.npl; ++c) reach[c] = m.headof(c);
  for (std::size_t layer = 0; layer < m.nz; ++layer) {
    const std::size_t base = layer * m.npl;
    for (std::size_t c = 0; c < m.npl; ++c) {
      const std::size_t n = base + c;
      if (!(psi[n] >= 0.0)) {
        depth[n] = z[n] - reach[c];
      } else if (layer + 1 < m.nz) {
        reach[c] = m.crossing(n, n + m.npl);
      }
    }
  }
}

void depth2gwtnodebottomup(std::int32_t c, std::int32_t nn, std::int32_t nz, bool interp,
                           std::span<const double> z, std::span<const double> psi, double& depth, double& wt) {
  checklayout(nn, nz);
  checkarrays(nn, {z.size(), psi.size()});
  if (c < 1 || c > nn / nz) {
    fatalerror("Depth to water table: node " + std::to_string(c) + " is not a bottom node of the mesh.");
  }
  const auto m = columns(nn, nz, interp, z, psi);
  const auto k = static_cast<std::size_t>(c - 1);
  wt = watertablebottomup(m, k);
  depth = z[m.topof(k)] - wt;
}

void depth2gwt2ddomain(std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z,
                       std::span<const double> head, std::span<double> depth) {
  checklayout(nn, nz);
  checkarrays(nn, {z.size(), head.size(), depth.size()});
  const auto psi = pressurehead(z, head, static_cast<std::size_t>(nn), "depth to groundwater 2D work array");
  const auto m = columns(nn, nz, interp, z, psi);
  // watertablebottomup for every column, layer pair by layer pair over all columns at once
  // so that the arrays are read in order; `found` marks the columns whose lowest crossing
  // is already known.
  std::vector<double> wt;
  std::vector<std::uint8_t> found;
  allocatearray(wt, static_cast<std::int64_t>(m.npl), "depth to groundwater 2D work array");
  allocatearray(found, static_cast<std::int64_t>(m.npl), "depth to groundwater 2D work array");
  for (std::size_t lower = 0; lower + m.npl < m.nn; lower += m.npl) {
    for (std::size_t c = 0; c < m.npl; ++c) {
      const std::size_t s = lower + c, u = s + m.npl;
      if (found[c] == 0 && psi[s] >= 0.0 && psi[u] < 0.0) {
        wt[c] = m.crossing(s, u);
        found[c] = 1;
      }
    }
  }
  for (std::size_t c = 0; c < m.npl; ++c) {
    const std::size_t top = m.topof(c);
    if (found[c] == 0) wt[c] = (m.nz == 1 || psi[top] >= 0.0) ? z[top] : m.headof(c);
    depth[c] = z[top] - wt[c];
  }
  for (std::size_t layer = 1; layer < m.nz; ++layer) {
    std::copy(depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(m.npl),
              depth.begin() + static_cast<std::ptrdiff_t>(layer * m.npl));
  }
}

}  // namespace kelpra
