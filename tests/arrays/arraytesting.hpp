// Shared by the dynamic-array tests: a fixture that resets the report state, and helpers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "arrays/arrayhelpers.hpp"
#include "support/errors.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanrun.hpp"

namespace kelpra::arraytesting {

using V = std::vector<std::int32_t>;

// The given values at the front of an array of the given size, the rest -1.
inline I4Array list(const V& used, std::int32_t size) {
  I4Array a;
  allocate_i4(size, a, -1);
  std::copy(used.begin(), used.end(), a.begin());
  return a;
}
inline I4Array i4(const V& v) { return list(v, static_cast<std::int32_t>(v.size())); }

template <class T>
std::vector<T> values(const DynArray<T>& a) {
  return std::vector<T>(a.begin(), a.end());
}
inline V leading(const I4Array& a, std::int32_t count) { return {a.begin(), a.begin() + count}; }

class ArraysTest : public testkit::CleanRun {
 protected:
  // Runs a call that must stop the run; what it wrote to standard error.
  static std::string stopped(const std::function<void()>& call) {
    const std::string err = testkit::stoperr(call);
    testing_only::reseterrorstate();
    return err;
  }
};

}  // namespace kelpra::arraytesting
