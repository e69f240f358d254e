// Writes a small layered model for kelpra: a "pm" mesh of bricks, an "olf" surface with nodes
// of its own, and heads of both domains at every output time.
//   kelpra_makemodel DIR [CELLSX CELLSY LAYERS TIMES]
// The model is named "abc"; DIR receives abc.vorn, batch.pfx, the model and mesh files and
// the result files.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/kit/modelwriter.hpp"

namespace {

int number(int argc, char** argv, int i, int fallback) {
  return i < argc ? std::atoi(argv[i]) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [CELLSX CELLSY LAYERS TIMES]\n", argv[0]);
    return 2;
  }
  using namespace kelpra::testkit;
  const std::filesystem::path dir = argv[1];
  const int cellsx = number(argc, argv, 2, 10);
  const int cellsy = number(argc, argv, 3, 8);
  const int layers = number(argc, argv, 4, 4);
  const int times = number(argc, argv, 5, 3);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "abc.vorn") << "example model\n";
  std::ofstream(dir / "batch.pfx") << "abc\n";

  ModelWriter model(dir, "abc");
  model.gen({"Example model: a tilted water table over a layered aquifer"});
  const LayeredMesh pm = model.pm(cellsx, cellsy, layers);
  const LinkedDomain olf = model.olf(pm);

  for (int t = 1; t <= times; ++t) {
    const double time = 86400.0 * t;
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, time).ptr;
    const std::string text = std::string(digits, end) + " heads";
    std::vector<double> pmhead(pm.x.size());
    for (std::size_t i = 0; i < pmhead.size(); ++i) {
      pmhead[i] = static_cast<double>(layers) - 0.5 + 0.05 * pm.x[i] - 0.02 * pm.y[i] - 0.1 * t;
    }
    model.result_r8("head", "pm", t, text, pmhead);
    std::vector<double> olfhead(olf.dom2pm.size());
    for (std::size_t i = 0; i < olfhead.size(); ++i) {
      olfhead[i] = pmhead[static_cast<std::size_t>(olf.dom2pm[i] - 1)] + 0.6;
    }
    model.result_r8("head", "olf", t, text, olfhead);
  }
  return 0;
}
