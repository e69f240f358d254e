// Result-file failures seen from outside: a real process writes the report and exits 1.
#include <vector>

#include "tests/binfile/binfile_fixture.hpp"

namespace kelpra {
namespace {

using testkit::framedrecord;
using testkit::le_values;
using testkit::resultheader;

class BinFileProcess : public BinFileTest {
 protected:
  testkit::ProcessResult probe(const std::vector<std::string>& args) {
    return testkit::runprocess(testkit::builtprogram("tests/binfile/binfile_probe"), args, dir_.path());
  }
};

TEST_F(BinFileProcess, GoodFileIsRead) {
  testkit::writeresult_r8(path("f"), "1.0 h", {std::vector<double>{1, 2}, std::vector<double>{3, 4}});
  const testkit::ProcessResult r = probe({"r8_vec2", "f", "2"});
  EXPECT_EQ(r.exitstatus, 0) << r.err;
  EXPECT_EQ(r.out, "1\n2\n3\n4\n");
  const testkit::ProcessResult h = probe({"header", "f"});
  EXPECT_EQ(h.out, "0 R08 2\n");
}

TEST_F(BinFileProcess, BadFilesEndWithStatusOne) {
  const std::string header = framedrecord(resultheader("1.0 h", "R08", 1, 2));
  writebytes("empty", "");
  writebytes("inheader", header.substr(0, 30));
  writebytes("invalues", header + framedrecord(le_values(std::vector<double>{1, 2})).substr(0, 12));
  writebytes("huge", header + framedrecord("", 0x7fffffff, 0x7fffffff));
  writebytes("badheader", framedrecord(std::string(80, ' ')));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases{
      {{"r8_1d", "empty", "2"}, "Error reading header from file empty\nThe file ends after 0 of 112 bytes.\n"
                                    "Error detail: End-of-file encountered on read"},
      {{"r8_1d", "inheader", "2"}, "Error reading header from file inheader\n"},
      {{"r8_tensor", "invalues", "2"}, "Error reading component 1 values from file invalues\n"},
      {{"r8_2d", "invalues", "2"}, "Error reading values from file invalues\n"},
      {{"safe_r8", "invalues", "2"}, "Error reading values from file invalues\n"},
      {{"numvals_r8", "huge"}, "Error reading block size from file huge\n"},
      {{"r8_1d", "huge", "2"}, "Error reading values from file huge\n"},
      {{"safe_r8", "huge", "2"}, "Size mismatch reading file huge\n"},
      {{"header", "badheader"}, "Timestamp not terminated by space."},
      {{"r4_1d", "missing", "2"}, "Failed to open file: missing\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const testkit::ProcessResult r = probe(c.args);
    EXPECT_EQ(r.exitstatus, 1);
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    EXPECT_TRUE(contains(r.err, "ERROR, HALTING EXECUTION ***")) << r.err;
  }
}

}  // namespace
}  // namespace kelpra
