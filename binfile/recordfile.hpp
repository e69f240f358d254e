// Typed values in record files: the framing (support/recordio.hpp) with the values of a
// record converted between little-endian bytes and the host's own order.
#pragma once

#include <span>
#include <vector>

#include "binfile/littleendian.hpp"
#include "support/recordio.hpp"

namespace kelpra {

// Reads the first values.size() values of the next record, converting from little-endian.
// A record shorter than that is a read failure and leaves the values untouched.
template <RecordValue T>
int readrecordvalues(int unit, std::span<T> values) {
  const int status = readrecord(unit, values.data(), values.size_bytes());
  if (status == 0) littleendiantohost(values);
  return status;
}

// Writes the values as one record, little-endian.
template <RecordValue T>
int writerecordvalues(int unit, std::span<const T> values) {
  if constexpr (kHostLittleEndian) {
    return writerecord(unit, values.data(), values.size_bytes());
  } else {
    std::vector<T> swapped(values.begin(), values.end());
    for (T& v : swapped) v = byteswapped(v);
    return writerecord(unit, swapped.data(), values.size_bytes());
  }
}

}  // namespace kelpra
