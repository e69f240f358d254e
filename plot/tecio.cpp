// The writer calls of binary Tecplot data sets (version 112 data files): the registry of open
// data sets, zone creation, value and node-list writes, the flush and the close.
//
// Zone data streams into "<base>.szplt.szdat" in the order of the data section of the final
// file, large arrays padded to aligned offsets; the header is kept in memory and saved to
// "<base>.szplt.szhdr" at open and at every flush. The close writes the header, then copies
// the data section without the padding behind it.
#include "plot/tecio.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plot/tecio_files.hpp"
#include "plot/tecio_outcomes.hpp"
#include "plot/tecio_writer.hpp"
#include "plot/tecio_saved.hpp"
#include "support/fileunits.hpp"

namespace kelpra {

std::array<std::string, 2> temporaryfilenames(std::string_view fileName) {
  std::string final(fileName);
  if (!final.ends_with(".szplt") || final.size() == 6) final += ".szplt";
  return {final + ".szhdr", final + ".szdat"};
}

bool splitnames(std::string_view list, std::vector<std::string>& names) {
  names.clear();
  while (true) {
    std::string_view name;
    if (!list.empty() && list.front() == '"') {
      const std::size_t close = list.find('"', 1);
      if (close == std::string_view::npos) return false;
      name = list.substr(1, close - 1);
      list.remove_prefix(close + 1);
      if (!list.empty() && list.front() != ',') return false;
    } else {
      name = list.substr(0, list.find(','));
      list.remove_prefix(name.size());
    }
    if (name.empty()) return false;
    names.emplace_back(name);
    if (list.empty()) return true;
    list.remove_prefix(1);  // the comma
  }
}

namespace {

using namespace tecio;
namespace fs = std::filesystem;

// Values are taken in slices of this size, so that each is still in the cache when it is
// written after its min/max pass; smaller slices cost more in calls than they save.
constexpr std::size_t kSliceBytes = std::size_t{4} << 20;


// Widens [lo, hi] by the values; not-a-number values are left out. Four chains of short
// vectors, each held in registers of its own, keep the pass as fast as the memory that feeds it.
template <class T>
void widenrange(const T* values, std::size_t n, double& lo, double& hi) {
  typedef T Vec __attribute__((vector_size(16)));
  constexpr std::size_t kLanes = sizeof(Vec) / sizeof(T);
  constexpr T kHigh =
      std::numeric_limits<T>::has_infinity ? std::numeric_limits<T>::infinity() : std::numeric_limits<T>::max();
  constexpr T kLow =
      std::numeric_limits<T>::has_infinity ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::lowest();
  const Vec high = Vec{} + kHigh;
  const Vec low = Vec{} + kLow;
  Vec l0 = high, l1 = high, l2 = high, l3 = high;
  Vec h0 = low, h1 = low, h2 = low, h3 = low;
  // A comparison with not-a-number is false, so such a value never replaces a bound.
  const auto step = [](const T* p, Vec& l, Vec& h) {
    Vec x;
    std::memcpy(&x, p, sizeof x);
    l = x < l ? x : l;
    h = x > h ? x : h;
  };
  std::size_t i = 0;
  for (; i + 4 * kLanes <= n; i += 4 * kLanes) {
    step(values + i, l0, h0);
    step(values + i + kLanes, l1, h1);
    step(values + i + 2 * kLanes, l2, h2);
    step(values + i + 3 * kLanes, l3, h3);
  }
  l0 = l0 < l1 ? l0 : l1;
  l2 = l2 < l3 ? l2 : l3;
  l0 = l0 < l2 ? l0 : l2;
  h0 = h0 > h1 ? h0 : h1;
  h2 = h2 > h3 ? h2 : h3;
  h0 = h0 > h2 ? h0 : h2;
  T least = kHigh;
  T most = kLow;
  for (; i < n; ++i) {
    least = values[i] < least ? values[i] : least;
    most = values[i] > most ? values[i] : most;
  }
  for (std::size_t k = 0; k < kLanes; ++k) {
    least = l0[k] < least ? l0[k] : least;
    most = h0[k] > most ? h0[k] : most;
  }
  if (least > most) return;  // no number among the values
  lo = std::min(lo, static_cast<double>(least));
  hi = std::max(hi, static_cast<double>(most));
}

// Closes the data set the given way (TecClose says what each leaves on disk); an incomplete last
// zone is dropped and reported by the result. The outcome is recorded either way.
std::int32_t finish(DataSet& ds, TecClose way) {
  const bool keeptemporaries = way == TecClose::series || way == TecClose::stopped;
  const std::size_t complete = ds.zones.size() - (ds.current ? 1 : 0);
  // A resumed data set that committed no zone since (a run stopped before its first flush)
  // still holds what the earlier run's "<base>.szplt" shows.
  struct stat info {};
  if (keeptemporaries && ds.resumed && !ds.flushed && ::stat(ds.finalname.c_str(), &info) == 0) {
    ds.data.release();
    keptoutcome(ds.finalname, TecPlacement::notattempted, -1, {});
    return kTecOk;
  }
  // Without one complete zone the data set holds nothing an earlier file should give way to;
  // only a close asked for a data set of no zone by a run that goes on writes one.
  if (complete == 0 && (keeptemporaries || ds.current || way == TecClose::giveup)) {
    ds.data.release();
    if (!keeptemporaries) {
      std::remove(ds.dataname.c_str());
      std::remove(ds.headername.c_str());
    }
    keptoutcome(ds.finalname, TecPlacement::notattempted, -1, {});
    return ds.current ? kTecBadSequence : kTecOk;
  }
  std::int32_t rc = kTecOk;
  std::int64_t datalength = ds.data.end();
  if (ds.current) {
    datalength = ds.current->begin;
    ds.zones.pop_back();
    ds.current.reset();
    rc = kTecBadSequence;
  }
  const auto fail = [&](std::int32_t code) {
    ds.data.release();
    keptoutcome(ds.finalname, TecPlacement::failed, -1, ds.broken ? ds.brokenby : lastfailure());
    return code;
  };
  if (ds.broken || !ds.data.flush()) return fail(kTecIoError);
  if (layoutlength(ds.zones) != datalength) return fail(kTecBadTemporary);
  if (const std::int32_t refused = keeptemporaries ? mayreplace(ds.finalname, ds.zones) : kTecOk; refused != kTecOk) {
    ds.data.release();
    if (way == TecClose::stopped) {
      std::remove(ds.dataname.c_str());
      std::remove(ds.headername.c_str());
    }
    return refused;
  }
  // A close saves first, so that a failing assembly still leaves every complete zone
  // resumable. At the end of a run that did not close the data set the state of its last
  // flush stays: only flushed zones are committed, and each records its output time, so the
  // next run goes on where that record says.
  if (!keeptemporaries && !savestate(ds, datalength)) return fail(kTecIoError);
  bool unchanged = false;
  if (!putinplace(ds, keeptemporaries ? &unchanged : nullptr)) return fail(kTecIoError);
  // The file is in place: a failing close of the data file no longer changes what it holds.
  ds.data.release();
  heldoutcome(ds.finalname,
              unchanged ? TecPlacement::unchanged : rc == kTecBadSequence ? TecPlacement::writtencut
                                                                           : TecPlacement::written,
              ds.zones);
  if (!keeptemporaries) {
    std::remove(ds.dataname.c_str());
    std::remove(ds.headername.c_str());
  }
  return rc;
}

struct Registry {
  std::mutex lock;
  std::map<std::uintptr_t, std::unique_ptr<DataSet>> open;
  std::uintptr_t last = 0;

  // The program closes every data set it opens, at its end or as it stops; one still open when
  // the program ends all the same (a caller that never closed it) is closed as a stop closes it,
  // so that it has a readable "<base>.szplt" where that holds no more zones, and the temporary
  // files of a series stay as of the last flush.
  ~Registry() {
    for (auto& entry : open) {
      try {
        finish(*entry.second, entry.second->series ? TecClose::series : TecClose::stopped);
      } catch (...) {
        // Nothing more can be done at exit; the temporary files hold the last flush.
      }
    }
  }
};

Registry& registry() {
  lastfailure();
  outcomes();
  static Registry r;
  return r;
}

DataSet* lookup(void* handle) {
  if (handle == nullptr) return nullptr;
  auto& open = registry().open;
  const auto it = open.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == open.end() ? nullptr : it->second.get();
}

// Runs one call under the registry lock; an unexpected exception (memory exhaustion) becomes
// a status like every other failure.
template <class F>
std::int32_t guarded(F&& body) noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    // A failure reported belongs to the call that reports it.
    lastfailure().error = 0;
    return body();
  } catch (...) {
    return kTecIoError;
  }
}

std::int32_t setoutputindex(void* fileHandle, std::int32_t zone, std::int32_t index) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (zone < 0 || static_cast<std::size_t>(zone) > ds->zones.size() || index < 0) return kTecBadArgument;
  if (zone > 0) {
    ds->zones[static_cast<std::size_t>(zone) - 1].outputindex = index;
    return kTecOk;
  }
  // A data set without zones is recorded at once, so that a run killed before its first
  // flush still says where the data set begins.
  if (!ds->zones.empty()) return kTecOk;
  if (ds->broken) return kTecIoError;
  ds->setupindex = index;
  return savestate(*ds, ds->data.end()) ? kTecOk : kTecIoError;
}

std::int32_t setsources(void* fileHandle, std::int32_t zone, const std::vector<std::string>& files,
                        TecZoneOrigin origin) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (zone < 1 || static_cast<std::size_t>(zone) > ds->zones.size() || origin == TecZoneOrigin::unknown) {
    return kTecBadArgument;
  }
  for (const auto& file : files) {
    std::string text = file;
    if (text.empty() || !plaintext(text, true)) return kTecBadArgument;
  }
  auto& z = ds->zones[static_cast<std::size_t>(zone) - 1];
  z.sources = files;
  z.sourced = true;
  z.origin = origin;
  return kTecOk;
}

std::int32_t openimpl(const char* fileName, const char* dataSetTitle, const char* variableList,
                      std::int32_t fileFormat, std::int32_t fileType, std::int32_t defaultVarType,
                      void* gridFileHandle, void** fileHandle) {
  if (fileHandle == nullptr) return kTecBadArgument;
  *fileHandle = nullptr;
  if (fileName == nullptr || dataSetTitle == nullptr || variableList == nullptr || gridFileHandle != nullptr) {
    return kTecBadArgument;
  }
  if (fileFormat != kTecFormatSzplt || fileType != kTecFileFull || defaultVarType < 0 || defaultVarType > kTecInt32) {
    return kTecBadArgument;
  }
  auto ds = std::make_unique<DataSet>();
  if (!splitnames(variableList, ds->names) || !namefiles(fileName, *ds)) return kTecBadArgument;
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(ds->finalname), ec);
  if (ec) return kTecIoError;
  ds->key = absolute.lexically_normal().string();
  for (const auto& [token, other] : registry().open) {
    if (other->key == ds->key) return kTecBadArgument;
  }
  ds->title = dataSetTitle;
  ds->filetype = fileType;
  ds->defaulttype = defaultVarType == 0 ? kTecFloat : defaultVarType;

  bool resumed = false;
  if (fs::exists(ds->headername, ec)) {
    std::string content;
    if (!readwhole(ds->headername, content)) return kTecIoError;
    SavedState st;
    if (!parsestate(content, st)) return kTecBadTemporary;
    // Starting afresh would throw away the zones the files hold; files of no zone hold nothing
    // (a data set of the meshes alone, taken back to be written anew with its output times).
    const bool other = st.names != ds->names || st.filetype != ds->filetype;
    if (other && !st.zones.empty()) return kTecOtherTemporary;
    if (!other) {
      const std::int32_t rc = ds->data.resume(ds->dataname, st.datalength);
      if (rc != kTecOk) return rc;
      ds->aux = std::move(st.aux);
      ds->zones = std::move(st.zones);
      ds->setupindex = st.setupindex;
      ds->series = st.series != 0;
      // The header already describes the data file: it is written again at the next flush, so
      // that one written by an earlier version stays as it was until then.
      ds->savedstate = std::move(content);
      ds->resumed = true;
      resumed = true;
    }
  } else if (ec) {
    return kTecIoError;
  }
  // The header comes first: a run killed before the data file exists leaves a data set that
  // holds nothing, which the next open continues.
  if (!resumed && (!savestate(*ds, 0) || !ds->data.create(ds->dataname))) return kTecIoError;

  auto& reg = registry();
  const std::uintptr_t token = ++reg.last;
  reg.open.emplace(token, std::move(ds));
  *fileHandle = reinterpret_cast<void*>(token);
  return kTecOk;
}

// `var` 0 adds a data-set item, 1 to the variable count an item of that variable.
std::int32_t addaux(void* fileHandle, bool ofvariable, std::int32_t var, const char* name, const char* value) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if ((ofvariable && var < 1) || var < 0 || static_cast<std::size_t>(var) > ds->nvar() || !validauxname(name) ||
      value == nullptr) {
    return kTecBadArgument;
  }
  for (auto& item : ds->aux) {
    if (item.var == var && item.name == name) {
      item.value = value;
      return kTecOk;
    }
  }
  ds->aux.push_back({var, name, value});
  return kTecOk;
}

std::int32_t createzone(void* fileHandle, const char* zoneTitle, std::int32_t zoneType, std::int64_t numNodes,
                        std::int64_t numCells, const std::int32_t* varTypes, const std::int32_t* shareVarFromZone,
                        const std::int32_t* valueLocations, const std::int32_t* passiveVarList,
                        std::int32_t shareConnectivityFromZone, std::int64_t numFaceConnections,
                        std::int32_t faceNeighborMode, std::int32_t* zone) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  const std::int32_t npe = nodesperelement(zoneType);
  if (zoneTitle == nullptr || zone == nullptr || npe == 0 || numNodes < 0 || numNodes > kMaxCount || numCells < 0 ||
      numCells > kMaxCount || numFaceConnections != 0 || faceNeighborMode < 0 || faceNeighborMode > 3) {
    return kTecBadArgument;
  }
  if (ds->broken) return kTecIoError;
  if (ds->current) return kTecBadSequence;
  if (ds->zones.size() >= static_cast<std::size_t>(kMaxCount)) return kTecBadArgument;
  const auto newzone = static_cast<std::int32_t>(ds->zones.size() + 1);

  ZoneRecord z;
  z.title = zoneTitle;
  z.type = zoneType;
  z.nodes = numNodes;
  z.cells = numCells;
  z.vars.resize(ds->nvar());
  for (std::size_t v = 0; v < ds->nvar(); ++v) {
    auto& slot = z.vars[v];
    slot.type = varTypes != nullptr ? varTypes[v] : ds->defaulttype;
    const std::int32_t location = valueLocations != nullptr ? valueLocations[v] : kTecNodal;
    const std::int32_t passive = passiveVarList != nullptr ? passiveVarList[v] : 0;
    const std::int32_t share = shareVarFromZone != nullptr ? shareVarFromZone[v] : 0;
    if (slot.type < kTecFloat || slot.type > kTecInt32 || (location != kTecNodal && location != kTecCellCentred) ||
        passive < 0 || passive > 1 || share < 0 || share >= newzone || (share > 0 && passive == 1)) {
      return kTecBadArgument;
    }
    slot.cellcentred = location == kTecCellCentred;
    slot.passive = passive == 1;
    if (share > 0) {
      // Shared values must fit this zone as they are; chains end at the zone that holds them.
      const auto& src = ds->zones[static_cast<std::size_t>(share) - 1];
      const auto& from = src.vars[v];
      if (from.passive || from.cellcentred != slot.cellcentred || src.valuecount(v) != z.valuecount(v)) {
        return kTecBadArgument;
      }
      slot.type = from.type;
      slot.share = from.share > 0 ? from.share : share;
    }
  }
  if (shareConnectivityFromZone < 0 || shareConnectivityFromZone >= newzone) return kTecBadArgument;
  if (shareConnectivityFromZone > 0) {
    const auto& src = ds->zones[static_cast<std::size_t>(shareConnectivityFromZone) - 1];
    if (src.type != z.type || src.nodes != z.nodes || src.cells != z.cells) return kTecBadArgument;
    z.connshare = src.connshare > 0 ? src.connshare : shareConnectivityFromZone;
  }

  ZoneWrite w;
  w.zone = newzone;
  w.begin = ds->data.end();
  const Bytes preamble = zonepreamble(z, w.rangeat, w.begin);
  w.expected.resize(ds->nvar());
  for (std::size_t v = 0; v < ds->nvar(); ++v) {
    w.expected[v] = (z.vars[v].passive || z.vars[v].share > 0) ? 0 : z.valuecount(v);
  }
  w.written.assign(ds->nvar(), 0);
  w.lo.assign(ds->nvar(), std::numeric_limits<double>::infinity());
  w.hi.assign(ds->nvar(), -std::numeric_limits<double>::infinity());
  w.connexpected = z.connshare > 0 ? 0 : z.cells * npe;
  w.skipcomplete();
  if (!ds->data.append(preamble.data(), preamble.size())) {
    ds->breakoff();
    return kTecIoError;
  }
  ds->zones.push_back(std::move(z));
  if (!w.complete()) ds->current = std::move(w);
  *zone = newzone;
  return kTecOk;
}

// Argument checks shared by the value and node-map writes.
std::int32_t checkzone(const DataSet& ds, std::int32_t zone, std::int32_t partition, std::int64_t count,
                       const void* data) {
  if (zone < 1 || static_cast<std::size_t>(zone) > ds.zones.size() || partition != 0 || count < 0 ||
      (count > 0 && data == nullptr)) {
    return kTecBadArgument;
  }
  return kTecOk;
}

// Whether `zone` still takes data; every other existing zone is complete and takes nothing more.
bool writing(const DataSet& ds, std::int32_t zone) { return ds.current && ds.current->zone == zone; }

std::int32_t finishvar(DataSet& ds, std::size_t v) {
  ZoneWrite& w = *ds.current;
  double range[2] = {w.lo[v], w.hi[v]};
  if (range[0] > range[1]) range[0] = range[1] = 0.0;  // no values, or none a number
  if (!ds.data.patch(w.rangeat[v], range, sizeof range)) {
    ds.breakoff();
    return kTecIoError;
  }
  w.skipcomplete();
  return kTecOk;
}

template <class T>
std::int32_t writevalues(void* fileHandle, std::int32_t zone, std::int32_t var, std::int32_t partition,
                         std::int64_t count, const T* values, std::int32_t type) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (const std::int32_t rc = checkzone(*ds, zone, partition, count, values); rc != kTecOk) return rc;
  if (var < 1 || static_cast<std::size_t>(var) > ds->nvar()) return kTecBadArgument;
  const auto v = static_cast<std::size_t>(var) - 1;
  const VarSlot& slot = ds->zones[static_cast<std::size_t>(zone) - 1].vars[v];
  if (slot.type != type) return kTecBadArgument;
  if (slot.passive || slot.share > 0) return kTecBadSequence;
  if (ds->broken) return kTecIoError;
  if (!writing(*ds, zone)) return count == 0 ? kTecOk : kTecBadSequence;
  ZoneWrite& w = *ds->current;
  if (w.next < v || count > w.expected[v] - w.written[v]) return kTecBadSequence;
  if (count == 0) return kTecOk;
  const auto n = static_cast<std::size_t>(count);
  if (w.written[v] == 0 && w.expected[v] * static_cast<std::int64_t>(sizeof(T)) >= kAlignFrom &&
      !padto(ds->data, ds->zones.back().vars[v].pad)) {
    ds->breakoff();
    return kTecIoError;
  }
  constexpr std::size_t kSlice = kSliceBytes / sizeof(T);
  for (std::size_t i = 0; i < n; i += kSlice) {
    const std::size_t m = std::min(kSlice, n - i);
    widenrange(values + i, m, w.lo[v], w.hi[v]);
    if (!ds->data.append(values + i, m * sizeof(T))) {
      ds->breakoff();
      return kTecIoError;
    }
  }
  w.written[v] += count;
  if (w.written[v] == w.expected[v]) {
    if (const std::int32_t rc = finishvar(*ds, v); rc != kTecOk) return rc;
    if (w.complete()) ds->current.reset();
  }
  return kTecOk;
}

std::int32_t writenodemap(void* fileHandle, std::int32_t zone, std::int32_t partition, std::int32_t oneBased,
                          std::int64_t count, const std::int32_t* nodes) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (const std::int32_t rc = checkzone(*ds, zone, partition, count, nodes); rc != kTecOk) return rc;
  if (oneBased != 0 && oneBased != 1) return kTecBadArgument;
  const ZoneRecord& z = ds->zones[static_cast<std::size_t>(zone) - 1];
  if (z.connshare > 0) return kTecBadSequence;
  if (ds->broken) return kTecIoError;
  if (!writing(*ds, zone)) return count == 0 ? kTecOk : kTecBadSequence;
  ZoneWrite& w = *ds->current;
  if (w.next < w.expected.size() || count > w.connexpected - w.connwritten) return kTecBadSequence;
  const std::int64_t first = oneBased;
  const std::int64_t last = first + z.nodes - 1;
  const auto n = static_cast<std::size_t>(count);
  if (std::any_of(nodes, nodes + n, [&](std::int32_t k) { return k < first || k > last; })) return kTecBadArgument;
  if (count == 0) return kTecOk;
  bool ok = w.connwritten > 0 || w.connexpected * 4 < kAlignFrom || padto(ds->data, ds->zones.back().connpad);
  if (ok && oneBased == 0) {
    ok = ds->data.append(nodes, n * sizeof(std::int32_t));
  } else if (ok) {
    // The file numbers nodes from 0.
    std::vector<std::int32_t> shifted(std::min<std::size_t>(n, kSliceBytes / sizeof(std::int32_t)));
    for (std::size_t i = 0; ok && i < n; i += shifted.size()) {
      const std::size_t m = std::min(shifted.size(), n - i);
      for (std::size_t k = 0; k < m; ++k) shifted[k] = nodes[i + k] - 1;
      ok = ds->data.append(shifted.data(), m * sizeof(std::int32_t));
    }
  }
  if (!ok) {
    ds->breakoff();
    return kTecIoError;
  }
  w.connwritten += count;
  if (w.complete()) ds->current.reset();
  return kTecOk;
}

std::int32_t flushimpl(void* fileHandle, std::int32_t numZonesToRetain, const std::int32_t* zonesToRetain) {
  DataSet* ds = lookup(fileHandle);
  if (ds == nullptr) return kTecBadHandle;
  if (numZonesToRetain < 0 || (numZonesToRetain > 0 && zonesToRetain == nullptr)) return kTecBadArgument;
  for (std::int32_t i = 0; i < numZonesToRetain; ++i) {
    if (zonesToRetain[i] < 1 || static_cast<std::size_t>(zonesToRetain[i]) > ds->zones.size()) {
      return kTecBadArgument;
    }
  }
  if (ds->current) return kTecBadSequence;
  if (ds->broken) return kTecIoError;
  if (!ds->data.flush()) {
    ds->breakoff();
    return kTecIoError;
  }
  if (!savestate(*ds, ds->data.end())) return kTecIoError;
  ds->flushed = true;
  return kTecOk;
}

std::int32_t closeimpl(void** fileHandle, TecClose way) {
  if (fileHandle == nullptr) return kTecBadHandle;
  auto& open = registry().open;
  const auto it = open.find(reinterpret_cast<std::uintptr_t>(*fileHandle));
  if (it == open.end()) return kTecBadHandle;
  const std::unique_ptr<DataSet> owned = std::move(it->second);
  open.erase(it);
  *fileHandle = nullptr;
  return finish(*owned, way);
}

}  // namespace

std::int32_t tecFileWriterOpen(const char* fileName, const char* dataSetTitle, const char* variableList,
                               std::int32_t fileFormat, std::int32_t fileType, std::int32_t defaultVarType,
                               void* gridFileHandle, void** fileHandle) noexcept {
  return guarded([&] {
    return openimpl(fileName, dataSetTitle, variableList, fileFormat, fileType, defaultVarType, gridFileHandle,
                    fileHandle);
  });
}

std::int32_t tecDataSetAddAuxData(void* fileHandle, const char* name, const char* value) noexcept {
  return guarded([&] { return addaux(fileHandle, false, 0, name, value); });
}

std::int32_t tecVarAddAuxData(void* fileHandle, std::int32_t var, const char* name, const char* value) noexcept {
  return guarded([&] { return addaux(fileHandle, true, var, name, value); });
}

std::int32_t tecZoneCreateFE(void* fileHandle, const char* zoneTitle, std::int32_t zoneType, std::int64_t numNodes,
                             std::int64_t numCells, const std::int32_t* varTypes,
                             const std::int32_t* shareVarFromZone, const std::int32_t* valueLocations,
                             const std::int32_t* passiveVarList, std::int32_t shareConnectivityFromZone,
                             std::int64_t numFaceConnections, std::int32_t faceNeighborMode,
                             std::int32_t* zone) noexcept {
  return guarded([&] {
    return createzone(fileHandle, zoneTitle, zoneType, numNodes, numCells, varTypes, shareVarFromZone,
                      valueLocations, passiveVarList, shareConnectivityFromZone, numFaceConnections,
                      faceNeighborMode, zone);
  });
}

std::int32_t tecZoneSetUnsteadyOptions(void* fileHandle, std::int32_t zone, double solutionTime,
                                       std::int32_t strand) noexcept {
  return guarded([&] {
    DataSet* ds = lookup(fileHandle);
    if (ds == nullptr) return kTecBadHandle;
    if (zone < 1 || static_cast<std::size_t>(zone) > ds->zones.size() || strand < 0 || !std::isfinite(solutionTime)) {
      return kTecBadArgument;
    }
    auto& z = ds->zones[static_cast<std::size_t>(zone) - 1];
    z.time = solutionTime;
    z.strand = strand;
    return kTecOk;
  });
}

std::int32_t tecZoneVarWriteFloatValues(void* fileHandle, std::int32_t zone, std::int32_t var,
                                        std::int32_t partition, std::int64_t count, const float* values) noexcept {
  return guarded([&] { return writevalues(fileHandle, zone, var, partition, count, values, kTecFloat); });
}

std::int32_t tecZoneVarWriteDoubleValues(void* fileHandle, std::int32_t zone, std::int32_t var,
                                         std::int32_t partition, std::int64_t count, const double* values) noexcept {
  return guarded([&] { return writevalues(fileHandle, zone, var, partition, count, values, kTecDouble); });
}

std::int32_t tecZoneVarWriteInt32Values(void* fileHandle, std::int32_t zone, std::int32_t var,
                                        std::int32_t partition, std::int64_t count,
                                        const std::int32_t* values) noexcept {
  return guarded([&] { return writevalues(fileHandle, zone, var, partition, count, values, kTecInt32); });
}

std::int32_t tecZoneNodeMapWrite32(void* fileHandle, std::int32_t zone, std::int32_t partition,
                                   std::int32_t nodesAreOneBased, std::int64_t count,
                                   const std::int32_t* nodes) noexcept {
  return guarded([&] { return writenodemap(fileHandle, zone, partition, nodesAreOneBased, count, nodes); });
}

std::int32_t tecFileWriterFlush(void* fileHandle, std::int32_t numZonesToRetain,
                                const std::int32_t* zonesToRetain) noexcept {
  return guarded([&] { return flushimpl(fileHandle, numZonesToRetain, zonesToRetain); });
}

std::int32_t tecFileWriterClose(void** fileHandle) noexcept { return tecFileWriterCloseAs(fileHandle, TecClose::normal); }

std::int32_t tecFileWriterCloseAs(void** fileHandle, TecClose way) noexcept {
  return guarded([&] { return closeimpl(fileHandle, way); });
}

std::int32_t tecTemporariesRead(const char* fileName, TecTemporaries* temporaries) noexcept {
  return guarded([&] { return readtemporaries(fileName, temporaries); });
}

std::int32_t tecDataSetVariables(const char* fileName, bool* exists, std::vector<std::string>* names) noexcept {
  std::int64_t zones = 0;
  std::vector<std::vector<char>> ownvalues;
  return tecDataSetZones(fileName, 0, exists, names, &zones, &ownvalues);
}

std::int32_t tecDataSetZones(const char* fileName, std::int64_t upto, bool* exists, std::vector<std::string>* names,
                             std::int64_t* zones, std::vector<std::vector<char>>* ownvalues) noexcept {
  return guarded([&] {
    DataSet named;
    if (exists == nullptr || names == nullptr || zones == nullptr || ownvalues == nullptr || fileName == nullptr ||
        !namefiles(fileName, named)) {
      return kTecBadArgument;
    }
    Placed placed = placedfile(linktarget(named.finalname), upto);
    *exists = placed.zones >= 0 || !placed.trouble.empty();
    *names = std::move(placed.names);
    *zones = placed.zones;
    *ownvalues = std::move(placed.ownvalues);
    if (placed.trouble.empty()) return kTecOk;
    if (placed.failure.error == 0) return kTecPlacedUnreadable;
    lastfailure() = placed.failure;
    return kTecIoError;
  });
}

std::int32_t tecTemporariesPutInPlace(const char* fileName, std::int32_t* written) noexcept {
  return guarded([&] { return assemble(fileName, written); });
}

std::int32_t tecTemporariesTakeBack(const char* fileName, std::int32_t lastindex, bool every) noexcept {
  return guarded([&] { return takeback(fileName, lastindex, every); });
}

std::int32_t tecZoneSetOutputIndex(void* fileHandle, std::int32_t zone, std::int32_t index) noexcept {
  return guarded([&] { return setoutputindex(fileHandle, zone, index); });
}

std::int32_t tecDataSetSetSeries(void* fileHandle, bool series) noexcept {
  return guarded([&] {
    DataSet* ds = lookup(fileHandle);
    if (ds == nullptr) return kTecBadHandle;
    ds->series = series;
    return kTecOk;
  });
}

std::int32_t tecZoneSetSources(void* fileHandle, std::int32_t zone, const std::vector<std::string>& files,
                               TecZoneOrigin origin) noexcept {
  return guarded([&] { return setsources(fileHandle, zone, files, origin); });
}

TecOutcome tecDataSetOutcome(const char* fileName) noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    DataSet named;
    if (fileName == nullptr || !namefiles(fileName, named)) return {};
    const auto it = outcomes().find(named.finalname);
    return it == outcomes().end() ? TecOutcome{} : it->second;
  } catch (...) {
    return {};
  }
}

std::vector<std::string> tecDataSetsWritten() noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    std::vector<std::string> written;
    for (const auto& [name, outcome] : outcomes()) {
      if (outcome.placement == TecPlacement::written || outcome.placement == TecPlacement::writtencut) {
        written.push_back(name);
      }
    }
    return written;
  } catch (...) {
    return {};
  }
}

TecFailure tecLastFailure() noexcept {
  try {
    std::lock_guard<std::mutex> hold(registry().lock);
    return lastfailure();
  } catch (...) {
    return {};
  }
}

}  // namespace kelpra

