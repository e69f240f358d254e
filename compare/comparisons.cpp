#include "compare/comparisons.hpp"

#include "support/errors.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

void skipped(std::string_view what, const DOMAIN& dom) {
  warningmsg("Observation comparisons are not available in this version of KELPRA.\n" + std::string(what) +
             " for the " + domainname(dom) + " domain was skipped.");
}

}  // namespace

// The readers have nothing to read for: the comparison that follows each reports the skip.
void read_obs_heads_xyz(DOMAIN& pm) {
  if (trimview(pm.name) != "pm") input_error("Porous medium domain expected.");
}
void read_obs_heads_xy(DOMAIN&) {}
void read_d2gwt_heads(DOMAIN&) {}

void compare_heads_output(DOMAIN& dom) {
  skipped(trimview(dom.name) == "olf" ? "The surface water depth comparison" : "The head comparison", dom);
}
void compare_gwtable_elevation_output(DOMAIN& pm) { skipped("The water table elevation comparison", pm); }
void compare_deth2gwtable_output(DOMAIN& pm) { skipped("The depth to water table comparison", pm); }

}  // namespace kelpra
