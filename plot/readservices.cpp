#include "plot/readservices.hpp"

#include <algorithm>

#include "binfile/readers.hpp"
#include "plot/tecplot.hpp"

namespace kelpra {
namespace {

template <class T>
std::span<T> firstn(std::vector<T>& values, std::int32_t n) {
  const auto count = static_cast<std::size_t>(std::max(n, 0));
  if (values.size() < count) values.resize(count);
  return {values.data(), count};
}

template <class T>
void zerofirst(std::vector<T>& values, std::int32_t n) {
  const auto span = firstn(values, n);
  std::fill(span.begin(), span.end(), T{});
}

template <class T, std::size_t K>
void registerall(std::int32_t n, std::array<std::vector<T>*, K> values, std::array<std::string_view, K> names,
                 std::array<std::int32_t*, K> slots, std::int32_t& nvar, std::string& varlist) {
  for (std::size_t k = 0; k < K; ++k) zerofirst(*values[k], n);
  for (std::size_t k = 0; k < K; ++k) tecplotvaradd(names[k], nvar, *slots[k], varlist);
}

}  // namespace

void read_var4(std::int32_t n, std::string_view fname, R4Vec& values) { read_r4_1d(fname, n, firstn(values, n)); }
void read_var8(std::int32_t n, std::string_view fname, R8Vec& values) { read_r8_1d(fname, n, firstn(values, n)); }
void read_ivar4(std::int32_t n, std::string_view fname, I4Vec& values) { read_i4_1d(fname, n, firstn(values, n)); }

void read_vec4(std::int32_t n, std::string_view fname, R4Vec& x, R4Vec& y, R4Vec& z) {
  read_r4_vec3(fname, n, firstn(x, n), firstn(y, n), firstn(z, n));
}
void read_vec8(std::int32_t n, std::string_view fname, R8Vec& x, R8Vec& y, R8Vec& z) {
  read_r8_vec3(fname, n, firstn(x, n), firstn(y, n), firstn(z, n));
}
void read_2d_vec4(std::int32_t n, std::string_view fname, R4Vec& x, R4Vec& y) {
  read_r4_vec2(fname, n, firstn(x, n), firstn(y, n));
}
void read_2d_vec8(std::int32_t n, std::string_view fname, R8Vec& x, R8Vec& y) {
  read_r8_vec2(fname, n, firstn(x, n), firstn(y, n));
}
void read_tensor8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 6> c) {
  read_r8_tensor(fname, n, firstn(*c[0], n), firstn(*c[1], n), firstn(*c[2], n), firstn(*c[3], n),
                 firstn(*c[4], n), firstn(*c[5], n));
}

void init_var4(std::int32_t n, std::string_view fname, R4Vec& values, std::string_view name, std::int32_t& slot,
               std::int32_t& nvar, std::string& varlist) {
  registerall<float, 1>(n, {&values}, {name}, {&slot}, nvar, varlist);
  read_var4(n, fname, values);
}
void init_var8(std::int32_t n, std::string_view fname, R8Vec& values, std::string_view name, std::int32_t& slot,
               std::int32_t& nvar, std::string& varlist) {
  registerall<double, 1>(n, {&values}, {name}, {&slot}, nvar, varlist);
  read_var8(n, fname, values);
}
void init_ivar4(std::int32_t n, std::string_view fname, I4Vec& values, std::string_view name, std::int32_t& slot,
                std::int32_t& nvar, std::string& varlist) {
  registerall<std::int32_t, 1>(n, {&values}, {name}, {&slot}, nvar, varlist);
  read_ivar4(n, fname, values);
}
void init_vec4(std::int32_t n, std::string_view fname, std::array<R4Vec*, 3> values,
               std::array<std::string_view, 3> names, std::array<std::int32_t*, 3> slots, std::int32_t& nvar,
               std::string& varlist) {
  registerall(n, values, names, slots, nvar, varlist);
  read_vec4(n, fname, *values[0], *values[1], *values[2]);
}
void init_vec8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 3> values,
               std::array<std::string_view, 3> names, std::array<std::int32_t*, 3> slots, std::int32_t& nvar,
               std::string& varlist) {
  registerall(n, values, names, slots, nvar, varlist);
  read_vec8(n, fname, *values[0], *values[1], *values[2]);
}
void init_2d_vec4(std::int32_t n, std::string_view fname, std::array<R4Vec*, 2> values,
                  std::array<std::string_view, 2> names, std::array<std::int32_t*, 2> slots, std::int32_t& nvar,
                  std::string& varlist) {
  registerall(n, values, names, slots, nvar, varlist);
  read_2d_vec4(n, fname, *values[0], *values[1]);
}
void init_2d_vec8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 2> values,
                  std::array<std::string_view, 2> names, std::array<std::int32_t*, 2> slots, std::int32_t& nvar,
                  std::string& varlist) {
  registerall(n, values, names, slots, nvar, varlist);
  read_2d_vec8(n, fname, *values[0], *values[1]);
}
void init_tensor8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 6> values,
                  std::array<std::string_view, 6> names, std::array<std::int32_t*, 6> slots, std::int32_t& nvar,
                  std::string& varlist) {
  registerall(n, values, names, slots, nvar, varlist);
  read_tensor8(n, fname, values);
}

}  // namespace kelpra
