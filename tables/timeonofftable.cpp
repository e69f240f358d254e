#include "tables/timeonofftable.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "tables/savedform.hpp"
#include "tables/timetablecommon.hpp"

namespace kelpra {
namespace {

constexpr std::string_view kNotIncreasing = "Time on/off table times must be strictly increasing.";
constexpr std::string_view kArrayName = "Time on/off table times array";

}  // namespace

void alloctimes(std::vector<double>& times, std::int32_t count) {
  allocatearray(times, std::max(count, 0), kArrayName);
}

void TIMEONOFFTABLE::init(std::optional<std::int32_t> npairs) {
  n = 0;
  ilast = 1;
  // Twice a count beyond half the 4-byte range cannot be held.
  const std::int64_t count = 2 * static_cast<std::int64_t>(std::max(npairs.value_or(0), 0));
  if (count > std::numeric_limits<std::int32_t>::max()) check_alloc(kStatusNoMemory, kArrayName);
  alloctimes(times, static_cast<std::int32_t>(count));
}

void TIMEONOFFTABLE::clear() {
  n = 0;
  ilast = 1;
}

std::int32_t TIMEONOFFTABLE::held() const { return std::clamp(n, 0, capacity()); }

double TIMEONOFFTABLE::stored(std::int32_t i, std::string_view operation) const {
  if (i < 1 || i > held()) {
    fatalerror("Time on/off table " + std::string(operation) + ": time " + std::to_string(i) +
               " asked of a table of " + std::to_string(n) + " times");
  }
  return times[static_cast<std::size_t>(i - 1)];
}

double TIMEONOFFTABLE::tfirst() const { return stored(1, "tfirst"); }
double TIMEONOFFTABLE::tlast() const { return stored(n, "tlast"); }
double TIMEONOFFTABLE::ton(std::int32_t k) const { return stored(2 * k - 1, "ton"); }
double TIMEONOFFTABLE::toff(std::int32_t k) const { return stored(2 * k, "toff"); }

void TIMEONOFFTABLE::push(double on, double off) {
  if (!(off > on)) input_error(kNotIncreasing);
  if (times.empty()) n = 0;
  if (n + 2 > capacity()) {
    const std::int64_t grown = std::max<std::int64_t>(2 * static_cast<std::int64_t>(n), 2);
    if (grown > std::numeric_limits<std::int32_t>::max()) check_alloc(kStatusNoMemory, kArrayName);
    regrow(times, static_cast<std::int32_t>(grown), held(), kArrayName);
  }
  if (n > 0 && !(on > times[static_cast<std::size_t>(n - 1)])) input_error(kNotIncreasing);
  times[static_cast<std::size_t>(n)] = on;
  times[static_cast<std::size_t>(n + 1)] = off;
  n += 2;
}

std::int32_t TIMEONOFFTABLE::cachetimepanel(double t) {
  const std::int32_t i = query(t);
  if (i != 0) ilast = i;
  return i;
}

std::int32_t TIMEONOFFTABLE::query(double t) const {
  return findpanel(t, held(), ilast, [&](std::int32_t i) { return times[static_cast<std::size_t>(i - 1)]; });
}

bool TIMEONOFFTABLE::queryon(double t) const { return query(t) % 2 == 1; }

bool TIMEONOFFTABLE::queryoff(double t) const { return !TIMEONOFFTABLE::queryon(t); }

void TIMEONOFFTABLE::querytimepanel(double t, double& tstart, double& tend) const {
  const std::int32_t count = held();
  if (count < 1) fatalerror("Time on/off table querytimepanel: the table is empty");
  constexpr double kHuge = std::numeric_limits<double>::max();
  const double first = times.front();
  const double last = times[static_cast<std::size_t>(count - 1)];
  if (t < first) {
    tstart = -kHuge;
    tend = first;
  } else if (t >= last) {
    tstart = last;
    tend = kHuge;
  } else if (const std::int32_t i = query(t); i != 0) {
    tstart = times[static_cast<std::size_t>(i - 1)];
    tend = times[static_cast<std::size_t>(i)];
  } else {
    // Only a NaN time gets here: it lies in no panel.
    tstart = tend = std::numeric_limits<double>::quiet_NaN();
  }
}

void TIMEONOFFTABLE::writetable(std::optional<int> unit, std::optional<std::string_view> layout, int* iostat) const {
  PairListing listing(unit, layout);
  for (std::int32_t k = 1; k <= held() / 2; ++k) listing.line(ton(k), toff(k));
  listing.finish(iostat, "Error writing time on/off table.");
}

void TIMEONOFFTABLE::serialize(int unit) const {
  SavedFormWriter out(unit, "Time on/off table serialize: file unit must be associated a file.");
  const std::int32_t count = held();
  out.integer(count);
  out.integer(ilast);
  for (std::int32_t i = 0; i < count; ++i) out.real(times[static_cast<std::size_t>(i)]);
}

void TIMEONOFFTABLE::deserialize(int unit) {
  n = 0;
  ilast = 1;
  std::vector<double>().swap(times);
  SavedFormReader in(unit, "Time on/off table times deserialize: file unit must be associated a file.",
                     "Time on/off table times deserialize");
  const std::int32_t count = in.integer();
  const std::int32_t cached = in.integer();
  in.checkcount(count, 1, false, "time count");
  if (count % 2 != 0) in.invalid("odd time count " + std::to_string(count));
  std::vector<double> saved = in.items<double>(count, kArrayName, [&](double& t) { t = in.real(); });
  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (std::isnan(saved[i]) || (i > 0 && !(saved[i] > saved[i - 1]))) input_error(kNotIncreasing);
  }
  n = count;
  ilast = restoredpanel(cached, count);
  times.swap(saved);
}

void readtimeonofftable(int unit, TIMEONOFFTABLE& table) {
  static constexpr PairReaderTexts kTexts = {"Error reading time on/off table.",
                                             "Error reading time on/off table: missing end.", "Bad time on/off pair: "};
  table.init();
  double on = 0;
  double off = 0;
  while (readpairline(unit, kTexts, on, off)) table.push(on, off);
}

}  // namespace kelpra
