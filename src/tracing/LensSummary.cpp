#include "tracing/LensSummary.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "geometry/values/XYZValue.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double stored(const lens::Lens& lens, const char* key) { return numberForKey(lens.paraxialData(), key).value_or(0); }

foundation::XYZ storedXYZ(const lens::Lens& lens, const char* key) {
  const platform::Value* v = lens.paraxialData().find(key);
  if (!v) return {0, 0, 0};
  auto xyz = v->asObject<geometry::XYZValue>();
  return xyz ? xyz->xyz() : foundation::XYZ{0, 0, 0};
}

template <class Measure>
double smallestOverGlassSurfaces(const lens::Lens& lens, Measure measure) {
  double least = kInfinity;
  for (const auto& s : lens.surfaceArray())
    if (s->glass()) least = std::min(least, measure(*s));
  return least;
}

double sinOfSlope(const Ray& r) { return std::sin(std::atan(r.py() / r.pz())); }

}  // namespace

double entrancePupilDiameter(const lens::Lens& l) { return stored(l, "entrancePupilDiameter"); }
double entrancePupilLocation(const lens::Lens& l) { return stored(l, "entrancePupilLocation"); }
double entrancePupilMagnification(const lens::Lens& l) { return stored(l, "entrancePupilMagnification"); }
double exitPupilDiameter(const lens::Lens& l) { return stored(l, "exitPupilDiameter"); }
double exitPupilLocation(const lens::Lens& l) { return stored(l, "exitPupilLocation"); }
double focalLength(const lens::Lens& l) { return stored(l, "focalLength"); }
double imageSpaceIndexOfRefraction(const lens::Lens& l) { return stored(l, "imageSpaceIndexOfRefraction"); }
double imageSpaceFocalRatio(const lens::Lens& l) { return stored(l, "imageSpaceFocalRatio"); }
double imageSpaceNumericalAperture(const lens::Lens& l) { return stored(l, "imageSpaceNumericalAperture"); }
double infiniteConjugateImageSpaceFocalRatio(const lens::Lens& l) {
  return stored(l, "infiniteConjugateImageSpaceFocalRatio");
}
double infiniteConjugateImageSpaceNumericalAperture(const lens::Lens& l) {
  return stored(l, "infiniteConjugateImageSpaceNumericalAperture");
}
double magnification(const lens::Lens& l) { return stored(l, "magnification"); }
double minification(const lens::Lens& l) { return stored(l, "minification"); }
double objectConeAngleInDegrees(const lens::Lens& l) { return stored(l, "objectConeAngleInDegrees"); }
double objectSpaceFocalRatio(const lens::Lens& l) { return stored(l, "objectSpaceFocalRatio"); }
double objectSpaceNumericalAperture(const lens::Lens& l) { return stored(l, "objectSpaceNumericalAperture"); }

bool entrancePupilDiameterDetermined(const lens::Lens& l) { return l.paraxialData().contains("entrancePupilDiameter"); }
bool objectSpaceNumericalApertureDetermined(const lens::Lens& l) {
  return l.paraxialData().contains("objectSpaceNumericalAperture");
}

foundation::XYZ exitPupilCenter(const lens::Lens& l) { return storedXYZ(l, "exitPupilCenter"); }
foundation::XYZ exitPupilNormal(const lens::Lens& l) { return storedXYZ(l, "exitPupilNormal"); }

bool isObjectAtInfinity(const lens::Lens& lens) {
  const auto object = lens.objectSurface();
  return object && std::isinf(object->thickness());
}

double totalTrack(const lens::Lens& lens) {
  const auto& surfaces = lens.surfaceArray();
  double sum = 0;
  for (std::size_t i = 1; i < surfaces.size(); ++i) sum += surfaces[i]->thickness();
  return sum;
}

double glassThickness(const lens::Lens& lens) {
  return smallestOverGlassSurfaces(lens, [](const lens::Surface& s) { return s.thickness(); });
}

double edgeThickness(const lens::Lens& lens) {
  return smallestOverGlassSurfaces(lens, [](const lens::Surface& s) { return s.edgeThickness(); });
}

bool isRandom(const lens::Lens& lens) {
  const auto& surfaces = lens.surfaceArray();
  return std::any_of(surfaces.begin(), surfaces.end(), [](const auto& s) { return s->type() == "Diffuser"; });
}

double indexOfRefractionForWave(const lens::Lens& lens, const lens::Wave& wave,
                                const std::shared_ptr<materials::Glass>& glass) {
  if (!glass) return lens.ambientIndexOfRefraction();
  return glass->indexAtWavelengthInMicrons(wave.wavelengthInMicrons());
}

double dispersionForGlass(lens::Lens& lens, const std::shared_ptr<materials::Glass>& glass) {
  const auto& waves = lens.waveArray();
  if (!glass || waves.size() < 2) return 0;
  double shortest = kInfinity, longest = -kInfinity;
  for (const auto& w : waves) {
    shortest = std::min(shortest, w->wavelengthInMicrons());
    longest = std::max(longest, w->wavelengthInMicrons());
  }
  const double primary = glass->indexAtWavelengthInMicrons(lens.primaryWave()->wavelengthInMicrons());
  if (primary == 0) return 0;
  return (glass->indexAtWavelengthInMicrons(shortest) - glass->indexAtWavelengthInMicrons(longest)) / primary;
}

double offenseAgainstSineCondition(lens::Lens& lens) {
  const auto image = lens.imageSurface();
  std::optional<Ray> marginal = rayForH(lens, {0, 0}, {0, 1});
  if (!marginal || !image) return std::numeric_limits<double>::quiet_NaN();
  const Ray objectSpace = *marginal;
  Ray paraxial = *marginal;
  traceRay(lens, *marginal);
  traceRay(lens, paraxial, nullptr, TraceOptions::paraxial(true));
  // A vignetted or lost ray would read its slope where it died.
  if (!marginal->isAlive() || !paraxial.isAlive()) return std::numeric_limits<double>::quiet_NaN();
  const auto& imageFromGlobal = image->transform().globalToLocalCoordinateTransformationMatrix();
  marginal->transformByMatrix(imageFromGlobal);
  paraxial.transformByMatrix(imageFromGlobal);

  const double sinUPrime = sinOfSlope(*marginal);
  const double uPrime = paraxial.uy();
  if (isObjectAtInfinity(lens)) return 1 - uPrime / sinUPrime;
  return 1 - (uPrime * sinOfSlope(objectSpace)) / (sinUPrime * objectSpace.uy());
}

void adjustFocus(lens::Lens& lens) {
  const auto focus = lens.focusSurface();
  if (!focus) return;
  RayWithFrame ray = axialFrameRayAtObject(lens);
  traceRay(lens, ray, nullptr, TraceOptions::analysis(true));
  const Transfer4& m = ray.transfer();
  const double qyqy = m[4 * 3 + 3], pyqy = m[4 * 1 + 3], qypy = m[4 * 3 + 1], pypy = m[4 * 1 + 1];
  // Distance along the final ray from the image surface to the paraxial focus, turned
  // into the focus surface's z, which runs against the light in reflected space.
  const double n = std::abs(ray.indexOfRefraction());
  const double along = isObjectAtInfinity(lens) ? -n * qyqy / pyqy : -n * qypy / pypy;
  const double zSign = focus->transform().rotateFromGlobal(ray.momentum()).z < 0 ? -1.0 : 1.0;
  const double thickness = focus->thickness();
  focus->setThicknessSolveType(0);
  focus->setThickness(thickness + zSign * along);
}

}  // namespace orb::tracing
