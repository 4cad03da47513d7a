#pragma once

#include <limits>
#include <memory>

#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"

namespace orb::bench {

/// The f = 100 mm, F/3 double Gauss of the benchmarks: eleven spherical surfaces between
/// object and image, model glasses for SSK2, SK16 and F5. Returns the lens (not watching
/// itself, so no change cycle runs while it is built) and the index of the stop surface,
/// which each benchmark marks its own way.
inline std::shared_ptr<lens::Lens> doubleGaussLens(std::size_t& stopIndex) {
  struct Spec {
    double radius, thickness;
    std::shared_ptr<materials::Glass> glass;
  };
  auto ssk2 = materials::Glass::glassWithIndex(1.6223, 53.17);
  auto sk16 = materials::Glass::glassWithIndex(1.62041, 60.32);
  auto f5 = materials::Glass::glassWithIndex(1.60342, 38.03);
  const double inf = std::numeric_limits<double>::infinity();
  const Spec specs[] = {{0, inf, nullptr},          {54.153246, 8.746658, ssk2}, {152.52192, 0.5, nullptr},
                        {35.950624, 14, sk16},      {0, 3.776966, f5},           {22.269925, 14.253059, nullptr},
                        {0, 12.428129, nullptr},    {-25.685033, 3.776966, f5},  {0, 10.833929, sk16},
                        {-36.980221, 0.5, nullptr}, {196.41733, 6.858175, sk16}, {-67.14755, 57.314538, nullptr},
                        {0, 0, nullptr}};
  stopIndex = 6;
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  for (const Spec& spec : specs) {
    auto s = lens::Surface::create();
    if (spec.radius != 0) s->setCurvature(1 / spec.radius);
    s->setThickness(spec.thickness);
    lens->insertInSurfaces(s);
    if (spec.glass) s->setGlass(spec.glass);
  }
  return lens;
}

}  // namespace orb::bench
