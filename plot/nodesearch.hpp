// Nearest-node searches in a domain's mesh, lower-casing of command-line and control-file
// text, and the comment stripper that makes the comment-free copy of the plot control file.
#pragma once

#include <cstdint>
#include <string>

#include "plot/plotdata.hpp"

namespace kelpra {

// node becomes the domain's node nearest to (x, y, z); ties keep the lower node number, and a
// domain with no node nearer than 1e20 leaves node as given. The search is echoed.
void find_node(double x, double y, double z, std::int32_t& node, const DOMAIN& dom);
// The same by distance in plan, for points given in x and y only.
void find_node_xy(double x, double y, std::int32_t& node, const DOMAIN& dom);

// node becomes the highest node (largest z, ties to the lower layer) of the layered "pm" node
// column nearest to (x, y) in plan. A mesh without a whole first layer (nz below 1 or fewer
// nodes than layers) leaves node as given. The search is echoed.
void find_top_surface_node_from_xy(double x, double y, std::int32_t& node, const DOMAIN& dom);

// Lower-cases the letters A to Z of the text up to its last non-blank character.
void lcase(std::string& text);

// Copies the text of the formatted unit `in` to the formatted unit `out` without blank and
// comment lines, each line left-adjusted and cut or padded to 256 characters, expanding
// "include" lines (one level: include lines of an included file are copied as they stand);
// then rewinds `out`. A missing include file and a failing read stop the run.
void strip_comments(int in, int out);

}  // namespace kelpra
