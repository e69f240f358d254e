// VTK's own legacy readers as the oracle of the VTK-file tests: a small python script (Debian's
// python3-vtk9) loads a file with vtkUnstructuredGridReader or vtkPolyDataReader and prints
// what the reader made of it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelpra::testkit {

struct VtkArray {
  int components = 0;
  std::string type;            // VTK's name of the value type ("float", "double", "int")
  std::vector<double> values;  // tuple by tuple
};

struct VtkDataSet {
  std::vector<std::vector<double>> points;  // x, y, z per point
  std::vector<int> celltypes;
  std::vector<std::vector<int>> cells;                             // node numbers (from 0) per cell
  std::map<std::string, VtkArray> pointdata, celldata, fielddata;  // by decoded array name
};

// A python that can import VTK's readers; nullopt when there is none (the caller skips).
std::optional<std::filesystem::path> findvtkpython();

enum class VtkKind { grid, polydata };

// Loads the file with VTK's reader; false, with what the reader said, when it reported
// anything (an error or a warning) or failed.
bool readvtk(const std::filesystem::path& python, const std::filesystem::path& file, VtkKind kind, VtkDataSet& out,
             std::string& problem);

// The names of the ".vtk" files in a directory, sorted.
std::vector<std::string> vtkfiles(const std::filesystem::path& dir);

}  // namespace kelpra::testkit
