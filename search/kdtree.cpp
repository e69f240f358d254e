#include "search/kdtree.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <utility>

#include "search/growlist.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"

namespace kelpra {

// ---------------------------------------------------------------------------------------
// Pivot generator

KDRandom::KDRandom(const std::array<std::int32_t, kSeedWords>& words) noexcept {
  for (std::size_t j = 0; j < s_.size(); ++j) {
    s_[j] = (std::uint64_t{static_cast<std::uint32_t>(words[2 * j])} << 32) |
            static_cast<std::uint32_t>(words[2 * j + 1]);
  }
  // The generator never leaves the all-zero state; any other state will do.
  if (s_ == std::array<std::uint64_t, 4>{}) s_[0] = 1;
}

double KDRandom::next() noexcept {
  const std::uint64_t result = std::rotl(s_[1] * 5, 7) * 9;
  const std::uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = std::rotl(s_[3], 45);
  return static_cast<double>(result >> 11) * 0x1.0p-53;
}

KDRandom initrandomseed(std::int64_t seed) noexcept {
  std::array<std::int32_t, KDRandom::kSeedWords> words{};
  std::int64_t s = seed;
  for (auto& word : words) {
    s = s == 0 ? 104729 : s % 4294967296;
    s = (s * 279470273) % 4294967291;
    word = static_cast<std::int32_t>(s % 2147483647);
  }
  KDRandom rng(words);
  for (int i = 0; i < 100; ++i) rng.next();
  return rng;
}

double median3(double a, double b, double c) noexcept {
  if (a > b) std::swap(a, b);
  if (a > c) std::swap(a, c);
  if (b > c) std::swap(b, c);
  return b;
}

// ---------------------------------------------------------------------------------------
// Record, copies, destruction

template <int D>
KDTree<D>::KDTree(const KDTree& other)
    : bucketsize_(other.bucketsize_),
      maxdepth_(other.maxdepth_),
      treedepth_(other.treedepth_),
      leafcount_(other.leafcount_),
      order_(checkedalloc(std::string(kName) + " order array", [&other] { return other.order_; })),
      coords_(other.coords_),
      index_(other.index_),
      hasindex_(other.hasindex_),
      root_(deepcopy(other.root_.get())) {}

template <int D>
KDTree<D>::KDTree(KDTree&& other) noexcept {
  swap(other);
}

template <int D>
KDTree<D>& KDTree<D>::operator=(KDTree other) noexcept {
  swap(other);
  return *this;
}

template <int D>
void KDTree<D>::swap(KDTree& other) noexcept {
  std::swap(bucketsize_, other.bucketsize_);
  std::swap(maxdepth_, other.maxdepth_);
  std::swap(treedepth_, other.treedepth_);
  std::swap(leafcount_, other.leafcount_);
  order_.swap(other.order_);
  std::swap(coords_, other.coords_);
  std::swap(index_, other.index_);
  std::swap(hasindex_, other.hasindex_);
  root_.swap(other.root_);
}

template <int D>
void KDTree<D>::destroy() noexcept {
  destroytree(std::move(root_));
  std::vector<std::int32_t>().swap(order_);
  coords_ = {};
  index_ = {};
  hasindex_ = false;
  bucketsize_ = maxdepth_ = treedepth_ = leafcount_ = 0;
}

template <int D>
std::unique_ptr<typename KDTree<D>::Node> KDTree<D>::makekdtreenodeptr(const Box& box, std::int32_t lo,
                                                                       std::int32_t hi, std::int32_t dim,
                                                                       double value) {
  auto node = checkedalloc(std::string(kName) + " node", [] { return std::make_unique<Node>(); });
  node->lo = lo;
  node->hi = hi;
  node->splitdim = dim;
  node->splitvalue = value;
  node->box = box;
  return node;
}

template <int D>
std::unique_ptr<typename KDTree<D>::Node> KDTree<D>::deepcopy(const Node* node) {
  if (node == nullptr) return nullptr;
  auto copy = makekdtreenodeptr(node->box, node->lo, node->hi, node->splitdim, node->splitvalue);
  copy->left = deepcopy(node->left.get());
  copy->right = deepcopy(node->right.get());
  return copy;
}

// ---------------------------------------------------------------------------------------
// Construction

template <int D>
typename KDTree<D>::Box KDTree<D>::makeboundingbox(const std::array<std::span<const double>, D>& coords) noexcept {
  Box box{};
  for (std::size_t a = 0; a < D; ++a) {
    box[a] = kKDFar;
    box[D + a] = -kKDFar;
    for (const double c : coords[a]) {
      box[a] = std::min(box[a], c);
      box[D + a] = std::max(box[D + a], c);
    }
  }
  return box;
}

template <int D>
std::int32_t KDTree<D>::splitonwidest(std::int32_t level, const Box& box) noexcept {
  std::int32_t best = 0;
  double widest = 0.0;
  for (std::size_t a = 0; a < D; ++a) {
    const double width = box[D + a] - box[a];
    if (width > widest) {
      widest = width;
      best = static_cast<std::int32_t>(a) + 1;
    }
  }
  return best != 0 ? best : level % D + 1;
}

template <int D>
void KDTree<D>::build(std::span<const std::int32_t> index, bool hasindex,
                      const std::array<std::span<const double>, D>& coords, std::optional<std::int32_t> bucketsize,
                      std::optional<std::int32_t> maxdepth) {
  destroy();
  const std::size_t npoints = coords[0].size();
  for (std::size_t a = 1; a < D; ++a) {
    if (coords[a].size() != npoints) {
      std::string msg = std::string(kName) + ": the coordinate arrays differ in length (";
      for (std::size_t b = 0; b < D; ++b) msg += (b == 0 ? "" : ", ") + std::to_string(coords[b].size());
      fatalerror(msg + ")");
    }
  }
  const std::size_t n = hasindex ? index.size() : npoints;
  constexpr auto kMaxPoints = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  if (npoints > kMaxPoints || n > kMaxPoints) {
    fatalerror(std::string(kName) + ": more points than a 4-byte position can number");
  }
  if (hasindex) {
    for (std::size_t i = 0; i < n; ++i) {
      if (index[i] < 1 || static_cast<std::size_t>(index[i]) > npoints) {
        fatalerror(std::string(kName) + ": index list entry " + std::to_string(i + 1) + " is " +
                   std::to_string(index[i]) + ", outside 1 to " + std::to_string(npoints));
      }
    }
  }
  const auto count = static_cast<std::int32_t>(n);
  bucketsize_ = std::min(count, bucketsize ? std::max(*bucketsize, 1) : 20);
  maxdepth_ = maxdepth ? std::max(*maxdepth, 0) : count;
  allocatearray(order_, static_cast<std::int64_t>(n), std::string(kName) + " order array");
  std::iota(order_.begin(), order_.end(), 1);
  const Box box = makeboundingbox(coords);
  KDRandom rng = initrandomseed(20240327);
  coords_ = coords;
  index_ = index;
  hasindex_ = hasindex;
  root_ = buildtree(1, count, 0, box, rng);
}

template <int D>
std::unique_ptr<typename KDTree<D>::Node> KDTree<D>::buildtree(std::int32_t lo, std::int32_t hi, std::int32_t level,
                                                               const Box& box, KDRandom& rng) {
  auto leafmade = [this, level] {
    ++leafcount_;
    treedepth_ = std::max(treedepth_, level);
  };
  if (hi - lo < bucketsize_ || level == maxdepth_) {
    leafmade();
    return makekdtreenodeptr(box, lo, hi, 0, 0.0);
  }
  const std::int32_t dim = splitonwidest(level, box);
  const std::int32_t m = mediancut(lo, hi, dim, rng);
  const double value = getvalueindex(order_[static_cast<std::size_t>(m) - 1], dim);
  auto node = makekdtreenodeptr(box, lo, hi, dim, value);
  if (m < hi) {
    const std::size_t a = axis(dim);
    Box below = box;
    below[D + a] = std::min(below[D + a], value);
    node->left = buildtree(lo, m, level + 1, below, rng);
    Box above = box;
    above[a] = std::max(above[a], value);
    node->right = buildtree(m + 1, hi, level + 1, above, rng);
  } else {
    // Every point fell on the left: the node stays childless and counts as a leaf.
    leafmade();
  }
  return node;
}

template <int D>
std::int32_t KDTree<D>::mediancut(std::int32_t lo, std::int32_t hi, std::int32_t dim, KDRandom& rng) {
  const std::size_t a = axis(dim);
  auto at = [this](std::int32_t i) -> std::int32_t& { return order_[static_cast<std::size_t>(i) - 1]; };
  auto v = [&](std::int32_t i) { return coordinate(at(i), a); };
  if (hi == lo) return lo;
  if (hi == lo + 1) {
    if (v(hi) < v(lo)) std::swap(at(lo), at(hi));
    return lo;
  }
  if (hi - lo <= 7) {
    // Insertion sort; an entry with an equal value stays in front.
    for (std::int32_t j = lo + 1; j <= hi; ++j) {
      const std::int32_t e = at(j);
      const double ve = coordinate(e, a);
      std::int32_t i = j - 1;
      while (i >= lo && v(i) > ve) {
        at(i + 1) = at(i);
        --i;
      }
      at(i + 1) = e;
    }
    return lo + (hi - lo) / 2;
  }
  // One partition around the median of three medians of three sampled values.
  std::array<std::int32_t, 9> drawn{};
  std::array<double, 9> s{};
  const double runlength = static_cast<double>(hi - lo + 1);
  for (std::size_t k = 0; k < drawn.size(); ++k) {
    const double u = rng.next();
    // Rounding of u x length may reach the end of the run; keep the position inside it.
    const auto p = static_cast<std::int64_t>(std::floor(u * runlength + lo));
    drawn[k] = static_cast<std::int32_t>(std::clamp<std::int64_t>(p, lo, hi));
    s[k] = v(drawn[k]);
  }
  const double pivot = median3(median3(s[0], s[1], s[2]), median3(s[3], s[4], s[5]), median3(s[6], s[7], s[8]));
  std::int32_t q = drawn[8];
  std::int32_t i = lo;
  for (; i <= hi; ++i) {
    const double vi = v(i);
    if (vi == pivot) q = i;
    if (vi > pivot) break;
  }
  std::int32_t last = i - 1;  // the last position of the part not above the pivot
  for (std::int32_t j = i + 1; j <= hi; ++j) {
    if (v(j) <= pivot) {
      ++last;
      std::swap(at(j), at(last));
      if (v(last) == pivot) q = last;
    }
  }
  std::swap(at(last), at(q));
  return last;
}

// ---------------------------------------------------------------------------------------
// Point access and box tests

template <int D>
typename KDTree<D>::Point KDTree<D>::getpoint(std::int32_t p) const noexcept {
  Point point{};
  for (std::size_t a = 0; a < D; ++a) point[a] = coordinate(p, a);
  return point;
}

template <int D>
bool KDTree<D>::pointinboundingbox(const Box& b, const Point& p) noexcept {
  for (std::size_t a = 0; a < D; ++a) {
    if (!(b[a] <= p[a] && p[a] <= b[D + a])) return false;
  }
  return true;
}

template <int D>
bool KDTree<D>::intersectsboundingbox(const Box& a, const Box& b) noexcept {
  for (std::size_t k = 0; k < D; ++k) {
    if (b[k] > a[D + k] || a[k] > b[D + k]) return false;
  }
  return true;
}

template <int D>
bool KDTree<D>::containsboundingbox(const Box& a, const Box& b) noexcept {
  for (std::size_t k = 0; k < D; ++k) {
    if (!(a[k] <= b[k] && b[D + k] <= a[D + k])) return false;
  }
  return true;
}

template <int D>
void KDTree<D>::pushback(std::int32_t value, I4Array& list, std::int32_t& count) {
  static constexpr std::string_view kLabel = D == 3 ? "KDTree3D pushback" : "KDTree2D pushback";
  searchdetail::storeafter(value, count, list, kLabel);
  ++count;
}

// ---------------------------------------------------------------------------------------
// Searches

// The far child's region is the node's with the cut as its bound along the split axis, so
// its distance from q is the node region's with the gap to the cut on that axis. Every
// term is formed as in dist2 and summed in the same order, so no point of the region can
// come out nearer than the sum.
template <int D>
double KDTree<D>::farregiondist2(const Point& q, const Node& node, std::size_t splitaxis, double g) noexcept {
  double sum = 0.0;
  for (std::size_t a = 0; a < D; ++a) {
    if (a == splitaxis) {
      sum += g;
      continue;
    }
    const double lo = node.box[a], hi = node.box[D + a];
    const double d = q[a] < lo ? lo - q[a] : (q[a] > hi ? q[a] - hi : 0.0);
    sum += d * d;
  }
  return sum;
}

// The near child (left when the query coordinate is not above the cut) first, then the far
// child when the cut lies within the bound and its whole region does too. The region's
// distance is never below the gap, and a point of a region beyond the bound could not
// have entered the answer, so the answers are those of a walk that looks only at the gap.
template <int D>
template <class Bound, class Leaf>
void KDTree<D>::descend(const Node& node, const Point& q, const Bound& bound, const Leaf& leaf) const {
  if (isleaf(node)) {
    leaf(node);
    return;
  }
  const std::size_t a = axis(node.splitdim);
  const double c = q[a];
  const bool leftnear = c <= node.splitvalue;
  descend(leftnear ? *node.left : *node.right, q, bound, leaf);
  const double g = (node.splitvalue - c) * (node.splitvalue - c);
  if (g <= bound() && farregiondist2(q, node, a, g) <= bound()) {
    descend(leftnear ? *node.right : *node.left, q, bound, leaf);
  }
}

template <int D>
void KDTree<D>::exactsearch(const Point& q, I4Array& list, std::int32_t& count) const {
  count = 0;
  if (root_) exactsearchrec(root_.get(), q, list, count);
}

template <int D>
void KDTree<D>::exactsearchrec(const Node* node, const Point& q, I4Array& list, std::int32_t& count) const {
  while (!isleaf(*node)) {
    const double c = q[axis(node->splitdim)];
    if (c == node->splitvalue) {
      // A sorted cut may leave points equal to the cut value on the right: look on both sides.
      exactsearchrec(node->left.get(), q, list, count);
      node = node->right.get();
    } else {
      node = c < node->splitvalue ? node->left.get() : node->right.get();
    }
  }
  eachposition(*node, [&](std::int32_t p) {
    if (getpoint(p) == q) pushback(p, list, count);
  });
}

template <int D>
void KDTree<D>::nearestneighborsearch(const Point& q, double& d2, std::int32_t& p) const {
  d2 = kKDFar;
  p = 0;
  if (root_) nearestneighborsearchrec(*root_, q, d2, p);
}

template <int D>
void KDTree<D>::nearestneighborsearchrec(const Node& node, const Point& q, double& d2, std::int32_t& p) const {
  descend(node, q, [&d2] { return d2; }, [&](const Node& leaf) {
    eachposition(leaf, [&](std::int32_t pos) {
      const double d = dist2(q, pos);
      if (d < d2) {
        d2 = d;
        p = pos;
      }
    });
  });
}

template <int D>
void KDTree<D>::nearestneighborsearchwithties(const Point& q, double& d2, std::span<std::int32_t> list,
                                              std::int32_t& count) const {
  if (list.empty()) fatalerror(std::string(kName) + ": the nearest-neighbour list with ties has no entry");
  d2 = kKDFar;
  count = 0;
  if (root_) nearestneighborsearchtiesrec(*root_, q, d2, list, count);
}

template <int D>
void KDTree<D>::nearestneighborsearchtiesrec(const Node& node, const Point& q, double& d2,
                                             std::span<std::int32_t> list, std::int32_t& count) const {
  descend(node, q, [&d2] { return d2; }, [&](const Node& leaf) {
    eachposition(leaf, [&](std::int32_t pos) {
      const double d = dist2(q, pos);
      if (d < d2) {
        d2 = d;
        count = 1;
        list[0] = pos;
      } else if (d == d2 && static_cast<std::size_t>(count) < list.size()) {
        // A tie found when the list is full is dropped.
        list[static_cast<std::size_t>(count++)] = pos;
      }
    });
  });
}

template <int D>
struct KDTree<D>::KnnState {
  const Point& q;
  std::span<double> dists;  // the first k entries of the caller's
  std::span<std::int32_t> list;
  std::int32_t& count;
};

template <int D>
void KDTree<D>::nearestnneighborsearch(const Point& q, std::int32_t k, std::span<double> dists,
                                       std::span<std::int32_t> list, std::int32_t& count) const {
  if (k < 1) fatalerror(std::string(kName) + ": k-nearest search for k = " + std::to_string(k) + ", below 1");
  const auto kk = static_cast<std::size_t>(k);
  if (dists.size() < kk || list.size() < kk) {
    fatalerror(std::string(kName) + ": k-nearest search for k = " + std::to_string(k) + " with room for " +
               std::to_string(std::min(dists.size(), list.size())) + " results");
  }
  std::fill(dists.begin(), dists.end(), kKDFar);
  count = 0;
  KnnState s{q, dists.first(kk), list.first(kk), count};
  if (root_) nearestnneighborsearchrec(*root_, s);
}

template <int D>
void KDTree<D>::nearestnneighborsearchrec(const Node& node, KnnState& s) const {
  // The bound is the current k-th distance (kKDFar until k points are held).
  descend(node, s.q, [&s] { return s.dists.back(); }, [&](const Node& leaf) {
    eachposition(leaf, [&](std::int32_t pos) { insertpriority(dist2(s.q, pos), pos, s.dists, s.list, s.count); });
  });
}

template <int D>
void KDTree<D>::radiussearch(const Point& q, double r, I4Array& list, std::int32_t& count) const {
  count = 0;
  // No distance lies strictly below a radius of zero or less.
  if (root_ && r > 0) radiussearchrec(*root_, q, r * r, list, count);
}

template <int D>
void KDTree<D>::radiussearchrec(const Node& node, const Point& q, double r2, I4Array& list,
                                std::int32_t& count) const {
  descend(node, q, [r2] { return r2; }, [&](const Node& leaf) {
    eachposition(leaf, [&](std::int32_t pos) {
      if (dist2(q, pos) < r2) pushback(pos, list, count);
    });
  });
}

template <int D>
void KDTree<D>::rangesearch(const Box& box, I4Array& list, std::int32_t& count) const {
  count = 0;
  if (root_) rangesearchrec(*root_, box, list, count);
}

template <int D>
void KDTree<D>::rangesearchrec(const Node& node, const Box& box, I4Array& list, std::int32_t& count) const {
  if (isleaf(node)) {
    eachposition(node, [&](std::int32_t pos) {
      if (pointinboundingbox(box, getpoint(pos))) pushback(pos, list, count);
    });
    return;
  }
  if (containsboundingbox(box, node.box)) {
    // The whole region lies inside: take every point without looking at it.
    eachposition(node, [&](std::int32_t pos) { pushback(pos, list, count); });
    return;
  }
  if (intersectsboundingbox(box, node.left->box)) rangesearchrec(*node.left, box, list, count);
  if (intersectsboundingbox(box, node.right->box)) rangesearchrec(*node.right, box, list, count);
}

template class KDTree<2>;
template class KDTree<3>;

}  // namespace kelpra
