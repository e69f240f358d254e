// Locating observation points in the 8-node bricks of a mesh. A point belongs to the
// lowest-numbered element whose body holds it: its local coordinates, found by inverting the
// element's own trilinear map, lie within the tolerance; its eight weights are the trilinear
// weights there. A point that no body holds but some element's axis-aligned bounding box does
// goes to the lowest-numbered such element with the weights of its place in the box. The result
// of a model's search is kept in a cache file beside the model and reused while it still fits.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// Element kind code of the 8-node brick, the only kind evaluated.
inline constexpr std::int32_t kBrick8 = 128;
// A point is inside a box while every local coordinate lies within +-kBoxTolerance.
inline constexpr double kBoxTolerance = 1.00005;

// Local coordinates of `point` in the box (-1 at the minimum, +1 at the maximum of each of the
// `ndim` axes) into rst, and flag 0 inside, -1 outside. Another kind than kBrick8 returns flag
// 0 with rst untouched. An axis of zero extent gets coordinate 0 in its own slot and holds only
// points on the box's plane; a coordinate that is not a number becomes 0.
void get_rst_from_xyz(std::int32_t kind, std::int32_t ndim, std::span<const double> point,
                      std::span<const double> boxmin, std::span<const double> boxmax, std::span<double> rst,
                      std::int32_t& flag);
// The eight weights of the local coordinates rst(first), rst(first + 1), rst(first + 2)
// (first counts from 1): N1 at (min x, min y, min z), N2 (max x, min y, min z), N3 (max x,
// max y, min z), N4 (min x, max y, min z), N5 to N8 the same corners at max z.
void br8shp(std::int32_t first, std::span<const double> rst, std::span<double, 8> weights);
// (1 + a) / 2.
double linf(double a);
// The sum of a(k) b(k) over the eight weights and nodal values.
double dfe_interp(std::span<const double, 8> a, std::span<const double, 8> b);

// The bricks of a mesh: node coordinates and 8 node numbers (from 1) per element.
struct BrickMesh {
  std::span<const double> x, y, z;
  std::span<const std::int32_t> incidences;
  std::int32_t ne = 0;
};

// How an element holds a point: not at all, by its bounding box only, or by its body.
enum class Holding : std::uint8_t { none, box, body };

// How element e (from 1) holds the point, with the local coordinates of that rule in rst (those
// of the body when it holds, else those in the box). Only a point in the box is tried against
// the body. A brick whose nodes sit at its box corners in the weights' order is its box; a brick
// of (nearly) zero volume against its box holds by its box only. Every node of a brick whose
// Jacobian keeps one sign is held by its body.
Holding brickholds(const BrickMesh& mesh, std::int32_t e, const std::array<double, 3>& point,
                   std::array<double, 3>& rst);
// The lowest-numbered element whose body holds the point, else the lowest-numbered whose box
// holds it, by testing every element; -1 for none.
std::int32_t scanbricks(const BrickMesh& mesh, const std::array<double, 3>& point, std::array<double, 3>& rst);

// A uniform grid over the element boxes that answers as scanbricks does, testing only the
// elements whose boxes reach the point's cell. The mesh must outlive the index.
class BrickBoxIndex {
 public:
  explicit BrickBoxIndex(const BrickMesh& mesh);
  std::int32_t find(const std::array<double, 3>& point, std::array<double, 3>& rst) const;

 private:
  std::int64_t cellof(std::int32_t axis, double v) const;

  BrickMesh mesh_;
  std::array<double, 3> origin_{};
  std::array<double, 3> scale_{};  // cells per unit length
  std::array<std::int64_t, 3> cells_{1, 1, 1};
  std::vector<std::int64_t> start_;       // per cell: first entry in members_ (one more entry at the end)
  std::vector<std::int32_t> members_;     // element numbers, ascending within each cell
  std::vector<std::int32_t> everywhere_;  // elements tested for every point (huge or not finite boxes)
};

// Fills plot_data.obs_el and plot_data.basisfunctions for the observation points from the
// model's location cache (the prefix followed by "o.ObsShape.txt") when it still fits the
// points and the mesh; otherwise locates the points in the domain's bricks and writes the cache.
void obs_points_shape(const DOMAIN& dom);
// The location cache, written under its name followed by ".tmp" until it is complete.
std::string locationcachename();

}  // namespace kelpra
