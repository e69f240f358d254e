#include "binfile/binfile.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "binfile/readfault.hpp"
#include "binfile/recordfile.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

// Header columns, counted from 0.
constexpr std::size_t kTextWidth = 55;
constexpr std::size_t kTagAt = 55;
constexpr std::size_t kVersionAt = 60;
constexpr std::size_t kByteOrderAt = 63;
constexpr std::size_t kTypeAt = 65;
constexpr std::size_t kComponentsAt = 68;
constexpr std::size_t kValuesAt = 70;
constexpr std::size_t kFieldWidth = 54;

std::string padded(std::string_view s, std::size_t width) {
  std::string out(s.substr(0, std::min(s.size(), width)));
  out.resize(width, ' ');
  return out;
}

// count zero-filled to exactly `width` digits, or asterisks when it does not fit.
std::string zerofilled(std::int32_t count, std::string_view fmt, std::size_t width) {
  int status = 0;
  std::string text = tostring_i4(count, fmt, &status);
  if (status != 0 || text.size() > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

// Reads a header number field; stops the run with `what` when it holds no integer.
std::int32_t headerinteger(std::string_view field, std::string_view what) {
  std::int32_t value = 0;
  int status = 0;
  str2i4(field, value, &status);
  if (status != 0) {
    std::string message(what);
    message += " from binary file header. String: \"";
    message += field;
    message += '"';
    fatalerrorstat(status, message);
  }
  return value;
}

std::int32_t clampedcount(std::int64_t count) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(count, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// A range of positions that runs outside the caller's array is a programming fault; stop
// cleanly rather than read past the array.
void checkrange(std::int32_t ibeg, std::int32_t iend, std::int64_t size, std::string_view fname) {
  if (iend < ibeg || (ibeg >= 1 && iend <= size)) return;
  fatalerror("Values " + std::to_string(ibeg) + " to " + std::to_string(iend) + " lie outside the array of " +
             std::to_string(size) + " values written to file " + std::string(trimview(fname)));
}

void stopwriting(int status, std::string_view what, std::string_view fname) {
  std::string message(what);
  message += trimview(fname);
  fatalerrorstat(status, message);
}

// Creates the file and writes its header; the unit is left open for the value records.
UnitHandle createresultfile(std::string_view fname, std::string_view text, std::string_view typecode,
                            std::int32_t ncomponents, std::int32_t nvalues) {
  UnitHandle file = UnitHandle::take();
  checkfileopen(openunit(file.unit(), fname, FileForm::unformatted, OpenStatus::replace), fname);
  if (const int status = writeformattedheader(file.unit(), text, typecode, ncomponents, nvalues); status != 0) {
    stopwriting(status, "Error writing header to file ", fname);
  }
  return file;
}

// Pushes buffered records to the file before the unit is given back, so that a full disk
// is reported instead of losing the file's tail silently.
void finishresultfile(UnitHandle& file, std::string_view fname) {
  if (std::fflush(unitstream(file.unit())) != 0) stopwriting(kStatusWriteFailed, "Error writing values to file ", fname);
  file.release();
}

template <class T>
void write1d(std::string_view fname, std::string_view text, std::string_view typecode, std::int32_t ibeg,
             std::int32_t iend, std::span<const T> values) {
  checkrange(ibeg, iend, static_cast<std::int64_t>(values.size()), fname);
  const std::int64_t count = static_cast<std::int64_t>(iend) - ibeg + 1;
  UnitHandle file = createresultfile(fname, text, typecode, 1, clampedcount(count));
  const std::span<const T> written =
      count > 0 ? values.subspan(static_cast<std::size_t>(ibeg - 1), static_cast<std::size_t>(count))
                : std::span<const T>{};
  if (const int status = writerecordvalues(file.unit(), written); status != 0) {
    stopwriting(status, "Error writing values to file ", fname);
  }
  finishresultfile(file, fname);
}

template <class T>
void write2d(std::string_view fname, std::string_view text, std::string_view typecode, std::int32_t ibeg,
             std::int32_t iend, Array2DRef<const T> values) {
  const std::int32_t m = std::max<std::int32_t>(values.cols, 0);
  if (m > 0) checkrange(ibeg, iend, values.rows, fname);
  const std::int64_t count = static_cast<std::int64_t>(iend) - ibeg + 1;
  const auto n = static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
  UnitHandle file = createresultfile(fname, text, typecode, m, clampedcount(count));
  if (!writelegacybinformat) {
    for (std::int32_t j = 1; j <= m; ++j) {
      const T* column = n > 0 ? &values(ibeg, j) : nullptr;
      if (const int status = writerecordvalues(file.unit(), std::span<const T>(column, n)); status != 0) {
        stopwriting(status, "Error writing values to file ", fname);
      }
    }
  } else {
    std::vector<T> row(static_cast<std::size_t>(m));
    for (std::int64_t i = ibeg; i <= iend; ++i) {
      for (std::int32_t j = 1; j <= m; ++j) row[static_cast<std::size_t>(j - 1)] = values(static_cast<std::int32_t>(i), j);
      if (const int status = writerecordvalues(file.unit(), std::span<const T>(row)); status != 0) {
        stopwriting(status, "Error writing values to file ", fname);
      }
    }
  }
  finishresultfile(file, fname);
}

}  // namespace

int writeformattedheader(int unit, std::string_view text, std::string_view typecode, std::int32_t ncomponents,
                         std::int32_t nvalues) {
  const std::size_t first = text.find_first_not_of(' ');
  std::string header = padded(first == std::string_view::npos ? std::string_view{} : text.substr(first), kBinHeaderLength);
  if (!writelegacybinformat) {
    header.replace(kTagAt, 10, "#!TNQ001LE");
    header.replace(kTypeAt, 3, padded(typecode, 3));
    header.replace(kComponentsAt, 2, zerofilled(ncomponents, "(I2.2)", 2));
    header.replace(kValuesAt, 10, zerofilled(nvalues, "(I10.10)", 10));
  }
  return writerecord(unit, header.data(), header.size());
}

void write_i4_1d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 std::span<const std::int32_t> values) {
  write1d(fname, text, "I04", ibeg, iend, values);
}
void write_r4_1d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 std::span<const float> values) {
  write1d(fname, text, "R04", ibeg, iend, values);
}
void write_r8_1d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 std::span<const double> values) {
  write1d(fname, text, "R08", ibeg, iend, values);
}

void write_r4_2d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 Array2DRef<const float> values) {
  write2d(fname, text, "R04", ibeg, iend, values);
}
void write_r8_2d(std::string_view fname, std::string_view text, std::int32_t ibeg, std::int32_t iend,
                 Array2DRef<const double> values) {
  write2d(fname, text, "R08", ibeg, iend, values);
}

std::string readtnqbinfileheader(std::string_view fname) {
  UnitHandle file = UnitHandle::take();
  checkfileopen(openunit(file.unit(), fname, FileForm::unformatted, OpenStatus::old), fname);
  std::string header(kBinHeaderLength, ' ');
  if (const int status = readrecord(file.unit(), header.data(), header.size()); status != 0) {
    resultreadfailed(status, std::string("Error reading header from file ") += trimview(fname), fname, {});
  }
  file.release();
  return header;
}

BinFileHeader parsetnqbinfileheader(std::string_view header) {
  BinFileHeader parsed;
  if (header.size() < kBinHeaderLength) {
    fatalerror(std::string("Binary file header is too short. Expected at least 80") +
               " characters but found only " + tostring_i4(static_cast<std::int32_t>(header.size())) + ".");
  }
  const int p1 = findfirstnotof1(header, " ");
  if (p1 >= 55) fatalerror("Invalid binary file header format. Timestamp missing or malformed.");
  const int p2 = findfirstof1(header, " ", p1);
  if (p2 < 2 || p2 >= 55) fatalerror("Invalid binary file header format. Timestamp not terminated by space.");
  parsed.timestamp = padded(header.substr(0, static_cast<std::size_t>(p2 - 1)), kFieldWidth);
  parsed.description =
      padded(header.substr(static_cast<std::size_t>(p2), kTextWidth - static_cast<std::size_t>(p2)), kFieldWidth);

  parsed.magic = std::string(header.substr(kTagAt, 5));
  if (parsed.magic != kBinFormatTag) {
    parsed.status = -1;
    return parsed;
  }
  parsed.status = 0;
  parsed.version = headerinteger(header.substr(kVersionAt, 3), "Failed to parse file version number");
  parsed.endianness = std::string(header.substr(kByteOrderAt, 2));
  parsed.typecode = std::string(header.substr(kTypeAt, 3));
  parsed.ncomponents = headerinteger(header.substr(kComponentsAt, 2), "Failed to parse number of components");
  if (parsed.ncomponents < 1) {
    fatalerror("Invalid number of components in binary file header: " + tostring_i4(parsed.ncomponents));
  }
  parsed.nvalues = headerinteger(header.substr(kValuesAt, 10), "Failed to parse number of values");
  if (parsed.nvalues < 1) fatalerror("Invalid number of values in binary file header: " + tostring_i4(parsed.nvalues));
  return parsed;
}

bool isnewerfileformat(std::string_view header) {
  return header.size() >= 60 && header.substr(kTagAt, 5) == kBinFormatTag;
}

}  // namespace kelpra
