// Searching, comparing, trimming and editing of fixed-width texts.
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/strings.hpp"

namespace kelpra {
namespace {

// Blank, NUL, TAB, line feed, vertical tab, form feed, carriage return.
constexpr std::string_view kWhiteSpace(" \0\t\n\v\f\r", 7);

constexpr char foldcase(char c) noexcept {
  tolowerchar(c);
  return c;
}

// True when t lies within the storage of s (an insert from s into itself).
bool within(std::string_view t, const std::string& s) noexcept {
  const std::less<const char*> before;
  return !t.empty() && !before(t.data(), s.data()) && before(t.data(), s.data() + s.size());
}

// Opens a gap of up to n characters before pos by moving the tail right (what passes the
// width is lost); returns the gap's length, 0 when pos is outside 1 .. width.
std::size_t opengap(std::string& s, int pos, std::size_t n) {
  if (pos < 1 || static_cast<std::size_t>(pos) > s.size()) return 0;
  const std::size_t at = static_cast<std::size_t>(pos) - 1;
  const std::size_t m = std::min(s.size() - at, n);
  std::copy_backward(s.begin() + static_cast<std::ptrdiff_t>(at), s.end() - static_cast<std::ptrdiff_t>(m), s.end());
  return m;
}

}  // namespace

namespace detail {

void shiftleft(std::string& s, int k) noexcept {
  const std::size_t from = std::min(static_cast<std::size_t>(std::max(k, 1) - 1), s.size());
  std::copy(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(), s.begin());
  std::fill(s.end() - static_cast<std::ptrdiff_t>(from), s.end(), ' ');
}

}  // namespace detail

// ---------------------------------------------------------------------------------------
// Finding

// The set forms are the predicate forms with membership of the set as the predicate.
int findfirstof1(std::string_view s, std::string_view set, int start) noexcept {
  return findfirstof2(s, detail::InSet{set}, start);
}
int findfirstnotof1(std::string_view s, std::string_view set, int start) noexcept {
  return findfirstnotof2(s, detail::InSet{set}, start);
}
int findlastof1(std::string_view s, std::string_view set, int pos) noexcept {
  return findlastof2(s, detail::InSet{set}, pos);
}
int findlastnotof1(std::string_view s, std::string_view set, int pos) noexcept {
  return findlastnotof2(s, detail::InSet{set}, pos);
}

int len_white(std::string_view s) noexcept { return findlastnotof1(s, kWhiteSpace); }

int indexi(std::string_view s, std::string_view sub, int start) noexcept {
  const int n = len_trim(s);
  const int m = len_trim(sub);
  const int last = n - m + 1;
  for (int i = std::max(start, 1); i <= last; ++i) {
    if (strcmpiwork(s.substr(static_cast<std::size_t>(i - 1)), m, sub, m)) return i;
  }
  return n + 1;
}

// ---------------------------------------------------------------------------------------
// Comparing

bool strcmpiwork(std::string_view a, int na, std::string_view b, int nb) noexcept {
  if (na != nb) return false;
  // Past both widths only blanks remain, and they match.
  const auto wider = static_cast<long long>(std::max(a.size(), b.size()));
  const int n = static_cast<int>(std::min<long long>(na, wider));
  for (int i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const char ca = k < a.size() ? a[k] : ' ';
    const char cb = k < b.size() ? b[k] : ' ';
    if (foldcase(ca) != foldcase(cb)) return false;
  }
  return true;
}

bool strcmpi1(std::string_view a, std::string_view b) noexcept { return strcmpiwork(a, len_trim(a), b, len_trim(b)); }

// A negative count selects no character.
bool strcmpi2(std::string_view a, int n, std::string_view b) noexcept {
  return strcmpiwork(a, std::clamp(n, 0, len_trim(a)), b, len_trim(b));
}

bool strcmpi3(std::string_view a, int na, std::string_view b, int nb) noexcept {
  return strcmpiwork(a, std::clamp(na, 0, len_trim(a)), b, std::clamp(nb, 0, len_trim(b)));
}

int findloci(const std::vector<std::string>& list, std::string_view value, const std::vector<bool>* mask, bool back) {
  const int nvalue = len_trim(value);
  const auto matches = [&](std::size_t i) {
    if (mask != nullptr && (i >= mask->size() || !(*mask)[i])) return false;
    return strcmpiwork(list[i], len_trim(list[i]), value, nvalue);
  };
  const std::size_t n = list.size();
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = back ? n - 1 - k : k;
    if (matches(i)) return static_cast<int>(i + 1);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------
// Trimming

void trimleft1(std::string& s, std::string_view set) { trimleft2(s, detail::InSet{set}); }
std::string trimleftcopy1(std::string_view s, std::string_view set) { return trimleftcopy2(s, detail::InSet{set}); }
void trimright1(std::string& s, std::string_view set) { trimright2(s, detail::InSet{set}); }
std::string trimrightcopy1(std::string_view s, std::string_view set) { return trimrightcopy2(s, detail::InSet{set}); }
void trimfull1(std::string& s, std::string_view set) { trimfull2(s, detail::InSet{set}); }
std::string trimfullcopy1(std::string_view s, std::string_view set) { return trimfullcopy2(s, detail::InSet{set}); }

// ---------------------------------------------------------------------------------------
// Editing

void replace1(std::string& s, std::string_view set, char c) { replace2(s, detail::InSet{set}, c); }
std::string replacecopy1(std::string_view s, std::string_view set, char c) {
  return replacecopy2(s, detail::InSet{set}, c);
}
void remove1(std::string& s, std::string_view set) { remove2(s, detail::InSet{set}); }
std::string removecopy1(std::string_view s, std::string_view set) { return removecopy2(s, detail::InSet{set}); }

void erase(std::string& s, int pos, std::optional<int> n) {
  if (n && *n < 1) return;
  const auto width = static_cast<long long>(s.size());
  const long long L = len_trim(s);
  if (pos < 1 || pos > L) return;  // nothing of the text lies at or after pos
  const long long e = n ? std::min(pos + static_cast<long long>(*n) - 1, L) : L;
  const long long removed = e - pos + 1;
  std::copy(s.begin() + e, s.end(), s.begin() + (pos - 1));
  std::fill(s.begin() + (width - removed), s.end(), ' ');
}

void insert1(std::string& s, int pos, std::string_view t) {
  t = t.substr(0, static_cast<std::size_t>(len_trim(t)));
  std::string copy;
  if (within(t, s)) {
    copy.assign(t);
    t = copy;
  }
  const std::size_t m = opengap(s, pos, t.size());
  if (m == 0) return;
  std::copy_n(t.begin(), m, s.begin() + (pos - 1));
}

void insert2(std::string& s, int pos, int n, char c) {
  if (n < 1) return;
  const std::size_t m = opengap(s, pos, static_cast<std::size_t>(n));
  if (m == 0) return;
  s[static_cast<std::size_t>(pos) - 1] = c;
  std::fill_n(s.begin() + pos, m - 1, ' ');
}

void reverse(std::string& s) noexcept { std::reverse(s.begin(), s.begin() + len_trim(s)); }

std::string reversecopy(std::string_view s) {
  std::string out(s);
  reverse(out);
  return out;
}

}  // namespace kelpra
