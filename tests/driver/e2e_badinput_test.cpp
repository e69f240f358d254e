// Whole runs given bad input files or control lines: the report that stops the run before it
// writes a data set, and the input that is only warned of (an append file cut short) or taken
// as it stands (included lines, additional commands inside a domain block).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/driver/e2e_kit.hpp"

namespace kelpra {
namespace {

using namespace e2ekit;

TEST(E2eBadInput, TruncatedElementsFile) {
  Model model;
  model.heads(1, 1.0);
  const fs::path elements = model.dir / "abco.elements_pm";
  fs::resize_file(elements, 40);
  const ProcessResult r = model.run();
  EXPECT_EQ(expectstopped(model, r, kFatal),
            "Error reading file: abco.elements_pm\n"
            "Error detail: Error encountered during read statement\nError number: 39");
  EXPECT_FALSE(model.exists("abco.pm.dat"));
}

// The report says what the file holds: a foreign header, or olf's 9 heads where pm has 27 nodes.
TEST(E2eBadInput, BrokenResultFileSaysWhatItHolds) {
  const std::string held = "\n\nWhat the files of this run now hold:\n"
                           "abco.pm.dat: output time 0001 of this run\nabco.olf.dat: output time 0001 of this run";
  for (const bool foreign : {true, false}) {
    Model model;
    model.heads(1, 1.0);
    model.heads(2, 2.0);
    const fs::path pm2 = model.dir / "abco.head_pm.0002";
    if (foreign) writefile(pm2, "garbage that is no result file");
    if (!foreign) fs::copy_file(model.dir / "abco.head_olf.0002", pm2, fs::copy_options::overwrite_existing);
    EXPECT_EQ(expectstopped(model, model.run(), kInput),
              foreign ? "Error reading header from file abco.head_pm.0002\n"
                        "The header is not that of a result file: its record length word holds 1,651,663,207, not 80.\n"
                        "Error detail: Error encountered during read statement\nError number: 39" + held
                      : "Error reading values from file abco.head_pm.0002\n"
                        "The record holds 9 values where 27 are needed.\n"
                        "Error detail: Error encountered during read statement\nError number: 39" + held);
  }
}

TEST(E2eBadInput, IncludeOfAMissingFile) {
  Model model;
  model.heads(1, 1.0);
  model.control("include nothere.txt\nend\n");
  const ProcessResult r = model.run();
  EXPECT_EQ(expectstopped(model, r, kInput), "Include file not found: nothere.txt");
  EXPECT_FALSE(model.exists("abco.pm.dat"));
}

TEST(E2eBadInput, IncludedControlLinesTakeEffect) {
  Model model;
  model.heads(1, 1.0);
  writefile(model.dir / "global.txt", "! comment\ntecplot binary mode\n");
  model.control(std::string("include global.txt\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(model.file("abco.kelpra.eco"), "\nINSTRUCTION: tecplot binary mode\n"));
  EXPECT_TRUE(model.exists("abco.pm.szplt"));
}

TEST(E2eBadInput, MalformedValueLine) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string("truncate time domain\nabc\nend\n") + std::string(kDomainBlocks));
  const ProcessResult r = model.run();
  EXPECT_TRUE(has(expectstopped(model, r, kInput), "truncate time domain"));
  EXPECT_FALSE(model.exists("abco.pm.dat"));
}

TEST(E2eBadInput, IndexWidthOutOfRange) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string("number of digits for output file suffix\n11\nend\n") + std::string(kDomainBlocks));
  EXPECT_EQ(expectstopped(model, model.run(), kInput),
            "Output file suffix length must be between 4 and 10: 11 in abc.plot.control");
}

TEST(E2eBadInput, PrefixPromptEndsWithoutAPrefix) {
  Model model;
  fs::remove(model.dir / "batch.pfx");
  const ProcessResult r = model.run({}, "nope\n");
  EXPECT_TRUE(has(expectstopped(model, r, kFatal), "No problem prefix given"));
  EXPECT_TRUE(has(r.out, "batch.pfx file does not exist\n"));
  EXPECT_TRUE(has(r.out, "Unable to find file nope.vorn\n"));
  EXPECT_FALSE(model.exists("abco.kelpra.eco"));
  EXPECT_FALSE(model.exists("batch.pfx"));
}

// The append file is only a hint: one cut short is warned of, and a new series begins.
TEST(E2eBadInput, TruncatedAppendFile) {
  Model model;
  model.heads(1, 1.0);
  model.control(std::string(kAppendControl) + std::string(kDomainBlocks));
  writefile(model.dir / "abco.tec_append", appendrecord(7).substr(0, 6));
  const ProcessResult r = model.run();
  EXPECT_EQ(r.exitstatus, 0);
  EXPECT_TRUE(has(r.err, "The append file abco.tec_append cannot be read: it holds 6 bytes that are not one record "
                         "of an output-time index.\nNo data set has temporary files to continue"))
      << r.err;
  EXPECT_EQ(model.file("abco.tec_append"), appendrecord(1));
  // Once the temporary files are gone, the output time it names is left from that series.
  for (const char* base : {"abco.pm.szplt", "abco.olf.szplt"}) {
    fs::remove(model.dir / (std::string(base) + ".szhdr"));
    fs::remove(model.dir / (std::string(base) + ".szdat"));
  }
  const ProcessResult again = model.run();
  EXPECT_EQ(again.exitstatus, 0) << again.err;
  EXPECT_TRUE(has(again.err, "The append file abco.tec_append names output time 0001 as the last one written, but no "
                             "data set has temporary files to continue."))
      << again.err;
}

// Additional commands inside a domain block, the conversion's values included, are not
// reported as unrecognised lines of the block; a misspelt line still is.
TEST(E2eControlFile, AdditionalCommandsInsideADomainBlock) {
  Model model;
  model.heads(1, 1.0);
  model.control("end\nwrite pm domain file\nsimulation time unit conversion factor\n0.5 10\n"
                "interpolate depth to gw table\nno pm haeds\nend\n");
  const ProcessResult r = model.run();
  ASSERT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Plot control - Unrecognized line\nno pm haeds\n")) << r.out;
  EXPECT_EQ(r.out.find("Unrecognized"), r.out.rfind("Unrecognized")) << r.out;
  EXPECT_TRUE(model.dat("abco.pm.dat").zones.at(0).line.starts_with("ZONE T=\"pm\", SOLUTIONTIME=10.5, "));
}

}  // namespace
}  // namespace kelpra
