// Switching intervals [on, off), all times strictly increasing: whether a time falls in an
// on interval, which panel holds it and where that panel starts and ends; read from text,
// listed, saved to and restored from a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelpra {

// Exactly max(count, 0) zeroed times; a failure is the allocation error "Time on/off table
// times array".
void alloctimes(std::vector<double>& times, std::int32_t count);

class TIMEONOFFTABLE {
 public:
  TIMEONOFFTABLE() = default;
  TIMEONOFFTABLE(const TIMEONOFFTABLE&) = default;
  TIMEONOFFTABLE(TIMEONOFFTABLE&&) = default;
  TIMEONOFFTABLE& operator=(const TIMEONOFFTABLE&) = default;
  TIMEONOFFTABLE& operator=(TIMEONOFFTABLE&&) = default;
  virtual ~TIMEONOFFTABLE() = default;

  std::int32_t n = 0;         // stored times, two per interval
  std::int32_t ilast = 1;     // panel found last by cachetimepanel
  std::vector<double> times;  // on1, off1, on2, ... at times[0], ...; the size is the capacity

  // No intervals; room for npairs of them (none when absent or negative).
  void init(std::optional<std::int32_t> npairs = std::nullopt);
  void clear();
  // Appends [on, off); off must follow on, and on the previous off time. Full storage doubles.
  void push(double on, double off);
  bool empty() const { return n == 0; }
  std::int32_t tsize() const { return n / 2; }
  std::int32_t capacity() const { return static_cast<std::int32_t>(times.size()); }
  // The first and last stored time, and the times of interval k (1 <= k <= tsize()); an
  // empty table or another k stops the run.
  double tfirst() const;
  double tlast() const;
  double ton(std::int32_t k) const;
  double toff(std::int32_t k) const;

  // The panel of t by query (through dispatch), kept as ilast when not 0.
  std::int32_t cachetimepanel(double t);
  // The i with times(i) <= t < times(i+1): odd inside an on interval, even in a gap; 0
  // outside the table or when it is empty.
  virtual std::int32_t query(double t) const;
  virtual bool queryon(double t) const;
  bool queryoff(double t) const;
  // The bounds of the panel holding t; before the first time the panel starts at the most
  // negative finite real, from the last time on it ends at the largest. An empty table
  // stops the run.
  void querytimepanel(double t, double& tstart, double& tend) const;

  // One line per interval, on then off (see PairListing in tables/timetablecommon.hpp).
  void writetable(std::optional<int> unit = std::nullopt, std::optional<std::string_view> layout = std::nullopt,
                  int* iostat = nullptr) const;
  void serialize(int unit) const;
  void deserialize(int unit);

 private:
  double stored(std::int32_t i, std::string_view operation) const;
  std::int32_t held() const;
};

// Fills the table from text lines on a formatted unit: on and off times in free format,
// blank lines skipped, up to a line beginning with "end" in any case.
void readtimeonofftable(int unit, TIMEONOFFTABLE& table);

}  // namespace kelpra
