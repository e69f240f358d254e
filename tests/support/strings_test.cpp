#include "support/strings.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

// With a using-directive both ::isdigit and kelpra::isdigit are visible by the bare name;
// the predicate forms must still pick ours.
namespace clashcheck {
using namespace kelpra;
int firstdigit(std::string_view s) { return findfirstof2(s, isdigit); }
}  // namespace clashcheck

namespace kelpra {
namespace {

// text blank-padded to width.
std::string field(std::string_view text, std::size_t width) {
  std::string s(text);
  s.resize(width, ' ');
  return s;
}

using testkit::expectstop;

// ---------------------------------------------------------------------------------------
// Number to text

TEST(ToString, IntegersFreeForm) {
  EXPECT_EQ(tostring_i4(-7), "-7");
  EXPECT_EQ(tostring_i4(42), "42");
  EXPECT_EQ(tostring_i4(0), "0");
  EXPECT_EQ(tostring_i4(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(tostring_i8(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(tostring_l(true), "T");
  EXPECT_EQ(tostring_l(false), "F");
}

TEST(ToString, IntegerFormatsKeepLeadingBlanks) {
  EXPECT_EQ(tostring_i4(7, "(I5)"), "    7");
  EXPECT_EQ(tostring_i4(-7, "(I5)"), "   -7");
  EXPECT_EQ(tostring_i4(5, "(I2.2)"), "05");
  EXPECT_EQ(tostring_i8(123, "(I10.10)"), "0000000123");
  EXPECT_EQ(tostring_i4(-7, "(i5.3)"), " -007");
  EXPECT_EQ(tostring_i4(0, "(I3.0)"), "");  // Iw.0 writes no digit for zero
  EXPECT_EQ(tostring_i4(12, "( I 4 )"), "  12");
  // Too wide for the field: asterisks, and no failure.
  int iostat = -5;
  EXPECT_EQ(tostring_i4(123, "(I2.2)", &iostat), "**");
  EXPECT_EQ(iostat, 0);
  EXPECT_EQ(tostring_i4(-10, "(I2)"), "**");
  EXPECT_EQ(tostring_i8(1, "(I80)"), std::string(79, ' ') + "1");
}

TEST(ToString, RealFormats) {
  EXPECT_EQ(tostring_r8(1.23456, "(F6.3)"), " 1.235");
  EXPECT_EQ(tostring_r8(0.5, "(F6.3)"), " 0.500");
  EXPECT_EQ(tostring_r8(0.5, "(F4.3)"), ".500");  // the optional zero gives way
  EXPECT_EQ(tostring_r8(-0.5, "(F5.3)"), "-.500");
  EXPECT_EQ(tostring_r8(1234.5, "(F6.3)"), "******");
  EXPECT_EQ(tostring_r8(2.7, "(f5.0)"), "   3.");
  EXPECT_EQ(tostring_r4(0.1f, "(F6.3)"), " 0.100");
  EXPECT_EQ(tostring_r8(1234.56, "(E12.4)"), "  0.1235E+04");
  EXPECT_EQ(tostring_r8(0.0, "(E10.3)"), " 0.000E+00");
  EXPECT_EQ(tostring_r8(-1e-300, "(E10.3)"), "-0.100-299");
  EXPECT_EQ(tostring_r8(1e5, "(E5.3)"), "*****");
  EXPECT_EQ(tostring_r8(INFINITY, "(F8.3)"), "Infinity");
  EXPECT_EQ(tostring_r8(-INFINITY, "(F5.1)"), " -Inf");
  EXPECT_EQ(tostring_r8(NAN, "(E9.2)"), "      NaN");
  EXPECT_EQ(tostring_r8(NAN, "(F2.1)"), "**");
  // More decimals than the field is wide can never fit, however many are asked for.
  EXPECT_EQ(tostring_r8(0.0, "(E10.200)"), "**********");
  EXPECT_EQ(tostring_r8(1.5, "(E12.99999)"), "************");
  EXPECT_EQ(tostring_r4(0.5f, "(F4.4)"), "****");
  EXPECT_EQ(tostring_r4(0.5f, "(F4.3)"), ".500");
  EXPECT_EQ(tostring_r8(-2.5, "(E80.73)"), "-0.25" + std::string(71, '0') + "E+01");
}

TEST(ToString, BadFormatsFail) {
  for (const char* fmt : {"(X5)", "(I0)", "(I81)", "(F6)", "(E6.0)", "I5", "(I5", "(I3.4)", "(I5)(I5)", "   "}) {
    int iostat = 0;
    EXPECT_EQ(tostring_i4(1, fmt, &iostat), "") << fmt;
    EXPECT_GT(iostat, 0) << fmt;
  }
  int iostat = 0;
  tostring_r8(1.0, "(I5)", &iostat);  // the descriptor must suit the type
  EXPECT_GT(iostat, 0);
  tostring_i8(1, "(F6.3)", &iostat);
  EXPECT_GT(iostat, 0);
  expectstop([] { tostring_i4(1, "(Q4)"); });
}

TEST(ToString, EightByteRealsFreeForm) {
  EXPECT_EQ(tostring_r8(1.0), "1.00000000000000");
  EXPECT_EQ(tostring_r8(0.5), "0.500000000000000");
  EXPECT_EQ(tostring_r8(123.5), "123.500000000000");
  EXPECT_EQ(tostring_r8(-123.5), "-123.500000000000");
  EXPECT_EQ(tostring_r8(1e20), "1.000000000000000E+020");
  EXPECT_EQ(tostring_r8(-2.5e-7), "-2.500000000000000E-007");
  EXPECT_EQ(tostring_r8(1e-300), "1.000000000000000E-300");
  EXPECT_EQ(tostring_r8(5e-324), "4.940656458412465E-324");
  EXPECT_EQ(tostring_r8(0.0), "0.000000000000000");
  EXPECT_EQ(tostring_r8(-0.0), "-0.000000000000000");
  EXPECT_EQ(tostring_r8(INFINITY), "Infinity");
  EXPECT_EQ(tostring_r8(-INFINITY), "-Infinity");
  EXPECT_EQ(tostring_r8(NAN), "NaN");
}

TEST(ToString, FixedRangeDecidedOnTheRoundedValue) {
  EXPECT_EQ(tostring_r8(0.09999999999999999), "0.100000000000000");
  EXPECT_EQ(tostring_r8(0.0999999999999), "9.999999999990000E-002");
  EXPECT_EQ(tostring_r8(999999999999999.0), "999999999999999.");
  EXPECT_EQ(tostring_r8(999999999999999.9), "9.999999999999999E+014");
  EXPECT_EQ(tostring_r8(1e15), "1.000000000000000E+015");
}

TEST(ToString, FourByteRealsFreeForm) {
  EXPECT_EQ(tostring_r4(1.0f), "1.000000");
  EXPECT_EQ(tostring_r4(0.1f), "0.1000000");
  EXPECT_EQ(tostring_r4(9999999.0f), "9999999.");
  EXPECT_EQ(tostring_r4(1e7f), "1.0000000E+07");
  EXPECT_EQ(tostring_r4(-3.4028235e38f), "-3.4028235E+38");
  EXPECT_EQ(tostring_r4(1e-40f), "9.9999461E-41");
  EXPECT_EQ(tostring_r4(0.0f), "0.0000000");
  EXPECT_EQ(tostring_r4(-0.0f), "-0.0000000");
  EXPECT_EQ(tostring_r4(-INFINITY), "-Infinity");
}

// ---------------------------------------------------------------------------------------
// Text to number

TEST(Str2, Integers) {
  std::int32_t v = 99;
  int iostat = 0;
  str2i4("      ", v, &iostat);
  EXPECT_LT(iostat, 0);
  str2i4("", v, &iostat);
  EXPECT_EQ(iostat, -1);
  str2i4("12abc", v, &iostat);
  EXPECT_GT(iostat, 0);
  EXPECT_EQ(v, 99);
  str2i4(" 12, 13", v, &iostat);
  EXPECT_EQ(iostat, 0);
  EXPECT_EQ(v, 12);
  str2i4("\t-5/7", v, &iostat);
  EXPECT_EQ(v, -5);
  str2i4("+7 rest", v, &iostat);
  EXPECT_EQ(v, 7);
  for (const char* bad : {"+", "-", "+-5", ",5", "/", "1.5", "2147483648", "-2147483649"}) {
    v = 99;
    str2i4(bad, v, &iostat);
    EXPECT_GT(iostat, 0) << bad;
    EXPECT_EQ(v, 99) << bad;
  }
  str2i4("-2147483648", v, &iostat);
  EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
  std::int64_t w = 0;
  str2i8("9223372036854775807", w, &iostat);
  EXPECT_EQ(w, std::numeric_limits<std::int64_t>::max());
  str2i8("9223372036854775808", w, &iostat);
  EXPECT_GT(iostat, 0);
  expectstop([] {
    std::int32_t x = 0;
    str2i4("abc", x);
  });
  expectstop([] {
    std::int32_t x = 0;
    str2i4("  ", x);
  });
}

TEST(Str2, Reals) {
  double v = 0;
  int iostat = 0;
  const auto read = [&](std::string_view text) {
    v = -99;
    str2r8(text, v, &iostat);
    return v;
  };
  EXPECT_EQ(read("1.5d3"), 1500.0);
  EXPECT_EQ(read("  -1.5D-3,x"), -1.5e-3);
  EXPECT_EQ(read(".5"), 0.5);
  EXPECT_EQ(read("5."), 5.0);
  EXPECT_EQ(read("+1E+2/"), 100.0);
  EXPECT_EQ(read("42"), 42.0);
  EXPECT_EQ(read("0.1"), 0.1);
  EXPECT_EQ(iostat, 0);
  EXPECT_EQ(read("inf"), INFINITY);
  EXPECT_EQ(read("-Infinity"), -INFINITY);
  EXPECT_TRUE(std::isnan(read("NaN")));
  // Too small for the type rounds to zero; too large is a failure.
  EXPECT_EQ(read("-1e-400"), 0.0);
  EXPECT_TRUE(std::signbit(v));
  EXPECT_EQ(iostat, 0);
  for (const char* bad : {"abc", "1e", "e5", ".", "1.2.3", "1e+", "1.5x", "--1", "1e400", "infx", "nan(1)"}) {
    str2r8(bad, v, &iostat);
    EXPECT_GT(iostat, 0) << bad;
  }
  str2r8(" \t ", v, &iostat);
  EXPECT_EQ(iostat, -1);
  float f = 0;
  str2r4("0.1", f, &iostat);
  EXPECT_EQ(f, 0.1f);
  str2r4("1e-50", f, &iostat);
  EXPECT_EQ(iostat, 0);
  EXPECT_EQ(f, 0.0f);
  str2r4("3.5e38", f, &iostat);
  EXPECT_GT(iostat, 0);
  expectstop([] {
    float x = 0;
    str2r4("1..", x);
  });
}

TEST(Str2, BooleanWords) {
  bool v = false;
  int iostat = 7;
  str2l("True", v, &iostat);
  EXPECT_TRUE(v);
  EXPECT_EQ(iostat, 0);
  str2l("FALSE   ", v, &iostat);
  EXPECT_FALSE(v);
  str2l(".TRUE.", v, &iostat);
  EXPECT_TRUE(v);
  str2l("  true", v, &iostat);  // leading blanks matter
  EXPECT_EQ(iostat, 1);
  EXPECT_TRUE(v);
  v = false;
  str2l("tRUE", v, &iostat);
  EXPECT_EQ(iostat, 1);
  EXPECT_FALSE(v);
  str2l("", v, &iostat);
  EXPECT_EQ(iostat, 1);
  str2l("yes", v);  // unnoticed without iostat
  EXPECT_FALSE(v);
}

// ---------------------------------------------------------------------------------------
// Character classes and case

TEST(CharClass, BoundaryCodes) {
  const char del = 127;
  EXPECT_TRUE(ispunct(del));
  EXPECT_TRUE(iscntrl(del));
  EXPECT_FALSE(isgraph(del));
  EXPECT_FALSE(isprint(del));
  EXPECT_TRUE(iscntrl('\0'));
  EXPECT_TRUE(iscntrl(31));
  EXPECT_FALSE(iscntrl(' '));
  EXPECT_FALSE(isspace(8));
  EXPECT_TRUE(isspace('\r'));
  EXPECT_FALSE(isspace(14));
  EXPECT_TRUE(isblank('\t'));
  EXPECT_FALSE(isblank('\n'));
  EXPECT_TRUE(isprint(' '));
  EXPECT_FALSE(isgraph(' '));
  EXPECT_TRUE(isgraph('~'));
  for (char c : std::string_view("!/:@[`{~")) EXPECT_TRUE(ispunct(c)) << c;
  for (char c : std::string_view(" 09AZaz")) EXPECT_FALSE(ispunct(c)) << c;
  EXPECT_TRUE(isxdigit('f') && isxdigit('F') && isxdigit('9'));
  EXPECT_FALSE(isxdigit('g') || isxdigit('G'));
  EXPECT_TRUE(isalnum('z') && isalnum('0') && !isalnum('_'));
  EXPECT_TRUE(isupper('Z') && !isupper('a') && islower('a') && !islower('@') && isalpha('A') && !isalpha('['));
  for (int k = 128; k < 256; ++k) {
    const char c = static_cast<char>(k);
    for (CharTest t : {iscntrl, isspace, isblank, isupper, islower, isalpha, isdigit, isxdigit, isalnum, ispunct,
                       isgraph, isprint}) {
      EXPECT_FALSE(t(c)) << k;
    }
  }
}

TEST(Case, OnlyBasicLatinLettersChange) {
  std::string s = "Ab\xC9z9 ";
  tolower(s);
  EXPECT_EQ(s, "ab\xC9z9 ");
  toupper(s);
  EXPECT_EQ(s, "AB\xC9Z9 ");
  char c = '[';
  tolowerchar(c);
  toupperchar(c);
  EXPECT_EQ(c, '[');
  EXPECT_EQ(tolowercopy("MiXed  "), "mixed  ");
  EXPECT_EQ(touppercopy(""), "");
}

TEST(Case, TitleCase) {
  EXPECT_EQ(totitlecasecopy("hello WORLD\tx   "), "Hello World\tX   ");
  EXPECT_EQ(totitlecasecopy("o'neil 3rd-PARTY"), "O'neil 3rd-party");
  std::string s = "  aB";
  totitlecase(s);
  EXPECT_EQ(s, "  Ab");
}

// ---------------------------------------------------------------------------------------
// Finding and comparing

TEST(Find, SetForms) {
  EXPECT_EQ(findfirstof1("a,b", ","), 2);
  EXPECT_EQ(findfirstof1("abc", ","), 4);
  EXPECT_EQ(findfirstof1("abc  ", ","), 4);
  const std::string blank(6, ' ');
  EXPECT_EQ(findfirstof1(blank, " "), 1);
  EXPECT_EQ(findfirstnotof1(blank, ","), 1);
  EXPECT_EQ(findlastof1(blank, " "), 1);
  EXPECT_EQ(findlastnotof1(blank, ","), 1);
  EXPECT_EQ(findfirstof1("", ","), 1);
  EXPECT_EQ(findfirstof1("a,b,c", ",", 0), 2);
  EXPECT_EQ(findfirstof1("a,b,c", ",", 3), 4);
  EXPECT_EQ(findfirstof1("a,b,c", ",", 99), 6);
  EXPECT_EQ(findlastof1("a,b,c", ","), 4);
  EXPECT_EQ(findlastof1("a,b,c", ",", 3), 2);
  EXPECT_EQ(findlastof1("a,b,c", ",", 0), 6);
  EXPECT_EQ(findlastnotof1("ab,,", ","), 2);
  EXPECT_EQ(findfirstnotof1("007", "0"), 3);
  // A 3-character set holding one comma also holds the blank.
  EXPECT_EQ(findfirstof1("ab cd", field(",", 3)), 3);
  EXPECT_EQ(findfirstof1("ab cd", ","), 6);
}

TEST(Find, PredicateFormsAndClassesAsPredicates) {
  EXPECT_EQ(findfirstof2("ab12", isdigit), 3);
  EXPECT_EQ(findfirstnotof2("12ab", isdigit), 3);
  EXPECT_EQ(findlastof2("1a2b  ", isdigit), 3);
  EXPECT_EQ(findlastnotof2("a12", isdigit, 0), 4);
  EXPECT_EQ(findfirstof2("xyz", [](char c) { return c == 'z'; }), 3);
  EXPECT_EQ(clashcheck::firstdigit("ab7"), 3);
}

TEST(Find, LenWhite) {
  EXPECT_EQ(len_white(""), 1);
  EXPECT_EQ(len_white("   "), 1);
  EXPECT_EQ(len_white("ab \t\r\n"), 2);
  EXPECT_EQ(len_white(std::string_view("a\0\v\f", 4)), 1);
  EXPECT_EQ(len_white("\t\n\t  "), 4);
}

TEST(Find, Indexi) {
  EXPECT_EQ(indexi("Hello World", "WORLD"), 7);
  EXPECT_EQ(indexi("abcabc", "BC", 3), 5);
  EXPECT_EQ(indexi("abcabc", "x"), 7);
  EXPECT_EQ(indexi("abc", "abcd"), 4);
  EXPECT_EQ(indexi("abc", "   ", 2), 2);  // a blank sub is found at start
  EXPECT_EQ(indexi("abc", "a", 0), 1);
  EXPECT_EQ(indexi("", ""), 1);
}

TEST(Compare, CaseInsensitive) {
  EXPECT_TRUE(strcmpi1("Head", "HEAD  "));
  EXPECT_FALSE(strcmpi1("Heads", "HEAD"));
  EXPECT_FALSE(strcmpi1(" head", "head"));
  EXPECT_TRUE(strcmpi2("HEADER", 4, "head"));
  EXPECT_TRUE(strcmpi1("   ", ""));
  EXPECT_FALSE(strcmpi1("@", "`"));  // only letters fold
  EXPECT_FALSE(strcmpi1("\xC9", "\xE9"));
  EXPECT_TRUE(strcmpi2("abc", -2, "  "));
  EXPECT_TRUE(strcmpi3("abXY", 2, "ABcd", 2));
  EXPECT_FALSE(strcmpi3("ab", 5, "abc", 5));
  EXPECT_TRUE(strcmpiwork("ab", 4, "AB  ", 4));  // past the width counts as blank
  EXPECT_FALSE(strcmpiwork("ab", 2, "ab", 1));
  EXPECT_TRUE(strcmpiwork("ab", std::numeric_limits<int>::max(), "AB", std::numeric_limits<int>::max()));
}

TEST(Compare, Findloci) {
  const std::vector<std::string> list = {"Pm", "olf", "PM  ", "dual"};
  EXPECT_EQ(findloci(list, "pm"), 1);
  EXPECT_EQ(findloci(list, "pm", nullptr, true), 3);
  EXPECT_EQ(findloci(list, "well"), 0);
  EXPECT_EQ(findloci({}, "pm"), 0);
  const std::vector<bool> nomatch = {false, true, false, true};
  EXPECT_EQ(findloci(list, "pm", &nomatch), 0);
  const std::vector<bool> second = {false, true, true, true};
  EXPECT_EQ(findloci(list, "PM", &second), 3);
  const std::vector<bool> shortmask = {false, true};
  EXPECT_EQ(findloci(list, "dual", &shortmask), 0);
}

// ---------------------------------------------------------------------------------------
// Trimming and editing

TEST(Trim, SetAndPredicateForms) {
  EXPECT_EQ(trimfullcopy1("\t\t x\t   "), field("x", 8));
  EXPECT_EQ(trimleftcopy1("007", "0"), "7  ");
  EXPECT_EQ(trimleftcopy1("  ab  "), "ab    ");
  EXPECT_EQ(trimrightcopy1("ab,,;  ", ",;"), "ab     ");
  EXPECT_EQ(trimrightcopy1("000", "0"), "   ");
  EXPECT_EQ(trimleftcopy1(" a", "0"), " a");  // blank not in the set stays
  EXPECT_EQ(trimfullcopy2("12ab34", isdigit), "ab    ");
  std::string s = "99";
  trimleft2(s, isdigit);
  EXPECT_EQ(s, "  ");
  s = "";
  trimfull1(s);
  trimright2(s, isdigit);
  EXPECT_EQ(s, "");
}

TEST(Edit, ReplaceAndRemove) {
  EXPECT_EQ(replacecopy1("a b  ", " ", '_'), "a_b  ");  // padding is not content
  EXPECT_EQ(replacecopy2("a1b2", isdigit, '#'), "a#b#");
  EXPECT_EQ(removecopy1("a b\tc", " \t"), "abc  ");
  EXPECT_EQ(removecopy2("a1b2", isdigit), "ab  ");
  EXPECT_EQ(removecopy1("", ","), "");
  std::string s = "x,y,";
  remove1(s, ",");
  EXPECT_EQ(s, "xy  ");
  replace2(s, isalpha, 'z');
  EXPECT_EQ(s, "zz  ");
}

TEST(Edit, Erase) {
  std::string s = "abcdef";
  erase(s, 2, 3);
  EXPECT_EQ(s, "aef   ");
  s = "abcdef";
  erase(s, 3);
  EXPECT_EQ(s, "ab    ");
  s = "abcdef";
  erase(s, 2, 0);
  EXPECT_EQ(s, "abcdef");
  erase(s);
  EXPECT_EQ(s, "      ");
  s = "abcdef";
  erase(s, 5, std::numeric_limits<int>::max());
  EXPECT_EQ(s, "abcd  ");
  for (int pos : {0, -3, 7, 100}) {
    s = "abcdef";
    erase(s, pos, 2);
    EXPECT_EQ(s, "abcdef") << pos;
  }
  s = "";
  erase(s, 1, 1);
  EXPECT_EQ(s, "");
}

TEST(Edit, Insert) {
  std::string s = field("abcd", 5);
  insert1(s, 2, "XY  ");
  EXPECT_EQ(s, "aXYbc");
  s = field("abcd", 8);
  insert2(s, 2, 3, '-');
  EXPECT_EQ(s, "a-  bcd ");
  s = "abc";
  insert1(s, 3, "XYZ");
  EXPECT_EQ(s, "abX");
  insert1(s, 1, "   ");
  EXPECT_EQ(s, "abX");
  for (int pos : {0, 4, 5}) {
    s = "abc";
    insert1(s, pos, "Z");
    insert2(s, pos, 2, 'Z');
    EXPECT_EQ(s, "abc") << pos;
  }
  insert2(s, 1, 0, 'Z');
  EXPECT_EQ(s, "abc");
  s = field("ab", 6);
  insert1(s, 2, s);  // the inserted text is the old contents
  EXPECT_EQ(s, "aabb  ");
  s = "";
  insert1(s, 1, "x");
  EXPECT_EQ(s, "");
}

TEST(Edit, Reverse) {
  EXPECT_EQ(reversecopy("abc  "), "cba  ");
  EXPECT_EQ(reversecopy("ab cd"), "dc ba");
  EXPECT_EQ(reversecopy(""), "");
}

// ---------------------------------------------------------------------------------------
// Tokens

TEST(Tokens, Count) {
  EXPECT_EQ(numtok1("a,b,,c", ",", false), 4);
  EXPECT_EQ(numtok1("a,b,,c", ",", true), 3);
  EXPECT_EQ(numtok1("    ", ",", false), 1);
  EXPECT_EQ(numtok1("", ",", true), 1);
  EXPECT_EQ(numtok1(",a", ",", true), 2);
  EXPECT_EQ(numtok1("a,", ",", false), 2);
  EXPECT_EQ(numtok1("a   b   ", " ", true), 2);
  EXPECT_EQ(numtok1("a   b", " ", false), 4);
  EXPECT_EQ(numtok2("1a22b", isalpha, false), 3);
}

TEST(Tokens, FindNth) {
  EXPECT_EQ(findnthtoken1("ab,cd", ",", false, 2), 4);
  EXPECT_EQ(findnthtoken1("ab,cd", ",", false, 3), 0);
  EXPECT_EQ(findnthtoken1("abc", ",", false, 1), 1);
  EXPECT_EQ(findnthtoken1("abc", ",", false, 2), 0);
  EXPECT_EQ(findnthtoken1("a,", ",", false, 2), 3);
  EXPECT_EQ(findnthtoken1("a,,,b", ",", true, 2), 5);
  EXPECT_EQ(findnthtoken1("a,b", ",", false, 0), 0);
  EXPECT_EQ(findnthtoken2("x1y", isdigit, false, 2), 3);
}

TEST(Tokens, Chomp) {
  std::string s = "L*M*T";
  std::string token = "old";
  EXPECT_TRUE(chomp1(s, "*", false, token));
  EXPECT_EQ(token, "L");
  EXPECT_EQ(s, "M*T  ");
  s = "T";
  EXPECT_TRUE(chomp1(s, "*", false, token));
  EXPECT_EQ(token, "T");
  EXPECT_EQ(s, " ");
  EXPECT_FALSE(chomp1(s, "*", false, token));
  EXPECT_EQ(token, "");
  EXPECT_EQ(s, " ");
  s = "a,";  // a final delimiter goes with the last token
  EXPECT_TRUE(chomp1(s, ",", false, token));
  EXPECT_EQ(s, "  ");
  s = "a  b";
  EXPECT_TRUE(chomp1(s, " ", true, token));
  EXPECT_EQ(s, "b   ");
  s = ",,b";
  EXPECT_TRUE(chomp2(
      s, [](char c) { return c == ','; }, false, token));
  EXPECT_EQ(token, "");
  EXPECT_EQ(s, ",b ");
}

TEST(Tokens, SplitFixedWidth) {
  std::vector<std::string> two(2, std::string(3, '?'));
  int ntok = -1;
  split1("a,b,c", ",", false, two, ntok);
  EXPECT_EQ(ntok, 2);
  EXPECT_EQ(two, (std::vector<std::string>{"a  ", "b  "}));
  std::vector<std::string> five(5, "??");
  split1("a,bcd,c", ",", false, five, ntok);
  EXPECT_EQ(ntok, 3);
  EXPECT_EQ(five, (std::vector<std::string>{"a ", "bc", "c ", "??", "??"}));
  std::vector<std::string> one(1, "????");
  split2("ab1cd", isdigit, false, one, ntok);
  EXPECT_EQ(ntok, 1);
  EXPECT_EQ(one[0], "ab  ");
  split1("   ", ",", false, one, ntok);
  EXPECT_EQ(ntok, 1);
  EXPECT_EQ(one[0], "    ");
  std::vector<std::string> none;
  split1("a,b", ",", false, none, ntok);
  EXPECT_EQ(ntok, 0);
  std::vector<std::string> narrow = {"", ""};
  split1("a,b", ",", false, narrow, ntok);
  EXPECT_EQ(ntok, 2);
  EXPECT_EQ(narrow, (std::vector<std::string>{"", ""}));
}

TEST(Tokens, SplitVariableLength) {
  std::vector<std::string> tokens(4, "keep");
  int ntok = 0;
  splitvs1("ab,,cde,", ",", false, tokens, ntok);
  EXPECT_EQ(ntok, 4);
  EXPECT_EQ(tokens, (std::vector<std::string>{"ab", "", "cde", ""}));
  splitvs2("x1y", isdigit, false, tokens, ntok);
  EXPECT_EQ(ntok, 2);
  EXPECT_EQ(tokens, (std::vector<std::string>{"x", "y", "cde", ""}));
  // Splitting an element into its own array reads the text as it was on entry.
  tokens = {"first,second,third", "", ""};
  splitvs1(tokens[0], ",", false, tokens, ntok);
  EXPECT_EQ(tokens, (std::vector<std::string>{"first", "second", "third"}));
}

// ---------------------------------------------------------------------------------------
// Line reading

class ReadLine : public testkit::CleanRun {
 protected:

  // Opens a file holding contents on a fresh unit.
  int open(const std::string& contents) {
    const std::string name = (dir_ / "lines.txt").string();
    testkit::writefile(name, contents);
    const int unit = getunit();
    EXPECT_EQ(openunit(unit, name, FileForm::formatted, OpenStatus::old), 0);
    return unit;
  }

  testkit::TempDir dir_;
};

TEST_F(ReadLine, LinesOfAnyLength) {
  const std::string longline(10000, 'x');
  const int unit = open(longline + "\n\nab  \r\nlast");
  std::string line = "junk";
  EXPECT_EQ(readline(unit, line), 0);
  EXPECT_EQ(line, longline);
  EXPECT_EQ(readline(unit, line), 0);
  EXPECT_EQ(line, "");
  EXPECT_EQ(readline(unit, line), 0);
  EXPECT_EQ(line, "ab  ");  // the record's own blanks stay, the CR goes
  EXPECT_EQ(readline(unit, line), 0);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(readline(unit, line), -1);
  EXPECT_EQ(line, "");
  EXPECT_EQ(readline(unit, line), -1);
}

TEST_F(ReadLine, UnitWithoutFile) {
  std::string line;
  EXPECT_GT(readline(getunit(), line), 0);
}

TEST_F(ReadLine, SafeReportsCutText) {
  const int unit = open("abcdefghijk\nabcdefghij   \nabc\n");
  std::string line(10, '?');
  int status = 5;
  EXPECT_EQ(readlinesafe(unit, line, status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(line, "abcdefghij");
  EXPECT_EQ(readlinesafe(unit, line, status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readlinesafe(unit, line, status), 0);
  EXPECT_EQ(line, "abc       ");
  EXPECT_EQ(readlinesafe(unit, line, status), -1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(line, std::string(10, ' '));
}

}  // namespace
}  // namespace kelpra
