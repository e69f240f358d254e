// Saved forms of the table records on a file unit. The unit's access form decides the
// layout: on an unformatted unit each item is one record of the record-file framing, on a
// formatted unit each item is one free-format line (integers in decimal, logicals as T or
// F, reals in the shortest text that reads back exactly, several numbers of one item on
// one line). Logical fields travel as 4-byte integers, true as -1 and false as 0.
//
// The reader checks what it reads: a failed or short read, a value that is not of the
// item's type, a negative count or one larger than the rest of the file can hold stops the
// run with an input error, before any storage is sized by a count. Where the rest of the
// input cannot be known (a pipe), storage grows only with the items that arrive.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/checkedalloc.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"

namespace kelpra {

constexpr std::int32_t logicalword(bool value) noexcept { return value ? -1 : 0; }
// Any value with the lowest bit set reads as true.
constexpr bool logicalvalue(std::int32_t word) noexcept { return (word & 1) != 0; }

// The access form of the unit's file; a unit without a file stops the run with the input
// error `notconnected`.
FileForm savedformof(int unit, std::string_view notconnected);

class SavedFormWriter {
 public:
  SavedFormWriter(int unit, std::string_view notconnected);

  void integer(std::int32_t value);
  void logical(bool value);
  void real(double value);
  void pair(double first, double second);
  // All values as one item.
  void reals(std::span<const double> values);
  // The characters of text as one item, blanks and all.
  void text(std::string_view text);

 private:
  void put(const void* bytes, std::size_t n);
  void finishline();

  int unit_;
  FileForm form_;
  std::string line_;
};

class SavedFormReader {
 public:
  // context names the reading operation in the messages ("TimeValueTable::deserialize").
  SavedFormReader(int unit, std::string_view notconnected, std::string_view context);

  std::int32_t integer();
  bool logical();
  double real();
  void pair(double& first, double& second);
  void reals(std::span<double> values);
  // An item of `length` characters, or of `count` reals; the storage grows with the input.
  std::string text(std::int64_t length, std::string_view what);
  std::vector<double> reals(std::int64_t count, std::string_view what);

  // `count` items, each read by read(item), into a vector whose storage grows with them; a
  // failed allocation is reported as `what`.
  template <class T, class Read>
  std::vector<T> items(std::int64_t count, std::string_view what, Read read) {
    std::vector<T> out;
    checkedalloc(what, [&] { out.reserve(firstreservation(count)); });
    for (std::int64_t i = 0; i < count; ++i) {
      T item{};
      read(item);
      checkedalloc(what, [&] { out.push_back(item); });
    }
    return out;
  }

  // Stops the run unless 0 <= count and the rest of the file can hold count items of
  // `numbers` 8-byte numbers each (one item apiece, or one item for all when together).
  void checkcount(std::int64_t count, int numbers, bool together, std::string_view what);
  // The same for a text item of length characters.
  void checklength(std::int64_t length, std::string_view what);
  [[noreturn]] void invalid(std::string_view problem) const;

 private:
  // What may be set aside for `count` items before any is read: all of them when the file's
  // size backs the count (checkcount sees to that), a bounded part where it is unknown.
  std::size_t firstreservation(std::int64_t count) const;
  void get(void* bytes, std::size_t n);
  // One formatted item of n values into fields_; a missing value is a failed read.
  void readfields(std::size_t n);
  // The values of fields_.
  void parsereals(std::span<double> values);
  void needbytes(std::int64_t count, std::int64_t bytes, std::string_view what);
  [[noreturn]] void readfailed(int status) const;

  int unit_;
  FileForm form_;
  std::string context_;
  FreeFields fields_;
};

}  // namespace kelpra
