// Record files: the result files, mesh files, model files and the append file are sequences
// of records, each stored as its length in bytes (a 4-byte little-endian signed integer),
// the record's bytes and the same length word again. This is the framing alone; typed
// values inside records are the business of their readers (binfile/recordfile.hpp).
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
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

#include "support/checkedalloc.hpp"

namespace kelpra {

inline constexpr std::size_t kRecordLengthBytes = 4;
inline constexpr std::size_t kMaxRecordBytes = std::numeric_limits<std::int32_t>::max();

// The 4-byte little-endian integer at p, and its inverse, whatever the host's byte order.
inline std::int32_t loadle32(const void* p) noexcept {
  const auto* b = static_cast<const unsigned char*>(p);
  const std::uint32_t u = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                          static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  return static_cast<std::int32_t>(u);
}
inline void storele32(std::int32_t value, void* p) noexcept {
  auto* b = static_cast<unsigned char*>(p);
  const auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
}

// Reads the next record and copies its first nbytes into dest; the rest of a longer record
// is skipped. A record shorter than nbytes is a read failure and leaves dest untouched.
int readrecord(int unit, void* dest, std::size_t nbytes);

// Reads the next record and copies its first nbytes into storage that room(n) makes hold n
// bytes and returns the start of. Where the file's size is known, the record is checked
// against it and room is called once; where it is not (a pipe), the storage grows with the
// bytes that arrive, so a length or count the data does not bear out sizes nothing. On a
// failure the storage holds what arrived.
int readrecordgrowing(int unit, std::size_t nbytes, const std::function<void*(std::size_t)>& room);

// The first n items of the next record, as stored, into `out` (a vector or string), which then
// holds exactly them; its storage grows as readrecordgrowing says. A failed allocation is the
// allocation report `what`.
template <class V>
int readrecordinto(int unit, V& out, std::size_t n, std::string_view what) {
  using T = typename V::value_type;
  out.clear();
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) return kStatusReadFailed;  // no record holds it
  return readrecordgrowing(unit, n * sizeof(T), [&](std::size_t size) -> void* {
    checkedalloc(what, [&] { out.resize(size / sizeof(T)); });
    return out.data();
  });
}

// Reads past the next record.
inline int skiprecord(int unit) { return readrecord(unit, nullptr, 0); }

// Reads the next record whole, whatever its length. The length word is checked against
// what is left of the file before any storage is taken for it. bytes is empty on failure.
int readrecordbytes(int unit, std::vector<std::byte>& bytes);

// Writes nbytes from data as one record.
int writerecord(int unit, const void* data, std::size_t nbytes);

// Bytes from the unit's position to the end of its file; -1 when that is not known (no
// open file, or not a regular file).
long long bytesleftinfile(int unit);

// Reads up to nbytes of a plain byte stream (no record framing) into dest. Returns 0 when
// all arrived, kStatusEndOfFile when the stream was already at its end, kStatusReadFailed
// otherwise.
int readstreambytes(int unit, void* dest, std::size_t nbytes);

}  // namespace kelpra
