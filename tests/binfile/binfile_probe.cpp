// Reads one result file the way the program would and prints what it read:
//   binfile_probe KIND FILE [N]
// KIND: header (read and parse the header), r8_1d, r4_1d, i4_1d, r8_vec2, r8_vec3,
// r8_tensor, r8_2d (N rows, 2 columns), safe_r8, numvals_r8.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "binfile/binfile.hpp"
#include "binfile/readers.hpp"
#include "support/errors.hpp"

using namespace kelpra;

namespace {

void print(const std::vector<double>& values) {
  for (const double v : values) std::printf("%g\n", v);
}

int run(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string kind = argv[1];
  const std::string file = argv[2];
  const int n = argc > 3 ? std::atoi(argv[3]) : 0;
  const auto size = static_cast<std::size_t>(n > 0 ? n : 0);
  if (kind == "header") {
    const BinFileHeader h = parsetnqbinfileheader(readtnqbinfileheader(file));
    std::printf("%d %s %d\n", h.status, h.typecode.c_str(), h.nvalues);
  } else if (kind == "r8_1d") {
    std::vector<double> v(size);
    read_r8_1d(file, n, v);
    print(v);
  } else if (kind == "r4_1d") {
    std::vector<float> v(size);
    read_r4_1d(file, n, v);
    print(std::vector<double>(v.begin(), v.end()));
  } else if (kind == "i4_1d") {
    std::vector<std::int32_t> v(size);
    read_i4_1d(file, n, v);
    print(std::vector<double>(v.begin(), v.end()));
  } else if (kind == "r8_vec2") {
    std::vector<double> x(size), y(size);
    read_r8_vec2(file, n, x, y);
    print(x);
    print(y);
  } else if (kind == "r8_vec3") {
    std::vector<double> x(size), y(size), z(size);
    read_r8_vec3(file, n, x, y, z);
    print(x);
    print(y);
    print(z);
  } else if (kind == "r8_tensor") {
    std::vector<std::vector<double>> c(6, std::vector<double>(size));
    read_r8_tensor(file, n, c[0], c[1], c[2], c[3], c[4], c[5]);
    for (const auto& comp : c) print(comp);
  } else if (kind == "r8_2d") {
    std::vector<double> v(size * 2);
    read_r8_2d(file, n, Array2DRef<double>(v.data(), n, 2));
    print(v);
  } else if (kind == "safe_r8") {
    std::vector<double> v(size);
    read_safe_r8_1d(file, n, v);
    print(v);
  } else if (kind == "numvals_r8") {
    std::printf("%d\n", numvals_r8_1d(file));
  } else {
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const RunStopped& stop) {
    return stop.exitstatus;
  }
}
