// Reading services of the plot writer: result files read into a domain's value arrays, and
// the first reads that also register the quantity's Tecplot variables.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "plot/plotdata.hpp"

namespace kelpra {

void read_var4(std::int32_t n, std::string_view fname, R4Vec& values);
void read_var8(std::int32_t n, std::string_view fname, R8Vec& values);
void read_ivar4(std::int32_t n, std::string_view fname, I4Vec& values);
void read_vec4(std::int32_t n, std::string_view fname, R4Vec& x, R4Vec& y, R4Vec& z);
void read_vec8(std::int32_t n, std::string_view fname, R8Vec& x, R8Vec& y, R8Vec& z);
void read_2d_vec4(std::int32_t n, std::string_view fname, R4Vec& x, R4Vec& y);
void read_2d_vec8(std::int32_t n, std::string_view fname, R8Vec& x, R8Vec& y);
// Components in the order xx, yy, zz, xy, yz, zx.
void read_tensor8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 6> components);

// Zero the first n values (the arrays grow to n when shorter), register each variable name
// (its number into its slot), then read the file.
void init_var4(std::int32_t n, std::string_view fname, R4Vec& values, std::string_view name, std::int32_t& slot,
               std::int32_t& nvar, std::string& varlist);
void init_var8(std::int32_t n, std::string_view fname, R8Vec& values, std::string_view name, std::int32_t& slot,
               std::int32_t& nvar, std::string& varlist);
void init_ivar4(std::int32_t n, std::string_view fname, I4Vec& values, std::string_view name, std::int32_t& slot,
                std::int32_t& nvar, std::string& varlist);
void init_vec4(std::int32_t n, std::string_view fname, std::array<R4Vec*, 3> values,
               std::array<std::string_view, 3> names, std::array<std::int32_t*, 3> slots, std::int32_t& nvar,
               std::string& varlist);
void init_vec8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 3> values,
               std::array<std::string_view, 3> names, std::array<std::int32_t*, 3> slots, std::int32_t& nvar,
               std::string& varlist);
void init_2d_vec4(std::int32_t n, std::string_view fname, std::array<R4Vec*, 2> values,
                  std::array<std::string_view, 2> names, std::array<std::int32_t*, 2> slots, std::int32_t& nvar,
                  std::string& varlist);
void init_2d_vec8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 2> values,
                  std::array<std::string_view, 2> names, std::array<std::int32_t*, 2> slots, std::int32_t& nvar,
                  std::string& varlist);
void init_tensor8(std::int32_t n, std::string_view fname, std::array<R8Vec*, 6> values,
                  std::array<std::string_view, 6> names, std::array<std::int32_t*, 6> slots, std::int32_t& nvar,
                  std::string& varlist);

}  // namespace kelpra
