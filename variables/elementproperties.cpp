// Element properties and Peclet numbers: constant in time, so each is read once from the
// file of output time 1, written into the first zone and shared by every later one.
#include <string>

#include "binfile/binfile.hpp"
#include "plot/plotdata.hpp"
#include "support/errors.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"
#include "variables/handlers.hpp"
#include "variables/quantities.hpp"

namespace kelpra {
namespace rows {
namespace {

using K = ValueKind;
using D = DOMAIN;
constexpr FileName kFirst = FileName::firstindex;

const Quantity peclet{"o.Peclet_", K::r4, true,
                      {{{&D::pecletx, &D::pecletxvar, "Peclet x", "Peclet x (cell centred)"},
                        {&D::peclety, &D::pecletyvar, "Peclet y", "Peclet y (cell centred)"},
                        {&D::pecletz, &D::pecletzvar, "Peclet z", "Peclet z (cell centred)"}}},
                      3, &D::pecletavail, &D::pecletfound, "1", "peclet number arrays", false, false, true, kFirst};
const Quantity diffpeclet{
    "o.DiffPeclet_", K::r4, true,
    {{{&D::diffpecletx, &D::diffpecletxvar, "DiffPeclet x", "Diffusion Peclet x (cell centred)"},
      {&D::diffpeclety, &D::diffpecletyvar, "DiffPeclet y", "Diffusion Peclet y (cell centred)"},
      {&D::diffpecletz, &D::diffpecletzvar, "DiffPeclet z", "Diffusion Peclet z (cell centred)"}}},
    3, &D::diffpecletavail, &D::diffpecletfound, "1", "diffusion peclet number arrays", false, false, true, kFirst};

// The conductivity as three principal components or as the full tensor.
constexpr QuantityMember kxx{&D::elemkxx, &D::elemkxxvar, "Kxx", "Kxx (cell centred)"};
constexpr QuantityMember kyy{&D::elemkyy, &D::elemkyyvar, "Kyy", "Kyy (cell centred)"};
constexpr QuantityMember kzz{&D::elemkzz, &D::elemkzzvar, "Kzz", "Kzz (cell centred)"};
const Quantity elemkprincipal{"o.ElemK_", K::r8, true, {{kxx, kyy, kzz}}, 3, &D::elemkavail, nullptr, "L * T^-1",
                              "elemental K arrays", false, false, true, kFirst};
const Quantity elemktensor{"o.ElemK_", K::r8, true,
                           {{kxx, kyy, kzz,
                             {&D::elemkxy, &D::elemkxyvar, "Kxy", "Kxy (cell centred)"},
                             {&D::elemkyz, &D::elemkyzvar, "Kyz", "Kyz (cell centred)"},
                             {&D::elemkzx, &D::elemkzxvar, "Kzx", "Kzx (cell centred)"}}},
                           6, &D::elemkavail, nullptr, "L * T^-1", "elemental K arrays", false, false, true, kFirst};

const Quantity elempor{"o.ElemPor_", K::r4, true,
                       {{{&D::elempor, &D::elemporvar, "Porosity", "Porosity (cell centred)"}}}, 1, &D::elemporavail,
                       nullptr, "1", "elemental porosity array", false, false, true, kFirst};
const Quantity elemstor{"o.ElemStor_", K::r8, true,
                        {{{&D::elemstor, &D::elemstorvar, "SpStor", "Specific storage (cell centred)"}}}, 1,
                        &D::elemstoravail, nullptr, "L^-1", "elemental specific storage array", false, false, true,
                        kFirst};
const Quantity elemtort{"o.ElemTort_", K::r8, true,
                        {{{&D::elemtort, &D::elemtortvar, "Tortuosity", "Tortuosity (cell centred)"}}}, 1,
                        &D::elemtortavail, nullptr, "1", "elemental tortuosity array", false, false, true, kFirst};
const Quantity elemibedfraction{"o.ElemIbedFraction_", K::r8, true,
                                {{{&D::elemibedfraction, &D::elemibedfractionvar, "ElemIbedFraction",
                                   "IbedFractionosity (cell centred)"}}},
                                1, &D::elemibedfractionavail, nullptr, "1", "elemental ibed fraction array", false,
                                false, true, kFirst};
const Quantity elemvolume{"o.ElemVolume_", K::r8, true,
                          {{{&D::elemvolume, &D::elemvolumevar, "Volume", "Volume (cell centred)"}}}, 1,
                          &D::elemvolumeavail, nullptr, "L^3", "elemental volume array", false, false, true, kFirst};

}  // namespace
}  // namespace rows

namespace {

// The form of a conductivity file: the whole integer its header description begins with
// (3: full tensor). Anything else there would silently pick a form, so it stops the run.
std::int32_t conductivityform(const std::string& fname) {
  const BinFileHeader header = parsetnqbinfileheader(readtnqbinfileheader(fname));
  std::int32_t form = 0;
  int status = 0;
  str2i4(header.description, form, &status);
  if (status != 0) {
    input_error("The header description of the element conductivity file " + fname +
                " does not begin with a whole number giving its form (3 for a full tensor): \"" +
                std::string(trimview(header.description)) + "\"");
  }
  return form;
}

}  // namespace

void pecletinit(DOMAIN& dom) { quantityinit(rows::peclet, dom); }
void pecletread(DOMAIN& dom) { quantityread(rows::peclet, dom); }
void diffpecletinit(DOMAIN& dom) { quantityinit(rows::diffpeclet, dom); }
void diffpecletread(DOMAIN& dom) { quantityread(rows::diffpeclet, dom); }

void elemkinit(DOMAIN& dom) {
  if (!quantityfirstfile(rows::elemkprincipal, dom)) return;
  const std::string fname = plot_data.filename;
  dom.elemktype = conductivityform(fname);
  quantitysetup(dom.elemktype == 3 ? rows::elemktensor : rows::elemkprincipal, dom, fname);
}

#define KELPRA_DEFINE_ELEMENT_PROPERTY(q) \
  void q##init(DOMAIN& dom) { quantityinit(rows::q, dom); }
KELPRA_ELEMENT_PROPERTIES(KELPRA_DEFINE_ELEMENT_PROPERTY)
#undef KELPRA_DEFINE_ELEMENT_PROPERTY

}  // namespace kelpra
