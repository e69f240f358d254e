// Two data sets that describe the layered porous-medium mesh, written at the end of a run:
// the isopach structure of every element zone and the depth of every node below the ground.
#pragma once

#include <cstdint>
#include <span>

#include "plot/plotdata.hpp"

namespace kelpra {

void plot_pmzone_isopach_structure(DOMAIN& olf, DOMAIN& pm);
void plot_pmdepth_grndsurf(DOMAIN& olf, DOMAIN& pm);

// Adds, for element zone `zone`, the thickness of the zone's "pm" elements below each surface
// element and the elevation of the zone's top at each surface node.
void compute_isopach_structure(std::int32_t zone, std::int32_t pmnn, std::int32_t pmne, std::span<const std::int32_t> pmzones,
                               std::span<const double> pmz, std::int32_t pmnln,
                               std::span<const std::int32_t> pmincidences, std::int32_t olfnn, std::int32_t olfne,
                               std::int32_t olfnln, std::span<const std::int32_t> olfincidences, std::int32_t layers,
                               std::span<double> thickness, std::span<double> top);

}  // namespace kelpra
