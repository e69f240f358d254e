// The layout of a version-112 data file as this layer writes it: the header, each zone's
// preamble and runs of values and node lists (large ones padded to aligned offsets in the
// data file, not in the final file), and the zone count of a file already in place.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "plot/tecio.hpp"
#include "plot/tecio_files.hpp"

namespace kelpra::tecio {

constexpr float kZoneMarker = 299.0f;
constexpr float kEndOfHeaderMarker = 357.0f;
constexpr float kDataSetAuxMarker = 799.0f;
constexpr float kVarAuxMarker = 899.0f;
constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
// Large arrays start at a multiple of this in the data file: the kernel copies into the page
// cache markedly slower to unaligned offsets. The padding is left out of the final file.
constexpr std::int64_t kAlign = 64;
constexpr std::int64_t kAlignFrom = 64 << 10;

// The state of a data set that the layout is written from: each zone, the slot of each of its
// variables, the auxiliary items and the data set itself.
struct VarSlot {
  std::int32_t type = kTecFloat;
  bool cellcentred = false;
  bool passive = false;
  std::int32_t share = 0;  // zone that holds the values (1-based), 0 for own values
  std::int32_t pad = 0;    // padding before the values in the data file
};

struct ZoneRecord {
  std::string title;
  std::int32_t type = 0;
  std::int64_t nodes = 0;
  std::int64_t cells = 0;
  double time = 0.0;
  std::int32_t strand = 0;  // 0 static
  std::int32_t connshare = 0;  // zone that holds the node lists, 0 for own
  std::int32_t connpad = 0;    // padding before the node lists in the data file
  std::vector<VarSlot> vars;
  std::int32_t outputindex = 0;  // the output-time index the zone holds, 0 unknown
  std::uint64_t check = 0;       // fingerprint of its bytes in the data file, once `checked`
  bool checked = false;
  bool sourced = false;              // `sources` are recorded
  std::vector<std::string> sources;  // the result files whose values it holds
  TecZoneOrigin origin = TecZoneOrigin::unknown;

  std::int64_t valuecount(std::size_t v) const { return vars[v].cellcentred ? cells : nodes; }
};

struct AuxItem {
  std::int32_t var = 0;  // 0 for data-set items
  std::string name;
  std::string value;
};

// What a data set's layout is written from: its file names, title, variables, auxiliary items and
// zones. The writer's runtime state of an open data set adds to it (tecio_writer.hpp).
struct DataSetContent {
  std::string finalname;
  std::string headername;
  std::string dataname;
  std::string title;
  std::int32_t filetype = kTecFileFull;
  std::int32_t defaulttype = kTecFloat;
  std::vector<std::string> names;
  std::vector<AuxItem> aux;
  std::vector<ZoneRecord> zones;

  std::size_t nvar() const { return names.size(); }
};

std::int32_t nodesperelement(std::int32_t zonetype);
bool validauxname(const char* name);
// The data set's file names from its base name, given with or without ".szplt".
bool namefiles(const char* fileName, DataSetContent& ds);

Bytes buildheader(const DataSetContent& ds);
// The start of a zone's data section; min/max pairs are zero until each variable is complete.
// `rangeat` receives the data-file offset of each variable's pair (-1 where it has none).
Bytes zonepreamble(const ZoneRecord& z, std::vector<std::int64_t>& rangeat, std::int64_t begin);

// The bytes of a complete zone in the data file; without `padding`, those of the final file.
std::int64_t zonelength(const ZoneRecord& z, bool padding);
// The length of the data file that holds the zones.
std::int64_t layoutlength(const std::vector<ZoneRecord>& zones);
// Offsets of the zones' bytes in the data file: zone k runs from starts[k] to starts[k + 1].
std::vector<std::int64_t> zonestarts(const std::vector<ZoneRecord>& zones);
// The length of "<base>.szplt" written from the data set: its header and data without padding.
std::int64_t finallength(const DataSetContent& ds);
// Copies the data section, without its padding, from the data file to `out` at `outpos`.
bool copydata(const std::vector<ZoneRecord>& zones, int in, int out, std::int64_t outpos);
// Pads the data file to the next multiple of kAlign; `pad` records how much.
bool padto(DataStream& data, std::int32_t& pad);

// What a data set file holds: its zones, -1 where there is none. A file that exists but cannot
// be read says why: it must not pass for one of no zones, which anything may replace.
struct Placed {
  std::int64_t zones = -1;
  std::vector<std::string> names;  // its variables, where it could be read
  // Per zone read (placedfile's `sharesupto`), per variable: it holds values of its own rather
  // than sharing another zone's or being passive.
  std::vector<std::vector<char>> ownvalues;
  std::string trouble;
  TecFailure failure;
};

// `sharesupto`: of that many first zones, which variables hold values of their own; their data
// sections are read that far, the header alone otherwise.
Placed placedfile(const std::string& file, std::int64_t sharesupto = 0);

}  // namespace kelpra::tecio
