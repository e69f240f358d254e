// Point location in layered block meshes: 1,000,000 random points in a mesh of 1,000,000
// elements (250 x 200 columns, 20 layers) through the grid, and a smaller mesh (10,000
// elements) searched both through the grid and by scanning every element.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "search/elementsearch.hpp"
#include "tests/search/layeredmesh.hpp"

namespace {

using kelpra::searchtest::LayeredMesh;

struct Points {
  std::vector<double> x, y, z;
};

Points randompoints(std::size_t n, double xmax, double ymax, double zmax) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> ux(0.0, xmax), uy(0.0, ymax), uz(0.3, zmax - 0.3);
  Points p;
  for (std::size_t k = 0; k < n; ++k) p.x.push_back(ux(rng)), p.y.push_back(uy(rng)), p.z.push_back(uz(rng));
  return p;
}

struct Setup {
  LayeredMesh mesh;
  kelpra::ElementSearch search;
  Points points;

  Setup(int ncol, int nrow, int nz, std::size_t npoints)
      : mesh(kelpra::searchtest::layeredmesh(ncol, nrow, nz, true, 0.2, 0.1, 1)),
        points(randompoints(npoints, ncol, nrow, nz - 1)) {
    search.initelementsearch(mesh.ne, mesh.ne2d, mesh.nln, mesh.nz, mesh.in, mesh.x, mesh.y, mesh.z);
    search.usenearest = true;  // points near the jittered top and bottom take the nearest layer
    search.verbosewarn = false;
  }
};

Setup& large() {
  static Setup s(250, 200, 21, 1'000'000);
  return s;
}

Setup& small() {
  static Setup s(50, 40, 6, 2'000);
  return s;
}

void locate(benchmark::State& state, Setup& s) {
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < s.points.x.size(); ++k) {
      sum += s.search.findelement3d(s.points.x[k], s.points.y[k], s.points.z[k]);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.points.x.size()));
}

void BM_GridLocate1MPointsIn1MElements(benchmark::State& state) { locate(state, large()); }
void BM_GridLocateSmallMesh(benchmark::State& state) { locate(state, small()); }

void BM_BruteForceLocateSmallMesh(benchmark::State& state) {
  Setup& s = small();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < s.points.x.size(); ++k) {
      for (std::int32_t e = 1; e <= s.mesh.ne; ++e) {
        if (s.search.pointinelement3d(e, s.points.x[k], s.points.y[k], s.points.z[k])) {
          sum += e;
          break;
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.points.x.size()));
}

}  // namespace

BENCHMARK(BM_GridLocate1MPointsIn1MElements)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridLocateSmallMesh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BruteForceLocateSmallMesh)->Unit(benchmark::kMillisecond);
