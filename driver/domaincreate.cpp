#include "driver/domaincreate.hpp"

#include <string>

#include "driver/controlfile.hpp"
#include "driver/meshfiles.hpp"
#include "plot/modelfiles.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr std::size_t kNameWidth = 50;

}  // namespace

void domaincreate(DOMAIN& dom, std::string_view name, DOMAIN& pm) {
  const std::string_view n = trimview(name);
  if (n == "addition") {
    dom.name = "addition";
    dom.exists = true;
    return;
  }

  dom.exists = fileexists(meshfilename("o.coordinates_", n));
  if (!dom.exists) return;
  // Every other domain's mesh is made of porous-medium nodes: without that mesh nothing
  // else can be read.
  if (n != "pm" && !pm.exists) {
    input_error("Failed to open file: " + meshfilename("o.coordinates_", "pm") + "\nThe " + std::string(n) +
                " domain is built on the porous medium nodes, whose coordinates file is missing.");
  }

  dom.name = std::string(n.substr(0, kNameWidth));
  dom.unit = getunit();

  const std::string no = "no " + dom.name;
  dom.writefileinstr = "write " + dom.name + " domain file";
  dom.writefile = true;
  for (const InstructionRow& row : quantityinstructions()) {
    dom.*row.instr = no + std::string(row.suffix);
    dom.*row.sw = true;
  }
  dom.truncinstr = "truncate " + dom.name + " domain";
  dom.trunclayerinstr = "truncate " + dom.name + " domain by layer";
  dom.truncate = false;
  dom.truncatebylayer = false;

  coordsread(dom, pm);
  elemsread(dom);

  const PlotData& pd = plot_data;
  if (pd.speciesfileexists) {
    allocatearray(dom.ConcNvar, pd.nspeciestot, "NewDomain ConcNvar array");
    if (pd.colloidtransport) allocatearray(dom.ConcSolidNvar, pd.nspeciestot, "NewDomain ConcSolidNvar array");
  }
  if (pd.hmcfileexists) allocatearray(dom.HmcNvar, std::int64_t{pd.num_fractions} + 2, "NewDomain HmcNvar array");
}

}  // namespace kelpra
