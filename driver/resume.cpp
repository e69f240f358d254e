// The resume of an append series: where each continued data set ends, as the zones of its
// temporary files record it, and the output time at which this run goes on. Data sets out of
// step are taken back to the earliest end; files that cannot be continued stop the run first.
#include "driver/resume.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <optional>
#include <string>

#include "binfile/readfault.hpp"
#include "driver/appendhint.hpp"
#include "driver/plotsetup.hpp"
#include "plot/messages.hpp"
#include "plot/plotdata.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

// A data set of the run whose temporary files an append run continues.
struct Continued {
  DOMAIN* dom = nullptr;
  std::string base;
  TecTemporaries held;
  std::int32_t end = 0;  // the output time of its last zone (or the one before its set-up)
  bool placed = false;   // `end` counts; a data set new to the series sets no end
  bool anew = false;     // its zones hold the meshes alone: it is written anew, as one new to the series
};

// The data sets this run writes anew because their zones hold the meshes alone.
std::vector<std::string> anewbases;

const char* const kSetAside = "\nNo data set was changed. Move the temporary files (*.szplt.szhdr and .szdat) of every "
                              "data set aside to write the data sets anew.";

// The time stamp of output time `index` as its zone takes it (converted, trimmed); nothing
// where no result file of the index exists.
std::optional<std::string> stampof(std::int32_t index) {
  if (index < 1 || !outputtimeindexfits(index)) return std::nullopt;
  bool found = false;
  gettimestamp("." + outputtimeindex(index), found);
  if (!found) return std::nullopt;
  return std::string(trimview(plot_data.timestamp));
}

// Whether `stamp` gives the solution time `time` that a zone was written with (a zone of a blank
// time stamp has none, which reads as 0).
bool sametime(const std::string& stamp, double time) {
  double t = 0.0;
  int status = 0;
  if (!stamp.empty()) str2r8(stamp, t, &status);
  return status == 0 && t == time;
}

// Temporary files written before each zone recorded its output time: they are continued only
// where the append file confirms where they end. Returns that output time.
std::int32_t legacyend(const Continued& c) {
  const std::string name = tecappendfilename();
  const AppendHint& hint = appendhint();
  const std::int32_t a = hint.trouble.empty() ? hint.index : 0;
  const std::optional<std::string> stamp = stampof(a);
  std::string why;
  if (!hint.exists) {
    why = "the append file " + name + " does not exist";
  } else if (!hint.trouble.empty()) {
    why = "the append file " + name + " cannot be read: " + hint.trouble;
  } else if (a != c.held.zones) {
    // Each zone holds one output time from the first on: only an index equal to the zone count
    // says that the zones end there.
    why = "the append file " + name + " names output time " + outputtimeindex(a) + ", while they hold " +
          outputtimecount(c.held.zones);
  } else if (!stamp) {
    why = "the result files of output time " + outputtimeindex(a) + ", which the append file " + name +
          " names, do not exist";
  } else if (!sametime(*stamp, c.held.lasttime)) {
    why = "the append file " + name + " names output time " + outputtimeindex(a) + ", whose time " + *stamp +
          " is not the solution time " + timetext(c.held.lasttime) + " of their last zone";
  } else {
    return a;
  }
  fatalerror("The temporary files " + temporarynames(c.base) +
             " were written by an earlier version of kelpra, which did not record the output time of each zone, "
             "and " + why + ".\nIt cannot be told where the data set ends: finish the series with that version." +
             kSetAside);
}

// Whether zone `k` was set up from the meshes alone, before its output time had result files:
// it holds no output time. Earlier versions did not record it; their zones hold the meshes
// alone only where the data set holds no variable of a result file.
bool meshesonly(const TecTemporaries& h, std::size_t k) {
  if (h.origins[k] != TecZoneOrigin::unknown) return h.origins[k] == TecZoneOrigin::meshes;
  return meshvariablesonly(h.names);
}

bool allmeshesonly(const TecTemporaries& h) {
  for (std::size_t k = 0; k < h.origins.size(); ++k) {
    if (!meshesonly(h, k)) return false;
  }
  return true;
}

// Where the result files of a data set's last output time still exist, they must give the
// solution time its zone was written with: else the time conversion changed, or the results
// were rewritten, and the zones that follow would not fit the earlier ones. A zone of the
// meshes alone has no time to compare; any other has its output time's, that of the first
// result file found for it, whether or not its own domain had one.
void checklasttime(const Continued& c) {
  const TecTemporaries& h = c.held;
  if (!h.lasttimed || meshesonly(h, h.origins.size() - 1)) return;
  const std::optional<std::string> stamp = stampof(c.end);
  if (!stamp || sametime(*stamp, c.held.lasttime)) return;
  const std::string end = outputtimeindex(c.end);
  fatalerror("The temporary files " + temporarynames(c.base) + " end at output time " + end +
             ", whose zone has the solution time " + timetext(c.held.lasttime) + ", but the result files of output "
             "time " + end + " now give the time " + (stamp->empty() ? std::string("(none)") : *stamp) +
             ".\nThe time conversion (\"simulation time unit conversion factor\") differs from the one the series "
             "was written with, or the result files were rewritten. Set the conversion back to go on with the "
             "series." + kSetAside);
}

// Why this run cannot write zone `k` of a data set again ("" where it can): each result file
// whose values the zone holds must be there and read whole, since the zone is its only copy
// once dropped (zones of earlier versions, which did not record them, need one of their own
// domain's), and under a time window its time must lie in the window.
std::string notrewritten(const Continued& c, std::size_t k) {
  const std::int32_t index = c.held.indices[k];
  if (c.held.sourced[k] != 0) {
    for (const std::string& file : c.held.sources[k]) {
      if (!fileexists(file)) return "whose result file " + file + " is gone";
      if (std::string why = resultfilenotwhole(file); !why.empty()) {
        why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
        if (why.back() == '.') why.pop_back();
        return "whose result file " + file + " cannot be read whole: " + why;
      }
    }
  }
  const std::optional<std::string> stamp = stampof(index);
  if (!stamp) return "whose result files are gone";
  if (c.held.sourced[k] == 0) {
    const std::string& name = c.dom->name;
    if (!domaintimefileexists(name, "." + outputtimeindex(index)) &&
        !(c.dom->coupling != 1 && domaintimefileexists("pm", "." + outputtimeindex(index)))) {
      return "whose result files of the " + std::string(trimview(name)) + " domain are gone";
    }
  }
  if (!plot_data.truncate_time_domain) return {};
  double t = 0.0;
  int status = 0;
  str2r8(*stamp, t, &status);
  if (status == 0 && plot_data.tmin_trunc <= t && t <= plot_data.tmax_trunc) return {};
  return "which lies outside the time window";
}

// The zones a data set keeps when it is taken back to output time `end`: the trailing zones of
// later output times go, and every zone of one written anew.
std::size_t keptzones(const Continued& c, std::int32_t end) {
  if (c.anew) return 0;
  std::size_t kept = c.held.indices.size();
  while (kept > 0 && c.held.indices[kept - 1] > end) --kept;
  return kept;
}

// Data sets that end after the earliest end among them are taken back to it; every output time
// dropped must be one this run writes again.
void checktakeback(const std::vector<Continued>& continued, std::int32_t end) {
  std::string lost;
  for (const Continued& c : continued) {
    if (c.end <= end) continue;  // also one written anew: its zones hold no output time
    const std::vector<std::int32_t>& indices = c.held.indices;
    const std::size_t kept = keptzones(c, end);
    for (std::size_t k = kept; k < indices.size(); ++k) {
      if (const std::string why = notrewritten(c, k); !why.empty()) {
        lost += "\n  " + c.base + ".szplt: output time " + outputtimeindex(indices[k]) + ", " + why;
      }
    }
    // Zones of output times an earlier version did not record come before the first recorded
    // one: they lie at or before `end` only where that is the output time right after it.
    if (kept > 0 && indices[kept - 1] == 0 && (kept == indices.size() || indices[kept] > end + 1)) {
      lost += "\n  " + c.base + ".szplt: zones of output times that an earlier version did not record";
    }
  }
  if (lost.empty()) return;
  std::string ends;
  for (const Continued& c : continued) {
    if (c.placed) ends += "\n  " + temporarynames(c.base) + ": " + outputtimeindex(c.end);
  }
  fatalerror("The temporary files of the data sets end at different output times:" + ends +
             "\nTo bring them into step this run would drop what it cannot write again:" + lost +
             "\nNo data set was changed. Put the result files of those output times back (or widen the time window) "
             "to go on: the temporary files hold their only copy.");
}

// A continued data set is of this run's mesh: its zone 1 has the element type and the node and
// element counts of the domain's (truncated) mesh.
void checkmeshes(const std::vector<Continued>& continued, std::int32_t end) {
  const auto zone = [](std::int32_t type, std::int64_t nodes, std::int64_t cells) {
    const std::string_view word = zonetypename(type);
    return std::string(word.empty() ? "unknown" : word) + " zone of " + std::to_string(nodes) + " nodes and " +
           std::to_string(cells) + " elements";
  };
  for (const Continued& c : continued) {
    const TecTemporaries& h = c.held;
    const DOMAIN& dom = *c.dom;
    if (keptzones(c, end) == 0) continue;
    const std::int32_t type = zonetypecode(dom.nln, dom.name);
    if (h.zonetype == type && h.nodes == dom.nn_trunc && h.cells == dom.ne_trunc) continue;
    appendrefused(c.base, "its temporary files " + temporarynames(c.base) + " hold a zone 1 that is a " +
                              zone(h.zonetype, h.nodes, h.cells) + ", but the " + domainname(dom) +
                              " mesh of this run makes a " + zone(type, dom.nn_trunc, dom.ne_trunc));
  }
}

// Takes the data sets that end after `end` (a run was stopped between their flushes) back to it.
// One without zones has nothing to drop: its set-up is recorded anew as this run sets it up.
void takeback(const std::vector<Continued>& continued, std::int32_t end) {
  for (const Continued& c : continued) {
    if (c.anew || c.end <= end || c.held.zones == 0) continue;
    if (tecTemporariesTakeBack(c.base.c_str(), end) != kTecOk) {
      notebinaryreason(temporaryfiles(c.base)[0]);
      fatalerror(withsystemreason("Failed to take the temporary files " + temporarynames(c.base) +
                                  " back to output time " + outputtimeindex(end) + "."));
    }
    const std::size_t kept = keptzones(c, end);
    if (kept == 0) c.dom->zoneonenfile = 0;  // zone 1 is this run's
    const std::vector<std::int32_t> dropped(c.held.indices.begin() + static_cast<std::ptrdiff_t>(kept),
                                            c.held.indices.end());
    const bool one = dropped.size() == 1;
    warningmsg("The data set " + c.base + ".szplt ended at output time " + outputtimeindex(c.end) +
               ", after the other data sets: a run was stopped between their flushes.\nIts " +
               outputtimelist(dropped, false) +
               (one ? " is" : " are") + " dropped from its temporary files; this run writes " + (one ? "it" : "them") +
               " again.");
  }
}

void startmessages() {
  // An index the width cannot hold is left to the main loop, which warns of it.
  if (!outputtimeindexfits(plot_data.tecappendnfile)) return;
  const std::string lines[] = {"", "Appending to Tecplot output",
                               "Starting at time index " + outputtimeindex(plot_data.tecappendnfile), ""};
  for (const std::string& line : lines) echoline(line);
  for (const std::string& line : lines) screenline(line);
}

}  // namespace

void resumetecplotappend(const std::vector<DOMAIN*>& written) {
  PlotData& pd = plot_data;
  anewbases.clear();
  // A data set that cannot be read would be replaced at the end without knowing what it holds.
  for (DOMAIN* dom : written) {
    const std::string base = plotbasename(*dom);
    TecTemporaries held;
    (void)tecTemporariesRead(base.c_str(), &held);
    if (!held.placedtrouble.empty()) unreadablerefused(base, held.placedtrouble);
  }
  std::vector<Continued> continued;
  std::string refusedbase, refusedwhy;  // the first data set whose files cannot be continued
  std::string bare;                     // the first with its data set but no temporary files
  for (DOMAIN* dom : written) {
    Continued c{dom, plotbasename(*dom), {}, 0, false};
    const std::array<std::string, 2> files = temporaryfiles(c.base);
    std::string why;
    for (const std::string& file : files) {
      if (const std::string kind = whyunreadable(file); why.empty() && !kind.empty()) {
        why = "its temporary file " + file + " cannot be read: " + kind;
      }
    }
    if (why.empty()) {
      const std::int32_t status = tecTemporariesRead(c.base.c_str(), &c.held);
      if (status == kTecIoError) {
        notebinaryreason(files[0]);
        checkfileread(kStatusReadFailed, files[0]);
      }
      // A header of no zones needs no data file (a run was killed before it made one).
      if (c.held.header != c.held.data && !(c.held.header && c.held.zones == 0 && status == kTecOk)) {
        why = "its temporary file " + files[c.held.header ? 1 : 0] + " is missing";
      } else if (status == kTecBadTemporary) {
        why = "its temporary files " + temporarynames(c.base) + " are damaged";
      } else if (status == kTecOtherData) {
        why = "its data file " + files[1] + " is not the one written with " + files[0] +
              " (it may come from another model or series)";
      }
    }
    if (!why.empty()) {
      if (refusedbase.empty()) {
        refusedbase = c.base;
        refusedwhy = why;
      }
    } else if (c.held.header) {
      continued.push_back(std::move(c));
    } else if (bare.empty() && fileexists(c.base + ".szplt")) {
      bare = c.base;
    }
  }

  // Where each data set ends, as its zones record it.
  std::int32_t end = std::numeric_limits<std::int32_t>::max();
  for (Continued& c : continued) {
    const TecTemporaries& h = c.held;
    if (h.zones == 0) {
      // A data set without zones ends just before the output time at which it was set up. One
      // that does not say (a run was killed while it set it up) counts as set up at the first
      // output time where its data set holds zones of earlier runs, which are then written
      // again, not replaced; otherwise it is continued like a data set new to the series.
      c.placed = (h.indexed && h.setupindex > 0) || h.placed > 0;
      c.end = h.indexed && h.setupindex > 0 ? h.setupindex - 1 : 0;
    } else if (allmeshesonly(h) && (h.placed < 0 || h.placedsame)) {
      // Set up from the meshes alone, it holds no output time: it is written anew from the
      // series' next output time, as a data set new to the series. (One whose data set holds
      // something else is continued, and refused as it is set up where its variables differ.)
      c.anew = true;
      c.dom->zoneonenfile = 0;
      anewbases.push_back(c.base);
    } else {
      // Zones of the meshes alone hold no output time: the series has not gone past one.
      c.placed = true;
      c.end = allmeshesonly(h) ? 0 : h.indexed && h.indices.back() > 0 ? h.indices.back() : legacyend(c);
      checklasttime(c);
      const std::int32_t first = h.indices.front();
      c.dom->zoneonenfile = first > 0 ? first : (h.zones == 1 ? c.end : -1);  // -1: not recorded
    }
    if (c.placed) end = std::min(end, c.end);
  }
  if (end == std::numeric_limits<std::int32_t>::max()) end = 0;
  pd.tecappendnfile = end + 1;
  if (!refusedbase.empty()) appendrefused(refusedbase, refusedwhy);
  // A data set written before without temporary files would be replaced by this run's zones,
  // unless the series begins anew at the first output time anyway.
  if (end > 0 && !bare.empty()) {
    appendrefused(bare, "its temporary files " + temporarynames(bare) + " are missing");
  }
  checkmeshes(continued, end);
  checktakeback(continued, end);
  for (const Continued& c : continued) c.dom->continuesafter = keptzones(c, end) > 0 ? end : 0;
  // Nothing has changed up to here; now the data sets are brought into step.
  warnappendhint(!continued.empty(), end);
  takeback(continued, end);
  startmessages();
}

bool writtenanew(const std::string& base) {
  return std::find(anewbases.begin(), anewbases.end(), base) != anewbases.end();
}

void emptymeshesonly(const std::string& base) {
  if (std::find(anewbases.begin(), anewbases.end(), base) == anewbases.end()) return;
  // Its zones hold the meshes alone: none is lost. Without zones it counts as set up at this
  // output time until its first flush, and the open takes it whatever its variables.
  if (tecTemporariesTakeBack(base.c_str(), plot_data.nfile - 1, true) != kTecOk) {
    notebinaryreason(temporaryfiles(base)[0]);
    fatalerror(withsystemreason("Failed to empty the temporary files " + temporarynames(base) +
                                ", whose zones hold the meshes alone, to write the data set anew."));
  }
}

}  // namespace kelpra
