// Observed against simulated values at the end of a run. A reader loads one observation file
// into the observation set of the run settings; the comparison that follows it writes a
// comparison file (observed-simulated pairs, the one-to-one line and R-squared) and a scatter
// file (coordinates, both values and their difference), then releases the set.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// The prefix followed by ".observed_heads": x, y, z and head per point, located in the pm
// bricks when the domain's elements have 8 nodes. A domain other than "pm" stops the run.
void read_obs_heads_xyz(DOMAIN& pm);
// The prefix, "." and "observed_heads" ("pm") or "observed_heads_olf" ("olf"): x, y and the
// observed water-table elevation or surface-water depth per point.
void read_obs_heads_xy(DOMAIN& dom);
// The prefix, "." and "observed_d2gwt": x, y and the observed depth to the water table.
void read_d2gwt_heads(DOMAIN& pm);

// Heads of "pm" (interpolated in the bricks, else at the nearest node) or surface-water
// depths of "olf" (at the nearest node in plan), within the comparison's observation window.
void compare_heads_output(DOMAIN& dom);
// Water-table elevations and depths to the water table of "pm" at the top node of the node
// column nearest to each point.
void compare_gwtable_elevation_output(DOMAIN& pm);
void compare_deth2gwtable_output(DOMAIN& pm);

// The comparison and scatter files of the comparisons the run settings switch on, in the order
// the run writes them.
std::vector<std::string> comparisonfiles();
// The comparison and scatter files of the comparison that `setting` switches on.
std::array<std::string, 2> comparisonpair(bool PlotData::*setting);

// The output time each comparison file holds, by file name, as the runs that wrote them
// recorded it in the prefix followed by "o.compare_times" (a line "<output time> <file>" each).
using ComparedTimes = std::map<std::string, std::int32_t>;
std::string comparedtimesname();
// What the record holds; nothing where it does not exist or cannot be read.
ComparedTimes readcomparedtimes();
// Replaces the record as a whole; a status code (0 on success, the reason noted).
int writecomparedtimes(const ComparedTimes& held);

// Releases the observation set.
void releaseobservations();

}  // namespace kelpra
