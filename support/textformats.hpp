// Fixed-width number fields of the text files (VTK, comparison and time-table files) in
// the Fortran edit descriptors their readers expect: Iw[.m], Fw.d, Ew.d[Ee], ESw.d[Ee] and
// Gw.d[Ee]. Every field is exactly w characters; a value that does not fit gives w
// asterisks. Digits come from std::to_chars (correctly rounded, ties to even).
//
// Exponent parts: with Ee exactly e digits after "E" and the sign (asterisks when more are
// needed); without it "E" and two digits, an exponent beyond 99 taking three digits in
// place of the letter. G writes a value whose magnitude rounded to d significant digits is
// zero or lies in [0.1, 10^d) in fixed notation with d significant digits, followed by
// e + 2 blanks (4 without Ee), and any other value as E does. An integer under G is
// written as under Iw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra {

struct EditDescriptor {
  enum class Kind : char { I, F, E, ES, G, X };
  Kind kind = Kind::G;
  int w = 0;   // field width; the number of blanks for X
  int d = -1;  // decimals (F, E, ES), significant digits (G), least digits (I); -1 when absent
  int e = 0;   // exponent digits of an Ee suffix; 0 when absent
};

// Limits of a descriptor that parses: w up to 200, e up to 9, a repeat count up to 100.
inline constexpr int kMaxFieldWidth = 200;

constexpr EditDescriptor formatI(int w, int m = -1) { return {EditDescriptor::Kind::I, w, m, 0}; }
constexpr EditDescriptor formatF(int w, int d) { return {EditDescriptor::Kind::F, w, d, 0}; }
constexpr EditDescriptor formatE(int w, int d, int e = 0) { return {EditDescriptor::Kind::E, w, d, e}; }
constexpr EditDescriptor formatES(int w, int d, int e = 0) { return {EditDescriptor::Kind::ES, w, d, e}; }
constexpr EditDescriptor formatG(int w, int d, int e = 0) { return {EditDescriptor::Kind::G, w, d, e}; }

// True for the descriptors that write a real (F, E, ES, G) or an integer (I, G).
bool writesreal(const EditDescriptor& f) noexcept;
bool writesinteger(const EditDescriptor& f) noexcept;

// Writes exactly f.w characters at field. A descriptor that does not suit the value, or
// whose decimals leave no room in the field, gives w asterisks.
void putreal(double value, const EditDescriptor& f, char* field);
void putinteger(std::int64_t value, const EditDescriptor& f, char* field);
// The same, appended to out.
void appendreal(std::string& out, double value, const EditDescriptor& f);
void appendinteger(std::string& out, std::int64_t value, const EditDescriptor& f);

// A format text: a parenthesised list of items separated by commas, each an optional
// repeat count and one descriptor ("I5", "F10.4", "E20.8", "ES24.15E3", "G15.5E2",
// "G18.11") or nX for n blanks; letters in any case, blanks ignored. The items come back
// with repeat counts expanded, so "(2ES24.15e3)" gives two ES24.15E3 items. nullopt for
// any other text.
std::optional<std::vector<EditDescriptor>> parseformat(std::string_view text);

// A real in free format: the shortest text that reads back as the same value.
void appendfreereal(std::string& out, double value);

}  // namespace kelpra
