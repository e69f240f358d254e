// Observed against simulated values. The comparisons are not part of this version: each
// entry point tells the user that its comparison was skipped, and the run goes on.
#pragma once

#include "plot/plotdata.hpp"

namespace kelpra {

void read_obs_heads_xyz(DOMAIN& pm);
void read_obs_heads_xy(DOMAIN& dom);
void read_d2gwt_heads(DOMAIN& pm);
void compare_heads_output(DOMAIN& dom);
void compare_gwtable_elevation_output(DOMAIN& pm);
void compare_deth2gwtable_output(DOMAIN& pm);

}  // namespace kelpra
