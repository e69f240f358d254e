// The files a run writes, as one record: their names checked before anything is written, and
// each settled and described by what it now holds when the run stops.
#include "driver/runfiles.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compare/comparisons.hpp"
#include "compare/location.hpp"
#include "driver/plotsetup.hpp"
#include "driver/resume.hpp"
#include "plot/resultaccess.hpp"
#include "plot/runrecord.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/prefix.hpp"
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

struct Comparison {
  std::string name;
  bool earlier = false;  // a file of the name existed when the run began
};

struct Plan {
  bool binary = false;
  bool series = false;  // an append series: the data sets keep their temporary files
  std::vector<DataSet> datasets;
  std::vector<Comparison> comparisons;
  std::vector<Special> specials;
};
std::optional<Plan> plan;

// The output times of the zones this run completed in a data set.
std::vector<std::int32_t> completed(const DOMAIN& dom) {
  std::vector<std::int32_t> done = runrecord(dom).indices;
  if (!done.empty() && !tecplotzonecomplete(dom)) done.pop_back();
  return done;
}

// A file this run has not written to; `earlier`: one existed when the run began.
std::string untouched(const std::string& name, bool earlier, const char* why) {
  return name + (earlier ? ": left as an earlier run wrote it (" : ": not written (") + why + ")";
}

// A file this run gave up or failed to write: the earlier one, where there was one, stays.
std::string kept(const std::string& name, bool earlier, const char* what, const std::string& why) {
  return name + (earlier ? std::string(": the earlier ") + what + ", kept (" : std::string(": not written (")) + why +
         ")";
}

// What zones hold: their output times, or none where every zone was set up from the meshes
// alone (their output time had no result file).
std::string zonelist(const std::vector<std::int32_t>& indices, const std::vector<TecZoneOrigin>& origins) {
  const bool meshes = !origins.empty() && std::all_of(origins.begin(), origins.end(), [](TecZoneOrigin o) {
    return o == TecZoneOrigin::meshes;
  });
  return meshes ? "the meshes alone (no output time)" : outputtimelist(indices);
}

std::string replaced(const std::string& name, const std::string& held, bool earlier) {
  return name + ": " + held + " of this run" + (earlier ? " (the earlier data set is replaced)" : "");
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

// Why an earlier data set that cannot be read to tell how many output times it holds is kept by
// a run that stopped after completing `completed`.
std::string unknowncount(const std::string& trouble, std::size_t completed) {
  return "it cannot be read to tell how many output times it holds (" + trouble + "), and this run completed " +
         std::to_string(completed);
}

// A binary data set of a run without append mode, by what its close did. `idle` says why a data
// set no close reached holds nothing of this run.
std::string binaryline(const DataSet& d, const char* idle) {
  const TecOutcome done = tecDataSetOutcome(d.base.c_str());
  switch (done.placement) {
    case TecPlacement::written:
    case TecPlacement::writtencut:
    case TecPlacement::unchanged: return replaced(d.name, zonelist(done.indices, done.origins), d.earlier);
    case TecPlacement::notattempted:
      return kept(d.name, d.earlier, "data set", "this run stopped before its first output time was complete");
    case TecPlacement::failed: return kept(d.name, d.earlier, "data set", "it could not be written");
    case TecPlacement::morezones:
      return kept(d.name, true, "data set",
                  "it holds " + outputtimecount(done.placed) + ", more than the " +
                      std::to_string(done.indices.size()) + " this run completed");
    case TecPlacement::unreadable: return kept(d.name, true, "data set", unknowncount(done.trouble, done.indices.size()));
    case TecPlacement::none: break;
  }
  return untouched(d.name, d.earlier, idle);
}

// An append series' data set by what its close or put-in-place did, and by its temporary files,
// which the next append run continues.
std::string seriesline(const DataSet& d, const char* idle) {
  TecTemporaries held;
  const std::int32_t status = tecTemporariesRead(d.base.c_str(), &held);
  const TecOutcome done = tecDataSetOutcome(d.base.c_str());
  if (!held.header && done.placement == TecPlacement::none) return untouched(d.name, d.earlier, idle);
  std::string temporaries;
  if (!held.header) {
    temporaries = "it has no temporary files for the next append run";
  } else if (status != kTecOk) {
    const TecFailure why = tecLastFailure();
    temporaries = "its temporary files cannot be read (" +
                  (status == kTecOtherData ? std::string("their data file is not the one written with their header")
                   : why.error != 0        ? std::string(std::strerror(why.error))
                                           : std::string("they are damaged")) +
                  "), and the next append run stops on them";
  } else {
    temporaries = "its temporary files hold " + zonelist(held.indices, held.origins) + " for the next append run";
  }
  switch (done.placement) {
    case TecPlacement::written:
    case TecPlacement::writtencut:
    case TecPlacement::unchanged:
      return d.name + ": " + zonelist(done.indices, done.origins) + " of the append series; " + temporaries;
    case TecPlacement::morezones:
      return d.name + ": kept as it was, with " + outputtimecount(done.placed) + " (this run would have left " +
             std::to_string(done.indices.size()) + " in it); " + temporaries;
    case TecPlacement::failed:
      return d.name + (d.earlier ? ": left as it was" : ": not written") + " (it could not be written); " +
             temporaries;
    case TecPlacement::unreadable:
      return d.name + ": left as it was (it cannot be read: " + done.trouble + "); " + temporaries;
    case TecPlacement::notattempted:
    case TecPlacement::none: break;
  }
  // This run put nothing into it: it is described by what it holds.
  if (!held.placedtrouble.empty()) {
    return d.name + ": left as it was (it cannot be read: " + held.placedtrouble + "); " + temporaries;
  }
  if (held.placedsame) {
    return d.name + ": " + zonelist(held.indices, held.origins) + " of the append series; " + temporaries;
  }
  // A run stopped or killed before it put the data set together from its temporary files
  // leaves it out of step with them; the next append run writes it again.
  return d.name + (held.placed < 0 ? ": not written" : ": " + outputtimecount(held.placed) + ", left as it was") +
         "; " + temporaries + (held.header && status == kTecOk ? ", from which it writes the data set again" : "");
}

std::string fullerearlier(const DOMAIN& dom, std::size_t completed);

// Settles a data set still being written and says what it holds.
std::string settledataset(DataSet& d) {
  DOMAIN& dom = *d.dom;
  if (plan->binary) {
    // What the close does is what the line says: an unfinished zone is left out, and a data set
    // without a complete zone is given up.
    if (dom.tecfilehandle != nullptr) {
      (void)tecFileWriterCloseAs(&dom.tecfilehandle, plan->series ? TecClose::series : TecClose::stopped);
    }
    dom.tecfilehandle = nullptr;
    const char* idle = "this run stopped before writing to it";
    return plan->series ? seriesline(d, idle) : binaryline(d, idle);
  }
  const std::optional<StagedFile> staged = stagedfile(d.name);
  if (!staged) return untouched(d.name, d.earlier, "this run stopped before writing to it");
  const std::vector<std::int32_t> done = completed(dom);
  std::FILE* f = unitstream(dom.unit);
  if (staged->outcome == StagedOutcome::open && f != nullptr) {
    // One to which a write failed is removed by its close, and the earlier one kept.
    const bool failed = std::ferror(f) != 0;
    if (!failed && done.empty()) {
      // Not one complete output time: the earlier data set is worth more. Given up below.
      return kept(d.name, staged->earlier, "data set", "this run stopped before its first output time was complete");
    }
    // Nor in place of an earlier data set of more output times, or one that cannot be read to
    // tell: given up below.
    if (!failed) {
      if (const std::string fuller = fullerearlier(dom, done.size()); !fuller.empty()) {
        return kept(d.name, true, "data set", fuller);
      }
    }
    // A zone left unfinished is cut off, so that the data set ends with a complete zone.
    const RunRecord& wrote = runrecord(dom);
    if (!failed && done.size() != wrote.indices.size() && wrote.lastzoneoffset >= 0 && std::fflush(f) == 0) {
      if (::ftruncate(::fileno(f), wrote.lastzoneoffset) != 0 || ::fseeko(f, wrote.lastzoneoffset, SEEK_SET) != 0) {
        // Given up below, like a data set without a complete output time.
        return kept(d.name, staged->earlier, "data set", "its unfinished last output time could not be cut off");
      }
    }
    (void)closeunit(dom.unit);
  }
  return stagedline(d.name, *stagedfile(d.name), "data set",
                    replaced(d.name, zonelist(done, runrecord(dom).origins), staged->earlier));
}

// A file written whole through a staged name (a comparison, an ASCII special plot).
std::string stagedfileline(const std::string& name, bool earlier) {
  const std::optional<StagedFile> staged = stagedfile(name);
  return staged ? stagedline(name, *staged, "file", name + ": written by this run")
                : untouched(name, earlier, "this run stopped before writing it");
}

std::string specialline(const Special& s, bool binary) {
  const std::string& name = s.name;
  if (!binary) return stagedfileline(name, s.earlier);
  DOMAIN& dom = *s.plot.dom;
  // Still being written: closed now, which keeps its complete zones; one without any is given up.
  if (dom.tecfilehandle != nullptr && trimview(dom.tecfilename) == s.plot.base) {
    (void)tecFileWriterCloseAs(&dom.tecfilehandle, TecClose::giveup);
    dom.tecfilehandle = nullptr;
  }
  const TecOutcome done = tecDataSetOutcome(s.plot.base.c_str());
  switch (done.placement) {
    case TecPlacement::written:
    case TecPlacement::unchanged: return name + ": written by this run";
    case TecPlacement::writtencut:
      return name + ": its first " + std::to_string(done.placed) + (done.placed == 1 ? " zone" : " zones") +
             " (this run stopped while writing it)";
    case TecPlacement::notattempted: return kept(name, s.earlier, "file", "this run stopped while writing it");
    case TecPlacement::failed:
    case TecPlacement::morezones:
    case TecPlacement::unreadable: return kept(name, s.earlier, "file", "it could not be written");
    case TecPlacement::none: break;
  }
  return untouched(name, s.earlier, "this run stopped before writing it");
}

// A line that cannot be made (memory ran out, a stop inside it) says so rather than losing the
// lines of the other files.
template <class Make>
std::string safely(const std::string& name, Make make) {
  try {
    return make();
  } catch (...) {
    return name + ": what it holds could not be told";
  }
}

// How the variables of an earlier data set were read.
enum class Held {
  absent,      // there is no such file
  read,        // they are known
  unreadable,  // it holds nothing that tells them: it counts as holding every variable
  failed,      // a read of it failed; errno says why
};

// The variables of an ASCII data set, from its VARIABLES line near its start.
Held datvariables(const std::string& name, std::vector<std::string>& names) {
  std::int64_t size = 0;
  const int fd = openregular(name, O_RDONLY, size);
  if (fd < 0) return errno == ENOENT ? Held::absent : errno == EINVAL ? Held::unreadable : Held::failed;
  // The line lies near the start; a data set of thousands of variables has a long one, read on
  // up to 16 MiB.
  std::string head;
  std::size_t at = std::string::npos, end = std::string::npos;
  for (std::int64_t want = 64 << 10;; want *= 4) {
    const std::size_t had = head.size();
    head.resize(static_cast<std::size_t>(std::min<std::int64_t>(size, want)));
    const ssize_t n = ::pread(fd, head.data() + had, head.size() - had, static_cast<off_t>(had));
    if (n != static_cast<ssize_t>(head.size() - had)) {
      const int error = n < 0 ? errno : EIO;  // a file that shrank while it was read fails as well
      ::close(fd);
      errno = error;
      return Held::failed;
    }
    at = head.starts_with("VARIABLES = ") ? 0 : head.find("\nVARIABLES = ");
    end = at == std::string::npos ? at : head.find('\n', at + 1);
    if (end != std::string::npos || static_cast<std::int64_t>(head.size()) >= size || want >= (16 << 20)) break;
  }
  ::close(fd);
  if (at == std::string::npos) return Held::unreadable;
  const std::size_t from = head.find('=', at) + 1;
  const std::string line = head.substr(from, end == std::string::npos ? end : end - from);
  for (std::size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open + 1)) {
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return Held::unreadable;
    names.push_back(line.substr(open + 1, close - open - 1));
    open = close;
  }
  return names.empty() ? Held::unreadable : Held::read;
}

// The variables of the data set a run writes, as it stands before the run.
// How the layer read a binary data set (its `status`, whether the file `exists`). A failure
// without a system error is the layer's own (memory ran out): it tells nothing.
Held heldbinary(std::int32_t status, bool exists) {
  const int error = status == kTecIoError ? tecLastFailure().error : 0;
  errno = error;
  if (error != 0) return Held::failed;
  if (status == kTecIoError || (exists && status != kTecOk)) return Held::unreadable;
  return exists ? Held::read : Held::absent;
}

Held heldvariables(const DOMAIN& dom, std::vector<std::string>& names) {
  if (!plot_data.tecplot_bin_mode) return datvariables(datasetfilename(dom), names);
  bool exists = false;
  const std::int32_t status = tecDataSetVariables(plotbasename(dom).c_str(), &exists, &names);
  return heldbinary(status, exists);
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Why a data set of `dom` that is to be written anew must stay as it is ("" where nothing stops
// it): it holds variables that this run leaves out because their result files are missing at
// the first output time. A data set that cannot be read to tell counts as holding them all.
std::string keptvariables(const DOMAIN& dom) {
  std::vector<std::string> registered;
  (void)splitnames(binarytext(dom.varlist), registered);
  std::vector<std::string> wanting;  // what the missing result files would have given
  for (const NotFound& miss : dom.setupnotfound) {
    for (const std::string& v : miss.variables) {
      if (!contains(registered, v) && !contains(wanting, v)) wanting.push_back(v);
    }
  }
  if (wanting.empty()) return {};
  const std::string name = datasetfilename(dom);
  const bool series = plot_data.tecappend;
  const std::string run = series ? "this append run" : "this run";
  const std::string first = outputtimeindex(plot_data.nfile);
  std::vector<std::string> held;
  const Held read = heldvariables(dom, held);
  if (read == Held::absent) return {};
  if (read == Held::failed) {
    notesystemerror(errno, name);
    fatalerror(withsystemreason("The data set " + name + " could not be read to tell which variables it holds; " +
                                    run + ", which writes it anew, would leave out the variables of result files "
                                    "missing at the first output time, " + first + ".",
                                name) +
               "\nNo data set was written.");
  }
  std::vector<std::string> lost;
  for (const std::string& v : read == Held::read ? held : wanting) {
    if (contains(wanting, v)) lost.push_back(v);
  }
  if (lost.empty()) return {};
  std::string files, firstmissing;
  std::size_t missing = 0;
  for (const NotFound& miss : dom.setupnotfound) {
    const bool gives = std::any_of(miss.variables.begin(), miss.variables.end(),
                                   [&](const std::string& v) { return contains(lost, v); });
    if (!gives) continue;
    files += "\n  " + miss.file;
    if (missing++ == 0) firstmissing = miss.file;
  }
  std::string list;
  for (const std::string& v : lost) list += (list.empty() ? "" : ", ") + v;
  const std::string why =
      read == Held::read
          ? "The data set " + name + " holds variables that " + run + ", which writes it anew, would leave out of it: " +
                list + ".\nA quantity is written only where its result file exists at the first output time, " +
                first + ", and these are not there (the others of those variables are taken from them):" + files
          : "The data set " + name + " cannot be read to tell which variables it holds (" +
                (plot_data.tecplot_bin_mode ? "it is not a data set of the layout this program writes"
                                            : "it holds no VARIABLES line") +
                "), so it may hold some that " + run + ", which writes it anew, would leave out: " +
                std::to_string(missing) + (missing == 1 ? " result file" : " result files") +
                " of the first output time, " + first + ", " + (missing == 1 ? "is" : "are") + " missing (" +
                firstmissing + (missing == 1 ? ")." : ", etc.).");
  return why + "\nIt is kept as it was. Move it aside to " + (series ? "let the append series " : "") +
         "write it anew without them.";
}

// The ZONE lines of an ASCII data set, its first `upto` of them: it is read only as far as they
// go. Held::unreadable where a line runs on past any this program writes.
Held datzonelines(const std::string& name, std::size_t upto, std::vector<std::string>& lines) {
  std::int64_t size = 0;
  const int fd = openregular(name, O_RDONLY, size);
  if (fd < 0) return errno == ENOENT ? Held::absent : errno == EINVAL ? Held::unreadable : Held::failed;
  constexpr std::string_view mark = "\nZONE ";
  constexpr std::size_t kLongest = std::size_t{1} << 20;
  std::string block(kLongest, '\0');
  std::string text;     // the bytes read and not passed over
  std::size_t from = 0;  // where the search goes on in them
  Held held = Held::read;
  int error = 0;
  for (std::int64_t at = 0; lines.size() < upto;) {
    const std::size_t p = text.find(mark, from);
    const std::size_t end = p == std::string::npos ? p : text.find('\n', p + 1);
    if (end != std::string::npos) {
      lines.push_back(text.substr(p + 1, end - p - 1));
      from = end;  // its line feed may begin the next mark
      continue;
    }
    // What is kept holds a mark whose line goes on in the next block, or the start of a mark.
    text.erase(0, p != std::string::npos ? p : std::max(from, text.size() - std::min(text.size(), mark.size() - 1)));
    from = 0;
    if (text.size() > kLongest) {
      held = Held::unreadable;
      break;
    }
    if (at >= size) {
      if (p != std::string::npos) lines.push_back(text.substr(1));  // the last line, without its line feed
      break;
    }
    const ssize_t n = ::pread(fd, block.data(), block.size(), at);
    if (n <= 0) {
      error = n < 0 ? errno : EIO;  // a file that shrank while it was read fails as well
      held = Held::failed;
      break;
    }
    at += n;
    text.append(block, 0, static_cast<std::size_t>(n));
  }
  ::close(fd);
  errno = error;
  return held;
}

// Whether an ASCII data set holds more than one zone (one of the meshes alone holds one); true
// where it cannot be read to tell.
bool severalzones(const std::string& name) {
  std::vector<std::string> lines;
  return datzonelines(name, 2, lines) != Held::read || lines.size() >= 2;
}

// Per variable of a ZONE line, whether the zone holds values of its own: not named in its
// VARSHARELIST. False where the list cannot be read.
bool zoneownvalues(const std::string& line, std::size_t nvar, std::vector<char>& own) {
  own.assign(nvar, 1);
  constexpr std::string_view key = "VARSHARELIST=(";
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return true;
  const std::size_t close = line.find(')', at);
  if (close == std::string::npos) return false;
  const std::string list = line.substr(at + key.size(), close - at - key.size());
  for (std::size_t open = list.find('['); open != std::string::npos; open = list.find('[', open + 1)) {
    const std::size_t shut = list.find(']', open);
    if (shut == std::string::npos) return false;
    for (std::size_t p = open + 1; p < shut;) {
      std::size_t var = 0;
      const auto [next, ec] = std::from_chars(list.data() + p, list.data() + shut, var);
      if (ec != std::errc() || var < 1 || var > nvar) return false;
      own[var - 1] = 0;
      p = static_cast<std::size_t>(next - list.data()) + 1;
    }
    open = shut;
  }
  return true;
}

// What an earlier data set holds, as far as the output-time check reads it.
struct EarlierZones {
  Held held = Held::absent;
  std::string trouble;             // why it cannot be read, where it cannot
  std::vector<std::string> names;  // its variables
  std::int64_t zones = 0;          // its zones, at most the number asked for in ASCII
  std::vector<std::vector<char>> own;  // per zone read, per variable: values of its own
};

// Reads the earlier data set of `dom`: how many zones it holds (an ASCII one is counted to
// `countupto` at most) and, of its first `sharesupto` zones, which variables hold their own values.
EarlierZones earlierzones(const DOMAIN& dom, std::size_t countupto, std::size_t sharesupto) {
  EarlierZones e;
  if (plot_data.tecplot_bin_mode) {
    bool exists = false;
    const std::int32_t status = tecDataSetZones(plotbasename(dom).c_str(), static_cast<std::int64_t>(sharesupto),
                                                &exists, &e.names, &e.zones, &e.own);
    e.held = heldbinary(status, exists);
    if (e.held == Held::unreadable) {
      e.trouble = status == kTecIoError ? "it could not be read to its end"
                                        : "it is not a data set of the layout this program writes";
    }
    return e;
  }
  const std::string name = datasetfilename(dom);
  e.held = datvariables(name, e.names);
  if (e.held != Held::read) {
    if (e.held == Held::unreadable) e.trouble = "it holds no VARIABLES line";
    return e;
  }
  std::vector<std::string> lines;
  e.held = datzonelines(name, std::max(countupto, sharesupto), lines);
  e.zones = static_cast<std::int64_t>(lines.size());
  for (std::size_t z = 0; e.held == Held::read && z < std::min(sharesupto, lines.size()); ++z) {
    if (!zoneownvalues(lines[z], e.names.size(), e.own.emplace_back())) e.held = Held::unreadable;
  }
  if (e.held == Held::unreadable) e.trouble = "its ZONE lines cannot be read";
  return e;
}

// Why the earlier ASCII data set of `dom` stays in place of the run's own, which a stop left
// with `completed` output times ("" where the run's own takes its place): it holds more, or it
// cannot be read to tell. It is read only that far.
std::string fullerearlier(const DOMAIN& dom, std::size_t completed) {
  const EarlierZones earlier = earlierzones(dom, completed + 1, 0);
  const int error = errno;
  switch (earlier.held) {
    case Held::absent: return {};
    case Held::failed: return unknowncount(std::strerror(error), completed);
    case Held::unreadable: return unknowncount(earlier.trouble, completed);
    case Held::read: break;
  }
  if (earlier.zones <= static_cast<std::int64_t>(completed)) return {};
  return "it holds more output times than the " + std::to_string(completed) + " this run completed";
}

// A zone of the run that would repeat zone 1's values where a result file of its output time
// is missing.
struct RepeatingZone {
  std::size_t zone = 0;  // 1-based
  std::int32_t index = 0;
  std::vector<std::string> files, variables;
};

// The zones of `dom` that would repeat values of zone 1, by the files its set-up found and
// the output times the run converts: only stats, no result file is read.
std::vector<RepeatingZone> repeatingzones(const DOMAIN& dom, const OutputTimes& planned) {
  std::vector<std::string> registered;
  (void)splitnames(binarytext(dom.varlist), registered);
  const std::string first = "." + plot_data.nfs;
  std::vector<RepeatingZone> zones;
  for (std::size_t k = 1; k < planned.indices.size(); ++k) {
    RepeatingZone z{k + 1, planned.indices[k], {}, {}};
    for (const NotFound& found : dom.setupfound) {
      const std::string later = found.file.substr(0, found.file.size() - first.size()) + "." +
                                outputtimeindex(z.index);
      if (fileexists(later)) continue;
      bool gives = false;
      for (const std::string& v : found.variables) {
        if (!contains(registered, v)) continue;
        gives = true;
        if (!contains(z.variables, v)) z.variables.push_back(v);
      }
      if (gives && !contains(z.files, later)) z.files.push_back(later);
    }
    if (!z.files.empty()) zones.push_back(std::move(z));
  }
  return zones;
}

std::string joined(const std::vector<std::string>& items, const char* between = ", ") {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : between) + item;
  return text;
}

// A name under which the run writes a file until it is complete, and that file.
struct Staging {
  std::string name, file;
};

// The staging names of the planned run, one entry for each way it writes a file whole.
std::vector<Staging> stagingnames() {
  std::vector<Staging> names;
  // A binary data set is put together beside its link's target; its saved state is replaced
  // whole through a name of its own.
  const auto dataset = [&](const std::string& base, const std::string& name) {
    if (!plan->binary) {
      names.push_back({stagedname(name), name});
      return;
    }
    names.push_back({linktarget(base + ".szplt") + ".new", name});
    const std::string header = temporaryfiles(base)[0];
    names.push_back({header + ".new", header});
  };
  for (const DataSet& d : plan->datasets) dataset(d.base, d.name);
  for (const Special& s : plan->specials) dataset(s.plot.base, s.name);
  for (const Comparison& c : plan->comparisons) names.push_back({stagedname(c.name), c.name});
  if (!plan->comparisons.empty()) names.push_back({stagedname(comparedtimesname()), comparedtimesname()});
  if (plot_data.compare_heads_3d_domain) names.push_back({locationcachename() + ".tmp", locationcachename()});
  if (plan->series) names.push_back({stagedname(tecappendfilename()), tecappendfilename()});
  return names;
}

}  // namespace

void clearstagingnames() {
  if (!plan) return;
  for (const Staging& s : stagingnames()) clearstagingname(s.name, s.file);
}

void checknoresult(const std::vector<DOMAIN*>& written) {
  std::string holding;
  for (const DOMAIN* dom : written) {
    const std::string name = datasetfilename(*dom);
    if (!fileexists(name)) continue;
    // A data set of the meshes alone holds no variable but those this run, of the meshes alone
    // as well, registers (a special plot's among them).
    std::vector<std::string> registered;
    (void)splitnames(binarytext(dom->varlist), registered);
    const auto meshesalone = [&registered](const std::vector<std::string>& names) {
      return std::all_of(names.begin(), names.end(), [&](const std::string& v) { return contains(registered, v); });
    };
    bool holds = true;  // unless it shows it holds none: what cannot be read may hold any
    if (plot_data.tecplot_bin_mode) {
      const std::string base = plotbasename(*dom);
      if (plot_data.tecappend && writtenanew(base)) continue;
      TecTemporaries held;
      (void)tecTemporariesRead(base.c_str(), &held);
      // A data set of the meshes alone has one zone; more hold output times whatever their variables
      // (a time-varying "Zone", say).
      holds = !held.placedtrouble.empty() || held.placed > 1 ||
              (held.placed > 0 && !meshesalone(held.placednames));
    } else {
      std::vector<std::string> names;
      holds = datvariables(name, names) != Held::read || !meshesalone(names) || severalzones(name);
    }
    if (holds) holding += (holding.empty() ? "" : ", ") + name;
  }
  if (holding.empty()) return;
  input_error("No result file of output time " + outputtimeindex(plot_data.nfile) +
              " was found: this run has no output time to convert.\nNo data set was written; those of earlier runs "
              "are left as they are (" + holding + ", which data sets of the meshes alone would replace).\nTo write "
              "the data sets of the meshes alone, move " + holding + " aside.");
}

void checkkeptoutputtimes(const std::vector<DOMAIN*>& written, const std::function<OutputTimes()>& plan) {
  std::optional<OutputTimes> planned;
  const auto planfor = [&]() -> const OutputTimes& {
    if (!planned) planned = plan();
    return *planned;
  };
  std::vector<std::string> fewer;         // every file that holds more, data sets first
  std::vector<std::string> lines, later;  // a line on each data set, on each comparison file
  std::string refused;                    // the refusals of zones
  const bool series = plot_data.tecappend;
  const std::string move = series ? "to let the append series write it anew" : "to write it anew";
  for (const DOMAIN* dom : written) {
    // A data set an append series continues keeps its zones.
    if (series && dom->continuesafter > 0) continue;
    const std::string name = datasetfilename(*dom);
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 && errno == ENOENT) continue;
    const OutputTimes& p = planfor();
    const bool gap = p.gap;
    const std::size_t count = p.indices.size();
    const std::vector<RepeatingZone> repeating = repeatingzones(*dom, p);
    if (!gap && repeating.empty()) continue;
    const EarlierZones earlier = earlierzones(*dom, gap ? count + 1 : 0, repeating.empty() ? 0 : repeating.back().zone);
    if (earlier.held == Held::absent) continue;
    if (earlier.held == Held::failed) {
      notesystemerror(errno, name);
      fatalerror(withsystemreason("The data set " + name + " could not be read to tell which output times it "
                                  "holds; this run, which writes it anew, would put less in its place.",
                                  name) +
                 "\nNo data set was written.");
    }
    const bool unreadable = earlier.held == Held::unreadable;
    if (gap && (unreadable || earlier.zones > static_cast<std::int64_t>(count))) {
      fewer.push_back(name);
      lines.push_back(name + (unreadable ? " (it cannot be read to tell how many it holds: " + earlier.trouble + ")"
                                         : ""));
      continue;
    }
    for (const RepeatingZone& z : repeating) {
      if (!unreadable && static_cast<std::int64_t>(z.zone) > earlier.zones) break;
      std::vector<std::string> lost;
      for (const std::string& v : z.variables) {
        const auto at = std::find(earlier.names.begin(), earlier.names.end(), v);
        if (unreadable) {
          lost.push_back(v);
        } else if (at != earlier.names.end()) {
          const auto var = static_cast<std::size_t>(at - earlier.names.begin());
          if (earlier.own[z.zone - 1][var] != 0) lost.push_back(v);
        }
      }
      if (lost.empty()) continue;
      const bool one = z.files.size() == 1;
      refused += (refused.empty() ? "" : "\n") + std::string(one ? "A result file" : "Result files") +
                 " of output time " + outputtimeindex(z.index) + (one ? " does" : " do") + " not exist:\n  " +
                 joined(z.files, "\n  ") + "\nZone " + std::to_string(z.zone) + " of the data set " + name +
                 " would repeat the values of zone 1 in " + joined(lost) + ", where the earlier data set " +
                 (unreadable ? "may hold values of its own (" + earlier.trouble + ")" : "holds values of its own") +
                 ".\nIt is kept as it was. Put the result " + (one ? "file" : "files") + " back, or move it aside " +
                 move + " with those values repeated.";
      break;
    }
  }
  // A comparison file holds one output time, which the record names: at a gap, one that holds a
  // later output time than the run's last would be written back to an earlier one. Whether its
  // data sets still stand plays no part.
  if (const std::vector<std::string> files = comparisonfiles(); !files.empty()) {
    const ComparedTimes record = readcomparedtimes();
    for (const std::string& file : files) {
      const auto it = record.find(file);
      if (it == record.end() || !fileexists(file)) continue;
      const OutputTimes& p = planfor();
      if (!p.gap || p.indices.empty() || it->second <= p.indices.back()) continue;
      fewer.push_back(file);
      later.push_back(file + " (output time " + outputtimetext(it->second) + ")");
    }
  }
  if (!fewer.empty()) {
    const OutputTimes& p = *planned;
    const std::string gap = outputtimeindex(p.end);
    const bool one = fewer.size() == 1;
    std::string what;
    if (!lines.empty()) {
      what = " and write " + outputtimecount(static_cast<std::int64_t>(p.indices.size())) + " into " +
             (lines.size() == 1 ? "a data set that holds" : "data sets that hold") + " more:\n  " +
             joined(lines, "\n  ");
    }
    if (!later.empty()) {
      what += std::string(lines.empty() ? " and" : "\nand") + " compare output time " +
              outputtimeindex(p.indices.back()) + " in " + (later.size() == 1 ? "a file that holds" : "files that hold") +
              " a later one:\n  " + joined(later, "\n  ");
    }
    refused = "Output time " + gap + " has no result file, but output time " + outputtimeindex(p.later) +
              " has: this run would end its conversion at output time " + gap + what + "\n" +
              (one ? "It is" : "They are") + " kept as " + (one ? "it was" : "they were") +
              ". Put the result files of output time " + gap + " back to convert every output time, or move " +
              joined(fewer) + " aside " + (series ? "to let the append series write " : "to write ") +
              (one ? "it" : "them") + " anew from the output times before " + gap + "." +
              (refused.empty() ? "" : "\n" + refused);
  }
  if (!refused.empty()) fatalerror(refused + "\nNo data set was written.");
}

void checkkeptvariables(const std::vector<DOMAIN*>& written) {
  std::string refused;
  for (const DOMAIN* dom : written) {
    // A data set an append series continues keeps its variables.
    if (plot_data.tecappend && dom->continuesafter > 0) continue;
    if (const std::string why = keptvariables(*dom); !why.empty()) refused += (refused.empty() ? "" : "\n") + why;
  }
  if (!refused.empty()) fatalerror(refused);
}

void planrunfiles(const std::vector<DOMAIN*>& datasets, const std::vector<std::string>& comparisons,
                  const std::vector<SpecialPlot>& specials) {
  forgetrunrecords();
  Plan p;
  p.binary = plot_data.tecplot_bin_mode;
  p.series = plot_data.tecappend;
  for (DOMAIN* dom : datasets) {
    const std::string name = datasetfilename(*dom);
    p.datasets.push_back({dom, name, plotbasename(*dom), fileexists(name), {}});
  }
  for (const std::string& name : comparisons) p.comparisons.push_back({name, fileexists(name)});
  for (const SpecialPlot& s : specials) {
    const std::string name = s.base + (p.binary ? ".szplt" : ".dat");
    p.specials.push_back({s, name, fileexists(name)});
  }
  plan = std::move(p);
}

void datasetsclosed() {
  if (!plan) return;
  const char* idle = "this run wrote no output time to it";
  for (DataSet& d : plan->datasets) {
    const DOMAIN& dom = *d.dom;
    if (plan->series) {
      d.finalline = seriesline(d, idle);
    } else if (plan->binary) {
      d.finalline = binaryline(d, idle);
    } else if (runrecord(dom).indices.empty()) {
      d.finalline = untouched(d.name, d.earlier, idle);
    } else {
      const std::optional<StagedFile> staged = stagedfile(d.name);
      const std::string holds = replaced(d.name, zonelist(runrecord(dom).indices, runrecord(dom).origins), d.earlier);
      d.finalline = staged ? stagedline(d.name, *staged, "data set", holds) : holds;
    }
  }
}

std::string settlerunfiles() {
  if (!plan) return closestagedunits();
  std::vector<std::string> lines;
  for (DataSet& d : plan->datasets) {
    lines.push_back(d.finalline.empty() ? safely(d.name, [&] { return settledataset(d); }) : d.finalline);
  }
  // What is still being written is of no use unfinished: the earlier files stay.
  discardstagedunits();
  (void)takestagednotes();
  for (const Comparison& c : plan->comparisons) {
    lines.push_back(safely(c.name, [&] { return stagedfileline(c.name, c.earlier); }));
  }
  for (const Special& s : plan->specials) lines.push_back(safely(s.name, [&] { return specialline(s, plan->binary); }));
  if (lines.empty()) return {};
  std::string text = "What the files of this run now hold:";
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

void forgetrunfiles() {
  plan.reset();
  forgetrunrecords();
}

void checkdatasetnames(const std::vector<DOMAIN*>& written) {
  struct Target {
    std::string name, file;
    bool exists = false;
    struct stat id {};
  };
  std::vector<Target> targets;
  std::error_code error;
  for (const DOMAIN* dom : written) {
    Target t;
    t.name = datasetfilename(*dom);
    const std::string why = notaregularfile(t.name);
    if (!why.empty()) fatalerror("The data set " + t.name + " cannot be written: " + why + ".");
    t.file = linktarget(t.name);
    t.exists = ::stat(t.file.c_str(), &t.id) == 0;
    const std::string directory = filedirectory(t.file);
    if (!t.exists && t.file != t.name && !nameexists(directory)) {
      fatalerror("The data set " + t.name + " cannot be written: it is a link to " + t.file + ", whose directory " +
                 directory + " does not exist.");
    }
    for (const Target& other : targets) {
      const bool same = t.exists ? other.exists && t.id.st_dev == other.id.st_dev && t.id.st_ino == other.id.st_ino
                                 : !other.exists && std::filesystem::weakly_canonical(t.file, error) ==
                                                         std::filesystem::weakly_canonical(other.file, error);
      if (same) {
        fatalerror("The data sets " + other.name + " and " + t.name + " lead to one file, " + t.file +
                   ": each would replace the other.");
      }
    }
    targets.push_back(std::move(t));
  }
}

}  // namespace kelpra
