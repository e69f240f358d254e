#include "search/fixedgrid.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra {
namespace {

constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Cell of coordinate v along an axis of n cells of width d starting at lo. The index is
// clamped while still a double, so a point on the upper edge (or rounded past it) falls
// in the last cell and no conversion overflows; a flat axis, and NaN, give cell 0.
std::int32_t cellof(double v, double lo, double d, std::int32_t n) noexcept {
  if (!(d > 0.0)) return 0;
  const double c = std::floor((v - lo) / d);
  if (!(c > 0.0)) return 0;
  return c >= static_cast<double>(n - 1) ? n - 1 : static_cast<std::int32_t>(c);
}

struct CellRange {
  std::int32_t i0, i1, j0, j1;
};

// The cells that the bounding box of element e's face touches.
CellRange cellrange(const FIXEDRESGRID& g, std::int32_t e) {
  std::array<double, 4> fx{};
  std::array<double, 4> fy{};
  const auto n = static_cast<std::size_t>(g.nface);
  for (std::size_t i = 0; i < n; ++i) {
    const auto node = static_cast<std::size_t>(g.in[static_cast<std::size_t>(e - 1) * g.nln + i]);
    fx[i] = g.x[node - 1];
    fy[i] = g.y[node - 1];
  }
  const Box2d box = getboundingbox(std::span(fx).first(n), std::span(fy).first(n));
  return {cellof(box[0], g.bbox[0], g.dx, g.nx), cellof(box[1], g.bbox[0], g.dx, g.nx),
          cellof(box[2], g.bbox[1], g.dy, g.ny), cellof(box[3], g.bbox[1], g.dy, g.ny)};
}

template <class Visit>
void forcells(const FIXEDRESGRID& g, const CellRange& r, Visit&& visit) {
  for (std::int32_t j = r.j0; j <= r.j1; ++j) {
    for (std::int32_t i = r.i0; i <= r.i1; ++i) visit(j * g.nx + i + 1);
  }
}

}  // namespace

void checkincidences(std::string_view what, std::int32_t ne, std::int32_t nln, std::span<const std::int32_t> in,
                     std::size_t nn) {
  if (ne <= 0) return;
  const auto need = static_cast<std::size_t>(ne) * static_cast<std::size_t>(nln);
  if (in.size() < need) {
    input_error(std::string(what) + ": the incidence table holds " + std::to_string(in.size()) + " entries, " +
                std::to_string(ne) + " elements of " + std::to_string(nln) + " nodes need " + std::to_string(need) +
                ".");
  }
  for (std::size_t k = 0; k < need; ++k) {
    const std::int32_t node = in[k];
    if (node < 1 || static_cast<std::size_t>(node) > nn) {
      input_error(std::string(what) + ": element " + std::to_string(k / static_cast<std::size_t>(nln) + 1) +
                  " names node " + std::to_string(node) + ", outside the " + std::to_string(nn) +
                  " nodes with coordinates.");
    }
  }
}

bool pointintri(double px, double py, std::span<const double, 3> xs, std::span<const double, 3> ys) noexcept {
  if ((xs[1] - xs[0]) * (ys[2] - ys[0]) - (ys[1] - ys[0]) * (xs[2] - xs[0]) == 0.0) return false;
  int positive = 0;
  int negative = 0;
  for (std::size_t a = 0; a < 3; ++a) {
    const std::size_t b = (a + 1) % 3;
    const double c = (xs[b] - xs[a]) * (py - ys[a]) - (ys[b] - ys[a]) * (px - xs[a]);
    // A zero cross product counts as positive; NaN counts as neither, so it never matches.
    if (c >= 0.0) ++positive;
    if (c < 0.0) ++negative;
  }
  return positive == 3 || negative == 3;
}

void FIXEDRESGRID::init(std::int32_t nx_, std::int32_t ny_, std::int32_t ne_, std::int32_t nln_,
                        std::span<const std::int32_t> in_, std::span<const double> x_, std::span<const double> y_) {
  if (nln_ != 6 && nln_ != 8) input_error("Fixed resolution grid expects prism or block elements.");
  checkincidences("Fixed resolution grid", ne_, nln_, in_, std::min(x_.size(), y_.size()));
  destroy();
  nx = std::max(nx_, 1);
  ny = std::max(ny_, 1);
  nface = nln_ / 2;
  nln = nln_;
  ne = std::max(ne_, 0);
  in = in_;
  x = x_;
  y = y_;

  if (!x.empty() && !y.empty()) bbox = {x[0], y[0], x[0], y[0]};
  for (std::int32_t e = 1; e <= ne; ++e) {
    for (std::int32_t i = 0; i < nface; ++i) {
      const auto node = static_cast<std::size_t>(in[static_cast<std::size_t>(e - 1) * nln + i]) - 1;
      bbox[0] = std::min(bbox[0], x[node]);
      bbox[1] = std::min(bbox[1], y[node]);
      bbox[2] = std::max(bbox[2], x[node]);
      bbox[3] = std::max(bbox[3], y[node]);
    }
  }
  // A flat axis has nothing to divide: one cell covers it.
  if (!(bbox[2] > bbox[0])) nx = 1;
  if (!(bbox[3] > bbox[1])) ny = 1;
  dx = (bbox[2] - bbox[0]) / nx;
  dy = (bbox[3] - bbox[1]) / ny;
  buildtable();
}

void FIXEDRESGRID::buildtable() {
  const std::int64_t cells = std::int64_t{nx} * ny;
  if (cells > kMaxCount) check_alloc(kStatusNoMemory, "Fixed resolution grid work array");
  I4Array count;
  count.allocate(static_cast<std::int32_t>(cells), 0, "Fixed resolution grid work array");

  std::int64_t listings = 0;
  for (std::int32_t e = 1; e <= ne; ++e) {
    forcells(*this, cellrange(*this, e), [&](std::int32_t m) {
      ++count(m);
      ++listings;
    });
  }

  if (cells + 1 > kMaxCount) check_alloc(kStatusNoMemory, "Fixed resolution grid row index array");
  rowindex.allocate(static_cast<std::int32_t>(cells + 1), 0, "Fixed resolution grid row index array");
  // Positions run to listings + 1 (the end of the last cell), which must stay a 4-byte integer.
  if (listings + 1 > kMaxCount) check_alloc(kStatusNoMemory, "Fixed resolution grid element index array");
  elementindex.allocate(static_cast<std::int32_t>(listings), 0, "Fixed resolution grid element index array");

  rowindex(1) = 1;
  for (std::int32_t m = 1; m <= cells; ++m) {
    rowindex(m + 1) = rowindex(m) + count(m);
    count(m) = rowindex(m);
  }
  for (std::int32_t e = 1; e <= ne; ++e) {
    forcells(*this, cellrange(*this, e), [&](std::int32_t m) { elementindex(count(m)++) = e; });
  }
}

bool FIXEDRESGRID::pointin(std::int32_t e, double px, double py) const {
  if (e < 1 || e > ne) return false;
  const auto base = static_cast<std::size_t>(e - 1) * static_cast<std::size_t>(nln);
  const auto node = [&](std::size_t i) { return static_cast<std::size_t>(in[base + i]) - 1; };
  const std::size_t n1 = node(0), n2 = node(1), n3 = node(2);
  if (pointintri(px, py, std::array{x[n1], x[n2], x[n3]}, std::array{y[n1], y[n2], y[n3]})) return true;
  if (nface != 4) return false;
  const std::size_t n4 = node(3);
  return pointintri(px, py, std::array{x[n1], x[n3], x[n4]}, std::array{y[n1], y[n3], y[n4]});
}

void FIXEDRESGRID::destroy() {
  rowindex.deallocate();
  elementindex.deallocate();
  x = {};
  y = {};
  in = {};
  nx = ny = nface = ne = nln = 0;
  bbox = {};
  dx = dy = 0.0;
}

bool FIXEDRESGRID::empty() const { return nx == 0 || ny == 0; }

std::int32_t FIXEDRESGRID::findelement(double px, double py) const {
  if (empty()) return 0;
  // Written as "not inside" so that NaN coordinates miss the grid.
  if (!(px >= bbox[0] && px <= bbox[2] && py >= bbox[1] && py <= bbox[3])) return 0;
  const std::int32_t m = cellof(py, bbox[1], dy, ny) * nx + cellof(px, bbox[0], dx, nx) + 1;
  for (std::int32_t k = rowindex(m); k < rowindex(m + 1); ++k) {
    const std::int32_t e = elementindex(k);
    if (pointin(e, px, py)) return e;
  }
  return 0;
}

}  // namespace kelpra
