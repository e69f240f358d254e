#include <algorithm>
#include <utility>
#include <vector>

#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

// "pm" read only as the node source of the common-node domains writes no zone and never
// opens its data set, so a zone mark has nothing to go to (a binary data set refuses it).
bool writesnozone(const DOMAIN& dom) { return plot_data.pmreadonly && trimview(dom.name) == "pm"; }

template <class T>
void writevalues(std::int32_t var, const std::string& label, bool cellcentred, Source source,
                 std::span<const T> view, DOMAIN& dom, const DOMAIN& pm) {
  std::int32_t n = 0;
  const Mask* mask = &dom.nodemask;
  if (cellcentred) {
    n = dom.ne;
    mask = &dom.elemmask;
  } else if (source == Source::pmcopy) {
    n = pm.nn;
  } else if (source == Source::ownpm) {
    n = dom.nn;
    mask = &dom.pmnodemask;
  } else {
    n = dom.nn;
  }
  if constexpr (std::is_same_v<T, double>) {
    tecplotwritearrayreal8(var, n, view, dom.truncate, *mask, label, dom);
  } else if constexpr (std::is_same_v<T, float>) {
    tecplotwritearrayreal4(var, n, view, dom.truncate, *mask, label, dom);
  } else {
    tecplotwritearrayint4(var, n, view, dom.truncate, *mask, label, dom);
  }
}

template <class Vec>
void addmemberarray(DOMAIN& dom, std::int32_t var, std::string_view label, Vec DOMAIN::*values, bool cellcentred,
                    Source source, bool isstatic) {
  std::string text(label);
  addzonearray(dom, ZoneArray{var, cellcentred, isstatic, [=](DOMAIN& d, const DOMAIN& pm) {
                                const DOMAIN& from = source == Source::pmcopy ? pm : d;
                                const auto& v = from.*values;
                                writevalues(var, text, cellcentred, source, std::span(v.data(), v.size()), d, pm);
                              }});
}

template <class T>
void addcolumnarray(DOMAIN& dom, std::int32_t var, std::string_view label, DynArray2D<T> DOMAIN::*values,
                    std::int32_t column, Source source) {
  std::string text(label);
  addzonearray(dom, ZoneArray{var, false, false, [=](DOMAIN& d, const DOMAIN& pm) {
                                const DOMAIN& from = source == Source::pmcopy ? pm : d;
                                const DynArray2D<T>& table = from.*values;
                                if (column < 1 || column > table.extent2()) {
                                  fatalerror("Column " + std::to_string(column) + " of " + text + " is missing in " +
                                             domainname(d) + " domain.");
                                }
                                writevalues(var, text, false, source, table.column(column), d, pm);
                              }});
}

// The result files the handlers looked for at the first output time and did not find.
std::vector<NotFound>& notfound() {
  static std::vector<NotFound> files;
  return files;
}

// A quantity without its file at the first output time is left out of the whole data set; where
// the next output time has the file, that is worth a word.
void noteleftout(const std::string& name, std::span<const std::string_view> variables) {
  if (plot_data.nfile != plot_data.nfilestart) return;  // a later output time's file: shared
  notfound().push_back({name, std::vector<std::string>(variables.begin(), variables.end())});
  const auto dot = name.rfind('.');
  const std::int32_t next = plot_data.nfile + 1;
  if (dot == std::string::npos || !outputtimeindexfits(next)) return;
  const std::string later = name.substr(0, dot + 1) + outputtimeindex(next);
  if (!fileexists(later)) return;
  warningmsg("A result file of output time " + name.substr(dot + 1) + ", the first this run converts, does not "
             "exist:\n  " + name + "\nwhile that of output time " + outputtimeindex(next) + " does (" + later +
             "). Its variables are left out of the whole data set: a quantity is written only where its file exists "
             "at the first output time.");
}

}  // namespace

std::vector<NotFound> takefilesnotfound() { return std::exchange(notfound(), {}); }

namespace {
std::vector<NotFound>& found() {
  static std::vector<NotFound> files;
  return files;
}
}  // namespace

void notefoundfile(const std::string& file, std::span<const std::string_view> variables) {
  if (plot_data.nfile != plot_data.nfilestart || variables.empty()) return;
  if (!std::string_view(file).ends_with("." + plot_data.nfs)) return;
  found().push_back({file, std::vector<std::string>(variables.begin(), variables.end())});
}

std::vector<NotFound> takefilesfound() { return std::exchange(found(), {}); }

void checkfileinit(std::string& filename, bool& exists, std::span<const std::string_view> variables) {
  exists = fileexists(filename);
  if (exists) return;
  const std::string name(trimview(filename));
  const auto dot = name.rfind('.');
  if (!plot_data.tecappend || dot == std::string::npos) {
    noteleftout(name, variables);
    return;
  }
  const std::string index = outputtimeindex(plot_data.tecappendnfile0);
  filename = name.substr(0, dot + 1) + index;
  exists = fileexists(filename);
  if (!exists) {
    noteleftout(name, variables);
    return;
  }
  echothenscreen("Warning: file not found -> appending at time index " + index);
  // The zone would otherwise hold another output time's values without a word.
  const std::string missing = name.substr(dot + 1);
  warningmsg("A result file of output time " + missing + " does not exist:\n  " + name +
             "\nIts variables take the values of output time " + index + " (" + filename + ") in the zone of output "
             "time " + missing + ".");
}

const std::string& quantityfilename(std::string_view root, const DOMAIN& dom) {
  plot_data.filename = prefixtext();
  plot_data.filename += root;
  plot_data.filename += trimview(dom.name);
  plot_data.filename += '.';
  plot_data.filename += plot_data.nfs;
  return plot_data.filename;
}

std::int32_t datatypecode(ValueKind kind) { return kind == ValueKind::r4 ? 1 : kind == ValueKind::r8 ? 2 : 3; }

void registervariable(DOMAIN& dom, std::string_view name, std::int32_t& number, ValueKind kind,
                      std::string_view units, bool cellcentred) {
  tecplotvaradd(name, dom.nvar, number, dom.varlist);
  tecplotdatatype(number, datatypecode(kind), dom);
  if (!trimview(units).empty()) tecplotvarunitsadd(name, number, units, dom);
  if (cellcentred) tecplotvarlocccadd(number, dom);
}

void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, R8Vec DOMAIN::*values, bool cellcentred,
                  Source source, bool isstatic) {
  addmemberarray(dom, var, label, values, cellcentred, source, isstatic);
}
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, R4Vec DOMAIN::*values, bool cellcentred,
                  Source source, bool isstatic) {
  addmemberarray(dom, var, label, values, cellcentred, source, isstatic);
}
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, I4Vec DOMAIN::*values, bool cellcentred,
                  Source source, bool isstatic) {
  addmemberarray(dom, var, label, values, cellcentred, source, isstatic);
}
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, DynArray2D<double> DOMAIN::*values,
                  std::int32_t column, Source source) {
  addcolumnarray(dom, var, label, values, column, source);
}
void addzonearray(DOMAIN& dom, std::int32_t var, std::string_view label, DynArray2D<float> DOMAIN::*values,
                  std::int32_t column, Source source) {
  addcolumnarray(dom, var, label, values, column, source);
}

void addzonearray(DOMAIN& dom, ZoneArray array) {
  if (array.var < 1) fatalerror("Zone array without a variable in " + domainname(dom) + " domain.");
  dom.zonearrays.push_back(std::move(array));
}

void sharewithzone1(DOMAIN& dom, std::int32_t var, bool cellcentred) {
  if (writesnozone(dom)) return;
  tecplotvarshareadd(var, 1, dom);
  if (cellcentred) tecplotvarlocccadd(var, dom);
}

void notemissing(DOMAIN& dom, const std::string& file, bool DOMAIN::*found) {
  for (const DOMAIN::MissingFile& m : dom.missingfiles) {
    if (m.name == file) return;
  }
  dom.missingfiles.push_back({file, found});
}

void notemissingofpm(DOMAIN& dom, const DOMAIN& pm, bool DOMAIN::*found) {
  for (const DOMAIN::MissingFile& m : pm.missingfiles) {
    if (m.found == found) notemissing(dom, m.name, found);
  }
}

// A zone that repeats earlier values looks like any other; only this warning tells them apart.
void warnmissingfiles(const DOMAIN& dom) {
  if (dom.missingfiles.empty()) return;
  const bool one = dom.missingfiles.size() == 1;
  std::string text = one ? "A result file of output time " : "Result files of output time ";
  text += plot_data.nfs;
  text += one ? " does not exist:" : " do not exist:";
  for (const DOMAIN::MissingFile& m : dom.missingfiles) text += "\n  " + m.name;
  text += one ? "\nIts variables repeat" : "\nTheir variables repeat";
  // Under a time window or in a continued data set zone 1 need not be the first output time.
  if (dom.zoneonenfile > 0) {
    text += " the values of output time " + outputtimeindex(dom.zoneonenfile) + " (zone 1)";
  } else {
    text += " the values of zone 1";
  }
  text += " in zone " + std::to_string(dom.zone + 1) + " of the " + std::string(trimview(dom.name)) + " data set.";
  warningmsg(text);
}

void markcellcentred(DOMAIN& dom, std::int32_t var) {
  if (writesnozone(dom)) return;
  tecplotvarlocccadd(var, dom);
}

void sharestaticarrays(DOMAIN& dom) {
  for (const ZoneArray& a : dom.zonearrays) {
    if (a.isstatic) sharewithzone1(dom, a.var, a.cellcentred);
  }
}

void writezonearrays(DOMAIN& dom, const DOMAIN& pmcopy) {
  std::vector<const ZoneArray*> order;
  order.reserve(dom.zonearrays.size());
  for (const ZoneArray& a : dom.zonearrays) order.push_back(&a);
  std::stable_sort(order.begin(), order.end(), [](const ZoneArray* a, const ZoneArray* b) { return a->var < b->var; });
  for (const ZoneArray* a : order) {
    const auto i = static_cast<std::size_t>(a->var - 1);
    if (i < dom.zonevarstate.size() && dom.zonevarstate[i] == 2) continue;
    a->write(dom, pmcopy);
  }
}

}  // namespace kelpra
