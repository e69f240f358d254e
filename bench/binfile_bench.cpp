// Read throughput of a result file of 10 million 8-byte reals through read_r8_1d, against a
// plain read of its values from the same file; the reader should stay within 1.3 times the
// plain read's time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "binfile/binfile.hpp"
#include "binfile/readers.hpp"

namespace {

constexpr std::int32_t kValues = 10'000'000;

// The file is written once per process and removed at exit.
class ResultFile {
 public:
  ResultFile()
      : path_(std::filesystem::temp_directory_path() /
              ("kelpra_binfile_bench_" + std::to_string(::getpid()) + ".bin")) {
    std::vector<double> values(static_cast<std::size_t>(kValues));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = 0.5 * static_cast<double>(i);
    kelpra::write_r8_1d(path_.string(), "1.0 Bench", 1, kValues, values);
    bytes_ = std::filesystem::file_size(path_);
  }
  ~ResultFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  std::string name() const { return path_.string(); }
  std::uintmax_t bytes() const { return bytes_; }

 private:
  std::filesystem::path path_;
  std::uintmax_t bytes_ = 0;
};

const ResultFile& resultfile() {
  static const ResultFile file;
  return file;
}

void BM_read_r8_1d(benchmark::State& state) {
  const ResultFile& file = resultfile();
  std::vector<double> values(static_cast<std::size_t>(kValues));
  for (auto _ : state) {
    kelpra::read_r8_1d(file.name(), kValues, values);
    benchmark::DoNotOptimize(values.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.bytes()));
}

// The baseline: the value bytes alone, read straight into an array of the same kind, so
// that the difference is the reader's own cost and not where the bytes land.
void BM_plain_read(benchmark::State& state) {
  const ResultFile& file = resultfile();
  constexpr long kValuesAt = 88 + 4;  // header record, then the value record's length word
  std::vector<double> values(static_cast<std::size_t>(kValues));
  for (auto _ : state) {
    std::FILE* fp = std::fopen(file.name().c_str(), "rb");
    if (fp == nullptr || std::fseek(fp, kValuesAt, SEEK_SET) != 0 ||
        std::fread(values.data(), sizeof(double), values.size(), fp) != values.size()) {
      state.SkipWithError("plain read failed");
    }
    if (fp != nullptr) std::fclose(fp);
    benchmark::DoNotOptimize(values.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.bytes()));
}

BENCHMARK(BM_plain_read)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_read_r8_1d)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
