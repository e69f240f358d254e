// Pieces shared by the time tables: the panel search, the restored panel, the growth of the
// storage, the two-column listing and the reader of pair lines that ends at a line beginning
// with "end".
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/checkedalloc.hpp"
#include "support/textformats.hpp"

namespace kelpra {

// The panel i with time(i) <= t < time(i + 1) among count increasing times (time takes a
// 1-based index): the cached panel when it holds t, else found by bisection; 0 before the
// first time, from the last time on and for NaN.
template <class Time>
std::int32_t findpanel(double t, std::int32_t count, std::int32_t cached, Time time) {
  if (count < 1 || !(t >= time(1)) || t >= time(count)) return 0;
  if (cached >= 1 && cached < count && time(cached) <= t && t < time(cached + 1)) return cached;
  if (count < 3) return 1;
  std::int32_t lo = 1;
  std::int32_t hi = count;
  while (hi - lo > 1) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (time(mid) > t) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return lo;
}

// The cached panel a restored table of count times starts from: the saved one when it names
// a panel, else 1.
constexpr std::int32_t restoredpanel(std::int32_t cached, std::int32_t count) noexcept {
  return cached >= 1 && cached <= std::max(1, count - 1) ? cached : 1;
}

// Replaces storage by capacity zeroed entries beginning with its first kept ones (kept <=
// both sizes); a failure is the allocation error `what`.
template <class T>
void regrow(std::vector<T>& storage, std::int32_t capacity, std::int32_t kept, std::string_view what) {
  std::vector<T> bigger;
  allocatearray(bigger, capacity, what);
  std::copy_n(storage.begin(), kept, bigger.begin());
  storage.swap(bigger);
}

// Fortran's unit numbers of the standard streams, accepted wherever a listing may go.
inline constexpr int kStandardOutputUnit = 6;
inline constexpr int kStandardErrorUnit = 0;

// Lines of two numbers in a layout: a format text of support/textformats.hpp whose
// descriptors write reals (nX adds blanks); it serves both numbers of a line, starting over
// on the same line when it holds fewer. The default is "(2ES24.15e3)".
class PairListing {
 public:
  // unit: a unit of the pool with a formatted file, 6 (standard output, the default) or 0
  // (standard error). A layout that is not such a text, or a unit without a file, fails as
  // a write.
  PairListing(std::optional<int> unit, std::optional<std::string_view> layout);
  void line(double first, double second);
  // The status of the listing: iostat receives it (0 after a complete write); without
  // iostat a failure stops the run with `failure`.
  void finish(int* iostat, std::string_view failure) const;

 private:
  std::FILE* stream_ = nullptr;
  std::vector<EditDescriptor> layout_;
  std::string text_;
  int status_ = 0;
};

struct PairReaderTexts {
  std::string_view readerror;   // a failed line read (with status)
  std::string_view missingend;  // end of file before the end line
  std::string_view badpair;     // a line that is not two numbers (with status), the line follows
};

// Reads lines from a formatted unit up to the next pair line (blank lines skipped) and
// returns its first two free-format numbers; false at the end line. Failures stop the run
// with the texts given.
bool readpairline(int unit, const PairReaderTexts& texts, double& first, double& second);

}  // namespace kelpra
