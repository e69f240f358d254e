#include <gtest/gtest.h>

#include <filesystem>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

class FileUnits : public testkit::CleanRun {};

TEST_F(FileUnits, LowestFreeUnitFirst) {
  EXPECT_EQ(getunit(), 1100);
  EXPECT_EQ(getunit(), 1101);
  freeunit(1100);
  EXPECT_EQ(getunit(), 1100);
  EXPECT_EQ(getunit(), 1102);
}

TEST_F(FileUnits, ExhaustionIsFatal) {
  for (int i = 0; i < 18901; ++i) getunit();
  EXPECT_TRUE(unitused(20000));
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(getunit(), RunStopped);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("No free file units, range exhausted: [1100,20000]"), std::string::npos);
  // The stopping report cleared the pool.
  EXPECT_FALSE(unitused(20000));
}

TEST_F(FileUnits, FreeingTwiceOrAfterFreeAllIsFatal) {
  const int u = getunit();
  freeunit(u);
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(freeunit(u), RunStopped);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("already free"), std::string::npos);
}

TEST_F(FileUnits, LastUnitOfTheRangeCanBeFreed) {
  int u = 0;
  for (int i = 0; i < 18901; ++i) u = getunit();
  EXPECT_EQ(u, 20000);
  freeunit(20000);
  EXPECT_EQ(getunit(), 20000);
}

TEST_F(FileUnits, OpenWriteCloseAndReopen) {
  testkit::TempDir dir;
  const std::string name = (dir / "a.txt").string();
  const int u = getunit();
  ASSERT_EQ(openunit(u, name + "   ", FileForm::formatted, OpenStatus::replace), 0);
  EXPECT_EQ(unitfilename(u), name);
  EXPECT_EQ(writeline(u, "hello"), 0);
  freeunit(u);  // closes and flushes
  EXPECT_EQ(testkit::readfile(name), "hello\n");
  int v = 0;
  open_ascii_file(v, name);
  EXPECT_EQ(v, u);
  EXPECT_NE(unitstream(v), nullptr);
  freeunit(v);
  EXPECT_EQ(unitstream(v), nullptr);
}

TEST_F(FileUnits, AccessFormOfTheOpenFile) {
  testkit::TempDir dir;
  const int u = getunit();
  EXPECT_EQ(unitform(u), std::nullopt);  // taken, no file yet
  ASSERT_EQ(openunit(u, (dir / "f").string(), FileForm::unformatted, OpenStatus::replace), 0);
  EXPECT_EQ(unitform(u), FileForm::unformatted);
  ASSERT_EQ(openunit(u, (dir / "g").string(), FileForm::formatted, OpenStatus::replace), 0);
  EXPECT_EQ(unitform(u), FileForm::formatted);
  freeunit(u);
  EXPECT_EQ(unitform(u), std::nullopt);
  EXPECT_EQ(unitform(6), std::nullopt);  // outside the pool
}

TEST_F(FileUnits, OpenFailuresReturnStatusCodes) {
  testkit::TempDir dir;
  const int u = getunit();
  EXPECT_EQ(openunit(u, (dir / "missing").string(), FileForm::formatted, OpenStatus::old), 29);
  EXPECT_EQ(openunit(u, (dir / "no/such/dir/x").string(), FileForm::formatted, OpenStatus::replace), 29);
  EXPECT_EQ(openunit(u, "   ", FileForm::formatted), 43);
  EXPECT_EQ(unitstream(u), nullptr);
  EXPECT_EQ(writeline(u, "x"), 38);
  EXPECT_FALSE(fileexists(dir.path().string()));  // a folder is not a file
}

// A staged file that cannot take its name keeps its temporary one, the earlier file of the name
// is left alone, and a stopping report is told so; a link to a file that does not exist yet
// makes the file where the link points.
TEST_F(FileUnits, StagedFileTakesItsNameOnlyWhenComplete) {
  testkit::TempDir dir;
  const std::string name = (dir / "set.dat").string();
  std::filesystem::create_directory(name);
  const int u = getunit();
  ASSERT_EQ(openunit(u, name, FileForm::formatted, OpenStatus::staged), 0);
  EXPECT_EQ(writeline(u, "zone"), 0);
  EXPECT_EQ(closeunit(u), kStatusWriteFailed);
  EXPECT_EQ(testkit::readfile(name + ".tmp"), "zone\n");
  EXPECT_EQ(closestagedunits(), name + " is left as it was: this run's " + name +
                                    ".tmp could not be closed or take its name.");
  EXPECT_EQ(closestagedunits(), "");

  const std::string link = (dir / "link.dat").string();
  std::filesystem::create_symlink("sub/../new.dat", link);
  std::filesystem::create_directory(dir / "sub");
  ASSERT_EQ(openunit(u, link, FileForm::formatted, OpenStatus::staged), 0);
  EXPECT_EQ(stagedname(link), (dir / "sub/../new.dat.tmp").string());
  EXPECT_EQ(writeline(u, "zone"), 0);
  EXPECT_EQ(closeunit(u), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(testkit::readfile(dir / "new.dat"), "zone\n");
}

TEST_F(FileUnits, HandleGivesItsUnitBackUnlessThePoolWasCleared) {
  {
    UnitHandle h = UnitHandle::take();
    EXPECT_EQ(h.unit(), 1100);
    EXPECT_TRUE(unitused(1100));
  }
  EXPECT_FALSE(unitused(1100));
  {
    UnitHandle h = UnitHandle::take();
    freeunitall();
    const int other = getunit();  // the same number now belongs to someone else
    EXPECT_EQ(other, h.unit());
  }
  EXPECT_TRUE(unitused(1100));  // the stale handle left the new owner alone
}

}  // namespace
}  // namespace kelpra
