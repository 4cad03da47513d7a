#include "tracing/Regeneration.h"

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "foundation/objects/TransformStack.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/Exception.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Pusher.h"
#include "tracing/OBBeam.h"
#include "tracing/PusherGraded.h"
#include "tracing/Ray.h"
#include "tracing/RayAiming.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"
#include "tracing/SeidelAnalysis.h"
#include "tracing/SolveApplication.h"
#include "tracing/SurfaceShape.h"
#include "tracing/TraceDriver.h"
#include "tracing/Turner.h"

namespace orb::tracing {

namespace {

using foundation::TransformationMatrix;
using foundation::TransformStack;
using foundation::XYZ;

bool isInfinite(double v) { return !(std::abs(v) < std::numeric_limits<double>::infinity()); }

[[noreturn]] void hardFailure(lens::Lens& lens, const char* text) {
  lens.setWarningReSystemGeneration(std::string(text));
  platform::Exception::raise("Generation exception", "%s", text);
}

void placeSurface(lens::Surface& s, const TransformStack& stack) {
  TransformationMatrix forward, inverse;
  foundation::xformGetTop(stack, &forward, &inverse);
  s.setLocalToGlobalCoordinateTransformationMatrix(forward, inverse);
}

std::shared_ptr<materials::Medium> orAmbient(const lens::Lens& lens, std::shared_ptr<materials::Medium> m) {
  return m ? m : lens.ambientMedium();
}

// The frame ray's paraxial marginal and chief rays, read in true units.
struct Coefficients {
  double marginalSlope = 0, marginalHeight = 0, chiefSlope = 0, chiefHeight = 0;
};

SolveContext contextAt(const RayWithFrame& ray, const Coefficients& k, double n, double nPrime, bool normalised,
                       bool chiefDefined) {
  const AxialBasis b = AxialBasis::of(ray);
  const double sign = travelSign(ray);
  SolveContext c;
  c.h = b.heightOf(k.marginalSlope, k.marginalHeight);
  c.u = sign * b.slopeOf(k.marginalSlope, k.marginalHeight);
  c.hbar = b.heightOf(k.chiefSlope, k.chiefHeight);
  c.ubar = sign * b.slopeOf(k.chiefSlope, k.chiefHeight);
  c.n = n;
  c.nPrime = nPrime;
  c.normalised = normalised;
  c.chiefDefined = chiefDefined;
  return c;
}

// The axial field's real ray at pupil coordinate (0, zone) in the primary wave, traced
// through the surfaces placed so far and bent by `s` (into `next`); in s's frame. It
// starts where the ray generator starts an unaimed ray: on axis the stop matrix drops
// out of that placement, which matters because this update has not measured it yet.
std::optional<LeavingRay> realRayLeaving(lens::Lens& lens, lens::Surface& s, const materials::Medium& next,
                                         bool mirror, double zone, double n0) {
  const lens::Surface& object = *lens.surfaceArray().front();
  const auto wave = lens.primaryWave();
  std::optional<Ray> ray;
  if (isInfinite(object.thickness())) {
    const std::optional<double> epd = numberForKey(lens.paraxialData(), "entrancePupilDiameter");
    if (!epd) return std::nullopt;
    ray.emplace(XYZ{0, zone * *epd / 2, 0}, XYZ{0, 0, 1}, n0);
  } else {
    const std::optional<double> na = numberForKey(lens.paraxialData(), "objectSpaceNumericalAperture");
    if (!na) return std::nullopt;
    double slope = *na / n0;
    if (slope < 1) slope = std::tan(std::asin(slope));
    ray.emplace(object.transform().transformToGlobal(XYZ{0, 0, 0}), XYZ{0, zone * slope, 1}, n0);
  }
  ray->setWave(wave);
  // The solve places the focus whatever the apertures, which are sized after this pass.
  traceRay(lens, *ray, &s, TraceOptions::checkingApertures(false));
  if (!ray->isAlive()) return std::nullopt;
  ray->transformByMatrix(s.transform().globalToLocalCoordinateTransformationMatrix());
  std::unique_ptr<Turner> turner = turnerForSurface(s);
  if (!turner) return std::nullopt;
  turner->setLightPipeMaxBounces(lens.lightPipeMaxBounces());
  if (mirror) {
    turner->reflectRay(*ray);
  } else {
    const double lambda = wave->wavelengthInMicrons();
    const XYZ global = s.transform().transformToGlobal(ray->position());
    const double nPrime = next.isUniform() ? next.indexOfRefractionAtWavelengthInMicrons(lambda)
                                           : next.indexOfRefractionAtWaveGlobalCoordinate(lambda, global);
    turner->refractRay(*ray, nPrime);
    turner->processRay(*ray);
  }
  if (!ray->isAlive()) return std::nullopt;
  return LeavingRay{ray->position(), ray->momentum()};
}

// Changes made here (solves, semidiameters) are the update's own results, not edits.
struct DequeueOnExit {
  lens::Lens& lens;
  ~DequeueOnExit() { lens.dequeueLensChangedNotification(); }
};

void run(lens::Lens& lens) {
  const auto& surfaces = lens.surfaceArray();
  for (const auto& s : surfaces) s->validateSolveSurfaces();
  for (const auto& s : surfaces) s->implementParameterPickups();
  for (const auto& s : surfaces) {
    if (s->glassSolveType() != 1) continue;
    auto source = s->glassSolveSurface();
    if (!source) hardFailure(lens, "Incomplete glass pickup");
    if (source->glass() != s->glass()) s->setGlass(source->glass());
  }
  // Media are made on first use; make them here, before any worker traces.
  for (const auto& s : surfaces) s->medium();

  lens.setParaxialData(measureParaxialDataToLevel(lens, 0));
  const double n0 = measureObjectSpaceIndexOfRefraction(lens);
  const auto wave = lens.primaryWave();
  const double lambda = wave->wavelengthInMicrons();

  for (const auto& s : surfaces) {
    s->setCurvatureSolveOutcome(s->curvatureSolveImplemented(), "Solve not checked");
    s->setThicknessSolveOutcome(s->thicknessSolveImplemented(), "Solve not checked");
  }

  TransformStack stack;
  lens::Surface& object = *surfaces.front();
  if (object.isCoordinateBreak()) hardFailure(lens, "Surface 0 can not be a coordinate break");
  object.setCurvatureSolveOutcome(true, "");
  object.setThicknessSolveOutcome(true, "");
  const bool infinite = isInfinite(object.thickness());
  if (!infinite) foundation::xformTranslate(stack, XYZ{0, 0, object.thickness()});

  std::size_t first = 1;
  while (first < surfaces.size() && surfaces[first]->isCoordinateBreak()) {
    lens::Surface& b = *surfaces[first];
    b.implementCoordinateBreak(stack);
    placeSurface(b, stack);
    b.setCurvatureSolveOutcome(true, "");
    b.setThicknessSolveOutcome(true, "");
    foundation::xformTranslate(stack, XYZ{0, 0, b.thickness()});
    ++first;
  }

  // The first real surface stands at the global origin; the object is placed behind it.
  if (!infinite) {
    TransformationMatrix forward, inverse;
    foundation::xformGetTop(stack, &forward, &inverse);
    object.setLocalToGlobalCoordinateTransformationMatrix(inverse, forward);
    foundation::xformFreeAll(stack);
    lens.setTrack(-object.zInGlobalCoordinates());
  } else {
    foundation::xformFreeAll(stack);
    object.setLocalToGlobalCoordinateTransformationMatrix(TransformationMatrix::identity(),
                                                          TransformationMatrix::identity());
  }

  RayWithFrame ray(XYZ{0, 0, 0}, XYZ{0, 0, 1}, n0);
  ray.setWave(wave);
  const double z0 = object.zInGlobalCoordinates();
  Coefficients k;
  if (infinite) {
    k.marginalSlope = 0, k.marginalHeight = 1;
  } else {
    k.marginalSlope = 1, k.marginalHeight = z0 == 0 ? 0.0 : -z0;
  }
  bool normalised = false, chiefDefined = false;
  double scale = 0;
  if (determineMarginalRayScaleFactor(lens, &scale)) {
    k.marginalSlope *= scale, k.marginalHeight *= scale;
    normalised = true;
  }
  ray.setMarginalA(k.marginalSlope, k.marginalHeight);

  bool reflected = false;
  std::shared_ptr<materials::Medium> current = orAmbient(lens, object.medium());
  for (std::size_t index = first; index < surfaces.size(); ++index) {
    lens::Surface& s = *surfaces[index];
    if (s.isCoordinateBreak()) s.implementCoordinateBreak(stack);
    placeSurface(s, stack);
    s.setReflected(reflected);
    if (ray.isAlive()) ray.transformByMatrix(s.transform().globalToLocalCoordinateTransformationMatrix());
    s.setTrack(lens.track());

    // The medium decides the pusher: a gradient gap needs the gradient pusher, as in
    // every other trace.
    const std::string_view pusherName = s.pusherNameWithMedium(current.get());
    std::unique_ptr<Pusher> pusher = pusherWithMedium(s, current);
    if (!pusher)
      platform::Exception::raise("Unsupported", "Surface %s needs the pusher %.*s, which is not available",
                                 s.nickname().c_str(), static_cast<int>(pusherName.size()), pusherName.data());
    pusher->setRayAcquisitionTolerance(lens.rayAcquisitionTolerance());
    if (ray.isAlive()) pusher->acquireRay(ray, reflected);
    const double n = ray.indexOfRefraction();

    if (s.isStop()) {
      const AxialBasis b = AxialBasis::of(ray);
      const double ratio = -b.aH / b.bH;
      const double maxF = maxField(lens);
      k.chiefSlope = lens.fieldType() == "Object height" ? maxF / (z0 + ratio) : std::tan(maxF / 57.29577951308232);
      k.chiefHeight = ratio * k.chiefSlope;
      ray.setChiefA(k.chiefSlope, k.chiefHeight);
      chiefDefined = true;
      if (!normalised) {
        lens.setParaxialData(measureParaxialDataToLevel(lens, 1));
        if (determineMarginalRayScaleFactor(lens, &scale)) {
          k.marginalSlope *= scale, k.marginalHeight *= scale;
          ray.setMarginalA(k.marginalSlope, k.marginalHeight);
          normalised = true;
        }
      }
    }

    const bool mirror = s.isMirror() && !s.isCoordinateBreak();
    std::shared_ptr<materials::Medium> next = s.isCoordinateBreak() || mirror ? current : orAmbient(lens, s.medium());
    double nPrime = n;
    if (!s.isCoordinateBreak() && !mirror) {
      nPrime = next->isUniform()
                   ? next->indexOfRefractionAtWavelengthInMicrons(lambda)
                   : next->indexOfRefractionAtWaveGlobalCoordinate(lambda, s.transform().transformToGlobal(ray.position()));
    }
    // Solves see signed indices and dy/dz slopes.
    const double sign = travelSign(ray);
    applyCurvatureSolve(s, contextAt(ray, k, sign * n, mirror ? -sign * n : sign * nPrime, normalised, chiefDefined));
    applyConicPickup(s);

    if (ray.isAlive()) {
      std::unique_ptr<Turner> turner = turnerForSurface(s);
      if (!turner)
        platform::Exception::raise("Unsupported", "Surface %s needs the turner %s, which is not available",
                                   s.nickname().c_str(), std::string(s.turnerName()).c_str());
      if (mirror) {
        turner->reflectRay(ray);
      } else {
        turner->refractRay(ray, nPrime);
        turner->processRay(ray);
      }
      if (ray.trajectory())
        ray.addVertex(RayVertex{0, s.transform().transformToGlobal(ray.position()),
                                s.transform().rotateToGlobal(ray.momentum()), &s});
    }
    if (mirror) reflected = !reflected;

    const double signAfter = travelSign(ray);
    SolveContext after = contextAt(ray, k, signAfter * ray.indexOfRefraction(), signAfter * ray.indexOfRefraction(),
                                   normalised, chiefDefined);
    if (normalised)
      after.realMarginalRay = [&](double zone) { return realRayLeaving(lens, s, *next, mirror, zone, n0); };
    applyThicknessSolve(s, after);

    s.implementExitFrame(stack);
    if (ray.isAlive()) ray.transformByMatrix(s.transform().localToGlobalCoordinateTransformationMatrix());
    if (isInfinite(s.thickness())) {
      if (auto image = lens.imageSurface()) image->setTrack(lens.track());
      break;
    }
    lens.setTrack(lens.track() + s.thickness());
    current = next;
  }

  // Graded media carry the frame they were made in: make them again now that every
  // surface stands in its place, before any worker traces.
  for (const auto& s : surfaces) s->medium();

  lens.setParaxialData(measureParaxialDataToLevel(lens, 2));
  measureCardinalPoints(lens);
  measureStopTransferMatrix(lens);
  platform::Dictionary data = lens.paraxialData();
  data.set("exitPupilDiameter", measureExitPupilDiameter(lens));
  lens.setParaxialData(data);
  rayAimingSetup(lens);
  if (lens.useRealRaysToUpdateSemidiameters())
    updateSemidiametersUsingRealRays(lens);
  else
    updateSemidiameters(lens);
  seidelDataMeasurement(lens);
  lens.glassCheck();
  lens.grinCheck();
}

}  // namespace

bool determineMarginalRayScaleFactor(const lens::Lens& lens, double* factor) {
  const auto object = lens.objectSurface();
  const bool finite = object && !isInfinite(object->thickness());
  const std::optional<double> v =
      numberForKey(lens.paraxialData(), finite ? "objectSpaceNumericalAperture" : "entrancePupilDiameter");
  if (!v) return false;
  if (factor) *factor = finite ? std::tan(std::asin(*v)) : 0.5 * *v;
  return true;
}

void generateSystemFromParaxialSpecification(lens::Lens& lens) {
  lens.setWarningReSystemGeneration(std::nullopt);
  lens.primaryWave();
  lens.setTrack(0.0);
  lens.rayAiming().isSetup = false;
  const auto& surfaces = lens.surfaceArray();
  if (surfaces.empty()) return;
  DequeueOnExit dequeue{lens};
  auto softFailure = [&lens](const char* text) {
    lens.setWarningReSystemGeneration(std::string(text));
    lens.glassCheck();
    lens.grinCheck();
  };
  if (auto m = surfaces.front()->medium(); m && !m->isUniform())
    return softFailure("Surface 0 can not have nonuniform index of refraction");
  if (!lens.stopSurface()) return softFailure("There is no stop");
  try {
    run(lens);
  } catch (const platform::Exception& e) {
    if (!lens.warningReSystemGeneration())
      lens.setWarningReSystemGeneration(
          platform::format("System generation failure (%s : %s)", e.name().c_str(), e.reason().c_str()));
    throw;
  }
}

void registerSystemGenerator() {
  registerTracingClasses();
  lens::Lens::setSystemGenerator([](lens::Lens& l) { generateSystemFromParaxialSpecification(l); });
}

}  // namespace orb::tracing
