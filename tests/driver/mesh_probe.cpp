// Reads a model the way the program would and prints what it read:
//   mesh_probe PREFIX WHAT...
// WHAT: gen, species, hmc (the model files), exit (the normal exit with a message), or a
// domain name ("pm" first), whose coordinates and elements files are read in turn.
#include <cstdio>
#include <string>

#include "driver/meshfiles.hpp"
#include "plot/modelfiles.hpp"
#include "plot/normalexit.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"

using namespace kelpra;

namespace {

int run(int argc, char** argv) {
  if (argc < 3) return 2;
  plot_data.prefix = argv[1];
  DOMAIN pm;
  for (int i = 2; i < argc; ++i) {
    const std::string what = argv[i];
    if (what == "gen") {
      titleread();
    } else if (what == "species") {
      speciesread();
    } else if (what == "hmc") {
      hmcfractionsread();
    } else if (what == "exit") {
      normalexitstop("probe done");
    } else {
      DOMAIN other;
      DOMAIN& dom = what == "pm" ? pm : other;
      dom.name = what;
      coordsread(dom, pm);
      elemsread(dom);
      std::printf("mesh %s nn %d ne %d nln %d zonetype %s globalstart %d\n", what.c_str(), dom.nn, dom.ne, dom.nln,
                  dom.zonetype.c_str(), dom.globalstart);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const RunStopped& stop) {
    return stop.exitstatus;
  }
}
