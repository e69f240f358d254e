// The domain record and the run settings shared by the whole post-processor.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "arrays/arrayhelpers.hpp"
#include "support/textview.hpp"

namespace kelpra {

// The program's revision; the pre-processor's version in "o.gen" is compared with it and
// every data set carries it.
inline constexpr std::string_view kRevision = "2975";

using R8Vec = std::vector<double>;
using R4Vec = std::vector<float>;
using I4Vec = std::vector<std::int32_t>;
using Mask = std::vector<std::uint8_t>;  // one logical per node or element, 1 = true

// A result file the set-up of a data set looked for and did not find, with the variables it
// would have given (none named where its handler does not say).
struct NotFound {
  std::string file;
  std::vector<std::string> variables;
};

struct DOMAIN;

// How the values of one registered variable go into a zone: the driver writes a domain's zone
// arrays in variable-number order, except those the zone shares with zone 1.
struct ZoneArray {
  std::int32_t var = 0;
  bool cellcentred = false;
  bool isstatic = false;  // time-invariant: written in zone 1, shared by every later zone
  std::function<void(DOMAIN& dom, const DOMAIN& pmcopy)> write;
};

// Everything the post-processor knows of one model domain. Text fields hold their text
// without trailing blanks. A record copies deeply (the driver keeps a copy of "pm").
struct DOMAIN {
#define TEXT(n) std::string n;
#define BOOL(n, d) bool n = d;
#define I4(n, d) std::int32_t n = d;
#define R8(n, d) double n = d;
#define INSTR(n) std::string n;
#define SWITCH(n) bool n = true;
#define ON(n) bool n = true;
#define VAR(n) std::int32_t n = 0;
#define FLAG(n) bool n = false;
#define AR8(n) R8Vec n;
#define AR4(n) R4Vec n;
#define AI4(n) I4Vec n;
#define AL(n) Mask n;
#define A2R8(n) DynArray2D<double> n;
#define A2R4(n) DynArray2D<float> n;
#define A2I4(n) DynArray2D<std::int32_t> n;
#define VARS(n) I4Vec n;
#include "plot/domain_fields.def"
#include "plot/domain_fields_undef.def"

  // Tecplot writer state of the domain's data set.
  void* tecfilehandle = nullptr;
  std::int32_t zone = 0;
  // The output-time index of the data set's zone 1 (0 while unknown): a data set continued in
  // append mode got it from an earlier run.
  std::int32_t zoneonenfile = 0;
  // The output time after which an append run continues the data set's zones (0: it is new).
  std::int32_t continuesafter = 0;
  // The result files whose values the zone being written holds.
  std::vector<std::string> zonesources;
  // The result files of the data set's first output time that its handlers (and, for a domain on
  // the porous-medium nodes, the porous medium's) looked for and did not find, each with the
  // variables it would have given where the handler names them.
  std::vector<NotFound> setupnotfound;
  // The result files of the first output time that were found and are read again at every later
  // one, each with the variables it gives in this data set: a later output time without one
  // repeats their values of zone 1.
  std::vector<NotFound> setupfound;
  std::string zonetype;
  std::int32_t nvar = 0;
  std::int32_t ncc = 0;
  std::string dtlist;
  std::string varlist;
  std::string unitcomments;
  std::string unitauxdata;
  I4Array vardatatype;
  I4Array varshare;
  I4Array varlocation;
  I4Array ccvars;
  I4Array varpassive;
  TextArray varunits{50};

  // Checks of the zone being written: every variable is written or shared exactly once, in
  // variable-number order, with as many values as the zone has nodes or elements.
  std::vector<std::uint8_t> pendingshare;  // share marks for the next zone, per variable
  std::vector<std::int32_t> pendingsharezone;  // the zone each marked variable shares
  std::vector<std::uint8_t> pendingcc;     // cell-centred marks for the next zone, per variable
  std::vector<std::uint8_t> zonevarstate;  // per variable of the open zone: 0 due, 1 written, 2 shared
  std::vector<std::uint8_t> zonecc;        // per variable of the open zone: cell-centred
  std::int32_t zonenodes = 0;
  std::int32_t zoneelements = 0;
  bool zoneneedsconnectivity = false;

  // The zone arrays of the registered variables.
  std::vector<ZoneArray> zonearrays;

  // The result files of the output time being read that do not exist, each with the found flag
  // of its quantity: their variables repeat zone 1's values in the zone written next.
  struct MissingFile {
    std::string name;
    bool DOMAIN::*found = nullptr;
  };
  std::vector<MissingFile> missingfiles;
};

// The domain's name without its padding, for messages.
inline std::string domainname(const DOMAIN& dom) { return std::string(trimview(dom.name)); }

// The keyword switches of a domain record by field name, in record order.
const std::vector<std::pair<std::string_view, bool DOMAIN::*>>& domainswitches();
// The instruction texts of a domain record by field name, in record order.
const std::vector<std::pair<std::string_view, std::string DOMAIN::*>>& domaininstructions();

// The run settings: one instance, `plot_data`, for the whole run.
struct PlotData {
  // Problem and model description
  std::string prefix;
  std::int32_t ntit = 0;
  std::vector<std::string> title;
  bool speciesfileexists = false;
  std::int32_t nspeciesmob = 0;
  std::int32_t ncspec = 0;
  std::int32_t nspeciestot = 0;
  std::vector<std::string> spname;
  std::vector<bool> is_temperature;
  std::vector<bool> is_colloid;
  bool colloidtransport = false;
  bool hmcfileexists = false;
  std::int32_t num_fractions = 0;
  std::vector<std::string> frac_name;

  // Command line and plot control file
  bool makeplotcontrolfile = false;
  bool plotcontrolfileexists = false;
  std::int32_t plotcontrolunit = 0;
  bool tecplot_mode = true;
  bool tecplot_bin_mode = false;
  std::int32_t tecbinflushint = 1;
  bool tecappend = false;
  std::int32_t tecappendnfile = 1;
  std::int32_t tecappendnfile0 = 1;
  std::int32_t outputtimeindexwidth = 4;
  std::int32_t fextwidth = 5;
  bool truncate_time_domain = false;
  double tmin_trunc = 0.0;
  double tmax_trunc = 0.0;
  bool sim_time_conversion = false;
  double timeunitfactor = 0.0;
  double addtime = 0.0;
  bool paraview_mode = false;
  bool paraview_bclocationout = false;

  // Output-time loop
  std::int32_t nfile = 0;
  std::int32_t nfilestart = 0;
  std::string nfs;
  std::string timestamp;
  std::string lasttimestamp;
  // The output time being written has no result file: its data sets are set up from the meshes.
  bool frommeshes = false;
  std::string time_fname;
  bool time_file_found = false;
  bool pmreadonly = false;

  // Mesh facts that span domains
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  std::int32_t nz = 0;
  std::int32_t globalstartindex = 0;
  bool olf_wall = false;
  std::int32_t nnwall = 0;
  // The three wall arrays are indexed by global node number m: entry m - 1 of the vectors and
  // row m - olfwallbase of link_olf2wall, which holds the "olf" rows only (its size follows the
  // wall record, whatever the global numbering before it) and global node numbers. wallelemid
  // is indexed by "olf" element.
  Mask is_wallnode;
  DynArray2D<std::int32_t> link_olf2wall;
  std::int32_t olfwallbase = 0;
  I4Vec link_wall2olf;
  I4Vec wallelemid;
  std::int32_t nln = 0;

  // Comparisons and special plots
  bool compare_heads_3d_domain = false;
  bool compare_gwtable_elev = false;
  bool compare_deth2gwtable = false;
  bool compare_surface_water_depth = false;
  // Observation windows: of the "pm" head comparison, and of the "olf" surface-water one.
  double xmin_trunc_h = 0.0, xmax_trunc_h = 0.0;
  double ymin_trunc_h = 0.0, ymax_trunc_h = 0.0;
  double zmin_trunc_h = 0.0, zmax_trunc_h = 0.0;
  double xmin_trunc_h_olf = 0.0, xmax_trunc_h_olf = 0.0;
  double ymin_trunc_h_olf = 0.0, ymax_trunc_h_olf = 0.0;
  double zmin_trunc_h_olf = 0.0, zmax_trunc_h_olf = 0.0;
  bool observedheadsfileexists = false;
  bool observedgwtfileexists = false;
  bool observedd2gwtfileexists = false;
  bool observeddepthfileexists = false;
  std::int32_t nobs_head = 0;
  std::int32_t nobs_depth = 0;
  // The observation set of the comparison being run: one entry per point.
  R8Vec xob, yob, zob, hob;
  I4Vec obs_el;
  std::vector<std::array<double, 8>> basisfunctions;
  bool plot_zone_isopach = false;
  bool plot_depthgrndsurf = false;
  bool interpd2wt = false;

  // File units and work space
  std::int32_t ieco = 0;
  std::int32_t itmp = 0;
  std::int32_t itmp2 = 0;
  std::int32_t status = 0;
  std::string filename;
  std::string fbuff = std::string(131072, ' ');  // line buffer of the ASCII array writers
  std::string dlist;   // ASCII share list of the zone line being built
  std::string varloc;  // ASCII cell-centred list of the zone line being built
  std::string zone_line;
  R4Vec tmpr4;
  R8Vec tmpr8;
  I4Vec tmpi4;
};

extern PlotData plot_data;

namespace testing_only {
// Puts every run setting back to its default.
void resetplotdata();
}

}  // namespace kelpra
