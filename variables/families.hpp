// Families of variables kept as the columns of one (node, column) table of the domain record:
// one result file, one column and one Tecplot variable per member (a species or an HMC
// fraction). One file decides whether the family exists; at a later time every member is
// read or shared with zone 1 by itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

struct FamilyMember {
  std::int32_t column = 0;  // 1-based column of the table
  std::string file;         // its result file at the current output time
  std::string name;         // Tecplot variable name
  std::string label;        // comment line of its array in an ASCII zone
  std::int32_t unitspecies = 0;  // units converted by this species' kind; 0: taken as they are
};

template <class T>
struct FamilyTable {
  DynArray2D<T> DOMAIN::*values;
  I4Vec DOMAIN::*index;  // per column the member's variable number, 0 when none
  bool DOMAIN::*avail;   // the deciding file existed at the first accepted output time
  bool DOMAIN::*found;   // the last member's file exists at the current output time
  std::string_view units;
  std::string_view allocation;
};

// First time: probes the deciding file into the availability flag (with the append retry)
// and, when it exists, sizes the table (nn rows, `columns` columns) and the index array, every
// entry 0. Returns the availability.
template <class T>
bool familyopen(const FamilyTable<T>& f, const FamilyMember& deciding, std::int32_t columns, DOMAIN& dom);

// First time: reads the member's file (with the append retry) into its column and registers
// its variable, nodal, with its units and zone array. A missing file stops the run, unless
// the member is optional: then nothing is registered and false is returned.
template <class T>
bool familyregister(const FamilyTable<T>& f, const FamilyMember& m, DOMAIN& dom, bool optional = false);

// Later time: reads each registered member's file into its column, or shares its variable
// with zone 1 when the file is missing. The found flag ends holding the last member's
// answer; `perfound`, when given, receives every member's answer by column.
template <class T>
void familyread(const FamilyTable<T>& f, const std::vector<FamilyMember>& members, DOMAIN& dom,
                Mask* perfound = nullptr);

// Later time: shares every registered member's variable with zone 1, reading nothing.
template <class T>
void familyshare(const FamilyTable<T>& f, const std::vector<FamilyMember>& members, DOMAIN& dom);

// ---- Species families --------------------------------------------------------------------

enum class SpeciesSet { all, nontemperature, colloid, mobile };

// A family with one member per species of a set.
template <class T>
struct SpeciesFamily {
  FamilyTable<T> table;
  std::string_view root;       // "o.conc_"
  std::string_view separator;  // between species name and output-time index
  std::string_view suffix;     // appended to the species name to give the variable name
  std::string_view label;      // array comment; empty: the variable name
  SpeciesSet set = SpeciesSet::all;
  bool transportunits = true;  // units converted by the species' kind
};

// The species of a set, 1-based, ascending.
std::vector<std::int32_t> speciesof(SpeciesSet set);

// A species' result file at the current output time: prefix, root, domain name, ".", species
// name, separator, output-time index.
std::string speciesfile(std::string_view root, const DOMAIN& dom, std::int32_t species, std::string_view separator);

// The members of a species family at the current output time.
template <class T>
std::vector<FamilyMember> speciesmembers(const SpeciesFamily<T>& f, const DOMAIN& dom);

// The first-time and later-time handlers of a species family.
template <class T>
void speciesfamilyinit(const SpeciesFamily<T>& f, DOMAIN& dom);
template <class T>
void speciesfamilyread(const SpeciesFamily<T>& f, DOMAIN& dom, Mask* perfound = nullptr);

}  // namespace kelpra
