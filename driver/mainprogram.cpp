// The whole run: the command line, the lock on the working directory, the set-up of each domain,
// the loop over the output times and the exit sequence that closes the data sets and writes the
// special plots and comparisons.
#include "driver/mainprogram.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "compare/comparisons.hpp"
#include "driver/appendmode.hpp"
#include "driver/controlfile.hpp"
#include "driver/domaincreate.hpp"
#include "driver/meshfiles.hpp"
#include "driver/outputtimes.hpp"
#include "driver/plotsetup.hpp"
#include "driver/resume.hpp"
#include "driver/runfiles.hpp"
#include "driver/specialplots.hpp"
#include "paraview/paraview.hpp"
#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/nodesearch.hpp"
#include "plot/normalexit.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/interrupt.hpp"
#include "support/prefix.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"
#include "support/warnings.hpp"

namespace kelpra {
namespace {

// The records of the run. The other domains take "pm" as their porous-medium reference: they
// only read it, and it does not change between its own step of an output time and theirs, so
// the record itself serves where a copy refreshed after its step would (a copy of a large mesh
// at every output time costs as much as writing it).
struct Domains {
  DOMAIN pm, dual, olf, frac, chan, well, tile, addition;
  DOMAIN& pmcopy = pm;
  // Processing order of the plot files.
  std::array<DOMAIN*, 6> others() { return {&dual, &frac, &olf, &well, &chan, &tile}; }
  std::array<DOMAIN*, 7> plotted() { return {&pm, &dual, &frac, &olf, &well, &chan, &tile}; }
  std::array<DOMAIN*, 8> controlblocks() { return {&pm, &dual, &frac, &olf, &well, &chan, &tile, &addition}; }
};

// One line to the screen, then to the echo file.
void both(const std::string& line) { screenthenecho(line); }

bool writesdataset(const DOMAIN& dom) { return dom.exists && dom.writefile; }

std::vector<DOMAIN*> writtendomains(Domains& d) {
  std::vector<DOMAIN*> written;
  for (DOMAIN* dom : d.plotted()) {
    if (writesdataset(*dom)) written.push_back(dom);
  }
  return written;
}

void createdomains(Domains& d) {
  domaincreate(d.pm, "pm", d.pm);
  d.pm.coupling = 1;
  domaincreate(d.dual, "dual", d.pmcopy);
  domaincreate(d.olf, "olf", d.pmcopy);
  domaincreate(d.frac, "frac", d.pmcopy);
  domaincreate(d.chan, "chan", d.pmcopy);
  domaincreate(d.well, "well", d.pmcopy);
  domaincreate(d.tile, "tile", d.pmcopy);
  domaincreate(d.addition, "addition", d.pmcopy);
}

// A domain the control file writes but the model lacks (its coordinates file is missing) is
// warned of, with any data set of it that an earlier run left: it would pass for current.
void warnmissingdomains(Domains& d) {
  const std::array<std::string_view, 7> names = {"pm", "dual", "frac", "olf", "well", "chan", "tile"};
  const std::array<DOMAIN*, 7> records = d.plotted();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (records[i]->exists || !controlwritesdomain(names[i])) continue;
    const std::string name(names[i]);
    std::string text = "The plot control file " + controlfilename() + " writes the " + name +
                       " domain, but the model has no " + name + " domain: its coordinates file " +
                       meshfilename("o.coordinates_", name) + " does not exist.";
    for (const char* extension : {".dat", ".szplt"}) {
      const std::string earlier = prefixtext() + "o." + name + extension;
      if (fileexists(earlier)) text += "\nThe data set " + earlier + " is left as an earlier run wrote it.";
    }
    warningmsg(text);
  }
}

// Whether something stands at the control file's name. Only a check that finds nothing there
// lets the template be written: any other failure (a flaky network disk, a directory that may
// not be searched) stops the run, since the user's file may well be there. A link to nothing
// stops it too: the template cannot be created at its name, and written through it, it would
// land wherever the link points.
bool controlfilefound(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) return true;
  if (errno == ENOENT) {
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    fatalerror("The plot control file " + name + " is a symbolic link to " + linktarget(name) +
               ", which does not exist.\nNo template is written through it: restore the file it points to, or "
               "remove the link to have the template written.");
  }
  notesystemerror(errno, name);
  fatalerror(withsystemreason("It cannot be told whether the plot control file " + name + " exists.", name) +
             "\nIt is left as it is: no template is written over it.");
}

void plotcontrol(Domains& d) {
  const std::string controlname = controlfilename();
  // A requested template replaces whatever stands there, so only a run that would read the file
  // must know it is there.
  plot_data.plotcontrolfileexists =
      plot_data.makeplotcontrolfile ? fileexists(controlname) : controlfilefound(controlname);
  plot_data.plotcontrolunit = getunit();
  if (!plot_data.plotcontrolfileexists || plot_data.makeplotcontrolfile) {
    // Unasked for, the template never replaces a file, not even one that appeared after the check.
    const OpenStatus how = plot_data.makeplotcontrolfile ? OpenStatus::replace : OpenStatus::created;
    checkfileopen(openownunit(plot_data.plotcontrolunit, controlname, FileForm::formatted, how), controlname);
    writeplotcontrolinit();
    for (DOMAIN* dom : d.controlblocks()) writeplotcontrol(*dom);
    checkfilewrite(writeline(plot_data.plotcontrolunit, "write time series file"), controlname);
    checkfilewrite(writeline(plot_data.plotcontrolunit, "end"), controlname);
  } else {
    // The control file is opened before its copy is replaced: one that cannot be opened leaves
    // the last run's copy as it was, too.
    plot_data.itmp2 = getunit();
    checkfileopen(openownunit(plot_data.itmp2, controlname, FileForm::formatted, OpenStatus::old), controlname);
    const std::string scratch = "scratch_plot";
    plot_data.itmp = getunit();
    checkfileopen(openownunit(plot_data.itmp, scratch, FileForm::formatted, OpenStatus::replace), scratch);
    strip_comments(plot_data.itmp2, plot_data.itmp);
    freeunit(plot_data.itmp);
    freeunit(plot_data.itmp2);
    checkfileopen(openownunit(plot_data.plotcontrolunit, scratch, FileForm::formatted, OpenStatus::old), scratch);
    readplotcontrolinit();
    for (DOMAIN* dom : d.controlblocks()) readplotcontrol(*dom);
    warnmissingdomains(d);
  }
  freeunit(plot_data.plotcontrolunit);
}

bool pmreadonlyrule(Domains& d) {
  if (d.pm.writefile) return false;
  for (DOMAIN* dom : {&d.frac, &d.olf, &d.well, &d.tile, &d.chan}) {
    if (dom->coupling == 0 && dom->writefile) return true;
  }
  return false;
}

// The last processed index the append file does not hold yet.
std::int32_t unrecorded = 0;
// This run has converted an output time (set up or appended a zone of one), the last one so.
bool converted = false;
std::int32_t lastconverted = 0;

// The data sets are flushed once every domain holds the index's zone, and the append file
// names an index only once the data sets hold it on disk: a run stopped between flushes then
// starts the next one at the first index whose zones were lost, not after it.
void recordappend(Domains& d) {
  for (DOMAIN* dom : d.plotted()) flushrule(*dom);
  // Data sets of the meshes alone hold no output time: the series has not begun.
  if (!plot_data.tecappend || plot_data.frommeshes) return;
  if (flushdue()) {
    writetecplotappend(plot_data.nfile);
    unrecorded = 0;
  } else {
    unrecorded = plot_data.nfile;
  }
}

// Every domain's variables are known before any data set is touched: a data set that would lose
// some, or output times or a zone's own values, stops the run with all of them as they were.
// `from` is the walk of the output times as it stood before this one.
void setupall(Domains& d, const OutputTimeWalk& from) {
  for (DOMAIN* dom : d.plotted()) checkcontinueddataset(*dom);
  initvariables(d.pm, d.pmcopy);
  for (DOMAIN* dom : d.others()) initvariables(*dom, d.pmcopy);
  if (plot_data.frommeshes) checknoresult(writtendomains(d));
  checkkeptvariables(writtendomains(d));
  if (!plot_data.frommeshes) checkkeptoutputtimes(writtendomains(d), [&from] { return plannedoutputtimes(from); });
  initzone(d.pm, d.pmcopy);
  for (DOMAIN* dom : d.others()) initzone(*dom, d.pmcopy);
  recordappend(d);
}

void appendall(Domains& d) {
  append(d.pm, d.pmcopy);
  for (DOMAIN* dom : d.others()) append(*dom, d.pmcopy);
  recordappend(d);
}

// The output times the time window passed over, from the first to the last.
struct Skipped {
  std::string first, last;
  std::int32_t firstindex = 0, lastindex = 0;
};

// Stops the run: the time window took none of the output times found, `first` to `last`.
[[noreturn]] void nooutputtimeinwindow(const std::string& first, const std::string& last) {
  input_error("No output time lies in the time window of \"truncate time domain\" (" +
              timetext(plot_data.tmin_trunc) + " to " + timetext(plot_data.tmax_trunc) +
              ").\nThe output times found run from " + first + " to " + last +
              ".\nNo data set was written; those of earlier runs are left as they are.");
}

// A window that took no output time leaves every data set as an earlier run wrote it: a normal
// exit would make those look current. A continued append run with nothing new is not this case.
void checkwindowtooktimes(bool started, const Skipped& skipped) {
  if (!plot_data.truncate_time_domain || started || skipped.first.empty() || continuesdataset()) return;
  nooutputtimeinwindow(skipped.first, skipped.last);
}

// An append run whose window passes over every new output time changes nothing: it says so.
void warnnonewtimeinwindow(const Skipped& skipped) {
  if (skipped.first.empty()) return;
  const bool one = skipped.firstindex == skipped.lastindex;
  warningmsg("No new output time lies in the time window of \"truncate time domain\" (" +
             timetext(plot_data.tmin_trunc) + " to " + timetext(plot_data.tmax_trunc) + "): the new output " +
             (one ? "time " + outputtimeindex(skipped.firstindex) + " (time " + skipped.first + ") lies"
                  : "times " + outputtimeindex(skipped.firstindex) + " to " + outputtimeindex(skipped.lastindex) +
                        " (times " + skipped.first + " to " + skipped.last + ") lie") +
             " outside it.\nThe data sets are left as they are.");
}

// The conversion ends at the first output time without a result file; where a later one has
// them, the output times from there on are not converted, which is worth a word.
void warnlaterresults(const OutputTimeWalk& walk) {
  const std::int32_t later = walk.laterresults(plot_data.nfile).first;
  if (later == 0) return;
  warningmsg("Output time " + plot_data.nfs + " has no result file, but output time " + outputtimeindex(later) +
             " has: the conversion ends at output time " + plot_data.nfs + ", and output time " +
             outputtimeindex(later) + " and those after it are not converted.");
}

void outputtimeloop(Domains& d) {
  unrecorded = 0;
  converted = false;
  lastconverted = 0;
  plot_data.nfilestart = plot_data.tecappendnfile;
  plot_data.nfile = plot_data.tecappendnfile;
  bool started = false;
  Skipped skipped;
  OutputTimeWalk walk(plot_data.nfile, plot_data.time_file_found ? plot_data.time_fname : std::string());
  while (true) {
    checkstop();
    const OutputTimeWalk from = walk;
    const OutputTimeStep step = walk.next();
    plot_data.nfile = step.index;
    // An index the width cannot hold would name the file of another output time: the loop
    // ends there, as at a missing file, and the data sets written so far are closed normally.
    if (step.kind == OutputTimeStep::beyondwidth) {
      warnindexbeyondwidth(plot_data.nfile);
      checkwindowtooktimes(started, skipped);
      return;
    }
    plot_data.nfs = outputtimeindex(plot_data.nfile);
    plot_data.timestamp = step.time;
    plot_data.time_file_found = !step.file.empty();
    if (plot_data.time_file_found) plot_data.time_fname = step.file;
    const std::string time(trimview(plot_data.timestamp));
    if (step.kind == OutputTimeStep::missing) {
      echothenscreen("Warning: No output file found with extension: " + plot_data.nfs);
      warnlaterresults(walk);
      if (plot_data.tecappend && plot_data.tecappendnfile > 1) {
        if (plot_data.nfile == plot_data.nfilestart || (plot_data.truncate_time_domain && !started)) {
          echothenscreen("No more data to append");
          warnnonewtimeinwindow(skipped);
          for (DOMAIN* dom : d.plotted()) checkcontinueddataset(*dom, true);
        }
        return;
      }
      checkwindowtooktimes(started, skipped);
      if (plot_data.nfile == plot_data.nfilestart) {
        plot_data.frommeshes = true;
        setupall(d, from);
        plot_data.frommeshes = false;
      }
      return;
    }
    if (step.kind == OutputTimeStep::badtime) input_error_stat(step.status, "Time stamp is not a number: " + time);
    if (step.kind == OutputTimeStep::skipped) {
      both("Skip Time " + plot_data.nfs + ": " + time);
      if (skipped.first.empty()) {
        skipped.first = time;
        skipped.firstindex = plot_data.nfile;
      }
      skipped.last = time;
      skipped.lastindex = plot_data.nfile;
      continue;
    }
    if (plot_data.truncate_time_domain && !started) {
      started = true;
      plot_data.nfilestart = plot_data.nfile;
    }
    converted = true;
    lastconverted = plot_data.nfile;
    if (plot_data.nfile == plot_data.nfilestart) {
      setupall(d, from);
      both("");
      both("Time " + plot_data.nfs + ": " + time);
    } else {
      both("Time " + plot_data.nfs + ": " + time);
      appendall(d);
    }
    plot_data.lasttimestamp = plot_data.timestamp;
  }
}

// An append run brings every data set it did not write to up to what its temporary files
// hold: an earlier run may have been stopped or killed while it put the data set together.
void putcontinuedinplace(Domains& d) {
  for (DOMAIN* dom : writtendomains(d)) {
    const std::string base = plotbasename(*dom);
    const auto temporaries = temporaryfiles(base);
    if (dom->zone > 0 || !fileexists(temporaries[0]) || !fileexists(temporaries[1])) continue;
    std::int32_t written = 0;
    const std::int32_t status = tecTemporariesPutInPlace(base.c_str(), &written);
    if (status == kTecFewerZones) fewerzonesrefused(base);
    if (status == kTecPlacedUnreadable) unreadablerefused(base, tecDataSetOutcome(base.c_str()).trouble);
    if (status != kTecOk) {
      notebinaryreason(base + ".szplt");
      fatalerror(withsystemreason("The data set " + base + ".szplt could not be put together from its temporary "
                                  "files " + temporarynames(base) + ".") +
                 "\nThe temporary files are kept; the next append run tries again.");
    }
    if (written != 0) {
      warningmsg("The data set " + base + ".szplt did not hold what its temporary files hold: an earlier run was "
                 "stopped while it wrote the data set.\nIt is written again from them.");
    }
  }
}

// The special plots the run settings switch on, in the order the run writes them.
std::vector<SpecialPlot> specialplots(Domains& d) {
  std::vector<SpecialPlot> plots;
  if (plot_data.plot_zone_isopach) plots.push_back({prefixtext() + "o.pm_Isopach", &d.olf});
  if (plot_data.plot_depthgrndsurf) plots.push_back({prefixtext() + "o.pm_DepthToSurf", &d.pm});
  return plots;
}

// A run that writes no data set says why, rather than ending as if it had converted the model.
void warnnodataset(Domains& d) {
  if (!writtendomains(d).empty()) return;
  std::string domains;
  for (DOMAIN* dom : d.plotted()) {
    if (!dom->exists) continue;
    domains += (domains.empty() ? "" : ", ") + std::string(trimview(dom->name));
  }
  warningmsg("No data set was written: the plot control file " + controlfilename() +
             " switches on no domain of the model.\nA domain is written by its block \"write <domain> domain file\" "
             "... \"end\"; the model's domains are " + domains + ".");
}

// The comparisons in the order the run writes them: the setting that switches each on, the
// domain it compares, the reader of its observations and its writer.
struct ComparisonStep {
  bool PlotData::*on;
  DOMAIN Domains::*dom;
  void (*read)(DOMAIN&);
  void (*write)(DOMAIN&);
};
const ComparisonStep kComparisonSteps[] = {
    {&PlotData::compare_heads_3d_domain, &Domains::pm, read_obs_heads_xyz, compare_heads_output},
    {&PlotData::compare_gwtable_elev, &Domains::pm, read_obs_heads_xy, compare_gwtable_elevation_output},
    {&PlotData::compare_deth2gwtable, &Domains::pm, read_d2gwt_heads, compare_deth2gwtable_output},
    {&PlotData::compare_surface_water_depth, &Domains::olf, read_obs_heads_xy, compare_heads_output},
};

// The result file whose values a domain's comparison takes at output time `index`: its heads,
// those of the porous medium in a common-node domain.
std::string comparedfile(const DOMAIN& dom, std::int32_t index) {
  return prefixtext() + "o.head_" + (dom.coupling != 1 ? "pm" : std::string(trimview(dom.name))) + "." +
         outputtimeindex(index);
}

// An append run that converted no output time writes the comparisons whose files do not hold
// the series' last output time (by the record, not by the files), from that output time's
// result files read as a conversion reads them; the others are switched off. Returns the
// output time compared, 0 for none.
std::int32_t catchupcomparisons(Domains& d, const ComparedTimes& record) {
  const std::int32_t last = plot_data.tecappendnfile - 1;
  std::string behind, gone;  // what the files of the comparisons not written hold, and why
  bool any = false;
  for (const ComparisonStep& step : kComparisonSteps) {
    if (!(plot_data.*step.on)) continue;
    std::string held;
    for (const std::string& file : comparisonpair(step.on)) {
      const auto it = record.find(file);
      if (fileexists(file) && it != record.end() && it->second == last) continue;
      held += "\n  " + file + ": " +
              (!fileexists(file)        ? std::string("not written")
               : it == record.end()     ? std::string("no output time recorded")
                                        : "output time " + outputtimeindex(it->second));
    }
    if (last > 0 && !held.empty()) {
      const std::string file = comparedfile(d.*step.dom, last);
      if (fileexists(file)) {
        any = true;
        continue;
      }
      if (gone.empty()) gone = file;
      behind += held;
    }
    plot_data.*step.on = false;
  }
  if (!gone.empty()) {
    warningmsg("No comparison is written of output time " + outputtimeindex(last) + ", the last of the series, "
               "which this run did not convert: its result file " + gone + " is gone. The comparison files hold:" +
               behind + "\nThey are left as they are.");
  }
  if (!any) {
    if (gone.empty()) {
      warningmsg("No comparison is written: no output time was converted in this run; the comparison files of "
                 "earlier runs are left as they are.");
    }
    return 0;
  }
  plot_data.nfile = plot_data.nfilestart = last;
  plot_data.nfs = outputtimeindex(last);
  bool found = false;
  gettimestamp("." + plot_data.nfs, found);
  plot_data.lasttimestamp = plot_data.timestamp;
  both("");
  both("Output time " + plot_data.nfs + ", the last of the series, is read for the comparisons, whose files do not "
       "hold it");
  bool pm = false, olf = false;
  for (const ComparisonStep& step : kComparisonSteps) {
    if (!(plot_data.*step.on)) continue;
    (step.dom == &Domains::pm ? pm : olf) = true;
  }
  if (pm) readforcomparisons(d.pm, d.pmcopy);
  if (olf) readforcomparisons(d.olf, d.pmcopy);
  return last;
}

// Writes the comparisons switched on, of output time `index`, and records it for each file
// written. A file is struck from the record before it is replaced, so that a run stopped on the
// way never leaves one that the record says holds an output time it does not.
void writecomparisons(Domains& d, std::int32_t index, ComparedTimes record) {
  const std::vector<std::string> files = comparisonfiles();
  if (files.empty()) return;
  const std::string name = comparedtimesname();
  bool struck = false;
  for (const std::string& file : files) struck = record.erase(file) > 0 || struck;
  if (struck) {
    if (const int status = writecomparedtimes(record); status != 0) {
      fatalerrorstat(status, withsystemreason("Failed to write " + name + ", the record of the output time each "
                                              "comparison file holds, before the comparison files are replaced.",
                                              name));
    }
  }
  checkstop();
  for (const ComparisonStep& step : kComparisonSteps) {
    if (!(plot_data.*step.on)) continue;
    step.read(d.*step.dom);
    step.write(d.*step.dom);
  }
  bool placed = false;
  for (const std::string& file : files) {
    const std::optional<StagedFile> staged = stagedfile(file);
    if (!staged || staged->outcome != StagedOutcome::placed || index < 1) continue;
    record[file] = index;
    placed = true;
  }
  if (!placed) return;
  if (const int status = writecomparedtimes(record); status != 0) {
    (void)takestagednotes();
    warningmsgstat(status, withsystemreason("Failed to write " + name + ", the record of the output time each "
                                            "comparison file holds: it does not record that the comparison files "
                                            "of this run hold output time " + outputtimeindex(index) + ".",
                                            name));
  }
}

void exitsequence(Domains& d) {
  both("");
  for (DOMAIN* dom : d.plotted()) tecplotfileclose(*dom);
  if (plot_data.tecappend) putcontinuedinplace(d);
  // Every data set is written by now: a later stop leaves each as it is.
  datasetsclosed();
  warnnodataset(d);
  // The closes flushed every data set.
  if (plot_data.tecappend && unrecorded > 0) writetecplotappend(unrecorded);
  const bool series = plot_data.tecappend;
  plot_data.tecappend = false;
  std::int32_t compared = lastconverted;
  if (!comparisonfiles().empty()) {
    const ComparedTimes record = readcomparedtimes();
    if (series && !converted) compared = catchupcomparisons(d, record);
    checkstop();
    writecomparisons(d, compared, record);
  }
  if (plot_data.paraview_bclocationout) addition_paraview_bclocationout();
  checkstop();
  if (plot_data.plot_zone_isopach) plot_pmzone_isopach_structure(d.olf, d.pm);
  checkstop();
  if (plot_data.plot_depthgrndsurf) plot_pmdepth_grndsurf(d.olf, d.pm);
  normalexitstop();
}

// One run at a time per directory, whatever the prefixes: runs share "scratch_plot" and may
// share every other file. The lock is on the directory itself, opened read only, so deleting a
// file a run leaves cannot let a second run in; the kernel drops it when the process ends,
// however it ends, and it is held past the data sets written as the program exits.
struct DirectoryId {
  dev_t device;
  ino_t inode;
};
// The directories this process holds (or found it cannot lock), by identity: one reached by two
// names is locked once, since a second lock through another descriptor would refuse the process
// itself.
std::vector<DirectoryId>& helddirectories() {
  static std::vector<DirectoryId> held;
  return held;
}

// Locks the directory `path` (`named` says which it is in the messages). Returns why the run
// goes on unguarded, or nothing; another run holding it stops this one.
std::string lockdirectory(const std::string& path, const std::string& named) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int error = errno;
  struct stat st {};
  if (fd < 0 && ::stat(path.c_str(), &st) == 0) {
    // A directory that cannot be opened is warned of once as well, by whichever name.
    for (const DirectoryId& id : helddirectories()) {
      if (id.device == st.st_dev && id.inode == st.st_ino) return {};
    }
    helddirectories().push_back({st.st_dev, st.st_ino});
  } else if (fd >= 0 && ::fstat(fd, &st) != 0) {
    error = errno;
  } else if (fd >= 0) {
    for (const DirectoryId& id : helddirectories()) {
      if (id.device == st.st_dev && id.inode == st.st_ino) {
        ::close(fd);
        return {};
      }
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      helddirectories().push_back({st.st_dev, st.st_ino});
      return {};  // the descriptor stays open: it holds the lock
    }
    error = errno;
    // A directory that cannot be locked is warned of once, by whichever name it is reached.
    if (error != EWOULDBLOCK) helddirectories().push_back({st.st_dev, st.st_ino});
  }
  if (fd >= 0) ::close(fd);
  if (fd >= 0 && error == EWOULDBLOCK) {
    fatalerror("Another kelpra run is working in " + named + ".\n"
               "Wait until it has ended; this run has written nothing.");
  }
  return "This run is not guarded against a second kelpra run in " + named + ": the directory cannot be "
         "locked (" + std::string(std::strerror(error)) + ").";
}

void run(int argc, const char* const* argv) {
  auto domains = std::make_unique<Domains>();
  Domains& d = *domains;
  // The notes of a stopping report look at the records only while they exist. A stop leaves
  // the data sets of an append series as the series' own close does: written out from their
  // complete zones, their temporary files kept, but never in place of a data set of more
  // output times.
  struct Forget {
    Domains& d;
    ~Forget() {
      forgetrunfiles();
      if (!plot_data.tecappend) return;
      for (DOMAIN* dom : d.plotted()) {
        if (dom->tecfilehandle != nullptr) (void)tecFileWriterCloseAs(&dom->tecfilehandle, TecClose::series);
      }
    }
  } forget{d};
  header(0);
  readcommandline(argc, argv);
  std::vector<std::string> unguarded;
  const auto lock = [&unguarded](const std::string& path, const std::string& named) {
    if (std::string why = lockdirectory(path, named); !why.empty()) unguarded.push_back(std::move(why));
  };
  lock(".", "this directory");
  // Where the prefix points into another directory, that one is held as well before anything
  // is written, so that two runs never write into one directory.
  getmodelprefix(".vorn", plot_data.prefix, [&lock](const std::string& prefix) {
    const std::string directory = filedirectory(prefix);
    lock(directory, "the directory " + directory + ", where the prefix points");
  });
  setstopnotes(settlerunfiles);
  // From here on Ctrl-C, kill and a closed terminal stop the run as an error does, at its next
  // point to stop; at the prefix prompt before, nothing is written yet and they end it at once.
  catchstopsignals();
  const std::string echoname = prefixtext() + "o.kelpra.eco";
  plot_data.ieco = getunit();
  checkfileopen(openownunit(plot_data.ieco, echoname, FileForm::formatted, OpenStatus::replace), echoname);
  seterrorloggingfileunit(plot_data.ieco);
  clearcurrentcmd();
  warnnow();
  header(plot_data.ieco);
  warningmsg(
      "Kelpra has been deprecated and will be removed in a future release.\n"
      "We recommend using tnqvist for post-processing going forward.");
  for (const std::string& why : unguarded) warningmsg(why);
  titleread();
  speciesread();
  hmcfractionsread();
  createdomains(d);
  plotcontrol(d);
  if (plot_data.makeplotcontrolfile) {
    normalexitstop("Generate " + prefixtext() + ".plot.control file and terminate...");
  }
  plot_data.pmreadonly = pmreadonlyrule(d);
  const std::vector<DOMAIN*> written = writtendomains(d);
  checkdatasetnames(written);
  planrunfiles(written, comparisonfiles(), specialplots(d));
  clearstagingnames();
  // The meshes are truncated before anything is written: an append run checks the data sets it
  // continues against them.
  for (DOMAIN* dom : d.plotted()) truncatemesh(*dom, d.pmcopy);
  if (plot_data.tecappend) resumetecplotappend(writtendomains(d));
  outputtimeloop(d);
  exitsequence(d);
}

}  // namespace

void readcommandline(int argc, const char* const* argv) {
  // Position 0, the program's name, is never an option, but a blank one still ends the scan.
  for (int i = 0; i < argc; ++i) {
    std::string arg(argv[i] == nullptr ? "" : argv[i]);
    if (arg.size() > 256) arg.resize(256);
    if (len_trim(arg) == 0) break;
    if (i == 0) continue;
    lcase(arg);
    const std::string_view text = trimview(arg);
    if (text == "--make_plot_control") {
      plot_data.makeplotcontrolfile = true;
    } else {
      screenline("Invalid command line option: " + std::string(text));
    }
  }
}

namespace {

// A run that was sent a stop signal ends by it, so that a shell or a batch system sees that it
// was interrupted, also where it had no point left to stop at.
int endbysignal(int status) {
  if (const int sig = notedstopsignal(); sig != 0) {
    std::fflush(stdout);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  return status;
}

}  // namespace

int kelpramain(int argc, const char* const* argv) {
  // Line by line, so that messages and reports keep their order in a shared log.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  // A file-size limit then fails the write ("File too large"), which is reported like a full
  // disk, instead of killing the run with its data sets half written.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    try {
      run(argc, argv);
      return endbysignal(0);
    } catch (const std::bad_alloc&) {
      // Memory exhaustion outside the checked allocations still ends in a report, not an abort.
      check_alloc(kStatusNoMemory, "KELPRA work space");
    } catch (const std::exception& failure) {
      fatalerror(std::string("Unexpected failure: ") + failure.what());
    }
  } catch (const RunStopped& stop) {
    std::fflush(stdout);
    return endbysignal(stop.exitstatus);
  }
  return 1;
}

}  // namespace kelpra
