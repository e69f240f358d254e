// What a result file holds where a read of it failed. The readers see only a read status,
// which cannot tell a cut file from a foreign one; on a failure the file is walked again as
// bytes, record by record, to say in one sentence what was found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelpra {

// What a reader asks of a file: `components` components of `count` values of `valuesize`
// bytes each, one record per component, or, where `legacyrows` is set and the header is a
// legacy one, `count` records of every component. `typecode` is the reader's value type
// ("" when it has none). A reader of the header alone asks for no components.
struct ResultFileShape {
  std::uint64_t components = 0;
  std::uint64_t count = 0;
  std::size_t valuesize = 1;
  std::string_view typecode;
  bool legacyrows = false;
};

// One sentence: the header is not that of a result file, a record holds fewer values than
// asked of it, or the file ends before the bytes the shape needs. Empty when the file cannot
// be walked again (not a regular file) or shows no such fault.
std::string resultfilefault(std::string_view fname, const ResultFileShape& shape);

// Why the result file cannot be read whole, in one sentence; empty where it can: it is a
// regular file, its header is that of a result file and every value record its header names
// (a legacy header names none: every record up to the end of the file) is there, whole.
std::string resultfilenotwhole(std::string_view fname);

// Stops the run through input_error_stat with `message`, followed by the line of
// resultfilefault where there is one.
[[noreturn]] void resultreadfailed(int status, std::string_view message, std::string_view fname,
                                   const ResultFileShape& shape);

}  // namespace kelpra
