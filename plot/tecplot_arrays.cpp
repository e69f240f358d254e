// Value arrays and element connectivity of a zone. ASCII values are formatted into large
// buffers, on all cores for large arrays, and written many lines at a time; masked
// (truncated) arrays are packed first.
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plot/modelfiles.hpp"
#include "plot/tecio.hpp"
#include "plot/textpipeline.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/interrupt.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

[[noreturn]] void unsupportedshape(const DOMAIN& dom) {
  input_error("Unsupported number of nodes per element (" + std::to_string(dom.nln) + ") in " + domainname(dom) +
              " domain.");
}

// Right-aligns text of length n in a field of width w (n <= w).
void rightalign(const char* text, std::size_t n, char* field, std::size_t w) {
  std::memset(field, ' ', w - n);
  std::memcpy(field + (w - n), text, n);
}

void writeint10(std::int32_t v, char* field) {
  char digits[16];
  const auto r = std::to_chars(digits, digits + sizeof digits, v);
  const auto n = static_cast<std::size_t>(r.ptr - digits);
  if (n > 10) {
    std::memset(field, '*', 10);
  } else {
    rightalign(digits, n, field, 10);
  }
}

template <class T>
std::string_view typetext();
template <>
std::string_view typetext<float>() { return "real(4)"; }
template <>
std::string_view typetext<double>() { return "real(8)"; }
template <>
std::string_view typetext<std::int32_t>() { return "integer(4)"; }

template <class T>
std::vector<T>& workarray();
template <>
std::vector<float>& workarray<float>() { return plot_data.tmpr4; }
template <>
std::vector<double>& workarray<double>() { return plot_data.tmpr8; }
template <>
std::vector<std::int32_t>& workarray<std::int32_t>() { return plot_data.tmpi4; }

std::int32_t tecwrite(void* handle, std::int32_t zone, std::int32_t var, std::int64_t count, const float* v) {
  return tecZoneVarWriteFloatValues(handle, zone, var, 0, count, v);
}
std::int32_t tecwrite(void* handle, std::int32_t zone, std::int32_t var, std::int64_t count, const double* v) {
  return tecZoneVarWriteDoubleValues(handle, zone, var, 0, count, v);
}
std::int32_t tecwrite(void* handle, std::int32_t zone, std::int32_t var, std::int64_t count,
                      const std::int32_t* v) {
  return tecZoneVarWriteInt32Values(handle, zone, var, 0, count, v);
}

// The values to write: all n, or those whose mask entry is set, packed into the work array
// of the value type (grown as needed).
template <class T>
std::span<const T> packed(std::int32_t n, std::span<const T> values, bool truncate, const Mask& mask,
                          std::string_view label, const DOMAIN& dom) {
  const auto count = static_cast<std::size_t>(std::max(n, 0));
  if (values.size() < count || (truncate && mask.size() < count)) {
    fatalerror("Tecplot array " + std::string(trimview(label)) + " of " + domainname(dom) + " domain holds " +
               std::to_string(values.size()) + " values, " + std::to_string(count) + " expected.");
  }
  if (!truncate) return values.first(count);
  std::vector<T>& work = workarray<T>();
  if (work.size() < count) work.resize(count);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (mask[i] != 0) work[kept++] = values[i];
  }
  return {work.data(), kept};
}

// The next array of the zone must be for the first variable that is neither written nor
// shared yet, with as many values as the zone has nodes or elements.
void checkarray(std::int32_t var, std::size_t count, DOMAIN& dom) {
  // The message is put together only when there is something to report.
  const auto stop = [&](const std::string& what) {
    fatalerror("Tecplot variable # " + std::to_string(var) + what + " in zone " + std::to_string(dom.zone) + " of " +
               domainname(dom) + " domain.");
  };
  if (var < 1 || var > dom.nvar || static_cast<std::size_t>(var) > dom.zonevarstate.size()) {
    stop(" is not in the data set");
  }
  const auto i = static_cast<std::size_t>(var - 1);
  if (dom.zonevarstate[i] == 2) stop(" is shared");
  if (dom.zonevarstate[i] == 1) stop(" is written twice");
  for (std::size_t j = 0; j < i; ++j) {
    if (dom.zonevarstate[j] == 0) stop(" comes before variable # " + std::to_string(j + 1));
  }
  const bool cellcentred = i < dom.zonecc.size() && dom.zonecc[i] != 0;
  const auto expected = static_cast<std::size_t>(cellcentred ? dom.zoneelements : dom.zonenodes);
  if (count != expected) {
    stop(" has " + std::to_string(count) + " values, " + std::to_string(expected) + " expected");
  }
  dom.zonevarstate[i] = 1;
}

template <class T>
void writearray(std::int32_t var, std::int32_t n, std::span<const T> values, bool truncate, const Mask& mask,
                std::string_view label, DOMAIN& dom) {
  checkstop();  // between arrays: a stop asked for comes within the time of one
  if (!plot_data.tecplot_bin_mode) {
    const std::string line = "# " + std::string(trimview(label));
    checkfilewrite(writeline(dom.unit, line), unitfilename(dom.unit));
  }
  const std::span<const T> out = packed(n, values, truncate, mask, label, dom);
  checkarray(var, out.size(), dom);
  if (plot_data.tecplot_bin_mode) {
    if (tecwrite(dom.tecfilehandle, dom.zone, var, static_cast<std::int64_t>(out.size()), out.data()) != 0) {
      binaryfailure("Writing " + std::string(typetext<T>()) + " data for variable # " + std::to_string(var) +
                        " in " + domainname(dom) + " domain.");
    }
    return;
  }
  if constexpr (std::is_same_v<T, std::int32_t>) {
    writearrayint4(static_cast<std::int32_t>(out.size()), out, dom.unit);
  } else if constexpr (std::is_same_v<T, float>) {
    writearrayreal4(static_cast<std::int32_t>(out.size()), out, dom.unit);
  } else {
    writearrayreal8(static_cast<std::int32_t>(out.size()), out, dom.unit);
  }
}

// Output number of the node of "olf" element e that stands for "pm" node pmnode. Values are
// written node by node in the domain's own order, only the nodes of `nodemask` when it is set,
// so a node's output number is its rank among the kept own nodes (`ownnumbers` when given).
std::int32_t olfnode(const DOMAIN& dom, std::int32_t e, std::int32_t pmnode,
                     const std::vector<std::int32_t>* ownnumbers) {
  // Called for every node of every element: the message is put together only when needed.
  const auto stop = [e](const std::string& what) {
    input_error("Element " + std::to_string(e) + " of olf domain: " + what);
  };
  if (pmnode < 1 || static_cast<std::size_t>(pmnode) > dom.link_pm2dom.size()) {
    stop("porous medium node " + std::to_string(pmnode) + " has no node in the domain.");
  }
  std::int32_t m = dom.link_pm2dom[static_cast<std::size_t>(pmnode - 1)];
  const auto& pd = plot_data;
  if (pd.olf_wall && m >= 1 && static_cast<std::size_t>(m) <= pd.is_wallnode.size() &&
      pd.is_wallnode[static_cast<std::size_t>(m - 1)] != 0) {
    const std::int32_t wall =
        static_cast<std::size_t>(e) <= pd.wallelemid.size() ? pd.wallelemid[static_cast<std::size_t>(e - 1)] : 0;
    const std::int32_t row = m - pd.olfwallbase;
    if (row < 1 || row > pd.link_olf2wall.extent1() || wall < 1 || wall > pd.link_olf2wall.extent2()) {
      stop("wall " + std::to_string(wall) + " of node " + std::to_string(m) + " is not in the wall tables.");
    }
    m = pd.link_olf2wall(row, wall);
  }
  const std::int32_t own = m - dom.globalstart;
  if (own < 1 || own > dom.nn) {
    stop("node " + std::to_string(m) + " is not one of the domain's nodes " + std::to_string(dom.globalstart + 1) +
         " to " + std::to_string(dom.globalstart + dom.nn) + ".");
  }
  if (dom.nodemask.empty()) return own;
  const auto o = static_cast<std::size_t>(own - 1);
  if (ownnumbers != nullptr && o < ownnumbers->size()) return (*ownnumbers)[o];
  if (o >= dom.nodemask.size() || dom.nodemask[o] == 0) return 0;  // not in the zone
  return static_cast<std::int32_t>(
      std::count_if(dom.nodemask.begin(), dom.nodemask.begin() + static_cast<std::ptrdiff_t>(o) + 1,
                    [](std::uint8_t kept) { return kept != 0; }));
}

// Arrays of at least this many values are formatted on all cores.
constexpr std::size_t kParallelValues = std::size_t{1} << 15;
// Text formatted at a time by one thread: large enough to keep the writes and the hand-overs
// between threads few, small enough to stay in the cache until it is written.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// Writes `count` values as text, `lines(first, last, out)` formatting the values first..last-1
// (whole lines) into `out` and returning the characters written, at most `linebytes` per line
// of `perline` values. Large arrays are formatted on all cores and written in order, so the
// text is the same whatever the number of threads.
template <class Lines>
void writelines(std::size_t count, std::size_t perline, std::size_t linebytes, int unit, Lines lines) {
  if (count == 0) return;
  std::FILE* stream = unitstream(unit);
  if (stream == nullptr) checkfilewrite(kStatusWriteFailed, unitfilename(unit));
  const std::size_t chunklines = std::max<std::size_t>(1, kChunkBytes / linebytes);
  const std::size_t chunkvalues = chunklines * perline;
  const std::size_t slotbytes = chunklines * linebytes;
  const std::size_t chunks = (count + chunkvalues - 1) / chunkvalues;
  int error = 0;
  if (count < kParallelValues) {
    std::string& text = plot_data.fbuff;
    if (text.size() < slotbytes) text.resize(slotbytes);
    for (std::size_t first = 0; first < count && error == 0; first += chunkvalues) {
      const std::size_t n = lines(first, std::min(count, first + chunkvalues), text.data());
      if (std::fwrite(text.data(), 1, n, stream) != n) error = errno != 0 ? errno : EIO;
    }
  } else {
    error = writeformatted(stream, chunks, slotbytes, [&](std::size_t c, char* out) {
      const std::size_t first = c * chunkvalues;
      return lines(first, std::min(count, first + chunkvalues), out);
    });
  }
  if (error != 0) {
    notesystemerror(error, unitfilename(unit));
    checkfilewrite(kStatusWriteFailed, unitfilename(unit));
  }
}

// Five reals to a line in 26-character fields.
template <class T>
void writereallines(std::int32_t n, std::span<const T> values, int unit) {
  const auto count = std::min(static_cast<std::size_t>(std::max(n, 0)), values.size());
  writelines(count, 5, 5 * 26 + 1, unit, [&](std::size_t first, std::size_t last, char* p) {
    char* const start = p;
    for (std::size_t i = first; i < last; i += 5) {
      const std::size_t k = std::min<std::size_t>(5, last - i);
      for (std::size_t j = 0; j < k; ++j) formatreal26(static_cast<double>(values[i + j]), p + 26 * j);
      p[26 * k] = '\n';
      p += 26 * k + 1;
    }
    return static_cast<std::size_t>(p - start);
  });
}

using u128 = unsigned __int128;

// 10^0 .. 10^19, every power of ten a 64-bit word holds.
constexpr std::array<std::uint64_t, 20> kPow10 = [] {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

}  // namespace

// The common case of the real field in exact integer arithmetic: for 1e-6 < x < 2^53,
// x = m * 2^-s with s >= 0, and x * 10^k (k <= 22) = m * 10^k / 2^s fits 128 bits, so the 17
// digits are its quotient rounded half to even by the remainder, as the general formatting
// rounds. Returns false for the values left to it.
bool seventeendigits(double x, char* digits, int& exponent) {
  if (!(x > 1.0e-6 && x < 9007199254740992.0)) return false;
  // x = m / 2^s exactly, from the bits of a normal double.
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const auto biased = static_cast<int>(bits >> 52);
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int s = 1075 - biased;
  if (s < 0 || s > 120) return false;
  // floor(log10(2^e)) for x in [2^(e - 1), 2^e): the decimal exponent or one more.
  int e10 = ((biased - 1022) * 78913) >> 18;
  std::uint64_t q = 0;
  for (int tries = 0;; ++tries) {
    const int k = 16 - e10;
    if (k < 0 || k > 22 || tries > 2) return false;
    const u128 scale = k <= 19 ? u128{kPow10[static_cast<std::size_t>(k)]}
                               : u128{kPow10[19]} * kPow10[static_cast<std::size_t>(k - 19)];
    const u128 num = u128{m} * scale;
    const u128 quotient = num >> s;
    if (quotient < kPow10[16]) {
      --e10;
      continue;
    }
    if (quotient >= kPow10[17]) {
      ++e10;
      continue;
    }
    q = static_cast<std::uint64_t>(quotient);
    if (s > 0) {
      const u128 rest = num & ((u128{1} << s) - 1);
      const u128 half = u128{1} << (s - 1);
      if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    }
    break;
  }
  if (q == kPow10[17]) {
    q = kPow10[16];
    ++e10;
  }
  // Two digits at a time from the back.
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  for (int i = 15; i >= 1; i -= 2) {
    const std::size_t pair = 2 * static_cast<std::size_t>(q % 100);
    digits[i] = kPairs[pair];
    digits[i + 1] = kPairs[pair + 1];
    q /= 100;
  }
  digits[0] = static_cast<char>('0' + q);
  exponent = e10;
  return true;
}

void formatreal26(double x, char* field) {
  if (x == 0.0) {
    std::memcpy(field, "   0.0000000000000000     ", 26);
    return;
  }
  if (!std::isfinite(x)) {
    const char* text = std::isnan(x) ? "NaN" : (x > 0 ? "Infinity" : "-Infinity");
    rightalign(text, std::strlen(text), field, 21);
    std::memset(field + 21, ' ', 5);
    return;
  }
  // 17 significant digits, correctly rounded, and the decimal exponent of the first.
  const bool negative = x < 0.0;
  char digits[17];
  int exponent = 0;
  if (!seventeendigits(negative ? -x : x, digits, exponent)) {
    // "-d.dddddddddddddddde-xxx"
    char sci[40];
    const auto r = std::to_chars(sci, sci + sizeof sci, x, std::chars_format::scientific, 16);
    const char* s = sci + (negative ? 1 : 0);
    digits[0] = s[0];
    std::memcpy(digits + 1, s + 2, 16);
    // s[18] is 'e', s[19] the exponent's sign, then its digits.
    std::from_chars(s + 20, r.ptr, exponent);
    if (s[19] == '-') exponent = -exponent;
  }

  char text[32];
  std::size_t n = 0;
  if (negative) text[n++] = '-';
  if (exponent >= -1 && exponent <= 16) {
    // Fixed point with 17 significant digits: k digits before the point.
    const int k = exponent + 1;
    if (k == 0) {
      text[n++] = '0';
    } else {
      std::memcpy(text + n, digits, static_cast<std::size_t>(k));
      n += static_cast<std::size_t>(k);
    }
    text[n++] = '.';
    std::memcpy(text + n, digits + k, static_cast<std::size_t>(17 - k));
    n += static_cast<std::size_t>(17 - k);
    rightalign(text, n, field, 21);
    std::memset(field + 21, ' ', 5);
    return;
  }
  // 0.d1...d17 times ten to exponent + 1, with three exponent digits.
  const int e = exponent + 1;
  text[n++] = '0';
  text[n++] = '.';
  std::memcpy(text + n, digits, 17);
  n += 17;
  text[n++] = 'E';
  text[n++] = e < 0 ? '-' : '+';
  const int magnitude = e < 0 ? -e : e;
  text[n++] = static_cast<char>('0' + magnitude / 100);
  text[n++] = static_cast<char>('0' + magnitude / 10 % 10);
  text[n++] = static_cast<char>('0' + magnitude % 10);
  rightalign(text, n, field, 26);
}

void writearrayreal4(std::int32_t n, std::span<const float> values, int unit) { writereallines(n, values, unit); }
void writearrayreal8(std::int32_t n, std::span<const double> values, int unit) { writereallines(n, values, unit); }

void writearrayint4(std::int32_t n, std::span<const std::int32_t> values, int unit) {
  const auto count = std::min(static_cast<std::size_t>(std::max(n, 0)), values.size());
  writelines(count, 5, 5 * 11 + 1, unit, [&](std::size_t first, std::size_t last, char* p) {
    char* const start = p;
    for (std::size_t i = first; i < last; i += 5) {
      const std::size_t k = std::min<std::size_t>(5, last - i);
      for (std::size_t j = 0; j < k; ++j) {
        p[11 * j] = ' ';
        writeint10(values[i + j], p + 11 * j + 1);
      }
      p[11 * k] = '\n';
      p += 11 * k + 1;
    }
    return static_cast<std::size_t>(p - start);
  });
}

void bufferedwriteint4(std::int32_t n, std::span<const std::int32_t> values, int unit, std::int32_t perline) {
  const auto count = std::min(static_cast<std::size_t>(std::max(n, 0)), values.size());
  const auto q = static_cast<std::size_t>(std::max(perline, 1));
  // The line format holds eight values; a longer group goes on over further lines.
  constexpr std::size_t kFormatValues = 8;
  const std::size_t linesingroup = (q + kFormatValues - 1) / kFormatValues;
  // One "line" of the shared writer is a whole group, so that chunks never split one.
  writelines(count, q, linesingroup * (11 * kFormatValues + 1), unit,
             [&](std::size_t first, std::size_t last, char* p) {
               char* const start = p;
               for (std::size_t i = first; i < last; i += q) {
                 const std::size_t group = std::min(q, last - i);
                 for (std::size_t done = 0; done < group;) {
                   const std::size_t k = std::min(kFormatValues, group - done);
                   for (std::size_t j = 0; j < k; ++j) {
                     writeint10(values[i + done + j], p + 11 * j);
                     p[11 * j + 10] = ' ';
                   }
                   p[11 * k] = '\n';
                   p += 11 * k + 1;
                   done += k;
                 }
               }
               return static_cast<std::size_t>(p - start);
             });
}

void tecplotwritearrayreal4(std::int32_t var, std::int32_t n, std::span<const float> values, bool truncate,
                            const Mask& mask, std::string_view label, DOMAIN& dom) {
  writearray(var, n, values, truncate, mask, label, dom);
}
void tecplotwritearrayreal8(std::int32_t var, std::int32_t n, std::span<const double> values, bool truncate,
                            const Mask& mask, std::string_view label, DOMAIN& dom) {
  writearray(var, n, values, truncate, mask, label, dom);
}
void tecplotwritearrayint4(std::int32_t var, std::int32_t n, std::span<const std::int32_t> values, bool truncate,
                           const Mask& mask, std::string_view label, DOMAIN& dom) {
  writearray(var, n, values, truncate, mask, label, dom);
}

namespace {
void elementnodes(const DOMAIN& dom, std::int32_t e, std::array<std::int32_t, 8>& nodes,
                  const std::vector<std::int32_t>* ownnumbers);
}  // namespace

// Kept nodes numbered in order.
std::vector<std::int32_t> tecplotownnodenumbers(const DOMAIN& dom) {
  std::vector<std::int32_t> numbers(dom.nodemask.size(), 0);
  std::int32_t k = 0;
  for (std::size_t i = 0; i < dom.nodemask.size(); ++i) {
    if (dom.nodemask[i] != 0) numbers[i] = ++k;
  }
  return numbers;
}

void tecplotelemconnectivity(const DOMAIN& dom, std::int32_t e, std::array<std::int32_t, 8>& nodes) {
  elementnodes(dom, e, nodes, nullptr);
}

void tecplotelemconnectivity(const DOMAIN& dom, std::int32_t e, std::array<std::int32_t, 8>& nodes,
                             const std::vector<std::int32_t>& ownnumbers) {
  elementnodes(dom, e, nodes, &ownnumbers);
}

namespace {
void elementnodes(const DOMAIN& dom, std::int32_t e, std::array<std::int32_t, 8>& nodes,
                  const std::vector<std::int32_t>* ownnumbers) {
  const auto nln = static_cast<std::size_t>(dom.nln);
  const auto base = static_cast<std::size_t>(e - 1) * nln;
  auto inc = [&](std::size_t k) { return dom.incidences[base + k - 1]; };
  auto out = [&](std::int32_t node) -> std::int32_t {
    if (dom.nodemap.empty()) return node;
    if (node < 1 || static_cast<std::size_t>(node) > dom.nodemap.size()) {
      input_error("Element " + std::to_string(e) + " of " + domainname(dom) + " domain refers to node " +
                  std::to_string(node) + " outside 1 to " + std::to_string(dom.nodemap.size()) + ".");
    }
    return dom.nodemap[static_cast<std::size_t>(node - 1)];
  };
  if (e < 1 || base + nln > dom.incidences.size()) {
    fatalerror("Element " + std::to_string(e) + " of " + domainname(dom) + " domain has no node list.");
  }
  switch (dom.nln) {
    case 2:
      nodes[0] = out(inc(1));
      nodes[1] = out(inc(2));
      return;
    case 4:
      if (inc(4) != 0) {
        // Overland quadrilaterals of a multi-node "olf" domain hold "pm" node numbers: each is
        // taken to the domain's own node, and on a wall to that node's copy on the element's
        // wall, so the two sides of a wall stay apart.
        const bool ownolf = dom.coupling == 1 && trimview(dom.name) == "olf";
        for (std::size_t k = 1; k <= 4; ++k) nodes[k - 1] = ownolf ? olfnode(dom, e, inc(k), ownnumbers) : out(inc(k));
        return;
      }
      [[fallthrough]];  // no fourth node: a triangle
    case 3:
      nodes[0] = out(inc(1));
      nodes[1] = out(inc(2));
      nodes[2] = nodes[3] = out(inc(3));
      return;
    case 6:
      nodes[0] = out(inc(1));
      nodes[1] = out(inc(2));
      nodes[2] = nodes[3] = out(inc(3));
      nodes[4] = out(inc(4));
      nodes[5] = out(inc(5));
      nodes[6] = nodes[7] = out(inc(6));
      return;
    case 8:
      for (std::size_t k = 1; k <= 8; ++k) nodes[k - 1] = out(inc(k));
      return;
    default:
      unsupportedshape(dom);
  }
}

}  // namespace

void tecplotwriteconnectivity(const Mask& elemmask, DOMAIN& dom) {
  std::int32_t npe = 0;
  switch (dom.nln) {
    case 2: npe = 2; break;
    case 3:
    case 4: npe = 4; break;
    case 6:
    case 8: npe = 8; break;
    default:
      unsupportedshape(dom);
  }
  const auto ne = static_cast<std::size_t>(std::max(dom.ne, 0));
  const bool masked = !elemmask.empty();
  if (masked && elemmask.size() < ne) {
    fatalerror("Tecplot element mask of " + domainname(dom) + " domain is shorter than its elements.");
  }
  std::size_t kept = 0;
  for (std::size_t e = 0; e < ne; ++e) kept += (!masked || elemmask[e] != 0) ? 1 : 0;
  if (static_cast<std::int64_t>(kept) != dom.zoneelements || !dom.zoneneedsconnectivity) {
    fatalerror("Tecplot element connectivity of zone " + std::to_string(dom.zone) + " of " + domainname(dom) +
               " domain does not match the zone.");
  }
  std::vector<std::int32_t> work;
  allocatearray(work, static_cast<std::int64_t>(kept) * npe, "Tecplot element connectivity array");
  std::array<std::int32_t, 8> nodes{};
  const std::vector<std::int32_t> ownnumbers = tecplotownnodenumbers(dom);
  std::size_t p = 0;
  for (std::size_t e = 0; e < ne; ++e) {
    if (masked && elemmask[e] == 0) continue;
    elementnodes(dom, static_cast<std::int32_t>(e + 1), nodes, &ownnumbers);
    for (std::int32_t k = 0; k < npe; ++k) {
      const std::int32_t node = nodes[static_cast<std::size_t>(k)];
      if (node < 1 || node > dom.zonenodes) {
        input_error("Element " + std::to_string(e + 1) + " of " + domainname(dom) + " domain refers to node " +
                    std::to_string(node) + " outside the zone's 1 to " + std::to_string(dom.zonenodes) + ".");
      }
      work[p++] = node;
    }
  }
  dom.zoneneedsconnectivity = false;
  if (plot_data.tecplot_bin_mode) {
    if (tecZoneNodeMapWrite32(dom.tecfilehandle, dom.zone, 0, 1, static_cast<std::int64_t>(work.size()),
                              work.data()) != 0) {
      binaryfailure("Tecplot element connectivity for " + domainname(dom) + " domain.");
    }
    return;
  }
  checkfilewrite(writeline(dom.unit, "# element node lists"), unitfilename(dom.unit));
  bufferedwriteint4(static_cast<std::int32_t>(work.size()), work, dom.unit, npe);
}

}  // namespace kelpra
