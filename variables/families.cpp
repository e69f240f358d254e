#include "variables/families.hpp"

#include <algorithm>
#include <array>

#include "binfile/readers.hpp"
#include "plot/modelfiles.hpp"
#include "plot/tecplot.hpp"
#include "support/checkedalloc.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

template <class T>
void readcolumn(const std::string& file, std::span<T> column, std::int32_t n) {
  if constexpr (std::is_same_v<T, double>) {
    read_r8_1d(file, n, column);
  } else {
    read_r4_1d(file, n, column);
  }
}

template <class T>
std::int32_t& slotof(const FamilyTable<T>& f, const FamilyMember& m, DOMAIN& dom) {
  I4Vec& index = dom.*f.index;
  if (m.column < 1 || static_cast<std::size_t>(m.column) > index.size()) {
    fatalerror("Column " + std::to_string(m.column) + " of " + m.name + " is missing in " + domainname(dom) +
               " domain.");
  }
  return index[static_cast<std::size_t>(m.column - 1)];
}

bool flag(const std::vector<bool>& flags, std::int32_t species) {
  return species >= 1 && static_cast<std::size_t>(species) <= flags.size() &&
         flags[static_cast<std::size_t>(species - 1)];
}

}  // namespace

template <class T>
bool familyopen(const FamilyTable<T>& f, const FamilyMember& deciding, std::int32_t columns, DOMAIN& dom) {
  plot_data.filename = deciding.file;
  checkfileinit(plot_data.filename, dom.*f.avail);
  if (!(dom.*f.avail)) return false;
  (dom.*f.values).allocate(std::max(dom.nn, 0), std::max(columns, 0), T{}, f.allocation);
  allocatearray(dom.*f.index, std::max(columns, 0), f.allocation);
  return true;
}

template <class T>
bool familyregister(const FamilyTable<T>& f, const FamilyMember& m, DOMAIN& dom, bool optional) {
  plot_data.filename = m.file;
  bool exists = false;
  checkfileinit(plot_data.filename, exists);
  if (!exists && optional) return false;
  if (exists) notefoundfile(plot_data.filename, std::array<std::string_view, 1>{m.name});
  std::int32_t& var = slotof(f, m, dom);
  const std::span<T> column = (dom.*f.values).column(m.column);
  std::fill(column.begin(), column.end(), T{});
  tecplotvaradd(m.name, dom.nvar, var, dom.varlist);
  readcolumn(plot_data.filename, column, dom.nn);
  if constexpr (std::is_same_v<T, double>) {
    tecplotdatatypereal8(var, column, dom);
  } else {
    tecplotdatatypereal4(var, column, dom);
  }
  if (m.unitspecies > 0) {
    tecplottransvarunitsadd(m.unitspecies, m.name, var, f.units, dom);
  } else {
    tecplotvarunitsadd(m.name, var, f.units, dom);
  }
  addzonearray(dom, var, m.label, f.values, m.column);
  return true;
}

template <class T>
void familyread(const FamilyTable<T>& f, const std::vector<FamilyMember>& members, DOMAIN& dom, Mask* perfound) {
  for (const FamilyMember& m : members) {
    const std::int32_t var = slotof(f, m, dom);
    if (var < 1) continue;  // not registered at the first time
    plot_data.filename = m.file;
    const bool found = fileexists(plot_data.filename);
    dom.*f.found = found;
    if (perfound != nullptr) {
      if (perfound->size() < static_cast<std::size_t>(m.column)) perfound->resize(static_cast<std::size_t>(m.column));
      (*perfound)[static_cast<std::size_t>(m.column - 1)] = found ? 1 : 0;
    }
    if (found) {
      readcolumn(plot_data.filename, (dom.*f.values).column(m.column), dom.nn);
    } else {
      notemissing(dom, plot_data.filename, f.found);
      sharewithzone1(dom, var);
    }
  }
}

template <class T>
void familyshare(const FamilyTable<T>& f, const std::vector<FamilyMember>& members, DOMAIN& dom) {
  for (const FamilyMember& m : members) {
    const std::int32_t var = slotof(f, m, dom);
    if (var > 0) sharewithzone1(dom, var);
  }
}

std::vector<std::int32_t> speciesof(SpeciesSet set) {
  const PlotData& pd = plot_data;
  // The name list bounds every set, so that no member is made without a name.
  auto last = static_cast<std::int32_t>(std::min<std::int64_t>(pd.nspeciestot, std::ssize(pd.spname)));
  if (set == SpeciesSet::mobile) last = std::min(last, pd.nspeciesmob);
  std::vector<std::int32_t> out;
  for (std::int32_t s = 1; s <= last; ++s) {
    if (set == SpeciesSet::nontemperature && flag(pd.is_temperature, s)) continue;
    if (set == SpeciesSet::colloid && !flag(pd.is_colloid, s)) continue;
    out.push_back(s);
  }
  return out;
}

std::string speciesfile(std::string_view root, const DOMAIN& dom, std::int32_t species, std::string_view separator) {
  if (species < 1 || static_cast<std::size_t>(species) > plot_data.spname.size()) {
    fatalerror("Species " + std::to_string(species) + " has no name in the species list.");
  }
  std::string file = prefixtext();
  file += root;
  file += trimview(dom.name);
  file += '.';
  file += trimview(plot_data.spname[static_cast<std::size_t>(species - 1)]);
  file += separator;
  file += plot_data.nfs;
  return file;
}

template <class T>
std::vector<FamilyMember> speciesmembers(const SpeciesFamily<T>& f, const DOMAIN& dom) {
  std::vector<FamilyMember> out;
  for (const std::int32_t s : speciesof(f.set)) {
    const std::string_view species = trimview(plot_data.spname[static_cast<std::size_t>(s - 1)]);
    FamilyMember m;
    m.column = s;
    m.file = speciesfile(f.root, dom, s, f.separator);
    m.name = std::string(species) + std::string(f.suffix);
    m.label = f.label.empty() ? m.name : std::string(f.label);
    m.unitspecies = f.transportunits ? s : 0;
    out.push_back(std::move(m));
  }
  return out;
}

template <class T>
void speciesfamilyinit(const SpeciesFamily<T>& f, DOMAIN& dom) {
  const std::vector<FamilyMember> members = speciesmembers(f, dom);
  if (members.empty()) return;
  const std::int32_t columns = f.set == SpeciesSet::mobile ? plot_data.nspeciesmob : plot_data.nspeciestot;
  if (!familyopen(f.table, members.front(), columns, dom)) return;
  for (const FamilyMember& m : members) familyregister(f.table, m, dom);
}

template <class T>
void speciesfamilyread(const SpeciesFamily<T>& f, DOMAIN& dom, Mask* perfound) {
  if (!(dom.*f.table.avail)) return;
  familyread(f.table, speciesmembers(f, dom), dom, perfound);
}

#define KELPRA_FAMILY_INSTANCES(T)                                                                            \
  template bool familyopen<T>(const FamilyTable<T>&, const FamilyMember&, std::int32_t, DOMAIN&);             \
  template bool familyregister<T>(const FamilyTable<T>&, const FamilyMember&, DOMAIN&, bool);                 \
  template void familyread<T>(const FamilyTable<T>&, const std::vector<FamilyMember>&, DOMAIN&, Mask*);       \
  template void familyshare<T>(const FamilyTable<T>&, const std::vector<FamilyMember>&, DOMAIN&);             \
  template std::vector<FamilyMember> speciesmembers<T>(const SpeciesFamily<T>&, const DOMAIN&);               \
  template void speciesfamilyinit<T>(const SpeciesFamily<T>&, DOMAIN&);                                       \
  template void speciesfamilyread<T>(const SpeciesFamily<T>&, DOMAIN&, Mask*);
KELPRA_FAMILY_INSTANCES(double)
KELPRA_FAMILY_INSTANCES(float)
#undef KELPRA_FAMILY_INSTANCES

}  // namespace kelpra
