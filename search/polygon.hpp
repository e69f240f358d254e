// Plane polygons given as vertex coordinate arrays x(1..n), y(1..n): orientation,
// simplicity, convexity, segment intersection, point location, bounding box, perimeter,
// area, centroids, a text listing, and the relation and intersection of two convex
// polygons. The last vertex is joined to the first; counterclockwise is the positive
// orientation. Every test is exact floating-point arithmetic without tolerance.
//
// x and y must hold the same number of vertices; arrays of different lengths stop the run.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "arrays/arrayhelpers.hpp"  // I4Array, R8Array

namespace kelpra {

using PolyPoint = std::array<double, 2>;

// Result of a segment intersection: code 0 none, 1 one meeting point p, 2 the segments
// overlap along a piece of a common line from p to q. Unused points stay (0, 0).
struct segintresult {
  std::int32_t code = 0;
  PolyPoint p{};
  PolyPoint q{};
};

// ---- Orientation and shape

// Fewer than three vertices count as counterclockwise; a polygon of zero area does not.
bool polyisccw(std::span<const double> x, std::span<const double> y);
void polymakeccw(std::span<double> x, std::span<double> y);
void polyreverse(std::span<double> x, std::span<double> y);
// No two edges meet except neighbours at their shared vertex; three consecutive collinear
// vertices make the polygon not simple.
bool polyissimple(std::span<const double> x, std::span<const double> y);
// Turns the same way (or straight) at every vertex; self-intersections are not looked for.
bool polyisconvex(std::span<const double> x, std::span<const double> y);

// ---- Points and segments

segintresult segsegint(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c, const PolyPoint& d) noexcept;
// Segments whose lines are parallel.
segintresult parallelint(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c, const PolyPoint& d) noexcept;
// +1 when c lies left of the directed line a->b, -1 right of it, 0 on it.
std::int32_t ccwsign(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept;
bool isleft(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept;
bool isright(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept;
bool collinear(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept;
// For c already known to be collinear with a and b: c lies within the segment's range.
bool between(const PolyPoint& a, const PolyPoint& b, const PolyPoint& c) noexcept;

// ---- Point location

// Strictly inside the triangle of vertices 1..3 (false with fewer vertices).
bool pointintri(double px, double py, std::span<const double> x, std::span<const double> y);
std::int32_t windingnumber(double px, double py, std::span<const double> x, std::span<const double> y);
// One vertex: the point equals it; two: the point lies on the segment; three: pointintri;
// otherwise a non-zero winding number (points of the lower and left edges count as inside).
bool polycontainspoint(double px, double py, std::span<const double> x, std::span<const double> y);
// The point lies on an edge (the closing edge included).
bool polyboundarycontainspoint(double px, double py, std::span<const double> x, std::span<const double> y);
// The point lies on the segment a-b: on its line and within its extent.
bool segpointint(double px, double py, const PolyPoint& a, const PolyPoint& b) noexcept;

// ---- Measures

// (xmin, xmax, ymin, ymax); (H, -H, H, -H) for no vertices, H the largest real.
std::array<double, 4> polyboundingbox(std::span<const double> x, std::span<const double> y);
double polyperimeter(std::span<const double> x, std::span<const double> y);
// Never negative; 0 for fewer than three vertices.
double polyarea(std::span<const double> x, std::span<const double> y);
// Mean of the vertices; (0, 0) for none.
PolyPoint polyvertexcentroid(std::span<const double> x, std::span<const double> y);
// Centroid of the enclosed area; the centre of the bounding box when the signed area is 0.
PolyPoint polycentroid(std::span<const double> x, std::span<const double> y);

// Writes the vertex count, a heading and one line per vertex to an open formatted unit.
void polyprint(int unit, std::span<const double> x, std::span<const double> y);

// ---- Convex polygons. Both must be convex and counterclockwise; a polygon of fewer than
// three vertices has no region and gives code 0. The codes describe Q against P.

inline constexpr std::int32_t kPolyNone = 0;
inline constexpr std::int32_t kPolyPoint = 1;
inline constexpr std::int32_t kPolyEdge = 2;
inline constexpr std::int32_t kPolyPartial = 3;
inline constexpr std::int32_t kPolySubset = 4;
inline constexpr std::int32_t kPolySuperset = 5;

// "none", "point", "edge", "partial", "subset", "superset"; "" for any other code.
std::string_view segintcode2string(std::int32_t code) noexcept;

std::int32_t polyintersects(std::span<const double> xp, std::span<const double> yp, std::span<const double> xq,
                            std::span<const double> yq);
// Also the common region's vertices in xo(1..count), yo(1..count); the arrays grow as needed
// and keep their storage from call to call.
std::int32_t polyintersection(std::span<const double> xp, std::span<const double> yp, std::span<const double> xq,
                              std::span<const double> yq, std::int32_t& count, R8Array& xo, R8Array& yo);

// Appends (px, py) as vertex count + 1 unless it repeats the last vertex.
void polyupdate(double px, double py, std::int32_t& count, R8Array& xo, R8Array& yo);
// Stores value at position count + 1, growing the array as needed; count is not changed,
// except that an array without storage sets it to 0 first.
void pushback(double value, std::int32_t& count, R8Array& array);

}  // namespace kelpra
