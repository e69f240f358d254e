#include "search/elementsearch.hpp"

#include <algorithm>
#include <limits>

#include "support/strings.hpp"

namespace kelpra {
namespace {

constexpr std::int32_t kGridCells = 1000;  // cells per axis of the first-layer grid

std::string pointdetail2d(double px, double py) { return "point: " + pointtostring2d(px, py); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Set-up, callbacks and messages

void ElementSearch::initelementsearch(std::int32_t ne_, std::int32_t ne2d_, std::int32_t nln_, std::int32_t nz_,
                                      std::span<const std::int32_t> in_, std::span<const double> x_,
                                      std::span<const double> y_, std::span<const double> z_) {
  // Checked before anything is replaced, so that no later layer reaches past the table.
  if (nln_ != 6 && nln_ != 8) input_error("Fixed resolution grid expects prism or block elements.");
  if (ne2d_ < 1) input_error("Element search expects at least one element per layer.");
  const std::int64_t layers = std::max(nz_ - 1, 1);
  if (std::int64_t{ne2d_} * layers > ne_) {
    input_error("Element search: " + std::to_string(layers) + " element layers of " + std::to_string(ne2d_) +
                " elements need " + std::to_string(std::int64_t{ne2d_} * layers) + " elements, the mesh has " +
                std::to_string(ne_) + ".");
  }
  checkincidences("Element search", ne_, nln_, in_, std::min({x_.size(), y_.size(), z_.size()}));
  frg.init(kGridCells, kGridCells, ne2d_, nln_, in_, x_, y_);
  ne = ne_;
  ne2d = ne2d_;
  nln = nln_;
  nz = nz_;
  in = in_;
  x = x_;
  y = y_;
  z = z_;
}

void ElementSearch::warn(std::string_view text) const {
  if (wfunc) {
    wfunc(text);
  } else {
    warningmsg(text);
  }
}

void ElementSearch::error(std::string_view text) const {
  if (efunc) {
    efunc(text);
  } else {
    fatalerror(text);
  }
}

bool ElementSearch::fallback(std::string_view warnheadline, std::string_view errorheadline,
                             std::string_view detail) const {
  const auto message = [&](std::string_view headline) {
    std::string text(headline);
    text += '\n';
    text += detail;
    return text;
  };
  if (usenearest) {
    if (verbosewarn) warn(message(warnheadline));
    return true;
  }
  error(message(errorheadline));
  return false;
}

std::string pointtostring2d(double px, double py) {
  return "(" + tostring_r8(px) + ", " + tostring_r8(py) + ")";
}

std::string pointtostring3d(double px, double py, double pz) {
  return "(" + tostring_r8(px) + ", " + tostring_r8(py) + ", " + tostring_r8(pz) + ")";
}

// ---------------------------------------------------------------------------------------
// Element geometry

std::size_t ElementSearch::node(std::int32_t i, std::int32_t e) const {
  if (e < 1 || e > ne) {
    fatalerror("Element search: element " + std::to_string(e) + " outside 1.." + std::to_string(ne) + ".");
  }
  if (i < 1 || i > nln) {
    fatalerror("Element search: local node " + std::to_string(i) + " outside 1.." + std::to_string(nln) + ".");
  }
  return static_cast<std::size_t>(in[static_cast<std::size_t>(e - 1) * static_cast<std::size_t>(nln) +
                                     static_cast<std::size_t>(i - 1)]) -
         1;
}

std::array<double, 3> ElementSearch::elementcoords3d(std::int32_t e, std::int32_t i) const {
  const std::size_t n = node(i, e);
  return {x[n], y[n], z[n]};
}

std::array<double, 2> ElementSearch::elementcoords2d(std::int32_t e, std::int32_t i) const {
  const std::size_t n = node(i, e);
  return {x[n], y[n]};
}

std::array<double, 3> ElementSearch::meanof(std::int32_t e, std::int32_t first, std::int32_t count) const {
  std::array<double, 3> sum{};
  for (std::int32_t i = first; i < first + count; ++i) {
    const auto p = elementcoords3d(e, i);
    for (std::size_t k = 0; k < 3; ++k) sum[k] += p[k];
  }
  for (double& s : sum) s /= count;
  return sum;
}

std::array<double, 3> ElementSearch::elementcentroid3d(std::int32_t e) const { return meanof(e, 1, nln); }
std::array<double, 3> ElementSearch::elementcentroidbottom(std::int32_t e) const { return meanof(e, 1, nln / 2); }
std::array<double, 3> ElementSearch::elementcentroidtop(std::int32_t e) const {
  return meanof(e, nln / 2 + 1, nln / 2);
}
std::array<double, 2> ElementSearch::elementcentroid2d(std::int32_t e) const {
  const auto c = elementcentroidbottom(e);
  return {c[0], c[1]};
}

std::array<double, 6> ElementSearch::elementaabb(std::int32_t e) const {
  const auto first = elementcoords3d(e, 1);
  std::array<double, 6> box{first[0], first[1], first[2], first[0], first[1], first[2]};
  for (std::int32_t i = 2; i <= nln; ++i) {
    const auto p = elementcoords3d(e, i);
    for (std::size_t k = 0; k < 3; ++k) {
      box[k] = std::min(box[k], p[k]);
      box[k + 3] = std::max(box[k + 3], p[k]);
    }
  }
  return box;
}

// ---------------------------------------------------------------------------------------
// Face tests

bool pointintriangle2d(std::span<const double, 3> xs, std::span<const double, 3> ys, double px, double py) noexcept {
  return pointintri(px, py, xs, ys);
}

bool pointinquad2d(std::span<const double, 4> xs, std::span<const double, 4> ys, double px, double py) noexcept {
  if (pointintri(px, py, xs.first<3>(), ys.first<3>())) return true;
  return pointintri(px, py, std::array{xs[0], xs[2], xs[3]}, std::array{ys[0], ys[2], ys[3]});
}

bool ElementSearch::pointinelement2d(std::int32_t e, double px, double py) const {
  if (nln != 6 && nln != 8) {
    error("pointInElement2D: expected triangular prism or block elements");
    return false;
  }
  std::array<double, 4> xs{};
  std::array<double, 4> ys{};
  for (std::int32_t i = 1; i <= nln / 2; ++i) {
    const auto p = elementcoords2d(e, i);
    xs[static_cast<std::size_t>(i - 1)] = p[0];
    ys[static_cast<std::size_t>(i - 1)] = p[1];
  }
  if (nln == 6) return pointintriangle2d(std::span(xs).first<3>(), std::span(ys).first<3>(), px, py);
  return pointinquad2d(xs, ys, px, py);
}

// ---------------------------------------------------------------------------------------
// Location in the first layer and by layer

std::int32_t ElementSearch::findelement2dunchecked(double px, double py) const { return frg.findelement(px, py); }

std::int32_t ElementSearch::findnearestelement2d(double px, double py) const {
  std::int32_t best = 0;
  double bestd = std::numeric_limits<double>::max();
  for (std::int32_t e = 1; e <= ne2d; ++e) {
    const auto c = elementcentroid3d(e);
    const double d = (px - c[0]) * (px - c[0]) + (py - c[1]) * (py - c[1]);
    if (d < bestd) {
      bestd = d;
      best = e;
    }
  }
  return best;
}

std::int32_t ElementSearch::findelement2d(double px, double py) const {
  const std::int32_t e = findelement2dunchecked(px, py);
  if (e != 0) return e;
  if (fallback("findElement2D: point outside mesh: using nearest element", "findElement2D: point outside mesh",
               pointdetail2d(px, py))) {
    return findnearestelement2d(px, py);
  }
  return 0;
}

std::int32_t ElementSearch::findelementbylayer(double px, double py, std::int32_t layer) const {
  std::int32_t k = layer;
  if (layer < 1 || layer > nz - 1) {
    if (!fallback("findElementByLayer: layer outside range: using nearest layer",
                  "findElementByLayer: layer outside range",
                  "layer: " + tostring_i4(layer) + ", expected: 1," + tostring_i4(nz - 1))) {
      return 0;
    }
    k = std::max(1, std::min(layer, nz - 1));
  }
  std::int32_t e = findelement2dunchecked(px, py);
  if (e == 0) {
    if (!fallback("findElementByLayer: point outside mesh: using nearest element",
                  "findElementByLayer: point outside mesh", pointdetail2d(px, py))) {
      return 0;
    }
    e = findnearestelement2d(px, py);
    if (e == 0) return 0;  // no mesh set up
  }
  return e + (k - 1) * ne2d;
}

// ---------------------------------------------------------------------------------------
// The default instance

ElementSearch& elementsearch() {
  static ElementSearch search;
  return search;
}

void initelementsearch(std::int32_t ne, std::int32_t ne2d, std::int32_t nln, std::int32_t nz,
                       std::span<const std::int32_t> in, std::span<const double> x, std::span<const double> y,
                       std::span<const double> z) {
  elementsearch().initelementsearch(ne, ne2d, nln, nz, in, x, y, z);
}
void setwarncallback(SearchMessage f) { elementsearch().setwarncallback(std::move(f)); }
void seterrorcallback(SearchMessage f) { elementsearch().seterrorcallback(std::move(f)); }

std::array<double, 3> elementcoords3d(std::int32_t e, std::int32_t i) { return elementsearch().elementcoords3d(e, i); }
std::array<double, 2> elementcoords2d(std::int32_t e, std::int32_t i) { return elementsearch().elementcoords2d(e, i); }
std::array<double, 3> elementcentroid3d(std::int32_t e) { return elementsearch().elementcentroid3d(e); }
std::array<double, 3> elementcentroidbottom(std::int32_t e) { return elementsearch().elementcentroidbottom(e); }
std::array<double, 3> elementcentroidtop(std::int32_t e) { return elementsearch().elementcentroidtop(e); }
std::array<double, 2> elementcentroid2d(std::int32_t e) { return elementsearch().elementcentroid2d(e); }
std::array<double, 6> elementaabb(std::int32_t e) { return elementsearch().elementaabb(e); }

bool pointinelement2d(std::int32_t e, double px, double py) { return elementsearch().pointinelement2d(e, px, py); }
std::int32_t findelement2dunchecked(double px, double py) { return elementsearch().findelement2dunchecked(px, py); }
std::int32_t findnearestelement2d(double px, double py) { return elementsearch().findnearestelement2d(px, py); }
std::int32_t findelement2d(double px, double py) { return elementsearch().findelement2d(px, py); }
std::int32_t findelementbylayer(double px, double py, std::int32_t layer) {
  return elementsearch().findelementbylayer(px, py, layer);
}

}  // namespace kelpra
