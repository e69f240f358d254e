// Binary Tecplot data sets: our own implementation of the eleven TecIO writer calls that the
// plot writer uses. Each data set is written as a Tecplot binary data file of version 112
// under "<base>.szplt".
//
// While a data set is open its header state lives in "<base>.szplt.szhdr" and its zone data in
// "<base>.szplt.szdat"; the normal close joins them into "<base>.szplt" and removes both. A
// flush leaves everything needed to go on in those two files, so a later run that opens the
// same base name with the same variable list continues the data set (an append series is
// closed flush-only, its temporary files kept: TecClose); an open with other variables is
// refused rather than throwing those zones away. "<base>.szplt" is replaced only once its
// successor is complete.
//
// Every call returns 0 on success and one of the codes below otherwise; none throws or stops
// the program, so the caller decides how to report. Texts are zero-terminated.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra {

// Results of the calls.
inline constexpr std::int32_t kTecOk = 0;
inline constexpr std::int32_t kTecBadHandle = 1;     // null or unknown data-set handle
inline constexpr std::int32_t kTecBadArgument = 2;   // unknown zone or variable, bad code, count or pointer
inline constexpr std::int32_t kTecBadSequence = 3;   // call out of order, too many or too few values
inline constexpr std::int32_t kTecIoError = 4;       // a file could not be created, written or read
inline constexpr std::int32_t kTecBadTemporary = 5;  // the temporary files of an earlier run are damaged
inline constexpr std::int32_t kTecOtherTemporary = 6;  // they hold a data set of other variables or file type
inline constexpr std::int32_t kTecOtherData = 7;  // their data file is not the one written with their header
inline constexpr std::int32_t kTecFewerZones = 8;  // "<base>.szplt" holds more zones than the data set would leave
inline constexpr std::int32_t kTecPlacedUnreadable = 9;  // "<base>.szplt" exists but cannot be read: kept

// File format and type of tecFileWriterOpen.
inline constexpr std::int32_t kTecFormatSzplt = 1;
inline constexpr std::int32_t kTecFileFull = 0;

// Value types (varTypes, defaultVarType; 0 as default type means single precision).
inline constexpr std::int32_t kTecFloat = 1;
inline constexpr std::int32_t kTecDouble = 2;
inline constexpr std::int32_t kTecInt32 = 3;

// Value locations (valueLocations).
inline constexpr std::int32_t kTecCellCentred = 0;
inline constexpr std::int32_t kTecNodal = 1;

// Zone types of tecZoneCreateFE.
inline constexpr std::int32_t kTecFeLineSeg = 1;
inline constexpr std::int32_t kTecFeTriangle = 2;
inline constexpr std::int32_t kTecFeQuadrilateral = 3;
inline constexpr std::int32_t kTecFeTetrahedron = 4;
inline constexpr std::int32_t kTecFeBrick = 5;

// Opens a data set, or resumes the one whose temporary files an earlier run left with the same
// variable list (names joined by commas). A different variable list starts afresh.
std::int32_t tecFileWriterOpen(const char* fileName, const char* dataSetTitle, const char* variableList,
                               std::int32_t fileFormat, std::int32_t fileType, std::int32_t defaultVarType,
                               void* gridFileHandle, void** fileHandle) noexcept;

// Data-set and variable auxiliary data; a name given again replaces the earlier value.
std::int32_t tecDataSetAddAuxData(void* fileHandle, const char* name, const char* value) noexcept;
std::int32_t tecVarAddAuxData(void* fileHandle, std::int32_t var, const char* name, const char* value) noexcept;

// Starts a finite-element zone; arrays hold one entry per variable or are null for the
// defaults (default type, nodal, own values, not passive). shareVarFromZone k > 0 and
// shareConnectivityFromZone k > 0 take the values or node lists of zone k.
std::int32_t tecZoneCreateFE(void* fileHandle, const char* zoneTitle, std::int32_t zoneType, std::int64_t numNodes,
                             std::int64_t numCells, const std::int32_t* varTypes,
                             const std::int32_t* shareVarFromZone, const std::int32_t* valueLocations,
                             const std::int32_t* passiveVarList, std::int32_t shareConnectivityFromZone,
                             std::int64_t numFaceConnections, std::int32_t faceNeighborMode,
                             std::int32_t* zone) noexcept;

// Solution time and strand (0 static) of a zone.
std::int32_t tecZoneSetUnsteadyOptions(void* fileHandle, std::int32_t zone, double solutionTime,
                                       std::int32_t strand) noexcept;

// Values of the zone being written, variable by variable in increasing number; one variable
// may come in several calls.
std::int32_t tecZoneVarWriteFloatValues(void* fileHandle, std::int32_t zone, std::int32_t var,
                                        std::int32_t partition, std::int64_t count, const float* values) noexcept;
std::int32_t tecZoneVarWriteDoubleValues(void* fileHandle, std::int32_t zone, std::int32_t var,
                                         std::int32_t partition, std::int64_t count, const double* values) noexcept;
std::int32_t tecZoneVarWriteInt32Values(void* fileHandle, std::int32_t zone, std::int32_t var,
                                        std::int32_t partition, std::int64_t count,
                                        const std::int32_t* values) noexcept;

// Node lists of the zone's elements, after all its values; may come in several calls.
std::int32_t tecZoneNodeMapWrite32(void* fileHandle, std::int32_t zone, std::int32_t partition,
                                   std::int32_t nodesAreOneBased, std::int64_t count,
                                   const std::int32_t* nodes) noexcept;

// Puts every complete zone on disk so that a later run can resume. The zones to retain are
// checked but need nothing more: shared values are referred to, never copied.
std::int32_t tecFileWriterFlush(void* fileHandle, std::int32_t numZonesToRetain,
                                const std::int32_t* zonesToRetain) noexcept;

// Closes the data set the normal way (TecClose::normal) and sets the handle to null. A zone left
// incomplete is dropped (and reported by the result); after a write failure the temporary
// files are kept as of the last flush.
std::int32_t tecFileWriterClose(void** fileHandle) noexcept;

// ---- Beyond the TecIO calls: the temporary files of a data set continued in append mode ----

// The ways a data set is closed, and what each leaves on disk. Each records its outcome
// (tecDataSetOutcome).
enum class TecClose {
  // tecFileWriterClose's, at the end of a run without append mode: "<base>.szplt" holds the
  // complete zones (an unfinished last one is left out) and the temporary files are removed. A
  // data set whose only zone is unfinished is given up: an earlier "<base>.szplt" stays, and
  // none is made where there was none.
  normal,
  // The close of an append series, at its end and at a stop: the temporary files stay as of the
  // last flush, for a later run to go on from. "<base>.szplt" is written from the complete
  // zones, but left alone where it already holds them, where this run committed nothing to the
  // data set it continued, and where no zone is complete; nor does it give way to one of fewer
  // zones (kTecFewerZones), so an earlier data set of more output times is kept, or to anything
  // where it cannot be read (kTecPlacedUnreadable).
  series,
  // The stop of a run without append mode: as a series' close, its temporary files recording a
  // run without append mode (for the next run to delete); a data set that gave way to none of
  // the earlier "<base>.szplt" is given up, its temporary files removed, since they hold nothing
  // a later run goes on from.
  stopped,
  // The give-up of a run that stopped: as the normal close, except that a data set without a
  // complete zone is given up (its temporary files removed) even where no zone was begun, so an
  // earlier "<base>.szplt" stays and a data set of no zone never takes its place.
  giveup,
};

// Closes the data set the given way; tecFileWriterClose is the normal way.
std::int32_t tecFileWriterCloseAs(void** fileHandle, TecClose way) noexcept;

// Records the output-time index that zone `zone` holds, in the temporary files only (it goes to
// disk with the next flush). Zone 0 records the index at which the data set was set up; while
// the data set holds no zone that goes to disk at once.
std::int32_t tecZoneSetOutputIndex(void* fileHandle, std::int32_t zone, std::int32_t index) noexcept;

// Where a zone's values come from, as its temporary files record it. Earlier versions did not
// record it: their zones are `unknown`.
enum class TecZoneOrigin : std::int8_t {
  unknown = 0,
  results = 1,  // set up or appended at an output time that had result files
  meshes = 2,   // set up from the meshes alone: its output time had no result file
};

// Records whether the data set's temporary files belong to an append series (the default), kept
// for the next append run, or to a run without append mode; it goes to disk with the next save.
std::int32_t tecDataSetSetSeries(void* fileHandle, bool series) noexcept;

// Records the result files whose values zone `zone` holds and where its values come from, in
// the temporary files only: a later run that drops the zone to write it again must find each
// of those files, and a zone of the meshes alone holds no output time.
std::int32_t tecZoneSetSources(void* fileHandle, std::int32_t zone, const std::vector<std::string>& files,
                               TecZoneOrigin origin) noexcept;

// What the temporary files of the data set named like tecFileWriterOpen hold.
struct TecTemporaries {
  bool header = false;  // "<base>.szplt.szhdr" exists
  bool data = false;    // "<base>.szplt.szdat" exists
  std::int32_t zones = 0;
  double lasttime = 0.0;  // solution time of the last zone, when there are zones
  bool lasttimed = false; // the last zone has a solution time (one set up from a mesh alone has none)
  bool indexed = false;   // the output-time indices are recorded (earlier versions did not)
  std::int32_t setupindex = 0;        // the index at which the data set was set up, 0 unknown
  std::int32_t series = -1;  // 1 they belong to an append series, 0 to a run without append mode, -1 not recorded
  std::vector<std::int32_t> indices;  // per zone, the output-time index it holds, 0 unknown
  std::int32_t zonetype = 0;          // zone 1's type, node count and element count
  std::int64_t nodes = 0;
  std::int64_t cells = 0;
  // Per zone, the result files it holds the values of, where they were recorded (earlier
  // versions did not record them).
  std::vector<char> sourced;
  std::vector<std::vector<std::string>> sources;
  std::vector<TecZoneOrigin> origins;  // per zone
  std::vector<std::string> names;      // the variables of the data set they hold
  std::int64_t placed = -1;  // zones "<base>.szplt" holds; -1 where there is none or it cannot be read
  std::string placedtrouble;  // why "<base>.szplt" cannot be read, where it exists ("" otherwise)
  std::vector<std::string> placednames;  // the variables "<base>.szplt" holds, where it could be read
  bool placedsame = false;    // "<base>.szplt" holds just what the temporary files hold
};
// kTecBadTemporary where the header file is damaged or the data file shorter than it says,
// kTecOtherData where the data file is not the one the header was written with (checked by a
// fingerprint of each zone's first and last few kilobytes). Either file must be a regular file;
// a header of no zones needs no data file. The header refuses texts with control characters.
std::int32_t tecTemporariesRead(const char* fileName, TecTemporaries* temporaries) noexcept;

// The variables "<base>.szplt" holds, read from the file alone (`exists` false where there is
// none): kTecPlacedUnreadable where it is no data set of the layout this program writes,
// kTecIoError where a read of it failed (tecLastFailure says why).
std::int32_t tecDataSetVariables(const char* fileName, bool* exists, std::vector<std::string>* names) noexcept;
// The same, with the number of zones "<base>.szplt" holds and, for each of its first `upto` zones,
// per variable whether it holds values of its own (1) rather than another zone's (0). The data
// sections are read only that far.
std::int32_t tecDataSetZones(const char* fileName, std::int64_t upto, bool* exists, std::vector<std::string>* names,
                             std::int64_t* zones, std::vector<std::vector<char>>* ownvalues) noexcept;

// The temporary files of the data set named like tecFileWriterOpen (its base name, with or
// without ".szplt"): its saved header state "<base>.szplt.szhdr" and its zone data
// "<base>.szplt.szdat". Every name of them is built here.
std::array<std::string, 2> temporaryfilenames(std::string_view fileName);

// The names of a variable list as the open takes them: joined by commas, a name that holds a
// comma itself between double quotes; false where the list is malformed or a name is empty.
bool splitnames(std::string_view list, std::vector<std::string>& names);

// Writes "<base>.szplt" from the temporary files where it does not already hold what they hold;
// `written` tells whether it was written. kTecFewerZones where "<base>.szplt" holds more zones.
std::int32_t tecTemporariesPutInPlace(const char* fileName, std::int32_t* written) noexcept;

// Drops the zones whose output-time index lies after `lastindex` (`every` zone, where the data
// set is written anew) from the temporary files: the header is rewritten, then the data file
// cut. Without zones left, the data set counts as set up at `lastindex` + 1.
std::int32_t tecTemporariesTakeBack(const char* fileName, std::int32_t lastindex, bool every = false) noexcept;

// The system error (errno) of the last failing file operation and the file concerned.
struct TecFailure {
  int error = 0;
  std::string file;
};
TecFailure tecLastFailure() noexcept;

// What the last close or put-in-place of a data set in this process did to "<base>.szplt".
enum class TecPlacement : std::int32_t {
  none,          // neither was tried
  written,       // written from every zone
  writtencut,    // written from the complete zones; an unfinished last zone is left out
  unchanged,     // it already held what the data set holds
  notattempted,  // this run had nothing to put in it (no complete zone, or none committed)
  failed,        // it could not be written: as it was before
  morezones,     // kept: it holds more zones than the data set would leave
  unreadable,    // kept: it cannot be read, so what it alone holds is not known
};
struct TecOutcome {
  TecPlacement placement = TecPlacement::none;
  std::vector<std::int32_t> indices;  // written or unchanged: each zone's output-time index (0 unknown);
                                      // more zones, unreadable: those this run would have left in it
  std::vector<TecZoneOrigin> origins;  // where the values of each of those zones come from
  std::int64_t placed = -1;           // kept: the zones it holds (-1 none or unknown)
  TecFailure failure;                 // failed: why
  std::string trouble;                // unreadable: why
};
// The outcome recorded for the data set named like tecFileWriterOpen.
TecOutcome tecDataSetOutcome(const char* fileName) noexcept;
// The files this process has written ("<base>.szplt"), in name order: every data set whose
// close or put-in-place replaced or made its file.
std::vector<std::string> tecDataSetsWritten() noexcept;

}  // namespace kelpra
