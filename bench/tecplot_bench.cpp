// ASCII zone writing: 10 million doubles through the Tecplot line writer, against std::to_chars
// of the same values into a buffer alone.
#include <benchmark/benchmark.h>

#include <charconv>
#include <random>
#include <vector>

#include "plot/tecplot.hpp"
#include "support/fileunits.hpp"

namespace {

constexpr std::size_t kValues = 10'000'000;

const std::vector<double>& values() {
  static const std::vector<double> v = [] {
    std::vector<double> out(kValues);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> dist(-1.0e3, 1.0e3);
    for (auto& x : out) x = dist(rng);
    return out;
  }();
  return v;
}

void BM_ToCharsAlone(benchmark::State& state) {
  const auto& v = values();
  std::vector<char> buffer(1 << 17);
  for (auto _ : state) {
    char* p = buffer.data();
    char* end = buffer.data() + buffer.size();
    for (double x : v) {
      if (end - p < 32) p = buffer.data();
      p = std::to_chars(p, end, x, std::chars_format::scientific, 16).ptr;
    }
    benchmark::DoNotOptimize(p);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kValues));
}
BENCHMARK(BM_ToCharsAlone)->Unit(benchmark::kMillisecond);

void BM_AsciiZoneWrite(benchmark::State& state) {
  const auto& v = values();
  const int unit = kelpra::getunit();
  kelpra::openunit(unit, "/dev/null", kelpra::FileForm::formatted, kelpra::OpenStatus::replace);
  for (auto _ : state) kelpra::writearrayreal8(static_cast<std::int32_t>(v.size()), v, unit);
  kelpra::freeunit(unit);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kValues));
}
BENCHMARK(BM_AsciiZoneWrite)->Unit(benchmark::kMillisecond);

}  // namespace
