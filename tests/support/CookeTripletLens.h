#pragma once

// examples/CookeTriplet.orb as the lens document opens it, for the optimiser's tests and
// benchmarks alike.

#include <initializer_list>
#include <memory>
#include <string>

#include "lens/Lens.h"
#include "lens/Surface.h"
#include "optimisation/ArchiveClasses.h"
#include "platform/KeyedUnarchiver.h"
#include "tracing/Regeneration.h"

namespace orb::test {

/// The triplet of `examplesDirectory`/CookeTriplet.orb, validated and regenerated, with the
/// curvatures of the surfaces numbered in `variable` made variable; null when unreadable.
/// Its prescription (mm): s1 4.0 thick, glass nd 1.620408; s2 10.51018 air; s3 2.5, nd
/// 1.616589; s4 (the stop) 9.86946 air; s5 4.5, nd 1.620408; s6 to the image.
inline std::shared_ptr<lens::Lens> cookeTripletWithVariableCurvatures(const std::string& examplesDirectory,
                                                                      std::initializer_list<std::size_t> variable) {
  optimisation::registerArchiveClasses();
  tracing::registerSystemGenerator();
  const platform::Value root = platform::KeyedUnarchiver::unarchiveObjectWithFile(examplesDirectory + "/CookeTriplet.orb");
  auto lens = root.isDictionary() ? root.asDictionary().get("lens").objectIf<lens::Lens>() : nullptr;
  if (!lens) return nullptr;
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  for (std::size_t i : variable) lens->surfaceArray().at(i)->setCurvatureSolveType(1);
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  return lens;
}

}  // namespace orb::test
