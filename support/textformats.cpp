#include "support/textformats.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "support/strings.hpp"

namespace kelpra {
namespace {

using Kind = EditDescriptor::Kind;

// Room for a fixed-point huge value (309 integer digits) with the widest decimals.
constexpr std::size_t kBufferSize = 320 + kMaxFieldWidth;

// A small text built in place, so that writing a field takes no heap storage.
class Buffer {
 public:
  void add(char c) { data_[size_++] = c; }
  void add(std::string_view s) {
    std::memcpy(data_.data() + size_, s.data(), s.size());
    size_ += s.size();
  }
  void addrepeat(std::size_t n, char c) {
    std::memset(data_.data() + size_, c, n);
    size_ += n;
  }
  char* end() { return data_.data() + size_; }
  char* limit() { return data_.data() + data_.size(); }
  void advanceto(char* p) { size_ = static_cast<std::size_t>(p - data_.data()); }
  std::string_view view() const { return {data_.data(), size_}; }

 private:
  std::array<char, kBufferSize> data_{};
  std::size_t size_ = 0;
};

void stars(char* field, int w) { std::memset(field, '*', static_cast<std::size_t>(w)); }

// sign and body right-aligned in w characters; false (field untouched) when they do not fit.
bool place(char* field, int w, std::string_view sign, std::string_view body) {
  const std::size_t len = sign.size() + body.size();
  const auto width = static_cast<std::size_t>(w);
  if (len > width) return false;
  std::memset(field, ' ', width - len);
  std::memcpy(field + (width - len), sign.data(), sign.size());
  std::memcpy(field + (width - body.size()), body.data(), body.size());
  return true;
}

// As place; the zero before the point of a value below 1 is optional and gives way when
// room is short (a body "0." with no decimals keeps it: a number needs one digit).
bool placenumber(char* field, int w, std::string_view sign, std::string_view body) {
  if (sign.size() + body.size() > static_cast<std::size_t>(w) && body.size() > 2 && body[0] == '0' &&
      body[1] == '.') {
    body.remove_prefix(1);
  }
  return place(field, w, sign, body);
}

std::string_view signof(double value) { return std::signbit(value) ? "-" : ""; }

// Infinity and NaN, shortened when the field is narrow.
void putnonfinite(double value, int w, char* field) {
  std::string_view text;
  if (std::isnan(value)) {
    text = "NaN";
  } else if (value > 0) {
    text = w >= 8 ? "Infinity" : "Inf";
  } else {
    text = w >= 9 ? "-Infinity" : "-Inf";
  }
  if (!place(field, w, "", text)) stars(field, w);
}

// The significant digits of a finite magnitude rounded to ndigits digits (1 to
// kMaxFieldWidth), and its exponent in the form d.ddd x 10^exponent. Zero gives zeros.
struct Digits {
  std::array<char, kMaxFieldWidth + 8> text{};
  std::size_t size = 0;
  int exponent = 0;
  std::string_view view(std::size_t from = 0, std::size_t count = std::string_view::npos) const {
    return std::string_view(text.data(), size).substr(from, count);
  }
};

Digits significant(double magnitude, int ndigits) {
  Digits out;
  if (magnitude == 0) {
    out.size = static_cast<std::size_t>(ndigits);
    std::fill_n(out.text.begin(), out.size, '0');
    return out;
  }
  std::array<char, kMaxFieldWidth + 32> buf{};
  const auto r =
      std::to_chars(buf.data(), buf.data() + buf.size(), magnitude, std::chars_format::scientific, ndigits - 1);
  const std::string_view sci(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  const std::size_t e = sci.find('e');
  for (std::size_t i = 0; i < e; ++i) {
    if (sci[i] != '.') out.text[out.size++] = sci[i];
  }
  std::from_chars(sci.data() + e + 2, sci.data() + sci.size(), out.exponent);
  if (sci[e + 1] == '-') out.exponent = -out.exponent;
  return out;
}

// The exponent part of E and ES editing; false when the exponent needs more digits than
// the form allows.
bool addexponent(Buffer& b, int exponent, int e) {
  const int magnitude = exponent < 0 ? -exponent : exponent;
  std::array<char, 8> digits{};
  const auto n = static_cast<std::size_t>(std::to_chars(digits.data(), digits.data() + digits.size(), magnitude).ptr -
                                          digits.data());
  std::size_t width = 0;
  if (e > 0) {
    if (n > static_cast<std::size_t>(e)) return false;
    width = static_cast<std::size_t>(e);
    b.add('E');
  } else if (magnitude <= 99) {
    width = 2;
    b.add('E');
  } else if (magnitude <= 999) {
    width = 3;
  } else {
    return false;
  }
  b.add(exponent < 0 ? '-' : '+');
  b.addrepeat(width - n, '0');
  b.add(std::string_view(digits.data(), n));
  return true;
}

// Decimals must leave room for the point at least, so d >= w never fits; deciding that
// first also bounds every digit buffer by the field width.
bool roomfordecimals(const EditDescriptor& f) { return f.d >= 0 && f.d < f.w && f.w <= kMaxFieldWidth; }

void putfixed(double value, const EditDescriptor& f, char* field) {
  Buffer b;
  const auto r = std::to_chars(b.end(), b.limit(), std::fabs(value), std::chars_format::fixed, f.d);
  if (r.ec != std::errc{}) return stars(field, f.w);
  b.advanceto(r.ptr);
  if (f.d == 0) b.add('.');
  if (!placenumber(field, f.w, signof(value), b.view())) stars(field, f.w);
}

// 0.ddd (E) with the digits of value rounded to d significant digits.
void putexponent(double value, const Digits& digits, const EditDescriptor& f, char* field) {
  Buffer b;
  b.add("0.");
  b.add(digits.view());
  if (!addexponent(b, value == 0 ? 0 : digits.exponent + 1, f.e) ||
      !placenumber(field, f.w, signof(value), b.view())) {
    stars(field, f.w);
  }
}

void putscientific(double value, const EditDescriptor& f, char* field) {
  const Digits digits = significant(std::fabs(value), f.d + 1);
  Buffer b;
  b.add(digits.text[0]);
  b.add('.');
  b.add(digits.view(1));
  if (!addexponent(b, digits.exponent, f.e) || !place(field, f.w, signof(value), b.view())) stars(field, f.w);
}

void putgeneral(double value, const EditDescriptor& f, char* field) {
  const int trailing = f.e > 0 ? f.e + 2 : 4;
  const Digits digits = significant(std::fabs(value), f.d);
  const int k = value == 0 ? 0 : digits.exponent + 1;  // digits before the point
  if (value != 0 && (k < 0 || k > f.d)) return putexponent(value, digits, f, field);
  Buffer b;
  if (value == 0) {
    b.add("0.");
    b.addrepeat(static_cast<std::size_t>(f.d - 1), '0');
  } else if (k == 0) {
    b.add("0.");
    b.add(digits.view());
  } else {
    b.add(digits.view(0, static_cast<std::size_t>(k)));
    b.add('.');
    b.add(digits.view(static_cast<std::size_t>(k)));
  }
  if (f.w <= trailing || !placenumber(field, f.w - trailing, signof(value), b.view())) return stars(field, f.w);
  std::memset(field + (f.w - trailing), ' ', static_cast<std::size_t>(trailing));
}

template <class Put>
void appendfield(std::string& out, int w, Put put) {
  if (w < 1) return;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(w));
  put(out.data() + at);
}

// ---------------------------------------------------------------------------------------
// Format texts

// Digits at text[i...] into n, saturating (any count beyond the limits only has to fail
// or give asterisks); false when there is none.
bool readcount(std::string_view text, std::size_t& i, int& n) {
  const std::size_t first = i;
  n = 0;
  while (i < text.size() && isdigit(text[i])) {
    if (n < 100000) n = n * 10 + (text[i] - '0');
    ++i;
  }
  return i > first;
}

// One item without blanks, upper case: [r]Kw[.d][Ee] or nX. Returns the repeat count, 0 on failure.
int parseitem(std::string_view item, EditDescriptor& f) {
  std::size_t i = 0;
  int repeat = 1;
  if (readcount(item, i, repeat) && i < item.size() && item[i] == 'X' && i + 1 == item.size()) {
    f = {Kind::X, repeat, -1, 0};
    return repeat >= 1 && repeat <= kMaxFieldWidth ? 1 : 0;
  }
  if (i == 0) repeat = 1;
  if (repeat < 1 || repeat > 100 || i == item.size()) return 0;
  switch (item[i]) {
    case 'I': f.kind = Kind::I; break;
    case 'F': f.kind = Kind::F; break;
    case 'G': f.kind = Kind::G; break;
    case 'E':
      f.kind = Kind::E;
      if (i + 1 < item.size() && item[i + 1] == 'S') {
        f.kind = Kind::ES;
        ++i;
      }
      break;
    default: return 0;
  }
  ++i;
  f.d = -1;
  f.e = 0;
  if (!readcount(item, i, f.w) || f.w < 1 || f.w > kMaxFieldWidth) return 0;
  if (i < item.size() && item[i] == '.') {
    ++i;
    if (!readcount(item, i, f.d)) return 0;
  }
  const bool exponentform = f.kind == Kind::E || f.kind == Kind::ES || f.kind == Kind::G;
  if (exponentform && i < item.size() && item[i] == 'E') {
    ++i;
    if (!readcount(item, i, f.e) || f.e < 1 || f.e > 9) return 0;
  }
  if (i != item.size()) return 0;
  if (f.kind == Kind::I) return f.d <= f.w ? repeat : 0;
  if (f.kind == Kind::F) return f.d >= 0 ? repeat : 0;
  return f.d >= 1 ? repeat : 0;
}

}  // namespace

bool writesreal(const EditDescriptor& f) noexcept {
  return f.kind == Kind::F || f.kind == Kind::E || f.kind == Kind::ES || f.kind == Kind::G;
}

bool writesinteger(const EditDescriptor& f) noexcept { return f.kind == Kind::I || f.kind == Kind::G; }

void putreal(double value, const EditDescriptor& f, char* field) {
  if (f.w < 1) return;
  if (!writesreal(f) || !roomfordecimals(f) || (f.kind != Kind::F && f.d < 1)) return stars(field, f.w);
  if (!std::isfinite(value)) return putnonfinite(value, f.w, field);
  switch (f.kind) {
    case Kind::F: return putfixed(value, f, field);
    case Kind::E: return putexponent(value, significant(std::fabs(value), f.d), f, field);
    case Kind::ES: return putscientific(value, f, field);
    default: return putgeneral(value, f, field);
  }
}

void putinteger(std::int64_t value, const EditDescriptor& f, char* field) {
  if (f.w < 1) return;
  if (!writesinteger(f) || f.w > kMaxFieldWidth) return stars(field, f.w);
  const bool neg = value < 0;
  const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const int least = f.kind == Kind::I ? f.d : -1;
  Buffer b;
  std::array<char, 24> digits{};
  std::size_t n = 0;
  // Iw.0 writes no digit at all for zero.
  if (mag != 0 || least != 0) {
    n = static_cast<std::size_t>(std::to_chars(digits.data(), digits.data() + digits.size(), mag).ptr - digits.data());
  }
  if (least > 0 && static_cast<std::size_t>(least) > n) b.addrepeat(static_cast<std::size_t>(least) - n, '0');
  b.add(std::string_view(digits.data(), n));
  if (!place(field, f.w, neg ? "-" : "", b.view())) stars(field, f.w);
}

void appendreal(std::string& out, double value, const EditDescriptor& f) {
  appendfield(out, f.w, [&](char* field) { putreal(value, f, field); });
}

void appendinteger(std::string& out, std::int64_t value, const EditDescriptor& f) {
  appendfield(out, f.w, [&](char* field) { putinteger(value, f, field); });
}

std::optional<std::vector<EditDescriptor>> parseformat(std::string_view text) {
  std::string compact;
  for (char c : text) {
    if (c != ' ') compact += c;
  }
  toupper(compact);
  if (compact.size() < 3 || compact.front() != '(' || compact.back() != ')') return std::nullopt;
  const std::string_view list = std::string_view(compact).substr(1, compact.size() - 2);
  std::vector<EditDescriptor> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    EditDescriptor f;
    const int repeat = parseitem(list.substr(start, comma == std::string_view::npos ? comma : comma - start), f);
    if (repeat == 0) return std::nullopt;
    items.insert(items.end(), static_cast<std::size_t>(repeat), f);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

void appendfreereal(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value < 0 ? "-Infinity" : "Infinity";
  } else {
    std::array<char, 32> buf{};
    out.append(buf.data(), std::to_chars(buf.data(), buf.data() + buf.size(), value).ptr);
  }
}

}  // namespace kelpra
