#include "tracing/ParaxialMeasurement.h"

#include <cmath>
#include <limits>
#include <memory>

#include "geometry/values/XYZValue.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/Log.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {

namespace {

using foundation::XYZ;
using platform::Dictionary;
constexpr double kDegrees = 57.29577951308232;

bool isInfinite(double v) { return !(std::abs(v) < std::numeric_limits<double>::infinity()); }

const TraceOptions kAnalysis = TraceOptions::analysis(true);

// The y section of a framed ray's transfer matrix in momentum form: (py, qy) ← (py0, qy0).
struct Section {
  double pp, pq, qp, qq;
};
Section ySection(const RayWithFrame& r) {
  const Transfer4& m = r.transfer();
  return {m[4 * 1 + 1], m[4 * 1 + 3], m[4 * 3 + 1], m[4 * 3 + 3]};
}

bool objectAtInfinity(const lens::Lens& lens) {
  const auto object = lens.objectSurface();
  return !object || isInfinite(object->thickness());
}

}  // namespace

AxialBasis AxialBasis::of(const RayWithFrame& ray) {
  const double n0 = ray.initialIndexOfRefraction();
  return {n0 * ray.aH(), ray.aU(), ray.bH(), ray.bU() / n0};
}

double travelSign(const RayWithFrame& ray) { return ray.isAlive() && ray.momentum().z < 0 ? -1.0 : 1.0; }

double objectSpaceIndexOfRefractionAtWave(lens::Lens& lens, const lens::Wave& wave) {
  std::shared_ptr<materials::Medium> medium;
  if (auto object = lens.objectSurface()) medium = object->medium();
  if (!medium) medium = lens.ambientMedium();
  return medium ? medium->indexOfRefractionAtWavelengthInMicrons(wave.wavelengthInMicrons()) : 1.0;
}

double measureObjectSpaceIndexOfRefraction(lens::Lens& lens) {
  return objectSpaceIndexOfRefractionAtWave(lens, *lens.primaryWave());
}

RayWithFrame axialFrameRay(lens::Lens& lens) {
  RayWithFrame ray(XYZ{0, 0, 0}, XYZ{0, 0, 1}, measureObjectSpaceIndexOfRefraction(lens));
  ray.setWave(lens.primaryWave());
  return ray;
}

RayWithFrame axialFrameRayAtObject(lens::Lens& lens) {
  RayWithFrame ray = axialFrameRay(lens);
  if (!objectAtInfinity(lens)) ray.setPosition(XYZ{0, 0, lens.objectSurface()->zInGlobalCoordinates()});
  return ray;
}

RayWithFrame tracedAxialFrameRay(lens::Lens& lens, const lens::Surface* toSurface) {
  RayWithFrame ray = axialFrameRay(lens);
  traceRay(lens, ray, toSurface, kAnalysis);
  return ray;
}

double measureImageSpaceIndexOfRefraction(lens::Lens& lens) {
  const RayWithFrame ray = tracedAxialFrameRay(lens);
  return travelSign(ray) * ray.indexOfRefraction();
}

double measureFocalLength(lens::Lens& lens) { return -1.0 / ySection(tracedAxialFrameRay(lens)).pq; }

double measureEntrancePupilLocation(lens::Lens& lens) {
  const AxialBasis b = AxialBasis::of(tracedAxialFrameRay(lens, lens.stopSurface().get()));
  return b.aH / b.bH;
}

double measureEntrancePupilMagnification(lens::Lens& lens) {
  const AxialBasis b = AxialBasis::of(tracedAxialFrameRay(lens, lens.stopSurface().get()));
  return b.aU - b.bU * (b.aH / b.bH);
}

double floatByStopSizeEntrancePupilDiameter(lens::Lens& lens) {
  const auto stop = lens.stopSurface();
  if (!stop) return 0;
  const double rs = stop->semidiameter();
  double h = 0, previous = std::numeric_limits<double>::infinity();
  for (int i = 0; i < 3; ++i) {
    RayWithFrame ray = axialFrameRay(lens);
    ray.setPosition(XYZ{0, h, 0});
    traceRay(lens, ray, stop.get(), TraceOptions::checkingApertures(true));
    if (!ray.isAlive()) break;
    const double e = rs - ray.y();
    if (std::abs(e) > std::abs(previous)) break;
    h += e / ySection(ray).qq;
    previous = e;
  }
  return 2 * h;
}

Dictionary measureExitPupilPositionData(lens::Lens& lens) {
  const RayWithFrame toStop = tracedAxialFrameRay(lens, lens.stopSurface().get());
  const RayWithFrame total = tracedAxialFrameRay(lens);
  if (!total.isAlive()) platform::log("ray dead");
  // Stop to image: T · S⁻¹ in the y section (momentum form, determinant 1 but divided
  // out all the same).
  const Section s = ySection(toStop), t = ySection(total);
  const double det = s.pp * s.qq - s.pq * s.qp;
  const double qp = (t.qp * s.qq - t.qq * s.qp) / det;
  const double pp = (t.pp * s.qq - t.pq * s.qp) / det;
  // The matrix follows the direction of travel, so L is measured along the final ray.
  const double location = -total.indexOfRefraction() * qp / pp;
  const XYZ dir = total.unitDirector();
  const XYZ centre{total.x() + location * dir.x, total.y() + location * dir.y, total.z() + location * dir.z};
  Dictionary out;
  out.set("exitPupilLocation", location);
  out.set("exitPupilCenter", geometry::XYZValue::valueWithXYZ(centre));
  out.set("exitPupilNormal", geometry::XYZValue::valueWithXYZ(dir));
  return out;
}

namespace {
// (slope, height) at global z = 0 of a ray given in object space.
std::pair<double, double> slopeAndHeightAtOrigin(const Ray& r) {
  const double u = r.py() / r.pz();
  return {u, r.y() - r.z() * u};
}
}  // namespace

double measureExitPupilDiameter(lens::Lens& lens) {
  const std::optional<Ray> marginal = marginalRay(lens);
  if (!marginal) return 0;
  const auto [u0, y0] = slopeAndHeightAtOrigin(*marginal);
  const RayWithFrame end = tracedAxialFrameRay(lens);
  const AxialBasis b = AxialBasis::of(end);
  const double location = numberForKey(lens.paraxialData(), "exitPupilLocation").value_or(0);
  return 2 * (b.heightOf(u0, y0) + location * b.slopeOf(u0, y0));
}

double halfAngleOfViewInDegrees(lens::Lens& lens) {
  std::optional<Ray> chief = rayForH(lens, {0, 1}, {0, 0});
  if (!chief) return 0;
  traceRay(lens, *chief, nullptr, kAnalysis);
  const double location = numberForKey(lens.paraxialData(), "exitPupilLocation").value_or(0);
  return std::atan(-chief->y() / location) * kDegrees;
}

double measureMagnification(lens::Lens& lens) {
  RayWithFrame ray = axialFrameRayAtObject(lens);
  traceRay(lens, ray, nullptr, kAnalysis);
  const Section s = ySection(ray);
  return objectAtInfinity(lens) ? s.qp : 1.0 / s.pp;
}

double measureMagnificationX(lens::Lens& lens) {
  RayWithFrame ray = axialFrameRayAtObject(lens);
  traceRay(lens, ray, nullptr, kAnalysis);
  const Transfer4& m = ray.transfer();
  return objectAtInfinity(lens) ? m[4 * 2 + 0] : 1.0 / m[0];
}

void measureStopTransferMatrix(lens::Lens& lens) {
  const RayWithFrame ray = tracedAxialFrameRay(lens, lens.stopSurface().get());
  const double n0 = ray.initialIndexOfRefraction(), n = ray.indexOfRefraction();
  const Section s = ySection(ray);
  // Inputs are height and slope u = p/n₀, so the momentum column carries n₀.
  lens.setStopTransferMatrix(Dictionary{{"A", s.qq}, {"B", s.qp * n0}, {"C", s.pq / n}, {"D", s.pp * n0 / n}});
}

Dictionary cardinalDataFromBasis(lens::Lens& lens, const AxialBasis& e, double sign) {
  // Image-side slopes as dy/dz so that positions come out along +z in reflected space.
  const double bU = sign * e.bU;
  const double F1 = e.aU / e.bU;
  const double f1 = e.aH - e.bH * F1;
  const double N1 = (e.aU - 1) / e.bU;
  const double F2 = -e.bH / bU, P2 = (1 - e.bH) / bU, N2 = e.bH * N1 - e.aH;
  const auto system = lens.systemSurface(), last = lens.lastInterfaceSurface(), image = lens.imageSurface();
  const double thickness = last && system ? last->track() - system->track() : 0;
  const double d = image && last ? image->track() - last->track() : 0;
  return Dictionary{{"A", e.bH},
                    {"B", e.aH},
                    {"C", e.bU},
                    {"D", e.aU},
                    {"firstPrincipalFocus", F1},
                    {"firstPrincipalPoint", F1 + f1},
                    {"firstFocalLength", f1},
                    {"secondPrincipalPoint", P2 + d},
                    {"secondPrincipalFocus", F2 + d},
                    {"secondFocalLength", -1 / bU},
                    {"firstNodalPoint", N1},
                    {"secondNodalPoint", sign * N2 + d},
                    {"thickness", thickness}};
}

void measureCardinalPoints(lens::Lens& lens) {
  const RayWithFrame ray = tracedAxialFrameRay(lens);
  lens.setCardinalData(
      cardinalDataFromBasis(lens, AxialBasis::of(ray), travelSign(ray)));
}

Dictionary measureParaxialDataToLevel(lens::Lens& lens, int level) {
  Dictionary d;
  const auto object = lens.objectSurface();
  const bool infinite = objectAtInfinity(lens);
  const double L = !object ? std::numeric_limits<double>::infinity()
                   : infinite ? object->thickness()
                              : -object->zInGlobalCoordinates();
  double n0 = 1.0;
  if (level >= 0) {
    n0 = measureObjectSpaceIndexOfRefraction(lens);
    d.set("objectSpaceIndexOfRefraction", n0);
  }
  std::optional<double> epl;
  if (level >= 1) {
    epl = lens.useTelecentricMode() ? std::numeric_limits<double>::infinity() : measureEntrancePupilLocation(lens);
    d.set("entrancePupilLocation", *epl);
    d.set("entrancePupilMagnification", measureEntrancePupilMagnification(lens));
  }
  std::optional<double> f, m;
  if (level >= 2) {
    for (const auto& [k, v] : measureExitPupilPositionData(lens)) d.set(k, v);
    f = measureFocalLength(lens);
    d.set("focalLength", *f);
    d.set("imageSpaceIndexOfRefraction", measureImageSpaceIndexOfRefraction(lens));
    m = measureMagnification(lens);
    d.set("magnification", *m);
    d.set("minification", 1.0 / *m);
  }
  auto has = [&](const char* k) { return d.contains(k); };
  auto num = [&](const char* k) { return d.get(k).asDouble(); };
  const double V = lens.sourceDivergenceValue();
  switch (lens.sourceDivergenceType()) {
    case 0: d.set("entrancePupilDiameter", V); break;
    case 1:
      d.set("infiniteConjugateImageSpaceFocalRatio", V);
      d.set("infiniteConjugateImageSpaceNumericalAperture", 0.5 / V);
      if (f) d.set("entrancePupilDiameter", 2 * (0.5 / V) * *f);
      break;
    case 2: d.set("objectSpaceNumericalAperture", V); break;
    case 3:
      if (has("entrancePupilMagnification")) d.set("entrancePupilDiameter", floatByStopSizeEntrancePupilDiameter(lens));
      break;
    case 4:
      d.set("imageSpaceFocalRatio", V);
      d.set("imageSpaceNumericalAperture", 0.5 / V);
      if (!infinite && m) d.set("objectSpaceNumericalAperture", *m * 0.5 / V);
      if (infinite && f) d.set("entrancePupilDiameter", 2 * (0.5 / V) * *f);
      break;
    case 5:
      d.set("objectConeAngleInDegrees", V);
      d.set("objectSpaceNumericalAperture", n0 * std::sin(V / kDegrees));
      break;
    case 6:
      d.set("infiniteConjugateImageSpaceNumericalAperture", V);
      if (f) d.set("entrancePupilDiameter", 2 * V * *f);
      break;
    case 7:
      d.set("objectSpaceFocalRatio", V);
      d.set("objectSpaceNumericalAperture", 0.5 / V);
      break;
    case 8:
      d.set("imageSpaceNumericalAperture", V);
      if (!infinite && m) d.set("objectSpaceNumericalAperture", *m * V);
      if (infinite && f) d.set("entrancePupilDiameter", 2 * V * *f);
      break;
    default: break;
  }

  if (!infinite) {
    if (!has("objectSpaceNumericalAperture") && has("entrancePupilDiameter") && epl) {
      const double cone = std::atan(0.5 * num("entrancePupilDiameter") / (L + *epl)) * kDegrees;
      if (!has("objectConeAngleInDegrees")) d.set("objectConeAngleInDegrees", cone);
      d.set("objectSpaceNumericalAperture", n0 * std::sin(cone / kDegrees));
    }
    if (!has("objectSpaceNumericalAperture")) return d;
    const double NA = num("objectSpaceNumericalAperture");
    if (!has("objectConeAngleInDegrees")) d.set("objectConeAngleInDegrees", std::asin(NA / n0) * kDegrees);
    if (!has("entrancePupilDiameter") && epl)
      d.set("entrancePupilDiameter", 2 * (L + *epl) * std::tan(num("objectConeAngleInDegrees") / kDegrees));
    if (!has("objectSpaceFocalRatio")) d.set("objectSpaceFocalRatio", 0.5 / NA);
    if (f && has("entrancePupilDiameter")) {
      const double epd = num("entrancePupilDiameter");
      if (!has("infiniteConjugateImageSpaceFocalRatio")) d.set("infiniteConjugateImageSpaceFocalRatio", *f / epd);
      if (!has("infiniteConjugateImageSpaceNumericalAperture"))
        d.set("infiniteConjugateImageSpaceNumericalAperture", 0.5 * epd / *f);
    }
    if (!has("imageSpaceNumericalAperture") && m) d.set("imageSpaceNumericalAperture", NA / *m);
    if (!has("imageSpaceFocalRatio") && has("imageSpaceNumericalAperture"))
      d.set("imageSpaceFocalRatio", 0.5 / num("imageSpaceNumericalAperture"));
    return d;
  }

  if (!has("entrancePupilDiameter") && has("objectSpaceNumericalAperture") && epl)
    d.set("entrancePupilDiameter", 2 * (L + *epl) * std::tan(std::asin(num("objectSpaceNumericalAperture") / n0)));
  if (!has("entrancePupilDiameter")) return d;
  const double epd = num("entrancePupilDiameter");
  if (!has("objectConeAngleInDegrees") && epl)
    d.set("objectConeAngleInDegrees", isInfinite(L) ? 0.0 : std::atan(0.5 * epd / (L + *epl)) * kDegrees);
  if (!has("objectSpaceNumericalAperture") && has("objectConeAngleInDegrees"))
    d.set("objectSpaceNumericalAperture", n0 * std::sin(num("objectConeAngleInDegrees") / kDegrees));
  if (!has("objectSpaceFocalRatio") && has("objectSpaceNumericalAperture")) {
    const double NA = num("objectSpaceNumericalAperture");
    d.set("objectSpaceFocalRatio", isInfinite(NA) ? 0.0 : 0.5 / NA);
  }
  if (f) {
    if (!has("infiniteConjugateImageSpaceFocalRatio")) d.set("infiniteConjugateImageSpaceFocalRatio", *f / epd);
    if (!has("infiniteConjugateImageSpaceNumericalAperture"))
      d.set("infiniteConjugateImageSpaceNumericalAperture", 0.5 * epd / *f);
  }
  if (!has("imageSpaceNumericalAperture") && has("infiniteConjugateImageSpaceNumericalAperture"))
    d.set("imageSpaceNumericalAperture", num("infiniteConjugateImageSpaceNumericalAperture"));
  if (!has("imageSpaceFocalRatio") && has("imageSpaceNumericalAperture"))
    d.set("imageSpaceFocalRatio", 0.5 / num("imageSpaceNumericalAperture"));
  return d;
}

double airyDiskRadiusWithWave(const lens::Lens& lens, const lens::Wave& wave) {
  return 1.21967 * wave.wavelengthInMillimeters() *
         numberForKey(lens.paraxialData(), "imageSpaceFocalRatio").value_or(0);
}

double airyDiskRadius(lens::Lens& lens) { return airyDiskRadiusWithWave(lens, *lens.primaryWave()); }

double diffractionLength(lens::Lens& lens) {
  return 2 * lens.primaryWave()->wavelengthInMillimeters() *
         std::abs(numberForKey(lens.paraxialData(), "imageSpaceFocalRatio").value_or(0));
}

double diffractionAngle(lens::Lens& lens) {
  return lens.primaryWave()->wavelengthInMillimeters() /
         numberForKey(lens.paraxialData(), "exitPupilDiameter").value_or(0);
}

std::optional<double> numberForKey(const Dictionary& d, const char* key) {
  const platform::Value* v = d.find(key);
  if (!v || !v->isNumber()) return std::nullopt;
  return v->asDouble();
}

double cardinalValue(const lens::Lens& lens, const char* key) {
  return numberForKey(lens.cardinalData(), key).value_or(0);
}

}  // namespace orb::tracing
