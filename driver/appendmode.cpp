#include "driver/appendmode.hpp"

#include <cstdio>
#include <limits>

#include "plot/messages.hpp"
#include "plot/modelfiles.hpp"
#include "plot/normalexit.hpp"
#include "plot/plotdata.hpp"
#include "plot/resultaccess.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/recordio.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {

void inittecplotappend() {
  PlotData& pd = plot_data;
  pd.tecappendnfile0 = 1;
  if (pd.truncate_time_domain) {
    // The first index whose time lies inside the window, or the first without a file.
    for (std::int32_t i = 1;; ++i) {
      // Every index the width can name lies before the window: nothing is left to append.
      if (!outputtimeindexfits(i)) {
        warnindexbeyondwidth(i);
        normalexitstop();
      }
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

  pd.tecappendnfile = readtecplotappend() + 1;
  // The earlier runs reached the last index the width can name.
  if (!outputtimeindexfits(pd.tecappendnfile)) {
    warnindexbeyondwidth(pd.tecappendnfile);
    normalexitstop();
  }

  const std::string lines[] = {"", "Appending to Tecplot output",
                               "Starting at time index " + outputtimeindex(pd.tecappendnfile), ""};
  for (const std::string& line : lines) echoline(line);
  for (const std::string& line : lines) screenline(line);
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
  if (openunit(unit.unit(), name, FileForm::unformatted, OpenStatus::replace) != 0) return;
  unsigned char bytes[4];
  storele32(index, bytes);
  int status = writerecord(unit.unit(), bytes, sizeof bytes);
  if (status == 0 && std::fflush(unitstream(unit.unit())) != 0) status = kStatusWriteFailed;
  if (status != 0) {
    // The data sets themselves are fine; only the next run's start index is at stake.
    warningmsgstat(status, "Failed to write the last output-time index to the append file: " + name);
  }
}

}  // namespace kelpra
