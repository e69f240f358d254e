// Random layered meshes for the search tests: a plan of ncol x nrow cells on a unit
// spacing, each cell one block or two counter-clockwise prisms, repeated over nz node
// layers one unit apart. Interior plan nodes and every elevation can be jittered; the
// columns stay vertical, so every layer has the plan of the first.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/elementsearch.hpp"

namespace kelpra::searchtest {

struct LayeredMesh {
  std::int32_t nln = 0;
  std::int32_t ne2d = 0;
  std::int32_t nz = 0;
  std::int32_t ne = 0;
  std::vector<double> x, y, z;
  std::vector<std::int32_t> in;  // nln entries per element

  std::size_t nodeindex(std::int32_t i, std::int32_t e) const {
    return static_cast<std::size_t>(in[static_cast<std::size_t>((e - 1) * nln + i - 1)] - 1);
  }
};

// jitter: largest plan shift of an interior node, in cell widths (below 0.25 keeps every
// cell convex); zjitter: largest shift of an elevation.
inline LayeredMesh layeredmesh(int ncol, int nrow, int nz, bool blocks, double jitter, double zjitter,
                               unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  LayeredMesh m;
  m.nln = blocks ? 8 : 6;
  m.nz = nz;
  const int perlayer = (ncol + 1) * (nrow + 1);
  std::vector<double> px, py;
  for (int j = 0; j <= nrow; ++j) {
    for (int i = 0; i <= ncol; ++i) {
      const bool interior = i > 0 && i < ncol && j > 0 && j < nrow;
      px.push_back(i + (interior ? jitter * u(rng) : 0.0));
      py.push_back(j + (interior ? jitter * u(rng) : 0.0));
    }
  }
  for (int l = 0; l < nz; ++l) {
    for (int k = 0; k < perlayer; ++k) {
      m.x.push_back(px[static_cast<std::size_t>(k)]);
      m.y.push_back(py[static_cast<std::size_t>(k)]);
      m.z.push_back(l + zjitter * u(rng));
    }
  }
  const auto node = [&](int l, int i, int j) { return l * perlayer + j * (ncol + 1) + i + 1; };
  for (int l = 0; l + 1 < nz; ++l) {
    for (int j = 0; j < nrow; ++j) {
      for (int i = 0; i < ncol; ++i) {
        std::vector<std::vector<std::int32_t>> faces;
        if (blocks) {
          faces = {{node(l, i, j), node(l, i + 1, j), node(l, i + 1, j + 1), node(l, i, j + 1)}};
        } else {
          faces = {{node(l, i, j), node(l, i + 1, j), node(l, i + 1, j + 1)},
                   {node(l, i, j), node(l, i + 1, j + 1), node(l, i, j + 1)}};
        }
        for (const auto& f : faces) {
          m.in.insert(m.in.end(), f.begin(), f.end());
          for (const std::int32_t n : f) m.in.push_back(n + perlayer);
        }
      }
    }
  }
  m.ne = static_cast<std::int32_t>(m.in.size()) / m.nln;
  m.ne2d = m.ne / (nz - 1);
  return m;
}

// A search over a mesh it owns, whose callbacks record their messages and return.
struct RecordedSearch {
  LayeredMesh m;
  ElementSearch s;
  std::vector<std::string> warnings, errors;

  explicit RecordedSearch(LayeredMesh mesh) : m(std::move(mesh)) {
    s.initelementsearch(m.ne, m.ne2d, m.nln, m.nz, m.in, m.x, m.y, m.z);
    s.setwarncallback([this](std::string_view t) { warnings.emplace_back(t); });
    s.seterrorcallback([this](std::string_view t) { errors.emplace_back(t); });
  }
  RecordedSearch(const RecordedSearch&) = delete;
  RecordedSearch& operator=(const RecordedSearch&) = delete;
};

}  // namespace kelpra::searchtest
