// The problem prefix, which every file name of a model run starts with, and the small
// utilities that stand beside it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace kelpra {

// Width of the prefix field; a longer answer is cut to it.
inline constexpr std::size_t kPrefixWidth = 300;

// Obtains a valid prefix: the one in "batch.pfx" when the file named by it and suffix
// exists, else asks on standard input until such a prefix is given and writes it to
// "batch.pfx". A typed prefix that "batch.pfx" could not keep (empty, or holding a control
// character) is refused, saying why, and asked for again. Messages go to standard output.
// prefix receives the text without trailing blanks. End of standard input at the prompt
// stops the run. `accepted`, when given, is called with the prefix as soon as it is
// accepted, before "batch.pfx" is written.
using PrefixAccepted = std::function<void(const std::string&)>;
void getmodelprefix(std::string_view suffix, std::string& prefix, const PrefixAccepted& accepted = {});
// The same with the prompt read from `in` and the messages written to `out`.
void getmodelprefix(std::string_view suffix, std::string& prefix, std::FILE* in, std::FILE* out,
                    const PrefixAccepted& accepted = {});

// The part of path after its last "/" or "\", trailing blanks removed; "" when the path
// ends with a separator.
std::string filebasename(std::string_view path);
// The directory the files of a path go to: the part before its last "/" ("/" for a path in
// the root), "." for a path without one. A prefix may hold a path ("../P/abc").
std::string filedirectory(std::string_view path);

constexpr bool andfunc(bool a, bool b) noexcept { return a && b; }
constexpr bool orfunc(bool a, bool b) noexcept { return a || b; }
constexpr bool andnotfunc(bool a, bool b) noexcept { return a && !b; }
constexpr bool xorfunc(bool a, bool b) noexcept { return a != b; }

// Whether the environment holds a variable of that name (trailing blanks not counting).
bool envvarisset(std::string_view name);

// Cuts the next token of a command line from the 1-based position, which is advanced past
// it. Blanks and tabs separate tokens; double quotes enclose stretches that keep blanks,
// and a doubled double quote inside them stands for one.
void cmdparser(std::string_view line, std::int32_t& position, std::string& token);

}  // namespace kelpra
