// The HMC mixing fractions named in "o.hmc", with the mixing ratio and the HMC error; their
// result files lie in the folder "./hmc/".
#include <algorithm>

#include "plot/modelfiles.hpp"
#include "support/textview.hpp"
#include "variables/families.hpp"
#include "variables/handlers.hpp"

namespace kelpra {
namespace {

const FamilyTable<double> kHmc{&DOMAIN::hmc, &DOMAIN::HmcNvar, &DOMAIN::hmcavail, &DOMAIN::hmcfound, "1", "hmc array"};

std::int32_t fractioncount() {
  return static_cast<std::int32_t>(std::min<std::int64_t>(plot_data.num_fractions, std::ssize(plot_data.frac_name)));
}

// The fractions in order, then the mixing ratio and the error, at the current output time.
std::vector<FamilyMember> hmcmembers(const DOMAIN& dom) {
  std::string base = "./hmc/";
  base += prefixtext();
  base += "o.hmc_";
  base += trimview(dom.name);
  base += '.';
  const std::string& index = plot_data.nfs;
  const std::int32_t n = fractioncount();
  std::vector<FamilyMember> out;
  for (std::int32_t f = 1; f <= n; ++f) {
    const std::string name(trimview(plot_data.frac_name[static_cast<std::size_t>(f - 1)]));
    // The file is named by the fraction without the "f_" put in front of it.
    const std::string_view bare = trimview(std::string_view(name).substr(std::min<std::size_t>(2, name.size())));
    out.push_back({f, base + std::string(bare) + "." + index, name, name, 0});
  }
  out.push_back({n + 1, base + "mixing_ratio." + index, "HMC Mixing Ratio", "hmc_mixing_ratio", 0});
  out.push_back({n + 2, base + "hmc_error." + index, "HMC Error", "hmc_error", 0});
  return out;
}

}  // namespace

void hmcinit(DOMAIN& dom) {
  const std::int32_t n = fractioncount();
  if (n < 1) return;
  const std::vector<FamilyMember> members = hmcmembers(dom);
  // Fraction 1's file decides; every fraction must then exist, the ratio and error may not.
  if (!familyopen(kHmc, members.front(), n + 2, dom)) return;
  for (const FamilyMember& m : members) familyregister(kHmc, m, dom, m.column > n);
}

void hmcread(DOMAIN& dom) {
  if (!dom.hmcavail) return;
  familyread(kHmc, hmcmembers(dom), dom);
}

}  // namespace kelpra
