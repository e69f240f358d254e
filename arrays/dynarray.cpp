// Growth rules and the reports of the dynamic-array operations.
#include "arrays/dynarray.hpp"

#include <cmath>
#include <string>

#include "support/errors.hpp"
#include "support/fileunits.hpp"

namespace kelpra::arraydetail {
namespace {

// The name an operation gives itself in its default allocation label.
std::string_view labelname(Op op) {
  switch (op) {
    case Op::allocate: return "allocateArray";
    case Op::resize: return "resizeArray";
    case Op::grow: return "growArray";
    case Op::shrink: return "shrinkArray";
    case Op::insertsingle: return "insertSingle";
    case Op::insertfill: return "insertFill";
    case Op::insertrange: return "insertRange";
    case Op::pushback: return "pushback";
    case Op::assignsingle: return "assignSingle";
    case Op::erasesingle:
    case Op::eraserange: break;  // erasing never allocates
  }
  return "";
}

// The name callers know the operation by, without its type suffix.
std::string_view callname(Op op) {
  switch (op) {
    case Op::allocate: return "allocate";
    case Op::resize: return "resize";
    case Op::grow: return "grow";
    case Op::shrink: return "shrink";
    case Op::insertsingle: return "insertsingle";
    case Op::insertfill: return "insertfill";
    case Op::insertrange: return "insertrange";
    case Op::erasesingle: return "erasesingle";
    case Op::eraserange: return "eraserange";
    case Op::pushback: return "pushback";
    case Op::assignsingle: return "assignsingle";
  }
  return "";
}

}  // namespace

std::int32_t growth32(std::int32_t size) {
  const float grown = std::ceil(static_cast<float>(size) * 1.5F);
  return grown >= 2147483648.0F ? kMaxSize : static_cast<std::int32_t>(grown);
}

std::int32_t growth64(std::int32_t size) {
  const double grown = std::ceil(static_cast<double>(size) * 1.5);
  return grown >= 2147483648.0 ? kMaxSize : static_cast<std::int32_t>(grown);
}

void allocationfailed(Op op, std::string_view element, bool twodim, const ArrayLabel& label) {
  std::string text;
  if (label) {
    text = *label;
  } else {
    text = labelname(op);
    text += twodim ? ": 2D " : ": ";
    text += element;
  }
  check_alloc(kStatusNoMemory, text);
  throw RunStopped{};  // not reached: a non-zero status stops the run inside check_alloc
}

void usageerror(Op op, std::string_view suffix, bool twodim, std::string_view problem) {
  std::string text(callname(op));
  text += '_';
  text += suffix;
  if (twodim) text += "_2d";
  text += ": ";
  text += problem;
  fatalerror(text);
}

}  // namespace kelpra::arraydetail
