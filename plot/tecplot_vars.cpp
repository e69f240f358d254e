// The variable list of a domain's data set: names, data types, units, cell-centred and
// share marks.
#include <cmath>
#include <cstdio>

#include "arrays/arrayhelpers.hpp"
#include "plot/messages.hpp"
#include "plot/runrecord.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"
#include "support/units.hpp"

namespace kelpra {
namespace {

// Grows a per-variable list so that entry `number` exists: to the larger of 1.5 times its
// size (computed in single precision, as the lists always have been) and `number`.
template <class Array, class Fill>
void growto(Array& list, std::int32_t number, Fill fill, std::string_view label) {
  if (number <= list.size()) return;
  const auto grown = static_cast<std::int32_t>(std::ceil(1.5f * static_cast<float>(list.size())));
  list.resize(std::max(grown, number), fill, std::string(label));
}

void checkmark(std::int32_t number, const DOMAIN& dom, std::string_view what) {
  if (number < 1 || number > dom.nvar) {
    fatalerror("Tecplot " + std::string(what) + " mark for variable # " + std::to_string(number) + " in " +
               domainname(dom) + " domain: the data set has " + std::to_string(dom.nvar) +
               " variables.");
  }
}

// Marks variable `number` with `value`, the list grown to one entry per variable.
template <class T>
void setmark(std::vector<T>& marks, std::int32_t number, std::int32_t nvar, T value = 1) {
  if (marks.size() < static_cast<std::size_t>(nvar)) marks.resize(static_cast<std::size_t>(nvar), 0);
  marks[static_cast<std::size_t>(number - 1)] = value;
}

}  // namespace

void tecplotinit(DOMAIN& dom) {
  dom.zone = 0;
  clearrunrecord(dom);
  dom.zonesources.clear();
  dom.nvar = 0;
  dom.varlist.clear();
  dom.unitcomments.clear();
  dom.unitauxdata.clear();
  dom.dtlist.clear();
  plot_data.varloc.clear();
  plot_data.dlist.clear();
  dom.pendingshare.clear();
  dom.pendingsharezone.clear();
  dom.pendingcc.clear();
  dom.zonevarstate.clear();
  dom.zonecc.clear();
  if (plot_data.tecplot_bin_mode) {
    dom.ccvars.allocate(100, 0, "Tecplot cell-centered location array");
    dom.vardatatype.allocate(100, 1, "Tecplot var data types array");
    dom.varunits.allocate(100, std::string(), "Tecplot var unit string array");
  }
}

void tecplotvaradd(std::string_view name, std::int32_t& count, std::int32_t& number, std::string& list) {
  const std::string_view text = trimview(name);
  list.resize(static_cast<std::size_t>(len_trim(list)));
  if (count != 0) list += ',';
  // The binary list quotes only names with a comma, which would otherwise split in two.
  if (!plot_data.tecplot_bin_mode || text.find(',') != std::string_view::npos) {
    list += '"';
    list += text;
    list += '"';
  } else {
    list += text;
  }
  ++count;
  char field[16];
  if (count > 9999) {
    std::snprintf(field, sizeof field, "****");
  } else {
    std::snprintf(field, sizeof field, "%4d", count);
  }
  screenthenecho(std::string(field) + "     " + std::string(text));
  number = count;
}

std::string parseunitstrans(std::int32_t species, std::string_view units) {
  const std::string_view expr = trimview(units);
  const auto k = static_cast<std::size_t>(species - 1);
  const bool valid = species >= 1 && static_cast<std::size_t>(species) <= plot_data.is_temperature.size();
  if (valid && plot_data.is_temperature[k]) {
    if (expr == "M * L^-3") {
      settempunitstoc();
      return parseunits("K");
    }
    if (expr == "M * L^-2 * T^-1") return parseunits("M * T^-3");
  } else if (species >= 1 && static_cast<std::size_t>(species) <= plot_data.is_colloid.size() &&
             plot_data.is_colloid[k]) {
    if (expr == "M * L^-3") return parseunits("Nc * L^-3");
    if (expr == "M * L^-2 * T^-1") return parseunits("Nc * L^-2 * T^-1");
  }
  return parseunits(expr);
}

void tecplotvarunitsadd(std::string_view name, std::int32_t number, std::string_view units, DOMAIN& dom) {
  tecplotvarunitsaddprivate(name, number, parseunits(units), dom);
}

void tecplottransvarunitsadd(std::int32_t species, std::string_view name, std::int32_t number,
                             std::string_view units, DOMAIN& dom) {
  tecplotvarunitsaddprivate(name, number, parseunitstrans(species, units), dom);
}

void tecplotvarunitsaddprivate(std::string_view name, std::int32_t number, std::string_view unittext, DOMAIN& dom) {
  if (plot_data.tecplot_bin_mode) {
    if (number < 1) fatalerror("Tecplot units for variable # " + std::to_string(number) + " in " +
                               domainname(dom) + " domain.");
    growto(dom.varunits, number, std::string(), "Tecplot var unit string array");
    dom.varunits.set(number, unittext);
    return;
  }
  const std::string_view u = trimview(unittext);
  if (u.empty()) return;
  if (len_trim(dom.unitcomments) > 0) dom.unitcomments += '\n';
  if (len_trim(dom.unitauxdata) > 0) dom.unitauxdata += '\n';
  dom.unitcomments += "# ";
  dom.unitcomments += trimview(trimfullcopy1(name, " "));
  dom.unitcomments += " units: ";
  dom.unitcomments += u;
  dom.unitauxdata += "VARAUXDATA ";
  dom.unitauxdata += std::to_string(number);
  dom.unitauxdata += " Units=\"";
  dom.unitauxdata += u;
  dom.unitauxdata += '"';
}

void tecplotvarunitswrite(DOMAIN& dom) {
  if (!plot_data.tecplot_bin_mode) {
    if (len_trim(dom.unitcomments) > 0) checkfilewrite(writeline(dom.unit, trimview(dom.unitcomments)), dom.tecfilename);
    if (len_trim(dom.unitauxdata) > 0) checkfilewrite(writeline(dom.unit, trimview(dom.unitauxdata)), dom.tecfilename);
    return;
  }
  const std::int32_t n = std::min(dom.nvar, dom.varunits.size());
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string unittext = binarytext(dom.varunits(i));
    if (unittext.empty()) continue;
    if (tecVarAddAuxData(dom.tecfilehandle, i, "Units", unittext.c_str()) != 0) {
      binaryfailure("Tecplot variable unit auxiliary data in " + domainname(dom) + " domain.");
    }
  }
}

void tecplotvarshareadd(std::int32_t number, std::int32_t zone, DOMAIN& dom) {
  checkmark(number, dom, "share");
  if (plot_data.tecplot_bin_mode) {
    if (number > dom.varshare.size()) {
      fatalerror("Tecplot share mark for variable # " + std::to_string(number) + " before the " +
                 domainname(dom) + " data set was opened.");
    }
    dom.varshare(number) = zone >= 1 ? zone : 0;
  }
  // Zone 0 means no sharing: the zone takes the variable's own values.
  const auto i = static_cast<std::size_t>(number - 1);
  if (zone < 1) {
    if (i < dom.pendingshare.size()) dom.pendingshare[i] = 0;
    return;
  }
  setmark(dom.pendingshare, number, dom.nvar);
  // The ASCII zone line names the source zone: left out, it would mean the previous zone.
  setmark(dom.pendingsharezone, number, dom.nvar, zone);
}

void tecplotvarlocccadd(std::int32_t number, DOMAIN& dom) {
  checkmark(number, dom, "cell-centred");
  setmark(dom.pendingcc, number, dom.nvar);
  if (plot_data.tecplot_bin_mode) {
    dom.ccvars.pushback(number, dom.ncc, "Tecplot cell-centered location array");
  }
}

void tecplotdatatype(std::int32_t number, std::int32_t code, DOMAIN& dom) {
  if (plot_data.tecplot_bin_mode) {
    if (number < 1) fatalerror("Tecplot data type for variable # " + std::to_string(number) + " in " +
                               domainname(dom) + " domain.");
    growto(dom.vardatatype, number, 1, "Tecplot data type array");
    dom.vardatatype(number) = code;
    return;
  }
  if (len_trim(dom.dtlist) > 0) dom.dtlist += ',';
  dom.dtlist += trimview(tecdt2string(code));
}

void tecplotdatatypereal4(std::int32_t number, std::span<const float>, DOMAIN& dom) { tecplotdatatype(number, 1, dom); }
void tecplotdatatypereal8(std::int32_t number, std::span<const double>, DOMAIN& dom) {
  tecplotdatatype(number, 2, dom);
}
void tecplotdatatypeint4(std::int32_t number, std::span<const std::int32_t>, DOMAIN& dom) {
  tecplotdatatype(number, 3, dom);
}

std::string tecdt2string(std::int32_t code) {
  switch (code) {
    case 2: return "DOUBLE  ";
    case 3: return "LONGINT ";
    default: return "SINGLE  ";
  }
}

}  // namespace kelpra
