// Fixed-resolution grid over the x-y faces of a layered mesh's first-layer elements: a
// uniform nx by ny cell table (compressed rows) listing each element in every cell its
// face's bounding box touches, so that a point is tested only against the elements of its
// own cell.
//
// Incidence tables are stored by columns, nln entries per element: node i of element e
// (both from 1) is in[(e - 1) * nln + (i - 1)]. Nodes 1 to nln/2 are the bottom face, in
// order around it. Coordinates are indexed from 1 by node number (x[node - 1]).
//
// The grid keeps views of the caller's arrays, which must stay in place and unchanged
// while it is used. Coordinates are compared exactly, without tolerances.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "arrays/arrayhelpers.hpp"
#include "support/geometry.hpp"

namespace kelpra {

class FIXEDRESGRID {
 public:
  FIXEDRESGRID() = default;
  FIXEDRESGRID(const FIXEDRESGRID&) = default;
  FIXEDRESGRID& operator=(const FIXEDRESGRID&) = default;
  FIXEDRESGRID(FIXEDRESGRID&&) = default;
  FIXEDRESGRID& operator=(FIXEDRESGRID&&) = default;
  virtual ~FIXEDRESGRID() = default;

  std::int32_t nx = 0;     // cell columns (x)
  std::int32_t ny = 0;     // cell rows (y)
  std::int32_t nface = 0;  // nodes per face: 3 (prism) or 4 (block)
  std::int32_t ne = 0;     // elements entered
  std::array<double, 4> bbox{};  // xmin, ymin, xmax, ymax
  double dx = 0.0;
  double dy = 0.0;
  std::span<const double> x;
  std::span<const double> y;
  std::span<const std::int32_t> in;
  std::int32_t nln = 0;  // stride of `in`: nodes per element
  // Cell m (from 1) lists elementindex(rowindex(m)) .. elementindex(rowindex(m + 1) - 1),
  // in ascending element number. Cell (column i, row j), both from 0, is j * nx + i + 1.
  I4Array rowindex;
  I4Array elementindex;

  // Builds the cell table from the fields init set.
  virtual void buildtable();
  // Whether the face of element e holds the point; a block face is split along its
  // diagonal from node 1 to node 3.
  virtual bool pointin(std::int32_t e, double px, double py) const;
  // Sets the grid up over the first ne elements. nln must be 6 or 8; nx and ny below 1
  // count as 1, and an axis along which the faces have no extent gets one cell.
  virtual void init(std::int32_t nx, std::int32_t ny, std::int32_t ne, std::int32_t nln,
                    std::span<const std::int32_t> in, std::span<const double> x, std::span<const double> y);
  virtual void destroy();
  virtual bool empty() const;
  // The lowest-numbered element of the point's cell whose face holds the point, or 0.
  // The box edges belong to the grid.
  virtual std::int32_t findelement(double px, double py) const;
};

// (min x, max x, min y, max y) of the points; note the order differs from bbox.
inline Box2d getboundingbox(std::span<const double> xs, std::span<const double> ys) noexcept {
  return getboundingbox2d(xs, ys);
}

// Whether the triangle holds the point. Edges and corners belong to a counter-clockwise
// triangle, not to a clockwise one. A triangle of zero area, and a point with a NaN
// coordinate, hold nothing.
bool pointintri(double px, double py, std::span<const double, 3> xs, std::span<const double, 3> ys) noexcept;

// Stops the run with an input error, its message starting with `what`, unless `in` holds
// ne elements of nln nodes whose node numbers all lie in 1..nn.
void checkincidences(std::string_view what, std::int32_t ne, std::int32_t nln, std::span<const std::int32_t> in,
                     std::size_t nn);

}  // namespace kelpra
