// Test helpers that lay down model files: binary result files of every kind (through the
// library's own writers), record files of any contents, and the raw bytes of broken files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "support/fileunits.hpp"

namespace kelpra::testkit {

enum class Layout { current, legacy };

// Sets the writers' layout for the life of the object and puts the old one back after.
class LayoutScope {
 public:
  explicit LayoutScope(Layout layout);
  ~LayoutScope();
  LayoutScope(const LayoutScope&) = delete;
  LayoutScope& operator=(const LayoutScope&) = delete;

 private:
  bool saved_;
};

// 1-D result files ("I04", "R04", "R08"); text is the header text, e.g. "2.5 Heads".
void writeresult_i4(const std::filesystem::path& path, std::string_view text, const std::vector<std::int32_t>& values,
                    Layout layout = Layout::current);
void writeresult_r4(const std::filesystem::path& path, std::string_view text, const std::vector<float>& values,
                    Layout layout = Layout::current);
void writeresult_r8(const std::filesystem::path& path, std::string_view text, const std::vector<double>& values,
                    Layout layout = Layout::current);

// Multi-component result files: vec2 (2 components), vec3 (3), tensor (6) or a 2-D table
// (any number of columns). Every component holds the same number of values.
void writeresult_r4(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<float>>& components, Layout layout = Layout::current);
void writeresult_r8(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<double>>& components, Layout layout = Layout::current);

// Writes a record file one record at a time: add the record's values, then endrecord().
// Booleans take 4 bytes (1 or 0), texts are blank-padded or cut to their width.
class RecordFileWriter {
 public:
  explicit RecordFileWriter(const std::filesystem::path& path);  // creates or replaces the file
  ~RecordFileWriter();
  RecordFileWriter(const RecordFileWriter&) = delete;
  RecordFileWriter& operator=(const RecordFileWriter&) = delete;

  RecordFileWriter& i4(std::int32_t value);
  RecordFileWriter& i8(std::int64_t value);
  RecordFileWriter& r4(float value);
  RecordFileWriter& r8(double value);
  RecordFileWriter& l(bool value);
  RecordFileWriter& text(std::string_view value, std::size_t width);
  RecordFileWriter& i4s(std::span<const std::int32_t> values);
  RecordFileWriter& r4s(std::span<const float> values);
  RecordFileWriter& r8s(std::span<const double> values);
  RecordFileWriter& ls(const std::vector<bool>& values);
  // Writes what was added since the last record as one record (an empty record when nothing).
  RecordFileWriter& endrecord();
  // Flushes and closes the file; the destructor does the same.
  void close();

 private:
  UnitHandle file_;
  std::string pending_;
  std::filesystem::path path_;
};

// Raw little-endian bytes, for building files by hand.
std::string le_i4(std::int32_t value);
std::string le_r4(float value);
std::string le_r8(double value);
template <class T>
std::string le_values(const std::vector<T>& values) {
  std::string out;
  for (const T& v : values) {
    if constexpr (sizeof(T) == 8) {
      out += le_r8(static_cast<double>(v));
    } else if constexpr (std::is_floating_point_v<T>) {
      out += le_r4(v);
    } else {
      out += le_i4(v);
    }
  }
  return out;
}

// payload framed by its length words; the second form writes the words given instead.
std::string framedrecord(std::string_view payload);
std::string framedrecord(std::string_view payload, std::int32_t leading, std::int32_t trailing);

// An 80-character header, composed by hand: the text blank-padded to 55 columns and, in
// the current layout, tag, version "001", "LE", type code and the zero-filled counts.
std::string resultheader(std::string_view text, std::string_view typecode, int ncomponents, int nvalues,
                         Layout layout = Layout::current);

}  // namespace kelpra::testkit
