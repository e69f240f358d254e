// Wall-clock timers in the tic/toc manner: one global timer and any number of named
// timers kept in a table for the whole run. One thread only: the table has no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kelpra {

inline constexpr double kTimerUnset = -9999.0;
inline constexpr std::size_t kTimerIdWidth = 40;

class TICTOCTIMER {
 public:
  double tstart = kTimerUnset;  // clock reading at the last start
  double tstop = kTimerUnset;   // clock reading at the last stop, unset while running
  std::string id;               // at most 40 characters; blank for the global timer

  // Starts (or restarts) the timer; id is cut to 40 characters.
  void ttttic(std::optional<std::string_view> id = std::nullopt);
  // Stops the timer; an unstarted timer is an input error.
  void ttttoc();
  // Seconds between start and stop; an input error unless both are set.
  double elapsedtime() const;
  // "Elapsed time: <m>m<s>s" with the seconds in six places and three decimals.
  std::string elapsedtimestr() const;
};

void tic1();
void tic2(std::string_view id);
TICTOCTIMER toc1();
TICTOCTIMER toc2(std::string_view id);
inline void tic() { tic1(); }
inline void tic(std::string_view id) { tic2(id); }
inline TICTOCTIMER toc() { return toc1(); }
inline TICTOCTIMER toc(std::string_view id) { return toc2(id); }

// Appends t to the named-timer table, growing its capacity by half again.
void pushback(const TICTOCTIMER& t);

// The global timer, the named-timer table over its whole capacity, and the number of
// its entries in use.
const TICTOCTIMER& tglobal();
std::span<const TICTOCTIMER> ttarr();
std::int32_t ntt();

namespace testing_only {
// Back to the start of a run: global timer unstarted, no table.
void resettimers();
}  // namespace testing_only

}  // namespace kelpra
