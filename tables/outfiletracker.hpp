// The list file in which a program records each output file it writes, one line per file
// with its format and layout, so that later tools find and read the outputs without
// guessing. The tracker owns the open list file and gives its unit back when it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "support/fileunits.hpp"

namespace kelpra {

class outfiletracker {
 public:
  std::int32_t unit() const { return file_.unit(); }
  const std::string& filename() const { return filename_; }

 private:
  friend void init(outfiletracker& tracker, std::string_view name, std::optional<bool> append);
  friend void destroy(outfiletracker& tracker);
  UnitHandle file_;
  std::string filename_;
};

// Closes a list file the tracker holds, then opens the named one for writing: after its old
// lines when append is true and it exists, else as a new file replacing any of that name.
void init(outfiletracker& tracker, std::string_view name, std::optional<bool> append = std::nullopt);
// Closes the list file, if any, and forgets its name.
void destroy(outfiletracker& tracker);
bool isopen(const outfiletracker& tracker);
std::int32_t fileunit(const outfiletracker& tracker);

// A Tecplot ASCII file: name,tecplot ascii,zone type,data packing.
void addtecplotfile(outfiletracker& tracker, std::string_view name, std::int32_t zonetype, std::int32_t datapacking);
// A result file: name,binary,variable location,value kind,first,second,"units". The values
// only choose the value kind.
void binaryfileint4(outfiletracker& tracker, std::string_view name, std::int32_t varloc,
                    std::span<const std::int32_t> values, std::int32_t first, std::int32_t second,
                    std::optional<std::string_view> units = std::nullopt);
void binaryfilereal4(outfiletracker& tracker, std::string_view name, std::int32_t varloc,
                     std::span<const float> values, std::int32_t first, std::int32_t second,
                     std::optional<std::string_view> units = std::nullopt);
void binaryfilereal8(outfiletracker& tracker, std::string_view name, std::int32_t varloc,
                     std::span<const double> values, std::int32_t first, std::int32_t second,
                     std::optional<std::string_view> units = std::nullopt);

// The words of the codes: zone type 0 "ordered", 1 "fem"; data packing 2 "point", 3
// "block"; variable location 4 "nodal", 5 "cell-centered"; any other code its "unknown".
std::string_view teczone2str(std::int32_t code);
std::string_view tecdata2str(std::int32_t code);
std::string_view varloc2str(std::int32_t code);
// Unit text without its enclosing parentheses and trailing blanks; "-" becomes empty.
std::string getunitstr(std::string_view units);

}  // namespace kelpra
