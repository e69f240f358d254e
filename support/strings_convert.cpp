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
#include "support/textformats.hpp"

namespace kelpra {
namespace {

// Longest result of a number-to-text conversion.
constexpr int kFieldWidth = 80;

// Free form of a real: sig significant digits in fixed point when the value rounded to
// sig digits has a magnitude in [0.1, 10^sig) (the fixed range of G editing); otherwise
// d.ddd with sig digits after the point and an exponent of expdigits digits.
std::string writefreereal(double value, int sig, int expdigits) {
  std::string out;
  if (value == 0) {
    out = std::signbit(value) ? "-0." : "0.";
    out.append(static_cast<std::size_t>(sig), '0');
    return out;
  }
  appendreal(out, value, formatG(kFieldWidth, sig, expdigits));
  if (out.back() != ' ') {
    out.clear();
    appendreal(out, value, formatES(kFieldWidth, sig, expdigits));
  }
  return std::string(trimview(trimleftcopy1(out, " ")));
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
  if (const auto items = parseformat(fmt); items && items->size() == 1) {
    const EditDescriptor& f = items->front();
    if (f.w <= kFieldWidth && (isint ? f.kind == EditDescriptor::Kind::I : writesreal(f))) {
      std::string out;
      if constexpr (isint) {
        appendinteger(out, value, f);
      } else {
        appendreal(out, value, f);
      }
      out.resize(static_cast<std::size_t>(len_trim(out)));
      return out;
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
