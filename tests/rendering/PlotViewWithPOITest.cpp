#include "rendering/PlotViewWithPOI.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <cmath>

#include "ViewTestSupport.h"
#include "platform/UserDefaults.h"

namespace orb::rendering {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

constexpr std::size_t kNone = PlotViewWithPOI::kNotFound;

Array series(std::initializer_list<double> values) { return Array(values.begin(), values.end()); }

Dictionary curve(std::initializer_list<double> x, std::initializer_list<double> y) {
  return Dictionary{{"xSeries", series(x)}, {"ySeries", series(y)}};
}

/// Draws the view offscreen and lets the description follow, as it does after a paint.
QImage render(PlotViewWithPOI& view) {
  QImage image(view.size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  view.render(&image);
  QCoreApplication::processEvents();
  return image;
}

/// Where the user point (u, v) was drawn, in Qt widget coordinates (y down), in the band
/// from `bottom` to `top` (view units, y up), or the whole view.
QPointF widgetPointOf(PlotViewWithPOI& view, double u, double v, double bottom = 0, double top = -1) {
  if (top < 0) top = view.height();
  plotPortSetFrame(view.port(), 0, view.width(), top, bottom);
  plotGraphApplyMargins(view.graph());
  plotGraphApplyToPort(view.graph());
  double x, y;
  plotPortUserToView(view.port(), u, v, x, y);
  return {x, view.height() - y};
}

void clickAt(PlotViewWithPOI& view, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  test::click(&view, at, at, modifiers);
}

void press(PlotViewWithPOI& view, Qt::Key key) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &event);
}

bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; }
int redPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += isRed(image.pixel(x, y));
  return n;
}

struct PlotViewWithPOITest : ::testing::Test {
  PlotViewWithPOI view;
  void SetUp() override {
    view.resize(600, 400);
    view.setBackgroundColor(Qt::white);
  }
};

// Both curves pass through (5, 5): a click there picks the later curve (drawn on top);
// a click near (0, 0), where only the first curve lies, picks the first.
TEST_F(PlotViewWithPOITest, ClickPicksTheNearestPointAndTiesGoToTheLaterCurve) {
  view.setPlotDictionary(Dictionary{
      {"curves", Array{curve({0, 5, 10}, {0, 5, 10}), curve({0, 5, 10}, {10, 5, 0})}}});
  render(view);
  EXPECT_EQ(view.mouseMode(), ZoomView::Select);

  clickAt(view, widgetPointOf(view, 5, 5) + QPointF(1, 1));
  EXPECT_EQ(view.indexOfCurveOfInterest(), 1u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 1u);

  clickAt(view, widgetPointOf(view, 0.3, 0.3));
  EXPECT_EQ(view.indexOfCurveOfInterest(), 0u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 0u);

  // Far outside the plot area still picks the nearest point: (10, 0) of the second curve.
  clickAt(view, QPointF(view.width() - 2, view.height() - 2));
  EXPECT_EQ(view.indexOfCurveOfInterest(), 1u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 2u);

  // Shift-click clears it.
  clickAt(view, widgetPointOf(view, 5, 5), Qt::ShiftModifier);
  EXPECT_EQ(view.indexOfCurveOfInterest(), kNone);
  EXPECT_EQ(view.indexOfPointOfInterest(), kNone);
}

// Three bands sharing the axes x, y = 0 … 10. A click at (10, 10) of the middle band is a
// few pixels below (10, 0) of the top band's curve, yet picks the middle band's only point
// (0, 0) across the band: only the band clicked counts.
TEST_F(PlotViewWithPOITest, MultiplotClickConsidersOnlyTheBandClicked) {
  Dictionary a = curve({0, 10}, {0, 10}), b = curve({0}, {0}), c = curve({10}, {0});
  a.set("layer", "a");
  b.set("layer", "b");
  c.set("layer", "c");
  view.setPlotDictionary(Dictionary{{"multiplot", true}, {"curves", Array{a, b, c}}});
  render(view);
  ASSERT_EQ(view.numberOfMultiplots(), 3);
  const double band = view.height() / 3.0;
  struct Case {
    int band;
    double u, v;
    std::size_t curve, point;
  } cases[] = {{1, 10, 10, 1, 0}, {0, 10, 10, 0, 1}, {2, 0, 10, 2, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.band);
    clickAt(view, widgetPointOf(view, k.u, k.v, k.band * band, (k.band + 1) * band));
    EXPECT_EQ(view.indexOfCurveOfInterest(), k.curve);
    EXPECT_EQ(view.indexOfPointOfInterest(), k.point);
  }
}

TEST_F(PlotViewWithPOITest, ArrowKeysStepAndWrap) {
  view.setPlotDictionary(Dictionary{
      {"curves", Array{curve({0, 1, 2}, {0, 1, 2}), curve({0, 1, 2}, {2, 1, 0})}}});
  render(view);

  // Without a point of interest the keys do nothing.
  press(view, Qt::Key_Right);
  EXPECT_EQ(view.indexOfPointOfInterest(), kNone);

  view.setCurveAndPointOfInterest(1, 2);
  press(view, Qt::Key_Right);  // last point → first
  EXPECT_EQ(view.indexOfPointOfInterest(), 0u);
  press(view, Qt::Key_Left);  // first point → last
  EXPECT_EQ(view.indexOfPointOfInterest(), 2u);
  press(view, Qt::Key_Left);
  EXPECT_EQ(view.indexOfPointOfInterest(), 1u);
  press(view, Qt::Key_Up);  // last curve → first, same point
  EXPECT_EQ(view.indexOfCurveOfInterest(), 0u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 1u);
  press(view, Qt::Key_Down);  // first curve → last
  EXPECT_EQ(view.indexOfCurveOfInterest(), 1u);

  // Stressing the select mode clears the point; in the zoom mode it does not.
  view.setMouseMode(ZoomView::Zoom);
  view.mouseModeStress();
  EXPECT_EQ(view.indexOfCurveOfInterest(), 1u);
  view.setMouseMode(ZoomView::Select);
  view.mouseModeStress();
  EXPECT_EQ(view.indexOfCurveOfInterest(), kNone);
}

// The marker is drawn round the point; a new result without that curve or point drops the
// indices without drawing and clears the description (and tells the read-out).
TEST_F(PlotViewWithPOITest, StaleIndicesResetWhenANewResultNoLongerHasThePoint) {
  struct Case {
    const char* what;
    Dictionary next;
  } cases[] = {
      {"fewer curves", Dictionary{{"curves", Array{curve({0, 1, 2}, {0, 1, 2})}}}},
      {"fewer points", Dictionary{{"curves", Array{curve({0, 1, 2}, {0, 1, 2}), curve({0}, {2})}}}},
      {"no curves", Dictionary{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlotViewWithPOI fresh;
    fresh.resize(600, 400);
    fresh.setBackgroundColor(Qt::white);
    int notified = 0;
    fresh.setPointOfInterestChangedHandler([&] { ++notified; });
    fresh.setPlotDictionary(Dictionary{
        {"curves", Array{curve({0, 1, 2}, {0, 1, 2}), curve({0, 1, 2}, {2, 1, 0})}}});
    render(fresh);
    fresh.setCurveAndPointOfInterest(1, 1);
    QImage marked = render(fresh);
    EXPECT_EQ(fresh.pointOfInterestDescription(), "x = 1.000000e+00, y = 1.000000e+00");
    EXPECT_EQ(notified, 1);
    // The red square is 6 units wide, centred on (1, 1): all red lies within 4 pixels of it.
    QPointF at = widgetPointOf(fresh, 1, 1);
    int redNear = 0;
    for (int dy = -4; dy <= 4; ++dy)
      for (int dx = -4; dx <= 4; ++dx) redNear += isRed(marked.pixel(int(at.x()) + dx, int(at.y()) + dy));
    EXPECT_GE(redNear, 10);
    EXPECT_EQ(redPixels(marked), redNear);

    fresh.setPlotDictionary(c.next);
    QImage after = render(fresh);
    EXPECT_EQ(fresh.indexOfCurveOfInterest(), kNone);
    EXPECT_EQ(fresh.indexOfPointOfInterest(), kNone);
    EXPECT_EQ(redPixels(after), 0);
    EXPECT_EQ(fresh.pointOfInterestDescription(), "");
    EXPECT_EQ(fresh.pointOfInterestAbscissa(), 0.0);
    EXPECT_EQ(notified, 2);
  }
}

// Descriptions written out by hand from the curve's keys.
TEST_F(PlotViewWithPOITest, DescriptionUsesLabelsNameAndFormats) {
  struct Case {
    const char* what;
    Dictionary extra;
    const char* expected;
  } cases[] = {
      {"plain", {}, "h = 1.500000e+00, dy = -2.500000e-01"},
      {"named", {{"name", "F1"}}, "F1, h = 1.500000e+00, dy = -2.500000e-01"},
      {"formats", {{"name", "F1"}, {"xFormat", "%.2f"}, {"yFormat", "%+.3g mm"}}, "F1, h = 1.50, dy = -0.25 mm"},
      {"percent", {{"xFormat", "%.0f%%"}}, "h = 2%, dy = -2.500000e-01"},
      {"hostile", {{"xFormat", "%s%n"}, {"yFormat", "%.1f"}}, "h = 1.500000e+00, dy = -0.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dictionary d = curve({0, 1.5}, {1, -0.25});
    d.set("xLabel", "h");
    d.set("yLabel", "dy");
    for (const auto& [key, value] : c.extra) d.set(key, value);
    view.setPlotDictionary(Dictionary{{"curves", Array{d}}});
    view.setCurveAndPointOfInterest(0, 1);
    render(view);
    EXPECT_EQ(view.pointOfInterestDescription(), c.expected);
    EXPECT_EQ(view.pointOfInterestAbscissa(), 1.5);
    EXPECT_EQ(view.pointOfInterestOrdinate(), -0.25);
  }
}

TEST(PlotViewWithPOIFormat, OnlyASingleDoubleConversionIsAccepted) {
  for (const char* good : {"%e", "%.3f", "%+08.3f", "%-12.4g mm", "%lf", "100%% of %G", "%#a", "x = %E"})
    EXPECT_EQ(PlotViewWithPOI::safeDoubleFormat(good), good);
  for (const char* bad : {"", "%", "abc", "%s", "%n", "%s%n", "%d", "%x", "%e%e", "%*f", "%.*f", "%Lf", "%100f",
                          "%.500f", "%p", "%f %", "%1$f"})
    EXPECT_EQ(PlotViewWithPOI::safeDoubleFormat(bad), "%e") << bad;
  EXPECT_EQ(PlotViewWithPOI::formatDouble("%s", 0.5), "5.000000e-01");
  EXPECT_EQ(PlotViewWithPOI::formatDouble("%99.2f", 1).size(), 99u);
}

// The first curve samples y = 0 at x = 0 … 10, the second y = 1 in the reverse order, so
// the point under x = 3 has index 3 on the first and index 7 on the second.
TEST(PlotViewRegeneratingPOI, SteppingToAnotherCurveLandsOnTheNearestPointOnScreen) {
  Dictionary forward = curve({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Dictionary backward = curve({10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  Dictionary plot{{"curves", Array{forward, backward}}};

  PlotViewRegeneratingPOI view;
  view.resize(600, 400);
  view.setPlotDictionary(plot);
  render(view);
  view.setCurveAndPointOfInterest(0, 3);
  press(view, Qt::Key_Up);
  EXPECT_EQ(view.indexOfCurveOfInterest(), 1u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 7u);
  press(view, Qt::Key_Right);  // x = 2
  press(view, Qt::Key_Down);   // wraps back to the first curve, under x = 2
  EXPECT_EQ(view.indexOfCurveOfInterest(), 0u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 2u);
  press(view, Qt::Key_Down);  // wraps to the last curve
  EXPECT_EQ(view.indexOfCurveOfInterest(), 1u);
  EXPECT_EQ(view.indexOfPointOfInterest(), 8u);

  // The plain view keeps the index instead.
  PlotViewWithPOI plain;
  plain.resize(600, 400);
  plain.setPlotDictionary(plot);
  render(plain);
  plain.setCurveAndPointOfInterest(0, 3);
  press(plain, Qt::Key_Up);
  EXPECT_EQ(plain.indexOfPointOfInterest(), 3u);
}

TEST(SpotView, BackgroundFollowsTheUserDefault) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  platform::UserDefaults defaults(dir.path().toStdString());
  EXPECT_EQ(SpotView(nullptr, defaults).backgroundColor(), QColor(Qt::white));
  defaults.setObject("spotDiagramsUseBlackBackground", true);
  EXPECT_EQ(SpotView(nullptr, defaults).backgroundColor(), QColor(Qt::black));
  defaults.setObject("spotDiagramsUseBlackBackground", false);
  EXPECT_EQ(SpotView(nullptr, defaults).backgroundColor(), QColor(Qt::white));
}

}  // namespace
}  // namespace orb::rendering
