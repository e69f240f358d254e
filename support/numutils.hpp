// Small numeric utilities: digit counts, zero-padded integers, point/segment and triangle
// geometry, time panels, compensated sums and averages, the node-to-element map, and an
// environment lookup with a default.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra {

// Decimal digits of |n|; the most negative value counts as 10 digits.
std::int32_t numdigits(std::int32_t n);

// value in width places, at least width digits, zeros in front; a value that does not fit
// (too many digits, or negative) gives width asterisks. A width outside 1..16 is a failed
// write: "" with *iostat positive, or a fatal error when iostat is null.
std::string zeropaddedintstring(std::int32_t width, std::int32_t value, int* iostat = nullptr);

// Squared distance from p to the segment a-b. The dimension is the length of a; only the
// components that b and p also have are used.
double pointtosegmentdistsq(std::span<const double> a, std::span<const double> b, std::span<const double> p);

// Positive when p1, p2, p3 run counter-clockwise.
double triangleareasigned(const std::array<double, 2>& p1, const std::array<double, 2>& p2,
                          const std::array<double, 2>& p3);

std::array<double, 3> cross(const std::array<double, 3>& a, const std::array<double, 3>& b);

// 1-based index of the first panel i with tlo(i) <= t < thi(i) (exclusive) or
// tlo(i) <= t <= thi(i) (inclusive), or 0. At most n panels, and no more than the arrays hold.
std::int32_t gettimepanelrightexclusive(std::int32_t n, std::span<const double> tlo, std::span<const double> thi,
                                        double t);
std::int32_t gettimepanelrightinclusive(std::int32_t n, std::span<const double> tlo, std::span<const double> thi,
                                        double t);

double kahansumr8(std::span<const double> x);
float kahansumr4(std::span<const float> x);

// Mean of x weighted by w over the elements with w > 0 (0 when there are none); elements
// past the end of w count as unweighted.
double weightedaverager8(std::span<const double> x, std::span<const double> w);
float weightedaverager4(std::span<const float> x, std::span<const float> w);

// Inverts an element-to-node table into compressed rows: the elements holding node i are
// list[ptr[i-1]-1 .. ptr[i]-2] (ptr has nn + 1 entries, both arrays hold 1-based values).
// incidence is stored by columns, one column of `rows` entries (rows >= npe) per element;
// node k of element e is incidence[(e-1)*rows + (k-1)]. A node outside 1..nn stops the run.
void nodetoelementmap(std::int32_t nn, std::int32_t ne, std::int32_t npe, std::span<const std::int32_t> incidence,
                      std::int32_t rows, std::vector<std::int32_t>& ptr, std::vector<std::int32_t>& list);

// value is a fixed-width field (its width is value.size()): it receives the variable's
// value blank-padded, or defaultvalue cut or padded when the variable is not set. A value
// longer than the field stops the run (input error).
void readenvvarordefault(std::string_view name, std::string_view defaultvalue, std::string& value);

}  // namespace kelpra
