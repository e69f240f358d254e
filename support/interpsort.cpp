#include "support/interpsort.hpp"

#include <chrono>
#include <limits>
#include <cstddef>
#include <thread>
#include <utility>

#include "support/errors.hpp"

namespace kelpra {
namespace {

using Pos = std::ptrdiff_t;

// Tokuda's sequence, h(k) = ceiling((9 (9/4)^(k-1) - 4) / 5), largest first.
constexpr std::int32_t gaps[26] = {1147718700, 510097200, 226709866, 100759940, 44782196, 19903198, 8845866,
                                   3931496,    1747331,   776591,    345152,    153401,   68178,    30301,
                                   13467,      5985,      2660,      1182,      525,      233,      103,
                                   46,         20,        9,         4,         1};

// The sorts are written once over "the sequence that moves" (the keys themselves, or an
// index array) and "the key of one of its entries".
struct OwnKey {
  template <class T>
  T operator()(T v) const noexcept {
    return v;
  }
};

template <class K>
struct IndexedKey {
  std::span<const K> a;
  K operator()(std::int32_t i) const noexcept { return a[static_cast<std::size_t>(i - 1)]; }
};

std::size_t indexcount(std::int32_t n, std::size_t keys, std::size_t room) noexcept {
  return detail::usedcount(n, keys < room ? keys : room);
}

void fillidentity(std::span<std::int32_t> idx, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) idx[i] = static_cast<std::int32_t>(i + 1);
}

// Stable insertion sort of v[l .. r].
template <class E, class Key>
void insertionrange(std::span<E> v, Pos l, Pos r, Key key) {
  for (Pos i = l + 1; i <= r; ++i) {
    const E e = v[i];
    const auto ke = key(e);
    Pos j = i - 1;
    while (j >= l && key(v[j]) > ke) {
      v[j + 1] = v[j];
      --j;
    }
    v[j + 1] = e;
  }
}

template <class E, class Key>
void shellsort(std::span<E> v, Key key) {
  const auto n = static_cast<Pos>(v.size());
  for (const std::int32_t g : gaps) {
    if (n <= g) continue;
    for (Pos i = g; i < n; ++i) {
      const E e = v[i];
      const auto ke = key(e);
      Pos j = i;
      while (j >= g && key(v[j - g]) > ke) {
        v[j] = v[j - g];
        j -= g;
      }
      v[j] = e;
    }
  }
}

// Quicksort with median-of-three pivots; ranges of 16 or fewer are left to insertion
// sort. The larger part of each partition waits on the stack, so its depth stays near
// 2 log2(n).
template <class E, class Key>
void quicksort(std::span<E> v, Key key) {
  constexpr int kStackSize = 64;
  constexpr Pos kInsertionRange = 16;
  Pos stack[kStackSize];
  int top = 0;
  Pos l = 0;
  Pos r = static_cast<Pos>(v.size()) - 1;
  auto exchangeifgreater = [&](Pos p, Pos q) {
    if (key(v[p]) > key(v[q])) std::swap(v[p], v[q]);
  };
  for (;;) {
    if (r - l >= kInsertionRange) {
      std::swap(v[l + (r - l) / 2], v[l + 1]);
      exchangeifgreater(l, r);
      exchangeifgreater(l + 1, r);
      exchangeifgreater(l, l + 1);
      const E pe = v[l + 1];
      const auto p = key(pe);
      Pos i = l + 1;
      Pos j = r;
      for (;;) {
        // v[r] and v[l + 1] stop these scans for ordered keys; the bounds keep keys that
        // do not order (NaN) inside the range as well.
        do ++i;
        while (i < r && key(v[i]) < p);
        do --j;
        while (j > l + 1 && key(v[j]) > p);
        if (j <= i) break;
        std::swap(v[i], v[j]);
      }
      v[l + 1] = v[j];
      v[j] = pe;
      if (top + 2 > kStackSize) fatalerror("QuickSort stack size exceeded.");
      if (r - j < j - l) {
        stack[top++] = l;
        stack[top++] = j - 1;
        l = j + 1;
      } else {
        stack[top++] = j + 1;
        stack[top++] = r;
        r = j - 1;
      }
    } else {
      insertionrange(v, l, r, key);
      if (top == 0) return;
      r = stack[--top];
      l = stack[--top];
    }
  }
}

template <class T>
void uniqueequal(std::int32_t& n, std::span<T> a) noexcept {
  auto same = [](T x, T y) { return x == y; };
  detail::uniquerun(n, a, same);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Interpolation and search

double lerpr8(double a, double b, double t) noexcept {
  // Opposite signs (or a zero): the two-product form is exact at both ends.
  if ((a <= 0.0 && b >= 0.0) || (a >= 0.0 && b <= 0.0)) return t * b + (1.0 - t) * a;
  if (t == 1.0) return b;
  const double x = a + t * (b - a);
  // Clamp the rounding overshoot past b so the result stays monotonic in t.
  if ((t > 1.0) == (b > a)) return b > x ? b : x;
  return b < x ? b : x;
}

namespace {
// lo with x(lo) <= xq < x(lo + 1), 1-based, for x(1) <= xq < x(n).
std::int32_t bisect(std::span<const double> x, std::int32_t n, double xq) noexcept {
  std::int32_t lo = 1;
  std::int32_t hi = n;
  while (hi - lo > 1) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (x[static_cast<std::size_t>(mid - 1)] > xq) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return lo;
}
}  // namespace

void interptabler8(std::int32_t n, std::span<const double> x, std::span<const double> y, double xq, double& yq) {
  const auto m = static_cast<std::int32_t>(detail::usedcount(n, x.size() < y.size() ? x.size() : y.size()));
  if (m < 1) fatalerror("Interpolation table is empty.");
  const auto last = static_cast<std::size_t>(m - 1);
  if (xq >= x[last]) {
    yq = y[last];
  } else if (xq <= x[0]) {
    yq = y[0];
  } else {
    const auto lo = static_cast<std::size_t>(bisect(x, m, xq) - 1);
    const double t = (xq - x[lo]) / (x[lo + 1] - x[lo]);
    yq = lerpr8(y[lo], y[lo + 1], t);
  }
}

std::int32_t binsearchr8(double xq, std::int32_t n, std::span<const double> x) {
  const auto m = static_cast<std::int32_t>(detail::usedcount(n, x.size()));
  if (m < 1) fatalerror("Search table is empty.");
  if (xq >= x[static_cast<std::size_t>(m - 1)]) return m;
  if (m < 3) return 1;
  return bisect(x, m, xq);
}

// ---------------------------------------------------------------------------------------
// Small array operations

void sort2i4(std::span<std::int32_t, 2> a) noexcept {
  if (a[0] > a[1]) std::swap(a[0], a[1]);
}

void sort3i4(std::span<std::int32_t, 3> a) noexcept {
  if (a[0] > a[1]) std::swap(a[0], a[1]);
  if (a[1] > a[2]) std::swap(a[1], a[2]);
  if (a[0] > a[1]) std::swap(a[0], a[1]);
}

void swapi4mask(std::int32_t& a, std::int32_t& b, bool mask) noexcept {
  if (mask) std::swap(a, b);
}
void swapi4(std::int32_t& a, std::int32_t& b) noexcept { std::swap(a, b); }
void swapr8(double& a, double& b) noexcept { std::swap(a, b); }

void reversearrayi4(std::span<std::int32_t> a) noexcept {
  for (std::size_t i = 0, j = a.size(); i + 1 < j; ++i, --j) std::swap(a[i], a[j - 1]);
}

void iotai4(std::int32_t start, std::span<std::int32_t> a) noexcept {
  // Unsigned steps wrap instead of overflowing past the 4-byte limit.
  auto v = static_cast<std::uint32_t>(start);
  for (auto& e : a) e = static_cast<std::int32_t>(v++);
}

void uniquer8(std::int32_t& n, std::span<double> a) noexcept { uniqueequal(n, a); }
void uniquei4(std::int32_t& n, std::span<std::int32_t> a) noexcept { uniqueequal(n, a); }

void progsleep(std::int32_t milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---------------------------------------------------------------------------------------
// Sorts

void insertionsortr8(std::int32_t n, std::span<double> a) noexcept {
  insertionrange(a, 0, static_cast<Pos>(detail::usedcount(n, a.size())) - 1, OwnKey{});
}
void insertionsorti4(std::int32_t n, std::span<std::int32_t> a) noexcept {
  insertionrange(a, 0, static_cast<Pos>(detail::usedcount(n, a.size())) - 1, OwnKey{});
}
void insertionsortr8index(std::int32_t n, std::span<const double> a, std::span<std::int32_t> idx) noexcept {
  const auto m = indexcount(n, a.size(), idx.size());
  fillidentity(idx, m);
  insertionrange(idx, 0, static_cast<Pos>(m) - 1, IndexedKey<double>{a});
}
void insertionsorti4index(std::int32_t n, std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept {
  const auto m = indexcount(n, a.size(), idx.size());
  fillidentity(idx, m);
  insertionrange(idx, 0, static_cast<Pos>(m) - 1, IndexedKey<std::int32_t>{a});
}

void shellsortr8(std::int32_t n, std::span<double> a) noexcept {
  shellsort(a.first(detail::usedcount(n, a.size())), OwnKey{});
}
void shellsortr8index(std::int32_t n, std::span<const double> a, std::span<std::int32_t> idx) noexcept {
  const auto m = indexcount(n, a.size(), idx.size());
  fillidentity(idx, m);
  shellsort(idx.first(m), IndexedKey<double>{a});
}

void quicksorti4(std::int32_t n, std::span<std::int32_t> a) {
  quicksort(a.first(detail::usedcount(n, a.size())), OwnKey{});
}
void quicksortr8(std::int32_t n, std::span<double> a) {
  quicksort(a.first(detail::usedcount(n, a.size())), OwnKey{});
}
void quicksorti4index(std::int32_t n, std::span<const std::int32_t> a, std::span<std::int32_t> idx) {
  const auto m = indexcount(n, a.size(), idx.size());
  fillidentity(idx, m);
  quicksort(idx.first(m), IndexedKey<std::int32_t>{a});
}
void quicksortr8index(std::int32_t n, std::span<const double> a, std::span<std::int32_t> idx) {
  const auto m = indexcount(n, a.size(), idx.size());
  fillidentity(idx, m);
  quicksort(idx.first(m), IndexedKey<double>{a});
}

void heapsorti4index(std::int32_t n, std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept {
  const auto m = static_cast<std::int32_t>(indexcount(n, a.size(), idx.size()));
  fillidentity(idx, static_cast<std::size_t>(m));
  if (m < 2) return;
  // 1-based heap positions, as the parent/child arithmetic is written for them.
  auto at = [&](std::int32_t k) -> std::int32_t& { return idx[static_cast<std::size_t>(k - 1)]; };
  const IndexedKey<std::int32_t> key{a};
  std::int32_t l = m / 2 + 1;
  std::int32_t ir = m;
  for (;;) {
    std::int32_t t = 0;
    if (l > 1) {
      --l;
      t = at(l);
    } else {
      t = at(ir);
      at(ir) = at(1);
      if (--ir == 1) {
        at(1) = t;
        return;
      }
    }
    std::int32_t i = l;
    std::int32_t j = 2 * l;
    while (j <= ir) {
      if (j < ir && key(at(j)) < key(at(j + 1))) ++j;
      if (key(t) < key(at(j))) {
        at(i) = at(j);
        i = j;
        j = 2 * j;
      } else {
        j = ir + 1;
      }
    }
    at(i) = t;
  }
}

// The nodim forms take the count from the key array.
namespace {
std::int32_t sizecount(std::size_t n) noexcept {
  constexpr auto most = std::numeric_limits<std::int32_t>::max();
  return n > static_cast<std::size_t>(most) ? most : static_cast<std::int32_t>(n);
}
}  // namespace

void insertionsortr8nodim(std::span<double> a) noexcept { insertionsortr8(sizecount(a.size()), a); }
void insertionsorti4nodim(std::span<std::int32_t> a) noexcept { insertionsorti4(sizecount(a.size()), a); }
void insertionsortr8indexnodim(std::span<const double> a, std::span<std::int32_t> idx) noexcept {
  insertionsortr8index(sizecount(a.size()), a, idx);
}
void insertionsorti4indexnodim(std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept {
  insertionsorti4index(sizecount(a.size()), a, idx);
}
void shellsortr8nodim(std::span<double> a) noexcept { shellsortr8(sizecount(a.size()), a); }
void shellsortr8indexnodim(std::span<const double> a, std::span<std::int32_t> idx) noexcept {
  shellsortr8index(sizecount(a.size()), a, idx);
}
void quicksorti4nodim(std::span<std::int32_t> a) { quicksorti4(sizecount(a.size()), a); }
void quicksortr8nodim(std::span<double> a) { quicksortr8(sizecount(a.size()), a); }
void quicksorti4indexnodim(std::span<const std::int32_t> a, std::span<std::int32_t> idx) {
  quicksorti4index(sizecount(a.size()), a, idx);
}
void quicksortr8indexnodim(std::span<const double> a, std::span<std::int32_t> idx) {
  quicksortr8index(sizecount(a.size()), a, idx);
}
void heapsorti4indexnodim(std::span<const std::int32_t> a, std::span<std::int32_t> idx) noexcept {
  heapsorti4index(sizecount(a.size()), a, idx);
}

}  // namespace kelpra
