#include "driver/appendmode.hpp"

#include <charconv>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "driver/plotsetup.hpp"
#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/plotdata.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecio.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/prefix.hpp"
#include "support/recordio.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

// The index the append file held at start-up (0 for none).
std::int32_t storedindex = 0;
// A failed write of the append file was warned of in this run.
bool warned = false;

// The solution times of the output-time indices as the zones store them (the time stamp of the
// first result file found, converted), read once each; nullopt where no result file exists.
class OutputTimes {
 public:
  std::optional<double> at(std::int32_t index) {
    const auto known = times_.find(index);
    if (known != times_.end()) return known->second;
    std::optional<double> time;
    bool found = false;
    gettimestamp("." + outputtimeindex(index), found);
    if (found) {
      double t = 0.0;
      int status = 0;
      str2r8(plot_data.timestamp, t, &status);
      if (status == 0) time = t;
    }
    times_.emplace(index, time);
    return time;
  }

  // The index below `below` whose time is `time`, 0 when no result file has it: the hint
  // first, then every index that has a file in the model's directory, lowest first, since
  // earlier result files may have been deleted and the append file may name any index.
  std::int32_t indexof(double time, std::int32_t hint,
                       std::int32_t below = std::numeric_limits<std::int32_t>::max()) {
    if (hint >= 1 && hint < below && outputtimeindexfits(hint) && at(hint) == time) return hint;
    for (const std::int32_t i : ondisk()) {
      if (i >= below) break;
      if (at(i) == time) return i;
    }
    return 0;
  }

 private:
  // The indices of the files named by the prefix, "o." and an extension of as many digits as
  // the index width, listed once.
  const std::set<std::int32_t>& ondisk() {
    if (listed_) return indices_;
    listed_ = true;
    const std::string prefix = prefixtext();
    const std::string directory = filedirectory(prefix);
    const std::string stem = filebasename(prefix) + "o.";
    const auto width = static_cast<std::size_t>(plot_data.outputtimeindexwidth);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const std::size_t dot = name.rfind('.');
      if (!name.starts_with(stem) || dot == std::string::npos || name.size() - dot - 1 != width) continue;
      std::int64_t index = 0;
      const char* digits = name.data() + dot + 1;
      const auto [ptr, error] = std::from_chars(digits, name.data() + name.size(), index);
      if (error == std::errc() && ptr == name.data() + name.size() && index >= 1 &&
          index <= std::numeric_limits<std::int32_t>::max() && outputtimeindexfits(static_cast<std::int32_t>(index))) {
        indices_.insert(static_cast<std::int32_t>(index));
      }
    }
    return indices_;
  }

  bool listed_ = false;
  std::set<std::int32_t> indices_;
  std::map<std::int32_t, std::optional<double>> times_;
};

// A data set whose temporary files this run continues.
struct Continued {
  DOMAIN* dom;
  std::string files;  // "<base>.szplt.szhdr and <base>.szplt.szdat"
  TecTemporaries held;
  std::int32_t end = 0;  // the output time of the last zone, 0 for none
};

std::string temporarynames(const std::string& base) {
  return base + ".szplt.szhdr and " + base + ".szplt.szdat";
}

const char* const kSetAside = "\nNo data set was changed. Move the temporary files (*.szplt.szhdr and .szdat) of every "
                              "data set aside to write the data sets anew.";

// The temporary files of the data sets this run writes: those that can be continued, and the
// first data set whose files cannot (only one of the two, or damaged), with the reason.
struct Temporaries {
  std::vector<Continued> sets;
  std::string refusedbase, refusedwhy;
};

Temporaries continueddatasets(const std::vector<DOMAIN*>& written) {
  Temporaries found;
  for (DOMAIN* dom : written) {
    const std::string base = plotbasename(*dom);
    TecTemporaries held;
    const std::int32_t status = tecTemporariesRead(base.c_str(), &held);
    if (status == kTecIoError) {
      notebinaryreason(base + ".szplt.szhdr");
      checkfileread(kStatusReadFailed, base + ".szplt.szhdr");
    }
    std::string why;
    if (held.header != held.data) {
      why = "its temporary file " + base + (held.header ? ".szplt.szdat" : ".szplt.szhdr") + " is missing";
    } else if (status != kTecOk) {
      why = "its temporary files " + temporarynames(base) + " are damaged";
    } else if (held.header) {
      found.sets.push_back({dom, temporarynames(base), held, 0});
    }
    if (!why.empty() && found.refusedbase.empty()) {
      found.refusedbase = base;
      found.refusedwhy = why;
    }
  }
  return found;
}

void startmessages() {
  // An index the width cannot hold is left to the main loop, which warns of it.
  if (!outputtimeindexfits(plot_data.tecappendnfile)) return;
  const std::string lines[] = {"", "Appending to Tecplot output",
                               "Starting at time index " + outputtimeindex(plot_data.tecappendnfile), ""};
  for (const std::string& line : lines) echoline(line);
  for (const std::string& line : lines) screenline(line);
}

std::string storedtext() {
  const std::string name = tecappendfilename();
  return storedindex > 0 ? "The append file " + name + " names output time " + outputtimeindex(storedindex) +
                               " as the last one written"
                         : "The append file " + name + " does not exist";
}

}  // namespace

void inittecplotappend() {
  PlotData& pd = plot_data;
  pd.tecappendnfile0 = 1;
  if (pd.truncate_time_domain) {
    // The first index whose time lies inside the window, or the first without a file; an index
    // the width cannot hold ends the search, and the main loop then reports the window.
    for (std::int32_t i = 1; outputtimeindexfits(i); ++i) {
      pd.nfs = outputtimeindex(i);
      bool found = false;
      gettimestamp("." + pd.nfs, found);
      if (!found) break;
      double t = 0.0;
      int status = 0;
      str2r8(pd.timestamp, t, &status);
      if (status != 0) {
        fatalerrorstat(status, "Time stamp of output time " + pd.nfs + " is not a number: " +
                                   std::string(trimview(pd.timestamp)));
      }
      if (pd.tmin_trunc <= t && t <= pd.tmax_trunc) break;
      if (i == std::numeric_limits<std::int32_t>::max()) break;
      pd.tecappendnfile0 = i + 1;
    }
  }
  storedindex = readtecplotappend();
  pd.tecappendnfile = storedindex + 1;
  warned = false;
}

void resumetecplotappend(const std::vector<DOMAIN*>& written) {
  PlotData& pd = plot_data;
  Temporaries found = continueddatasets(written);
  std::vector<Continued>& sets = found.sets;
  // Temporary files that cannot be continued are never set aside for a new series: they may
  // hold the only copy of output times whose result files are gone.
  const auto refuse = [&found] {
    if (!found.refusedbase.empty()) appendrefused(found.refusedbase, found.refusedwhy);
  };
  if (sets.empty()) {
    pd.tecappendnfile = storedindex + 1;
    refuse();
    if (storedindex > 0) {
      warningmsg(storedtext() + ", but no data set has temporary files to continue.\nIt is left from an earlier "
                 "append series: the data sets are written anew from the first output time.");
    }
    pd.tecappendnfile = 1;
    startmessages();
    return;
  }
  OutputTimes times;
  for (Continued& set : sets) {
    if (set.held.zones == 0) continue;
    set.end = times.indexof(set.held.lasttime, storedindex);
    if (set.end == 0) {
      fatalerror("The temporary files " + set.files + " end at the solution time " + timetext(set.held.lasttime) +
                 ", which no result file of the model has." + kSetAside);
    }
    const std::int32_t first = set.held.zones == 1 ? set.end : times.indexof(set.held.firsttime, 1, set.end);
    set.dom->zoneonenfile = first > 0 ? first : -1;  // -1: zone 1's result files are gone
  }
  // Temporary files that hold no zone yet (a run stopped before its first output time) are
  // continued like a data set new to the series; the others must end at one output time.
  std::int32_t end = 0;
  for (const Continued& set : sets) {
    if (set.end == 0 || set.end == end) continue;
    if (end == 0) {
      end = set.end;
      continue;
    }
    std::string text = "The temporary files of the data sets end at different output times:";
    for (const Continued& each : sets) {
      if (each.end > 0) text += "\n  " + each.files + ": " + outputtimeindex(each.end);
    }
    fatalerror(text + kSetAside);
  }
  if (end != storedindex) {
    warningmsg(storedtext() + ", but the temporary files of the data sets " +
               (end > 0 ? "end at output time " + outputtimeindex(end) : std::string("hold no output time")) +
               ".\nThe run goes by the temporary files: " +
               (end > 0 ? "it continues after output time " + outputtimeindex(end) + "."
                        : std::string("it writes the data sets anew from the first output time.")));
  }
  pd.tecappendnfile = end + 1;
  refuse();
  startmessages();
}

std::int32_t readtecplotappend() {
  const std::string name = tecappendfilename();
  UnitHandle unit = UnitHandle::take();
  if (openunit(unit.unit(), name, FileForm::unformatted, OpenStatus::old) != 0) return 0;
  unsigned char bytes[4] = {};
  const int status = readrecord(unit.unit(), bytes, sizeof bytes);
  if (status != 0) {
    fatalerrorstat(status, "Error reading the last output-time index from the append file: " + name);
  }
  const std::int32_t stored = loadle32(bytes);
  // The next run starts at the stored index plus 1, which must stay a valid index.
  if (stored < 0 || stored == std::numeric_limits<std::int32_t>::max()) {
    fatalerror("The append file " + name + " holds an invalid output-time index: " + std::to_string(stored));
  }
  return stored;
}

void writetecplotappend(std::int32_t index) {
  const std::string name = tecappendfilename();
  UnitHandle unit = UnitHandle::take();
  // Under a temporary name until complete, so that a run killed meanwhile never leaves it empty.
  int status = openunit(unit.unit(), name, FileForm::unformatted, OpenStatus::staged);
  if (status == 0) {
    unsigned char bytes[4];
    storele32(index, bytes);
    status = writerecord(unit.unit(), bytes, sizeof bytes);
    const int closed = closeunit(unit.unit());
    if (status == 0) status = closed;
  }
  if (status == 0) return;
  // This report says what became of the file; a later stopping report need not.
  (void)takestagednotes();
  if (warned) return;
  warned = true;
  // The data sets themselves are fine, and the next append run goes by their temporary files.
  warningmsgstat(status, withsystemreason("Failed to write the last output-time index " + outputtimeindex(index) +
                                              " to the append file: " + name,
                                          name) +
                             "\nThe next append run goes by the temporary files of the data sets.");
}

void nooutputtimeinwindow(const std::string& first, const std::string& last) {
  input_error("No output time lies in the time window of \"truncate time domain\" (" +
              timetext(plot_data.tmin_trunc) + " to " + timetext(plot_data.tmax_trunc) +
              ").\nThe output times found run from " + first + " to " + last +
              ".\nNo data set was written; those of earlier runs are left as they are.");
}

}  // namespace kelpra
