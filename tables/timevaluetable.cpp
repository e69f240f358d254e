#include "tables/timevaluetable.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "arrays/dynarray.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "tables/savedform.hpp"
#include "tables/timetablecommon.hpp"

namespace kelpra {
namespace {

constexpr std::string_view kNotIncreasing = "Times must be strictly increasing";

// NaN never follows anything: a table holding one could not be searched.
bool follows(double time, double previous) { return time > previous; }

void checkincreasing(const std::vector<TVPAIR>& pairs, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::isnan(pairs[i].time) || (i > 0 && !follows(pairs[i].time, pairs[i - 1].time))) {
      input_error(kNotIncreasing);
    }
  }
}

}  // namespace

void alloctvpairs(std::vector<TVPAIR>& tv, std::int32_t count) {
  allocatearray(tv, std::max(count, 0), "Time value table array");
}

void TimeValueTable::init1(std::int32_t capacity, std::optional<double> marker) {
  destroy();
  alloctvpairs(tv, capacity);
  if (marker) {
    hasnodata = true;
    nodata = *marker;
  }
}

void TimeValueTable::init2(std::int32_t count, std::span<const double> times, std::span<const double> values,
                           std::optional<double> marker) {
  destroy();
  const auto pairs = static_cast<std::size_t>(std::max(count, 0));
  if (pairs > times.size() || pairs > values.size()) {
    fatalerror("TimeValueTable::init2: " + std::to_string(count) + " pairs asked for, " +
               std::to_string(times.size()) + " times and " + std::to_string(values.size()) + " values given");
  }
  alloctvpairs(tv, count);
  for (std::size_t i = 0; i < pairs; ++i) tv[i] = {times[i], values[i]};
  checkincreasing(tv, pairs);
  n = static_cast<std::int32_t>(pairs);
  if (marker) {
    hasnodata = true;
    nodata = *marker;
  }
}

void TimeValueTable::destroy() {
  n = 0;
  ilast = 1;
  interpolate = false;
  hasnodata = false;
  nodata = -9999.0;
  std::vector<TVPAIR>().swap(tv);
}

void TimeValueTable::clear() {
  n = 0;
  ilast = 1;
}

std::int32_t TimeValueTable::held() const { return std::clamp(n, 0, capacity()); }

const TVPAIR& TimeValueTable::stored(std::int32_t i, std::string_view operation) const {
  if (i < 1 || i > held()) {
    fatalerror("TimeValueTable::" + std::string(operation) + ": pair " + std::to_string(i) + " asked of a table of " +
               std::to_string(n) + " pairs");
  }
  return tv[static_cast<std::size_t>(i - 1)];
}

double TimeValueTable::gettime(std::int32_t i) const { return stored(i, "gettime").time; }
double TimeValueTable::value(std::int32_t i) const { return stored(i, "value").value; }

void TimeValueTable::push(double time, double value) {
  if (tv.empty()) n = 0;
  if (n >= capacity()) {
    const std::int32_t grown = std::max(arraydetail::growth32(n), 1);
    if (grown <= n) check_alloc(kStatusNoMemory, "Time value pair array");
    regrow(tv, grown, held(), "Time value pair array");
  }
  if (std::isnan(time) || (n > 0 && !follows(time, tv[static_cast<std::size_t>(n - 1)].time))) {
    input_error(kNotIncreasing);
  }
  tv[static_cast<std::size_t>(n)] = {time, value};
  ++n;
}

std::int32_t TimeValueTable::cachetimepanel(double t) {
  const std::int32_t i = queryindex(t);
  if (i != 0) ilast = i;
  return i;
}

std::int32_t TimeValueTable::queryindex(double t) const {
  return findpanel(t, held(), ilast, [&](std::int32_t i) { return tv[static_cast<std::size_t>(i - 1)].time; });
}

double TimeValueTable::queryvalue(double t, std::optional<bool> mode) const {
  const std::int32_t count = held();
  if (count < 1) fatalerror("TimeValueTable::queryvalue: the table is empty");
  if (std::isnan(t)) return std::numeric_limits<double>::quiet_NaN();
  const TVPAIR& first = tv.front();
  const TVPAIR& last = tv[static_cast<std::size_t>(count - 1)];
  if (t < first.time) return first.value;
  if (t >= last.time) return last.value;
  const std::int32_t i = queryindex(t);
  const TVPAIR& p0 = tv[static_cast<std::size_t>(i - 1)];
  if (!mode.value_or(interpolate)) return p0.value;
  const TVPAIR& p1 = tv[static_cast<std::size_t>(i)];
  if (hasnodata) {
    if (p0.value == nodata) return nodata;
    if (p1.value == nodata) return p0.value;
  }
  return p0.value + (p1.value - p0.value) * ((t - p0.time) / (p1.time - p0.time));
}

void TimeValueTable::writetable(std::optional<int> unit, std::optional<std::string_view> layout, int* iostat) const {
  PairListing listing(unit, layout);
  for (const TVPAIR& p : std::span(tv).first(static_cast<std::size_t>(held()))) listing.line(p.time, p.value);
  listing.finish(iostat, "Error writing time-value table.");
}

void TimeValueTable::serialize(int unit) const {
  SavedFormWriter out(unit, "TimeValueTable::serialize: file unit must be associated a file");
  const std::int32_t count = held();
  out.logical(interpolate);
  out.integer(count);
  out.integer(ilast);
  out.logical(hasnodata);
  out.real(nodata);
  for (std::int32_t i = 0; i < count; ++i) {
    out.pair(tv[static_cast<std::size_t>(i)].time, tv[static_cast<std::size_t>(i)].value);
  }
}

void TimeValueTable::deserialize(int unit) {
  destroy();
  SavedFormReader in(unit, "TimeValueTable::deserialize: file unit must be associated a file",
                     "TimeValueTable::deserialize");
  const bool savedinterpolate = in.logical();
  const std::int32_t count = in.integer();
  const std::int32_t cached = in.integer();
  const bool savedhasnodata = in.logical();
  const double savednodata = in.real();
  in.checkcount(count, 2, false, "pair count");
  std::vector<TVPAIR> pairs =
      in.items<TVPAIR>(count, "Time value table array", [&](TVPAIR& p) { in.pair(p.time, p.value); });
  checkincreasing(pairs, pairs.size());
  interpolate = savedinterpolate;
  n = count;
  ilast = restoredpanel(cached, count);
  hasnodata = savedhasnodata;
  nodata = savednodata;
  tv.swap(pairs);
}

void readtimevaluetable(int unit, TimeValueTable& table) {
  static constexpr PairReaderTexts kTexts = {"Error reading time-value table",
                                             "Error reading time-value table: missing end", "Bad time-value pair: "};
  table.destroy();
  double time = 0;
  double value = 0;
  while (readpairline(unit, kTexts, time, value)) table.push(time, value);
}

}  // namespace kelpra
