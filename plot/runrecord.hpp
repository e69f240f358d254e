// What this run wrote to each data set, for the report of a run that stops. The data-set
// writer (plot/tecplot_file.cpp) keeps it; only the report of the run's files
// (driver/runfiles.cpp) reads it, so it stays out of the domain record.
#pragma once

#include <cstdint>
#include <vector>

#include "plot/tecio.hpp"

namespace kelpra {

struct DOMAIN;

struct RunRecord {
  // The output-time index of each zone this run began, in order (the last may be unfinished).
  std::vector<std::int32_t> indices;
  // Where the values of each of those zones come from (the meshes alone, or result files).
  std::vector<TecZoneOrigin> origins;
  // In an ASCII data set, where the last zone begins in the file (-1: none begun).
  std::int64_t lastzoneoffset = -1;
};

// The record of the data set that the domain record `dom` writes. A domain record writes one
// data set at a time, and tecplotinit starts its record anew for the next.
RunRecord& runrecord(const DOMAIN& dom);
// Starts the record of `dom` anew: it sets up another data set.
void clearrunrecord(const DOMAIN& dom);
// Drops every record: a run begins or ends, and its domain records with it.
void forgetrunrecords();

}  // namespace kelpra
