// The outcome each data set's file was left with by the last close or put-in-place of this
// process, by file name: what the reports say of it, and the refusal of an append series' file
// that holds more zones or cannot be read.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "plot/tecio.hpp"
#include "plot/tecio_layout.hpp"

namespace kelpra::tecio {

// The outcomes by file name. Made before the registry (registry() asks for it), whose
// destructor still closes data sets.
std::map<std::string, TecOutcome>& outcomes();

// Records a kept file's outcome: `placed` its zones where known.
void keptoutcome(const std::string& finalname, TecPlacement placement, std::int64_t placed, TecFailure failure);

// Records that a file which cannot be read was kept, and why.
void unreadableoutcome(const std::string& finalname, const Placed& placed);

// Records the zones a file now holds, written or found unchanged.
void heldoutcome(const std::string& finalname, TecPlacement placement, const std::vector<ZoneRecord>& zones);

// The file of an append series never gives way to one of fewer zones than `zones`, nor to
// anything where it cannot be read: kTecOk where it may be replaced, else the refusal, recorded.
std::int32_t mayreplace(const std::string& finalname, const std::vector<ZoneRecord>& zones);

}  // namespace kelpra::tecio
