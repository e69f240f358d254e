// A reservoir as one storage volume fed by an inflow rate and drained, in this priority, by
// a storage loss, a gated release, a spillway and an overflow of whatever exceeds the total
// capacity; one time step is integrated with fixed trapezoidal sub-steps.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "tables/timevaluetable.hpp"

namespace kelpra {

struct ReservoirContext {
  std::int32_t lossinterp = 0;  // lookup modes: linear when the lowest bit is set, else step
  std::int32_t releaseinterp = 0;
  std::int32_t capacityinterp = 0;
  std::int32_t lowerinterp = 0;
  std::int32_t upperinterp = 0;
  std::int32_t userint6 = 0;  // kept, saved and restored for the caller
  std::int32_t userint7 = 0;
  std::int32_t userint8 = 0;
  std::int32_t dischargenode = 0;  // 1-based position in the caller's depths; 0 for none
  double dischargedepth = 0;
  double minvolume = 0;     // at or below it the gate releases nothing
  double activevolume = 0;  // from minvolume to the spillway crest
  double floodvolume = 0;   // from the crest to the top
  double spillcoef1 = 0;
  double spillcoef2 = 0;
  double inflowrate = 0;
  TimeValueTable extratable;         // kept, saved and restored for the caller
  TimeValueTable losstable;          // loss rate over time
  TimeValueTable elevationtable;     // water-surface elevation over volume
  TimeValueTable releasetable;       // scheduled gate release over time
  TimeValueTable gatecapacitytable;  // largest gate release over elevation or discharge depth
  TimeValueTable lowerrulecurve;     // lower target volume over time
  TimeValueTable upperrulecurve;     // upper target volume over time
};

// An outflow rate at time t for sub-step h and storage v.
using ReservoirRateFunction = double (*)(double t, double h, double v, const ReservoirContext& context);

double zeroreturn(double t, double h, double v, const ReservoirContext& context);
double losstvtable(double t, double h, double v, const ReservoirContext& context);
double gatetvtable(double t, double h, double v, const ReservoirContext& context);
double gaterulecurve(double t, double h, double v, const ReservoirContext& context);
double spillwayvol2elev(double t, double h, double v, const ReservoirContext& context);

// Every number to 0 and every table destroyed.
void destroy(ReservoirContext& context);
void setinflowrate(ReservoirContext& context, double rate);
// With a discharge node, dischargedepth = depths(dischargenode) (+ offset); a node beyond
// the depths given stops the run.
void setgatedischargedepth(ReservoirContext& context, std::span<const double> depths,
                           std::optional<double> offset = std::nullopt);
// The rate function of an option code: loss 0 or 1, gate 0, 1 or 3, spillway 0 or 2; any
// other code stops the run.
void setlosscallback(std::int32_t option, ReservoirRateFunction& f);
void setgatecallback(std::int32_t option, ReservoirRateFunction& f);
void setspillwaycallback(std::int32_t option, ReservoirRateFunction& f);

// The storage derivative at one instant and its parts, each mechanism seeing the storage
// the ones before it left.
void reservoirspillwayfunc(double t, double h, double v, const ReservoirContext& context, ReservoirRateFunction loss,
                           ReservoirRateFunction gate, ReservoirRateFunction spillway, double& dvdt, double& qloss,
                           double& qspill, double& qgate, double& qover);
// One step from t0 to t1 from storage v0: the end storage, its mean rate of change and the
// step-averaged outflows (negative: out of the reservoir). A step of zero length changes
// nothing; a negative or non-numeric one stops the run.
void reservoirspillwayupdate(double t0, double t1, double v0, const ReservoirContext& context,
                             ReservoirRateFunction loss, ReservoirRateFunction gate, ReservoirRateFunction spillway,
                             double& vend, double& rate, double& lossrate, double& spillrate, double& gaterate,
                             double& overflowrate);

void serialize(const ReservoirContext& context, int unit);
void deserialize(ReservoirContext& context, int unit);

}  // namespace kelpra
