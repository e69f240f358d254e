#include "tests/kit/modelwriter.hpp"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "binfile/binfile.hpp"
#include "binfile/littleendian.hpp"
#include "binfile/recordfile.hpp"

namespace kelpra::testkit {
namespace {

template <class T>
void writecomponents(const std::filesystem::path& path, std::string_view text,
                     const std::vector<std::vector<T>>& components, Layout layout) {
  const std::size_t n = components.empty() ? 0 : components.front().size();
  std::vector<T> table;
  table.reserve(n * components.size());
  for (const std::vector<T>& c : components) {
    if (c.size() != n) throw std::invalid_argument("components of unequal length for " + path.string());
    table.insert(table.end(), c.begin(), c.end());
  }
  const LayoutScope scope(layout);
  const Array2DRef<const T> values(table.data(), static_cast<std::int32_t>(n),
                                   static_cast<std::int32_t>(components.size()));
  if constexpr (std::is_same_v<T, float>) {
    write_r4_2d(path.string(), text, 1, static_cast<std::int32_t>(n), values);
  } else {
    write_r8_2d(path.string(), text, 1, static_cast<std::int32_t>(n), values);
  }
}

template <class T>
std::string lebytes(T value) {
  std::string out(sizeof(T), '\0');
  storelittleendian(value, out.data());
  return out;
}

}  // namespace

LayoutScope::LayoutScope(Layout layout) : saved_(writelegacybinformat) {
  writelegacybinformat = layout == Layout::legacy;
}
LayoutScope::~LayoutScope() { writelegacybinformat = saved_; }

void writeresult_i4(const std::filesystem::path& path, std::string_view text, const std::vector<std::int32_t>& values,
                    Layout layout) {
  const LayoutScope scope(layout);
  write_i4_1d(path.string(), text, 1, static_cast<std::int32_t>(values.size()), values);
}
void writeresult_r4(const std::filesystem::path& path, std::string_view text, const std::vector<float>& values,
                    Layout layout) {
  const LayoutScope scope(layout);
  write_r4_1d(path.string(), text, 1, static_cast<std::int32_t>(values.size()), values);
}
void writeresult_r8(const std::filesystem::path& path, std::string_view text, const std::vector<double>& values,
                    Layout layout) {
  const LayoutScope scope(layout);
  write_r8_1d(path.string(), text, 1, static_cast<std::int32_t>(values.size()), values);
}
void writeresult_r4(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<float>>& components, Layout layout) {
  writecomponents(path, text, components, layout);
}
void writeresult_r8(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<double>>& components, Layout layout) {
  writecomponents(path, text, components, layout);
}

RecordFileWriter::RecordFileWriter(const std::filesystem::path& path) : file_(UnitHandle::take()), path_(path) {
  if (openunit(file_.unit(), path.string(), FileForm::unformatted, OpenStatus::replace) != 0) {
    throw std::runtime_error("cannot create record file " + path.string());
  }
}

RecordFileWriter::~RecordFileWriter() {
  try {
    close();
  } catch (const std::exception&) {
    // A destructor must not throw; a test that cares calls close() itself.
  }
}

RecordFileWriter& RecordFileWriter::bytes(std::string_view value) {
  pending_ += value;
  return *this;
}
RecordFileWriter& RecordFileWriter::i4(std::int32_t value) { return bytes(lebytes(value)); }
RecordFileWriter& RecordFileWriter::i8(std::int64_t value) { return bytes(lebytes(value)); }
RecordFileWriter& RecordFileWriter::r4(float value) { return bytes(lebytes(value)); }
RecordFileWriter& RecordFileWriter::r8(double value) { return bytes(lebytes(value)); }
RecordFileWriter& RecordFileWriter::l(bool value) { return i4(value ? 1 : 0); }
RecordFileWriter& RecordFileWriter::text(std::string_view value, std::size_t width) {
  std::string field(value.substr(0, std::min(value.size(), width)));
  field.resize(width, ' ');
  return bytes(field);
}
RecordFileWriter& RecordFileWriter::i4s(std::span<const std::int32_t> values) {
  for (const std::int32_t v : values) i4(v);
  return *this;
}
RecordFileWriter& RecordFileWriter::r4s(std::span<const float> values) {
  for (const float v : values) r4(v);
  return *this;
}
RecordFileWriter& RecordFileWriter::r8s(std::span<const double> values) {
  for (const double v : values) r8(v);
  return *this;
}
RecordFileWriter& RecordFileWriter::ls(const std::vector<bool>& values) {
  for (const bool v : values) l(v);
  return *this;
}

RecordFileWriter& RecordFileWriter::endrecord() {
  if (!file_ || unitstream(file_.unit()) == nullptr) throw std::runtime_error("record file closed: " + path_.string());
  if (writerecord(file_.unit(), pending_.data(), pending_.size()) != 0) {
    throw std::runtime_error("cannot write record to " + path_.string());
  }
  pending_.clear();
  return *this;
}

void RecordFileWriter::close() {
  if (!file_) return;
  std::FILE* fp = unitstream(file_.unit());
  const bool flushed = fp == nullptr || std::fflush(fp) == 0;
  file_.release();
  if (!flushed) throw std::runtime_error("cannot write record file " + path_.string());
}

std::string le_i4(std::int32_t value) { return lebytes(value); }
std::string le_r4(float value) { return lebytes(value); }
std::string le_r8(double value) { return lebytes(value); }

std::string framedrecord(std::string_view payload) {
  const auto length = static_cast<std::int32_t>(payload.size());
  return framedrecord(payload, length, length);
}

std::string framedrecord(std::string_view payload, std::int32_t leading, std::int32_t trailing) {
  std::string out = le_i4(leading);
  out += payload;
  out += le_i4(trailing);
  return out;
}

std::string resultheader(std::string_view text, std::string_view typecode, int ncomponents, int nvalues,
                         Layout layout) {
  std::string header(text.substr(0, std::min<std::size_t>(text.size(), 80)));
  header.resize(80, ' ');
  if (layout == Layout::current) {
    char counts[32];
    std::snprintf(counts, sizeof counts, "%02d%010d", ncomponents, nvalues);
    std::string fields = "#!TNQ001LE" + std::string(typecode.substr(0, 3)) + counts;
    fields.resize(25, ' ');
    header.replace(55, 25, fields);
  }
  return header;
}

// ---------------------------------------------------------------------------------------
// Whole models

namespace {

void writeelements(RecordFileWriter& w, const MeshData& mesh) {
  w.i4(mesh.nln).endrecord();
  w.i4(mesh.elements()).endrecord();
  w.i4s(mesh.incidences).endrecord();
  w.i4s(mesh.zones).endrecord();
}

// The corners of cell (i, j) of a grid as quadrilateral or two triangles, through `at`.
template <class At>
void cellshapes(std::int32_t i, std::int32_t j, bool triangles, At at, std::vector<std::vector<std::int32_t>>& out) {
  out.clear();
  if (triangles) {
    out.push_back({at(i, j), at(i + 1, j), at(i, j + 1)});
    out.push_back({at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
  } else {
    out.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
  }
}

}  // namespace

LayeredMesh layeredmesh(std::int32_t cellsx, std::int32_t cellsy, std::int32_t layers, ElementKind kind) {
  LayeredMesh m;
  m.cellsx = cellsx;
  m.cellsy = cellsy;
  m.layers = layers;
  for (std::int32_t k = 0; k < layers; ++k) {
    for (std::int32_t j = 0; j <= cellsy; ++j) {
      for (std::int32_t i = 0; i <= cellsx; ++i) {
        m.x.push_back(i);
        m.y.push_back(j);
        m.z.push_back(k);
      }
    }
  }
  const bool prisms = kind == ElementKind::prisms;
  m.nln = prisms ? 6 : 8;
  std::vector<std::vector<std::int32_t>> shapes;
  for (std::int32_t k = 0; k + 1 < layers; ++k) {
    for (std::int32_t j = 0; j < cellsy; ++j) {
      for (std::int32_t i = 0; i < cellsx; ++i) {
        cellshapes(i, j, prisms, [&](std::int32_t a, std::int32_t b) { return m.node(a, b, k); }, shapes);
        for (const auto& bottom : shapes) {
          for (const std::int32_t n : bottom) m.incidences.push_back(n);
          for (const std::int32_t n : bottom) m.incidences.push_back(n + m.nodesperlayer());
          m.zones.push_back(1);
        }
      }
    }
  }
  return m;
}

ModelWriter::ModelWriter(std::filesystem::path dir, std::string name) : dir_(std::move(dir)), name_(std::move(name)) {}

std::string ModelWriter::prefix() const { return (dir_ / name_).string(); }

std::filesystem::path ModelWriter::path(std::string_view suffix) const {
  return dir_ / (name_ + std::string(suffix));
}

void ModelWriter::gen(const std::vector<std::string>& titles, std::int32_t unitsystem, std::string_view version) const {
  RecordFileWriter w(path("o.gen"));
  w.text(version, 80).endrecord();
  w.i4(static_cast<std::int32_t>(titles.size())).endrecord();
  for (const std::string& t : titles) w.text(t, 60);
  w.endrecord();
  w.i4(unitsystem).endrecord();
}

void ModelWriter::species(const std::vector<std::string>& mobile, const std::vector<std::string>& further,
                          const std::vector<bool>& temperature, const std::vector<bool>& colloid) const {
  RecordFileWriter w(path("o.species"));
  w.i4(static_cast<std::int32_t>(mobile.size())).endrecord();
  w.i4(static_cast<std::int32_t>(further.size())).endrecord();
  for (const std::string& n : mobile) w.text(n, 50).endrecord();
  for (const std::string& n : further) w.text(n, 50).endrecord();
  for (std::size_t i = 0; i < mobile.size(); ++i) w.l(i < temperature.size() && temperature[i]).endrecord();
  for (std::size_t i = 0; i < mobile.size(); ++i) w.l(i < colloid.size() && colloid[i]).endrecord();
}

void ModelWriter::hmc(const std::vector<std::string>& fractions) const {
  RecordFileWriter w(path("o.hmc"));
  w.i4(7).endrecord().i4(8).endrecord().i4(9).endrecord().l(true).endrecord();
  w.i4(static_cast<std::int32_t>(fractions.size())).endrecord();
  w.i4(10).endrecord().i4(11).endrecord();
  std::int32_t k = 0;
  for (const std::string& f : fractions) {
    w.text(f, 80).endrecord();
    ++k;
    w.i4(k).endrecord().i4(-k).endrecord();
  }
}

void ModelWriter::pmfiles(const MeshData& mesh, std::int32_t nx, std::int32_t ny, std::int32_t nzfield) const {
  {
    RecordFileWriter w(path("o.coordinates_pm"));
    w.i4(static_cast<std::int32_t>(mesh.x.size())).endrecord();
    w.r8s(mesh.x).r8s(mesh.y).r8s(mesh.z).endrecord();
    w.i4(nx).i4(ny).i4(nzfield).endrecord();
  }
  RecordFileWriter w(path("o.elements_pm"));
  writeelements(w, mesh);
}

LayeredMesh ModelWriter::pm(std::int32_t cellsx, std::int32_t cellsy, std::int32_t layers, ElementKind kind,
                            bool writelayers) const {
  LayeredMesh m = layeredmesh(cellsx, cellsy, layers, kind);
  pmfiles(m, cellsx + 1, cellsy + 1, writelayers ? layers : 0);
  return m;
}

LinkedDomain ModelWriter::linked(std::string name, const LayeredMesh& pm, const std::vector<std::int32_t>& pmnodes,
                                 bool multinode, std::int32_t globalstart) const {
  LinkedDomain d;
  d.name = std::move(name);
  d.coupling = multinode ? 1 : 0;
  d.globalstart = multinode ? (globalstart < 0 ? pm.nodes() : globalstart) : 0;
  d.dom2pm = pmnodes;
  d.pm2dom.assign(static_cast<std::size_t>(pm.nodes()), 0);
  for (std::size_t i = 0; i < pmnodes.size(); ++i) {
    d.pm2dom[static_cast<std::size_t>(pmnodes[i] - 1)] = d.globalstart + static_cast<std::int32_t>(i) + 1;
  }
  return d;
}

void ModelWriter::linkedfiles(const LinkedDomain& d) const {
  {
    RecordFileWriter w(path("o.coordinates_" + d.name));
    w.i4(d.nodes()).endrecord();
    w.i4(d.coupling).endrecord();
    w.i4s(d.dom2pm).endrecord();
    w.i4s(d.pm2dom).endrecord();
    if (d.name == "olf") {
      w.l(d.walls).endrecord();
      if (d.walls) {
        w.i4(d.nnwall).endrecord();
        w.i4(d.nwalls).endrecord();
        w.ls(d.iswallnode).endrecord();
        w.i4s(d.olf2wall).endrecord();
        w.i4s(d.wall2olf).endrecord();
      }
    }
  }
  RecordFileWriter w(path("o.elements_" + d.name));
  writeelements(w, d.mesh);
  if (d.name == "olf") {
    w.i4s(d.wallelemid).endrecord();
    w.l(d.wallelemid2.has_value()).endrecord();
    if (d.wallelemid2) w.i4s(*d.wallelemid2).endrecord();
  } else if (d.name == "frac") {
    w.i4s(d.auxint).endrecord();
    w.r8s(d.aperture).endrecord();
  }
}

LinkedDomain ModelWriter::olf(const LayeredMesh& pm, const SurfaceOptions& options) const {
  const std::int32_t top = pm.layers - 1;
  std::vector<std::int32_t> nodes;
  for (std::int32_t j = 0; j <= pm.cellsy; ++j) {
    for (std::int32_t i = 0; i <= pm.cellsx; ++i) nodes.push_back(pm.node(i, j, top));
  }
  LinkedDomain d = linked("olf", pm, nodes, options.multinode, options.globalstart);
  d.mesh.nln = options.triangles ? 3 : 4;
  std::vector<std::vector<std::int32_t>> shapes;
  const std::int32_t wallcolumn = pm.cellsx / 2;
  std::vector<std::int32_t> onwall;
  for (std::int32_t j = 0; j < pm.cellsy; ++j) {
    for (std::int32_t i = 0; i < pm.cellsx; ++i) {
      cellshapes(i, j, options.triangles, [&](std::int32_t a, std::int32_t b) { return pm.node(a, b, top); }, shapes);
      for (const auto& shape : shapes) {
        d.mesh.incidences.insert(d.mesh.incidences.end(), shape.begin(), shape.end());
        d.mesh.zones.push_back(2);
        onwall.push_back(i == wallcolumn || i + 1 == wallcolumn ? 1 : 0);
      }
    }
  }
  d.wallelemid.assign(onwall.size(), 0);
  if (options.walls) {
    d.walls = true;
    d.nwalls = 1;
    for (std::size_t n = 0; n < nodes.size(); ++n) {
      const bool wall = static_cast<std::int32_t>(n) % (pm.cellsx + 1) == wallcolumn;
      const std::int32_t global = d.pm2dom[static_cast<std::size_t>(nodes[n] - 1)];
      d.iswallnode.push_back(wall);
      d.olf2wall.push_back(wall ? global : 0);
      d.wall2olf.push_back(wall ? global : 0);
      d.nnwall += wall ? 1 : 0;
    }
    d.wallelemid2 = onwall;
  }
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    if (options.multinode) {
      d.mesh.x.push_back(pm.x[static_cast<std::size_t>(nodes[n] - 1)]);
      d.mesh.y.push_back(pm.y[static_cast<std::size_t>(nodes[n] - 1)]);
      d.mesh.z.push_back(pm.z[static_cast<std::size_t>(nodes[n] - 1)]);
    }
  }
  linkedfiles(d);
  return d;
}

LinkedDomain ModelWriter::frac(const LayeredMesh& pm, bool multinode, std::int32_t globalstart) const {
  std::vector<std::int32_t> nodes;
  for (std::int32_t k = 0; k < pm.layers; ++k) {
    for (std::int32_t i = 0; i <= pm.cellsx; ++i) nodes.push_back(pm.node(i, 0, k));
  }
  LinkedDomain d = linked("frac", pm, nodes, multinode, globalstart);
  d.mesh.nln = 4;
  for (std::int32_t k = 0; k + 1 < pm.layers; ++k) {
    for (std::int32_t i = 0; i < pm.cellsx; ++i) {
      for (const std::int32_t n : {pm.node(i, 0, k), pm.node(i + 1, 0, k), pm.node(i + 1, 0, k + 1), pm.node(i, 0, k + 1)}) {
        d.mesh.incidences.push_back(n);
      }
      d.mesh.zones.push_back(3);
    }
  }
  const std::int32_t ne = d.mesh.elements();
  for (std::int32_t e = 1; e <= ne; ++e) d.auxint.push_back(e);
  for (std::int32_t e = 1; e <= ne; ++e) d.auxint.push_back(100 + e);
  for (std::int32_t e = 1; e <= ne; ++e) d.aperture.push_back(0.001 * e);
  linkedfiles(d);
  return d;
}

LinkedDomain ModelWriter::dual(const LayeredMesh& pm, const std::vector<std::int32_t>& zones,
                               std::int32_t globalstart) const {
  std::vector<std::int32_t> nodes(static_cast<std::size_t>(pm.nodes()));
  for (std::size_t n = 0; n < nodes.size(); ++n) nodes[n] = static_cast<std::int32_t>(n) + 1;
  LinkedDomain d = linked("dual", pm, nodes, true, globalstart);
  d.mesh.nln = pm.nln;
  d.mesh.incidences = pm.incidences;
  d.mesh.zones = zones;
  linkedfiles(d);
  return d;
}

std::filesystem::path ModelWriter::resultpath(std::string_view root, std::string_view domain, std::int32_t index,
                                              std::int32_t width) const {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*d", width, index);
  return path("o." + std::string(root) + "_" + std::string(domain) + "." + digits);
}

void ModelWriter::result_r8(std::string_view root, std::string_view domain, std::int32_t index,
                            std::string_view text, const std::vector<double>& values) const {
  writeresult_r8(resultpath(root, domain, index), text, values);
}

void ModelWriter::result_r4(std::string_view root, std::string_view domain, std::int32_t index,
                            std::string_view text, const std::vector<float>& values) const {
  writeresult_r4(resultpath(root, domain, index), text, values);
}

WorkingDirectory::WorkingDirectory(const std::filesystem::path& dir) : saved_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

WorkingDirectory::~WorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(saved_, ignored);
}

}  // namespace kelpra::testkit
