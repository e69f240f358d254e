#include "support/recordio.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra {
namespace {

// Reads exactly n bytes; a short read is a failure unless nothing at all was left.
int readexact(std::FILE* fp, void* dest, std::size_t n, bool endoffileisclean) {
  if (n == 0) return 0;
  const std::size_t got = std::fread(dest, 1, n, fp);
  if (got == n) return 0;
  if (got == 0 && endoffileisclean && std::feof(fp) && !std::ferror(fp)) return kStatusEndOfFile;
  return kStatusReadFailed;
}

// Reads the leading length word of a record: 0 and the length, or a failure status.
int readleadinglength(std::FILE* fp, std::int32_t& length) {
  unsigned char word[kRecordLengthBytes];
  const int status = readexact(fp, word, sizeof word, true);
  if (status != 0) return status;
  length = loadle32(word);
  return length < 0 ? kStatusReadFailed : 0;
}

int readtrailinglength(std::FILE* fp, std::int32_t expected) {
  unsigned char word[kRecordLengthBytes];
  if (readexact(fp, word, sizeof word, false) != 0) return kStatusReadFailed;
  return loadle32(word) == expected ? 0 : kStatusReadFailed;
}

// Bytes between the stream position and the end of a regular file; -1 when unknown.
long long bytesleft(std::FILE* fp) {
  struct stat st {};
  if (::fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const long pos = std::ftell(fp);
  if (pos < 0) return -1;
  return static_cast<long long>(st.st_size) - pos;
}

// Moves past n bytes: a seek in a regular file, else a read of them (a pipe cannot seek).
int skipbytes(std::FILE* fp, std::size_t n) {
  if (n == 0) return 0;
  if (bytesleft(fp) >= 0) {
    if (n > static_cast<std::size_t>(std::numeric_limits<long>::max())) return kStatusReadFailed;
    return std::fseek(fp, static_cast<long>(n), SEEK_CUR) == 0 ? 0 : kStatusReadFailed;
  }
  char buffer[1 << 14];
  while (n > 0) {
    const std::size_t chunk = std::min(n, sizeof buffer);
    if (readexact(fp, buffer, chunk, false) != 0) return kStatusReadFailed;
    n -= chunk;
  }
  return 0;
}

constexpr std::size_t kGrowthChunk = std::size_t{1} << 20;

int writelength(std::FILE* fp, std::int32_t length) {
  unsigned char word[kRecordLengthBytes];
  storele32(length, word);
  return std::fwrite(word, 1, sizeof word, fp) == sizeof word ? 0 : kStatusWriteFailed;
}

// Starts the next record: its stream and length word, and the bytes left of a regular file
// (-1 for a pipe), against which the record is checked before anything is read.
int beginrecord(int unit, std::FILE*& fp, std::int32_t& length, long long& left) {
  fp = unitstream(unit);
  if (fp == nullptr) return kStatusReadFailed;
  if (const int status = readleadinglength(fp, length); status != 0) return status;
  left = bytesleft(fp);
  if (left >= 0 && static_cast<long long>(length) + static_cast<long long>(kRecordLengthBytes) > left) {
    return kStatusReadFailed;
  }
  return 0;
}

// Reads nbytes into storage from room(n), grown chunk by chunk where the size is unknown.
int readgrowing(std::FILE* fp, std::size_t nbytes, long long left, const std::function<void*(std::size_t)>& room) {
  for (std::size_t done = 0; done < nbytes;) {
    const std::size_t chunk = left >= 0 ? nbytes - done : std::min(nbytes - done, kGrowthChunk);
    auto* start = static_cast<std::byte*>(room(done + chunk));
    if (readexact(fp, start + done, chunk, false) != 0) return kStatusReadFailed;
    done += chunk;
  }
  return 0;
}

}  // namespace

// Records of a few values come by the million in the older result files: this path reads
// straight into dest, with no size check beyond the framing.
int readrecord(int unit, void* dest, std::size_t nbytes) {
  std::FILE* fp = unitstream(unit);
  if (fp == nullptr) return kStatusReadFailed;
  std::int32_t length = 0;
  if (const int status = readleadinglength(fp, length); status != 0) return status;
  const auto recordbytes = static_cast<std::size_t>(length);
  if (recordbytes < nbytes || readexact(fp, dest, nbytes, false) != 0) return kStatusReadFailed;
  // Skipping past the end of the file is caught by the trailing length word.
  if (skipbytes(fp, recordbytes - nbytes) != 0) return kStatusReadFailed;
  return readtrailinglength(fp, length);
}

int readrecordgrowing(int unit, std::size_t nbytes, const std::function<void*(std::size_t)>& room) {
  std::FILE* fp = nullptr;
  std::int32_t length = 0;
  long long left = -1;
  if (const int status = beginrecord(unit, fp, length, left); status != 0) return status;
  const auto recordbytes = static_cast<std::size_t>(length);
  if (recordbytes < nbytes || readgrowing(fp, nbytes, left, room) != 0) return kStatusReadFailed;
  // Skipping past the end of the file is caught by the trailing length word.
  if (skipbytes(fp, recordbytes - nbytes) != 0) return kStatusReadFailed;
  return readtrailinglength(fp, length);
}

int readrecordbytes(int unit, std::vector<std::byte>& bytes) {
  bytes.clear();
  std::FILE* fp = nullptr;
  std::int32_t length = 0;
  long long left = -1;
  if (const int status = beginrecord(unit, fp, length, left); status != 0) return status;
  const auto grow = [&bytes](std::size_t n) -> void* {
    bytes.resize(n);
    return bytes.data();
  };
  if (readgrowing(fp, static_cast<std::size_t>(length), left, grow) != 0 || readtrailinglength(fp, length) != 0) {
    bytes.clear();
    return kStatusReadFailed;
  }
  return 0;
}

int writerecord(int unit, const void* data, std::size_t nbytes) {
  std::FILE* fp = unitstream(unit);
  if (fp == nullptr || nbytes > kMaxRecordBytes) return kStatusWriteFailed;
  const auto length = static_cast<std::int32_t>(nbytes);
  if (writelength(fp, length) != 0 || (nbytes > 0 && std::fwrite(data, 1, nbytes, fp) != nbytes) ||
      writelength(fp, length) != 0) {
    notesystemerror(errno, unitfilename(unit));
    return kStatusWriteFailed;
  }
  return 0;
}

long long bytesleftinfile(int unit) {
  std::FILE* fp = unitstream(unit);
  return fp == nullptr ? -1 : bytesleft(fp);
}

int readstreambytes(int unit, void* dest, std::size_t nbytes) {
  std::FILE* fp = unitstream(unit);
  if (fp == nullptr) return kStatusReadFailed;
  return readexact(fp, dest, nbytes, true);
}

}  // namespace kelpra
