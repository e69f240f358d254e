// Unit systems of a model and the unit texts of plot variables.
//
// A model is set up in one of ten kilogram-based systems (meter or centimeter; second,
// minute, hour, day or year). The system restored from "o.gen" fixes the base-unit names
// with which unit expressions such as "M * L^-3" are written, e.g. "(kg m^-3)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/fileunits.hpp"

namespace kelpra {

// ---------------------------------------------------------------------------------------
// Dimensions as exponents of the SI base units

struct SIUnit {
  double kg = 0.0;
  double meter = 0.0;
  double sec = 0.0;
  double kelvin = 0.0;
  double mol = 0.0;

  friend constexpr bool operator==(const SIUnit&, const SIUnit&) = default;
};

// The product of two quantities: exponents added.
constexpr SIUnit multiply(const SIUnit& a, const SIUnit& b) {
  return {a.kg + b.kg, a.meter + b.meter, a.sec + b.sec, a.kelvin + b.kelvin, a.mol + b.mol};
}
// The quotient a / b: exponents of b subtracted.
constexpr SIUnit divide(const SIUnit& a, const SIUnit& b) {
  return {a.kg - b.kg, a.meter - b.meter, a.sec - b.sec, a.kelvin - b.kelvin, a.mol - b.mol};
}
constexpr SIUnit power_real_dr(const SIUnit& a, double r) {
  return {a.kg * r, a.meter * r, a.sec * r, a.kelvin * r, a.mol * r};
}
constexpr SIUnit power_int(const SIUnit& a, std::int32_t n) { return power_real_dr(a, static_cast<double>(n)); }
constexpr SIUnit power_real(const SIUnit& a, float r) { return power_real_dr(a, static_cast<double>(r)); }

namespace siunits {
inline constexpr SIUnit one{0, 0, 0, 0, 0};
inline constexpr SIUnit kg{1, 0, 0, 0, 0};
inline constexpr SIUnit meter{0, 1, 0, 0, 0};
inline constexpr SIUnit sec{0, 0, 1, 0, 0};
inline constexpr SIUnit kelvin{0, 0, 0, 1, 0};
inline constexpr SIUnit dgc{0, 0, 0, 1, 0};  // a temperature difference: same dimension as kelvin
inline constexpr SIUnit mol{0, 0, 0, 0, 1};
inline constexpr SIUnit joule{1, 2, -2, 0, 0};
inline constexpr SIUnit newton{1, 1, -2, 0, 0};
inline constexpr SIUnit watt{1, 2, -3, 0, 0};
inline constexpr SIUnit pascal{1, -1, -2, 0, 0};
}  // namespace siunits

// ---------------------------------------------------------------------------------------
// Unit systems

inline constexpr std::int32_t kilogram_meter_second = 0;
inline constexpr std::int32_t kilogram_meter_minute = 1;
inline constexpr std::int32_t kilogram_meter_hour = 2;
inline constexpr std::int32_t kilogram_meter_day = 3;
inline constexpr std::int32_t kilogram_meter_year = 4;
inline constexpr std::int32_t kilogram_centimeter_second = 5;
inline constexpr std::int32_t kilogram_centimeter_minute = 6;
// 7 and 8 are day and hour, in that order: the codes stored in existing model files.
inline constexpr std::int32_t kilogram_centimeter_day = 7;
inline constexpr std::int32_t kilogram_centimeter_hour = 8;
inline constexpr std::int32_t kilogram_centimeter_year = 9;

class UnitSystem {
 public:
  // Resets the record, then takes code; a code outside 0..9 stops the run (input error).
  void init(std::int32_t newcode);
  std::int32_t handle() const { return code; }
  // "kilogram-meter-second" etc.; a code outside 0..9 stops the run (input error).
  std::string tostring() const;
  // The factor turning a value of this dimension in kg, m, s into this system's units.
  double conversionfactor(const SIUnit& dimension) const;
  // value *= conversionfactor(dimension); code 0 leaves the value untouched.
  void convert(double& value, const SIUnit& dimension) const;
  // Saved form: one record holding the code as a 4-byte integer (unformatted unit) or one
  // line holding it as text (formatted unit), as the caller names the form it opened the
  // unit with. A unit without an open file stops the run (fatal error); so do failing
  // reads and writes.
  void serialize(int unit, FileForm form) const;
  // Reads the saved form at the unit's current position and applies it with init.
  void deserialize(int unit, FileForm form);

  friend constexpr bool operator==(const UnitSystem& u, std::int32_t c) { return u.code == c; }

  std::int32_t code = kilogram_meter_second;
};

// ---------------------------------------------------------------------------------------
// Unit strings. One set of base-unit names serves the whole run.

// Sets the length and time names from a unit-system code; unknown codes stop the run.
void setbaseunits(std::int32_t code);
// The unit-system code last applied by setbaseunits (0 at start).
std::int32_t baseunitsystem();
void settempunitstok();
void settempunitstoc();

// The name of one token: L, M, T, K, N (either case) give the base names; a backslash
// before one of those letters gives the letter itself; anything else is copied.
std::string getderivedunit(std::string_view token);
// "M * L^-3" -> "(kg m^-3)"; "1" or all exponents 0 -> "(-)"; blank -> "". Blanks and
// TABs anywhere are dropped first. An exponent that is not a number (nor a fraction of
// two numbers with a non-zero denominator) stops the run.
std::string parseunits(std::string_view expression);
// Appends " name" or " name^exponent" for one factor to result (nothing for exponent 0).
void parseunitsappend(std::string_view factor, std::string& result);

}  // namespace kelpra
