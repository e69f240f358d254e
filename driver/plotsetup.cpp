#include "driver/plotsetup.hpp"

#include <algorithm>

#include "binfile/readers.hpp"
#include "driver/meshnumbering.hpp"
#include "driver/resume.hpp"
#include "driver/truncation.hpp"
#include "paraview/paraview.hpp"
#include "plot/modelfiles.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/interrupt.hpp"
#include "support/textview.hpp"
#include "support/units.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

std::string_view nameof(const DOMAIN& dom) { return trimview(dom.name); }
bool is(const DOMAIN& dom, std::string_view name) { return nameof(dom) == name; }
bool readonlypm(const DOMAIN& dom) { return is(dom, "pm") && plot_data.pmreadonly; }

// One step of the set-up or of the append: the handler runs when its domain test and its
// condition hold. The order of the rows is the order of the variables in the data set.
struct Step {
  std::string_view domains;  // blank-separated names; empty for every domain
  bool (*when)(const DOMAIN&);
  void (*run)(DOMAIN&);
};

bool indomains(const DOMAIN& dom, std::string_view domains) {
  if (domains.empty()) return true;
  const std::string_view name = nameof(dom);
  std::size_t start = 0;
  while (start < domains.size()) {
    std::size_t end = domains.find(' ', start);
    if (end == std::string_view::npos) end = domains.size();
    if (domains.substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

void registeraperture(DOMAIN& dom) {
  registervariable(dom, "Aperture", dom.aperturevar, ValueKind::r8, "L", true);
  addzonearray(dom, dom.aperturevar, "aperture (cell centred)", &DOMAIN::aperture, true, Source::own, true);
}

bool always(const DOMAIN&) { return true; }
template <bool DOMAIN::*Switch>
bool on(const DOMAIN& d) {
  return d.*Switch;
}
template <bool DOMAIN::*Avail, bool DOMAIN::*Switch>
bool availandon(const DOMAIN& d) {
  return d.*Avail && d.*Switch;
}
template <bool DOMAIN::*Avail>
bool avail(const DOMAIN& d) {
  return d.*Avail;
}
// The species handlers run only for a model with a species file; a family is read later when
// one of its parts was found at the first time.
template <bool DOMAIN::*Switch>
bool specieson(const DOMAIN& d) {
  return plot_data.speciesfileexists && d.*Switch;
}
template <bool DOMAIN::*Switch, bool DOMAIN::*... Avail>
bool speciesavail(const DOMAIN& d) {
  return plot_data.speciesfileexists && d.*Switch && (... || (d.*Avail));
}
// The depths to the water table need heads and columns of nodes, which 4-node elements lack.
template <bool DOMAIN::*Switch>
bool depthswitch(const DOMAIN& d) {
  return d.headavail && d.*Switch && d.nln != 4;
}

using D = DOMAIN;

// The first-time handlers of a domain with nodes of its own, in data-set order.
const Step kInitSteps[] = {
    {"pm olf", on<&D::writecutoffwall>, cutoffwallinit},
    {"pm", [](const DOMAIN&) { return plot_data.plot_depthgrndsurf; }, depth2surfinit},
    {"", on<&D::writetvtopo>, [](DOMAIN& d) { tvtopopreread(true, d); }},
    {"chan", on<&D::writeinchead>, incheadinit},
    {"", on<&D::writehead>, headinit},
    {"olf chan", on<&D::writemaxwaterdepth>, maxwaterdepthinit},
    {"pm", on<&D::writeenvh>, envhinit},
    {"pm dual frac", on<&D::writesat>, satinit},
    {"pm", on<&D::writevwc>, vwcinit},
    {"pm", depthswitch<&D::writedepth2gwt>, depth2gwtinit},
    {"pm", depthswitch<&D::writedepth2gwt2d>, depth2gwt2dinit},
    {"pm", on<&D::writeicesat>, icesatinit},
    {"dual", on<&D::writeicesat>, icesatdualinit},
    {"pm", on<&D::writefreezethawtemp>, freezethawtempinit},
    {"pm", on<&D::writenewtonresid>, newtonresidinit},
    {"olf", on<&D::writeflowrate>, flowrateinit},
    {"", on<&D::writevel>, velinit},
    {"olf", on<&D::writefriction>, frictioninit},
    {"pm", on<&D::writeflux>, fluxinit},
    {"pm", on<&D::writetvk>, tvkinit},
    {"pm", on<&D::writetvpor>, tvporinit},
    {"pm", on<&D::writetvstor>, tvstorinit},
    {"pm", on<&D::writemineadv>, mineadvinit},
    {"", on<&D::writepeclet>, pecletinit},
    {"", on<&D::writediffpeclet>, diffpecletinit},
    {"", on<&D::writeelemk>, elemkinit},
    {"", on<&D::writeelempor>, elemporinit},
    {"", on<&D::writeelemstor>, elemstorinit},
    {"", on<&D::writeelemtort>, elemtortinit},
    {"", on<&D::writeelemibedfraction>, elemibedfractioninit},
    {"", on<&D::writeelemvolume>, elemvolumeinit},
    {"", on<&D::writepermafrost>, permafrostinit},
    {"olf", always, specfluxinit},
    {"olf", always, raininit},
    {"olf", always, npetinit},
    {"olf", on<&D::writeet>, etinit},
    {"pm", on<&D::writeet3d>, et3dinit},
    {"olf", on<&D::writerainsnowmelt>, rainsnowmeltinit},
    {"", on<&D::writeexchflux>, exchfluxinit},
    {"", specieson<&D::writeconc>, concinit},
    {"", specieson<&D::writeiconc>, iconcinit},
    {"", specieson<&D::writeexchsol>, exchsolinit},
    {"", specieson<&D::writeexchsol>, exchsoladvinit},
    {"", specieson<&D::writeexchsol>, exchsoldispinit},
    {"", specieson<&D::writeredoxcapacity>, redoxcapacityinit},
    {"pm", specieson<&D::writemasssorbed>, masssorbedinit},
    {"pm", on<&D::writefluiddensity>, fluiddensityinit},
    {"", [](const DOMAIN& d) { return plot_data.hmcfileexists && d.writehmc; }, hmcinit},
    {"", on<&D::writewaterage>, waterageinit},
    {"frac", on<&D::writeaperture>, registeraperture},
    {"pm", on<&D::writelocalprob>, localprobinit},
    {"", on<&D::writetvtopo>, tvtopoinit},
    {"pm", on<&D::writetvtopozone>, tvtopozoneinit},
};

// The later-time handlers, in the same order; the static variables (element properties
// among them) are shared beforehand.
const Step kReadSteps[] = {
    {"chan", availandon<&D::incheadavail, &D::writeinchead>, incheadread},
    {"", availandon<&D::headavail, &D::writehead>, headread},
    {"olf chan", availandon<&D::maxwaterdepthavail, &D::writemaxwaterdepth>, maxwaterdepthread},
    {"pm", availandon<&D::envhavail, &D::writeenvh>, envhread},
    {"pm dual frac", availandon<&D::satavail, &D::writesat>, satread},
    {"pm", availandon<&D::vwcavail, &D::writevwc>, vwcread},
    {"pm", depthswitch<&D::writedepth2gwt>, depth2gwtread},
    {"pm", depthswitch<&D::writedepth2gwt2d>, depth2gwt2dread},
    {"pm", availandon<&D::icesatavail, &D::writeicesat>, icesatread},
    {"dual", availandon<&D::icesatdualavail, &D::writeicesat>, icesatdualread},
    {"pm", availandon<&D::freezethawtempavail, &D::writefreezethawtemp>, freezethawtempread},
    {"pm", availandon<&D::newtonresidavail, &D::writenewtonresid>, newtonresidread},
    {"olf", availandon<&D::flowrateavail, &D::writeflowrate>, flowrateread},
    {"", availandon<&D::velavail, &D::writevel>, velread},
    {"olf", availandon<&D::frictionavail, &D::writefriction>, frictionread},
    {"pm", availandon<&D::fluxavail, &D::writeflux>, fluxread},
    {"pm", availandon<&D::tvkavail, &D::writetvk>, tvkread},
    {"pm", availandon<&D::tvporavail, &D::writetvpor>, tvporread},
    {"pm", availandon<&D::tvstoravail, &D::writetvstor>, tvstorread},
    {"pm", availandon<&D::mineadvavail, &D::writemineadv>, mineadvread},
    {"", availandon<&D::permafrostavail, &D::writepermafrost>, permafrostread},
    {"", avail<&D::specfluxavail>, specfluxread},
    {"", avail<&D::rainavail>, rainread},
    {"", avail<&D::npetavail>, npetread},
    {"olf", on<&D::writeet>, etread},
    {"pm", on<&D::writeet3d>, et3dread},
    {"", availandon<&D::rainsnowmeltavail, &D::writerainsnowmelt>, rainsnowmeltread},
    {"", on<&D::writeexchflux>, exchfluxread},
    {"", speciesavail<&D::writeconc, &D::concavail, &D::concsolidavail>, concread},
    {"", speciesavail<&D::writeiconc, &D::iconcavail>, iconcread},
    {"", speciesavail<&D::writeexchsol, &D::exchsolavail>, exchsolread},
    // A dual-continuum family is read even where its plain family is absent.
    {"", speciesavail<&D::writeexchsol, &D::exchsoladvavail, &D::dualexchsoladvavail>, exchsoladvread},
    {"", speciesavail<&D::writeexchsol, &D::exchsoldispavail, &D::dualexchsoldispavail>, exchsoldispread},
    {"", speciesavail<&D::writeredoxcapacity, &D::redoxcapacityavail>, redoxcapacityread},
    {"pm", speciesavail<&D::writemasssorbed, &D::masssorbedavail>, masssorbedread},
    {"pm", availandon<&D::fluiddensityavail, &D::writefluiddensity>, fluiddensityread},
    {"", [](const DOMAIN& d) { return plot_data.hmcfileexists && d.hmcavail && d.writehmc; }, hmcread},
    {"", availandon<&D::waterageavail, &D::writewaterage>, waterageread},
    {"pm", availandon<&D::localprobavail, &D::writelocalprob>, localprobread},
    {"", availandon<&D::tvtopoavail, &D::writetvtopo>, tvtoporead},
    {"", availandon<&D::tvtopozoneavail, &D::writetvtopozone>, tvtopozoneread},
};

// The handlers of a common-node domain's own quantities: set-up after the porous-medium
// quantities it takes over (maximum depth right after the heads), later zones likewise.
const Step kCommonMaxDepthInit[] = {{"olf chan", on<&D::writemaxwaterdepth>, maxwaterdepthinit}};
const Step kCommonInitSteps[] = {
    {"olf", on<&D::writeflowrate>, flowrateinit},
    {"", on<&D::writevel>, velinit},
    {"olf", on<&D::writefriction>, frictioninit},
    {"", on<&D::writepermafrost>, permafrostinit},
};
const Step kCommonMaxDepthRead[] = {
    {"olf chan", availandon<&D::maxwaterdepthavail, &D::writemaxwaterdepth>, maxwaterdepthread}};
const Step kCommonReadSteps[] = {
    {"olf", availandon<&D::flowrateavail, &D::writeflowrate>, flowrateread},
    {"", availandon<&D::velavail, &D::writevel>, velread},
    {"olf", availandon<&D::frictionavail, &D::writefriction>, frictionread},
    {"", availandon<&D::permafrostavail, &D::writepermafrost>, permafrostread},
};

// The porous-medium quantities a common-node domain takes over after the maximum depths: a
// later zone repeats zone 1's values where the porous medium found no file. Only a quantity
// the domain registered is shared, and only its files are named in the warning.
struct TakenOver {
  bool DOMAIN::*found;
  std::int32_t DOMAIN::*var;
  std::string_view root;           // the porous medium's result file, as its quantity row names it
  std::string_view pmname, name;  // the variable's name in the porous medium's data set and in this one
};
constexpr TakenOver kTakenOver[] = {
    {&D::satfound, &D::satvar, "o.sat_", "Sat", "Saturation"},
    {&D::icesatfound, &D::icesatvar, "o.ice_sat_", "IceSat", "Ice Saturation"},
    {&D::freezethawtempfound, &D::freezethawtempvar, "o.freeze_thaw_temp_", "Temperature",
     "Freezing-thawing temperature"},
    {&D::newtonresidfound, &D::newtonresidvar, "o.newton_residual_", "Newton Residual", "Newton residual"},
};

// A porous-medium file found at the first output time as a common-node domain takes it over:
// with the names its variables have there, and only for the quantities whose values it takes
// (the heads, those of kTakenOver, the concentrations). False for a file of any other quantity,
// whose variables a quantity of the domain's own may share by name.
bool takenover(NotFound& file) {
  const std::string pm = prefixtext();
  const auto of = [&](std::string_view root) { return file.file.starts_with(pm + std::string(root) + "pm."); };
  if (of("o.head_") || of("o.conc_")) return true;
  for (const TakenOver& t : kTakenOver) {
    if (!of(t.root)) continue;
    for (std::string& v : file.variables) {
      if (v == t.pmname) v = t.name;
    }
    return true;
  }
  return false;
}

// The result files whose values the domain's zone of this output time holds: those its handlers
// read, and in a common-node domain those of the porous medium, whose values it takes over.
void notesources(DOMAIN& dom, const DOMAIN& pmcopy) {
  dom.zonesources = takeresultfilesread();
  if (dom.coupling == 1 || &dom == &pmcopy) return;
  for (const std::string& file : pmcopy.zonesources) {
    if (std::find(dom.zonesources.begin(), dom.zonesources.end(), file) == dom.zonesources.end()) {
      dom.zonesources.push_back(file);
    }
  }
}

// What the set-up found: the result files its zone holds, and those it looked for and did not
// find (in a common-node domain also the porous medium's, whose quantities it takes over).
void notesetup(DOMAIN& dom, const DOMAIN& pmcopy) {
  notesources(dom, pmcopy);
  dom.setupnotfound = takefilesnotfound();
  dom.setupfound = takefilesfound();
  if (dom.coupling == 1 || &dom == &pmcopy) return;
  dom.setupnotfound.insert(dom.setupnotfound.end(), pmcopy.setupnotfound.begin(), pmcopy.setupnotfound.end());
  for (NotFound file : pmcopy.setupfound) {
    if (takenover(file)) dom.setupfound.push_back(std::move(file));
  }
}

template <std::size_t N>
void runsteps(const Step (&steps)[N], DOMAIN& dom) {
  for (const Step& step : steps) {
    checkstop();  // between result files
    if (indomains(dom, step.domains) && step.when(dom)) step.run(dom);
  }
}

// Left-over TecIO temporary files of the data set: a binary run that does not continue it moves
// them aside, an append run empties them where they hold the meshes alone; an ASCII run leaves
// them for a later append run.
void warntemporaryfiles(const std::string& base) {
  if (plot_data.tecplot_bin_mode) {
    removehalfwritten(base);
    if (plot_data.tecappend) {
      emptymeshesonly(base);
    } else {
      setasidetemporaries(base);
    }
  } else if (fileexists(temporaryfiles(base)[0])) {
    warningmsg("Tecplot szplt temporary files found (" + temporaryfiles(base)[0] + ", etc.)\n"
               "Consider deleting them, otherwise data may be appended.");
  }
}

void creating(const DOMAIN& dom, const std::string& base) {
  write_string(std::string(nameof(dom)) + " data to tecplot");
  if (dom.continuesafter > 0) {
    write_string("Continuing tecplot file " + base + " after output time " + outputtimeindex(dom.continuesafter));
  } else {
    write_string("Creating tecplot file " + base);
  }
}

// Writes zone 1: the header, every zone array and the element connectivity.
void writefirstzone(DOMAIN& dom, const DOMAIN& pmcopy, const std::string& base) {
  tecplotfileopen(base, firsttitle(), dom.nvar, dom.varlist, dom);
  tecplotoutputtime(dom, plot_data.nfile);
  tecplotvarunitswrite(dom);
  tecplotwritezonefe(dom.name, dom.nn_trunc, dom.ne_trunc, plot_data.timestamp, 0, dom);
  tecplotoutputtime(dom, plot_data.nfile);
  if (dom.zoneonenfile == 0) dom.zoneonenfile = plot_data.nfile;  // a continued data set knows its own
  writezonearrays(dom, pmcopy);
  tecplotwriteconnectivity(dom.elemmask, dom);
}

// The marks every later zone starts with: the coordinates, the element zones and every
// time-invariant variable share zone 1.
void startlaterzone(DOMAIN& dom) {
  dom.pendingshare.clear();
  dom.pendingsharezone.clear();
  dom.pendingcc.clear();
  dom.missingfiles.clear();
  sharewithzone1(dom, dom.xvar);
  sharewithzone1(dom, dom.yvar);
  sharewithzone1(dom, dom.zvar);
  zoneread(dom);
  sharestaticarrays(dom);
}

void writelaterzone(DOMAIN& dom, const DOMAIN& pmcopy) {
  warnmissingfiles(dom);
  tecplotwritezonefe(dom.name, dom.nn_trunc, dom.ne_trunc, plot_data.timestamp, 1, dom);
  tecplotoutputtime(dom, plot_data.nfile);
  writezonearrays(dom, pmcopy);
}

// The coordinates, static in every zone after the first.
void registercoordinates(DOMAIN& dom, Source source) {
  registervariable(dom, "X", dom.xvar, ValueKind::r8, "L", false);
  registervariable(dom, "Y", dom.yvar, ValueKind::r8, "L", false);
  registervariable(dom, "Z", dom.zvar, ValueKind::r8, "L", false);
  addzonearray(dom, dom.xvar, "x", &DOMAIN::x, false, source, true);
  addzonearray(dom, dom.yvar, "y", &DOMAIN::y, false, source, true);
  addzonearray(dom, dom.zvar, "z", &DOMAIN::z, false, source, true);
}

void registernodenumbers(DOMAIN& dom, bool common) {
  registervariable(dom, "3DNode#", dom.nodeidvar, ValueKind::i4, "", false);
  addzonearray(dom, ZoneArray{dom.nodeidvar, false, true, [common](DOMAIN& d, const DOMAIN& pm) {
                                write3dnodenumber(d.nodeidvar, common ? pm.nn : d.nn, d.nodemask, d);
                              }});
}

void registerlayering(DOMAIN& dom) {
  if (dom.writelayernum) {
    registervariable(dom, "Layer Number", dom.layernumvar, ValueKind::i4, "", true);
    addzonearray(dom, ZoneArray{dom.layernumvar, true, true,
                                [](DOMAIN& d, const DOMAIN&) { writelayernumber(d.layernumvar, d); }});
  }
  if (dom.writecolumnnum) {
    registervariable(dom, "Column Number", dom.columnnumvar, ValueKind::i4, "", true);
    addzonearray(dom, ZoneArray{dom.columnnumvar, true, true,
                                [](DOMAIN& d, const DOMAIN&) { writecolumnnumber(d.columnnumvar, d); }});
  }
  if (dom.writethickness) {
    registervariable(dom, "Thickness", dom.thicknessvar, ValueKind::r8, "", true);
    addzonearray(dom, ZoneArray{dom.thicknessvar, true, true,
                                [](DOMAIN& d, const DOMAIN&) { writeelementthickness(d.thicknessvar, d); }});
  }
}

}  // namespace

bool flushdue() {
  const std::int32_t interval = std::max(plot_data.tecbinflushint, 1);
  return (plot_data.nfile - plot_data.nfilestart + 1) % interval == 0;
}

void flushrule(DOMAIN& dom) {
  if (plot_data.tecplot_bin_mode && dom.tecfilehandle != nullptr && flushdue()) tecplotfileflush(dom);
}

const std::string& firsttitle() {
  static const std::string none;
  return plot_data.title.empty() ? none : plot_data.title.front();
}

bool meshvariablesonly(const std::vector<std::string>& names) {
  // The names registercoordinates, zoneinit, registernodenumbers, registerlayering and
  // registeraperture give.
  static constexpr std::string_view kMeshVariables[] = {
      "X", "Y", "Z", "Zone", "3DNode#", "Layer Number", "Column Number", "Thickness", "Aperture"};
  return std::all_of(names.begin(), names.end(), [](const std::string& name) {
    return std::find(std::begin(kMeshVariables), std::end(kMeshVariables), name) != std::end(kMeshVariables);
  });
}

std::string plotbasename(const DOMAIN& dom) {
  return prefixtext() + "o." + std::string(nameof(dom));
}

std::string datasetfilename(const DOMAIN& dom) {
  return plotbasename(dom) + (plot_data.tecplot_bin_mode ? ".szplt" : ".dat");
}

void checkcontinueddataset(const DOMAIN& dom, bool nothingnew) {
  if (continuesdataset() && dom.exists && dom.writefile) checkcontinuedtemporaries(plotbasename(dom), nothingnew);
}

void truncatemesh(DOMAIN& dom, DOMAIN& pmcopy) {
  if (!dom.exists || !(dom.writefile || readonlypm(dom))) return;
  if (dom.writefile && dom.coupling != 1) {
    commontruncate(dom, pmcopy, false);
  } else {
    multitruncate(dom, pmcopy, false);
  }
}

void init(DOMAIN& dom, DOMAIN& pmcopy) {
  initvariables(dom, pmcopy);
  initzone(dom, pmcopy);
}

void initvariables(DOMAIN& dom, DOMAIN& pmcopy) {
  (void)takeresultfilesread();  // only what this domain's handlers read counts for its zone
  (void)takefilesnotfound();
  (void)takefilesfound();
  if (dom.exists && dom.writefile) {
    truncationmessages(dom);
    if (dom.coupling != 1) {
      initcommontecplot(dom, pmcopy);
    } else {
      initmultitecplot(dom, pmcopy);
    }
  } else if (dom.exists && readonlypm(dom)) {
    truncationmessages(dom);
    initmultitecplot(dom, pmcopy);
  }
}

void readforcomparisons(DOMAIN& dom, DOMAIN& pmcopy) {
  (void)takeresultfilesread();
  (void)takefilesnotfound();
  (void)takefilesfound();
  if (dom.coupling != 1) {
    initcommontecplot(dom, pmcopy, true);
  } else {
    initmultitecplot(dom, pmcopy, true);
  }
}

void initzone(DOMAIN& dom, const DOMAIN& pmcopy) {
  if (!dom.exists || !dom.writefile) return;
  const std::string base = plotbasename(dom);
  warntemporaryfiles(base);
  writefirstzone(dom, pmcopy, base);
  if (dom.coupling == 1 && plot_data.paraview_mode) multiparaview(dom);
}

void append(DOMAIN& dom, DOMAIN& pmcopy) {
  (void)takeresultfilesread();
  if (dom.exists && dom.writefile) {
    if (dom.coupling != 1) {
      appendcommontecplot(dom, pmcopy);
    } else {
      appendmultitecplot(dom, pmcopy);
      if (plot_data.paraview_mode) multiparaview(dom);
    }
  } else if (dom.exists && readonlypm(dom)) {
    appendmultitecplot(dom, pmcopy);
  }
}

void initmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy, bool comparing) {
  const std::string base = plotbasename(dom);
  write_rule();
  if (comparing) {
    write_string(std::string(nameof(dom)) + " data read for the comparisons");
  } else if (readonlypm(dom)) {
    write_string("pm data read for common node output");
  } else {
    creating(dom, base);
  }
  tecplotinit(dom);
  dom.zonearrays.clear();
  registercoordinates(dom, Source::own);
  zoneinit(dom);
  if (!is(dom, "pm") && !plot_data.olf_wall) registernodenumbers(dom, false);
  if (is(dom, "pm")) registerlayering(dom);
  runsteps(kInitSteps, dom);
  notesetup(dom, pmcopy);
}

void appendmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy) {
  startlaterzone(dom);
  if (dom.tvtopoavail && dom.writetvtopo) tvtopopreread(false, dom);
  runsteps(kReadSteps, dom);
  notesources(dom, pmcopy);
  if (readonlypm(dom)) return;
  writelaterzone(dom, pmcopy);
}

void initcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy, bool comparing) {
  const std::string base = plotbasename(dom);
  write_rule();
  if (comparing) {
    write_string(std::string(nameof(dom)) + " data read for the comparisons");
  } else {
    creating(dom, base);
  }
  tecplotinit(dom);
  dom.zonearrays.clear();
  registercoordinates(dom, Source::pmcopy);
  zoneinit(dom);
  if (!plot_data.olf_wall) registernodenumbers(dom, true);
  if (dom.writehead && pmcopy.headavail) {
    registervariable(dom, "Head", dom.headvar, ValueKind::r8, "L", false);
    addzonearray(dom, dom.headvar, "head", &DOMAIN::head, false, Source::pmcopy);
    // Pressure heads exist only when the porous medium computed them.
    if (dom.writepresshead && pmcopy.pressheadvar > 0) {
      registervariable(dom, "Pressure Head", dom.pressheadvar, ValueKind::r8, "L", false);
      addzonearray(dom, dom.pressheadvar, "pressure head", &DOMAIN::presshead, false, Source::pmcopy);
    }
  }
  runsteps(kCommonMaxDepthInit, dom);
  if (dom.writesat && pmcopy.satavail) {
    registervariable(dom, "Saturation", dom.satvar, ValueKind::r4, "1", false);
    addzonearray(dom, dom.satvar, "saturation", &DOMAIN::sat, false, Source::pmcopy);
  } else {
    dom.writesat = false;
  }
  if (dom.writeicesat && pmcopy.icesatavail) {
    registervariable(dom, "Ice Saturation", dom.icesatvar, ValueKind::r4, "1", false);
    addzonearray(dom, dom.icesatvar, "ice saturation", &DOMAIN::icesat, false, Source::pmcopy);
  } else {
    dom.writeicesat = false;
  }
  if (dom.writefreezethawtemp && pmcopy.freezethawtempavail) {
    settempunitstoc();
    registervariable(dom, "Freezing-thawing temperature", dom.freezethawtempvar, ValueKind::r8, "K", false);
    addzonearray(dom, dom.freezethawtempvar, "freezing-thawing temperature", &DOMAIN::freezethawtemp, false,
                 Source::pmcopy);
  } else {
    dom.writefreezethawtemp = false;
  }
  if (dom.writenewtonresid && pmcopy.newtonresidavail) {
    registervariable(dom, "Newton residual", dom.newtonresidvar, ValueKind::r8, "L^3 * T^-1", false);
    addzonearray(dom, dom.newtonresidvar, "newton residual", &DOMAIN::newtonresid, false, Source::pmcopy);
  } else {
    dom.writenewtonresid = false;
  }
  runsteps(kCommonInitSteps, dom);
  commonconcinit(dom, pmcopy);
  if (is(dom, "frac") && dom.writeaperture) registeraperture(dom);
  notesetup(dom, pmcopy);
}

void appendcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy) {
  startlaterzone(dom);
  if (dom.headvar > 0 && !pmcopy.headfound) {
    sharewithzone1(dom, dom.headvar);
    if (dom.pressheadvar > 0) sharewithzone1(dom, dom.pressheadvar);
    notemissingofpm(dom, pmcopy, &DOMAIN::headfound);
  }
  runsteps(kCommonMaxDepthRead, dom);
  for (const TakenOver& t : kTakenOver) {
    if (dom.*t.var < 1 || pmcopy.*t.found) continue;
    sharewithzone1(dom, dom.*t.var);
    notemissingofpm(dom, pmcopy, t.found);
  }
  runsteps(kCommonReadSteps, dom);
  commonconcread(dom, pmcopy);
  notesources(dom, pmcopy);
  writelaterzone(dom, pmcopy);
}

}  // namespace kelpra
