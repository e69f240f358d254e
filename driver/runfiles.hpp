// The files a run writes: the names of its data sets are checked before anything is written,
// and the report of a run that stops names every data set, comparison, scatter and special-plot
// file of the run with what it now holds, after settling them: a file of no use unless complete
// is given up and the earlier one kept, a data set keeps the output times this run completed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/outputtimes.hpp"
#include "plot/plotdata.hpp"

namespace kelpra {

// A special plot of the run: its base name and the record that writes it.
struct SpecialPlot {
  std::string base;
  DOMAIN* dom = nullptr;
};

// The files of the run, known once the plot control file is read. The records must stay alive
// until forgetrunfiles.
void planrunfiles(const std::vector<DOMAIN*>& datasets, const std::vector<std::string>& comparisons,
                  const std::vector<SpecialPlot>& specials);
// Clears every name under which the planned run writes a file until it is complete, before it
// writes anything (clearstagingname): nothing that stands there is followed or written through.
void clearstagingnames();
// The data sets are closed: what each holds is taken now, before their records are reused.
void datasetsclosed();
// Settles the files of the run and says what each holds, one line per file; "" before
// planrunfiles. The notes of a stopping report.
std::string settlerunfiles();
void forgetrunfiles();

// Once the data sets to be set up from the meshes alone (the first output time has no result
// file) have their variables registered, before any of them is written: stops the run, writing
// nothing, where a data set it would write (`written`) holds output times (more than one zone, or
// a variable this run does not register), or cannot be read to tell.
void checknoresult(const std::vector<DOMAIN*>& written);

// Once every domain's variables are registered at the first output time and before any data
// set is written: stops the run, writing nothing, where a data set it writes anew (`written`)
// holds a variable that it would lack because that quantity's result file is missing at the
// first output time, or cannot be read to tell. A variable the control file no longer asks for
// is not missing.
void checkkeptvariables(const std::vector<DOMAIN*>& written);

// Once every domain's variables are registered at the first output time and before any data
// set is written: stops the run, writing nothing, where a data set it writes anew (`written`)
// holds more than the run would put in its place: more output times where the conversion ends
// at a gap, or own values in a zone that would repeat zone 1's because a result file of its
// output time is missing; nor a comparison or scatter file that the record of compared output
// times says holds a later output time than the run's last, where the conversion ends at a gap.
// `plan` tells the output times; it is asked, and the earlier data set read (only as far as
// needed), only where an earlier data set, or such a comparison file, exists.
void checkkeptoutputtimes(const std::vector<DOMAIN*>& written, const std::function<OutputTimes()>& plan);

// Every data set is written to a regular file of its own: a name that leads to a pipe, a device
// or a directory, links that form a loop or end in a missing directory, and two data sets that
// lead to one file stop the run before any data set is written. `written`: the domains whose
// data sets the run writes.
void checkdatasetnames(const std::vector<DOMAIN*>& written);

}  // namespace kelpra
