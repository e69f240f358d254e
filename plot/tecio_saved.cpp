// The saved state of a data set: the ".szhdr" format (version 4; versions 1 to 3 are still
// read), zone fingerprints, and the calls on temporary files: reading them, taking a series back
// to an earlier output time, and putting a data set in place.
#include "plot/tecio_saved.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "plot/tecio_outcomes.hpp"
#include "support/fileunits.hpp"

namespace kelpra::tecio {
namespace {

// The saved header state: version 4 records whether the temporary files belong to an append
// series, and each zone's output-time index, fingerprint, the result files it holds the values
// of and whether it was set up from the meshes alone. Earlier versions wrote less: version 3 no
// series and no zone origins, version 2 no result files either, version 1 none of them.
constexpr char kSavedMagic[7] = {'K', 'L', 'P', 'S', 'Z', 'H', 'D'};
constexpr char kSavedVersion = '4';
// A zone's fingerprint covers this many bytes at its start and at its end.
constexpr std::int64_t kCheckBytes = 4096;

std::uint64_t checksum(const char* data, std::size_t n) {
  std::uint64_t h = 1469598103934665603ULL;
  for (std::size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ULL;
  }
  return h;
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

Bytes statebytes(const SavedState& st) {
  Bytes b;
  b.raw(kSavedMagic, sizeof kSavedMagic);
  b.raw(&kSavedVersion, 1);
  b.i64(st.datalength);
  b.i32(st.setupindex);
  b.i32(st.series);
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
    b.i32(static_cast<std::int32_t>(z.origin));
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

// Whether `file` already holds the data set: the same header and the same length. The header
// holds every zone's time and the creation date of the run that opened the data set, so a file
// written from other zones or by another run differs in it. A file that cannot be read is
// neither: what it holds is not known (errno tells why).
enum class Holds { same, other, unreadable };
Holds holds(const std::string& file, const Bytes& header, std::int64_t length) {
  // Only a regular file is read, and not through a link: opening a pipe would wait for a writer.
  std::int64_t size = 0;
  const int fd = openregular(file, O_RDONLY | O_NOFOLLOW, size);
  if (fd < 0) return errno == ENOENT ? Holds::other : Holds::unreadable;
  Holds held = size == length ? Holds::same : Holds::other;
  std::vector<char> start(held == Holds::same ? header.size() : 0);
  if (held == Holds::same) {
    const ssize_t n = ::pread(fd, start.data(), start.size(), 0);
    if (n != static_cast<ssize_t>(start.size())) {
      if (n >= 0) errno = EIO;  // cut short meanwhile
      held = Holds::unreadable;
    } else if (std::memcmp(start.data(), header.data(), start.size()) != 0) {
      held = Holds::other;
    }
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  return held;
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

}  // namespace

bool savestate(DataSet& ds, std::int64_t datalength) {
  if (!checkzones(ds.zones, ds.data.fd(), ds.dataname)) return false;
  SavedState st;
  st.datalength = datalength;
  st.setupindex = ds.setupindex;
  st.series = ds.series ? 1 : 0;
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

bool plaintext(std::string& text, bool strict) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) continue;
    if (strict || u == 0) return false;
    c = ' ';
  }
  return true;
}

bool parsestate(std::string_view content, SavedState& st) {
  constexpr std::size_t kHead = sizeof kSavedMagic + 1;
  if (content.size() < kHead + sizeof(std::uint64_t)) return false;
  const char version = content[sizeof kSavedMagic];
  if (std::memcmp(content.data(), kSavedMagic, sizeof kSavedMagic) != 0 || version < '1' || version > kSavedVersion) {
    return false;
  }
  st.indexed = version >= '2';
  const bool sourced = version >= '3';
  const bool origins = version >= '4';
  const std::size_t body = content.size() - sizeof(std::uint64_t);
  std::uint64_t stored = 0;
  std::memcpy(&stored, content.data() + body, sizeof stored);
  if (stored != checksum(content.data(), body)) return false;

  Cursor in(content.substr(kHead, body - kHead));
  const auto text = [&](std::string& s) { return in.str(s) && plaintext(s, st.indexed); };
  std::int64_t n = 0;
  if (!in.get(st.datalength) || st.datalength < 0) return false;
  if (st.indexed && (!in.get(st.setupindex) || st.setupindex < 0)) return false;
  if (origins && (!in.get(st.series) || st.series < -1 || st.series > 1)) return false;  // -1: not recorded
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
    std::int32_t origin = 0;
    if (origins && (!in.get(origin) || origin < 0 || origin > static_cast<std::int32_t>(TecZoneOrigin::meshes))) {
      return false;
    }
    zr.origin = static_cast<TecZoneOrigin>(origin);
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

bool putinplace(const DataSet& ds, bool* unchanged) {
  const Bytes header = buildheader(ds);
  // A link is followed: its target is replaced and the link stays.
  const std::string file = linktarget(ds.finalname);
  if (unchanged != nullptr) {
    *unchanged = holds(file, header, finallength(ds)) == Holds::same;
    if (*unchanged) return true;
  }
  // A regular file is replaced by a complete successor, so that a run stopped meanwhile leaves
  // the earlier data set readable. Anything else (a device, a pipe) is written in place.
  struct stat info {};
  const bool replace = ::lstat(file.c_str(), &info) != 0 ? errno == ENOENT : S_ISREG(info.st_mode);
  const std::string target = replace ? file + ".new" : file;
  const int out = replace ? createfresh(target, O_WRONLY)
                          : ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (out < 0) return failed(target);
  bool ok = (writeall(out, header.data(), header.size(), 0) &&
             copydata(ds.zones, ds.data.fd(), out, static_cast<std::int64_t>(header.size()))) ||
            failed(target);
  ok = (::close(out) == 0 || failed(target)) && ok;
  if (ok && replace) ok = std::rename(target.c_str(), file.c_str()) == 0 || failed(ds.finalname);
  if (!ok && replace) std::remove(target.c_str());
  return ok;
}

std::int32_t readtemporaries(const char* fileName, TecTemporaries* out) {
  if (out == nullptr) return kTecBadArgument;
  *out = {};
  DataSet ds;
  if (fileName == nullptr || !namefiles(fileName, ds)) return kTecBadArgument;
  const Placed placed = placedfile(linktarget(ds.finalname));
  out->placed = placed.zones;
  out->placedtrouble = placed.trouble;
  out->placednames = placed.names;
  out->header = nameexists(ds.headername);
  out->data = nameexists(ds.dataname);
  if (!out->header) return kTecOk;
  SavedState st;
  if (const std::int32_t rc = readsaved(ds, st); rc != kTecOk) return rc;
  out->zones = static_cast<std::int32_t>(st.zones.size());
  out->indexed = st.indexed;
  out->setupindex = st.setupindex;
  out->series = st.series;
  out->names = st.names;
  for (const auto& z : st.zones) {
    out->indices.push_back(z.outputindex);
    out->sourced.push_back(z.sourced ? 1 : 0);
    out->sources.push_back(z.sources);
    out->origins.push_back(z.origin);
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
    // One that could be read a moment ago and no longer can is as unreadable as one that never could.
    switch (holds(linktarget(ds.finalname), buildheader(ds), finallength(ds))) {
      case Holds::same: out->placedsame = true; break;
      case Holds::other: break;
      case Holds::unreadable: out->placedtrouble = std::strerror(errno); break;
    }
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

std::int32_t takeback(const char* fileName, std::int32_t lastindex, bool every) {
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
  while (!st.zones.empty() && (every || st.zones.back().outputindex > lastindex)) st.zones.pop_back();
  if (st.zones.empty()) st.setupindex = lastindex + 1;
  st.datalength = layoutlength(st.zones);
  // The header goes first: a run stopped before the cut leaves a data file longer than its
  // header says, which the next open cuts.
  bool ok = checkzones(st.zones, fd, ds.dataname) && replacefile(ds.headername, statebytes(st));
  ok = ok && (::ftruncate(fd, static_cast<off_t>(st.datalength)) == 0 || failed(ds.dataname));
  ::close(fd);
  return ok ? kTecOk : kTecIoError;
}

}  // namespace kelpra::tecio
