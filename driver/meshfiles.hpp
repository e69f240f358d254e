// Readers of a domain's mesh files: the coordinates file (prefix + "o.coordinates_" + name)
// and the elements file (prefix + "o.elements_" + name).
//
// Besides the layout, the readers check what later steps index with: counts are not
// negative and fit the file; the "pm" node of every node of another domain is a "pm" node;
// the positive entries of link_pm2dom of a multi-node domain are that domain's global
// numbers (globalstart + 1 .. globalstart + nn), and those of a common-node domain span at
// most nn numbers; element node numbers lie in 1..nn for "pm" and in 1..nn of "pm" for every
// other domain (whose elements hold "pm" node numbers), where a 4-node element of another
// domain may end in 0 (a triangle); and a 4-node element of another multi-node domain
// refers only to "pm" nodes that have a node in the domain (link_pm2dom above 0). A breach
// is an input error naming the file.
#pragma once

#include <string>
#include <string_view>

#include "plot/plotdata.hpp"

namespace kelpra {

// A mesh file of a domain: prefix, kind ("o.coordinates_", "o.elements_"), domain name.
std::string meshfilename(std::string_view kind, std::string_view domain);

// Reads the coordinates file of dom; pm is the "pm" record (for "pm" itself, dom again).
// Sets nn and, for "pm", x, y, z, nx, ny, nz, globalstart and globalstartindex; for other
// domains coupling, link_dom2pm, link_pm2dom, the wall tables of "olf" and, with multi-node
// coupling, x, y, z (copied from the "pm" nodes), globalstart and globalstartindex.
void coordsread(DOMAIN& dom, const DOMAIN& pm);

// Reads the elements file of dom: nln, ne, incidences, elemzone and zonetype; for "dual" only
// the elements of a non-zero zone are kept; for "olf" wallelemid and olf_wall; for "frac"
// auxint2d and aperture.
void elemsread(DOMAIN& dom);

}  // namespace kelpra
