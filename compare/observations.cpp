// The observation files: a count, then one free-format record per point.
#include <new>
#include <string>
#include <type_traits>

#include "compare/comparisons.hpp"
#include "compare/location.hpp"
#include "plot/modelfiles.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

// One free-format read of n fields; a file that ends early stops the run with the read error.
void readfields(int unit, const std::string& name, std::size_t n, FreeFields& fields) {
  const int status = readfreefields(unit, n, fields);
  if (status != 0) checkfileread(status == kStatusEndOfFile ? kStatusEndOfFileInRead : status, name);
}

// Field k as a number; a field that is missing or not a number stops the run with the read
// error.
template <class T>
T fieldvalue(const FreeFields& fields, std::size_t k, const std::string& name) {
  T value{};
  const std::string* field = freefield(fields, k);
  int bad = field != nullptr ? 0 : kStatusBadListInput;
  if (bad == 0) {
    if constexpr (std::is_same_v<T, std::int32_t>) {
      str2i4(*field, value, &bad);
    } else {
      str2r8(*field, value, &bad);
    }
  }
  if (bad != 0) checkfileread(kStatusBadListInput, name);
  return value;
}

// Fills the observation set from the file: x, y, z and the value per point with `withz`, else
// x, y and the value with z 0. The arrays grow as points are read, so a count larger than the
// file holds ends in the read error rather than in a huge allocation.
void readobservations(const std::string& name, bool withz, std::string_view what) {
  PlotData& pd = plot_data;
  releaseobservations();
  UnitHandle unit = UnitHandle::take();
  checkfileopen(openunit(unit.unit(), name, FileForm::formatted, OpenStatus::old), name);
  FreeFields fields;
  readfields(unit.unit(), name, 1, fields);
  const auto count = fieldvalue<std::int32_t>(fields, 0, name);

  const auto n = static_cast<std::size_t>(std::max(count, 0));
  const std::size_t perpoint = withz ? 4 : 3;
  checkedalloc(what, [&] {
    for (std::size_t i = 0; i < n; ++i) {
      readfields(unit.unit(), name, perpoint, fields);
      double values[4] = {0, 0, 0, 0};
      for (std::size_t k = 0; k < perpoint; ++k) values[k] = fieldvalue<double>(fields, k, name);
      pd.xob.push_back(values[0]);
      pd.yob.push_back(values[1]);
      pd.zob.push_back(withz ? values[2] : 0.0);
      pd.hob.push_back(withz ? values[3] : values[2]);
    }
  });
  unit.release();
  pd.nobs_head = static_cast<std::int32_t>(n);
  // Without a location step every point counts as located, with zero weights.
  allocatearray(pd.basisfunctions, static_cast<std::int64_t>(n), what);
  allocatearray(pd.obs_el, static_cast<std::int64_t>(n), what);
}

}  // namespace

void read_obs_heads_xyz(DOMAIN& pm) {
  if (trimview(pm.name) != "pm") input_error("Porous medium domain expected.");
  readobservations(prefixtext() + ".observed_heads", true, "observation data for observed heads");
  if (pm.nln == 8) obs_points_shape(pm);
}

void read_obs_heads_xy(DOMAIN& dom) {
  const std::string root = trimview(dom.name) == "olf" ? "observed_heads_olf" : "observed_heads";
  readobservations(prefixtext() + "." + root, false, "observation data for " + root);
}

void read_d2gwt_heads(DOMAIN&) {
  const std::string root = "observed_d2gwt";
  readobservations(prefixtext() + "." + root, false, "observation data for " + root);
}

void releaseobservations() {
  PlotData& pd = plot_data;
  pd.nobs_head = 0;
  pd.xob = {};
  pd.yob = {};
  pd.zob = {};
  pd.hob = {};
  pd.basisfunctions = {};
  pd.obs_el = {};
}

}  // namespace kelpra
