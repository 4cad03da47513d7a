#include "rendering/GLDrawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "foundation/objects/OBTransform.h"
#include "geometry/values/Extents.h"
#include "lens/CircularAperture.h"
#include "lens/Surface.h"
#include "RecordingGL.h"

namespace orb::rendering {
namespace {

using foundation::XYZ;
using test::RecordedPrimitive;
using test::RecordingGL;

constexpr double kTol = 1e-9;

double azimuth(const XYZ& p) {
  double a = std::atan2(p.y, p.x) * 180 / std::numbers::pi;
  return a < -1e-9 ? a + 360 : std::max(a, 0.0);
}
XYZ sub(const XYZ& a, const XYZ& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
XYZ cross(const XYZ& a, const XYZ& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(const XYZ& a) { return std::sqrt(dot(a, a)); }

// Keeps the process-wide flag from leaking between tests.
class GLDrawing : public ::testing::Test {
 protected:
  void TearDown() override { setOpenGLReversesNormals(false); }
};

TEST_F(GLDrawing, PolygonNormalAndOrderFollowFacingAndReversal) {
  const XYZ triangle[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  struct Case {
    bool facing, reverses;
    double normalZ;
    bool reversedOrder;
  };
  for (const Case& c : {Case{false, false, 1, false}, Case{true, false, -1, true}, Case{false, true, -1, false},
                        Case{true, true, 1, true}}) {
    setOpenGLReversesNormals(c.reverses);
    RecordingGL gl;
    openGLTriangle(gl, triangle, c.facing);
    ASSERT_EQ(gl.primitives.size(), 1u);
    const RecordedPrimitive& p = gl.primitives[0];
    EXPECT_EQ(p.kind, GLPrimitive::Polygon);
    EXPECT_EQ(gl.normalCalls, 1);
    EXPECT_EQ(*p.normals[0], (XYZ{0, 0, c.normalZ})) << c.facing << c.reverses;
    EXPECT_EQ(p.vertices.front(), c.reversedOrder ? triangle[2] : triangle[0]);
    EXPECT_EQ(p.vertices.back(), c.reversedOrder ? triangle[0] : triangle[2]);
  }
}

// The quads of a one-edge open profile, one per step: the azimuth of each step's start
// and end.
std::vector<std::pair<double, double>> stepsOf(const RecordingGL& gl) {
  std::vector<std::pair<double, double>> steps;
  for (const auto* q : gl.of(GLPrimitive::Polygon)) steps.push_back({azimuth(q->vertices[0]), azimuth(q->vertices[2])});
  return steps;
}

TEST_F(GLDrawing, OpenSweepStepsNeverExceedOneSegment) {
  const XYZ profile[2] = {{1, 0, 0}, {2, 0, 1}};
  struct Case {
    double phiMin, phiMax;
    int steps;
    double first, stepDegrees;
  };
  for (const Case& c : {Case{0, 360, 16, 0, 22.5}, Case{10, 10, 16, 10, 22.5}, Case{350, 20, 1, 350, 30},
                        Case{0, 90, 4, 0, 22.5}, Case{0, 100, 4, 0, 25}, Case{-30, 30, 2, 330, 30},
                        Case{0, 5, 1, 0, 5}}) {
    RecordingGL gl;
    openGLSurfaceOfRevolution(gl, 2, profile, 16, false, c.phiMin, c.phiMax);
    const auto steps = stepsOf(gl);
    ASSERT_EQ(static_cast<int>(steps.size()), c.steps) << c.phiMin << " " << c.phiMax;
    for (int k = 0; k < c.steps; ++k) {
      const double from = std::fmod(c.first + k * c.stepDegrees, 360.0);
      EXPECT_NEAR(steps[static_cast<std::size_t>(k)].first, from, 1e-7) << c.phiMin << " step " << k;
      EXPECT_NEAR(std::fmod(steps[static_cast<std::size_t>(k)].second, 360.0),
                  std::fmod(from + c.stepDegrees, 360.0), 1e-7);
    }
  }
}

TEST_F(GLDrawing, OpenSweepQuadsLieOnTheProfileAndFaceAwayFromTheAxis) {
  // A cylinder of radius 2 from z 0 to 1: each quad is (r cos φ1, r sin φ1, z) … in the
  // documented corner order, and its normal points away from the axis with facing NO
  // for a profile running up in z.
  const XYZ profile[2] = {{2, 0, 1}, {2, 0, 0}};
  RecordingGL gl;
  openGLSurfaceOfRevolution(gl, 2, profile, 4, false, 0, 360);
  ASSERT_EQ(gl.primitives.size(), 4u);
  const RecordedPrimitive& q = gl.primitives[1];  // from 90° to 180°
  const std::vector<XYZ> expected = {{0, 2, 1}, {0, 2, 0}, {-2, 0, 0}, {-2, 0, 1}};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(q.vertices[k].x, expected[k].x, kTol);
    EXPECT_NEAR(q.vertices[k].y, expected[k].y, kTol);
    EXPECT_NEAR(q.vertices[k].z, expected[k].z, kTol);
  }
  EXPECT_GT(dot(*q.normals[0], {-1, 1, 0}), 0);  // out through the middle of the face
}

TEST_F(GLDrawing, ProfilePointsOnTheAxisGiveTriangles) {
  // A cone tip on the axis, then a ring, then a lid edge back to the axis.
  const XYZ profile[4] = {{0, 0, 0}, {1, 0, 1}, {1, 0, 2}, {0, 0, 2.5}};
  RecordingGL gl;
  openGLSurfaceOfRevolution(gl, 4, profile, 8, false, 0, 360);
  int triangles = 0, quads = 0;
  for (const auto& p : gl.primitives) {
    ASSERT_EQ(p.kind, GLPrimitive::Polygon);
    if (p.vertices.size() == 3) {
      ++triangles;
      int onAxis = 0;
      for (const XYZ& v : p.vertices) onAxis += std::hypot(v.x, v.y) < kTol;
      EXPECT_EQ(onAxis, 1);
    } else {
      EXPECT_EQ(p.vertices.size(), 4u);
      ++quads;
    }
  }
  EXPECT_EQ(triangles, 16);
  EXPECT_EQ(quads, 8);
  // An edge lying on the axis draws nothing.
  const XYZ onAxis[2] = {{0, 0, 0}, {0, 0, 1}};
  RecordingGL none;
  openGLSurfaceOfRevolution(none, 2, onAxis, 8, false, 0, 360);
  EXPECT_TRUE(none.primitives.empty());
}

TEST_F(GLDrawing, DegenerateSweepsDrawNothing) {
  const XYZ profile[2] = {{1, 0, 0}, {2, 0, 1}};
  RecordingGL gl;
  openGLSurfaceOfRevolution(gl, 1, profile, 16, false, 0, 360);
  openGLSurfaceOfRevolution(gl, 2, profile, 2, false, 0, 360);
  openGLClosedSurfaceOfRevolution(gl, 2, profile, 2, false, 0, 360);
  openGLSurfaceOfRevolution(gl, 2, profile, 16, false, std::nan(""), 360);
  EXPECT_TRUE(gl.primitives.empty());
}

// A square cross-section 1 ≤ r ≤ 2, 0 ≤ z ≤ 1 running clockwise in (r, z), so that
// facing NO turns the band's faces outward; the closing point is repeated, which makes
// the open sweep hand it on as a closed profile.
const XYZ kSquareCW[5] = {{1, 0, 0}, {1, 0, 1}, {2, 0, 1}, {2, 0, 0}, {1, 0, 0}};
const XYZ kSquareCCW[4] = {{1, 0, 0}, {2, 0, 0}, {2, 0, 1}, {1, 0, 1}};

struct Caps {
  std::vector<const RecordedPrimitive*> caps;
  int bandQuads = 0;
};
Caps split(const RecordingGL& gl) {
  Caps out;
  for (const auto& p : gl.primitives) {
    if (p.kind == GLPrimitive::Triangles) out.caps.push_back(&p);
    if (p.kind == GLPrimitive::Polygon) ++out.bandQuads;
  }
  return out;
}

TEST_F(GLDrawing, ClosedSweepThroughZeroDrawsOnlyTheRangeWithCapsAtItsEnds) {
  RecordingGL gl;
  openGLSurfaceOfRevolution(gl, 5, kSquareCW, 16, false, 300, 60);
  const Caps c = split(gl);
  // Bands 0–22.5, 22.5–45, 45–60, 300–315, 315–337.5, 337.5–360 of four edges each.
  EXPECT_EQ(c.bandQuads, 24);
  ASSERT_EQ(c.caps.size(), 2u);
  EXPECT_NEAR(azimuth(c.caps[0]->vertices[0]), 60, 1e-9);   // the end cap comes first, in sector 2
  EXPECT_NEAR(azimuth(c.caps[1]->vertices[0]), 300, 1e-9);  // the start cap, in sector 13
  for (const auto& p : gl.primitives)
    for (const XYZ& v : p.vertices) {
      const double a = azimuth(v);
      EXPECT_TRUE(a <= 60 + 1e-9 || a >= 300 - 1e-9 || a >= 360 - 1e-9) << a;
    }
  // The solid is the prism over the 16-gon: the cap at 60° lies on the chord of the sector
  // 45°–67.5°, at cos(11.25°)/cos(3.75°) of the profile's radius.
  const double t = std::cos(11.25 * std::numbers::pi / 180) / std::cos(3.75 * std::numbers::pi / 180);
  for (const XYZ& v : c.caps[0]->vertices) {
    const double rho = std::hypot(v.x, v.y);
    EXPECT_TRUE(std::abs(rho - t) < 1e-9 || std::abs(rho - 2 * t) < 1e-9) << rho;
  }
}

TEST_F(GLDrawing, ClosedSweepLimitCases) {
  struct Case {
    double phiMin, phiMax;
    int bandQuads, caps;
  };
  for (const Case& c : {
           Case{0, 360, 64, 0},   // a full turn: 16 bands, no caps
           Case{10, 10, 64, 0},   // equal limits: a full turn too
           Case{0, 90, 16, 2},    // four whole sectors
           Case{10, 20, 4, 2},    // both limits inside one sector
           Case{20, 10, 68, 2},   // … the other way round: all but 10–20
           Case{22.5, 30, 4, 2},  // a start on a sector boundary
           Case{300, 0, 12, 2},   // an end at 0 is capped at 360
           Case{300, 360, 12, 2},
       }) {
    RecordingGL gl;
    openGLClosedSurfaceOfRevolution(gl, 4, kSquareCW, 16, false, c.phiMin, c.phiMax);
    const Caps split_ = split(gl);
    EXPECT_EQ(split_.bandQuads, c.bandQuads) << c.phiMin << " " << c.phiMax;
    EXPECT_EQ(static_cast<int>(split_.caps.size()), c.caps) << c.phiMin << " " << c.phiMax;
    for (const auto& p : gl.primitives)
      for (const XYZ& v : p.vertices) {
        if (c.phiMin == c.phiMax || std::hypot(v.x, v.y) < kTol) continue;
        const double a = azimuth(v), lo = std::fmod(c.phiMin, 360.0), hi = c.phiMax == 0 ? 360 : c.phiMax;
        const bool within = lo < hi ? a >= lo - 1e-9 && a <= hi + 1e-9 : a >= lo - 1e-9 || a <= hi + 1e-9;
        EXPECT_TRUE(within || (hi == 360 && a < 1e-9)) << c.phiMin << " " << c.phiMax << ": " << a;
      }
  }
}

TEST_F(GLDrawing, CapsOfAPartialSweepFaceOutOfTheSolid) {
  struct Case {
    const XYZ* profile;
    int n;
    bool facing;
    bool reverses;
  };
  for (const Case& c : {Case{kSquareCW, 4, false, false}, Case{kSquareCCW, 4, true, false},
                        Case{kSquareCW, 4, false, true}}) {
    setOpenGLReversesNormals(c.reverses);
    RecordingGL gl;
    openGLClosedSurfaceOfRevolution(gl, c.n, c.profile, 16, c.facing, 0, 90);
    const Caps caps = split(gl);
    ASSERT_EQ(caps.caps.size(), 2u);
    // Out of the solid: −y at the start (0°), −x at the end (90°). The triangles' winding
    // shows the side that GL treats as the front, the normal the lit side.
    const XYZ outward[2] = {{0, -1, 0}, {-1, 0, 0}};
    for (int k = 0; k < 2; ++k) {
      const RecordedPrimitive& cap = *caps.caps[static_cast<std::size_t>(k)];
      ASSERT_EQ(cap.vertices.size(), 6u);  // two triangles
      for (std::size_t t = 0; t < 6; t += 3) {
        const XYZ w = cross(sub(cap.vertices[t + 1], cap.vertices[t]), sub(cap.vertices[t + 2], cap.vertices[t]));
        EXPECT_GT(dot(w, outward[k]), 0) << "cap " << k;
      }
      const double lit = dot(*cap.normals[0], outward[k]);
      EXPECT_TRUE(c.reverses ? lit < 0 : lit > 0) << "cap " << k;
    }
    // The band's outer wall (r = 2) faces away from the axis as well.
    for (const auto& p : gl.primitives) {
      if (p.kind != GLPrimitive::Polygon) continue;
      bool outer = true;
      for (const XYZ& v : p.vertices) outer = outer && std::abs(std::hypot(v.x, v.y) - 2) < 0.1;
      if (!outer) continue;
      const XYZ mid{p.vertices[0].x + p.vertices[2].x, p.vertices[0].y + p.vertices[2].y, 0};
      const XYZ w = cross(sub(p.vertices[1], p.vertices[0]), sub(p.vertices[2], p.vertices[0]));
      EXPECT_GT(dot(w, mid), 0);
    }
  }
}

// Point-in-polygon by crossings, for points off the boundary.
bool inside(const std::vector<MeridionalPoint>& poly, double r, double z) {
  bool in = false;
  for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const auto& a = poly[i];
    const auto& b = poly[j];
    if ((a.z > z) != (b.z > z) && r < (b.r - a.r) * (z - a.z) / (b.z - a.z) + a.r) in = !in;
  }
  return in;
}

TEST_F(GLDrawing, CrescentCapIsTriangulatedInsideItsOutline) {
  // Outer arc of radius 2 about (3, 0) from −60° to 60°, back along a shallower arc: a
  // crescent whose inner side is all reflex vertices.
  std::vector<MeridionalPoint> poly;
  for (int k = 0; k <= 12; ++k) {
    const double t = (-60 + 10 * k) * std::numbers::pi / 180;
    poly.push_back({3 + 2 * std::cos(t), 2 * std::sin(t)});
  }
  const double top = 2 * std::sin(std::numbers::pi / 3);
  for (int k = 1; k < 12; ++k) {
    const double s = 1 - k / 6.0;  // 1 → −1, ends excluded
    poly.push_back({4 + 0.5 * (1 - s * s), top * s});
  }
  std::vector<XYZ> profile;
  for (const auto& p : poly) profile.push_back({p.r, 0, p.z});
  double area = 0;
  for (std::size_t k = 0; k < poly.size(); ++k) {
    const auto& a = poly[k];
    const auto& b = poly[(k + 1) % poly.size()];
    area += (a.r * b.z - b.r * a.z) / 2;
  }
  ASSERT_GT(std::abs(area), 0.1);

  for (bool facing : {false, true}) {
    RecordingGL gl;
    openGLMeridionalPolygon(gl, static_cast<int>(profile.size()), profile.data(), facing, 1, 0);
    ASSERT_EQ(gl.primitives.size(), 1u);
    const auto& v = gl.primitives[0].vertices;
    ASSERT_EQ(v.size(), 3 * (profile.size() - 2));
    double sum = 0;
    for (std::size_t t = 0; t < v.size(); t += 3) {
      const XYZ w = cross(sub(v[t + 1], v[t]), sub(v[t + 2], v[t]));
      sum += norm(w) / 2;
      // At azimuth 0 the cap lies in the x-z plane; all triangles turn the same way, the
      // way the band of this counter-clockwise profile faces: inward (+y) with facing NO.
      EXPECT_TRUE(facing ? w.y < 0 : w.y > 0);
      // Centroid and edge midpoints of every triangle lie inside the crescent.
      const XYZ c{(v[t].x + v[t + 1].x + v[t + 2].x) / 3, 0, (v[t].z + v[t + 1].z + v[t + 2].z) / 3};
      EXPECT_TRUE(inside(poly, c.x, c.z)) << c.x << " " << c.z;
      for (int e = 0; e < 3; ++e) {
        const XYZ& a = v[t + static_cast<std::size_t>(e)];
        const XYZ& b = v[t + static_cast<std::size_t>((e + 1) % 3)];
        const double mr = (a.x + b.x) / 2, mz = (a.z + b.z) / 2;
        // Midpoints of outline edges lie on the boundary; nudge towards the centroid.
        EXPECT_TRUE(inside(poly, mr + 1e-6 * (c.x - mr), mz + 1e-6 * (c.z - mz))) << mr << " " << mz;
      }
    }
    EXPECT_NEAR(sum, std::abs(area), 1e-9);
  }
}

TEST_F(GLDrawing, DiagonalTest) {
  const std::vector<MeridionalPoint> square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_TRUE(polygonHasDiagonal(0, 2, 4, square.data()));
  EXPECT_TRUE(polygonHasDiagonal(1, 3, 4, square.data()));
  EXPECT_FALSE(polygonHasDiagonal(0, 1, 4, square.data()));  // an edge: not strictly inside the cone
  // An arrow with its notch at vertex 3 = (1, 1).
  const std::vector<MeridionalPoint> arrow = {{0, 0}, {2, 0}, {2, 2}, {1, 1}, {0, 2}};
  EXPECT_FALSE(polygonHasDiagonal(2, 4, 5, arrow.data()));  // across the notch, outside
  EXPECT_TRUE(polygonHasDiagonal(1, 3, 5, arrow.data()));
  EXPECT_TRUE(polygonHasDiagonal(0, 3, 5, arrow.data()));
  // Through the notch's vertex: touching counts as crossing.
  EXPECT_FALSE(polygonHasDiagonal(0, 2, 5, arrow.data()));
}

TEST_F(GLDrawing, SphereTessellation) {
  {
    RecordingGL gl;
    openGLSphere(gl, 3);
    ASSERT_EQ(gl.primitives.size(), 1u);
    EXPECT_EQ(gl.primitives[0].kind, GLPrimitive::Points);
    EXPECT_EQ(gl.primitives[0].vertices, std::vector<XYZ>{(XYZ{0, 0, 0})});
  }
  struct Case {
    int n, bands;
  };
  for (const Case& c : {Case{10, 5}, Case{20, 10}, Case{5, 2}}) {
    RecordingGL gl;
    openGLSphere(gl, c.n);
    ASSERT_EQ(static_cast<int>(gl.primitives.size()), c.bands);
    double yMin = 2, yMax = -2;
    for (const auto& strip : gl.primitives) {
      EXPECT_EQ(strip.kind, GLPrimitive::QuadStrip);
      ASSERT_EQ(static_cast<int>(strip.vertices.size()), 2 * (c.n + 1));  // n + 1 pairs: n quads
      for (std::size_t k = 0; k < strip.vertices.size(); ++k) {
        const XYZ& v = strip.vertices[k];
        EXPECT_NEAR(norm(v), 1, 1e-12);
        EXPECT_EQ(*strip.normals[k], v);
        yMin = std::min(yMin, v.y), yMax = std::max(yMax, v.y);
      }
      // The strip closes on itself: the last pair repeats the first.
      EXPECT_NEAR(strip.vertices.back().x, strip.vertices[1].x, 1e-12);
      EXPECT_NEAR(strip.vertices.back().z, strip.vertices[1].z, 1e-12);
    }
    EXPECT_NEAR(yMin, -1, 1e-12) << c.n;  // pole to pole, also for an odd count
    EXPECT_NEAR(yMax, 1, 1e-12) << c.n;
  }
  // n = 10: bands of 36°, the first from −90° to −54°, the first pair at longitude 0.
  RecordingGL gl;
  openGLSphere(gl, 10);
  const double t1 = -54 * std::numbers::pi / 180;
  EXPECT_NEAR(gl.primitives[0].vertices[0].x, std::cos(t1), 1e-12);
  EXPECT_NEAR(gl.primitives[0].vertices[0].y, std::sin(t1), 1e-12);
  EXPECT_NEAR(gl.primitives[0].vertices[1].y, -1, 1e-12);
}

TEST_F(GLDrawing, RowMajorMatricesReachGLInColumnOrder) {
  // A translation by (0, 0, 10) with a 90° turn about z (x → y), row-major.
  const foundation::TransformationMatrix local{{0, -1, 0, 1, 1, 0, 0, 2, 0, 0, 1, 10, 0, 0, 0, 1}};
  const foundation::OBTransform frame(local, foundation::TransformationMatrix::identity());
  RecordingGL gl;
  transformOpenGL(gl, frame);
  ASSERT_EQ(gl.matrices.size(), 1u);
  const auto& m = gl.matrices[0];
  // Column-major: the translation is elements 12 to 14, the image of x is elements 0 to 2.
  EXPECT_EQ(m[12], 1);
  EXPECT_EQ(m[13], 2);
  EXPECT_EQ(m[14], 10);
  EXPECT_EQ(m[0], 0);
  EXPECT_EQ(m[1], 1);
  EXPECT_EQ(m[4], -1);
  EXPECT_EQ(m[15], 1);
  RecordingGL identity;
  transformOpenGL(identity, foundation::OBTransform());
  EXPECT_EQ(identity.matrices[0], (std::array<double, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST_F(GLDrawing, ExtentsDrawTheirTwelveEdges) {
  auto box = geometry::Extents::extentsWithCorner({-1, -2, -3}, {2, 4, 6});
  RecordingGL gl;
  drawUsingOpenGL(gl, *box);
  ASSERT_EQ(gl.primitives.size(), 3u);
  EXPECT_EQ(gl.primitives[0].kind, GLPrimitive::LineLoop);
  EXPECT_EQ(gl.primitives[1].kind, GLPrimitive::LineLoop);
  EXPECT_EQ(gl.primitives[2].kind, GLPrimitive::Lines);
  EXPECT_EQ(gl.normalCalls, 0);
  std::vector<std::pair<XYZ, XYZ>> edges;
  for (int loop = 0; loop < 2; ++loop) {
    const auto& v = gl.primitives[static_cast<std::size_t>(loop)].vertices;
    ASSERT_EQ(v.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_EQ(v[k].z, loop == 0 ? -3 : 3);
      edges.push_back({v[k], v[(k + 1) % 4]});
    }
  }
  const auto& lines = gl.primitives[2].vertices;
  ASSERT_EQ(lines.size(), 8u);
  for (std::size_t k = 0; k < 8; k += 2) edges.push_back({lines[k], lines[k + 1]});
  // Twelve axis-parallel edges: four of each length 2, 4 and 6.
  int byLength[7] = {};
  for (const auto& [a, b] : edges) {
    const XYZ d = sub(b, a);
    EXPECT_EQ((d.x != 0) + (d.y != 0) + (d.z != 0), 1);
    ++byLength[static_cast<int>(std::lround(norm(d)))];
  }
  EXPECT_EQ(byLength[2], 4);
  EXPECT_EQ(byLength[4], 4);
  EXPECT_EQ(byLength[6], 4);
}

// A surface draws its solid with the very sweep the views use: the lens's drawing of a
// sphere (partial, reversed too, behind an annulus) is, primitive for primitive, the
// sweep of its profile here, and the box is the views' box.
TEST_F(GLDrawing, SurfacesSweepWithTheRenderingRoutine) {
  auto s = lens::Surface::create();
  s->setCurvature(1 / 40.0);
  s->setSemidiameter(12);
  s->setAperture(lens::CircularAperture::annulusWithMinRadius(3, 12));
  setOpenGLReversesNormals(true);
  RecordingGL drawn, swept;
  s->drawUsingOpenGL(drawn, {{"phiMin", 30},
                             {"phiMax", 250},
                             {"numberOfSegmentsPerRevolution", 12},
                             {"drawAlsoReversed", true},
                             {"drawBoundingBox", true}});
  const auto profile = s->shapeSequence();
  const int n = static_cast<int>(profile.size());
  openGLSurfaceOfRevolution(swept, n, profile.data(), 12, false, 30, 250);
  openGLSurfaceOfRevolution(swept, n, profile.data(), 12, true, 30, 250);
  const auto faces = drawn.of(GLPrimitive::Polygon), expected = swept.of(GLPrimitive::Polygon);
  ASSERT_EQ(faces.size(), expected.size());
  ASSERT_EQ(faces.size(), 2 * 7 * static_cast<std::size_t>(n - 1));  // 220° in steps of at most 30°
  for (std::size_t k = 0; k < faces.size(); ++k) {
    EXPECT_EQ(faces[k]->vertices, expected[k]->vertices) << k;
    EXPECT_EQ(faces[k]->normals, expected[k]->normals) << k;
  }
  RecordingGL box;
  drawUsingOpenGL(box, *s->extents());
  ASSERT_EQ(drawn.of(GLPrimitive::LineLoop).size(), 2u);
  EXPECT_EQ(drawn.of(GLPrimitive::LineLoop)[0]->vertices, box.primitives[0].vertices);
  EXPECT_EQ(drawn.of(GLPrimitive::Lines).back()->vertices, box.primitives[2].vertices);
}

}  // namespace
}  // namespace orb::rendering
