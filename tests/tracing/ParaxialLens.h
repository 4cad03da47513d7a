#pragma once

// Small centred prescriptions for the paraxial tests: object surface first, image last,
// glasses of a fixed index, the entrance pupil diameter as the aperture, semidiameters
// sized paraxially.

#include <limits>
#include <memory>
#include <vector>

#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"

namespace orb::tracing::paraxialtest {

inline constexpr double kInf = std::numeric_limits<double>::infinity();

struct Spec {
  double radius;  // 0: plane
  double thickness;
  double index = 1;  // 1: air
  bool stop = false;
  bool mirror = false;
  double conic = 0;
};

inline std::shared_ptr<lens::Lens> makeLens(const std::vector<Spec>& specs, double epd = 10) {
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  for (const Spec& spec : specs) {
    auto s = lens::Surface::create();
    if (spec.radius != 0) s->setCurvature(1 / spec.radius);
    s->setThickness(spec.thickness);
    s->setConicConstant(spec.conic);
    lens->insertInSurfaces(s);
    if (spec.index != 1) s->setGlass(materials::Glass::glassWithIndex(spec.index));
    if (spec.mirror) s->setIsMirror(true);
    if (spec.stop) lens->setStopSurface(s);
  }
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(epd);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  return lens;
}

}  // namespace orb::tracing::paraxialtest
