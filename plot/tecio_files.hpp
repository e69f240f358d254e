// File calls of the binary data-set layer: whole writes and reads at given offsets, small
// files replaced as a whole, and the stream that zone data is appended to. A failing call
// records the system's error and the file for the report.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "plot/tecio.hpp"
#include "support/fileunits.hpp"

namespace kelpra::tecio {

constexpr std::size_t kStreamBuffer = std::size_t{4} << 20;
// Blocks of at least this size skip the buffer and go straight from the caller's array.
constexpr std::size_t kDirectWrite = std::size_t{256} << 10;

// The system error of the last failing file operation and the file it concerned. Made before
// the registry of open data sets (registry() asks for it first), so it outlives the registry,
// whose destructor still writes data sets out.
TecFailure& lastfailure();

// Records errno for `file`; returns false, so that a failing step can end with it.
bool failed(const std::string& file);

// The bytes of a data-file section or a saved state, built up in the machine's byte order.
class Bytes {
 public:
  // Out of line: inlined into a caller, GCC 12 at -O3 sees an overflow in the vector's insert
  // that cannot happen.
  void raw(const void* data, std::size_t n);
  void i32(std::int32_t v) { raw(&v, sizeof v); }
  void i64(std::int64_t v) { raw(&v, sizeof v); }
  void u64(std::uint64_t v) { raw(&v, sizeof v); }
  void f32(float v) { raw(&v, sizeof v); }
  void f64(double v) { raw(&v, sizeof v); }
  // Data-file text: one 32-bit integer per character and a closing 0.
  void text(std::string_view s) {
    for (unsigned char c : s) i32(static_cast<std::int32_t>(c));
    i32(0);
  }
  // Saved-state text: its length, then its bytes.
  void str(std::string_view s) {
    i64(static_cast<std::int64_t>(s.size()));
    raw(s.data(), s.size());
  }
  std::size_t size() const { return bytes_.size(); }
  const char* data() const { return bytes_.data(); }

 private:
  std::vector<char> bytes_;
};

bool writeall(int fd, const void* data, std::size_t n, std::int64_t offset);
bool copyrange(int in, std::int64_t from, int out, std::int64_t to, std::int64_t length);
bool readall(int fd, char* data, std::int64_t n, std::int64_t offset);
bool readwhole(const std::string& name, std::string& content);
// Replaces a small file as a whole, so that a run killed meanwhile leaves the old or the new one.
bool replacefile(const std::string& name, const Bytes& content);

// The data-section file: appended in large blocks, with earlier bytes patched in place.
class DataStream {
 public:
  DataStream() = default;
  DataStream(const DataStream&) = delete;
  DataStream& operator=(const DataStream&) = delete;
  ~DataStream() { release(); }

  bool create(const std::string& name) {
    name_ = name;
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    start_ = 0;
    return fd_ >= 0 || failed(name);
  }

  // Reopens a file an earlier run wrote and drops whatever lies beyond `length`: zones written
  // after the last flush.
  std::int32_t resume(const std::string& name, std::int64_t length) {
    if (const std::int32_t rc = reopen(name, O_RDWR, length); rc != kTecOk || fd_ >= 0) {
      if (rc == kTecOk && size_ > length && ::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
        return failed(name), kTecIoError;
      }
      return rc;
    }
    if (length != 0) return kTecBadTemporary;
    return create(name) ? kTecOk : kTecIoError;
  }

  // Opens a file an earlier run wrote for reading only; it must hold at least `length` bytes.
  std::int32_t inspect(const std::string& name, std::int64_t length) {
    const std::int32_t rc = reopen(name, O_RDONLY, length);
    return rc == kTecOk && fd_ < 0 ? kTecBadTemporary : rc;
  }

  int fd() const { return fd_; }
  std::int64_t end() const { return start_ + static_cast<std::int64_t>(used_); }

  bool append(const void* data, std::size_t n) {
    if (n >= kDirectWrite) {
      // Large blocks go straight from the caller's array to the file.
      if (!flush()) return false;
      if (!writeall(fd_, data, n, start_)) return failed(name_);
      start_ += static_cast<std::int64_t>(n);
      return true;
    }
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kStreamBuffer);
    if (n > kStreamBuffer - used_ && !flush()) return false;
    std::memcpy(buffer_.get() + used_, data, n);
    used_ += n;
    return true;
  }

  bool patch(std::int64_t offset, const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    if (offset < start_) {
      const std::size_t ondisk = static_cast<std::size_t>(std::min<std::int64_t>(start_ - offset, n));
      if (!writeall(fd_, p, ondisk, offset)) return failed(name_);
      p += ondisk;
      n -= ondisk;
      offset += static_cast<std::int64_t>(ondisk);
    }
    if (n > 0) std::memcpy(buffer_.get() + (offset - start_), p, n);
    return true;
  }

  bool flush() {
    if (used_ == 0) return true;
    if (!writeall(fd_, buffer_.get(), used_, start_)) return failed(name_);
    start_ += static_cast<std::int64_t>(used_);
    used_ = 0;
    return true;
  }

  // Closes the file without writing what is still buffered.
  bool release() {
    used_ = 0;
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0 || failed(name_);
    fd_ = -1;
    return ok;
  }

 private:
  // Opens a file an earlier run wrote, which must be a regular file of at least `length` bytes;
  // a missing one leaves the stream closed.
  std::int32_t reopen(const std::string& name, int flags, std::int64_t length) {
    name_ = name;
    fd_ = openregular(name, flags, size_);
    if (fd_ < 0) {
      if (errno == ENOENT) return kTecOk;
      return errno == EINVAL ? kTecBadTemporary : (failed(name), kTecIoError);
    }
    if (size_ < length) return kTecBadTemporary;
    start_ = length;
    return kTecOk;
  }

  std::string name_;
  int fd_ = -1;
  std::int64_t size_ = 0;  // of a reopened file
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::int64_t start_ = 0;  // file offset of buffer_[0]
};

}  // namespace kelpra::tecio
