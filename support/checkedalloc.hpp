// Sizing run-time arrays with failures reported as allocation errors, and sizes computed
// without overflow.
#pragma once

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra {

// a * b for non-negative factors, held at the largest 8-byte value instead of overflowing.
constexpr std::int64_t saturatedproduct(std::int64_t a, std::int64_t b) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (a <= 0 || b <= 0) return 0;
  return a > kMax / b ? kMax : a * b;
}

// The result of make(); a failed allocation stops the run with the allocation report `what`.
template <class Make>
auto checkedalloc(std::string_view what, Make&& make) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  check_alloc(kStatusNoMemory, what);
  throw RunStopped{};  // not reached: check_alloc stops the run for a non-zero status
}

// Sizes a run-time array to n value-initialised entries; a failure goes to the allocation
// report with `what`.
template <class V>
void allocatearray(V& array, std::int64_t n, std::string_view what) {
  if (n < 0) return check_alloc(kStatusNoMemory, what);
  checkedalloc(what, [&] { array.assign(static_cast<std::size_t>(n), typename V::value_type{}); });
}

}  // namespace kelpra
