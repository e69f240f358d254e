// Element search in layered meshes of triangular prisms (6 nodes) or blocks (8 nodes):
// location of a point in the first layer, in a given layer or in three dimensions, and
// linear interpolation of nodal quantities inside an element.
//
// Numbering: nodes 1 to nln/2 of an element are its bottom face and the rest its top face,
// each in order around the face; the first layer holds elements 1 to ne2d, and the element
// of layer k above first-layer element e is e + (k - 1) * ne2d. The incidence table is
// stored by columns as in search/fixedgrid.hpp.
//
// ElementSearch keeps views of the caller's incidence and coordinate arrays, which must
// stay in place and unchanged while it is used; coordinates are compared exactly. A failed
// search follows one rule: with `usenearest` the nearest element, layer or vertex is taken
// (reported through `wfunc` when `verbosewarn` is set); otherwise the failure is reported
// through `efunc`, and if that returns, the search returns 0. The free functions below act
// on one default instance, elementsearch().
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "search/fixedgrid.hpp"
#include "support/errors.hpp"

namespace kelpra {

// A report callback: receives the whole message text.
using SearchMessage = std::function<void(std::string_view)>;

// Weights of a point in a triangle: P = P1 + s (P2 - P1) + t (P3 - P1).
struct TriangleWeights {
  double s = 0.0;
  double t = 0.0;
};

class ElementSearch {
 public:
  std::int32_t ne = 0;    // all elements
  std::int32_t ne2d = 0;  // elements per layer
  std::int32_t nln = 0;   // nodes per element, 6 or 8
  std::int32_t nz = 0;    // node layers; element layers are 1 to nz - 1
  std::span<const std::int32_t> in;
  std::span<const double> x;
  std::span<const double> y;
  std::span<const double> z;
  FIXEDRESGRID frg;  // over the first layer
  bool usenearest = false;
  bool verbosewarn = true;
  // Empty callbacks act as the defaults, warningmsg and fatalerror.
  SearchMessage wfunc = warningmsg;
  SearchMessage efunc = fatalerror;

  // ---- Set-up (a later call replaces the mesh) ----

  // Stops the run with an input error unless nln is 6 or 8, ne2d >= 1, the mesh holds the
  // ne2d * (nz - 1) elements of its layers (at least one layer), and every node of the ne
  // elements has coordinates.
  void initelementsearch(std::int32_t ne, std::int32_t ne2d, std::int32_t nln, std::int32_t nz,
                         std::span<const std::int32_t> in, std::span<const double> x, std::span<const double> y,
                         std::span<const double> z);
  void setwarncallback(SearchMessage f) { wfunc = std::move(f); }
  void seterrorcallback(SearchMessage f) { efunc = std::move(f); }

  // ---- Element geometry. Element numbers outside 1..ne stop the run. ----

  std::array<double, 3> elementcoords3d(std::int32_t e, std::int32_t i) const;
  std::array<double, 2> elementcoords2d(std::int32_t e, std::int32_t i) const;
  std::array<double, 3> elementcentroid3d(std::int32_t e) const;
  std::array<double, 3> elementcentroidbottom(std::int32_t e) const;
  std::array<double, 3> elementcentroidtop(std::int32_t e) const;
  std::array<double, 2> elementcentroid2d(std::int32_t e) const;
  // (xmin, ymin, zmin, xmax, ymax, zmax) over the element's nodes.
  std::array<double, 6> elementaabb(std::int32_t e) const;

  // ---- Location in the first layer and by layer (0 for none) ----

  // Whether the bottom face of element e (any layer) holds the point in x and y.
  bool pointinelement2d(std::int32_t e, double px, double py) const;
  std::int32_t findelement2dunchecked(double px, double py) const;
  // The first-layer element whose centroid is nearest in x and y; ties to the lower number.
  std::int32_t findnearestelement2d(double px, double py) const;
  std::int32_t findelement2d(double px, double py) const;
  std::int32_t findelementbylayer(double px, double py, std::int32_t layer) const;

  // ---- Interpolation on faces (f indexed by node number; a node past its end stops the run) ----

  double interptriangle(std::span<const double, 3> xs, std::span<const double, 3> ys, std::span<const double, 3> fs,
                        double px, double py) const;
  // Split along the diagonal from vertex 1 to vertex 3; triangle (1, 2, 3) first.
  double interpquad(std::span<const double, 4> xs, std::span<const double, 4> ys, std::span<const double, 4> fs,
                    double px, double py) const;
  double interpelementbottomindex(std::int32_t e, double px, double py, std::span<const double> f) const;
  double interpelementtopindex(std::int32_t e, double px, double py, std::span<const double> f) const;
  double interpelement2dindex(std::int32_t e, double px, double py, std::span<const double> f) const;

  // ---- Location in three dimensions and interpolation inside elements ----

  // The element whose 3-D centroid is nearest, over all layers; ties to the lower number.
  std::int32_t findnearestelement3d(double px, double py, double pz) const;
  // hint: an element whose column is tried before the grid (0 or any number outside 1..ne:
  // none). A point on the interface of two layers belongs to the lower one.
  std::int32_t findelement3d(double px, double py, double pz, std::int32_t hint = 0) const;
  // Writes no message; the switches are the same afterwards.
  bool pointinelement3d(std::int32_t e, double px, double py, double pz);
  // Linear on the faces and in z between them; an element flat at the point gives the
  // bottom value.
  double interpelement3dindex(std::int32_t e, double px, double py, double pz, std::span<const double> f) const;
  // The forms without an element search for it first and give 0 when none is found.
  double interpelementbottomnoindex(double px, double py, double pz, std::span<const double> f) const;
  double interpelementtopnoindex(double px, double py, double pz, std::span<const double> f) const;
  double interpelement2dnoindex(double px, double py, std::span<const double> f) const;
  double interpelement3dnoindex(double px, double py, double pz, std::span<const double> f) const;

 private:
  // Zero-based index of node `in`(i, e) into the coordinates; stops the run for an element
  // outside 1..ne.
  std::size_t node(std::int32_t i, std::int32_t e) const;
  // Mean coordinates of nodes first .. first + count - 1 of element e.
  std::array<double, 3> meanof(std::int32_t e, std::int32_t first, std::int32_t count) const;
  // f on the bottom or top face of element e at (px, py).
  double interpface(std::int32_t e, bool top, double px, double py, std::span<const double> f) const;
  void warn(std::string_view text) const;
  void error(std::string_view text) const;
  // The fallback rule: true when the caller is to take its fallback (reported under
  // warnheadline if verbosewarn); otherwise the failure has been reported under
  // errorheadline and the callback returned. Each message is the headline, a line feed
  // and `detail`.
  bool fallback(std::string_view warnheadline, std::string_view errorheadline, std::string_view detail) const;
};

// The default instance that the free functions act on.
ElementSearch& elementsearch();

// "(x, y)" and "(x, y, z)", each number in its free-format text.
std::string pointtostring2d(double px, double py);
std::string pointtostring3d(double px, double py, double pz);

bool pointintriangle2d(std::span<const double, 3> xs, std::span<const double, 3> ys, double px, double py) noexcept;
bool pointinquad2d(std::span<const double, 4> xs, std::span<const double, 4> ys, double px, double py) noexcept;
// A triangle of zero area gives NaN weights, which place the point in no triangle.
TriangleWeights barycentriccoords(std::span<const double, 3> xs, std::span<const double, 3> ys, double px,
                                  double py) noexcept;

void initelementsearch(std::int32_t ne, std::int32_t ne2d, std::int32_t nln, std::int32_t nz,
                       std::span<const std::int32_t> in, std::span<const double> x, std::span<const double> y,
                       std::span<const double> z);
void setwarncallback(SearchMessage f);
void seterrorcallback(SearchMessage f);

std::array<double, 3> elementcoords3d(std::int32_t e, std::int32_t i);
std::array<double, 2> elementcoords2d(std::int32_t e, std::int32_t i);
std::array<double, 3> elementcentroid3d(std::int32_t e);
std::array<double, 3> elementcentroidbottom(std::int32_t e);
std::array<double, 3> elementcentroidtop(std::int32_t e);
std::array<double, 2> elementcentroid2d(std::int32_t e);
std::array<double, 6> elementaabb(std::int32_t e);

bool pointinelement2d(std::int32_t e, double px, double py);
std::int32_t findelement2dunchecked(double px, double py);
std::int32_t findnearestelement2d(double px, double py);
std::int32_t findelement2d(double px, double py);
std::int32_t findelementbylayer(double px, double py, std::int32_t layer);

}  // namespace kelpra
