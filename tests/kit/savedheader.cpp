#include "tests/kit/savedheader.hpp"

#include <cstring>

#include "tests/kit/byteinput.hpp"
#include "tests/kit/process.hpp"

namespace kelpra::testkit {
namespace {

// A saved text (its length, then its bytes), appended to `out` whole or as its bytes only.
bool str(ByteInput& in, std::string& out, bool withlength) {
  std::int64_t n = 0;
  if (!in.get(n) || n < 0) return false;
  if (withlength) out.append(reinterpret_cast<const char*>(&n), sizeof n);
  return in.take(static_cast<std::size_t>(n), out);
}

template <class T>
void put(std::string& out, T v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

std::uint64_t checksum(std::string_view bytes) {
  std::uint64_t h = 1469598103934665603ULL;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ULL;
  }
  return h;
}

}  // namespace

bool readsavedheader(const std::filesystem::path& path, SavedHeader& h) {
  const std::string bytes = readfile(path);
  if (bytes.size() < 16 || bytes.compare(0, 7, "KLPSZHD") != 0) return false;
  h = {};
  h.indexed = bytes[7] >= '2' && bytes[7] <= '4';
  h.sourced = bytes[7] >= '3' && bytes[7] <= '4';
  h.origins = bytes[7] == '4';
  ByteInput in(std::string_view(bytes).substr(8, bytes.size() - 16));
  std::int32_t filetype = 0;
  std::int64_t nvar = 0, naux = 0, nzones = 0;
  if (!in.get(h.datalength) || (h.indexed && !in.get(h.setupindex)) || (h.origins && !in.get(h.series)) ||
      !str(in, h.title, false) ||
      !in.get(filetype) || !in.get(nvar)) {
    return false;
  }
  put(h.variables, filetype);
  put(h.variables, nvar);
  for (std::int64_t v = 0; v < nvar; ++v) {
    if (!str(in, h.variables, true)) return false;
  }
  if (!in.get(naux)) return false;
  put(h.variables, naux);
  for (std::int64_t a = 0; a < naux; ++a) {
    if (!in.take(4, h.variables) || !str(in, h.variables, true) || !str(in, h.variables, true)) return false;
  }
  if (!in.get(nzones)) return false;
  h.zones.resize(static_cast<std::size_t>(nzones));
  for (SavedHeader::Zone& z : h.zones) {
    if (!str(in, z.title, false) || !in.take(40, z.fixed) ||
        (h.indexed && (!in.get(z.outputindex) || !in.get(z.check)))) {
      return false;
    }
    std::int32_t recorded = 0;
    std::int64_t files = 0;
    if (h.sourced) {
      if (!in.get(recorded)) return false;
      put(z.sources, recorded);
      if (recorded != 0) {
        if (!in.get(files)) return false;
        put(z.sources, files);
        for (std::int64_t f = 0; f < files; ++f) {
          if (!str(in, z.sources, true)) return false;
        }
      }
    }
    z.origin = 0;
    if (h.origins && !in.get(z.origin)) return false;
    if (!in.take(16 * static_cast<std::size_t>(nvar), z.vars)) return false;
  }
  return in.left() == 0;
}

void writesavedheader(const std::filesystem::path& path, const SavedHeader& h) {
  const bool origins = h.indexed && h.sourced && h.origins;
  std::string out = !h.indexed ? "KLPSZHD1" : !h.sourced ? "KLPSZHD2" : origins ? "KLPSZHD4" : "KLPSZHD3";
  put(out, h.datalength);
  if (h.indexed) put(out, h.setupindex);
  if (origins) put(out, h.series);
  put(out, static_cast<std::int64_t>(h.title.size()));
  out += h.title;
  out += h.variables;
  put(out, static_cast<std::int64_t>(h.zones.size()));
  for (const SavedHeader::Zone& z : h.zones) {
    put(out, static_cast<std::int64_t>(z.title.size()));
    out += z.title + z.fixed;
    if (h.indexed) {
      put(out, z.outputindex);
      put(out, z.check);
    }
    if (h.indexed && h.sourced) out += z.sources.empty() ? std::string(4, '\0') : z.sources;
    if (origins) put(out, z.origin);
    out += z.vars;
  }
  put(out, checksum(out));
  writefile(path, out);
}

void setupwithoutzones(const std::filesystem::path& path, std::int32_t setupindex) {
  SavedHeader h;
  if (!readsavedheader(path, h)) return;
  h.datalength = 0;
  h.setupindex = setupindex;
  h.zones.clear();
  writesavedheader(path, h);
}

}  // namespace kelpra::testkit
