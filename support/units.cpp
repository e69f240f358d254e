#include "support/units.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "support/errors.hpp"
#include "support/recordio.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {

// ---------------------------------------------------------------------------------------
// Unit systems

namespace {

constexpr int kNumSystems = 10;

struct SystemInfo {
  std::string_view name;
  std::string_view lengthname;
  std::string_view timename;
  double centimeters;  // length unit per meter
  double seconds;      // seconds per time unit
};

constexpr std::array<SystemInfo, kNumSystems> kSystems{{
    {"kilogram-meter-second", "m", "s", 1.0, 1.0},
    {"kilogram-meter-minute", "m", "min", 1.0, 60.0},
    {"kilogram-meter-hour", "m", "h", 1.0, 3600.0},
    {"kilogram-meter-day", "m", "d", 1.0, 86400.0},
    {"kilogram-meter-year", "m", "y", 1.0, 3.1536e7},
    {"kilogram-centimeter-second", "cm", "s", 100.0, 1.0},
    {"kilogram-centimeter-minute", "cm", "min", 100.0, 60.0},
    {"kilogram-centimeter-day", "cm", "d", 100.0, 86400.0},
    {"kilogram-centimeter-hour", "cm", "h", 100.0, 3600.0},
    {"kilogram-centimeter-year", "cm", "y", 100.0, 3.1536e7},
}};

bool knowncode(std::int32_t code) { return code >= 0 && code < kNumSystems; }

// The saved form in a record file: one record whose leading 4 bytes hold the code.
int writecoderecord(int unit, std::int32_t code) {
  unsigned char data[4];
  storele32(code, data);
  return writerecord(unit, data, sizeof data);
}

// Reads the leading 4-byte integer of the next record and skips the rest of it.
int readcoderecord(int unit, std::int32_t& code) {
  unsigned char data[4];
  const int status = readrecord(unit, data, sizeof data);
  if (status == 0) code = loadle32(data);
  return status;
}

// Free-form integer input: blank lines are passed over until a value turns up.
int readcodeline(int unit, std::int32_t& code) {
  std::string line;
  for (;;) {
    const int status = readline(unit, line);
    if (status != 0) return status;
    if (line.find_first_not_of(" \t") != std::string::npos) break;
  }
  replace1(line, "\t", ' ');
  int iostat = 0;
  str2i4(line, code, &iostat);
  return iostat == 0 ? 0 : kStatusBadListInput;
}

}  // namespace

void UnitSystem::init(std::int32_t newcode) {
  code = kilogram_meter_second;
  if (!knowncode(newcode)) input_error("UnitSystem: initialization failed: unknown unit system");
  code = newcode;
}

std::string UnitSystem::tostring() const {
  if (!knowncode(code)) input_error("UnitSystem: conversion to string failed: unknown unit system");
  return std::string(kSystems[static_cast<std::size_t>(code)].name);
}

double UnitSystem::conversionfactor(const SIUnit& dimension) const {
  if (!knowncode(code) || code == kilogram_meter_second) return 1.0;
  const SystemInfo& s = kSystems[static_cast<std::size_t>(code)];
  // Mass stays in kilograms; temperature and amount are never scaled.
  return std::pow(s.centimeters, dimension.meter) * std::pow(s.seconds, -dimension.sec);
}

void UnitSystem::convert(double& value, const SIUnit& dimension) const {
  if (code == kilogram_meter_second) return;
  value *= conversionfactor(dimension);
}

void UnitSystem::serialize(int unit, FileForm form) const {
  std::FILE* fp = unitstream(unit);
  if (fp == nullptr) fatalerror("UnitSystem: serialize failed: unassociated file unit");
  const int status = form == FileForm::unformatted ? writecoderecord(unit, code) : writeline(unit, std::to_string(code));
  checkfilewrite(status, unitfilename(unit));
}

void UnitSystem::deserialize(int unit, FileForm form) {
  std::FILE* fp = unitstream(unit);
  if (fp == nullptr) fatalerror("UnitSystem: deserialize failed: unassociated file unit");
  std::int32_t stored = 0;
  const int status = form == FileForm::unformatted ? readcoderecord(unit, stored) : readcodeline(unit, stored);
  checkfileread(status, unitfilename(unit));
  init(stored);
}

// ---------------------------------------------------------------------------------------
// Unit strings

namespace {

struct BaseNames {
  std::string mass = "kg";
  std::string length = "m";
  std::string time = "s";
  std::string temperature = "K";
  std::string amount = "mol";
  std::int32_t unitsystem = kilogram_meter_second;
};

BaseNames& basenames() {
  static BaseNames names;
  return names;
}

bool isdimensionletter(char c) {
  switch (c) {
    case 'L': case 'l': case 'M': case 'm': case 'T': case 't': case 'K': case 'k': case 'N': case 'n':
      return true;
    default:
      return false;
  }
}

// A real as free-form input writes it: sign, digits with an optional point, and an
// optional exponent introduced by E or D. Nothing else may follow.
bool isrealliteral(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && isdigit(s[i])) ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && isdigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expdigits = 0;
    while (i < n && isdigit(s[i])) ++i, ++expdigits;
    if (expdigits == 0) return false;
  }
  return i == n;
}

bool readreal(std::string_view s, float& value) {
  if (!isrealliteral(s)) return false;
  int iostat = 0;
  str2r4(s, value, &iostat);
  return iostat == 0 && std::isfinite(value);
}

[[noreturn]] void badexponent(std::string_view factor) {
  std::string text = "Unit string: exponent is not a number: ";
  text += factor;
  fatalerror(text);
}

// The value of an exponent: a number, or a fraction such as -1/3. A fraction is taken
// as its quotient, so 1/3 is not mistaken for 1 (which would drop the exponent).
float exponentvalue(std::string_view exponent, std::string_view factor) {
  const auto slash = exponent.find('/');
  float numerator = 0.0F;
  if (!readreal(exponent.substr(0, slash), numerator)) badexponent(factor);
  if (slash == std::string_view::npos) return numerator;
  float denominator = 0.0F;
  if (!readreal(exponent.substr(slash + 1), denominator) || denominator == 0.0F) badexponent(factor);
  return numerator / denominator;
}

}  // namespace

void setbaseunits(std::int32_t code) {
  if (!knowncode(code)) fatalerror("setBaseUnits: unknown unit system");
  BaseNames& b = basenames();
  b.length = kSystems[static_cast<std::size_t>(code)].lengthname;
  b.time = kSystems[static_cast<std::size_t>(code)].timename;
  b.unitsystem = code;
}

std::int32_t baseunitsystem() { return basenames().unitsystem; }

void settempunitstok() { basenames().temperature = "K"; }
void settempunitstoc() { basenames().temperature = "deg C"; }

std::string getderivedunit(std::string_view token) {
  const std::string_view t = trimview(token);
  const BaseNames& b = basenames();
  if (t.size() == 1) {
    switch (t[0]) {
      case 'L': case 'l': return b.length;
      case 'M': case 'm': return b.mass;
      case 'T': case 't': return b.time;
      case 'K': case 'k': return b.temperature;
      case 'N': case 'n': return b.amount;
      default: break;
    }
  }
  // "\M" writes the letter M where M alone would become the mass name.
  if (t.size() == 2 && t[0] == '\\' && isdimensionletter(t[1])) return std::string(1, t[1]);
  return std::string(t);
}

void parseunitsappend(std::string_view factor, std::string& result) {
  const std::string_view f = trimview(factor);
  const auto caret = f.find('^');
  if (caret == std::string_view::npos || caret + 1 == f.size()) {
    result += ' ';
    result += getderivedunit(f.substr(0, caret));
    return;
  }
  const std::string_view exponent = f.substr(caret + 1);
  const float value = exponentvalue(exponent, f);
  if (value == 0.0F) return;
  result += ' ';
  result += getderivedunit(f.substr(0, caret));
  if (value != 1.0F) {
    result += '^';
    result += exponent;
  }
}

std::string parseunits(std::string_view expression) {
  std::string packed = removecopy1(expression, " \t");
  packed.resize(static_cast<std::size_t>(len_trim(packed)));
  if (packed.empty()) return {};
  if (packed == "1") return "(-)";

  std::string work;
  std::string_view rest = packed;
  while (!rest.empty()) {
    const auto star = rest.find('*');
    const std::string_view factor = rest.substr(0, star);
    if (!factor.empty()) parseunitsappend(factor, work);
    if (star == std::string_view::npos) break;
    rest.remove_prefix(star + 1);
  }

  const auto first = work.find_first_not_of(' ');
  if (first == std::string::npos) return "(-)";
  return "(" + work.substr(first) + ")";
}

}  // namespace kelpra
