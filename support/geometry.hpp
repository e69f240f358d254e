// Geometry of node coordinates: point-in-element tests for vertical triangular prisms
// and blocks, and axis-aligned bounding boxes.
//
// Boxes: two dimensions (xmin, xmax, ymin, ymax); three dimensions (xmin, xmax, ymin,
// ymax, zmin, zmax). A box whose minimum exceeds its maximum along an axis is empty along
// that axis.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kelpra {

using Box2d = std::array<double, 4>;
using Box3d = std::array<double, 6>;

// Prism: 6 nodes, 1-3 the bottom triangle, node k + 3 above node k. Block: 8 nodes, 1-4
// the bottom quadrilateral in order along its edge, node k + 4 above node k. Faces,
// edges and corners count as inside. Any other node count, or coordinate arrays holding
// fewer values than the node count, give false.
bool pointinelement3d(std::int32_t nodesperelement, std::span<const double> x, std::span<const double> y,
                      std::span<const double> z, double xp, double yp, double zp) noexcept;

// An axis without points gets the minimum +DBL_MAX and the maximum -DBL_MAX; the arrays
// may differ in length.
Box2d getboundingbox2d(std::span<const double> x, std::span<const double> y) noexcept;
Box3d getboundingbox3d(std::span<const double> x, std::span<const double> y, std::span<const double> z) noexcept;

// Area or volume; 0 for a box that is empty or flat along any axis.
double boundingboxvolume2d(std::span<const double, 4> box) noexcept;
double boundingboxvolume3d(std::span<const double, 6> box) noexcept;

// Strict overlap: boxes that only share a face, an edge or a corner do not overlap.
bool boundingboxhasintersection2d(std::span<const double, 4> a, std::span<const double, 4> b) noexcept;
bool boundingboxhasintersection3d(std::span<const double, 6> a, std::span<const double, 6> b) noexcept;

// Larger minimum and smaller maximum per axis; boxes that do not overlap give a box that
// is empty (or flat) along at least one axis.
Box2d boundingboxintersection2d(std::span<const double, 4> a, std::span<const double, 4> b) noexcept;
Box3d boundingboxintersection3d(std::span<const double, 6> a, std::span<const double, 6> b) noexcept;

}  // namespace kelpra
