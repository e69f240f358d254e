// Bucketed k-d trees over a point cloud given as separate coordinate arrays: KDTree3D over
// (x, y, z) and KDTree2D over (x, y). The tree keeps views of the caller's arrays (which
// must stay in place and unchanged while it is used) and a permutation of point positions,
// which construction reorders so that every node covers one contiguous run of it.
//
// A point position p (1..n) names point p of the coordinate arrays, or point index(p) for
// a tree built over an index list (init2). Every search returns positions. Distances are
// squared; coordinates are compared exactly. Construction is reproducible: the pivot
// sampling draws from a generator private to each build, always seeded the same way.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "arrays/arrayhelpers.hpp"  // I4Array, R8Array

namespace kelpra {

// The distance that stands for "no point found yet", and the box bound of an empty cloud.
inline constexpr double kKDFar = std::numeric_limits<double>::max();

// The uniform generator of the pivot sampling: xoshiro256** over eight 32-bit seed words.
class KDRandom {
 public:
  static constexpr int kSeedWords = 8;
  explicit KDRandom(const std::array<std::int32_t, kSeedWords>& words) noexcept;
  // Uniform in [0, 1).
  double next() noexcept;

 private:
  std::array<std::uint64_t, 4> s_{};
};

// The generator seeded by words derived from seed, with its first 100 draws discarded.
KDRandom initrandomseed(std::int64_t seed) noexcept;

// The middle one of three values.
double median3(double a, double b, double c) noexcept;

// Keeps the k = size(dists) nearest in ascending order (list holds at least k entries): d
// enters unless k entries are held and the k-th is not farther than d; of equal distances
// the one found first stays in front.
inline void insertpriority(double d, std::int32_t p, std::span<double> dists, std::span<std::int32_t> list,
                           std::int32_t& count) noexcept {
  const auto k = static_cast<std::int32_t>(dists.size());
  std::int32_t j = 0;  // entries 1..j stay where they are
  if (count == k) {
    if (dists[static_cast<std::size_t>(k) - 1] <= d) return;
    j = k - 1;
  } else {
    ++count;
    j = count - 1;
  }
  for (; j > 0 && dists[static_cast<std::size_t>(j) - 1] > d; --j) {
    dists[static_cast<std::size_t>(j)] = dists[static_cast<std::size_t>(j) - 1];
    list[static_cast<std::size_t>(j)] = list[static_cast<std::size_t>(j) - 1];
  }
  dists[static_cast<std::size_t>(j)] = d;
  list[static_cast<std::size_t>(j)] = p;
}

template <int D>
struct KDTreeNode {
  std::int32_t lo = 1, hi = 0;  // the run order(lo..hi) of the positions covered
  std::int32_t splitdim = 0;    // 1 = x, 2 = y, 3 = z; 0 at a node made as a leaf
  double splitvalue = 0.0;
  std::array<double, 2 * D> box{};  // (minima..., maxima...): the region the node stands for
  std::unique_ptr<KDTreeNode> left, right;
  ~KDTreeNode();
};
using kdtree3dnode = KDTreeNode<3>;
using kdtree2dnode = KDTreeNode<2>;

template <int D>
class KDTree {
  static_assert(D == 2 || D == 3);

 public:
  using Node = KDTreeNode<D>;
  using Box = std::array<double, 2 * D>;
  using Point = std::array<double, D>;
  static constexpr std::string_view kName = D == 3 ? "KDTree3D" : "KDTree2D";

  KDTree() = default;
  // A copy has its own node tree and order and views the same coordinate arrays.
  KDTree(const KDTree& other);
  KDTree(KDTree&& other) noexcept;
  // Assigning a tree to itself keeps it.
  KDTree& operator=(KDTree other) noexcept;
  ~KDTree() { destroy(); }

  // Builds over points 1..n of the coordinate arrays, which must have one length. Leaves
  // hold up to bucketsize points (20 without one; below 1 counts as 1, above n as n);
  // splitting stops at level maxdepth (n without one).
  void init1(std::span<const double> x, std::span<const double> y, std::span<const double> z,
             std::optional<std::int32_t> bucketsize = std::nullopt, std::optional<std::int32_t> maxdepth = std::nullopt)
    requires(D == 3)
  {
    build({}, false, {x, y, z}, bucketsize, maxdepth);
  }
  void init1(std::span<const double> x, std::span<const double> y,
             std::optional<std::int32_t> bucketsize = std::nullopt, std::optional<std::int32_t> maxdepth = std::nullopt)
    requires(D == 2)
  {
    build({}, false, {x, y}, bucketsize, maxdepth);
  }
  // Builds over positions 1..size(index), position p standing for point index(p); every
  // entry must lie in 1..size(x). The root box still covers all points of the arrays.
  void init2(std::span<const std::int32_t> index, std::span<const double> x, std::span<const double> y,
             std::span<const double> z, std::optional<std::int32_t> bucketsize = std::nullopt,
             std::optional<std::int32_t> maxdepth = std::nullopt)
    requires(D == 3)
  {
    build(index, true, {x, y, z}, bucketsize, maxdepth);
  }
  void init2(std::span<const std::int32_t> index, std::span<const double> x, std::span<const double> y,
             std::optional<std::int32_t> bucketsize = std::nullopt, std::optional<std::int32_t> maxdepth = std::nullopt)
    requires(D == 2)
  {
    build(index, true, {x, y}, bucketsize, maxdepth);
  }

  // Releases the order and every node and drops the views.
  void destroy() noexcept;
  // True when there is no root; a tree built over no points is not empty.
  bool empty() const noexcept { return !root_; }
  std::int32_t depth() const noexcept { return treedepth_; }
  std::int32_t leaves() const noexcept { return leafcount_; }
  std::int32_t bucketsize() const noexcept { return bucketsize_; }
  std::int32_t maxdepth() const noexcept { return maxdepth_; }
  const Node* root() const noexcept { return root_.get(); }
  std::span<const std::int32_t> order() const noexcept { return order_; }

  // ---- Searches. A tree that was never built, or was destroyed, answers as one over no
  // points. Growable lists keep their storage from call to call; only 1..count is meaningful.

  // Positions equal to the query in every coordinate.
  void exactsearch(const Point& q, I4Array& list, std::int32_t& count) const;
  // The nearest position (the first scanned of equally near ones) and its squared
  // distance; p = 0 and d2 = kKDFar over no points.
  void nearestneighborsearch(const Point& q, double& d2, std::int32_t& p) const;
  // The smallest squared distance and up to size(list) positions at exactly that distance.
  void nearestneighborsearchwithties(const Point& q, double& d2, std::span<std::int32_t> list,
                                     std::int32_t& count) const;
  // The k nearest positions, squared distances ascending; count = min(k, points). Every
  // entry of dists starts as kKDFar. k >= 1 and dists and list of at least k entries.
  void nearestnneighborsearch(const Point& q, std::int32_t k, std::span<double> dists, std::span<std::int32_t> list,
                              std::int32_t& count) const;
  // Positions at a distance strictly below r (none for r <= 0).
  void radiussearch(const Point& q, double r, I4Array& list, std::int32_t& count) const;
  // Positions inside the closed box (minima..., maxima...).
  void rangesearch(const Box& box, I4Array& list, std::int32_t& count) const;

  void exactsearch(double qx, double qy, double qz, I4Array& list, std::int32_t& count) const
    requires(D == 3)
  {
    exactsearch(Point{qx, qy, qz}, list, count);
  }
  void exactsearch(double qx, double qy, I4Array& list, std::int32_t& count) const
    requires(D == 2)
  {
    exactsearch(Point{qx, qy}, list, count);
  }
  void nearestneighborsearch(double qx, double qy, double qz, double& d2, std::int32_t& p) const
    requires(D == 3)
  {
    nearestneighborsearch(Point{qx, qy, qz}, d2, p);
  }
  void nearestneighborsearch(double qx, double qy, double& d2, std::int32_t& p) const
    requires(D == 2)
  {
    nearestneighborsearch(Point{qx, qy}, d2, p);
  }
  void nearestneighborsearchwithties(double qx, double qy, double qz, double& d2, std::span<std::int32_t> list,
                                     std::int32_t& count) const
    requires(D == 3)
  {
    nearestneighborsearchwithties(Point{qx, qy, qz}, d2, list, count);
  }
  void nearestneighborsearchwithties(double qx, double qy, double& d2, std::span<std::int32_t> list,
                                     std::int32_t& count) const
    requires(D == 2)
  {
    nearestneighborsearchwithties(Point{qx, qy}, d2, list, count);
  }
  void nearestnneighborsearch(double qx, double qy, double qz, std::int32_t k, std::span<double> dists,
                              std::span<std::int32_t> list, std::int32_t& count) const
    requires(D == 3)
  {
    nearestnneighborsearch(Point{qx, qy, qz}, k, dists, list, count);
  }
  void nearestnneighborsearch(double qx, double qy, std::int32_t k, std::span<double> dists,
                              std::span<std::int32_t> list, std::int32_t& count) const
    requires(D == 2)
  {
    nearestnneighborsearch(Point{qx, qy}, k, dists, list, count);
  }
  void radiussearch(double qx, double qy, double qz, double r, I4Array& list, std::int32_t& count) const
    requires(D == 3)
  {
    radiussearch(Point{qx, qy, qz}, r, list, count);
  }
  void radiussearch(double qx, double qy, double r, I4Array& list, std::int32_t& count) const
    requires(D == 2)
  {
    radiussearch(Point{qx, qy}, r, list, count);
  }

  // ---- Point access

  // The coordinates of position p (through the index list when there is one).
  Point getpoint(std::int32_t p) const noexcept;
  // The coordinate of position p along dim: 1 x, 2 y (3-D only), any other value the last axis.
  double getvalueindex(std::int32_t p, std::int32_t dim) const noexcept { return coordinate(p, axis(dim)); }
  static double getvaluexyz(double qx, double qy, double qz, std::int32_t dim) noexcept
    requires(D == 3)
  {
    return Point{qx, qy, qz}[axis(dim)];
  }
  static double getvaluexy(double qx, double qy, std::int32_t dim) noexcept
    requires(D == 2)
  {
    return Point{qx, qy}[axis(dim)];
  }
  // Squared distance from q to position p.
  double dist2(const Point& q, std::int32_t p) const noexcept {
    const auto point = static_cast<std::size_t>(hasindex_ ? index_[static_cast<std::size_t>(p) - 1] : p) - 1;
    double sum = 0.0;
    for (std::size_t a = 0; a < D; ++a) {
      const double d = q[a] - coords_[a][point];
      sum += d * d;
    }
    return sum;
  }

  // ---- Module procedures of the tree

  // (+kKDFar..., -kKDFar...) widened over every point of the arrays.
  static Box makeboundingbox(const std::array<std::span<const double>, D>& coords) noexcept;
  // The axis (1-based) of the largest positive width, the lower axis on equal widths; with
  // no positive width, (level modulo D) + 1.
  static std::int32_t splitonwidest(std::int32_t level, const Box& box) noexcept;
  static std::unique_ptr<Node> makekdtreenodeptr(const Box& box, std::int32_t lo, std::int32_t hi, std::int32_t dim,
                                                 double value);
  static std::unique_ptr<Node> deepcopy(const Node* node);
  static bool isleaf(const Node& node) noexcept { return !node.left; }
  // Closed bounds throughout.
  static bool pointinboundingbox(const Box& b, const Point& p) noexcept;
  static bool intersectsboundingbox(const Box& a, const Box& b) noexcept;
  // b inside a (faces may coincide).
  static bool containsboundingbox(const Box& a, const Box& b) noexcept;
  // Appends value to a growable list (count + 1 entries afterwards).
  static void pushback(std::int32_t value, I4Array& list, std::int32_t& count);

 private:
  struct KnnState;

  static constexpr std::size_t axis(std::int32_t dim) noexcept {
    return dim >= 1 && dim < D ? static_cast<std::size_t>(dim - 1) : static_cast<std::size_t>(D - 1);
  }
  double coordinate(std::int32_t p, std::size_t a) const noexcept {
    const std::int32_t point = hasindex_ ? index_[static_cast<std::size_t>(p) - 1] : p;
    return coords_[a][static_cast<std::size_t>(point) - 1];
  }

  void build(std::span<const std::int32_t> index, bool hasindex, const std::array<std::span<const double>, D>& coords,
             std::optional<std::int32_t> bucketsize, std::optional<std::int32_t> maxdepth);
  std::unique_ptr<Node> buildtree(std::int32_t lo, std::int32_t hi, std::int32_t level, const Box& box,
                                  KDRandom& rng);
  std::int32_t mediancut(std::int32_t lo, std::int32_t hi, std::int32_t dim, KDRandom& rng);
  void swap(KDTree& other) noexcept;

  // f(p) for every position p of the node's run, in order.
  template <class F>
  void eachposition(const Node& node, F&& f) const {
    for (std::int32_t i = node.lo; i <= node.hi; ++i) f(order_[static_cast<std::size_t>(i) - 1]);
  }
  // Squared distance from q to the region of the far child of node, g the squared gap to the cut.
  static double farregiondist2(const Point& q, const Node& node, std::size_t splitaxis, double g) noexcept;
  template <class Bound, class Leaf>
  void descend(const Node& node, const Point& q, const Bound& bound, const Leaf& leaf) const;
  void exactsearchrec(const Node* node, const Point& q, I4Array& list, std::int32_t& count) const;
  void nearestneighborsearchrec(const Node& node, const Point& q, double& d2, std::int32_t& p) const;
  void nearestneighborsearchtiesrec(const Node& node, const Point& q, double& d2, std::span<std::int32_t> list,
                                    std::int32_t& count) const;
  void nearestnneighborsearchrec(const Node& node, KnnState& s) const;
  void radiussearchrec(const Node& node, const Point& q, double r2, I4Array& list, std::int32_t& count) const;
  void rangesearchrec(const Node& node, const Box& box, I4Array& list, std::int32_t& count) const;

  std::int32_t bucketsize_ = 0;
  std::int32_t maxdepth_ = 0;
  std::int32_t treedepth_ = 0;
  std::int32_t leafcount_ = 0;
  std::vector<std::int32_t> order_;
  std::array<std::span<const double>, D> coords_{};
  std::span<const std::int32_t> index_;
  bool hasindex_ = false;
  std::unique_ptr<Node> root_;
};

using KDTree3D = KDTree<3>;
using KDTree2D = KDTree<2>;

// Releases a subtree without recursion and without a stack, by right rotations.
template <int D>
void destroytree(std::unique_ptr<KDTreeNode<D>> node) noexcept {
  while (node) {
    if (node->left) {
      std::unique_ptr<KDTreeNode<D>> left = std::move(node->left);
      node->left = std::move(left->right);
      left->right = std::move(node);
      node = std::move(left);
    } else {
      std::unique_ptr<KDTreeNode<D>> right = std::move(node->right);
      node = std::move(right);  // the released node has no children left
    }
  }
}

template <int D>
KDTreeNode<D>::~KDTreeNode() {
  if (left) destroytree(std::move(left));
  if (right) destroytree(std::move(right));
}

extern template class KDTree<2>;
extern template class KDTree<3>;

}  // namespace kelpra
