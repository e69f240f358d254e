#include "support/numutils.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"

namespace kelpra {

std::int32_t numdigits(std::int32_t n) {
  // Widened so that the magnitude of the most negative value exists.
  std::int64_t m = n < 0 ? -static_cast<std::int64_t>(n) : n;
  std::int32_t digits = 1;
  while (m > 9) {
    m /= 10;
    ++digits;
  }
  return digits;
}

std::string zeropaddedintstring(std::int32_t width, std::int32_t value, int* iostat) {
  // The text is formed in a 16-character field; a width outside it cannot be written.
  constexpr std::int32_t kField = 16;
  std::string out;
  int status = 0;
  if (width < 1 || width > kField) {
    status = kStatusWriteFailed;
  } else if (value < 0 || numdigits(value) > width) {
    out.assign(static_cast<std::size_t>(width), '*');
  } else {
    char digits[16];
    const auto res = std::to_chars(digits, digits + sizeof digits, value);
    const auto len = static_cast<std::size_t>(res.ptr - digits);
    out.assign(static_cast<std::size_t>(width) - len, '0');
    out.append(digits, len);
  }
  if (iostat != nullptr) {
    *iostat = status;
  } else if (status != 0) {
    fatalerror("Zero padded integer string conversion failed.");
  }
  return out;
}

double pointtosegmentdistsq(std::span<const double> a, std::span<const double> b, std::span<const double> p) {
  const std::size_t d = std::min({a.size(), b.size(), p.size()});
  if (d < 1) return 0.0;
  double l2 = 0.0;
  for (std::size_t i = 0; i < d; ++i) l2 += (b[i] - a[i]) * (b[i] - a[i]);
  double sum = 0.0;
  if (l2 == 0.0) {
    for (std::size_t i = 0; i < d; ++i) sum += (p[i] - a[i]) * (p[i] - a[i]);
    return sum;
  }
  double s = 0.0;
  for (std::size_t i = 0; i < d; ++i) s += (p[i] - a[i]) * (b[i] - a[i]);
  s = std::clamp(s / l2, 0.0, 1.0);
  for (std::size_t i = 0; i < d; ++i) {
    const double q = a[i] + s * (b[i] - a[i]) - p[i];
    sum += q * q;
  }
  return sum;
}

double triangleareasigned(const std::array<double, 2>& p1, const std::array<double, 2>& p2,
                          const std::array<double, 2>& p3) {
  const auto [x1, y1] = p1;
  const auto [x2, y2] = p2;
  const auto [x3, y3] = p3;
  return 0.5 * ((y2 - y3) * x1 + ((x3 - x2) * y1 + (x2 * y3 - y2 * x3)));
}

std::array<double, 3> cross(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - b[2] * a[0], b[1] * a[0] - a[1] * b[0]};
}

namespace {

template <bool Inclusive>
std::int32_t timepanel(std::int32_t n, std::span<const double> tlo, std::span<const double> thi, double t) {
  const std::size_t count = std::min({static_cast<std::size_t>(std::max(n, 0)), tlo.size(), thi.size()});
  for (std::size_t i = 0; i < count; ++i) {
    const bool below = Inclusive ? t <= thi[i] : t < thi[i];
    if (t >= tlo[i] && below) return static_cast<std::int32_t>(i + 1);
  }
  return 0;
}

// The compensation term only works when the compiler keeps the order of the operations
// (no -ffast-math or similar for this file).
template <class Real>
Real kahansum(std::span<const Real> x) {
  Real s = 0;
  Real c = 0;
  for (const Real xi : x) {
    const Real y = xi - c;
    const Real t = s + y;
    c = (t - s) - y;
    s = t;
  }
  return s;
}

// Running form: never builds the large sum of w * x.
template <class Real>
Real weightedaverage(std::span<const Real> x, std::span<const Real> w) {
  const std::size_t n = std::min(x.size(), w.size());
  Real mean = 0;
  Real wsum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (w[i] > 0) {
      wsum += w[i];
      mean += w[i] * (x[i] - mean) / wsum;
    }
  }
  return mean;
}

}  // namespace

std::int32_t gettimepanelrightexclusive(std::int32_t n, std::span<const double> tlo, std::span<const double> thi,
                                        double t) {
  return timepanel<false>(n, tlo, thi, t);
}

std::int32_t gettimepanelrightinclusive(std::int32_t n, std::span<const double> tlo, std::span<const double> thi,
                                        double t) {
  return timepanel<true>(n, tlo, thi, t);
}

double kahansumr8(std::span<const double> x) { return kahansum(x); }
float kahansumr4(std::span<const float> x) { return kahansum(x); }

double weightedaverager8(std::span<const double> x, std::span<const double> w) { return weightedaverage(x, w); }
float weightedaverager4(std::span<const float> x, std::span<const float> w) { return weightedaverage(x, w); }

void nodetoelementmap(std::int32_t nn, std::int32_t ne, std::int32_t npe, std::span<const std::int32_t> incidence,
                      std::int32_t rows, std::vector<std::int32_t>& ptr, std::vector<std::int32_t>& list) {
  std::vector<std::int32_t>().swap(ptr);
  std::vector<std::int32_t>().swap(list);
  if (nn < 0 || ne < 0 || npe < 0 || rows < npe ||
      incidence.size() < static_cast<std::size_t>(rows) * static_cast<std::size_t>(ne)) {
    fatalerror("node to element mapping: incidence table smaller than " + std::to_string(npe) + " nodes by " +
               std::to_string(ne) + " elements");
  }
  const auto node = [&](std::int32_t k, std::int32_t e) {
    return incidence[static_cast<std::size_t>(e - 1) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(k - 1)];
  };
  // Every entry is checked before any is used as an index.
  for (std::int32_t e = 1; e <= ne; ++e) {
    for (std::int32_t k = 1; k <= npe; ++k) {
      const std::int32_t i = node(k, e);
      if (i < 1 || i > nn) {
        fatalerror("node to element mapping: element " + std::to_string(e) + " holds node " + std::to_string(i) +
                   ", outside 1.." + std::to_string(nn));
      }
    }
  }

  std::vector<std::int32_t> count;
  allocatearray(count, nn, "node to element mapping work array");
  for (std::int32_t e = 1; e <= ne; ++e) {
    for (std::int32_t k = 1; k <= npe; ++k) ++count[static_cast<std::size_t>(node(k, e) - 1)];
  }
  // The total can pass the 4-byte range only for tables beyond 8 GB; refuse rather than wrap.
  std::int64_t r = 1;
  for (std::int32_t i = 0; i < nn; ++i) {
    const std::int32_t c = count[static_cast<std::size_t>(i)];
    count[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(r);
    r += c;
    if (r > std::numeric_limits<std::int32_t>::max()) {
      check_alloc(kStatusNoMemory, "node to element mapping index arrays");
    }
  }
  allocatearray(ptr, std::int64_t{nn} + 1, "node to element mapping index arrays");
  allocatearray(list, r - 1, "node to element mapping index arrays");
  std::copy(count.begin(), count.end(), ptr.begin());
  ptr[static_cast<std::size_t>(nn)] = static_cast<std::int32_t>(r);
  for (std::int32_t e = 1; e <= ne; ++e) {
    for (std::int32_t k = 1; k <= npe; ++k) {
      std::int32_t& slot = count[static_cast<std::size_t>(node(k, e) - 1)];
      list[static_cast<std::size_t>(slot - 1)] = e;
      ++slot;
    }
  }
}

void readenvvarordefault(std::string_view name, std::string_view defaultvalue, std::string& value) {
  const std::size_t width = value.size();
  const std::string key(trimview(name));
  const char* found = std::getenv(key.c_str());
  if (found == nullptr) {
    value.assign(defaultvalue.substr(0, std::min(width, defaultvalue.size())));
  } else {
    const std::string_view text(found);
    if (text.size() > width) {
      input_error("Value of environment variable " + key + " exceeds preprocessor variable character limit.");
    }
    value.assign(text);
  }
  value.resize(width, ' ');
}

}  // namespace kelpra
