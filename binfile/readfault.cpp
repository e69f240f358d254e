#include "binfile/readfault.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>

#include "binfile/binfile.hpp"
#include "support/errors.hpp"
#include "support/recordio.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr std::uint64_t kFraming = 2 * kRecordLengthBytes;
constexpr std::uint64_t kHeaderRecordBytes = kBinHeaderLength + kFraming;

// 1200 as "1,200".
std::string grouped(long long value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return value < 0 ? "-" + digits : digits;
}
std::string grouped(std::uint64_t value) { return grouped(static_cast<long long>(value)); }

std::string values(std::uint64_t n, std::string_view type) {
  std::string text = grouped(n);
  if (!type.empty()) (text += ' ') += type;
  return text + (n == 1 ? " value" : " values");
}

std::size_t typesize(std::string_view typecode) {
  if (typecode == "I04" || typecode == "R04") return 4;
  if (typecode == "R08") return 8;
  return 0;
}

class ByteWalk {
 public:
  explicit ByteWalk(const std::filesystem::path& path) : in_(path, std::ios::binary) {}
  bool good() const { return static_cast<bool>(in_); }

  std::optional<std::int32_t> word(std::uint64_t at) {
    std::array<char, kRecordLengthBytes> bytes{};
    if (!read(at, bytes.data(), bytes.size())) return std::nullopt;
    return loadle32(bytes.data());
  }
  bool read(std::uint64_t at, char* dest, std::size_t n) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    in_.read(dest, static_cast<std::streamsize>(n));
    return in_.gcount() == static_cast<std::streamsize>(n);
  }

 private:
  std::ifstream in_;
};

// "The record holds 12 values where 36 are needed.", in the header's value type where that
// differs from the reader's, in bytes where the record is no whole number of values.
std::string holds(const std::string& record, std::uint64_t length, std::uint64_t wanted, const ResultFileShape& shape,
                  std::string_view headertype) {
  const std::size_t size = shape.valuesize;
  const std::size_t stored = typesize(headertype);
  std::string text = record + " holds ";
  if (stored != 0 && headertype != shape.typecode && length % stored == 0) {
    text += values(length / stored, headertype) + " where " + values(wanted / size, shape.typecode);
    return text + (wanted / size == 1 ? " is" : " are") + " needed.";
  }
  if (length % size != 0) return text + grouped(length) + " bytes where " + grouped(wanted) + " are needed.";
  text += values(length / size, "") + " where " + grouped(wanted / size);
  return text + (wanted / size == 1 ? " is" : " are") + " needed.";
}

}  // namespace

std::string resultfilefault(std::string_view fname, const ResultFileShape& shape) {
  const std::filesystem::path path{std::string(trimview(fname))};
  std::error_code error;
  // Only a regular file can be read again as it was: a pipe would wait for a writer.
  if (!std::filesystem::is_regular_file(path, error)) return {};
  const std::uint64_t size = std::filesystem::file_size(path, error);
  ByteWalk walk(path);
  if (error || !walk.good()) return {};
  const auto ends = [size](std::uint64_t needed) {
    return "The file ends after " + grouped(size) + " of " + grouped(needed) + " bytes.";
  };
  const std::uint64_t percomponent = shape.count * shape.valuesize;

  // The header record, which also decides the layout of the value records.
  const std::optional<std::int32_t> leading = walk.word(0);
  if (!leading) return ends(kHeaderRecordBytes + shape.components * (percomponent + kFraming));
  const std::string foreign = "The header is not that of a result file: its record ";
  if (*leading != static_cast<std::int32_t>(kBinHeaderLength)) {
    return foreign + "length word holds " + grouped(static_cast<long long>(*leading)) + ", not 80.";
  }
  std::string header(kBinHeaderLength, ' ');
  const std::optional<std::int32_t> trailing = walk.word(kRecordLengthBytes + kBinHeaderLength);
  if (!trailing || !walk.read(kRecordLengthBytes, header.data(), header.size())) {
    return ends(kHeaderRecordBytes + shape.components * (percomponent + kFraming));
  }
  if (*trailing != *leading) {
    return foreign + "ends with the length word " + grouped(static_cast<long long>(*trailing)) + ", not 80.";
  }
  const bool current = isnewerfileformat(header);
  const bool rows = !current && shape.legacyrows;
  const std::uint64_t records = rows ? shape.count : shape.components;
  const std::uint64_t recordbytes = rows ? shape.components * shape.valuesize : percomponent;
  const std::string_view headertype = current ? std::string_view(header).substr(65, 3) : std::string_view();

  std::uint64_t at = kHeaderRecordBytes;
  for (std::uint64_t r = 1; r <= records; ++r) {
    const std::uint64_t rest = (records - r) * (recordbytes + kFraming);
    const std::string record = records == 1 ? "The record" : "Record " + grouped(r) + " of " + grouped(records);
    const std::optional<std::int32_t> length = walk.word(at);
    if (!length) return ends(at + kFraming + recordbytes + rest);
    if (*length < 0) return record + " has the length word " + grouped(static_cast<long long>(*length)) + ".";
    const auto bytes = static_cast<std::uint64_t>(*length);
    if (bytes < recordbytes) return holds(record, bytes, recordbytes, shape, headertype);
    const std::uint64_t end = at + kFraming + bytes;
    // A length word beyond what the reader needs and what the file holds is damaged; a record
    // of the right length that the file does not hold is cut.
    if (size < end && bytes > recordbytes) {
      return record + " has the length word " + grouped(bytes) + ", more than the " +
             grouped(size - std::min(size, at + kRecordLengthBytes)) + " bytes left in the file.";
    }
    if (size < end) return ends(end + rest);
    const std::optional<std::int32_t> closing = walk.word(end - kRecordLengthBytes);
    if (!closing) return ends(end + rest);
    if (*closing != *length) {
      return record + " begins with the length word " + grouped(bytes) + " and ends with " +
             grouped(static_cast<long long>(*closing)) + ".";
    }
    at = end;
  }
  return {};
}

std::string resultfilenotwhole(std::string_view fname) {
  const std::filesystem::path path{std::string(trimview(fname))};
  std::error_code error;
  const std::filesystem::file_status kind = std::filesystem::status(path, error);
  if (!std::filesystem::exists(kind)) return "It does not exist.";
  if (!std::filesystem::is_regular_file(kind)) return "It is not a regular file.";
  const std::uint64_t size = std::filesystem::file_size(path, error);
  ByteWalk walk(path);
  if (error || !walk.good()) return "It cannot be opened.";
  // The header decides what the file must hold; resultfilefault then walks the records.
  std::string header(kBinHeaderLength, ' ');
  ResultFileShape shape;
  if (size >= kHeaderRecordBytes && walk.read(kRecordLengthBytes, header.data(), header.size()) &&
      isnewerfileformat(header)) {
    const auto count = [&](std::size_t at, std::size_t width) {
      std::uint64_t n = 0;
      const std::string_view field = trimview(std::string_view(header).substr(at, width));
      const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), n);
      return ec == std::errc() && end == field.data() + field.size() ? n : 0;
    };
    shape.typecode = std::string_view(header).substr(65, 3);
    shape.valuesize = typesize(shape.typecode);
    shape.components = count(68, 2);
    shape.count = count(70, 10);
    if (shape.valuesize == 0 || shape.components == 0 || shape.count == 0) {
      return "Its header names no values: its value type, component count or value count is not one that can be read.";
    }
  }
  if (std::string fault = resultfilefault(fname, shape); !fault.empty()) return fault;
  if (shape.components > 0) return {};
  // A legacy header: every record to the end of the file must be whole.
  for (std::uint64_t at = kHeaderRecordBytes; at < size;) {
    const std::optional<std::int32_t> length = walk.word(at);
    if (!length || *length < 0 || size - at < kFraming + static_cast<std::uint64_t>(*length)) {
      return "The file ends inside the record that begins at byte " + grouped(at) + ".";
    }
    const std::uint64_t end = at + kFraming + static_cast<std::uint64_t>(*length);
    if (walk.word(end - kRecordLengthBytes) != length) {
      return "The record that begins at byte " + grouped(at) + " does not end with its length word.";
    }
    at = end;
  }
  return {};
}

void resultreadfailed(int status, std::string_view message, std::string_view fname, const ResultFileShape& shape) {
  std::string text(message);
  if (const std::string found = resultfilefault(fname, shape); !found.empty()) (text += '\n') += found;
  input_error_stat(status, text);
}

}  // namespace kelpra
