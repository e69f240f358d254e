// Append mode: a run continues the binary data sets of an earlier one. The append file
// (prefix followed by "o.tec_append") holds, as its one record, the last output-time index
// written; the temporary files of the data sets hold the zones themselves, and where the two
// disagree the run goes by the temporary files.
#pragma once

#include <cstdint>
#include <vector>

#include "plot/tecplot.hpp"

namespace kelpra {

// Sets the first index inside the time window (tecappendnfile0) and reads the stored index;
// the start index is settled by resumetecplotappend once the whole control file is read.
void inittecplotappend();

// Works out where the append series goes on from the temporary files of the data sets this run
// writes (`written`), sets tecappendnfile (and the zone-1 index of each continued data set) and
// writes the start messages. Where the append file names another output time the run warns and
// goes by the temporary files; temporary files that end at different output times, or at a time
// no result file has, stop the run before anything is written.
void resumetecplotappend(const std::vector<DOMAIN*>& written);

// The index stored in the append file; 0 when the file cannot be opened. A file that
// opens but holds no valid index stops the run.
std::int32_t readtecplotappend();

// Stores index as the append file's only record, under a temporary name renamed to the file
// once complete. A failure is warned of once per run and the run goes on.
void writetecplotappend(std::int32_t index);

// Stops the run: the time window took none of the output times found, `first` to `last`.
[[noreturn]] void nooutputtimeinwindow(const std::string& first, const std::string& last);

}  // namespace kelpra
