// Locating observation points in a mesh of 1,000,000 bricks (100 x 100 x 100, nodes jittered
// so that neighbouring boxes overlap and each brick's map is inverted): 10,000 points through the
// box grid, building the grid included, and for scale a few points by scanning every element.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "compare/location.hpp"

namespace {

struct Mesh {
  std::vector<double> x, y, z;
  std::vector<std::int32_t> incidences;
  kelpra::BrickMesh view() const { return {x, y, z, incidences, static_cast<std::int32_t>(incidences.size() / 8)}; }
};

Mesh bricks(int n) {
  Mesh m;
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  const int np = n + 1;
  for (int k = 0; k < np; ++k) {
    for (int j = 0; j < np; ++j) {
      for (int i = 0; i < np; ++i) {
        m.x.push_back(i + jitter(rng));
        m.y.push_back(j + jitter(rng));
        m.z.push_back(0.5 * k + 0.5 * jitter(rng));
      }
    }
  }
  auto node = [&](int i, int j, int k) { return (k * np + j) * np + i + 1; };
  for (int k = 0; k < n; ++k) {
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        for (const int kk : {k, k + 1}) {
          for (const auto& [a, b] :
               {std::pair{i, j}, std::pair{i + 1, j}, std::pair{i + 1, j + 1}, std::pair{i, j + 1}}) {
            m.incidences.push_back(node(a, b, kk));
          }
        }
      }
    }
  }
  return m;
}

const Mesh& mesh() {
  static const Mesh m = bricks(100);
  return m;
}

std::vector<std::array<double, 3>> points(std::size_t count) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(0.0, 100.0), uz(0.0, 50.0);
  std::vector<std::array<double, 3>> p(count);
  for (auto& q : p) q = {u(rng), u(rng), uz(rng)};
  return p;
}

void BM_GridLocate10000(benchmark::State& state) {
  const kelpra::BrickMesh view = mesh().view();
  const auto p = points(10'000);
  for (auto _ : state) {
    const kelpra::BrickBoxIndex index(view);
    std::int64_t sum = 0;
    std::array<double, 3> rst{};
    for (const auto& q : p) sum += index.find(q, rst);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_GridLocate10000)->Unit(benchmark::kMillisecond);

void BM_ScanLocate10(benchmark::State& state) {
  const kelpra::BrickMesh view = mesh().view();
  const auto p = points(10);
  for (auto _ : state) {
    std::int64_t sum = 0;
    std::array<double, 3> rst{};
    for (const auto& q : p) sum += kelpra::scanbricks(view, q, rst);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ScanLocate10)->Unit(benchmark::kMillisecond);

}  // namespace
