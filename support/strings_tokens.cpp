// Tokens of a text and reading whole lines from a formatted unit.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/errors.hpp"
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
  return numtok2(s, detail::InSet{delims}, merge);
}
int findnthtoken1(std::string_view s, std::string_view delims, bool merge, int n) {
  return findnthtoken2(s, detail::InSet{delims}, merge, n);
}
bool chomp1(std::string& s, std::string_view delims, bool merge, std::string& token) {
  return chomp2(s, detail::InSet{delims}, merge, token);
}
void split1(std::string_view s, std::string_view delims, bool merge, std::vector<std::string>& tokens, int& ntok) {
  split2(s, detail::InSet{delims}, merge, tokens, ntok);
}
void splitvs1(std::string_view s, std::string_view delims, bool merge, std::vector<std::string>& tokens, int& ntok) {
  splitvs2(s, detail::InSet{delims}, merge, tokens, ntok);
}

// A stream is read by one thread at a time, so the unlocked reads are safe and spare a
// lock per character.
int readlinefrom(std::FILE* f, std::string& line) {
  line.clear();
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

int readline(int unit, std::string& line) {
  errno = 0;
  const int status = readlinefrom(unitstream(unit), line);
  if (status == kStatusReadFailed && errno != 0) notesystemerror(errno, unitfilename(unit));
  return status;
}

int readlinesafe(int unit, std::string& line, int& status) {
  status = 0;
  std::string work;
  const int result = readline(unit, work);
  detail::storetoken(line, work, true);
  if (result <= 0 && work.find_first_not_of(' ', line.size()) != std::string::npos) status = -1;
  return result;
}

namespace {

// Adds the fields of one line until n are held; aftercomma carries over line ends (a comma
// right after another gives an empty field). True when a slash ended the list.
bool scanfreefields(std::string_view line, std::size_t n, FreeFields& fields, bool& aftercomma) {
  std::size_t p = 0;
  while (fields.size() < n && p < line.size()) {
    const char c = line[p];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++p;
    } else if (c == ',') {
      if (aftercomma) fields.emplace_back();
      aftercomma = true;
      ++p;
    } else if (c == '/') {
      return true;
    } else {
      const std::size_t end = line.find_first_of(" \t\r,/", p);
      const std::size_t stop = end == std::string_view::npos ? line.size() : end;
      fields.emplace_back(std::string(line.substr(p, stop - p)));
      p = stop;
      while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
      aftercomma = false;
      if (p < line.size() && line[p] == ',') {
        aftercomma = true;
        ++p;
      }
    }
  }
  return false;
}

}  // namespace

int freefields(std::string_view text, std::size_t n, FreeFields& fields) {
  fields.clear();
  bool aftercomma = true;  // a comma at the start gives an empty first field
  if (scanfreefields(text, n, fields, aftercomma)) return 0;
  return fields.size() < n ? kStatusEndOfFile : 0;
}

int readfreefields(int unit, std::size_t n, FreeFields& fields) {
  fields.clear();
  bool aftercomma = true;
  std::string line;
  while (fields.size() < n) {
    const int status = readline(unit, line);
    if (status != 0) return status;
    if (scanfreefields(line, n, fields, aftercomma)) return 0;
  }
  return 0;
}

}  // namespace kelpra
