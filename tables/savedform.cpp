#include "tables/savedform.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "support/errors.hpp"
#include "support/recordio.hpp"
#include "support/textformats.hpp"

namespace kelpra {

FileForm savedformof(int unit, std::string_view notconnected) {
  const std::optional<FileForm> form = unitform(unit);
  if (!form) input_error(notconnected);
  return *form;
}

// ---------------------------------------------------------------------------------------
// Writing

SavedFormWriter::SavedFormWriter(int unit, std::string_view notconnected)
    : unit_(unit), form_(savedformof(unit, notconnected)) {}

void SavedFormWriter::put(const void* bytes, std::size_t n) {
  checkfilewrite(writerecord(unit_, bytes, n), unitfilename(unit_));
}

void SavedFormWriter::finishline() {
  checkfilewrite(writeline(unit_, line_), unitfilename(unit_));
  line_.clear();
}

void SavedFormWriter::integer(std::int32_t value) {
  if (form_ == FileForm::unformatted) return put(&value, sizeof value);
  std::array<char, 16> buf{};
  line_.append(buf.data(), std::to_chars(buf.data(), buf.data() + buf.size(), value).ptr);
  finishline();
}

void SavedFormWriter::logical(bool value) {
  if (form_ == FileForm::unformatted) {
    const std::int32_t word = logicalword(value);
    return put(&word, sizeof word);
  }
  line_ = value ? "T" : "F";
  finishline();
}

void SavedFormWriter::real(double value) { reals({&value, 1}); }

void SavedFormWriter::pair(double first, double second) {
  const std::array<double, 2> both = {first, second};
  reals(both);
}

void SavedFormWriter::reals(std::span<const double> values) {
  if (form_ == FileForm::unformatted) return put(values.data(), values.size_bytes());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line_ += ' ';
    appendfreereal(line_, values[i]);
  }
  finishline();
}

void SavedFormWriter::text(std::string_view text) {
  if (form_ == FileForm::unformatted) return put(text.data(), text.size());
  line_.assign(text);
  finishline();
}

// ---------------------------------------------------------------------------------------
// Reading

SavedFormReader::SavedFormReader(int unit, std::string_view notconnected, std::string_view context)
    : unit_(unit), form_(savedformof(unit, notconnected)), context_(context) {}

void SavedFormReader::readfailed(int status) const {
  input_error_stat(status, context_ + ": error reading the saved form from " + unitfilename(unit_));
}

void SavedFormReader::invalid(std::string_view problem) const {
  input_error(context_ + ": " + std::string(problem) + " in the saved form in " + unitfilename(unit_));
}

void SavedFormReader::get(void* bytes, std::size_t n) {
  if (const int status = readrecord(unit_, bytes, n); status != 0) readfailed(status);
}

void SavedFormReader::readfields(std::size_t n) {
  const int status = readfreefields(unit_, n, fields_);
  if (status != 0) readfailed(status);
  // The program writes no slash nor empty field: a value missing from the list is a failed read.
  for (std::size_t k = 0; k < n; ++k) {
    if (freefield(fields_, k) == nullptr) readfailed(kStatusBadListInput);
  }
}

std::int32_t SavedFormReader::integer() {
  std::int32_t value = 0;
  if (form_ == FileForm::unformatted) {
    get(&value, sizeof value);
  } else {
    readfields(1);
    int status = 0;
    str2i4(*fields_[0], value, &status);
    if (status != 0) readfailed(status);
  }
  return value;
}

bool SavedFormReader::logical() {
  if (form_ == FileForm::unformatted) {
    std::int32_t word = 0;
    get(&word, sizeof word);
    return logicalvalue(word);
  }
  readfields(1);
  // T or F, perhaps after a point, and whatever follows (.TRUE., True, f).
  std::string_view word = *fields_[0];
  if (!word.empty() && word.front() == '.') word.remove_prefix(1);
  if (!word.empty() && (word.front() == 'T' || word.front() == 't')) return true;
  if (!word.empty() && (word.front() == 'F' || word.front() == 'f')) return false;
  readfailed(kStatusBadListInput);
}

double SavedFormReader::real() {
  double value = 0;
  reals({&value, 1});
  return value;
}

void SavedFormReader::pair(double& first, double& second) {
  std::array<double, 2> both{};
  reals(both);
  first = both[0];
  second = both[1];
}

void SavedFormReader::reals(std::span<double> values) {
  if (form_ == FileForm::unformatted) return get(values.data(), values.size_bytes());
  readfields(values.size());
  parsereals(values);
}

void SavedFormReader::parsereals(std::span<double> values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    int status = 0;
    str2r8(*fields_[i], values[i], &status);
    if (status != 0) readfailed(status);
  }
}

std::size_t SavedFormReader::firstreservation(std::int64_t count) const {
  constexpr std::int64_t kUnbacked = 4096;
  return static_cast<std::size_t>(bytesleftinfile(unit_) >= 0 ? count : std::min(count, kUnbacked));
}

std::string SavedFormReader::text(std::int64_t length, std::string_view what) {
  std::string out;
  if (form_ == FileForm::unformatted) {
    if (const int status = readrecordinto(unit_, out, static_cast<std::size_t>(length), what); status != 0) {
      readfailed(status);
    }
    return out;
  }
  // The characters as written, in bounded pieces, then the end of their line.
  constexpr std::int64_t kPiece = std::int64_t{1} << 20;
  for (std::int64_t done = 0; done < length;) {
    const std::int64_t piece = std::min(kPiece, length - done);
    checkedalloc(what, [&] { out.resize(static_cast<std::size_t>(done + piece)); });
    if (const int status = readstreambytes(unit_, out.data() + done, static_cast<std::size_t>(piece)); status != 0) {
      readfailed(status);
    }
    done += piece;
  }
  std::string rest;
  if (const int status = readline(unit_, rest); status > 0 || (status < 0 && out.empty())) readfailed(status);
  return out;
}

std::vector<double> SavedFormReader::reals(std::int64_t count, std::string_view what) {
  std::vector<double> out;
  if (form_ == FileForm::formatted) {
    readfields(static_cast<std::size_t>(count));  // the fields are gathered as they arrive
    allocatearray(out, count, what);
    parsereals(out);
    return out;
  }
  if (const int status = readrecordinto(unit_, out, static_cast<std::size_t>(count), what); status != 0) {
    readfailed(status);
  }
  return out;
}

void SavedFormReader::needbytes(std::int64_t count, std::int64_t bytes, std::string_view what) {
  if (count < 0) invalid("negative " + std::string(what) + " " + std::to_string(count));
  const long long left = bytesleftinfile(unit_);
  if (left >= 0 && bytes > left) {
    invalid(std::string(what) + " " + std::to_string(count) + " larger than the rest of the file can hold");
  }
}

void SavedFormReader::checkcount(std::int64_t count, int numbers, bool together, std::string_view what) {
  const std::int64_t payload = count * numbers * 8;
  std::int64_t bytes = 0;
  if (form_ == FileForm::formatted) {
    bytes = count * numbers * 2;  // a digit and a separator at least
  } else if (together) {
    bytes = count > 0 ? payload + 2 * static_cast<std::int64_t>(kRecordLengthBytes) : 0;
  } else {
    bytes = payload + count * 2 * static_cast<std::int64_t>(kRecordLengthBytes);
  }
  needbytes(count, bytes, what);
}

void SavedFormReader::checklength(std::int64_t length, std::string_view what) {
  const std::int64_t framing = form_ == FileForm::formatted ? 1 : 2 * static_cast<std::int64_t>(kRecordLengthBytes);
  needbytes(length, length + framing, what);
}

}  // namespace kelpra
