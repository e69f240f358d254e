// Test helper: the header state of a binary data set's temporary files ("<base>.szplt.szhdr"),
// read and written back in the layout the TecIO layer uses, so that tests can stage what a
// killed run, an earlier version or a damaged file leaves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra::testkit {

struct SavedHeader {
  bool indexed = true;  // false: the layout of earlier versions, without output-time indices
  bool sourced = true;  // false: the layout of earlier versions, without each zone's result files
  bool origins = true;  // false: the layout of earlier versions, without where each zone comes from
  std::int64_t datalength = 0;
  std::int32_t setupindex = 0;
  std::int32_t series = 1;  // the fourth layout: 1 of an append series, 0 of a run without append mode
  std::string title;
  std::string variables;  // file type, variable names and auxiliary data, as they stand
  struct Zone {
    std::string title;
    std::string fixed;  // type, counts, time, strand, sharing and padding, as they stand
    std::int32_t outputindex = 0;
    std::uint64_t check = 0;
    std::string sources;  // whether they are recorded, their count and names, as they stand
    std::int32_t origin = 1;  // 0 unknown, 1 result files, 2 the meshes alone
    std::string vars;
  };
  std::vector<Zone> zones;
};

// False for a file of another layout or cut short; the checksum is not checked.
bool readsavedheader(const std::filesystem::path& path, SavedHeader& header);
// Writes the header with a correct checksum.
void writesavedheader(const std::filesystem::path& path, const SavedHeader& header);
// The state a run leaves that set the data set up at output time `setupindex` and was killed
// before its first flush: no zone.
void setupwithoutzones(const std::filesystem::path& path, std::int32_t setupindex);

}  // namespace kelpra::testkit
