#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/units.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::stoperr;

class Units : public testkit::CleanRun {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    CleanRun::reset();
    setbaseunits(kilogram_meter_second);
    settempunitstok();
  }
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(Units, SIUnitAlgebra) {
  using namespace siunits;
  EXPECT_EQ(multiply(newton, meter), joule);
  EXPECT_EQ(divide(joule, sec), watt);
  EXPECT_EQ(divide(newton, power_int(meter, 2)), pascal);
  EXPECT_EQ(power_real(meter, 0.5F), (SIUnit{0, 0.5, 0, 0, 0}));
  EXPECT_EQ(power_real_dr(divide(meter, sec), -2.0), (SIUnit{0, -2, 2, 0, 0}));
  EXPECT_EQ(dgc, kelvin);
}

TEST_F(Units, SystemNamesAndUnknownCodes) {
  UnitSystem u;
  u.init(kilogram_centimeter_day);
  EXPECT_EQ(u.tostring(), "kilogram-centimeter-day");
  u.init(8);
  EXPECT_EQ(u.tostring(), "kilogram-centimeter-hour");
  u.init(0);
  EXPECT_EQ(u.tostring(), "kilogram-meter-second");
  u.init(3);
  EXPECT_TRUE(u == kilogram_meter_day && kilogram_meter_day == u && u != kilogram_centimeter_day);
  for (int bad : {-1, 10}) {
    const auto err = stoperr([&] { u.init(bad); });
    EXPECT_TRUE(has(err, "INPUT ERROR") && has(err, "UnitSystem: initialization failed: unknown unit system"))
        << err;
    testing_only::reseterrorstate();
  }
  u.code = 42;
  const auto err = stoperr([&] { (void)u.tostring(); });
  EXPECT_TRUE(has(err, "UnitSystem: conversion to string failed: unknown unit system")) << err;
}

TEST_F(Units, ConversionFactors) {
  UnitSystem u;
  const SIUnit velocity = divide(siunits::meter, siunits::sec);
  u.init(kilogram_meter_minute);
  EXPECT_DOUBLE_EQ(u.conversionfactor(velocity), 60.0);
  u.init(kilogram_meter_year);
  EXPECT_DOUBLE_EQ(u.conversionfactor(siunits::sec), 1.0 / 3.1536e7);
  u.init(kilogram_centimeter_second);
  EXPECT_DOUBLE_EQ(u.conversionfactor(SIUnit{1, -3, 0, 0, 0}), 1e-6);
  u.init(kilogram_centimeter_day);
  EXPECT_DOUBLE_EQ(u.conversionfactor(velocity), 8.64e6);
  EXPECT_DOUBLE_EQ(u.conversionfactor(SIUnit{3, 0, 0, 2, 1}), 1.0);  // kg, K, mol never scale
  double k = 1e-5;
  u.convert(k, velocity);
  EXPECT_DOUBLE_EQ(k, 0.864 * 100);
  u.init(kilogram_meter_second);
  double v = 0.1 + 0.2;
  u.convert(v, siunits::pascal);
  EXPECT_EQ(v, 0.1 + 0.2);
}

std::string le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// A unit open for reading on a file holding bytes.
int openon(const testkit::TempDir& dir, const std::string& bytes, FileForm form) {
  const std::string name = (dir / "sys").string();
  testkit::writefile(name, bytes);
  const int unit = getunit();
  EXPECT_EQ(openunit(unit, name, form, OpenStatus::old), 0);
  return unit;
}

TEST_F(Units, SavedFormRoundTripsThroughARecordFile) {
  testkit::TempDir dir;
  const std::string name = (dir / "out").string();
  const int u = getunit();
  ASSERT_EQ(openunit(u, name, FileForm::unformatted, OpenStatus::replace), 0);
  UnitSystem a;
  a.init(kilogram_centimeter_hour);
  a.serialize(u, FileForm::unformatted);
  freeunit(u);
  EXPECT_EQ(testkit::readfile(name), le32(4) + le32(8) + le32(4));

  // A longer record is read by its leading code; then past the end the read fails.
  const int v = openon(dir, testkit::readfile(name) + le32(8) + le32(2) + le32(77) + le32(8), FileForm::unformatted);
  UnitSystem b;
  b.deserialize(v, FileForm::unformatted);
  EXPECT_EQ(b.handle(), kilogram_centimeter_hour);
  b.deserialize(v, FileForm::unformatted);
  EXPECT_EQ(b.handle(), 2);
  const auto err = stoperr([&] { b.deserialize(v, FileForm::unformatted); });
  EXPECT_TRUE(has(err, "Error reading file: " + (dir / "sys").string())) << err;
}

TEST_F(Units, BadStoredCodesStop) {
  struct Case {
    std::string bytes;
    FileForm form;
    const char* message;
  };
  const Case cases[] = {
      {le32(4) + le32(10) + le32(4), FileForm::unformatted, "UnitSystem: initialization failed: unknown unit system"},
      {le32(4) + le32(3) + le32(5), FileForm::unformatted, "Error reading file: "},  // framing mismatch
      {le32(2) + "ab" + le32(2), FileForm::unformatted, "Error reading file: "},     // record too short
      {le32(4) + std::string(1, '\3'), FileForm::unformatted, "Error reading file: "},  // cut off
      {"day\n", FileForm::formatted, "Error reading file: "},
      {"\n  \n", FileForm::formatted, "Error reading file: "},
  };
  for (const Case& c : cases) {
    testkit::TempDir dir;
    const int v = openon(dir, c.bytes, c.form);
    UnitSystem b;
    const auto err = stoperr([&] { b.deserialize(v, c.form); });
    EXPECT_TRUE(has(err, c.message)) << err;
    testing_only::reseterrorstate();
    freeunitall();
  }
}

TEST_F(Units, TextFormRoundTripsAndAcceptsBlanks) {
  testkit::TempDir dir;
  const std::string name = (dir / "out").string();
  const int u = getunit();
  ASSERT_EQ(openunit(u, name, FileForm::formatted, OpenStatus::replace), 0);
  UnitSystem a;
  a.init(kilogram_centimeter_minute);
  a.serialize(u, FileForm::formatted);
  freeunit(u);
  EXPECT_EQ(testkit::readfile(name), "6\n");
  const int v = openon(dir, "\n   \n \t9  \n", FileForm::formatted);
  a.deserialize(v, FileForm::formatted);
  EXPECT_EQ(a, kilogram_centimeter_year);
}

TEST_F(Units, UnitWithoutFileStops) {
  UnitSystem u;
  const int unit = getunit();  // taken but never opened
  auto err = stoperr([&] { u.serialize(unit, FileForm::unformatted); });
  EXPECT_TRUE(has(err, "UnitSystem: serialize failed: unassociated file unit")) << err;
  testing_only::reseterrorstate();
  err = stoperr([&] { u.deserialize(12345, FileForm::formatted); });
  EXPECT_TRUE(has(err, "UnitSystem: deserialize failed: unassociated file unit")) << err;
}

// ---------------------------------------------------------------------------------------
// Unit strings

TEST_F(Units, ExpressionsToUnitTexts) {
  const std::pair<const char*, const char*> cases[] = {
      {"M * L^-3", "(kg m^-3)"}, {"L^3 * T^-1", "(m^3 s^-1)"}, {"Nc * M^-1", "(Nc kg^-1)"},
      {"L^1", "(m)"}, {"L^0", "(-)"}, {"1", "(-)"}, {" 1 ", "(-)"}, {"   ", ""}, {"", ""},
      // Every dimension letter, either case; backslash keeps a letter; other tokens are copied.
      {"L*M*T*K*N", "(m kg s K mol)"}, {"l*m*t*k*n", "(m kg s K mol)"}, {"\\M * L", "(M m)"},
      {"\\l*\\t*\\K*\\n", "(l t K n)"}, {"X * 2 * \\x", "(X 2 \\x)"}, {"1 * L", "(1 m)"},
      // Exponents equal to 1 or 0 by value; others written as given.
      {"L^1.0", "(m)"}, {"L^+1", "(m)"}, {"L^1e0", "(m)"}, {"L^2.0", "(m^2.0)"}, {"T^-1d0", "(s^-1d0)"},
      {"L^0.0 * M^-0", "(-)"}, {"L^", "(m)"}, {"L^ * M", "(m kg)"},
      // A fraction counts by its quotient: 1/3 is not 1, 2/2 is.
      {"L^-1/3 * T", "(m^-1/3 s)"}, {"L^1/3", "(m^1/3)"}, {"L^2/2", "(m)"}, {"L^0/5 * M", "(kg)"},
      // Blanks and TABs anywhere; empty factors skipped.
      {"L ^ - 3", "(m^-3)"}, {"\tM\t*\tL ^-3   ", "(kg m^-3)"}, {" N c * M ", "(Nc kg)"},
      {"L ** T", "(m s)"}, {"*L*", "(m)"}, {"***", "(-)"}, {"^", "(-)"}};
  for (const auto& [expr, expected] : cases) EXPECT_EQ(parseunits(expr), expected) << expr;
  EXPECT_EQ(getderivedunit("Nc  "), "Nc");
  std::string work;
  for (const char* f : {"M", "L^-3", "T^0"}) parseunitsappend(f, work);
  EXPECT_EQ(work, " kg m^-3");
}

TEST_F(Units, TemperatureNameSwitches) {
  settempunitstoc();
  EXPECT_EQ(parseunits("K"), "(deg C)");
  EXPECT_EQ(getderivedunit("k   "), "deg C");
  settempunitstok();
  EXPECT_EQ(parseunits("K"), "(K)");
}

TEST_F(Units, BaseNamesOfEveryCode) {
  const char* expected[] = {"(m s^-1)",  "(m min^-1)",  "(m h^-1)", "(m d^-1)",  "(m y^-1)",
                            "(cm s^-1)", "(cm min^-1)", "(cm d^-1)", "(cm h^-1)", "(cm y^-1)"};
  EXPECT_EQ(baseunitsystem(), kilogram_meter_second);
  for (int code = 0; code < 10; ++code) {
    setbaseunits(code);
    EXPECT_EQ(baseunitsystem(), code);
    EXPECT_EQ(parseunits("L * T^-1"), expected[code]);
    EXPECT_EQ(getderivedunit("M"), "kg");
  }
  const auto err = stoperr([] { setbaseunits(10); });
  EXPECT_TRUE(has(err, "FATAL ERROR") && has(err, "setBaseUnits: unknown unit system")) << err;
  EXPECT_EQ(baseunitsystem(), 9);  // the failed call changed nothing
}

TEST_F(Units, MalformedExponentsStop) {
  for (const char* bad : {"L^x", "L^1/0", "L^0/0", "L^-", "L^2^3", "L^1/", "L^/2", "L^1/2/3", "L^3abc", "L^.",
                          "L^1e", "L^1e99", "M * L^--3"}) {
    const auto err = stoperr([&] { (void)parseunits(bad); });
    EXPECT_TRUE(has(err, "Unit string: exponent is not a number: ")) << bad << "\n" << err;
    testing_only::reseterrorstate();
  }
}

TEST_F(Units, VeryLongExpression) {
  std::string expr;
  std::string expected = "(";
  for (int i = 0; i < 5000; ++i) {
    expr += i == 0 ? "L^2" : " * L^2";
    expected += i == 0 ? "m^2" : " m^2";
  }
  expected += ")";
  EXPECT_EQ(parseunits(expr), expected);
  EXPECT_EQ(parseunits(std::string(100000, ' ') + "M"), "(kg)");
}

}  // namespace
}  // namespace kelpra
