// The model files written next to the meshes by the pre-processor ("o.gen", "o.species",
// "o.hmc"), the start-up banner and the one-line echo-and-screen writer. The record-file
// reader below serves these files and the mesh files alike.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binfile/recordfile.hpp"
#include "support/checkedalloc.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra {

// Reads the prefix's "o.gen": checks the pre-processor's version against the revision,
// sets ntit and title, and installs the saved unit system as the base units.
void titleread();
// Reads the prefix's "o.species" when it exists: species counts, names and kinds.
void speciesread();
// Reads the prefix's "o.hmc" when it exists: the mixing-fraction names, each as "f_" + name.
void hmcfractionsread();

// The start-up banner, to the unit, or to standard output when the unit is below 1.
void header(int unit);

// One line to the echo file, then the same line to the screen.
void write_string(std::string_view text);
// The line of one blank and the rule of 48 "-" that open the messages of every data set.
void write_rule();
// The problem prefix without its padding, with which every file name of the model starts.
std::string prefixtext();

// Sequential reader of one model or mesh file. Every failure stops the run: a failing open
// through checkfileopen, a missing or short record through checkfileread (the read error of
// the record-file layer), a negative count as an input error.
class ModelRecordFile {
 public:
  // Opens an existing file, read only.
  explicit ModelRecordFile(std::string name);

  const std::string& name() const { return name_; }
  int unit() const { return file_.unit(); }

  std::int32_t i4();
  // A 4-byte boolean: true when its lowest bit is 1.
  bool l();
  // A text record of the given width, returned without trailing blanks.
  std::string text(std::size_t width);
  // A 4-byte count; a negative one is an input error naming `what` and the file.
  std::int32_t count(std::string_view what);
  // The first values.size() values of the next record.
  template <RecordValue T>
  void values(std::span<T> out) {
    checkfileread(readrecordvalues(file_.unit(), out), name_);
  }
  // The first n values of the next record into `out`, which holds exactly them afterwards. A
  // regular file is checked for them before anything is sized; from a file of unknown size (a
  // pipe) the storage grows with the values that arrive. A failed allocation is the report `what`.
  template <class V>
  void array(V& out, std::int64_t n, std::string_view what) {
    using T = typename V::value_type;
    checkfileread(readrecordinto(file_.unit(), out, static_cast<std::size_t>(std::max<std::int64_t>(n, 0)), what),
                  name_);
    if constexpr (RecordValue<T>) littleendiantohost(std::span<T>(out));
  }
  // Stops with the read failure when what is left of the file cannot hold `records` records
  // carrying `payload` bytes between them. Counts read from a file are checked this way
  // before they size any storage, so a corrupt count cannot ask for a giant allocation.
  void needroom(std::int64_t records, std::int64_t payload);

  // Gives the unit back (closing the file).
  void close() { file_.release(); }

 private:
  std::string name_;
  UnitHandle file_;
};

}  // namespace kelpra
