// Legacy VTK files (ASCII unstructured grids) of one domain per output time.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "paraview/paraview.hpp"
#include "paraview/vtktext.hpp"
#include "plot/modelfiles.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr EditDescriptor kValue = formatG(15, 5, 2);
// For the values whose exponent needs three digits, which kValue would give as asterisks.
constexpr EditDescriptor kWideValue = formatE(15, 5, 3);
constexpr int kValuesPerLine = 6;
// Data values of smaller magnitude are written as zero (the single-precision 1.0e-30).
constexpr double kSmallValue = static_cast<double>(1.0e-30f);

// A data value in its 15-character field; false (0.0 written) when it is not finite.
bool appendvalue(std::string& out, double value) {
  if (!std::isfinite(value)) {
    appendreal(out, 0.0, kValue);
    return false;
  }
  const std::size_t at = out.size();
  appendreal(out, value, kValue);
  if (out[at] == '*') {
    out.resize(at);
    appendreal(out, value, kWideValue);
  }
  return true;
}

// The entries an array writes: all n, or those whose mask entry is set when truncated.
class Entries {
 public:
  // `name` and the unit's file name are for the reports.
  Entries(std::int32_t n, const Mask& mask, bool truncate, std::string_view name, int unit)
      : n_(static_cast<std::size_t>(std::max(n, 0))),
        mask_(mask),
        truncate_(truncate),
        what_("VTK array " + std::string(name) + " of " + unitfilename(unit)) {
    if (truncate_ && mask_.size() < n_) {
      fatalerror(what_ + " has a mask of " + std::to_string(mask_.size()) + " entries, " + std::to_string(n_) +
                 " expected.");
    }
    count_ = truncate_ ? static_cast<std::int32_t>(
                             std::count_if(mask_.begin(), mask_.begin() + n_, [](std::uint8_t m) { return m != 0; }))
                       : static_cast<std::int32_t>(n_);
  }
  std::size_t size() const { return n_; }
  bool keeps(std::size_t i) const { return !truncate_ || mask_[i] != 0; }
  std::int32_t count() const { return count_; }
  template <class T>
  void checkvalues(std::span<const T> values) const {
    if (values.size() < n_) {
      fatalerror(what_ + " holds " + std::to_string(values.size()) + " values, " + std::to_string(n_) + " expected.");
    }
  }

 private:
  std::size_t n_;
  const Mask& mask_;
  bool truncate_;
  std::string what_;
  std::int32_t count_ = 0;
};

// The empty line, the section line when the array opens one, and the array line.
void arrayheader(VtkText& out, VtkData kind, std::int32_t count, bool section, std::string_view line) {
  out.line("");
  if (section) {
    std::string text(kind == VtkData::point ? "POINT_DATA " : "CELL_DATA ");
    appendinteger(text, count, formatI(10));
    out.line(text);
  }
  out.line(line);
}

// "float", or "double" when a written 8-byte value is no normal 4-byte real: beyond their
// range, or so small but not zero that a "float" reader would take it as zero or a denormal.
// With zerosmall the values that go out as zero are not looked at.
template <class T>
std::string_view typeword(std::initializer_list<std::span<const T>> components, const Entries& entries,
                          bool zerosmall = false) {
  if constexpr (std::is_same_v<T, double>) {
    for (const std::span<const T> values : components) {
      for (std::size_t i = 0; i < entries.size(); ++i) {
        const double m = std::fabs(values[i]);
        if (!entries.keeps(i) || !std::isfinite(m) || m == 0.0 || (zerosmall && m < kSmallValue)) continue;
        if (m > FLT_MAX || m < FLT_MIN) return "double";
      }
    }
  }
  return "float";
}

template <class T>
bool writescalars(std::span<const T> values, std::int32_t n, const Mask& mask, VtkData kind, std::string_view name,
                  bool truncate, bool section, int unit, bool zerosmall) {
  const Entries entries(n, mask, truncate, name, unit);
  entries.checkvalues(values);
  VtkText out(unit);
  arrayheader(out, kind, entries.count(), section,
              "SCALARS " + std::string(name) + " " + std::string(typeword<T>({values}, entries, zerosmall)));
  out.line("LOOKUP_TABLE default");
  bool finite = true;
  int online = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries.keeps(i)) continue;
    double v = values[i];
    if (zerosmall && std::fabs(v) < kSmallValue) v = 0.0;
    finite = appendvalue(out.text(), v) && finite;
    if (++online == kValuesPerLine) {
      out.endline();
      online = 0;
    }
  }
  if (online > 0) out.endline();
  out.flush();
  return !finite;
}

// Legacy VECTORS have three components; two-component vectors get a zero third one.
template <class T>
bool writevectors(std::initializer_list<std::span<const T>> components, std::int32_t n, const Mask& mask, VtkData kind,
                  std::string_view name, bool truncate, bool section, int unit) {
  const Entries entries(n, mask, truncate, name, unit);
  for (const std::span<const T> values : components) entries.checkvalues(values);
  VtkText out(unit);
  arrayheader(out, kind, entries.count(), section,
              "VECTORS " + std::string(name) + " " + std::string(typeword<T>(components, entries)));
  bool finite = true;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries.keeps(i)) continue;
    for (const std::span<const T> values : components) finite = appendvalue(out.text(), values[i]) && finite;
    if (components.size() == 2) appendvalue(out.text(), 0.0);
    out.endline();
  }
  out.flush();
  return !finite;
}

// ---------------------------------------------------------------------------------------
// The data arrays of a domain

using D = DOMAIN;
using Vector = std::array<R4Vec D::*, 3>;
using Values =
    std::variant<R8Vec D::*, R4Vec D::*, I4Vec D::*, DynArray2D<double> D::*, DynArray2D<float> D::*, Vector>;

// How a row of columns (species or fractions) names its arrays.
enum class Naming {
  single,      // the row's name
  species,     // the mobile species' names, one array per species
  fractions,   // the mixing fractions' names, one per fraction
  perspecies,  // the row's name, "_" and the species name, one per species
};

// The domains a row applies to, one bit per domain name.
enum : unsigned { kPm = 1, kDual = 2, kFrac = 4, kOlf = 8, kChan = 16, kAny = ~0u, kNotPm = ~1u };

unsigned domainbit(std::string_view name) {
  if (name == "pm") return kPm;
  if (name == "dual") return kDual;
  if (name == "frac") return kFrac;
  if (name == "olf") return kOlf;
  if (name == "chan") return kChan;
  return 1u << 31;  // any other domain
}

struct ArrayRow {
  unsigned domains;
  std::string_view name;
  VtkData kind;
  Values values;
  bool (*when)(const DOMAIN&);
  Naming naming = Naming::single;
};

template <bool D::*Avail, bool D::*Switch>
bool availandon(const DOMAIN& d) {
  return d.*Avail && d.*Switch;
}
bool always(const DOMAIN&) { return true; }
bool aperture(const DOMAIN& d) { return d.writeaperture; }
// The depths to the water table exist only when their set-up found heads and node columns.
bool depth2gwt(const DOMAIN& d) { return d.headavail && d.writedepth2gwt && d.depth2gwtvar > 0; }

constexpr auto kHead = availandon<&D::headavail, &D::writehead>;
constexpr auto kEt = availandon<&D::etevapavail, &D::writeet>;
constexpr auto kSnow = availandon<&D::rainsnowmeltfound, &D::writerainsnowmelt>;
constexpr auto kElemK = availandon<&D::elemkavail, &D::writeelemk>;

// Point phase first (with the snow and aperture cell arrays among it), then the cell phase.
const ArrayRow kArrays[] = {
    {kAny, "head", VtkData::point, &D::head, kHead},
    {kOlf | kChan, "depth", VtkData::point, &D::depth, kHead},
    {kOlf | kChan, "log10Depth", VtkData::point, &D::logdepth, kHead},
    {kPm, "environmental_head", VtkData::point, &D::envh, availandon<&D::envhavail, &D::writeenvh>},
    {kPm | kDual | kOlf, "saturation", VtkData::point, &D::sat, availandon<&D::satavail, &D::writesat>},
    {kPm, "Depth2GWT", VtkData::point, &D::depth2gwt, depth2gwt},
    {kPm, "ice_saturation", VtkData::point, &D::icesat, availandon<&D::icesatavail, &D::writeicesat>},
    {kOlf, "surface_water_evapopration", VtkData::point, &D::etevap, kEt},
    {kOlf, "surface_evapopration", VtkData::point, &D::etpmevap, availandon<&D::etpmevapavail, &D::writeet>},
    {kOlf, "surface_transpiration", VtkData::point, &D::etpmtranspire, availandon<&D::etpmtranspireavail, &D::writeet>},
    {kOlf, "Actual_ET", VtkData::point, &D::etactual, availandon<&D::etactualavail, &D::writeet>},
    {kPm, "subsurface_evaporation", VtkData::point, &D::etpmevap3d, availandon<&D::etpmevap3davail, &D::writeet3d>},
    {kPm, "subsurface_transpiration", VtkData::point, &D::etpmtranspire3d,
     availandon<&D::etpmtranspire3davail, &D::writeet3d>},
    {kOlf, "snowdepth", VtkData::cell, &D::snowdepth, kSnow},
    {kOlf, "snowmelt", VtkData::cell, &D::snowmelt, kSnow},
    {kOlf, "liquid_precipitation", VtkData::cell, &D::liquidp, kSnow},
    {kOlf, "solid_precipitation", VtkData::cell, &D::solidp, kSnow},
    {kOlf, "snowcover", VtkData::point, &D::snowcover, kSnow},
    {kAny, "exchange_flux", VtkData::point, &D::exchflux, availandon<&D::exchfluxavail, &D::writeexchflux>},
    {kAny, "exchange_flux_pm2", VtkData::point, &D::exchfluxpm, availandon<&D::exchfluxpmavail, &D::exchfluxpmon>},
    {kAny, "exchange_flux_olf2", VtkData::point, &D::exchfluxolf, availandon<&D::exchfluxolfavail, &D::exchfluxolfon>},
    {kAny, "", VtkData::point, &D::conc, availandon<&D::concavail, &D::writeconc>, Naming::species},
    {kAny, "", VtkData::point, &D::hmc, availandon<&D::hmcavail, &D::writehmc>, Naming::fractions},
    {kAny, "adv_solute_exchange", VtkData::point, &D::exchsoladv, availandon<&D::exchsoladvavail, &D::writeexchsol>,
     Naming::perspecies},
    {kAny, "disp_solute_exchange", VtkData::point, &D::exchsoldisp, availandon<&D::exchsoldispavail, &D::writeexchsol>,
     Naming::perspecies},
    {kFrac, "aperture", VtkData::cell, &D::aperture, aperture},
    {kNotPm, "3D_node", VtkData::point, &D::link_dom2pm, always},
    {kAny, "linear_velocity_xyz", VtkData::cell, Vector{&D::vx, &D::vy, &D::vz},
     availandon<&D::velavail, &D::writevel>},
    {kAny, "Peclet_xyz", VtkData::cell, Vector{&D::pecletx, &D::peclety, &D::pecletz},
     availandon<&D::pecletavail, &D::writepeclet>},
    {kAny, "Diffusion_Peclet_xyz", VtkData::cell, Vector{&D::diffpecletx, &D::diffpeclety, &D::diffpecletz},
     availandon<&D::diffpecletavail, &D::writediffpeclet>},
    {kAny, "Kxx", VtkData::cell, &D::elemkxx, kElemK},
    {kAny, "Kyy", VtkData::cell, &D::elemkyy, kElemK},
    {kAny, "Kzz", VtkData::cell, &D::elemkzz, kElemK},
    {kAny, "Porosity", VtkData::cell, &D::elempor, availandon<&D::elemporavail, &D::writeelempor>},
    {kAny, "SpStor", VtkData::cell, &D::elemstor, availandon<&D::elemstoravail, &D::writeelemstor>},
    {kAny, "Tortuosity", VtkData::cell, &D::elemtort, availandon<&D::elemtortavail, &D::writeelemtort>},
    {kAny, "IbedFractionosity", VtkData::cell, &D::elemibedfraction,
     availandon<&D::elemibedfractionavail, &D::writeelemibedfraction>},
    {kAny, "Volume", VtkData::cell, &D::elemvolume, availandon<&D::elemvolumeavail, &D::writeelemvolume>},
    {kAny, "Permafrost", VtkData::cell, &D::permafrost, availandon<&D::permafrostavail, &D::writepermafrost>},
};

// The name of array i (1-based) of a row of columns; "" where the list has no name for it.
std::string columnname(const ArrayRow& row, std::int32_t i) {
  const auto k = static_cast<std::size_t>(i - 1);
  const std::vector<std::string>& list = row.naming == Naming::fractions ? plot_data.frac_name : plot_data.spname;
  const std::string item(k < list.size() ? trimview(list[k]) : std::string_view());
  if (row.naming != Naming::perspecies) return item;
  return std::string(row.name) + "_" + item;
}

std::int32_t columncount(Naming naming) {
  return naming == Naming::fractions ? plot_data.num_fractions : plot_data.nspeciesmob;
}

// One VTK file being written: the section rule, unique array names and the arrays that held
// values that are not numbers.
class VtkFile {
 public:
  VtkFile(const DOMAIN& dom, int unit) : dom_(dom), unit_(unit) {}

  void write(const ArrayRow& row) {
    std::visit([&](auto member) { writevalues(row, member); }, row.values);
  }

  // Notes an array that held values that are not numbers.
  void notfinite(const std::string& name) { nonfinite_.push_back(name); }

  // One warning for the whole file.
  void report(const std::string& filename) const {
    if (nonfinite_.empty()) return;
    std::string list;
    for (const std::string& name : nonfinite_) list += (list.empty() ? "" : ", ") + name;
    warningmsg("Values that are not numbers were written as 0.0 in " + filename + ", arrays: " + list);
  }

 private:
  // Whether an array of this kind opens a section.
  bool opens(VtkData kind) {
    const bool section = !last_ || *last_ != kind;
    last_ = kind;
    return section;
  }

  // The name as one token, made unique in the file by a number where it is taken already.
  std::string unique(std::string_view name) {
    const std::string token = vtkarrayname(name);
    std::string candidate = token;
    for (int k = 2; !names_.insert(candidate).second; ++k) candidate = token + "_" + std::to_string(k);
    return candidate;
  }

  std::int32_t count(VtkData kind) const { return kind == VtkData::point ? dom_.nn : dom_.ne; }
  const Mask& mask(VtkData kind) const { return kind == VtkData::point ? dom_.nodemask : dom_.elemmask; }

  template <class T>
  void scalars(VtkData kind, std::string_view label, std::span<const T> values) {
    const std::string name = unique(label);
    // As write_paraview_darray for 8-byte values, write_paraview_array for 4-byte ones.
    if (writescalars(values, count(kind), mask(kind), kind, name, dom_.truncate, opens(kind), unit_,
                     std::is_same_v<T, double>)) {
      notfinite(name);
    }
  }

  template <class T>
  void writevalues(const ArrayRow& row, std::vector<T> D::*member) {
    const std::vector<T>& values = dom_.*member;
    if constexpr (std::is_same_v<T, std::int32_t>) {
      nodenumbers(row.name, values);
    } else {
      scalars(row.kind, row.name, std::span<const T>(values));
    }
  }

  template <class T>
  void writevalues(const ArrayRow& row, DynArray2D<T> D::*member) {
    const DynArray2D<T>& table = dom_.*member;
    const std::int32_t columns = columncount(row.naming);
    if (columns > 0 && (table.extent2() < columns || table.extent1() < count(row.kind))) {
      fatalerror("VTK arrays of " + std::string(row.naming == Naming::fractions ? "fractions" : "species") + " in " +
                 domainname(dom_) + " domain: " + std::to_string(table.extent1()) + " x " +
                 std::to_string(table.extent2()) + " values, " + std::to_string(count(row.kind)) + " x " +
                 std::to_string(columns) + " expected.");
    }
    for (std::int32_t i = 1; i <= columns; ++i) scalars(row.kind, columnname(row, i), table.column(i));
  }

  void writevalues(const ArrayRow& row, const Vector& members) {
    const std::string name = unique(row.name);
    if (write_paraview_vector_array(dom_.*members[0], dom_.*members[1], dom_.*members[2], count(row.kind),
                                    mask(row.kind), row.kind, name, dom_.truncate, opens(row.kind), unit_)) {
      notfinite(name);
    }
  }

  // The porous-medium node of every node, one to a line.
  void nodenumbers(std::string_view label, const std::vector<std::int32_t>& link) {
    const std::string name = unique(label);
    const Entries entries(dom_.nn, dom_.nodemask, dom_.truncate, name, unit_);
    entries.checkvalues(std::span(link));
    VtkText out(unit_);
    const std::string line = "SCALARS " + name + " int";
    // Unlike the other arrays, no empty line before it when it goes on with the section.
    if (opens(VtkData::point)) {
      arrayheader(out, VtkData::point, entries.count(), true, line);
    } else {
      out.line(line);
    }
    out.line("LOOKUP_TABLE default");
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (!entries.keeps(i)) continue;
      appendinteger(out.text(), link[i], formatI(26));
      out.endline();
    }
    out.flush();
  }

  const DOMAIN& dom_;
  int unit_;
  std::optional<VtkData> last_;
  std::set<std::string> names_;
  std::vector<std::string> nonfinite_;
};

// ---------------------------------------------------------------------------------------
// Header, points and cells

// The title line: the last title line of several, else the first; 60 characters.
std::string titleline() {
  const auto& pd = plot_data;
  const std::size_t k = pd.ntit >= 2 ? static_cast<std::size_t>(pd.ntit - 1) : 0;
  std::string title = k < pd.title.size() && pd.ntit >= 1 ? pd.title[k] : std::string();
  // A control character would end or break the line the readers take as the title.
  for (char& c : title) {
    if (iscntrl(c)) c = ' ';
  }
  title.resize(60, ' ');
  return title;
}

double timevalue(const std::string& filename) {
  double time = 0.0;
  int status = 0;
  str2r8(trimview(plot_data.timestamp), time, &status);
  if (status != 0 || !std::isfinite(time)) {
    warningmsg("The time stamp \"" + std::string(trimview(plot_data.timestamp)) +
               "\" is not a number: TIME 0.0 is written to " + filename + ".");
    time = 0.0;
  }
  return time;
}

void writeheader(VtkText& out, const std::string& filename) {
  out.line("# vtk DataFile Version 1.0");
  out.line(titleline());
  out.line("ASCII");
  out.line("DATASET UNSTRUCTURED_GRID");
  out.line("FIELD FieldData 1");
  out.line("TIME 1 1 double");
  appendreal(out.text(), timevalue(filename), kVtkCoordinate);
  out.endline();
}

// The kept nodes' coordinates; false when one was not finite (0.0 written).
bool writepoints(VtkText& out, const DOMAIN& dom, const Entries& nodes) {
  const std::span<const double> coordinates[] = {dom.x, dom.y, dom.z};
  for (const auto& c : coordinates) nodes.checkvalues(c);
  out.pointsline(nodes.count());
  bool finite = true;
  const auto coordinate = [&finite](double v) {
    if (std::isfinite(v)) return v;
    finite = false;
    return 0.0;
  };
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes.keeps(i)) out.point(coordinate(dom.x[i]), coordinate(dom.y[i]), coordinate(dom.z[i]));
  }
  return finite;
}

struct CellShape {
  int nodes;  // node numbers written
  int type;   // VTK cell type
};

// Lines (3), triangles (5) for three nodes or a fourth node of 0, tetrahedra (10) for the
// other 4-node elements of "pm" and "dual" (solid), quadrilaterals (9) elsewhere, and
// hexahedra (12) for prisms (third and sixth nodes repeated) and blocks.
CellShape cellshape(const DOMAIN& dom, bool solid, std::size_t e) {
  switch (dom.nln) {
    case 2:
      return {2, 3};
    case 3:
      return {3, 5};
    case 4:
      if (dom.incidences[e * 4 + 3] == 0) return {3, 5};
      return solid ? CellShape{4, 10} : CellShape{4, 9};
    default:
      return {8, 12};
  }
}

void writecells(VtkText& out, const DOMAIN& dom, const Entries& elements, std::int32_t points) {
  const auto nln = static_cast<std::size_t>(std::max(dom.nln, 0));
  if (dom.incidences.size() < nln * elements.size()) {
    fatalerror("Element node lists of " + domainname(dom) + " domain are missing.");
  }
  const std::string_view name = trimview(dom.name);
  const bool solid = name == "pm" || name == "dual";
  std::int64_t entries = 0;
  for (std::size_t e = 0; e < elements.size(); ++e) {
    if (elements.keeps(e)) entries += cellshape(dom, solid, e).nodes + 1;
  }
  std::string line = "CELLS ";
  appendinteger(line, elements.count(), formatI(10));
  line += ' ';
  if (dom.nln == 6 || dom.nln == 8) {
    out.line(line);
    line.clear();
  }
  appendinteger(line, entries, formatI(10));
  out.line(line + " ");

  const std::vector<std::int32_t> ownnumbers = tecplotownnodenumbers(dom);
  std::vector<std::uint8_t> types;
  types.reserve(static_cast<std::size_t>(elements.count()));
  std::array<std::int32_t, 8> nodes{};
  for (std::size_t e = 0; e < elements.size(); ++e) {
    if (!elements.keeps(e)) continue;
    tecplotelemconnectivity(dom, static_cast<std::int32_t>(e + 1), nodes, ownnumbers);
    const CellShape shape = cellshape(dom, solid, e);
    std::string& text = out.text();
    text += static_cast<char>('0' + shape.nodes);
    for (int k = 0; k < shape.nodes; ++k) {
      const std::int32_t node = nodes[static_cast<std::size_t>(k)];
      if (node < 1 || node > points) {
        input_error("Element " + std::to_string(e + 1) + " of " + domainname(dom) + " domain refers to node " +
                    std::to_string(node) + " outside the file's 1 to " + std::to_string(points) + ".");
      }
      appendinteger(text, node - 1, formatI(10));
      text += ' ';
    }
    out.endline();
    types.push_back(static_cast<std::uint8_t>(shape.type));
  }

  out.line("");
  line = "CELL_TYPES ";
  appendinteger(line, elements.count(), formatI(10));
  out.line(line);
  for (const std::uint8_t type : types) out.line(std::to_string(type));
}

}  // namespace

// ---------------------------------------------------------------------------------------

bool write_paraview_darray(std::span<const double> values, std::int32_t n, const Mask& mask, VtkData kind,
                           std::string_view name, bool truncate, bool section, int unit) {
  return writescalars(values, n, mask, kind, name, truncate, section, unit, true);
}

bool write_paraview_array(std::span<const float> values, std::int32_t n, const Mask& mask, VtkData kind,
                          std::string_view name, bool truncate, bool section, int unit) {
  return writescalars(values, n, mask, kind, name, truncate, section, unit, false);
}

bool write_paraview_vector_array(std::span<const float> x, std::span<const float> y, std::span<const float> z,
                                 std::int32_t n, const Mask& mask, VtkData kind, std::string_view name, bool truncate,
                                 bool section, int unit) {
  return writevectors<float>({x, y, z}, n, mask, kind, name, truncate, section, unit);
}

bool write_paraview_vector_darray(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                                  std::int32_t n, const Mask& mask, VtkData kind, std::string_view name, bool truncate,
                                  bool section, int unit) {
  return writevectors<double>({x, y, z}, n, mask, kind, name, truncate, section, unit);
}

bool write_paraview_vector_2d_array(std::span<const float> x, std::span<const float> y, std::int32_t n,
                                    const Mask& mask, VtkData kind, std::string_view name, bool truncate, bool section,
                                    int unit) {
  return writevectors<float>({x, y}, n, mask, kind, name, truncate, section, unit);
}

bool write_paraview_vector_2d_darray(std::span<const double> x, std::span<const double> y, std::int32_t n,
                                     const Mask& mask, VtkData kind, std::string_view name, bool truncate, bool section,
                                     int unit) {
  return writevectors<double>({x, y}, n, mask, kind, name, truncate, section, unit);
}

std::string vtkarrayname(std::string_view name) {
  if (name.empty()) return "unnamed";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 33 || code > 126 || c == '%' || c == '"') {
      out += '%';
      out += kHex[code >> 4];
      out += kHex[code & 15];
    } else {
      out += c;
    }
  }
  return out;
}

void multiparaview(const DOMAIN& dom) {
  const std::string_view name = trimview(dom.name);
  plot_data.filename = prefixtext() + "o." + std::string(name) + "." +
                       std::string(trimview(plot_data.nfs)) + ".vtk";
  const std::string filename = plot_data.filename;
  // Elements of another node count have no VTK cell: stop before any file is made.
  if (zonetypecode(dom.nln, name) == 0) {
    input_error("Unsupported number of nodes per element (" + std::to_string(dom.nln) + ") in " + domainname(dom) +
                " domain.");
  }
  if (plot_data.nfile == 1) {
    write_rule();
    write_string(std::string(name) + " data to paraview");
    // The name as its 300-character field holds it, blank-padded.
    std::string field = filename;
    if (field.size() < 300) field.resize(300, ' ');
    write_string("Creating paraview file " + field);
  }
  UnitHandle file = UnitHandle::take();
  checkfileopen(openunit(file.unit(), filename, FileForm::formatted, OpenStatus::replace), filename);

  const Entries nodes(dom.nn, dom.nodemask, dom.truncate, "POINTS", file.unit());
  const Entries elements(dom.ne, dom.elemmask, dom.truncate, "CELLS", file.unit());
  VtkFile vtk(dom, file.unit());
  VtkText out(file.unit());
  writeheader(out, filename);
  if (!writepoints(out, dom, nodes)) vtk.notfinite("POINTS");
  out.line("");
  writecells(out, dom, elements, nodes.count());
  out.flush();
  const unsigned bit = domainbit(name);
  for (const ArrayRow& row : kArrays) {
    if ((row.domains & bit) != 0 && row.when(dom)) vtk.write(row);
  }
  out.close();
  file.release();
  vtk.report(filename);
}

}  // namespace kelpra
