#include "support/textformats.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/strings.hpp"
#include "tests/kit/gfortran.hpp"

namespace kelpra {
namespace {

// Descriptors compared with gfortran: the forms the text files use, and narrow fields
// where the optional zero, the exponent width and the asterisks decide.
const std::vector<std::string> kRealFormats = {
    "G15.5E2", "G26.17E3", "G18.11",   "G10.3",  "G8.5",  "G7.2E2", "G6.1E1", "G5.1",  "G12.4E3",
    "E15.5E3", "E20.8",    "E10.3",    "E9.3",   "E8.3",  "E7.1",   "E30.20", "ES24.15E3", "ES10.3", "ES10.3E2",
    "ES9.3",   "ES12.1E1", "F10.4",    "F12.6",  "F4.2",  "F3.1",  "F2.0",   "F1.0",   "F40.10"};
const std::vector<std::string> kIntegerFormats = {"I5", "I10", "I2", "I5.3", "I3.0", "G15.5E2", "G3.5", "G26.17E3"};

std::vector<double> realvalues() {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> v = {0.0,         -0.0,       1.0,        -1.0,       0.1,         0.0999999,
                           0.09999999999, 0.099999996, 0.125,    0.375,      0.5,         -0.5,
                           1.5,         9.9999999,  9.99995,    9.9995,     99999.5,     99999.4,
                           123.456,     -123.456,   999.95,     999.94,     1e-5,        -1e-5,
                           0.04,        -0.04,      0.4,        -0.4,       1.5e300,     -1.5e300,
                           1e100,       1e99,       9.99999e99, 1e-99,      1e-100,      1.5e-310,
                           1.0 / 3,     -2.0 / 3,   31415926535.8979, 12345678901234567.0, 1e17,  1e16,
                           99999999999999999.0, 0.5e-9, 2.5,    3.5,        -7.25e-3,    6.02214076e23,
                           std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::max(),
                           std::nan(""), inf, -inf};
  // Random magnitudes over the whole range, and random values near the fixed-range edges.
  std::mt19937_64 rng(20240518);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-320, 307);
  std::uniform_int_distribution<int> nearby(-3, 18);
  for (int i = 0; i < 150; ++i) {
    const double m = (i % 2 == 0 ? 1 : -1) * mantissa(rng);
    v.push_back(m * std::pow(10.0, i % 3 == 0 ? exponent(rng) : nearby(rng)));
  }
  return v;
}

std::vector<std::int64_t> integervalues() {
  return {0, 1, -1, 7, -7, 42, -42, 99, -99, 100, 99999, -99999, 100000, 2147483647, -2147483648,
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()};
}

std::string bracketed(const std::string& field) { return "[" + field + "]\n"; }

// gfortran decides the fixed range of G with boundaries 10^k (1 - 0.5 10^-d) computed in
// binary, so a value within rounding of one may land on the other side; ours decides on the
// value rounded to d digits. Such values are checked by hand below.
bool nearfixedrangeedge(double v, const EditDescriptor& f) {
  if (f.kind != EditDescriptor::Kind::G || !std::isfinite(v) || v == 0) return false;
  const long double m = std::fabs(static_cast<long double>(v));
  for (int k = -1; k <= f.d; ++k) {
    const long double edge = std::pow(10.0L, k) * (1 - 0.5L * std::pow(10.0L, -f.d));
    if (std::fabs(m - edge) <= 1e-14L * edge) return true;
  }
  return false;
}

// The Fortran program: the reals come as bit patterns so that both sides see exactly the
// same values; each value is written once per descriptor, between brackets.
std::string oracleprogram() {
  std::ostringstream src;
  src << "program formats\n  implicit none\n  integer(8) :: bits, k\n  real(8) :: v\n  integer :: i, n\n"
      << "  read(*,*) n\n  do i = 1, n\n    read(*,'(Z16)') bits\n    v = transfer(bits, v)\n";
  for (const auto& f : kRealFormats) src << "    write(*,'(\"[\"," << f << ",\"]\")') v\n";
  src << "  end do\n  read(*,*) n\n  do i = 1, n\n    read(*,*) k\n";
  for (const auto& f : kIntegerFormats) src << "    write(*,'(\"[\"," << f << ",\"]\")') k\n";
  src << "  end do\nend program formats\n";
  return src.str();
}

EditDescriptor descriptor(const std::string& text) {
  const auto items = parseformat("(" + text + ")");
  EXPECT_TRUE(items && items->size() == 1) << text;
  return items ? items->front() : EditDescriptor{};
}

TEST(TextFormats, MatchGfortranOnTable) {
  const auto gfortran = testkit::findgfortran();
  if (!gfortran) GTEST_SKIP() << "gfortran not found";
  const std::vector<double> reals = realvalues();
  const std::vector<std::int64_t> ints = integervalues();

  std::string input = std::to_string(reals.size()) + "\n";
  std::string ours;
  std::vector<std::string> labels;  // what each line of output shows, for the failure report
  for (double v : reals) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "%016llX\n", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
    input += hex;
    for (const auto& f : kRealFormats) {
      std::string field;
      appendreal(field, v, descriptor(f));
      ours += bracketed(field);
      char label[64];
      std::snprintf(label, sizeof label, "%s of %.17g", f.c_str(), v);
      labels.emplace_back(nearfixedrangeedge(v, descriptor(f)) ? "" : label);
    }
  }
  input += std::to_string(ints.size()) + "\n";
  for (std::int64_t k : ints) {
    input += std::to_string(k) + "\n";
    for (const auto& f : kIntegerFormats) {
      std::string field;
      appendinteger(field, k, descriptor(f));
      ours += bracketed(field);
      labels.push_back(f + " of " + std::to_string(k));
    }
  }

  const std::string theirs = testkit::runfortran(*gfortran, oracleprogram(), input);
  ASSERT_FALSE(theirs.empty());
  std::istringstream a(ours), b(theirs);
  std::string la, lb;
  int mismatches = 0;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    std::getline(a, la);
    ASSERT_TRUE(std::getline(b, lb)) << "gfortran wrote fewer lines";
    if (!labels[i].empty() && la != lb && ++mismatches <= 20) ADD_FAILURE() << labels[i] << "\n  ours:     " << la << "\n  gfortran: " << lb;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(TextFormats, FieldsAreExactlyTheirWidth) {
  std::string out;
  // 9.9995 is stored just below 9.9995: four significant digits give 9.999, in fixed form.
  appendreal(out, 9.9995, formatG(12, 4, 3));
  EXPECT_EQ(out, "  9.999     ");
  out.clear();
  appendreal(out, 123.456, formatG(15, 5, 2));
  appendreal(out, 1e-5, formatG(15, 5, 2));
  EXPECT_EQ(out, "     123.46        0.10000E-04");
  char field[8];
  putreal(1.5, formatES(8, 1, 3), field);  // 1.5E+000 just fits
  EXPECT_EQ(std::string(field, 8), "1.5E+000");
  putinteger(5, formatF(8, 2), field);  // a descriptor that does not suit the value
  EXPECT_EQ(std::string(field, 8), "********");
  putreal(5.0, formatI(8), field);
  EXPECT_EQ(std::string(field, 8), "********");
}

TEST(TextFormats, ParsesFormatLists) {
  const auto two = parseformat("(2ES24.15e3)");
  ASSERT_TRUE(two);
  ASSERT_EQ(two->size(), 2U);
  EXPECT_EQ((*two)[1].kind, EditDescriptor::Kind::ES);
  EXPECT_EQ((*two)[1].w, 24);
  EXPECT_EQ((*two)[1].d, 15);
  EXPECT_EQ((*two)[1].e, 3);
  const auto mixed = parseformat("( f12.4 , 3x, G18.11 )");
  ASSERT_TRUE(mixed);
  ASSERT_EQ(mixed->size(), 3U);
  EXPECT_EQ((*mixed)[1].kind, EditDescriptor::Kind::X);
  EXPECT_EQ((*mixed)[1].w, 3);
  EXPECT_EQ((*mixed)[2].e, 0);
  for (const char* bad : {"", "()", "ES24.15E3", "(ES24)", "(F12)", "(G10.0)", "(E10.3E0)", "(E10.3E10)", "(F12.4,)",
                          "(0F12.4)", "(101F5.1)", "(I201)", "(X)", "(F12.4E2)", "(2ES24.15E3"}) {
    EXPECT_FALSE(parseformat(bad)) << bad;
  }
}

TEST(TextFormats, FreeRealsReadBackExactly) {
  for (double v : realvalues()) {
    if (std::isnan(v)) continue;
    std::string text;
    appendfreereal(text, v);
    double back = 0;
    int status = 0;
    str2r8(text, back, &status);
    EXPECT_EQ(status, 0) << text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(v)) << text;
  }
}

}  // namespace
}  // namespace kelpra
