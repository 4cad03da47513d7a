#include "tracing/RayAiming.h"

#include <cmath>
#include <limits>
#include <vector>

#include "foundation/linear/VKInterval.h"
#include "foundation/minimise/Functor.h"
#include "foundation/minimise/LeastSquaresFunctor.h"
#include "foundation/minimise/LevenbergMarquardt.h"
#include "foundation/minimise/NelderMead.h"
#include "foundation/minimise/VKMath.h"
#include "lens/Aperture.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {

using foundation::SplineInterpolator;
using foundation::VKSeries;
using foundation::XY;
using foundation::XYZ;

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kTableSamples = 100;

bool isInfinite(double thickness) { return !(std::abs(thickness) < std::numeric_limits<double>::infinity()); }

// Where a traced ray crossed the stop, in the stop's own frame: pupil coordinates are
// measured from the stop's centre even when the stop is decentred or tilted.
XY stopPoint(const lens::Surface* stop, const Ray& ray) {
  const XYZ q = stop ? stop->transform().transformFromGlobal(ray.position()) : ray.position();
  return {q.x, q.y};
}

// Traces a single ray to the stop as aiming does: exact, without the turners' validation.
void traceToStop(lens::Lens& lens, Ray& ray, bool checkApertures) {
  traceRay(lens, ray, lens.stopSurface().get(), TraceOptions{false, checkApertures, false, true});
}

std::optional<SplineInterpolator> splineOf(const std::shared_ptr<platform::Object>& table) {
  if (auto t = std::dynamic_pointer_cast<RayAimingTable>(table)) return t->spline();
  return std::nullopt;
}

std::shared_ptr<platform::Object> tableOf(const std::vector<double>& x, const std::vector<double>& y, bool lowerFlat,
                                          bool extrapolates) {
  SplineInterpolator spline = SplineInterpolator::splineInterpolatorForX(x, y);
  if (lowerFlat) spline.setLowerDerivative(0);
  spline.setAllowsExtrapolation(extrapolates);
  spline.generateY2Series();  // readers copy the spline; the cache travels with it
  return platform::makeObject<RayAimingTable>(std::move(spline));
}

// The samples of one table build: fraction, chief start (y, z) and direction (y, z).
struct TableSamples {
  std::vector<double> fraction, qy, qz, py, pz;
  void append(double f, const XYZ& q, const XYZ& d) {
    fraction.push_back(f);
    qy.push_back(q.y);
    qz.push_back(q.z);
    py.push_back(d.y);
    pz.push_back(d.z);
  }
};

// Finds the root of `evaluate` near `interval` to `tolerance`; none when no sign change
// turns up.
template <class F>
std::optional<double> chiefRoot(F&& evaluate, const foundation::VKInterval& interval, double tolerance) {
  const foundation::Functor functor([&](double x) { return evaluate(x); });
  const std::optional<foundation::VKInterval> bracket =
      foundation::VKMath::findIntervalContainingRootOfFunctor(functor, interval, 42);
  if (!bracket) return std::nullopt;
  if (bracket->min() == bracket->max()) return bracket->min();
  const std::optional<foundation::VKInterval> isolated =
      foundation::VKMath::isolateRootOfFunctor(functor, *bracket, tolerance);
  const foundation::VKInterval& found = isolated ? *isolated : *bracket;
  // A ray that never reaches the stop answers NaN, which the sign tests may take for a
  // sign change: a root next to such a ray is a boundary of the traceable region.
  if (std::isnan(evaluate(found.min())) || std::isnan(evaluate(found.max()))) return std::nullopt;
  return (found.min() + found.max()) / 2;
}

// Stores the tables built so far. A sample whose root could not be bracketed ends the
// table there (fields beyond it are aimed from the extrapolated table and then adjusted)
// and says so: a silent root of 0 would aim every larger field at the axis.
void storeTables(lens::Lens& lens, const TableSamples& s, bool angleTables, int failedSample) {
  auto& state = lens.rayAiming();
  state.interpolatorQY = tableOf(s.fraction, s.qy, false, angleTables);
  state.interpolatorQZ = tableOf(s.fraction, s.qz, true, true);
  state.interpolatorPY = tableOf(s.fraction, s.py, false, angleTables);
  state.interpolatorPZ = tableOf(s.fraction, s.pz, true, true);
  if (failedSample > 0)
    lens.setWarningReSystemGeneration(platform::format(
        "Ray aiming table ends at field fraction %g: no chief ray found for fraction %g",
        s.fraction.back(), static_cast<double>(failedSample) / kTableSamples));
}

double pupilScale(double x, double y) {
  const double s = std::max(std::abs(x), std::abs(y));
  return s > 0 ? s : 1.0;
}

}  // namespace

XYZ chiefRayDirectionForAngle(double angle) { return {0, std::sin(angle), std::cos(angle)}; }

// --- Stop extents --------------------------------------------------------------------------------------

void determineStopExtents(lens::Lens& lens) {
  auto& state = lens.rayAiming();
  const std::shared_ptr<lens::Surface> stop = lens.stopSurface();
  if (lens.renormalizePupilCoordinatesByStopAperture() && stop && stop->apertureObject()) {
    const lens::Aperture& aperture = *stop->apertureObject();
    state.yStopPlus = aperture.yRadius();
    state.yStopMinus = -aperture.yRadius();
    state.xStopPlus = aperture.xRadius();
    state.xStopMinus = -aperture.xRadius();
    return;
  }
  struct Probe {
    XY p;
    const char* name;
    double* extent;
    bool useX;
  };
  const Probe probes[] = {{{0, 1}, "P=(0,1)", &state.yStopPlus, false},
                          {{0, -1}, "P=(0,-1)", &state.yStopMinus, false},
                          {{1, 0}, "P=(1,0)", &state.xStopPlus, true},
                          {{-1, 0}, "P=(-1,0)", &state.xStopMinus, true}};
  for (const Probe& probe : probes) {
    // Placed paraxially: these rays define the extents the aimed rays are scaled by.
    std::optional<Ray> ray = rayForH(lens, {0, 0}, probe.p, nullptr, true);
    if (!ray) {
      if (probe.extent == &state.yStopPlus) {
        lens.setWarningReSystemGeneration(std::string("Ray H=(0,0) P=(0,1) can not be determined"));
        return;
      }
      continue;
    }
    traceToStop(lens, *ray, false);
    if (platform::currentThreadIsCancelled()) return;
    if (!ray->isAlive()) {
      lens.setWarningReSystemGeneration(platform::format("Ray H=(0,0) %s fails to pass through lens", probe.name));
      if (probe.extent == &state.yStopPlus && lens.useRayAiming()) platform::log("Disabling ray aiming");
      lens.setUseRayAiming(false);
      return;
    }
    const XY q = stopPoint(stop.get(), *ray);
    *probe.extent = probe.useX ? q.x : q.y;
  }
}

// --- Tables ----------------------------------------------------------------------------------------------

void rayAimingSetup(lens::Lens& lens) {
  auto& state = lens.rayAiming();
  state.interpolatorQY = state.interpolatorQZ = state.interpolatorPY = state.interpolatorPZ = nullptr;
  determineStopExtents(lens);
  if (!lens.useRayAiming()) return;
  const std::string& type = lens.fieldType();
  if (type == "Angle") {
    rayAimingSetupForMaximumAngle(lens, maxRadialField(lens) * kRadiansPerDegree);
  } else if (type == "Object height") {
    rayAimingSetupForMaximumHeight(lens, maxRadialField(lens));
  } else if (type == "Image height") {
    const auto object = lens.objectSurface();
    const platform::Value f = lens.paraxialData().get("focalLength");
    const platform::Value m = lens.paraxialData().get("magnification");
    if (object && isInfinite(object->thickness()))
      rayAimingSetupForMaximumAngle(lens, std::abs(std::atan(maxRadialField(lens) / (f.isNil() ? NAN : f.asDouble()))));
    else
      rayAimingSetupForMaximumHeight(lens, std::abs(maxRadialField(lens) / (m.isNil() ? NAN : m.asDouble())));
  } else {
    lens.setWarningReSystemGeneration(platform::format("Unimplemented field type %s", type.c_str()));
  }
  state.isSetup = true;
}

void rayAimingSetupForMaximumAngle(lens::Lens& lens, double maximumAngle) {
  lens.rayAiming().maximumField = maximumAngle;
  if (maximumAngle == 0) return;
  const double n = objectSpaceIndexOfRefraction(lens);
  const std::shared_ptr<lens::Surface> system = lens.systemSurface();
  const lens::Surface* stop = lens.stopSurface().get();
  TableSamples samples;
  samples.append(0, {0, 0, 0}, {0, 0, 1});

  // The chief ray of a fixed direction, started on the system surface at height y: its
  // height at the stop.
  XYZ direction{0, 0, 1}, position{0, 0, 0};
  auto evaluate = [&](double y) {
    position = {0, y, system ? system->sagAtRadius(y) : 0.0};
    Ray ray(position, direction, n);
    traceToStop(lens, ray, false);
    return ray.isAlive() ? stopPoint(stop, ray).y : std::numeric_limits<double>::quiet_NaN();
  };
  double previous = 0;
  int failed = 0;
  for (int k = 1; k <= kTableSamples; ++k) {
    const double f = k == kTableSamples ? 1.0 : static_cast<double>(k) / kTableSamples;
    direction = chiefRayDirectionForAngle(f * maximumAngle);
    const std::optional<double> root =
        chiefRoot(evaluate, {previous - 0.005, previous + 0.005}, lens.rayAimingTolerance());
    if (!root) {
      failed = k;
      break;
    }
    evaluate(*root);
    previous = *root;
    samples.append(f, position, direction);
  }
  storeTables(lens, samples, true, failed);
}

void rayAimingSetupForMaximumHeight(lens::Lens& lens, double maximumHeight) {
  lens.rayAiming().maximumField = maximumHeight;
  if (maximumHeight == 0) return;
  const double n = objectSpaceIndexOfRefraction(lens);
  const std::shared_ptr<lens::Surface> object = lens.objectSurface();
  const lens::Surface* stop = lens.stopSurface().get();
  TableSamples samples;
  samples.append(0, {0, 0, 0}, {0, 0, 1});

  // The ray from a fixed object point at angle a to the axis: its height at the stop.
  XYZ origin{0, 0, 0}, direction{0, 0, 1};
  auto evaluate = [&](double a) {
    direction = chiefRayDirectionForAngle(a);
    Ray ray(origin, direction, n);
    traceToStop(lens, ray, false);
    return ray.isAlive() ? stopPoint(stop, ray).y : std::numeric_limits<double>::quiet_NaN();
  };
  int failed = 0;
  for (int k = 1; k <= kTableSamples; ++k) {
    const double f = k == kTableSamples ? 1.0 : static_cast<double>(k) / kTableSamples;
    const double h = f * maximumHeight;
    // The object point lies on the object surface, which sits before the global origin.
    origin = object->transform().transformToGlobal({0, h, object->sagAtRadius(std::abs(h))});
    const std::optional<double> root = chiefRoot(evaluate, {-1e-5, 1e-5}, lens.rayAimingTolerance());
    if (!root) {
      failed = k;
      break;
    }
    evaluate(*root);
    samples.append(f, origin, direction);
  }
  storeTables(lens, samples, false, failed);
}

// --- Aiming one generation call ----------------------------------------------------------------------

RayAimer::RayAimer(lens::Lens& lens)
    : m_lens(lens),
      m_stop(lens.stopSurface().get()),
      m_systemSurface(lens.systemSurface().get()),
      m_checkApertures(lens.checksAperturesDuringRayAdjusting()),
      m_maximumField(lens.rayAiming().maximumField),
      m_objectIndex(objectSpaceIndexOfRefraction(lens)),
      m_xStopPlus(lens.rayAiming().xStopPlus),
      m_yStopPlus(lens.rayAiming().yStopPlus),
      m_qy(splineOf(lens.rayAiming().interpolatorQY)),
      m_qz(splineOf(lens.rayAiming().interpolatorQZ)),
      m_py(splineOf(lens.rayAiming().interpolatorPY)),
      m_pz(splineOf(lens.rayAiming().interpolatorPZ)) {}

XYZ RayAimer::chiefRayPositionForAngleCoordinate(const XY& angles) {
  if (!m_qy || !m_qz || m_maximumField == 0) return {0, 0, 0};
  const double u = angles.x / m_maximumField, v = angles.y / m_maximumField;
  const double rho = std::hypot(u, v);
  const double qy = m_qy->valueAt(rho);
  const double x = rho == 0 ? 0 : u * qy / rho, y = rho == 0 ? 0 : v * qy / rho;
  return {x, y, m_qz->valueAt(rho)};
}

XYZ RayAimer::chiefRayMomentumForHeightCoordinate(const XY& heights) {
  if (!m_py || !m_pz || m_maximumField == 0) return {0, 0, 1};
  const double u = heights.x / m_maximumField, v = heights.y / m_maximumField;
  const double rho = std::hypot(u, v);
  const double py = m_py->valueAt(rho);
  const double x = rho == 0 ? 0 : u * py / rho, y = rho == 0 ? 0 : v * py / rho;
  return {x, y, m_pz->valueAt(rho)};
}

std::optional<VKSeries> RayAimer::residualsOfTrace() {
  m_trial = *m_baseRay;
  traceToStop(m_lens, m_trial, m_checkApertures);
  if (!m_trial.isAlive()) return std::nullopt;
  const XY q = stopPoint(m_stop, m_trial);
  VKSeries r(2);
  r.atPut(0, q.x - m_targetX);
  r.atPut(1, q.y - m_targetY);
  return r;
}

std::optional<VKSeries> RayAimer::adjustPositionOfRayResidualEvaluator(const VKSeries& xy) {
  const double x = xy.at(0), y = xy.at(1);
  const double z = m_systemSurface ? m_systemSurface->sagAtQ({x, y}) : 0.0;
  m_baseRay->setPosition({x, y, z});
  return residualsOfTrace();
}

std::optional<VKSeries> RayAimer::adjustMomentumOfRayResidualEvaluator(const VKSeries& uv) {
  const XYZ& p0 = m_initialMomentum;
  const double u = uv.at(0), v = uv.at(1);
  XYZ p{p0.x + u * m_u.x + v * m_v.x, p0.y + u * m_u.y + v * m_v.y, p0.z + u * m_u.z + v * m_v.z};
  const double scale = std::sqrt(p0.x * p0.x + p0.y * p0.y + p0.z * p0.z) / std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
  m_baseRay->setMomentum({p.x * scale, p.y * scale, p.z * scale});
  return residualsOfTrace();
}

template <class Evaluator>
void RayAimer::adjust(Ray& ray, const XY& pupilCoordinate, const VKSeries& start, Evaluator evaluator) {
  m_baseRay = &ray;
  m_targetX = pupilCoordinate.x * m_xStopPlus;
  m_targetY = pupilCoordinate.y * m_yStopPlus;
  // Misses far below what any analysis resolves: 1e-11 of the stop's size.
  const double accepted = 1e-11 * pupilScale(m_xStopPlus, m_yStopPlus);

  foundation::LevenbergMarquardt minimiser;
  minimiser.setConvergenceStandardError(0);
  minimiser.setConvergenceSize(0);
  minimiser.setConvergenceValue(0.5 * accepted * accepted);
  minimiser.setMaxIteration(100);
  const foundation::LeastSquaresFunctor functor([&](const VKSeries& c) { return (this->*evaluator)(c); });
  foundation::LeastSquaresSimplex simplex =
      foundation::NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(start, 1e-5);
  minimiser.minimizeLeastSquaresFunctor(functor, simplex);

  // A run that stalls at rounding level after reaching the target still aimed the ray.
  if (minimiser.converged() || std::sqrt(2 * simplex[0].functionValue()) <= 100 * accepted) {
    if ((this->*evaluator)(simplex[0].coordinate())) {
      m_baseRay = nullptr;
      return;
    }
  } else {
    (this->*evaluator)(start);
  }
  ray.setIsAlive(false);
  m_baseRay = nullptr;
}

void RayAimer::adjustPositionOfRay(Ray& ray, const XY& pupilCoordinate) {
  VKSeries start(2);
  start.atPut(0, ray.x());
  start.atPut(1, ray.y());
  adjust(ray, pupilCoordinate, start, &RayAimer::adjustPositionOfRayResidualEvaluator);
}

void RayAimer::adjustMomentumOfRay(Ray& ray, const XY& pupilCoordinate) {
  const XYZ p = ray.momentum();
  m_initialMomentum = p;
  // Two unit vectors across p, from the coordinate axis least aligned with it.
  XYZ e{1, 0, 0};
  double smallest = std::abs(p.x);
  if (std::abs(p.y) < std::abs(p.x)) e = {0, 1, 0}, smallest = std::abs(p.y);
  if (!(smallest <= std::abs(p.z))) e = {0, 0, 1};
  auto cross = [](const XYZ& a, const XYZ& b) {
    return XYZ{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  auto unit = [](const XYZ& a) {
    const double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return XYZ{a.x / l, a.y / l, a.z / l};
  };
  m_u = unit(cross(e, p));
  m_v = unit(cross(m_u, p));
  adjust(ray, pupilCoordinate, VKSeries(2), &RayAimer::adjustMomentumOfRayResidualEvaluator);
}

}  // namespace orb::tracing
