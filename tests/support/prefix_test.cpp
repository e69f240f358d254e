// The problem prefix from batch.pfx or the prompt, and the small utilities beside it.
#include "support/prefix.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/cleanrun.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

using testkit::readfile;
using testkit::writefile;

// Runs in a fresh working directory, since batch.pfx is looked for there.
class PrefixTest : public testkit::CleanRun {
 protected:
  void SetUp() override {
    CleanRun::SetUp();
    saved_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override {
    std::filesystem::current_path(saved_);
    CleanRun::TearDown();
  }

  // getmodelprefix with `input` on its prompt; returns what it wrote.
  std::string run(const std::string& input, std::string& prefix) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::tmpfile(), std::fclose), out(std::tmpfile(), std::fclose);
    std::fputs(input.c_str(), in.get());
    std::rewind(in.get());
    getmodelprefix(".vorn", prefix, in.get(), out.get());
    std::rewind(out.get());
    std::string text;
    for (int c = std::fgetc(out.get()); c != EOF; c = std::fgetc(out.get())) text.push_back(static_cast<char>(c));
    return text;
  }

  testkit::TempDir dir_;
  std::filesystem::path saved_;
};

constexpr const char* kInteractive = "Switching to interactive mode\nEnter prefix of problem filename...\n";

TEST_F(PrefixTest, BatchFileWithExistingModelIsTakenSilently) {
  writefile("batch.pfx", "abc\n");
  writefile("abc.vorn", "");
  std::string prefix;
  EXPECT_EQ(run("", prefix), "");
  EXPECT_EQ(prefix, "abc");
  EXPECT_EQ(readfile("batch.pfx"), "abc\n");
}

TEST_F(PrefixTest, FirstWordOfTheFirstNonBlankLine) {
  writefile("batch.pfx", "\n   \n  abc def\nxyz\n");
  writefile("abc.vorn", "");
  std::string prefix;
  EXPECT_EQ(run("", prefix), "");
  EXPECT_EQ(prefix, "abc");
}

TEST_F(PrefixTest, QuotedPrefixKeepsItsBlanks) {
  writefile("batch.pfx", "'my model'\n");
  writefile("my model.vorn", "");
  std::string prefix;
  run("", prefix);
  EXPECT_EQ(prefix, "my model");
}

TEST_F(PrefixTest, MissingModelFallsBackToThePromptAndRewritesBatchFile) {
  writefile("batch.pfx", "abc\n");
  writefile("xyz.vorn", "");
  std::string prefix;
  EXPECT_EQ(run("xyz\n", prefix), std::string("Unable to find file abc.vorn\n") + kInteractive);
  EXPECT_EQ(prefix, "xyz");
  EXPECT_EQ(readfile("batch.pfx"), "xyz\n");
}

TEST_F(PrefixTest, EmptyBatchFileIsUnreadableAndEmpty) {
  writefile("batch.pfx", "");
  writefile("xyz.vorn", "");
  std::string prefix;
  EXPECT_EQ(run("xyz\n", prefix),
            std::string("Error reading batch.pfx file\nPrefix from batch.pfx file is empty\n") + kInteractive);
  EXPECT_EQ(prefix, "xyz");
}

TEST_F(PrefixTest, MissingBatchFile) {
  writefile("xyz.vorn", "");
  std::string prefix;
  EXPECT_EQ(run("xyz\n", prefix), std::string("batch.pfx file does not exist\n") + kInteractive);
  EXPECT_EQ(readfile("batch.pfx"), "xyz\n");
}

TEST_F(PrefixTest, BatchFileThatCannotBeOpenedIsNotRead) {
  // A socket exists as a file but cannot be opened, even by a privileged user.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", "batch.pfx");
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  writefile("xyz.vorn", "");
  std::string prefix;
  const std::string out = run("xyz\n", prefix);
  ::close(fd);
  EXPECT_EQ(out, std::string("Error opening batch.pfx file\n") + kInteractive +
                     "Failed to generate batch.pfx file with prefix xyz\n");
  EXPECT_EQ(prefix, "xyz");
}

TEST_F(PrefixTest, PromptRepeatsUntilValidAndKeepsTheFirstWord) {
  writefile("good.vorn", "");
  std::string prefix;
  const std::string out = run("bad\n\n   good one\n", prefix);
  EXPECT_EQ(out, std::string("batch.pfx file does not exist\n") + kInteractive +
                     "Unable to find file bad.vorn\nPlease try again...\n\nEnter prefix of problem filename...\n");
  EXPECT_EQ(prefix, "good");
  EXPECT_EQ(readfile("batch.pfx"), "good\n");
}

TEST_F(PrefixTest, EndOfInputAtThePromptStopsTheRun) {
  std::string prefix;
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(run("nomodel\n", prefix), RunStopped);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("No problem prefix given"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists("batch.pfx"));
}

TEST_F(PrefixTest, BatchFileThatCannotBeWrittenIsOnlyReported) {
  std::filesystem::create_directory("batch.pfx");
  writefile("xyz.vorn", "");
  std::string prefix;
  const std::string out = run("xyz\n", prefix);
  EXPECT_NE(out.find("Failed to generate batch.pfx file with prefix xyz\n"), std::string::npos) << out;
  EXPECT_EQ(prefix, "xyz");
}

TEST_F(PrefixTest, TypedPrefixIsSavedSoThatItReadsBack) {
  std::filesystem::create_directory("P");  // so that ../P/abc stays inside the test's directory
  std::filesystem::current_path("P");
  const char* cases[][3] = {{"abc", "abc", "abc\n"},  // typed, prefix, batch.pfx
                            {"'../P/abc'", "../P/abc", "'../P/abc'\n"},
                            {"'my model'", "my model", "'my model'\n"},
                            {"\"it's a,b\"", "it's a,b", "'it''s a,b'\n"},
                            {"\"'q\"", "'q", "'''q'\n"},
                            {"'\"q'", "\"q", "'\"q'\n"},
                            {"'~\x80'", "~\x80", "~\x80\n"}};
  for (const auto& [typed, want, saved] : cases) {
    SCOPED_TRACE(typed);
    std::filesystem::remove("batch.pfx");
    writefile(std::string(want) + ".vorn", "");
    std::string prefix;
    run(std::string(typed) + "\n", prefix);
    EXPECT_EQ(readfile("batch.pfx"), saved);
    EXPECT_EQ(run("", prefix), "");
    EXPECT_EQ(prefix, want);
  }
}

TEST_F(PrefixTest, TypedPrefixThatBatchFileCouldNotKeepIsRefused) {
  writefile("ok.vorn", "");
  const char* cases[][3] = {{",", "", "is empty"},  // typed, its model (which exists), why
                            {"''", "", "is empty"},
                            {"'   '", "", "is empty"},
                            {"'abc\r'", "abc\r", "holds a carriage return (character 13)"},
                            {"'a\tb'", "a\tb", "holds a tab (character 9)"},
                            {"'\x1b[A'", "\x1b[A", "holds an escape (character 27)"},
                            {"'\x01x'", "\x01x", "holds control character 1"},
                            {"'x\x7f'", "x\x7f", "holds control character 127"}};
  for (const auto& [typed, model, why] : cases) {
    SCOPED_TRACE(typed);
    writefile(std::string(model) + ".vorn", "");
    std::filesystem::remove("batch.pfx");
    std::string prefix;
    EXPECT_EQ(run(std::string(typed) + "\nok\n", prefix),
              std::string("batch.pfx file does not exist\n") + kInteractive + "Prefix entered " + why +
                  ": batch.pfx could not keep it\nPlease try again...\n\nEnter prefix of problem filename...\n");
    EXPECT_EQ(prefix, "ok");
    EXPECT_EQ(readfile("batch.pfx"), "ok\n");
  }
}

TEST_F(PrefixTest, PrefixCutAtASlashAsksForQuotes) {
  std::filesystem::create_directory("P");
  std::filesystem::current_path("P");
  writefile("abc.vorn", "");
  writefile("batch.pfx", "../P/abc\n");
  const std::string miss = "Unable to find file ...vorn\nA prefix holding a path must be quoted: '../P/abc'\n",
                    again = "Please try again...\n\nEnter prefix of problem filename...\n";
  std::string prefix;
  // The hint holds the word up to a comma; a slash that ends its word cuts no path.
  EXPECT_EQ(run("../P/abc,x\n/x/abc\nnone/ x\n'../P/abc'\n", prefix),
            miss + kInteractive + miss + again + "Prefix entered is empty: batch.pfx could not keep it\n" +
                "A prefix holding a path must be quoted: '/x/abc'\n" + again + "Unable to find file none.vorn\n" +
                again);
  EXPECT_EQ(prefix, "../P/abc");
  // A path with blanks is quoted whole, to the line's end (its trailing blanks dropped), in
  // batch.pfx and at the prompt, so that typing the hint takes the model.
  std::filesystem::create_directory("../my model's dir");
  writefile("../my model's dir/abc.vorn", "");
  writefile("batch.pfx", "../my model's dir/abc  \n");
  const std::string hint = "quoted: '../my model''s dir/abc'\n",
                    out = run("../my model's dir/abc\t\n'../my model''s dir/abc'\n", prefix);
  EXPECT_NE(out.find(hint), out.rfind(hint)) << out;  // for batch.pfx and for the prompt
  EXPECT_EQ(prefix, "../my model's dir/abc");
}

TEST(FileBaseName, PartAfterTheLastSeparator) {
  EXPECT_EQ(filebasename("dir/sub/file.dat"), "file.dat");
  EXPECT_EQ(filebasename("dir\\file"), "file");
  EXPECT_EQ(filebasename("file   "), "file");
  EXPECT_EQ(filebasename("dir/"), "");
  EXPECT_EQ(filebasename("dir/  "), "");
  EXPECT_EQ(filebasename(""), "");
}

TEST(EnvVarIsSet, PresentAbsentAndTrailingBlanks) {
  ::setenv("KELPRA_PREFIX_TEST_VAR", "", 1);
  EXPECT_TRUE(envvarisset("KELPRA_PREFIX_TEST_VAR"));
  EXPECT_TRUE(envvarisset("KELPRA_PREFIX_TEST_VAR   "));
  ::unsetenv("KELPRA_PREFIX_TEST_VAR");
  EXPECT_FALSE(envvarisset("KELPRA_PREFIX_TEST_VAR"));
  EXPECT_FALSE(envvarisset("   "));
}

TEST(CmdParser, TokensQuotesAndPositions) {
  const std::string line = "a \"b c\" d   ";
  std::int32_t pos = 1;
  std::string token;
  cmdparser(line, pos, token);
  EXPECT_EQ(token, "a");
  EXPECT_EQ(pos, 3);
  cmdparser(line, pos, token);
  EXPECT_EQ(token, "b c");
  cmdparser(line, pos, token);
  EXPECT_EQ(token, "d");
  EXPECT_EQ(pos, 10);
  // Past the end: empty token, position unchanged.
  cmdparser(line, pos, token);
  EXPECT_EQ(token, "");
  EXPECT_EQ(pos, 10);
}

TEST(CmdParser, DoubledQuoteAndQuotedStretchInsideAToken) {
  std::int32_t pos = 1;
  std::string token;
  cmdparser("\"say \"\"hi\"\"\"", pos, token);
  EXPECT_EQ(token, "say \"hi\"");
  pos = 1;
  cmdparser("ab\"c d\"e", pos, token);
  EXPECT_EQ(token, "abc de");
  pos = 1;
  cmdparser("\"\" x", pos, token);
  EXPECT_EQ(token, "");
  EXPECT_EQ(pos, 4);
}

TEST(CmdParser, BlankTailsAndOutOfRangePositions) {
  std::int32_t pos = 2;
  std::string token = "old";
  cmdparser("a\t \t", pos, token);
  EXPECT_EQ(token, "");
  EXPECT_EQ(pos, 5);  // only blanks and tabs followed: one past the line
  pos = 0;
  cmdparser("", pos, token);
  EXPECT_EQ(pos, 0);
  pos = -5;
  cmdparser("x y", pos, token);
  EXPECT_EQ(token, "x");
  EXPECT_EQ(pos, 3);
  pos = 2;
  cmdparser("a \t b", pos, token);
  EXPECT_EQ(token, "b");
}

}  // namespace
}  // namespace kelpra
