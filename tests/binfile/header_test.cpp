#include <cstdint>
#include <string>
#include <vector>

#include "binfile/binfile.hpp"
#include "binfile/recordfile.hpp"
#include "tests/binfile/binfile_fixture.hpp"

namespace kelpra {
namespace {

using testkit::framedrecord;
using testkit::Layout;
using testkit::le_values;
using testkit::resultheader;

std::string blanks(std::size_t n) { return std::string(n, ' '); }

// A current-layout header whose columns 56-80 are exactly `fields`.
std::string withfields(std::string_view text, std::string_view fields) {
  std::string h(text);
  h.resize(55, ' ');
  h += fields;
  h.resize(80, ' ');
  return h;
}

class Header : public BinFileTest {
 protected:
  // Writes a header through writeformattedheader and returns the file's bytes.
  std::string writtenheader(std::string_view text, std::string_view type, std::int32_t ncomp, std::int32_t nval) {
    {
      UnitHandle u = UnitHandle::take();
      EXPECT_EQ(openunit(u.unit(), path("h"), FileForm::unformatted, OpenStatus::replace), 0);
      EXPECT_EQ(writeformattedheader(u.unit(), text, type, ncomp, nval), 0);
    }
    const std::string bytes = testkit::readfile(path("h"));
    EXPECT_EQ(bytes.size(), 88u);
    return bytes.size() == 88 ? bytes.substr(4, 80) : std::string();
  }
};

TEST_F(Header, LegacyHeaderKeepsTheDefaults) {
  const BinFileHeader h = parsetnqbinfileheader("12.5" + blanks(76));
  EXPECT_EQ(h.status, -1);
  EXPECT_EQ(h.timestamp, "12.5" + blanks(50));
  EXPECT_EQ(h.description, blanks(54));
  EXPECT_EQ(h.magic, blanks(5));
  EXPECT_EQ(h.version, -1);
  EXPECT_EQ(h.endianness, "UK");
  EXPECT_EQ(h.typecode, "UNK");
  EXPECT_EQ(h.ncomponents, 0);
  EXPECT_EQ(h.nvalues, 0);
}

TEST_F(Header, WrittenHeaderHasEveryFieldAndParsesBack) {
  const std::string h = writtenheader("2.5 Heads", "R08", 1, 1234);
  EXPECT_EQ(h.substr(0, 55), "2.5 Heads" + blanks(46));
  EXPECT_EQ(h.substr(55), "#!TNQ001LER08010000001234");
  EXPECT_EQ(h, resultheader("2.5 Heads", "R08", 1, 1234));
  const BinFileHeader p = parsetnqbinfileheader(h);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.timestamp, "2.5" + blanks(51));
  EXPECT_EQ(p.description, "Heads" + blanks(49));
  EXPECT_EQ(p.magic, "#!TNQ");
  EXPECT_EQ(p.version, 1);
  EXPECT_EQ(p.endianness, "LE");
  EXPECT_EQ(p.typecode, "R08");
  EXPECT_EQ(p.ncomponents, 1);
  EXPECT_EQ(p.nvalues, 1234);
  EXPECT_TRUE(isnewerfileformat(h));
}

TEST_F(Header, WriterLeftAdjustsAndCutsTheText) {
  EXPECT_EQ(writtenheader("   7.0 Sat", "R04", 6, 3).substr(0, 8), "7.0 Sat ");
  const std::string longtext(70, 'x');
  const std::string h = writtenheader(longtext, "I04", 1, 1);
  EXPECT_EQ(h.substr(0, 55), longtext.substr(0, 55));
  EXPECT_EQ(h.substr(55, 5), "#!TNQ");
}

TEST_F(Header, CountsTooWideForTheirFieldBecomeAsterisks) {
  const std::string h = writtenheader("1 x", "R08", 100, -1);
  EXPECT_EQ(h.substr(68, 2), "**");
  EXPECT_EQ(h.substr(70, 10), "**********");
}

TEST_F(Header, LegacyWriterWritesTheTextAlone) {
  const testkit::LayoutScope legacy(Layout::legacy);
  const std::string longtext(70, 'y');
  EXPECT_EQ(writtenheader(longtext, "R08", 1, 5), longtext + blanks(10));
  EXPECT_FALSE(isnewerfileformat(longtext + blanks(10)));
}

TEST_F(Header, SingleWordHasBlankDescription) {
  const BinFileHeader p = parsetnqbinfileheader(resultheader("3.0", "R04", 2, 10));
  EXPECT_EQ(p.timestamp, "3.0" + blanks(51));
  EXPECT_EQ(p.description, blanks(54));
  EXPECT_EQ(p.ncomponents, 2);
}

TEST_F(Header, TimestampBoundaries) {
  // Leading blanks stay part of the time stamp; a word ending at column 53 still parses.
  const BinFileHeader p = parsetnqbinfileheader(withfields(blanks(50) + "123 z", "#!TNQ001LER08010000000001"));
  EXPECT_EQ(p.timestamp, blanks(50) + "123" + blanks(1));
  EXPECT_EQ(p.description, "z" + blanks(53));
  // Ending at column 54 leaves the terminating blank at column 55: rejected.
  EXPECT_TRUE(contains(stopreport([] { parsetnqbinfileheader(std::string(54, 'a') + blanks(26)); }),
                       "Invalid binary file header format. Timestamp not terminated by space."));
}

TEST_F(Header, MalformedTimestamps) {
  EXPECT_TRUE(contains(stopreport([] { parsetnqbinfileheader(withfields("", "#!TNQ001LER08010000000001")); }),
                       "Invalid binary file header format. Timestamp missing or malformed."));
  testing_only::reseterrorstate();
  EXPECT_TRUE(contains(stopreport([] { parsetnqbinfileheader(blanks(80)); }),
                       "Invalid binary file header format. Timestamp not terminated by space."));
  testing_only::reseterrorstate();
  EXPECT_TRUE(contains(stopreport([] { parsetnqbinfileheader(withfields(std::string(55, '9'), "#!TNQ001LER08010000000001")); }),
                       "Timestamp not terminated by space."));
}

TEST_F(Header, TooShort) {
  const std::string err = stopreport([] { parsetnqbinfileheader(std::string(79, 'a')); });
  EXPECT_TRUE(contains(err, "*** FATAL ERROR, HALTING EXECUTION ***"));
  EXPECT_TRUE(contains(err, "Binary file header is too short. Expected at least 80 characters but found only 79.\n"));
}

TEST_F(Header, NumberFields) {
  // A field is read from its first token: " 7" is 7.
  EXPECT_EQ(parsetnqbinfileheader(withfields("1 a", "#!TNQ  7LER08 70000000001")).ncomponents, 7);
  EXPECT_EQ(parsetnqbinfileheader(withfields("1 a", "#!TNQ  7LER08 70000000001")).version, 7);

  const std::string zero = stopreport([] { parsetnqbinfileheader(withfields("1 a", "#!TNQ001LER08000000000001")); });
  EXPECT_TRUE(contains(zero, "Invalid number of components in binary file header: 0\n"));
  testing_only::reseterrorstate();
  const std::string novalues =
      stopreport([] { parsetnqbinfileheader(withfields("1 a", "#!TNQ001LER08010000000000")); });
  EXPECT_TRUE(contains(novalues, "Invalid number of values in binary file header: 0\n"));
  testing_only::reseterrorstate();
  const std::string version = stopreport([] { parsetnqbinfileheader(withfields("1 a", "#!TNQabcLER08010000000001")); });
  EXPECT_TRUE(contains(version, "Failed to parse file version number from binary file header. String: \"abc\"\n"));
  EXPECT_TRUE(contains(version, "Error number: "));
  testing_only::reseterrorstate();
  const std::string blank = stopreport([] { parsetnqbinfileheader(withfields("1 a", "#!TNQ001LER08  0000000001")); });
  EXPECT_TRUE(contains(blank, "Failed to parse number of components from binary file header. String: \"  \""));
}

TEST_F(Header, ValueCountAboveTheIntegerRangeIsAParseFailure) {
  const std::string err = stopreport([] { parsetnqbinfileheader(withfields("1 a", "#!TNQ001LER08019999999999")); });
  EXPECT_TRUE(contains(err, "Failed to parse number of values from binary file header. String: \"9999999999\""));
  testing_only::reseterrorstate();
  EXPECT_EQ(parsetnqbinfileheader(withfields("1 a", "#!TNQ001LER08012147483647")).nvalues, 2147483647);
}

TEST_F(Header, LayoutTest) {
  EXPECT_FALSE(isnewerfileformat(""));
  EXPECT_FALSE(isnewerfileformat(blanks(55) + "#!TN"));
  EXPECT_TRUE(isnewerfileformat(blanks(55) + "#!TNQ"));
  EXPECT_FALSE(isnewerfileformat(blanks(55) + "#!TNq" + blanks(20)));
}

TEST_F(Header, ReadingTheHeaderRecord) {
  writebytes("ok", framedrecord(resultheader("4.0 Conc", "R08", 1, 2) + "tail") + framedrecord("values"));
  EXPECT_EQ(readtnqbinfileheader(path("ok")), resultheader("4.0 Conc", "R08", 1, 2));

  const std::string missing = stopreport([&] { readtnqbinfileheader(path("missing")); });
  EXPECT_TRUE(contains(missing, "Failed to open file: " + path("missing")));
  testing_only::reseterrorstate();

  writebytes("empty", "");
  const std::string empty = stopreport([&] { readtnqbinfileheader(path("empty")); });
  EXPECT_TRUE(contains(empty, "*** INPUT ERROR, HALTING EXECUTION ***"));
  EXPECT_TRUE(contains(empty, "Error reading header from file " + path("empty") + "\n"));
  EXPECT_TRUE(contains(empty, "Error number: -1"));
  testing_only::reseterrorstate();

  writebytes("short", framedrecord(std::string(40, 'a')));
  EXPECT_TRUE(contains(stopreport([&] { readtnqbinfileheader(path("short")); }), "Error number: 39"));
}

TEST_F(Header, OneDimensionalWriterBytes) {
  const std::vector<double> values{1.0, 2.0, 3.0, 4.0};
  write_r8_1d(path("r8") + "   ", "1.5 Head", 2, 3, values);
  EXPECT_EQ(testkit::readfile(path("r8")),
            framedrecord(resultheader("1.5 Head", "R08", 1, 2)) + framedrecord(le_values(std::vector<double>{2.0, 3.0})));

  const std::vector<std::int32_t> ints{5};
  write_i4_1d(path("empty"), "0 none", 1, 0, ints);
  const std::string bytes = testkit::readfile(path("empty"));
  EXPECT_EQ(bytes, framedrecord(resultheader("0 none", "I04", 1, 0)) + framedrecord(""));
  EXPECT_EQ(bytes.substr(4 + 70, 10), "0000000000");
  // Such a header does not pass the parser.
  EXPECT_TRUE(contains(stopreport([&] { parsetnqbinfileheader(bytes.substr(4, 80)); }),
                       "Invalid number of values in binary file header: 0"));
}

TEST_F(Header, TwoDimensionalWriterLayouts) {
  // 3 rows by 2 columns, stored by columns; rows 2..3 are written.
  const std::vector<float> table{1, 2, 3, 10, 20, 30};
  const Array2DRef<const float> values(table.data(), 3, 2);
  write_r4_2d(path("cur"), "2 v", 2, 3, values);
  EXPECT_EQ(testkit::readfile(path("cur")), framedrecord(resultheader("2 v", "R04", 2, 2)) +
                                                framedrecord(le_values(std::vector<float>{2, 3})) +
                                                framedrecord(le_values(std::vector<float>{20, 30})));
  {
    const testkit::LayoutScope legacy(Layout::legacy);
    write_r4_2d(path("leg"), "2 v", 2, 3, values);
  }
  EXPECT_EQ(testkit::readfile(path("leg")), framedrecord(resultheader("2 v", "", 0, 0, Layout::legacy)) +
                                                framedrecord(le_values(std::vector<float>{2, 20})) +
                                                framedrecord(le_values(std::vector<float>{3, 30})));
  // No columns: the component count is 0 and no value record follows.
  write_r8_2d(path("none"), "2 v", 1, 3, Array2DRef<const double>(nullptr, 3, 0));
  EXPECT_EQ(testkit::readfile(path("none")), framedrecord(resultheader("2 v", "R08", 0, 3)));
}

TEST_F(Header, WriterFailuresStopTheRun) {
  const std::vector<double> values{1.0};
  const std::string nodir = path("no/such/dir");
  EXPECT_TRUE(contains(stopreport([&] { write_r8_1d(nodir, "1 x", 1, 1, values); }), "Failed to open file: " + nodir));
  testing_only::reseterrorstate();
  // A range outside the caller's array is caught before any value is touched.
  EXPECT_TRUE(contains(stopreport([&] { write_r8_1d(path("x"), "1 x", 1, 2, values); }),
                       "lie outside the array of 1 values"));
}

}  // namespace
}  // namespace kelpra
