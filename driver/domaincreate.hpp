// Domain creation: turns a record with its defaults into the record of one named model
// domain, with its instruction texts, switches, pool unit and mesh.
#pragma once

#include <string_view>

#include "plot/plotdata.hpp"

namespace kelpra {

// Fills dom for the domain `name`. The domain exists when its coordinates file does
// ("addition" always exists and gets only its name). pm is the porous-medium record whose
// nodes the mesh readers link to (dom itself when "pm" is created).
void domaincreate(DOMAIN& dom, std::string_view name, DOMAIN& pm);

}  // namespace kelpra
