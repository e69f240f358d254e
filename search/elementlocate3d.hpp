// Interpolation on element faces, location in three dimensions and interpolation inside
// elements, on the default element search (see search/elementsearch.hpp).
#pragma once

#include <cstdint>
#include <span>

#include "search/elementsearch.hpp"

namespace kelpra {

double interptriangle(std::span<const double, 3> xs, std::span<const double, 3> ys, std::span<const double, 3> fs,
                      double px, double py);
double interpquad(std::span<const double, 4> xs, std::span<const double, 4> ys, std::span<const double, 4> fs,
                  double px, double py);
double interpelementbottomindex(std::int32_t e, double px, double py, std::span<const double> f);
double interpelementtopindex(std::int32_t e, double px, double py, std::span<const double> f);
double interpelement2dindex(std::int32_t e, double px, double py, std::span<const double> f);
std::int32_t findnearestelement3d(double px, double py, double pz);
std::int32_t findelement3d(double px, double py, double pz, std::int32_t hint = 0);
bool pointinelement3d(std::int32_t e, double px, double py, double pz);
double interpelement3dindex(std::int32_t e, double px, double py, double pz, std::span<const double> f);
double interpelementbottomnoindex(double px, double py, double pz, std::span<const double> f);
double interpelementtopnoindex(double px, double py, double pz, std::span<const double> f);
double interpelement2dnoindex(double px, double py, std::span<const double> f);
double interpelement3dnoindex(double px, double py, double pz, std::span<const double> f);

}  // namespace kelpra
