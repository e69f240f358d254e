#include "plot/plotdata.hpp"

namespace kelpra {

PlotData plot_data;

const std::vector<std::pair<std::string_view, bool DOMAIN::*>>& domainswitches() {
  static const std::vector<std::pair<std::string_view, bool DOMAIN::*>> list = {
#define SWITCH(n) {#n, &DOMAIN::n},
#define TEXT(n)
#define BOOL(n, d)
#define I4(n, d)
#define R8(n, d)
#define INSTR(n)
#define ON(n)
#define VAR(n)
#define FLAG(n)
#define AR8(n)
#define AR4(n)
#define AI4(n)
#define AL(n)
#define A2R8(n)
#define A2R4(n)
#define A2I4(n)
#define VARS(n)
#include "plot/domain_fields.def"
#undef SWITCH
#undef INSTR
#define SWITCH(n)
#define INSTR(n) {#n, &DOMAIN::n},
  };
  return list;
}

const std::vector<std::pair<std::string_view, std::string DOMAIN::*>>& domaininstructions() {
  static const std::vector<std::pair<std::string_view, std::string DOMAIN::*>> list = {
#include "plot/domain_fields.def"
  };
  return list;
}
#include "plot/domain_fields_undef.def"

namespace testing_only {
void resetplotdata() { plot_data = PlotData{}; }
}  // namespace testing_only

}  // namespace kelpra
