// What the scan over every brick and the grid index share: a brick's nodes and axis-aligned
// box, and the rule that picks the element a point belongs to. Internal to compare/.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "compare/location.hpp"

namespace kelpra::locationdetail {

using Point = std::array<double, 3>;

struct Box {
  Point min, max;
};

// The node coordinates of one brick, axis by axis.
using Nodes = std::array<std::array<double, 8>, 3>;

inline Nodes bricknodes(const BrickMesh& mesh, std::int32_t e) {
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
inline Box boxof(const Nodes& c) {
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

inline Box brickbox(const BrickMesh& mesh, std::int32_t e) { return boxof(bricknodes(mesh, e)); }

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

}  // namespace kelpra::locationdetail
