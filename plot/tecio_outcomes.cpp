#include "plot/tecio_outcomes.hpp"

#include "support/fileunits.hpp"

namespace kelpra::tecio {

std::map<std::string, TecOutcome>& outcomes() {
  static std::map<std::string, TecOutcome> recorded;
  return recorded;
}

void keptoutcome(const std::string& finalname, TecPlacement placement, std::int64_t placed, TecFailure failure) {
  TecOutcome& out = outcomes()[finalname];
  out = {};
  out.placement = placement;
  out.placed = placed;
  out.failure = std::move(failure);
}

void unreadableoutcome(const std::string& finalname, const Placed& placed) {
  keptoutcome(finalname, TecPlacement::unreadable, -1, placed.failure);
  outcomes()[finalname].trouble = placed.trouble;
}

void heldoutcome(const std::string& finalname, TecPlacement placement, const std::vector<ZoneRecord>& zones) {
  TecOutcome& out = outcomes()[finalname];
  out = {};
  out.placement = placement;
  for (const auto& z : zones) {
    out.indices.push_back(z.outputindex);
    out.origins.push_back(z.origin);
  }
  out.placed = static_cast<std::int64_t>(zones.size());
}

std::int32_t mayreplace(const std::string& finalname, const std::vector<ZoneRecord>& zones) {
  const Placed placed = placedfile(linktarget(finalname));
  std::int32_t refused = kTecOk;
  if (!placed.trouble.empty()) {
    unreadableoutcome(finalname, placed);
    refused = kTecPlacedUnreadable;
  } else if (placed.zones > static_cast<std::int64_t>(zones.size())) {
    keptoutcome(finalname, TecPlacement::morezones, placed.zones, {});
    refused = kTecFewerZones;
  }
  if (refused == kTecOk) return kTecOk;
  // What the data set would have left in it, for the reports.
  for (const auto& z : zones) {
    outcomes()[finalname].indices.push_back(z.outputindex);
    outcomes()[finalname].origins.push_back(z.origin);
  }
  return refused;
}

}  // namespace kelpra::tecio
