// Append mode: a run continues the binary data sets of an earlier one. The append file
// (prefix followed by "o.tec_append") holds, as its one record, the last output-time
// index written, so that the next run starts right after it.
#pragma once

#include <cstdint>

#include "plot/tecplot.hpp"

namespace kelpra {

// Sets the first index inside the time window (tecappendnfile0) and the start index of
// this run (tecappendnfile), and writes the start messages.
void inittecplotappend();

// The index stored in the append file; 0 when the file cannot be opened. A file that
// opens but holds no valid index stops the run.
std::int32_t readtecplotappend();

// Stores index as the append file's only record. A file that cannot be opened is passed
// over silently; a failing write is reported as a warning and the run goes on.
void writetecplotappend(std::int32_t index);

}  // namespace kelpra
