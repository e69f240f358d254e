#include "tests/kit/vtkreader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "tests/kit/process.hpp"

namespace kelpra::testkit {
namespace fs = std::filesystem;
namespace {

// Output, one item per line, fields separated by TABs:
//   point  x y z | cell  type ids... | data  where name components type values...
constexpr std::string_view kScript = R"py(
import sys
from vtkmodules.vtkIOLegacy import vtkUnstructuredGridReader, vtkPolyDataReader
reader = vtkUnstructuredGridReader() if sys.argv[2] == "grid" else vtkPolyDataReader()
reader.SetFileName(sys.argv[1])
reader.ReadAllScalarsOn()
reader.ReadAllVectorsOn()
reader.ReadAllFieldsOn()
reader.Update()
if reader.GetErrorCode() != 0:
    sys.exit(2)
g = reader.GetOutput()
out = []
for i in range(g.GetNumberOfPoints()):
    out.append("point\t" + " ".join(repr(c) for c in g.GetPoint(i)))
for i in range(g.GetNumberOfCells()):
    ids = g.GetCell(i).GetPointIds()
    out.append("cell\t%d\t%s" % (g.GetCellType(i), " ".join(str(ids.GetId(k)) for k in range(ids.GetNumberOfIds()))))
for where, data in (("point", g.GetPointData()), ("cell", g.GetCellData()), ("field", g.GetFieldData())):
    for a in range(data.GetNumberOfArrays()):
        arr = data.GetArray(a)
        n = arr.GetNumberOfComponents()
        values = [arr.GetComponent(t, c) for t in range(arr.GetNumberOfTuples()) for c in range(n)]
        out.append("data\t%s\t%s\t%d\t%s\t%s" % (where, arr.GetName(), n, arr.GetDataTypeAsString(),
                                              " ".join(repr(v) for v in values)))
print("\n".join(out))
)py";

// The TAB-separated fields of a line, a trailing empty one included.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) return out;
    start = tab + 1;
  }
}

template <class T>
std::vector<T> numbers(const std::string& text) {
  std::vector<T> out;
  std::istringstream in(text);
  for (T v; in >> v;) out.push_back(v);
  return out;
}

bool canreadvtk(const fs::path& python) {
  return ::access(python.c_str(), X_OK) == 0 &&
         runprocess(python, {"-c", "import vtkmodules.vtkIOLegacy"}).exitstatus == 0;
}

}  // namespace

std::optional<fs::path> findvtkpython() {
  // The package belongs to the system's python, which need not be the first on the path.
  std::vector<fs::path> candidates = onsearchpath("python3");
  candidates.insert(candidates.begin(), "/usr/bin/python3");
  for (const fs::path& candidate : candidates) {
    if (canreadvtk(candidate)) return candidate;
  }
  return std::nullopt;
}

bool readvtk(const fs::path& python, const fs::path& file, VtkKind kind, VtkDataSet& out, std::string& problem) {
  const ProcessResult run =
      runprocess(python, {"-", file.string(), kind == VtkKind::grid ? "grid" : "polydata"}, {}, std::string(kScript));
  // VTK's logger reports warnings and errors on standard error.
  if (run.exitstatus != 0 || !run.err.empty()) {
    problem = "exit status " + std::to_string(run.exitstatus) + ": " + run.err;
    return false;
  }
  out = {};
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> f = fields(line);
    if (f.size() == 2 && f[0] == "point") {
      out.points.push_back(numbers<double>(f[1]));
    } else if (f.size() == 3 && f[0] == "cell") {
      out.celltypes.push_back(std::atoi(f[1].c_str()));
      out.cells.push_back(numbers<int>(f[2]));
    } else if (f.size() == 6 && f[0] == "data") {
      auto& where = f[1] == "point" ? out.pointdata : f[1] == "cell" ? out.celldata : out.fielddata;
      where[f[2]] = VtkArray{std::atoi(f[3].c_str()), f[4], numbers<double>(f[5])};
    } else if (!line.empty()) {
      problem = "unexpected reply: " + line;
      return false;
    }
  }
  return true;
}

std::vector<std::string> vtkfiles(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".vtk") out.push_back(entry.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace kelpra::testkit
