#include "binfile/readers.hpp"

#include <algorithm>
#include <array>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "binfile/readfault.hpp"
#include "binfile/recordfile.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

// Header record as a byte stream: length word, 80 characters, length word.
constexpr std::size_t kStreamHeaderBytes = kBinHeaderLength + 2 * kRecordLengthBytes;

template <class T>
constexpr std::string_view typecodeof() {
  if constexpr (std::is_same_v<T, std::int32_t>) {
    return "I04";
  } else if constexpr (std::is_same_v<T, float>) {
    return "R04";
  } else {
    static_assert(std::is_same_v<T, double>);
    return "R08";
  }
}

std::string named(std::string_view what, std::string_view fname) {
  std::string message(what);
  message += trimview(fname);
  return message;
}

std::size_t valuecount(std::int32_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

// An array smaller than the count asked for is a fault of the caller; stop cleanly rather
// than write past it.
void checkarray(std::size_t size, std::size_t count, std::string_view fname) {
  if (size >= count) return;
  fatalerror("An array of " + std::to_string(size) + " values cannot take the " + std::to_string(count) +
             " values read from file " + std::string(trimview(fname)));
}

std::vector<std::string>& filesread() {
  static std::vector<std::string> files;
  return files;
}

UnitHandle openresultfile(std::string_view fname) {
  const std::string name(trimview(fname));
  std::vector<std::string>& read = filesread();
  if (std::find(read.begin(), read.end(), name) == read.end()) read.push_back(name);
  UnitHandle file = UnitHandle::take();
  checkfileopen(openunit(file.unit(), fname, FileForm::unformatted, OpenStatus::old), fname);
  return file;
}

// The value type is the reader's; the header's tag is not acted on, since stored files may
// carry a tag that does not match their values, and the record length decides whether the
// values can be read. A current-layout tag naming another value type is worth one warning
// per file, as it may mean the wrong file.
void checkvaluetype(std::string_view header, std::string_view wanted, std::string_view fname) {
  if (!isnewerfileformat(header)) return;
  const std::string_view found = header.substr(65, 3);
  if (found == wanted || (found != "I04" && found != "R04" && found != "R08")) return;
  static std::mutex lock;
  static std::set<std::string, std::less<>> warned;
  {
    const std::lock_guard<std::mutex> guard(lock);
    if (!warned.emplace(trimview(fname)).second) return;
  }
  std::string message = named("Value type of file ", fname);
  message += " is ";
  message += found;
  message += " in its header; its values are read as ";
  message += wanted;
  message += '.';
  warningmsg(message);
}

// What a reader of T values asks of a file: `components` components of n values.
template <class T>
ResultFileShape shapeof(std::size_t components, std::size_t count, bool legacyrows) {
  return {components, count, sizeof(T), typecodeof<T>(), legacyrows};
}

template <class T>
std::string readheaderrecord(int unit, std::string_view fname, std::string* header, const ResultFileShape& shape) {
  std::string text(kBinHeaderLength, ' ');
  if (const int status = readrecord(unit, text.data(), text.size()); status != 0) {
    resultreadfailed(status, named("Error reading header from file ", fname), fname, shape);
  }
  if (header != nullptr) *header = text;
  checkvaluetype(text, typecodeof<T>(), fname);
  return text;
}

template <class T>
void read1d(std::string_view fname, std::int32_t n, std::span<T> values, std::string* header) {
  const std::size_t count = valuecount(n);
  checkarray(values.size(), count, fname);
  const ResultFileShape shape = shapeof<T>(1, count, false);
  UnitHandle file = openresultfile(fname);
  readheaderrecord<T>(file.unit(), fname, header, shape);
  if (const int status = readrecordvalues(file.unit(), values.first(count)); status != 0) {
    resultreadfailed(status, named("Error reading values from file ", fname), fname, shape);
  }
  file.release();
}

// vec2, vec3 and tensor files: one record per component, or n records of every component.
template <class T, std::size_t K>
void readcomponents(std::string_view fname, std::int32_t n, const std::array<std::span<T>, K>& components,
                    std::string* header) {
  const std::size_t count = valuecount(n);
  for (const std::span<T>& c : components) checkarray(c.size(), count, fname);
  const ResultFileShape shape = shapeof<T>(K, count, true);
  UnitHandle file = openresultfile(fname);
  const std::string text = readheaderrecord<T>(file.unit(), fname, header, shape);
  if (isnewerfileformat(text)) {
    for (std::size_t k = 0; k < K; ++k) {
      if (const int status = readrecordvalues(file.unit(), components[k].first(count)); status != 0) {
        const std::string what = "Error reading component " + std::to_string(k + 1) + " values from file ";
        resultreadfailed(status, named(what, fname), fname, shape);
      }
    }
  } else {
    std::array<T, K> row{};
    for (std::size_t i = 0; i < count; ++i) {
      if (const int status = readrecordvalues(file.unit(), std::span<T>(row)); status != 0) {
        resultreadfailed(status, named("Error reading values from file ", fname), fname, shape);
      }
      for (std::size_t k = 0; k < K; ++k) components[k][i] = row[k];
    }
  }
  file.release();
}

template <class T>
void read2d(std::string_view fname, std::int32_t n, Array2DRef<T> values, std::string* header) {
  const std::size_t count = valuecount(n);
  const std::int32_t m = std::max<std::int32_t>(values.cols, 0);
  if (m > 0) checkarray(valuecount(values.rows), count, fname);
  const ResultFileShape shape = shapeof<T>(static_cast<std::size_t>(m), count, true);
  UnitHandle file = openresultfile(fname);
  const std::string text = readheaderrecord<T>(file.unit(), fname, header, shape);
  if (isnewerfileformat(text)) {
    for (std::int32_t j = 1; j <= m; ++j) {
      const std::span<T> column = count > 0 ? std::span<T>(values.column(j), count) : std::span<T>{};
      if (const int status = readrecordvalues(file.unit(), column); status != 0) {
        resultreadfailed(status, named("Error reading values from file ", fname), fname, shape);
      }
    }
  } else {
    std::vector<T> row(static_cast<std::size_t>(m));
    for (std::size_t i = 1; i <= count; ++i) {
      if (const int status = readrecordvalues(file.unit(), std::span<T>(row)); status != 0) {
        resultreadfailed(status, named("Error reading values from file ", fname), fname, shape);
      }
      for (std::int32_t j = 1; j <= m; ++j) values(static_cast<std::int32_t>(i), j) = row[static_cast<std::size_t>(j - 1)];
    }
  }
  file.release();
}

// Reads the header record and the first value record's length word as a byte stream.
std::int32_t readblocksize(int unit, std::string_view fname, std::string_view headermessage, std::string* header,
                           const ResultFileShape& shape) {
  unsigned char head[kStreamHeaderBytes];
  if (const int status = readstreambytes(unit, head, sizeof head); status != 0) {
    resultreadfailed(status, named(headermessage, fname), fname, shape);
  }
  if (header != nullptr) header->assign(reinterpret_cast<const char*>(head) + kRecordLengthBytes, kBinHeaderLength);
  unsigned char word[kRecordLengthBytes];
  if (const int status = readstreambytes(unit, word, sizeof word); status != 0) {
    resultreadfailed(status, named("Error reading block size from file ", fname), fname, shape);
  }
  return loadlittleendian<std::int32_t>(word);
}

template <class T>
void readsafe(std::string_view fname, std::int32_t n, std::span<T> values, std::string* header) {
  const std::size_t count = valuecount(n);
  checkarray(values.size(), count, fname);
  const ResultFileShape shape = shapeof<T>(1, count, false);
  UnitHandle file = openresultfile(fname);
  std::string text;
  const std::int32_t length = readblocksize(file.unit(), fname, "Error reading header from file ", &text, shape);
  if (header != nullptr) *header = text;
  checkvaluetype(text, typecodeof<T>(), fname);
  const std::int32_t m = length / static_cast<std::int32_t>(sizeof(T));
  if (m != n) {
    std::string message = named("Size mismatch reading file ", fname);
    message += "\nNum values in file: " + tostring_i4(m);
    message += "\nNum values to read: " + tostring_i4(n);
    input_error(message);
  }
  const std::span<T> target = values.first(count);
  if (const int status = readstreambytes(file.unit(), target.data(), target.size_bytes()); status != 0) {
    resultreadfailed(status, named("Error reading values from file ", fname), fname, shape);
  }
  littleendiantohost(target);
  file.release();
}

}  // namespace

std::vector<std::string> takeresultfilesread() { return std::exchange(filesread(), {}); }

void read_i4_1d(std::string_view fname, std::int32_t n, std::span<std::int32_t> values, std::string* header) {
  read1d(fname, n, values, header);
}
void read_r4_1d(std::string_view fname, std::int32_t n, std::span<float> values, std::string* header) {
  read1d(fname, n, values, header);
}
void read_r8_1d(std::string_view fname, std::int32_t n, std::span<double> values, std::string* header) {
  read1d(fname, n, values, header);
}

void read_r4_vec2(std::string_view fname, std::int32_t n, std::span<float> x, std::span<float> y, std::string* header) {
  readcomponents<float, 2>(fname, n, {x, y}, header);
}
void read_r8_vec2(std::string_view fname, std::int32_t n, std::span<double> x, std::span<double> y,
                  std::string* header) {
  readcomponents<double, 2>(fname, n, {x, y}, header);
}
void read_r4_vec3(std::string_view fname, std::int32_t n, std::span<float> x, std::span<float> y, std::span<float> z,
                  std::string* header) {
  readcomponents<float, 3>(fname, n, {x, y, z}, header);
}
void read_r8_vec3(std::string_view fname, std::int32_t n, std::span<double> x, std::span<double> y,
                  std::span<double> z, std::string* header) {
  readcomponents<double, 3>(fname, n, {x, y, z}, header);
}
void read_r4_tensor(std::string_view fname, std::int32_t n, std::span<float> c1, std::span<float> c2,
                    std::span<float> c3, std::span<float> c4, std::span<float> c5, std::span<float> c6,
                    std::string* header) {
  readcomponents<float, 6>(fname, n, {c1, c2, c3, c4, c5, c6}, header);
}
void read_r8_tensor(std::string_view fname, std::int32_t n, std::span<double> c1, std::span<double> c2,
                    std::span<double> c3, std::span<double> c4, std::span<double> c5, std::span<double> c6,
                    std::string* header) {
  readcomponents<double, 6>(fname, n, {c1, c2, c3, c4, c5, c6}, header);
}

void read_r4_2d(std::string_view fname, std::int32_t n, Array2DRef<float> values, std::string* header) {
  read2d(fname, n, values, header);
}
void read_r8_2d(std::string_view fname, std::int32_t n, Array2DRef<double> values, std::string* header) {
  read2d(fname, n, values, header);
}

void read_safe_i4_1d(std::string_view fname, std::int32_t n, std::span<std::int32_t> values, std::string* header) {
  readsafe(fname, n, values, header);
}
void read_safe_r4_1d(std::string_view fname, std::int32_t n, std::span<float> values, std::string* header) {
  readsafe(fname, n, values, header);
}
void read_safe_r8_1d(std::string_view fname, std::int32_t n, std::span<double> values, std::string* header) {
  readsafe(fname, n, values, header);
}

std::int32_t numvalswork_1d(std::string_view fname, std::int32_t elementsize) {
  if (elementsize < 1) fatalerror("Invalid element size " + std::to_string(elementsize) + " counting values of file " +
                                  std::string(trimview(fname)));
  // Any length will do for a count: the record need only be there.
  const ResultFileShape shape{1, 0, static_cast<std::size_t>(elementsize), {}, false};
  UnitHandle file = openresultfile(fname);
  const std::int32_t length = readblocksize(file.unit(), fname, "Error reading header data from file ", nullptr, shape);
  // Callers size arrays with the count: a length word that the rest of the file cannot back
  // (the record and its trailing length word) is broken.
  const long long left = bytesleftinfile(file.unit());
  if (length < 0 || (left >= 0 && static_cast<long long>(length) + static_cast<long long>(kRecordLengthBytes) > left)) {
    resultreadfailed(kStatusReadFailed, named("Error reading block size from file ", fname), fname, shape);
  }
  file.release();
  return length / elementsize;
}

}  // namespace kelpra
