#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "RecordingBackEnd.h"
#include "rendering/PlotGraph.h"

namespace orb::rendering {
namespace {

struct Graph {
  PlotPort* port = plotPortCreate();
  PlotGraph* graph = plotGraphCreate();
  test::RecordingBackEnd backEnd;
  std::vector<std::vector<double>> storage;
  Graph() {
    plotGraphSetPort(graph, port);
    plotPortRelease(port);
    plotPortSetBackEnd(port, &backEnd);
    plotPortSetFrame(port, 0, 600, 400, 0);
  }
  ~Graph() { plotGraphFree(graph); }
  void add(std::vector<double> x, std::vector<double> y, const void* context = nullptr) {
    storage.push_back(std::move(x));
    storage.push_back(std::move(y));
    auto& xs = storage[storage.size() - 2];
    plotGraphAddCurve(graph, static_cast<int>(xs.size()), xs.data(), storage.back().data(), nullptr, context);
  }
  bool hasText(const std::string& t) const {
    return std::any_of(backEnd.texts.begin(), backEnd.texts.end(), [&](auto& x) { return x.text == t; });
  }
};

constexpr PlotColor kRed{1, 0, 0, 1};

TEST(PlotDrawing, NaNSplitsAPolylineAndDotsEveryFinitePoint) {
  Graph g;
  g.graph->axisMode = 0;
  g.graph->styleCallback = [](const void* context, PlotGraph* graph) {
    graph->drawDots = context != nullptr;
    if (context) graph->port->backEnd->setColor(kRed);
  };
  static const int tag = 0;
  g.add({0, 1, 2, 3, 4}, {0, 1, NAN, 3, 4}, &tag);
  plotGraphDraw(g.graph);
  std::vector<test::RecordingBackEnd::Segment> red;
  for (auto& s : g.backEnd.segments)
    if (s.color == kRed) red.push_back(s);
  ASSERT_EQ(red.size(), 2u);  // 0→1 and 3→4, nothing across the gap
  double x1, y1, x3, y3;
  plotPortUserToView(g.port, 1, 1, x1, y1);
  plotPortUserToView(g.port, 3, 3, x3, y3);
  EXPECT_NEAR(red[0].x1, x1, 1e-9);
  EXPECT_NEAR(red[1].x0, x3, 1e-9);
  EXPECT_EQ(g.backEnd.dots.size(), 4u);
  // The colour does not leak past the curve.
  EXPECT_FALSE(g.backEnd.color == kRed);
}

TEST(PlotDrawing, ZeroLinesOnlyWhereZeroIsInside) {
  struct Case {
    const char* name;
    double xLo, xHi;
    int axisMode;
    bool vertical;
  };
  const Case cases[] = {
      {"range-straddles-zero", -3, 5, 2, true},
      {"range-above-zero", 1, 5, 2, false},
      {"zero-lines-off", -3, 5, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Graph g;
    g.graph->axisMode = c.axisMode;
    g.add({c.xLo, c.xHi}, {1, 2});
    plotGraphDraw(g.graph);
    double x0, y0, xTop, yTop;
    plotPortUserToView(g.port, 0, g.graph->workY.min, x0, y0);
    plotPortUserToView(g.port, 0, g.graph->workY.max, xTop, yTop);
    bool found = std::any_of(g.backEnd.segments.begin(), g.backEnd.segments.end(), [&](auto& s) {
      return std::abs(s.x0 - x0) < 1e-9 && std::abs(s.x1 - x0) < 1e-9 && std::abs(s.y0 - y0) < 1e-9 &&
             std::abs(s.y1 - yTop) < 1e-9;
    });
    EXPECT_EQ(found, c.vertical);
  }
}

TEST(PlotDrawing, TickLabelsFollowTheAxisFormat) {
  Graph g;
  g.add({0.13, 0.87}, {3, 7});
  plotGraphDraw(g.graph);
  for (const char* label : {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0", "3", "4", "5", "6", "7"})
    EXPECT_TRUE(g.hasText(label)) << label;
  EXPECT_EQ(g.backEnd.texts.size(), 11u);
  // Tick values that are rounding noise next to zero are labelled 0.
  Graph h;
  h.add({0, 1}, {0, 1});
  plotGraphLayout(h.graph);
  // -0.3 + 3 × 0.1 is 5.6e-17 in doubles, which "%g" would print as such.
  h.graph->workX.axisMin = h.graph->workX.min = -0.3;
  h.graph->workX.step = 0.1;
  plotGraphSetLabelFormat(h.graph, PlotAxisId::X, "%g");
  std::strcpy(h.graph->workX.labelFormat, "%g");
  h.backEnd.texts.clear();
  plotGraphDrawBand(h.graph);
  EXPECT_TRUE(h.hasText("0"));
  for (auto& t : h.backEnd.texts) EXPECT_EQ(t.text.find("e-"), std::string::npos) << t.text;
}

TEST(PlotDrawing, LegendReservesARowForEveryCurve) {
  Graph g;
  g.graph->legend = 1;
  static const std::string first = "first", third = "third";
  static const int unnamed = 0;
  g.graph->nameCallback = [](const void* context) -> std::optional<std::string> {
    if (context == &unnamed) return std::nullopt;
    return *static_cast<const std::string*>(context);
  };
  g.graph->styleCallback = [](const void* context, PlotGraph* graph) {
    graph->drawLines = context != &unnamed;  // the middle curve draws nothing at all
  };
  // Added in reverse: the list ends up first, unnamed, third.
  g.add({0, 1}, {0, 1}, &third);
  g.add({0, 1}, {1, 0}, &unnamed);
  g.add({0, 1}, {0.5, 0.5}, &first);
  plotGraphDraw(g.graph);
  auto at = [&](const std::string& name) {
    for (auto& t : g.backEnd.texts)
      if (t.text == name) return t.y;
    return std::nan("");
  };
  double spacing = -35.0 / 400 * (g.port->deviceHeight);
  EXPECT_NEAR(at("third") - at("first"), 2 * spacing, 1e-6);
}

TEST(PlotDrawing, TitlesSitInTheirStrips) {
  Graph g;
  g.add({0, 1}, {0, 1});
  plotGraphDraw(g.graph);
  g.backEnd.texts.clear();
  plotGraphDrawTitles(g.graph, "Title", "x axis", "y axis");
  ASSERT_EQ(g.backEnd.texts.size(), 3u);
  const auto &xLabel = g.backEnd.texts[0], &yLabel = g.backEnd.texts[1], &title = g.backEnd.texts[2];
  EXPECT_LT(xLabel.y, 40);            // below the plot area
  EXPECT_GT(title.y, 400 - 20);       // above it
  EXPECT_EQ(yLabel.degrees, 90);
  EXPECT_LT(yLabel.x + 7 * 6, 60);    // left of it
  EXPECT_NEAR(title.x + 7 * 5 / 2.0, (60 + 580) / 2.0, 1);  // centred over it
  // The port is left on the plot area and the plotted ranges.
  EXPECT_EQ(g.port->windowXLeft, g.graph->workX.min);
}

}  // namespace
}  // namespace orb::rendering
