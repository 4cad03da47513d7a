// The driver keeps what it prepares for a lens (pushers, turners, names, column steps)
// between traces. A kept plan that outlives an edit would give plainly wrong rays, so
// every kind of edit is checked the same way: trace, edit, trace again, and compare with
// a lens built and edited the same way that never traced before the edit.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LensFixture.h"
#include "lens/CircularAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Parameter.h"
#include "lens/SurfaceAsphere.h"
#include "lens/Wave.h"
#include "materials/GlassWithCoefficients.h"
#include "platform/UserDefaults.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"
#include "tracing/RayWithFrame.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;
using namespace testing;

void setParameter(lens::Surface& s, const std::string& title, double value) {
  auto p = s.parameterForTitle(title);
  ASSERT_TRUE(p) << title;
  p->setValue(value);
}

// Object 200 mm away; an even asphere of N-BK7, a sphere with a circular aperture that
// clips the outer rays, a coordinate break, the stop, a plane, the image. Three waves.
std::shared_ptr<lens::Lens> buildLens() {
  auto lens = lens::Lens::create();
  auto add = [&](std::shared_ptr<lens::Surface> s, double thickness) {
    s->setThickness(thickness);
    lens->insertInSurfaces(s);
    return s;
  };
  add(lens::Surface::create<lens::Surface>(), 200);
  auto asphere = add(lens::Surface::create<lens::SurfaceAsphere>(), 6);
  asphere->setCurvature(1 / 40.0);
  setParameter(*asphere, "a4", -2e-6);
  setParameter(*asphere, "a6", 1e-9);
  asphere->setGlass(nbk7());
  auto sphere = add(lens::Surface::create<lens::Surface>(), 3);
  sphere->setCurvature(-1 / 60.0);
  sphere->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 9));
  add(lens::Surface::create<lens::CoordinateBreak>(), 0);
  add(lens::Surface::create<lens::Surface>(), 20)->setIsStop(true);
  add(lens::Surface::create<lens::Surface>(), 30);
  add(lens::Surface::create<lens::Surface>(), 0);
  lens->setWaveArray(lens::Wave::FdC());
  placeSurfaces(*lens);
  return lens;
}

// Two object points, a 2 × 5 grid on the first vertex plane, every wave of the lens.
std::vector<Ray> startingRays(lens::Lens& lens) {
  std::vector<Ray> rays;
  for (const auto& wave : lens.waveArray())
    for (double h : {0.0, 4.0})
      for (double x : {0.0, 6.0})
        for (double y : {-10.0, -5.0, 0.0, 5.0, 10.0}) {
          const XYZ from{0, h, -200};
          XYZ d{x, y - h, 200};
          const double l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
          Ray r(from, XYZ{d.x / l, d.y / l, d.z / l}, 1.0);
          r.setWave(wave);
          rays.push_back(r);
        }
  return rays;
}

// What a trace gives: the numbers of every ray and the causes and places of death.
struct Outcome {
  std::vector<double> numbers;
  std::vector<std::string> words;

  void add(const Ray& r) {
    numbers.insert(numbers.end(), {r.x(), r.y(), r.z(), r.px(), r.py(), r.pz(), r.opticalPathLength(),
                                   r.isAlive() ? 1.0 : 0.0});
    words.push_back(r.tags().causeOfDeath ? r.tags().causeOfDeath : "alive");
    words.push_back(r.tags().diedAtSurface);
  }
};

// The rays traced every way the driver keeps plans for: plain rays (columns), a bundle,
// framed rays (the one-ray stage), and plain rays to an inner target.
Outcome traceEveryWay(lens::Lens& lens) {
  Outcome out;
  const std::vector<Ray> start = startingRays(lens);
  std::vector<Ray> plain = start;
  traceRays(lens, std::span<Ray>(plain));
  for (const Ray& r : plain) out.add(r);

  RayBundle bundle;
  for (const Ray& r : start) bundle.append(r);
  traceRays(lens, bundle);
  for (std::size_t i = 0; i < bundle.size(); ++i) out.add(bundle.ray(i));

  std::vector<RayWithFrame> framed;
  for (const Ray& r : start) framed.emplace_back(r);
  traceRays(lens, std::span<RayWithFrame>(framed));
  for (const RayWithFrame& r : framed) out.add(r);

  std::vector<Ray> inner = start;
  const auto& surfaces = lens.surfaceArray();
  traceRays(lens, std::span<Ray>(inner), surfaces[surfaces.size() - 3].get());
  for (const Ray& r : inner) out.add(r);
  return out;
}

// Largest difference between two outcomes (NaN against NaN counts as equal); infinite
// when they differ in size or in any cause or place.
double difference(const Outcome& a, const Outcome& b) {
  if (a.numbers.size() != b.numbers.size() || a.words != b.words) return INFINITY;
  double worst = 0;
  for (std::size_t i = 0; i < a.numbers.size(); ++i) {
    const double x = a.numbers[i], y = b.numbers[i];
    if (std::isnan(x) && std::isnan(y)) continue;
    worst = std::max(worst, std::isnan(x) || std::isnan(y) ? INFINITY : std::abs(x - y));
  }
  return worst;
}

// The acquisition tolerance is a user default the lenses follow; the tests put back what
// was there.
class KeptPlanTest : public ::testing::Test {
 protected:
  void SetUp() override { m_tolerance = platform::UserDefaults::standard().objectForKey("rayAcquisitionTolerance"); }
  void TearDown() override {
    auto& defaults = platform::UserDefaults::standard();
    defaults.removeObject("rayAcquisitionTolerance");
    if (!m_tolerance.isNil() && m_tolerance != defaults.objectForKey("rayAcquisitionTolerance"))
      defaults.setObject("rayAcquisitionTolerance", m_tolerance);
  }

 private:
  platform::Value m_tolerance;
};

struct Edit {
  const char* name;
  std::function<void(lens::Lens&)> edit;
  // After the surfaces are placed again: a frame moved the way the system update moves
  // it, without any announced change.
  std::function<void(lens::Lens&)> afterPlacing = nullptr;
};

lens::Surface& surface(lens::Lens& lens, std::size_t i) { return *lens.surfaceArray()[i]; }

const std::vector<Edit>& edits() {
  static const std::vector<Edit> cases = {
      {"curvature", [](lens::Lens& l) { surface(l, 1).setCurvature(1 / 45.0); }},
      {"thickness", [](lens::Lens& l) { surface(l, 2).setThickness(5); }},
      {"glass coefficients",
       [](lens::Lens& l) {
         double sellmeier[6];
         std::copy(std::begin(kBK7), std::end(kBK7), sellmeier);
         sellmeier[0] = 1.2;
         std::dynamic_pointer_cast<materials::GlassWithCoefficients>(surface(l, 1).glass())
             ->setCoefficientValuesFromDoubles(sellmeier, 6);
       }},
      {"glass replaced by a model", [](lens::Lens& l) { surface(l, 1).setGlass(materials::Glass::glassWithIndex(1.7, 30)); }},
      {"wavelength", [](lens::Lens& l) { l.waveArray()[0]->setWavelengthInMicrons(0.45); }},
      {"aperture radius",
       [](lens::Lens& l) {
         std::static_pointer_cast<lens::CircularAperture>(surface(l, 2).apertureObject())->setRMax(6);
       }},
      {"decentre and tilt by a coordinate break",
       [](lens::Lens& l) {
         setParameter(surface(l, 3), "dy", 0.7);
         setParameter(surface(l, 3), "rx", 3);
       }},
      {"frame set without an announcement", [](lens::Lens&) {},
       [](lens::Lens& l) {
         const auto shift = foundation::TransformationMatrix::translation({0.3, -0.5, 0});
         const auto back = foundation::TransformationMatrix::translation({-0.3, 0.5, 0});
         lens::Surface& s = surface(l, 2);
         s.setLocalToGlobalCoordinateTransformationMatrix(
             shift * s.transform().localToGlobalCoordinateTransformationMatrix(),
             s.transform().globalToLocalCoordinateTransformationMatrix() * back);
       }},
      {"surface inserted",
       [](lens::Lens& l) {
         auto s = lens::Surface::create<lens::Surface>();
         s->setCurvature(1 / 100.0);
         s->setThickness(2);
         l.insertObjectInSurfaceArrayAtIndex(s, 5);
         s->setGlass(nbk7());
       }},
      {"surface removed", [](lens::Lens& l) { l.removeObjectFromSurfaceArrayAtIndex(2); }},
      {"conic constant", [](lens::Lens& l) { surface(l, 2).setConicConstant(-2.5); }},
      {"asphere coefficient", [](lens::Lens& l) { setParameter(surface(l, 1), "a4", -6e-6); }},
      {"mirror",
       [](lens::Lens& l) {
         surface(l, 5).setIsMirror(true);
         surface(l, 5).setThickness(-30);
       }},
      {"acquisition tolerance default",
       [](lens::Lens&) { platform::UserDefaults::standard().setObject("rayAcquisitionTolerance", 0.25); }},
  };
  return cases;
}

TEST_F(KeptPlanTest, TraceAfterAnEditEqualsATraceOfAFreshlyEditedLens) {
  for (const Edit& e : edits()) {
    SCOPED_TRACE(e.name);
    auto apply = [&](lens::Lens& lens) {
      e.edit(lens);
      placeSurfaces(lens);
      if (e.afterPlacing) e.afterPlacing(lens);
    };
    auto traced = buildLens();
    const Outcome before = traceEveryWay(*traced);
    EXPECT_EQ(difference(before, traceEveryWay(*traced)), 0.0) << "a kept plan traces as a new one";
    apply(*traced);
    const Outcome after = traceEveryWay(*traced);

    auto fresh = buildLens();
    apply(*fresh);
    const Outcome reference = traceEveryWay(*fresh);
    EXPECT_LE(difference(after, reference), 1e-12);
    TearDown();
  }
}

// Edits that change what the kept plan holds must be seen: each edit above changes the
// rays (else the comparison proves nothing), except the tolerance, which moves hits by
// less than it.
TEST_F(KeptPlanTest, EveryEditChangesTheRays) {
  for (const Edit& e : edits()) {
    if (std::string(e.name) == "acquisition tolerance default") continue;
    SCOPED_TRACE(e.name);
    auto lens = buildLens();
    const Outcome before = traceEveryWay(*lens);
    e.edit(*lens);
    placeSurfaces(*lens);
    if (e.afterPlacing) e.afterPlacing(*lens);
    EXPECT_GT(difference(before, traceEveryWay(*lens)), 1e-6);
  }
}

// Traces of one lens on two threads at once (as the framed-ray analyses run them): each
// gets a plan of its own, so both see what one thread alone sees.
TEST_F(KeptPlanTest, TwoThreadsTracingOneLensAgreeWithOneThread) {
  auto lens = buildLens();
  const Outcome reference = traceEveryWay(*lens);
  std::atomic<int> mismatches{0};
  auto work = [&] {
    for (int i = 0; i < 40; ++i)
      if (difference(traceEveryWay(*lens), reference) != 0.0) ++mismatches;
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace orb::tracing
