// Depth to the water table along the node columns of a layered porous-medium mesh.
//
// Layout: nz layers of npl = nn / nz nodes, numbered layer by layer from the bottom; node i
// (from 1) lies in layer (i - 1) / npl, the node above it is i + npl, and its column starts
// at ((i - 1) % npl) + 1. The water table lies where the pressure head psi = head - z
// changes sign along a column (saturated: psi >= 0), interpolated linearly between the two
// bracketing nodes when interp is set, else taken as the head of the saturated node.
//
// A layout that is not whole layers (nz < 1, or nn not a multiple of nz) is an input
// error; arrays shorter than nn, or a node outside the mesh, stop the run as a fatal error.
#pragma once

#include <cstdint>
#include <span>

namespace kelpra {

// Depth of every node below the water table found from its own column position: a
// saturated node searches upward, an unsaturated one downward.
void depth2gwtdomain(std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z,
                     std::span<const double> head, std::span<double> depth);
// Node i of the above; psi is the pressure head of every node.
void depth2gwtnode(std::int32_t i, std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z,
                   std::span<const double> psi, double& depth, double& wt);

// Depth of the water table below the ground surface (the top node) of every column, the
// same value at every node of the column; the lowest sign change of the column counts.
void depth2gwt2ddomain(std::int32_t nn, std::int32_t nz, bool interp, std::span<const double> z,
                       std::span<const double> head, std::span<double> depth);
// Column whose bottom node is c (1 .. npl).
void depth2gwtnodebottomup(std::int32_t c, std::int32_t nn, std::int32_t nz, bool interp,
                           std::span<const double> z, std::span<const double> psi, double& depth, double& wt);

}  // namespace kelpra
