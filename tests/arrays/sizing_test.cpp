// Allocate, resize, grow, shrink and deallocate, and their allocation reports.
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <type_traits>

#include "tests/arrays/arraytesting.hpp"

namespace kelpra {
namespace {

using namespace arraytesting;

// Each typed name takes only its own element type.
static_assert(std::is_invocable_v<decltype(allocate_i4), int, I4Array&>);
static_assert(!std::is_invocable_v<decltype(allocate_i4), int, R8Array&>);
static_assert(!std::is_invocable_v<decltype(erasesingle_i4), int, int&, R8Array&>);

using Sizing = ArraysTest;

TEST_F(Sizing, AllocateKeepsStorageOfTheSameSize) {
  I4Array a = i4({1, 2, 3, 4, 5});
  const auto* before = a.data();
  allocate_i4(5, a, 7);
  EXPECT_EQ(values(a), V(5, 7));
  allocate_i4(5, a);
  EXPECT_EQ(values(a), V(5, 7));
  EXPECT_EQ(a.data(), before);

  I4Array b = i4({1, 2, 3, 4});
  allocate_i4(5, b, 7);
  EXPECT_EQ(values(b), V(5, 7));
}

TEST_F(Sizing, NoStorageAndZeroElementsAreDistinct) {
  I4Array a;
  EXPECT_FALSE(a.allocated());
  allocate_i4(-3, a);
  EXPECT_TRUE(a.allocated());
  EXPECT_EQ(a.size(), 0);
  deallocate_i4(a);
  EXPECT_FALSE(a.allocated());
  deallocate_i4(a);
  EXPECT_FALSE(a.allocated());
  // Shrinking an array with no storage does not give it any.
  shrink_i4(3, a);
  EXPECT_FALSE(a.allocated());
}

TEST_F(Sizing, ResizeKeepsLeadingElements) {
  I4Array a = i4({1, 2, 3, 4, 5});
  const auto* before = a.data();
  resize_i4(5, a, 0);
  EXPECT_EQ(a.data(), before);
  EXPECT_EQ(values(a), (V{1, 2, 3, 4, 5}));

  I4Array b = i4({1, 2, 3});
  resize_i4(5, b, 0);
  EXPECT_EQ(values(b), (V{1, 2, 3, 0, 0}));
  I4Array c = i4({1, 2, 3});
  resize_i4(2, c);
  EXPECT_EQ(values(c), (V{1, 2}));
  resize_i4(-4, c);
  EXPECT_TRUE(c.allocated());
  EXPECT_EQ(c.size(), 0);
}

TEST_F(Sizing, TwoDimensionalResizeKeepsTheCommonBlock) {
  R8Array2D a;
  allocate_r8_2d(3, 4, a);
  for (int j = 1; j <= 4; ++j)
    for (int i = 1; i <= 3; ++i) a(i, j) = 10 * i + j;
  resize_r8_2d(5, 2, a, -1.0);
  ASSERT_EQ(a.extent1(), 5);
  ASSERT_EQ(a.extent2(), 2);
  for (int j = 1; j <= 2; ++j) {
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(a(i, j), 10 * i + j);
    for (int i = 4; i <= 5; ++i) EXPECT_EQ(a(i, j), -1.0);
  }
  // Stored by columns.
  EXPECT_EQ(a.data()[5], a(1, 2));
}

TEST_F(Sizing, TextElementsAreCutOrPaddedToTheWidth) {
  TextArray a(20);
  resize_s(3, a, "");
  ASSERT_EQ(a.size(), 3);
  for (const auto& e : a) EXPECT_EQ(e, std::string(20, ' '));
  allocate_s(2, a, "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(a(1), "abcdefghijklmnopqrst");
  grow_s(3, a, "x");
  EXPECT_EQ(a.size(), 3);
  EXPECT_EQ(a(3), "x" + std::string(19, ' '));
  a.set(1, "short");
  EXPECT_EQ(a(1), "short" + std::string(15, ' '));
  // A fill taken from the array itself survives the reallocation.
  allocate_s(4, a, a(2));
  EXPECT_EQ(a(4), "abcdefghijklmnopqrst");

  // Assignment keeps the target's width; copies are deep.
  TextArray narrow(4);
  narrow = a;
  EXPECT_EQ(narrow.width(), 4);
  EXPECT_EQ(narrow(1), "abcd");
  TextArray copy(a);
  a.set(1, "changed");
  EXPECT_EQ(copy(1), "abcdefghijklmnopqrst");
  TextArray moved(std::move(copy));
  EXPECT_FALSE(copy.allocated());
  EXPECT_EQ(copy.width(), 20);
  EXPECT_EQ(moved.size(), 4);
}

TEST_F(Sizing, GrowUsesTheBinary32Rule) {
  const std::vector<std::pair<int, int>> cases = {{10, 15}, {4, 6}, {3, 5}, {0, 1}};
  for (auto [size, capacity] : cases) {
    I4Array a;
    allocate_i4(size, a);
    grow_i4(size + 1, a);
    EXPECT_EQ(a.size(), capacity) << "from " << size;
  }
  I4Array a = i4(V(10, 1));
  const auto* before = a.data();
  grow_i4(10, a);
  EXPECT_EQ(a.data(), before);
  I4Array none;
  grow_i4(10, none);
  EXPECT_EQ(none.size(), 10);

  // Growing by one element at a time.
  I4Array seq;
  allocate_i4(1, seq);
  std::vector<std::int32_t> sizes;
  for (int k = 0; k < 7; ++k) {
    grow_i4(seq.size() + 1, seq);
    sizes.push_back(seq.size());
  }
  EXPECT_EQ(sizes, (V{2, 3, 5, 8, 12, 18, 27}));
}

TEST_F(Sizing, GrowRoundsInBinary32) {
  I4Array a;
  allocate_i4(16777217, a, 1);
  grow_i4(16777218, a);
  EXPECT_EQ(a.size(), 25165824);
  EXPECT_EQ(a(16777217), 1);
  // Where the binary32 and binary64 rules part.
  I4Array b;
  allocate_i4(5592407, b);
  grow_i4(5592408, b);
  EXPECT_EQ(b.size(), 8388610);
}

TEST_F(Sizing, GrowFillsOnlyTheNewPositions) {
  I4Array a = i4({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  grow_i4(12, a, 9);
  ASSERT_EQ(a.size(), 15);
  for (int p = 1; p <= 10; ++p) EXPECT_EQ(a(p), p);
  for (int p = 11; p <= 15; ++p) EXPECT_EQ(a(p), 9);
}

TEST_F(Sizing, TwoDimensionalGrowGrowsEachExtentByItself) {
  R8Array2D a;
  allocate_r8_2d(4, 6, a, 2.5);
  grow_r8_2d(3, 9, a, 0.0);
  EXPECT_EQ(a.extent1(), 4);
  EXPECT_EQ(a.extent2(), 9);
  EXPECT_EQ(a(4, 6), 2.5);
  EXPECT_EQ(a(4, 7), 0.0);
  grow_r8_2d(5, 9, a);
  EXPECT_EQ(a.extent1(), 6);
  EXPECT_EQ(a.extent2(), 9);
  EXPECT_EQ(a(4, 6), 2.5);
}

TEST_F(Sizing, ShrinkKeepsLeadingElements) {
  I4Array a = i4({1, 2, 3, 4, 5});
  shrink_i4(5, a);
  EXPECT_EQ(a.size(), 5);
  shrink_i4(3, a);
  EXPECT_EQ(values(a), (V{1, 2, 3}));
  shrink_i4(-1, a);
  EXPECT_TRUE(a.allocated());
  EXPECT_EQ(a.size(), 0);
}

TEST_F(Sizing, LogicalAndOtherElementTypes) {
  LogicalArray l;
  allocate_l(3, l, true);
  resize_l(4, l, false);
  EXPECT_EQ(values(l), (std::vector<bool>{true, true, true, false}));
  I8Array i8;
  grow_i8(2, i8, std::int64_t{1} << 40);
  EXPECT_EQ(i8(2), std::int64_t{1} << 40);
  R4Array r4;
  resize_r4(2, r4, 0.5F);
  shrink_r4(1, r4);
  EXPECT_EQ(values(r4), std::vector<float>{0.5F});
}

TEST_F(Sizing, UnrepresentableSizeIsAnAllocationFailure) {
  R8Array2D a;
  std::string err = stopped([&] { allocate_r8_2d(INT_MAX, INT_MAX, a); });
  EXPECT_NE(err.find("Allocation failed: allocateArray: 2D real(8) array\n"), std::string::npos) << err;
  EXPECT_NE(err.find("Error number: 41"), std::string::npos);
  allocate_r8_2d(2, 2, a);
  err = stopped([&] { grow_r8_2d(INT_MAX, INT_MAX, a); });
  EXPECT_NE(err.find("Allocation failed: growArray: 2D real(8) array\n"), std::string::npos) << err;
  I4Array2D b;
  err = stopped([&] { resize_i4_2d(INT_MAX, INT_MAX, b, 0, "Tecplot data type array"); });
  EXPECT_NE(err.find("Allocation failed: Tecplot data type array\n"), std::string::npos) << err;
}

#if !defined(__SANITIZE_ADDRESS__)
// Caps the address space so that large requests really fail, for the life of the object.
class AddressSpaceCap {
 public:
  AddressSpaceCap() {
    getrlimit(RLIMIT_AS, &saved_);
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit cap = saved_;
    cap.rlim_cur = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{256} << 20);
    setrlimit(RLIMIT_AS, &cap);
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }

 private:
  rlimit saved_{};
};

TEST_F(Sizing, FailedRequestsAreReportedWithTheirLabels) {
  std::string err;
  {
    AddressSpaceCap cap;
    R8Array a;
    err = stopped([&] { resize_r8(INT_MAX, a); });
    EXPECT_NE(err.find("Allocation failed: resizeArray: real(8) array\n"), std::string::npos) << err;
    TextArray t(1 << 29);
    err = stopped([&] { allocate_s(2, t); });
    EXPECT_NE(err.find("Allocation failed: allocateArray: character string array\n"), std::string::npos) << err;
    I4Array empty;
    std::int32_t count = 0;
    err = stopped([&] { insertfill_i4(1, INT_MAX, 0, count, empty); });
    EXPECT_NE(err.find("Allocation failed: insertFill: integer(4) array\n"), std::string::npos) << err;
  }
}
#endif

}  // namespace
}  // namespace kelpra
