// Quantities whose handlers only read one result file per output time into one to three
// arrays of the domain record: one descriptor row per quantity, one initialiser and one
// reader for all of them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <variant>

#include "plot/plotdata.hpp"
#include "variables/handlers.hpp"

namespace kelpra {

using ArrayField = std::variant<R4Vec DOMAIN::*, R8Vec DOMAIN::*, I4Vec DOMAIN::*>;

// One array of a quantity and the Tecplot variable it is written as.
struct QuantityMember {
  ArrayField values;
  std::int32_t DOMAIN::*var = nullptr;
  std::string_view name;   // Tecplot variable name
  std::string_view label;  // comment line of its array in an ASCII zone
};

struct Quantity {
  std::string_view root;  // file root, such as "o.sat_"
  ValueKind kind = ValueKind::r8;
  bool cellcentred = false;
  std::array<QuantityMember, 3> members{};  // the first `count` are used
  std::int32_t count = 1;
  bool DOMAIN::*avail = nullptr;
  bool DOMAIN::*found = nullptr;  // null for a time-invariant quantity (no reader)
  std::string_view units;          // "" for none
  std::string_view allocation;     // allocation report text
  bool retry = false;              // later files are looked for through checkfileinit too
  bool temperature = false;        // units in degrees Celsius
  bool isstatic = false;           // written in zone 1 only, shared by every later zone
};

// The first-time handler: looks for the file, sizes, reads and registers the arrays.
void quantityinit(const Quantity& q, DOMAIN& dom);
// The later-time handler: reads this time's file, or shares the variables with zone 1.
void quantityread(const Quantity& q, DOMAIN& dom);

}  // namespace kelpra
