#include "support/timers.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

TICTOCTIMER globaltimer;
// Allocated on the first named timer; its size is the capacity, the first count entries
// are in use.
std::vector<TICTOCTIMER> table;
bool tableallocated = false;
std::int32_t count = 0;

bool sameid(const TICTOCTIMER& t, std::string_view id) { return trimview(t.id) == trimview(id); }

}  // namespace

void TICTOCTIMER::ttttic(std::optional<std::string_view> newid) {
  id.assign(newid ? newid->substr(0, std::min(newid->size(), kTimerIdWidth)) : std::string_view{});
  tstop = kTimerUnset;
  tstart = omp_get_wtime();  // read last, so the set-up above is not measured
}

void TICTOCTIMER::ttttoc() {
  tstop = omp_get_wtime();
  if (tstart == kTimerUnset) input_error("Call tic before calling toc.");
}

double TICTOCTIMER::elapsedtime() const {
  if (tstart == kTimerUnset || tstop == kTimerUnset) {
    input_error("Call tic then toc before computing elapsed time.");
  }
  return tstop - tstart;
}

std::string TICTOCTIMER::elapsedtimestr() const {
  const double e = elapsedtime();
  // Stamps set by hand can give a span (or a NaN) that no 4-byte count of minutes holds;
  // converting such a value unchecked is undefined, so it is held at the range.
  const double minutes = std::floor(e / 60.0);
  constexpr double lowest = std::numeric_limits<std::int32_t>::min();
  constexpr double highest = std::numeric_limits<std::int32_t>::max();
  const auto m = std::isnan(minutes) ? 0 : static_cast<std::int32_t>(std::clamp(minutes, lowest, highest));
  const double s = e - 60.0 * m;
  return "Elapsed time: " + std::to_string(m) + "m" + tostring_r8(s, "(F6.3)") + "s";
}

void tic1() { globaltimer.ttttic(); }

void tic2(std::string_view id) {
  for (std::int32_t i = 0; i < count; ++i) {
    if (sameid(table[static_cast<std::size_t>(i)], id)) {
      table[static_cast<std::size_t>(i)].ttttic(id);
      return;
    }
  }
  TICTOCTIMER t;
  t.ttttic(id);
  pushback(t);
}

TICTOCTIMER toc1() {
  globaltimer.ttttoc();
  return globaltimer;
}

TICTOCTIMER toc2(std::string_view id) {
  for (std::int32_t i = 0; i < count; ++i) {
    auto& t = table[static_cast<std::size_t>(i)];
    if (sameid(t, id)) {
      t.ttttoc();
      return t;
    }
  }
  input_error("No match found for id: " + std::string(trimview(id)));
}

void pushback(const TICTOCTIMER& t) {
  if (!tableallocated) {
    allocatearray(table, 1, "tic toc array");
    tableallocated = true;
    count = 0;
  } else if (static_cast<std::size_t>(count) == table.size()) {
    // Capacities run 1, 2, 3, 5, 8, 12, ...: ceiling(1.5 n) in 4-byte real arithmetic.
    const auto grown = static_cast<std::int32_t>(std::ceil(1.5f * static_cast<float>(count)));
    std::vector<TICTOCTIMER> bigger;
    allocatearray(bigger, std::max(grown, 1), "tic toc array");
    std::move(table.begin(), table.begin() + count, bigger.begin());  // moves take no storage
    table.swap(bigger);
  }
  table[static_cast<std::size_t>(count)] = t;
  ++count;
}

const TICTOCTIMER& tglobal() { return globaltimer; }
std::span<const TICTOCTIMER> ttarr() { return table; }
std::int32_t ntt() { return count; }

namespace testing_only {
void resettimers() {
  globaltimer = TICTOCTIMER{};
  std::vector<TICTOCTIMER>().swap(table);
  tableallocated = false;
  count = 0;
}
}  // namespace testing_only

}  // namespace kelpra
