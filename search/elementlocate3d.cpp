#include "search/elementlocate3d.hpp"

#include <limits>
#include <string>

#include "support/strings.hpp"

namespace kelpra {
namespace {

std::string pointdetail3d(double px, double py, double pz) { return "point: " + pointtostring3d(px, py, pz); }

bool inside(const TriangleWeights& w) noexcept { return w.s >= 0.0 && w.t >= 0.0 && w.s + w.t <= 1.0; }

double along(double f1, double f2, double f3, const TriangleWeights& w) noexcept {
  return f1 + w.s * (f2 - f1) + w.t * (f3 - f1);
}

// Index of the vertex nearest to the point; a later vertex wins only when strictly nearer.
template <std::size_t N>
std::size_t nearestvertex(std::span<const double, N> xs, std::span<const double, N> ys, double px, double py) {
  std::size_t best = 0;
  double bestd = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < N; ++k) {
    const double d = (xs[k] - px) * (xs[k] - px) + (ys[k] - py) * (ys[k] - py);
    if (d < bestd) {
      bestd = d;
      best = k;
    }
  }
  return best;
}

// Restores the two switches of a search when it goes out of scope, also by an exception
// thrown from a callback.
class SwitchGuard {
 public:
  explicit SwitchGuard(ElementSearch& s) : s_(s), usenearest_(s.usenearest), verbosewarn_(s.verbosewarn) {}
  SwitchGuard(const SwitchGuard&) = delete;
  SwitchGuard& operator=(const SwitchGuard&) = delete;
  ~SwitchGuard() {
    s_.usenearest = usenearest_;
    s_.verbosewarn = verbosewarn_;
  }

 private:
  ElementSearch& s_;
  bool usenearest_;
  bool verbosewarn_;
};

}  // namespace

TriangleWeights barycentriccoords(std::span<const double, 3> xs, std::span<const double, 3> ys, double px,
                                  double py) noexcept {
  const double det = (xs[1] - xs[0]) * (ys[2] - ys[0]) - (ys[0] - ys[1]) * (xs[0] - xs[2]);
  if (det == 0.0) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  return {((ys[2] - ys[0]) * (px - xs[0]) + (xs[0] - xs[2]) * (py - ys[0])) / det,
          ((ys[0] - ys[1]) * (px - xs[0]) + (xs[1] - xs[0]) * (py - ys[0])) / det};
}

// ---------------------------------------------------------------------------------------
// Interpolation on faces

double ElementSearch::interptriangle(std::span<const double, 3> xs, std::span<const double, 3> ys,
                                     std::span<const double, 3> fs, double px, double py) const {
  const TriangleWeights w = barycentriccoords(xs, ys, px, py);
  if (inside(w)) return along(fs[0], fs[1], fs[2], w);
  if (fallback("interpTriangle: point outside triangle: using value of nearest vertex",
               "interpTriangle: point outside of triangle", "point: " + pointtostring2d(px, py))) {
    return fs[nearestvertex(xs, ys, px, py)];
  }
  return 0.0;
}

double ElementSearch::interpquad(std::span<const double, 4> xs, std::span<const double, 4> ys,
                                 std::span<const double, 4> fs, double px, double py) const {
  const TriangleWeights w = barycentriccoords(xs.first<3>(), ys.first<3>(), px, py);
  if (inside(w)) return along(fs[0], fs[1], fs[2], w);
  const TriangleWeights v = barycentriccoords(std::array{xs[0], xs[2], xs[3]}, std::array{ys[0], ys[2], ys[3]}, px, py);
  if (inside(v)) return along(fs[0], fs[2], fs[3], v);
  if (fallback("interpQuad: point outside quad: using value of nearest vertex", "interpQuad: point outside quad",
               "point: " + pointtostring2d(px, py))) {
    return fs[nearestvertex(xs, ys, px, py)];
  }
  return 0.0;
}

double ElementSearch::interpface(std::int32_t e, bool top, double px, double py, std::span<const double> f) const {
  if (nln != 6 && nln != 8) {
    error(top ? "interpElementTop: expected triangular prism or block elements"
              : "interpElementBottom: expected triangular prism or block elements");
    return 0.0;
  }
  const std::int32_t n = nln / 2;
  std::array<double, 4> xs{};
  std::array<double, 4> ys{};
  std::array<double, 4> fs{};
  for (std::int32_t i = 0; i < n; ++i) {
    const std::size_t k = node((top ? n : 0) + i + 1, e);
    if (k >= f.size()) {
      fatalerror("Element search: the nodal values hold " + std::to_string(f.size()) + " entries, node " +
                 std::to_string(k + 1) + " has none.");
    }
    const auto j = static_cast<std::size_t>(i);
    xs[j] = x[k];
    ys[j] = y[k];
    fs[j] = f[k];
  }
  if (n == 3) {
    return interptriangle(std::span(xs).first<3>(), std::span(ys).first<3>(), std::span(fs).first<3>(), px, py);
  }
  return interpquad(xs, ys, fs, px, py);
}

double ElementSearch::interpelementbottomindex(std::int32_t e, double px, double py, std::span<const double> f) const {
  return interpface(e, false, px, py, f);
}
double ElementSearch::interpelementtopindex(std::int32_t e, double px, double py, std::span<const double> f) const {
  return interpface(e, true, px, py, f);
}
double ElementSearch::interpelement2dindex(std::int32_t e, double px, double py, std::span<const double> f) const {
  return interpface(e, false, px, py, f);
}

// ---------------------------------------------------------------------------------------
// Location in three dimensions

std::int32_t ElementSearch::findnearestelement3d(double px, double py, double pz) const {
  std::int32_t best = 0;
  double bestd = std::numeric_limits<double>::max();
  for (std::int32_t e = 1; e <= ne; ++e) {
    const auto c = elementcentroid3d(e);
    const double d = (px - c[0]) * (px - c[0]) + (py - c[1]) * (py - c[1]) + (pz - c[2]) * (pz - c[2]);
    if (d < bestd) {
      bestd = d;
      best = e;
    }
  }
  return best;
}

std::int32_t ElementSearch::findelement3d(double px, double py, double pz, std::int32_t hint) const {
  std::int32_t e = 0;
  if (hint >= 1 && hint <= ne) {
    // Any element of a column names its first-layer element.
    const std::int32_t column = (hint - 1) % ne2d + 1;
    if (pointinelement2d(column, px, py)) e = column;
  }
  if (e == 0) e = findelement2dunchecked(px, py);
  if (e == 0) {
    if (fallback("findElement3D: point outside mesh: using nearest element", "findElement3D: point outside mesh",
                 pointdetail3d(px, py, pz))) {
      return findnearestelement3d(px, py, pz);
    }
    return 0;
  }

  double zb = interpelementbottomindex(e, px, py, z);
  if (pz < zb) {
    return fallback("findElement3D: point below mesh: using nearest element", "findElement3D: point below mesh",
                    pointdetail3d(px, py, pz))
               ? e
               : 0;
  }
  std::int32_t ek = e;
  for (std::int32_t k = 1; k <= nz - 1; ++k) {
    ek = e + (k - 1) * ne2d;
    const double zt = interpelementtopindex(ek, px, py, z);
    if (zb <= pz && pz <= zt) return ek;
    zb = zt;
  }
  return fallback("findElement3D: point above mesh: using nearest element", "findElement3D: point above mesh",
                  pointdetail3d(px, py, pz))
             ? ek
             : 0;
}

bool ElementSearch::pointinelement3d(std::int32_t e, double px, double py, double pz) {
  if (!pointinelement2d(e, px, py)) return false;
  const SwitchGuard keep(*this);
  usenearest = true;
  verbosewarn = false;
  const double zb = interpelementbottomindex(e, px, py, z);
  const double zt = interpelementtopindex(e, px, py, z);
  return zb <= pz && pz <= zt;
}

// ---------------------------------------------------------------------------------------
// Interpolation inside elements

double ElementSearch::interpelement3dindex(std::int32_t e, double px, double py, double pz,
                                           std::span<const double> f) const {
  const double zb = interpelementbottomindex(e, px, py, z);
  const double fb = interpelementbottomindex(e, px, py, f);
  if (pz < zb && fallback("interpElement: point below element: interpolating to bottom",
                          "interpElement: point below element", pointdetail3d(px, py, pz))) {
    return fb;
  }
  const double zt = interpelementtopindex(e, px, py, z);
  const double ft = interpelementtopindex(e, px, py, f);
  if (pz > zt && fallback("interpElement: point above element: interpolating to top",
                          "interpElement: point above element", pointdetail3d(px, py, pz))) {
    return ft;
  }
  if (zt == zb) return fb;  // flat at the point: no height to interpolate over
  // Beyond a face (after a returning error callback) this extrapolates linearly.
  return (fb * (zt - pz) + ft * (pz - zb)) / (zt - zb);
}

double ElementSearch::interpelementbottomnoindex(double px, double py, double pz, std::span<const double> f) const {
  const std::int32_t e = findelement3d(px, py, pz);
  return e == 0 ? 0.0 : interpelementbottomindex(e, px, py, f);
}
double ElementSearch::interpelementtopnoindex(double px, double py, double pz, std::span<const double> f) const {
  const std::int32_t e = findelement3d(px, py, pz);
  return e == 0 ? 0.0 : interpelementtopindex(e, px, py, f);
}
double ElementSearch::interpelement2dnoindex(double px, double py, std::span<const double> f) const {
  const std::int32_t e = findelement2d(px, py);
  return e == 0 ? 0.0 : interpelementbottomindex(e, px, py, f);
}
double ElementSearch::interpelement3dnoindex(double px, double py, double pz, std::span<const double> f) const {
  const std::int32_t e = findelement3d(px, py, pz);
  return e == 0 ? 0.0 : interpelement3dindex(e, px, py, pz, f);
}

// ---------------------------------------------------------------------------------------
// On the default instance

double interptriangle(std::span<const double, 3> xs, std::span<const double, 3> ys, std::span<const double, 3> fs,
                      double px, double py) {
  return elementsearch().interptriangle(xs, ys, fs, px, py);
}
double interpquad(std::span<const double, 4> xs, std::span<const double, 4> ys, std::span<const double, 4> fs,
                  double px, double py) {
  return elementsearch().interpquad(xs, ys, fs, px, py);
}
double interpelementbottomindex(std::int32_t e, double px, double py, std::span<const double> f) {
  return elementsearch().interpelementbottomindex(e, px, py, f);
}
double interpelementtopindex(std::int32_t e, double px, double py, std::span<const double> f) {
  return elementsearch().interpelementtopindex(e, px, py, f);
}
double interpelement2dindex(std::int32_t e, double px, double py, std::span<const double> f) {
  return elementsearch().interpelement2dindex(e, px, py, f);
}
std::int32_t findnearestelement3d(double px, double py, double pz) {
  return elementsearch().findnearestelement3d(px, py, pz);
}
std::int32_t findelement3d(double px, double py, double pz, std::int32_t hint) {
  return elementsearch().findelement3d(px, py, pz, hint);
}
bool pointinelement3d(std::int32_t e, double px, double py, double pz) {
  return elementsearch().pointinelement3d(e, px, py, pz);
}
double interpelement3dindex(std::int32_t e, double px, double py, double pz, std::span<const double> f) {
  return elementsearch().interpelement3dindex(e, px, py, pz, f);
}
double interpelementbottomnoindex(double px, double py, double pz, std::span<const double> f) {
  return elementsearch().interpelementbottomnoindex(px, py, pz, f);
}
double interpelementtopnoindex(double px, double py, double pz, std::span<const double> f) {
  return elementsearch().interpelementtopnoindex(px, py, pz, f);
}
double interpelement2dnoindex(double px, double py, std::span<const double> f) {
  return elementsearch().interpelement2dnoindex(px, py, f);
}
double interpelement3dnoindex(double px, double py, double pz, std::span<const double> f) {
  return elementsearch().interpelement3dnoindex(px, py, pz, f);
}

}  // namespace kelpra
