// A time series of (time, value) pairs with strictly increasing times, looked up by step or
// linear interpolation, read from text, listed, and saved to and restored from a file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kelpra {

struct TVPAIR {
  double time = 0.0;
  double value = 0.0;
};

// Exactly max(count, 0) zeroed pairs; a failure is the allocation error "Time value table
// array".
void alloctvpairs(std::vector<TVPAIR>& tv, std::int32_t count);

class TimeValueTable {
 public:
  TimeValueTable() = default;
  TimeValueTable(const TimeValueTable&) = default;
  TimeValueTable(TimeValueTable&&) = default;
  TimeValueTable& operator=(const TimeValueTable&) = default;
  TimeValueTable& operator=(TimeValueTable&&) = default;
  virtual ~TimeValueTable() = default;

  std::int32_t n = 0;      // pairs held
  std::int32_t ilast = 1;  // panel found last by cachetimepanel
  bool interpolate = false;
  bool hasnodata = false;
  double nodata = -9999.0;
  std::vector<TVPAIR> tv;  // pair i at tv[i - 1]; the size is the capacity

  // Empties the table, then room for max(capacity, 0) pairs; a marker sets the no-data value.
  void init1(std::int32_t capacity, std::optional<double> marker = std::nullopt);
  // The table holding the first count times and values (count must not exceed either).
  void init2(std::int32_t count, std::span<const double> times, std::span<const double> values,
             std::optional<double> marker = std::nullopt);
  // Back to the defaults, storage released.
  void destroy();
  void setinterpolate(bool flag) { interpolate = flag; }
  // No pairs, storage and settings kept.
  void clear();
  bool empty() const { return n == 0; }
  bool isnodata(double v) const { return hasnodata && v == nodata; }
  std::int32_t tsize() const { return n; }
  std::int32_t capacity() const { return static_cast<std::int32_t>(tv.size()); }
  // Time and value of pair i, 1 <= i <= n; any other i stops the run.
  double gettime(std::int32_t i) const;
  double value(std::int32_t i) const;
  // Appends a pair whose time follows the last one; the storage grows by half when full.
  void push(double time, double value);

  // The panel of t by queryindex (through dispatch), kept as ilast when not 0.
  std::int32_t cachetimepanel(double t);
  // The i with time(i) <= t < time(i+1), testing the cached panel first; 0 outside the
  // table or when it is empty.
  virtual std::int32_t queryindex(double t) const;
  // The value at t: the first value before the first time, the last from the last time on,
  // in between the step or linear value by mode (default: the table's flag). An empty
  // table stops the run.
  double queryvalue(double t, std::optional<bool> mode = std::nullopt) const;

  // One line per pair, time then value (see PairListing in tables/timetablecommon.hpp).
  void writetable(std::optional<int> unit = std::nullopt, std::optional<std::string_view> layout = std::nullopt,
                  int* iostat = nullptr) const;
  void serialize(int unit) const;
  void deserialize(int unit);

 private:
  const TVPAIR& stored(std::int32_t i, std::string_view operation) const;
  std::int32_t held() const;
};

// Fills the table from text lines on a formatted unit: pairs of free-format numbers, blank
// lines skipped, up to a line beginning with "end" in any case.
void readtimevaluetable(int unit, TimeValueTable& table);

}  // namespace kelpra
