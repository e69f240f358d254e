#include "tests/kit/tecplot_reader.hpp"

#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/kit/byteinput.hpp"

namespace kelpra::testkit {
namespace {

using Input = ByteInput;

int nodesperelement(int zonetype) {
  switch (zonetype) {
    case 1: return 2;
    case 2: return 3;
    case 3:
    case 4: return 4;
    case 5: return 8;
    default: return 0;
  }
}

bool fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

bool parseheaderzone(Input& in, std::size_t nvar, TecplotZone& z, std::string& error) {
  int colour = 0, located = 0, raw = 0, misc = 0, nodes = 0, cells = 0, dim = 0, auxflag = 0;
  if (!in.text(z.title) || !in.i32(z.parent) || !in.i32(z.strand) || !in.get(z.solutiontime) || !in.i32(colour) ||
      !in.i32(z.zonetype) || !in.i32(located)) {
    return fail(error, "zone header cut short");
  }
  if (nodesperelement(z.zonetype) == 0) return fail(error, "unsupported zone type");
  z.cellcentred.assign(nvar, false);
  if (located == 1) {
    for (std::size_t v = 0; v < nvar; ++v) {
      int location = 0;
      if (!in.i32(location) || (location != 0 && location != 1)) return fail(error, "bad variable location");
      z.cellcentred[v] = location == 1;
    }
  } else if (located != 0) {
    return fail(error, "bad variable location flag");
  }
  if (!in.i32(raw) || !in.i32(misc) || raw != 0 || misc != 0) return fail(error, "unsupported face neighbours");
  if (!in.i32(nodes) || !in.i32(cells) || nodes < 0 || cells < 0) return fail(error, "bad zone size");
  z.nodes = nodes;
  z.cells = cells;
  for (int k = 0; k < 3; ++k) {
    if (!in.i32(dim)) return fail(error, "zone header cut short");
  }
  while (true) {
    if (!in.i32(auxflag)) return fail(error, "zone header cut short");
    if (auxflag == 0) return true;
    std::string name, value;
    int format = 0;
    if (auxflag != 1 || !in.text(name) || !in.i32(format) || !in.text(value)) return fail(error, "bad zone aux data");
  }
}

bool parsedatazone(Input& in, std::size_t index, TecplotFile& file, std::string& error) {
  TecplotZone& z = file.zones[index];
  const std::size_t nvar = file.variables.size();
  float marker = 0;
  if (!in.get(marker) || marker != 299.0f) return fail(error, "missing zone marker in data section");
  z.datatypes.resize(nvar);
  for (auto& t : z.datatypes) {
    if (!in.i32(t) || t < 1 || t > 3) return fail(error, "bad variable data type");
  }
  int flag = 0;
  z.passive.assign(nvar, false);
  if (!in.i32(flag) || (flag != 0 && flag != 1)) return fail(error, "bad passive flag");
  for (std::size_t v = 0; flag == 1 && v < nvar; ++v) {
    int p = 0;
    if (!in.i32(p) || (p != 0 && p != 1)) return fail(error, "bad passive entry");
    z.passive[v] = p == 1;
  }
  z.sharezone.assign(nvar, -1);
  if (!in.i32(flag) || (flag != 0 && flag != 1)) return fail(error, "bad sharing flag");
  for (std::size_t v = 0; flag == 1 && v < nvar; ++v) {
    if (!in.i32(z.sharezone[v]) || z.sharezone[v] < -1 || z.sharezone[v] >= static_cast<int>(index)) {
      return fail(error, "bad shared zone");
    }
  }
  if (!in.i32(z.connsharezone) || z.connsharezone < -1 || z.connsharezone >= static_cast<int>(index)) {
    return fail(error, "bad connectivity zone");
  }
  z.minimum.assign(nvar, 0.0);
  z.maximum.assign(nvar, 0.0);
  for (std::size_t v = 0; v < nvar; ++v) {
    if (z.passive[v] || z.sharezone[v] >= 0) continue;
    if (!in.get(z.minimum[v]) || !in.get(z.maximum[v])) return fail(error, "min/max cut short");
  }
  z.values.assign(nvar, {});
  for (std::size_t v = 0; v < nvar; ++v) {
    if (z.passive[v]) continue;
    const std::int64_t count = z.cellcentred[v] ? z.cells : z.nodes;
    if (z.sharezone[v] >= 0) {
      const TecplotZone& src = file.zones[static_cast<std::size_t>(z.sharezone[v])];
      if (src.values[v].size() != static_cast<std::size_t>(count)) return fail(error, "shared values do not fit");
      z.values[v] = src.values[v];
      continue;
    }
    bool ok = false;
    switch (z.datatypes[v]) {
      case 1: ok = in.block<float>(count, z.values[v]); break;
      case 2: ok = in.block<double>(count, z.values[v]); break;
      default: ok = in.block<std::int32_t>(count, z.values[v]); break;
    }
    if (!ok) return fail(error, "values cut short");
  }
  const std::int64_t entries = z.cells * nodesperelement(z.zonetype);
  if (z.connsharezone >= 0) {
    const TecplotZone& src = file.zones[static_cast<std::size_t>(z.connsharezone)];
    if (src.connectivity.size() != static_cast<std::size_t>(entries) || src.nodes != z.nodes) {
      return fail(error, "shared connectivity does not fit");
    }
    z.connectivity = src.connectivity;
    return true;
  }
  if (!in.room(entries, sizeof(std::int32_t))) return fail(error, "connectivity cut short");
  z.connectivity.resize(static_cast<std::size_t>(entries));
  for (auto& node : z.connectivity) {
    in.get(node);
    if (node < 0 || node >= z.nodes) return fail(error, "node number out of range");
  }
  return true;
}

}  // namespace

bool parsetecplot(std::string_view bytes, TecplotFile& file, std::string& error) {
  file = TecplotFile{};
  Input in(bytes);
  int byteorder = 0, nvar = 0;
  if (!in.raw("#!TDV112")) return fail(error, "not a version 112 Tecplot file");
  if (!in.i32(byteorder) || byteorder != 1) return fail(error, "bad byte-order word");
  if (!in.i32(file.filetype) || !in.text(file.title) || !in.i32(nvar)) return fail(error, "header cut short");
  if (nvar < 1 || !in.room(nvar, 8)) return fail(error, "bad variable count");
  file.variables.resize(static_cast<std::size_t>(nvar));
  for (auto& name : file.variables) {
    if (!in.text(name)) return fail(error, "variable names cut short");
  }
  while (true) {
    float marker = 0;
    if (!in.get(marker)) return fail(error, "header cut short");
    if (marker == 357.0f) break;
    if (marker == 299.0f) {
      file.zones.emplace_back();
      if (!parseheaderzone(in, file.variables.size(), file.zones.back(), error)) return false;
    } else if (marker == 799.0f || marker == 899.0f) {
      TecplotAux aux;
      int format = 0;
      if (marker == 899.0f && (!in.i32(aux.var) || aux.var < 0 || aux.var >= nvar)) {
        return fail(error, "bad variable of aux data");
      }
      if (!in.text(aux.name) || !in.i32(format) || format != 0 || !in.text(aux.value)) {
        return fail(error, "bad aux data");
      }
      file.aux.push_back(std::move(aux));
    } else {
      return fail(error, "unknown header marker");
    }
  }
  for (std::size_t z = 0; z < file.zones.size(); ++z) {
    if (!parsedatazone(in, z, file, error)) return false;
  }
  if (in.left() != 0) return fail(error, "bytes after the last zone");
  return true;
}

bool readtecplot(const std::filesystem::path& path, TecplotFile& file, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(error, "cannot open " + path.string());
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parsetecplot(bytes, file, error);
}

}  // namespace kelpra::testkit
