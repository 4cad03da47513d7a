#include "analysis/PlotDictionary.h"

#include <gtest/gtest.h>

namespace orb::analysis {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

Value series(std::vector<double> values) { return SeriesValue::make(foundation::VKSeries::seriesWithArray(values)); }

TEST(PlotDictionaryTest, AbsentKeysTakeTheReadersDefaults) {
  const PlotSettings p = PlotSettings::read(Dictionary{});
  EXPECT_EQ(p.title, "");
  EXPECT_FALSE(p.xTight || p.yTight || p.showLegend || p.xMin || p.equalAxis);  // engine defaults
  EXPECT_FALSE(p.scaleOnlyExpands || p.transposeAxes || p.multiplot || p.drawTestPattern);
  EXPECT_TRUE(p.drawZeroLines);

  const CurveStyle c = CurveStyle::read(Dictionary{});
  EXPECT_EQ(c.pointCount(), 0u);
  EXPECT_TRUE(c.drawAsLines);
  EXPECT_FALSE(c.drawAsDots || c.drawAsSquares || c.dashed || c.useContrastColor);
  EXPECT_EQ(c.xFormat, "%e");
  EXPECT_EQ(c.yFormat, "%e");
  EXPECT_TRUE(c.layer.isNil());
}

TEST(PlotDictionaryTest, PerAxisTightnessOverridesPlotTight) {
  const PlotSettings p = PlotSettings::read(Dictionary{{plot::kPlotTight, true}, {plot::kYTight, false}});
  EXPECT_EQ(p.xTight, true);
  EXPECT_EQ(p.yTight, false);
}

TEST(PlotDictionaryTest, TransposedAxesReadXKeysAsYKeys) {
  const Dictionary curve{{plot::kXLabel, "y'"},
                         {plot::kYLabel, "distortion (percent)"},
                         {plot::kXSeries, series({1, 2, 3})},
                         {plot::kYSeries, series({4, 5})}};
  const CurveStyle c = CurveStyle::read(curve, true);
  EXPECT_EQ(c.xLabel, "distortion (percent)");  // the horizontal axis
  EXPECT_EQ(c.yLabel, "y'");
  ASSERT_EQ(c.pointCount(), 2u);
  EXPECT_EQ(c.xSeries->series().at(0), 4);

  const PlotSettings p =
      PlotSettings::read(Dictionary{{plot::kTransposeAxes, true}, {plot::kXMin, -1.0}, {plot::kYLabel, "h"}});
  EXPECT_EQ(p.yMin, -1.0);
  EXPECT_FALSE(p.xMin);
  EXPECT_EQ(p.xLabel, "h");
}

TEST(PlotDictionaryTest, ReadoutText) {
  struct Case {
    const char* name;
    Dictionary curve;
    std::string text;
  };
  const std::vector<Case> cases{
      {"named", Dictionary{{plot::kName, "0,1"}, {plot::kXLabel, "x"}, {plot::kYLabel, "y"},
                           {plot::kXFormat, "%g"}, {plot::kYFormat, "%.4f%%"}},
       "0,1, x = 0.5, y = 2.0000%"},
      {"unnamed, default formats", Dictionary{{plot::kXLabel, "x"}, {plot::kYLabel, "y"}},
       "x = 5.000000e-01, y = 2.000000e+00"},
      {"format that does not read one double", Dictionary{{plot::kXFormat, "%s"}, {plot::kYFormat, "%g %g"}},
       " = 5.000000e-01,  = 2.000000e+00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(readoutText(CurveStyle::read(c.curve), 0.5, 2.0), c.text);
  }
}

TEST(PlotDictionaryTest, MultiplotFramesFollowDistinctLayers) {
  auto curve = [](Value layer, const char* layerTitle) {
    Dictionary d;
    if (!layer.isNil()) d.set(plot::kLayer, layer);
    if (layerTitle) d.set(plot::kLayerTitle, layerTitle);
    return Value(d);
  };
  const Array curves{curve("0,1", "field 1"), curve(2, nullptr), curve("0,1", "field 1"), curve(3, "field 3"),
                     curve({}, nullptr)};
  const Dictionary plotDictionary{{plot::kTitle, "Ray fan"}, {plot::kMultiplot, true}, {plot::kCurves, curves}};

  const std::vector<Value> layers = multiplotLayers(curves);
  ASSERT_EQ(layers, (std::vector<Value>{"0,1", 2, 3}));
  for (const Value& layer : layers) EXPECT_TRUE(curveIsInLayer(curves[4].asDictionary(), layer));
  EXPECT_FALSE(curveIsInLayer(curves[1].asDictionary(), Value(3)));
  // The layerless curve carries no layer title, so no frame has a common one.
  EXPECT_EQ(frameTitle(plotDictionary, layers[0]), "Ray fan");

  Array titled(curves.begin(), curves.end() - 1);
  const Dictionary titledPlot{{plot::kTitle, "Ray fan"}, {plot::kCurves, titled}};
  EXPECT_EQ(frameTitle(titledPlot, Value("0,1")), "field 1");
  EXPECT_EQ(frameTitle(titledPlot, Value(2)), "Ray fan");
}

TEST(PlotDictionaryTest, SeriesValuesAndCurveLabels) {
  EXPECT_EQ(series({1, 2}), series({1, 2}));
  EXPECT_FALSE(series({1, 2}) == series({1, 3}));
  EXPECT_EQ(SeriesValue::from(Value("text")), nullptr);

  Array curves{Value(Dictionary{{plot::kName, "a"}}), Value(Dictionary{{plot::kName, "b"}})};
  setValueOnEveryCurve(curves, plot::kYFormat, "%f");
  for (const Value& c : curves) EXPECT_EQ(c.asDictionary().get(plot::kYFormat), Value("%f"));
}

}  // namespace
}  // namespace orb::analysis
