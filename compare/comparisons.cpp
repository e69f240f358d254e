#include "compare/comparisons.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "compare/location.hpp"
#include "plot/modelfiles.hpp"
#include "plot/nodesearch.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textformats.hpp"
#include "support/textview.hpp"
#include "support/units.hpp"

namespace kelpra {
namespace {

constexpr char kQuote = '"';

std::string quoted(std::string_view text) { return kQuote + std::string(text) + kQuote; }

// How one comparison names and titles its two files. The head comparisons title their data
// zone "data" and write "Title" and "Zone" in mixed case; the water-table ones title it by the
// last output time and write "TITLE" and "ZONE".
struct Layout {
  std::string_view comparison;  // file names after the prefix
  std::string_view scatter;
  std::string_view observed;  // variable labels
  std::string_view simulated;
  std::string_view scattertitle;
  bool watertable;
  std::string_view what;  // the comparison, for warnings
};

constexpr std::string_view kHeadsScatterTitle = "Observed vs simulated heads scatter plot";
constexpr Layout kHeads{"o.compare_heads.dat", "o.compare_heads_scatter.dat", "Observed head", "Simulated head",
                        kHeadsScatterTitle, false, "The head comparison"};
constexpr Layout kSurfaceDepth{"o.compare_swdepth_olf.dat", "o.compare_swdepth_scatter_olf.dat", "Observed depth olf",
                               "Simulated depth olf", kHeadsScatterTitle, false, "The surface water depth comparison"};
constexpr Layout kElevation{"o.compare_GWTable_Elevation.dat", "o.compare_GWTable_Elevation_scatter.dat",
                            "Observed GWT elevation", "Simulated GWT elevation", kHeadsScatterTitle, true,
                            "The water table elevation comparison"};
constexpr Layout kDepth{"o.compare_Depth2GWTable.dat", "o.compare_D2GWT_scatter.dat", "Observed Depth2GWT",
                        "Simulated Depth2GWT", "Observed vs simulated D2GWT plot", true,
                        "The depth to water table comparison"};

// Values in free format: each after a blank, with 17 significant digits.
std::string freeline(std::initializer_list<double> values) {
  std::string line;
  for (const double v : values) {
    line += ' ';
    appendreal(line, v, formatES(24, 16, 3));
  }
  return line;
}

// The comparison and scatter files of one comparison, and its sums.
class ComparisonFiles {
 public:
  explicit ComparisonFiles(const Layout& layout) : layout_(layout) {
    const std::string prefix = prefixtext();
    const std::string units = parseunits("L");
    const std::string_view obs = layout.observed, sim = layout.simulated;

    comparison_ = open(prefix + std::string(layout.comparison));
    put(comparison_, "TITLE = " + quoted(prefix));
    variables(comparison_, {obs, sim}, units);
    put(comparison_, "ZONE T=" + quoted(layout.watertable ? trimview(plot_data.lasttimestamp) : "data"));

    scatter_ = open(prefix + std::string(layout.scatter));
    put(scatter_, (layout.watertable ? "TITLE = " : "Title = ") + quoted(layout.scattertitle));
    variables(scatter_, {"X", "Y", "Z", obs, sim, "Diff"}, units);
    put(scatter_, "ZONE T=" + quoted("data"));
  }

  // One counted point; z is the scatter file's Z.
  void add(double x, double y, double z, double observed, double simulated) {
    observedvalues_.push_back(observed);
    sumobserved_ += observed;
    const double residual = observed - simulated;
    sumsquaredresiduals_ += residual * residual;
    put(comparison_, freeline({observed, simulated}));
    std::string line;
    for (const double v : {x, y, z, observed, simulated, simulated - observed}) appendreal(line, v, formatE(20, 8));
    put(scatter_, line);
    low_ = std::min({low_, observed, simulated});
    high_ = std::max({high_, observed, simulated});
  }

  // The one-to-one line and R-squared; closes both files.
  void finish() {
    const auto count = static_cast<double>(observedvalues_.size());
    const double mean = sumobserved_ / count;
    double total = 0.0;
    for (const double o : observedvalues_) total += (o - mean) * (o - mean);
    const double r2 = 1.0 - sumsquaredresiduals_ / total;
    put(comparison_, "ZONE T=" + quoted("straight line"));
    put(comparison_, freeline({low_, low_}));
    put(comparison_, freeline({high_, high_}));
    std::string title = "R<sup>2</sup> =";
    appendreal(title, r2, formatF(10, 4));
    put(comparison_, (layout_.watertable ? "ZONE T=" : "Zone T=") + quoted(title));
    put(comparison_, freeline({r2, r2}));
    close(comparison_);
    close(scatter_);
    if (observedvalues_.empty()) {
      warningmsg(std::string(layout_.what) + " counted no observation point: its R-squared is not a number.");
    }
  }

 private:
  static UnitHandle open(const std::string& name) {
    UnitHandle unit = UnitHandle::take();
    checkfileopen(openunit(unit.unit(), name, FileForm::formatted, OpenStatus::staged), stagedname(name));
    return unit;
  }
  // The file takes its name here; until then an earlier one of the name stays whole.
  static void close(UnitHandle& unit) {
    const std::string name = unitfilename(unit.unit());
    const int status = closeunit(unit.unit());
    unit.release();
    checkfilewrite(status, name);
  }
  static void put(const UnitHandle& unit, std::string_view line) {
    checkfilewrite(writeline(unit.unit(), line), unitfilename(unit.unit()));
  }
  // The variables line, the metadata and every variable's units.
  static void variables(const UnitHandle& unit, std::initializer_list<std::string_view> labels,
                        const std::string& units) {
    std::string line = "VARIABLES = ";
    for (const std::string_view label : labels) line += quoted(label) + ",";
    line.pop_back();
    put(unit, line);
    tecplotmetadataascii(unit.unit());
    for (const std::string_view label : labels) put(unit, "# " + std::string(label) + " units: " + units);
    for (std::size_t v = 1; v <= labels.size(); ++v) {
      put(unit, "VARAUXDATA " + std::to_string(v) + " Units=" + quoted(units));
    }
  }

  const Layout& layout_;
  UnitHandle comparison_, scatter_;
  std::vector<double> observedvalues_;
  double sumobserved_ = 0.0;
  double sumsquaredresiduals_ = 0.0;
  double low_ = 1.0e20;
  double high_ = -1.0e20;
};

// Every comparison leaves the observation set released, however it ends.
struct ObservationRelease {
  ObservationRelease() = default;
  ObservationRelease(const ObservationRelease&) = delete;
  ObservationRelease& operator=(const ObservationRelease&) = delete;
  ~ObservationRelease() { releaseobservations(); }
};

std::size_t nodecount(const DOMAIN& dom) { return static_cast<std::size_t>(std::max(dom.nn, 0)); }

bool hascoordinates(const DOMAIN& dom) {
  const std::size_t nn = nodecount(dom);
  return dom.x.size() >= nn && dom.y.size() >= nn && dom.z.size() >= nn;
}

// Whether the domain holds a value per node; when not, the comparison is skipped with a warning.
template <class T>
bool hasvalues(const DOMAIN& dom, const std::vector<T>& values, std::string_view what, std::string_view missing) {
  if (dom.nn >= 1 && values.size() >= nodecount(dom)) return true;
  warningmsg(std::string(what) + " is skipped: the " + domainname(dom) + " domain holds no " + std::string(missing) +
             " at the last output time.");
  return false;
}

bool hasnodecoordinates(const DOMAIN& dom, std::string_view what) {
  if (hascoordinates(dom)) return true;
  warningmsg(std::string(what) + " is skipped: the " + domainname(dom) + " domain has no node coordinates of its own.");
  return false;
}

void warnunmatched(std::string_view what, std::int32_t unmatched) {
  if (unmatched == 0) return;
  warningmsg(std::string(what) + " left out " + std::to_string(unmatched) +
             " observation points that no node of the mesh is near.");
}

struct Window {
  double xmin, xmax, ymin, ymax, zmin, zmax;
  bool holds(double x, double y, double z) const {
    return xmin <= x && x <= xmax && ymin <= y && y <= ymax && zmin <= z && z <= zmax;
  }
};

// The heads of "pm", or the surface-water depths of "olf", against their observations.
template <class T>
void compareheads(const DOMAIN& dom, const std::vector<T>& values, const Layout& layout, const Window& window,
                  bool olf) {
  const PlotData& pd = plot_data;
  const std::size_t n = pd.xob.size();
  const bool bricks = dom.nln == 8 && !olf;
  if (!bricks && !hasnodecoordinates(dom, layout.what)) return;
  ComparisonFiles files(layout);
  std::int32_t unmatched = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = pd.xob[i], y = pd.yob[i], z = pd.zob[i];
    if (pd.obs_el[i] == -1 || !window.holds(x, y, z)) continue;
    double simulated = 0.0;
    double zscatter = z;
    if (bricks && pd.obs_el[i] >= 1) {
      std::array<double, 8> nodal{};
      const std::int32_t* nodes = dom.incidences.data() + static_cast<std::size_t>(pd.obs_el[i] - 1) * 8;
      for (std::size_t k = 0; k < 8; ++k)
        nodal[k] = static_cast<double>(values[static_cast<std::size_t>(nodes[k] - 1)]);
      simulated = dfe_interp(pd.basisfunctions[i], nodal);
    } else {
      std::int32_t node = 0;
      if (olf) {
        find_node_xy(x, y, node, dom);
      } else {
        find_node(x, y, z, node, dom);
      }
      if (node < 1) {
        ++unmatched;
        continue;
      }
      const auto k = static_cast<std::size_t>(node - 1);
      simulated = static_cast<double>(values[k]);
      if (olf) zscatter = dom.z[k];
    }
    files.add(x, y, zscatter, pd.hob[i], simulated);
  }
  files.finish();
  warnunmatched(layout.what, unmatched);
}

// Water-table elevations (elevation true) or depths to the water table of "pm".
void comparewatertable(const DOMAIN& pm, const Layout& layout, bool elevation) {
  const PlotData& pd = plot_data;
  if (!hasvalues(pm, pm.depth2gwt, layout.what, "depths to the water table (\"Depth2GWT\")") ||
      !hasnodecoordinates(pm, layout.what)) {
    return;
  }
  const std::size_t nn = nodecount(pm);
  const bool topography = pm.writetvtopo && pm.tvtopoavail && pm.tvtopoz.size() >= nn;
  ComparisonFiles files(layout);
  std::int32_t unmatched = 0;
  for (std::size_t i = 0; i < pd.xob.size(); ++i) {
    std::int32_t node = 0;
    find_top_surface_node_from_xy(pd.xob[i], pd.yob[i], node, pm);
    if (node < 1) {
      ++unmatched;
      continue;
    }
    const auto k = static_cast<std::size_t>(node - 1);
    const double ground = topography ? pm.tvtopoz[k] : pm.z[k];
    const double simulated = elevation ? ground - pm.depth2gwt[k] : pm.depth2gwt[k];
    files.add(pd.xob[i], pd.yob[i], pm.z[k], pd.hob[i], simulated);
  }
  files.finish();
  warnunmatched(layout.what, unmatched);
}

}  // namespace

void compare_heads_output(DOMAIN& dom) {
  const ObservationRelease release;
  const PlotData& pd = plot_data;
  if (trimview(dom.name) == "olf") {
    if (!hasvalues(dom, dom.depth, kSurfaceDepth.what, "surface water depths")) return;
    const Window window{pd.xmin_trunc_h_olf, pd.xmax_trunc_h_olf, pd.ymin_trunc_h_olf,
                        pd.ymax_trunc_h_olf, pd.zmin_trunc_h_olf, pd.zmax_trunc_h_olf};
    compareheads(dom, dom.depth, kSurfaceDepth, window, true);
    return;
  }
  if (!hasvalues(dom, dom.head, kHeads.what, "heads")) return;
  const Window window{pd.xmin_trunc_h, pd.xmax_trunc_h, pd.ymin_trunc_h,
                      pd.ymax_trunc_h, pd.zmin_trunc_h, pd.zmax_trunc_h};
  compareheads(dom, dom.head, kHeads, window, false);
}

void compare_gwtable_elevation_output(DOMAIN& pm) {
  const ObservationRelease release;
  comparewatertable(pm, kElevation, true);
}

void compare_deth2gwtable_output(DOMAIN& pm) {
  const ObservationRelease release;
  comparewatertable(pm, kDepth, false);
}

namespace {

// The comparisons in the order the run writes them, by the setting that switches each on.
const std::pair<bool PlotData::*, const Layout*> kComparisons[] = {
    {&PlotData::compare_heads_3d_domain, &kHeads},
    {&PlotData::compare_gwtable_elev, &kElevation},
    {&PlotData::compare_deth2gwtable, &kDepth},
    {&PlotData::compare_surface_water_depth, &kSurfaceDepth}};

}  // namespace

std::array<std::string, 2> comparisonpair(bool PlotData::*setting) {
  for (const auto& [on, layout] : kComparisons) {
    if (on == setting) {
      return {prefixtext() + std::string(layout->comparison), prefixtext() + std::string(layout->scatter)};
    }
  }
  return {};
}

std::vector<std::string> comparisonfiles() {
  std::vector<std::string> files;
  for (const auto& [on, layout] : kComparisons) {
    if (!(plot_data.*on)) continue;
    for (std::string& file : comparisonpair(on)) files.push_back(std::move(file));
  }
  return files;
}

}  // namespace kelpra
