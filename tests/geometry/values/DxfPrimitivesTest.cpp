#include "geometry/values/DxfPrimitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orb::geometry {
namespace {

using foundation::XYZ;

/// Records each primitive as its mode and vertices, and cuts them into the faces and lines
/// a writer would make of them.
class RecordingSink : public DxfSink {
 public:
  struct Primitive {
    int mode;
    std::vector<XYZ> vertices;
  };
  std::vector<Primitive> primitives;

  void dxfBegin(int mode) override { primitives.push_back({mode, {}}); }
  void dxfVertex(double x, double y, double z) override { primitives.back().vertices.push_back({x, y, z}); }
  void dxfEnd() override {}

  /// Triangles, four-corner faces or line pairs, in order, from primitives of `mode`.
  std::vector<std::vector<XYZ>> pieces(int mode) const {
    const std::size_t size = mode == kTriangles ? 3 : mode == kFourCornerFaces ? 4 : 2;
    std::vector<std::vector<XYZ>> out;
    for (const auto& p : primitives) {
      if (p.mode != mode) continue;
      for (std::size_t i = 0; i + size <= p.vertices.size(); i += size)
        out.emplace_back(p.vertices.begin() + i, p.vertices.begin() + i + size);
    }
    return out;
  }
  std::vector<std::vector<XYZ>> triangles() const { return pieces(kTriangles); }
};

std::vector<XYZ> profileOf(const std::vector<std::pair<double, double>>& rz) {
  std::vector<XYZ> out;
  for (auto [r, z] : rz) out.push_back({r, 0, z});
  return out;
}

/// Twice the signed area of a triangle placed at c = 1, s = 0, in its (x, z) plane.
double windingArea(const std::vector<XYZ>& t) {
  return (t[1].x - t[0].x) * (t[2].z - t[0].z) - (t[1].z - t[0].z) * (t[2].x - t[0].x);
}

void expectNear(const XYZ& actual, const XYZ& expected) {
  EXPECT_NEAR(actual.x, expected.x, 1e-12);
  EXPECT_NEAR(actual.y, expected.y, 1e-12);
  EXPECT_NEAR(actual.z, expected.z, 1e-12);
}

TEST(DxfPrimitives, TriangleAndQuadAreOnePrimitiveEach) {
  RecordingSink sink;
  const double t[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const double q[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  dxfTriangle(sink, t);
  dxfQuad(sink, q);
  ASSERT_EQ(sink.primitives.size(), 2u);
  EXPECT_EQ(sink.primitives[0].mode, DxfSink::kTriangles);
  EXPECT_EQ(sink.primitives[0].vertices, (std::vector<XYZ>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  EXPECT_EQ(sink.primitives[1].mode, DxfSink::kFourCornerFaces);
  EXPECT_EQ(sink.primitives[1].vertices, (std::vector<XYZ>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
}

// The unit square counter-clockwise in (r, z), placed at 90° (c = 0, s = 1): the first ear
// is corners 0-1-2, the second 0-2-3, each written against the square's winding.
TEST(DxfPrimitives, SquareReversedGivesTheSameTrianglesTurnedRound) {
  const auto square = profileOf({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  const std::vector<std::vector<XYZ>> against = {{{0, 1, 1}, {0, 1, 0}, {0, 0, 0}},
                                                 {{0, 0, 1}, {0, 1, 1}, {0, 0, 0}}};
  RecordingSink plain, reversed;
  dxfPolygon(plain, 4, square.data(), false, 0, 1);
  dxfPolygon(reversed, 4, square.data(), true, 0, 1);
  EXPECT_EQ(plain.triangles(), against);
  auto turned = against;
  for (auto& t : turned) std::swap(t[0], t[2]);
  EXPECT_EQ(reversed.triangles(), turned);
}

TEST(DxfPrimitives, PolygonWindingFollowsInputAndReversedFlag) {
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> points;
    bool reversed;
    int expectedSign;  // of every triangle's winding in (r, z)
  };
  const std::vector<Case> cases = {
      {"counter-clockwise", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, false, -1},
      {"clockwise", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, false, +1},
      {"counter-clockwise-reversed", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true, +1},
      {"clockwise-reversed", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, true, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto profile = profileOf(c.points);
    RecordingSink sink;
    dxfPolygon(sink, 4, profile.data(), c.reversed, 1, 0);
    const auto triangles = sink.triangles();
    ASSERT_EQ(triangles.size(), 2u);
    for (const auto& t : triangles) EXPECT_EQ(windingArea(t) > 0 ? 1 : -1, c.expectedSign);
  }
}

// Non-convex polygons: a naive fan would cut across the notch. The areas are by hand: the
// notched rectangle is 4 × 3 less the notch triangle (base 4, height 2), the L three unit
// squares.
TEST(DxfPrimitives, EarClippingCoversNonConvexPolygons) {
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> points;
    double area;
  };
  const std::vector<Case> cases = {
      {"notch-at-second-corner", {{4, 3}, {2, 1}, {0, 3}, {0, 0}, {4, 0}}, 8},
      {"notch-clockwise", {{4, 0}, {0, 0}, {0, 3}, {2, 1}, {4, 3}}, 8},
      {"L-shape", {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto profile = profileOf(c.points);
    RecordingSink sink;
    dxfPolygon(sink, static_cast<int>(profile.size()), profile.data(), false, 1, 0);
    const auto triangles = sink.triangles();
    ASSERT_EQ(triangles.size(), profile.size() - 2);
    // All triangles wind one way, so their areas cannot cancel out a triangle outside.
    double total = 0;
    const double sign = windingArea(triangles[0]) > 0 ? 1 : -1;
    for (const auto& t : triangles) {
      EXPECT_GT(sign * windingArea(t), 0);
      total += sign * windingArea(t) / 2;
    }
    EXPECT_NEAR(total, c.area, 1e-12);
  }
}

TEST(DxfPrimitives, ArcStepsAcrossZeroAndThroughTheFullTurn) {
  struct Case {
    const char* name;
    int segments;
    double phi1, phi2;
    std::size_t expectedSegments;
  };
  const std::vector<Case> cases = {
      {"350-to-10", 36, 350, 10, 2},  {"quarter", 36, 0, 90, 9}, {"shorter-than-a-step", 8, 0, 30, 1},
      {"equal-angles-full-turn", 36, 10, 10, 36}, {"two-segments", 2, 0, 90, 0}, {"no-segments", 0, 0, 90, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    dxfArc(sink, c.segments, 2, 5, c.phi1, c.phi2);
    if (c.expectedSegments == 0) {
      EXPECT_TRUE(sink.primitives.empty());
      continue;
    }
    const auto lines = sink.pieces(DxfSink::kSeparateLines);
    ASSERT_EQ(lines.size(), c.expectedSegments);
    for (const auto& line : lines)
      for (const auto& p : line) {
        EXPECT_NEAR(std::hypot(p.x, p.y), 2, 1e-12);
        EXPECT_EQ(p.z, 5);
      }
  }
  // cos 10° = 0.984807753012208, sin 10° = 0.173648177666930.
  RecordingSink sink;
  dxfArc(sink, 36, 2, 5, 350, 10);
  const auto lines = sink.pieces(DxfSink::kSeparateLines);
  ASSERT_EQ(lines.size(), 2u);
  expectNear(lines[0][0], {1.969615506024416, -0.347296355333861, 5});
  expectNear(lines[0][1], {2, 0, 5});
  expectNear(lines[1][0], {2, 0, 5});
  expectNear(lines[1][1], {1.969615506024416, 0.347296355333861, 5});
}

TEST(DxfPrimitives, TooLittleToSweepDrawsNothing) {
  const auto one = profileOf({{1, 0}});
  const auto two = profileOf({{1, 0}, {2, 1}});
  RecordingSink sink;
  dxfRevolvedProfile(sink, 1, one.data(), 36, false, 0, 90);
  dxfRevolvedProfile(sink, 0, one.data(), 36, false, 0, 90);
  dxfRevolvedProfile(sink, 2, two.data(), 2, false, 0, 90);
  dxfRevolvedClosedProfile(sink, 1, one.data(), 36, false, 0, 90);
  dxfPolygon(sink, 2, two.data(), false, 1, 0);
  EXPECT_TRUE(sink.primitives.empty());
}

// An open profile from the axis out and back, swept a quarter turn in one step: edges that
// touch the axis become triangles through (0, 0, z), the edge off it a quad.
TEST(DxfPrimitives, AxisPointsTurnQuadsIntoTriangles) {
  const auto profile = profileOf({{0, 2}, {1, 0}, {1, -1}, {0, -2}});
  RecordingSink sink;
  dxfRevolvedProfile(sink, 4, profile.data(), 4, false, 0, 90);
  const std::vector<std::vector<XYZ>> triangles = {{{0, 0, 2}, {1, 0, 0}, {0, 1, 0}},
                                                   {{1, 0, -1}, {0, 0, -2}, {0, 1, -1}}};
  const std::vector<std::vector<XYZ>> quads = {{{1, 0, 0}, {1, 0, -1}, {0, 1, -1}, {0, 1, 0}}};
  EXPECT_EQ(sink.triangles(), triangles);
  EXPECT_EQ(sink.pieces(DxfSink::kFourCornerFaces), quads);
}

// A closed square ring (r from 1 to 2, z from 0 to 1), repeated first point included, on
// four 90° cells. Caps are two triangles each, every band four quads.
TEST(DxfPrimitives, ClosedProfileSweepsBandsAndCaps) {
  const auto ring = profileOf({{1, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0}});
  struct Case {
    const char* name;
    double phi1, phi2;
    std::size_t triangles, quads;
  };
  const std::vector<Case> cases = {
      {"within-one-cell", 0, 90, 4, 4},
      {"full-turn", 30, 30, 0, 16},
      {"across-zero", 315, 45, 4, 8},
      {"three-cells", 45, 225, 4, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    dxfRevolvedProfile(sink, 5, ring.data(), 4, false, c.phi1, c.phi2);
    EXPECT_EQ(sink.triangles().size(), c.triangles);
    EXPECT_EQ(sink.pieces(DxfSink::kFourCornerFaces).size(), c.quads);
  }
  // From 315° the band starts where that ray meets the chord of its cell, from (0, -1) to
  // (1, 0): the line x - y = 1 at (0.5, -0.5); so the start cap lies at r·(0.5, -0.5).
  RecordingSink sink;
  dxfRevolvedProfile(sink, 5, ring.data(), 4, false, 315, 45);
  const auto triangles = sink.triangles();
  ASSERT_EQ(triangles.size(), 4u);
  for (int i = 0; i < 2; ++i)
    for (const auto& p : triangles[i]) {
      EXPECT_NEAR(p.x + p.y, 0, 1e-12);
      EXPECT_TRUE(std::abs(p.x - 0.5) < 1e-12 || std::abs(p.x - 1) < 1e-12);
    }
  const auto quads = sink.pieces(DxfSink::kFourCornerFaces);
  expectNear(quads[0][0], {0.5, -0.5, 0});
  expectNear(quads[0][1], {1.0, -1.0, 0});
  expectNear(quads[0][2], {2, 0, 0});
  expectNear(quads[0][3], {1, 0, 0});
}

}  // namespace
}  // namespace orb::geometry
