// VTK point sets of the boundary-condition node sets listed by the simulator.
#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <optional>
#include <utility>

#include "paraview/paraview.hpp"
#include "paraview/vtktext.hpp"
#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr std::string_view kAxes = "XYZ";

// The points of one node-location file: per axis (x, y, z) the values read, empty for an
// axis the file does not give (its coordinates are 0.0).
struct NodeSet {
  std::int32_t count = 0;
  std::array<std::vector<double>, 3> columns;
};

// The axes the variables line names ("X", "Y", "Z" in double quotes), in the order they
// stand on the line: the order of the file's coordinate blocks.
std::vector<std::size_t> namedaxes(std::string_view line) {
  std::vector<std::pair<std::size_t, std::size_t>> found;
  for (std::size_t axis = 0; axis < kAxes.size(); ++axis) {
    const std::string quoted = {'"', kAxes[axis], '"'};
    const std::size_t at = line.find(quoted);
    if (at != std::string_view::npos) found.emplace_back(at, axis);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::size_t> axes;
  for (const auto& f : found) axes.push_back(f.second);
  return axes;
}

// The point count of the zone line: the integer after the first "I=", before the next comma.
std::optional<std::int32_t> pointcount(std::string_view line) {
  const std::size_t at = line.find("I=");
  if (at == std::string_view::npos) return std::nullopt;
  std::string rest = trimleftcopy1(line.substr(at + 2));
  rest = rest.substr(0, rest.find(','));
  std::int32_t count = 0;
  int status = 0;
  str2i4(rest, count, &status);
  if (status != 0 || count < 0) return std::nullopt;
  return count;
}

// Reads the whole node-location file; false with the reason when it is not laid out as expected.
bool readnodeset(int unit, NodeSet& set, std::string& problem) {
  std::array<std::string, 3> head;
  for (std::string& line : head) {
    if (readline(unit, line) != 0) return (problem = "it ends before its zone line", false);
  }
  const std::vector<std::size_t> axes = namedaxes(head[1]);
  if (axes.empty()) return (problem = "its variables line names none of \"X\", \"Y\" and \"Z\"", false);
  const std::optional<std::int32_t> count = pointcount(head[2]);
  if (!count) return (problem = "its zone line gives no point count after \"I=\"", false);
  set.count = *count;
  std::string marker;
  FreeFields fields;
  bool anyblock = false;
  for (const std::size_t axis : axes) {
    const std::string what = std::string(1, kAxes[axis]);
    if (readline(unit, marker) != 0) return (problem = "it ends before the block of " + what, false);
    if (marker.find('#') == std::string::npos) continue;  // no values: the coordinate stays 0.0
    anyblock = true;
    std::vector<double>& column = set.columns[axis];
    for (std::int32_t i = 0; i < set.count; ++i) {
      if (readfreefields(unit, 1, fields) != 0) {
        return (problem = "it ends after " + std::to_string(i) + " of the " + std::to_string(set.count) +
                          " values of " + what,
                false);
      }
      double value = 0.0;  // an empty field leaves the value as it was
      if (const std::string* field = freefield(fields, 0)) {
        int status = 0;
        str2r8(*field, value, &status);
        if (status != 0 || !std::isfinite(value)) {
          return (problem = "\"" + *field + "\", value " + std::to_string(i + 1) + " of " + what +
                            ", is not a number",
                  false);
        }
      }
      column.push_back(value);
    }
  }
  // The points written are those the file holds, not those its zone line claims.
  if (!anyblock && set.count > 0) {
    return (problem = "its zone line gives " + std::to_string(set.count) + " points, but it holds values for 0 of them",
            false);
  }
  return true;
}

void writepointset(const NodeSet& set, int unit) {
  VtkText out(unit);
  out.line("# vtk DataFile Version 2.0");
  out.line("BOUNDARY NODE LOCATIONS");
  out.line("ASCII");
  out.line("");
  out.line("DATASET POLYDATA");
  out.pointsline(set.count);
  for (std::size_t i = 0; i < static_cast<std::size_t>(set.count); ++i) {
    const auto at = [&](std::size_t axis) { return set.columns[axis].empty() ? 0.0 : set.columns[axis][i]; };
    out.point(at(0), at(1), at(2));
  }
  out.close();
}

}  // namespace

void get_bc_names_from_bc_file(int unit, std::vector<std::string>& names) {
  std::string line;
  checkedalloc("bc name array", [&] {
    while (readline(unit, line) == 0) {
      if (line.find("! name") == std::string::npos) continue;
      trimleft1(line, " \t");
      names.push_back(line.substr(0, line.find_first_of(" \t")));
    }
  });
}

bool convert_bc_file_into_paraviewformat(int unit, const std::string& vtkname, std::string& problem) {
  NodeSet set;
  try {
    if (!readnodeset(unit, set, problem)) return false;
  } catch (const std::bad_alloc&) {
    check_alloc(kStatusNoMemory, "convert bc file to paraview xyz array");
  }
  UnitHandle out = UnitHandle::take();
  checkfileopen(openunit(out.unit(), vtkname, FileForm::formatted, OpenStatus::replace), vtkname);
  writepointset(set, out.unit());
  out.release();
  return true;
}

void addition_paraview_bclocationout() {
  const std::string prefix = prefixtext();
  const std::string summary = prefix + "o.boundary_conditions";
  if (!fileexists(summary)) {
    screenline(" *o.boundary_conditions FILE DOES NOT EXISTS");
    return;
  }
  std::vector<std::string> names;
  {
    UnitHandle unit = UnitHandle::take();
    if (openunit(unit.unit(), summary, FileForm::formatted, OpenStatus::old) != 0) {
      warningmsg("The boundary-condition list " + summary + " cannot be opened: no node sets are written.");
      return;
    }
    get_bc_names_from_bc_file(unit.unit(), names);
  }
  for (const std::string& name : names) {
    const std::string dat = prefix + "o.Bc." + name + ".dat";
    if (!fileexists(dat)) continue;
    UnitHandle unit = UnitHandle::take();
    std::string problem = "it cannot be opened";
    if (openunit(unit.unit(), dat, FileForm::formatted, OpenStatus::old) != 0 ||
        !convert_bc_file_into_paraviewformat(unit.unit(), dat.substr(0, dat.size() - 3) + "vtk", problem)) {
      warningmsg("The boundary-condition node file " + dat + " is skipped: " + problem + ".");
    }
  }
}

}  // namespace kelpra
