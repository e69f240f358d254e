// Test helpers that lay down model files: binary result files of every kind (through the
// library's own writers), record files of any contents, the raw bytes of broken files, and
// whole small models (ModelWriter: model files, meshes of every domain, result files).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "support/fileunits.hpp"

namespace kelpra::testkit {

enum class Layout { current, legacy };

// Sets the writers' layout for the life of the object and puts the old one back after.
class LayoutScope {
 public:
  explicit LayoutScope(Layout layout);
  ~LayoutScope();
  LayoutScope(const LayoutScope&) = delete;
  LayoutScope& operator=(const LayoutScope&) = delete;

 private:
  bool saved_;
};

// 1-D result files ("I04", "R04", "R08"); text is the header text, e.g. "2.5 Heads".
void writeresult_i4(const std::filesystem::path& path, std::string_view text, const std::vector<std::int32_t>& values,
                    Layout layout = Layout::current);
void writeresult_r4(const std::filesystem::path& path, std::string_view text, const std::vector<float>& values,
                    Layout layout = Layout::current);
void writeresult_r8(const std::filesystem::path& path, std::string_view text, const std::vector<double>& values,
                    Layout layout = Layout::current);

// Multi-component result files: vec2 (2 components), vec3 (3), tensor (6) or a 2-D table
// (any number of columns). Every component holds the same number of values.
void writeresult_r4(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<float>>& components, Layout layout = Layout::current);
void writeresult_r8(const std::filesystem::path& path, std::string_view text,
                    const std::vector<std::vector<double>>& components, Layout layout = Layout::current);

// Writes a record file one record at a time: add the record's values, then endrecord().
// Booleans take 4 bytes (1 or 0), texts are blank-padded or cut to their width.
class RecordFileWriter {
 public:
  explicit RecordFileWriter(const std::filesystem::path& path);  // creates or replaces the file
  ~RecordFileWriter();
  RecordFileWriter(const RecordFileWriter&) = delete;
  RecordFileWriter& operator=(const RecordFileWriter&) = delete;

  RecordFileWriter& i4(std::int32_t value);
  RecordFileWriter& i8(std::int64_t value);
  RecordFileWriter& r4(float value);
  RecordFileWriter& r8(double value);
  RecordFileWriter& l(bool value);
  RecordFileWriter& text(std::string_view value, std::size_t width);
  RecordFileWriter& i4s(std::span<const std::int32_t> values);
  RecordFileWriter& r4s(std::span<const float> values);
  RecordFileWriter& r8s(std::span<const double> values);
  RecordFileWriter& ls(const std::vector<bool>& values);
  // Writes what was added since the last record as one record (an empty record when nothing).
  RecordFileWriter& endrecord();
  // Flushes and closes the file; the destructor does the same.
  void close();

 private:
  RecordFileWriter& bytes(std::string_view value);

  UnitHandle file_;
  std::string pending_;
  std::filesystem::path path_;
};

// Raw little-endian bytes, for building files by hand.
std::string le_i4(std::int32_t value);
std::string le_r4(float value);
std::string le_r8(double value);
template <class T>
std::string le_values(const std::vector<T>& values) {
  std::string out;
  for (const T& v : values) {
    if constexpr (sizeof(T) == 8) {
      out += le_r8(static_cast<double>(v));
    } else if constexpr (std::is_floating_point_v<T>) {
      out += le_r4(v);
    } else {
      out += le_i4(v);
    }
  }
  return out;
}

// payload framed by its length words; the second form writes the words given instead.
std::string framedrecord(std::string_view payload);
std::string framedrecord(std::string_view payload, std::int32_t leading, std::int32_t trailing);

// An 80-character header, composed by hand: the text blank-padded to 55 columns and, in
// the current layout, tag, version "001", "LE", type code and the zero-filled counts.
std::string resultheader(std::string_view text, std::string_view typecode, int ncomponents, int nvalues,
                         Layout layout = Layout::current);

// ---------------------------------------------------------------------------------------
// Whole models

// A mesh as the files hold it: node coordinates (empty for a common-node domain), nodes per
// element and the node numbers of every element one after the other, and element zones.
struct MeshData {
  std::vector<double> x, y, z;
  std::int32_t nln = 0;
  std::vector<std::int32_t> incidences;
  std::vector<std::int32_t> zones;
  std::int32_t elements() const {
    return nln == 0 ? 0 : static_cast<std::int32_t>(incidences.size()) / nln;
  }
};

enum class ElementKind { bricks, prisms };

// A layered porous-medium mesh: a grid of cellsx x cellsy cells, `layers` node layers at
// z = 0, 1, 2, ... (x and y 0, 1, 2, ... by grid index). Nodes run x fastest, then y, then
// layer; elements layer by layer, cells in the same order (a cell gives two prisms, the
// first with the cell's lower-left corner).
struct LayeredMesh : MeshData {
  std::int32_t cellsx = 0, cellsy = 0, layers = 0;
  std::int32_t nodesperlayer() const { return (cellsx + 1) * (cellsy + 1); }
  std::int32_t nodes() const { return static_cast<std::int32_t>(x.size()); }
  // The "pm" node at grid position (i, j), node layer k, all from 0.
  std::int32_t node(std::int32_t i, std::int32_t j, std::int32_t k) const {
    return k * nodesperlayer() + j * (cellsx + 1) + i + 1;
  }
};
LayeredMesh layeredmesh(std::int32_t cellsx, std::int32_t cellsy, std::int32_t layers,
                        ElementKind kind = ElementKind::bricks);

// A domain other than "pm" as its coordinates and elements files hold it.
struct LinkedDomain {
  std::string name;
  std::int32_t coupling = 1;
  std::int32_t globalstart = 0;          // what the reader will hand out (multi-node)
  std::vector<std::int32_t> dom2pm;      // the "pm" node of each node
  std::vector<std::int32_t> pm2dom;      // per "pm" node: global number (multi-node) or own number, 0 = none
  // "olf" walls (coordinates records 5 to 10)
  bool walls = false;
  std::int32_t nnwall = 0;
  std::int32_t nwalls = 0;
  std::vector<bool> iswallnode;          // per node
  std::vector<std::int32_t> olf2wall;    // nn x nwalls, wall by wall
  std::vector<std::int32_t> wall2olf;    // per node
  // Elements; incidences hold "pm" node numbers.
  MeshData mesh;
  std::vector<std::int32_t> wallelemid;                // "olf" record 5
  std::optional<std::vector<std::int32_t>> wallelemid2;  // "olf": record 6 true and record 7
  std::vector<std::int32_t> auxint;                    // "frac": 2 x ne, first values then second
  std::vector<double> aperture;                        // "frac"
  std::int32_t nodes() const { return static_cast<std::int32_t>(dom2pm.size()); }
};

struct SurfaceOptions {
  bool multinode = true;
  bool triangles = false;            // nln 3 instead of quadrilaterals
  bool walls = false;                // one wall along the grid line i = cellsx / 2
  std::int32_t globalstart = -1;     // -1: the "pm" node count
};

// Lays down a whole small model in a directory. Every file name is the prefix (directory
// and model name) followed by the file's own name.
class ModelWriter {
 public:
  explicit ModelWriter(std::filesystem::path dir, std::string name = "abc");

  // The prefix as the run settings hold it: directory and model name.
  std::string prefix() const;
  std::filesystem::path path(std::string_view suffix) const;

  // "o.gen": version, titles (each one 60-character text of one record) and the unit system.
  void gen(const std::vector<std::string>& titles, std::int32_t unitsystem = 0,
           std::string_view version = "2975") const;
  // "o.species": mobile names, further names, then a temperature and a colloid flag per
  // mobile species (missing flags are written false).
  void species(const std::vector<std::string>& mobile, const std::vector<std::string>& further = {},
               const std::vector<bool>& temperature = {}, const std::vector<bool>& colloid = {}) const;
  // "o.hmc": seven header records and three records per fraction.
  void hmc(const std::vector<std::string>& fractions) const;

  // "pm" files; nzfield is the layer count written with the coordinates.
  void pmfiles(const MeshData& mesh, std::int32_t nx, std::int32_t ny, std::int32_t nzfield) const;
  LayeredMesh pm(std::int32_t cellsx, std::int32_t cellsy, std::int32_t layers,
                 ElementKind kind = ElementKind::bricks, bool writelayers = true) const;
  // Both files of another domain.
  void linkedfiles(const LinkedDomain& dom) const;

  // The top layer of the layered mesh as "olf" (written).
  LinkedDomain olf(const LayeredMesh& pm, const SurfaceOptions& options = {}) const;
  // The vertical plane j = 0 of the layered mesh as "frac", quadrilaterals (written).
  LinkedDomain frac(const LayeredMesh& pm, bool multinode = true, std::int32_t globalstart = -1) const;
  // Every "pm" node and element as "dual" with the given zones (one per "pm" element; written).
  LinkedDomain dual(const LayeredMesh& pm, const std::vector<std::int32_t>& zones, std::int32_t globalstart = -1) const;

  // Result files: prefix, "o.", root, "_", domain, ".", index zero-padded to width.
  std::filesystem::path resultpath(std::string_view root, std::string_view domain, std::int32_t index,
                                   std::int32_t width = 4) const;
  void result_r8(std::string_view root, std::string_view domain, std::int32_t index, std::string_view text,
                 const std::vector<double>& values) const;
  void result_r4(std::string_view root, std::string_view domain, std::int32_t index, std::string_view text,
                 const std::vector<float>& values) const;

 private:
  LinkedDomain linked(std::string name, const LayeredMesh& pm, const std::vector<std::int32_t>& pmnodes,
                      bool multinode, std::int32_t globalstart) const;

  std::filesystem::path dir_;
  std::string name_;
};

// Makes the directory the working directory for the life of the object.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& dir);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path saved_;
};

}  // namespace kelpra::testkit
