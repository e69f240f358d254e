#include "support/geometry.hpp"

#include <algorithm>
#include <limits>

namespace kelpra {
namespace {

// Barycentric coordinates of P in the triangle (1, 2, 3): P = P1 + s (P2 - P1) + t (P3 - P1).
struct TrianglePos {
  bool inside = false;
  double s = 0.0;
  double t = 0.0;
};

TrianglePos intriangle(double x1, double y1, double x2, double y2, double x3, double y3, double xp,
                       double yp) noexcept {
  const double det = (x2 - x1) * (y3 - y1) - (y2 - y1) * (x3 - x1);
  if (det == 0.0) return {};  // a degenerate triangle holds no point
  TrianglePos p;
  p.s = ((y3 - y1) * (xp - x1) - (x3 - x1) * (yp - y1)) / det;
  p.t = ((x2 - x1) * (yp - y1) - (y2 - y1) * (xp - x1)) / det;
  p.inside = p.s >= 0.0 && p.t >= 0.0 && p.s + p.t <= 1.0;
  return p;
}

// Plane through three nodes, evaluated at the barycentric position.
double along(double z1, double z2, double z3, const TrianglePos& p) noexcept {
  return z1 + p.s * (z2 - z1) + p.t * (z3 - z1);
}

void extent(std::span<const double> v, double& lo, double& hi) noexcept {
  lo = std::numeric_limits<double>::max();
  hi = -std::numeric_limits<double>::max();
  for (const double c : v) {
    if (c < lo) lo = c;
    if (c > hi) hi = c;
  }
}

template <std::size_t N>
double boxmeasure(std::span<const double, N> box) noexcept {
  // Every axis must have positive extent: two empty axes would otherwise multiply to a
  // positive measure.
  double m = 1.0;
  for (std::size_t k = 0; k < N; k += 2) {
    const double d = box[k + 1] - box[k];
    if (!(d > 0.0)) return 0.0;
    m *= d;
  }
  return m;
}

template <std::size_t N>
bool boxoverlap(std::span<const double, N> a, std::span<const double, N> b) noexcept {
  for (std::size_t k = 0; k < N; k += 2) {
    if (!(a[k] < b[k + 1] && b[k] < a[k + 1])) return false;
  }
  return true;
}

template <std::size_t N>
std::array<double, N> boxintersect(std::span<const double, N> a, std::span<const double, N> b) noexcept {
  std::array<double, N> c{};
  for (std::size_t k = 0; k < N; k += 2) {
    c[k] = std::max(a[k], b[k]);
    c[k + 1] = std::min(a[k + 1], b[k + 1]);
  }
  return c;
}

}  // namespace

bool pointinelement3d(std::int32_t nodesperelement, std::span<const double> x, std::span<const double> y,
                      std::span<const double> z, double xp, double yp, double zp) noexcept {
  if (nodesperelement != 6 && nodesperelement != 8) return false;
  const auto need = static_cast<std::size_t>(nodesperelement);
  if (x.size() < need || y.size() < need || z.size() < need) return false;

  double bottom = 0.0;
  double top = 0.0;
  if (nodesperelement == 6) {
    const auto p = intriangle(x[0], y[0], x[1], y[1], x[2], y[2], xp, yp);
    if (!p.inside) return false;
    bottom = along(z[0], z[1], z[2], p);
    top = along(z[3], z[4], z[5], p);
  } else {
    // The quadrilateral is split along the diagonal 1-3; a point on the diagonal belongs
    // to the first triangle.
    const auto p = intriangle(x[0], y[0], x[1], y[1], x[2], y[2], xp, yp);
    if (p.inside) {
      bottom = along(z[0], z[1], z[2], p);
      top = along(z[4], z[5], z[6], p);
    } else {
      const auto q = intriangle(x[0], y[0], x[2], y[2], x[3], y[3], xp, yp);
      if (!q.inside) return false;
      bottom = along(z[0], z[2], z[3], q);
      top = along(z[4], z[6], z[7], q);
    }
  }
  return bottom <= zp && zp <= top;
}

Box2d getboundingbox2d(std::span<const double> x, std::span<const double> y) noexcept {
  Box2d box{};
  extent(x, box[0], box[1]);
  extent(y, box[2], box[3]);
  return box;
}

Box3d getboundingbox3d(std::span<const double> x, std::span<const double> y, std::span<const double> z) noexcept {
  Box3d box{};
  extent(x, box[0], box[1]);
  extent(y, box[2], box[3]);
  extent(z, box[4], box[5]);
  return box;
}

double boundingboxvolume2d(std::span<const double, 4> box) noexcept { return boxmeasure(box); }
double boundingboxvolume3d(std::span<const double, 6> box) noexcept { return boxmeasure(box); }

bool boundingboxhasintersection2d(std::span<const double, 4> a, std::span<const double, 4> b) noexcept {
  return boxoverlap(a, b);
}
bool boundingboxhasintersection3d(std::span<const double, 6> a, std::span<const double, 6> b) noexcept {
  return boxoverlap(a, b);
}

Box2d boundingboxintersection2d(std::span<const double, 4> a, std::span<const double, 4> b) noexcept {
  return boxintersect(a, b);
}
Box3d boundingboxintersection3d(std::span<const double, 6> a, std::span<const double, 6> b) noexcept {
  return boxintersect(a, b);
}

}  // namespace kelpra
