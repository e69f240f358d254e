// Whole runs that compare simulated heads and depths with observed ones: the comparison and
// scatter files digit for digit, their R-squared against an oracle, the location cache, and
// the warnings when the values to compare are missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/driver/e2e_kit.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;

// Heads that make every simulated value a short binary fraction, so that the files can be
// written out here digit for digit: "pm" heads 1.5 + x/4 + y/8 (water table between the node
// layers z = 1 and z = 2), "olf" depths x/4 + y/2. The top node at x = 0, y = 2 stands at
// z = 6, so that the nearest "olf" node in plan differs from the nearest in space.
class E2eComparisons : public ::testing::Test {
 protected:
  void SetUp() override {
    LayeredMesh mesh = model.pm;
    mesh.z[static_cast<std::size_t>(mesh.node(0, 2, 2) - 1)] = 6;
    model.rewritepm(mesh);
    for (int index = 1; index <= 2; ++index) {
      const std::string text = std::to_string(index) + " heads";
      std::vector<double> pm(mesh.x.size()), olf(model.olf.dom2pm.size());
      for (std::size_t i = 0; i < pm.size(); ++i) pm[i] = 1.5 + mesh.x[i] / 4 + mesh.y[i] / 8;
      for (std::size_t i = 0; i < olf.size(); ++i) {
        const auto n = static_cast<std::size_t>(model.olf.dom2pm[i] - 1);
        olf[i] = mesh.z[n] + mesh.x[n] / 4 + mesh.y[n] / 2;
      }
      model.writer.result_r8("head", "pm", index, text, pm);
      model.writer.result_r8("head", "olf", index, text, olf);
    }
    // Read both as x, y, z, head and as x, y, elevation (the rest of each line skipped).
    writefile(model.dir / "abc.observed_heads",
              "4\n0.5 0.5 0.5 1.75\n1.5 1.25\n 1.5 2.0\n1 1 1 2.5\n5,5,5,9\n");
    writefile(model.dir / "abc.observed_d2gwt", "2\n0.25 0.25 0.5\n2 2 0\n");
    writefile(model.dir / "abc.observed_heads_olf", "3\n1.25 0.75 0.5\n0.1 1.6 0.25\n2 2 9\n");
  }
  // The olf window is narrower than the pm one on z: the pm point at z = 1.5 still counts.
  static constexpr std::string_view kControl =
      "end\nwrite pm domain file\ncompare heads 3d domain\n-1.0E+20  1.0E+20\n-1.0E+20  1.0E+20\n"
      "-1.0E+20  1.0E+20\ncompare gw table elevation\ncompare depth to gw table\nend\n"
      "write olf domain file\ncompare surface water depth\n-1 1.5\n-1.0E+20  1.0E+20\n-1 1\nend\n";

  // A file without its creation date; the last two lines (the R-squared zone) are checked
  // against the oracle.
  struct Written {
    std::string body;
    double r2title = 0;
    double r2 = 0;
  };
  Written written(const std::string& name) const {
    std::vector<std::string> lines = splitlines(withoutdate(model.file(name)));
    Written w;
    if (lines.size() < 2) {
      ADD_FAILURE() << name;
      return w;
    }
    const std::string title = lines[lines.size() - 2];
    const std::size_t eq = title.find(" =");
    w.r2title = eq == std::string::npos ? -1e300 : std::strtod(title.c_str() + eq + 2, nullptr);
    w.r2 = std::strtod(lines.back().c_str(), nullptr);
    for (std::size_t i = 0; i + 2 < lines.size(); ++i) w.body += lines[i] + '\n';
    return w;
  }
  Model model;
};

std::string comparisonhead(std::string_view obs, std::string_view sim, std::string_view zone) {
  return "TITLE = \"abc\"\nVARIABLES = \"" + std::string(obs) + "\",\"" + std::string(sim) +
         "\"\n"
         "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"\nDATASETAUXDATA TNQ_Version=\"2975\"\n"
         "DATASETAUXDATA Model_Prefix=\"abc\"\nDATASETAUXDATA Mass_Base_Unit=\"kg\"\n"
         "DATASETAUXDATA Length_Base_Unit=\"m\"\nDATASETAUXDATA Time_Base_Unit=\"s\"\n"
         "DATASETAUXDATA Temperature_Base_Unit=\"deg C\"\n# " +
         std::string(obs) + " units: (m)\n# " + std::string(sim) +
         " units: (m)\nVARAUXDATA 1 Units=\"(m)\"\nVARAUXDATA 2 Units=\"(m)\"\nZONE T=\"" + std::string(zone) + "\"\n";
}

std::string scatterhead(std::string_view titleword, std::string_view title, std::string_view obs,
                        std::string_view sim) {
  std::string text = std::string(titleword) + " = \"" + std::string(title) + "\"\nVARIABLES = \"X\",\"Y\",\"Z\",\"" +
                     std::string(obs) + "\",\"" + std::string(sim) +
                     "\",\"Diff\"\n"
                     "DATASETAUXDATA Source=\"Tarnovelquasir, Morvane Inc.\"\nDATASETAUXDATA TNQ_Version=\"2975\"\n"
                     "DATASETAUXDATA Model_Prefix=\"abc\"\nDATASETAUXDATA Mass_Base_Unit=\"kg\"\n"
                     "DATASETAUXDATA Length_Base_Unit=\"m\"\nDATASETAUXDATA Time_Base_Unit=\"s\"\n"
                     "DATASETAUXDATA Temperature_Base_Unit=\"deg C\"\n";
  for (const std::string_view label : {std::string_view("X"), std::string_view("Y"), std::string_view("Z"), obs, sim,
                                       std::string_view("Diff")}) {
    text += "# " + std::string(label) + " units: (m)\n";
  }
  for (int v = 1; v <= 6; ++v) text += "VARAUXDATA " + std::to_string(v) + " Units=\"(m)\"\n";
  return text + "ZONE T=\"data\"\n";
}

// R-squared of the pairs, two passes in extended precision.
double rsquared(const std::vector<std::pair<double, double>>& pairs) {
  long double mean = 0, ssres = 0, sstot = 0;
  for (const auto& [o, s] : pairs) mean += o;
  mean /= static_cast<long double>(pairs.size());
  for (const auto& [o, s] : pairs) {
    ssres += (static_cast<long double>(o) - s) * (static_cast<long double>(o) - s);
    sstot += (o - mean) * (o - mean);
  }
  return static_cast<double>(1.0L - ssres / sstot);
}

void expectr2(const std::string& name, double r2title, double r2, const std::vector<std::pair<double, double>>& pairs) {
  const double oracle = rsquared(pairs);
  EXPECT_NEAR(r2, oracle, 1e-13 * std::max(1.0, std::abs(oracle))) << name;
  EXPECT_NEAR(r2title, oracle, 0.00005 + 1e-12) << name;
}

TEST_F(E2eComparisons, AllFourWriteTheirFilesInTheExitOrder) {
  model.control(std::string(kControl));
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_EQ(r.err, kDeprecation);
  EXPECT_TRUE(has(r.out,
                  "Closing tecplot file: abco.olf\nEvaluating shape functions at XYZ observation locations\n"
                  "This might take several minutes...\n           1  of           4  observation points\n"))
      << r.out;

  Written w = written("abco.compare_heads.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed head", "Simulated head", "data") +
                        "  1.7500000000000000E+000  1.6875000000000000E+000\n"
                        "  2.0000000000000000E+000  2.0312500000000000E+000\n"
                        "  2.5000000000000000E+000  1.8750000000000000E+000\n"
                        "ZONE T=\"straight line\"\n"
                        "  1.6875000000000000E+000  1.6875000000000000E+000\n"
                        "  2.5000000000000000E+000  2.5000000000000000E+000\n");
  expectr2("heads", w.r2title, w.r2, {{1.75, 1.6875}, {2.0, 2.03125}, {2.5, 1.875}});
  EXPECT_TRUE(has(model.file("abco.compare_heads.dat"), "\nZone T=\"R<sup>2</sup> ="));
  EXPECT_EQ(withoutdate(model.file("abco.compare_heads_scatter.dat")),
            scatterhead("Title", "Observed vs simulated heads scatter plot", "Observed head", "Simulated head") +
                "      0.50000000E+00      0.50000000E+00      0.50000000E+00      0.17500000E+01"
                "      0.16875000E+01     -0.62500000E-01\n"
                "      0.15000000E+01      0.12500000E+01      0.15000000E+01      0.20000000E+01"
                "      0.20312500E+01      0.31250000E-01\n"
                "      0.10000000E+01      0.10000000E+01      0.10000000E+01      0.25000000E+01"
                "      0.18750000E+01     -0.62500000E+00\n");

  // Water-table elevations at the top nodes of the nearest columns; zones titled by the time.
  w = written("abco.compare_GWTable_Elevation.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed GWT elevation", "Simulated GWT elevation", "2") +
                        "  5.0000000000000000E-001  1.5000000000000000E+000\n"
                        "  1.5000000000000000E+000  1.8750000000000000E+000\n"
                        "  1.0000000000000000E+000  1.8750000000000000E+000\n"
                        "  5.0000000000000000E+000  2.2500000000000000E+000\n"
                        "ZONE T=\"straight line\"\n"
                        "  5.0000000000000000E-001  5.0000000000000000E-001\n"
                        "  5.0000000000000000E+000  5.0000000000000000E+000\n");
  expectr2("elevation", w.r2title, w.r2, {{0.5, 1.5}, {1.5, 1.875}, {1.0, 1.875}, {5.0, 2.25}});
  EXPECT_TRUE(has(model.file("abco.compare_GWTable_Elevation.dat"), "\nZONE T=\"R<sup>2</sup> ="));
  EXPECT_EQ(withoutdate(model.file("abco.compare_GWTable_Elevation_scatter.dat")),
            scatterhead("TITLE", "Observed vs simulated heads scatter plot", "Observed GWT elevation",
                        "Simulated GWT elevation") +
                "      0.50000000E+00      0.50000000E+00      0.20000000E+01      0.50000000E+00"
                "      0.15000000E+01      0.10000000E+01\n"
                "      0.15000000E+01      0.12500000E+01      0.20000000E+01      0.15000000E+01"
                "      0.18750000E+01      0.37500000E+00\n"
                "      0.10000000E+01      0.10000000E+01      0.20000000E+01      0.10000000E+01"
                "      0.18750000E+01      0.87500000E+00\n"
                "      0.50000000E+01      0.50000000E+01      0.20000000E+01      0.50000000E+01"
                "      0.22500000E+01     -0.27500000E+01\n");

  w = written("abco.compare_Depth2GWTable.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed Depth2GWT", "Simulated Depth2GWT", "2") +
                        "  5.0000000000000000E-001  5.0000000000000000E-001\n"
                        "  0.0000000000000000E+000 -2.5000000000000000E-001\n"
                        "ZONE T=\"straight line\"\n"
                        " -2.5000000000000000E-001 -2.5000000000000000E-001\n"
                        "  5.0000000000000000E-001  5.0000000000000000E-001\n");
  expectr2("depth", w.r2title, w.r2, {{0.5, 0.5}, {0.0, -0.25}});
  EXPECT_EQ(withoutdate(model.file("abco.compare_D2GWT_scatter.dat")),
            scatterhead("TITLE", "Observed vs simulated D2GWT plot", "Observed Depth2GWT", "Simulated Depth2GWT") +
                "      0.25000000E+00      0.25000000E+00      0.20000000E+01      0.50000000E+00"
                "      0.50000000E+00      0.00000000E+00\n"
                "      0.20000000E+01      0.20000000E+01      0.20000000E+01      0.00000000E+00"
                "     -0.25000000E+00     -0.25000000E+00\n");

  // Surface-water depths at the nearest node in plan (x = 0, y = 2 at z = 6); the third point
  // lies outside the olf window.
  w = written("abco.compare_swdepth_olf.dat");
  EXPECT_EQ(w.body, comparisonhead("Observed depth olf", "Simulated depth olf", "data") +
                        "  5.0000000000000000E-001  7.5000000000000000E-001\n"
                        "  2.5000000000000000E-001  1.0000000000000000E+000\n"
                        "ZONE T=\"straight line\"\n"
                        "  2.5000000000000000E-001  2.5000000000000000E-001\n"
                        "  1.0000000000000000E+000  1.0000000000000000E+000\n");
  expectr2("olf", w.r2title, w.r2, {{0.5, 0.75}, {0.25, 1.0}});
  EXPECT_EQ(withoutdate(model.file("abco.compare_swdepth_scatter_olf.dat")),
            scatterhead("Title", "Observed vs simulated heads scatter plot", "Observed depth olf",
                        "Simulated depth olf") +
                "      0.12500000E+01      0.75000000E+00      0.20000000E+01      0.50000000E+00"
                "      0.75000000E+00      0.25000000E+00\n"
                "      0.10000000E+00      0.16000000E+01      0.60000000E+01      0.25000000E+00"
                "      0.10000000E+01      0.75000000E+00\n");

  // The location cache: one 163-character line per point; the corner shared by all eight
  // bricks goes to the first, the last point is unlocated.
  const std::vector<std::string> cache = splitlines(model.file("abco.ObsShape.txt"));
  ASSERT_EQ(cache.size(), 4U);
  for (const std::string& line : cache) EXPECT_EQ(line.size(), 163U) << line;
  EXPECT_EQ(cache[2].substr(0, 30), "         1    0.0000000000    ");
  EXPECT_TRUE(cache[3].starts_with("        -1   -1.0000000000      -1.0000000000"));
}

TEST_F(E2eComparisons, MissingHeadsAndDepthsAreWarnedOf) {
  std::filesystem::remove(model.dir / "abco.head_pm.0001");
  std::filesystem::remove(model.dir / "abco.head_pm.0002");
  model.control(std::string(kControl));
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.err, "The head comparison is skipped: the pm domain holds no heads at the last output time."));
  EXPECT_TRUE(has(r.err, "The water table elevation comparison is skipped: the pm domain holds no depths to the "
                         "water table (\"Depth2GWT\") at the last output time."));
  EXPECT_TRUE(has(r.err, "The depth to water table comparison is skipped"));
  EXPECT_TRUE(has(r.out, "---- Normal exit ----"));
  EXPECT_FALSE(model.exists("abco.compare_heads.dat"));
  EXPECT_FALSE(model.exists("abco.compare_Depth2GWTable.dat"));
  // The olf comparison is not affected.
  EXPECT_TRUE(model.exists("abco.compare_swdepth_olf.dat"));
}

}  // namespace
}  // namespace kelpra
