#include "driver/controlfile.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>

#include "driver/appendmode.hpp"
#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/nodesearch.hpp"
#include "plot/resultaccess.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr unsigned kAllDomains =
    kDomainPm | kDomainDual | kDomainFrac | kDomainOlf | kDomainWell | kDomainChan | kDomainTile;
constexpr unsigned kCoupledDomains = kAllDomains & ~kDomainPm;

// Lines are compared over their first 60 characters.
constexpr std::size_t kLineWidth = 60;

constexpr std::string_view kTecplotMode = "tecplot mode";
constexpr std::string_view kBinaryMode = "tecplot binary mode";
constexpr std::string_view kFlushInterval = "tecplot binary flush interval";
constexpr std::string_view kBinaryAppend = "tecplot binary append";
constexpr std::string_view kTimeWindow = "truncate time domain";
constexpr std::string_view kIndexWidth = "number of digits for output file suffix";

constexpr std::string_view kCompareHeads = "compare heads 3d domain";
constexpr std::string_view kCompareGwTable = "compare gw table elevation";
constexpr std::string_view kCompareDepthToGw = "compare depth to gw table";
constexpr std::string_view kCompareSurfaceWater = "compare surface water depth";

constexpr std::string_view kTimeConversion = "simulation time unit conversion factor";
constexpr std::string_view kIsopach = "plot pm zone isopach structure";
constexpr std::string_view kDepthBelowSurface = "plot pm depth below ground surface";
constexpr std::string_view kInterpolateDepth = "interpolate depth to gw table";

constexpr std::string_view kWindowOffer = "! -1.0E+20  1.0E+20";

// ---------------------------------------------------------------------------------------
// Writing

void put(std::string_view line) {
  const int unit = plot_data.plotcontrolunit;
  checkfilewrite(writeline(unit, line), unitfilename(unit));
}

void putcommented(std::string_view text) {
  std::string line = "! ";
  line += trimview(text);
  put(line);
}

// A real as one digit, the point, five digits and a signed exponent, right-aligned in 12
// characters; an exponent of three digits takes the place of the E.
std::string realfield(double value) {
  std::string text;
  if (std::isnan(value)) {
    text = "NaN";
  } else if (std::isinf(value)) {
    text = value < 0 ? "-Infinity" : "Infinity";
  } else {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.5E", value);
    text = buf;
    const std::size_t e = text.find('E');
    if (e != std::string::npos && text.size() - e - 2 == 3) text.erase(e, 1);
  }
  if (text.size() > 12) return std::string(12, '*');
  return std::string(12 - text.size(), ' ') + text;
}

std::string intfield(std::int32_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%12d", static_cast<int>(value));
  return buf;
}

void putpair(double a, double b) { put("! " + realfield(a) + realfield(b)); }

// ---------------------------------------------------------------------------------------
// Reading

// The next line of the copy, cut to the line width, without trailing blanks; false at the
// end of the file. A read error stops the run, naming the control file itself.
bool nextline(std::string& line) {
  const int status = readline(plot_data.plotcontrolunit, line);
  if (status == kStatusEndOfFile) return false;
  if (status != 0) input_error_stat(status, withsystemreason("Error reading " + controlfilename() + " file"));
  if (line.size() > kLineWidth) line.resize(kLineWidth);
  line.resize(static_cast<std::size_t>(len_trim(line)));
  return true;
}

std::string lowered(std::string_view line) {
  std::string text(line);
  lcase(text);
  return text;
}

bool beginswithend(std::string_view lcline) { return lcline.substr(0, 3) == "end"; }

void rewindcopy() {
  std::FILE* f = unitstream(plot_data.plotcontrolunit);
  // A failing seek would leave the copy at its end: every later block would look absent.
  if (f == nullptr || ::fseeko(f, 0, SEEK_SET) != 0) {
    if (f != nullptr) notesystemerror(errno, unitfilename(plot_data.plotcontrolunit));
    input_error_stat(kStatusReadFailed, withsystemreason("Error reading " + controlfilename() + " file"));
  }
}

void echoinstruction(std::string_view line) {
  echoline("");
  echoline("INSTRUCTION: " + std::string(line));
}

void reportunrecognised(std::string_view lcline) {
  const std::string_view lines[] = {"Plot control - Unrecognized line", lcline, ""};
  for (std::string_view l : lines) echoline(l);
  for (std::string_view l : lines) screenline(l);
}

// The value as written and the file the user wrote it in; the copy being read is no file of
// theirs.
std::string valuein(const std::string* value) {
  return (value != nullptr ? *value : std::string("no value")) + " in " + controlfilename();
}

// `value` is the field that is no number, or nullptr where the values ran out.
[[noreturn]] void badvalues(int status, std::string_view instruction, const std::string* value, bool integer) {
  std::string message = "Error reading the values of plot control instruction: " + std::string(instruction) + "\n";
  if (value != nullptr) {
    message += (integer ? "Not a whole number: " : "Not a number: ") + valuein(value);
  } else if (status == kStatusEndOfFile) {
    message += "Values missing at the end of " + controlfilename();
  } else {
    message += "in " + controlfilename() + " file";
  }
  input_error_stat(status, message);
}

using Fields = FreeFields;

int readfields(std::size_t n, Fields& fields) { return readfreefields(plot_data.plotcontrolunit, n, fields); }

// The values of the next line into the targets; an empty field leaves its target as it is.
template <class T>
void readvalues(std::string_view instruction, std::initializer_list<T*> targets) {
  Fields fields;
  constexpr bool integer = !std::is_same_v<T, double>;
  if (const int status = readfields(targets.size(), fields); status != 0) {
    badvalues(status, instruction, nullptr, integer);
  }
  std::size_t i = 0;
  for (T* target : targets) {
    const std::string* field = freefield(fields, i++);
    if (field == nullptr) continue;
    int status = 0;
    if constexpr (std::is_same_v<T, double>) {
      str2r8(*field, *target, &status);
    } else {
      str2i4(*field, *target, &status);
    }
    if (status != 0) badvalues(status, instruction, field, integer);
  }
}

void readbox(std::string_view instruction, double& xmin, double& xmax, double& ymin, double& ymax, double& zmin,
             double& zmax) {
  readvalues(instruction, {&xmin, &xmax});
  readvalues(instruction, {&ymin, &ymax});
  readvalues(instruction, {&zmin, &zmax});
}

// Each comparison keeps its own window, so a surface-water window never narrows the pm one.
void readobservationwindow(std::string_view instruction, bool olf) {
  PlotData& pd = plot_data;
  if (olf) {
    readbox(instruction, pd.xmin_trunc_h_olf, pd.xmax_trunc_h_olf, pd.ymin_trunc_h_olf, pd.ymax_trunc_h_olf,
            pd.zmin_trunc_h_olf, pd.zmax_trunc_h_olf);
  } else {
    readbox(instruction, pd.xmin_trunc_h, pd.xmax_trunc_h, pd.ymin_trunc_h, pd.ymax_trunc_h, pd.zmin_trunc_h,
            pd.zmax_trunc_h);
  }
}

bool sametext(std::string_view lcline, const std::string& instr) {
  const std::string_view text = trimview(instr);
  return !text.empty() && lcline == text;
}

// Applies one line of a domain block; false when the line is no instruction of the domain.
bool applydomaininstruction(DOMAIN& dom, std::string_view lcline, unsigned bit) {
  if (sametext(lcline, dom.writefileinstr)) {
    dom.writefile = true;
    return true;
  }
  for (const InstructionRow& row : quantityinstructions()) {
    if (sametext(lcline, dom.*row.instr)) {
      dom.*row.sw = false;
      return true;
    }
  }
  if (sametext(lcline, dom.truncinstr)) {
    dom.truncate = true;
    readbox(lcline, dom.xmin_trunc, dom.xmax_trunc, dom.ymin_trunc, dom.ymax_trunc, dom.zmin_trunc, dom.zmax_trunc);
    return true;
  }
  if (sametext(lcline, dom.trunclayerinstr)) {
    dom.truncatebylayer = true;
    readvalues(lcline, {&dom.xmin_trunc, &dom.xmax_trunc});
    readvalues(lcline, {&dom.ymin_trunc, &dom.ymax_trunc});
    readvalues(lcline, {&dom.layermin_trunc, &dom.layermax_trunc});
    return true;
  }
  PlotData& pd = plot_data;
  if (bit == kDomainPm) {
    if (lcline == kCompareHeads) {
      pd.compare_heads_3d_domain = true;
      readobservationwindow(lcline, false);
      return true;
    }
    if (lcline == kCompareGwTable) {
      pd.compare_gwtable_elev = true;
      return true;
    }
    if (lcline == kCompareDepthToGw) {
      pd.compare_deth2gwtable = true;
      return true;
    }
  }
  if (bit == kDomainOlf && lcline == kCompareSurfaceWater) {
    pd.compare_surface_water_depth = true;
    readobservationwindow(lcline, true);
    return true;
  }
  return false;
}

// Whether a domain block's line is one of the additional commands, which the addition scan
// acts on wherever it stands; the time conversion's values are passed over as that scan reads
// them, so that they are not taken for a line of the block.
bool passadditioncommand(std::string_view lcline) {
  if (lcline == kTimeConversion) {
    Fields fields;
    readfields(2, fields);  // bad values are reported by the addition scan
    return true;
  }
  return lcline == kIsopach || lcline == kDepthBelowSurface || lcline == kInterpolateDepth;
}

// The additional commands, wherever they stand after the global block.
void readadditioncommands() {
  PlotData& pd = plot_data;
  std::string line;
  while (nextline(line)) {
    const std::string lc = lowered(line);
    if (lc == kTimeConversion) {
      echoinstruction(lc);
      readvalues(lc, {&pd.addtime, &pd.timeunitfactor});
      pd.sim_time_conversion = true;
    } else if (lc == kIsopach) {
      echoinstruction(lc);
      pd.plot_zone_isopach = true;
    } else if (lc == kDepthBelowSurface) {
      echoinstruction(lc);
      pd.plot_depthgrndsurf = true;
    } else if (lc == kInterpolateDepth) {
      echoinstruction(lc);
      pd.interpd2wt = true;
    }
  }
}

}  // namespace

std::string controlfilename() {
  std::string name = prefixtext();
  name += ".plot.control";
  return name;
}

unsigned domainbit(std::string_view name) {
  const std::string_view n = trimview(name);
  if (n == "pm") return kDomainPm;
  if (n == "dual") return kDomainDual;
  if (n == "frac") return kDomainFrac;
  if (n == "olf") return kDomainOlf;
  if (n == "well") return kDomainWell;
  if (n == "chan") return kDomainChan;
  if (n == "tile") return kDomainTile;
  return 0;
}

const std::vector<InstructionRow>& quantityinstructions() {
  using D = DOMAIN;
  static const std::vector<InstructionRow> rows = {
      {" layer numbers", &D::layernuminstr, &D::writelayernum, kDomainPm},
      {" column numbers", &D::columnnuminstr, &D::writecolumnnum, kDomainPm},
      {" element thickness", &D::thicknessinstr, &D::writethickness, kDomainPm},
      {" cutoff wall", &D::cutoffwallinstr, &D::writecutoffwall, kDomainPm | kDomainOlf},
      {" heads", &D::headinstr, &D::writehead, kAllDomains},
      {" pressure heads", &D::pressheadinstr, &D::writepresshead,
       kDomainPm | kDomainDual | kDomainFrac | kDomainWell | kDomainTile},
      {" incised heads", &D::incheadinstr, &D::writeinchead, kDomainChan},
      {" environmental head", &D::envhinstr, &D::writeenvh, kDomainPm},
      {" saturations", &D::satinstr, &D::writesat, kDomainPm | kDomainDual | kDomainFrac},
      {" volumetric water content", &D::vwcinstr, &D::writevwc, kDomainPm},
      {" ice saturation", &D::icesatinstr, &D::writeicesat, kDomainPm},
      {" linear velocities (vx, vy, vz)", &D::velinstr, &D::writevel, kAllDomains},
      {" concentrations", &D::concinstr, &D::writeconc, kAllDomains},
      {" immobile/isotope fractionation concentrations", &D::iconcinstr, &D::writeiconc, kAllDomains},
      {" redox capacity", &D::redoxcapacityinstr, &D::writeredoxcapacity, kAllDomains},
      {" mass sorbed", &D::masssorbedinstr, &D::writemasssorbed, kDomainPm},
      {" friction (nx, ny)", &D::frictioninstr, &D::writefriction, kDomainOlf},
      {" peclet number", &D::pecletinstr, &D::writepeclet, kDomainPm},
      {" diffusion peclet number", &D::diffpecletinstr, &D::writediffpeclet, kDomainPm},
      {" element k", &D::elemkinstr, &D::writeelemk, kDomainPm | kDomainDual},
      {" element porosity", &D::elemporinstr, &D::writeelempor, kDomainPm},
      {" element specific storage", &D::elemstorinstr, &D::writeelemstor, kDomainPm},
      {" element tortuosity", &D::elemtortinstr, &D::writeelemtort, kDomainPm},
      {" element fraction of compressible interbeds", &D::elemibedfractioninstr, &D::writeelemibedfraction,
       kDomainPm},
      {" element volume", &D::elemvolumeinstr, &D::writeelemvolume, kDomainPm},
      {" aperture", &D::apertureinstr, &D::writeaperture, kDomainFrac},
      {" permafrost", &D::permafrostinstr, &D::writepermafrost, kDomainPm | kDomainFrac},
      {" flux (qx, qy, qz)", &D::fluxinstr, &D::writeflux, kDomainPm},
      {" tvk (kx, ky, kz)", &D::tvkinstr, &D::writetvk, kDomainPm},
      {" time varying porosity", &D::tvporinstr, &D::writetvpor, kDomainPm},
      {" time varying specific storage", &D::tvstorinstr, &D::writetvstor, kDomainPm},
      {"/pm exchange flux", &D::exchfluxinstr, &D::writeexchflux, kCoupledDomains},
      {"/pm solute exchange", &D::exchsolinstr, &D::writeexchsol, kCoupledDomains},
      {" et", &D::etinstr, &D::writeet, kDomainOlf},
      {" local probability", &D::localprobinstr, &D::writelocalprob, kDomainPm},
      {" et3d", &D::et3dinstr, &D::writeet3d, kDomainPm},
      {" depth to water table", &D::depth2gwtinstr, &D::writedepth2gwt, kDomainPm},
      {" max water depth", &D::maxwaterdepthinstr, &D::writemaxwaterdepth, kDomainOlf | kDomainChan},
      {" time varying topography", &D::tvtopoinstr, &D::writetvtopo, kDomainPm | kDomainOlf},
      {" time varying topography zones", &D::tvtopozoneinstr, &D::writetvtopozone, kDomainPm},
      {" rain and snowmelt package", &D::rainsnowmeltinstr, &D::writerainsnowmelt, kDomainOlf},
      {" hmc fractions", &D::hmcinstr, &D::writehmc, kDomainPm | kDomainOlf | kDomainChan},
      {" flow rates", &D::flowrateinstr, &D::writeflowrate, kDomainOlf},
      {" fluid density", &D::fluiddensityinstr, &D::writefluiddensity, kDomainPm},
      {" freezing-thawing temperature", &D::freezethawtempinstr, &D::writefreezethawtemp, 0},
      {" newton residual", &D::newtonresidinstr, &D::writenewtonresid, 0},
      {" mine advance", &D::mineadvinstr, &D::writemineadv, 0},
      {" water age", &D::waterageinstr, &D::writewaterage, 0},
      {" depth to water table 2d", &D::depth2gwt2dinstr, &D::writedepth2gwt2d, 0},
  };
  return rows;
}

void writeplotcontrolinit() {
  put(kTecplotMode);
  putcommented(kBinaryMode);
  putcommented(kFlushInterval);
  put("! 1");
  putcommented(kBinaryAppend);
  putcommented(kTimeWindow);
  put("! 0.0  1.0E+20");
  putcommented(kIndexWidth);
  put("! 4");
  put("end");
}

void writeplotcontrol(const DOMAIN& dom) {
  if (!dom.exists) return;
  const bool addition = trimview(dom.name) == "addition";
  const unsigned bit = domainbit(dom.name);

  if (!addition) {
    put(trimview(dom.writefileinstr));
    for (const InstructionRow& row : quantityinstructions()) {
      if ((row.domains & bit) != 0) putcommented(dom.*row.instr);
    }
    putcommented(dom.truncinstr);
    putpair(dom.xmin_trunc, dom.xmax_trunc);
    putpair(dom.ymin_trunc, dom.ymax_trunc);
    putpair(dom.zmin_trunc, dom.zmax_trunc);
    putcommented(dom.trunclayerinstr);
    putpair(dom.xmin_trunc, dom.xmax_trunc);
    putpair(dom.ymin_trunc, dom.ymax_trunc);
    put("! " + intfield(dom.layermin_trunc) + intfield(dom.layermax_trunc));
  }

  if (bit == kDomainPm) {
    // The comparisons are offered only when there is something to compare.
    PlotData& pd = plot_data;
    const std::string prefix = prefixtext();
    const std::string headfile = prefix + "o.head_pm." + outputtimeindex(1);
    pd.observedheadsfileexists = fileexists(prefix + ".observed_heads");
    if (pd.observedheadsfileexists && fileexists(headfile)) {
      putcommented(kCompareHeads);
      for (int i = 0; i < 3; ++i) put(kWindowOffer);
    }
    pd.observedgwtfileexists = fileexists(prefix + ".observed_heads");
    if (pd.observedgwtfileexists && fileexists(headfile)) putcommented(kCompareGwTable);
    pd.observedd2gwtfileexists = fileexists(prefix + ".observed_d2gwt");
    if (pd.observedd2gwtfileexists && fileexists(headfile)) putcommented(kCompareDepthToGw);
  }
  if (bit == kDomainOlf) {
    putcommented(kCompareSurfaceWater);
    for (int i = 0; i < 3; ++i) put(kWindowOffer);
  }
  if (addition) {
    put("! Additional post-processing commands");
    putcommented(kTimeConversion);
    put("! 0.0  1.0");
    putcommented(kIsopach);
    putcommented(kDepthBelowSurface);
    putcommented(kInterpolateDepth);
  }
  put("end");
  put("!---------------------------------------------");
}

void readoutputfilesuffix() {
  Fields fields;
  std::int32_t width = 0;
  int status = readfields(1, fields);
  const std::string* field = freefield(fields, 0);
  if (status == 0 && field == nullptr) status = kStatusBadListInput;
  if (status == 0) str2i4(*field, width, &status);
  if (status != 0) input_error_stat(status, "Error reading output file suffix length: " + valuein(field));
  if (width < 4 || width > 10) input_error("Output file suffix length must be between 4 and 10: " + valuein(field));
  plot_data.outputtimeindexwidth = width;
  plot_data.fextwidth = width + 1;
}

void readplotcontrolinit() {
  PlotData& pd = plot_data;
  std::string line;
  for (;;) {
    if (!nextline(line)) return;  // no end line: the append adjustment is not made
    echoinstruction(line);
    const std::string lc = lowered(line);
    if (lc == kTecplotMode) {
      pd.tecplot_mode = true;
    } else if (lc == kBinaryMode) {
      pd.tecplot_bin_mode = true;
    } else if (lc == kFlushInterval) {
      std::int32_t n = pd.tecbinflushint;
      readvalues(lc, {&n});
      pd.tecbinflushint = n < 1 ? 1 : n;
    } else if (lc == kBinaryAppend) {
      pd.tecappend = true;
    } else if (lc == kTimeWindow) {
      pd.truncate_time_domain = true;
      readvalues(lc, {&pd.tmin_trunc, &pd.tmax_trunc});
    } else if (lc == kIndexWidth) {
      readoutputfilesuffix();
    } else if (beginswithend(lc)) {
      break;
    } else {
      reportunrecognised(lc);
    }
  }
  // Appending works only on binary data sets.
  pd.tecappend = pd.tecappend && pd.tecplot_bin_mode;
  if (pd.tecappend) inittecplotappend();
}

namespace {
// Goes back to the start of the copy and past the global block; false at the end of the file.
bool skipglobalblock(std::string& line) {
  rewindcopy();
  for (;;) {
    if (!nextline(line)) return false;
    if (beginswithend(lowered(line))) return true;
  }
}
}  // namespace

void readplotcontrol(DOMAIN& dom) {
  dom.writefile = false;
  if (!dom.exists) return;

  std::string line;
  if (!skipglobalblock(line)) return;

  if (trimview(dom.name) == "addition") {
    readadditioncommands();
    return;
  }

  // The block starts at the domain's write line, wherever it stands.
  for (;;) {
    if (!nextline(line)) return;
    const std::string lc = lowered(line);
    if (sametext(lc, dom.writefileinstr)) {
      dom.writefile = true;
      echoinstruction(lc);
      break;
    }
  }

  const unsigned bit = domainbit(dom.name);
  while (nextline(line)) {
    echoinstruction(line);
    const std::string lc = lowered(line);
    if (applydomaininstruction(dom, lc, bit) || passadditioncommand(lc)) continue;
    if (beginswithend(lc)) return;
    reportunrecognised(lc);
  }
}

bool controlwritesdomain(std::string_view name) {
  std::string line;
  if (!skipglobalblock(line)) return false;
  const std::string write = "write " + std::string(name) + " domain file";
  while (nextline(line)) {
    if (sametext(lowered(line), write)) return true;
  }
  return false;
}

}  // namespace kelpra
