#include "analysis/SpotDiagramCalculator.h"

#include <gtest/gtest.h>

#include "ZemaxLens.h"

#include <cmath>
#include <cstdio>

#include "RayAnalysisTestSupport.h"
#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "tracing/PupilPatterns.h"

namespace orb::analysis {
namespace {

using testing::curvesNamed;
using testing::mirrorLens;
using testing::seriesOf;
using testing::Window;

std::shared_ptr<SpotDiagramCalculator> spotCalculator(std::uint64_t rays = 37) {
  auto c = platform::makeObject<SpotDiagramCalculator>();
  c->setNumberOfRays(rays);
  return c;
}

double rmsOf(const foundation::VKSeries& s) { return std::sqrt(s.normSquared() / static_cast<double>(s.count())); }

// "<group>: rms x <x> <unit>, y <y> <unit>"
std::pair<double, double> rmsInLayerTitle(const platform::Dictionary& curve) {
  const std::string title = curve.get(plot::kLayerTitle).asString();
  double x = NAN, y = NAN;
  const auto at = title.find(": rms x "), yAt = title.find(", y ", at);
  EXPECT_NE(at, std::string::npos) << title;
  EXPECT_NE(yAt, std::string::npos) << title;
  if (at != std::string::npos && yAt != std::string::npos) {
    std::sscanf(title.c_str() + at, ": rms x %lf", &x);
    std::sscanf(title.c_str() + yAt, ", y %lf", &y);
  }
  return {x, y};
}

// A paraboloid images an axial point at infinity perfectly.
TEST(SpotDiagramMirrorTest, ParaboloidHasNoSpot) {
  Window window(mirrorLens(-200, -1), spotCalculator(127));
  ASSERT_TRUE(window.run());
  const auto spots = curvesNamed(window.curves(), "");
  ASSERT_EQ(spots.size(), 1u);
  EXPECT_EQ(seriesOf(spots[0], plot::kXSeries).count(), 127u);
  EXPECT_LT(rmsOf(seriesOf(spots[0], plot::kXSeries)), 1e-12);
  EXPECT_LT(rmsOf(seriesOf(spots[0], plot::kYSeries)), 1e-12);
  const auto [rx, ry] = rmsInLayerTitle(spots[0]);
  EXPECT_LT(rx, 1e-12);
  EXPECT_LT(ry, 1e-12);
  EXPECT_EQ(window.calculator->plotDictionary()->get(plot::kTitle).asString(), "Centroid subtracted spot diagram");
  EXPECT_EQ(window.calculator->plotDictionary()->get(plot::kXLabel).asString(), "x (mm)");
}

// Spherical mirror, R = 200, h = 10: sin θ = h/R; a ray reflected at height h crosses the
// axis R/(2 cos θ) from the centre of curvature, i.e. R − R/(2 cos θ) from the vertex,
// 0.12523 mm inside the paraxial focus R/2.
struct SphericalMirror {
  static constexpr double R = 200, H = 10;
  static double crossing(double h) {
    const double cosTheta = std::sqrt(1 - (h / R) * (h / R));
    return R - R / (2 * cosTheta);
  }
  // Height at the paraxial focus plane of the ray reflected at height h: from the mirror
  // point (sag, h) straight to (crossing, 0).
  static double heightAtFocus(double h) {
    const double sag = R - std::sqrt(R * R - h * h);
    const double L = crossing(h);
    return h * (L - R / 2) / (L - sag);
  }
};

TEST(SpotDiagramMirrorTest, SphericalMirrorMarginalRayCrossesInsideFocus) {
  EXPECT_NEAR(SphericalMirror::R / 2 - SphericalMirror::crossing(SphericalMirror::H), 0.1252, 5e-5);
  auto calculator = spotCalculator(2);
  calculator->setFanType("y-fan plus");  // pupil (0, 0) and (0, 1)
  Window window(mirrorLens(-200, 0), calculator);
  ASSERT_TRUE(window.run());
  const auto rays = calculator->rays();
  ASSERT_TRUE(rays);
  ASSERT_EQ(rays->size(), 2u);
  const tracing::Ray& marginal = (*rays)[1];
  ASSERT_TRUE(marginal.isAlive());
  ASSERT_EQ(marginal.tags().pupilCoordinate->y, 1);
  // Where along the ray (local frame of the image plane) the height is zero: behind the
  // plane, on the mirror's side, by the longitudinal aberration.
  const double t = -marginal.y() / marginal.py();
  EXPECT_LT(t, 0);
  EXPECT_NEAR(std::abs(t * marginal.pz()), SphericalMirror::R / 2 - SphericalMirror::crossing(SphericalMirror::H),
              1e-9);
  EXPECT_NEAR(std::abs(marginal.y()), std::abs(SphericalMirror::heightAtFocus(SphericalMirror::H)), 1e-9);
}

// The spot of a hexapolar sampling against the same sampling worked by hand: ring k of K
// at radius k/(K + 0.5) with 6k points; each lands at heightAtFocus(h) along its azimuth.
TEST(SpotDiagramMirrorTest, SphericalMirrorRmsMatchesHandSum) {
  const int rings = 3;
  double sx = 0, sy = 0;
  int n = 1;  // the centre lands on the axis
  for (int k = 1; k <= rings; ++k)
    for (int j = 0; j < 6 * k; ++j, ++n) {
      const double rho = k / (rings + 0.5), phi = j * 2 * M_PI / (6 * k);
      const double y = SphericalMirror::heightAtFocus(SphericalMirror::H * rho);
      sx += std::pow(y * std::cos(phi), 2);
      sy += std::pow(y * std::sin(phi), 2);
    }
  const double rmsX = std::sqrt(sx / n), rmsY = std::sqrt(sy / n);

  Window window(mirrorLens(-200, 0), spotCalculator(37));
  ASSERT_TRUE(window.run());
  const auto spots = curvesNamed(window.curves(), "");
  ASSERT_EQ(spots.size(), 1u);
  ASSERT_EQ(seriesOf(spots[0], plot::kXSeries).count(), 37u);
  EXPECT_NEAR(rmsOf(seriesOf(spots[0], plot::kXSeries)), rmsX, 1e-9 * rmsX);
  EXPECT_NEAR(rmsOf(seriesOf(spots[0], plot::kYSeries)), rmsY, 1e-9 * rmsY);
  const auto [tx, ty] = rmsInLayerTitle(spots[0]);
  // The title carries four significant digits.
  EXPECT_NEAR(tx, rmsX, 6e-4 * rmsX);
  EXPECT_NEAR(ty, rmsY, 6e-4 * rmsY);
}

// Airy radius 1.21967 · λ · F#: F# = f/EPD = 100/20, λ the default primary 587.56 nm. The
// first ray of the axial spot meets the image plane normally: a circle about the spot.
TEST(SpotDiagramMirrorTest, AiryDiskFollowsTheFormulaAndOnlyForPositionKeys) {
  const double r = 1.21967 * 587.56e-6 * 5;
  auto calculator = spotCalculator(19);
  calculator->setDrawsAiryDisk(true);
  calculator->setUnits("micron");
  Window window(mirrorLens(-200, -1), calculator);
  ASSERT_TRUE(window.run());
  auto airy = curvesNamed(window.curves(), "Airy disk");
  ASSERT_EQ(airy.size(), 1u);
  const auto& xs = seriesOf(airy[0], plot::kXSeries);
  const auto& ys = seriesOf(airy[0], plot::kYSeries);
  ASSERT_EQ(xs.count(), 100u);
  EXPECT_NEAR(xs.max(), 1000 * r, 1e-9);
  EXPECT_NEAR(ys.max(), 1000 * r, 1e-3);  // sampled every 2π/99: the top is just missed
  EXPECT_NEAR(xs.at(0), xs.at(99), 1e-12);  // closed outline
  EXPECT_EQ(airy[0].get(plot::kLayer), curvesNamed(window.curves(), "")[0].get(plot::kLayer));

  calculator->setKeyX("ux");
  calculator->setKeyY("uy");
  ASSERT_TRUE(window.settle());
  EXPECT_TRUE(curvesNamed(window.curves(), "Airy disk").empty());
  EXPECT_EQ(window.calculator->plotDictionary()->get(plot::kXLabel).asString(), "ux");
}

// Mended: waves whose weights sum to zero leave the centroid where it is (no division by
// zero) and say so in the status.
TEST(SpotDiagramMirrorTest, ZeroTotalWeightSkipsTheCentroidWithAStatus) {
  auto lens = mirrorLens(-200, -1, {1.0});
  auto a = lens::Wave::wave(), b = lens::Wave::wave();
  a->setWavelengthInMicrons(0.5);
  b->setWavelengthInMicrons(0.6);
  a->setWeight(0);
  b->setWeight(0);
  a->setIsPrimary(true);
  lens->setWaveArray({a, b});
  lens->generateSystemFromParaxialSpecification();
  auto calculator = spotCalculator(19);
  Window window(lens, calculator);
  window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
  calculator->setWaveOfInterest(nullptr);  // all waves
  ASSERT_TRUE(window.run());
  const auto spots = curvesNamed(window.curves(), "");
  ASSERT_EQ(spots.size(), 2u);
  for (const auto& spot : spots) {
    const double height = seriesOf(spot, plot::kYSeries).mean();
    EXPECT_NEAR(std::abs(height), 100 * std::tan(M_PI / 180), 0.01);  // not centred
    EXPECT_TRUE(std::isfinite(height));
  }
  EXPECT_NE(calculator->status().find("weights sum to zero"), std::string::npos) << calculator->status();
}

TEST(SpotDiagramSettingsTest, SourcesFansUnitsColoursAndTexts) {
  auto c = spotCalculator();
  EXPECT_EQ(c->fanType(), "hexapolar");
  EXPECT_EQ(c->numberOfRays(), 37u);
  EXPECT_EQ(c->beamNumberOfRays(), 37u);

  c->setKeyX("x/f");  // momentum units: neither "mrad" nor "micron"
  EXPECT_EQ(c->unitsX(), "unity");
  EXPECT_EQ(c->unitsY(), "mm");
  c->setKeyY("thetay");
  EXPECT_EQ(c->unitsY(), "mrad");

  struct ColourCase {
    const char* source;
    const char* asked;
    const char* stored;
  };
  for (const ColourCase& k : std::vector<ColourCase>{{"Field", "beam", "field"},
                                                     {"Field", "wave", "wave"},
                                                     {"Beam", "wave", "default"},
                                                     {"Beam", "beam", "beam"},
                                                     {"Emitter", "field", "fixed"}}) {
    SCOPED_TRACE(std::string(k.source) + " " + k.asked);
    c->setSourceType(k.source);
    c->setColorOption(k.asked);
    EXPECT_EQ(c->colorOption(), k.stored);
  }

  c->setSourceType("Beam");
  EXPECT_EQ(c->fanType(), "random");
  EXPECT_EQ(c->possibleFanTypes(), std::vector<std::string>{"random"});
  c->setSourceType("Field");
  EXPECT_EQ(c->fanType(), "random");  // kept until the user picks another
  EXPECT_GT(c->possibleFanTypes().size(), 1u);

  c->setGridify(true);
  EXPECT_EQ(c->title(), "Gridded spot diagram");
  EXPECT_EQ(c->xLabel(), "delta x/f");  // a plain number has no unit to name
  c->setSubtractFieldGrid(true);
  c->setUseFieldGrid(true);
  EXPECT_FALSE(c->subtractCentroid());
  EXPECT_EQ(c->title(), "Field grid subtracted with offset");
  c->setUseFieldGrid(false);
  EXPECT_EQ(c->title(), "Spot diagram");

  c->setReferenceEllipsoidRadiusX(2.5);
  c->makeReferenceEllipsoidCircular();
  EXPECT_EQ(c->referenceEllipsoidRadiusY(), 2.5);
}

TEST(SpotDiagramSettingsTest, PotentialDelayQuestionGuardsAllBeams) {
  using Answer = SpotDiagramCalculator::PotentialDelayAnswer;
  auto lens = mirrorLens(-200, -1, {0, 1});
  auto second = lens::Wave::wave();
  second->setWavelengthInMicrons(0.65);
  lens->insertObjectInWaveArrayAtIndex(second, 1);
  struct Case {
    const char* name;
    Answer answer;
    const char* beam;
    const char* wave;
  };
  for (const Case& k : std::vector<Case>{{"cancel", Answer::Cancel, "b0", ""},
                                         {"primary", Answer::UsePrimaryWave, "", "w0"},
                                         {"go ahead", Answer::GoAhead, "", ""}}) {
    SCOPED_TRACE(k.name);
    auto c = spotCalculator();
    c->setLens(lens);
    c->setBeamOfInterestKeyPath("b0");
    int asked = 0;
    c->setPotentialDelayQuestion([&] {
      ++asked;
      return k.answer;
    });
    c->setBeamOfInterest(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(c->beamOfInterestKeyPath(), k.beam);
    EXPECT_EQ(c->waveOfInterestKeyPath(), k.wave);
  }
}

// The main road: a Zemax file read and regenerated, the spot calculator run through its
// updater and lens buffer on the main loop. Left to its first-use choices it shows every
// field and every wave, each field a layer of its own with its rms in the layer title.
TEST(SpotDiagramEndToEndTest, ZemaxFileGivesOneLayerPerField) {
  auto lens = support::lensFromZemaxFile(std::string(ORB_TEST_DATA_DIR) + "/lenses/lens1.zmx");
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  ASSERT_EQ(lens->countOfFieldArray(), 3u);
  ASSERT_EQ(lens->countOfWaveArray(), 3u);

  auto calculator = spotCalculator(61);
  calculator->setUnits("micron");
  Window window(lens, calculator);
  ASSERT_TRUE(window.run());
  EXPECT_FALSE(calculator->exception().has_value());
  EXPECT_EQ(calculator->colorOption(), "wave");
  const auto& plotDictionary = *calculator->plotDictionary();
  EXPECT_EQ(plotDictionary.get(plot::kTitle).asString(), "Centroid subtracted spot diagram");
  EXPECT_EQ(plotDictionary.get(plot::kYLabel).asString(), "y (µm)");
  const auto spots = curvesNamed(window.curves(), "");
  ASSERT_EQ(spots.size(), 9u);  // 3 fields × 3 waves, per field then per wave
  std::vector<platform::Value> layers;
  for (std::size_t f = 0; f < 3; ++f) {
    SCOPED_TRACE(f);
    const auto& field = *lens->fieldArray()[f];
    // One rms over every point of the field's three curves, about the drawn origin.
    double sx = 0, sy = 0, n = 0;
    for (std::size_t w = 0; w < 3; ++w) {
      const auto& spot = spots[3 * f + w];
      EXPECT_EQ(spot.get(plot::kLayer), spots[3 * f].get(plot::kLayer));
      EXPECT_EQ(spot.get(plot::kLayerTitle), spots[3 * f].get(plot::kLayerTitle));
      EXPECT_EQ(spot.get(plot::kWave).asObject<lens::Wave>(), lens->waveArray()[w]);
      for (const auto& v : seriesOf(spot, plot::kXSeries).array()) sx += v * v;
      for (const auto& v : seriesOf(spot, plot::kYSeries).array()) sy += v * v;
      n += static_cast<double>(seriesOf(spot, plot::kXSeries).count());
    }
    layers.push_back(spots[3 * f].get(plot::kLayer));
    ASSERT_GT(n, 0);
    const std::string title = spots[3 * f].get(plot::kLayerTitle).asString();
    EXPECT_EQ(title.rfind(platform::format("Field %zu (", f + 1), 0), 0u) << title;
    EXPECT_NE(title.find(platform::format("%g", field.y())), std::string::npos) << title;
    EXPECT_NE(title.find(" µm, y "), std::string::npos) << title;
    const auto [rx, ry] = rmsInLayerTitle(spots[3 * f]);
    EXPECT_NEAR(rx, std::sqrt(sx / n), 6e-4 * rx);
    EXPECT_NEAR(ry, std::sqrt(sy / n), 6e-4 * ry);
    EXPECT_GT(ry, 0.01);  // a real lens has a spot of some microns
    EXPECT_LT(ry, 500);   // and it is a focused one
  }
  EXPECT_NE(layers[0], layers[1]);
  EXPECT_NE(layers[1], layers[2]);
  EXPECT_NE(layers[0], layers[2]);
}

TEST(SpotDiagramSettingsTest, NumbersAndFieldsReadWithTheirUnits) {
  struct Case {
    double value;
    const char* unit;
    const char* text;
  };
  for (const Case& k : std::vector<Case>{{0.00397674, "mm", "0.003977 mm"},
                                         {3.97674, "micron", "3.977 µm"},
                                         {12.5, "deg", "12.50°"},
                                         {0.25, "unity", "0.2500"},
                                         {1234.56, "arcsec", "1235 arcsec"},
                                         {2.5e-7, "mm", "2.500e-07 mm"}}) {
    SCOPED_TRACE(k.text);
    EXPECT_EQ(SpotDiagramCalculator::formatWithUnit(k.value, k.unit), k.text);
  }
  auto field = lens::Field::field();
  field->setY(10);
  EXPECT_EQ(SpotDiagramCalculator::fieldValueText(*field, true), "10°");
  field->setX(-1.5);
  EXPECT_EQ(SpotDiagramCalculator::fieldValueText(*field, false), "(-1.5 mm, 10 mm)");
}

}  // namespace
}  // namespace orb::analysis
