// The text of a VTK file, collected and written to its unit in large blocks.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/textformats.hpp"

namespace kelpra {

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
