// Append mode: a run continues the binary data sets of an earlier one. The temporary files of
// each data set hold its zones and record the output-time index of each; the append file
// (prefix followed by "o.tec_append") names the last index written, a hint that the run warns
// of where it disagrees with them. Where the series goes on is settled in driver/resume.hpp.
#pragma once

#include <cstdint>

namespace kelpra {

// Sets the first index inside the time window (tecappendnfile0) and reads the stored index;
// the start index is settled by resumetecplotappend once the whole control file is read.
void inittecplotappend();

// The index stored in the append file; 0 when the file is missing or holds no valid index.
std::int32_t readtecplotappend();

// Stores index as the append file's only record, under a temporary name renamed to the file
// once complete. A failure is warned of once per run and the run goes on.
void writetecplotappend(std::int32_t index);

}  // namespace kelpra
