#include "search/polygon.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "search/growlist.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/geometry.hpp"
#include "support/textformats.hpp"

namespace kelpra {

namespace {

// The number of vertices; x and y of different lengths stop the run.
std::size_t vertexcount(std::span<const double> x, std::span<const double> y, std::string_view caller) {
  if (x.size() != y.size()) {
    fatalerror(std::string(caller) + ": the polygon has " + std::to_string(x.size()) + " x and " +
               std::to_string(y.size()) + " y coordinates");
  }
  return x.size();
}

PolyPoint vertex(std::span<const double> x, std::span<const double> y, std::size_t i) noexcept {
  return {x[i], y[i]};
}

// ---- The walk of the convex intersection

enum class Inside { unknown, first, second };

// The vertex after i of n (n followed by 1), one step counted.
std::int32_t advancenoupdate(std::int32_t i, std::int32_t& steps, std::int32_t n) noexcept {
  ++steps;
  return i % n + 1;
}

std::int32_t advanceupdate(std::int32_t i, std::int32_t& steps, std::int32_t n, bool inside, const PolyPoint& v,
                           std::int32_t& count, R8Array& xo, R8Array& yo) {
  if (inside) polyupdate(v[0], v[1], count, xo, yo);
  return advancenoupdate(i, steps, n);
}

Inside inoutnoupdate(Inside state, std::int32_t ahb, std::int32_t bha) noexcept {
  if (ahb > 0) return Inside::first;
  if (bha > 0) return Inside::second;
  return state;
}

Inside inoutupdate(Inside state, std::int32_t ahb, std::int32_t bha, const PolyPoint& v, std::int32_t& count,
                   R8Array& xo, R8Array& yo) {
  polyupdate(v[0], v[1], count, xo, yo);
  return inoutnoupdate(state, ahb, bha);
}

// Where the walk gathers the common region; all null for the relation alone.
struct Gathered {
  std::int32_t* count = nullptr;
  R8Array* xo = nullptr;
  R8Array* yo = nullptr;
};

// All vertices of a polygon as the output, in order.
void takeall(std::span<const double> x, std::span<const double> y, const Gathered& out) {
  *out.count = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    pushback(x[i], *out.count, *out.xo);
    pushback(y[i], *out.count, *out.yo);
    ++*out.count;
  }
}

// Walks both boundaries together, advancing one edge at a time on the polygon whose edge
// lags behind; at most 2 (n + m) steps.
std::int32_t convexwalk(std::span<const double> xp, std::span<const double> yp, std::span<const double> xq,
                        std::span<const double> yq, const Gathered& out, std::string_view caller) {
  const auto n = static_cast<std::int32_t>(vertexcount(xp, yp, caller));
  const auto m = static_cast<std::int32_t>(vertexcount(xq, yq, caller));
  const bool gather = out.count != nullptr;
  if (gather) *out.count = 0;
  if (n < 3 || m < 3) return kPolyNone;
  auto P = [&](std::int32_t i) { return vertex(xp, yp, static_cast<std::size_t>(i) - 1); };
  auto Q = [&](std::int32_t i) { return vertex(xq, yq, static_cast<std::size_t>(i) - 1); };

  std::int32_t a = 1, b = 1, na = 0, nb = 0;
  Inside state = Inside::unknown;
  bool firstcrossing = true;
  do {
    const std::int32_t a1 = a == 1 ? n : a - 1;
    const std::int32_t b1 = b == 1 ? m : b - 1;
    const PolyPoint pa = P(a), pa1 = P(a1), qb = Q(b), qb1 = Q(b1);
    const PolyPoint edgea{pa[0] - pa1[0], pa[1] - pa1[1]};
    const PolyPoint edgeb{qb[0] - qb1[0], qb[1] - qb1[1]};
    const std::int32_t cross = ccwsign({0.0, 0.0}, edgea, edgeb);
    const std::int32_t ahb = ccwsign(qb1, qb, pa);  // the side of Q's edge on which P(a) lies
    const std::int32_t bha = ccwsign(pa1, pa, qb);
    const segintresult r = segsegint(pa1, pa, qb1, qb);

    if (r.code == 1) {
      if (state == Inside::unknown && firstcrossing) {
        // The step counts start again at the first crossing.
        na = nb = 0;
        firstcrossing = false;
      }
      state = gather ? inoutupdate(state, ahb, bha, r.p, *out.count, *out.xo, *out.yo)
                     : inoutnoupdate(state, ahb, bha);
    }
    if (r.code == 2 && edgea[0] * edgeb[0] + edgea[1] * edgeb[1] < 0) {
      // Edges overlapping in opposite directions: the polygons touch along a boundary piece.
      if (gather) {
        const bool repeatsfirst = *out.count > 0 && (*out.xo)(1) == r.q[0] && (*out.yo)(1) == r.q[1];
        if (!repeatsfirst) polyupdate(r.q[0], r.q[1], *out.count, *out.xo, *out.yo);
      }
      return kPolyEdge;
    }

    bool advancep = false;
    if (cross == 0 && ahb < 0 && bha < 0) {
      if (gather) *out.count = 0;
      return kPolyNone;
    }
    if (cross == 0 && ahb == 0 && bha == 0) {
      // Collinear edges: no output on either side.
      if (state == Inside::first) {
        b = advancenoupdate(b, nb, m);
      } else {
        a = advancenoupdate(a, na, n);
      }
      continue;
    }
    if (cross >= 0) {
      advancep = bha > 0;
    } else {
      advancep = ahb <= 0;
    }
    if (advancep) {
      a = gather ? advanceupdate(a, na, n, state == Inside::first, pa, *out.count, *out.xo, *out.yo)
                 : advancenoupdate(a, na, n);
    } else {
      b = gather ? advanceupdate(b, nb, m, state == Inside::second, qb, *out.count, *out.xo, *out.yo)
                 : advancenoupdate(b, nb, m);
    }
  } while (!((na >= n && nb >= m) || na >= 2 * n || nb >= 2 * m));

  if (state != Inside::unknown) {
    if (gather && *out.count > 0 && (*out.xo)(1) == (*out.xo)(*out.count) &&
        (*out.yo)(1) == (*out.yo)(*out.count)) {
      --*out.count;  // a closing repeat of the first vertex
    }
    return kPolyPartial;
  }
  if (polycontainspoint(xq[0], yq[0], xp, yp)) {
    if (gather) takeall(xq, yq, out);
    return kPolySubset;
  }
  if (polycontainspoint(xp[0], yp[0], xq, yq)) {
    if (gather) takeall(xp, yp, out);
    return kPolySuperset;
  }
  if (gather) *out.count = 0;
  return kPolyNone;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Orientation and shape

bool polyisccw(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyisccw");
  if (n < 3) return true;
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = i + 1 == n ? 0 : i + 1;
    s += (x[j] - x[i]) * (y[j] + y[i]);
  }
  return s < 0.0;
}

void polyreverse(std::span<double> x, std::span<double> y) {
  vertexcount(x, y, "polyreverse");
  std::reverse(x.begin(), x.end());
  std::reverse(y.begin(), y.end());
}

void polymakeccw(std::span<double> x, std::span<double> y) {
  if (!polyisccw(x, y)) polyreverse(x, y);
}

bool polyissimple(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyissimple");
  if (n < 3) return true;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      const std::size_t jend = j + 1 == n ? 0 : j + 1;
      const segintresult r = segsegint(vertex(x, y, i), vertex(x, y, i + 1), vertex(x, y, j), vertex(x, y, jend));
      const bool neighbours = j == i + 1 || jend == i;
      if (neighbours ? r.code == 2 : r.code != 0) return false;
    }
  }
  return true;
}

bool polyisconvex(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyisconvex");
  if (n <= 3) return true;
  bool positive = false, negative = false;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t before = i == 0 ? n - 1 : i - 1;
    const std::size_t after = i + 1 == n ? 0 : i + 1;
    const std::int32_t s = ccwsign(vertex(x, y, before), vertex(x, y, i), vertex(x, y, after));
    positive = positive || s > 0;
    negative = negative || s < 0;
    if (positive && negative) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Points and segments. For points a, b, c: d1 = (xb - xa)(yc - ya), d2 = (yb - ya)(xc - xa).

namespace {
struct Cross {
  double d1, d2;
  Cross(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept
      : d1((b[0] - a[0]) * (c[1] - a[1])), d2((b[1] - a[1]) * (c[0] - a[0])) {}
};
}  // namespace

std::int32_t ccwsign(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept {
  const Cross k(a, b, c);
  if (k.d1 == k.d2) return 0;
  return k.d2 < k.d1 ? 1 : -1;
}

bool isleft(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept {
  const Cross k(a, b, c);
  return k.d2 < k.d1;
}

bool isright(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept {
  const Cross k(a, b, c);
  return k.d1 < k.d2;
}

bool collinear(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept {
  const Cross k(a, b, c);
  return k.d1 == k.d2;
}

bool between(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept {
  const std::size_t k = a[0] == b[0] ? 1 : 0;
  return std::min(a[k], b[k]) <= c[k] && c[k] <= std::max(a[k], b[k]);
}

segintresult segsegint(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c, const PolyPoint& d) noexcept {
  const double denom = a[0] * (d[1] - c[1]) + b[0] * (c[1] - d[1]) + d[0] * (b[1] - a[1]) + c[0] * (a[1] - b[1]);
  if (denom == 0.0) return parallelint(a, b, c, d);
  // The parameter range [0, 1] is decided before dividing.
  auto outside = [denom](double num) { return denom > 0 ? (num < 0 || num > denom) : (num > 0 || num < denom); };
  segintresult r;
  const double ns = a[0] * (d[1] - c[1]) + c[0] * (a[1] - d[1]) + d[0] * (c[1] - a[1]);
  if (outside(ns)) return r;
  const double nt = -(a[0] * (c[1] - b[1]) + b[0] * (a[1] - c[1]) + c[0] * (b[1] - a[1]));
  if (outside(nt)) return r;
  const double s = ns / denom;
  r.code = 1;
  r.p = {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1])};
  return r;
}

segintresult parallelint(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c, const PolyPoint& d) noexcept {
  segintresult r;
  if (!collinear(a, b, c)) return r;
  const bool abc = between(a, b, c), abd = between(a, b, d);
  const bool cda = between(c, d, a), cdb = between(c, d, b);
  auto overlap = [&r](const PolyPoint& p, const PolyPoint& q) {
    r.code = 2;
    r.p = p;
    r.q = q;
    return r;
  };
  if (abc && abd) return overlap(c, d);
  if (cda && cdb) return overlap(a, b);
  if (abc && cdb) return overlap(c, b);
  if (abc && cda) return overlap(c, a);
  if (abd && cdb) return overlap(d, b);
  if (abd && cda) return overlap(d, a);
  return r;
}

// ---------------------------------------------------------------------------------------
// Point location

bool pointintri(double px, double py, std::span<const double> x, std::span<const double> y) {
  if (vertexcount(x, y, "pointintri") < 3) return false;
  const PolyPoint p{px, py}, a = vertex(x, y, 0), b = vertex(x, y, 1), c = vertex(x, y, 2);
  const std::int32_t s = ccwsign(a, b, p);
  return s == ccwsign(b, c, p) && s == ccwsign(c, a, p);
}

std::int32_t windingnumber(double px, double py, std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "windingnumber");
  const PolyPoint p{px, py};
  std::int32_t w = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const PolyPoint v = vertex(x, y, i), next = vertex(x, y, i + 1 == n ? 0 : i + 1);
    if (v[1] <= py) {
      if (py < next[1] && isleft(v, next, p)) ++w;
    } else if (next[1] <= py && isright(v, next, p)) {
      --w;
    }
  }
  return w;
}

bool segpointint(double px, double py, const PolyPoint& a, const PolyPoint& b) noexcept {
  const PolyPoint p{px, py};
  if (a == b) return p == a;
  // On the segment's line and within its extent; a point merely beside the segment is not on it.
  return collinear(a, b, p) && between(a, b, p);
}

bool polycontainspoint(double px, double py, std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polycontainspoint");
  if (n == 1) return PolyPoint{px, py} == vertex(x, y, 0);
  if (n == 2) return segpointint(px, py, vertex(x, y, 0), vertex(x, y, 1));
  if (n == 3) return pointintri(px, py, x, y);
  return windingnumber(px, py, x, y) != 0;
}

bool polyboundarycontainspoint(double px, double py, std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyboundarycontainspoint");
  if (n == 1) return PolyPoint{px, py} == vertex(x, y, 0);
  if (n == 2) return segpointint(px, py, vertex(x, y, 0), vertex(x, y, 1));
  for (std::size_t i = 0; i < n; ++i) {
    if (segpointint(px, py, vertex(x, y, i), vertex(x, y, i + 1 == n ? 0 : i + 1))) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// Measures

std::array<double, 4> polyboundingbox(std::span<const double> x, std::span<const double> y) {
  vertexcount(x, y, "polyboundingbox");
  return getboundingbox2d(x, y);
}

double polyperimeter(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyperimeter");
  if (n < 2) return 0.0;
  auto length = [&](std::size_t i, std::size_t j) {
    const double dx = x[j] - x[i], dy = y[j] - y[i];
    return std::sqrt(dx * dx + dy * dy);
  };
  if (n == 2) return length(0, 1);
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum += length(i, i + 1 == n ? 0 : i + 1);
  return sum;
}

double polyarea(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyarea");
  if (n < 3) return 0.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = i + 1 == n ? 0 : i + 1;
    sum += x[i] * y[j] - y[i] * x[j];
  }
  return 0.5 * std::fabs(sum);
}

PolyPoint polyvertexcentroid(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyvertexcentroid");
  if (n == 0) return {0.0, 0.0};
  double sx = 0.0, sy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sx += x[i];
    sy += y[i];
  }
  return {sx / static_cast<double>(n), sy / static_cast<double>(n)};
}

PolyPoint polycentroid(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polycentroid");
  if (n == 1) return vertex(x, y, 0);
  if (n == 2) return {(x[0] + x[1]) / 2.0, (y[0] + y[1]) / 2.0};
  if (n == 3) return {(x[0] + x[1] + x[2]) / 3.0, (y[0] + y[1] + y[2]) / 3.0};
  double s = 0.0, sx = 0.0, sy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = i + 1 == n ? 0 : i + 1;
    const double k = x[i] * y[j] - x[j] * y[i];
    s += k;
    sx += (x[i] + x[j]) * k;
    sy += (y[i] + y[j]) * k;
  }
  if (s != 0.0) return {sx / (3.0 * s), sy / (3.0 * s)};
  const auto box = polyboundingbox(x, y);
  return {(box[0] + box[1]) / 2.0, (box[2] + box[3]) / 2.0};
}

void polyprint(int unit, std::span<const double> x, std::span<const double> y) {
  const std::size_t n = vertexcount(x, y, "polyprint");
  auto write = [unit](std::string_view line) { checkfilewrite(writeline(unit, line), unitfilename(unit)); };
  write("Polygon number of vertices: " + std::to_string(n));
  write(std::string(22, ' ') + 'X' + std::string(23, ' ') + 'Y');
  constexpr EditDescriptor kCoordinate = formatES(23, 15, 3);
  std::string line;
  for (std::size_t i = 0; i < n; ++i) {
    line.clear();
    appendreal(line, x[i], kCoordinate);
    line += ' ';
    appendreal(line, y[i], kCoordinate);
    write(line);
  }
}

// ---------------------------------------------------------------------------------------
// Convex polygons

std::string_view segintcode2string(std::int32_t code) noexcept {
  static constexpr std::array<std::string_view, 6> kNames{"none", "point", "edge", "partial", "subset", "superset"};
  return code >= 0 && code < static_cast<std::int32_t>(kNames.size()) ? kNames[static_cast<std::size_t>(code)]
                                                                        : std::string_view{};
}

std::int32_t polyintersects(std::span<const double> xp, std::span<const double> yp, std::span<const double> xq,
                            std::span<const double> yq) {
  return convexwalk(xp, yp, xq, yq, Gathered{}, "polyintersects");
}

std::int32_t polyintersection(std::span<const double> xp, std::span<const double> yp, std::span<const double> xq,
                              std::span<const double> yq, std::int32_t& count, R8Array& xo, R8Array& yo) {
  return convexwalk(xp, yp, xq, yq, Gathered{&count, &xo, &yo}, "polyintersection");
}

void polyupdate(double px, double py, std::int32_t& count, R8Array& xo, R8Array& yo) {
  if (count > 0 && count <= xo.size() && count <= yo.size() && xo(count) == px && yo(count) == py) return;
  pushback(px, count, xo);
  pushback(py, count, yo);
  ++count;
}

void pushback(double value, std::int32_t& count, R8Array& array) {
  // Output without storage starts over: the count the caller held names no entry of it.
  if (!array.allocated()) count = 0;
  searchdetail::storeafter(value, count, array, "Polygon pushback array");
}

}  // namespace kelpra
