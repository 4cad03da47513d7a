#include "rendering/ZoomPlotView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <cmath>

#include "platform/Color.h"

namespace orb::rendering {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

Array series(std::initializer_list<double> values) { return Array(values.begin(), values.end()); }

Array ramp(int n, double from, double to) {
  Array a;
  for (int i = 0; i < n; ++i) a.push_back(from + (to - from) * i / (n - 1));
  return a;
}

QImage render(ZoomPlotView& view) {
  QImage image(view.size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  view.render(&image);
  return image;
}

bool isRed(QRgb c) { return qRed(c) > 150 && qGreen(c) < 120 && qBlue(c) < 120; }
bool isBlue(QRgb c) { return qBlue(c) > 150 && qRed(c) < 120 && qGreen(c) < 120; }
bool isDark(QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; }

bool anyNear(const QImage& image, double x, double y, bool (*test)(QRgb), int radius = 2) {
  for (int dx = -radius; dx <= radius; ++dx)
    for (int dy = -radius; dy <= radius; ++dy) {
      QPoint p(int(std::lround(x)) + dx, int(std::lround(y)) + dy);
      if (image.rect().contains(p) && test(image.pixel(p))) return true;
    }
  return false;
}

TEST(ZoomPlotView, RendersTwoCurvesWithLegendAndTitle) {
  ZoomPlotView view;
  view.resize(600, 400);
  view.setBackgroundColor(Qt::white);
  Dictionary rising{{"xSeries", ramp(11, 0, 10)},
                    {"ySeries", ramp(11, 0, 10)},
                    {"name", "rising"},
                    {"color", platform::Color::make(1, 0, 0)},
                    {"lineWidth", 2.0}};
  Dictionary falling{{"xSeries", ramp(11, 0, 10)},
                     {"ySeries", ramp(11, 10, 0)},
                     {"name", "falling"},
                     {"color", platform::Color::make(0, 0, 1)},
                     {"lineWidth", 2.0}};
  view.setPlotDictionary(Dictionary{{"title", "Two curves"},
                                    {"xLabel", "pupil coordinate"},
                                    {"yLabel", "intercept (mm)"},
                                    {"showLegend", 1},
                                    {"curves", Array{rising, falling}}});
  QImage image = render(view);
  ASSERT_TRUE(image.save(QString(ORB_TEST_OUTPUT_DIR) + "/plot-two-curves.png"));

  // The plot area in Qt pixels (y down), from the layout.
  PlotGraph* g = view.graph();
  double left = g->areaXMin * 600, right = g->areaXMax * 600;
  double top = 400 - g->areaYMax * 400, bottom = 400 - g->areaYMin * 400;
  for (double t = 0.5; t < 10; t += 1.0) {
    double x, y;
    plotPortUserToView(view.port(), t, t, x, y);
    EXPECT_TRUE(anyNear(image, x, 400 - y, isRed)) << "rising at " << t;
    plotPortUserToView(view.port(), t, 10 - t, x, y);
    EXPECT_TRUE(anyNear(image, x, 400 - y, isBlue)) << "falling at " << t;
  }
  // No curve colour outside the frame, except the legend's samples at the right.
  bool legendRed = false, legendBlue = false;
  for (int py = 0; py < image.height(); ++py)
    for (int px = 0; px < image.width(); ++px) {
      QRgb c = image.pixel(px, py);
      bool inside = px >= left - 1 && px <= right + 1 && py >= top - 1 && py <= bottom + 1;
      bool legend = px > right + 1 && py >= top && py <= bottom;
      if (inside) continue;
      if (legend) {
        legendRed |= isRed(c);
        legendBlue |= isBlue(c);
        continue;
      }
      ASSERT_FALSE(isRed(c) || isBlue(c)) << "curve colour at " << px << "," << py;
    }
  EXPECT_TRUE(legendRed);
  EXPECT_TRUE(legendBlue);
  // Text in the title strip, the tick-label strips and the y-label strip; a frame line.
  auto darkIn = [&](int x0, int x1, int y0, int y1) {
    for (int py = y0; py < y1; ++py)
      for (int px = x0; px < x1; ++px)
        if (isDark(image.pixel(px, py))) return true;
    return false;
  };
  EXPECT_TRUE(darkIn(int(left), int(right), 0, int(top) - 1));          // title
  EXPECT_TRUE(darkIn(int(left), int(right), int(bottom) + 2, 400));     // x labels
  EXPECT_TRUE(darkIn(0, int(left) - 2, int(top), int(bottom)));         // y labels
  EXPECT_TRUE(anyNear(image, (left + right) / 2, bottom, isDark, 1));  // frame
}

TEST(ZoomPlotView, ExchangingXYTwiceIsTheIdentity) {
  Dictionary d{{"xSeries", series({1, 2})}, {"ySeries", series({3, 4})}, {"xLabel", "x"},
               {"yMin", 0.5},               {"curves", Array{}},           {"title", "t"},
               {"$odd", 1}};
  Dictionary once = ZoomPlotView::dictionaryExchangingXY(d);
  EXPECT_EQ(once.get("xSeries"), d.get("ySeries"));
  EXPECT_EQ(once.get("yLabel"), d.get("xLabel"));
  EXPECT_EQ(once.get("xMin"), d.get("yMin"));
  EXPECT_EQ(once.get("title"), d.get("title"));
  EXPECT_EQ(once.get("yodd"), Value(1));  // "$" becomes "y"
  Dictionary twice = ZoomPlotView::dictionaryExchangingXY(once);
  for (const char* key : {"xSeries", "ySeries", "xLabel", "yMin", "curves", "title"})
    EXPECT_EQ(twice.get(key), d.get(key)) << key;
}

TEST(ZoomPlotView, TransposedPlotKeepsUntransposedFeedbackNames) {
  ZoomPlotView view;
  view.resize(500, 400);
  view.setPlotDictionary(Dictionary{
      {"transposeAxes", true},
      {"curves", Array{Dictionary{{"xSeries", series({0, 10})}, {"ySeries", series({100, 200})}}}}});
  render(view);
  EXPECT_NEAR(view.graph()->workX.min, 100, 1e-9);  // y along the horizontal axis
  EXPECT_NEAR(view.feedbackDictionary().get("xMin").asDouble(), 0, 1e-9);
  EXPECT_NEAR(view.feedbackDictionary().get("yMax").asDouble(), 200, 1e-9);
  EXPECT_NEAR(view.scaleOnlyExpandsDictionary().get("xDataMax").asDouble(), 10, 1e-9);
}

TEST(ZoomPlotView, MultiplotGivesOneBandPerLayer) {
  ZoomPlotView view;
  view.resize(400, 600);
  auto curve = [](Value layer) {
    Dictionary c{{"xSeries", series({0, 1})}, {"ySeries", series({0, 1})}};
    if (!layer.isNil()) c.set("layer", layer);
    return c;
  };
  view.setPlotDictionary(Dictionary{{"multiplot", true}, {"curves", Array{curve("a"), curve("b"), curve("a"), curve(3), curve(Value())}}});
  render(view);
  EXPECT_EQ(view.numberOfMultiplots(), 3);
  EXPECT_NEAR(view.frameDeltaY(), 200, 1e-12);
  const Array& drawn = view.filteredPlotDictionary().get("curves").asArray();
  ASSERT_EQ(drawn.size(), 5u);
  auto band = [&](int i) { return drawn[i].asDictionary().get("frameMinY").asDouble(); };
  EXPECT_EQ(band(0), 0);    // "a": the first layer, lowest band
  EXPECT_EQ(band(1), 200);  // "b"
  EXPECT_EQ(band(2), 0);
  EXPECT_EQ(band(3), 400);  // 3
  EXPECT_EQ(band(4), 400);  // no layer: in every band, the last one written
  EXPECT_EQ(drawn[4].asDictionary().get("frameMaxY").asDouble(), 600);
}

// A window keeps its size when its first result arrives in bands (the empty view drawn
// before has no band height to keep); a later change of the band count keeps each band's
// height.
TEST(ZoomPlotView, BandHeightIsSetByTheFirstResult) {
  ZoomPlotView view;
  view.resize(400, 600);
  auto layered = [](std::initializer_list<const char*> layers) {
    Array curves;
    for (const char* layer : layers)
      curves.push_back(Dictionary{{"xSeries", series({0, 1})}, {"ySeries", series({0, 1})}, {"layer", layer}});
    return Dictionary{{"multiplot", true}, {"curves", curves}};
  };
  render(view);  // nothing published yet
  view.setPlotDictionary(layered({"a", "b", "c"}));
  render(view);
  QCoreApplication::processEvents();
  EXPECT_EQ(view.height(), 600);
  EXPECT_EQ(view.numberOfMultiplots(), 3);
  view.setPlotDictionary(layered({"a"}));
  render(view);
  QCoreApplication::processEvents();
  EXPECT_EQ(view.height(), 200);
}

TEST(ZoomPlotView, UserZoomOverridesTheDictionaryUntilZoomToFit) {
  ZoomPlotView view;
  view.resize(500, 400);
  view.setPlotDictionary(Dictionary{{"curves", Array{Dictionary{{"xSeries", series({3, 7})}, {"ySeries", series({3, 7})}}}}});
  render(view);
  EXPECT_TRUE(view.zoomedToFit());
  EXPECT_NEAR(view.xMin(), 3, 1e-12);
  view.zoomInRect(QRectF(4, 4, 2, 2));
  render(view);
  EXPECT_FALSE(view.zoomedToFit());
  EXPECT_NEAR(view.graph()->workX.min, 4, 1e-12);
  EXPECT_NEAR(view.graph()->workX.max, 6, 1e-12);
  view.zoomToFit();
  render(view);
  EXPECT_NEAR(view.graph()->workX.min, 3, 1e-12);
  EXPECT_NEAR(view.graph()->workX.max, 7, 1e-12);
}

TEST(ZoomPlotView, MouseCommentNamesTheNearestCurve) {
  ZoomPlotView view;
  view.resize(500, 400);
  Dictionary low{{"xSeries", series({0, 10})}, {"ySeries", series({0, 0})}, {"name", "low"}};
  Dictionary high{{"xSeries", series({0, 10})}, {"ySeries", series({4, 4})}, {"xLabel", "u"}, {"yLabel", "v"}};
  view.setPlotDictionary(Dictionary{{"curves", Array{low, high}}});
  render(view);
  view.setXMouse(5);
  view.setYMouse(1);
  EXPECT_EQ(view.commentForPresentMousePosition(), "low");
  view.setYMouse(3);
  EXPECT_EQ(view.commentForPresentMousePosition(), "v vs u");
  view.setYMouse(2);  // a tie: the later curve wins
  EXPECT_EQ(view.commentForPresentMousePosition(), "v vs u");
}

TEST(ZoomPlotView, SeriesComeAsArraysDataOrRegisteredObjects) {
  struct Held : platform::Object {
    std::vector<double> values{7, 8};
  };
  const double raw[] = {1.5, 2.5};
  platform::Data bytes(reinterpret_cast<const std::uint8_t*>(raw), reinterpret_cast<const std::uint8_t*>(raw) + 16);
  EXPECT_EQ(plotSeriesValues(series({1, 2})), (std::vector<double>{1, 2}));
  EXPECT_EQ(plotSeriesValues(Value(bytes)), (std::vector<double>{1.5, 2.5}));
  Value held(std::make_shared<Held>());
  EXPECT_TRUE(plotSeriesValues(held).empty());
  setPlotSeriesReader([](const Value& v) -> std::optional<std::vector<double>> {
    if (auto h = v.objectIf<Held>()) return h->values;
    return std::nullopt;
  });
  EXPECT_EQ(plotSeriesValues(held), (std::vector<double>{7, 8}));
  setPlotSeriesReader(nullptr);
}

TEST(ZoomPlotView, ShortSeriesAreNotReadPastTheirEnd) {
  ZoomPlotView view;
  view.resize(300, 300);
  view.setPlotDictionary(
      Dictionary{{"curves", Array{Dictionary{{"xSeries", series({0, 1, 2, 3})}, {"ySeries", series({5, 6})}}}}});
  render(view);
  EXPECT_NEAR(view.scaleOnlyExpandsDictionary().get("xDataMax").asDouble(), 1, 1e-12);
}

}  // namespace
}  // namespace orb::rendering
