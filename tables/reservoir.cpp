#include "tables/reservoir.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "support/errors.hpp"
#include "tables/savedform.hpp"

namespace kelpra {
namespace {

bool linear(std::int32_t mode) { return logicalvalue(mode); }

// The fields in saved order: the nine integers, then the reals with spillcoef2 before
// spillcoef1, then the seven tables.
template <class Context>
auto integers(Context& c) {
  return std::array{&c.lossinterp, &c.releaseinterp, &c.capacityinterp, &c.lowerinterp, &c.upperinterp,
          &c.userint6,   &c.userint7,      &c.userint8,       &c.dischargenode};
}
template <class Context>
auto reals(Context& c) {
  return std::array{&c.dischargedepth, &c.minvolume, &c.activevolume, &c.floodvolume, &c.spillcoef2, &c.spillcoef1,
          &c.inflowrate};
}
template <class Context>
auto tables(Context& c) {
  return std::array{&c.extratable,        &c.losstable,      &c.elevationtable, &c.releasetable,
          &c.gatecapacitytable, &c.lowerrulecurve, &c.upperrulecurve};
}

// Sub-steps of a step of length dt > 0: 2 ceiling(sqrt(dt)), held between 20 and 100.
int substeps(double dt) { return static_cast<int>(std::clamp(2.0 * std::ceil(std::sqrt(dt)), 20.0, 100.0)); }

}  // namespace

double zeroreturn(double, double, double, const ReservoirContext&) { return 0.0; }

double losstvtable(double t, double h, double v, const ReservoirContext& c) {
  if (v <= 0) return 0.0;
  const double q = c.losstable.queryvalue(t, linear(c.lossinterp));
  return std::min(v / h, std::fabs(q));
}

double gatetvtable(double t, double h, double v, const ReservoirContext& c) {
  if (v <= c.minvolume) return 0.0;
  const double q = c.releasetable.queryvalue(t, linear(c.releaseinterp));
  return std::min((v - c.minvolume) / h, std::fabs(q));
}

double spillwayvol2elev(double, double h, double v, const ReservoirContext& c) {
  const double crest = c.minvolume + c.activevolume;
  if (v <= crest) return 0.0;
  const double e0 = c.elevationtable.queryvalue(crest, true);
  const double e = c.elevationtable.queryvalue(v, true);
  const double head = e - e0;
  const double discharge = c.spillcoef1 * c.spillcoef2 * std::sqrt(head) * head;
  return std::min(std::min(c.floodvolume, v - crest) / h, discharge);
}

double gaterulecurve(double t, double h, double v, const ReservoirContext& c) {
  if (v <= c.minvolume) return 0.0;
  double q = c.releasetable.queryvalue(t, linear(c.releaseinterp));
  const double lower = c.lowerrulecurve.queryvalue(t, linear(c.lowerinterp));
  const double upper = c.upperrulecurve.queryvalue(t, linear(c.upperinterp));
  const double predicted = (c.inflowrate - q) * h + v;
  const double crest = c.activevolume + c.minvolume;
  if (predicted <= c.minvolume) {
    q = 0.0;
  } else if (lower > c.minvolume && lower >= predicted) {
    q = q * (predicted - c.minvolume) / (lower - c.minvolume);
  } else if (upper >= predicted) {
    // on schedule
  } else if (predicted > crest) {
    q = q + (predicted - crest) / h;
  } else {
    const double key =
        c.dischargenode == 0 ? c.elevationtable.queryvalue(predicted, true) : c.dischargedepth;
    const double qmax = c.gatecapacitytable.queryvalue(key, linear(c.capacityinterp));
    q = std::min(qmax, q + (predicted - upper) / h);
  }
  return std::min((v - c.minvolume) / h, q);
}

void destroy(ReservoirContext& c) {
  for (std::int32_t* field : integers(c)) *field = 0;
  for (double* field : reals(c)) *field = 0.0;
  for (TimeValueTable* table : tables(c)) table->destroy();
}

void setinflowrate(ReservoirContext& c, double rate) { c.inflowrate = rate; }

void setgatedischargedepth(ReservoirContext& c, std::span<const double> depths, std::optional<double> offset) {
  if (c.dischargenode <= 0) return;
  if (static_cast<std::size_t>(c.dischargenode) > depths.size()) {
    input_error("Reservoir discharge node " + std::to_string(c.dischargenode) + " is beyond the " +
                std::to_string(depths.size()) + " depths given.");
  }
  c.dischargedepth = depths[static_cast<std::size_t>(c.dischargenode - 1)] + offset.value_or(0.0);
}

void setlosscallback(std::int32_t option, ReservoirRateFunction& f) {
  switch (option) {
    case 0: f = zeroreturn; break;
    case 1: f = losstvtable; break;
    default: input_error("Invalid option for reservoir storage loss.");
  }
}

void setgatecallback(std::int32_t option, ReservoirRateFunction& f) {
  switch (option) {
    case 0: f = zeroreturn; break;
    case 1: f = gatetvtable; break;
    case 3: f = gaterulecurve; break;
    default: input_error("Invalid option for reservoir gate operation.");
  }
}

void setspillwaycallback(std::int32_t option, ReservoirRateFunction& f) {
  switch (option) {
    case 0: f = zeroreturn; break;
    case 2: f = spillwayvol2elev; break;
    default: input_error("Invalid option for reservoir spillway operation.");
  }
}

void reservoirspillwayfunc(double t, double h, double v, const ReservoirContext& c, ReservoirRateFunction loss,
                           ReservoirRateFunction gate, ReservoirRateFunction spillway, double& dvdt, double& qloss,
                           double& qspill, double& qgate, double& qover) {
  const double capacity = c.minvolume + c.activevolume + c.floodvolume;
  double w = v;
  qloss = loss(t, h, w, c);
  w = w - qloss * h;
  qgate = gate(t, h, w, c);
  w = w - qgate * h;
  qspill = spillway(t, h, w, c);
  w = (w - h * qspill) + h * c.inflowrate;
  qover = w > capacity ? (w - capacity) / h : 0.0;
  dvdt = c.inflowrate - qloss - qgate - qspill - qover;
}

void reservoirspillwayupdate(double t0, double t1, double v0, const ReservoirContext& c, ReservoirRateFunction loss,
                             ReservoirRateFunction gate, ReservoirRateFunction spillway, double& vend, double& rate,
                             double& lossrate, double& spillrate, double& gaterate, double& overflowrate) {
  const double dt = t1 - t0;
  if (!(dt >= 0) || !std::isfinite(dt)) {
    input_error("Invalid reservoir time step from " + std::to_string(t0) + " to " + std::to_string(t1) +
                ": the end must not come before the start.");
  }
  vend = v0;
  rate = lossrate = spillrate = gaterate = overflowrate = 0.0;
  if (dt == 0) return;
  const int steps = substeps(dt);
  const double h = dt / steps;
  const double half = 0.5 * h;
  double v = v0;
  double sumloss = 0, sumspill = 0, sumgate = 0, sumover = 0;
  for (int i = 0; i < steps; ++i) {
    const double ti = i * h + t0;
    double d1 = 0, l1 = 0, s1 = 0, g1 = 0, o1 = 0;
    reservoirspillwayfunc(ti, h, v, c, loss, gate, spillway, d1, l1, s1, g1, o1);
    const double vp = d1 * h + v;
    double d2 = 0, l2 = 0, s2 = 0, g2 = 0, o2 = 0;
    reservoirspillwayfunc(ti + h, h, vp, c, loss, gate, spillway, d2, l2, s2, g2, o2);
    sumloss += l1 + l2;
    sumspill += s1 + s2;
    sumgate += g1 + g2;
    sumover += o1 + o2;
    v = (d1 + d2) * half + v;
  }
  vend = v;
  rate = (vend - v0) / dt;
  lossrate = (sumloss * half) / (-dt);
  spillrate = (sumspill * half) / (-dt);
  gaterate = (sumgate * half) / (-dt);
  overflowrate = (sumover * half) / (-dt);
}

void serialize(const ReservoirContext& c, int unit) {
  SavedFormWriter out(unit, "ReservoirContext::serialize: file unit must be associated a file.");
  for (const std::int32_t* field : integers(c)) out.integer(*field);
  for (const double* field : reals(c)) out.real(*field);
  for (const TimeValueTable* table : tables(c)) table->serialize(unit);
}

void deserialize(ReservoirContext& c, int unit) {
  destroy(c);
  SavedFormReader in(unit, "ReservoirContext::deserialize: file unit must be associated a file.",
                     "ReservoirContext::deserialize");
  for (std::int32_t* field : integers(c)) *field = in.integer();
  for (double* field : reals(c)) *field = in.real();
  for (TimeValueTable* table : tables(c)) table->deserialize(unit);
}

}  // namespace kelpra
