// Number/text conversions and letter case.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"

namespace kelpra {
namespace {

// Longest result of a number-to-text conversion.
constexpr int kFieldWidth = 80;

// One edit descriptor: I (m optional), F or E (d required).
struct Format {
  char kind = 0;
  int w = 0;
  int d = -1;  // m of Iw.m, d of Fw.d and Ew.d; -1 when absent
};

// Reads the digits at text[i...] into n (saturating, the value only has to exceed 80);
// false when there is no digit.
bool readcount(std::string_view text, std::size_t& i, int& n) {
  const std::size_t first = i;
  n = 0;
  while (i < text.size() && isdigit(text[i])) {
    if (n < 100000) n = n * 10 + (text[i] - '0');
    ++i;
  }
  return i > first;
}

// Parses "(Iw)", "(Iw.m)", "(Fw.d)" or "(Ew.d)" in any letter case; blanks are ignored
// as everywhere in a format. nullopt for anything else or a field wider than 80.
std::optional<Format> parseformat(std::string_view fmt) {
  std::array<char, 32> buf{};
  std::size_t n = 0;
  for (char c : fmt) {
    if (c == ' ') continue;
    if (n == buf.size()) return std::nullopt;
    buf[n++] = c;
  }
  const std::string_view text(buf.data(), n);
  if (n < 4 || text.front() != '(' || text.back() != ')') return std::nullopt;
  Format f;
  f.kind = text[1];
  toupperchar(f.kind);
  if (f.kind != 'I' && f.kind != 'F' && f.kind != 'E') return std::nullopt;
  std::size_t i = 2;
  if (!readcount(text, i, f.w)) return std::nullopt;
  if (text[i] == '.') {
    ++i;
    if (!readcount(text, i, f.d)) return std::nullopt;
  }
  if (i != n - 1 || f.w < 1 || f.w > kFieldWidth) return std::nullopt;
  if (f.kind == 'I' && f.d > f.w) return std::nullopt;
  if (f.kind == 'F' && f.d < 0) return std::nullopt;
  if (f.kind == 'E' && f.d < 1) return std::nullopt;
  return f;
}

// body right-adjusted in a field of w, or w asterisks when it does not fit; the trailing
// blanks of the field (only a field of blanks has any) are dropped.
std::string rightadjust(std::string_view sign, std::string_view body, int w) {
  const std::size_t len = sign.size() + body.size();
  const auto width = static_cast<std::size_t>(w);
  if (len > width) return std::string(width, '*');
  std::string out(width - len, ' ');
  out.append(sign).append(body);
  out.resize(static_cast<std::size_t>(len_trim(out)));
  return out;
}

std::string writeinteger(std::int64_t value, const Format& f) {
  const bool neg = value < 0;
  const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::array<char, 24> buf{};
  std::string_view digits;
  // Iw.0 writes no digit at all for zero.
  if (mag != 0 || f.d != 0) {
    digits = {buf.data(),
              static_cast<std::size_t>(std::to_chars(buf.data(), buf.data() + buf.size(), mag).ptr - buf.data())};
  }
  std::string body;
  if (f.d > 0 && static_cast<std::size_t>(f.d) > digits.size())
    body.assign(static_cast<std::size_t>(f.d) - digits.size(), '0');
  body.append(digits);
  return rightadjust(neg ? "-" : "", body, f.w);
}

// Infinity and NaN under F and E editing, shortened when the field is narrow.
std::string writenonfinite(double value, int w) {
  std::string_view text;
  if (std::isnan(value)) {
    text = "NaN";
  } else if (value > 0) {
    text = w >= 8 ? "Infinity" : "Inf";
  } else {
    text = w >= 9 ? "-Infinity" : "-Inf";
  }
  return rightadjust("", text, w);
}

// At least the point and d digits (and, under E, four exponent characters) are written,
// so d >= w never fits. Deciding that up front also bounds the digit buffers below by w.
bool decimalsfit(const Format& f) { return f.d < f.w; }

std::string writefixed(double value, const Format& f) {
  if (!std::isfinite(value)) return writenonfinite(value, f.w);
  if (!decimalsfit(f)) return std::string(static_cast<std::size_t>(f.w), '*');
  // Up to 309 integer digits of a huge value plus up to 80 decimals.
  std::array<char, 512> buf{};
  auto [end, ec] =
      std::to_chars(buf.data(), buf.data() + buf.size() - 1, std::fabs(value), std::chars_format::fixed, f.d);
  if (ec != std::errc{}) return std::string(static_cast<std::size_t>(f.w), '*');
  if (f.d == 0) *end++ = '.';
  std::string_view body(buf.data(), static_cast<std::size_t>(end - buf.data()));
  const std::string_view sign = std::signbit(value) ? "-" : "";
  // The zero before the point of a value below 1 is optional: dropped when room is short.
  if (sign.size() + body.size() > static_cast<std::size_t>(f.w) && f.d > 0 && body.front() == '0') {
    body.remove_prefix(1);
  }
  return rightadjust(sign, body, f.w);
}

// The significant digits of a finite magnitude rounded to ndigits digits (1 to 80), and
// the exponent of the form d.ddd x 10^exponent.
struct Digits {
  std::array<char, 96> text{};
  std::size_t size = 0;
  int exponent = 0;
  std::string_view view(std::size_t from = 0) const { return {text.data() + from, size - from}; }
};

Digits significant(double magnitude, int ndigits) {
  Digits out;
  if (magnitude == 0) {
    out.size = static_cast<std::size_t>(ndigits);
    std::fill_n(out.text.begin(), out.size, '0');
    return out;
  }
  std::array<char, 128> buf{};
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

// Appends the sign and at least ndigits digits of an exponent.
void appendexponent(std::string& out, int exponent, std::size_t ndigits) {
  out += exponent < 0 ? '-' : '+';
  std::array<char, 8> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), exponent < 0 ? -exponent : exponent);
  const auto n = static_cast<std::size_t>(r.ptr - buf.data());
  if (n < ndigits) out.append(ndigits - n, '0');
  out.append(buf.data(), n);
}

std::string writeexponent(double value, const Format& f) {
  if (!std::isfinite(value)) return writenonfinite(value, f.w);
  if (!decimalsfit(f)) return std::string(static_cast<std::size_t>(f.w), '*');
  // Mantissa 0.ddd with d significant digits, so the exponent is one higher than for d.ddd.
  const Digits digits = significant(std::fabs(value), f.d);
  const int exponent = value == 0 ? 0 : digits.exponent + 1;
  std::string body = "0.";
  body.append(digits.view());
  // An exponent beyond two digits takes the place of the letter.
  if (exponent >= -99 && exponent <= 99) body += 'E';
  appendexponent(body, exponent, 2);
  std::string_view text = body;
  const std::string_view sign = std::signbit(value) ? "-" : "";
  if (sign.size() + text.size() > static_cast<std::size_t>(f.w)) text.remove_prefix(1);
  return rightadjust(sign, text, f.w);
}

// Free form of a real: sig significant digits in fixed point when the value rounded to
// sig digits has a magnitude in [0.1, 10^sig); otherwise d.ddd with sig digits after the
// point and an exponent of expdigits digits.
std::string writefreereal(double value, int sig, int expdigits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  std::string out;
  if (std::signbit(value)) out += '-';
  const double magnitude = std::fabs(value);
  if (magnitude == 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(sig), '0');
    return out;
  }
  const Digits fixed = significant(magnitude, sig);
  if (fixed.exponent == -1) {
    out += "0.";
    out.append(fixed.view());
  } else if (fixed.exponent >= 0 && fixed.exponent < sig) {
    const auto point = static_cast<std::size_t>(fixed.exponent) + 1;
    out.append(fixed.view().substr(0, point));
    out += '.';
    out.append(fixed.view(point));
  } else {
    const Digits sci = significant(magnitude, sig + 1);
    out += sci.text[0];
    out += '.';
    out.append(sci.view(1));
    out += 'E';
    appendexponent(out, sci.exponent, static_cast<std::size_t>(expdigits));
  }
  return out;
}

std::string writefree(std::int64_t value) {
  std::array<char, 24> buf{};
  return std::string(buf.data(), std::to_chars(buf.data(), buf.data() + buf.size(), value).ptr);
}

// Shared body of the four number-to-text conversions; free(value) gives the free form.
template <class T, class Free>
std::string tostring(T value, std::string_view fmt, int* iostat, Free free) {
  if (iostat != nullptr) *iostat = 0;
  if (fmt.empty()) return free(value);
  constexpr bool isint = std::numeric_limits<T>::is_integer;
  if (const auto f = parseformat(fmt); f && (f->kind == 'I') == isint) {
    if constexpr (isint) {
      return writeinteger(value, *f);
    } else {
      return f->kind == 'F' ? writefixed(value, *f) : writeexponent(value, *f);
    }
  }
  if (iostat != nullptr) {
    *iostat = kStatusWriteFailed;
    return {};
  }
  std::string msg = "Cannot write the value ";
  msg.append(free(value)).append(" with the format \"").append(fmt).append("\"");
  fatalerrorstat(kStatusWriteFailed, msg);
}

// ---------------------------------------------------------------------------------------
// Reading

// Status of a read that found no value of the type.
constexpr int kBadValue = kStatusBadListInput;

// The first value of text: leading blanks and TABs skipped, ending at a blank, TAB,
// comma, slash or the end. Returns -1 for a blank text, kBadValue for an empty value.
int firstvalue(std::string_view text, std::string_view& value) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return kStatusEndOfFile;
  std::size_t last = text.find_first_of(" \t,/", first);
  if (last == std::string_view::npos) last = text.size();
  if (last == first) return kBadValue;
  value = text.substr(first, last - first);
  return 0;
}

template <class T>
int parseinteger(std::string_view text, T& value) {
  const std::size_t digits = text.front() == '+' || text.front() == '-' ? 1 : 0;
  if (text.size() == digits) return kBadValue;
  for (std::size_t i = digits; i < text.size(); ++i) {
    if (!isdigit(text[i])) return kBadValue;
  }
  // from_chars takes a minus sign but no plus sign.
  if (text.front() == '+') text.remove_prefix(1);
  T x{};
  const auto r = std::from_chars(text.data(), text.data() + text.size(), x);
  if (r.ec != std::errc{}) return kBadValue;  // out of range
  value = x;
  return 0;
}

// Decimal order of magnitude of a literal whose mantissa has intdigits digits before the
// point and firstnonzero as the index (over all mantissa digits) of its first non-zero
// digit, times 10^exponent.
long decimalorder(std::size_t intdigits, std::size_t firstnonzero, long exponent) {
  return static_cast<long>(intdigits) - static_cast<long>(firstnonzero) - 1 + exponent;
}

template <class T>
int parsereal(std::string_view text, T& value) {
  const bool neg = text.front() == '-';
  std::string_view unsigned_text = text;
  if (neg || text.front() == '+') unsigned_text.remove_prefix(1);
  const int n = static_cast<int>(unsigned_text.size());
  if (strcmpiwork(unsigned_text, n, "inf", 3) || strcmpiwork(unsigned_text, n, "infinity", 8)) {
    value = neg ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
    return 0;
  }
  if (strcmpiwork(unsigned_text, n, "nan", 3)) {
    value = std::numeric_limits<T>::quiet_NaN();
    return 0;
  }
  // Mantissa: digits with an optional point, at least one digit.
  std::size_t i = 0;
  std::size_t intdigits = 0;
  std::size_t ndigits = 0;
  std::size_t firstnonzero = std::string_view::npos;
  bool point = false;
  for (; i < unsigned_text.size(); ++i) {
    const char c = unsigned_text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (isdigit(c)) {
      if (c != '0' && firstnonzero == std::string_view::npos) firstnonzero = ndigits;
      ++ndigits;
      if (!point) ++intdigits;
    } else {
      break;
    }
  }
  if (ndigits == 0) return kBadValue;
  // Exponent: E or D, optional sign, at least one digit.
  long exponent = 0;
  std::size_t dpos = std::string_view::npos;
  if (i < unsigned_text.size()) {
    const char letter = unsigned_text[i];
    if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd') return kBadValue;
    if (letter == 'D' || letter == 'd') dpos = i;
    ++i;
    bool expneg = false;
    if (i < unsigned_text.size() && (unsigned_text[i] == '+' || unsigned_text[i] == '-')) {
      expneg = unsigned_text[i] == '-';
      ++i;
    }
    const std::size_t expfirst = i;
    for (; i < unsigned_text.size() && isdigit(unsigned_text[i]); ++i) {
      if (exponent < 1000000) exponent = exponent * 10 + (unsigned_text[i] - '0');
    }
    if (i == expfirst || i != unsigned_text.size()) return kBadValue;
    if (expneg) exponent = -exponent;
  }
  // from_chars knows only E, and takes a minus sign but no plus sign.
  std::string_view literal = neg ? text : unsigned_text;
  std::string normalised;
  if (dpos != std::string_view::npos) {
    normalised.assign(literal);
    normalised[literal.size() - unsigned_text.size() + dpos] = 'e';
    literal = normalised;
  }
  T x{};
  const auto r = std::from_chars(literal.data(), literal.data() + literal.size(), x, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range && firstnonzero != std::string_view::npos &&
      decimalorder(intdigits, firstnonzero, exponent) < 0) {
    // Too small for the type: rounds to zero, as any arithmetic underflow does.
    x = neg ? -T(0) : T(0);
  } else if (r.ec != std::errc{} || r.ptr != literal.data() + literal.size()) {
    return kBadValue;  // too large for the type
  }
  value = x;
  return 0;
}

[[noreturn]] void readfailed(int status, std::string_view what, std::string_view text) {
  std::string msg = "Cannot read ";
  msg.append(what).append(" from the text \"").append(trimview(text));
  msg += '"';
  fatalerrorstat(status, msg);
}

template <class T, class Parse>
void str2value(std::string_view text, T& value, int* iostat, std::string_view what, Parse parse) {
  std::string_view field;
  int status = firstvalue(text, field);
  if (status == 0) status = parse(field, value);
  if (iostat != nullptr) {
    *iostat = status;
  } else if (status != 0) {
    readfailed(status, what, text);
  }
}

}  // namespace

std::string tostring_i4(std::int32_t value, std::string_view fmt, int* iostat) {
  return tostring(value, fmt, iostat, [](std::int32_t v) { return writefree(v); });
}

std::string tostring_i8(std::int64_t value, std::string_view fmt, int* iostat) {
  return tostring(value, fmt, iostat, [](std::int64_t v) { return writefree(v); });
}

// A float widens to double exactly, so rounding the double rounds the float's own value.
std::string tostring_r4(float value, std::string_view fmt, int* iostat) {
  return tostring(static_cast<double>(value), fmt, iostat, [](double v) { return writefreereal(v, 7, 2); });
}

std::string tostring_r8(double value, std::string_view fmt, int* iostat) {
  return tostring(value, fmt, iostat, [](double v) { return writefreereal(v, 15, 3); });
}

std::string tostring_l(bool value) { return value ? "T" : "F"; }

void str2i4(std::string_view text, std::int32_t& value, int* iostat) {
  str2value(text, value, iostat, "a 4-byte integer", parseinteger<std::int32_t>);
}

void str2i8(std::string_view text, std::int64_t& value, int* iostat) {
  str2value(text, value, iostat, "an 8-byte integer", parseinteger<std::int64_t>);
}

void str2r4(std::string_view text, float& value, int* iostat) {
  str2value(text, value, iostat, "a 4-byte real", parsereal<float>);
}

void str2r8(std::string_view text, double& value, int* iostat) {
  str2value(text, value, iostat, "an 8-byte real", parsereal<double>);
}

void str2l(std::string_view text, bool& value, int* iostat) {
  static constexpr std::string_view truewords[] = {"t", "T", "true", "True", "TRUE", ".true.", ".TRUE."};
  static constexpr std::string_view falsewords[] = {"f", "F", "false", "False", "FALSE", ".false.", ".FALSE."};
  if (iostat != nullptr) *iostat = 0;
  const std::string_view word = trimview(text);
  for (const std::string_view w : truewords) {
    if (word == w) {
      value = true;
      return;
    }
  }
  for (const std::string_view w : falsewords) {
    if (word == w) {
      value = false;
      return;
    }
  }
  if (iostat != nullptr) *iostat = 1;
}

// ---------------------------------------------------------------------------------------
// Case

void tolower(std::string& s) noexcept {
  const int n = len_trim(s);
  for (int i = 0; i < n; ++i) tolowerchar(s[i]);
}

void toupper(std::string& s) noexcept {
  const int n = len_trim(s);
  for (int i = 0; i < n; ++i) toupperchar(s[i]);
}

void totitlecase(std::string& s) noexcept {
  const int n = len_trim(s);
  for (int i = 0; i < n; ++i) {
    if (!isalpha(s[i])) continue;
    if (i == 0 || isblank(s[i - 1])) {
      toupperchar(s[i]);
    } else {
      tolowerchar(s[i]);
    }
  }
}

std::string tolowercopy(std::string_view s) {
  std::string out(s);
  tolower(out);
  return out;
}

std::string touppercopy(std::string_view s) {
  std::string out(s);
  toupper(out);
  return out;
}

std::string totitlecasecopy(std::string_view s) {
  std::string out(s);
  totitlecase(out);
  return out;
}

}  // namespace kelpra
