// Binary result files of the simulator: one 80-character header record, then value
// records (record framing in support/recordio.hpp).
//
// Header columns (1-based) in the current layout:
//    1-55  header text: a time stamp word, one blank and a free description
//   56-60  format tag "#!TNQ"
//   61-63  format version "001"
//   64-65  byte order "LE"
//   66-68  value type "I04", "R04" or "R08"
//   69-70  number of components, zero-filled
//   71-80  number of values per component, zero-filled
// A legacy header is the header text alone, blank-padded to 80 characters.
//
// Value records, n values per component:
//   kind       current layout                       legacy layout
//   1-D        one record of n values               the same
//   vec2/3     one record per component             n records of 2 or 3 values
//   tensor     six records, one per component      n records of 6 values
//   2-D n x m  m records, column j holds rows 1..n  n records, row i holds columns 1..m
//
// Every operation opens, reads or writes, and closes its file within the call.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace kelpra {

inline constexpr std::size_t kBinHeaderLength = 80;
inline constexpr std::string_view kBinFormatTag = "#!TNQ";

// Makes the writers lay down the legacy layout. Nothing in the program sets it.
inline bool writelegacybinformat = false;

// A parsed header. Fields keep these values when the header does not carry them
// (a legacy header ends the parse after the description).
struct BinFileHeader {
  std::int32_t status = -1;                   // 0 current layout, -1 legacy
  std::string timestamp = std::string(54, ' ');
  std::string description = std::string(54, ' ');
  std::string magic = std::string(5, ' ');
  std::int32_t version = -1;
  std::string endianness = "UK";
  std::string typecode = "UNK";
  std::int32_t ncomponents = 0;
  std::int32_t nvalues = 0;
};

// A caller's two-dimensional array of rows x cols values stored by columns: element (i, j),
// counted from 1, lies at data[(i - 1) + (j - 1) * rows].
template <class T>
struct Array2DRef {
  T* data = nullptr;
  std::int32_t rows = 0;
  std::int32_t cols = 0;

  Array2DRef() = default;
  Array2DRef(T* d, std::int32_t r, std::int32_t c) : data(d), rows(r), cols(c) {}
  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<std::remove_const_t<T>, U>)
  Array2DRef(const Array2DRef<U>& other) : data(other.data), rows(other.rows), cols(other.cols) {}

  T& operator()(std::int32_t i, std::int32_t j) const {
    return data[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(rows)];
  }
  T* column(std::int32_t j) const { return data + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(rows); }
};

// Builds the header from text (left-adjusted; in the current layout its columns 56 onward
// give way to the fields) and writes it as one record on the open unit. Returns the write
// status. A count too wide for its field is written as asterisks.
int writeformattedheader(int unit, std::string_view text, std::string_view typecode, std::int32_t ncomponents,
                         std::int32_t nvalues);

// 1-D files of values(ibeg..iend), positions counting from 1; iend < ibeg writes an empty
// value record. Replace any file of that name; failures stop the run.
void write_i4_1d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 std::span<const std::int32_t> values);
void write_r4_1d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 std::span<const float> values);
void write_r8_1d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 std::span<const double> values);

// 2-D files of rows ibeg..iend of values, one component per column. Vector and tensor
// files are 2-D files of 2, 3 or 6 columns.
void write_r4_2d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 Array2DRef<const float> values);
void write_r8_2d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 Array2DRef<const double> values);

// The 80-character header text of an existing file; failures stop the run.
std::string readtnqbinfileheader(std::string_view fname);

// Splits and checks a header of at least 80 characters; a malformed header stops the run.
BinFileHeader parsetnqbinfileheader(std::string_view header);

// True when header columns 56-60 hold the format tag.
bool isnewerfileformat(std::string_view header);

}  // namespace kelpra
