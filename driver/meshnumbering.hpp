// Mesh-numbering variables of zone 1: the porous-medium node number of each written node and,
// for the layered porous-medium mesh, the layer, column and thickness of each written element.
// Each writer packs its values (one per written node or element, ascending) and hands them to
// the array writer with the truncation flag off.
#pragma once

#include <cstdint>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// Packed values. An empty mask means every node or element is written.
// Node numbers of nodes 1 .. count with the mask set: the porous-medium node number, which is
// the node's own number unless the domain has nodes of its own (coupling 1).
std::vector<std::int32_t> nodenumbervalues(std::int32_t count, const Mask& mask, const DOMAIN& dom);
// Layer and column of each element with `elemmask` set. Elements per layer L = `ne` / (`nz` - 1);
// a mesh with fewer than two node layers or fewer elements than layers is taken as one layer.
std::vector<std::int32_t> layernumbervalues(const DOMAIN& dom);
std::vector<std::int32_t> columnnumbervalues(const DOMAIN& dom);
// Mean elevation of the element's second half of nodes minus that of its first half.
std::vector<double> elementthicknessvalues(const DOMAIN& dom);

void write3dnodenumber(std::int32_t var, std::int32_t count, const Mask& mask, DOMAIN& dom);
void writelayernumber(std::int32_t var, DOMAIN& dom);
void writecolumnnumber(std::int32_t var, DOMAIN& dom);
void writeelementthickness(std::int32_t var, DOMAIN& dom);

}  // namespace kelpra
