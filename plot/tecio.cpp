// Binary Tecplot data sets (version 112 data files) behind the TecIO writer calls.
//
// Zone data streams into "<base>.szplt.szdat" in the order of the data section of the final
// file, large arrays padded to aligned offsets; the header is kept in memory and saved to
// "<base>.szplt.szhdr" at open and at every flush. The close writes the header, then copies
// the data section without the padding behind it.
#include "plot/tecio.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/fileunits.hpp"

namespace kelpra {
namespace {

namespace fs = std::filesystem;

constexpr float kZoneMarker = 299.0f;
constexpr float kEndOfHeaderMarker = 357.0f;
constexpr float kDataSetAuxMarker = 799.0f;
constexpr float kVarAuxMarker = 899.0f;
constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kStreamBuffer = std::size_t{4} << 20;
// Blocks of at least this size skip the buffer and go straight from the caller's array.
constexpr std::size_t kDirectWrite = std::size_t{256} << 10;
// Values are taken in slices of this size, so that each is still in the cache when it is
// written after its min/max pass; smaller slices cost more in calls than they save.
constexpr std::size_t kSliceBytes = std::size_t{4} << 20;
// Large arrays start at a multiple of this in the data file: the kernel copies into the page
// cache markedly slower to unaligned offsets. The padding is left out of the final file.
constexpr std::int64_t kAlign = 64;
constexpr std::int64_t kAlignFrom = 64 << 10;
// The saved header state: version 3 records each zone's output-time index, fingerprint and
// the result files it holds the values of; version 2, written by earlier versions, no result
// files; version 1 none of them.
constexpr char kSavedMagic[8] = {'K', 'L', 'P', 'S', 'Z', 'H', 'D', '3'};
constexpr char kSavedMagicV2[8] = {'K', 'L', 'P', 'S', 'Z', 'H', 'D', '2'};
constexpr char kSavedMagicV1[8] = {'K', 'L', 'P', 'S', 'Z', 'H', 'D', '1'};
// A zone's fingerprint covers this many bytes at its start and at its end.
constexpr std::int64_t kCheckBytes = 4096;

// The system error of the last failing file operation and the file it concerned. Made before
// the registry of open data sets (registry() asks for it first), so it outlives the registry,
// whose destructor still writes data sets out.
TecFailure& lastfailure() {
  static TecFailure failure;
  return failure;
}

// Records errno for `file`; returns false, so that a failing step can end with it.
bool failed(const std::string& file) {
  lastfailure() = {errno != 0 ? errno : EIO, file};
  return false;
}

// ---------------------------------------------------------------------------------------------
// Byte assembly and low-level file access

class Bytes {
 public:
  void raw(const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
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

// Opens a file an earlier run left for reading. Only a regular file is read, so that a pipe
// cannot hold the run waiting nor a device feed it without end.
int openregular(const std::string& name, int flags, std::int64_t& size) {
  const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info {};
  const bool stated = ::fstat(fd, &info) == 0;
  if (!stated || !S_ISREG(info.st_mode)) {
    const int error = stated ? EINVAL : errno;  // the callers check the kind first and say it
    ::close(fd);
    errno = error;
    return -1;
  }
  size = info.st_size;
  return fd;
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

// Replaces a small file as a whole, so that a run killed meanwhile leaves the old or the new one.
bool replacefile(const std::string& name, const Bytes& content) {
  const std::string fresh = name + ".new";
  // Not held waiting where a pipe has taken the name.
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return failed(fresh);
  bool ok = writeall(fd, content.data(), content.size(), 0) || failed(fresh);
  ok = (::close(fd) == 0 || failed(fresh)) && ok;
  if (ok) ok = std::rename(fresh.c_str(), name.c_str()) == 0 || failed(name);
  if (!ok) std::remove(fresh.c_str());
  return ok;
}

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

// ---------------------------------------------------------------------------------------------
// Data-set state

struct VarSlot {
  std::int32_t type = kTecFloat;
  bool cellcentred = false;
  bool passive = false;
  std::int32_t share = 0;  // zone that holds the values (1-based), 0 for own values
  std::int32_t pad = 0;    // padding before the values in the data file
};

struct ZoneRecord {
  std::string title;
  std::int32_t type = 0;
  std::int64_t nodes = 0;
  std::int64_t cells = 0;
  double time = 0.0;
  std::int32_t strand = 0;  // 0 static
  std::int32_t connshare = 0;  // zone that holds the node lists, 0 for own
  std::int32_t connpad = 0;    // padding before the node lists in the data file
  std::vector<VarSlot> vars;
  std::int32_t outputindex = 0;  // the output-time index the zone holds, 0 unknown
  std::uint64_t check = 0;       // fingerprint of its bytes in the data file, once `checked`
  bool checked = false;
  bool sourced = false;              // `sources` are recorded
  std::vector<std::string> sources;  // the result files whose values it holds

  std::int64_t valuecount(std::size_t v) const { return vars[v].cellcentred ? cells : nodes; }
};

// Progress of the zone whose data is being written.
struct ZoneWrite {
  std::int32_t zone = 0;
  std::int64_t begin = 0;  // data-file offset where the zone starts
  std::vector<std::int64_t> expected;
  std::vector<std::int64_t> written;
  std::vector<std::int64_t> rangeat;  // data-file offset of each variable's min/max pair, -1 none
  std::vector<double> lo;
  std::vector<double> hi;
  std::size_t next = 0;  // first variable not yet complete
  std::int64_t connexpected = 0;
  std::int64_t connwritten = 0;

  void skipcomplete() {
    while (next < expected.size() && written[next] == expected[next]) ++next;
  }
  bool complete() const { return next == expected.size() && connwritten == connexpected; }
};

struct AuxItem {
  std::int32_t var = 0;  // 0 for data-set items
  std::string name;
  std::string value;
};

struct DataSet {
  std::string finalname;
  std::string headername;
  std::string dataname;
  std::string key;  // absolute final name, to refuse a second writer
  std::string title;
  std::int32_t filetype = kTecFileFull;
  std::int32_t defaulttype = kTecFloat;
  std::vector<std::string> names;
  std::vector<AuxItem> aux;
  std::vector<ZoneRecord> zones;
  std::optional<ZoneWrite> current;
  DataStream data;
  bool broken = false;  // a data write failed; only the state of the last flush is trustworthy
  TecFailure brokenby;  // that write's failure
  std::string savedstate;  // what the saved-state file holds, as last written or read
  bool resumed = false;  // continues the temporary files of an earlier run
  bool flushed = false;  // a flush has committed zones since the open
  std::int32_t setupindex = 0;  // the output-time index at which the data set was set up

  std::size_t nvar() const { return names.size(); }
  void breakoff() {
    broken = true;
    brokenby = lastfailure();
  }
};

std::int32_t nodesperelement(std::int32_t zonetype) {
  switch (zonetype) {
    case kTecFeLineSeg: return 2;
    case kTecFeTriangle: return 3;
    case kTecFeQuadrilateral:
    case kTecFeTetrahedron: return 4;
    case kTecFeBrick: return 8;
    default: return 0;
  }
}

bool validauxname(const char* name) {
  if (name == nullptr) return false;
  const auto first = static_cast<unsigned char>(name[0]);
  if (!(std::isalpha(first) || first == '_')) return false;
  for (const char* p = name + 1; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!(std::isalnum(c) || c == '_' || c == '.')) return false;
  }
  return true;
}

// Names are joined by commas; a name that holds a comma itself comes between double quotes.
bool splitnames(std::string_view list, std::vector<std::string>& names) {
  names.clear();
  while (true) {
    std::string_view name;
    if (!list.empty() && list.front() == '"') {
      const std::size_t close = list.find('"', 1);
      if (close == std::string_view::npos) return false;
      name = list.substr(1, close - 1);
      list.remove_prefix(close + 1);
      if (!list.empty() && list.front() != ',') return false;
    } else {
      name = list.substr(0, list.find(','));
      list.remove_prefix(name.size());
    }
    if (name.empty()) return false;
    names.emplace_back(name);
    if (list.empty()) return true;
    list.remove_prefix(1);  // the comma
  }
}

// ---------------------------------------------------------------------------------------------
// Data-file sections

Bytes buildheader(const DataSet& ds) {
  Bytes b;
  b.raw("#!TDV112", 8);
  b.i32(1);  // byte order
  b.i32(ds.filetype);
  b.text(ds.title);
  b.i32(static_cast<std::int32_t>(ds.nvar()));
  for (const auto& name : ds.names) b.text(name);
  for (const auto& z : ds.zones) {
    b.f32(kZoneMarker);
    b.text(z.title);
    b.i32(-1);  // parent zone
    b.i32(z.strand > 0 ? z.strand - 1 : -1);
    b.f64(z.time);
    b.i32(-1);  // zone colour, unused
    b.i32(z.type);
    const bool anycells = std::any_of(z.vars.begin(), z.vars.end(), [](const VarSlot& v) { return v.cellcentred; });
    b.i32(anycells ? 1 : 0);
    if (anycells) {
      for (const auto& v : z.vars) b.i32(v.cellcentred ? 1 : 0);
    }
    b.i32(0);  // no raw face neighbours
    b.i32(0);  // no user-defined face neighbour connections
    b.i32(static_cast<std::int32_t>(z.nodes));
    b.i32(static_cast<std::int32_t>(z.cells));
    b.i32(0);  // cell dimensions, unused for these zone types
    b.i32(0);
    b.i32(0);
    b.i32(0);  // no zone auxiliary data
  }
  for (const auto& item : ds.aux) {
    if (item.var == 0) {
      b.f32(kDataSetAuxMarker);
    } else {
      b.f32(kVarAuxMarker);
      b.i32(item.var - 1);
    }
    b.text(item.name);
    b.i32(0);  // value format: text
    b.text(item.value);
  }
  b.f32(kEndOfHeaderMarker);
  return b;
}

// The start of a zone's data section; min/max pairs are zero until each variable is complete.
Bytes zonepreamble(const ZoneRecord& z, std::vector<std::int64_t>& rangeat, std::int64_t begin) {
  Bytes b;
  b.f32(kZoneMarker);
  for (const auto& v : z.vars) b.i32(v.type);
  const bool anypassive = std::any_of(z.vars.begin(), z.vars.end(), [](const VarSlot& v) { return v.passive; });
  b.i32(anypassive ? 1 : 0);
  if (anypassive) {
    for (const auto& v : z.vars) b.i32(v.passive ? 1 : 0);
  }
  const bool anyshared = std::any_of(z.vars.begin(), z.vars.end(), [](const VarSlot& v) { return v.share > 0; });
  b.i32(anyshared ? 1 : 0);
  if (anyshared) {
    for (const auto& v : z.vars) b.i32(v.share - 1);
  }
  b.i32(z.connshare - 1);
  rangeat.assign(z.vars.size(), -1);
  for (std::size_t v = 0; v < z.vars.size(); ++v) {
    if (z.vars[v].passive || z.vars[v].share > 0) continue;
    rangeat[v] = begin + static_cast<std::int64_t>(b.size());
    b.f64(0.0);
    b.f64(0.0);
  }
  return b;
}

std::int64_t typesize(std::int32_t type) { return type == kTecDouble ? 8 : 4; }

// The byte runs of a complete zone in the data file, in order: bytes of the final file (`take`)
// and padding (`skip`).
template <class Take, class Skip>
void walkzone(const ZoneRecord& z, Take take, Skip skip) {
  std::vector<std::int64_t> unused;
  take(static_cast<std::int64_t>(zonepreamble(z, unused, 0).size()));
  for (std::size_t v = 0; v < z.vars.size(); ++v) {
    if (z.vars[v].passive || z.vars[v].share > 0) continue;
    skip(std::int64_t{z.vars[v].pad});
    take(z.valuecount(v) * typesize(z.vars[v].type));
  }
  if (z.connshare == 0) {
    skip(std::int64_t{z.connpad});
    take(z.cells * nodesperelement(z.type) * 4);
  }
}

std::int64_t layoutlength(const std::vector<ZoneRecord>& zones) {
  std::int64_t length = 0;
  const auto add = [&](std::int64_t n) { length += n; };
  for (const auto& z : zones) walkzone(z, add, add);
  return length;
}

// Copies the data section, without its padding, from the data file to `out` at `outpos`.
bool copydata(const std::vector<ZoneRecord>& zones, int in, int out, std::int64_t outpos) {
  std::int64_t pos = 0, start = 0;  // [start, pos) holds bytes not copied yet
  bool ok = true;
  const auto copyrun = [&] {
    if (ok && pos > start) {
      ok = copyrange(in, start, out, outpos, pos - start);
      outpos += pos - start;
    }
    start = pos;
  };
  for (const auto& z : zones) {
    walkzone(z, [&](std::int64_t n) { pos += n; },
             [&](std::int64_t n) {
               if (n == 0) return;
               copyrun();
               pos += n;
               start = pos;
             });
  }
  copyrun();
  return ok;
}

// Pads the data file to the next multiple of kAlign; `pad` records how much.
bool padto(DataStream& data, std::int32_t& pad) {
  static constexpr char kZeros[kAlign] = {};
  pad = static_cast<std::int32_t>((kAlign - data.end() % kAlign) % kAlign);
  return pad == 0 || data.append(kZeros, static_cast<std::size_t>(pad));
}

// ---------------------------------------------------------------------------------------------
// Saved state ("<base>.szplt.szhdr"): the header in a form this layer reads back

std::uint64_t checksum(const char* data, std::size_t n) {
  std::uint64_t h = 1469598103934665603ULL;
  for (std::size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ULL;
  }
  return h;
}

// Offsets of the zones' bytes in the data file: zone k runs from starts[k] to starts[k + 1].
std::vector<std::int64_t> zonestarts(const std::vector<ZoneRecord>& zones) {
  std::vector<std::int64_t> starts(1, 0);
  for (const auto& z : zones) {
    std::int64_t end = starts.back();
    const auto add = [&](std::int64_t n) { end += n; };
    walkzone(z, add, add);
    starts.push_back(end);
  }
  return starts;
}

// A zone's fingerprint: its length and its first and last few kilobytes in the data file. It
// tells a data file of another model or series from the one written with the header, without
// reading all of a file that may hold hundreds of gigabytes.
bool zonecheck(int fd, std::int64_t begin, std::int64_t end, std::uint64_t& check) {
  const std::int64_t n = std::min(kCheckBytes, end - begin);
  char bytes[2 * kCheckBytes];
  if (!readall(fd, bytes, n, begin) || !readall(fd, bytes + n, n, end - n)) return false;
  check = checksum(bytes, static_cast<std::size_t>(2 * n)) ^ static_cast<std::uint64_t>(end - begin);
  return true;
}

// Takes the fingerprint of every zone that has none yet; the data file holds all their bytes.
bool checkzones(std::vector<ZoneRecord>& zones, int fd, const std::string& name) {
  const std::vector<std::int64_t> starts = zonestarts(zones);
  for (std::size_t k = 0; k < zones.size(); ++k) {
    if (zones[k].checked) continue;
    if (!zonecheck(fd, starts[k], starts[k + 1], zones[k].check)) return failed(name);
    zones[k].checked = true;
  }
  return true;
}

// kTecOtherData where a zone's bytes in the data file are not those its fingerprint was taken of.
std::int32_t comparechecks(const std::vector<ZoneRecord>& zones, int fd, const std::string& name) {
  const std::vector<std::int64_t> starts = zonestarts(zones);
  for (std::size_t k = 0; k < zones.size(); ++k) {
    std::uint64_t check = 0;
    if (!zones[k].checked) continue;
    if (!zonecheck(fd, starts[k], starts[k + 1], check)) return failed(name), kTecIoError;
    if (check != zones[k].check) return kTecOtherData;
  }
  return kTecOk;
}

struct SavedState {
  bool indexed = false;  // version 2: output-time indices and fingerprints recorded
  std::int64_t datalength = 0;
  std::int32_t setupindex = 0;
  std::string title;
  std::int32_t filetype = 0;
  std::vector<std::string> names;
  std::vector<AuxItem> aux;
  std::vector<ZoneRecord> zones;
};

Bytes statebytes(const SavedState& st) {
  Bytes b;
  b.raw(kSavedMagic, sizeof kSavedMagic);
  b.i64(st.datalength);
  b.i32(st.setupindex);
  b.str(st.title);
  b.i32(st.filetype);
  b.i64(static_cast<std::int64_t>(st.names.size()));
  for (const auto& name : st.names) b.str(name);
  b.i64(static_cast<std::int64_t>(st.aux.size()));
  for (const auto& item : st.aux) {
    b.i32(item.var);
    b.str(item.name);
    b.str(item.value);
  }
  b.i64(static_cast<std::int64_t>(st.zones.size()));
  for (const auto& z : st.zones) {
    b.str(z.title);
    b.i32(z.type);
    b.i64(z.nodes);
    b.i64(z.cells);
    b.f64(z.time);
    b.i32(z.strand);
    b.i32(z.connshare);
    b.i32(z.connpad);
    b.i32(z.outputindex);
    b.u64(z.check);
    b.i32(z.sourced ? 1 : 0);
    if (z.sourced) {
      b.i64(static_cast<std::int64_t>(z.sources.size()));
      for (const auto& file : z.sources) b.str(file);
    }
    for (const auto& v : z.vars) {
      b.i32(v.type);
      b.i32((v.cellcentred ? 1 : 0) | (v.passive ? 2 : 0));
      b.i32(v.share);
      b.i32(v.pad);
    }
  }
  b.u64(checksum(b.data(), b.size()));
  return b;
}

// A state the file already holds is not written again (a close right after a flush). Every
// zone's bytes are in the data file by now, so each zone gets its fingerprint.
bool savestate(DataSet& ds, std::int64_t datalength) {
  if (!checkzones(ds.zones, ds.data.fd(), ds.dataname)) return false;
  SavedState st;
  st.datalength = datalength;
  st.setupindex = ds.setupindex;
  st.title = ds.title;
  st.filetype = ds.filetype;
  st.names = ds.names;
  st.aux = ds.aux;
  st.zones = ds.zones;
  const Bytes b = statebytes(st);
  const std::string_view content(b.data(), b.size());
  if (content == ds.savedstate) return true;
  if (!replacefile(ds.headername, b)) return false;
  ds.savedstate = content;
  return true;
}

class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : rest_(bytes) {}
  template <class T>
  bool get(T& v) {
    if (rest_.size() < sizeof v) return false;
    std::memcpy(&v, rest_.data(), sizeof v);
    rest_.remove_prefix(sizeof v);
    return true;
  }
  bool str(std::string& s) {
    std::int64_t n = 0;
    if (!get(n) || n < 0 || static_cast<std::uint64_t>(n) > rest_.size()) return false;
    s.assign(rest_.data(), static_cast<std::size_t>(n));
    rest_.remove_prefix(static_cast<std::size_t>(n));
    return true;
  }
  // A count of records of at least `minbytes` each that can still follow.
  bool count(std::int64_t& n, std::size_t minbytes) {
    return get(n) && n >= 0 && static_cast<std::uint64_t>(n) <= rest_.size() / minbytes;
  }
  bool done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

// Texts of a data set hold no control character: a zero byte would end them in the data file.
// Earlier versions stored the others as they came, and those are read as blanks.
bool plaintext(std::string& text, bool strict) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) continue;
    if (strict || u == 0) return false;
    c = ' ';
  }
  return true;
}

// Checks every fact the writer later relies on, so a damaged file cannot lead it astray.
bool parsestate(std::string_view content, SavedState& st) {
  if (content.size() < sizeof kSavedMagic + sizeof(std::uint64_t)) return false;
  const bool sourced = std::memcmp(content.data(), kSavedMagic, sizeof kSavedMagic) == 0;
  st.indexed = sourced || std::memcmp(content.data(), kSavedMagicV2, sizeof kSavedMagicV2) == 0;
  if (!st.indexed && std::memcmp(content.data(), kSavedMagicV1, sizeof kSavedMagicV1) != 0) return false;
  const std::size_t body = content.size() - sizeof(std::uint64_t);
  std::uint64_t stored = 0;
  std::memcpy(&stored, content.data() + body, sizeof stored);
  if (stored != checksum(content.data(), body)) return false;

  Cursor in(content.substr(sizeof kSavedMagic, body - sizeof kSavedMagic));
  const auto text = [&](std::string& s) { return in.str(s) && plaintext(s, st.indexed); };
  std::int64_t n = 0;
  if (!in.get(st.datalength) || st.datalength < 0) return false;
  if (st.indexed && (!in.get(st.setupindex) || st.setupindex < 0)) return false;
  if (!text(st.title) || !in.get(st.filetype)) return false;
  if (!in.count(n, sizeof(std::int64_t)) || n == 0) return false;
  st.names.resize(static_cast<std::size_t>(n));
  for (auto& name : st.names) {
    if (!text(name) || name.empty()) return false;
  }
  const std::size_t nvar = st.names.size();
  if (!in.count(n, 20)) return false;
  st.aux.resize(static_cast<std::size_t>(n));
  for (auto& item : st.aux) {
    if (!in.get(item.var) || !text(item.name) || !text(item.value)) return false;
    if (item.var < 0 || static_cast<std::size_t>(item.var) > nvar || !validauxname(item.name.c_str())) return false;
  }
  if (!in.count(n, 48)) return false;
  st.zones.resize(static_cast<std::size_t>(n));
  for (std::size_t z = 0; z < st.zones.size(); ++z) {
    auto& zr = st.zones[z];
    if (!text(zr.title) || !in.get(zr.type) || !in.get(zr.nodes) || !in.get(zr.cells) || !in.get(zr.time) ||
        !in.get(zr.strand) || !in.get(zr.connshare) || !in.get(zr.connpad)) {
      return false;
    }
    if (st.indexed && (!in.get(zr.outputindex) || zr.outputindex < 0 || !in.get(zr.check))) return false;
    zr.checked = st.indexed;
    std::int32_t flag = 0;
    if (sourced && (!in.get(flag) || flag < 0 || flag > 1)) return false;
    zr.sourced = flag == 1;
    if (zr.sourced) {
      if (!in.count(n, sizeof(std::int64_t))) return false;
      zr.sources.resize(static_cast<std::size_t>(n));
      for (auto& file : zr.sources) {
        if (!text(file) || file.empty()) return false;
      }
    }
    if (nodesperelement(zr.type) == 0 || zr.nodes < 0 || zr.nodes > kMaxCount || zr.cells < 0 ||
        zr.cells > kMaxCount || zr.strand < 0 || zr.connshare < 0 || static_cast<std::size_t>(zr.connshare) > z ||
        zr.connpad < 0 || zr.connpad >= kAlign) {
      return false;
    }
    if (zr.connshare > 0) {
      const auto& src = st.zones[static_cast<std::size_t>(zr.connshare) - 1];
      if (src.connshare != 0 || src.type != zr.type || src.nodes != zr.nodes || src.cells != zr.cells) return false;
    }
    zr.vars.resize(nvar);
    for (std::size_t v = 0; v < nvar; ++v) {
      std::int32_t flags = 0;
      auto& slot = zr.vars[v];
      if (!in.get(slot.type) || !in.get(flags) || !in.get(slot.share) || !in.get(slot.pad)) return false;
      if (slot.type < kTecFloat || slot.type > kTecInt32 || flags < 0 || flags > 3 || slot.pad < 0 ||
          slot.pad >= kAlign) {
        return false;
      }
      slot.cellcentred = (flags & 1) != 0;
      slot.passive = (flags & 2) != 0;
      if (slot.share < 0 || static_cast<std::size_t>(slot.share) > z || (slot.share > 0 && slot.passive)) return false;
      if (slot.share > 0) {
        const auto& src = st.zones[static_cast<std::size_t>(slot.share) - 1];
        const auto& owner = src.vars[v];
        if (owner.share != 0 || owner.passive || owner.type != slot.type || owner.cellcentred != slot.cellcentred ||
            src.valuecount(v) != zr.valuecount(v)) {
          return false;
        }
      }
    }
  }
  return in.done() && st.datalength == layoutlength(st.zones);
}

// Widens [lo, hi] by the values; not-a-number values are left out. Four chains of short
// vectors, each held in registers of its own, keep the pass as fast as the memory that feeds it.
template <class T>
void widenrange(const T* values, std::size_t n, double& lo, double& hi) {
  typedef T Vec __attribute__((vector_size(16)));
  constexpr std::size_t kLanes = sizeof(Vec) / sizeof(T);
  constexpr T kHigh =
      std::numeric_limits<T>::has_infinity ? std::numeric_limits<T>::infinity() : std::numeric_limits<T>::max();
  constexpr T kLow =
      std::numeric_limits<T>::has_infinity ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::lowest();
  const Vec high = Vec{} + kHigh;
  const Vec low = Vec{} + kLow;
  Vec l0 = high, l1 = high, l2 = high, l3 = high;
  Vec h0 = low, h1 = low, h2 = low, h3 = low;
  // A comparison with not-a-number is false, so such a value never replaces a bound.
  const auto step = [](const T* p, Vec& l, Vec& h) {
    Vec x;
    std::memcpy(&x, p, sizeof x);
    l = x < l ? x : l;
    h = x > h ? x : h;
  };
  std::size_t i = 0;
  for (; i + 4 * kLanes <= n; i += 4 * kLanes) {
    step(values + i, l0, h0);
    step(values + i + kLanes, l1, h1);
    step(values + i + 2 * kLanes, l2, h2);
    step(values + i + 3 * kLanes, l3, h3);
  }
  l0 = l0 < l1 ? l0 : l1;
  l2 = l2 < l3 ? l2 : l3;
  l0 = l0 < l2 ? l0 : l2;
  h0 = h0 > h1 ? h0 : h1;
  h2 = h2 > h3 ? h2 : h3;
  h0 = h0 > h2 ? h0 : h2;
  T least = kHigh;
  T most = kLow;
  for (; i < n; ++i) {
    least = values[i] < least ? values[i] : least;
    most = values[i] > most ? values[i] : most;
  }
  for (std::size_t k = 0; k < kLanes; ++k) {
    least = l0[k] < least ? l0[k] : least;
    most = h0[k] > most ? h0[k] : most;
  }
  if (least > most) return;  // no number among the values
  lo = std::min(lo, static_cast<double>(least));
  hi = std::max(hi, static_cast<double>(most));
}

// ---------------------------------------------------------------------------------------------
// Open data sets

// Whether `file` already holds the data set: the same header and the same length. The header
// holds every zone's time and the creation date of the run that opened the data set, so a file
// written from other zones or by another run differs in it.
bool holds(const std::string& file, const Bytes& header, std::int64_t length) {
  // Only a regular file is read: opening a pipe would wait for a writer.
  struct stat kind {};
  if (::lstat(file.c_str(), &kind) != 0 || !S_ISREG(kind.st_mode)) return false;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  bool same = ::fstat(fd, &info) == 0 && info.st_size == length;
  std::vector<char> start(same ? header.size() : 0);
  same = same && ::pread(fd, start.data(), start.size(), 0) == static_cast<ssize_t>(start.size()) &&
         std::memcmp(start.data(), header.data(), start.size()) == 0;
  ::close(fd);
  return same;
}

// A data file's header, read from its start in blocks.
class FileHead {
 public:
  FileHead(int fd, std::int64_t size) : fd_(fd), size_(size) {}
  // The system error of a failed read; 0 where the bytes were read.
  int error() const { return error_; }
  template <class T>
  bool get(T& v) {
    if (!have(sizeof v)) return false;
    std::memcpy(&v, block_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return true;
  }
  // A text: 32-bit characters up to a zero. A text longer than any this layer writes is not
  // read to its end, so that a damaged file is not scanned whole.
  bool text() {
    std::int32_t c = 0;
    for (int n = 0; n < (1 << 16); ++n) {
      if (!get(c)) return false;
      if (c == 0) return true;
    }
    return false;
  }

 private:
  bool have(std::size_t n) {
    if (pos_ + n <= block_.size()) return true;
    at_ += static_cast<std::int64_t>(pos_);
    block_.erase(0, pos_);
    pos_ = 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size_ - at_, 64 << 10));
    if (want < n) return false;
    const std::size_t kept = block_.size();
    block_.resize(want);
    if (readall(fd_, block_.data() + kept, static_cast<std::int64_t>(want - kept),
                at_ + static_cast<std::int64_t>(kept))) {
      return true;
    }
    error_ = errno;
    return false;
  }

  int fd_;
  std::int64_t size_;
  std::int64_t at_ = 0;  // file offset of block_[0]
  std::string block_;
  std::size_t pos_ = 0;
  int error_ = 0;
};

// The zones of a header as buildheader writes it; -1 where it is not such a header.
std::int64_t countzones(FileHead& in) {
  char magic[8] = {};
  std::int32_t word = 0, nvar = 0;
  if (!in.get(magic) || std::memcmp(magic, "#!TDV112", sizeof magic) != 0 || !in.get(word) || !in.get(word) ||
      !in.text() || !in.get(nvar) || nvar < 0) {
    return -1;
  }
  for (std::int32_t v = 0; v < nvar; ++v) {
    if (!in.text()) return -1;
  }
  std::int64_t zones = 0;
  while (true) {
    float marker = 0.0f;
    double time = 0.0;
    if (!in.get(marker)) return -1;
    if (marker == kEndOfHeaderMarker) return zones;
    bool ok = true;
    if (marker == kZoneMarker) {
      // Title, parent zone, strand, time, colour, type, cell-centred flags.
      std::int32_t anycells = 0, aux = 0;
      ok = in.text() && in.get(word) && in.get(word) && in.get(time) && in.get(word) && in.get(word) && in.get(anycells);
      for (std::int32_t v = 0; ok && anycells == 1 && v < nvar; ++v) ok = in.get(word);
      // Face neighbours, node and cell counts, cell dimensions, auxiliary data.
      for (int k = 0; ok && k < 7; ++k) ok = in.get(word);
      ok = ok && in.get(aux) && aux == 0;
      ++zones;
    } else if (marker == kDataSetAuxMarker || marker == kVarAuxMarker) {
      ok = (marker == kDataSetAuxMarker || in.get(word)) && in.text() && in.get(word) && in.text();
    } else {
      ok = false;
    }
    if (!ok) return -1;
  }
}

// What a data set file holds: its zones, -1 where there is none. A file that exists but cannot
// be read says why: it must not pass for one of no zones, which anything may replace.
struct Placed {
  std::int64_t zones = -1;
  std::string trouble;
  TecFailure failure;
};

Placed placedfile(const std::string& file) {
  Placed p;
  std::int64_t size = 0;
  const int fd = openregular(file, O_RDONLY, size);
  if (fd < 0) {
    if (errno == ENOENT) return p;
    p.failure = {errno == EINVAL ? 0 : errno, file};
    p.trouble = errno == EINVAL ? std::string("it is not a regular file") : std::strerror(errno);
    return p;
  }
  FileHead in(fd, size);
  p.zones = countzones(in);
  if (p.zones < 0) {
    p.failure = {in.error(), file};
    p.trouble = in.error() != 0 ? std::strerror(in.error()) : "it is not a data set of the layout this program writes";
  }
  ::close(fd);
  return p;
}

// The length of "<base>.szplt" written from the data set: its header and data without padding.
std::int64_t finallength(const DataSet& ds) {
  std::int64_t length = static_cast<std::int64_t>(buildheader(ds).size());
  for (const auto& z : ds.zones) walkzone(z, [&](std::int64_t n) { length += n; }, [](std::int64_t) {});
  return length;
}

// Writes "<base>.szplt" from the header state and the data file; `unchanged` leaves a file
// that already holds it alone and says so.
bool putinplace(const DataSet& ds, bool* unchanged) {
  const Bytes header = buildheader(ds);
  // A link is followed: its target is replaced and the link stays.
  const std::string file = linktarget(ds.finalname);
  if (unchanged != nullptr) {
    *unchanged = holds(file, header, finallength(ds));
    if (*unchanged) return true;
  }
  // A regular file is replaced by a complete successor, so that a run stopped meanwhile leaves
  // the earlier data set readable. Anything else (a device, a pipe) is written in place.
  struct stat info {};
  const bool replace = ::lstat(file.c_str(), &info) != 0 ? errno == ENOENT : S_ISREG(info.st_mode);
  const std::string target = replace ? file + ".new" : file;
  const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (out < 0) return failed(target);
  bool ok = (writeall(out, header.data(), header.size(), 0) &&
             copydata(ds.zones, ds.data.fd(), out, static_cast<std::int64_t>(header.size()))) ||
            failed(target);
  ok = (::close(out) == 0 || failed(target)) && ok;
  if (ok && replace) ok = std::rename(target.c_str(), file.c_str()) == 0 || failed(ds.finalname);
  if (!ok && replace) std::remove(target.c_str());
  return ok;
}

// The outcome of each data set's last close or put-in-place, by its file name. Made before the
// registry (registry() asks for it), whose destructor still closes data sets.
std::map<std::string, TecOutcome>& outcomes() {
  static std::map<std::string, TecOutcome> recorded;
  return recorded;
}

// Records a kept file's outcome: `placed` its zones where known.
void keptoutcome(const std::string& finalname, TecPlacement placement, std::int64_t placed, TecFailure failure) {
  TecOutcome& out = outcomes()[finalname];
  out = {};
  out.placement = placement;
  out.placed = placed;
  out.failure = std::move(failure);
}

// Records that a file which cannot be read was kept, and why.
void unreadableoutcome(const std::string& finalname, const Placed& placed) {
  keptoutcome(finalname, TecPlacement::unreadable, -1, placed.failure);
  outcomes()[finalname].trouble = placed.trouble;
}

// Records the zones a file now holds, written or found unchanged.
void heldoutcome(const std::string& finalname, TecPlacement placement, const std::vector<ZoneRecord>& zones) {
  TecOutcome& out = outcomes()[finalname];
  out = {};
  out.placement = placement;
  for (const auto& z : zones) out.indices.push_back(z.outputindex);
  out.placed = static_cast<std::int64_t>(zones.size());
}

// The file of an append series never gives way to one of fewer zones than `zones`, nor to
// anything where it cannot be read: kTecOk where it may be replaced, else the refusal, recorded.
std::int32_t mayreplace(const std::string& finalname, const std::vector<ZoneRecord>& zones) {
  const Placed placed = placedfile(linktarget(finalname));
  if (!placed.trouble.empty()) {
    unreadableoutcome(finalname, placed);
    return kTecPlacedUnreadable;
  }
  if (placed.zones > static_cast<std::int64_t>(zones.size())) {
    keptoutcome(finalname, TecPlacement::morezones, placed.zones, {});
    for (const auto& z : zones) outcomes()[finalname].indices.push_back(z.outputindex);
    return kTecFewerZones;
  }
  return kTecOk;
}

// Writes "<base>.szplt" from the complete zones; an incomplete last zone is dropped and
// reported. A data set without a complete zone is given up and an earlier file stays. The
// temporary files are removed, or kept for a later run to continue; a file that already holds
// what kept temporaries hold is left alone, and so is one an earlier run wrote where this run
// committed nothing to the data set. The file of an append `series` never gives way to one of
// fewer zones, nor to anything where it cannot be read. A `stopped` run's close gives up a data
// set without a complete zone even where none is under way. The outcome is recorded either way.
std::int32_t finish(DataSet& ds, bool keeptemporaries, bool series, bool stopped = false) {
  const std::size_t complete = ds.zones.size() - (ds.current ? 1 : 0);
  // A resumed data set that committed no zone since (a run stopped before its first flush)
  // still holds what the earlier run's "<base>.szplt" shows.
  struct stat info {};
  if (keeptemporaries && ds.resumed && !ds.flushed && ::stat(ds.finalname.c_str(), &info) == 0) {
    ds.data.release();
    keptoutcome(ds.finalname, TecPlacement::notattempted, -1, {});
    return kTecOk;
  }
  // Without one complete zone the data set holds nothing an earlier file should give way to;
  // only a close asked for a data set of no zone by a run that goes on writes one.
  if (complete == 0 && (keeptemporaries || ds.current || stopped)) {
    ds.data.release();
    if (!keeptemporaries) {
      std::remove(ds.dataname.c_str());
      std::remove(ds.headername.c_str());
    }
    keptoutcome(ds.finalname, TecPlacement::notattempted, -1, {});
    return ds.current ? kTecBadSequence : kTecOk;
  }
  std::int32_t rc = kTecOk;
  std::int64_t datalength = ds.data.end();
  if (ds.current) {
    datalength = ds.current->begin;
    ds.zones.pop_back();
    ds.current.reset();
    rc = kTecBadSequence;
  }
  const auto fail = [&](std::int32_t code) {
    ds.data.release();
    keptoutcome(ds.finalname, TecPlacement::failed, -1, ds.broken ? ds.brokenby : lastfailure());
    return code;
  };
  if (ds.broken || !ds.data.flush()) return fail(kTecIoError);
  if (layoutlength(ds.zones) != datalength) return fail(kTecBadTemporary);
  if (const std::int32_t refused = series ? mayreplace(ds.finalname, ds.zones) : kTecOk; refused != kTecOk) {
    ds.data.release();
    return refused;
  }
  // A close saves first, so that a failing assembly still leaves every complete zone
  // resumable. At the end of a run that did not close the data set the state of its last
  // flush stays: only flushed zones are committed, and each records its output time, so the
  // next run goes on where that record says.
  if (!keeptemporaries && !savestate(ds, datalength)) return fail(kTecIoError);
  bool unchanged = false;
  if (!putinplace(ds, keeptemporaries ? &unchanged : nullptr)) return fail(kTecIoError);
  // The file is in place: a failing close of the data file no longer changes what it holds.
  ds.data.release();
  heldoutcome(ds.finalname,
              unchanged ? TecPlacement::unchanged : rc == kTecBadSequence ? TecPlacement::writtencut
                                                                           : TecPlacement::written,
              ds.zones);
  if (!keeptemporaries) {
    std::remove(ds.dataname.c_str());
    std::remove(ds.headername.c_str());
  }
  return rc;
}

struct Registry {
  std::mutex lock;
  std::map<std::uintptr_t, std::unique_ptr<DataSet>> open;
  std::uintptr_t last = 0;

  // Data sets still open when the program ends (append mode drops its handles after a flush;
  // a stopped run leaves them open) are written out as they stand, so that each has a
  // readable "<base>.szplt"; their temporary files stay for a later run to continue.
  ~Registry() {
    for (auto& entry : open) {
      try {
        finish(*entry.second, true, false);
      } catch (...) {
        // Nothing more can be done at exit; the temporary files hold the last flush.
      }
    }
  }
};

Registry& registry() {
  lastfailure();
  outcomes();
  static Registry r;
  return r;
}

DataSet* lookup(void* handle) {
  if (handle == nullptr) return nullptr;
  auto& open = registry().open;
  const auto it = open.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == open.end() ? nullptr : it->second.get();
}

// Runs one call under the registry lock; an unexpected exception (memory exhaustion) becomes
// a status like every other failure.
template <class F>
std::int32_t guarded(F&& body) noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    // A failure reported belongs to the call that reports it.
    lastfailure().error = 0;
    return body();
  } catch (...) {
    return kTecIoError;
  }
}

// The data set's file names from its base name, given with or without ".szplt".
bool namefiles(const char* fileName, DataSet& ds) {
  std::string base = fileName;
  constexpr std::string_view kExtension = ".szplt";
  if (base.size() > kExtension.size() && base.ends_with(kExtension)) base.resize(base.size() - kExtension.size());
  if (base.empty()) return false;
  ds.finalname = base + std::string(kExtension);
  ds.headername = ds.finalname + ".szhdr";
  ds.dataname = ds.finalname + ".szdat";
  return true;
}

// Takes the header state into the data set, as its temporary files hold it.
void adopt(DataSet& ds, SavedState&& st) {
  ds.title = std::move(st.title);
  ds.filetype = st.filetype;
  ds.names = std::move(st.names);
  ds.aux = std::move(st.aux);
  ds.zones = std::move(st.zones);
}

// Reads the header state of a data set's temporary files (`ds` named) into `st`.
std::int32_t readsaved(const DataSet& ds, SavedState& st) {
  std::string content;
  if (!readwhole(ds.headername, content)) return kTecIoError;
  if (!parsestate(content, st)) return kTecBadTemporary;
  return kTecOk;
}

std::int32_t readtemporaries(const char* fileName, TecTemporaries* out) {
  if (out == nullptr) return kTecBadArgument;
  *out = {};
  DataSet ds;
  if (fileName == nullptr || !namefiles(fileName, ds)) return kTecBadArgument;
  const Placed placed = placedfile(linktarget(ds.finalname));
  out->placed = placed.zones;
  out->placedtrouble = placed.trouble;
  out->header = nameexists(ds.headername);
  out->data = nameexists(ds.dataname);
  if (!out->header) return kTecOk;
  SavedState st;
  if (const std::int32_t rc = readsaved(ds, st); rc != kTecOk) return rc;
  out->zones = static_cast<std::int32_t>(st.zones.size());
  out->indexed = st.indexed;
  out->setupindex = st.setupindex;
  for (const auto& z : st.zones) {
    out->indices.push_back(z.outputindex);
    out->sourced.push_back(z.sourced ? 1 : 0);
    out->sources.push_back(z.sources);
  }
  if (!st.zones.empty()) {
    const ZoneRecord& first = st.zones.front();
    out->lasttime = st.zones.back().time;
    out->lasttimed = st.zones.back().strand > 0;
    out->zonetype = first.type;
    out->nodes = first.nodes;
    out->cells = first.cells;
  }
  if (!out->data) return kTecOk;
  if (const std::int32_t rc = ds.data.inspect(ds.dataname, st.datalength); rc != kTecOk) return rc;
  if (const std::int32_t rc = comparechecks(st.zones, ds.data.fd(), ds.dataname); rc != kTecOk) return rc;
  if (placed.zones == static_cast<std::int64_t>(st.zones.size())) {
    adopt(ds, std::move(st));
    out->placedsame = holds(linktarget(ds.finalname), buildheader(ds), finallength(ds));
  }
  return kTecOk;
}

std::int32_t assemble(const char* fileName, std::int32_t* written) {
  if (written == nullptr) return kTecBadArgument;
  *written = 0;
  DataSet ds;
  if (fileName == nullptr || !namefiles(fileName, ds)) return kTecBadArgument;
  SavedState st;
  const auto fail = [&](std::int32_t code) {
    keptoutcome(ds.finalname, TecPlacement::failed, -1, lastfailure());
    return code;
  };
  if (const std::int32_t rc = readsaved(ds, st); rc != kTecOk) return fail(rc);
  if (const std::int32_t rc = ds.data.inspect(ds.dataname, st.datalength); rc != kTecOk) return fail(rc);
  if (const std::int32_t refused = mayreplace(ds.finalname, st.zones); refused != kTecOk) return refused;
  adopt(ds, std::move(st));
  bool unchanged = false;
  const bool placed = putinplace(ds, &unchanged);
  ds.data.release();
  if (!placed) return fail(kTecIoError);
  heldoutcome(ds.finalname, unchanged ? TecPlacement::unchanged : TecPlacement::written, ds.zones);
  *written = unchanged ? 0 : 1;
  return kTecOk;
}

std::int32_t takeback(const char* fileName, std::int32_t lastindex) {
  DataSet ds;
  if (fileName == nullptr || !namefiles(fileName, ds) || lastindex < 0) return kTecBadArgument;
  SavedState st;
  if (const std::int32_t rc = readsaved(ds, st); rc != kTecOk) return rc;
  std::int64_t size = 0;
  const int fd = openregular(ds.dataname, O_RDWR, size);
  if (fd < 0) return errno == ENOENT || errno == EINVAL ? kTecBadTemporary : (failed(ds.dataname), kTecIoError);
  if (size < st.datalength) {
    ::close(fd);
    return kTecBadTemporary;
  }
  while (!st.zones.empty() && st.zones.back().outputindex > lastindex) st.zones.pop_back();
  if (st.zones.empty()) st.setupindex = lastindex + 1;
  st.datalength = layoutlength(st.zones);
  // The header goes first: a run stopped before the cut leaves a data file longer than its
  // header says, which the next open cuts.
  bool ok = checkzones(st.zones, fd, ds.dataname) && replacefile(ds.headername, statebytes(st));
  ok = ok && (::ftruncate(fd, static_cast<off_t>(st.datalength)) == 0 || failed(ds.dataname));
  ::close(fd);
  return ok ? kTecOk : kTecIoError;
}

std::int32_t setoutputindex(void* fileHandle, std::int32_t zone, std::int32_t index) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (zone < 0 || static_cast<std::size_t>(zone) > ds->zones.size() || index < 0) return kTecBadArgument;
  if (zone > 0) {
    ds->zones[static_cast<std::size_t>(zone) - 1].outputindex = index;
    return kTecOk;
  }
  // A data set without zones is recorded at once, so that a run killed before its first
  // flush still says where the data set begins.
  if (!ds->zones.empty()) return kTecOk;
  if (ds->broken) return kTecIoError;
  ds->setupindex = index;
  return savestate(*ds, ds->data.end()) ? kTecOk : kTecIoError;
}

std::int32_t setsources(void* fileHandle, std::int32_t zone, const std::vector<std::string>& files) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (zone < 1 || static_cast<std::size_t>(zone) > ds->zones.size()) return kTecBadArgument;
  for (const auto& file : files) {
    std::string text = file;
    if (text.empty() || !plaintext(text, true)) return kTecBadArgument;
  }
  auto& z = ds->zones[static_cast<std::size_t>(zone) - 1];
  z.sources = files;
  z.sourced = true;
  return kTecOk;
}

std::int32_t openimpl(const char* fileName, const char* dataSetTitle, const char* variableList,
                      std::int32_t fileFormat, std::int32_t fileType, std::int32_t defaultVarType,
                      void* gridFileHandle, void** fileHandle) {
  if (fileHandle == nullptr) return kTecBadArgument;
  *fileHandle = nullptr;
  if (fileName == nullptr || dataSetTitle == nullptr || variableList == nullptr || gridFileHandle != nullptr) {
    return kTecBadArgument;
  }
  if (fileFormat != kTecFormatSzplt || fileType != kTecFileFull || defaultVarType < 0 || defaultVarType > kTecInt32) {
    return kTecBadArgument;
  }
  auto ds = std::make_unique<DataSet>();
  if (!splitnames(variableList, ds->names) || !namefiles(fileName, *ds)) return kTecBadArgument;
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(ds->finalname), ec);
  if (ec) return kTecIoError;
  ds->key = absolute.lexically_normal().string();
  for (const auto& [token, other] : registry().open) {
    if (other->key == ds->key) return kTecBadArgument;
  }
  ds->title = dataSetTitle;
  ds->filetype = fileType;
  ds->defaulttype = defaultVarType == 0 ? kTecFloat : defaultVarType;

  bool resumed = false;
  if (fs::exists(ds->headername, ec)) {
    std::string content;
    if (!readwhole(ds->headername, content)) return kTecIoError;
    SavedState st;
    if (!parsestate(content, st)) return kTecBadTemporary;
    // Starting afresh would throw away the zones the files hold.
    if (st.names != ds->names || st.filetype != ds->filetype) return kTecOtherTemporary;
    const std::int32_t rc = ds->data.resume(ds->dataname, st.datalength);
    if (rc != kTecOk) return rc;
    ds->aux = std::move(st.aux);
    ds->zones = std::move(st.zones);
    ds->setupindex = st.setupindex;
    // The header already describes the data file: it is written again at the next flush, so
    // that one written by an earlier version stays as it was until then.
    ds->savedstate = std::move(content);
    ds->resumed = true;
    resumed = true;
  } else if (ec) {
    return kTecIoError;
  }
  // The header comes first: a run killed before the data file exists leaves a data set that
  // holds nothing, which the next open continues.
  if (!resumed && (!savestate(*ds, 0) || !ds->data.create(ds->dataname))) return kTecIoError;

  auto& reg = registry();
  const std::uintptr_t token = ++reg.last;
  reg.open.emplace(token, std::move(ds));
  *fileHandle = reinterpret_cast<void*>(token);
  return kTecOk;
}

// `var` 0 adds a data-set item, 1 to the variable count an item of that variable.
std::int32_t addaux(void* fileHandle, bool ofvariable, std::int32_t var, const char* name, const char* value) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if ((ofvariable && var < 1) || var < 0 || static_cast<std::size_t>(var) > ds->nvar() || !validauxname(name) ||
      value == nullptr) {
    return kTecBadArgument;
  }
  for (auto& item : ds->aux) {
    if (item.var == var && item.name == name) {
      item.value = value;
      return kTecOk;
    }
  }
  ds->aux.push_back({var, name, value});
  return kTecOk;
}

std::int32_t createzone(void* fileHandle, const char* zoneTitle, std::int32_t zoneType, std::int64_t numNodes,
                        std::int64_t numCells, const std::int32_t* varTypes, const std::int32_t* shareVarFromZone,
                        const std::int32_t* valueLocations, const std::int32_t* passiveVarList,
                        std::int32_t shareConnectivityFromZone, std::int64_t numFaceConnections,
                        std::int32_t faceNeighborMode, std::int32_t* zone) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  const std::int32_t npe = nodesperelement(zoneType);
  if (zoneTitle == nullptr || zone == nullptr || npe == 0 || numNodes < 0 || numNodes > kMaxCount || numCells < 0 ||
      numCells > kMaxCount || numFaceConnections != 0 || faceNeighborMode < 0 || faceNeighborMode > 3) {
    return kTecBadArgument;
  }
  if (ds->broken) return kTecIoError;
  if (ds->current) return kTecBadSequence;
  if (ds->zones.size() >= static_cast<std::size_t>(kMaxCount)) return kTecBadArgument;
  const auto newzone = static_cast<std::int32_t>(ds->zones.size() + 1);

  ZoneRecord z;
  z.title = zoneTitle;
  z.type = zoneType;
  z.nodes = numNodes;
  z.cells = numCells;
  z.vars.resize(ds->nvar());
  for (std::size_t v = 0; v < ds->nvar(); ++v) {
    auto& slot = z.vars[v];
    slot.type = varTypes != nullptr ? varTypes[v] : ds->defaulttype;
    const std::int32_t location = valueLocations != nullptr ? valueLocations[v] : kTecNodal;
    const std::int32_t passive = passiveVarList != nullptr ? passiveVarList[v] : 0;
    const std::int32_t share = shareVarFromZone != nullptr ? shareVarFromZone[v] : 0;
    if (slot.type < kTecFloat || slot.type > kTecInt32 || (location != kTecNodal && location != kTecCellCentred) ||
        passive < 0 || passive > 1 || share < 0 || share >= newzone || (share > 0 && passive == 1)) {
      return kTecBadArgument;
    }
    slot.cellcentred = location == kTecCellCentred;
    slot.passive = passive == 1;
    if (share > 0) {
      // Shared values must fit this zone as they are; chains end at the zone that holds them.
      const auto& src = ds->zones[static_cast<std::size_t>(share) - 1];
      const auto& from = src.vars[v];
      if (from.passive || from.cellcentred != slot.cellcentred || src.valuecount(v) != z.valuecount(v)) {
        return kTecBadArgument;
      }
      slot.type = from.type;
      slot.share = from.share > 0 ? from.share : share;
    }
  }
  if (shareConnectivityFromZone < 0 || shareConnectivityFromZone >= newzone) return kTecBadArgument;
  if (shareConnectivityFromZone > 0) {
    const auto& src = ds->zones[static_cast<std::size_t>(shareConnectivityFromZone) - 1];
    if (src.type != z.type || src.nodes != z.nodes || src.cells != z.cells) return kTecBadArgument;
    z.connshare = src.connshare > 0 ? src.connshare : shareConnectivityFromZone;
  }

  ZoneWrite w;
  w.zone = newzone;
  w.begin = ds->data.end();
  const Bytes preamble = zonepreamble(z, w.rangeat, w.begin);
  w.expected.resize(ds->nvar());
  for (std::size_t v = 0; v < ds->nvar(); ++v) {
    w.expected[v] = (z.vars[v].passive || z.vars[v].share > 0) ? 0 : z.valuecount(v);
  }
  w.written.assign(ds->nvar(), 0);
  w.lo.assign(ds->nvar(), std::numeric_limits<double>::infinity());
  w.hi.assign(ds->nvar(), -std::numeric_limits<double>::infinity());
  w.connexpected = z.connshare > 0 ? 0 : z.cells * npe;
  w.skipcomplete();
  if (!ds->data.append(preamble.data(), preamble.size())) {
    ds->breakoff();
    return kTecIoError;
  }
  ds->zones.push_back(std::move(z));
  if (!w.complete()) ds->current = std::move(w);
  *zone = newzone;
  return kTecOk;
}

// Argument checks shared by the value and node-map writes.
std::int32_t checkzone(const DataSet& ds, std::int32_t zone, std::int32_t partition, std::int64_t count,
                       const void* data) {
  if (zone < 1 || static_cast<std::size_t>(zone) > ds.zones.size() || partition != 0 || count < 0 ||
      (count > 0 && data == nullptr)) {
    return kTecBadArgument;
  }
  return kTecOk;
}

// Whether `zone` still takes data; every other existing zone is complete and takes nothing more.
bool writing(const DataSet& ds, std::int32_t zone) { return ds.current && ds.current->zone == zone; }

std::int32_t finishvar(DataSet& ds, std::size_t v) {
  ZoneWrite& w = *ds.current;
  double range[2] = {w.lo[v], w.hi[v]};
  if (range[0] > range[1]) range[0] = range[1] = 0.0;  // no values, or none a number
  if (!ds.data.patch(w.rangeat[v], range, sizeof range)) {
    ds.breakoff();
    return kTecIoError;
  }
  w.skipcomplete();
  return kTecOk;
}

template <class T>
std::int32_t writevalues(void* fileHandle, std::int32_t zone, std::int32_t var, std::int32_t partition,
                         std::int64_t count, const T* values, std::int32_t type) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (const std::int32_t rc = checkzone(*ds, zone, partition, count, values); rc != kTecOk) return rc;
  if (var < 1 || static_cast<std::size_t>(var) > ds->nvar()) return kTecBadArgument;
  const auto v = static_cast<std::size_t>(var) - 1;
  const VarSlot& slot = ds->zones[static_cast<std::size_t>(zone) - 1].vars[v];
  if (slot.type != type) return kTecBadArgument;
  if (slot.passive || slot.share > 0) return kTecBadSequence;
  if (ds->broken) return kTecIoError;
  if (!writing(*ds, zone)) return count == 0 ? kTecOk : kTecBadSequence;
  ZoneWrite& w = *ds->current;
  if (w.next < v || count > w.expected[v] - w.written[v]) return kTecBadSequence;
  if (count == 0) return kTecOk;
  const auto n = static_cast<std::size_t>(count);
  if (w.written[v] == 0 && w.expected[v] * static_cast<std::int64_t>(sizeof(T)) >= kAlignFrom &&
      !padto(ds->data, ds->zones.back().vars[v].pad)) {
    ds->breakoff();
    return kTecIoError;
  }
  constexpr std::size_t kSlice = kSliceBytes / sizeof(T);
  for (std::size_t i = 0; i < n; i += kSlice) {
    const std::size_t m = std::min(kSlice, n - i);
    widenrange(values + i, m, w.lo[v], w.hi[v]);
    if (!ds->data.append(values + i, m * sizeof(T))) {
      ds->breakoff();
      return kTecIoError;
    }
  }
  w.written[v] += count;
  if (w.written[v] == w.expected[v]) {
    if (const std::int32_t rc = finishvar(*ds, v); rc != kTecOk) return rc;
    if (w.complete()) ds->current.reset();
  }
  return kTecOk;
}

std::int32_t writenodemap(void* fileHandle, std::int32_t zone, std::int32_t partition, std::int32_t oneBased,
                          std::int64_t count, const std::int32_t* nodes) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (const std::int32_t rc = checkzone(*ds, zone, partition, count, nodes); rc != kTecOk) return rc;
  if (oneBased != 0 && oneBased != 1) return kTecBadArgument;
  const ZoneRecord& z = ds->zones[static_cast<std::size_t>(zone) - 1];
  if (z.connshare > 0) return kTecBadSequence;
  if (ds->broken) return kTecIoError;
  if (!writing(*ds, zone)) return count == 0 ? kTecOk : kTecBadSequence;
  ZoneWrite& w = *ds->current;
  if (w.next < w.expected.size() || count > w.connexpected - w.connwritten) return kTecBadSequence;
  const std::int64_t first = oneBased;
  const std::int64_t last = first + z.nodes - 1;
  const auto n = static_cast<std::size_t>(count);
  if (std::any_of(nodes, nodes + n, [&](std::int32_t k) { return k < first || k > last; })) return kTecBadArgument;
  if (count == 0) return kTecOk;
  bool ok = w.connwritten > 0 || w.connexpected * 4 < kAlignFrom || padto(ds->data, ds->zones.back().connpad);
  if (ok && oneBased == 0) {
    ok = ds->data.append(nodes, n * sizeof(std::int32_t));
  } else if (ok) {
    // The file numbers nodes from 0.
    std::vector<std::int32_t> shifted(std::min<std::size_t>(n, kSliceBytes / sizeof(std::int32_t)));
    for (std::size_t i = 0; ok && i < n; i += shifted.size()) {
      const std::size_t m = std::min(shifted.size(), n - i);
      for (std::size_t k = 0; k < m; ++k) shifted[k] = nodes[i + k] - 1;
      ok = ds->data.append(shifted.data(), m * sizeof(std::int32_t));
    }
  }
  if (!ok) {
    ds->breakoff();
    return kTecIoError;
  }
  w.connwritten += count;
  if (w.complete()) ds->current.reset();
  return kTecOk;
}

std::int32_t flushimpl(void* fileHandle, std::int32_t numZonesToRetain, const std::int32_t* zonesToRetain) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (numZonesToRetain < 0 || (numZonesToRetain > 0 && zonesToRetain == nullptr)) return kTecBadArgument;
  for (std::int32_t i = 0; i < numZonesToRetain; ++i) {
    if (zonesToRetain[i] < 1 || static_cast<std::size_t>(zonesToRetain[i]) > ds->zones.size()) {
      return kTecBadArgument;
    }
  }
  if (ds->current) return kTecBadSequence;
  if (ds->broken) return kTecIoError;
  if (!ds->data.flush()) {
    ds->breakoff();
    return kTecIoError;
  }
  if (!savestate(*ds, ds->data.end())) return kTecIoError;
  ds->flushed = true;
  return kTecOk;
}

// Whether the temporary files stay is the caller's: an append series, and a stopped run's data
// sets, keep them for a later run.
std::int32_t closeimpl(void** fileHandle, bool keeptemporaries, bool series, bool stopped = false) {
  if (fileHandle == nullptr) return kTecBadHandle;
  auto& open = registry().open;
  const auto it = open.find(reinterpret_cast<std::uintptr_t>(*fileHandle));
  if (it == open.end()) return kTecBadHandle;
  const std::unique_ptr<DataSet> owned = std::move(it->second);
  open.erase(it);
  *fileHandle = nullptr;
  return finish(*owned, keeptemporaries, series, stopped);
}

}  // namespace

std::int32_t tecFileWriterOpen(const char* fileName, const char* dataSetTitle, const char* variableList,
                               std::int32_t fileFormat, std::int32_t fileType, std::int32_t defaultVarType,
                               void* gridFileHandle, void** fileHandle) noexcept {
  return guarded([&] {
    return openimpl(fileName, dataSetTitle, variableList, fileFormat, fileType, defaultVarType, gridFileHandle,
                    fileHandle);
  });
}

std::int32_t tecDataSetAddAuxData(void* fileHandle, const char* name, const char* value) noexcept {
  return guarded([&] { return addaux(fileHandle, false, 0, name, value); });
}

std::int32_t tecVarAddAuxData(void* fileHandle, std::int32_t var, const char* name, const char* value) noexcept {
  return guarded([&] { return addaux(fileHandle, true, var, name, value); });
}

std::int32_t tecZoneCreateFE(void* fileHandle, const char* zoneTitle, std::int32_t zoneType, std::int64_t numNodes,
                             std::int64_t numCells, const std::int32_t* varTypes,
                             const std::int32_t* shareVarFromZone, const std::int32_t* valueLocations,
                             const std::int32_t* passiveVarList, std::int32_t shareConnectivityFromZone,
                             std::int64_t numFaceConnections, std::int32_t faceNeighborMode,
                             std::int32_t* zone) noexcept {
  return guarded([&] {
    return createzone(fileHandle, zoneTitle, zoneType, numNodes, numCells, varTypes, shareVarFromZone,
                      valueLocations, passiveVarList, shareConnectivityFromZone, numFaceConnections,
                      faceNeighborMode, zone);
  });
}

std::int32_t tecZoneSetUnsteadyOptions(void* fileHandle, std::int32_t zone, double solutionTime,
                                       std::int32_t strand) noexcept {
  return guarded([&] {
    DataSet* ds = lookup(fileHandle);
    if (ds == nullptr) return kTecBadHandle;
    if (zone < 1 || static_cast<std::size_t>(zone) > ds->zones.size() || strand < 0 || !std::isfinite(solutionTime)) {
      return kTecBadArgument;
    }
    auto& z = ds->zones[static_cast<std::size_t>(zone) - 1];
    z.time = solutionTime;
    z.strand = strand;
    return kTecOk;
  });
}

std::int32_t tecZoneVarWriteFloatValues(void* fileHandle, std::int32_t zone, std::int32_t var,
                                        std::int32_t partition, std::int64_t count, const float* values) noexcept {
  return guarded([&] { return writevalues(fileHandle, zone, var, partition, count, values, kTecFloat); });
}

std::int32_t tecZoneVarWriteDoubleValues(void* fileHandle, std::int32_t zone, std::int32_t var,
                                         std::int32_t partition, std::int64_t count, const double* values) noexcept {
  return guarded([&] { return writevalues(fileHandle, zone, var, partition, count, values, kTecDouble); });
}

std::int32_t tecZoneVarWriteInt32Values(void* fileHandle, std::int32_t zone, std::int32_t var,
                                        std::int32_t partition, std::int64_t count,
                                        const std::int32_t* values) noexcept {
  return guarded([&] { return writevalues(fileHandle, zone, var, partition, count, values, kTecInt32); });
}

std::int32_t tecZoneNodeMapWrite32(void* fileHandle, std::int32_t zone, std::int32_t partition,
                                   std::int32_t nodesAreOneBased, std::int64_t count,
                                   const std::int32_t* nodes) noexcept {
  return guarded([&] { return writenodemap(fileHandle, zone, partition, nodesAreOneBased, count, nodes); });
}

std::int32_t tecFileWriterFlush(void* fileHandle, std::int32_t numZonesToRetain,
                                const std::int32_t* zonesToRetain) noexcept {
  return guarded([&] { return flushimpl(fileHandle, numZonesToRetain, zonesToRetain); });
}

std::int32_t tecFileWriterClose(void** fileHandle) noexcept {
  return guarded([&] { return closeimpl(fileHandle, false, false); });
}

std::int32_t tecFileWriterCloseKeep(void** fileHandle, bool series) noexcept {
  return guarded([&] { return closeimpl(fileHandle, true, series); });
}

std::int32_t tecFileWriterCloseStopped(void** fileHandle) noexcept {
  return guarded([&] { return closeimpl(fileHandle, false, false, true); });
}

std::int32_t tecTemporariesRead(const char* fileName, TecTemporaries* temporaries) noexcept {
  return guarded([&] { return readtemporaries(fileName, temporaries); });
}

std::int32_t tecTemporariesPutInPlace(const char* fileName, std::int32_t* written) noexcept {
  return guarded([&] { return assemble(fileName, written); });
}

std::int32_t tecTemporariesTakeBack(const char* fileName, std::int32_t lastindex) noexcept {
  return guarded([&] { return takeback(fileName, lastindex); });
}

std::int32_t tecZoneSetOutputIndex(void* fileHandle, std::int32_t zone, std::int32_t index) noexcept {
  return guarded([&] { return setoutputindex(fileHandle, zone, index); });
}

std::int32_t tecZoneSetSources(void* fileHandle, std::int32_t zone, const std::vector<std::string>& files) noexcept {
  return guarded([&] { return setsources(fileHandle, zone, files); });
}

TecOutcome tecDataSetOutcome(const char* fileName) noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    DataSet named;
    if (fileName == nullptr || !namefiles(fileName, named)) return {};
    const auto it = outcomes().find(named.finalname);
    return it == outcomes().end() ? TecOutcome{} : it->second;
  } catch (...) {
    return {};
  }
}

TecFailure tecLastFailure() noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    return lastfailure();
  } catch (...) {
    return {};
  }
}

}  // namespace kelpra
