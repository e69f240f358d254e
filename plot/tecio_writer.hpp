// The writer's runtime state of an open data set: the layout's content of it, the zone being
// written, the data file's stream, and what happened to it since it was opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plot/tecio.hpp"
#include "plot/tecio_files.hpp"
#include "plot/tecio_layout.hpp"

namespace kelpra::tecio {

// Progress of the zone whose data is being written.
struct ZoneWrite {
  std::int32_t zone = 0;
  std::int64_t begin = 0;  // data-file offset where the zone starts
  std::vector<std::int64_t> expected;
  std::vector<std::int64_t> written;
  std::vector<std::int64_t> rangeat;  // data-file offset of each variable's min/max pair, -1 none
  std::vector<double> lo;
  std::vector<double> hi;
  std::size_t next = 0;  // first variable not yet complete
  std::int64_t connexpected = 0;
  std::int64_t connwritten = 0;

  void skipcomplete() {
    while (next < expected.size() && written[next] == expected[next]) ++next;
  }
  bool complete() const { return next == expected.size() && connwritten == connexpected; }
};

struct DataSet : DataSetContent {
  std::string key;  // absolute final name, to refuse a second writer
  std::optional<ZoneWrite> current;
  DataStream data;
  bool broken = false;  // a data write failed; only the state of the last flush is trustworthy
  TecFailure brokenby;  // that write's failure
  std::string savedstate;  // what the saved-state file holds, as last written or read
  bool resumed = false;  // continues the temporary files of an earlier run
  bool flushed = false;  // a flush has committed zones since the open
  std::int32_t setupindex = 0;  // the output-time index at which the data set was set up
  bool series = true;  // its temporary files belong to an append series (kept for the next append run)

  void breakoff() {
    broken = true;
    brokenby = lastfailure();
  }
};

}  // namespace kelpra::tecio
