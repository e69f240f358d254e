// Append mode: a run continues the binary data sets of an earlier one. The temporary files of
// each data set hold its zones and record the output-time index of each; the append file
// (prefix followed by "o.tec_append") names the last index written, a hint that the run warns
// of where it disagrees with them.
#pragma once

#include <cstdint>
#include <vector>

#include "plot/tecplot.hpp"

namespace kelpra {

// Sets the first index inside the time window (tecappendnfile0) and reads the stored index;
// the start index is settled by resumetecplotappend once the whole control file is read.
void inittecplotappend();

// Works out where the append series goes on from the temporary files of the data sets this run
// writes (`written`, their meshes truncated), sets tecappendnfile (and the zone-1 index of each
// continued data set) and writes the start messages. Temporary files that cannot be continued
// (damaged, of another data file or mesh, of a changed time conversion, or out of step by output
// times this run cannot write again) stop the run before anything is written. Then data sets
// that end after the others are taken back to the earliest end, with a warning, and an append
// file that disagrees with the temporary files is warned of.
void resumetecplotappend(const std::vector<DOMAIN*>& written);

// Before an append series is set up from the meshes alone (its first output time has no result
// file): stops the run where a data set holds output times, since a zone of the meshes alone
// holds none.
void checkmeshonlyseries(const std::vector<DOMAIN*>& written);

// The index stored in the append file; 0 when the file is missing or holds no valid index.
std::int32_t readtecplotappend();

// Stores index as the append file's only record, under a temporary name renamed to the file
// once complete. A failure is warned of once per run and the run goes on.
void writetecplotappend(std::int32_t index);

// Stops the run: the time window took none of the output times found, `first` to `last`.
[[noreturn]] void nooutputtimeinwindow(const std::string& first, const std::string& last);

}  // namespace kelpra
