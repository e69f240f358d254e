// Boundary-condition node sets as VTK point sets: the names of the summary file, the node
// files' coordinate blocks, node files that do not read, and the point sets loaded by VTK.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "paraview/paraview.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/capture.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/process.hpp"
#include "tests/kit/vtkreader.hpp"

namespace kelpra {
namespace {

using testkit::readfile;
using testkit::writefile;

class BcExport : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = (dir_ / "abc").string();
  }
  std::filesystem::path file(const std::string& suffix) const { return plot_data.prefix + suffix; }
  // Runs the export; the screen and the reports land in out_, err_.
  void run() {
    const testkit::Ending e = testkit::ending(addition_paraview_bclocationout);
    out_ = e.out;
    err_ = e.err;
    EXPECT_EQ(e.status, -1) << err_;  // not stopped
  }
  std::vector<std::string> vtkfiles() const { return testkit::vtkfiles(dir_.path()); }

  testkit::TempDir dir_;
  std::string out_, err_;
};

const std::string kHeader = "# vtk DataFile Version 2.0\nBOUNDARY NODE LOCATIONS\nASCII\n\nDATASET POLYDATA\n";

TEST_F(BcExport, NamesAreTheFirstWordOfMarkedLines) {
  writefile(file("o.boundary_conditions"),
            "Boundary conditions\n   inflow_west    ! name\n! name of nothing\n\t \tout\t! name\n"
            "no marker here\n  x ! names\n");
  UnitHandle unit = UnitHandle::take();
  ASSERT_EQ(openunit(unit.unit(), file("o.boundary_conditions").string(), FileForm::formatted, OpenStatus::old), 0);
  std::vector<std::string> names = {"kept"};
  get_bc_names_from_bc_file(unit.unit(), names);
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "inflow_west", "!", "out", "x"}));
}

TEST_F(BcExport, MissingSummaryIsReportedOnTheScreen) {
  run();
  EXPECT_EQ(out_, " *o.boundary_conditions FILE DOES NOT EXISTS\n");
  EXPECT_EQ(err_, "");
  writefile(file("o.boundary_conditions"), "no names\n");
  run();
  EXPECT_EQ(out_ + err_, "");
  EXPECT_TRUE(vtkfiles().empty());
}

TEST_F(BcExport, CoordinateBlocksFillTheirAxes) {
  writefile(file("o.boundary_conditions"), " west ! name\n east ! name\n absent ! name\n west ! name\n");
  // X and Y only: z is 0.0.
  writefile(file("o.Bc.west.dat"),
            "TITLE = \"west\"\nVARIABLES = \"X\" \"Y\"\nZONE T=\"west\", I=  2, F=BLOCK\n# X\n1.5\n2.5 ignored\n"
            "# Y\n\n-3.0\n4.0\n");
  // A marker without "#" leaves its axis at zero; the next line is the next block's marker.
  writefile(file("o.Bc.east.dat"),
            "TITLE\nVARIABLES = \"Z\",\"X\",\"Y\"\nZONE I=\t1,\nno values for Z\n# X\n7\n# Y\n8\n");
  run();
  EXPECT_EQ(out_ + err_, "");
  EXPECT_EQ(vtkfiles(), (std::vector<std::string>{"abco.Bc.east.vtk", "abco.Bc.west.vtk"}));
  EXPECT_EQ(readfile(file("o.Bc.west.vtk")),
            kHeader +
                "POINTS          2 double\n"
                "   1.5000000000000000        -3.0000000000000000         0.0000000000000000     \n"
                "   2.5000000000000000         4.0000000000000000         0.0000000000000000     \n");
  EXPECT_EQ(readfile(file("o.Bc.east.vtk")),
            kHeader +
                "POINTS          1 double\n"
                "   7.0000000000000000         8.0000000000000000         0.0000000000000000     \n");
}

TEST_F(BcExport, NodeFilesThatDoNotReadAreSkipped) {
  const struct {
    std::string name, text, problem;
  } cases[] = {
      {"short", "T\nVARIABLES = \"X\"\nZONE I=3,\n# X\n1\n2\n", "it ends after 2 of the 3 values of X"},
      {"nozone", "T\nVARIABLES = \"X\"\nZONE J=3,\n# X\n1\n", "its zone line gives no point count after \"I=\""},
      {"badcount", "T\nVARIABLES = \"X\"\nZONE I=-3,\n", "its zone line gives no point count after \"I=\""},
      {"noaxes", "T\nVARIABLES = \"P\"\nZONE I=1,\n# P\n1\n", "its variables line names none of"},
      {"nomarker", "T\nVARIABLES = \"X\" \"Y\"\nZONE I=1,\n# X\n1\n", "it ends before the block of Y"},
      {"badvalue", "T\nVARIABLES = \"X\"\nZONE I=2,\n# X\n1\nabc\n", "\"abc\", value 2 of X, is not a number"},
      {"headonly", "T\n", "it ends before its zone line"},
      {"nodata", "T\n\"X\"\nZONE I=2147483647,\nx\n",
       "its zone line gives 2147483647 points, but it holds values for 0 of them"},
  };
  std::string summary;
  for (const auto& c : cases) {
    summary += c.name + " ! name\n";
    writefile(file("o.Bc." + c.name + ".dat"), c.text);
  }
  writefile(file("o.Bc.good.dat"), "T\n\"X\"\nZONE I=1,\n# X\n1\n");
  writefile(file("o.boundary_conditions"), summary + "good ! name\n");
  run();
  EXPECT_EQ(vtkfiles(), std::vector<std::string>{"abco.Bc.good.vtk"});
  for (const auto& c : cases) {
    EXPECT_NE(err_.find("The boundary-condition node file " + file("o.Bc." + c.name + ".dat").string() +
                        " is skipped: " + c.problem),
              std::string::npos)
        << c.name << err_;
  }
}

TEST_F(BcExport, PointSetsLoadInVtk) {
  const std::optional<std::filesystem::path> python = testkit::findvtkpython();
  if (!python) GTEST_SKIP() << "python3-vtk9 cannot be imported";
  writefile(file("o.boundary_conditions"), "inflow ! name\n");
  writefile(file("o.Bc.inflow.dat"),
            "T\nVARIABLES = \"X\" \"Y\" \"Z\"\nZONE I=3,\n# X\n1\n2\n3\n# Y\n0.1\n0.2\n0.3\n# Z\n-1e5\n-2e5\n1e-300\n");
  run();
  testkit::VtkDataSet got;
  std::string problem;
  ASSERT_TRUE(testkit::readvtk(*python, file("o.Bc.inflow.vtk"), testkit::VtkKind::polydata, got, problem)) << problem;
  EXPECT_EQ(got.points, (std::vector<std::vector<double>>{{1, 0.1, -1e5}, {2, 0.2, -2e5}, {3, 0.3, 1e-300}}));
  EXPECT_TRUE(got.cells.empty());
}

}  // namespace
}  // namespace kelpra
