// The file calls of the binary data-set layer: writes and reads that go on until every byte
// is through or a real error stops them, the kernel's copy between files, and the whole-file
// replacement of the small saved-state file.
#include "plot/tecio_files.hpp"

#include <cstdio>

namespace kelpra::tecio {

void Bytes::raw(const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  bytes_.insert(bytes_.end(), p, p + n);
}

TecFailure& lastfailure() {
  static TecFailure failure;
  return failure;
}

bool failed(const std::string& file) {
  lastfailure() = {errno != 0 ? errno : EIO, file};
  return false;
}

bool writeall(int fd, const void* data, std::size_t n, std::int64_t offset) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t done = ::pwrite(fd, p, n, static_cast<off_t>(offset));
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) {
      errno = EIO;  // no progress and no error: errno would say nothing of this write
      return false;
    }
    p += done;
    n -= static_cast<std::size_t>(done);
    offset += done;
  }
  return true;
}

bool copyrange(int in, std::int64_t from, int out, std::int64_t to, std::int64_t length) {
  off_t inpos = static_cast<off_t>(from);
  off_t outpos = static_cast<off_t>(to);
  // The kernel copies without passing the bytes through this process where it can.
  while (length > 0) {
    const ssize_t done = ::copy_file_range(in, &inpos, out, &outpos, static_cast<std::size_t>(length), 0);
    if (done > 0) {
      length -= done;
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done == 0) {
      errno = EIO;  // the data file ended early
      return false;
    }
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
    break;
  }
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(length, kStreamBuffer)));
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, buffer.size()));
    const ssize_t got = ::pread(in, buffer.data(), want, inpos);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) errno = EIO;  // the data file ended early
    if (got <= 0) return false;
    if (!writeall(out, buffer.data(), static_cast<std::size_t>(got), outpos)) return false;
    inpos += got;
    outpos += got;
    length -= got;
  }
  return true;
}

bool readall(int fd, char* data, std::int64_t n, std::int64_t offset) {
  while (n > 0) {
    const ssize_t got = ::pread(fd, data, static_cast<std::size_t>(n), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) errno = EIO;  // the file ended early
    if (got <= 0) return false;
    data += got;
    n -= got;
    offset += got;
  }
  return true;
}

bool readwhole(const std::string& name, std::string& content) {
  std::int64_t size = 0;
  const int fd = openregular(name, O_RDONLY, size);
  if (fd < 0) return failed(name);
  content.resize(static_cast<std::size_t>(size));
  const bool ok = readall(fd, content.data(), size, 0) || failed(name);
  ::close(fd);
  return ok;
}

bool replacefile(const std::string& name, const Bytes& content) {
  const std::string fresh = name + ".new";
  const int fd = createfresh(fresh, O_WRONLY);
  if (fd < 0) return failed(fresh);
  bool ok = writeall(fd, content.data(), content.size(), 0) || failed(fresh);
  ok = (::close(fd) == 0 || failed(fresh)) && ok;
  if (ok) ok = std::rename(fresh.c_str(), name.c_str()) == 0 || failed(name);
  if (!ok) std::remove(fresh.c_str());
  return ok;
}

}  // namespace kelpra::tecio
