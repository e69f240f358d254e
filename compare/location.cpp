#include "compare/location.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textformats.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

using Point = std::array<double, 3>;

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

struct Box {
  Point min, max;
};

// The node coordinates of one brick, axis by axis.
using Nodes = std::array<std::array<double, 8>, 3>;

Nodes bricknodes(const BrickMesh& mesh, std::int32_t e) {
  const std::int32_t* nodes = mesh.incidences.data() + static_cast<std::size_t>(e - 1) * 8;
  Nodes c;
  for (std::size_t k = 0; k < 8; ++k) {
    const auto n = static_cast<std::size_t>(nodes[k] - 1);
    c[0][k] = mesh.x[n];
    c[1][k] = mesh.y[n];
    c[2][k] = mesh.z[n];
  }
  return c;
}

// The box of the nodes, the one box that the holding test and the grid both take. A node
// replaces a bound only where it compares beyond it, in node order: a coordinate that is not a
// number bounds the box only as the first node's, and then stays; of -0 and +0 the first stays.
Box boxof(const Nodes& c) {
  Box b;
  for (std::size_t d = 0; d < 3; ++d) {
    b.min[d] = c[d][0];
    b.max[d] = c[d][0];
    for (std::size_t k = 1; k < 8; ++k) {
      b.min[d] = std::min(b.min[d], c[d][k]);
      b.max[d] = std::max(b.max[d], c[d][k]);
    }
  }
  return b;
}

Box brickbox(const BrickMesh& mesh, std::int32_t e) { return boxof(bricknodes(mesh, e)); }

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

double determinant(const double (*j)[3]) {
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
    // A singular place (a collapsed edge, or a fold): no step to take, the residual decides.
    // On a collapsed edge any step would only slide along the edge's preimage.
    if (!invertible(j, det, target.rounding)) break;
    // The step solves j dr = -f, by Cramer's rule (column i of j replaced by -f).
    double dr[3];
    for (std::size_t i = 0; i < 3; ++i) {
      const std::size_t i1 = (i + 1) % 3, i2 = (i + 2) % 3;
      dr[i] = -(f[0] * (j[1][i1] * j[2][i2] - j[1][i2] * j[2][i1]) -
                f[1] * (j[0][i1] * j[2][i2] - j[0][i2] * j[2][i1]) +
                f[2] * (j[0][i1] * j[1][i2] - j[0][i2] * j[1][i1])) /
              det;
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
      for (std::size_t d = 0; d < 3; ++d) r[d] = kCorner[d][k];
      if (newton(map, target, r)) break;
    }
  }
  rst = {r[0], r[1], r[2]};
  return Inversion::inside;
}

// Keeps the first element that holds a point by its box, in case no body holds the point.
class Pick {
 public:
  // True when the search is over: element e holds the point by its body.
  bool offer(const BrickMesh& mesh, std::int32_t e, const Point& point, Point& rst) {
    const Holding h = brickholds(mesh, e, point, rst);
    if (h == Holding::box && box_ < 0) {
      box_ = e;
      boxrst_ = rst;
    }
    if (h != Holding::body) return false;
    body_ = e;
    return true;
  }
  std::int32_t result(Point& rst) const {
    if (body_ > 0) return body_;
    if (box_ > 0) rst = boxrst_;
    return box_;
  }

 private:
  std::int32_t body_ = -1;
  std::int32_t box_ = -1;
  Point boxrst_{};
};

// Elements whose boxes reach more cells than this are tested for every point instead.
constexpr std::int64_t kMaxCellsPerElement = 512;
constexpr std::int64_t kMaxCellsPerAxis = std::int64_t{1} << 21;

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

// ---------------------------------------------------------------------------------------
// The grid. Each element is entered in every cell that its box, widened by more than the
// tolerance and the rounding of the inside test can reach, touches; so every element that
// holds a point is among the entries of the point's cell (or among the elements tested
// everywhere), and testing those in ascending order finds the element the scan finds.

BrickBoxIndex::BrickBoxIndex(const BrickMesh& mesh) : mesh_(mesh) {
  const auto ne = static_cast<std::size_t>(std::max(mesh.ne, 0));
  std::vector<Box> reach;
  std::vector<std::uint8_t> finite;
  checkedalloc("observation point search grid", [&] {
    reach.resize(ne);
    finite.resize(ne);
  });
  Point lo{}, hi{};
  lo.fill(std::numeric_limits<double>::max());
  hi.fill(std::numeric_limits<double>::lowest());
  std::size_t nfinite = 0;
  for (std::size_t i = 0; i < ne; ++i) {
    Box b = brickbox(mesh, static_cast<std::int32_t>(i + 1));
    bool ok = true;
    for (std::size_t d = 0; d < 3; ++d) {
      const double margin = 1.0e-4 * (b.max[d] - b.min[d]) + 1.0e-12 * (std::abs(b.min[d]) + std::abs(b.max[d]));
      b.min[d] -= margin;
      b.max[d] += margin;
      ok = ok && std::isfinite(b.min[d]) && std::isfinite(b.max[d]);
    }
    reach[i] = b;
    finite[i] = ok ? 1 : 0;
    if (!ok) continue;
    ++nfinite;
    for (std::size_t d = 0; d < 3; ++d) {
      lo[d] = std::min(lo[d], b.min[d]);
      hi[d] = std::max(hi[d], b.max[d]);
    }
  }

  // Cells about the size of a typical element on each axis, and no more than about two cells
  // per element in all.
  if (nfinite > 0) {
    std::vector<double> extents(nfinite);
    double want[3] = {1, 1, 1};
    for (std::size_t d = 0; d < 3; ++d) {
      const double span = hi[d] - lo[d];
      std::size_t k = 0;
      for (std::size_t i = 0; i < ne; ++i) {
        if (finite[i] != 0) extents[k++] = reach[i].max[d] - reach[i].min[d];
      }
      auto mid = extents.begin() + static_cast<std::ptrdiff_t>(nfinite / 2);
      std::nth_element(extents.begin(), mid, extents.end());
      const double typical = *mid;
      if (span > 0.0 && typical > 0.0 && std::isfinite(span / typical)) {
        want[d] = std::clamp(std::ceil(span / typical), 1.0, static_cast<double>(kMaxCellsPerAxis));
      }
    }
    const double budget = 2.0 * static_cast<double>(nfinite) + 8.0;
    const double total = want[0] * want[1] * want[2];
    if (total > budget) {
      const double shrink = std::cbrt(total / budget);
      for (double& w : want) w = std::max(1.0, std::floor(w / shrink));
    }
    while (want[0] * want[1] * want[2] > budget) {
      double& widest = *std::max_element(std::begin(want), std::end(want));
      widest = std::ceil(widest / 2.0);
    }
    for (std::size_t d = 0; d < 3; ++d) {
      cells_[d] = static_cast<std::int64_t>(want[d]);
      origin_[d] = lo[d];
      const double span = hi[d] - lo[d];
      scale_[d] = span > 0.0 ? want[d] / span : 0.0;
    }
  }

  const std::int64_t ncells = cells_[0] * cells_[1] * cells_[2];
  std::vector<std::int64_t> cursor;
  try {
    start_.assign(static_cast<std::size_t>(ncells) + 1, 0);
    // Two passes over the elements: count the entries of each cell, then place them.
    for (int pass = 0; pass < 2; ++pass) {
      for (std::size_t i = 0; i < ne; ++i) {
        const auto e = static_cast<std::int32_t>(i + 1);
        std::int64_t first[3], last[3];
        std::int64_t count = 1;
        if (finite[i] != 0) {
          for (std::int32_t d = 0; d < 3; ++d) {
            first[d] = cellof(d, reach[i].min[static_cast<std::size_t>(d)]);
            last[d] = cellof(d, reach[i].max[static_cast<std::size_t>(d)]);
            count *= last[d] - first[d] + 1;
          }
        }
        if (finite[i] == 0 || count > kMaxCellsPerElement) {
          if (pass == 0) everywhere_.push_back(e);
          continue;
        }
        for (std::int64_t c2 = first[2]; c2 <= last[2]; ++c2) {
          for (std::int64_t c1 = first[1]; c1 <= last[1]; ++c1) {
            for (std::int64_t c0 = first[0]; c0 <= last[0]; ++c0) {
              const auto cell = static_cast<std::size_t>((c2 * cells_[1] + c1) * cells_[0] + c0);
              if (pass == 0) {
                ++start_[cell + 1];
              } else {
                members_[static_cast<std::size_t>(cursor[cell]++)] = e;
              }
            }
          }
        }
      }
      if (pass == 0) {
        for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
        members_.resize(static_cast<std::size_t>(start_.back()));
        cursor.assign(start_.begin(), start_.end() - 1);
      }
    }
  } catch (const std::bad_alloc&) {
    check_alloc(kStatusNoMemory, "observation point search grid");
  }
}

std::int64_t BrickBoxIndex::cellof(std::int32_t axis, double v) const {
  const auto d = static_cast<std::size_t>(axis);
  const double t = (v - origin_[d]) * scale_[d];
  if (!(t > 0.0)) return 0;
  const std::int64_t last = cells_[d] - 1;
  return t >= static_cast<double>(last) ? last : static_cast<std::int64_t>(t);
}

std::int32_t BrickBoxIndex::find(const Point& point, Point& rst) const {
  if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2])) {
    return scanbricks(mesh_, point, rst);  // such a point may fall anywhere
  }
  if (mesh_.ne <= 0) return -1;
  const auto cell = static_cast<std::size_t>((cellof(2, point[2]) * cells_[1] + cellof(1, point[1])) * cells_[0] +
                                             cellof(0, point[0]));
  const std::int32_t* a = members_.data() + start_[cell];
  const std::int32_t* aend = members_.data() + start_[cell + 1];
  const std::int32_t* b = everywhere_.data();
  const std::int32_t* bend = b + everywhere_.size();
  Pick pick;
  while (a != aend || b != bend) {
    const std::int32_t e = (b == bend || (a != aend && *a < *b)) ? *a++ : *b++;
    if (pick.offer(mesh_, e, point, rst)) break;
  }
  return pick.result(rst);
}

// ---------------------------------------------------------------------------------------
// The location step and its cache

namespace {

constexpr std::size_t kCacheLineWidth = 163;
constexpr std::size_t kCacheFieldStart = 11;
constexpr std::size_t kCacheFieldWidth = 19;  // a blank and G18.11

std::string cachename() { return prefixtext() + "o.ObsShape.txt"; }

// The pm bricks as the location needs them; a record whose arrays do not hold them stops the run.
BrickMesh brickmesh(const DOMAIN& dom) {
  const auto nn = static_cast<std::size_t>(std::max(dom.nn, 0));
  const auto ne = static_cast<std::size_t>(std::max(dom.ne, 0));
  if (dom.x.size() < nn || dom.y.size() < nn || dom.z.size() < nn || dom.incidences.size() < 8 * ne) {
    fatalerror("The mesh of the " + domainname(dom) + " domain is incomplete: observation points cannot be located.");
  }
  const std::span<const std::int32_t> inc = std::span(dom.incidences).first(8 * ne);
  for (std::size_t i = 0; i < inc.size(); ++i) {
    if (inc[i] < 1 || static_cast<std::size_t>(inc[i]) > nn) {
      fatalerror("Element " + std::to_string(i / 8 + 1) + " of the " + domainname(dom) + " domain refers to node " +
                 std::to_string(inc[i]) + ", outside 1 to " + std::to_string(nn) + ".");
    }
  }
  return {std::span(dom.x).first(nn), std::span(dom.y).first(nn), std::span(dom.z).first(nn), inc,
          static_cast<std::int32_t>(ne)};
}

Point pointof(std::size_t i) { return {plot_data.xob[i], plot_data.yob[i], plot_data.zob[i]}; }

std::string cacheline(std::int32_t element, const std::array<double, 8>& weights) {
  std::string line;
  line.reserve(kCacheLineWidth);
  appendinteger(line, element, formatI(10));
  line += ' ';
  for (const double w : weights) {
    line += ' ';
    appendreal(line, w, formatG(18, 11));
  }
  return line;
}

// A field's text without the blanks around it.
std::string_view fieldtext(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : trimview(field.substr(first));
}

// Reads one cache line; false when it does not hold an element number and eight weights in
// their columns.
bool parsecacheline(std::string_view line, std::int32_t& element, std::array<double, 8>& weights) {
  std::string text(line);
  if (text.size() < kCacheLineWidth) text.resize(kCacheLineWidth, ' ');
  if (text.find_first_not_of(' ', kCacheLineWidth) != std::string::npos || text[10] != ' ') return false;
  const std::string_view view = text;
  int status = 0;
  const std::string_view elementfield = fieldtext(view.substr(0, 10));
  if (elementfield.empty() || elementfield.find(' ') != std::string_view::npos) return false;
  str2i4(elementfield, element, &status);
  if (status != 0) return false;
  for (std::size_t k = 0; k < 8; ++k) {
    const std::string_view value = fieldtext(view.substr(kCacheFieldStart + k * kCacheFieldWidth, kCacheFieldWidth));
    if (value.empty() || value.find(' ') != std::string_view::npos) return false;
    str2r8(value, weights[k], &status);
    if (status != 0) return false;
  }
  return true;
}

// Weights read back from the cache's 11 significant digits differ from fresh ones by far less.
constexpr double kWeightSlack = 1.0e-9;

// Checks one cached location against the point and the mesh; "" when it fits. A location by
// the box alone fits only while no body holds the point, which takes a search (in the index,
// built on first need).
std::string checkcached(const BrickMesh& mesh, std::unique_ptr<BrickBoxIndex>& index, std::size_t i,
                        std::int32_t element, const std::array<double, 8>& weights) {
  const std::string where = "line " + std::to_string(i + 1);
  if (element == -1) {
    for (const double w : weights) {
      if (w != -1.0) return where + " gives weights to an unlocated point";
    }
    return {};
  }
  if (element < 1 || element > mesh.ne) {
    return where + " names element " + std::to_string(element) + ", outside 1 to " + std::to_string(mesh.ne);
  }
  for (const double w : weights) {
    if (!std::isfinite(w)) return where + " holds a weight that is not a finite number";
  }
  Point rst{};
  const Point point = pointof(i);
  const Holding holding = brickholds(mesh, element, point, rst);
  if (holding == Holding::none) {
    return where + ": element " + std::to_string(element) + " no longer holds point " + std::to_string(i + 1);
  }
  std::array<double, 8> fresh{};
  br8shp(1, rst, fresh);
  for (std::size_t k = 0; k < 8; ++k) {
    if (!(std::abs(fresh[k] - weights[k]) <= kWeightSlack)) {
      return where + ": the weights no longer match point " + std::to_string(i + 1) + " in element " +
             std::to_string(element);
    }
  }
  if (holding == Holding::box) {
    if (!index) index = std::make_unique<BrickBoxIndex>(mesh);
    if (const std::int32_t found = index->find(point, rst); found != element) {
      return where + ": point " + std::to_string(i + 1) + " belongs to element " + std::to_string(found) +
             ", not to element " + std::to_string(element);
    }
  }
  return {};
}

// Fills the observation set from the cache when every line fits; otherwise returns what is wrong.
std::string readcache(const std::string& name, const BrickMesh& mesh) {
  const std::size_t n = plot_data.xob.size();
  std::vector<std::int32_t> elements;
  std::vector<std::array<double, 8>> weights;
  std::unique_ptr<BrickBoxIndex> index;
  {
    UnitHandle unit = UnitHandle::take();
    if (const int status = openownunit(unit.unit(), name, FileForm::formatted, OpenStatus::old); status != 0) {
      return "it cannot be opened (" + statustext(status) + ")";
    }
    std::string line;
    for (std::size_t i = 0;; ++i) {
      const int status = readline(unit.unit(), line);
      if (status == kStatusEndOfFile) break;
      if (status != 0) return "it cannot be read (" + statustext(status) + ")";
      if (i >= n) return "it holds more lines than the " + std::to_string(n) + " observation points";
      std::int32_t element = 0;
      std::array<double, 8> w{};
      if (!parsecacheline(line, element, w)) return "line " + std::to_string(i + 1) + " does not fit the layout";
      if (std::string problem = checkcached(mesh, index, i, element, w); !problem.empty()) return problem;
      elements.push_back(element);
      weights.push_back(w);
    }
    unit.release();
  }
  if (elements.size() != n) {
    return "it holds " + std::to_string(elements.size()) + " lines for " + std::to_string(n) + " observation points";
  }
  plot_data.obs_el = std::move(elements);
  plot_data.basisfunctions = std::move(weights);
  return {};
}

std::string progressline(std::size_t i, std::size_t n) {
  std::string line;
  appendinteger(line, static_cast<std::int64_t>(i), formatI(12));
  line += "  of";
  appendinteger(line, static_cast<std::int64_t>(n), formatI(12));
  line += "  observation points";
  return line;
}

// Writes the cache through a temporary file, so that an interrupted run never leaves a short
// one. The locations are in memory already: a cache that cannot be written is only warned of.
class CacheWriter {
 public:
  // `keep` false: nothing is written (the name is taken by something that is no file).
  CacheWriter(std::string name, bool keep) : name_(std::move(name)), temp_(name_ + ".tmp") {
    if (!keep) {
      failed_ = true;
      return;
    }
    unit_ = UnitHandle::take();
    if (const int status = openownunit(unit_.unit(), temp_, FileForm::formatted, OpenStatus::replace); status != 0) {
      fail(status);
      return;
    }
    opened_ = true;
  }

  void line(std::string_view text) {
    if (failed_) return;
    if (const int status = writeline(unit_.unit(), text); status != 0) fail(status);
  }

  void commit() {
    if (failed_) return;
    std::FILE* f = unitstream(unit_.unit());
    const bool flushed = f != nullptr && std::fflush(f) == 0;
    unit_.release();
    if (!flushed) {
      fail(kStatusWriteFailed);
      return;
    }
    std::error_code ec;
    std::filesystem::rename(temp_, name_, ec);
    if (ec) {
      warningmsg("The observation point locations could not be kept in " + name_ + ": " + ec.message());
      std::filesystem::remove(temp_, ec);
    }
  }

 private:
  void fail(int status) {
    failed_ = true;
    warningmsgstat(status, withsystemreason("The observation point locations could not be kept in " + name_ + "."));
    unit_.release();
    // Only a temporary file of our own is removed: one refused at its open may be anything.
    if (!opened_) return;
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
  }

  std::string name_;
  std::string temp_;
  UnitHandle unit_;
  bool failed_ = false;
  bool opened_ = false;
};

}  // namespace

void obs_points_shape(const DOMAIN& dom) {
  PlotData& pd = plot_data;
  const BrickMesh mesh = brickmesh(dom);
  const std::size_t n = pd.xob.size();
  const std::string name = cachename();
  // A cache that is no regular file is neither read nor replaced: a pipe would hold the run.
  const std::string odd = notaregularfile(name);
  if (!odd.empty()) {
    warningmsg("The observation point locations cannot be kept in " + name + ": " + odd +
               ".\nThe points are located again; the file is left as it is.");
  } else if (fileexists(name)) {
    const std::string problem = readcache(name, mesh);
    if (problem.empty()) return;
    warningmsg("The observation point locations in " + name + " do not fit the observation points and the mesh: " +
               problem + ".\nThe points are located again and the file is written anew.");
  }
  screenline("Evaluating shape functions at XYZ observation locations");
  screenline("This might take several minutes...");
  echoline(" Evaluating shape functions at XYZ observation locations");
  allocatearray(pd.obs_el, static_cast<std::int64_t>(n), "observation data for observed heads");
  allocatearray(pd.basisfunctions, static_cast<std::int64_t>(n), "observation data for observed heads");
  CacheWriter cache(name, odd.empty());
  if (n == 0) {
    cache.commit();
    return;
  }
  const BrickBoxIndex index(mesh);
  for (std::size_t i = 0; i < n; ++i) {
    screenline(progressline(i + 1, n));
    Point rst{};
    const std::int32_t e = index.find(pointof(i), rst);
    std::array<double, 8>& w = pd.basisfunctions[i];
    if (e > 0) {
      br8shp(1, rst, w);
    } else {
      w.fill(-1.0);
    }
    pd.obs_el[i] = e;
    cache.line(cacheline(e, w));
  }
  cache.commit();
}

}  // namespace kelpra
