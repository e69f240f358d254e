// The fixture of the comparison tests: a clean run with the prefix "abc" in a fresh directory,
// and porous-medium records made from the test kit's layered meshes.
#pragma once

#include <string>

#include "plot/plotdata.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra::comparetest {

class CompareRun : public testkit::CleanPlotRun {
 protected:
  void SetUp() override {
    CleanPlotRun::SetUp();
    plot_data.prefix = (dir.path() / "abc").string();
  }
  static DOMAIN pmdomain(const testkit::LayeredMesh& mesh) {
    DOMAIN pm;
    pm.name = "pm";
    pm.nn = mesh.nodes();
    pm.ne = mesh.elements();
    pm.nln = mesh.nln;
    pm.x = mesh.x;
    pm.y = mesh.y;
    pm.z = mesh.z;
    pm.incidences = mesh.incidences;
    return pm;
  }

  testkit::TempDir dir;
};

}  // namespace kelpra::comparetest
