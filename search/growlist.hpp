// Storage shared by the search modules: allocations that go to the allocation report, and
// the growable result lists of the k-d trees and the polygon intersection.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "arrays/dynarray.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra::searchdetail {

// The result of make(); a failed allocation stops the run with the allocation report `what`.
template <class Make>
auto checkedalloc(std::string_view what, Make&& make) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  check_alloc(kStatusNoMemory, what);
  throw RunStopped{};  // not reached: check_alloc stops the run for a non-zero status
}

// Stores value at position count + 1 of a growable list. A list without storage gets one
// entry; a full one grows to ceiling(1.5 x its length), taken in single precision, so
// that a caller's list keeps its storage from call to call.
template <class T>
void storeafter(T value, std::int32_t count, DynArray<T>& list, std::string_view what) {
  if (!list.allocated() || count >= list.size()) list.grow(count + 1, std::nullopt, what);
  list(count + 1) = value;
}

}  // namespace kelpra::searchdetail
