// Per-domain plot set-up at the first accepted output time and the zone appended at every
// later one, for domains with nodes of their own (multi-node) and for domains on the
// porous-medium nodes (common-node).
#pragma once

#include <string>

#include "plot/plotdata.hpp"

namespace kelpra {

void init(DOMAIN& dom, DOMAIN& pmcopy);
void append(DOMAIN& dom, DOMAIN& pmcopy);

void initmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy);
void appendmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy);
void initcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy);
void appendcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy);

// The data set's base name: prefix, "o.", domain name.
std::string plotbasename(const DOMAIN& dom);

// The title every data set is opened with: the first title line, or none.
const std::string& firsttitle();

}  // namespace kelpra
