#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <thread>
#include <memory>
#include <string>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/LensDelegate.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "optimisation/ArchiveClasses.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "tracing/Regeneration.h"

namespace orb::optimisation::testing {

inline constexpr double kModelIndex = 1.5168;
/// The curvature of a plano-convex singlet of the model glass with a 100 mm focal length.
inline constexpr double kFocus100Curvature = 1.0 / ((kModelIndex - 1.0) * 100.0);

/// Counts the change cycles the lens runs for its owner, as the document does to register
/// one undo step per cycle.
class CountingDelegate : public lens::LensDelegate {
 public:
  void primeUndoForLensChange() override { ++primes; }
  int primes = 0;
};

/// A plano-convex singlet of the model glass nd 1.5168, object at infinity, stop on the
/// first surface, entrance pupil 10, fields 0° and 5°, flat back, d light. With `variableS1` (and
/// `variableS2`) the curvatures are marked variable. Regenerated and ready.
inline std::shared_ptr<lens::Lens> singletLens(double c1, bool variableS1 = true, bool variableS2 = false,
                                               double c2 = 0) {
  registerArchiveClasses();
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  auto front = lens::Surface::create();
  front->setCurvature(c1);
  front->setThickness(4);
  front->setGlass(materials::Glass::glassWithIndex(kModelIndex));
  auto back = lens::Surface::create();
  back->setCurvature(c2);
  back->setThickness(97);
  auto image = lens::Surface::create();
  for (const auto& s : {object, front, back, image}) lens->insertInSurfaces(s);
  lens->setStopSurface(front);
  if (variableS1) front->setCurvatureSolveType(1);
  if (variableS2) back->setCurvatureSolveType(1);
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(10);
  auto axis = lens::Field::field();
  auto edge = lens::Field::field();
  edge->setY(5);
  lens->setFieldArray({axis, edge});
  lens->generateSystemFromParaxialSpecification();
  EXPECT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  lens->setIsReady(true);
  platform::RunLoop::main().runUntilIdle();
  return lens;
}

/// User defaults of the test's own, in a fresh directory removed afterwards, without the
/// factory values (the optimisation code must supply its own).
class TempDefaults {
 public:
  TempDefaults() {
    m_dir = std::filesystem::temp_directory_path() /
            ("orb-optimisation-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
    m_defaults = platform::makeObject<platform::UserDefaults>(m_dir.string());
  }
  ~TempDefaults() {
    m_defaults.reset();
    std::filesystem::remove_all(m_dir);
  }
  platform::UserDefaults& operator*() { return *m_defaults; }

 private:
  std::filesystem::path m_dir;
  std::shared_ptr<platform::UserDefaults> m_defaults;
};

/// Pumps the main run loop until `done` holds (the bound only guards against a hang).
inline bool pumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    if (!platform::RunLoop::main().runOnce()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return done();
}

inline double curvatureOf(const lens::Lens& lens, std::size_t surface) {
  return lens.valueForKeyPath("s" + std::to_string(surface) + ".curvature").asDouble();
}

}  // namespace orb::optimisation::testing
