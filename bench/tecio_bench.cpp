// One zone of ten million 8-byte reals written through the binary data-set layer, against a
// plain fwrite of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plot/tecio.hpp"

namespace {

constexpr std::int64_t kValues = 10'000'000;

const std::vector<double>& values() {
  static const std::vector<double> v = [] {
    std::vector<double> x(kValues);
    for (std::int64_t i = 0; i < kValues; ++i) x[i] = 0.001 * static_cast<double>(i % 100'003) - 7.0;
    return x;
  }();
  return v;
}

std::string scratch(const char* name) {
  return (std::filesystem::temp_directory_path() / ("kelpra_tecio_bench_" + std::to_string(getpid()) + name))
      .string();
}

void removeall(const std::string& base) {
  for (const char* ext : {"", ".szplt", ".szplt.szhdr", ".szplt.szdat"}) std::remove((base + ext).c_str());
}

void finish(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * kValues * static_cast<std::int64_t>(sizeof(double)));
}

void BM_PlainFwrite(benchmark::State& state) {
  const std::string name = scratch("plain");
  const auto& v = values();
  for (auto _ : state) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr || std::fwrite(v.data(), sizeof(double), v.size(), f) != v.size() || std::fclose(f) != 0) {
      state.SkipWithError("fwrite failed");
      break;
    }
    state.PauseTiming();
    removeall(name);
    state.ResumeTiming();
  }
  finish(state);
}

// Open, zone, values and node map; `closed` adds the close, which joins header and data.
void writezone(benchmark::State& state, bool closed) {
  const std::string base = scratch(closed ? "closed" : "flushed");
  const auto& v = values();
  const std::int32_t type = kelpra::kTecDouble, ends[] = {1, static_cast<std::int32_t>(kValues)};
  for (auto _ : state) {
    void* h = nullptr;
    std::int32_t zone = 0;
    bool ok = kelpra::tecFileWriterOpen(base.c_str(), "bench", "X", 1, 0, 0, nullptr, &h) == 0 &&
              kelpra::tecZoneCreateFE(h, "z", kelpra::kTecFeLineSeg, kValues, 1, &type, nullptr, nullptr, nullptr, 0,
                                      0, 0, &zone) == 0 &&
              kelpra::tecZoneVarWriteDoubleValues(h, zone, 1, 0, kValues, v.data()) == 0 &&
              kelpra::tecZoneNodeMapWrite32(h, zone, 0, 1, 2, ends) == 0 &&
              kelpra::tecFileWriterFlush(h, 1, &zone) == 0;
    if (closed) ok = kelpra::tecFileWriterClose(&h) == 0 && ok;
    state.PauseTiming();
    if (!closed) ok = kelpra::tecFileWriterClose(&h) == 0 && ok;
    removeall(base);
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("layer call failed");
      break;
    }
  }
  finish(state);
}

void BM_TecioZoneFlushed(benchmark::State& state) { writezone(state, false); }
void BM_TecioZoneClosed(benchmark::State& state) { writezone(state, true); }

BENCHMARK(BM_PlainFwrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TecioZoneFlushed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TecioZoneClosed)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
