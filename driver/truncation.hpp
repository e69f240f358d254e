// Mesh truncation: reduces a domain's mesh to the part the plot control file asks for (the
// whole mesh, a box, or a layer range within an x-y box) and leaves in the domain record the
// masks, counts and output node numbers that every zone of the run is written with.
//
// Invariants left for the writer: packing a nodal array through `nodemask` (or an element
// array through `elemmask`) when `truncate` is set yields exactly `nn_trunc` (`ne_trunc`)
// values, and `nodemap` numbers the written nodes 1 .. `nn_trunc` in that packing order.
#pragma once

#include "plot/plotdata.hpp"

namespace kelpra {

// A domain with nodes of its own: "pm", or any domain with multi-node coupling.
// `nodemask` runs over the domain's nodes; `nodemap` over the porous-medium nodes (indexed by
// the domain's own node number for "pm", by the porous-medium node number otherwise).
// `announce` false leaves the messages to truncationmessages: the counts are then known before
// any data set is set up.
void multitruncate(DOMAIN& dom, const DOMAIN& pmcopy, bool announce = true);

// A domain built on the porous-medium nodes (common-node coupling). `nodemask` and `nodemap`
// run over the porous-medium nodes, `pmnodemask` over the domain's own nodes; `truncate` is
// always set so that porous-medium arrays are packed to the domain's nodes.
void commontruncate(DOMAIN& dom, const DOMAIN& pmcopy, bool announce = true);

// The messages of the truncation done last for the domain: the medium, the kind and the counts.
void truncationmessages(const DOMAIN& dom);

}  // namespace kelpra
