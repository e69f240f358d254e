// Nearest-node searches, lower-casing and the comment-free copy of the control file.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "plot/nodesearch.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

class NodeSearch : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    echo = UnitHandle::take();
    ASSERT_EQ(openunit(echo.unit(), (dir / "eco").string(), FileForm::formatted, OpenStatus::replace), 0);
    plot_data.ieco = echo.unit();
  }
  // The lines the echo file holds so far.
  std::vector<std::string> echoed() {
    std::fflush(unitstream(echo.unit()));
    std::vector<std::string> lines;
    std::string text = testkit::readfile(dir / "eco");
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  static DOMAIN nodes(const std::vector<std::array<double, 3>>& points) {
    DOMAIN d;
    d.name = "pm";
    d.nn = static_cast<std::int32_t>(points.size());
    for (const auto& p : points) {
      d.x.push_back(p[0]);
      d.y.push_back(p[1]);
      d.z.push_back(p[2]);
    }
    return d;
  }

  testkit::TempDir dir;
  UnitHandle echo;
};

TEST_F(NodeSearch, NearestNodeTiesKeepTheLowerNumber) {
  const DOMAIN d = nodes({{5, 5, 5}, {0, 0, 0}, {2, 0, 0}, {1, 1, 0}});
  std::int32_t node = 4;
  find_node(1.0, 0.0, 0.0, node, d);  // nodes 2, 3 and 4 all lie 1 away
  EXPECT_EQ(node, 2);
  EXPECT_EQ(echoed(), (std::vector<std::string>{
                          "", "",
                          "Target x, y, z          1.00000          0.00000          0.00000",
                          "Found x, y, z           0.00000          0.00000          0.00000",
                          "Delta x, y, z          -1.00000          0.00000          0.00000"}));
}

TEST_F(NodeSearch, NothingNearerThanFarLeavesTheNode) {
  DOMAIN d = nodes({{2e20, 0, 0}});
  std::int32_t node = 7;
  find_node(0, 0, 0, node, d);
  EXPECT_EQ(node, 7);
  d = nodes({});
  find_node(0, 0, 0, node, d);
  EXPECT_EQ(node, 7);
  // Only the target line: node 7 is no node of these domains.
  EXPECT_EQ(echoed().size(), 6u);
}

TEST_F(NodeSearch, TopNodeOfTheNearestColumn) {
  // Two columns of three layers; the top two nodes of column 2 have the same elevation.
  DOMAIN d = nodes({{0, 0, 0}, {10, 0, 0}, {0, 0, 1}, {10, 0, 4}, {0, 0, 2}, {10, 0, 4}});
  plot_data.nz = 3;
  std::int32_t node = 0;
  find_top_surface_node_from_xy(9.0, 1.0, node, d);
  EXPECT_EQ(node, 4);  // the lower of the two equal tops
  find_top_surface_node_from_xy(-1.0, 0.0, node, d);
  EXPECT_EQ(node, 5);
  const std::vector<std::string> lines = echoed();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[2], "  Target x, y           9.00000          1.00000");
  EXPECT_EQ(lines[3], "Found x, y, z          10.00000          0.00000          4.00000");
  EXPECT_EQ(lines[4], "  Delta x, y            1.00000         -1.00000");
}

TEST_F(NodeSearch, TopNodeNeedsAWholeLayer) {
  DOMAIN d = nodes({{0, 0, 0}, {0, 0, 1}});
  std::int32_t node = 9;
  plot_data.nz = 0;
  find_top_surface_node_from_xy(0, 0, node, d);
  EXPECT_EQ(node, 9);
  plot_data.nz = 3;  // more layers than nodes
  find_top_surface_node_from_xy(0, 0, node, d);
  EXPECT_EQ(node, 9);
}

TEST_F(NodeSearch, LowerCaseChangesOnlyBasicLetters) {
  std::string option = "--MAKE_Plot_CONTROL";
  lcase(option);
  EXPECT_EQ(option, "--make_plot_control");
  std::string other = "AZ09+-_@[`\xC4 Q  ";
  lcase(other);
  EXPECT_EQ(other, "az09+-_@[`\xC4 q  ");
}

class StripComments : public NodeSearch {
 protected:
  // Runs the stripper on the text and returns the copy's lines.
  std::vector<std::string> strip(const std::string& text) {
    testkit::writefile(dir / "control", text);
    UnitHandle in = UnitHandle::take(), out = UnitHandle::take();
    EXPECT_EQ(openunit(in.unit(), (dir / "control").string(), FileForm::formatted, OpenStatus::old), 0);
    EXPECT_EQ(openunit(out.unit(), (dir / "scratch_plot").string(), FileForm::formatted, OpenStatus::replace), 0);
    strip_comments(in.unit(), out.unit());
    // The copy is rewound: reading starts at its first line.
    std::vector<std::string> lines;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, unitstream(out.unit())) != nullptr) {
      std::string line(buffer);
      EXPECT_EQ(line.size(), 257u) << line;  // 256 characters and the line end
      line.resize(static_cast<std::size_t>(len_trim(line.substr(0, 256))));
      lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(StripComments, BlankAndCommentLinesDisappear) {
  const std::string text =
      "   ! a comment\n"
      "\n"
      "     \n"
      "   tecplot mode\n"
      "write pm domain file ! kept whole\n"
      "!\n"
      "end\r\n";
  EXPECT_EQ(strip(text),
            (std::vector<std::string>{"tecplot mode", "write pm domain file ! kept whole", "end"}));
}

TEST_F(StripComments, IncludeLinesAreExpandedOneLevel) {
  testkit::writefile(dir / "inc.txt", "  first\n! skipped\n\n  include deeper.txt\nlast");
  const std::string text = "before\n  include   " + (dir / "inc.txt").string() + "  \nInclude " +
                           (dir / "inc.txt").string() + "\nINCLUDE x\nafter\n";
  EXPECT_EQ(strip(text), (std::vector<std::string>{"before", "first", "include deeper.txt", "last",
                                                   "Include " + (dir / "inc.txt").string(), "INCLUDE x",
                                                   "after"}));
}

TEST_F(StripComments, LongLinesAreCut) {
  const std::string longline = "  " + std::string(250, 'a') + std::string(50, 'b');
  const std::vector<std::string> lines = strip(longline + "\nnext\n");
  ASSERT_EQ(lines.size(), 2u);
  // Cut at 256 characters as read, then left-adjusted.
  EXPECT_EQ(lines[0], std::string(250, 'a') + std::string(4, 'b'));
  EXPECT_EQ(lines[1], "next");
}

TEST_F(StripComments, MissingIncludeFileStops) {
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(strip("a\ninclude nothere.txt\n"), RunStopped);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("INPUT ERROR"), std::string::npos) << err;
  EXPECT_NE(err.find("Include file not found: nothere.txt\n"), std::string::npos) << err;
}

TEST_F(StripComments, ReadFailureIsAnInputError) {
  // A directory opens but cannot be read: the failure must not pass for the end of the file.
  UnitHandle in = UnitHandle::take(), out = UnitHandle::take();
  ASSERT_EQ(openunit(in.unit(), dir.path().string(), FileForm::formatted, OpenStatus::old), 0);
  ASSERT_EQ(openunit(out.unit(), (dir / "scratch_plot").string(), FileForm::formatted, OpenStatus::replace), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(strip_comments(in.unit(), out.unit()), RunStopped);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("INPUT ERROR"), std::string::npos) << err;
  EXPECT_NE(err.find("Error reading file: " + dir.path().string()), std::string::npos) << err;
}

}  // namespace
}  // namespace kelpra
