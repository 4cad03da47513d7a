#include "tracing/RayAiming.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
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

// The options of every aiming trace: exact, without the turners' validation.
TraceOptions aimingTrace(bool checkApertures) { return TraceOptions{false, checkApertures, false, true}; }

// Many chief-ray searches at once, sample k's ray for the unknown x being rayFor(k, x):
// secant steps from (x0, x1) on every sample together, each round one trace of all the
// unsettled ones. NaN where a search did not settle (a ray lost, no progress). Only a
// guess of where chiefRoot's bracket search is to start.
template <class RayFor>
std::vector<double> secantRootsTogether(lens::Lens& lens, std::size_t count, double x0, double x1, double tolerance,
                                       RayFor rayFor) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const lens::Surface* stop = lens.stopSurface().get();
  std::vector<double> a(count, x0), b(count, x1), fa(count, kNaN), fb(count, kNaN), root(count, kNaN);
  std::vector<std::size_t> active, owner;
  std::vector<Ray> rays;
  rays.reserve(2 * count);
  for (std::size_t k = 0; k < count; ++k) {
    rays.push_back(rayFor(k, x0));
    rays.push_back(rayFor(k, x1));
  }
  traceRays(lens, rays, stop, aimingTrace(false));
  auto height = [stop](const Ray& r) { return r.isAlive() ? stopPoint(stop, r).y : kNaN; };
  for (std::size_t k = 0; k < count; ++k) {
    fa[k] = height(rays[2 * k]), fb[k] = height(rays[2 * k + 1]);
    if (std::isfinite(fa[k]) && std::isfinite(fb[k])) active.push_back(k);
  }
  const double settle = 1e-6 * tolerance;
  for (int round = 0; round < 40 && !active.empty(); ++round) {
    rays.clear(), owner.clear();
    for (std::size_t k : active) {
      if (fb[k] == 0) {
        root[k] = b[k];
        continue;
      }
      const double x = b[k] - fb[k] * (b[k] - a[k]) / (fb[k] - fa[k]);
      if (!std::isfinite(x)) continue;
      if (std::abs(x - b[k]) <= settle) {
        root[k] = x;
        continue;
      }
      a[k] = b[k], fa[k] = fb[k], b[k] = x;
      rays.push_back(rayFor(k, x));
      owner.push_back(k);
    }
    if (rays.empty()) break;
    traceRays(lens, rays, stop, aimingTrace(false));
    if (platform::currentThreadIsCancelled()) break;
    active.clear();
    for (std::size_t j = 0; j < rays.size(); ++j) {
      fb[owner[j]] = height(rays[j]);
      if (std::isfinite(fb[owner[j]])) active.push_back(owner[j]);
    }
  }
  return root;
}

// chiefRoot (widen a bracket about its centre by 1.6 its width until the stop height changes
// sign, halve it to `tolerance`, refuse a root next to a lost ray) for many samples in
// step: sample j searches about centres[j] with sample ks[j]'s rays. Every round traces
// the points all unfinished searches need next in one call, so the surfaces are
// prepared once per round rather than once per ray; each search meets the values its
// one-by-one run would, a point's value being kept rather than traced again.
template <class RayFor>
std::vector<std::optional<double>> chiefRootsInStep(lens::Lens& lens, const std::vector<std::size_t>& ks,
                                                    const std::vector<double>& centres, double halfWidth,
                                                    double tolerance, RayFor rayFor) {
  constexpr int kExpansions = 42, kHalvings = 100;
  constexpr double kWidening = 1.6;
  enum class Phase { Start, Expand, Halve, Done };
  struct Search {
    Phase phase = Phase::Start;
    double a = 0, b = 0, fa = 0, fb = 0;  // the current interval
    double A = 0, B = 0, fA = 0, fB = 0;  // the bracket found
    double m = 0;
    int count = 0;  // expansions or halvings so far
    std::optional<double> root;
  };
  auto differInSign = [](double u, double v) { return foundation::signOfDouble(u) != foundation::signOfDouble(v); };
  const lens::Surface* stop = lens.stopSurface().get();
  const std::size_t n = ks.size();
  std::vector<Search> searches(n);
  for (std::size_t j = 0; j < n; ++j) searches[j].a = centres[j] - halfWidth, searches[j].b = centres[j] + halfWidth;

  // The root of a settled interval [a, b] (or of the bracket when halving gave up).
  auto finish = [](Search& s, double lo, double flo, double hi, double fhi) {
    s.phase = Phase::Done;
    if (std::isnan(flo) || std::isnan(fhi)) return;
    s.root = (lo + hi) / 2;
  };
  // The next halving of a bracketed search, or its end.
  auto halveOrFinish = [&](Search& s) {
    if (tolerance > std::fabs(s.b - s.a)) return finish(s, s.a, s.fa, s.b, s.fb);
    s.m = 0.5 * (s.a + s.b);
    if (s.m == s.a || s.m == s.b) return finish(s, s.a, s.fa, s.b, s.fb);
    if (s.count >= kHalvings) return finish(s, s.A, s.fA, s.B, s.fB);
    s.phase = Phase::Halve;
  };
  auto bracketed = [&](Search& s) {
    s.A = s.a, s.B = s.b, s.fA = s.fa, s.fB = s.fb, s.count = 0;
    if (s.fa == 0) return finish(s, s.a, s.fa, s.a, s.fa);
    if (s.fb == 0) return finish(s, s.b, s.fb, s.b, s.fb);
    halveOrFinish(s);
  };

  std::vector<Ray> rays;
  std::vector<std::size_t> owner;
  auto height = [stop](const Ray& r) {
    return r.isAlive() ? stopPoint(stop, r).y : std::numeric_limits<double>::quiet_NaN();
  };
  for (;;) {
    rays.clear(), owner.clear();
    for (std::size_t j = 0; j < n; ++j) {
      const Search& s = searches[j];
      if (s.phase == Phase::Done) continue;
      if (s.phase == Phase::Halve) {
        rays.push_back(rayFor(ks[j], s.m));
      } else {
        rays.push_back(rayFor(ks[j], s.a));
        rays.push_back(rayFor(ks[j], s.b));
      }
      owner.push_back(j);
    }
    if (owner.empty()) break;
    traceRays(lens, rays, stop, aimingTrace(false));
    if (platform::currentThreadIsCancelled()) break;  // what is left ends the table
    std::size_t r = 0;
    for (std::size_t j : owner) {
      Search& s = searches[j];
      if (s.phase == Phase::Halve) {
        const double fm = height(rays[r++]);
        if (differInSign(fm, s.fa))
          s.b = s.m, s.fb = fm;
        else
          s.a = s.m, s.fa = fm;
        ++s.count;
        halveOrFinish(s);
        continue;
      }
      s.fa = height(rays[r++]);
      s.fb = height(rays[r++]);
      if (s.phase == Phase::Start) {
        // A bracket with an end on the root is that end, taken as it is.
        if (s.fa == 0 || s.fb == 0) {
          s.phase = Phase::Done;
          s.root = s.fa == 0 ? s.a : s.b;
          continue;
        }
      }
      if (differInSign(s.fa, s.fb)) {
        bracketed(s);
        continue;
      }
      if (++s.count > kExpansions) {
        s.phase = Phase::Done;
        continue;
      }
      s.phase = Phase::Expand;
      const double d = kWidening * (s.b - s.a);
      s.a -= d;
      s.b += d;
    }
  }
  std::vector<std::optional<double>> roots(n);
  for (std::size_t j = 0; j < n; ++j) roots[j] = searches[j].root;
  return roots;
}

// Two unit vectors across p, from the coordinate axis least aligned with it.
std::pair<XYZ, XYZ> basisAcross(const XYZ& p) {
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
  const XYZ u = unit(cross(e, p));
  return {u, unit(cross(u, p))};
}

// p0 tilted by u along eu and v along ev, its length kept.
XYZ tiltedMomentum(const XYZ& p0, const XYZ& eu, const XYZ& ev, double u, double v) {
  XYZ p{p0.x + u * eu.x + v * ev.x, p0.y + u * eu.y + v * ev.y, p0.z + u * eu.z + v * ev.z};
  const double scale = std::sqrt(p0.x * p0.x + p0.y * p0.y + p0.z * p0.z) / std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
  return {p.x * scale, p.y * scale, p.z * scale};
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
  TableSamples samples;
  samples.append(0, {0, 0, 0}, {0, 0, 1});

  // The chief ray of a fixed direction, started on the system surface at height y: its
  // height at the stop is to be 0.
  auto fraction = [](int k) { return k == kTableSamples ? 1.0 : static_cast<double>(k) / kTableSamples; };
  auto rayFor = [&](std::size_t k, double y) {
    const XYZ d = chiefRayDirectionForAngle(fraction(static_cast<int>(k) + 1) * maximumAngle);
    return Ray(XYZ{0, y, system ? system->sagAtRadius(y) : 0.0}, d, n);
  };
  // Each sample's search starts about the root of the one before, so the samples are
  // searched in step about guesses of those roots (secant steps from the last root
  // found); a sample whose guess proves further than the tolerance from the root found
  // before it starts the next round of searches, from that root.
  const double tolerance = lens.rayAimingTolerance();
  double previous = 0;
  int failed = 0;
  for (int start = 1; start <= kTableSamples && !failed;) {
    std::vector<std::size_t> ks;
    for (int k = start; k <= kTableSamples; ++k) ks.push_back(static_cast<std::size_t>(k - 1));
    std::vector<double> guesses(ks.size(), previous);
    {
      auto rayOfSample = [&](std::size_t j, double y) { return rayFor(ks[j], y); };
      const std::vector<double> roots =
          secantRootsTogether(lens, ks.size(), previous - 0.005, previous + 0.005, tolerance, rayOfSample);
      for (std::size_t j = 1; j < ks.size(); ++j)
        guesses[j] = std::isfinite(roots[j - 1]) ? roots[j - 1] : guesses[j - 1];
    }
    const std::vector<std::optional<double>> roots = chiefRootsInStep(lens, ks, guesses, 0.005, tolerance, rayFor);
    int k = start;
    for (; k <= kTableSamples; ++k) {
      const std::size_t j = static_cast<std::size_t>(k - start);
      if (j > 0 && !(std::abs(guesses[j] - previous) <= tolerance)) break;
      if (!roots[j]) {
        failed = k;
        break;
      }
      previous = *roots[j];
      samples.append(fraction(k), {0, previous, system ? system->sagAtRadius(previous) : 0.0},
                     chiefRayDirectionForAngle(fraction(k) * maximumAngle));
    }
    start = k;
  }
  storeTables(lens, samples, true, failed);
}

void rayAimingSetupForMaximumHeight(lens::Lens& lens, double maximumHeight) {
  lens.rayAiming().maximumField = maximumHeight;
  if (maximumHeight == 0) return;
  const double n = objectSpaceIndexOfRefraction(lens);
  const std::shared_ptr<lens::Surface> object = lens.objectSurface();
  TableSamples samples;
  samples.append(0, {0, 0, 0}, {0, 0, 1});

  // The ray from a fixed object point at angle a to the axis: its height at the stop is
  // to be 0.
  auto fraction = [](int k) { return k == kTableSamples ? 1.0 : static_cast<double>(k) / kTableSamples; };
  // The object point lies on the object surface, which sits before the global origin.
  auto objectPoint = [&](int k) {
    const double h = fraction(k) * maximumHeight;
    return object->transform().transformToGlobal({0, h, object->sagAtRadius(std::abs(h))});
  };
  std::vector<XYZ> points(kTableSamples);
  for (int k = 1; k <= kTableSamples; ++k) points[k - 1] = objectPoint(k);
  std::vector<std::size_t> ks(kTableSamples);
  for (int k = 0; k < kTableSamples; ++k) ks[static_cast<std::size_t>(k)] = static_cast<std::size_t>(k);
  // Every sample searches about direction 0: all of them in step.
  const std::vector<std::optional<double>> roots =
      chiefRootsInStep(lens, ks, std::vector<double>(kTableSamples, 0.0), 1e-5, lens.rayAimingTolerance(),
                       [&](std::size_t k, double a) { return Ray(points[k], chiefRayDirectionForAngle(a), n); });
  int failed = 0;
  for (int k = 1; k <= kTableSamples; ++k) {
    const std::optional<double>& root = roots[static_cast<std::size_t>(k - 1)];
    if (!root) {
      failed = k;
      break;
    }
    samples.append(fraction(k), points[static_cast<std::size_t>(k - 1)], chiefRayDirectionForAngle(*root));
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
  m_baseRay->setMomentum(tiltedMomentum(m_initialMomentum, m_u, m_v, uv.at(0), uv.at(1)));
  return residualsOfTrace();
}

template <class Evaluator>
void RayAimer::adjust(Ray& ray, const XY& pupilCoordinate, const VKSeries& start, Evaluator evaluator) {
  m_baseRay = &ray;
  m_targetX = pupilCoordinate.x * m_xStopPlus;
  m_targetY = pupilCoordinate.y * m_yStopPlus;
  const double accepted = acceptedMiss();

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
  m_initialMomentum = ray.momentum();
  std::tie(m_u, m_v) = basisAcross(m_initialMomentum);
  adjust(ray, pupilCoordinate, VKSeries(2), &RayAimer::adjustMomentumOfRayResidualEvaluator);
}

double RayAimer::acceptedMiss() const {
  // Misses far below what any analysis resolves: 1e-11 of the stop's size.
  return 1e-11 * pupilScale(m_xStopPlus, m_yStopPlus);
}

namespace {

// Rows of a column loop from which it is split over the cores.
constexpr std::size_t kRowsInParallelFrom = 16384;
// Fans from which a sample is aimed first and the rest start from a fit to it; below,
// the sample would cost about what it saves.
constexpr std::size_t kPredictFrom = 4096;
constexpr std::size_t kSampleCount = 400;
constexpr int kFitDegree = 10;
// Trial rows traced at once: about 9 MB of columns, which stay in cache between being
// written, traced and read. Even, so that a ray's two neighbours share a chunk.
constexpr std::size_t kTrialChunk = std::size_t{1} << 17;

template <class F>
void forRows(std::size_t n, const F& f) {
  if (n < kRowsInParallelFrom) return f(std::size_t{0}, n);
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n, 4096),
                    [&](const tbb::blocked_range<std::size_t>& r) { f(r.begin(), r.end()); });
}

// Writes the aimed rows back into the bundle: a settled row takes its placement (the
// start position or the start momentum, as `positions` says); a row the rounds did not
// settle is aimed alone by `aimOne` and dies in the bundle if it died there.
template <class Place, class AimOne>
void writeBackRows(RayBundle& b, std::size_t begin, std::span<const XY> pupilCoordinates, const std::vector<XY>& c,
                   const std::vector<std::uint8_t>& settled, const Place& place, bool positions,
                   const AimOne& aimOne) {
  const std::size_t n = pupilCoordinates.size();
  forRows(n, [&](std::size_t lo, std::size_t hi) {
    for (std::size_t i = lo; i < hi; ++i) {
      if (!settled[i]) continue;
      const std::size_t r = begin + i;
      XYZ q, p;
      place(i, c[i], q, p);
      if (positions)
        b.qx[r] = q.x, b.qy[r] = q.y, b.qz[r] = q.z;
      else
        b.px[r] = p.x, b.py[r] = p.y, b.pz[r] = p.z;
    }
  });
  for (std::size_t i = 0; i < n; ++i) {
    if (settled[i]) continue;
    const std::size_t r = begin + i;
    Ray ray = b.ray(r);
    aimOne(ray, pupilCoordinates[i]);
    if (positions)
      b.qx[r] = ray.x(), b.qy[r] = ray.y(), b.qz[r] = ray.z();
    else
      b.px[r] = ray.px(), b.py[r] = ray.py(), b.pz[r] = ray.pz();
    if (b.alive[r] && !ray.isAlive()) b.alive[r] = 0, b.causeOfDeath[r] = ray.tags().causeOfDeath;
  }
}

XY stopPointOfRow(const lens::Surface* stop, const RayBundle& b, std::size_t j) {
  const XYZ g{b.qx[j], b.qy[j], b.qz[j]};
  const XYZ q = stop ? stop->transform().transformFromGlobal(g) : g;
  return {q.x, q.y};
}

// Whether rows [begin, begin + n) all start from the first one's position and momentum
// (one field's rays before aiming), so that their aimed coordinates are one smooth
// function of the pupil coordinate.
bool shareOneStart(const RayBundle& b, std::size_t begin, std::size_t n) {
  for (std::size_t i = begin + 1; i < begin + n; ++i)
    if (b.qx[i] != b.qx[begin] || b.qy[i] != b.qy[begin] || b.qz[i] != b.qz[begin] || b.px[i] != b.px[begin] ||
        b.py[i] != b.py[begin] || b.pz[i] != b.pz[begin] || b.wave[i] != b.wave[begin])
      return false;
  return true;
}

// Aimed coordinates as a polynomial of the pupil coordinate: Chebyshev products
// T_a(x) T_b(y), a + b ≤ degree, over the box of the pupil coordinates, fitted by least
// squares (Householder QR). Only a start for Newton steps, so a poor fit costs rounds,
// never accuracy.
class PupilMapFit {
 public:
  bool fit(std::span<const XY> pupil, std::span<const XY> values, XY lo, XY hi, int degree) {
    m_lo = lo, m_hi = hi;
    const int dx = hi.x > lo.x ? degree : 0, dy = hi.y > lo.y ? degree : 0;
    m_terms.clear();
    for (int a = 0; a <= dx; ++a)
      for (int b = 0; a + b <= degree && b <= dy; ++b) m_terms.emplace_back(a, b);
    const std::size_t rows = pupil.size(), cols = m_terms.size();
    if (rows < 2 * cols) return false;
    std::vector<double> A(rows * cols), rhs(rows * 2);  // column-major A
    std::vector<double> tx(degree + 1), ty(degree + 1);
    for (std::size_t r = 0; r < rows; ++r) {
      basis(pupil[r], tx, ty);
      for (std::size_t k = 0; k < cols; ++k) A[k * rows + r] = tx[m_terms[k].first] * ty[m_terms[k].second];
      rhs[r] = values[r].x, rhs[rows + r] = values[r].y;
    }
    for (std::size_t k = 0; k < cols; ++k) {
      double* a = &A[k * rows];
      double norm = 0;
      for (std::size_t r = k; r < rows; ++r) norm += a[r] * a[r];
      norm = std::sqrt(norm);
      if (!(norm > 0)) return false;
      const double alpha = a[k] > 0 ? -norm : norm;
      a[k] -= alpha;  // a[k..] is now the reflector v, |v|² = 2 norm (norm + |a_k|)
      const double vv = 2 * norm * (norm + std::abs(a[k] + alpha));
      auto reflect = [&](double* y) {
        double d = 0;
        for (std::size_t r = k; r < rows; ++r) d += a[r] * y[r];
        d = 2 * d / vv;
        for (std::size_t r = k; r < rows; ++r) y[r] -= d * a[r];
      };
      for (std::size_t j = k + 1; j < cols; ++j) reflect(&A[j * rows]);
      reflect(&rhs[0]);
      reflect(&rhs[rows]);
      a[k] = alpha;  // R's diagonal
    }
    m_cx.assign(cols, 0), m_cy.assign(cols, 0);
    for (std::size_t k = cols; k-- > 0;) {
      double sx = rhs[k], sy = rhs[rows + k];
      for (std::size_t j = k + 1; j < cols; ++j) sx -= A[j * rows + k] * m_cx[j], sy -= A[j * rows + k] * m_cy[j];
      m_cx[k] = sx / A[k * rows + k], m_cy[k] = sy / A[k * rows + k];
      if (!std::isfinite(m_cx[k]) || !std::isfinite(m_cy[k])) return false;
    }
    return true;
  }

  XY at(const XY& p) const {
    double tx[kFitDegree + 1], ty[kFitDegree + 1];
    basis(p, tx, ty);
    XY v{0, 0};
    for (std::size_t k = 0; k < m_terms.size(); ++k) {
      const double t = tx[m_terms[k].first] * ty[m_terms[k].second];
      v.x += m_cx[k] * t, v.y += m_cy[k] * t;
    }
    return v;
  }

 private:
  template <class T>
  void basis(const XY& p, T& tx, T& ty) const {
    auto fill = [](double u, T& t) {
      t[0] = 1;
      if (kFitDegree >= 1) t[1] = u;
      for (int k = 2; k <= kFitDegree; ++k) t[k] = 2 * u * t[k - 1] - t[k - 2];
    };
    auto unit = [](double v, double lo, double hi) { return hi > lo ? (2 * v - lo - hi) / (hi - lo) : 0.0; };
    fill(unit(p.x, m_lo.x, m_hi.x), tx);
    fill(unit(p.y, m_lo.y, m_hi.y), ty);
  }

  XY m_lo{0, 0}, m_hi{0, 0};
  std::vector<std::pair<int, int>> m_terms;
  std::vector<double> m_cx, m_cy;
};

}  // namespace

template <class Place>
void RayAimer::newtonRounds(const RayBundle& rows, std::size_t begin, std::span<const XY> pupilCoordinates,
                            std::span<const std::size_t> which, std::vector<XY>& c, std::vector<std::uint8_t>& settled,
                            double step, const Place& place) {
  const double accepted = acceptedMiss();
  // Plain data, set up in parallel: a million searches are 50 MB.
  struct Search {
    XY best;  // the best coordinates tried so far (c[i] holds the ones to try next)
    double bestMiss;
    int halvings;  // backtracks since the last improvement
    bool active;
    bool stepping;  // this round's point improved and is to be differentiated
    XY q;           // and its stop point and miss
    double rx, ry;
  };
  detail::Column<Search> searches(which.size());
  forRows(which.size(), [&](std::size_t lo, std::size_t hi) {
    for (std::size_t k = lo; k < hi; ++k) {
      Search& s = searches[k];
      s.best = {0, 0}, s.bestMiss = std::numeric_limits<double>::infinity(), s.halvings = 0;
      s.active = rows.alive[begin + which[k]] != 0, s.stepping = false;
      s.q = {0, 0}, s.rx = s.ry = 0;
    }
  });
  std::vector<std::size_t> active, stepping;  // positions in `which`
  for (std::size_t k = 0; k < which.size(); ++k)
    if (searches[k].active) active.push_back(k);
  // A step that loses the ray or misses by more than the best point goes half way back.
  auto backtrack = [](Search& s, XY& ci) {
    if (!std::isfinite(s.bestMiss) || ++s.halvings > 40) {
      s.active = false;
      return;
    }
    ci = {s.best.x + 0.5 * (ci.x - s.best.x), s.best.y + 0.5 * (ci.y - s.best.y)};
  };
  // Traces m trial rows, trial j starting as row begin + i placed at coordinates cj for
  // (i, cj) = trial(j), in chunks that stay in cache, each chunk's rows then handed to
  // evaluate(j, row of the chunk); false when the thread was cancelled meanwhile.
  auto traceTrials = [&](std::size_t m, const auto& trial, const auto& evaluate) {
    RayBundle& t = m_trials;
    t.waves = rows.waves;
    for (std::size_t first = 0; first < m; first += kTrialChunk) {
      const std::size_t count = std::min(kTrialChunk, m - first);
      t.resizeForOverwrite(count);
      forRows(count, [&](std::size_t lo, std::size_t hi) {
        for (std::size_t j = lo; j < hi; ++j) {
          const auto [i, cj] = trial(first + j);
          const std::size_t r = begin + i;
          XYZ q, p;
          place(i, cj, q, p);
          t.qx[j] = q.x, t.qy[j] = q.y, t.qz[j] = q.z, t.px[j] = p.x, t.py[j] = p.y, t.pz[j] = p.z;
          t.opticalPathLength[j] = 0;
          t.alive[j] = 1, t.reflected[j] = rows.reflected[r], t.indexIsNegative[j] = rows.indexIsNegative[r];
          t.wave[j] = rows.wave[r], t.field[j] = 0xffff;
          t.causeOfDeath[j] = nullptr, t.diedAt[j] = RayBundle::kNoSurface;
        }
      });
      TraceOptions options = aimingTrace(m_checkApertures);
      options.parallelFromRays = kRowsInParallelFrom;
      traceRays(m_lens, t, m_stop, options);
      if (platform::currentThreadIsCancelled()) return false;
      forRows(count, [&](std::size_t lo, std::size_t hi) {
        for (std::size_t j = lo; j < hi; ++j) evaluate(first + j, j);
      });
    }
    return true;
  };
  // Each round traces the points to try, then the two finite-difference neighbours of
  // those that improved without reaching the target: the same steps as tracing all
  // three for every ray, without the neighbours of points that end their search.
  for (int round = 0; round < 60 && !active.empty(); ++round) {
    const bool tracedPoints = traceTrials(
        active.size(), [&](std::size_t j) { return std::pair{which[active[j]], c[which[active[j]]]}; },
        [&](std::size_t j, std::size_t row) {
          Search& s = searches[active[j]];
          const std::size_t i = which[active[j]];
          s.stepping = false;
          if (!m_trials.alive[row]) return backtrack(s, c[i]);
          const XY target{pupilCoordinates[i].x * m_xStopPlus, pupilCoordinates[i].y * m_yStopPlus};
          const XY q = stopPointOfRow(m_stop, m_trials, row);
          const double rx = q.x - target.x, ry = q.y - target.y, miss = std::hypot(rx, ry);
          if (!(miss < s.bestMiss)) return backtrack(s, c[i]);
          s.best = c[i], s.bestMiss = miss, s.halvings = 0;
          if (miss <= accepted) {
            s.active = false;
            return;
          }
          s.q = q, s.rx = rx, s.ry = ry, s.stepping = true;
        });
    if (!tracedPoints) break;
    stepping.clear();
    for (std::size_t k : active)
      if (searches[k].stepping) stepping.push_back(k);
    // Trial 2j is ray stepping[j] moved along its first coordinate, 2j + 1 along the second.
    const bool tracedNeighbours = traceTrials(
        2 * stepping.size(),
        [&](std::size_t j) {
          const std::size_t i = which[stepping[j / 2]];
          return std::pair{i, j % 2 == 0 ? XY{c[i].x + step, c[i].y} : XY{c[i].x, c[i].y + step}};
        },
        [&](std::size_t j, std::size_t row) {
          if (j % 2 != 0) return;  // the pair is met at its first row (chunks hold whole pairs)
          Search& s = searches[stepping[j / 2]];
          XY& ci = c[which[stepping[j / 2]]];
          if (!m_trials.alive[row] || !m_trials.alive[row + 1]) {
            s.active = false;
            return;
          }
          const XY& q = s.q;
          const XY qu = stopPointOfRow(m_stop, m_trials, row), qv = stopPointOfRow(m_stop, m_trials, row + 1);
          const double j00 = (qu.x - q.x) / step, j10 = (qu.y - q.y) / step;
          const double j01 = (qv.x - q.x) / step, j11 = (qv.y - q.y) / step;
          const double det = j00 * j11 - j01 * j10;
          if (!(std::abs(det) > 0) || !std::isfinite(det)) {
            s.active = false;
            return;
          }
          ci = {ci.x - (j11 * s.rx - j01 * s.ry) / det, ci.y - (j00 * s.ry - j10 * s.rx) / det};
        });
    if (!tracedNeighbours) break;
    std::erase_if(active, [&](std::size_t k) { return !searches[k].active; });
  }
  // As a one-ray search that stalls at rounding level after reaching the target.
  forRows(which.size(), [&](std::size_t lo, std::size_t hi) {
    for (std::size_t k = lo; k < hi; ++k) {
      if (!(searches[k].bestMiss <= 100 * accepted)) continue;
      c[which[k]] = searches[k].best;
      settled[which[k]] = 1;
    }
  });
}

template <class Place>
std::vector<std::uint8_t> RayAimer::searchTogether(const RayBundle& rows, std::size_t begin,
                                                   std::span<const XY> pupilCoordinates, std::vector<XY>& c,
                                                   double step, const Place& place) {
  const std::size_t n = pupilCoordinates.size();
  std::vector<std::uint8_t> settled(n, 0);
  std::vector<std::size_t> which;
  which.reserve(n);
  if (n < kPredictFrom || !shareOneStart(rows, begin, n)) {
    for (std::size_t i = 0; i < n; ++i) which.push_back(i);
    newtonRounds(rows, begin, pupilCoordinates, which, c, settled, step, place);
    return settled;
  }
  // A large fan from one start: aim an even sample of it from that start, fit the aimed
  // coordinates over the pupil, and start the others from the fit. One that the fit's
  // start does not settle is searched again from the common start, as on its own.
  const std::vector<XY> starts = c;
  std::vector<std::uint8_t> isSample(n, 0);
  for (std::size_t k = 0; k < kSampleCount; ++k) {
    const std::size_t i = k * n / kSampleCount;
    if (!isSample[i]) isSample[i] = 1, which.push_back(i);
  }
  newtonRounds(rows, begin, pupilCoordinates, which, c, settled, step, place);
  if (platform::currentThreadIsCancelled()) return settled;
  XY lo{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  XY hi{-lo.x, -lo.y};
  for (const XY& p : pupilCoordinates) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
  }
  std::vector<XY> samplePupil, sampleValue;
  for (std::size_t i : which)
    if (settled[i]) samplePupil.push_back(pupilCoordinates[i]), sampleValue.push_back(c[i]);
  PupilMapFit fit;
  const bool fitted = std::isfinite(lo.x) && std::isfinite(hi.x) && std::isfinite(lo.y) && std::isfinite(hi.y) &&
                      fit.fit(samplePupil, sampleValue, lo, hi, kFitDegree);
  which.clear();
  for (std::size_t i = 0; i < n; ++i)
    if (!isSample[i]) which.push_back(i);
  if (fitted) {
    forRows(which.size(), [&](std::size_t a, std::size_t b) {
      for (std::size_t k = a; k < b; ++k) {
        const XY v = fit.at(pupilCoordinates[which[k]]);
        if (std::isfinite(v.x) && std::isfinite(v.y)) c[which[k]] = v;
      }
    });
    newtonRounds(rows, begin, pupilCoordinates, which, c, settled, step, place);
    if (platform::currentThreadIsCancelled()) return settled;
    std::erase_if(which, [&](std::size_t i) { return settled[i] != 0; });
    for (std::size_t i : which) c[i] = starts[i];
  }
  newtonRounds(rows, begin, pupilCoordinates, which, c, settled, step, place);
  return settled;
}

void RayAimer::adjustPositionsOfRows(RayBundle& b, std::size_t begin, std::span<const XY> pupilCoordinates) {
  const std::size_t n = pupilCoordinates.size();
  std::vector<XY> c(n);
  for (std::size_t i = 0; i < n; ++i) c[i] = {b.qx[begin + i], b.qy[begin + i]};
  auto place = [this, &b, begin](std::size_t i, const XY& ci, XYZ& q, XYZ& p) {
    const std::size_t r = begin + i;
    q = {ci.x, ci.y, m_systemSurface ? m_systemSurface->sagAtQ({ci.x, ci.y}) : 0.0};
    p = {b.px[r], b.py[r], b.pz[r]};
  };
  // Differences over 1e-7 of the stop's size: far above rounding, far below curvature.
  const std::vector<std::uint8_t> settled =
      searchTogether(b, begin, pupilCoordinates, c, 1e-7 * pupilScale(m_xStopPlus, m_yStopPlus), place);
  if (platform::currentThreadIsCancelled()) return;  // the caller throws the rows away
  writeBackRows(b, begin, pupilCoordinates, c, settled, place, true,
                [this](Ray& ray, const XY& pupil) { adjustPositionOfRay(ray, pupil); });
}

void RayAimer::adjustMomentaOfRows(RayBundle& b, std::size_t begin, std::span<const XY> pupilCoordinates) {
  const std::size_t n = pupilCoordinates.size();
  std::vector<XY> c(n, XY{0, 0});
  auto place = [&b, begin](std::size_t i, const XY& ci, XYZ& q, XYZ& p) {
    const std::size_t r = begin + i;
    const XYZ p0{b.px[r], b.py[r], b.pz[r]};
    const auto [u, v] = basisAcross(p0);
    q = {b.qx[r], b.qy[r], b.qz[r]};
    p = tiltedMomentum(p0, u, v, ci.x, ci.y);
  };
  const std::vector<std::uint8_t> settled =
      searchTogether(b, begin, pupilCoordinates, c, 1e-7 * std::abs(m_objectIndex), place);
  if (platform::currentThreadIsCancelled()) return;
  // Each row's momentum is read by its own placement before it is written.
  writeBackRows(b, begin, pupilCoordinates, c, settled, place, false,
                [this](Ray& ray, const XY& pupil) { adjustMomentumOfRay(ray, pupil); });
}

void RayAimer::adjustPositionsOfRays(std::span<Ray> rays, std::span<const XY> pupilCoordinates) {
  const std::size_t n = std::min(rays.size(), pupilCoordinates.size());
  RayBundle rows;
  rows.reserve(n);
  for (std::size_t i = 0; i < n; ++i) rows.append(rays[i]);
  std::vector<XY> c(n);
  for (std::size_t i = 0; i < n; ++i) c[i] = {rays[i].x(), rays[i].y()};
  auto place = [this, &rows](std::size_t i, const XY& ci, XYZ& q, XYZ& p) {
    q = {ci.x, ci.y, m_systemSurface ? m_systemSurface->sagAtQ({ci.x, ci.y}) : 0.0};
    p = {rows.px[i], rows.py[i], rows.pz[i]};
  };
  const std::vector<std::uint8_t> settled = searchTogether(rows, 0, pupilCoordinates.first(n), c,
                                                           1e-7 * pupilScale(m_xStopPlus, m_yStopPlus), place);
  if (platform::currentThreadIsCancelled()) return;
  for (std::size_t i = 0; i < n; ++i) {
    if (!settled[i]) {
      adjustPositionOfRay(rays[i], pupilCoordinates[i]);
      continue;
    }
    XYZ q, p;
    place(i, c[i], q, p);
    rays[i].setPosition(q);
  }
}

void RayAimer::adjustMomentaOfRays(std::span<Ray> rays, std::span<const XY> pupilCoordinates) {
  const std::size_t n = std::min(rays.size(), pupilCoordinates.size());
  RayBundle rows;
  rows.reserve(n);
  for (std::size_t i = 0; i < n; ++i) rows.append(rays[i]);
  std::vector<XY> c(n, XY{0, 0});
  auto place = [&rows](std::size_t i, const XY& ci, XYZ& q, XYZ& p) {
    const XYZ p0{rows.px[i], rows.py[i], rows.pz[i]};
    const auto [u, v] = basisAcross(p0);
    q = {rows.qx[i], rows.qy[i], rows.qz[i]};
    p = tiltedMomentum(p0, u, v, ci.x, ci.y);
  };
  const std::vector<std::uint8_t> settled =
      searchTogether(rows, 0, pupilCoordinates.first(n), c, 1e-7 * std::abs(m_objectIndex), place);
  if (platform::currentThreadIsCancelled()) return;
  for (std::size_t i = 0; i < n; ++i) {
    if (!settled[i]) {
      adjustMomentumOfRay(rays[i], pupilCoordinates[i]);
      continue;
    }
    XYZ q, p;
    place(i, c[i], q, p);
    rays[i].setMomentum(p);
  }
}

}  // namespace orb::tracing
