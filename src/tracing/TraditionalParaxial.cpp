#include "tracing/TraditionalParaxial.h"

#include <cmath>
#include <limits>
#include <memory>

#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/RayGeneration.h"
#include "tracing/Turner.h"

namespace orb::tracing {

namespace {

bool isInfinite(double v) { return !(std::abs(v) < std::numeric_limits<double>::infinity()); }

std::size_t firstIndex(const lens::Lens& lens) {
  const auto& s = lens.surfaceArray();
  std::size_t i = 1;
  while (i + 1 < s.size() && s[i]->isCoordinateBreak()) ++i;
  return i;
}

double vertexCurvature(const lens::Surface& s) {
  if (s.isCoordinateBreak()) return 0;
  // Aspheric types add their r² term to the vertex curvature; the turner knows how.
  if (auto turner = turnerForSurface(s)) return turner->curvature();
  return s.curvature();
}

double indexBehind(const lens::Lens& lens, const lens::Surface& s, double wavelengthInMicrons) {
  std::shared_ptr<materials::Medium> m = s.medium();
  if (!m) m = lens.ambientMedium();
  return m ? m->indexOfRefractionAtWavelengthInMicrons(wavelengthInMicrons) : 1.0;
}

std::optional<std::size_t> indexOf(const lens::Lens& lens, const lens::Surface* surface) {
  const auto& s = lens.surfaceArray();
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s[i].get() == surface) return i;
  return std::nullopt;
}

struct Rays {
  YNu a, b;
};

// Ray a: unit slope from the axis at the first vertex; ray b: unit height along the axis.
std::optional<Rays> abAt(const lens::Lens& lens, std::optional<std::size_t> to) {
  auto a = traceYNu(lens, 0, 1, to), b = traceYNu(lens, 1, 0, to);
  if (!a || !b) return std::nullopt;
  return Rays{*a, *b};
}

double sumOfThicknesses(const lens::Lens& lens, std::size_t from, std::size_t to) {
  double t = 0;
  for (std::size_t i = from; i < to; ++i) t += lens.surfaceArray()[i]->thickness();
  return t;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

std::optional<YNu> traceYNu(const lens::Lens& lens, double y0, double u0, std::optional<std::size_t> toIndex) {
  const auto& surfaces = lens.surfaceArray();
  if (surfaces.size() < 2) return std::nullopt;
  const std::size_t last = toIndex ? std::min(*toIndex, surfaces.size() - 1) : surfaces.size() - 1;
  auto wave = const_cast<lens::Lens&>(lens).primaryWave();
  const double lambda = wave->wavelengthInMicrons();
  std::shared_ptr<materials::Medium> objectMedium = surfaces.front()->medium();
  if (!objectMedium) objectMedium = lens.ambientMedium();
  YNu r{y0, u0, objectMedium ? objectMedium->indexOfRefractionAtWavelengthInMicrons(lambda) : 1.0};
  for (std::size_t i = firstIndex(lens); i <= last; ++i) {
    const lens::Surface& s = *surfaces[i];
    if (i == last) return r;
    const double c = vertexCurvature(s);
    double n2 = r.n;
    if (s.isMirror() && !s.isCoordinateBreak()) {
      n2 = -r.n;
    } else if (!s.isCoordinateBreak()) {
      n2 = std::copysign(indexBehind(lens, s, lambda), r.n);
    }
    // n'u' = nu − y·c·(n' − n)
    r.u = (r.n * r.u - r.y * c * (n2 - r.n)) / n2;
    r.n = n2;
    if (isInfinite(s.thickness())) return std::nullopt;
    r.y += r.u * s.thickness();
  }
  return r;
}

double measureFocalLengthTraditional(lens::Lens& lens) {
  const auto b = traceYNu(lens, 1, 0);
  return b ? -1.0 / (b->n * b->u) : kNaN;
}

double measureEntrancePupilLocationTraditional(lens::Lens& lens) {
  const auto r = abAt(lens, indexOf(lens, lens.stopSurface().get()));
  return r ? r->a.y / r->b.y : kNaN;
}

double measureEntrancePupilMagnificationTraditional(lens::Lens& lens) {
  const auto r = abAt(lens, indexOf(lens, lens.stopSurface().get()));
  if (!r) return kNaN;
  const double n0 = measureObjectSpaceIndexOfRefraction(lens);
  return (r->a.u - r->b.u * (r->a.y / r->b.y)) * (r->a.n / n0);
}

double measureExitPupilLocationTraditional(lens::Lens& lens) {
  const auto stop = abAt(lens, indexOf(lens, lens.stopSurface().get()));
  if (!stop) return kNaN;
  // The ray of unit slope that crosses the stop at its centre.
  const double k = -stop->a.y / stop->b.y;
  const auto chief = traceYNu(lens, k, 1);
  return chief ? -chief->y / chief->u : kNaN;
}

double measureExitPupilDiameterTraditional(lens::Lens& lens) {
  const std::optional<Ray> marginal = marginalRay(lens);
  if (!marginal) return 0;
  const double u0 = marginal->py() / marginal->pz();
  const auto m = traceYNu(lens, marginal->y() - marginal->z() * u0, u0);
  return m ? 2 * (m->y + measureExitPupilLocationTraditional(lens) * m->u) : kNaN;
}

double measureMagnificationTraditional(lens::Lens& lens) {
  const auto object = lens.objectSurface();
  if (!object || isInfinite(object->thickness())) return 0;
  const double z0 = object->zInGlobalCoordinates();
  const auto r = traceYNu(lens, -z0, 1);
  if (!r) return kNaN;
  const double n0 = measureObjectSpaceIndexOfRefraction(lens);
  // m = n₀u₀ / (n′u′), the Lagrange invariant's ratio.
  return n0 / (r->n * r->u);
}

platform::Dictionary stopTransferMatrixTraditional(lens::Lens& lens) {
  const auto r = abAt(lens, indexOf(lens, lens.stopSurface().get()));
  if (!r) return {};
  return platform::Dictionary{{"A", r->b.y}, {"B", r->a.y}, {"C", r->b.u}, {"D", r->a.u}};
}

void measureStopTransferMatrixTraditional(lens::Lens& lens) { lens.setStopTransferMatrix(stopTransferMatrixTraditional(lens)); }

platform::Dictionary cardinalDataTraditional(lens::Lens& lens) {
  const auto r = abAt(lens, std::nullopt);
  if (!r) return {};
  const YNu& a = r->a;
  const YNu& b = r->b;
  const auto& surfaces = lens.surfaceArray();
  const std::size_t first = firstIndex(lens);
  std::size_t lastInterface = first;
  if (auto li = indexOf(lens, lens.lastInterfaceSurface().get())) lastInterface = *li;
  const double T = sumOfThicknesses(lens, first, lastInterface);
  const double d = sumOfThicknesses(lens, lastInterface, surfaces.size() - 1);
  // Object side: slopes in object space are slopes along travel.
  const double F1 = a.u / b.u;
  const double P1 = a.y - b.y * F1 + F1;
  const double N1 = (a.u - 1) / b.u;
  // Image side, from the image vertex along +z.
  const double sign = a.n < 0 ? -1.0 : 1.0;
  const double F2 = -b.y / b.u, P2 = (1 - b.y) / b.u;
  // A ray aimed at N1 with unit slope leaves with unit slope along travel.
  const double N2 = (b.y * N1 - a.y) * sign;
  return platform::Dictionary{{"A", b.y},
                              {"B", a.y},
                              {"C", sign * b.u},
                              {"D", sign * a.u},
                              {"firstPrincipalFocus", F1},
                              {"firstPrincipalPoint", P1},
                              {"firstFocalLength", P1 - F1},
                              {"secondPrincipalPoint", P2 + d},
                              {"secondPrincipalFocus", F2 + d},
                              {"secondFocalLength", F2 - P2},
                              {"firstNodalPoint", N1},
                              {"secondNodalPoint", N2 + d},
                              {"thickness", T}};
}

void measureCardinalPointsTraditional(lens::Lens& lens) { lens.setCardinalData(cardinalDataTraditional(lens)); }

}  // namespace orb::tracing
