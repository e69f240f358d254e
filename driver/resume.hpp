// Where an append series goes on: the output time after which each continued data set ends, as
// its temporary files record it, and the refusals of files this run cannot continue.
#pragma once

#include <string>
#include <vector>

#include "plot/tecplot.hpp"

namespace kelpra {

// Works out where the append series goes on from the temporary files of the data sets this run
// writes (`written`, their meshes truncated), sets tecappendnfile (and the zone-1 index of each
// continued data set) and writes the start messages. Temporary files that cannot be continued
// (damaged, of another data file or mesh, of a changed time conversion, or out of step by output
// times this run cannot write again) stop the run before anything is written. Then data sets
// that end after the others are taken back to the earliest end, with a warning, and an append
// file that disagrees with the temporary files is warned of.
void resumetecplotappend(const std::vector<DOMAIN*>& written);

// Whether this run writes the data set of `base` anew because its zones hold the meshes alone.
bool writtenanew(const std::string& base);

// Before the data set of `base` is set up at the current output time: where the series holds
// only zones of the meshes alone in its temporary files, they are emptied, so that it is
// written anew from this output time whatever its variables.
void emptymeshesonly(const std::string& base);

}  // namespace kelpra
