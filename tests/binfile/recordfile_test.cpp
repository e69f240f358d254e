#include "binfile/recordfile.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <thread>
#include <limits>
#include <string>
#include <vector>

#include "tests/binfile/binfile_fixture.hpp"

namespace kelpra {
namespace {

using testkit::framedrecord;
using testkit::le_i4;
using testkit::le_values;

class RecordFile : public BinFileTest {
 protected:
  UnitHandle openold(const std::string& name) {
    UnitHandle u = UnitHandle::take();
    EXPECT_EQ(openunit(u.unit(), path(name), FileForm::unformatted, OpenStatus::old), 0);
    return u;
  }
};

TEST_F(RecordFile, WrittenRecordsAreFramedLittleEndian) {
  {
    UnitHandle u = UnitHandle::take();
    ASSERT_EQ(openunit(u.unit(), path("f"), FileForm::unformatted, OpenStatus::replace), 0);
    const std::vector<std::int32_t> ints{1, -2, 70000};
    const std::vector<double> reals{0.5, -1e300};
    EXPECT_EQ(writerecordvalues<std::int32_t>(u.unit(), ints), 0);
    EXPECT_EQ(writerecord(u.unit(), nullptr, 0), 0);
    EXPECT_EQ(writerecordvalues<double>(u.unit(), reals), 0);
  }
  const std::string expected = framedrecord(le_values(std::vector<std::int32_t>{1, -2, 70000})) + framedrecord("") +
                               framedrecord(le_values(std::vector<double>{0.5, -1e300}));
  EXPECT_EQ(testkit::readfile(path("f")), expected);
  EXPECT_EQ(expected.substr(0, 8), std::string("\x0c\0\0\0\x01\0\0\0", 8));

  UnitHandle u = openold("f");
  std::vector<std::int32_t> ints(3);
  EXPECT_EQ(readrecordvalues<std::int32_t>(u.unit(), ints), 0);
  EXPECT_EQ(ints, (std::vector<std::int32_t>{1, -2, 70000}));
  std::vector<std::byte> bytes{std::byte{9}};
  EXPECT_EQ(readrecordbytes(u.unit(), bytes), 0);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(readrecordbytes(u.unit(), bytes), 0);
  EXPECT_EQ(bytes.size(), 16u);
  EXPECT_EQ(skiprecord(u.unit()), kStatusEndOfFile);
}

TEST_F(RecordFile, LengthWordsAreLittleEndianWhateverTheHost) {
  unsigned char word[4];
  storele32(-2, word);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(word), 4), "\xfe\xff\xff\xff");
  EXPECT_EQ(loadle32(word), -2);
  storele32(0x01020304, word);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(word), 4), "\x04\x03\x02\x01");
  EXPECT_EQ(loadle32(word), 0x01020304);
}

TEST_F(RecordFile, LongerRecordIsReadInPartAndTheRestSkipped) {
  writebytes("f", framedrecord(le_values(std::vector<std::int32_t>{1, 2, 3, 4})) + framedrecord(le_i4(5)));
  UnitHandle u = openold("f");
  std::vector<std::int32_t> two(2);
  EXPECT_EQ(readrecordvalues<std::int32_t>(u.unit(), two), 0);
  EXPECT_EQ(two, (std::vector<std::int32_t>{1, 2}));
  std::int32_t next = 0;
  EXPECT_EQ(readrecord(u.unit(), &next, 4), 0);
  EXPECT_EQ(next, 5);
}

TEST_F(RecordFile, ShorterRecordFailsWithoutFillingTheBuffer) {
  writebytes("f", framedrecord(le_values(std::vector<std::int32_t>{1, 2})));
  UnitHandle u = openold("f");
  std::vector<std::int32_t> three{7, 7, 7};
  EXPECT_EQ(readrecordvalues<std::int32_t>(u.unit(), three), kStatusReadFailed);
  EXPECT_EQ(three, (std::vector<std::int32_t>{7, 7, 7}));
}

TEST_F(RecordFile, TrailingLengthWordMustMatch) {
  writebytes("f", framedrecord(le_i4(1), 4, 5));
  std::int32_t v = 0;
  EXPECT_EQ(readrecord(openold("f").unit(), &v, 4), kStatusReadFailed);
  std::vector<std::byte> bytes;
  EXPECT_EQ(readrecordbytes(openold("f").unit(), bytes), kStatusReadFailed);
  EXPECT_TRUE(bytes.empty());
}

TEST_F(RecordFile, NegativeLengthWordIsAReadFailure) {
  writebytes("f", framedrecord(le_i4(1), -4, -4));
  std::int32_t v = 0;
  EXPECT_EQ(readrecord(openold("f").unit(), &v, 0), kStatusReadFailed);
  std::vector<std::byte> bytes;
  EXPECT_EQ(readrecordbytes(openold("f").unit(), bytes), kStatusReadFailed);
}

TEST_F(RecordFile, HugeLengthWordIsCheckedBeforeAnythingIsTaken) {
  const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
  writebytes("f", framedrecord(le_i4(1), huge, huge));
  std::vector<std::byte> bytes;
  EXPECT_EQ(readrecordbytes(openold("f").unit(), bytes), kStatusReadFailed);
  EXPECT_TRUE(bytes.empty());
  EXPECT_LT(bytes.capacity(), 1024u);
  std::int32_t v = 0;
  EXPECT_EQ(readrecord(openold("f").unit(), &v, 4), kStatusReadFailed);
}

// From a pipe the storage grows only with the bytes that arrive: a length word the data does
// not bear out asks for no more than a chunk, and the rest of a longer record is read past.
TEST_F(RecordFile, FromAPipeStorageGrowsWithTheBytes) {
  const std::string longrecord = framedrecord(std::string(3000000, '\x7'));
  struct Case {
    std::string bytes;
    std::size_t asked;
    int status;
    std::size_t mostroom;
  };
  const Case cases[] = {
      {le_i4(1920000000) + std::string(100, 'x'), 1920000000, kStatusReadFailed, std::size_t{1} << 20},
      {longrecord + framedrecord(le_i4(42)), 2500000, 0, 2500000},
  };
  for (const Case& c : cases) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
      (void)!::write(ends[1], c.bytes.data(), c.bytes.size());
      ::close(ends[1]);
    });
    UnitHandle u = UnitHandle::take();
    ASSERT_EQ(openunit(u.unit(), "/dev/fd/" + std::to_string(ends[0]), FileForm::unformatted, OpenStatus::old), 0);
    std::vector<char> storage;
    std::size_t mostroom = 0;
    EXPECT_EQ(readrecordgrowing(u.unit(), c.asked,
                                [&](std::size_t n) -> void* {
                                  mostroom = std::max(mostroom, n);
                                  storage.resize(n);
                                  return storage.data();
                                }),
              c.status);
    EXPECT_EQ(mostroom, c.mostroom);
    if (c.status == 0) {
      EXPECT_EQ(std::count(storage.begin(), storage.end(), '\x7'), 2500000);
      std::int32_t next = 0;
      EXPECT_EQ(readrecordvalues(u.unit(), std::span(&next, 1)), 0);
      EXPECT_EQ(next, 42);
    }
    u.release();
    writer.join();
    ::close(ends[0]);
  }
}

// A file of two records cut after every byte: only a cut at a record boundary is a clean
// end of file; every other cut fails the record it falls in, and nothing crashes.
TEST_F(RecordFile, TruncationAtEveryByte) {
  const std::string whole = framedrecord(le_values(std::vector<std::int32_t>{11, 12})) + framedrecord(le_i4(13));
  const std::size_t firstend = 16;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    writebytes("f", whole.substr(0, cut));
    UnitHandle u = openold("f");
    std::vector<std::int32_t> first(2);
    const int s1 = readrecordvalues<std::int32_t>(u.unit(), first);
    if (cut == 0) {
      EXPECT_EQ(s1, kStatusEndOfFile);
      continue;
    }
    if (cut < firstend) {
      EXPECT_EQ(s1, kStatusReadFailed);
      continue;
    }
    EXPECT_EQ(s1, 0);
    std::vector<std::byte> second;
    EXPECT_EQ(readrecordbytes(u.unit(), second), cut == firstend ? kStatusEndOfFile : kStatusReadFailed);
  }
}

TEST_F(RecordFile, UnitWithoutFileFails) {
  UnitHandle u = UnitHandle::take();
  std::int32_t v = 0;
  EXPECT_EQ(readrecord(u.unit(), &v, 4), kStatusReadFailed);
  EXPECT_EQ(writerecord(u.unit(), &v, 4), kStatusWriteFailed);
  EXPECT_EQ(readstreambytes(u.unit(), &v, 4), kStatusReadFailed);
  EXPECT_EQ(bytesleftinfile(u.unit()), -1);
}

TEST_F(RecordFile, RecordTooLongForItsLengthWordIsNotWritten) {
  UnitHandle u = UnitHandle::take();
  ASSERT_EQ(openunit(u.unit(), path("f"), FileForm::unformatted, OpenStatus::replace), 0);
  std::int32_t v = 0;
  EXPECT_EQ(writerecord(u.unit(), &v, kMaxRecordBytes + 1), kStatusWriteFailed);
  u.release();
  EXPECT_EQ(testkit::readfile(path("f")), "");
}

TEST_F(RecordFile, StreamBytesTellCleanEndFromShortRead) {
  writebytes("f", "abc");
  UnitHandle u = openold("f");
  EXPECT_EQ(bytesleftinfile(u.unit()), 3);
  char buf[4] = {};
  EXPECT_EQ(readstreambytes(u.unit(), buf, 2), 0);
  EXPECT_EQ(readstreambytes(u.unit(), buf, 2), kStatusReadFailed);
  EXPECT_EQ(readstreambytes(u.unit(), buf, 1), kStatusEndOfFile);
}

// The test kit's record-file writer, which later tests build mesh and model files with.
TEST_F(RecordFile, KitWriterFramesMixedRecords) {
  {
    testkit::RecordFileWriter w(path("mesh"));
    w.i4(3).endrecord();
    w.r8s(std::vector<double>{1.5, 2.5}).l(true).l(false).text("ab", 4).endrecord();
    w.endrecord();
  }
  EXPECT_EQ(testkit::readfile(path("mesh")), framedrecord(le_i4(3)) +
                                                 framedrecord(le_values(std::vector<double>{1.5, 2.5}) + le_i4(1) +
                                                              le_i4(0) + "ab  ") +
                                                 framedrecord(""));
}

}  // namespace
}  // namespace kelpra
