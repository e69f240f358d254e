// The output-variable handlers: for every kind of simulator output an initialiser, run at
// the first accepted output time, and a reader, run at every later one.
//
// Every registered variable also gets a zone array: how its values are written into a zone.
// The driver writes the zone arrays in variable-number order, skipping those the zone shares
// with zone 1, so that every variable of every zone is written or shared exactly once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plot/modelfiles.hpp"
#include "plot/plotdata.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"

namespace kelpra {

// ---- Framework -------------------------------------------------------------------------------

// Tests whether `filename` exists; in binary append mode a missing file is replaced by the
// file of the appended data set's first output time. A file missing at the first output time
// is recorded with the `variables` it would give, and warned of where the next output time has
// it: its quantity is left out of the whole data set.
void checkfileinit(std::string& filename, bool& exists, std::span<const std::string_view> variables = {});

// The result files that checkfileinit looked for at the first output time and did not find,
// since the last call.
std::vector<NotFound> takefilesnotfound();
// Notes a result file of the first output time that exists and is read again at every later
// one, with the variables it gives: a later output time without it repeats their values of
// zone 1. A file taken in place of another (append mode) is not noted.
void notefoundfile(const std::string& file, std::span<const std::string_view> variables);
// The files notefoundfile noted since the last call.
std::vector<NotFound> takefilesfound();

// The file of quantity root R ("o.head_") for the domain at the current output time:
// prefix, R, domain name, ".", output-time index. Also stored in plot_data.filename.
const std::string& quantityfilename(std::string_view root, const DOMAIN& dom);

enum class ValueKind { r4, r8, i4 };
// The writer's data-type code of a kind.
std::int32_t datatypecode(ValueKind kind);

// Sizes a value array of the record to n entries; a failure is the allocation report `what`.
template <class T>
void sizearray(std::vector<T>& values, std::int32_t n, std::string_view what) {
  allocatearray(values, std::max(n, 0), what);
}

// Registers one variable: name, data type and, when given, its unit expression; cell-centred
// variables are marked so for the zone written next.
void registervariable(DOMAIN& dom, std::string_view name, std::int32_t& number, ValueKind kind,
                      std::string_view units, bool cellcentred);

// Where the values of a zone array come from.
enum class Source {
  own,     // the domain's own record, over its nodes (nodemask) or elements (elemmask)
  ownpm,   // the domain's own nodal values in a common-node domain (pmnodemask)
  pmcopy,  // the porous-medium reference record, over its nodes (the domain's nodemask)
};

// Zone arrays over a value array of the record; isstatic arrays are written in zone 1 only.
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, R8Vec DOMAIN::*values, bool cellcentred,
                  Source source = Source::own, bool isstatic = false);
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, R4Vec DOMAIN::*values, bool cellcentred,
                  Source source = Source::own, bool isstatic = false);
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, I4Vec DOMAIN::*values, bool cellcentred,
                  Source source = Source::own, bool isstatic = false);
// A column of a (node, species) table.
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, DynArray2D<double> DOMAIN::*values,
                  std::int32_t column, Source source = Source::own);
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, DynArray2D<float> DOMAIN::*values,
                  std::int32_t column, Source source = Source::own);
// An array computed when it is written (mesh numbering, for example).
void addzonearray(DOMAIN& dom, ZoneArray array);

// Marks the variable as sharing zone 1's values in the zone written next (cell-centred ones
// are marked cell-centred again, since that list is made anew for every zone). Neither mark
// is made for "pm" when it is only read for the common-node domains: it writes no zone.
void sharewithzone1(DOMAIN& dom, std::int32_t var, bool cellcentred = false);
// Notes a result file of the output time being read that does not exist; `found` is the flag
// of its quantity, by which a common-node domain finds the porous-medium files it repeats.
void notemissing(DOMAIN& dom, const std::string& file, bool DOMAIN::*found);
// Notes for a common-node domain the porous-medium files of the quantity whose flag is `found`.
void notemissingofpm(DOMAIN& dom, const DOMAIN& pm, bool DOMAIN::*found);
// One warning naming the noted files of the zone about to be written, if any, and the output
// time of zone 1 whose values they repeat.
void warnmissingfiles(const DOMAIN& dom);
// Marks the variable cell-centred in the zone written next (not for "pm" read only).
void markcellcentred(DOMAIN& dom, std::int32_t var);
// Shares every static zone array (cell-centred ones are marked so again).
void sharestaticarrays(DOMAIN& dom);
// Writes the arrays of the zone just started, in variable-number order, skipping shared ones.
void writezonearrays(DOMAIN& dom, const DOMAIN& pmcopy);

// ---- Heads, pressure heads and surface-water depths ------------------------------------------
void headinit(DOMAIN& dom);
void headread(DOMAIN& dom);

// ---- Time-varying topography and zones ---------------------------------------------------------
void tvtopopreread(bool firsttime, DOMAIN& dom);
void tvtopoinit(DOMAIN& dom);
void tvtoporead(DOMAIN& dom);
void zoneinit(DOMAIN& dom);
void zoneread(DOMAIN& dom);
void tvtopozoneinit(DOMAIN& dom);
void tvtopozoneread(DOMAIN& dom);

// ---- Quantities read from one file per output time -------------------------------------------
// Each has an initialiser NAMEinit and a reader NAMEread (see variables/quantities.hpp).
#define KELPRA_FILE_QUANTITIES(X)                                                                     \
  X(inchead) X(maxwaterdepth) X(envh) X(sat) X(vwc) X(icesat) X(icesatdual) X(freezethawtemp)         \
  X(newtonresid) X(flowrate) X(fluiddensity) X(specflux) X(rain) X(npet) X(tvpor) X(tvstor) X(mineadv) \
  X(permafrost) X(localprob) X(vel) X(flux) X(tvk) X(friction)
#define KELPRA_DECLARE_FILE_QUANTITY(q) \
  void q##init(DOMAIN& dom);            \
  void q##read(DOMAIN& dom);
KELPRA_FILE_QUANTITIES(KELPRA_DECLARE_FILE_QUANTITY)
#undef KELPRA_DECLARE_FILE_QUANTITY

// ---- Groups of files, one initialiser and one reader each --------------------------------------
// Evapotranspiration of "olf" (surface) and of "pm" (3-D): each file on its own.
void etinit(DOMAIN& dom);
void etread(DOMAIN& dom);
void et3dinit(DOMAIN& dom);
void et3dread(DOMAIN& dom);
// Exchange fluxes, each file on its own; a partner file missing at the first time switches
// that exchange off for the run.
void exchfluxinit(DOMAIN& dom);
void exchfluxread(DOMAIN& dom);
// Rain and snow of "olf" (files without a domain name) and water age: a group is available
// when any member was registered, and only registered members are read or shared later.
void rainsnowmeltinit(DOMAIN& dom);
void rainsnowmeltread(DOMAIN& dom);
void waterageinit(DOMAIN& dom);
void waterageread(DOMAIN& dom);

// ---- Element properties ----------------------------------------------------------------------
// Read once, from the files of output time 1 whatever the first time of the run, and shared
// with zone 1 by every later zone. The Peclet readers (current time's file) are not called in
// a run.
void pecletinit(DOMAIN& dom);
void pecletread(DOMAIN& dom);
void diffpecletinit(DOMAIN& dom);
void diffpecletread(DOMAIN& dom);
// Full tensor or three principal components, as the file's header description says.
void elemkinit(DOMAIN& dom);
#define KELPRA_ELEMENT_PROPERTIES(X) X(elempor) X(elemstor) X(elemtort) X(elemibedfraction) X(elemvolume)
#define KELPRA_DECLARE_ELEMENT_PROPERTY(q) void q##init(DOMAIN& dom);
KELPRA_ELEMENT_PROPERTIES(KELPRA_DECLARE_ELEMENT_PROPERTY)
#undef KELPRA_DECLARE_ELEMENT_PROPERTY

// The cut-off wall markers of nodes and elements, read at the first time only.
void cutoffwallinit(DOMAIN& dom);

// ---- Computed depths ------------------------------------------------------------------------------
// Depth of every "pm" node below the top node of its column, from the static elevations.
void depth2surfinit(DOMAIN& dom);
// Depths to the water table from the heads, per node and per node column.
void depth2gwtinit(DOMAIN& dom);
void depth2gwtread(DOMAIN& dom);
void depth2gwt2dinit(DOMAIN& dom);
void depth2gwt2dread(DOMAIN& dom);
// Depth of every node below the top node of its column, for `layers` whole layers of `m`
// nodes numbered layer by layer upwards; the top layer is the ground surface (depth 0).
void columndepths(std::span<const double> z, std::int32_t m, std::int32_t layers, std::span<double> depth);

// ---- Species, solute exchange and HMC fractions -------------------------------------------
// Families of one variable per species (or fraction), decided by one file at the first time;
// at every later time each member is read, or shared with zone 1, by itself.
void concinit(DOMAIN& dom);  // with the solid phase of colloid species in "pm" and "dual"
void concread(DOMAIN& dom);
void iconcinit(DOMAIN& dom);
void iconcread(DOMAIN& dom);
void masssorbedinit(DOMAIN& dom);
void masssorbedread(DOMAIN& dom);
void redoxcapacityinit(DOMAIN& dom);
void redoxcapacityread(DOMAIN& dom);
void exchsolinit(DOMAIN& dom);
void exchsolread(DOMAIN& dom);
void exchsoladvinit(DOMAIN& dom);  // with the dual-continuum family
void exchsoladvread(DOMAIN& dom);
void exchsoldispinit(DOMAIN& dom);  // with the dual-continuum family
void exchsoldispread(DOMAIN& dom);
void hmcinit(DOMAIN& dom);
void hmcread(DOMAIN& dom);

// The concentrations of a common-node domain, taken from the porous-medium record: at a
// later time exactly the species whose "pm" file was missing are shared with zone 1.
void commonconcinit(DOMAIN& dom, const DOMAIN& pm);
void commonconcread(DOMAIN& dom, const DOMAIN& pm);

}  // namespace kelpra
