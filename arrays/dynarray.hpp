// Dynamic arrays of logical, integer, real and text elements in one and two dimensions.
// An array either holds storage (possibly of zero elements) or holds none; positions count
// from 1 and two-dimensional arrays are stored by columns. Every operation that obtains
// storage reports a failure through check_alloc, which stops the run.
#pragma once

#include <algorithm>
#include <cassert>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace kelpra {

template <class T>
concept ArrayElement = std::same_as<T, bool> || std::same_as<T, std::int32_t> || std::same_as<T, std::int64_t> ||
                       std::same_as<T, float> || std::same_as<T, double> || std::same_as<T, std::string>;

template <class T>
inline constexpr bool kTextElement = std::same_as<T, std::string>;

// What an operation stores into one element: any text for text arrays (cut or blank-padded
// to the element width), the element value otherwise.
template <ArrayElement T>
using ArrayValue = std::conditional_t<kTextElement<T>, std::string_view, T>;
template <ArrayElement T>
using ArrayFill = std::optional<ArrayValue<T>>;

// Names the array in an allocation report; without one the operation's own label is used.
using ArrayLabel = std::optional<std::string_view>;

namespace arraydetail {

inline constexpr std::int32_t kMaxSize = std::numeric_limits<std::int32_t>::max();

enum class Op {
  allocate, resize, grow, shrink,
  insertsingle, insertfill, insertrange, erasesingle, eraserange, pushback, assignsingle
};

template <class T>
struct ElementInfo;
template <>
struct ElementInfo<bool> {
  static constexpr std::string_view suffix = "l", name = "logical array";
};
template <>
struct ElementInfo<std::int32_t> {
  static constexpr std::string_view suffix = "i4", name = "integer(4) array";
};
template <>
struct ElementInfo<std::int64_t> {
  static constexpr std::string_view suffix = "i8", name = "integer(8) array";
};
template <>
struct ElementInfo<float> {
  static constexpr std::string_view suffix = "r4", name = "real(4) array";
};
template <>
struct ElementInfo<double> {
  static constexpr std::string_view suffix = "r8", name = "real(8) array";
};
template <>
struct ElementInfo<std::string> {
  static constexpr std::string_view suffix = "s", name = "character string array";
};

// Capacity after growth: ceiling of 1.5 x size, in binary32 (grow) or binary64 (editing);
// held at the largest 4-byte size where the product no longer fits.
std::int32_t growth32(std::int32_t size);
std::int32_t growth64(std::int32_t size);

// Reports a failed allocation with the caller's label or the operation's own.
[[noreturn]] void allocationfailed(Op op, std::string_view element, bool twodim, const ArrayLabel& label);
// Reports a call outside an operation's limits that would otherwise write out of bounds.
[[noreturn]] void usageerror(Op op, std::string_view suffix, bool twodim, std::string_view problem);

// The text in a field of the given width: cut, or padded with blanks.
inline void storetext(std::string& field, std::string_view text, std::int32_t width) {
  const std::size_t kept = std::min(text.size(), static_cast<std::size_t>(width));
  field.assign(text.data(), kept);
  field.append(static_cast<std::size_t>(width) - kept, ' ');
}

// Whether a block of count elements has a byte size that can be represented.
template <ArrayElement T>
constexpr bool representable(std::int64_t count, std::int32_t width) {
  constexpr auto kMaxBytes = static_cast<std::int64_t>(std::numeric_limits<std::ptrdiff_t>::max());
  if (count < 0 || count > kMaxBytes / static_cast<std::int64_t>(sizeof(T))) return false;
  return !kTextElement<T> || width <= 0 || count <= kMaxBytes / width;
}

// A block of count elements, zero or blank-filled so that no element is ever indeterminate.
template <ArrayElement T>
std::unique_ptr<T[]> newblock(std::int64_t count, std::int32_t width, Op op, bool twodim, const ArrayLabel& label) {
  bool failed = !representable<T>(count, width);
  std::unique_ptr<T[]> block;
  if (!failed) {
    try {
      block.reset(new T[static_cast<std::size_t>(count)]());
      if constexpr (kTextElement<T>) {
        for (std::int64_t k = 0; k < count; ++k) block[k].assign(static_cast<std::size_t>(width), ' ');
      }
    } catch (const std::bad_alloc&) {
      block.reset();
      failed = true;
    }
  }
  if (failed) allocationfailed(op, ElementInfo<T>::name, twodim, label);
  return block;
}

// An element value made ready for storing; for text a fresh field, so that a value taken from
// the array itself stays valid while the array's storage moves.
template <ArrayElement T>
T heldvalue(ArrayValue<T> value, std::int32_t width, Op op, const ArrayLabel& label) {
  if constexpr (kTextElement<T>) {
    std::string field;
    bool failed = false;
    try {
      storetext(field, value, width);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    if (failed) allocationfailed(op, ElementInfo<T>::name, false, label);
    return field;
  } else {
    return value;
  }
}

template <ArrayElement T>
std::optional<T> heldfill(const ArrayFill<T>& fill, std::int32_t width, Op op, const ArrayLabel& label) {
  if (!fill) return std::nullopt;
  return heldvalue<T>(*fill, width, op, label);
}

}  // namespace arraydetail

// A source for insertrange: any sized range of the element type (texts of any width for text
// arrays), also a view into another array.
template <class R, class T>
concept ArraySource =
    ArrayElement<T> && std::ranges::input_range<R> && std::ranges::sized_range<R> &&
    ((kTextElement<T> && std::convertible_to<std::ranges::range_reference_t<R>, std::string_view>) ||
     (!kTextElement<T> && std::same_as<std::remove_cvref_t<std::ranges::range_reference_t<R>>, T>));

// One-dimensional dynamic array. Its size is its capacity; a list keeps its count of used
// positions in the caller's own 4-byte integer. Text arrays keep a fixed element width.
template <ArrayElement T>
class DynArray {
 public:
  static constexpr bool kText = kTextElement<T>;
  using value_type = T;

  DynArray() noexcept
    requires(!kText)
  = default;
  explicit DynArray(std::int32_t width) noexcept
    requires kText
      : width_(std::max(width, 0)) {}

  DynArray(const DynArray& other) : width_(other.width_) { copyfrom(other); }
  DynArray(DynArray&& other) noexcept
      : block_(std::move(other.block_)), size_(other.size_), allocated_(other.allocated_), width_(other.width_) {
    other.size_ = 0;
    other.allocated_ = false;
  }
  // Assignment keeps this array's element width: texts of another width are cut or padded.
  DynArray& operator=(const DynArray& other) {
    if (this != &other) copyfrom(other);
    return *this;
  }
  DynArray& operator=(DynArray&& other) noexcept(!kText) {
    if (this == &other) return *this;
    if (width_ != other.width_) {
      copyfrom(other);
      return *this;
    }
    block_ = std::move(other.block_);
    size_ = std::exchange(other.size_, 0);
    allocated_ = std::exchange(other.allocated_, false);
    return *this;
  }
  ~DynArray() = default;

  // True when the array holds storage, also storage of zero elements.
  bool allocated() const noexcept { return allocated_; }
  std::int32_t size() const noexcept { return size_; }
  std::int32_t width() const noexcept
    requires kText
  {
    return width_;
  }

  const T& operator()(std::int32_t pos) const {
    assert(pos >= 1 && pos <= size_);
    return block_[pos - 1];
  }
  T& operator()(std::int32_t pos)
    requires(!kText)
  {
    assert(pos >= 1 && pos <= size_);
    return block_[pos - 1];
  }
  // Stores into an existing position; texts are cut or padded to the element width.
  void set(std::int32_t pos, ArrayValue<T> value) {
    assert(pos >= 1 && pos <= size_);
    if constexpr (kText) {
      arraydetail::storetext(block_[pos - 1], value, width_);
    } else {
      block_[pos - 1] = value;
    }
  }

  const T* data() const noexcept { return block_.get(); }
  T* data() noexcept
    requires(!kText)
  {
    return block_.get();
  }
  const T* begin() const noexcept { return block_.get(); }
  const T* end() const noexcept { return block_.get() + size_; }
  T* begin() noexcept
    requires(!kText)
  {
    return block_.get();
  }
  T* end() noexcept
    requires(!kText)
  {
    return block_.get() + size_;
  }
  std::span<const T> view() const noexcept { return {block_.get(), static_cast<std::size_t>(size_)}; }
  std::span<T> view() noexcept
    requires(!kText)
  {
    return {block_.get(), static_cast<std::size_t>(size_)};
  }

  // ---- Sizing ----

  // Exactly max(n, 0) elements; the contents go unless the size already is n.
  void allocate(std::int32_t n, ArrayFill<T> fill = std::nullopt, ArrayLabel label = std::nullopt) {
    allocatefor(Op::allocate, n, fill, label);
  }

  void deallocate() noexcept {
    block_.reset();
    size_ = 0;
    allocated_ = false;
  }

  // Exactly max(n, 0) elements, keeping the leading ones; new positions get the fill.
  void resize(std::int32_t n, ArrayFill<T> fill = std::nullopt, ArrayLabel label = std::nullopt) {
    if (allocated_ && size_ == n) return;
    rebuild(std::max(n, 0), arraydetail::heldfill<T>(fill, width_, Op::resize, label), Op::resize, label);
  }

  // Room for at least n elements, by the 1.5 rule; never shrinks.
  void grow(std::int32_t n, ArrayFill<T> fill = std::nullopt, ArrayLabel label = std::nullopt) {
    if (allocated_ && n <= size_) return;
    const std::int32_t capacity = allocated_ ? std::max(arraydetail::growth32(size_), n) : std::max(n, 0);
    rebuild(capacity, arraydetail::heldfill<T>(fill, width_, Op::grow, label), Op::grow, label);
  }

  // At most max(n, 0) elements, keeping the leading ones.
  void shrink(std::int32_t n, ArrayLabel label = std::nullopt) {
    if (!allocated_ || n >= size_) return;
    rebuild(std::max(n, 0), std::nullopt, Op::shrink, label);
  }

  // ---- Editing a list of count used positions ----

  // m copies of value before position pos (1 <= pos <= count + 1).
  void insertfill(std::int32_t pos, std::int32_t m, ArrayValue<T> value, std::int32_t& count,
                  ArrayLabel label = std::nullopt) {
    insertcopies(Op::insertfill, pos, m, value, count, label);
  }
  void insertsingle(std::int32_t pos, ArrayValue<T> value, std::int32_t& count, ArrayLabel label = std::nullopt) {
    insertcopies(Op::insertsingle, pos, 1, value, count, label);
  }

  // The elements of source before position pos (1 <= pos <= count + 1).
  template <class R>
    requires ArraySource<R, T>
  void insertrange(std::int32_t pos, R&& source, std::int32_t& count, ArrayLabel label = std::nullopt) {
    const auto m64 = static_cast<std::int64_t>(std::ranges::size(source));
    if (m64 == 0) return;
    if (m64 > arraydetail::kMaxSize) failed(Op::insertrange, label);
    const auto m = static_cast<std::int32_t>(m64);
    if (!allocated_) {
      auto block = newblock(m, Op::insertrange, label);
      copysource(source, block.get());
      take(std::move(block), m);
      count = m;
      return;
    }
    const std::int32_t needed = checkinsert(Op::insertrange, pos, m, count, label);
    T* const at = block_.get() + (pos - 1);
    if (needed <= size_) {
      // The source is read before anything moves unless it provably lies outside this array.
      std::unique_ptr<T[]> staged;
      if (!disjoint(source, m)) {
        staged = newblock(m, Op::insertrange, label);
        copysource(source, staged.get());
      }
      std::copy_backward(at, block_.get() + count, block_.get() + needed);
      if (staged) {
        std::move(staged.get(), staged.get() + m, at);
      } else {
        copysource(source, at);
      }
    } else {
      const std::int32_t capacity = std::max(arraydetail::growth64(size_), needed);
      auto block = newblock(capacity, Op::insertrange, label);
      // Source first: moving texts out of this array would empty a source that views it.
      copysource(source, block.get() + (pos - 1));
      std::move(block_.get(), at, block.get());
      std::move(at, block_.get() + count, block.get() + (pos - 1) + m);
      take(std::move(block), capacity);
    }
    count = needed;
  }

  // Appends value at position count + 1, growing a full array by the 1.5 rule.
  void pushback(ArrayValue<T> value, std::int32_t& count, ArrayLabel label = std::nullopt) {
    T held = arraydetail::heldvalue<T>(value, width_, Op::pushback, label);
    if (!allocated_) {
      count = 0;
      take(newblock(1, Op::pushback, label), 1);
    } else {
      checkcount(Op::pushback, count);
      if (count == size_) {
        if (count == arraydetail::kMaxSize) failed(Op::pushback, label);
        rebuild(std::max(arraydetail::growth64(count), 1), std::nullopt, Op::pushback, label);
      }
    }
    block_[count] = std::move(held);
    ++count;
  }

  // Stores value at position pos (>= 1), growing the array when pos lies beyond it.
  void assignsingle(std::int32_t pos, ArrayValue<T> value, ArrayLabel label = std::nullopt) {
    if (pos < 1) {
      arraydetail::usageerror(Op::assignsingle, arraydetail::ElementInfo<T>::suffix, false,
                              "position " + std::to_string(pos) + " is below 1");
    }
    T held = arraydetail::heldvalue<T>(value, width_, Op::assignsingle, label);
    if (!allocated_ || pos > size_) {
      rebuild(allocated_ ? std::max(arraydetail::growth64(size_), pos) : pos, std::nullopt, Op::assignsingle, label);
    }
    block_[pos - 1] = std::move(held);
  }

 private:
  using Op = arraydetail::Op;

  std::unique_ptr<T[]> newblock(std::int64_t count, Op op, const ArrayLabel& label) const {
    return arraydetail::newblock<T>(count, width_, op, false, label);
  }
  [[noreturn]] static void failed(Op op, const ArrayLabel& label) {
    arraydetail::allocationfailed(op, arraydetail::ElementInfo<T>::name, false, label);
  }

  void take(std::unique_ptr<T[]> block, std::int32_t size) noexcept {
    block_ = std::move(block);
    size_ = size;
    allocated_ = true;
  }

  // New storage of `capacity` elements: the leading elements that fit, then the fill.
  void rebuild(std::int32_t capacity, const std::optional<T>& fill, Op op, const ArrayLabel& label) {
    auto block = newblock(capacity, op, label);
    const std::int32_t kept = std::min(size_, capacity);
    std::move(block_.get(), block_.get() + kept, block.get());
    if (fill) std::fill(block.get() + kept, block.get() + capacity, *fill);
    take(std::move(block), capacity);
  }

  void allocatefor(Op op, std::int32_t n, const ArrayFill<T>& fill, const ArrayLabel& label) {
    const auto held = arraydetail::heldfill<T>(fill, width_, op, label);
    if (!(allocated_ && size_ == n)) {
      deallocate();
      const std::int32_t count = std::max(n, 0);
      take(newblock(count, op, label), count);
    }
    if (held) std::fill(block_.get(), block_.get() + size_, *held);
  }

  void copyfrom(const DynArray& other) {
    if (!other.allocated_) {
      deallocate();
      return;
    }
    auto block = newblock(other.size_, Op::allocate, std::nullopt);
    if constexpr (kText) {
      for (std::int32_t k = 0; k < other.size_; ++k) arraydetail::storetext(block[k], other.block_[k], width_);
    } else {
      std::copy(other.begin(), other.end(), block.get());
    }
    take(std::move(block), other.size_);
  }

  void checkcount(Op op, std::int32_t count) const {
    if (count < 0 || count > size_) {
      arraydetail::usageerror(op, arraydetail::ElementInfo<T>::suffix, false,
                              "count " + std::to_string(count) + " is outside 0 to " + std::to_string(size_));
    }
  }

  // Checks an insert of m elements at pos into storage that exists; the new count.
  std::int32_t checkinsert(Op op, std::int32_t pos, std::int32_t m, std::int32_t count,
                           const ArrayLabel& label) const {
    checkcount(op, count);
    if (pos < 1 || pos > std::int64_t{count} + 1) {
      arraydetail::usageerror(op, arraydetail::ElementInfo<T>::suffix, false,
                              "position " + std::to_string(pos) + " is outside 1 to " + std::to_string(std::int64_t{count} + 1));
    }
    const std::int64_t needed = std::int64_t{count} + m;
    if (needed > arraydetail::kMaxSize) failed(op, label);
    return static_cast<std::int32_t>(needed);
  }

  void insertcopies(Op op, std::int32_t pos, std::int32_t m, ArrayValue<T> value, std::int32_t& count,
                    const ArrayLabel& label) {
    if (m <= 0) return;
    if (!allocated_) {
      allocatefor(op, m, ArrayFill<T>(value), label);
      count = m;
      return;
    }
    const std::int32_t needed = checkinsert(op, pos, m, count, label);
    const T held = arraydetail::heldvalue<T>(value, width_, op, label);
    T* const at = block_.get() + (pos - 1);
    if (needed <= size_) {
      std::copy_backward(at, block_.get() + count, block_.get() + needed);
      std::fill(at, at + m, held);
    } else {
      const std::int32_t capacity = std::max(arraydetail::growth64(size_), needed);
      auto block = newblock(capacity, op, label);
      std::move(block_.get(), at, block.get());
      std::move(at, block_.get() + count, block.get() + (pos - 1) + m);
      std::fill(block.get() + (pos - 1), block.get() + (pos - 1) + m, held);
      take(std::move(block), capacity);
    }
    count = needed;
  }

  template <class R>
  void copysource(R&& source, T* out) const {
    for (auto&& element : source) {
      if constexpr (kText) {
        arraydetail::storetext(*out++, std::string_view(element), width_);
      } else {
        *out++ = element;
      }
    }
  }

  template <class R>
  bool disjoint(R&& source, std::int32_t m) const {
    if constexpr (!kText && std::ranges::contiguous_range<R>) {
      const T* first = std::ranges::data(source);
      const std::less<const T*> before;
      return !before(first, block_.get() + size_) || !before(block_.get(), first + m);
    } else {
      return false;
    }
  }

  std::unique_ptr<T[]> block_;
  std::int32_t size_ = 0;
  bool allocated_ = false;
  std::int32_t width_ = 0;
};

// Two-dimensional dynamic array of extents n1 x n2, stored by columns.
template <ArrayElement T>
  requires(!kTextElement<T>)
class DynArray2D {
 public:
  using value_type = T;

  DynArray2D() noexcept = default;
  DynArray2D(const DynArray2D& other) { copyfrom(other); }
  DynArray2D(DynArray2D&& other) noexcept
      : block_(std::move(other.block_)),
        n1_(std::exchange(other.n1_, 0)),
        n2_(std::exchange(other.n2_, 0)),
        allocated_(std::exchange(other.allocated_, false)) {}
  DynArray2D& operator=(const DynArray2D& other) {
    if (this != &other) copyfrom(other);
    return *this;
  }
  DynArray2D& operator=(DynArray2D&& other) noexcept {
    if (this == &other) return *this;
    block_ = std::move(other.block_);
    n1_ = std::exchange(other.n1_, 0);
    n2_ = std::exchange(other.n2_, 0);
    allocated_ = std::exchange(other.allocated_, false);
    return *this;
  }
  ~DynArray2D() = default;

  bool allocated() const noexcept { return allocated_; }
  std::int32_t extent1() const noexcept { return n1_; }
  std::int32_t extent2() const noexcept { return n2_; }
  std::int64_t size() const noexcept { return std::int64_t{n1_} * n2_; }

  const T& operator()(std::int32_t i, std::int32_t j) const {
    assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
    return block_[offset(i, j)];
  }
  T& operator()(std::int32_t i, std::int32_t j) {
    assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
    return block_[offset(i, j)];
  }
  const T* data() const noexcept { return block_.get(); }
  T* data() noexcept { return block_.get(); }
  std::span<const T> column(std::int32_t j) const {
    assert(j >= 1 && j <= n2_);
    return {block_.get() + offset(1, j), static_cast<std::size_t>(n1_)};
  }
  std::span<T> column(std::int32_t j) {
    assert(j >= 1 && j <= n2_);
    return {block_.get() + offset(1, j), static_cast<std::size_t>(n1_)};
  }

  void allocate(std::int32_t n1, std::int32_t n2, ArrayFill<T> fill = std::nullopt, ArrayLabel label = std::nullopt) {
    if (!(allocated_ && n1_ == n1 && n2_ == n2)) {
      deallocate();
      const std::int32_t c1 = std::max(n1, 0), c2 = std::max(n2, 0);
      take(newblock(c1, c2, Op::allocate, label), c1, c2);
    }
    if (fill) std::fill_n(block_.get(), size(), *fill);
  }

  void deallocate() noexcept {
    block_.reset();
    n1_ = n2_ = 0;
    allocated_ = false;
  }

  // Exactly max(n1, 0) x max(n2, 0), keeping the block of rows and columns both shapes share.
  void resize(std::int32_t n1, std::int32_t n2, ArrayFill<T> fill = std::nullopt, ArrayLabel label = std::nullopt) {
    if (allocated_ && n1_ == n1 && n2_ == n2) return;
    replace(std::max(n1, 0), std::max(n2, 0), fill, Op::resize, label);
  }

  // Room for at least n1 x n2; each exceeded extent grows by itself by the 1.5 rule.
  void grow(std::int32_t n1, std::int32_t n2, ArrayFill<T> fill = std::nullopt, ArrayLabel label = std::nullopt) {
    if (allocated_ && n1 <= n1_ && n2 <= n2_) return;
    if (!allocated_) {
      replace(std::max(n1, 0), std::max(n2, 0), fill, Op::grow, label);
      return;
    }
    const std::int32_t c1 = n1 > n1_ ? std::max(arraydetail::growth32(n1_), n1) : n1_;
    const std::int32_t c2 = n2 > n2_ ? std::max(arraydetail::growth32(n2_), n2) : n2_;
    replace(c1, c2, fill, Op::grow, label);
  }

  // Stores value at (i, j), both >= 1, growing each exceeded extent by the 1.5 rule.
  void assignsingle(std::int32_t i, std::int32_t j, T value, ArrayLabel label = std::nullopt) {
    if (i < 1 || j < 1) {
      arraydetail::usageerror(Op::assignsingle, arraydetail::ElementInfo<T>::suffix, true,
                              "position (" + std::to_string(i) + ", " + std::to_string(j) + ") is below (1, 1)");
    }
    if (!allocated_) {
      take(newblock(i, j, Op::assignsingle, label), i, j);
    } else if (i > n1_ || j > n2_) {
      const std::int32_t c1 = i > n1_ ? std::max(arraydetail::growth64(n1_), i) : n1_;
      const std::int32_t c2 = j > n2_ ? std::max(arraydetail::growth64(n2_), j) : n2_;
      replace(c1, c2, std::nullopt, Op::assignsingle, label);
    }
    block_[offset(i, j)] = value;
  }

 private:
  using Op = arraydetail::Op;

  std::int64_t offset(std::int32_t i, std::int32_t j) const noexcept {
    return (std::int64_t{j} - 1) * n1_ + (i - 1);
  }
  // The size check stays in line so that the code after it knows the block's bounds.
  static std::unique_ptr<T[]> newblock(std::int32_t c1, std::int32_t c2, Op op, const ArrayLabel& label) {
    const std::int64_t count = std::int64_t{c1} * c2;
    if (!arraydetail::representable<T>(count, 0)) {
      arraydetail::allocationfailed(op, arraydetail::ElementInfo<T>::name, true, label);
    }
    return arraydetail::newblock<T>(count, 0, op, true, label);
  }
  void take(std::unique_ptr<T[]> block, std::int32_t n1, std::int32_t n2) noexcept {
    block_ = std::move(block);
    n1_ = n1;
    n2_ = n2;
    allocated_ = true;
  }

  // A new c1 x c2 block holding the fill and the part of the old contents that fits.
  void replace(std::int32_t c1, std::int32_t c2, const ArrayFill<T>& fill, Op op, const ArrayLabel& label) {
    auto block = newblock(c1, c2, op, label);
    if (fill) std::fill_n(block.get(), std::int64_t{c1} * c2, *fill);
    const std::int32_t rows = std::min(n1_, c1), cols = std::min(n2_, c2);
    for (std::int32_t j = 0; j < cols; ++j) {
      const T* from = block_.get() + std::int64_t{j} * n1_;
      std::copy(from, from + rows, block.get() + std::int64_t{j} * c1);
    }
    take(std::move(block), c1, c2);
  }

  void copyfrom(const DynArray2D& other) {
    if (!other.allocated_) {
      deallocate();
      return;
    }
    auto block = newblock(other.n1_, other.n2_, Op::allocate, std::nullopt);
    std::copy(other.block_.get(), other.block_.get() + other.size(), block.get());
    take(std::move(block), other.n1_, other.n2_);
  }

  std::unique_ptr<T[]> block_;
  std::int32_t n1_ = 0;
  std::int32_t n2_ = 0;
  bool allocated_ = false;
};

// A one-dimensional array that the erase operations can edit in place: any writable sized
// random-access range of an element type, also a view into another array.
template <class R>
concept ErasableArray = std::ranges::random_access_range<R> && std::ranges::sized_range<R> &&
                        ArrayElement<std::ranges::range_value_t<R>> &&
                        std::indirectly_copyable<std::ranges::iterator_t<R>, std::ranges::iterator_t<R>>;

namespace arraydetail {

template <class R>
void erasepositions(Op op, std::int32_t first, std::int32_t last, std::int32_t& count, R&& array) {
  using T = std::ranges::range_value_t<R>;
  const std::int64_t k = std::int64_t{last} - first + 1;
  if (k <= 0) return;
  const auto size = static_cast<std::int64_t>(std::ranges::size(array));
  if (count < 0 || count > size) {
    usageerror(op, ElementInfo<T>::suffix, false,
               "count " + std::to_string(count) + " is outside 0 to " + std::to_string(size));
  }
  if (first < 1 || last > count) {
    const std::string where = op == Op::erasesingle
                                  ? "position " + std::to_string(first) + " is"
                                  : "positions " + std::to_string(first) + " to " + std::to_string(last) + " are";
    usageerror(op, ElementInfo<T>::suffix, false, where + " outside 1 to " + std::to_string(count));
  }
  if (count > last) {
    const auto base = std::ranges::begin(array);
    std::copy(base + last, base + count, base + (first - 1));
  }
  count -= static_cast<std::int32_t>(k);
}

}  // namespace arraydetail

// Removes positions first to last (1 <= first, last <= count) from a list, moving the later
// ones down; the storage stays as it is and never grows.
template <class R>
  requires ErasableArray<R>
void eraserange(std::int32_t first, std::int32_t last, std::int32_t& count, R&& array) {
  arraydetail::erasepositions(arraydetail::Op::eraserange, first, last, count, std::forward<R>(array));
}

template <class R>
  requires ErasableArray<R>
void erasesingle(std::int32_t pos, std::int32_t& count, R&& array) {
  arraydetail::erasepositions(arraydetail::Op::erasesingle, pos, pos, count, std::forward<R>(array));
}

}  // namespace kelpra
