// Byte order of single values: data written on a machine of the other byte order is
// read raw and turned around here.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <type_traits>

namespace kelpra {

// Reverses the bytes of x as raw storage; no numeric conversion takes place, so a
// swapped real may hold any bit pattern (NaN included) until it is swapped back.
template <class T>
  requires std::is_trivially_copyable_v<T>
void swapbyteorder(T& x) noexcept {
  auto bytes = std::bit_cast<std::array<unsigned char, sizeof(T)>>(x);
  std::reverse(bytes.begin(), bytes.end());
  x = std::bit_cast<T>(bytes);
}

inline void swapbyteorder_i32(std::int32_t& x) noexcept { swapbyteorder(x); }
inline void swapbyteorder_r32(float& x) noexcept { swapbyteorder(x); }
inline void swapbyteorder_i64(std::int64_t& x) noexcept { swapbyteorder(x); }
inline void swapbyteorder_r64(double& x) noexcept { swapbyteorder(x); }

}  // namespace kelpra
