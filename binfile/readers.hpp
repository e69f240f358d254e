// Readers of binary result files (layout in binfile/binfile.hpp) into the caller's arrays.
//
// n is the caller's count of values per component (nodes or elements); the record-based
// readers never compare it with the header's count. Every array must hold at least n
// values (the 2-D array at least n rows; its column count says how many components are
// read). When header is given it receives the file's 80-character header text.
//
// Every failure stops the run: a missing file through checkfileopen, a short or broken
// record with "Error reading ... from file " and the file name, followed by a line that says
// what the file holds there (binfile/readfault.hpp). A current-layout header that names
// another value type than the one read (an R08 file read as R04) is warned of once per file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binfile/binfile.hpp"

namespace kelpra {

// The result files the readers opened since the last call, each once, in the order first
// opened: the files whose values the zone being written holds.
std::vector<std::string> takeresultfilesread();

// One record of n values; both layouts.
void read_i4_1d(std::string_view fname, std::int32_t n, std::span<std::int32_t> values, std::string* header = nullptr);
void read_r4_1d(std::string_view fname, std::int32_t n, std::span<float> values, std::string* header = nullptr);
void read_r8_1d(std::string_view fname, std::int32_t n, std::span<double> values, std::string* header = nullptr);

// Current layout: one record per component; legacy: n records of all components.
void read_r4_vec2(std::string_view fname, std::int32_t n, std::span<float> x, std::span<float> y,
                  std::string* header = nullptr);
void read_r8_vec2(std::string_view fname, std::int32_t n, std::span<double> x, std::span<double> y,
                  std::string* header = nullptr);
void read_r4_vec3(std::string_view fname, std::int32_t n, std::span<float> x, std::span<float> y, std::span<float> z,
                  std::string* header = nullptr);
void read_r8_vec3(std::string_view fname, std::int32_t n, std::span<double> x, std::span<double> y,
                  std::span<double> z, std::string* header = nullptr);
void read_r4_tensor(std::string_view fname, std::int32_t n, std::span<float> c1, std::span<float> c2,
                    std::span<float> c3, std::span<float> c4, std::span<float> c5, std::span<float> c6,
                    std::string* header = nullptr);
void read_r8_tensor(std::string_view fname, std::int32_t n, std::span<double> c1, std::span<double> c2,
                    std::span<double> c3, std::span<double> c4, std::span<double> c5, std::span<double> c6,
                    std::string* header = nullptr);

// n rows and values.cols columns. Current layout: one record per column; legacy: one per row.
void read_r4_2d(std::string_view fname, std::int32_t n, Array2DRef<float> values, std::string* header = nullptr);
void read_r8_2d(std::string_view fname, std::int32_t n, Array2DRef<double> values, std::string* header = nullptr);

// Read the file as a byte stream: the header record, then the first value record's length
// word, whose count of values must equal n, then n values.
void read_safe_i4_1d(std::string_view fname, std::int32_t n, std::span<std::int32_t> values,
                     std::string* header = nullptr);
void read_safe_r4_1d(std::string_view fname, std::int32_t n, std::span<float> values, std::string* header = nullptr);
void read_safe_r8_1d(std::string_view fname, std::int32_t n, std::span<double> values, std::string* header = nullptr);

// The number of values of the given size that the first value record holds. A length word
// that is negative or runs past the end of the file is a read error, so the count is safe
// to size an array with.
std::int32_t numvalswork_1d(std::string_view fname, std::int32_t elementsize);
inline std::int32_t numvals_i4_1d(std::string_view fname) { return numvalswork_1d(fname, 4); }
inline std::int32_t numvals_r4_1d(std::string_view fname) { return numvalswork_1d(fname, 4); }
inline std::int32_t numvals_r8_1d(std::string_view fname) { return numvalswork_1d(fname, 8); }

}  // namespace kelpra
