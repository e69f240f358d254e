// Quantities whose handlers only read one result file per output time into one to six
// arrays of the domain record: one descriptor row per quantity, one initialiser and one
// reader for all of them. Handlers that serve a group of files, or derive more variables
// from their file, call these too.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
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

// How a quantity's file is named.
enum class FileName {
  domain,      // prefix, root, domain name, ".", output-time index
  nodomain,    // prefix, root (ending in "."), output-time index
  firstindex,  // as domain; the initialiser takes the file of output time 1, plain test
};

struct Quantity {
  std::string_view root;  // file root, such as "o.sat_"
  ValueKind kind = ValueKind::r8;
  bool cellcentred = false;
  std::array<QuantityMember, 6> members{};  // the first `count` (1, 2, 3 or 6) are used
  std::int32_t count = 1;
  bool DOMAIN::*avail = nullptr;
  bool DOMAIN::*found = nullptr;  // null for a time-invariant quantity (no reader)
  std::string_view units;          // "" for none
  std::string_view allocation;     // allocation report text
  bool retry = false;              // later files are looked for through checkfileinit too
  bool temperature = false;        // units in degrees Celsius
  bool isstatic = false;           // written in zone 1 only, shared by every later zone
  FileName filename = FileName::domain;
};

// The first-time handler: looks for the file, sizes, reads and registers the arrays. `derived`:
// the variables computed from the quantity, left out with it where its file is missing.
void quantityinit(const Quantity& q, DOMAIN& dom, std::span<const std::string_view> derived = {});
// The later-time handler: reads this time's file, or shares the variables with zone 1.
void quantityread(const Quantity& q, DOMAIN& dom);

// The parts of the two, for handlers that decide more than one file at once.
// Looks for the first file into the availability flag; its name stays in plot_data.filename.
bool quantityfirstfile(const Quantity& q, DOMAIN& dom, std::span<const std::string_view> derived = {});
// Sizes the arrays, registers the variables and reads the named file into them.
void quantitysetup(const Quantity& q, DOMAIN& dom, const std::string& fname);
// Reads this time's file without testing for it (a missing file stops the run).
void quantityload(const Quantity& q, DOMAIN& dom);
// Shares the variables with zone 1 in the zone written next.
void quantityshare(const Quantity& q, DOMAIN& dom);
// Whether the initialiser registered the quantity's variables.
bool quantityregistered(const Quantity& q, const DOMAIN& dom);

}  // namespace kelpra
