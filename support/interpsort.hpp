// Table interpolation, linear interpolation, bisection search, sorts and small array
// operations. Positions, counts and index values count from 1, as every node and
// element number of the system does.
//
// Counts: the operations with an explicit count n work on the first n elements; a count
// beyond an array's size is cut to that size and a negative count works as 0. The forms
// ending in "nodim" take the count from the array size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelpra {

namespace detail {
// A caller's count cut to [0, size].
constexpr std::size_t usedcount(std::int32_t n, std::size_t size) noexcept {
  return n <= 0 ? 0 : (static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size);
}

template <class T, class Same>
void uniquerun(std::int32_t& n, std::span<T> a, Same& same) {
  const std::size_t count = usedcount(n, a.size());
  if (count < 2) return;
  std::size_t k = 0;
  for (std::size_t i = 1; i < count; ++i) {
    if (!same(a[k], a[i])) a[++k] = a[i];
  }
  n = static_cast<std::int32_t>(k + 1);
}
}  // namespace detail

// ---------------------------------------------------------------------------------------
// Interpolation and search (x ascending)

// Value of the table (x, y) at xq, linear between points and held constant beyond both
// ends. An empty table stops the run.
void interptabler8(std::int32_t n, std::span<const double> x, std::span<const double> y, double xq, double& yq);
// a at t = 0, b at t = 1, exactly at both ends and monotonic in t.
double lerpr8(double a, double b, double t) noexcept;
// Index i with x(i) <= xq < x(i + 1); n when xq >= x(n), 1 when xq < x(1). An empty
// table stops the run.
std::int32_t binsearchr8(double xq, std::int32_t n, std::span<const double> x);

// ---------------------------------------------------------------------------------------
// Small array operations

void sort2i4(std::span<std::int32_t, 2> a) noexcept;
// Compare-exchange of (1, 2), (2, 3), (1, 2).
void sort3i4(std::span<std::int32_t, 3> a) noexcept;
void swapi4mask(std::int32_t& a, std::int32_t& b, bool mask) noexcept;
void swapi4(std::int32_t& a, std::int32_t& b) noexcept;
void swapr8(double& a, double& b) noexcept;
void reversearrayi4(std::span<std::int32_t> a) noexcept;
// a(i) = start + i - 1.
void iotai4(std::int32_t start, std::span<std::int32_t> a) noexcept;

// Remove repeated neighbours among the first n elements: the kept values move to the
// front and n becomes their number; the elements behind them keep their old values.
// Reals compare for exact equality.
void uniquer8(std::int32_t& n, std::span<double> a) noexcept;
void uniquei4(std::int32_t& n, std::span<std::int32_t> a) noexcept;
// same(kept, next) true means next repeats the last kept value.
template <class Same>
void uniquei4pred(std::int32_t& n, std::span<std::int32_t> a, Same same) {
  detail::uniquerun(n, a, same);
}

// Suspends the program; a count of 0 or below returns at once.
void progsleep(std::int32_t milliseconds);

// ---------------------------------------------------------------------------------------
// Sorts, ascending. In-place forms move the keys; index forms set idx(i) = i for the
// first n positions and then permute idx so that a(idx(1)), a(idx(2)), ... ascend,
// leaving a unchanged. Insertion sorts keep equal keys in their order; the others do not
// promise to. A quicksort whose partition stack would pass 64 entries stops the run.

void insertionsortr8(std::int32_t n, std::span<double> a) noexcept;
void insertionsorti4(std::int32_t n, std::span<std::int32_t> a) noexcept;
void insertionsortr8index(std::int32_t n, std::span<const double> a, std::span<std::int32_t> idx) noexcept;
void insertionsorti4index(std::int32_t n, std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept;
void shellsortr8(std::int32_t n, std::span<double> a) noexcept;
void shellsortr8index(std::int32_t n, std::span<const double> a, std::span<std::int32_t> idx) noexcept;
void quicksorti4(std::int32_t n, std::span<std::int32_t> a);
void quicksortr8(std::int32_t n, std::span<double> a);
void quicksorti4index(std::int32_t n, std::span<const std::int32_t> a, std::span<std::int32_t> idx);
void quicksortr8index(std::int32_t n, std::span<const double> a, std::span<std::int32_t> idx);
void heapsorti4index(std::int32_t n, std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept;

void insertionsortr8nodim(std::span<double> a) noexcept;
void insertionsorti4nodim(std::span<std::int32_t> a) noexcept;
void insertionsortr8indexnodim(std::span<const double> a, std::span<std::int32_t> idx) noexcept;
void insertionsorti4indexnodim(std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept;
void shellsortr8nodim(std::span<double> a) noexcept;
void shellsortr8indexnodim(std::span<const double> a, std::span<std::int32_t> idx) noexcept;
void quicksorti4nodim(std::span<std::int32_t> a);
void quicksortr8nodim(std::span<double> a);
void quicksorti4indexnodim(std::span<const std::int32_t> a, std::span<std::int32_t> idx);
void quicksortr8indexnodim(std::span<const double> a, std::span<std::int32_t> idx);
void heapsorti4indexnodim(std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept;

}  // namespace kelpra
