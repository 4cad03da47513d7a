#pragma once

// A small lens that leaves every fast path of a trace: an even asphere on each element, a
// coordinate break between them that decentres and tilts everything behind it, a clear
// aperture that clips the outer field, three weighted waves. Made by the system update.

#include <array>
#include <limits>
#include <memory>
#include <utility>

#include "lens/CircularAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/Regeneration.h"

namespace orb::support {

/// Object at infinity, entrance pupil 12, angle fields 0°, (2°, 3°) and (0°, 6°), waves F,
/// d (primary), C weighted 1, 2 and 0.5. Surfaces: 1 even asphere (R 45, a4 −2e−6, a6
/// 1e−9) into glass 1.5168; 2 sphere R −120; 3 coordinate break (dx 0.5, dy −0.4, rx 2°,
/// ry −1.5°); 4 the stop; 5 sphere R −30 into glass 1.6727 behind a clear aperture of
/// radius `clearRadius`; 6 even asphere (R −90, a4 3e−6); 7 image plane 40 behind.
inline std::shared_ptr<lens::Lens> tiltedAsphereLens(bool rayAiming, double clearRadius = 5.2) {
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  auto crown = materials::Glass::glassWithIndex(1.5168, 64.17);
  auto flint = materials::Glass::glassWithIndex(1.6727, 32.2);
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  auto front = lens::Surface::create<lens::SurfaceAsphere>();
  front->setCurvature(1 / 45.0);
  front->parameterForTitle("a4")->setValue(-2e-6);
  front->parameterForTitle("a6")->setValue(1e-9);
  front->setThickness(7);
  auto back = lens::Surface::create();
  back->setCurvature(-1 / 120.0);
  back->setThickness(3);
  auto brk = lens::Surface::create<lens::CoordinateBreak>();
  for (const auto& [title, value] : {std::pair{"dx", 0.5}, {"dy", -0.4}, {"rx", 2.0}, {"ry", -1.5}})
    brk->parameterForTitle(title)->setValue(value);
  auto stop = lens::Surface::create();
  stop->setThickness(4);
  auto second = lens::Surface::create();
  second->setCurvature(-1 / 30.0);
  second->setThickness(2.5);
  second->setAperture(lens::CircularAperture::annulusWithMinRadius(0, clearRadius));
  auto last = lens::Surface::create<lens::SurfaceAsphere>();
  last->setCurvature(-1 / 90.0);
  last->parameterForTitle("a4")->setValue(3e-6);
  last->setThickness(40);
  auto image = lens::Surface::create();
  const std::shared_ptr<lens::Surface> surfaces[] = {object, front, back, brk, stop, second, last, image};
  for (const auto& s : surfaces) lens->insertInSurfaces(s);
  front->setGlass(crown);
  second->setGlass(flint);
  lens->setStopSurface(stop);
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(12);
  auto axis = lens::Field::field();
  auto skew = lens::Field::field();
  skew->setX(2);
  skew->setY(3);
  auto edge = lens::Field::field();
  edge->setY(6);
  lens->setFieldArray({axis, skew, edge});
  auto waves = lens::Wave::FdC();
  for (std::size_t i = 0; i < waves.size(); ++i) waves[i]->setWeight(std::array{1.0, 2.0, 0.5}[i]);
  lens->setWaveArray(waves);
  lens->setUseRayAiming(rayAiming);
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

}  // namespace orb::support
