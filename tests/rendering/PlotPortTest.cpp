#include "rendering/PlotPort.h"

#include <gtest/gtest.h>

#include <sstream>

#include "RecordingBackEnd.h"

namespace orb::rendering {
namespace {

using test::RecordingBackEnd;

// A 100 × 100 frame whose whole area shows the user window 0…10 × 0…10.
struct PortFixture : ::testing::Test {
  PlotPort* port = plotPortCreate();
  RecordingBackEnd backEnd;
  void SetUp() override {
    plotPortSetBackEnd(port, &backEnd);
    plotPortSetFrame(port, 0, 100, 100, 0);
    plotPortSetWindow(port, 0, 10, 0, 10);
  }
  void TearDown() override { plotPortRelease(port); }
};

TEST_F(PortFixture, ClipsSegmentsToTheWindow) {
  struct Case {
    const char* name;
    double u0, v0, u1, v1;
    bool visible;
    double x0, y0, x1, y1;  // expected view segment
  };
  const Case cases[] = {
      {"inside", 1, 1, 9, 9, true, 10, 10, 90, 90},
      {"wholly-left", -5, 2, -1, 8, false, 0, 0, 0, 0},
      {"wholly-above", 2, 11, 8, 15, false, 0, 0, 0, 0},
      {"crosses-left-and-top", -2, 5, 8, 15, true, 0, 70, 30, 100},
      {"crosses-right-and-bottom", 5, 5, 15, -5, true, 50, 50, 100, 0},
      {"through-both-sides", -10, 5, 20, 5, true, 0, 50, 100, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    backEnd.segments.clear();
    plotPortMoveTo(port, 5, 5);  // pen somewhere inside
    double penU = port->penU, penV = port->penV;
    plotPortMoveTo(port, c.u0, c.v0);
    plotPortDrawTo(port, c.u1, c.v1);
    if (!c.visible) {
      EXPECT_TRUE(backEnd.segments.empty());
      EXPECT_EQ(port->penU, penU);
      EXPECT_EQ(port->penV, penV);
      EXPECT_EQ(port->currentU, c.u1);  // the current point still moves
      continue;
    }
    ASSERT_EQ(backEnd.segments.size(), 1u);
    const auto& s = backEnd.segments[0];
    EXPECT_NEAR(s.x0, c.x0, 1e-9);
    EXPECT_NEAR(s.y0, c.y0, 1e-9);
    EXPECT_NEAR(s.x1, c.x1, 1e-9);
    EXPECT_NEAR(s.y1, c.y1, 1e-9);
  }
}

TEST_F(PortFixture, DashesCarryOverBetweenSegments) {
  plotPortSetWindow(port, 0, 100, 0, 100);  // one user unit per view unit
  plotPortSetDash(port, 1);                 // 10 on, 10 off
  plotPortMoveTo(port, 0, 50);
  plotPortDrawTo(port, 25, 50);  // 10 drawn, 10 skipped, 5 drawn
  plotPortDrawTo(port, 45, 50);  // 5 more down, 10 skipped, 5 drawn
  std::vector<std::pair<double, double>> drawn;
  for (const auto& s : backEnd.segments) drawn.push_back({s.x0, s.x1});
  std::vector<std::pair<double, double>> expected = {{0, 10}, {20, 25}, {25, 30}, {40, 45}};
  ASSERT_EQ(drawn.size(), expected.size());
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    EXPECT_NEAR(drawn[i].first, expected[i].first, 1e-9) << i;
    EXPECT_NEAR(drawn[i].second, expected[i].second, 1e-9) << i;
  }
  // Selecting a pattern restarts it with the pen down.
  backEnd.segments.clear();
  plotPortSetDash(port, 1);
  plotPortMoveTo(port, 0, 10);
  plotPortDrawTo(port, 5, 10);
  ASSERT_EQ(backEnd.segments.size(), 1u);
  EXPECT_NEAR(backEnd.segments[0].x1, 5, 1e-9);
}

TEST_F(PortFixture, FrameResetsViewportAndWindow) {
  plotPortSetViewport(port, 0.2, 0.9, 0.1, 0.8);
  plotPortSetWindow(port, -3, 3, -5, 5);
  plotPortSetFrame(port, 10, 410, 300, 100);
  EXPECT_EQ(port->viewportXMin, 0);
  EXPECT_EQ(port->viewportXMax, 1);
  EXPECT_EQ(port->viewportYMin, 0);
  EXPECT_EQ(port->viewportYMax, 1);
  double xl, xr, yb, yt;
  plotPortGetWindow(port, xl, xr, yb, yt);
  EXPECT_EQ(xl, 0);
  EXPECT_EQ(xr, 1);
  EXPECT_EQ(yb, 0);
  EXPECT_EQ(yt, 1);
  EXPECT_EQ(port->deviceX, 10);
  EXPECT_EQ(port->deviceWidth, 400);
  EXPECT_EQ(port->deviceY, 100);
  EXPECT_EQ(port->deviceHeight, 200);
}

TEST_F(PortFixture, ConvertsBetweenUserAndView) {
  plotPortSetViewport(port, 0.2, 0.8, 0.2, 0.8);  // device 20…80 in both
  plotPortSetWindow(port, -1, 1, 0, 4);
  double x, y, u, v;
  EXPECT_TRUE(plotPortUserToView(port, 0, 2, x, y));
  EXPECT_NEAR(x, 50, 1e-12);
  EXPECT_NEAR(y, 50, 1e-12);
  EXPECT_FALSE(plotPortUserToView(port, 2, 2, x, y));
  EXPECT_TRUE(plotPortViewToUser(port, 35, 65, u, v));
  EXPECT_NEAR(u, -0.5, 1e-12);
  EXPECT_NEAR(v, 3, 1e-12);
  // Outside the plot area: the clamped border point, reported as not inside.
  EXPECT_FALSE(plotPortViewToUser(port, 5, 95, u, v));
  EXPECT_EQ(u, -1);
  EXPECT_EQ(v, 4);
}

TEST_F(PortFixture, TransformsComposeInOrder) {
  // The ticks along the top edge: translate (0, 1) then scale (1, −1) maps v to 1 − v.
  plotPortPushTransform(port);
  plotPortTranslate(port, 0, 1);
  plotPortScale(port, 1, -1);
  double u = 0.3, v = 0.02;
  plotPortApplyTransform(port, u, v);
  EXPECT_NEAR(u, 0.3, 1e-15);
  EXPECT_NEAR(v, 0.98, 1e-15);
  plotPortInvertTransform(port, u, v);
  EXPECT_NEAR(v, 0.02, 1e-15);
  plotPortPopTransform(port);
  u = 0.3, v = 0.02;
  plotPortApplyTransform(port, u, v);
  EXPECT_EQ(v, 0.02);
}

TEST_F(PortFixture, PolygonAroundTheWindowTracesItsBorder) {
  // A square far larger than the window never shows inside it, but winds round it once.
  plotPortBeginPolygon(port);
  plotPortMoveTo(port, -10, -10);
  plotPortDrawTo(port, 20, -10);
  plotPortDrawTo(port, 20, 20);
  plotPortDrawTo(port, -10, 20);
  plotPortDrawTo(port, -10, -10);
  EXPECT_TRUE(backEnd.segments.empty());
  plotPortEndPolygon(port);
  EXPECT_EQ(backEnd.segments.size(), 4u);
  // A square beside the window does not wind round it: nothing.
  backEnd.segments.clear();
  plotPortBeginPolygon(port);
  plotPortMoveTo(port, 20, 20);
  plotPortDrawTo(port, 30, 20);
  plotPortDrawTo(port, 30, 30);
  plotPortDrawTo(port, 20, 20);
  plotPortEndPolygon(port);
  EXPECT_TRUE(backEnd.segments.empty());
}

TEST_F(PortFixture, WritesDXFLinesInFrameFractions) {
  std::ostringstream dxf;
  plotPortSetDXFStream(port, &dxf);
  plotPortMoveTo(port, 0, 0);
  plotPortDrawTo(port, 5, 10);
  EXPECT_TRUE(backEnd.segments.empty());
  EXPECT_EQ(dxf.str(), "  0\nLINE\n 8\n0\n 10\n0.000000\n 20\n0.000000\n 11\n0.500000\n 21\n1.000000\n");
}

TEST(PlotPort, NullPortIsIgnored) {
  plotPortMoveTo(nullptr, 1, 2);
  plotPortDrawTo(nullptr, 1, 2);
  plotPortFrameBox(nullptr);
  plotPortRelease(nullptr);
  double sx2, sy2;
  plotPortScaleSquared(nullptr, sx2, sy2);
  EXPECT_EQ(sx2, 1.0);
  EXPECT_EQ(plotPortAspect(nullptr), 0.0);
}

}  // namespace
}  // namespace orb::rendering
