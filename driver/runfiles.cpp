#include "driver/runfiles.hpp"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "driver/plotsetup.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

struct DataSet {
  DOMAIN* dom = nullptr;
  std::string name;       // the data set file
  std::string base;       // its base name
  bool earlier = false;   // a file of the name existed when the run began
  std::string finalline;  // what it holds once the data sets are closed
};

struct Special {
  SpecialPlot plot;
  std::string name;
  bool earlier = false;
};

struct Plan {
  bool binary = false;
  bool series = false;  // an append series: the data sets keep their temporary files
  std::vector<DataSet> datasets;
  std::vector<std::string> comparisons;
  std::vector<Special> specials;
};
std::optional<Plan> plan;

std::string times(std::int32_t first, std::int32_t last) {
  if (first == last) return "output time " + outputtimeindex(first);
  return "output times " + outputtimeindex(first) + " to " + outputtimeindex(last);
}

// The last output time of the run whose zone is complete in the data set; 0 for none.
std::int32_t lastcomplete(const DOMAIN& dom) {
  if (dom.runfirstindex == 0) return 0;
  return tecplotzonecomplete(dom) ? dom.runlastindex : dom.runpreviousindex;
}

// A file this run has not written to.
std::string untouched(const std::string& name, const char* why) {
  return name + (fileexists(name) ? ": left as an earlier run wrote it (" : ": not written (") + why + ")";
}

// A file this run gave up or failed to write: the earlier one, where there was one, stays.
std::string kept(const std::string& name, bool earlier, const char* what, const std::string& why) {
  return name + (earlier ? std::string(": the earlier ") + what + ", kept (" : std::string(": not written (")) + why +
         ")";
}

// Whether a binary close wrote the file: a zone left incomplete is dropped, the others written.
bool written(std::int32_t closeresult) { return closeresult == kTecOk || closeresult == kTecBadSequence; }

std::string replaced(const std::string& name, std::int32_t first, std::int32_t last, bool earlier) {
  return name + ": " + times(first, last) + " of this run" + (earlier ? " (the earlier data set is replaced)" : "");
}

// A staged file by what became of it; `what` names the earlier file, `holds` what it holds when
// put in place.
std::string stagedline(const std::string& name, const StagedFile& f, const char* what, const std::string& holds) {
  switch (f.outcome) {
    case StagedOutcome::placed: return holds;
    case StagedOutcome::writefailed: return kept(name, f.earlier, what, "a write to it failed");
    case StagedOutcome::discarded: return kept(name, f.earlier, what, "this run stopped while writing it");
    case StagedOutcome::notplaced: break;
    case StagedOutcome::open: break;  // settled before any line is made
  }
  return name + ": left as it was (this run's " + stagedname(name) + " could not be closed or take its name)";
}

std::string count(std::int64_t n) { return std::to_string(n) + (n == 1 ? " output time" : " output times"); }

// An append series' data set by its temporary files, which the next append run continues;
// `closed` is the result of this run's close, where it closed the data set.
std::string seriesline(const DataSet& d, std::optional<std::int32_t> closed) {
  TecTemporaries held;
  tecTemporariesRead(d.base.c_str(), &held);
  if (!held.header) return untouched(d.name, "this run stopped before writing to it");
  const std::string holds = held.zones == 0 ? std::string("no output time")
                            : held.indices.empty() || held.indices.front() <= 0
                                ? count(held.zones)
                                : times(held.indices.front(), held.indices.back());
  const std::string temporaries = "its temporary files hold " + holds + " for the next append run";
  if (closed == kTecFewerZones) {
    return d.name + ": kept as it was, with " + count(held.placed) + " (this run would have left " +
           std::to_string(held.zones) + " in it); " + temporaries;
  }
  if (closed && *closed != kTecOk) return d.name + ": left as it was (it could not be written); " + temporaries;
  if (held.placed == held.zones && held.zones > 0)
    return d.name + ": " + holds + " of the append series; " + temporaries;
  // A run stopped or killed before it put the data set together from its temporary files
  // leaves it out of step with them (or without it: placed is then -1); the next append run
  // writes it again.
  return d.name + (held.placed < 0 ? ": not written" : ": " + count(held.placed)) + "; its temporary files hold " +
         holds + ", from which the next append run writes it again";
}

// Settles a data set still being written and says what it holds.
std::string settledataset(DataSet& d) {
  DOMAIN& dom = *d.dom;
  const std::int32_t last = lastcomplete(dom);
  if (plan->series) {
    std::optional<std::int32_t> closed;
    if (dom.tecfilehandle != nullptr) closed = tecFileWriterCloseKeep(&dom.tecfilehandle);
    dom.tecfilehandle = nullptr;
    return seriesline(d, closed);
  }
  if (plan->binary) {
    if (dom.tecfilehandle == nullptr && dom.closeresult >= 0) {
      if (!written(dom.closeresult)) return kept(d.name, d.earlier, "data set", "it could not be written");
    } else if (dom.tecfilehandle == nullptr || last == 0) {
      // The program's end writes out an open data set's complete zones; none where there are none.
      return untouched(d.name, dom.tecfilehandle == nullptr
                                   ? "this run stopped before writing to it"
                                   : "this run stopped before its first output time was complete");
    }
    return replaced(d.name, dom.runfirstindex, last, d.earlier);
  }
  const std::optional<StagedFile> staged = stagedfile(d.name);
  if (!staged) return untouched(d.name, "this run stopped before writing to it");
  std::FILE* f = unitstream(dom.unit);
  if (staged->outcome == StagedOutcome::open && f != nullptr) {
    // One to which a write failed is removed by its close, and the earlier one kept.
    const bool failed = std::ferror(f) != 0;
    if (!failed && last == 0) {
      // Not one complete output time: the earlier data set is worth more. Given up below.
      return kept(d.name, staged->earlier, "data set", "this run stopped before its first output time was complete");
    }
    // A zone left unfinished is cut off, so that the data set ends with a complete zone.
    if (!failed && last != dom.runlastindex && dom.lastzoneoffset >= 0 && std::fflush(f) == 0) {
      if (::ftruncate(::fileno(f), dom.lastzoneoffset) != 0 || ::fseeko(f, dom.lastzoneoffset, SEEK_SET) != 0) {
        // Given up below, like a data set without a complete output time.
        return kept(d.name, staged->earlier, "data set", "its unfinished last output time could not be cut off");
      }
    }
    (void)closeunit(dom.unit);
  }
  return stagedline(d.name, *stagedfile(d.name), "data set",
                    replaced(d.name, dom.runfirstindex, last, staged->earlier));
}

std::string specialline(const Special& s, bool binary) {
  const std::string& name = s.name;
  if (!binary) {
    const std::optional<StagedFile> staged = stagedfile(name);
    if (!staged) return untouched(name, "this run stopped before writing it");
    return stagedline(name, *staged, "file", name + ": written by this run");
  }
  const DOMAIN& dom = *s.plot.dom;
  if (trimview(dom.tecfilename) != s.plot.base || dom.zone == 0) {
    return untouched(name, "this run stopped before writing it");
  }
  if (dom.tecfilehandle == nullptr) {
    return written(dom.closeresult) ? name + ": written by this run"
                                    : kept(name, s.earlier, "file", "it could not be written");
  }
  // The program's end writes out the complete zones.
  const std::int32_t complete = dom.zone - (tecplotzonecomplete(dom) ? 0 : 1);
  if (complete == 0) return untouched(name, "this run stopped while writing it");
  return name + ": its first " + std::to_string(complete) + (complete == 1 ? " zone" : " zones") +
         " (this run stopped while writing it)";
}

}  // namespace

void planrunfiles(const std::vector<DOMAIN*>& datasets, const std::vector<std::string>& comparisons,
                  const std::vector<SpecialPlot>& specials) {
  Plan p;
  p.binary = plot_data.tecplot_bin_mode;
  p.series = plot_data.tecappend;
  for (DOMAIN* dom : datasets) {
    const std::string name = datasetfilename(*dom);
    p.datasets.push_back({dom, name, plotbasename(*dom), fileexists(name), {}});
  }
  p.comparisons = comparisons;
  for (const SpecialPlot& s : specials) {
    const std::string name = s.base + (p.binary ? ".szplt" : ".dat");
    p.specials.push_back({s, name, fileexists(name)});
  }
  plan = std::move(p);
}

void datasetsclosed() {
  if (!plan) return;
  for (DataSet& d : plan->datasets) {
    const DOMAIN& dom = *d.dom;
    if (plan->series) {
      d.finalline = seriesline(d, std::nullopt);
    } else if (dom.runfirstindex == 0) {
      d.finalline = untouched(d.name, "this run wrote no output time to it");
    } else {
      const std::optional<StagedFile> staged = stagedfile(d.name);
      const std::string holds = replaced(d.name, dom.runfirstindex, dom.runlastindex, d.earlier);
      d.finalline = plan->binary || !staged ? holds : stagedline(d.name, *staged, "data set", holds);
    }
  }
}

std::string settlerunfiles() {
  if (!plan) return closestagedunits();
  std::vector<std::string> lines;
  for (DataSet& d : plan->datasets) lines.push_back(d.finalline.empty() ? settledataset(d) : d.finalline);
  // What is still being written is of no use unfinished: the earlier files stay.
  discardstagedunits();
  (void)takestagednotes();
  for (const std::string& name : plan->comparisons) {
    const std::optional<StagedFile> staged = stagedfile(name);
    lines.push_back(staged ? stagedline(name, *staged, "file", name + ": written by this run")
                           : untouched(name, "this run stopped before writing it"));
  }
  for (const Special& s : plan->specials) lines.push_back(specialline(s, plan->binary));
  if (lines.empty()) return {};
  std::string text = "What the files of this run now hold:";
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

void forgetrunfiles() { plan.reset(); }

}  // namespace kelpra
