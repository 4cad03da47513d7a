#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "RecordingBackEnd.h"
#include "rendering/PlotGraph.h"

namespace orb::rendering {
namespace {

// A graph on a port with a frame of `width` × `height` view units.
struct Graph {
  PlotPort* port = plotPortCreate();
  PlotGraph* graph = plotGraphCreate();
  test::RecordingBackEnd backEnd;
  std::vector<std::vector<double>> storage;
  Graph(double width = 600, double height = 400) {
    plotGraphSetPort(graph, port);
    plotPortRelease(port);
    plotPortSetBackEnd(port, &backEnd);
    plotPortSetFrame(port, 0, width, height, 0);
  }
  ~Graph() { plotGraphFree(graph); }
  void add(std::vector<double> x, std::vector<double> y) {
    storage.push_back(std::move(x));
    storage.push_back(std::move(y));
    auto& xs = storage[storage.size() - 2];
    auto& ys = storage.back();
    plotGraphAddCurve(graph, static_cast<int>(xs.size()), xs.data(), ys.data(), nullptr, nullptr);
  }
};

struct AxisCase {
  const char* name;
  double lo, hi;  // data range (lo > hi: no data)
  bool tight;
  double min, max, axisMin, axisMax, step, minor;
  const char* format;
};

TEST(PlotAxisRule, NiceNumbers) {
  const double inf = INFINITY;
  const AxisCase cases[] = {
      {"fractions-0.13-0.87", 0.13, 0.87, false, 0, 1, 0, 1, 0.2, 0.1, "%.1lf"},
      {"units-3-7", 3, 7, false, 3, 7, 3, 7, 1, 0, "%.0lf"},
      {"no-data", inf, -inf, false, -1, 1, -1, 1, 1, 0, "%g"},
      {"constant-2", 2, 2, false, 1, 3, 1, 3, 1, 0, "%g"},
      {"constant-2-tight", 2, 2, true, 1, 3, 2, 2, 0, 0, "%g"},
      {"constant-tiny-tight", 1e-4, 1e-4, true, 1e-4 - 1, 1e-4 + 1, 1e-4, 1e-4, 0, 0, "%.2e"},
      {"near-a-million", 1e6, 1e6 + 10, false, 1e6, 1e6 + 10, 1e6, 1e6 + 10, 2, 1, "%g"},
      {"tight-ends-keep-nice-ticks", 0.13, 0.87, true, 0.13, 0.87, 0, 1, 0.2, 0.1, "%.1lf"},
      {"negative-span", -47, -3, false, -50, 0, -50, 0, 10, 0, "%.0lf"},
  };
  for (const AxisCase& c : cases) {
    SCOPED_TRACE(c.name);
    PlotAxis a;
    a.dataMin = c.lo;
    a.dataMax = c.hi;
    a.tightMin = a.tightMax = c.tight;
    plotAxisRule(a);
    EXPECT_NEAR(a.min, c.min, 1e-9);
    EXPECT_NEAR(a.max, c.max, 1e-9);
    EXPECT_NEAR(a.axisMin, c.axisMin, 1e-9);
    EXPECT_NEAR(a.axisMax, c.axisMax, 1e-9);
    EXPECT_NEAR(a.step, c.step, 1e-12);
    EXPECT_NEAR(a.minorStep, c.minor, 1e-12);
    EXPECT_STREQ(a.labelFormat, c.format);
  }
}

TEST(PlotAxisRule, GivenStepAndEndsAreKept) {
  PlotAxis a;
  a.dataMin = 0.13;
  a.dataMax = 0.87;
  a.min = -2;
  a.minGiven = true;
  plotAxisRule(a);
  EXPECT_EQ(a.min, -2);  // a given end is not rounded
  EXPECT_NEAR(a.max, 1, 1e-12);

  PlotAxis b;
  b.dataMin = 0.13;
  b.dataMax = 0.87;
  b.step = 0.25;
  b.stepGiven = true;
  plotAxisRule(b);
  EXPECT_EQ(b.step, 0.25);
  EXPECT_EQ(b.axisMin, 0.13);
  EXPECT_EQ(b.axisMax, 0.87);
  EXPECT_EQ(b.minorStep, 0);
}

TEST(PlotLayout, ScansFiniteDataOnlyAndSetsThePlotArea) {
  Graph g(600, 400);
  g.add({3, NAN, 7, INFINITY}, {0.13, 0.5, 0.87, -INFINITY});
  plotGraphLayout(g.graph);
  double xMin, xMax, yMin, yMax;
  plotGraphGetWorkingDataExtents(g.graph, xMin, xMax, yMin, yMax);
  EXPECT_EQ(xMin, 3);
  EXPECT_EQ(xMax, 7);
  EXPECT_EQ(yMin, 0.13);
  EXPECT_EQ(yMax, 0.87);
  plotGraphGetRanges(g.graph, xMin, xMax, yMin, yMax);
  EXPECT_NEAR(xMin, 3, 1e-12);
  EXPECT_NEAR(xMax, 7, 1e-12);
  EXPECT_NEAR(yMin, 0, 1e-12);
  EXPECT_NEAR(yMax, 1, 1e-12);
  EXPECT_NEAR(g.graph->areaXMin, 60.0 / 600, 1e-12);
  EXPECT_NEAR(g.graph->areaXMax, 1 - 20.0 / 600, 1e-12);
  EXPECT_NEAR(g.graph->areaYMin, 40.0 / 400, 1e-12);
  EXPECT_NEAR(g.graph->areaYMax, 1 - 20.0 / 400, 1e-12);
  // A legend takes 100 units at the right.
  g.graph->legend = 1;
  plotGraphLayout(g.graph);
  EXPECT_NEAR(g.graph->areaXMax, 1 - 100.0 / 600, 1e-12);
}

// The legend strip is as wide as its longest name needs (names are centred in it, 8
// units of air each side), at least the classic 100 and at most two fifths of the frame.
TEST(PlotLayout, LegendStripFitsItsNames) {
  struct Case {
    const char* name;
    std::size_t characters;  // the recording back end measures 7 units a character
    double margin;
  };
  for (const Case& c : std::vector<Case>{{"no-names", 0, 100}, {"short", 8, 100}, {"long", 30, 7 * 30 + 16},
                                         {"too-long", 100, 0.4 * 600}}) {
    SCOPED_TRACE(c.name);
    Graph g;
    g.graph->legend = 1;
    const std::string name(c.characters, 'n');
    if (c.characters) g.graph->nameCallback = [name](const void*) -> std::optional<std::string> { return name; };
    g.add({0, 1}, {0, 1});
    plotGraphLayout(g.graph);
    EXPECT_NEAR(g.graph->marginRight, c.margin, 1e-9);
    EXPECT_NEAR(g.graph->areaXMax, 1 - c.margin / 600, 1e-12);
  }
}

TEST(PlotLayout, EqualAxesWidenTheSmallerSpan) {
  Graph g;
  g.graph->equalAxis = true;
  g.add({0, 10}, {0, 2});
  plotGraphLayout(g.graph);
  const PlotAxis& y = g.graph->workY;
  EXPECT_NEAR(y.min, -4, 1e-12);
  EXPECT_NEAR(y.max, 6, 1e-12);
  EXPECT_NEAR(y.axisMin, -4, 1e-12);
  EXPECT_NEAR(y.axisMax, 6, 1e-12);
  EXPECT_NEAR(y.step, 2, 1e-12);
  EXPECT_NEAR(g.graph->workX.min, 0, 1e-12);
  EXPECT_NEAR(g.graph->workX.max, 10, 1e-12);
}

TEST(PlotLayout, IsotropicScalesAreEqualInThePlotArea) {
  struct Case {
    const char* name;
    double width, height;
    std::vector<double> x, y;
  };
  const Case cases[] = {
      {"wide-frame", 600, 400, {-1, 1}, {-1, 1}},
      {"tall-frame", 300, 700, {0, 10}, {0, 2}},
      {"wide-labels", 500, 500, {0, 1}, {123456.5, 123457.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Graph g(c.width, c.height);
    g.graph->isotropic = true;
    g.add(c.x, c.y);
    plotGraphLayout(g.graph);
    PlotPort* p = g.port;
    double sx2, sy2;
    plotPortScaleSquared(p, sx2, sy2);
    // Whole-unit device rectangles allow half a unit of rounding over the area.
    EXPECT_NEAR(std::sqrt(sx2) / std::sqrt(sy2), 1.0, 1.0 / p->deviceHeight + 1.0 / p->deviceWidth);
    // The data still fit.
    EXPECT_LE(g.graph->workX.min, c.x.front());
    EXPECT_GE(g.graph->workX.max, c.x.back());
    EXPECT_LE(g.graph->workY.min, c.y.front());
    EXPECT_GE(g.graph->workY.max, c.y.back());
  }
}

TEST(PlotLayout, WideLabelsGrowTheLeftMarginTheSameOnEveryLayout) {
  Graph g(600, 400);
  g.add({0, 1}, {123456.5, 123457.5});  // "%g" labels such as "123457" (42 units wide)
  plotGraphLayout(g.graph);
  double first = g.graph->marginLeft;
  plotGraphLayout(g.graph);
  EXPECT_EQ(g.graph->marginLeft, first);
  // Label widths: the widest is measured 5 units left of the 60-unit margin.
  double widest = 0;
  const PlotAxis& y = g.graph->workY;
  for (double v = y.axisMin; v < y.axisMax + y.step / 2; v += y.step)
    widest = std::max(widest, 7.0 * plotFormatLabel(y.labelFormat, v).size());
  EXPECT_EQ(first, std::max(60.0, 60 + (20 - (55 - widest))));
}

}  // namespace
}  // namespace orb::rendering
