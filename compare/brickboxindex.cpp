// The uniform grid over the element boxes that finds a point's element without testing every
// element: built once per mesh, then asked for each observation point.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "compare/bricksearch.hpp"
#include "compare/location.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"

namespace kelpra {
namespace {

using locationdetail::Box;
using locationdetail::brickbox;
using locationdetail::Pick;
using locationdetail::Point;

constexpr std::string_view kGridWhat = "observation point search grid";

// Elements whose boxes reach more cells than this are tested for every point instead.
constexpr std::int64_t kMaxCellsPerElement = 512;
constexpr std::int64_t kMaxCellsPerAxis = std::int64_t{1} << 21;

}  // namespace

// Each element is entered in every cell that its box, widened by more than the tolerance and
// the rounding of the inside test can reach, touches; so every element that holds a point is
// among the entries of the point's cell (or among the elements tested everywhere), and testing
// those in ascending order finds the element the scan finds.
BrickBoxIndex::BrickBoxIndex(const BrickMesh& mesh) : mesh_(mesh) {
  const auto ne = static_cast<std::size_t>(std::max(mesh.ne, 0));
  std::vector<Box> reach;
  std::vector<std::uint8_t> finite;
  checkedalloc(kGridWhat, [&] {
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
    check_alloc(kStatusNoMemory, kGridWhat);
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

}  // namespace kelpra
