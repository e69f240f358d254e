// Record files: the result files, mesh files, model files and the append file are sequences
// of records, each stored as its length in bytes (a 4-byte little-endian signed integer),
// the record's bytes and the same length word again.
//
// The operations work on a unit opened with openunit (support/fileunits.hpp) and return a
// status code of the file layer, ready for checkfileread / input_error_stat:
//   0                   success;
//   kStatusEndOfFile    the file ends where the next record would start (nothing of it there);
//   kStatusReadFailed   anything else: a record cut short by the end of the file, a negative
//                       length word, a record shorter than the bytes asked for, a trailing
//                       length word that differs from the leading one, no open file;
//   kStatusWriteFailed  a failed write, or a record too long for its length word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "binfile/littleendian.hpp"

namespace kelpra {

inline constexpr std::size_t kRecordLengthBytes = 4;
inline constexpr std::size_t kMaxRecordBytes = std::numeric_limits<std::int32_t>::max();

// Reads the next record and copies its first nbytes into dest; the rest of a longer record
// is skipped. A record shorter than nbytes is a read failure and leaves dest untouched.
int readrecord(int unit, void* dest, std::size_t nbytes);

// Reads past the next record.
inline int skiprecord(int unit) { return readrecord(unit, nullptr, 0); }

// Reads the next record whole, whatever its length. The length word is checked against
// what is left of the file before any storage is taken for it. bytes is empty on failure.
int readrecordbytes(int unit, std::vector<std::byte>& bytes);

// Writes nbytes from data as one record.
int writerecord(int unit, const void* data, std::size_t nbytes);

// Reads the first values.size() values of the next record, converting from little-endian.
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

// Bytes from the unit's position to the end of its file; -1 when that is not known (no
// open file, or not a regular file).
long long bytesleftinfile(int unit);

// Reads up to nbytes of a plain byte stream (no record framing) into dest. Returns 0 when
// all arrived, kStatusEndOfFile when the stream was already at its end, kStatusReadFailed
// otherwise.
int readstreambytes(int unit, void* dest, std::size_t nbytes);

}  // namespace kelpra
