// The saved state of a data set between runs ("<base>.szplt.szhdr"): its format in each of its
// versions, the fingerprints that tie it to its data file, and the calls that read temporary
// files, take a series back or put it in place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plot/tecio.hpp"
#include "plot/tecio_writer.hpp"

namespace kelpra::tecio {

// A data set's header state as its ".szhdr" file holds it.
struct SavedState {
  bool indexed = false;  // version 2: output-time indices and fingerprints recorded
  std::int64_t datalength = 0;
  std::int32_t setupindex = 0;
  std::int32_t series = -1;  // 1 of an append series, 0 of a run without append mode, -1 not recorded
  std::string title;
  std::int32_t filetype = 0;
  std::vector<std::string> names;
  std::vector<AuxItem> aux;
  std::vector<ZoneRecord> zones;
};

// A state the file already holds is not written again (a close right after a flush). Every
// zone's bytes are in the data file by now, so each zone gets its fingerprint.
bool savestate(DataSet& ds, std::int64_t datalength);

// Texts of a data set hold no control character: a zero byte would end them in the data file.
// Earlier versions stored the others as they came, and those are read as blanks.
bool plaintext(std::string& text, bool strict);

// Checks every fact the writer later relies on, so a damaged file cannot lead it astray.
bool parsestate(std::string_view content, SavedState& st);

// Writes "<base>.szplt" from the header state and the data file; `unchanged` leaves a file
// that already holds it alone and says so.
bool putinplace(const DataSet& ds, bool* unchanged);

// The calls on the temporary files a data set left, named by its base name.
std::int32_t readtemporaries(const char* fileName, TecTemporaries* out);
std::int32_t assemble(const char* fileName, std::int32_t* written);
std::int32_t takeback(const char* fileName, std::int32_t lastindex, bool every);

}  // namespace kelpra::tecio
