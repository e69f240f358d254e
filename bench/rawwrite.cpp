// The plain references of scripts/bench-model: as many bytes as kelpra wrote, produced the
// simplest way and timed alone.
//   kelpra_rawwrite ascii BYTES FILE   one core formats reals into kelpra's 26-character fields,
//                                      five to a line, and writes them in 1 MB blocks
//   kelpra_rawwrite binary BYTES FILE  writes BYTES of doubles from an array already in memory
// Prints the seconds taken.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "plot/tecplot.hpp"

namespace {

// In 4 MB slices, as kelpra writes large arrays.
bool writeall(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n < (std::size_t{4} << 20) ? n : (std::size_t{4} << 20));
    if (done <= 0) return false;
    data += done;
    n -= static_cast<std::size_t>(done);
  }
  return true;
}

bool ascii(int fd, std::uint64_t bytes) {
  constexpr std::size_t kLine = 5 * 26 + 1;
  std::vector<char> block((std::size_t{1} << 20) / kLine * kLine);
  std::uint64_t value = 0;
  while (bytes > 0) {
    std::size_t used = 0;
    while (used < block.size()) {
      for (std::size_t k = 0; k < 5; ++k) {
        kelpra::formatreal26(100.0 + 1e-3 * static_cast<double>(value++), &block[used + 26 * k]);
      }
      block[used + kLine - 1] = '\n';
      used += kLine;
    }
    const std::size_t n = bytes < used ? static_cast<std::size_t>(bytes) : used;
    if (!writeall(fd, block.data(), n)) return false;
    bytes -= n;
  }
  return true;
}

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The array is filled before the clock starts: only the write is timed.
bool binary(int fd, std::uint64_t bytes, double& seconds) {
  std::vector<double> values(static_cast<std::size_t>(bytes / sizeof(double) + 1));
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 100.0 + 1e-3 * static_cast<double>(i);
  const auto start = std::chrono::steady_clock::now();
  const bool ok = writeall(fd, reinterpret_cast<const char*>(values.data()), static_cast<std::size_t>(bytes));
  seconds = since(start);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string_view(argv[1]) != "ascii" && std::string_view(argv[1]) != "binary")) {
    std::fprintf(stderr, "usage: kelpra_rawwrite ascii|binary BYTES FILE\n");
    return 2;
  }
  const std::uint64_t bytes = std::strtoull(argv[2], nullptr, 10);
  const int fd = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror(argv[3]);
    return 1;
  }
  double seconds = 0;
  bool ok = true;
  if (std::string_view(argv[1]) == "binary") {
    ok = binary(fd, bytes, seconds);
  } else {
    const auto start = std::chrono::steady_clock::now();
    ok = ascii(fd, bytes);
    seconds = since(start);
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    std::perror(argv[3]);
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}
