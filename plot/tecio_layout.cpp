// The version-112 data file: its header and zone preambles built from a data set's state, the
// byte runs of each zone, the copy of the data section without its padding, and the zone count
// read back from a file already in place.
#include "plot/tecio_layout.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace kelpra::tecio {
namespace {

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
  // A text: 32-bit characters up to a zero, kept in `out` where given (as the bytes this layer
  // writes them from). A text longer than any this layer writes is not read to its end, so
  // that a damaged file is not scanned whole.
  bool text(std::string* out = nullptr) {
    std::int32_t c = 0;
    for (int n = 0; n < (1 << 16); ++n) {
      if (!get(c)) return false;
      if (c == 0) return true;
      if (out != nullptr) out->push_back(static_cast<char>(c));
    }
    return false;
  }
  // Passes over `n` bytes, reading none of them.
  bool skip(std::int64_t n) {
    const auto inblock = static_cast<std::int64_t>(block_.size() - pos_);
    if (n <= inblock) {
      pos_ += static_cast<std::size_t>(n);
      return true;
    }
    at_ += static_cast<std::int64_t>(block_.size()) + (n - inblock);
    block_.clear();
    pos_ = 0;
    return at_ <= size_;
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

// The zones of a header as buildheader writes it, and its variables; -1 where it is not such a
// header. `records`, where given, receives the type, node and cell counts and cell-centred
// variables of the first `keep` zones (variable slots only where some are cell-centred, so that
// a header cannot make it hold more than its own bytes).
std::int64_t countzones(FileHead& in, std::vector<std::string>& names, std::vector<ZoneRecord>* records = nullptr,
                        std::int64_t keep = 0) {
  char magic[8] = {};
  std::int32_t word = 0, nvar = 0;
  if (!in.get(magic) || std::memcmp(magic, "#!TDV112", sizeof magic) != 0 || !in.get(word) || !in.get(word) ||
      !in.text() || !in.get(nvar) || nvar < 0) {
    return -1;
  }
  names.assign(static_cast<std::size_t>(std::min(nvar, 1 << 16)), {});
  for (std::int32_t v = 0; v < nvar; ++v) {
    if (static_cast<std::size_t>(v) >= names.size() || !in.text(&names[static_cast<std::size_t>(v)])) return -1;
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
      const bool kept = records != nullptr && static_cast<std::int64_t>(records->size()) < keep;
      ZoneRecord z;
      std::int32_t anycells = 0, aux = 0;
      ok = in.text() && in.get(word) && in.get(word) && in.get(time) && in.get(word) && in.get(z.type) &&
           in.get(anycells);
      if (kept && anycells == 1) z.vars.resize(names.size());
      for (std::int32_t v = 0; ok && anycells == 1 && v < nvar; ++v) {
        ok = in.get(word);
        if (kept) z.vars[static_cast<std::size_t>(v)].cellcentred = word == 1;
      }
      // Face neighbours, node and cell counts, cell dimensions, auxiliary data.
      std::int32_t counts[7] = {};
      for (int k = 0; ok && k < 7; ++k) ok = in.get(counts[k]);
      ok = ok && in.get(aux) && aux == 0;
      z.nodes = counts[2];
      z.cells = counts[3];
      if (kept) records->push_back(std::move(z));
      ++zones;
    } else if (marker == kDataSetAuxMarker || marker == kVarAuxMarker) {
      ok = (marker == kDataSetAuxMarker || in.get(word)) && in.text() && in.get(word) && in.text();
    } else {
      ok = false;
    }
    if (!ok) return -1;
  }
}

// Reads the data preamble of zone `z` into its variable slots (share: the 1-based zone that
// holds the values, 0 own) and passes over its values and node lists.
bool walkzonedata(FileHead& in, ZoneRecord& z, std::size_t nvar) {
  z.vars.resize(nvar);
  float marker = 0.0f;
  std::int32_t any = 0, word = 0;
  if (!in.get(marker) || marker != kZoneMarker) return false;
  for (VarSlot& v : z.vars) {
    if (!in.get(v.type) || (v.type != kTecFloat && v.type != kTecDouble && v.type != kTecInt32)) return false;
  }
  for (const bool sharing : {false, true}) {
    if (!in.get(any)) return false;
    for (std::size_t v = 0; any == 1 && v < z.vars.size(); ++v) {
      if (!in.get(word)) return false;
      if (sharing) {
        z.vars[v].share = word + 1;
      } else {
        z.vars[v].passive = word == 1;
      }
    }
  }
  if (!in.get(z.connshare)) return false;
  z.connshare += 1;
  std::int64_t length = 0;
  for (std::size_t v = 0; v < z.vars.size(); ++v) {
    if (z.vars[v].passive || z.vars[v].share > 0) continue;
    length += 16 + z.valuecount(v) * typesize(z.vars[v].type);  // its range, then its values
  }
  if (z.connshare == 0) length += z.cells * nodesperelement(z.type) * 4;
  return z.nodes >= 0 && z.cells >= 0 && in.skip(length);
}

}  // namespace

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

bool namefiles(const char* fileName, DataSetContent& ds) {
  std::string base = fileName;
  constexpr std::string_view kExtension = ".szplt";
  if (base.size() > kExtension.size() && base.ends_with(kExtension)) base.resize(base.size() - kExtension.size());
  if (base.empty()) return false;
  ds.finalname = base + std::string(kExtension);
  const std::array<std::string, 2> temporaries = temporaryfilenames(base);
  ds.headername = temporaries[0];
  ds.dataname = temporaries[1];
  return true;
}

Bytes buildheader(const DataSetContent& ds) {
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

std::int64_t zonelength(const ZoneRecord& z, bool padding) {
  std::int64_t length = 0;
  walkzone(z, [&](std::int64_t n) { length += n; }, [&](std::int64_t n) { length += padding ? n : 0; });
  return length;
}

std::int64_t layoutlength(const std::vector<ZoneRecord>& zones) {
  std::int64_t length = 0;
  for (const auto& z : zones) length += zonelength(z, true);
  return length;
}

std::vector<std::int64_t> zonestarts(const std::vector<ZoneRecord>& zones) {
  std::vector<std::int64_t> starts(1, 0);
  for (const auto& z : zones) starts.push_back(starts.back() + zonelength(z, true));
  return starts;
}

std::int64_t finallength(const DataSetContent& ds) {
  std::int64_t length = static_cast<std::int64_t>(buildheader(ds).size());
  for (const auto& z : ds.zones) length += zonelength(z, false);
  return length;
}

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

bool padto(DataStream& data, std::int32_t& pad) {
  static constexpr char kZeros[kAlign] = {};
  pad = static_cast<std::int32_t>((kAlign - data.end() % kAlign) % kAlign);
  return pad == 0 || data.append(kZeros, static_cast<std::size_t>(pad));
}

Placed placedfile(const std::string& file, std::int64_t sharesupto) {
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
  std::vector<ZoneRecord> zones;
  p.zones = countzones(in, p.names, &zones, sharesupto);
  // The zones' data sections follow the header in order: each is passed over up to the last
  // one asked for.
  for (std::size_t k = 0; p.zones >= 0 && k < zones.size(); ++k) {
    if (!walkzonedata(in, zones[k], p.names.size())) {
      p.zones = -1;
      break;
    }
    std::vector<char>& own = p.ownvalues.emplace_back(zones[k].vars.size(), 0);
    for (std::size_t v = 0; v < own.size(); ++v) own[v] = !zones[k].vars[v].passive && zones[k].vars[v].share == 0;
    std::vector<VarSlot>().swap(zones[k].vars);  // one zone's slots at a time
  }
  if (p.zones < 0) {
    p.ownvalues.clear();
    p.names.clear();
    p.failure = {in.error(), file};
    p.trouble = in.error() != 0 ? std::strerror(in.error()) : "it is not a data set of the layout this program writes";
  }
  ::close(fd);
  return p;
}

}  // namespace kelpra::tecio
