// The Tecplot writer of a domain's data set, with an ASCII back end (".dat" text files) and a
// binary one (through the TecIO calls of plot/tecio.hpp), chosen by plot_data.tecplot_bin_mode.
//
// Calling order for one data set: tecplotinit; per variable, in data-set order, tecplotvaradd,
// one data-type call and as needed a units call; tecplotfileopen; tecplotvarunitswrite; then
// per zone the cell-centred and share marks, tecplotwritezonefe, one array per variable that
// is not shared (in variable-number order) and, in a zone with its own connectivity,
// tecplotwriteconnectivity.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// ---- Variable list -----------------------------------------------------------------------
void tecplotinit(DOMAIN& dom);
void tecplotvaradd(std::string_view name, std::int32_t& count, std::int32_t& number, std::string& list);
void tecplotvarunitsadd(std::string_view name, std::int32_t number, std::string_view units, DOMAIN& dom);
void tecplottransvarunitsadd(std::int32_t species, std::string_view name, std::int32_t number,
                             std::string_view units, DOMAIN& dom);
void tecplotvarunitsaddprivate(std::string_view name, std::int32_t number, std::string_view unittext, DOMAIN& dom);
std::string parseunitstrans(std::int32_t species, std::string_view units);
void tecplotvarunitswrite(DOMAIN& dom);
void tecplotvarshareadd(std::int32_t number, std::int32_t zone, DOMAIN& dom);
void tecplotvarlocccadd(std::int32_t number, DOMAIN& dom);
void tecplotdatatypereal4(std::int32_t number, std::span<const float> values, DOMAIN& dom);
void tecplotdatatypereal8(std::int32_t number, std::span<const double> values, DOMAIN& dom);
void tecplotdatatypeint4(std::int32_t number, std::span<const std::int32_t> values, DOMAIN& dom);
void tecplotdatatype(std::int32_t number, std::int32_t code, DOMAIN& dom);
// The 8-character word of a data-type code: 2 "DOUBLE", 3 "LONGINT", anything else "SINGLE".
std::string tecdt2string(std::int32_t code);

// ---- Data set, auxiliary data and zones ----------------------------------------------------
// A text as a binary data set stores it: without trailing blanks, and with a blank for each
// control character, which the temporary files of the data set cannot hold.
std::string binarytext(std::string_view text);
// The temporary files of a binary data set: its header state and its zone data.
std::array<std::string, 2> temporaryfiles(const std::string& base);
// Both named in a message: "<base>.szplt.szhdr and <base>.szplt.szdat".
std::string temporarynames(const std::string& base);
// Name of the append file of the current prefix.
std::string tecappendfilename();
// Whether this run continues binary data sets that earlier append runs wrote: append mode with
// an output time already recorded.
bool continuesdataset();
// A data set that is not continued is written afresh: temporary files an earlier run left are
// deleted where they say they are of a run without append mode, and renamed with ".old" added
// (".old2", ".old3", ... where an earlier pair holds that name) otherwise, with a warning.
void setasidetemporaries(const std::string& base);
// Before a binary data set is written: deletes the "<base>.szplt.new" a run stopped while it
// put the data set in place left (beside a link's target), with a warning.
void removehalfwritten(const std::string& base);
// Warns that a data set new to an append series, of which nothing exists, is started anew at
// the current output time; `nothingnew`: by the next run, since this one has none to write.
void checkcontinuedtemporaries(const std::string& base, bool nothingnew = false);
void tecplotfileopen(std::string_view basename, std::string_view title, std::int32_t count,
                     std::string_view varlist, DOMAIN& dom);
void tecplotmetadata(DOMAIN& dom);
void tecplotaddmetadata(std::string_view key, std::string_view value, DOMAIN& dom);
void tecplotmetadataascii(int unit);
void tecplotwritezonefe(std::string_view zonetitle, std::int32_t nodes, std::int32_t elements,
                        std::string_view timetext, std::int32_t sharezone, DOMAIN& dom);
// Binary back end: records in the temporary files the output-time index that the zone just
// started holds; before the first zone, the index at which the data set is set up.
void tecplotoutputtime(DOMAIN& dom, std::int32_t index);
void tecplotfileflush(DOMAIN& dom);
void tecplotfileclose(DOMAIN& dom);
// Whether the zone last started has every variable written or shared and its connectivity.
bool tecplotzonecomplete(const DOMAIN& dom);
// Notes the TecIO layer's reason for the failure of the call just made for the next report;
// `named` is the file that report names (the reason then names the failing file only where it
// is another). Where the layer has none, a note left by another file is dropped.
void notebinaryreason(const std::string& named);
// A TecIO call after the opening failed: stops the run with the message and the system's
// reason; the stopping report closes the data set.
[[noreturn]] void binaryfailure(const std::string& message);
// Refuses to continue a data set of an earlier append run, saying why; nothing on disk has
// changed yet.
[[noreturn]] void appendrefused(const std::string& base, const std::string& why);
// Stops an append run that would leave "<base>.szplt" with `left` output times (by default those
// its temporary files hold), fewer than it holds.
[[noreturn]] void fewerzonesrefused(const std::string& base, std::int64_t left = -1);
// Stops an append run that would replace the data set "<base>.szplt", which cannot be read
// (`why`): what it alone holds is not known.
[[noreturn]] void unreadablerefused(const std::string& base, const std::string& why);

// Zone type word and TecIO code of a domain's elements ("" and 0 when unsupported), and the
// word of a code.
std::string_view zonetypeword(std::int32_t nln, std::string_view domainname);
std::int32_t zonetypecode(std::int32_t nln, std::string_view domainname);
std::string_view zonetypename(std::int32_t code);

// ---- Arrays and connectivity --------------------------------------------------------------
void tecplotwritearrayreal4(std::int32_t var, std::int32_t n, std::span<const float> values, bool truncate,
                            const Mask& mask, std::string_view label, DOMAIN& dom);
void tecplotwritearrayreal8(std::int32_t var, std::int32_t n, std::span<const double> values, bool truncate,
                            const Mask& mask, std::string_view label, DOMAIN& dom);
void tecplotwritearrayint4(std::int32_t var, std::int32_t n, std::span<const std::int32_t> values, bool truncate,
                           const Mask& mask, std::string_view label, DOMAIN& dom);
void tecplotwriteconnectivity(const Mask& elemmask, DOMAIN& dom);
// Output node numbers of element e (1-based) by the element shape table.
void tecplotelemconnectivity(const DOMAIN& dom, std::int32_t e, std::array<std::int32_t, 8>& nodes);
// Output numbers of the domain's own nodes (0 for a node left out of the zone), worked out once
// for writers that walk every element with the overload below.
std::vector<std::int32_t> tecplotownnodenumbers(const DOMAIN& dom);
void tecplotelemconnectivity(const DOMAIN& dom, std::int32_t e, std::array<std::int32_t, 8>& nodes,
                             const std::vector<std::int32_t>& ownnumbers);

// ASCII line writers: values five to a line (reals in 26-character fields, integers as a
// blank and 10 digits), many lines per write.
void writearrayreal4(std::int32_t n, std::span<const float> values, int unit);
void writearrayreal8(std::int32_t n, std::span<const double> values, int unit);
void writearrayint4(std::int32_t n, std::span<const std::int32_t> values, int unit);
// Integers q to a line, each right-aligned in 10 characters and followed by a blank; the
// line format holds eight, so a longer group of q goes on over further lines.
void bufferedwriteint4(std::int32_t n, std::span<const std::int32_t> values, int unit, std::int32_t perline);

// Formats one value into its 26-character field (17 significant digits).
void formatreal26(double x, char* field);
// The 17 significant digits of x > 0, correctly rounded, and the decimal exponent of the
// first, for 1e-6 < x < 2^53; false (nothing written) for other values.
bool seventeendigits(double x, char* digits, int& exponent);

}  // namespace kelpra
