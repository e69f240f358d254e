// The quantities read from one result file per output time: nodal and element scalars,
// element vectors and the cut-off wall markers, one row each; and the engine that handles
// every row.
#include "variables/quantities.hpp"

#include <algorithm>
#include <span>
#include <string>

#include "plot/modelfiles.hpp"
#include "plot/readservices.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "support/units.hpp"

namespace kelpra {
namespace {

template <class T>
using FieldOf = std::vector<T> DOMAIN::*;

template <class T>
std::vector<T>& arrayof(DOMAIN& dom, const QuantityMember& m) {
  return dom.*std::get<FieldOf<T>>(m.values);
}

// Reads the quantity's file into its arrays, one component per member.
template <class T>
void readmembers(const Quantity& q, DOMAIN& dom, std::int32_t n, const std::string& fname) {
  std::vector<T>& a = arrayof<T>(dom, q.members[0]);
  if constexpr (std::is_same_v<T, std::int32_t>) {
    if (q.count == 1) return read_ivar4(n, fname, a);
  } else {
    constexpr bool single = std::is_same_v<T, float>;
    const auto at = [&](std::size_t k) -> std::vector<T>& { return arrayof<T>(dom, q.members[k]); };
    if (q.count == 1) {
      if constexpr (single) read_var4(n, fname, a); else read_var8(n, fname, a);
      return;
    }
    if (q.count == 2) {
      if constexpr (single) read_2d_vec4(n, fname, a, at(1)); else read_2d_vec8(n, fname, a, at(1));
      return;
    }
    if (q.count == 3) {
      if constexpr (single) read_vec4(n, fname, a, at(1), at(2)); else read_vec8(n, fname, a, at(1), at(2));
      return;
    }
    if constexpr (!single) {
      if (q.count == 6) return read_tensor8(n, fname, {&a, &at(1), &at(2), &at(3), &at(4), &at(5)});
    }
  }
  fatalerror("Quantity " + std::string(q.root) + " with " + std::to_string(q.count) + " components has no reader.");
}

void readfile(const Quantity& q, DOMAIN& dom, const std::string& fname) {
  const std::int32_t n = q.cellcentred ? dom.ne : dom.nn;
  switch (q.kind) {
    case ValueKind::r4: readmembers<float>(q, dom, n, fname); break;
    case ValueKind::r8: readmembers<double>(q, dom, n, fname); break;
    case ValueKind::i4: readmembers<std::int32_t>(q, dom, n, fname); break;
  }
}

std::span<const QuantityMember> membersof(const Quantity& q) {
  return std::span<const QuantityMember>(q.members).first(static_cast<std::size_t>(std::clamp(q.count, 1, 6)));
}

// A later time's file: its values, and the cell-centred marks of the zone written next.
void loadfile(const Quantity& q, DOMAIN& dom, const std::string& fname) {
  readfile(q, dom, fname);
  if (q.cellcentred) {
    for (const QuantityMember& m : membersof(q)) markcellcentred(dom, dom.*m.var);
  }
}

// The quantity's file at the current output time, or the one its initialiser reads.
const std::string& filenameof(const Quantity& q, const DOMAIN& dom, bool first) {
  if (q.filename == FileName::domain || (q.filename == FileName::firstindex && !first)) {
    return quantityfilename(q.root, dom);
  }
  plot_data.filename = prefixtext();
  plot_data.filename += q.root;
  if (q.filename == FileName::nodomain) {
    plot_data.filename += plot_data.nfs;
  } else {
    plot_data.filename += trimview(dom.name);
    plot_data.filename += '.';
    plot_data.filename += outputtimeindex(1);
  }
  return plot_data.filename;
}

}  // namespace

bool quantityfirstfile(const Quantity& q, DOMAIN& dom, std::span<const std::string_view> derived) {
  bool& avail = dom.*q.avail;
  filenameof(q, dom, true);
  if (q.filename == FileName::firstindex) {
    avail = fileexists(plot_data.filename);
  } else {
    std::vector<std::string_view> names;
    for (const QuantityMember& m : membersof(q)) names.push_back(m.name);
    names.insert(names.end(), derived.begin(), derived.end());
    checkfileinit(plot_data.filename, avail, names);
    if (avail && q.found != nullptr && !q.isstatic) notefoundfile(plot_data.filename, names);
  }
  return avail;
}

void quantitysetup(const Quantity& q, DOMAIN& dom, const std::string& fname) {
  const std::int32_t n = std::max(q.cellcentred ? dom.ne : dom.nn, 0);
  for (const QuantityMember& m : membersof(q)) {
    std::visit([&](auto field) { allocatearray(dom.*field, n, q.allocation); }, m.values);
  }
  for (const QuantityMember& m : membersof(q)) tecplotvaradd(m.name, dom.nvar, dom.*m.var, dom.varlist);
  readfile(q, dom, fname);
  for (const QuantityMember& m : membersof(q)) tecplotdatatype(dom.*m.var, datatypecode(q.kind), dom);
  if (!q.units.empty()) {
    if (q.temperature) settempunitstoc();
    for (const QuantityMember& m : membersof(q)) tecplotvarunitsadd(m.name, dom.*m.var, q.units, dom);
  }
  if (q.cellcentred) {
    for (const QuantityMember& m : membersof(q)) tecplotvarlocccadd(dom.*m.var, dom);
  }
  // A common-node domain's own nodal values run over its own nodes, not the pm nodes.
  const Source source = !q.cellcentred && dom.coupling != 1 ? Source::ownpm : Source::own;
  for (const QuantityMember& m : membersof(q)) {
    std::visit([&](auto field) { addzonearray(dom, dom.*m.var, m.label, field, q.cellcentred, source, q.isstatic); },
               m.values);
  }
}

void quantityinit(const Quantity& q, DOMAIN& dom, std::span<const std::string_view> derived) {
  if (!quantityfirstfile(q, dom, derived)) return;
  const std::string fname = plot_data.filename;
  quantitysetup(q, dom, fname);
}

void quantityload(const Quantity& q, DOMAIN& dom) { loadfile(q, dom, filenameof(q, dom, false)); }

void quantityshare(const Quantity& q, DOMAIN& dom) {
  for (const QuantityMember& m : membersof(q)) sharewithzone1(dom, dom.*m.var, q.cellcentred);
}

bool quantityregistered(const Quantity& q, const DOMAIN& dom) { return dom.*q.members[0].var > 0; }

void quantityread(const Quantity& q, DOMAIN& dom) {
  if (q.found == nullptr) fatalerror("Time-invariant quantity " + std::string(q.root) + " has no reader.");
  bool& found = dom.*q.found;
  filenameof(q, dom, false);
  if (q.retry) {
    checkfileinit(plot_data.filename, found);
  } else {
    found = fileexists(plot_data.filename);
  }
  if (found) {
    loadfile(q, dom, plot_data.filename);  // in append mode perhaps the first output time's file
  } else {
    // Without a file at the first time ("Zone" from the mesh), a later one is not missed.
    if (dom.*q.avail) notemissing(dom, plot_data.filename, q.found);
    quantityshare(q, dom);
  }
}

namespace rows {
namespace {

using K = ValueKind;
using D = DOMAIN;

// Nodal scalars.
const Quantity inchead{"o.incised_head_", K::r8, false, {{{&D::inchead, &D::incheadvar, "Incised Head", "incised head"}}},
                       1, &D::incheadavail, &D::incheadfound, "L", "incised head array"};
const Quantity maxwaterdepth{"o.max_depth_", K::r8, false,
                             {{{&D::maxwaterdepth, &D::maxwaterdepthvar, "MaxDepth", "max water depth"}}}, 1,
                             &D::maxwaterdepthavail, &D::maxwaterdepthfound, "L", "max depth array", true};
const Quantity envh{"o.envhead_", K::r8, false,
                    {{{&D::envh, &D::envhvar, "Environmental Head", "environmental head"}}}, 1, &D::envhavail,
                    &D::envhfound, "L", "environmental head array"};
const Quantity sat{"o.sat_", K::r4, false, {{{&D::sat, &D::satvar, "Sat", "saturation"}}}, 1, &D::satavail,
                   &D::satfound, "1", "saturation array"};
const Quantity vwc{"o.vwc_", K::r8, false, {{{&D::vwc, &D::vwcvar, "VWC", "volumetric water content"}}}, 1,
                   &D::vwcavail, &D::vwcfound, "1", "volumetric water content array", true};
const Quantity icesat{"o.ice_sat_", K::r4, false, {{{&D::icesat, &D::icesatvar, "IceSat", "ice saturation"}}}, 1,
                      &D::icesatavail, &D::icesatfound, "1", "ice saturation array"};
const Quantity icesatdual{"o.ice_sat_", K::r4, false,
                          {{{&D::icesatdual, &D::icesatdualvar, "IceSatDual", "ice saturation dual"}}}, 1,
                          &D::icesatdualavail, &D::icesatdualfound, "1", "dual ice saturation array"};
const Quantity freezethawtemp{"o.freeze_thaw_temp_", K::r8, false,
                              {{{&D::freezethawtemp, &D::freezethawtempvar, "Temperature",
                                 "freezing-thawing temperature"}}},
                              1, &D::freezethawtempavail, &D::freezethawtempfound, "K",
                              "freezing-thawing temperature array", false, true};
const Quantity newtonresid{"o.newton_residual_", K::r8, false,
                           {{{&D::newtonresid, &D::newtonresidvar, "Newton Residual", "newton residual"}}}, 1,
                           &D::newtonresidavail, &D::newtonresidfound, "L^3 * T^-1", "Newton residual array"};
const Quantity flowrate{"o.flow_rate_", K::r8, false, {{{&D::flowrate, &D::flowratevar, "Flow Rate", "flow rate"}}},
                        1, &D::flowrateavail, &D::flowratefound, "L^3 * T^-1", "flow rate array"};
const Quantity fluiddensity{"o.fluid_density_", K::r8, false,
                            {{{&D::fluiddensity, &D::fluiddensityvar, "Fluid Density", "Fluid Density"}}}, 1,
                            &D::fluiddensityavail, &D::fluiddensityfound, "M * L^-3", "fluid density array"};
const Quantity specflux{"o.flux_", K::r8, false,
                        {{{&D::specflux, &D::specfluxvar, "Specified Flux", "Specified Flux"}}}, 1,
                        &D::specfluxavail, &D::specfluxfound, "L * T^-1", "specified flux array"};
const Quantity rain{"o.Rain_", K::r8, false, {{{&D::rain, &D::rainvar, "Rain", "Rain"}}}, 1, &D::rainavail,
                    &D::rainfound, "L * T^-1", "rain array"};
const Quantity npet{"o.PET_", K::r8, false, {{{&D::npet, &D::npetvar, "nodal PET", "Nodal PET"}}}, 1, &D::npetavail,
                    &D::npetfound, "L * T^-1", "nodal PET array"};

// Element scalars.
const Quantity tvpor{"o.tv_por_", K::r4, true,
                     {{{&D::tvpor, &D::tvporvar, "Time Varying Porosity", "tvPor (cell centred)"}}}, 1,
                     &D::tvporavail, &D::tvporfound, "1", "time varying porosity array"};
const Quantity tvstor{"o.tv_stor_", K::r8, true,
                      {{{&D::tvstor, &D::tvstorvar, "Time Varying SpStor", "tvStor (cell centred)"}}}, 1,
                      &D::tvstoravail, &D::tvstorfound, "L^-1", "time varying specific storage array"};
const Quantity mineadv{"o.mine_advance_", K::i4, true,
                       {{{&D::mineadv, &D::mineadvvar, "mine_advance", "mine_advance (cell centred)"}}}, 1,
                       &D::mineadvavail, &D::mineadvfound, "", "mine-advance array"};
const Quantity permafrost{"o.permafrost_", K::r4, true,
                          {{{&D::permafrost, &D::permafrostvar, "Permafrost", "Permafrost (cell centred)"}}}, 1,
                          &D::permafrostavail, &D::permafrostfound, "L * T^-1", "permafrost array"};
const Quantity localprob{"o.lp_", K::r8, true,
                         {{{&D::localprob, &D::localprobvar, "LocationProbability",
                            "location probability (cell centred)"}}},
                         1, &D::localprobavail, &D::localprobfound, "L^-3", "local probability array"};

// Element vectors.
const Quantity vel{"o.v_", K::r4, true,
                   {{{&D::vx, &D::vxvar, "Vx", "x linear velocity (cell centred)"},
                     {&D::vy, &D::vyvar, "Vy", "y linear velocity (cell centred)"},
                     {&D::vz, &D::vzvar, "Vz", "z linear velocity (cell centred)"}}},
                   3, &D::velavail, &D::velfound, "L * T^-1", "velocity arrays"};
const Quantity flux{"o.q_", K::r4, true,
                    {{{&D::qx, &D::qxvar, "qx", "x flux (cell centred)"},
                      {&D::qy, &D::qyvar, "qy", "y flux (cell centred)"},
                      {&D::qz, &D::qzvar, "qz", "z flux (cell centred)"}}},
                    3, &D::fluxavail, &D::fluxfound, "L * T^-1", "Darcy velocity arrays"};
const Quantity tvk{"o.tvk_", K::r4, true,
                   {{{&D::tvkx, &D::tvkxvar, "Time Varying Kxx", "tvkx (cell centred)"},
                     {&D::tvky, &D::tvkyvar, "Time Varying Kyy", "tvky (cell centred)"},
                     {&D::tvkz, &D::tvkzvar, "Time Varying Kzz", "tvkz (cell centred)"}}},
                   3, &D::tvkavail, &D::tvkfound, "L * T^-1", "time varying K arrays"};
const Quantity friction{"o.friction_", K::r8, true,
                        {{{&D::xfriction, &D::xfrictionvar, "nx", "x friction (cell centred)"},
                          {&D::yfriction, &D::yfrictionvar, "ny", "y friction (cell centred)"}}},
                        2, &D::frictionavail, &D::frictionfound, "L^-1/3 * T", "xfriction and yfriction arrays"};

// Cut-off wall markers, read at the first time only.
const Quantity wallnode{"o.wall_node_", K::i4, false,
                        {{{&D::wallnode, &D::wallnodevar, "Wall Node Number", "Wall Node Number"}}}, 1,
                        &D::wallnodeavail, nullptr, "", "Cutoff wall node array", false, false, true};
const Quantity wallelem{"o.wall_elem_", K::i4, true,
                        {{{&D::wallelem, &D::wallelemvar, "Wall Element Label", "Wall Element Label"}}}, 1,
                        &D::wallelemavail, nullptr, "", "Cutoff wall element array", false, false, true};

}  // namespace
}  // namespace rows

#define KELPRA_DEFINE_FILE_QUANTITY(q)                          \
  void q##init(DOMAIN& dom) { quantityinit(rows::q, dom); } \
  void q##read(DOMAIN& dom) { quantityread(rows::q, dom); }
KELPRA_FILE_QUANTITIES(KELPRA_DEFINE_FILE_QUANTITY)
#undef KELPRA_DEFINE_FILE_QUANTITY

void cutoffwallinit(DOMAIN& dom) {
  quantityinit(rows::wallnode, dom);
  quantityinit(rows::wallelem, dom);
}

}  // namespace kelpra
