// Lists kept in dynamic arrays: insert, erase, push-back and assign, and calls outside
// their limits.
#include <ranges>
#include <span>

#include "tests/arrays/arraytesting.hpp"

namespace kelpra {
namespace {

using namespace arraytesting;
using Editing = ArraysTest;

TEST_F(Editing, InsertFillGrowsByTheBinary64Rule) {
  I4Array a = list({1, 2, 3, 4}, 4);
  std::int32_t count = 4;
  insertfill_i4(2, 3, 0, count, a);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(a.size(), 7);
  EXPECT_EQ(leading(a, 7), (V{1, 0, 0, 0, 2, 3, 4}));

  insertfill_i4(1, 0, 5, count, a);
  EXPECT_EQ(count, 7);
  I4Array none;
  std::int32_t zero = 0;
  insertfill_i4(1, 0, 5, zero, none);
  EXPECT_FALSE(none.allocated());
  insertfill_i4(1, 2, 4, zero, none);
  EXPECT_EQ(none.size(), 2);
  EXPECT_EQ(leading(none, zero), (V{4, 4}));
}

TEST_F(Editing, InsertAtBothEnds) {
  I4Array a = list({5, 6}, 3);
  const auto* before = a.data();
  std::int32_t count = 2;
  insertsingle_i4(1, 9, count, a);
  EXPECT_EQ(leading(a, count), (V{9, 5, 6}));
  EXPECT_EQ(a.data(), before);

  I4Array b = list({5, 6}, 3);
  count = 2;
  insertsingle_i4(3, 9, count, b);
  EXPECT_EQ(leading(b, count), (V{5, 6, 9}));
  // Full now: both ends again, through new storage.
  insertsingle_i4(4, 10, count, b);
  insertsingle_i4(1, 4, count, b);
  EXPECT_EQ(leading(b, count), (V{4, 5, 6, 9, 10}));
  EXPECT_EQ(b.size(), 5);
}

TEST_F(Editing, InsertRange) {
  R8Array a;
  std::int32_t count = 0;
  insertrange_r8(1, std::vector<double>{}, count, a);
  EXPECT_FALSE(a.allocated());
  insertrange_r8(1, std::vector<double>{1.5, 2.5, 3.5}, count, a);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::vector<double>(a.begin(), a.end()), (std::vector<double>{1.5, 2.5, 3.5}));

  // Every second element of another array, as a view.
  I4Array src = list({1, 2, 3, 4, 5, 6}, 6);
  auto odd = std::views::iota(0, 3) | std::views::transform([&](int k) { return src(2 * k + 1); });
  I4Array b = list({7, 8}, 2);
  count = 2;
  insertrange_i4(2, odd, count, b);
  EXPECT_EQ(leading(b, count), (V{7, 1, 3, 5, 8}));

  // A source taken from the target itself is read before anything moves.
  I4Array c = list({1, 2, 3}, 10);
  count = 3;
  insertrange_i4(1, c.view().subspan(1, 2), count, c);
  EXPECT_EQ(leading(c, count), (V{2, 3, 1, 2, 3}));
}

TEST_F(Editing, InsertRangeOfTextCutsOrPads) {
  TextArray a(8);
  TextArray wide(12);
  TextArray narrow(3);
  std::int32_t n = 0;
  pushback_s("abcdefghijkl", n, wide);
  n = 0;
  pushback_s("xyz", n, narrow);
  std::int32_t count = 0;
  insertrange_s(1, wide, count, a);
  insertrange_s(2, narrow, count, a);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(a(1), "abcdefgh");
  EXPECT_EQ(a(2), "xyz     ");
  // A value taken from the array itself survives the growth.
  pushback_s(a(1), count, a);
  insertsingle_s(1, a(2), count, a);
  EXPECT_EQ(a(1), "xyz     ");
  EXPECT_EQ(a(4), "abcdefgh");
}

TEST_F(Editing, InsertRangeOfTextFromTheTargetItselfSurvivesTheGrowth) {
  TextArray a(4);
  std::int32_t count = 0;
  pushback_s("ab", count, a);
  pushback_s("cd", count, a);
  ASSERT_EQ(a.size(), count);  // full: the insert must grow the array
  insertrange_s(2, a.view(), count, a);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(a(1), "ab  ");
  EXPECT_EQ(a(2), "ab  ");
  EXPECT_EQ(a(3), "cd  ");
  EXPECT_EQ(a(4), "cd  ");
}

TEST_F(Editing, EraseMovesLaterPositionsDown) {
  I4Array a = list({1, 2, 3, 4, 5}, 5);
  std::int32_t count = 5;
  eraserange_i4(2, 3, count, a);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(leading(a, 5), (V{1, 4, 5, 4, 5}));
  eraserange_i4(3, 2, count, a);
  EXPECT_EQ(count, 3);
  // At both ends.
  erasesingle_i4(3, count, a);
  EXPECT_EQ(leading(a, 5), (V{1, 4, 5, 4, 5}));
  erasesingle_i4(1, count, a);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(a(1), 4);

  // Any array of the element type, also a view.
  std::vector<double> v{1, 2, 3, 4};
  count = 4;
  erasesingle_r8(2, count, std::span<double>(v));
  EXPECT_EQ(v, (std::vector<double>{1, 3, 4, 4}));
}

TEST_F(Editing, PushbackGrowth) {
  I4Array a;
  std::int32_t count = 7;
  pushback_i4(3, count, a);
  EXPECT_EQ(a.size(), 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(a(1), 3);

  const std::vector<std::pair<int, int>> full = {{0, 1}, {1, 2}, {2, 3}, {3, 5}, {4, 6}};
  for (auto [size, capacity] : full) {
    I4Array b = list(V(size, 1), size);
    count = size;
    pushback_i4(2, count, b);
    EXPECT_EQ(b.size(), capacity) << "from " << size;
    EXPECT_EQ(b(count), 2);
  }

  I4Array c = list({1}, 3);
  const auto* before = c.data();
  count = 1;
  pushback_i4(2, count, c);
  EXPECT_EQ(c.data(), before);
  EXPECT_EQ(leading(c, count), (V{1, 2}));

  std::vector<std::int32_t> capacities;
  I4Array d;
  count = 0;
  for (int k = 0; k < 30; ++k) {
    pushback_i4(k, count, d);
    if (capacities.empty() || capacities.back() != d.size()) capacities.push_back(d.size());
  }
  EXPECT_EQ(capacities, (V{1, 2, 3, 5, 8, 12, 18, 27, 41}));
  EXPECT_EQ(d(30), 29);
}

TEST_F(Editing, EditingRoundsInBinary64) {
  I4Array a;
  allocate_i4(5592407, a);
  std::int32_t count = a.size();
  pushback_i4(1, count, a);
  EXPECT_EQ(a.size(), 8388611);
}

TEST_F(Editing, AssignSingleGrows) {
  I4Array a = list({1, 2, 3, 4}, 4);
  assignsingle_i4(7, 70, a);
  EXPECT_EQ(a.size(), 7);
  EXPECT_EQ(a(7), 70);
  EXPECT_EQ(a(4), 4);
  I4Array b = list({1, 2, 3, 4}, 4);
  assignsingle_i4(5, 50, b);
  EXPECT_EQ(b.size(), 6);
  I4Array none;
  assignsingle_i4(3, 30, none);
  EXPECT_EQ(none.size(), 3);
  EXPECT_EQ(none(3), 30);

  I4Array2D m;
  allocate_i4_2d(4, 3, m, 1);
  assignsingle_i4_2d(5, 2, 8, m);
  EXPECT_EQ(m.extent1(), 6);
  EXPECT_EQ(m.extent2(), 3);
  EXPECT_EQ(m(5, 2), 8);
  EXPECT_EQ(m(4, 3), 1);
  const auto* before = m.data();
  assignsingle_i4_2d(2, 2, 9, m);
  EXPECT_EQ(m.data(), before);
  LogicalArray2D flags;
  assignsingle_l_2d(2, 3, true, flags);
  EXPECT_EQ(flags.extent1(), 2);
  EXPECT_TRUE(flags(2, 3));
}

TEST_F(Editing, CallsOutsideTheLimitsStopWithoutWriting) {
  I4Array a = list({1, 2, 3}, 4);
  std::int32_t count = 3, toomany = 5;
  const std::vector<std::pair<std::function<void()>, std::string>> calls = {
      {[&] { insertsingle_i4(0, 9, count, a); }, "insertsingle_i4: position 0 is outside 1 to 4"},
      {[&] { insertfill_i4(5, 2, 9, count, a); }, "insertfill_i4: position 5 is outside 1 to 4"},
      {[&] { insertrange_i4(5, V{1}, count, a); }, "insertrange_i4: position 5 is outside 1 to 4"},
      {[&] { insertsingle_i4(1, 9, toomany, a); }, "insertsingle_i4: count 5 is outside 0 to 4"},
      {[&] { pushback_i4(9, toomany, a); }, "pushback_i4: count 5 is outside 0 to 4"},
      {[&] { eraserange_i4(2, 4, count, a); }, "eraserange_i4: positions 2 to 4 are outside 1 to 3"},
      {[&] { erasesingle_i4(0, count, a); }, "erasesingle_i4: position 0 is outside 1 to 3"},
      {[&] { assignsingle_i4(0, 9, a); }, "assignsingle_i4: position 0 is below 1"},
  };
  for (const auto& [call, message] : calls) {
    const std::string err = stopped(call);
    EXPECT_NE(err.find("*** FATAL ERROR, HALTING EXECUTION ***"), std::string::npos);
    EXPECT_NE(err.find(message), std::string::npos) << err;
  }
  EXPECT_EQ(count, 3);
  EXPECT_EQ(toomany, 5);
  EXPECT_EQ(a.size(), 4);
  EXPECT_EQ(leading(a, 4), (V{1, 2, 3, -1}));

  I4Array2D m;
  EXPECT_NE(stopped([&] { assignsingle_i4_2d(1, 0, 9, m); }).find("assignsingle_i4_2d: position (1, 0) is below (1, 1)"),
            std::string::npos);
  EXPECT_FALSE(m.allocated());
}

}  // namespace
}  // namespace kelpra
