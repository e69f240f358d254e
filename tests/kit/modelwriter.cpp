#include "tests/kit/modelwriter.hpp"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "binfile/binfile.hpp"
#include "binfile/littleendian.hpp"
#include "binfile/recordfile.hpp"

namespace kelpra::testkit {
namespace {

template <class T>
void writecomponents(const std::filesystem::path& path, std::string_view text,
                     const std::vector<std::vector<T>>& components, Layout layout) {
  const std::size_t n = components.empty() ? 0 : components.front().size();
  std::vector<T> table;
  table.reserve(n * components.size());
  for (const std::vector<T>& c : components) {
    if (c.size() != n) throw std::invalid_argument("components of unequal length for " + path.string());
    table.insert(table.end(), c.begin(), c.end());
  }
  const LayoutScope scope(layout);
  const Array2DRef<const T> values(table.data(), static_cast<std::int32_t>(n),
                                   static_cast<std::int32_t>(components.size()));
  if constexpr (std::is_same_v<T, float>) {
    write_r4_2d(path.string(), text, 1, static_cast<std::int32_t>(n), values);
  } else {
    write_r8_2d(path.string(), text, 1, static_cast<std::int32_t>(n), values);
  }
}

template <class T>
void appendle(std::string& out, T value) {
  char bytes[sizeof(T)];
  storelittleendian(value, bytes);
  out.append(bytes, sizeof bytes);
}

}  // namespace

LayoutScope::LayoutScope(Layout layout) : saved_(writelegacybinformat) {
  writelegacybinformat = layout == Layout::legacy;
}
LayoutScope::~LayoutScope() { writelegacybinformat = saved_; }

void writeresult_i4(const std::filesystem::path& path, std::string_view text, const std::vector<std::int32_t>& values,
                    Layout layout) {
  const LayoutScope scope(layout);
  write_i4_1d(path.string(), text, 1, static_cast<std::int32_t>(values.size()), values);
}
void writeresult_r4(const std::filesystem::path& path, std::string_view text, const std::vector<float>& values,
                    Layout layout) {
  const LayoutScope scope(layout);
  write_r4_1d(path.string(), text, 1, static_cast<std::int32_t>(values.size()), values);
}
void writeresult_r8(const std::filesystem::path& path, std::string_view text, const std::vector<double>& values,
                    Layout layout) {
  const LayoutScope scope(layout);
  write_r8_1d(path.string(), text, 1, static_cast<std::int32_t>(values.size()), values);
}
void writeresult_r4(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<float>>& components, Layout layout) {
  writecomponents(path, text, components, layout);
}
void writeresult_r8(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<double>>& components, Layout layout) {
  writecomponents(path, text, components, layout);
}

RecordFileWriter::RecordFileWriter(const std::filesystem::path& path) : file_(UnitHandle::take()), path_(path) {
  if (openunit(file_.unit(), path.string(), FileForm::unformatted, OpenStatus::replace) != 0) {
    throw std::runtime_error("cannot create record file " + path.string());
  }
}

RecordFileWriter::~RecordFileWriter() {
  try {
    close();
  } catch (const std::exception&) {
    // A destructor must not throw; a test that cares calls close() itself.
  }
}

RecordFileWriter& RecordFileWriter::i4(std::int32_t value) {
  appendle(pending_, value);
  return *this;
}
RecordFileWriter& RecordFileWriter::i8(std::int64_t value) {
  appendle(pending_, value);
  return *this;
}
RecordFileWriter& RecordFileWriter::r4(float value) {
  appendle(pending_, value);
  return *this;
}
RecordFileWriter& RecordFileWriter::r8(double value) {
  appendle(pending_, value);
  return *this;
}
RecordFileWriter& RecordFileWriter::l(bool value) { return i4(value ? 1 : 0); }
RecordFileWriter& RecordFileWriter::text(std::string_view value, std::size_t width) {
  std::string field(value.substr(0, std::min(value.size(), width)));
  field.resize(width, ' ');
  pending_ += field;
  return *this;
}
RecordFileWriter& RecordFileWriter::i4s(std::span<const std::int32_t> values) {
  for (const std::int32_t v : values) i4(v);
  return *this;
}
RecordFileWriter& RecordFileWriter::r4s(std::span<const float> values) {
  for (const float v : values) r4(v);
  return *this;
}
RecordFileWriter& RecordFileWriter::r8s(std::span<const double> values) {
  for (const double v : values) r8(v);
  return *this;
}
RecordFileWriter& RecordFileWriter::ls(const std::vector<bool>& values) {
  for (const bool v : values) l(v);
  return *this;
}

RecordFileWriter& RecordFileWriter::endrecord() {
  if (!file_ || unitstream(file_.unit()) == nullptr) throw std::runtime_error("record file closed: " + path_.string());
  if (writerecord(file_.unit(), pending_.data(), pending_.size()) != 0) {
    throw std::runtime_error("cannot write record to " + path_.string());
  }
  pending_.clear();
  return *this;
}

void RecordFileWriter::close() {
  if (!file_) return;
  std::FILE* fp = unitstream(file_.unit());
  const bool flushed = fp == nullptr || std::fflush(fp) == 0;
  file_.release();
  if (!flushed) throw std::runtime_error("cannot write record file " + path_.string());
}

std::string le_i4(std::int32_t value) {
  std::string out;
  appendle(out, value);
  return out;
}
std::string le_r4(float value) {
  std::string out;
  appendle(out, value);
  return out;
}
std::string le_r8(double value) {
  std::string out;
  appendle(out, value);
  return out;
}

std::string framedrecord(std::string_view payload) {
  const auto length = static_cast<std::int32_t>(payload.size());
  return framedrecord(payload, length, length);
}

std::string framedrecord(std::string_view payload, std::int32_t leading, std::int32_t trailing) {
  std::string out = le_i4(leading);
  out += payload;
  out += le_i4(trailing);
  return out;
}

std::string resultheader(std::string_view text, std::string_view typecode, int ncomponents, int nvalues,
                         Layout layout) {
  std::string header(text.substr(0, std::min<std::size_t>(text.size(), 80)));
  header.resize(80, ' ');
  if (layout == Layout::current) {
    char counts[32];
    std::snprintf(counts, sizeof counts, "%02d%010d", ncomponents, nvalues);
    std::string fields = "#!TNQ001LE" + std::string(typecode.substr(0, 3)) + counts;
    fields.resize(25, ' ');
    header.replace(55, 25, fields);
  }
  return header;
}

}  // namespace kelpra::testkit
