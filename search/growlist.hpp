// The growable result lists of the k-d trees and the polygon intersection.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "arrays/dynarray.hpp"

namespace kelpra::searchdetail {

// Stores value at position count + 1 of a growable list. A list without storage gets one
// entry; a full one grows to ceiling(1.5 x its length), taken in single precision, so
// that a caller's list keeps its storage from call to call.
template <class T>
void storeafter(T value, std::int32_t count, DynArray<T>& list, std::string_view what) {
  if (!list.allocated() || count >= list.size()) list.grow(count + 1, std::nullopt, what);
  list(count + 1) = value;
}

}  // namespace kelpra::searchdetail
