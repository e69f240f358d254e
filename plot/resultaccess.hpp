// Access to the simulator's result files: the zero-padded output-time index that ends every
// result-file name, and the time stamp of an output time, taken from the header of the first
// result file found for it. The value readers (read_var4 and the rest) stand in
// plot/readservices.hpp.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelpra {

// The file roots probed for a time stamp, in probing order.
inline constexpr std::size_t kTimeFileRoots = 66;
const std::array<std::string_view, kTimeFileRoots>& timefileroots();
// Whether a result file of one of the time-file roots that name the domain ("head_pm" for "pm")
// exists for the extension (".0003").
bool domaintimefileexists(std::string_view domain, std::string_view extension);

// The index as outputtimeindexwidth digits with leading zeros ("0005"). An index with more
// digits than the width (or a negative one) stops the run: wrapping it onto the files of a
// smaller index would convert those files again.
std::string outputtimeindex(std::int32_t index);
// Whether the index can be written in the output-time index width.
bool outputtimeindexfits(std::int32_t index);
// Whether a result file of output time `index` exists (any of the time-file roots), without
// touching the time stamp of the output time being converted.
bool outputtimeexists(std::int32_t index);
// The index as outputtimeindex writes it where it fits; otherwise the index in words, saying
// that it does not fit. Never stops the run: for texts that a stopping report writes.
std::string outputtimetext(std::int32_t index);
// "1 output time", "3 output times".
std::string outputtimecount(std::int64_t n);
// The output times of `indices`, as reports name them: "output time 0003", "output times 0001
// to 0003, 0005" with runs of consecutive ones joined, or with `joinruns` false each by itself
// ("output times 0003, 0004"); "no output time" for none. A list with an index that was not
// recorded (0 or less) is counted instead. Indices written as outputtimetext writes them.
std::string outputtimelist(const std::vector<std::int32_t>& indices, bool joinruns = true);
// The warning that output times from `index` on cannot be named in the index width; the run
// then ends normally with what it has written.
void warnindexbeyondwidth(std::int32_t index);

// The result file whose header gives the time stamp of the output time of `extension` (a dot
// and the index digits): `remembered` (the file found for the output time before; "" for none)
// with the new extension where it exists, else the first time-file root's in order; "" where
// the output time has no result file. Touches no run setting.
std::string timefile(std::string_view extension, std::string_view remembered);
// The time stamp in the header of the result file, converted when sim_time_conversion is set.
std::string timestampin(const std::string& fname);

// timefile for the run: sets time_fname and time_file_found.
void findtimefile(std::string_view extension);

// Sets timestamp to the time in the header of the file findtimefile finds ("0.0" and found
// false when there is none), converted when sim_time_conversion is set.
void gettimestamp(std::string_view extension, bool& found);

// The output times whose index the width can name and that have a file named as a result file
// of a time-file root, in increasing order, found with one listing of each directory the result
// files lie in (the width may allow 10^10 indices, too many to ask for one by one). The names
// are not checked further: outputtimeexists tells. `unlisted` names a directory that could not
// be listed, and why ("" where each was listed).
std::vector<std::int32_t> outputtimeslisted(std::string& unlisted);

// Free-format text of a time: the shortest form that reads back to the same value.
std::string timetext(double value);

}  // namespace kelpra
