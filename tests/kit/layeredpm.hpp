// A small layered "pm" domain record built in memory, for tests of the plot and driver code.
#pragma once

#include "plot/plotdata.hpp"

namespace kelpra::testkit {

// A layered "pm" mesh of bricks: one row of `columns` elements along x in each of
// `layers` - 1 element layers. Node (i, j) of node layer l sits at x = i, y = j, z = l * dz,
// so with dz = 1 the centroid of element (column c, layer l) is (c + 0.5, 0.5, l + 0.5).
// `extranodes` nodes at the origin that no element uses follow the layered ones.
// Sets plot_data.nz to the number of node layers.
inline DOMAIN layeredpm(int columns, int layers, double dz = 1.0, int extranodes = 0) {
  DOMAIN pm;
  pm.name = "pm";
  pm.coupling = 1;
  pm.nln = 8;
  const int perlayer = 2 * (columns + 1);
  pm.nn = perlayer * layers + extranodes;
  for (int l = 0; l < layers; ++l) {
    for (int j = 0; j < 2; ++j) {
      for (int i = 0; i <= columns; ++i) {
        pm.x.push_back(i);
        pm.y.push_back(j);
        pm.z.push_back(l * dz);
      }
    }
  }
  for (int k = 0; k < extranodes; ++k) pm.x.push_back(0), pm.y.push_back(0), pm.z.push_back(0);
  auto node = [&](int l, int j, int i) { return l * perlayer + j * (columns + 1) + i + 1; };
  for (int l = 0; l + 1 < layers; ++l) {
    for (int c = 0; c < columns; ++c) {
      for (int t = 0; t < 2; ++t) {
        pm.incidences.insert(pm.incidences.end(), {node(l + t, 0, c), node(l + t, 0, c + 1),
                                                   node(l + t, 1, c + 1), node(l + t, 1, c)});
      }
    }
  }
  pm.ne = columns * (layers - 1);
  plot_data.nz = layers;
  return pm;
}

}  // namespace kelpra::testkit
