// Per-domain plot set-up at the first accepted output time and the zone appended at every
// later one, for domains with nodes of their own (multi-node) and for domains on the
// porous-medium nodes (common-node).
#pragma once

#include <string>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// The mesh truncation of a domain that init sets up, done for all of them before the first
// output time: a continued data set is checked against the truncated mesh before any data set
// changes. init writes its messages.
void truncatemesh(DOMAIN& dom, DOMAIN& pmcopy);
// The set-up at the first accepted output time, in two steps: initvariables registers the
// variables and reads the output time's result files, writing no file; initzone then writes
// the data set's zone 1. A run takes the first step for every domain before the second, so
// that what the data sets would lack is known before any of them changes. init takes both.
void init(DOMAIN& dom, DOMAIN& pmcopy);
void initvariables(DOMAIN& dom, DOMAIN& pmcopy);
void initzone(DOMAIN& dom, const DOMAIN& pmcopy);
// Before any data set of a run that continues earlier append runs is opened: warns of a data
// set new to the series; `nothingnew` where the run has no new output time to start it with.
void checkcontinueddataset(const DOMAIN& dom, bool nothingnew = false);
void append(DOMAIN& dom, DOMAIN& pmcopy);

// Reads the current output time's result files into the domain as its set-up does, writing no
// data set: the comparisons of an append run that converted no output time compare them.
void readforcomparisons(DOMAIN& dom, DOMAIN& pmcopy);

// The variables and first reads of a domain's set-up (initvariables' part); nothing is written.
// `comparing`: read for the comparisons alone.
void initmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy, bool comparing = false);
void appendmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy);
void initcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy, bool comparing = false);
void appendcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy);

// Whether the binary data sets are flushed at the current output-time index ("tecplot binary
// flush interval").
bool flushdue();
// Flushes the domain's binary data set when the interval says so. Called for every domain once
// all of them hold the index's zone: a run stopped in the middle of an index then leaves no
// data set a zone ahead of the others and of the append file.
void flushrule(DOMAIN& dom);

// The data set's base name: prefix, "o.", domain name.
std::string plotbasename(const DOMAIN& dom);
// The file of the domain's data set: its base name and ".dat", or ".szplt" in binary mode.
std::string datasetfilename(const DOMAIN& dom);

// Whether every variable named is one the meshes give (coordinates, element zones, node, layer
// and column numbers, thicknesses, apertures): a data set set up from the meshes alone holds
// no other.
bool meshvariablesonly(const std::vector<std::string>& names);

// The title every data set is opened with: the first title line, or none.
const std::string& firsttitle();

}  // namespace kelpra
