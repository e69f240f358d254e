// ParaView export: legacy VTK files (ASCII) of a domain's mesh and current values per output
// time, and VTK point sets of the model's boundary-condition node sets.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// Writes the mesh and the values of one multi-node domain for the current output-time index
// into the prefix, "o.", the domain name, ".", the index and ".vtk". A truncated mesh writes
// the kept nodes and elements only, and every data array over the same ones.
void multiparaview(const DOMAIN& dom);

// Whether a data array holds a value per point or per cell.
enum class VtkData { point, cell };

// The array writers: one data array of `name` (one token, see vtkarrayname) over entries
// 1 .. n, only those whose mask entry is set when `truncate` is; with `section` the array
// opens a new point or cell section first. Values go out in G(15,5,2) (a value whose
// exponent needs three digits in E(15,5,3)); a value that is not finite is written as 0.0 and
// the writer returns true. The 8-byte writers declare "double" in place of "float" for an
// array holding a value beyond the range of 4-byte reals, which the readers would refuse
// as "float", or a non-zero one below the smallest normal 4-byte real, which they would read
// as zero. write_paraview_darray writes 8-byte values of magnitude below 1.0e-30 as 0.0.
bool write_paraview_darray(std::span<const double> values, std::int32_t n, const Mask& mask, VtkData kind,
                           std::string_view name, bool truncate, bool section, int unit);
bool write_paraview_array(std::span<const float> values, std::int32_t n, const Mask& mask, VtkData kind,
                          std::string_view name, bool truncate, bool section, int unit);
// Vectors: one line per entry, the components side by side.
bool write_paraview_vector_array(std::span<const float> x, std::span<const float> y, std::span<const float> z,
                                 std::int32_t n, const Mask& mask, VtkData kind, std::string_view name, bool truncate,
                                 bool section, int unit);
bool write_paraview_vector_darray(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                                  std::int32_t n, const Mask& mask, VtkData kind, std::string_view name, bool truncate,
                                  bool section, int unit);
bool write_paraview_vector_2d_array(std::span<const float> x, std::span<const float> y, std::int32_t n,
                                    const Mask& mask, VtkData kind, std::string_view name, bool truncate, bool section,
                                    int unit);
bool write_paraview_vector_2d_darray(std::span<const double> x, std::span<const double> y, std::int32_t n,
                                     const Mask& mask, VtkData kind, std::string_view name, bool truncate, bool section,
                                     int unit);

// An array name as one token of a VTK file: blanks, '%', '"' and characters outside the
// printable ASCII range become %XX (hexadecimal), which VTK's readers decode; an empty
// name becomes "unnamed".
std::string vtkarrayname(std::string_view name);

// Writes, for every condition listed in the prefix followed by "o.boundary_conditions", the
// points of its node-location file (prefix, "o.Bc.", name, ".dat") as a VTK point set (the
// same name ending in ".vtk"). A node file that cannot be read is skipped with a warning.
void addition_paraview_bclocationout();

// Appends the condition name of every line of the summary file, from the unit's current
// position to its end, that contains "! name": the first word of the line.
void get_bc_names_from_bc_file(int unit, std::vector<std::string>& names);

// Reads the node-location file open on `unit` and, only when all of it reads as laid out,
// writes its points as a VTK point set into `vtkname` (replacing any file of that name).
// Returns false, with `problem` telling why and no file written, when it does not read.
bool convert_bc_file_into_paraviewformat(int unit, const std::string& vtkname, std::string& problem);

}  // namespace kelpra
