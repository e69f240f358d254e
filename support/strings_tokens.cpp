// Tokens of a text and reading whole lines from a formatted unit.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/fileunits.hpp"
#include "support/strings.hpp"

namespace kelpra {

namespace detail {

bool overlapsany(std::string_view s, const std::vector<std::string>& tokens) noexcept {
  if (s.empty()) return false;
  const std::less<const char*> before;
  return std::any_of(tokens.begin(), tokens.end(), [&](const std::string& t) {
    return !before(s.data(), t.data()) && !before(t.data() + t.size(), s.data());
  });
}

void storetoken(std::string& elem, std::string_view tok, bool fixedwidth) {
  if (!fixedwidth) {
    elem.assign(tok);
    return;
  }
  const std::size_t k = std::min(elem.size(), tok.size());
  std::copy_n(tok.begin(), k, elem.begin());
  std::fill(elem.begin() + static_cast<std::ptrdiff_t>(k), elem.end(), ' ');
}

}  // namespace detail

int numtok1(std::string_view s, std::string_view delims, bool merge) {
  detail::InSet in{delims};
  return detail::numtok(s, in, merge);
}

int findnthtoken1(std::string_view s, std::string_view delims, bool merge, int n) {
  detail::InSet in{delims};
  return detail::findnthtoken(s, in, merge, n);
}

bool chomp1(std::string& s, std::string_view delims, bool merge, std::string& token) {
  detail::InSet in{delims};
  return detail::chomp(s, in, merge, token);
}

void split1(std::string_view s, std::string_view delims, bool merge, std::vector<std::string>& tokens, int& ntok) {
  detail::InSet in{delims};
  detail::split(s, in, merge, tokens, ntok, true);
}

void splitvs1(std::string_view s, std::string_view delims, bool merge, std::vector<std::string>& tokens, int& ntok) {
  detail::InSet in{delims};
  detail::split(s, in, merge, tokens, ntok, false);
}

// A unit's stream is used by one thread at a time, so the unlocked reads are safe and
// spare a lock per character.
int readline(int unit, std::string& line) {
  line.clear();
  std::FILE* f = unitstream(unit);
  if (f == nullptr) return kStatusReadFailed;
  bool any = false;
  for (;;) {
    const int c = getc_unlocked(f);
    if (c == EOF) {
      if (std::ferror(f) != 0) return kStatusReadFailed;
      return any ? 0 : kStatusEndOfFile;
    }
    any = true;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return 0;
    }
    line.push_back(static_cast<char>(c));
  }
}

int readlinesafe(int unit, std::string& line, int& status) {
  status = 0;
  std::string work;
  const int result = readline(unit, work);
  const std::size_t k = std::min(line.size(), work.size());
  std::copy_n(work.begin(), k, line.begin());
  std::fill(line.begin() + static_cast<std::ptrdiff_t>(k), line.end(), ' ');
  if (result <= 0 && work.find_first_not_of(' ', line.size()) != std::string::npos) status = -1;
  return result;
}

}  // namespace kelpra
