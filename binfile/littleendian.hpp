// Values in record files are little-endian whatever the host. On a little-endian host the
// conversions below compile to nothing, so whole arrays can be read and written as they lie
// in memory; on a big-endian host each value's bytes are reversed.
#pragma once

#include <bit>
#include <cstring>
#include <span>
#include <type_traits>

#include "support/byteorder.hpp"

namespace kelpra {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "record files need a little- or big-endian host");

inline constexpr bool kHostLittleEndian = std::endian::native == std::endian::little;

// The types a record file stores by value: integers and reals of 1, 2, 4 or 8 bytes.
template <class T>
concept RecordValue = std::is_arithmetic_v<T> && !std::is_same_v<T, bool> &&
                      (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);

// The value with its bytes in reverse order.
template <RecordValue T>
T byteswapped(T value) noexcept {
  swapbyteorder(value);
  return value;
}

// The value whose little-endian bytes start at p.
template <RecordValue T>
T loadlittleendian(const void* p) noexcept {
  T value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (!kHostLittleEndian) value = byteswapped(value);
  return value;
}

// Stores the value's little-endian bytes at p.
template <RecordValue T>
void storelittleendian(T value, void* p) noexcept {
  if constexpr (!kHostLittleEndian) value = byteswapped(value);
  std::memcpy(p, &value, sizeof value);
}

// Turns values read as little-endian bytes into host order, in place.
template <RecordValue T>
void littleendiantohost(std::span<T> values) noexcept {
  if constexpr (!kHostLittleEndian) {
    for (T& v : values) v = byteswapped(v);
  }
}

}  // namespace kelpra
