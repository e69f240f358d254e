// The text of a VTK file, collected and written to its unit in large blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textformats.hpp"

namespace kelpra {

// Point coordinates and the time value: 8-byte reals in full.
inline constexpr EditDescriptor kVtkCoordinate = formatG(26, 17, 3);

class VtkText {
 public:
  explicit VtkText(int unit) : unit_(unit) {}

  // The text collected so far, for fields to be appended to.
  std::string& text() { return text_; }
  void line(std::string_view s) {
    text_ += s;
    endline();
  }
  void endline() {
    text_ += '\n';
    if (text_.size() >= kBlock) flush();
  }
  // The line that opens `count` points given in 8-byte reals.
  void pointsline(std::int32_t count) {
    text_ += "POINTS ";
    appendinteger(text_, count, formatI(10));
    line(" double");
  }
  // One point's line: its coordinates side by side.
  void point(double x, double y, double z) {
    appendreal(text_, x, kVtkCoordinate);
    for (const double c : {y, z}) {
      text_ += ' ';
      appendreal(text_, c, kVtkCoordinate);
    }
    endline();
  }
  // Writes what is collected; a failed write stops the run.
  void flush() {
    std::FILE* fp = unitstream(unit_);
    if (fp == nullptr || std::fwrite(text_.data(), 1, text_.size(), fp) != text_.size()) failed();
    text_.clear();
  }
  // Writes the rest and everything the stream holds, so that a full disk is noticed here.
  void close() {
    flush();
    if (std::fflush(unitstream(unit_)) != 0) failed();
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  void failed() { checkfilewrite(kStatusWriteFailed, unitfilename(unit_)); }

  int unit_;
  std::string text_;
};

}  // namespace kelpra
