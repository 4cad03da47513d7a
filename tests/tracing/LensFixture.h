#pragma once

// Small prescriptions built in tests: surfaces in order, placed along z as the system
// update would place them, with paraxial inputs given by the test.

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/TransformStack.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "materials/ZemaxGlass.h"
#include "platform/Value.h"

namespace orb::tracing::testing {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

/// Schott's Sellmeier coefficients of N-BK7, wavelength in microns.
inline constexpr double kBK7[6] = {1.03961212, 0.00600069867, 0.231792344, 0.0200179144, 1.01046945, 103.560653};

/// The index of N-BK7 computed here from its Sellmeier law, independently of the glass code.
inline double nbk7Index(double lambdaMicrons) {
  const double l2 = lambdaMicrons * lambdaMicrons;
  return std::sqrt(1 + kBK7[0] * l2 / (l2 - kBK7[1]) + kBK7[2] * l2 / (l2 - kBK7[3]) + kBK7[4] * l2 / (l2 - kBK7[5]));
}

inline std::shared_ptr<materials::Glass> nbk7() {
  auto g = materials::ZemaxGlass::glassWithName("N-BK7");
  g->setFormula(2);
  g->setCoefficientValuesFromDoubles(kBK7, 6);
  g->setReferenceIndex(1.5168);
  return g;
}

struct SurfaceSpec {
  double radius;  // 0 or ±∞: a plane
  double thickness;
  std::shared_ptr<materials::Glass> glass = nullptr;
  bool stop = false;
  bool mirror = false;
};

/// Places every surface in the global frame: the first one after the object surface at
/// the origin, each next one a thickness further along z, the object surface a finite
/// thickness before the first.
inline void placeSurfaces(lens::Lens& lens) {
  const auto& surfaces = lens.surfaceArray();
  foundation::TransformStack stack;
  foundation::xformPush(stack);
  foundation::xformLoadIdentity(stack);
  for (std::size_t i = 1; i < surfaces.size(); ++i) {
    surfaces[i]->implementCoordinateBreak(stack);
    foundation::TransformationMatrix forward, inverse;
    foundation::xformGetTop(stack, &forward, &inverse);
    surfaces[i]->setLocalToGlobalCoordinateTransformationMatrix(forward, inverse);
    surfaces[i]->implementExitFrame(stack);
  }
  const double t0 = surfaces.front()->thickness();
  const double z = std::isfinite(t0) ? -t0 : 0.0;
  surfaces.front()->setLocalToGlobalCoordinateTransformationMatrix(
      foundation::TransformationMatrix::translation({0, 0, z}), foundation::TransformationMatrix::translation({0, 0, -z}));
}

inline std::shared_ptr<lens::Surface> makeSurface(const SurfaceSpec& spec) {
  auto s = lens::Surface::create<lens::Surface>();
  if (spec.radius != 0 && std::isfinite(spec.radius)) s->setCurvature(1 / spec.radius);
  s->setThickness(spec.thickness);
  return s;
}

/// A lens of the given surfaces (object first, image last), one on-axis field, the
/// primary wave 587.56 nm, the surfaces placed.
inline std::shared_ptr<lens::Lens> makeLens(const std::vector<SurfaceSpec>& specs) {
  auto lens = lens::Lens::create();
  for (const SurfaceSpec& spec : specs) {
    auto s = makeSurface(spec);
    lens->insertInSurfaces(s);
    if (spec.glass) s->setGlass(spec.glass);
    if (spec.mirror) s->setIsMirror(true);
    if (spec.stop) s->setIsStop(true);
  }
  placeSurfaces(*lens);
  return lens;
}

/// The classic f = 100 mm, F/3 double Gauss (a published prescription), stop buried
/// between the two cemented doublets, in model glasses of the catalogue nd, Vd.
/// `objectDistance` infinite: angle fields; else object heights.
inline std::shared_ptr<lens::Lens> doubleGaussLens(double objectDistance = kInfinity) {
  auto ssk2 = materials::Glass::glassWithIndex(1.6223, 53.17);
  auto sk16 = materials::Glass::glassWithIndex(1.62041, 60.32);
  auto f5 = materials::Glass::glassWithIndex(1.60342, 38.03);
  return makeLens({{0, objectDistance},
                   {54.153246, 8.746658, ssk2},
                   {152.52192, 0.5},
                   {35.950624, 14, sk16},
                   {0, 3.776966, f5},
                   {22.269925, 14.253059},
                   {0, 12.428129, nullptr, true},
                   {-25.685033, 3.776966, f5},
                   {0, 10.833929, sk16},
                   {-36.980221, 0.5},
                   {196.41733, 6.858175, sk16},
                   {-67.14755, 57.314538},
                   {0, 0}});
}

/// Paraxial inputs the system update would measure; the tests give them.
inline void setParaxialInputs(lens::Lens& lens, double entrancePupilDiameter, double A = 1, double B = 0,
                              double objectSpaceNumericalAperture = 0) {
  platform::Dictionary data;
  data.set("objectSpaceIndexOfRefraction", 1.0);
  data.set("entrancePupilDiameter", entrancePupilDiameter);
  data.set("objectSpaceNumericalAperture", objectSpaceNumericalAperture);
  lens.setParaxialData(data);
  platform::Dictionary stop;
  stop.set("A", A);
  stop.set("B", B);
  lens.setStopTransferMatrix(stop);
}

}  // namespace orb::tracing::testing
