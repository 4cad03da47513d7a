#include "tracing/RayGeneration.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/Pusher.h"
#include "tracing/RayAiming.h"

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

bool isInfinite(double thickness) { return !(std::abs(thickness) < std::numeric_limits<double>::infinity()); }

double numberIn(const platform::Dictionary& d, const char* key) {
  const platform::Value v = d.get(key);
  return v.isNil() ? std::numeric_limits<double>::quiet_NaN() : v.asDouble();
}

double paraxial(const lens::Lens& lens, const char* key) { return numberIn(lens.paraxialData(), key); }

struct StopMatrix {
  double A, B;
};

StopMatrix stopMatrix(const lens::Lens& lens) {
  return {numberIn(lens.stopTransferMatrix(), "A"), numberIn(lens.stopTransferMatrix(), "B")};
}

// The paraxial chief ray's start at global z = 0 for direction tangents t: the height whose
// stop height A·y + B·t is zero. A stop imaged to infinity (A = 0) ignores the height.
XYZ paraxialChiefStart(const StopMatrix& m, const XY& t) {
  if (m.A == 0) return {0, 0, 0};
  return {-m.B * t.x / m.A, -m.B * t.y / m.A, 0};
}

// Rays of the object point (X, Y, Z), in direction tangents that put them at the stop at
// P times the axial marginal ray's stop height; with an aimer, tilted until they meet the
// stop at P from the chief direction `aimDirection`.
std::vector<Ray> raysFromObjectPoint(lens::Lens& lens, const XYZ& point, double z0, StopMatrix m,
                                     std::span<const XY> pupilCoordinates, double n, RayAimer* aimer,
                                     const XYZ& aimDirection) {
  std::vector<Ray> rays;
  rays.reserve(pupilCoordinates.size());
  double s = paraxial(lens, "objectSpaceNumericalAperture") / n;
  if (s < 1) s = std::tan(std::asin(s));
  for (const XY& p : pupilCoordinates) {
    if (aimer) {
      rays.emplace_back(point, aimDirection, n);
    } else {
      const double tx = (p.x * (m.B - m.A * z0) * s - m.A * point.x) / (m.B - m.A * point.z);
      const double ty = (p.y * (m.B - m.A * z0) * s - m.A * point.y) / (m.B - m.A * point.z);
      rays.emplace_back(point, XYZ{tx, ty, 1}, n);
    }
    rays.back().tags().pupilCoordinate = p;
  }
  // The field's rays are aimed together: one trace per step for all of them.
  if (aimer) aimer->adjustMomentaOfRays(rays, pupilCoordinates);
  return rays;
}

void setGenerationWarning(lens::Lens& lens, std::string text) { lens.setWarningReRayGeneration(std::move(text)); }

// A finite object seen at an angle: the object point is where the chief ray from q0 along
// d, run backwards, meets the object surface.
XYZ objectPointOfChiefRay(lens::Lens& lens, const lens::Surface& surfaceZero, const XYZ& q0, const XYZ& d, double n) {
  Ray chief(q0, d, n);
  const foundation::OBTransform& frame = surfaceZero.transform();
  chief.transformByMatrix(frame.globalToLocalCoordinateTransformationMatrix());
  if (std::unique_ptr<Pusher> pusher = pusherForSurface(surfaceZero)) {
    pusher->setRayAcquisitionTolerance(lens.rayAcquisitionTolerance());
    pusher->acquireRay(chief);
  }
  chief.transformByMatrix(frame.localToGlobalCoordinateTransformationMatrix());
  return chief.position();
}

// The surface rays start on, after the checks every generation makes (each failure
// leaves its ray-generation warning); null when no rays are to be made.
const lens::Surface* surfaceZeroForGeneration(lens::Lens& lens) {
  lens.setWarningReRayGeneration(std::nullopt);
  const auto& surfaces = lens.surfaceArray();
  if (surfaces.empty()) {
    setGenerationWarning(lens, "Ray generation suppressed becase there are no surfaces");
    return nullptr;
  }
  const std::shared_ptr<lens::Surface>& surfaceZero = surfaces.front();
  if (!surfaceZero) {
    setGenerationWarning(lens, "Ray generation suppressed because surface zero is of wrong class");
    return nullptr;
  }
  if (isInfinite(surfaceZero->thickness()) && lens.fieldType() == "Object height") {
    setGenerationWarning(lens, "Object height field is in conflict with infinite working distance");
    return nullptr;
  }
  return surfaceZero.get();
}

}  // namespace

// --- Field helpers -------------------------------------------------------------------------------------

std::shared_ptr<lens::Field> axialField(const lens::Lens& lens) {
  for (const auto& f : lens.fieldArray())
    if (f->x() == 0 && f->y() == 0) return f;
  return lens::Field::field();
}

std::shared_ptr<lens::Field> chiefField(const lens::Lens& lens) {
  std::shared_ptr<lens::Field> chief;
  for (const auto& f : lens.fieldArray())
    if (!chief || f->y() > chief->y()) chief = f;
  return chief;
}

double maxRadialField(const lens::Lens& lens) {
  double m = 0;
  for (const auto& f : lens.fieldArray()) m = std::max(m, std::hypot(f->x(), f->y()));
  return m;
}

double maxField(const lens::Lens& lens) {
  double m = 0;
  for (const auto& f : lens.fieldArray()) m = std::max({m, std::abs(f->x()), std::abs(f->y())});
  return m;
}

double minFieldY(const lens::Lens& lens) {
  const auto& fields = lens.fieldArray();
  if (fields.empty()) return 0;
  double m = fields.front()->y();
  for (const auto& f : fields) m = std::min(m, f->y());
  return m;
}

double maxFieldY(const lens::Lens& lens) {
  const auto& fields = lens.fieldArray();
  if (fields.empty()) return 0;
  double m = fields.front()->y();
  for (const auto& f : fields) m = std::max(m, f->y());
  return m;
}

std::shared_ptr<lens::Field> fieldForH(const lens::Lens& lens, const XY& h) {
  auto field = lens::Field::field();
  const double m = maxField(lens);
  field->setX(h.x * m);
  field->setY(h.y * m);
  return field;
}

Fields fieldFanWithNumberOfPoints(const lens::Lens& lens, std::size_t n) {
  Fields fan;
  fan.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    fan.push_back(fieldForH(lens, {0, n == 1 ? 0.0 : static_cast<double>(i) / static_cast<double>(n - 1)}));
  return fan;
}

// --- Coordinates ---------------------------------------------------------------------------------------

XY angleCoordinateForAngleField(const lens::Field& field) {
  return {field.x() * kRadiansPerDegree, field.y() * kRadiansPerDegree};
}

XY heightCoordinateForObjectHeightField(const lens::Field& field) { return {field.x(), field.y()}; }

XY angleCoordinateForImageHeightField(const lens::Lens& lens, const lens::Field& field) {
  const double f = paraxial(lens, "focalLength");
  return {std::atan(field.x() / f), std::atan(field.y() / f)};
}

XY heightCoordinateForImageHeightField(const lens::Lens& lens, const lens::Field& field) {
  const double m = paraxial(lens, "magnification");
  return {field.x() / m, field.y() / m};
}

XYZ chiefRayDirectionForAngleCoordinate(const XY& a) {
  const double r = std::hypot(a.x, a.y);
  if (r == 0) return {0, 0, 1};
  const double s = std::sin(r);
  const XYZ d{s * a.x / r, s * a.y / r, std::cos(r)};
  const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  return {d.x / length, d.y / length, d.z / length};
}

pupil::Points vignettePupilCoordinates(std::span<const XY> pupilCoordinates, const lens::Field& field) {
  pupil::Points points(pupilCoordinates.begin(), pupilCoordinates.end());
  if (!field.vignetted()) return points;
  const double xScale = (field.PXB() - field.PXA()) / 2, xShift = (field.PXA() + field.PXB()) / 2;
  const double yScale = (field.PYB() - field.PYA()) / 2, yShift = (field.PYA() + field.PYB()) / 2;
  for (XY& p : points) p = {p.x * xScale + xShift, p.y * yScale + yShift};
  return points;
}

double objectSpaceIndexOfRefraction(lens::Lens& lens) {
  const double stored = paraxial(lens, "objectSpaceIndexOfRefraction");
  if (!std::isnan(stored)) return stored;
  std::shared_ptr<materials::Medium> medium = lens.objectSurface() ? lens.objectSurface()->medium() : nullptr;
  if (!medium) medium = lens.ambientMedium();
  return medium->indexOfRefractionAtWavelengthInMicrons(lens.primaryWave()->wavelengthInMicrons());
}

// --- Ray makers ----------------------------------------------------------------------------------------

std::vector<Ray> raysForAngleCoordinate(lens::Lens& lens, const XY& angles, const lens::Surface& surfaceZero,
                                        std::span<const XY> pupilCoordinates, RayAimer* aimer) {
  const XYZ d = chiefRayDirectionForAngleCoordinate(angles);
  const XY t{d.x / d.z, d.y / d.z};
  const StopMatrix m = stopMatrix(lens);
  const double n = objectSpaceIndexOfRefraction(lens);
  const XYZ q0 = aimer ? aimer->chiefRayPositionForAngleCoordinate(angles) : paraxialChiefStart(m, t);

  if (isInfinite(surfaceZero.thickness())) {
    const double R = paraxial(lens, "entrancePupilDiameter") / 2;
    std::vector<Ray> rays;
    rays.reserve(pupilCoordinates.size());
    for (const XY& p : pupilCoordinates) rays.emplace_back(aimer ? q0 : XYZ{p.x * R + q0.x, p.y * R + q0.y, 0}, d, n);
    // The field's rays are aimed together: one trace per step for all of them.
    if (aimer) aimer->adjustPositionsOfRays(rays, pupilCoordinates);
    for (std::size_t i = 0; i < rays.size(); ++i) {
      const XY& p = pupilCoordinates[i];
      Ray& r = rays[i];
      const XYZ& q = r.position();
      const XYZ& pm = r.momentum();
      // Path measured from the chief ray's start, so rays of one field share a wavefront.
      r.setOpticalPathLength(pm.x * (q.x - q0.x) + pm.y * (q.y - q0.y) + pm.z * (q.z - q0.z));
      r.tags().pupilCoordinate = p;
    }
    return rays;
  }

  return raysFromObjectPoint(lens, objectPointOfChiefRay(lens, surfaceZero, q0, d, n),
                             surfaceZero.zInGlobalCoordinates(), m, pupilCoordinates, n, aimer, d);
}

std::vector<Ray> raysForHeightCoordinate(lens::Lens& lens, const XY& heights, const lens::Surface& surfaceZero,
                                         std::span<const XY> pupilCoordinates, RayAimer* aimer) {
  const XYZ point = surfaceZero.transform().transformToGlobal({heights.x, heights.y, surfaceZero.sagAtQ(heights)});
  StopMatrix m = stopMatrix(lens);
  if (lens.useTelecentricMode()) m = {0, 1};
  const double n = objectSpaceIndexOfRefraction(lens);
  const XYZ aim = aimer ? aimer->chiefRayMomentumForHeightCoordinate(heights) : XYZ{0, 0, 1};
  return raysFromObjectPoint(lens, point, surfaceZero.zInGlobalCoordinates(), m, pupilCoordinates, n, aimer, aim);
}

std::vector<Ray> raysForField(lens::Lens& lens, const std::shared_ptr<lens::Field>& field,
                              const lens::Surface& surfaceZero, std::span<const XY> pupilCoordinates,
                              RayAimer* aimer) {
  const pupil::Points points = vignettePupilCoordinates(pupilCoordinates, *field);
  const std::string& type = lens.fieldType();
  std::vector<Ray> rays;
  if (type == "Angle") {
    rays = raysForAngleCoordinate(lens, angleCoordinateForAngleField(*field), surfaceZero, points, aimer);
  } else if (type == "Object height") {
    rays = raysForHeightCoordinate(lens, heightCoordinateForObjectHeightField(*field), surfaceZero, points, aimer);
  } else if (type == "Image height") {
    if (isInfinite(surfaceZero.thickness()))
      rays = raysForAngleCoordinate(lens, angleCoordinateForImageHeightField(lens, *field), surfaceZero, points, aimer);
    else
      rays = raysForHeightCoordinate(lens, heightCoordinateForImageHeightField(lens, *field), surfaceZero, points,
                                     aimer);
  } else {
    setGenerationWarning(lens, platform::format("Unimplemented field type %s", type.c_str()));
    return rays;
  }
  for (Ray& r : rays) r.tags().field = field;
  return rays;
}

namespace {

std::optional<std::vector<Ray>> generate(lens::Lens& lens, const Fields& fields, std::span<const XY> pupilCoordinates,
                                         bool restrictToPupil, bool suspendRayAiming) {
  const lens::Surface* surfaceZero = surfaceZeroForGeneration(lens);
  if (!surfaceZero) return std::nullopt;
  std::optional<RayAimer> aimer;
  if (!suspendRayAiming && lens.useRayAiming() && lens.rayAiming().isSetup) aimer.emplace(lens);

  std::vector<Ray> rays;
  rays.reserve(fields.size() * pupilCoordinates.size());
  for (const auto& field : fields) {
    std::vector<Ray> fieldRays =
        raysForField(lens, field, *surfaceZero, pupilCoordinates, aimer ? &*aimer : nullptr);
    if (restrictToPupil) pupilStampRays(fieldRays, pupilCoordinates);
    std::move(fieldRays.begin(), fieldRays.end(), std::back_inserter(rays));
  }
  const std::shared_ptr<lens::Wave> primary = lens.primaryWave();
  for (Ray& r : rays) r.setWave(primary);
  return rays;
}

std::vector<Ray> copiesPerWave(std::optional<std::vector<Ray>> rays, const Waves& waves) {
  std::vector<Ray> all;
  if (!rays || rays->empty()) return all;
  all.reserve(rays->size() * waves.size());
  for (const auto& wave : waves)
    for (const Ray& r : *rays) {
      all.push_back(r);
      all.back().setWave(wave);
    }
  return all;
}

}  // namespace

std::optional<std::vector<Ray>> raysForFields(lens::Lens& lens, const Fields& fields,
                                              std::span<const XY> pupilCoordinates, bool restrictToPupil) {
  return generate(lens, fields, pupilCoordinates, restrictToPupil, false);
}

std::vector<Ray> raysForFields(lens::Lens& lens, const Fields& fields, std::span<const XY> pupilCoordinates,
                               const Waves& waves, bool restrictToPupil) {
  return copiesPerWave(generate(lens, fields, pupilCoordinates, restrictToPupil, false), waves);
}

std::vector<Ray> raysForFieldsSuspendingRayAiming(lens::Lens& lens, const Fields& fields,
                                                  std::span<const XY> pupilCoordinates, const Waves& waves,
                                                  bool suspendRayAiming, bool restrictToPupil) {
  platform::Synchronized lock(&lens);
  return copiesPerWave(generate(lens, fields, pupilCoordinates, restrictToPupil, suspendRayAiming), waves);
}

namespace {

// One field's rays from an object at infinity, placed paraxially, written as rows
// [begin, begin + points.size()) of the bundle: the arithmetic of raysForAngleCoordinate
// without a Ray per row.
void writeFieldRows(RayBundle& b, std::size_t begin, std::span<const XY> points, const XYZ& d, const XYZ& q0, double R,
                    double n, std::uint16_t field, std::uint8_t wave) {
  const double s = n / std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  const XYZ pm{d.x * s, d.y * s, d.z * s};
  // Column by column within a chunk, so that each loop is one store stream that vectorises.
  // Pool threads poll the calling worker's cancel flag: a cancelled run stops within a
  // chunk, and its caller throws the half-made bundle away.
  const std::atomic<bool>* cancelled = platform::currentThreadCancelledFlag();
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, points.size(), 16384), [&](const tbb::blocked_range<std::size_t>& r) {
    if (cancelled && cancelled->load(std::memory_order_relaxed)) return;
    const std::size_t i0 = begin + r.begin(), m = r.size();
    const XY* __restrict p = points.data() + r.begin();
    double* __restrict qx = b.qx.data() + i0;
    double* __restrict qy = b.qy.data() + i0;
    double* __restrict opl = b.opticalPathLength.data() + i0;
    for (std::size_t k = 0; k < m; ++k) {
      const double x = p[k].x * R + q0.x, y = p[k].y * R + q0.y;
      qx[k] = x, qy[k] = y;
      opl[k] = pm.x * (x - q0.x) + pm.y * (y - q0.y) + pm.z * (0 - q0.z);
    }
    std::fill_n(b.qz.data() + i0, m, 0.0);
    std::fill_n(b.px.data() + i0, m, pm.x);
    std::fill_n(b.py.data() + i0, m, pm.y);
    std::fill_n(b.pz.data() + i0, m, pm.z);
    std::fill_n(b.alive.data() + i0, m, std::uint8_t{1});
    std::fill_n(b.reflected.data() + i0, m, std::uint8_t{0});
    std::fill_n(b.indexIsNegative.data() + i0, m, std::uint8_t{n < 0});
    std::fill_n(b.field.data() + i0, m, field);
    std::fill_n(b.wave.data() + i0, m, wave);
    std::fill_n(b.causeOfDeath.data() + i0, m, nullptr);
    std::fill_n(b.diedAt.data() + i0, m, RayBundle::kNoSurface);
  });
}

// Row r as a ray starting at q along direction `direction` in a medium of index n: the
// momentum as the Ray constructor makes it, alive, in wave 0, tagged with `field`.
void writeStartRow(RayBundle& b, std::size_t r, const XYZ& q, const XYZ& direction, double n, std::uint16_t field) {
  const double s = n / std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
  b.qx[r] = q.x, b.qy[r] = q.y, b.qz[r] = q.z;
  b.px[r] = direction.x * s, b.py[r] = direction.y * s, b.pz[r] = direction.z * s;
  b.opticalPathLength[r] = 0;
  b.alive[r] = 1, b.reflected[r] = 0, b.indexIsNegative[r] = n < 0;
  b.wave[r] = 0, b.field[r] = field;
  b.causeOfDeath[r] = nullptr, b.diedAt[r] = RayBundle::kNoSurface;
}

// f(lo, hi) over rows [0, n), split over the cores for a large fan.
template <class F>
void overRows(std::size_t n, const F& f) {
  if (n < 16384) return f(std::size_t{0}, n);
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n, 4096),
                    [&](const tbb::blocked_range<std::size_t>& r) { f(r.begin(), r.end()); });
}

// raysFromObjectPoint into rows [begin, begin + points.size()).
void writeObjectPointRows(RayBundle& b, std::size_t begin, lens::Lens& lens, const XYZ& point, double z0,
                          StopMatrix m, std::span<const XY> points, double n, RayAimer* aimer,
                          const XYZ& aimDirection, std::uint16_t field) {
  double s = paraxial(lens, "objectSpaceNumericalAperture") / n;
  if (s < 1) s = std::tan(std::asin(s));
  overRows(points.size(), [&](std::size_t lo, std::size_t hi) {
    for (std::size_t k = lo; k < hi; ++k) {
      const XY& p = points[k];
      if (aimer) {
        writeStartRow(b, begin + k, point, aimDirection, n, field);
      } else {
        const double tx = (p.x * (m.B - m.A * z0) * s - m.A * point.x) / (m.B - m.A * point.z);
        const double ty = (p.y * (m.B - m.A * z0) * s - m.A * point.y) / (m.B - m.A * point.z);
        writeStartRow(b, begin + k, point, XYZ{tx, ty, 1}, n, field);
      }
    }
  });
  if (aimer) aimer->adjustMomentaOfRows(b, begin, points);
}

// The rays generate() makes, written straight into the bundle: each field's rows made and
// aimed in the columns (aimed in the primary wave), then copied for every further wave.
// False as generate() answers none, or when the calling worker was cancelled.
bool fillRowsFieldByField(RayBundle& bundle, lens::Lens& lens, const Fields& fields, std::span<const XY> pupilCoordinates,
                          const Waves& waves, bool restrictToPupil, bool suspendRayAiming) {
  const lens::Surface* zero = surfaceZeroForGeneration(lens);
  if (!zero) return false;
  const lens::Surface& surfaceZero = *zero;
  std::optional<RayAimer> aimer;
  if (!suspendRayAiming && lens.useRayAiming() && lens.rayAiming().isSetup) aimer.emplace(lens);
  RayAimer* aim = aimer ? &*aimer : nullptr;
  const std::string& type = lens.fieldType();
  if (type != "Angle" && type != "Object height" && type != "Image height") {
    // Every field fails alike: no rays, and the warning.
    setGenerationWarning(lens, platform::format("Unimplemented field type %s", type.c_str()));
    return true;
  }
  const std::shared_ptr<lens::Wave> primary = lens.primaryWave();
  const Waves ws = waves.empty() ? Waves{primary} : waves;
  const std::size_t np = pupilCoordinates.size(), perWave = fields.size() * np;
  bundle.resizeForOverwrite(perWave * ws.size());
  bundle.waves = {primary};  // the aiming traces' wave; the rows' waves are set below
  const StopMatrix stop = stopMatrix(lens);
  const double n = objectSpaceIndexOfRefraction(lens);
  const bool atInfinity = isInfinite(surfaceZero.thickness());
  for (std::size_t fi = 0; fi < fields.size(); ++fi) {
    const lens::Field& field = *fields[fi];
    const std::uint16_t f = bundle.fieldIndex(fields[fi]);
    const std::size_t begin = fi * np;
    const pupil::Points points = vignettePupilCoordinates(pupilCoordinates, field);
    const bool angles = type == "Angle" || (type == "Image height" && atInfinity);
    if (angles) {
      const XY a = type == "Angle" ? angleCoordinateForAngleField(field) : angleCoordinateForImageHeightField(lens, field);
      const XYZ d = chiefRayDirectionForAngleCoordinate(a);
      const XYZ q0 = aim ? aim->chiefRayPositionForAngleCoordinate(a) : paraxialChiefStart(stop, {d.x / d.z, d.y / d.z});
      if (atInfinity) {
        const double R = paraxial(lens, "entrancePupilDiameter") / 2;
        overRows(np, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t k = lo; k < hi; ++k) {
            const XY& p = points[k];
            writeStartRow(bundle, begin + k, aim ? q0 : XYZ{p.x * R + q0.x, p.y * R + q0.y, 0}, d, n, f);
          }
        });
        if (aim) aim->adjustPositionsOfRows(bundle, begin, points);
        // Path measured from the chief ray's start, so rays of one field share a wavefront.
        overRows(np, [&](std::size_t lo, std::size_t hi) {
          for (std::size_t r = begin + lo; r < begin + hi; ++r)
            bundle.opticalPathLength[r] = bundle.px[r] * (bundle.qx[r] - q0.x) +
                                          bundle.py[r] * (bundle.qy[r] - q0.y) + bundle.pz[r] * (bundle.qz[r] - q0.z);
        });
      } else {
        writeObjectPointRows(bundle, begin, lens, objectPointOfChiefRay(lens, surfaceZero, q0, d, n),
                             surfaceZero.zInGlobalCoordinates(), stop, points, n, aim, d, f);
      }
    } else {
      const XY h = type == "Object height" ? heightCoordinateForObjectHeightField(field)
                                           : heightCoordinateForImageHeightField(lens, field);
      const XYZ point = surfaceZero.transform().transformToGlobal({h.x, h.y, surfaceZero.sagAtQ(h)});
      const StopMatrix m = lens.useTelecentricMode() ? StopMatrix{0, 1} : stop;
      const XYZ aimDirection = aim ? aim->chiefRayMomentumForHeightCoordinate(h) : XYZ{0, 0, 1};
      writeObjectPointRows(bundle, begin, lens, point, surfaceZero.zInGlobalCoordinates(), m, points, n, aim,
                           aimDirection, f);
    }
    if (platform::currentThreadIsCancelled()) {
      bundle.clear();
      return false;
    }
    if (restrictToPupil)
      for (std::size_t k = 0; k < np; ++k) {
        const XY& p = pupilCoordinates[k];
        if (p.x * p.x + p.y * p.y > 1)
          bundle.alive[begin + k] = 0, bundle.causeOfDeath[begin + k] = causeOfDeath::kPupilStampKills,
                             bundle.diedAt[begin + k] = RayBundle::kNoSurface;
      }
  }
  // Wave by wave as copiesPerWave makes them.
  bundle.waves.clear();
  for (std::size_t w = 1; w < ws.size(); ++w) {
    const std::size_t to = w * perWave;
    auto copy = [&](auto& column) { std::copy_n(column.begin(), perWave, column.begin() + to); };
    copy(bundle.qx), copy(bundle.qy), copy(bundle.qz), copy(bundle.px), copy(bundle.py), copy(bundle.pz);
    copy(bundle.opticalPathLength), copy(bundle.alive), copy(bundle.reflected), copy(bundle.indexIsNegative);
    copy(bundle.field), copy(bundle.causeOfDeath), copy(bundle.diedAt);
  }
  for (std::size_t w = 0; w < ws.size(); ++w)
    std::fill_n(bundle.wave.begin() + w * perWave, perWave, bundle.waveIndex(ws[w]));
  return true;
}

}  // namespace

bool fillBundleForFields(RayBundle& bundle, lens::Lens& lens, const Fields& fields,
                         std::span<const XY> pupilCoordinates, const Waves& waves, bool restrictToPupil,
                         bool suspendRayAiming) {
  const auto& surfaces = lens.surfaceArray();
  const bool aiming = lens.useRayAiming() && lens.rayAiming().isSetup && !suspendRayAiming;
  const std::string& type = lens.fieldType();
  const bool atInfinity = !surfaces.empty() && surfaces.front() && isInfinite(surfaces.front()->thickness());
  bundle.clear();
  bundle.waves.clear();
  bundle.fields.clear();
  bundle.surfaceNicknames.clear();
  if (aiming || !atInfinity || (type != "Angle" && type != "Image height"))
    return fillRowsFieldByField(bundle, lens, fields, pupilCoordinates, waves, restrictToPupil, suspendRayAiming);
  lens.setWarningReRayGeneration(std::nullopt);
  const StopMatrix m = stopMatrix(lens);
  const double n = objectSpaceIndexOfRefraction(lens);
  const double R = paraxial(lens, "entrancePupilDiameter") / 2;
  const Waves ws = waves.empty() ? Waves{lens.primaryWave()} : waves;
  const std::size_t perWave = fields.size() * pupilCoordinates.size();
  bundle.resizeForOverwrite(perWave * ws.size());
  std::size_t row = 0;
  for (const auto& wave : ws) {
    const std::uint8_t w = bundle.waveIndex(wave);
    for (const auto& field : fields) {
      const XY angles = type == "Angle" ? angleCoordinateForAngleField(*field)
                                        : angleCoordinateForImageHeightField(lens, *field);
      const XYZ d = chiefRayDirectionForAngleCoordinate(angles);
      const XYZ q0 = paraxialChiefStart(m, {d.x / d.z, d.y / d.z});
      const std::uint16_t f = bundle.fieldIndex(field);
      if (field->vignetted())
        writeFieldRows(bundle, row, vignettePupilCoordinates(pupilCoordinates, *field), d, q0, R, n, f, w);
      else
        writeFieldRows(bundle, row, pupilCoordinates, d, q0, R, n, f, w);
      if (restrictToPupil)
        for (std::size_t k = 0; k < pupilCoordinates.size(); ++k) {
          const XY& p = pupilCoordinates[k];
          if (p.x * p.x + p.y * p.y > 1) bundle.alive[row + k] = 0, bundle.causeOfDeath[row + k] = causeOfDeath::kPupilStampKills;
        }
      row += pupilCoordinates.size();
    }
  }
  if (platform::currentThreadIsCancelled()) {  // rows were left unwritten
    bundle.clear();
    return false;
  }
  return true;
}

std::optional<RayBundle> bundleForFields(lens::Lens& lens, const Fields& fields, std::span<const XY> pupilCoordinates,
                                         const Waves& waves, bool restrictToPupil) {
  RayBundle bundle;
  if (!fillBundleForFields(bundle, lens, fields, pupilCoordinates, waves, restrictToPupil)) return std::nullopt;
  return bundle;
}

void pupilStampRays(std::span<Ray> rays, std::span<const XY> pupilCoordinates) {
  const std::size_t n = std::min(rays.size(), pupilCoordinates.size());
  for (std::size_t i = 0; i < n; ++i) {
    const XY& p = pupilCoordinates[i];
    if (p.x * p.x + p.y * p.y > 1) rays[i].kill(causeOfDeath::kPupilStampKills);
  }
}

std::optional<Ray> rayForH(lens::Lens& lens, const XY& h, const XY& p, const std::shared_ptr<lens::Wave>& wave,
                           bool suspendRayAiming) {
  const XY point[1] = {p};
  std::optional<std::vector<Ray>> rays = generate(lens, {fieldForH(lens, h)}, point, false, suspendRayAiming);
  if (!rays || rays->empty()) return std::nullopt;
  Ray ray = std::move(rays->front());
  if (wave) ray.setWave(wave);
  return ray;
}

std::optional<Ray> marginalRay(lens::Lens& lens) {
  const XY point[1] = {{0, 1}};
  std::optional<std::vector<Ray>> rays = generate(lens, {axialField(lens)}, point, false, false);
  if (!rays || rays->empty()) return std::nullopt;
  return std::move(rays->front());
}

std::optional<Ray> chiefRay(lens::Lens& lens) {
  auto field = chiefField(lens);
  if (!field) return std::nullopt;
  const XY point[1] = {{0, 0}};
  std::optional<std::vector<Ray>> rays = generate(lens, {field}, point, false, false);
  if (!rays || rays->empty()) return std::nullopt;
  return std::move(rays->front());
}

}  // namespace orb::tracing
