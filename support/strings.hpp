// String toolbox: number/text conversions, character classes and case, searching,
// comparing, trimming, editing, tokens and line reading.
//
// Texts are fixed-width and blank-padded: the width of a text is its size(), and its
// content ends at the last character that is not a blank (' '); trailing blanks are never
// content. Positions count from 1, and a search that finds nothing returns
// len_trim(s) + 1. Operations ending in 1 take a set of characters (every character of
// the set over its full width is a member, so a set wider than its characters contains
// the blank); their twins ending in 2 take a predicate on one character. In-place
// operations work over the full width of s; copy forms return a new text of that width.
//
// The character classes below clash by name with the C library's ::isdigit etc. Inside
// namespace kelpra an unqualified name finds only ours. Where both are visible (a
// using-directive at global scope) the bare name is an overload set; the predicate
// templates default their parameter to CharTest, so such a set is resolved to the
// bool(char) overload instead of failing deduction.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/textview.hpp"  // len_trim, trimview

namespace kelpra {

// ---------------------------------------------------------------------------------------
// Number to text and back

// Without fmt (empty) the value is written in free form, left-adjusted. fmt is one edit
// descriptor of support/textformats.hpp: "(Iw)", "(Iw.m)" for integers and "(Fw.d)",
// "(Ew.d)", "(ESw.d)", "(Gw.d)" (the last three with an optional Ee) for reals, any letter
// case, w <= 80; trailing blanks are dropped and a value too wide for w comes out as w
// asterisks. A failing write returns "" and sets
// *iostat positive, or stops the run when iostat is null.
std::string tostring_i4(std::int32_t value, std::string_view fmt = {}, int* iostat = nullptr);
std::string tostring_i8(std::int64_t value, std::string_view fmt = {}, int* iostat = nullptr);
std::string tostring_r4(float value, std::string_view fmt = {}, int* iostat = nullptr);
std::string tostring_r8(double value, std::string_view fmt = {}, int* iostat = nullptr);
std::string tostring_l(bool value);

// Read the first value of text by free-format input rules. *iostat: 0 success, -1 blank
// text, positive malformed or out of range (value is then left unchanged). Without
// iostat a failure stops the run.
void str2i4(std::string_view text, std::int32_t& value, int* iostat = nullptr);
void str2i8(std::string_view text, std::int64_t& value, int* iostat = nullptr);
void str2r4(std::string_view text, float& value, int* iostat = nullptr);
void str2r8(std::string_view text, double& value, int* iostat = nullptr);
// Accepts t, T, true, True, TRUE, .true., .TRUE. and the matching false words; any other
// text leaves value unchanged and sets *iostat to 1 (unnoticed without iostat).
void str2l(std::string_view text, bool& value, int* iostat = nullptr);

// ---------------------------------------------------------------------------------------
// Character classes (plain 8-bit codes; codes 128 to 255 belong to no class)

namespace detail {
constexpr int code(char c) noexcept { return static_cast<unsigned char>(c); }
}  // namespace detail

constexpr bool iscntrl(char c) noexcept { return detail::code(c) <= 31 || detail::code(c) == 127; }
constexpr bool isspace(char c) noexcept { return c == ' ' || (detail::code(c) >= 9 && detail::code(c) <= 13); }
constexpr bool isblank(char c) noexcept { return c == ' ' || c == '\t'; }
constexpr bool isupper(char c) noexcept { return c >= 'A' && c <= 'Z'; }
constexpr bool islower(char c) noexcept { return c >= 'a' && c <= 'z'; }
constexpr bool isalpha(char c) noexcept { return isupper(c) || islower(c); }
constexpr bool isdigit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool isxdigit(char c) noexcept { return isdigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
constexpr bool isalnum(char c) noexcept { return isdigit(c) || isalpha(c); }
// 127 counts as punctuation as well as control.
constexpr bool ispunct(char c) noexcept {
  const int k = detail::code(c);
  return (k >= 33 && k <= 47) || (k >= 58 && k <= 64) || (k >= 91 && k <= 96) || (k >= 123 && k <= 127);
}
constexpr bool isgraph(char c) noexcept { return detail::code(c) >= 33 && detail::code(c) <= 126; }
constexpr bool isprint(char c) noexcept { return detail::code(c) >= 32 && detail::code(c) <= 126; }

// The type a character class or any other plain predicate function has.
using CharTest = bool (*)(char);

// ---------------------------------------------------------------------------------------
// Case (only the basic Latin letters change)

constexpr void tolowerchar(char& c) noexcept {
  if (isupper(c)) c = static_cast<char>(c + 32);
}
constexpr void toupperchar(char& c) noexcept {
  if (islower(c)) c = static_cast<char>(c - 32);
}
void tolower(std::string& s) noexcept;
void toupper(std::string& s) noexcept;
// A letter becomes upper case at position 1 or after a blank or TAB, lower case elsewhere.
void totitlecase(std::string& s) noexcept;
std::string tolowercopy(std::string_view s);
std::string touppercopy(std::string_view s);
std::string totitlecasecopy(std::string_view s);

// ---------------------------------------------------------------------------------------
// Building blocks shared by the set and predicate forms. L is len_trim(s), computed once
// by the caller so that token walks stay a single pass.

namespace detail {

struct InSet {
  std::string_view set;
  bool operator()(char c) const noexcept { return set.find(c) != std::string_view::npos; }
};

// First position in max(lo, 1) .. L whose membership equals want; L + 1 when none.
template <class Pred>
int scanforward(std::string_view s, int L, int lo, Pred& belongs, bool want) {
  for (int i = lo < 1 ? 1 : lo; i <= L; ++i) {
    if (static_cast<bool>(belongs(s[i - 1])) == want) return i;
  }
  return L + 1;
}

// Last position in 1 .. min(hi, L) whose membership equals want; L + 1 when none.
template <class Pred>
int scanbackward(std::string_view s, int L, int hi, Pred& belongs, bool want) {
  for (int i = hi < L ? hi : L; i >= 1; --i) {
    if (static_cast<bool>(belongs(s[i - 1])) == want) return i;
  }
  return L + 1;
}

// s(k:) moved to position 1, blanks entering at the right; k in 1 .. size + 1.
void shiftleft(std::string& s, int k) noexcept;

template <class Pred>
void trimleft(std::string& s, Pred& belongs) {
  const int L = len_trim(s);
  const int k = scanforward(s, L, 1, belongs, false);
  if (k <= L) {
    shiftleft(s, k);
  } else {
    s.assign(s.size(), ' ');
  }
}

template <class Pred>
void trimright(std::string& s, Pred& belongs) {
  const int L = len_trim(s);
  const int k = scanbackward(s, L, L, belongs, false);
  std::fill(s.begin() + (k <= L ? k : 0), s.end(), ' ');
}

template <class Pred>
void replace(std::string& s, Pred& belongs, char c) {
  const int L = len_trim(s);
  for (int i = 0; i < L; ++i) {
    if (belongs(s[i])) s[i] = c;
  }
}

template <class Pred>
void remove(std::string& s, Pred& belongs) {
  const int L = len_trim(s);
  int w = 0;
  for (int i = 0; i < L; ++i) {
    if (!belongs(s[i])) s[w++] = s[i];
  }
  std::fill(s.begin() + w, s.end(), ' ');
}

// Calls visit(start, token) for each token of s by the token rule, start being the
// 1-based position where the token begins; stops early when visit returns false.
template <class Pred, class Visit>
void walktokens(std::string_view s, Pred& isdelim, bool merge, Visit&& visit) {
  const int L = len_trim(s);
  int start = 1;
  int p = scanforward(s, L, 1, isdelim, true);
  while (visit(start, s.substr(start - 1, p - start)) && p <= L) {
    start = merge ? scanforward(s, L, p, isdelim, false) : p + 1;
    p = scanforward(s, L, start, isdelim, true);
  }
}

template <class Pred>
int numtok(std::string_view s, Pred& isdelim, bool merge) {
  int count = 0;
  walktokens(s, isdelim, merge, [&](int, std::string_view) {
    ++count;
    return true;
  });
  return count;
}

template <class Pred>
int findnthtoken(std::string_view s, Pred& isdelim, bool merge, int n) {
  if (n < 1) return 0;
  int count = 0;
  int found = 0;
  walktokens(s, isdelim, merge, [&](int start, std::string_view) {
    if (++count == n) found = start;
    return found == 0;
  });
  return found;
}

template <class Pred>
bool chomp(std::string& s, Pred& isdelim, bool merge, std::string& token) {
  const int L = len_trim(s);
  int p = scanforward(s, L, 1, isdelim, true);
  const int toklen = p - 1;
  if (p <= L) p = merge ? scanforward(s, L, p, isdelim, false) : p + 1;
  token.assign(s, 0, static_cast<std::size_t>(toklen));
  shiftleft(s, p);
  return L >= 1;
}

// True when s lies in the buffer of one of the elements (splitting a text into the
// array that holds it would otherwise read storage the split has already changed).
bool overlapsany(std::string_view s, const std::vector<std::string>& tokens) noexcept;
// Stores tok in elem: cut or blank-padded to elem's width, or resized to tok.
void storetoken(std::string& elem, std::string_view tok, bool fixedwidth);

template <class Pred>
void split(std::string_view s, Pred& isdelim, bool merge, std::vector<std::string>& tokens, int& ntok,
           bool fixedwidth) {
  ntok = 0;
  const std::size_t cap = tokens.size();
  if (cap == 0) return;
  std::string copy;
  if (overlapsany(s, tokens)) {
    copy.assign(s);
    s = copy;
  }
  walktokens(s, isdelim, merge, [&](int, std::string_view tok) {
    storetoken(tokens[static_cast<std::size_t>(ntok)], tok, fixedwidth);
    return static_cast<std::size_t>(++ntok) < cap;
  });
}

}  // namespace detail

// ---------------------------------------------------------------------------------------
// Finding

// First position from max(start, 1) whose character belongs (is in the set).
int findfirstof1(std::string_view s, std::string_view set, int start = 1) noexcept;
template <class Pred = CharTest>
int findfirstof2(std::string_view s, Pred pred, int start = 1) {
  return detail::scanforward(s, len_trim(s), start, pred, true);
}
// First position from max(start, 1) whose character does not belong.
int findfirstnotof1(std::string_view s, std::string_view set, int start = 1) noexcept;
template <class Pred = CharTest>
int findfirstnotof2(std::string_view s, Pred pred, int start = 1) {
  return detail::scanforward(s, len_trim(s), start, pred, false);
}
// Last position in 1 .. min(pos, len_trim(s)) whose character belongs, searching downward.
int findlastof1(std::string_view s, std::string_view set, int pos = std::numeric_limits<int>::max()) noexcept;
template <class Pred = CharTest>
int findlastof2(std::string_view s, Pred pred, int pos = std::numeric_limits<int>::max()) {
  return detail::scanbackward(s, len_trim(s), pos, pred, true);
}
int findlastnotof1(std::string_view s, std::string_view set, int pos = std::numeric_limits<int>::max()) noexcept;
template <class Pred = CharTest>
int findlastnotof2(std::string_view s, Pred pred, int pos = std::numeric_limits<int>::max()) {
  return detail::scanbackward(s, len_trim(s), pos, pred, false);
}
// Last position of the text that is not white space (blank, NUL, TAB, LF, VT, FF, CR).
int len_white(std::string_view s) noexcept;
// First position at or after start where the text of sub occurs, ignoring letter case; a
// start below 1 searches from 1.
int indexi(std::string_view s, std::string_view sub, int start = 1) noexcept;

// ---------------------------------------------------------------------------------------
// Comparing, ignoring the case of the basic Latin letters

bool strcmpi1(std::string_view a, std::string_view b) noexcept;
bool strcmpi2(std::string_view a, int n, std::string_view b) noexcept;
bool strcmpi3(std::string_view a, int na, std::string_view b, int nb) noexcept;
// The first na characters of a with the first nb of b; positions past a text's width
// count as blanks.
bool strcmpiwork(std::string_view a, int na, std::string_view b, int nb) noexcept;
// 1-based index of the first (last when back) element equal to value by strcmpi1 and not
// masked out; 0 when none. Elements past the end of a shorter mask count as masked out.
int findloci(const std::vector<std::string>& list, std::string_view value, const std::vector<bool>* mask = nullptr,
             bool back = false);

// ---------------------------------------------------------------------------------------
// Trimming (default set: blank and TAB)

void trimleft1(std::string& s, std::string_view set = " \t");
std::string trimleftcopy1(std::string_view s, std::string_view set = " \t");
void trimright1(std::string& s, std::string_view set = " \t");
std::string trimrightcopy1(std::string_view s, std::string_view set = " \t");
void trimfull1(std::string& s, std::string_view set = " \t");
std::string trimfullcopy1(std::string_view s, std::string_view set = " \t");

template <class Pred = CharTest>
void trimleft2(std::string& s, Pred pred) {
  detail::trimleft(s, pred);
}
template <class Pred = CharTest>
std::string trimleftcopy2(std::string_view s, Pred pred) {
  std::string out(s);
  detail::trimleft(out, pred);
  return out;
}
template <class Pred = CharTest>
void trimright2(std::string& s, Pred pred) {
  detail::trimright(s, pred);
}
template <class Pred = CharTest>
std::string trimrightcopy2(std::string_view s, Pred pred) {
  std::string out(s);
  detail::trimright(out, pred);
  return out;
}
template <class Pred = CharTest>
void trimfull2(std::string& s, Pred pred) {
  detail::trimright(s, pred);
  detail::trimleft(s, pred);
}
template <class Pred = CharTest>
std::string trimfullcopy2(std::string_view s, Pred pred) {
  std::string out(s);
  trimfull2(out, pred);
  return out;
}

// ---------------------------------------------------------------------------------------
// Editing. Positions below 1 or past the width + 1 leave s unchanged.

void replace1(std::string& s, std::string_view set, char c);
std::string replacecopy1(std::string_view s, std::string_view set, char c);
template <class Pred = CharTest>
void replace2(std::string& s, Pred pred, char c) {
  detail::replace(s, pred, c);
}
template <class Pred = CharTest>
std::string replacecopy2(std::string_view s, Pred pred, char c) {
  std::string out(s);
  detail::replace(out, pred, c);
  return out;
}

void remove1(std::string& s, std::string_view set);
std::string removecopy1(std::string_view s, std::string_view set);
template <class Pred = CharTest>
void remove2(std::string& s, Pred pred) {
  detail::remove(s, pred);
}
template <class Pred = CharTest>
std::string removecopy2(std::string_view s, Pred pred) {
  std::string out(s);
  detail::remove(out, pred);
  return out;
}

// Deletes n characters from pos, or the rest of the text when n is absent; n < 1 does nothing.
void erase(std::string& s, int pos = 1, std::optional<int> n = std::nullopt);
// Inserts the text of t (without its trailing blanks) before pos; what is pushed past the
// width is lost.
void insert1(std::string& s, int pos, std::string_view t);
// Inserts c followed by n - 1 blanks before pos.
void insert2(std::string& s, int pos, int n, char c);
void reverse(std::string& s) noexcept;
std::string reversecopy(std::string_view s);

// ---------------------------------------------------------------------------------------
// Tokens. merge: a run of adjacent delimiters separates once; otherwise adjacent
// delimiters enclose empty tokens.

int numtok1(std::string_view s, std::string_view delims, bool merge);
template <class Pred = CharTest>
int numtok2(std::string_view s, Pred isdelim, bool merge) {
  return detail::numtok(s, isdelim, merge);
}

// Start position of token n; 0 when there are fewer than n tokens or n < 1.
int findnthtoken1(std::string_view s, std::string_view delims, bool merge, int n);
template <class Pred = CharTest>
int findnthtoken2(std::string_view s, Pred isdelim, bool merge, int n) {
  return detail::findnthtoken(s, isdelim, merge, n);
}

// Cuts the first token off s into token; true when s had text on entry.
bool chomp1(std::string& s, std::string_view delims, bool merge, std::string& token);
template <class Pred = CharTest>
bool chomp2(std::string& s, Pred isdelim, bool merge, std::string& token) {
  return detail::chomp(s, isdelim, merge, token);
}

// Fills tokens[0 .. ntok-1], at most tokens.size() of them (the rest of the text is
// dropped); later elements keep their contents. split: each element keeps its width
// (token cut or blank-padded); splitvs: each element becomes exactly its token.
void split1(std::string_view s, std::string_view delims, bool merge, std::vector<std::string>& tokens, int& ntok);
template <class Pred = CharTest>
void split2(std::string_view s, Pred isdelim, bool merge, std::vector<std::string>& tokens, int& ntok) {
  detail::split(s, isdelim, merge, tokens, ntok, true);
}
void splitvs1(std::string_view s, std::string_view delims, bool merge, std::vector<std::string>& tokens, int& ntok);
template <class Pred = CharTest>
void splitvs2(std::string_view s, Pred isdelim, bool merge, std::vector<std::string>& tokens, int& ntok) {
  detail::split(s, isdelim, merge, tokens, ntok, false);
}

// ---------------------------------------------------------------------------------------
// Line reading

// Reads one record of any length into line (terminator and a CR before it excluded).
// Returns 0, -1 at end of file (line empty), or a positive read-error status. A last
// line without terminator comes with 0; the next call gives -1.
int readline(int unit, std::string& line);
// The same from an open stream (standard input too); a null stream is a read failure.
int readlinefrom(std::FILE* stream, std::string& line);
// As readline into the fixed-width line (cut or blank-padded); status -1 when a
// non-blank character was cut off, else 0.
int readlinesafe(int unit, std::string& line, int& status);

// ---------------------------------------------------------------------------------------
// Free-format fields: values separated by blanks (TABs, CRs) or by one comma with or
// without blanks around it; a slash ends the list early. An empty field (two commas in a
// row) is nullopt; after a slash the list holds only the fields before it, so a claimed
// count never sizes storage beyond what the text holds.

using FreeFields = std::vector<std::optional<std::string>>;

// Field k when it was given: nullptr for an empty field or one past the end of the list.
inline const std::string* freefield(const FreeFields& fields, std::size_t k) {
  return k < fields.size() && fields[k] ? &*fields[k] : nullptr;
}

// The first n fields of text. Returns 0, or -1 when the text ends before n fields and no
// slash ended the list (fields then holds those found).
int freefields(std::string_view text, std::size_t n, FreeFields& fields);
// One free-format read of n values from a formatted unit: it starts on the next line, runs
// on over line ends as needed and ignores the rest of its last line. Returns the status of
// the line reads (end of file included).
int readfreefields(int unit, std::size_t n, FreeFields& fields);

}  // namespace kelpra
