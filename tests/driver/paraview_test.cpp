// VTK files written beside the Tecplot data sets when the ParaView mode is on: one per
// multi-node domain and output time, each loaded by VTK's own reader and compared with the
// Tecplot zone of the same domain and time.
#include <filesystem>
#include <map>
#include <optional>

#include "tests/driver/plotsetup_fixture.hpp"
#include "tests/kit/vtkreader.hpp"

namespace kelpra {
namespace {

using testkit::vtkfiles;

class ParaviewRun : public PlotSetup {
 protected:
  void SetUp() override {
    PlotSetup::SetUp();
    plot_data.paraview_mode = true;
  }

  // The VTK file of the domain at index n holds the points, cells and values of zone n of the
  // domain's data set: `arrays` names each VTK point array and its Tecplot variable.
  void expectsamezone(const std::string& domain, int n, const std::map<std::string, std::string>& arrays) {
    SCOPED_TRACE(domain + " " + std::to_string(n));
    static const std::optional<std::filesystem::path> python = testkit::findvtkpython();
    if (!python) GTEST_SKIP() << "python3-vtk9 cannot be imported";
    testkit::VtkDataSet vtk;
    std::string problem;
    const std::string file = plot_data.prefix + "o." + domain + "." + outputtimeindex(n) + ".vtk";
    ASSERT_TRUE(testkit::readvtk(*python, file, testkit::VtkKind::grid, vtk, problem)) << problem;
    const TecplotFile f = readback(domain);
    const TecplotZone& z = f.zones.at(static_cast<std::size_t>(n - 1));

    EXPECT_EQ(vtk.fielddata.at("TIME").values, (Values{z.solutiontime}));
    ASSERT_EQ(vtk.points.size(), static_cast<std::size_t>(z.nodes));
    for (std::size_t i = 0; i < vtk.points.size(); ++i) {
      EXPECT_EQ(vtk.points[i], (Values{z.values[0][i], z.values[1][i], z.values[2][i]})) << "point " << i;
    }
    ASSERT_EQ(vtk.cells.size(), static_cast<std::size_t>(z.cells));
    const std::size_t perelement = z.connectivity.size() / vtk.cells.size();
    for (std::size_t c = 0; c < vtk.cells.size(); ++c) {
      const auto first = z.connectivity.begin() + static_cast<std::ptrdiff_t>(c * perelement);
      EXPECT_EQ(vtk.cells[c], std::vector<int>(first, first + static_cast<std::ptrdiff_t>(perelement))) << "cell " << c;
    }

    std::vector<std::string> names;
    for (const auto& [name, array] : vtk.pointdata) names.push_back(name);
    std::vector<std::string> expected;
    for (const auto& [name, variable] : arrays) expected.push_back(name);
    EXPECT_EQ(names, expected);
    for (const auto& [name, variable] : arrays) {
      const Values& tecplot = z.values.at(static_cast<std::size_t>(varindex(f, variable)));
      const Values& got = vtk.pointdata.at(name).values;
      ASSERT_EQ(got.size(), tecplot.size()) << name;
      // Five significant digits, read as 4-byte reals.
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i], tecplot[i], 6e-5 * std::fabs(tecplot[i])) << name << " " << i;
      }
    }
  }
};

TEST_F(ParaviewRun, EveryMultiNodeDomainAndTimeHasAFileMatchingItsZone) {
  const LayeredMesh mesh = model_.pm(4, 1, 3);  // 30 nodes, 8 bricks
  model_.olf(mesh);
  for (int n = 1; n <= 2; ++n) {
    writeheads("pm", n, headsat(mesh.z, n));
    writeheads("olf", n, plus(Values(10, 2.0), 0.25 * n));
  }
  Records& r = create();
  r.pm.truncate = true;
  r.pm.xmax_trunc = 2.0;  // 18 nodes and 4 bricks kept
  std::string out;
  ASSERT_NO_THROW(out = run(2));
  EXPECT_EQ(vtkfiles(dir_.path()),
            (std::vector<std::string>{"abco.olf.0001.vtk", "abco.olf.0002.vtk", "abco.pm.0001.vtk", "abco.pm.0002.vtk"}));
  const std::string name = plot_data.prefix + "o.pm.0001.vtk";
  const std::string progress = "pm data to paraview\nCreating paraview file " + name + std::string(300 - name.size(), ' ');
  EXPECT_NE(out.find(progress), std::string::npos) << out;
  EXPECT_EQ(out.find("o.pm.0002.vtk"), std::string::npos) << out;
  expectsamezone("pm", 2, {{"head", "Head"}, {"Depth2GWT", "Depth2GWT"}});
  expectsamezone("olf", 2, {{"head", "Head"}, {"depth", "Depth"}, {"log10Depth", "LogDepth"}, {"3D_node", "3DNode#"}});
}

}  // namespace
}  // namespace kelpra
