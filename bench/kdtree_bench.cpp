// Construction and 8-nearest-neighbour queries of KDTree3D over 1,000,000 random points,
// side by side with nanoflann over the same three coordinate arrays when its header is
// installed (Debian's libnanoflann-dev). The query time should stay within 1.5 times
// nanoflann's. Both trees use their default leaf sizes (20 and 10).
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "search/kdtree.hpp"

#if __has_include(<nanoflann.hpp>)
#include <nanoflann.hpp>
#define KELPRA_BENCH_NANOFLANN 1
#endif

namespace {

constexpr std::size_t kPoints = 1'000'000;
constexpr std::size_t kQueries = 100'000;
constexpr std::int32_t kNeighbours = 8;

struct Cloud {
  std::vector<double> x, y, z;
  std::vector<std::array<double, 3>> queries;
};

const Cloud& cloud() {
  static const Cloud c = [] {
    Cloud out;
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> u(0.0, 1000.0);
    for (std::size_t i = 0; i < kPoints; ++i) {
      out.x.push_back(u(gen));
      out.y.push_back(u(gen));
      out.z.push_back(u(gen));
    }
    for (std::size_t i = 0; i < kQueries; ++i) out.queries.push_back({u(gen), u(gen), u(gen)});
    return out;
  }();
  return c;
}

void KDTree3DBuild(benchmark::State& state) {
  const Cloud& c = cloud();
  for (auto _ : state) {
    kelpra::KDTree3D tree;
    tree.init1(c.x, c.y, c.z);
    benchmark::DoNotOptimize(tree.leaves());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
}
BENCHMARK(KDTree3DBuild)->Unit(benchmark::kMillisecond);

void KDTree3DNearest8(benchmark::State& state) {
  const Cloud& c = cloud();
  kelpra::KDTree3D tree;
  tree.init1(c.x, c.y, c.z);
  std::array<double, kNeighbours> dists{};
  std::array<std::int32_t, kNeighbours> list{};
  std::int32_t count = 0;
  for (auto _ : state) {
    for (const auto& q : c.queries) {
      tree.nearestnneighborsearch(q, kNeighbours, dists, list, count);
      benchmark::DoNotOptimize(list.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kQueries));
}
BENCHMARK(KDTree3DNearest8)->Unit(benchmark::kMillisecond);

#ifdef KELPRA_BENCH_NANOFLANN
// The same three arrays seen through nanoflann's dataset interface.
struct Adaptor {
  const Cloud& c;
  std::size_t kdtree_get_point_count() const { return c.x.size(); }
  double kdtree_get_pt(std::size_t i, std::size_t dim) const { return dim == 0 ? c.x[i] : dim == 1 ? c.y[i] : c.z[i]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};
using NanoTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Adaptor>, Adaptor, 3>;

void NanoflannBuild(benchmark::State& state) {
  const Adaptor data{cloud()};
  for (auto _ : state) {
    NanoTree tree(3, data);
    benchmark::DoNotOptimize(&tree);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
}
BENCHMARK(NanoflannBuild)->Unit(benchmark::kMillisecond);

void NanoflannNearest8(benchmark::State& state) {
  const Cloud& c = cloud();
  const Adaptor data{c};
  NanoTree tree(3, data);
  std::array<double, kNeighbours> dists{};
  std::array<std::uint32_t, kNeighbours> list{};
  for (auto _ : state) {
    for (const auto& q : c.queries) {
      tree.knnSearch(q.data(), kNeighbours, list.data(), dists.data());
      benchmark::DoNotOptimize(list.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kQueries));
}
BENCHMARK(NanoflannNearest8)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
