// The data set of a domain: opening, auxiliary data, zones, flushing and closing.
#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/resultaccess.hpp"
#include "plot/runrecord.hpp"
#include "plot/tecio.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"
#include "support/timestamp.hpp"
#include "support/units.hpp"

namespace kelpra {
namespace {

// Renames without replacing an existing file: 0, or the error number (EEXIST when `to` exists).
// Where the file system cannot refuse to replace, the check comes just before the rename.
int renamenoreplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (nameexists(to)) return EEXIST;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::array<std::string, 2> temporaryfiles(const std::string& base) {
  return temporaryfilenames(base);
}

std::string temporarynames(const std::string& base) {
  const auto files = temporaryfiles(base);
  return files[0] + " and " + files[1];
}

void notebinaryreason(const std::string& named) {
  const TecFailure failure = tecLastFailure();
  if (failure.error == 0) {
    clearsystemerror();  // a note left by another file would give a wrong reason
    return;
  }
  notesystemerror(failure.error, failure.file == named ? std::string() : failure.file);
}

namespace {

void writeasciiline(DOMAIN& dom, std::string_view line) {
  checkfilewrite(writeline(dom.unit, line), std::string(trimview(dom.tecfilename)) + ".dat");
}

// Every variable of the zone just finished must have been written or shared, and a zone with
// its own connectivity must have it.
void checkzonecomplete(const DOMAIN& dom) {
  if (dom.zone < 1) return;
  for (std::size_t i = 0; i < dom.zonevarstate.size(); ++i) {
    if (dom.zonevarstate[i] == 0) {
      fatalerror("Tecplot zone " + std::to_string(dom.zone) + " of " + domainname(dom) +
                 " domain has no values for variable # " + std::to_string(i + 1) + ".");
    }
  }
  if (dom.zoneneedsconnectivity) {
    fatalerror("Tecplot zone " + std::to_string(dom.zone) + " of " + domainname(dom) +
               " domain has no element connectivity.");
  }
}

// Takes the pending marks into the checks of the new zone. The first zone written since
// tecplotinit shares nothing (an appended binary data set may already hold earlier zones).
void startzonechecks(DOMAIN& dom, bool firstzone, std::int32_t nodes, std::int32_t elements,
                     std::int32_t sharezone) {
  const auto nvar = static_cast<std::size_t>(dom.nvar);
  dom.pendingshare.resize(nvar, 0);
  dom.pendingcc.resize(nvar, 0);
  dom.zonevarstate.assign(nvar, 0);
  if (!firstzone) {
    for (std::size_t i = 0; i < nvar; ++i) {
      if (dom.pendingshare[i] != 0) dom.zonevarstate[i] = 2;
    }
  }
  dom.zonecc = dom.pendingcc;
  dom.pendingshare.assign(nvar, 0);
  dom.pendingsharezone.assign(nvar, 0);
  dom.pendingcc.assign(nvar, 0);
  dom.zonenodes = nodes;
  dom.zoneelements = elements;
  dom.zoneneedsconnectivity = sharezone <= 0;
}

// The shared variables grouped by the zone they share: "[8,9]=1", groups in order of their
// first variable.
std::string sharelist(const DOMAIN& dom) {
  std::string list;
  const auto zoneof = [&](std::size_t i) { return i < dom.pendingsharezone.size() ? dom.pendingsharezone[i] : 1; };
  std::vector<std::uint8_t> done(dom.pendingshare.size(), 0);
  for (std::size_t i = 0; i < dom.pendingshare.size(); ++i) {
    if (dom.pendingshare[i] == 0 || done[i] != 0) continue;
    const std::int32_t zone = zoneof(i);
    if (!list.empty()) list += ", ";
    list += '[';
    bool first = true;
    for (std::size_t j = i; j < dom.pendingshare.size(); ++j) {
      if (dom.pendingshare[j] == 0 || zoneof(j) != zone) continue;
      done[j] = 1;
      if (!first) list += ',';
      first = false;
      list += std::to_string(j + 1);
    }
    list += "]=";
    list += std::to_string(zone);
  }
  return list;
}

std::string numberlist(const std::vector<std::uint8_t>& marks) {
  std::string list;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    if (marks[i] == 0) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(i + 1);
  }
  return list;
}

}  // namespace

bool tecplotzonecomplete(const DOMAIN& dom) {
  return !dom.zoneneedsconnectivity &&
         std::none_of(dom.zonevarstate.begin(), dom.zonevarstate.end(), [](std::uint8_t v) { return v == 0; });
}

void binaryfailure(const std::string& message) {
  notebinaryreason({});
  const std::string text = withsystemreason(message);
  // The data set stays open: the stopping report closes it, writing its complete zones or
  // keeping the earlier file where none is complete, and keeps its temporary files as of the
  // last flush (an append series continues them).
  fatalerror(text);
}

void appendrefused(const std::string& base, const std::string& why) {
  const std::int32_t last = plot_data.tecappendnfile - 1;
  fatalerror("Failed to append to the data set " + base + ".szplt: " + why + "." +
             (last > 0 ? "\nThe append series goes on after output time " + outputtimeindex(last) + "." : "") +
             "\nMove " + base + ".szplt and its temporary files aside to write that data set anew from this run's "
             "first output time, or the temporary files (" + prefixtext() +
             "o.*.szplt.szhdr and .szdat) of every data set to write them all anew.");
}

void unreadablerefused(const std::string& base, const std::string& why) {
  // Found at a close, other data sets of the run may already be written: the text says which.
  std::string others;
  for (const std::string& file : tecDataSetsWritten()) others += (others.empty() ? "" : ", ") + file;
  fatalerror("The data set " + base + ".szplt cannot be read: " + why + ".\nIt is kept as it was" +
             (others.empty() ? ", and so is every other data set" : "") +
             ": an append run would replace it without knowing which output times it alone holds." +
             (others.empty() ? "" : " This run has already written " + others + ".") +
             " Make it readable, or move it aside to let the append series write it anew.");
}

void fewerzonesrefused(const std::string& base, std::int64_t left) {
  TecTemporaries held;
  tecTemporariesRead(base.c_str(), &held);
  fatalerror("The data set " + base + ".szplt holds " + outputtimecount(held.placed) +
             "; this append run would leave " + std::to_string(left < 0 ? held.zones : left) +
             " in it.\nIt is kept as it was. Move it aside to let the append series replace it.");
}

std::int32_t zonetypecode(std::int32_t nln, std::string_view name) {
  const std::string_view n = trimview(name);
  switch (nln) {
    case 2: return kTecFeLineSeg;
    case 3:
    case 4: return (n == "pm" || n == "dual") ? kTecFeTetrahedron : kTecFeQuadrilateral;
    case 6:
    case 8: return kTecFeBrick;
    default: return 0;
  }
}

std::string_view zonetypename(std::int32_t code) {
  switch (code) {
    case kTecFeLineSeg: return "FELINESEG";
    case kTecFeTriangle: return "FETRIANGLE";
    case kTecFeTetrahedron: return "FETETRAHEDRON";
    case kTecFeQuadrilateral: return "FEQUADRILATERAL";
    case kTecFeBrick: return "FEBRICK";
    default: return "";
  }
}

std::string_view zonetypeword(std::int32_t nln, std::string_view name) {
  return zonetypename(zonetypecode(nln, name));
}

std::string binarytext(std::string_view text) {
  std::string plain(text);
  for (char& c : plain) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return std::string(trimview(plain));
}

std::string tecappendfilename() { return prefixtext() + "o.tec_append"; }

bool continuesdataset() { return plot_data.tecappend && plot_data.tecappendnfile > 1; }

// Temporary files that a run without append mode left hold nothing a series needs: they are
// deleted, the data file first, so that a run stopped in between leaves a header that still
// says so. Those of an append series, or that do not say, are moved aside.
bool deletedtemporaries(const std::string& base, const std::array<std::string, 2>& files) {
  TecTemporaries held;
  if (!fileexists(files[0]) || !notaregularfile(files[0]).empty()) return false;
  if (tecTemporariesRead(base.c_str(), &held) == kTecIoError || !held.header || held.series != 0) return false;
  for (const std::string& file : {files[1], files[0]}) {
    if (std::remove(file.c_str()) != 0 && errno != ENOENT) {
      notesystemerror(errno, file);
      fatalerror(withsystemreason("Failed to delete the temporary file " + file + " of an earlier run.", file));
    }
  }
  warningmsg("Tecplot szplt temporary files found (" + files[0] + ", etc.), left by a run without append mode.\n"
             "They are deleted; the data set is written anew.");
  return true;
}

void removehalfwritten(const std::string& base) {
  // Beside a link's target, where the put-in-place writes it.
  const std::string name = base + ".szplt";
  const std::string half = linktarget(name) + ".new";
  if (!fileexists(half) || !notaregularfile(half).empty()) return;
  if (std::remove(half.c_str()) != 0) {
    notesystemerror(errno, half);
    fatalerror(withsystemreason("Failed to delete " + half + ", left by a run stopped while it wrote " + name + ".",
                                half));
  }
  warningmsg("The file " + half + ", left half written by a run stopped while it wrote " + name +
             ", is deleted; " + name + " is the complete earlier data set.");
}

void setasidetemporaries(const std::string& base) {
  const auto files = temporaryfiles(base);
  if (deletedtemporaries(base, files)) return;
  std::vector<std::string> moved;
  for (const std::string& file : files) {
    if (nameexists(file)) moved.push_back(file);
  }
  if (moved.empty()) return;
  // Both files of a pair get the same suffix, one no earlier pair holds, so nothing set aside
  // before is replaced and no header is paired with another run's zone data. A name taken
  // between the check and the rename is not replaced either: the next suffix is tried.
  std::string suffix;
  for (int k = 1;; ++k) {
    suffix = k == 1 ? ".old" : ".old" + std::to_string(k);
    if (nameexists(files[0] + suffix) || nameexists(files[1] + suffix)) continue;
    std::size_t done = 0;
    int error = 0;
    while (done < moved.size() && (error = renamenoreplace(moved[done], moved[done] + suffix)) == 0) ++done;
    if (done == moved.size()) break;
    // The first file goes back, so that a pair is never split over two suffixes.
    for (std::size_t i = 0; i < done; ++i) (void)renamenoreplace(moved[i] + suffix, moved[i]);
    if (error != EEXIST) {
      notesystemerror(error, moved[done]);
      fatalerror(withsystemreason("Failed to move the temporary file " + moved[done] + " of an earlier run aside to " +
                                      moved[done] + suffix + ".",
                                  moved[done]));
    }
  }
  if (moved.size() == 1) {
    warningmsg("Tecplot szplt temporary file found (" + moved[0] + ")\nIt is moved aside to " + moved[0] + suffix +
               "; the data set is written anew.");
  } else {
    warningmsg("Tecplot szplt temporary files found (" + moved[0] + ", etc.)\nThey are moved aside to " + moved[0] +
               suffix + " and " + moved[1] + suffix + "; the data set is written anew.");
  }
}

void checkcontinuedtemporaries(const std::string& base, bool nothingnew) {
  const auto files = temporaryfiles(base);
  if (nameexists(files[0]) || nameexists(files[1]) || nameexists(base + ".szplt")) return;
  const std::string next = outputtimeindex(plot_data.nfile);
  warningmsg("The data set " + base + ".szplt and its temporary files do not exist.\n" +
             (nothingnew ? "The next output time, " + next + ", starts it; this run has no new output time to write."
                         : "The data set is written anew from output time " + next + "."));
}

void tecplotfileopen(std::string_view basename, std::string_view title, std::int32_t count,
                     std::string_view varlist, DOMAIN& dom) {
  dom.tecfilename = std::string(trimview(basename));
  if (plot_data.tecplot_bin_mode) {
    const std::string& base = dom.tecfilename;
    const std::string titletext = binarytext(title);
    const std::string names = binarytext(varlist);
    // An append run has checked every data set's temporary files before it began.
    if (!plot_data.tecappend) setasidetemporaries(base);
    std::int32_t status = tecFileWriterOpen(base.c_str(), titletext.c_str(), names.c_str(), kTecFormatSzplt,
                                            kTecFileFull, 0, nullptr, &dom.tecfilehandle);
    // Temporary files of a run without append mode hold nothing the next run goes on with.
    if (status == 0) status = tecDataSetSetSeries(dom.tecfilehandle, plot_data.tecappend);
    if (status == kTecBadTemporary || status == kTecOtherTemporary) {
      // Those files hold the earlier runs' zones: say which they are and what to do.
      appendrefused(base, "its temporary files " + temporarynames(base) + " " +
                              (status == kTecBadTemporary ? "are damaged" : "hold a data set of other variables"));
    }
    if (status != 0) notebinaryreason(base);
    checkfileopen(status, base);
    tecplotmetadata(dom);
    dom.varlocation.allocate(count, 1, "Tecplot variable location array");
    dom.varshare.allocate(count, 0, "Tecplot variable sharing array");
    dom.varpassive.allocate(count, 0, "Tecplot passive variables array");
    return;
  }
  const std::string filename = dom.tecfilename + ".dat";
  dom.unit = getunit();
  // Under a temporary name until closed: a run stopped midway, even killed, never leaves the
  // earlier data set cut short.
  checkfileopen(openunit(dom.unit, filename, FileForm::formatted, OpenStatus::staged), stagedname(filename));
  writeasciiline(dom, "TITLE = \"" + std::string(trimview(title)) + "\"");
  writeasciiline(dom, "VARIABLES = " + std::string(trimview(varlist)));
  tecplotmetadata(dom);
}

void tecplotmetadata(DOMAIN& dom) {
  tecplotaddmetadata("Source", "Tarnovelquasir, Morvane Inc.", dom);
  tecplotaddmetadata("TNQ_Version", kRevision, dom);
  tecplotaddmetadata("Date_Created", timestamputc(), dom);
  tecplotaddmetadata("Model_Prefix", plot_data.prefix, dom);
  tecplotaddmetadata("Mass_Base_Unit", getderivedunit("M"), dom);
  tecplotaddmetadata("Length_Base_Unit", getderivedunit("L"), dom);
  tecplotaddmetadata("Time_Base_Unit", getderivedunit("T"), dom);
  tecplotaddmetadata("Temperature_Base_Unit", "deg C", dom);
}

void tecplotaddmetadata(std::string_view key, std::string_view value, DOMAIN& dom) {
  if (plot_data.tecplot_bin_mode) {
    const std::string k(trimview(key));
    const std::string v = binarytext(value);
    if (tecDataSetAddAuxData(dom.tecfilehandle, k.c_str(), v.c_str()) != 0) {
      binaryfailure("Tecplot data set aux data for " + domainname(dom) + " domain.");
    }
    return;
  }
  writeasciiline(dom, "DATASETAUXDATA " + std::string(trimview(key)) + "=\"" + std::string(trimview(value)) + "\"");
}

void tecplotmetadataascii(int unit) {
  DOMAIN scratch;
  scratch.unit = unit;
  const bool binary = plot_data.tecplot_bin_mode;
  plot_data.tecplot_bin_mode = false;
  try {
    tecplotmetadata(scratch);
  } catch (const RunStopped&) {
    plot_data.tecplot_bin_mode = binary;
    throw;
  }
  plot_data.tecplot_bin_mode = binary;
}

void tecplotwritezonefe(std::string_view zonetitle, std::int32_t nodes, std::int32_t elements,
                        std::string_view timetext, std::int32_t sharezone, DOMAIN& dom) {
  checkzonecomplete(dom);
  const std::int32_t type = zonetypecode(dom.nln, dom.name);
  if (type == 0) {
    input_error("Unsupported number of nodes per element (" + std::to_string(dom.nln) + ") in " + domainname(dom) +
                " domain.");
  }
  const bool firstzone = dom.zone == 0;
  const std::string_view time = trimview(timetext);
  const bool hastime = !time.empty();  // trimmed: not empty means a character that is not a blank
  if (plot_data.tecplot_bin_mode) {
    // The zone hands one entry per variable of each list to the library. A variable without
    // a data-type call is single precision, as the list's fill says.
    if (dom.vardatatype.size() < dom.nvar) {
      dom.vardatatype.resize(dom.nvar, 1, std::string("Tecplot data type array"));
    }
    if (dom.varshare.size() < dom.nvar || dom.varlocation.size() < dom.nvar || dom.varpassive.size() < dom.nvar) {
      fatalerror("Tecplot data set of " + domainname(dom) + " domain was opened with fewer than its " +
                 std::to_string(dom.nvar) + " variables.");
    }
    for (std::int32_t k = 1; k <= dom.ncc; ++k) {
      const std::int32_t v = dom.ccvars(k);
      if (v >= 1 && v <= dom.varlocation.size()) dom.varlocation(v) = 0;
    }
    dom.ncc = 0;
    // The first zone has no earlier zone to share with; marks made before it are dropped.
    if (firstzone) {
      for (auto& share : dom.varshare) share = 0;
    }
    const std::string title = binarytext(zonetitle);
    std::int32_t zone = 0;
    if (tecZoneCreateFE(dom.tecfilehandle, title.c_str(), type, nodes, elements, dom.vardatatype.data(),
                        dom.varshare.data(), dom.varlocation.data(), dom.varpassive.data(), sharezone, 0, 0,
                        &zone) != 0) {
      binaryfailure("Create new zone in " + domainname(dom) + " domain.");
    }
    dom.zone = zone;
    if (hastime) {
      double t = 0.0;
      int status = 0;
      str2r8(time, t, &status);
      if (status != 0) {
        binaryfailure("Solution time is not a number: " + std::string(time) + " in " + domainname(dom) +
                          " domain.");
      }
      if (tecZoneSetUnsteadyOptions(dom.tecfilehandle, dom.zone, t, 1) != 0) {
        binaryfailure("Write solution time " + std::string(time) + " in " + domainname(dom) + " domain.");
      }
    }
    for (auto& location : dom.varlocation) location = 1;
    for (auto& share : dom.varshare) share = 0;
  } else {
    // A run that stops within this zone cuts the data set back to here.
    if (std::FILE* f = unitstream(dom.unit)) runrecord(dom).lastzoneoffset = ::ftello(f);
    dom.zone += 1;
    // The marks of this domain's zone, each variable once, in variable-number order.
    plot_data.varloc = numberlist(dom.pendingcc);
    plot_data.dlist = sharelist(dom);
    std::string& line = plot_data.zone_line;
    line = "ZONE T=\"";
    line += trimview(zonetitle);
    line += '"';
    if (hastime) {
      line += ", SOLUTIONTIME=";
      line += trimview(trimleftcopy1(time, " "));
    }
    line += ", DATAPACKING=BLOCK, NODES=";
    line += std::to_string(nodes);
    line += ", ELEMENTS=";
    line += std::to_string(elements);
    line += ", ZONETYPE=";
    line += trimview(dom.zonetype);
    if (len_trim(plot_data.varloc) > 0) {
      line += ", VARLOCATION=([";
      line += trimview(plot_data.varloc);
      line += "]=CELLCENTERED)";
    }
    if (dom.zone > 1 && len_trim(plot_data.dlist) > 0) {
      line += ", VARSHARELIST=(";
      line += trimview(plot_data.dlist);
      line += ")";
    }
    if (sharezone > 0) {
      line += ", CONNECTIVITYSHAREZONE=";
      line += std::to_string(sharezone);
    }
    writeasciiline(dom, trimview(line));
    if (len_trim(dom.dtlist) > 0) writeasciiline(dom, "DT=(" + dom.dtlist + ")");
    plot_data.varloc.clear();
    plot_data.dlist.clear();
  }
  startzonechecks(dom, firstzone, nodes, elements, sharezone);
}

void tecplotoutputtime(DOMAIN& dom, std::int32_t index) {
  const bool zone = dom.zone >= 1;  // else the set-up of a data set without zones
  const TecZoneOrigin origin = plot_data.frommeshes ? TecZoneOrigin::meshes : TecZoneOrigin::results;
  if (zone) {
    runrecord(dom).indices.push_back(index);
    runrecord(dom).origins.push_back(origin);
  }
  if (!plot_data.tecplot_bin_mode) return;
  if (tecZoneSetOutputIndex(dom.tecfilehandle, dom.zone, index) != 0 ||
      (zone && tecZoneSetSources(dom.tecfilehandle, dom.zone, dom.zonesources, origin) != 0)) {
    binaryfailure("Record the output time " + outputtimeindex(index) + " in the temporary files of " +
                      domainname(dom) + " domain.");
  }
}

void tecplotfileflush(DOMAIN& dom) {
  if (!plot_data.tecplot_bin_mode) return;
  const std::int32_t keep[1] = {1};
  if (tecFileWriterFlush(dom.tecfilehandle, 1, keep) != 0) {
    binaryfailure("Tecplot flush file for " + domainname(dom) + " domain.");
  }
}

void tecplotfileclose(DOMAIN& dom) {
  const bool open = plot_data.tecplot_bin_mode ? dom.tecfilehandle != nullptr : unitstream(dom.unit) != nullptr;
  if (!open) return;
  checkzonecomplete(dom);
  const std::string message = "Closing tecplot file: " + std::string(trimview(dom.tecfilename));
  if (!plot_data.tecplot_bin_mode) {
    screenthenecho(message);
    const int status = closeunit(dom.unit);
    freeunit(dom.unit);
    dom.unit = -1;
    checkfilewrite(status, std::string(trimview(dom.tecfilename)) + ".dat");
    return;
  }
  const std::string base(trimview(dom.tecfilename));
  const std::string file = base + ".szplt";
  const bool append = plot_data.tecappend;
  // An append run keeps the temporary files for the next one, but still puts the data set
  // together now, so that a failure is reported while the run can say so.
  if (append) {
    tecplotfileflush(dom);
  } else {
    screenthenecho(message);
  }
  // The close writes the data set itself: a failure there loses it, so it stops the run.
  const std::int32_t status =
      append ? tecFileWriterCloseAs(&dom.tecfilehandle, TecClose::series) : tecFileWriterClose(&dom.tecfilehandle);
  dom.tecfilehandle = nullptr;
  if (status == kTecFewerZones) fewerzonesrefused(dom.tecfilename);
  if (status == kTecPlacedUnreadable) {
    unreadablerefused(dom.tecfilename, tecDataSetOutcome(dom.tecfilename.c_str()).trouble);
  }
  if (status != 0) {
    notebinaryreason(file);
    fatalerror(withsystemreason("Tecplot close file for " + domainname(dom) + " domain: " + file +
                                " could not be written.") +
               (append ? "\nIts temporary files " + temporarynames(base) +
                             " hold every output time written; the next append run puts " + file +
                             " together from them."
                       : ""));
  }
}

}  // namespace kelpra
