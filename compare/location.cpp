// Where a point lies in one brick: its local coordinates in the brick's box and, by inverting
// the brick's trilinear map, in its body; the eight weights there, and the scan that tests every
// element of a mesh in turn.
#include "compare/location.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "compare/bricksearch.hpp"

namespace kelpra {
namespace {

using locationdetail::Box;
using locationdetail::boxof;
using locationdetail::bricknodes;
using locationdetail::Nodes;
using locationdetail::Pick;
using locationdetail::Point;

// The local coordinates of one point in one box; true inside.
inline bool localcoordinates(const double* point, const double* boxmin, const double* boxmax, std::size_t ndim,
                             double* rst) {
  bool inside = true;
  for (std::size_t d = 0; d < ndim; ++d) {
    const double extent = boxmax[d] - boxmin[d];
    double r = 0.0;
    if (extent == 0.0) {
      // A flat box: nothing tells where on the axis the point is, and only its plane holds it.
      if (point[d] != boxmin[d]) inside = false;
    } else {
      r = (2.0 * point[d] - boxmax[d] - boxmin[d]) / extent;
      if (std::isnan(r)) r = 0.0;
    }
    rst[d] = r;
    if (std::abs(r) > kBoxTolerance) inside = false;
  }
  return inside;
}

// The local coordinate signs of the eight nodes, axis by axis, in the weights' order.
constexpr double kCorner[3][8] = {
    {-1, 1, 1, -1, -1, 1, 1, -1}, {-1, -1, 1, 1, -1, -1, 1, 1}, {-1, -1, -1, -1, 1, 1, 1, 1}};

// Whether the nodes sit exactly at the box corners in the weights' order: then the box
// coordinates are the element's own, and taking them keeps results and caches of such meshes.
bool isbox(const Nodes& c, const Box& b) {
  for (std::size_t d = 0; d < 3; ++d) {
    for (std::size_t k = 0; k < 8; ++k) {
      if (c[d][k] != (kCorner[d][k] < 0 ? b.min[d] : b.max[d])) return false;
    }
  }
  return true;
}

// The trilinear map of a brick as a polynomial per axis:
// x = a0 + a1 r + a2 s + a3 t + a4 rs + a5 st + a6 rt + a7 rst.
class Trilinear {
 public:
  explicit Trilinear(const Nodes& c) {
    for (std::size_t d = 0; d < 3; ++d) {
      std::array<double, 8>& a = a_[d];
      a.fill(0.0);
      for (std::size_t k = 0; k < 8; ++k) {
        const double r = kCorner[0][k], s = kCorner[1][k], t = kCorner[2][k], v = c[d][k] / 8.0;
        a[0] += v;
        a[1] += r * v;
        a[2] += s * v;
        a[3] += t * v;
        a[4] += r * s * v;
        a[5] += s * t * v;
        a[6] += r * t * v;
        a[7] += r * s * t * v;
      }
    }
  }

  // The integral of the Jacobian determinant over the reference cube: of its terms only those
  // even in r, s and t remain, and the squares average to 1/3.
  double volume() const {
    const auto triple = [this](std::size_t p, std::size_t q, std::size_t u) {
      const auto& a = a_;
      return a[0][p] * (a[1][q] * a[2][u] - a[2][q] * a[1][u]) - a[1][p] * (a[0][q] * a[2][u] - a[2][q] * a[0][u]) +
             a[2][p] * (a[0][q] * a[1][u] - a[1][q] * a[0][u]);
    };
    return 8.0 * (triple(1, 2, 3) + (triple(4, 2, 5) + triple(6, 5, 3) + triple(1, 4, 6)) / 3.0);
  }

  // The position at rst minus the point into f, and the Jacobian (row d: the derivatives of
  // axis d along r, s, t) into j.
  void at(const double* rst, const Point& point, double* f, double (*j)[3]) const {
    const double r = rst[0], s = rst[1], t = rst[2];
    for (std::size_t d = 0; d < 3; ++d) {
      const std::array<double, 8>& a = a_[d];
      f[d] = a[0] + a[1] * r + a[2] * s + a[3] * t + a[4] * r * s + a[5] * s * t + a[6] * r * t + a[7] * r * s * t -
             point[d];
      j[d][0] = a[1] + a[4] * s + a[6] * t + a[7] * s * t;
      j[d][1] = a[2] + a[4] * r + a[5] * t + a[7] * r * t;
      j[d][2] = a[3] + a[5] * s + a[6] * r + a[7] * r * s;
    }
  }

 private:
  std::array<std::array<double, 8>, 3> a_;
};

// A Jacobian whose determinant is this small against the product of its column lengths has
// (nearly) parallel edges, and one whose determinant is this small against the cube of the
// element's half size is rounding (a collapsed edge): no step can be solved for there.
constexpr double kFlatJacobian = 1.0e-10;
constexpr double kJacobianRounding = 1.0e-13;
// A brick whose volume is this small a fraction of its box's has no body to invert: its map
// folds or flattens, and rounding alone would decide where its points lie.
constexpr double kFlatVolume = 1.0e-8;
// The damping of the least-squares step at a singular place, against the trace of j^T j.
constexpr double kLeastSquaresDamping = 1.0e-12;
constexpr int kMaxNewtonSteps = 40;
constexpr double kNewtonStepDone = 1.0e-13;
// A residual this small a fraction of the element's size is rounding: the point is placed, and
// more steps would only wander (along a collapsed edge's preimage, say).
constexpr double kResidualDone = 1.0e-14;
// A step is halved until it lowers the residual by this fraction of what the full step
// promises, at most kMaxHalvings times.
constexpr double kSufficientDecrease = 1.0e-4;
constexpr int kMaxHalvings = 30;
// An iterate this far out is diverging: the point lies far outside the body.
constexpr double kNewtonFarOut = 1.0e6;
// A solution must place the point to this fraction of the element's size.
constexpr double kResidualSlack = 1.0e-10;

// Inline, as solve: Newton's loop keeps them.
inline double determinant(const double (*j)[3]) {
  return j[0][0] * (j[1][1] * j[2][2] - j[1][2] * j[2][1]) - j[0][1] * (j[1][0] * j[2][2] - j[1][2] * j[2][0]) +
         j[0][2] * (j[1][0] * j[2][1] - j[1][1] * j[2][0]);
}

// Whether the determinant is large enough to divide by: against the column lengths, and above
// `rounding`, its noise at the element's size.
bool invertible(const double (*j)[3], double det, double rounding) {
  double norms = 1.0;
  for (std::size_t c = 0; c < 3; ++c) norms *= std::sqrt(j[0][c] * j[0][c] + j[1][c] * j[1][c] + j[2][c] * j[2][c]);
  return std::abs(det) > kFlatJacobian * norms && std::abs(det) > rounding && std::isfinite(det) &&
         std::isfinite(norms);
}

double squared(const double* f) { return f[0] * f[0] + f[1] * f[1] + f[2] * f[2]; }

// The step that solves j dr = -f, by Cramer's rule (column i of j replaced by -f).
inline void solve(const double (*j)[3], double det, const double* f, double* dr) {
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t i1 = (i + 1) % 3, i2 = (i + 2) % 3;
    dr[i] = -(f[0] * (j[1][i1] * j[2][i2] - j[1][i2] * j[2][i1]) - f[1] * (j[0][i1] * j[2][i2] - j[0][i2] * j[2][i1]) +
              f[2] * (j[0][i1] * j[1][i2] - j[0][i2] * j[1][i1])) /
            det;
  }
}

// A singular place (a collapsed edge or face, or a fold) has no Newton step; the least-squares
// step there moves along the directions the map keeps and hardly along those it drops. From
// the corners of a face collapsed to an edge it alone reaches the edge's points, where Newton's
// method from elsewhere may end at a root outside. False when there is nothing to step along.
// Out of the way of the regular steps.
[[gnu::cold]] bool leastsquares(const double (*j)[3], const double* f, double* dr) {
  double a[3][3], g[3];
  double trace = 0.0;
  for (std::size_t p = 0; p < 3; ++p) {
    g[p] = j[0][p] * f[0] + j[1][p] * f[1] + j[2][p] * f[2];
    for (std::size_t q = 0; q < 3; ++q) a[p][q] = j[0][p] * j[0][q] + j[1][p] * j[1][q] + j[2][p] * j[2][q];
    trace += a[p][p];
  }
  const double damping = kLeastSquaresDamping * trace;
  if (!(damping > 0.0) || !std::isfinite(damping)) return false;
  for (std::size_t p = 0; p < 3; ++p) a[p][p] += damping;
  const double det = determinant(a);
  if (!(det > 0.0) || !std::isfinite(det)) return false;
  solve(a, det, g, dr);
  return std::isfinite(dr[0]) && std::isfinite(dr[1]) && std::isfinite(dr[2]);
}

// Whether the brick's volume is too small against its box's for its body to hold anything.
// The volume is the exact integral of the Jacobian determinant over the reference cube; the
// limit grows with the rounding of node coordinates far from the origin.
bool flat(const Trilinear& map, const Box& b) {
  const double volume = map.volume();
  double boxvolume = 1.0, rounding = 0.0;
  for (std::size_t d = 0; d < 3; ++d) {
    const double extent = b.max[d] - b.min[d];
    boxvolume *= extent;
    rounding += std::max(std::abs(b.min[d]), std::abs(b.max[d])) / extent;
  }
  const double limit = kFlatVolume + 64.0 * std::numeric_limits<double>::epsilon() * rounding;
  return !(std::abs(volume) > limit * boxvolume);
}

// What Newton's method seeks in one brick: the point, and the residuals and the determinant
// that decide at the brick's size.
struct Target {
  Point point;
  double slack;     // a solution's largest residual
  double done;      // a residual that cannot be lowered further
  double rounding;  // a determinant that is noise
};

// Damped Newton's method from r: each step is shortened until it lowers the residual, so the
// iterates neither jump to a far root nor cycle. True when it ends at a solution within the
// tolerance of the element, left in r; otherwise r is where the iterates stopped.
bool newton(const Trilinear& map, const Target& target, double* r) {
  double f[3], j[3][3];
  map.at(r, target.point, f, j);
  double norm = squared(f);
  for (int step = 0; step < kMaxNewtonSteps && norm > target.done * target.done; ++step) {
    const double det = determinant(j);
    double dr[3];
    if (invertible(j, det, target.rounding)) {
      solve(j, det, f, dr);
    } else if (!leastsquares(j, f, dr)) {
      break;  // nothing to step along: the residual decides
    }
    double lambda = 1.0, next[3], fnext[3], jnext[3][3], normnext = 0.0;
    bool lower = false;
    for (int halving = 0; !lower && halving <= kMaxHalvings; ++halving, lambda *= 0.5) {
      for (std::size_t i = 0; i < 3; ++i) next[i] = r[i] + lambda * dr[i];
      map.at(next, target.point, fnext, jnext);
      normnext = squared(fnext);
      // Were the map linear, the part lambda of the step would take the part 2 lambda of the
      // squared residual away.
      lower = normnext <= (1.0 - 2.0 * kSufficientDecrease * lambda) * norm;
    }
    // No step lowers it: at the rounding floor, or in a pit of the residual; it decides.
    if (!lower) break;
    double largest = 0.0, farthest = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
      largest = std::max(largest, std::abs(next[i] - r[i]));
      farthest = std::max(farthest, std::abs(next[i]));
      r[i] = next[i];
      f[i] = fnext[i];
      for (std::size_t c = 0; c < 3; ++c) j[i][c] = jnext[i][c];
    }
    norm = normnext;
    if (!(farthest <= kNewtonFarOut)) return false;  // diverging
    if (largest <= kNewtonStepDone) break;
  }
  // On a collapsed edge or face the point's preimage is a line or a plane, and the iterates may
  // stop on it outside the element: drawn back into the element, they still place the point.
  // A regular solution outside moves away from the point when drawn in.
  double in[3];
  bool drawn = false;
  for (std::size_t d = 0; d < 3; ++d) {
    in[d] = r[d];
    if (!(std::abs(r[d]) <= kBoxTolerance)) {
      in[d] = std::clamp(r[d], -1.0, 1.0);
      drawn = true;
    }
  }
  if (drawn) map.at(in, target.point, f, j);
  for (std::size_t d = 0; d < 3; ++d) {
    if (!(std::abs(f[d]) <= target.slack)) return false;
  }
  std::copy(in, in + 3, r);
  return true;
}

// Whether the point lies beyond the convex hull of the nodes, which holds the body: the
// weights sum to 1, and within the tolerance their negative ones to no less than
// -1.5 (kBoxTolerance - 1). Tried along the normals of the triangles of each face that r
// lies beyond.
bool beyondhull(const Nodes& c, const Point& p, const double* r, double slack) {
  for (std::size_t d = 0; d < 3; ++d) {
    if (!(std::abs(r[d]) > 1.0)) continue;
    std::size_t face[4], n = 0;
    for (std::size_t k = 0; k < 8; ++k) {
      if ((kCorner[d][k] > 0) == (r[d] > 0)) face[n++] = k;
    }
    // Three of the face's four nodes: the triangles of both its diagonal splits.
    for (std::size_t omit = 0; omit < 4; ++omit) {
      const std::size_t a = face[(omit + 1) % 4], b = face[(omit + 2) % 4], q = face[(omit + 3) % 4];
      double u[3], v[3], normal[3];
      for (std::size_t i = 0; i < 3; ++i) {
        u[i] = c[i][b] - c[i][a];
        v[i] = c[i][q] - c[i][a];
      }
      for (std::size_t i = 0; i < 3; ++i) normal[i] = u[(i + 1) % 3] * v[(i + 2) % 3] - u[(i + 2) % 3] * v[(i + 1) % 3];
      const auto along = [&normal](double x, double y, double z) {
        return normal[0] * x + normal[1] * y + normal[2] * z;
      };
      double lo = along(c[0][0], c[1][0], c[2][0]), hi = lo;
      for (std::size_t k = 1; k < 8; ++k) {
        const double w = along(c[0][k], c[1][k], c[2][k]);
        lo = std::min(lo, w);
        hi = std::max(hi, w);
      }
      const double margin = 2.0 * (kBoxTolerance - 1.0) * (hi - lo) +
                            2.0 * slack * (std::abs(normal[0]) + std::abs(normal[1]) + std::abs(normal[2]));
      const double at = along(p[0], p[1], p[2]);
      if (at > hi + margin || at < lo - margin) return true;
    }
  }
  return false;
}

// Whether node k sits where an earlier node of the brick does.
bool repeated(const Nodes& c, std::size_t k) {
  for (std::size_t q = 0; q < k; ++q) {
    if (c[0][q] == c[0][k] && c[1][q] == c[1][k] && c[2][q] == c[2][k]) return true;
  }
  return false;
}

enum class Inversion { inside, outside, degenerate };

// The local coordinates of the point in the brick: Newton's method from the centre, and where
// that ends outside or nowhere, from each corner in turn, since a distorted map may have roots
// outside the element that draw the iterates away from the one inside. The map is taken about
// the box's centre: coordinates of a projected grid (millions of metres) would otherwise leave
// rounding far above the residual asked of a small element.
Inversion invert(const Nodes& nodes, const Box& b, const Point& at, Point& rst) {
  Nodes c = nodes;
  Point point = at;
  for (std::size_t d = 0; d < 3; ++d) {
    const double centre = 0.5 * (b.min[d] + b.max[d]);
    for (double& v : c[d]) v -= centre;
    point[d] -= centre;
  }
  const Trilinear map(c);
  if (flat(map, b)) return Inversion::degenerate;
  double size = 0.0;
  for (std::size_t d = 0; d < 3; ++d) size = std::max(size, b.max[d] - b.min[d]);
  const double half = 0.5 * size;
  const Target target{point, kResidualSlack * size, kResidualDone * size, kJacobianRounding * half * half * half};
  double r[3] = {0.0, 0.0, 0.0};
  if (!newton(map, target, r)) {
    // Each corner costs a run of its own: a point that the hull shows outside needs none.
    if (beyondhull(c, point, r, target.slack)) return Inversion::outside;
    for (std::size_t k = 0;; ++k) {
      if (k == 8) return Inversion::outside;
      // A corner at an earlier one's node (a collapsed edge) is passed over: from the earlier one
      // the least-squares steps already reach the collapsed edge's points.
      if (repeated(c, k)) continue;
      for (std::size_t d = 0; d < 3; ++d) r[d] = kCorner[d][k];
      if (newton(map, target, r)) break;
    }
  }
  rst = {r[0], r[1], r[2]};
  return Inversion::inside;
}

}  // namespace

void get_rst_from_xyz(std::int32_t kind, std::int32_t ndim, std::span<const double> point,
                      std::span<const double> boxmin, std::span<const double> boxmax, std::span<double> rst,
                      std::int32_t& flag) {
  flag = 0;
  if (kind != kBrick8) return;
  const std::size_t n =
      std::min({static_cast<std::size_t>(std::max(ndim, 0)), point.size(), boxmin.size(), boxmax.size(), rst.size()});
  if (!localcoordinates(point.data(), boxmin.data(), boxmax.data(), n, rst.data())) flag = -1;
}

double linf(double a) { return (1.0 + a) / 2.0; }

void br8shp(std::int32_t first, std::span<const double> rst, std::span<double, 8> weights) {
  const auto at = static_cast<std::size_t>(first - 1);
  const double r = rst[at], s = rst[at + 1], t = rst[at + 2];
  // Factors of the r and s axes doubled, of the t axis quartered: the product is the weight.
  const double rm = 2.0 * linf(-r), rp = 2.0 * linf(r);
  const double sm = 2.0 * linf(-s), sp = 2.0 * linf(s);
  const double tm = linf(-t) / 4.0, tp = linf(t) / 4.0;
  weights[0] = rm * sm * tm;
  weights[1] = rp * sm * tm;
  weights[2] = rp * sp * tm;
  weights[3] = rm * sp * tm;
  weights[4] = rm * sm * tp;
  weights[5] = rp * sm * tp;
  weights[6] = rp * sp * tp;
  weights[7] = rm * sp * tp;
}

double dfe_interp(std::span<const double, 8> a, std::span<const double, 8> b) {
  double sum = 0.0;
  for (std::size_t k = 0; k < 8; ++k) sum += a[k] * b[k];
  return sum;
}

Holding brickholds(const BrickMesh& mesh, std::int32_t e, const Point& point, Point& rst) {
  const Nodes c = bricknodes(mesh, e);
  const Box b = boxof(c);
  if (!localcoordinates(point.data(), b.min.data(), b.max.data(), 3, rst.data())) return Holding::none;
  for (std::size_t d = 0; d < 3; ++d) {
    if (!(b.max[d] - b.min[d] > 0.0) || !std::isfinite(b.max[d] - b.min[d])) return Holding::box;  // no volume
  }
  if (isbox(c, b)) return Holding::body;
  return invert(c, b, point, rst) == Inversion::inside ? Holding::body : Holding::box;
}

std::int32_t scanbricks(const BrickMesh& mesh, const Point& point, Point& rst) {
  Pick pick;
  for (std::int32_t e = 1; e <= mesh.ne; ++e) {
    if (pick.offer(mesh, e, point, rst)) break;
  }
  return pick.result(rst);
}

}  // namespace kelpra
