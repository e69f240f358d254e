#include "support/prefix.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "support/strings.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

constexpr std::string_view kBatchFile = "batch.pfx";

bool isseparatorblank(char c) { return c == ' ' || c == '\t'; }

// One text value in list form: blank lines and leading blanks are passed over; an unquoted
// value ends at a blank, comma, slash or the end of its line; a quoted value runs to its
// closing quote (over line ends, a doubled quote standing for one). A comma or slash in
// place of the value leaves it empty. The value is cut to the prefix width. When a slash
// inside an unquoted word ended the value, cutword receives what was typed from the value's
// start up to the next comma or the line's end, trailing blanks dropped (what the user most
// likely meant, blanks of a path included, so that quoting it works), else "".
int readlistvalue(std::FILE* f, std::string& value, std::string& cutword) {
  value.clear();
  cutword.clear();
  std::string line;
  for (;;) {
    const int status = readlinefrom(f, line);
    if (status != 0) return status;
    std::size_t p = 0;
    while (p < line.size() && isseparatorblank(line[p])) ++p;
    if (p == line.size()) continue;
    const char first = line[p];
    if (first == ',') return 0;
    if (first == '\'' || first == '"') {
      ++p;
      for (;;) {
        if (p >= line.size()) {
          // The quoted value goes on in the next line.
          const int next = readlinefrom(f, line);
          if (next != 0) return next;
          p = 0;
          continue;
        }
        if (line[p] == first) {
          if (p + 1 < line.size() && line[p + 1] == first) {
            value.push_back(first);
            p += 2;
            continue;
          }
          break;
        }
        value.push_back(line[p++]);
      }
    } else {
      while (p < line.size() && !isseparatorblank(line[p]) && line[p] != ',' && line[p] != '/') {
        value.push_back(line[p++]);
      }
      // A slash with more of the word after it most likely belongs to a path.
      const std::size_t start = p - value.size(), word = std::min(line.find_first_of(" \t,", p), line.size());
      if (p + 1 < word && line[p] == '/') {
        cutword = line.substr(start, std::min(line.find(',', p), line.size()) - start);
        cutword.resize(cutword.find_last_not_of(" \t") + 1);
      }
    }
    if (value.size() > kPrefixWidth) value.resize(kPrefixWidth);
    value.resize(static_cast<std::size_t>(len_trim(value)));
    return 0;
  }
}

void say(std::FILE* out, std::string_view line) {
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), out);
  std::fputc('\n', out);
}

std::string quoted(std::string_view text) {
  std::string q = "'";
  for (const char c : text) {
    if (c == '\'') q.push_back(c);
    q.push_back(c);
  }
  q.push_back('\'');
  return q;
}

// The prefix as readlistvalue reads it back: plain when that is safe, since other tools
// read batch.pfx as a plain line, else in apostrophes.
std::string listform(const std::string& prefix) {
  const bool plain = prefix.find_first_of(" \t,/") == std::string::npos &&
                     (prefix.empty() || (prefix.front() != '\'' && prefix.front() != '"'));
  return plain ? prefix : quoted(prefix);
}

void saycutword(std::FILE* out, const std::string& cutword) {
  if (!cutword.empty()) say(out, "A prefix holding a path must be quoted: " + quoted(cutword));
}

// Why batch.pfx could not keep a typed prefix so that it reads back to itself, or "" when
// it can. An empty value reads back as a missing one, and a carriage return before the line
// end is dropped with it; the other control characters are refused alike, since other tools
// take batch.pfx as a plain line.
std::string unsavable(std::string_view prefix) {
  if (prefix.empty()) return "Prefix entered is empty";
  for (const char c : prefix) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) continue;
    const std::string code = "character " + std::to_string(u);
    const char* name = u == '\r' ? "a carriage return" : u == '\t' ? "a tab" : u == 0x1b ? "an escape" : nullptr;
    return "Prefix entered holds " + (name != nullptr ? name + (" (" + code + ")") : "control " + code);
  }
  return {};
}

std::string testname(std::string_view prefix, std::string_view suffix) {
  std::string name(trimview(prefix));
  name += trimview(suffix);
  return name;
}

// The prefix from batch.pfx when the file can be read and names an existing model;
// otherwise the messages that explain why not, and "".
bool prefixfrombatchfile(std::string_view suffix, std::string& prefix, std::FILE* out) {
  if (!fileexists(kBatchFile)) {
    say(out, "batch.pfx file does not exist");
    return false;
  }
  bool usable = true;
  std::string cutword;
  {
    UnitHandle unit = UnitHandle::take();
    if (openownunit(unit.unit(), kBatchFile, FileForm::formatted, OpenStatus::old) != 0) {
      say(out, "Error opening batch.pfx file");
      return false;
    }
    if (readlistvalue(unitstream(unit.unit()), prefix, cutword) != 0) {
      say(out, "Error reading batch.pfx file");
      usable = false;
    }
  }
  if (prefix.empty()) {
    say(out, "Prefix from batch.pfx file is empty");
    saycutword(out, cutword);  // an absolute path leaves nothing before its first slash
    usable = false;
  }
  if (!usable) return false;
  const std::string name = testname(prefix, suffix);
  if (fileexists(name)) return true;
  say(out, "Unable to find file " + name);
  saycutword(out, cutword);
  return false;
}

}  // namespace

void getmodelprefix(std::string_view suffix, std::string& prefix, const PrefixAccepted& accepted) {
  getmodelprefix(suffix, prefix, stdin, stdout, accepted);
}

void getmodelprefix(std::string_view suffix, std::string& prefix, std::FILE* in, std::FILE* out,
                    const PrefixAccepted& accepted) {
  prefix.clear();
  if (prefixfrombatchfile(suffix, prefix, out)) {
    if (accepted) accepted(prefix);
    return;
  }

  say(out, "Switching to interactive mode");
  std::string cutword;
  for (;;) {
    say(out, "Enter prefix of problem filename...");
    std::fflush(out);
    const int status = readlistvalue(in, prefix, cutword);
    if (status != 0) {
      std::fflush(out);
      fatalerrorstat(status, "No problem prefix given: standard input ended or could not be read");
    }
    if (const std::string why = unsavable(prefix); !why.empty()) {
      say(out, why + ": batch.pfx could not keep it");
    } else {
      const std::string name = testname(prefix, suffix);
      if (fileexists(name)) break;
      say(out, "Unable to find file " + name);
    }
    saycutword(out, cutword);
    say(out, "Please try again...");
    say(out, "");
  }

  if (accepted) accepted(prefix);
  // Remember the answer for the next run, in a form that reads back to the same prefix.
  UnitHandle unit = UnitHandle::take();
  bool written = openownunit(unit.unit(), kBatchFile, FileForm::formatted, OpenStatus::replace) == 0 &&
                 writeline(unit.unit(), listform(prefix)) == 0 && std::fflush(unitstream(unit.unit())) == 0;
  if (!written) say(out, "Failed to generate batch.pfx file with prefix " + prefix);
  std::fflush(out);
}

std::string filebasename(std::string_view path) {
  const int n = len_trim(path);
  const std::size_t sep = path.substr(0, static_cast<std::size_t>(n)).find_last_of("/\\");
  if (sep == std::string_view::npos) return std::string(trimview(path));
  return std::string(path.substr(sep + 1, static_cast<std::size_t>(n) - sep - 1));
}

std::string filedirectory(std::string_view path) {
  const std::string_view p = trimview(path);
  const std::size_t slash = p.find_last_of('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? "/" : std::string(p.substr(0, slash));
}

bool envvarisset(std::string_view name) {
  const std::string key(trimview(name));
  return !key.empty() && std::getenv(key.c_str()) != nullptr;
}

void cmdparser(std::string_view line, std::int32_t& position, std::string& token) {
  token.clear();
  const int n = len_trim(line);
  // A position before the line's start counts from its first character.
  int p = position < 1 ? 1 : position;
  if (p > n) return;
  auto at = [&](int i) { return line[static_cast<std::size_t>(i - 1)]; };
  while (at(p) == ' ' || at(p) == '\t') {
    ++p;
    if (p > n) {
      position = n + 1;
      return;
    }
  }
  bool quoted = false;
  while (p <= n) {
    const char c = at(p);
    if (!quoted) {
      if (c == '"') {
        quoted = true;
      } else if (c == ' ' || c == '\t') {
        position = p + 1;
        return;
      } else {
        token.push_back(c);
      }
    } else if (c == '"') {
      if (p < n && at(p + 1) == '"') {
        token.push_back('"');
        ++p;
      } else {
        quoted = false;
      }
    } else {
      token.push_back(c);
    }
    ++p;
  }
  position = n + 1;
}

}  // namespace kelpra
