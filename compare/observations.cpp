// The observation files: a count, then one free-format record per point.
#include <new>
#include <string>

#include "compare/comparisons.hpp"
#include "compare/location.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

// One free-format record of values.size() numbers; a file that ends early or a value that is
// not a number stops the run with the read error.
void readrecord(int unit, const std::string& name, std::span<double> values) {
  FreeFields fields;
  const int status = readfreefields(unit, values.size(), fields);
  if (status != 0) checkfileread(status == kStatusEndOfFile ? kStatusEndOfFileInRead : status, name);
  for (std::size_t k = 0; k < values.size(); ++k) {
    int bad = 0;
    if (k >= fields.size() || !fields[k]) {
      bad = kStatusBadListInput;
    } else {
      str2r8(*fields[k], values[k], &bad);
    }
    if (bad != 0) checkfileread(kStatusBadListInput, name);
  }
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
  std::int32_t count = 0;
  if (const int status = readfreefields(unit.unit(), 1, fields); status != 0) {
    checkfileread(status == kStatusEndOfFile ? kStatusEndOfFileInRead : status, name);
  }
  int bad = fields.empty() || !fields[0] ? kStatusBadListInput : 0;
  if (bad == 0) str2i4(*fields[0], count, &bad);
  if (bad != 0) checkfileread(kStatusBadListInput, name);

  const auto n = static_cast<std::size_t>(std::max(count, 0));
  double values[4] = {0, 0, 0, 0};
  const std::span<double> record(values, withz ? 4 : 3);
  try {
    for (std::size_t i = 0; i < n; ++i) {
      readrecord(unit.unit(), name, record);
      pd.xob.push_back(values[0]);
      pd.yob.push_back(values[1]);
      pd.zob.push_back(withz ? values[2] : 0.0);
      pd.hob.push_back(withz ? values[3] : values[2]);
    }
  } catch (const std::bad_alloc&) {
    check_alloc(kStatusNoMemory, what);
  }
  unit.release();
  pd.nobs_head = static_cast<std::int32_t>(n);
  // Without a location step every point counts as located, with zero weights.
  allocatearray(pd.basisfunctions, static_cast<std::int64_t>(n), what);
  allocatearray(pd.obs_el, static_cast<std::int64_t>(n), what);
}

std::string prefixtext() { return std::string(trimview(plot_data.prefix)); }

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
