#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "RayAnalysisTestSupport.h"
#include "analysis/LSACalculator.h"
#include "analysis/OPDCalculator.h"
#include "analysis/RayFanCalculator.h"
#include "platform/Exception.h"

namespace orb::analysis {
namespace {

using foundation::XYZ;
using platform::Value;
using testing::mirrorLens;
using testing::seriesOf;
using testing::Window;

// Concave spherical mirror of radius R, object at infinity, stop on the mirror, image plane
// at the paraxial focus R/2. Worked by hand in the meridional plane (y, z), light along
// +z, vertex at the origin, centre of curvature C = (0, −R), focus F = (0, −R/2).
struct SphericalMirror {
  static constexpr double R = 200, H = 10;
  static double sag(double h) { return R - std::sqrt(R * R - h * h); }
  // The reflected ray crosses the axis R/(2 cos θ) from C, sin θ = h/R.
  static double crossingFromVertex(double h) { return R - R / (2 * std::sqrt(1 - (h / R) * (h / R))); }
  static double longitudinal(double h) { return R / 2 - crossingFromVertex(h); }
  static double heightAtFocus(double h) {
    const double L = crossingFromVertex(h);
    return h * (L - R / 2) / (L - sag(h));
  }
  // Reference path minus the ray's path, from a plane before the mirror to the sphere
  // about F through the vertex: the ray travels the sag less before reflection, then t
  // from the mirror to the sphere along the reflected direction.
  static double opd(double h) {
    const double y = h, z = -sag(h);
    const double ny = -h / R, nz = (-R - z) / R;  // unit normal towards C
    const double dn = nz;                         // incoming (0, 1) · n
    const double ry = -2 * dn * ny, rz = 1 - 2 * dn * nz;
    const double Dy = y, Dz = z + R / 2;
    const double b = Dy * ry + Dz * rz, c = Dy * Dy + Dz * Dz - (R / 2) * (R / 2);
    const double t = -b - std::sqrt(b * b - c);
    return sag(h) - t;
  }
};

LensPtr mirrorAt550(double conic, const std::vector<double>& fields = {0}) {
  auto lens = mirrorLens(-200, conic, fields);
  auto wave = lens::Wave::wave();
  wave->setWavelengthInMicrons(0.55);
  wave->setIsPrimary(true);
  lens->setWaveArray({wave});
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  return lens;
}

template <class C>
std::shared_ptr<C> make(std::uint64_t rays = 21) {
  auto c = platform::makeObject<C>();
  c->setNumberOfRays(rays);
  return c;
}

const platform::Dictionary& curveNamed(const platform::Array& curves, const std::string& prefix) {
  for (const auto& c : curves)
    if (c.asDictionary().get(plot::kName).asString().rfind(prefix, 0) == 0) return c.asDictionary();
  ADD_FAILURE() << "no curve " << prefix;
  static const platform::Dictionary none;
  return none;
}

TEST(FanClosedFormTest, HandWorkedMirrorNumbers) {
  EXPECT_NEAR(SphericalMirror::longitudinal(10), 0.1252, 5e-5);
  EXPECT_NEAR(std::abs(SphericalMirror::heightAtFocus(10)) * 1000, 12.571, 5e-4);
  EXPECT_NEAR(SphericalMirror::opd(10) / 0.55e-3, 0.5675, 5e-5);
  EXPECT_NEAR(SphericalMirror::opd(5) / 0.55e-3, 0.0355, 5e-5);
  // Third order: h⁴/(4R³).
  EXPECT_NEAR(SphericalMirror::opd(10), 1e4 / (4 * std::pow(200.0, 3)), 1e-6);
}

// --- ray fan ---------------------------------------------------------------------------------

TEST(RayFanMirrorTest, TransverseAberrationAlongTheFanMatchesTheHandTrace) {
  auto calculator = make<RayFanCalculator>(21);
  calculator->setUnits("micron");
  Window window(mirrorAt550(0), calculator);
  ASSERT_TRUE(window.run());
  const auto& plot = *calculator->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Transverse ray fan");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "intercept (micron)");
  ASSERT_EQ(window.curves().size(), 2u);
  const auto& t = curveNamed(window.curves(), "T");
  const auto& s = curveNamed(window.curves(), "S");
  EXPECT_FALSE(t.find(Value(plot::kDashed)));
  EXPECT_TRUE(s.get(plot::kDashed).asBool());
  for (const auto* curve : {&t, &s}) {
    const auto& x = seriesOf(Value(*curve), plot::kXSeries);
    const auto& y = seriesOf(Value(*curve), plot::kYSeries);
    ASSERT_EQ(x.count(), 21u);
    for (std::size_t i = 0; i < x.count(); ++i) {
      const double expected = std::abs(SphericalMirror::heightAtFocus(SphericalMirror::H * std::abs(x.at(i)))) * 1000;
      EXPECT_NEAR(std::abs(y.at(i)), expected, 1e-6) << i;
      // Odd in the pupil: the two ends land on opposite sides.
      EXPECT_NEAR(y.at(i), -y.at(x.count() - 1 - i), 1e-9);
    }
    EXPECT_DOUBLE_EQ(x.at(20), 1.0);
    EXPECT_NEAR(std::abs(y.at(20)), 12.571, 5e-4);  // the fan's end
  }
  // Divided by the focal length (100): angles, and the unit follows ("mrad").
  calculator->setDivideByFocalLength(true);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(calculator->units(), "mrad");
  EXPECT_EQ(calculator->plotDictionary()->get(plot::kYLabel).asString(), "intercept (mrad)");
  const auto& y = seriesOf(Value(curveNamed(window.curves(), "T")), plot::kYSeries);
  EXPECT_NEAR(std::abs(y.at(20)), std::abs(SphericalMirror::heightAtFocus(10)) / 100 * 1000, 1e-9);
  EXPECT_TRUE(calculator->status().empty()) << calculator->status();
}

TEST(RayFanSettingsTest, CurveOrderCentroidAndFlags) {
  auto lens = mirrorLens(-200, 0, {0, 1});
  auto a = lens::Wave::wave(), b = lens::Wave::wave();
  a->setWavelengthInMicrons(0.5);
  b->setWavelengthInMicrons(0.6);
  a->setIsPrimary(true);
  lens->setWaveArray({a, b});
  lens->generateSystemFromParaxialSpecification();
  auto calculator = make<RayFanCalculator>(11);
  Window window(lens, calculator);
  window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
  calculator->setFieldOfInterest(nullptr);
  calculator->setWaveOfInterest(nullptr);
  ASSERT_TRUE(window.run());
  // Field, then wave, then sagittal before tangential.
  std::vector<std::string> names;
  for (const auto& c : window.curves()) names.push_back(c.asDictionary().get(plot::kName).asString());
  const auto f0 = lens->fieldArray()[0]->shortDescription(), f1 = lens->fieldArray()[1]->shortDescription();
  const auto w0 = a->wavelengthShortString(), w1 = b->wavelengthShortString();
  EXPECT_EQ(names, (std::vector<std::string>{"S (" + f0 + ", " + w0 + ")", "T (" + f0 + ", " + w0 + ")",
                                             "S (" + f0 + ", " + w1 + ")", "T (" + f0 + ", " + w1 + ")",
                                             "S (" + f1 + ", " + w0 + ")", "T (" + f1 + ", " + w0 + ")",
                                             "S (" + f1 + ", " + w1 + ")", "T (" + f1 + ", " + w1 + ")"}));
  // Two fields: layered by field. A mirror has no colour: at the 1° field every wave's fan
  // is the same, so after removing the field's centroid each tangential curve has mean 0.
  for (const auto& c : window.curves()) {
    const auto& d = c.asDictionary();
    EXPECT_EQ(d.get(plot::kLayer), Value(d.get(plot::kField).objectIf<lens::Field>()->description()));
    EXPECT_NEAR(seriesOf(c, plot::kYSeries).mean(), 0, 1e-12);
    EXPECT_EQ(d.get(plot::kXFormat).asString(), "%g");
  }
  // Without centroid removal the 1° tangential fan sits at f·tan 1°.
  calculator->setSubtractCentroid(false);
  ASSERT_TRUE(window.settle());
  EXPECT_NEAR(std::abs(seriesOf(window.curves()[7], plot::kYSeries).mean()), 100 * std::tan(M_PI / 180), 0.01);
  // Both flags off: still published, with no curves.
  calculator->setPlotSagittal(false);
  calculator->setPlotTangential(false);
  ASSERT_TRUE(window.settle());
  EXPECT_TRUE(window.curves().empty());
}

// Waves whose weights sum to zero: no centroid can be taken; the fans stay where they are
// and the status says why.
TEST(RayFanSettingsTest, ZeroTotalWeightSkipsTheCentroidWithAStatus) {
  auto lens = mirrorLens(-200, -1, {1.0});
  auto a = lens::Wave::wave(), b = lens::Wave::wave();
  a->setWavelengthInMicrons(0.5);
  b->setWavelengthInMicrons(0.6);
  a->setWeight(0);
  b->setWeight(0);
  a->setIsPrimary(true);
  lens->setWaveArray({a, b});
  lens->generateSystemFromParaxialSpecification();
  auto calculator = make<RayFanCalculator>(11);
  Window window(lens, calculator);
  window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
  calculator->setWaveOfInterest(nullptr);
  ASSERT_TRUE(window.run());
  const auto& t = curveNamed(window.curves(), "T");
  EXPECT_NEAR(std::abs(seriesOf(Value(t), plot::kYSeries).mean()), 100 * std::tan(M_PI / 180), 0.01);
  EXPECT_NE(calculator->status().find("weights sum to zero"), std::string::npos) << calculator->status();
}

// --- OPD --------------------------------------------------------------------------------------

TEST(OPDMirrorTest, SphericalMirrorWavefrontMatchesTheHandTrace) {
  auto calculator = make<OPDCalculator>(21);
  Window window(mirrorAt550(0), calculator);
  ASSERT_TRUE(window.run());
  const auto& plot = *calculator->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "OPD plot");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "OPD (waves)");
  ASSERT_EQ(window.curves().size(), 2u);
  for (const char* name : {"s (", "t ("}) {
    const Value curve(curveNamed(window.curves(), name));
    const auto& x = seriesOf(curve, plot::kXSeries);
    const auto& y = seriesOf(curve, plot::kYSeries);
    ASSERT_EQ(x.count(), 21u);
    for (std::size_t i = 0; i < x.count(); ++i)
      EXPECT_NEAR(y.at(i), SphericalMirror::opd(SphericalMirror::H * x.at(i)) / 0.55e-3, 1e-6) << i;
    EXPECT_NEAR(y.at(20), 0.5675, 5e-5);  // the pupil edge
    EXPECT_NEAR(y.at(15), 0.0355, 5e-5);  // h = 5
    EXPECT_EQ(y.at(10), 0.0);             // the reference ray
  }
  EXPECT_TRUE(calculator->status().empty()) << calculator->status();
  // Microns: the same wavefront times 1000 mm → µm.
  calculator->setUnits("micron");
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(calculator->plotDictionary()->get(plot::kYLabel).asString(), "OPD (micron)");
  EXPECT_NEAR(seriesOf(window.curves()[1], plot::kYSeries).at(20), SphericalMirror::opd(10) * 1000, 1e-6);
  calculator->setUnits("furlong");
  EXPECT_EQ(calculator->units(), "waves");
}

TEST(OPDMirrorTest, ParaboloidIsPerfect) {
  auto calculator = make<OPDCalculator>(21);
  Window window(mirrorAt550(-1), calculator);
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 2u);
  for (const auto& c : window.curves()) {
    const auto& y = seriesOf(c, plot::kYSeries);
    ASSERT_EQ(y.count(), 21u);
    for (double v : y) EXPECT_NEAR(v, 0, 1e-9);
  }
}

// The series by itself: rays of a spherical wave converging on S from E's side.
std::vector<OPDCalculator::RayState> sphericalWave(double radius, int n) {
  std::vector<OPDCalculator::RayState> rays;
  for (int i = 0; i < n; ++i) {
    const double a = (i - n / 2) * 0.05;
    // Start on the sphere about the origin with radius `radius` at +z, headed for the
    // origin; traced on to the plane z = 0 (path grows by the distance travelled).
    const XYZ start{0, radius * std::sin(a), radius * std::cos(a)};
    const XYZ dir{0, -std::sin(a), -std::cos(a)};
    const double s = start.z / std::cos(a);
    rays.push_back({{start.x + s * dir.x, start.y + s * dir.y, 0}, dir, 7.0 + s, true});
  }
  return rays;
}

TEST(OPDSeriesTest, SphericalWaveDeadRaysMissesAndReference) {
  const XYZ E{0, 0, 50}, S{0, 0, 0};
  auto rays = sphericalWave(50, 9);
  auto series = OPDCalculator::opdSeries(rays, E, 4, S);
  ASSERT_EQ(series.opd.count(), 9u);
  for (double v : series.opd) EXPECT_NEAR(v, 0, 1e-12);
  EXPECT_EQ(series.invalid, 0u);
  EXPECT_TRUE(series.referenced);

  // A dead ray keeps its slot; a live ray whose line misses the sphere has no OPD (never
  // its raw path), and the others are untouched.
  rays[1].alive = false;
  rays[2].position = {0, 80, 0};
  rays[2].momentum = {0, 0, 1};  // parallel to the axis, 80 off it: misses radius 50
  series = OPDCalculator::opdSeries(rays, E, 4, S);
  EXPECT_EQ(series.invalid, 1u);
  EXPECT_TRUE(std::isnan(series.opd.at(2)));
  EXPECT_NEAR(series.opd.at(0), 0, 1e-12);
  EXPECT_NEAR(series.opd.at(8), 0, 1e-12);
  EXPECT_EQ(series.opd.count(), 9u);

  // A reference ray that misses leaves the series unshifted and says so.
  series = OPDCalculator::opdSeries(rays, E, 2, S);
  EXPECT_FALSE(series.referenced);
  // An index beyond the array likewise.
  EXPECT_FALSE(OPDCalculator::opdSeries(rays, E, 99, S).referenced);

  // Rays travelling the other way (momentum reversed, start on the far side) meet the
  // sphere on the pupil's side all the same.
  auto reversed = sphericalWave(50, 9);
  for (auto& r : reversed) r.momentum = {-r.momentum.x, -r.momentum.y, -r.momentum.z};
  series = OPDCalculator::opdSeries(reversed, E, 4, S);
  for (double v : series.opd) EXPECT_NEAR(v, 0, 1e-12);
}

TEST(OPDSeriesTest, AfocalPlaneAndParallelRay) {
  std::vector<OPDCalculator::RayState> rays;
  for (int i = 0; i < 5; ++i) rays.push_back({{0, double(i), double(i) * 0.1}, {0, 0, 1.5}, 3.0, true});
  // Plane z = 2 normal to z: each ray travels 2 − 0.1 i in index 1.5.
  auto series = OPDCalculator::afocalOpdSeries(rays, {0, 0, 2}, 0, {0, 0, 1});
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(series.opd.at(i), 0.15 * i, 1e-12) << i;  // shorter by 0.1 i in index 1.5
  rays[3].momentum = {0, 1.5, 0};  // runs along the plane
  series = OPDCalculator::afocalOpdSeries(rays, {0, 0, 2}, 0, {0, 0, 1});
  EXPECT_EQ(series.invalid, 1u);
  EXPECT_TRUE(std::isnan(series.opd.at(3)));
}

// --- longitudinal spherical aberration ------------------------------------------------------------

TEST(LSAMirrorTest, CrossingsAlongTheFanMatchTheHandTrace) {
  auto calculator = make<LSACalculator>(21);
  Window window(mirrorAt550(0), calculator);
  ASSERT_TRUE(window.run());
  EXPECT_EQ(calculator->plotDictionary()->get(plot::kTitle).asString(), "Longitudinal spherical aberration");
  EXPECT_EQ(calculator->plotDictionary()->get(plot::kYLabel).asString(), "LSA");
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& y = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 21u);
  // Which way "inside" points depends on the image frame; the marginal ray crosses on the
  // mirror's side, the same side for every ray.
  const double side = y.at(20) > 0 ? 1 : -1;
  for (std::size_t i = 0; i < x.count(); ++i) {
    if (i == 10) continue;
    EXPECT_NEAR(side * y.at(i), SphericalMirror::longitudinal(SphericalMirror::H * std::abs(x.at(i))), 1e-9) << i;
  }
  EXPECT_NEAR(std::abs(y.at(20)), 0.1252, 5e-5);  // the curve's end
  // The axial ray gets its four neighbours' Lagrange value: a quartic in h fits the
  // nearly-quadratic curve to well under a nanometre at h = 0.
  EXPECT_TRUE(std::isfinite(y.at(10)));
  EXPECT_NEAR(y.at(10), 0, 1e-6);
}

TEST(LSAMirrorTest, AFanWhoseOnlyRayRunsAlongTheAxisSkipsTheCurveWithAStatus) {
  auto calculator = make<LSACalculator>(1);
  auto wave = lens::Wave::wave();
  auto field = lens::Field::field();
  FanRaysCalculator::TracedFan fan;
  fan.pattern = {{0, 0}};
  fan.direction = {1};
  fan.rays.resize(1);
  fan.rays.waves = {wave};
  fan.rays.fields = {field};
  fan.rays.field[0] = 0;
  fan.rays.wave[0] = 0;
  fan.rays.qx[0] = fan.rays.qy[0] = fan.rays.qz[0] = 0;
  fan.rays.px[0] = fan.rays.py[0] = 0;
  fan.rays.pz[0] = 1;
  EXPECT_FALSE(calculator->extractCurve(fan, field, wave, 1));
  testing::drainMainLoop();
  EXPECT_NE(calculator->status().find("no ray of the fan crosses the axis"), std::string::npos)
      << calculator->status();

  // With neighbours on one side only, the axial value still comes from the nearest ones.
  fan.pattern = {{0, 0}, {0, 0.5}, {0, 1}};
  fan.direction = {1, 1, 1};
  fan.rays.resize(3);
  for (std::size_t i = 0; i < 3; ++i) {
    fan.rays.field[i] = 0, fan.rays.wave[i] = 0, fan.rays.alive[i] = 1;
    const double h = fan.pattern[i].y;
    // Crossing at z = h²: qy = h at z = 0, dy/dz = −1/h.
    fan.rays.qx[i] = 0, fan.rays.qy[i] = h, fan.rays.qz[i] = 0;
    fan.rays.px[i] = 0, fan.rays.py[i] = -h, fan.rays.pz[i] = h * h;
  }
  fan.rays.py[0] = 0, fan.rays.pz[0] = 1;
  auto curve = calculator->extractCurve(fan, field, wave, 1);
  ASSERT_TRUE(curve);
  const auto& y = seriesOf(Value(*curve), plot::kYSeries);
  ASSERT_EQ(y.count(), 3u);
  EXPECT_NEAR(y.at(1), 0.25, 1e-12);
  EXPECT_NEAR(y.at(2), 1.0, 1e-12);
  EXPECT_NEAR(y.at(0), -0.5, 1e-12);  // the line through the two neighbours, at h = 0
}

// --- failures become the status ------------------------------------------------------------------

class FailingFan : public RayFanCalculator {
 public:
  void generateInitialRays() override { platform::Exception::raise("Unsupported", "no pusher for %s", "GRIN"); }
};

TEST(FanFailureTest, RaisingWhileMakingRaysBecomesTheStatusAndClearsTheFan) {
  auto calculator = platform::makeObject<FailingFan>();
  Window window(mirrorAt550(0), calculator);
  window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
  window.document->postLensIsReady();
  ASSERT_TRUE(testing::pumpUntil([&] {
    return calculator->status() == "Unsupported: no pusher for GRIN" && !calculator->hasWorkerThread();
  })) << calculator->status();
  EXPECT_FALSE(calculator->tracedFan());
  EXPECT_TRUE(calculator->exception().has_value());
}

}  // namespace
}  // namespace orb::analysis
