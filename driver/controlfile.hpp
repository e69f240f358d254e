// The plot control file: the commented template written when the file is missing, and the
// readers of its comment-free copy "scratch_plot". Every operation works on the unit in
// plot_data.plotcontrolunit, opened by the main program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plot/plotdata.hpp"

namespace kelpra {

// The plot control file: prefix, ".plot.control".
std::string controlfilename();

// Domains by bit, for the blocks in which the template offers an instruction.
enum DomainBit : unsigned {
  kDomainPm = 1u << 0,
  kDomainDual = 1u << 1,
  kDomainFrac = 1u << 2,
  kDomainOlf = 1u << 3,
  kDomainWell = 1u << 4,
  kDomainChan = 1u << 5,
  kDomainTile = 1u << 6,
};
// The bit of a domain name ("pm", "dual", ...); 0 for any other name, "addition" included.
unsigned domainbit(std::string_view name);

// One quantity instruction of a domain block: "no ", the domain name and the suffix. It
// clears the switch; the template offers it (commented) in the blocks of `domains`.
struct InstructionRow {
  std::string_view suffix;
  std::string DOMAIN::*instr;
  bool DOMAIN::*sw;
  unsigned domains;
};
// Every quantity instruction, in the order of the template.
const std::vector<InstructionRow>& quantityinstructions();

// Template: the global block, and one domain's block (nothing for a domain that does not
// exist). The main program closes the file with "write time series file" and "end".
void writeplotcontrolinit();
void writeplotcontrol(const DOMAIN& dom);

// Readers of the comment-free copy: the global block from the current position (then the
// append set-up, when append mode stays on), and one domain's settings from the start.
void readplotcontrolinit();
void readplotcontrol(DOMAIN& dom);
// Whether the copy holds the write line of the domain `name` after the global block: for a
// domain the model does not have.
bool controlwritesdomain(std::string_view name);
// The index width from the next line.
void readoutputfilesuffix();

}  // namespace kelpra
