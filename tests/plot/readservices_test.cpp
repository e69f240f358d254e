#include <gtest/gtest.h>

#include "plot/readservices.hpp"
#include "support/errors.hpp"
#include "support/fileunits.hpp"
#include "tests/kit/cleanplotrun.hpp"
#include "tests/kit/modelwriter.hpp"
#include "tests/kit/process.hpp"

namespace kelpra {
namespace {

class ReadServices : public testkit::CleanPlotRun {
 protected:
  testkit::TempDir dir;
};

TEST_F(ReadServices, InitRegistersInOrderThenReads) {
  const auto file = dir / "abco.v_pm.0001";
  testkit::writeresult_r4(file, "1.0 velocities", {{1, 2}, {3, 4}, {5, 6}});
  R4Vec vx, vy, vz;
  std::int32_t xs = 0, ys = 0, zs = 0, nvar = 2;
  std::string varlist = "\"X\",\"Y\"";
  ::testing::internal::CaptureStdout();
  init_vec4(2, file.string(), {&vx, &vy, &vz}, {"Vx", "Vy", "Vz"}, {&xs, &ys, &zs}, nvar, varlist);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "   3     Vx\n   4     Vy\n   5     Vz\n");
  EXPECT_EQ(varlist, "\"X\",\"Y\",\"Vx\",\"Vy\",\"Vz\"");
  EXPECT_EQ((std::vector<std::int32_t>{xs, ys, zs}), (std::vector<std::int32_t>{3, 4, 5}));
  EXPECT_EQ(vx, (R4Vec{1, 2}));
  EXPECT_EQ(vz, (R4Vec{5, 6}));

  const auto heads = dir / "abco.head_pm.0001";
  testkit::writeresult_r8(heads, "1.0 heads", std::vector<double>{9.5, 8.5, 7.5});
  R8Vec h(5, 42.0);
  std::int32_t slot = 0;
  ::testing::internal::CaptureStdout();
  init_var8(3, heads.string(), h, "Head", slot, nvar, varlist);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(slot, 6);
  EXPECT_EQ(h, (R8Vec{9.5, 8.5, 7.5, 42.0, 42.0}));
}

TEST_F(ReadServices, ArraysGrowToTheCountAndMissingFilesStop) {
  const auto file = dir / "abco.sat_pm.0002";
  testkit::writeresult_r4(file, "2.0 sat", std::vector<float>{0.5f, 0.25f});
  R4Vec sat;
  read_var4(2, file.string(), sat);
  EXPECT_EQ(sat, (R4Vec{0.5f, 0.25f}));
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(read_var4(2, (dir / "missing").string(), sat), RunStopped);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Failed to open file: "), std::string::npos);
}

}  // namespace
}  // namespace kelpra
