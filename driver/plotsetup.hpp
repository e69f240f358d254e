// Per-domain plot set-up at the first accepted output time and the zone appended at every
// later one, for domains with nodes of their own (multi-node) and for domains on the
// porous-medium nodes (common-node).
#pragma once

#include <string>

#include "plot/plotdata.hpp"

namespace kelpra {

void init(DOMAIN& dom, DOMAIN& pmcopy);
// Before any data set of a run that continues earlier append runs is opened: stops the run
// when the domain's data set lacks its temporary files, which hold the zones written so far.
void checkcontinueddataset(const DOMAIN& dom);
void append(DOMAIN& dom, DOMAIN& pmcopy);

void initmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy);
void appendmultitecplot(DOMAIN& dom, const DOMAIN& pmcopy);
void initcommontecplot(DOMAIN& dom, const DOMAIN& pmcopy);
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

// The title every data set is opened with: the first title line, or none.
const std::string& firsttitle();

}  // namespace kelpra
