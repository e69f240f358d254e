// The append file of an append series: it names the last output-time index written. It is read
// once at start-up as a hint, warned of where the temporary files of the data sets disagree
// with it, and rewritten whenever the data sets hold a further output time on disk.
#include "driver/appendmode.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "driver/appendhint.hpp"
#include "plot/plotdata.hpp"
#include "plot/resultaccess.hpp"
#include "plot/tecplot.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/recordio.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

AppendHint hint;
// A failed write of the append file was warned of in this run.
bool warned = false;

AppendHint readhint() {
  AppendHint h;
  const std::string name = tecappendfilename();
  h.exists = nameexists(name);
  if (!h.exists) return h;
  h.trouble = whyunreadable(name);
  if (!h.trouble.empty()) return h;
  // One record of one 4-byte index: 12 bytes with the framing. Nothing more is read.
  unsigned char bytes[12] = {};
  std::int64_t size = 0;
  const int fd = openregular(name, O_RDONLY, size);
  if (fd < 0) {
    h.trouble = std::string("it cannot be read (") + std::strerror(errno) + ")";
  } else if (size == 0) {
    h.trouble = "it is empty";
  } else if (size == sizeof bytes && ::pread(fd, bytes, sizeof bytes, 0) < 0) {
    h.trouble = std::string("it cannot be read (") + std::strerror(errno) + ")";
  } else if (size != sizeof bytes || loadle32(bytes) != 4 || loadle32(bytes + 8) != 4) {
    h.trouble = "it holds " + std::to_string(size) + " bytes that are not one record of an output-time index";
  } else {
    h.index = loadle32(bytes + 4);
    // The next run starts at the stored index plus 1, which must stay a valid index.
    if (h.index < 0 || h.index == std::numeric_limits<std::int32_t>::max()) {
      h.trouble = "it holds " + std::to_string(h.index) + ", which is no output-time index";
      h.index = 0;
    }
  }
  if (fd >= 0) ::close(fd);
  return h;
}

}  // namespace

std::string whyunreadable(const std::string& name) {
  std::string why = notaregularfile(name);
  if (why.empty() && nameexists(name) && !fileexists(name)) {
    why = "it is a link to " + linktarget(name) + ", which does not exist";
  }
  return why;
}

const AppendHint& appendhint() { return hint; }

void warnappendhint(bool anycontinued, std::int32_t end) {
  const std::string name = tecappendfilename();
  if (!anycontinued) {
    if (!hint.trouble.empty()) {
      warningmsg("The append file " + name + " cannot be read: " + hint.trouble +
                 ".\nNo data set has temporary files to continue: the data sets are written anew from the first "
                 "output time.");
    } else if (hint.index > 0) {
      warningmsg("The append file " + name + " names output time " + outputtimeindex(hint.index) +
                 " as the last one written, but no data set has temporary files to continue.\nIt is left from an "
                 "earlier append series: the data sets are written anew from the first output time.");
    }
    return;
  }
  std::string held;
  if (!hint.trouble.empty()) {
    held = "The append file " + name + " cannot be read: " + hint.trouble + ".\nThe temporary files";
  } else if (!hint.exists && end > 0) {
    held = "The append file " + name + " does not exist, but the temporary files";
  } else if (hint.exists && hint.index != end) {
    held = "The append file " + name + " names output time " + outputtimeindex(hint.index) +
           " as the last one written, but the temporary files";
  } else {
    return;
  }
  warningmsg(held + " of the data sets " +
             (end > 0 ? "end at output time " + outputtimeindex(end) : std::string("hold no output time")) +
             ".\nThe run goes by the temporary files: " +
             (end > 0 ? "it continues after output time " + outputtimeindex(end) + "."
                      : std::string("it writes the data sets from the first output time.")));
}

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
  hint = readhint();
  pd.tecappendnfile = hint.index + 1;
  warned = false;
}

std::int32_t readtecplotappend() {
  const AppendHint h = readhint();
  return h.trouble.empty() ? h.index : 0;
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

}  // namespace kelpra
