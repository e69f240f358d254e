#include "tables/reservoir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/tables/tablestesting.hpp"

namespace kelpra {
namespace {

using testkit::expectstop;

class Reservoir : public testkit::TablesTest {};

void constant(TimeValueTable& table, double value) {
  table.destroy();
  table.push(0, value);
}

struct Step {
  double vend = 0, rate = 0, loss = 0, spill = 0, gate = 0, over = 0;
};

Step update(const ReservoirContext& c, double t0, double t1, double v0, ReservoirRateFunction loss,
            ReservoirRateFunction gate, ReservoirRateFunction spillway) {
  Step s;
  reservoirspillwayupdate(t0, t1, v0, c, loss, gate, spillway, s.vend, s.rate, s.loss, s.spill, s.gate, s.over);
  return s;
}

int calls = 0;
double counting(double, double, double, const ReservoirContext&) {
  ++calls;
  return 0;
}

TEST_F(Reservoir, SubStepsAndStepLength) {
  ReservoirContext c;
  c.floodvolume = 1e9;
  for (const auto& [dt, steps] : std::vector<std::pair<double, int>>{{100, 20}, {400, 40}, {10000, 100}, {0.5, 20}}) {
    calls = 0;
    update(c, 3, 3 + dt, 1, counting, zeroreturn, zeroreturn);
    EXPECT_EQ(calls, 2 * steps) << dt;
  }
  c.inflowrate = 5;
  const Step none = update(c, 7, 7, 12, zeroreturn, zeroreturn, zeroreturn);
  EXPECT_EQ(none.vend, 12);
  EXPECT_EQ(none.rate, 0);
  expectstop([&] { update(c, 2, 1, 0, zeroreturn, zeroreturn, zeroreturn); }, "Invalid reservoir time step");
  expectstop([&] { update(c, 0, std::nan(""), 0, zeroreturn, zeroreturn, zeroreturn); }, "Invalid reservoir");
  calls = 0;
  update(c, 0, 1e300, 1, counting, zeroreturn, zeroreturn);  // a huge step is bounded
  EXPECT_EQ(calls, 200);
}

TEST_F(Reservoir, EachOutflowByHand) {
  ReservoirContext c;
  c.floodvolume = 1e6;
  c.inflowrate = 2;
  Step s = update(c, 0, 100, 10, zeroreturn, zeroreturn, zeroreturn);
  EXPECT_DOUBLE_EQ(s.vend, 210);
  EXPECT_DOUBLE_EQ(s.rate, 2);
  EXPECT_EQ(s.loss + s.gate + s.spill + s.over, 0);

  c.inflowrate = 0;
  constant(c.losstable, -0.1);  // the magnitude is used
  s = update(c, 0, 100, 100, losstvtable, zeroreturn, zeroreturn);
  EXPECT_DOUBLE_EQ(s.vend, 90);
  EXPECT_DOUBLE_EQ(s.loss, -0.1);
  // Never more than the storage: each of the 20 sub-steps of 5 halves it.
  constant(c.losstable, 1);
  s = update(c, 0, 100, 5, losstvtable, zeroreturn, zeroreturn);
  EXPECT_DOUBLE_EQ(s.vend, 5.0 / (1 << 20));
  EXPECT_DOUBLE_EQ(s.loss, -(5 - s.vend) / 100);

  c.minvolume = 50;
  constant(c.releasetable, 0.2);
  s = update(c, 0, 100, 100, zeroreturn, gatetvtable, zeroreturn);
  EXPECT_DOUBLE_EQ(s.vend, 80);
  EXPECT_DOUBLE_EQ(s.gate, -0.2);

  // Spillway: elevation V / 100, crest at 100, head 1 at V = 200, discharge 1 * 1 * sqrt(1) * 1.
  c = {};
  c.activevolume = 100;
  c.floodvolume = 1000;
  c.spillcoef1 = 2;
  c.spillcoef2 = 0.5;
  c.elevationtable.push(0, 0);
  c.elevationtable.push(1000, 10);
  double dvdt = 0, qloss = 0, qspill = 0, qgate = 0, qover = 0;
  reservoirspillwayfunc(0, 1, 200, c, zeroreturn, zeroreturn, spillwayvol2elev, dvdt, qloss, qspill, qgate, qover);
  EXPECT_DOUBLE_EQ(qspill, 1);
  EXPECT_DOUBLE_EQ(dvdt, -1);
  EXPECT_DOUBLE_EQ(spillwayvol2elev(0, 1, 100, c), 0);  // at the crest

  // At the total capacity the whole inflow overflows.
  c.inflowrate = 3;
  c.spillcoef1 = 0;
  s = update(c, 0, 50, 1100, zeroreturn, zeroreturn, spillwayvol2elev);
  EXPECT_DOUBLE_EQ(s.vend, 1100);
  EXPECT_DOUBLE_EQ(s.over, -3);
}

TEST_F(Reservoir, RuleCurveBranches) {
  ReservoirContext c;
  c.minvolume = 10;
  c.activevolume = 90;
  constant(c.releasetable, 2);
  constant(c.lowerrulecurve, 50);
  constant(c.upperrulecurve, 80);
  constant(c.gatecapacitytable, 3);
  c.elevationtable.push(0, 0);
  c.elevationtable.push(1000, 10);
  struct Case {
    double v, q;
  };
  for (const Case k : {Case{5, 0}, Case{11, 0}, Case{30, 2 * 18.0 / 40}, Case{70, 2}, Case{90, 3}, Case{110, 10}}) {
    EXPECT_DOUBLE_EQ(gaterulecurve(0, 1, k.v, c), k.q) << k.v;
  }
  c.dischargenode = 2;
  const std::vector<double> depths = {1, 2.5, 3};
  setgatedischargedepth(c, depths, 0.5);
  EXPECT_EQ(c.dischargedepth, 3);
  c.dischargenode = 4;
  expectstop([&] { setgatedischargedepth(c, depths); }, "discharge node 4");
}

TEST_F(Reservoir, MassBalanceOnRandomSteps) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    ReservoirContext c;
    c.minvolume = 100 * u(rng);
    c.activevolume = 500 * u(rng);
    c.floodvolume = 200 * u(rng);
    c.spillcoef1 = u(rng);
    c.spillcoef2 = 2 * u(rng);
    c.inflowrate = 20 * u(rng);
    c.lossinterp = c.releaseinterp = c.lowerinterp = c.upperinterp = c.capacityinterp = trial % 2 == 0 ? -1 : 0;
    for (double t = 0; t <= 1000; t += 100) {
      c.losstable.push(t, u(rng));
      c.releasetable.push(t, 5 * u(rng));
      c.lowerrulecurve.push(t, c.minvolume + 200 * u(rng));
      c.upperrulecurve.push(t, c.minvolume + 200 + 200 * u(rng));
      c.gatecapacitytable.push(t, 10 * u(rng));
    }
    c.elevationtable.push(0, 0);
    c.elevationtable.push(2000, 50 * (1 + u(rng)));
    ReservoirRateFunction loss = nullptr, gate = nullptr, spillway = nullptr;
    setlosscallback(1, loss);
    setgatecallback(trial % 3 == 0 ? 1 : 3, gate);
    setspillwaycallback(2, spillway);
    const double t0 = 500 * u(rng);
    const double dt = 1 + 600 * u(rng);
    const double v0 = (c.minvolume + c.activevolume + c.floodvolume) * u(rng);
    const Step s = update(c, t0, t0 + dt, v0, loss, gate, spillway);
    const double balance = v0 + (c.inflowrate + s.loss + s.gate + s.spill + s.over) * dt;
    EXPECT_NEAR(s.vend, balance, 1e-9 * (1 + std::fabs(v0))) << trial;
    EXPECT_NEAR(s.rate * dt, s.vend - v0, 1e-9 * (1 + std::fabs(v0))) << trial;
    EXPECT_LE(s.loss + s.gate + s.spill + s.over, 0);
  }
}

TEST_F(Reservoir, OptionCodes) {
  ReservoirRateFunction f = nullptr;
  setgatecallback(3, f);
  EXPECT_EQ(f, &gaterulecurve);
  expectstop([&] { setlosscallback(2, f); }, "Invalid option for reservoir storage loss.");
  expectstop([&] { setgatecallback(2, f); }, "Invalid option for reservoir gate operation.");
  expectstop([&] { setspillwaycallback(1, f); }, "Invalid option for reservoir spillway operation.");
}

TEST_F(Reservoir, SavedFormsRoundTrip) {
  ReservoirContext c;
  std::int32_t k = 1;
  for (std::int32_t* field : {&c.lossinterp, &c.releaseinterp, &c.capacityinterp, &c.lowerinterp, &c.upperinterp,
                              &c.userint6, &c.userint7, &c.userint8, &c.dischargenode}) {
    *field = k++;
  }
  c.dischargedepth = 1.25;
  c.minvolume = 2;
  c.activevolume = 3;
  c.floodvolume = 4;
  c.spillcoef1 = 5;
  c.spillcoef2 = 6;
  c.inflowrate = 7.5;
  c.extratable.push(1, 2);
  c.upperrulecurve.push(3, 4);
  c.upperrulecurve.push(5, 6);
  for (const FileForm form : testkit::kBothForms) {
    const int unit = openfile("saved", form);
    serialize(c, unit);
    rewind(unit);
    ReservoirContext back;
    back.losstable.push(9, 9);
    deserialize(back, unit);
    EXPECT_EQ(back.userint8, 8);
    EXPECT_EQ(back.dischargenode, 9);
    EXPECT_EQ(back.spillcoef1, 5);
    EXPECT_EQ(back.spillcoef2, 6);
    EXPECT_EQ(back.inflowrate, 7.5);
    EXPECT_TRUE(back.losstable.empty());
    EXPECT_EQ(back.extratable.value(1), 2);
    EXPECT_EQ(back.upperrulecurve.gettime(2), 5);
    freeunit(unit);
  }
  // Order of the saved reals: spillcoef2 comes before spillcoef1.
  const int unit = openfile("order.txt", FileForm::formatted);
  serialize(c, unit);
  const std::string scalars = "1\n2\n3\n4\n5\n6\n7\n8\n9\n1.25\n2\n3\n4\n6\n5\n7.5\n";
  EXPECT_EQ(contents(unit, "order.txt").substr(0, scalars.size()), scalars);
  const int nofile = getunit();
  expectstop([&] { serialize(c, nofile); }, "ReservoirContext::serialize: file unit must be associated a file.");
  expectstop([&] { deserialize(c, nofile); }, "ReservoirContext::deserialize: file unit must be associated a file.");
  destroy(c);
  EXPECT_EQ(c.dischargenode, 0);
  EXPECT_EQ(c.spillcoef2, 0);
  EXPECT_TRUE(c.upperrulecurve.empty());
}

}  // namespace
}  // namespace kelpra
