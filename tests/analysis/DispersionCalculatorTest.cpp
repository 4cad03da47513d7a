// The dispersion plot against the makers' datasheet indices.
#include "analysis/DispersionCalculator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/PlotDictionary.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "materials/SystemGlassCatalog.h"
#include "platform/Color.h"
#include "platform/NotificationCenter.h"

namespace orb::analysis {
namespace {

using platform::Value;

std::shared_ptr<materials::Glass> schott(const std::string& name) {
  static const auto catalog =
      materials::systemcatalog::catalogFromZemaxFiles({std::string(ORB_SOURCE_DIR) + "/resources/glass/SCHOTT.AGF"});
  auto glass = catalog->lookupGlassWithName(name);
  EXPECT_TRUE(glass) << name;
  return glass;
}

const foundation::VKSeries& series(const platform::Value& curve, const char* key) {
  return *SeriesValue::from(curve.asDictionary().get(key));
}

// SCHOTT datasheet indices at the F (486.13 nm) and C (656.27 nm) lines.
struct Datasheet {
  const char* name;
  double nF, nC;
};
constexpr Datasheet kBK7{"N-BK7", 1.52238, 1.51432}, kF2{"F2", 1.63208, 1.61503}, kSF6{"N-SF6", 1.82783, 1.79608};

TEST(DispersionCalculatorTest, IndexCurvesOverOneHundredAndOneWavelengths) {
  auto c = platform::makeObject<DispersionCalculator>();
  EXPECT_FALSE(c->plotDictionary());
  c->setLambdaMin(486.1327);
  c->setLambdaMax(656.2725);
  EXPECT_FALSE(c->plotDictionary());  // no glasses, nothing published
  c->setGlasses({schott(kBK7.name)});
  ASSERT_TRUE(c->plotDictionary());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Glass dispersion");
  EXPECT_EQ(plot.get(plot::kXLabel).asString(), "wavelength (nm)");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "index");
  const auto& curves = plot.get(plot::kCurves).asArray();
  ASSERT_EQ(curves.size(), 1u);
  const auto& x = series(curves[0], plot::kXSeries);
  const auto& n = series(curves[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 101u);
  EXPECT_DOUBLE_EQ(x.at(0), 486.1327);
  EXPECT_DOUBLE_EQ(x.at(100), 656.2725);
  EXPECT_NEAR(x.at(50), (486.1327 + 656.2725) / 2, 1e-9);
  EXPECT_NEAR(n.at(0), kBK7.nF, 2e-5);
  EXPECT_NEAR(n.at(100), kBK7.nC, 2e-5);
  EXPECT_EQ(curves[0].asDictionary().get(plot::kName).asString(), "N-BK7");

  // One glass: relating to the first curve leaves the plain curve.
  c->setRelateToFirstCurve(true);
  EXPECT_EQ(c->plotDictionary()->get(plot::kTitle).asString(), "Glass dispersion");

  // A new upper wavelength rebuilds the abscissae at once.
  c->setLambdaMax(900);
  const auto& moved = series(c->plotDictionary()->get(plot::kCurves).asArray()[0], plot::kXSeries);
  ASSERT_EQ(moved.count(), 101u);
  EXPECT_DOUBLE_EQ(moved.at(100), 900);

  c->setGlasses({});
  EXPECT_FALSE(c->plotDictionary());
}

TEST(DispersionCalculatorTest, RelativeToTheFirstGlass) {
  auto c = platform::makeObject<DispersionCalculator>();
  c->setLambdaMin(486.1327);
  c->setLambdaMax(656.2725);
  c->setRelateToFirstCurve(true);
  c->setGlasses({schott(kBK7.name), schott(kF2.name), schott(kSF6.name)});
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Relative to glass N-BK7");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "delta index");
  const auto& curves = plot.get(plot::kCurves).asArray();
  ASSERT_EQ(curves.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    const Datasheet& g = k == 0 ? kF2 : kSF6;
    SCOPED_TRACE(g.name);
    EXPECT_EQ(curves[k].asDictionary().get(plot::kName).asString(), g.name);
    const auto& dn = series(curves[k], plot::kYSeries);
    EXPECT_NEAR(dn.at(0), g.nF - kBK7.nF, 3e-5);
    EXPECT_NEAR(dn.at(100), g.nC - kBK7.nC, 3e-5);
  }
  // Catalog glasses carry no colour of their own: the curves still differ.
  const auto a = curves[0].asDictionary().get(plot::kColor).asObject<platform::Color>();
  const auto b = curves[1].asDictionary().get(plot::kColor).asObject<platform::Color>();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->description(), b->description());
}

TEST(DispersionCalculatorTest, DisplayFlagsAndColoursChangeThePlotInPlace) {
  auto c = platform::makeObject<DispersionCalculator>();
  auto glass = schott(kF2.name);
  c->setGlasses({glass});
  c->setShowLegend(true);
  EXPECT_TRUE(c->plotDictionary()->get(plot::kShowLegend).asBool());
  auto red = platform::Color::make(1, 0, 0);
  platform::Dictionary colors;
  colors.set(Value(static_cast<std::int64_t>(glass->colorNumber())), Value(red));
  platform::NotificationCenter::defaultCenter().post("colorChangedNotification", Value(colors));
  const auto& curve = c->plotDictionary()->get(plot::kCurves).asArray()[0].asDictionary();
  EXPECT_EQ(curve.get(plot::kColor).asObject<platform::Color>(), glass->color());
  EXPECT_EQ(glass->color()->red(), 1);
  const auto saved = c->restorationDictionary();
  EXPECT_TRUE(saved.get("showLegend").asBool());
  EXPECT_DOUBLE_EQ(saved.get("lambdaMin").asDouble(), 400);
  EXPECT_EQ(saved.get("glasses").asArray().size(), 1u);
}

}  // namespace
}  // namespace orb::analysis
