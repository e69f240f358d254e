// The dynamic-array operations under their per-type names: the operation, an underscore and
// the element suffix (l, i4, i8, r4, r8, s, i4_2d, r8_2d, l_2d), arguments in the order
// callers know. Each name is a thin callable over the one generic implementation.
#pragma once

#include <cstdint>
#include <optional>

#include "arrays/dynarray.hpp"

namespace kelpra {

using LogicalArray = DynArray<bool>;
using I4Array = DynArray<std::int32_t>;
using I8Array = DynArray<std::int64_t>;
using R4Array = DynArray<float>;
using R8Array = DynArray<double>;
using TextArray = DynArray<std::string>;
using I4Array2D = DynArray2D<std::int32_t>;
using R8Array2D = DynArray2D<double>;
using LogicalArray2D = DynArray2D<bool>;

namespace arraynames {

template <class T>
struct Allocate {
  void operator()(std::int32_t n, DynArray<T>& array, ArrayFill<T> fill = std::nullopt,
                  ArrayLabel label = std::nullopt) const {
    array.allocate(n, fill, label);
  }
};
template <class T>
struct Allocate2D {
  void operator()(std::int32_t n1, std::int32_t n2, DynArray2D<T>& array, ArrayFill<T> fill = std::nullopt,
                  ArrayLabel label = std::nullopt) const {
    array.allocate(n1, n2, fill, label);
  }
};
template <class A>
struct Deallocate {
  void operator()(A& array) const noexcept { array.deallocate(); }
};
template <class T>
struct Resize {
  void operator()(std::int32_t n, DynArray<T>& array, ArrayFill<T> fill = std::nullopt,
                  ArrayLabel label = std::nullopt) const {
    array.resize(n, fill, label);
  }
};
template <class T>
struct Resize2D {
  void operator()(std::int32_t n1, std::int32_t n2, DynArray2D<T>& array, ArrayFill<T> fill = std::nullopt,
                  ArrayLabel label = std::nullopt) const {
    array.resize(n1, n2, fill, label);
  }
};
template <class T>
struct Grow {
  void operator()(std::int32_t n, DynArray<T>& array, ArrayFill<T> fill = std::nullopt,
                  ArrayLabel label = std::nullopt) const {
    array.grow(n, fill, label);
  }
};
template <class T>
struct Grow2D {
  void operator()(std::int32_t n1, std::int32_t n2, DynArray2D<T>& array, ArrayFill<T> fill = std::nullopt,
                  ArrayLabel label = std::nullopt) const {
    array.grow(n1, n2, fill, label);
  }
};
template <class T>
struct Shrink {
  void operator()(std::int32_t n, DynArray<T>& array, ArrayLabel label = std::nullopt) const {
    array.shrink(n, label);
  }
};
template <class T>
struct InsertSingle {
  void operator()(std::int32_t pos, ArrayValue<T> value, std::int32_t& count, DynArray<T>& array,
                  ArrayLabel label = std::nullopt) const {
    array.insertsingle(pos, value, count, label);
  }
};
template <class T>
struct InsertFill {
  void operator()(std::int32_t pos, std::int32_t m, ArrayValue<T> value, std::int32_t& count, DynArray<T>& array,
                  ArrayLabel label = std::nullopt) const {
    array.insertfill(pos, m, value, count, label);
  }
};
template <class T>
struct InsertRange {
  template <class R>
    requires ArraySource<R, T>
  void operator()(std::int32_t pos, R&& source, std::int32_t& count, DynArray<T>& array,
                  ArrayLabel label = std::nullopt) const {
    array.insertrange(pos, std::forward<R>(source), count, label);
  }
};
template <class T>
struct EraseSingle {
  template <class R>
    requires ErasableArray<R> && std::same_as<std::ranges::range_value_t<R>, T>
  void operator()(std::int32_t pos, std::int32_t& count, R&& array) const {
    erasesingle(pos, count, std::forward<R>(array));
  }
};
template <class T>
struct EraseRange {
  template <class R>
    requires ErasableArray<R> && std::same_as<std::ranges::range_value_t<R>, T>
  void operator()(std::int32_t first, std::int32_t last, std::int32_t& count, R&& array) const {
    eraserange(first, last, count, std::forward<R>(array));
  }
};
template <class T>
struct PushBack {
  void operator()(ArrayValue<T> value, std::int32_t& count, DynArray<T>& array,
                  ArrayLabel label = std::nullopt) const {
    array.pushback(value, count, label);
  }
};
template <class T>
struct AssignSingle {
  void operator()(std::int32_t pos, ArrayValue<T> value, DynArray<T>& array, ArrayLabel label = std::nullopt) const {
    array.assignsingle(pos, value, label);
  }
};
template <class T>
struct AssignSingle2D {
  void operator()(std::int32_t i, std::int32_t j, T value, DynArray2D<T>& array,
                  ArrayLabel label = std::nullopt) const {
    array.assignsingle(i, j, value, label);
  }
};
// The swap members read no argument and change nothing.
struct NoEffect {
  template <class... Args>
  constexpr void operator()(Args&&...) const noexcept {}
};

}  // namespace arraynames

inline constexpr arraynames::Allocate<bool> allocate_l{};
inline constexpr arraynames::Allocate<std::int32_t> allocate_i4{};
inline constexpr arraynames::Allocate<std::int64_t> allocate_i8{};
inline constexpr arraynames::Allocate<float> allocate_r4{};
inline constexpr arraynames::Allocate<double> allocate_r8{};
inline constexpr arraynames::Allocate<std::string> allocate_s{};
inline constexpr arraynames::Allocate2D<std::int32_t> allocate_i4_2d{};
inline constexpr arraynames::Allocate2D<double> allocate_r8_2d{};

inline constexpr arraynames::Deallocate<LogicalArray> deallocate_l{};
inline constexpr arraynames::Deallocate<I4Array> deallocate_i4{};
inline constexpr arraynames::Deallocate<I8Array> deallocate_i8{};
inline constexpr arraynames::Deallocate<R4Array> deallocate_r4{};
inline constexpr arraynames::Deallocate<R8Array> deallocate_r8{};
inline constexpr arraynames::Deallocate<I4Array2D> deallocate_i4_2d{};

inline constexpr arraynames::Resize<bool> resize_l{};
inline constexpr arraynames::Resize<std::int32_t> resize_i4{};
inline constexpr arraynames::Resize<std::int64_t> resize_i8{};
inline constexpr arraynames::Resize<float> resize_r4{};
inline constexpr arraynames::Resize<double> resize_r8{};
inline constexpr arraynames::Resize<std::string> resize_s{};
inline constexpr arraynames::Resize2D<std::int32_t> resize_i4_2d{};
inline constexpr arraynames::Resize2D<double> resize_r8_2d{};

inline constexpr arraynames::Grow<bool> grow_l{};
inline constexpr arraynames::Grow<std::int32_t> grow_i4{};
inline constexpr arraynames::Grow<std::int64_t> grow_i8{};
inline constexpr arraynames::Grow<float> grow_r4{};
inline constexpr arraynames::Grow<double> grow_r8{};
inline constexpr arraynames::Grow<std::string> grow_s{};
inline constexpr arraynames::Grow2D<double> grow_r8_2d{};

inline constexpr arraynames::Shrink<bool> shrink_l{};
inline constexpr arraynames::Shrink<std::int32_t> shrink_i4{};
inline constexpr arraynames::Shrink<std::int64_t> shrink_i8{};
inline constexpr arraynames::Shrink<float> shrink_r4{};
inline constexpr arraynames::Shrink<double> shrink_r8{};

inline constexpr arraynames::InsertSingle<bool> insertsingle_l{};
inline constexpr arraynames::InsertSingle<std::int32_t> insertsingle_i4{};
inline constexpr arraynames::InsertSingle<std::int64_t> insertsingle_i8{};
inline constexpr arraynames::InsertSingle<float> insertsingle_r4{};
inline constexpr arraynames::InsertSingle<double> insertsingle_r8{};
inline constexpr arraynames::InsertSingle<std::string> insertsingle_s{};

inline constexpr arraynames::InsertFill<bool> insertfill_l{};
inline constexpr arraynames::InsertFill<std::int32_t> insertfill_i4{};
inline constexpr arraynames::InsertFill<std::int64_t> insertfill_i8{};
inline constexpr arraynames::InsertFill<float> insertfill_r4{};
inline constexpr arraynames::InsertFill<double> insertfill_r8{};
inline constexpr arraynames::InsertFill<std::string> insertfill_s{};

inline constexpr arraynames::InsertRange<bool> insertrange_l{};
inline constexpr arraynames::InsertRange<std::int32_t> insertrange_i4{};
inline constexpr arraynames::InsertRange<std::int64_t> insertrange_i8{};
inline constexpr arraynames::InsertRange<float> insertrange_r4{};
inline constexpr arraynames::InsertRange<double> insertrange_r8{};
inline constexpr arraynames::InsertRange<std::string> insertrange_s{};

inline constexpr arraynames::EraseSingle<bool> erasesingle_l{};
inline constexpr arraynames::EraseSingle<std::int32_t> erasesingle_i4{};
inline constexpr arraynames::EraseSingle<std::int64_t> erasesingle_i8{};
inline constexpr arraynames::EraseSingle<float> erasesingle_r4{};
inline constexpr arraynames::EraseSingle<double> erasesingle_r8{};

inline constexpr arraynames::EraseRange<bool> eraserange_l{};
inline constexpr arraynames::EraseRange<std::int32_t> eraserange_i4{};
inline constexpr arraynames::EraseRange<std::int64_t> eraserange_i8{};
inline constexpr arraynames::EraseRange<float> eraserange_r4{};
inline constexpr arraynames::EraseRange<double> eraserange_r8{};

inline constexpr arraynames::PushBack<bool> pushback_l{};
inline constexpr arraynames::PushBack<std::int32_t> pushback_i4{};
inline constexpr arraynames::PushBack<std::int64_t> pushback_i8{};
inline constexpr arraynames::PushBack<float> pushback_r4{};
inline constexpr arraynames::PushBack<double> pushback_r8{};
inline constexpr arraynames::PushBack<std::string> pushback_s{};

inline constexpr arraynames::AssignSingle<std::int32_t> assignsingle_i4{};
inline constexpr arraynames::AssignSingle<double> assignsingle_r8{};
inline constexpr arraynames::AssignSingle<std::string> assignsingle_s{};
inline constexpr arraynames::AssignSingle2D<std::int32_t> assignsingle_i4_2d{};
inline constexpr arraynames::AssignSingle2D<double> assignsingle_r8_2d{};
inline constexpr arraynames::AssignSingle2D<bool> assignsingle_l_2d{};

inline constexpr arraynames::NoEffect swap_l{};
inline constexpr arraynames::NoEffect swap_i4{};
inline constexpr arraynames::NoEffect swap_i8{};
inline constexpr arraynames::NoEffect swap_r4{};
inline constexpr arraynames::NoEffect swap_r8{};

}  // namespace kelpra
