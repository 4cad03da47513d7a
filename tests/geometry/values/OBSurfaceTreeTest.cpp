#include "geometry/values/OBSurfaceTree.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/OBSurfaceBounder.h"
#include "geometry/values/OutlinableSurface.h"

namespace orb::geometry {
namespace {

using foundation::XY;
using foundation::XYZ;

/// Classifies a cell's x-y square against the disc of radius r about the axis.
class DiscAperture : public BoxSurfaceTest {
 public:
  explicit DiscAperture(double r) : m_r(r) {}
  int boxSurfaceTest(const BoxProtocol& b) const override {
    auto nearest = [](double lo, double hi) { return lo > 0 ? lo : hi < 0 ? hi : 0.0; };
    const double n = std::hypot(nearest(b.xMin(), b.xMax()), nearest(b.yMin(), b.yMax()));
    const double f = std::hypot(std::max(-b.xMin(), b.xMax()), std::max(-b.yMin(), b.yMax()));
    return n >= m_r ? 2 : f <= m_r ? 1 : 0;
  }

 private:
  double m_r;
};

/// An aperture with a fixed answer.
class FixedAperture : public BoxSurfaceTest {
 public:
  explicit FixedAperture(int answer) : m_answer(answer) {}
  int boxSurfaceTest(const BoxProtocol&) const override { return m_answer; }

 private:
  int m_answer;
};

/// A spherical cap of radius R whose semidiameter may exceed R, so that its sag is
/// undefined near the rim of the tree's square.
class FakeSphere : public OutlinableSurface {
 public:
  FakeSphere(double radius, double semidiameter, std::shared_ptr<const BoxSurfaceTest> aperture = nullptr)
      : R(radius), sd(semidiameter), m_aperture(std::move(aperture)) {}
  double semidiameter() const override { return sd; }
  std::shared_ptr<const BoxSurfaceTest> fullAperture() const override {
    return std::make_shared<DiscAperture>(sd);
  }
  std::shared_ptr<const BoxSurfaceTest> aperture() const override { return m_aperture; }
  bool validQ(const XY& q) const override { return q.x * q.x + q.y * q.y <= R * R; }
  double sagAtQ(const XY& q) const override { return R - std::sqrt(R * R - q.x * q.x - q.y * q.y); }
  SurfaceTaylorExpansion taylorExpansionAtPosition(const XYZ& p) const override {
    const double w = std::sqrt(R * R - p.x * p.x - p.y * p.y);
    return {p.x / w, p.y / w, -1, 0, 0, 0, 0, 0, 0};
  }
  double R, sd;

 private:
  std::shared_ptr<const BoxSurfaceTest> m_aperture;
};

/// Behaves as the DXF writer: buffers vertices and emits a face on every fourth in mode 7.
struct RecordingDxf : DxfSink {
  void dxfBegin(int m) override {
    mode = m;
    buffer.clear();
  }
  void dxfVertex(double x, double y, double z) override {
    buffer.push_back({x, y, z});
    if (mode == kFourCornerFaces && buffer.size() == 4) {
      faces.push_back({buffer[0], buffer[1], buffer[2], buffer[3]});
      buffer.clear();
    }
  }
  void dxfEnd() override { buffer.clear(); }
  int mode = 0;
  std::vector<XYZ> buffer;
  std::vector<std::array<XYZ, 4>> faces;
};

struct RecordingSink : DrawingSink {
  void begin(DrawMode m) override { modes.push_back(m); }
  void normal(const XYZ& n) override { normals.push_back(n); }
  void vertex(const XYZ& p) override { vertices.push_back(p); }
  void end() override {}
  std::vector<DrawMode> modes;
  std::vector<XYZ> normals, vertices;
};

TEST(OBSurfaceBounderTest, EitherApertureExcludesBothMustContain) {
  struct Case {
    int full, clear;  // clear −1: no aperture
    int expected;
  };
  const Case cases[] = {{2, 1, 2}, {2, -1, 2}, {1, 1, 1}, {1, -1, 1}, {1, 2, 2}, {1, 0, 0},
                        {0, 2, 2}, {0, 1, 0},  {0, 0, 0}, {0, -1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "full " << c.full << ", clear " << c.clear);
    struct Surface : FakeSphere {
      Surface(int full, std::shared_ptr<const BoxSurfaceTest> clear) : FakeSphere(10, 5, std::move(clear)), f(full) {}
      std::shared_ptr<const BoxSurfaceTest> fullAperture() const override { return std::make_shared<FixedAperture>(f); }
      int f;
    };
    const Surface s(c.full, c.clear < 0 ? nullptr : std::make_shared<FixedAperture>(c.clear));
    OBSurfaceTree cell(s);
    EXPECT_EQ(OBSurfaceBounder(s).boxSurfaceTest(cell), c.expected);
  }
}

TEST(OBSurfaceTreeTest, OutlineCoversTheApertureAt64By64) {
  const FakeSphere lens(50, 12);
  const auto tree = OBSurfaceTree::outline(lens);
  EXPECT_EQ(tree->zMin(), -12);
  EXPECT_EQ(tree->depth(), 7u);
  const DiscAperture disc(12);
  std::size_t fine = 0;
  for (auto* leaf : tree->nontrivialLeaves()) {
    EXPECT_NE(disc.boxSurfaceTest(*leaf), 2);
    EXPECT_EQ(leaf->inscribedRadius(), 12.0 / 64);
    EXPECT_NE(dynamic_cast<OBSurfaceTree*>(leaf), nullptr);
    ++fine;
  }
  // Independently: the cells of the 64 × 64 grid that reach into the disc.
  std::size_t expected = 0;
  const double h = 24.0 / 64;
  for (int i = 0; i < 64; ++i)
    for (int j = 0; j < 64; ++j) {
      OctTree cell({-12 + (i + 0.5) * h, -12 + (j + 0.5) * h, 0}, h / 2);
      if (disc.boxSurfaceTest(cell) != 2) ++expected;
    }
  EXPECT_EQ(fine, expected);
}

TEST(OBSurfaceTreeTest, FacesOnlyForCellsWhollyWhereTheSagIsValid) {
  const FakeSphere lens(10, 12);  // sag undefined beyond r = 10
  const auto tree = OBSurfaceTree::outline(lens);
  RecordingDxf dxf;
  tree->dxfContentObjectsSurface(true, true, false, false, dxf);

  std::size_t expected = 0;  // fine cells with all four corners within r = 10
  const double h = 24.0 / 64;
  for (int i = 0; i < 64; ++i)
    for (int j = 0; j < 64; ++j) {
      bool valid = true;
      for (int c = 0; c < 4; ++c) {
        const double x = -12 + (i + (c & 1)) * h, y = -12 + (j + (c >> 1)) * h;
        valid = valid && x * x + y * y <= 100;
      }
      if (valid) ++expected;
    }
  ASSERT_GT(expected, 0u);
  EXPECT_EQ(dxf.faces.size(), expected);
  EXPECT_EQ(dxf.mode, DxfSink::kFourCornerFaces);
  for (const auto& f : dxf.faces) {
    // Corners (xMax, yMax), (xMin, yMax), (xMin, yMin), (xMax, yMin), lifted onto the sag.
    EXPECT_EQ(f[0].y, f[1].y);
    EXPECT_GT(f[0].x, f[1].x);
    EXPECT_EQ(f[1].x, f[2].x);
    EXPECT_GT(f[1].y, f[2].y);
    EXPECT_EQ(f[3].x, f[0].x);
    for (const auto& p : f) {
      EXPECT_LE(p.x * p.x + p.y * p.y, 100);
      EXPECT_NEAR(p.z, 10 - std::sqrt(100 - p.x * p.x - p.y * p.y), 1e-12);
    }
  }
  // Nothing is written for the inside cells alone when only surface cells are asked for.
  RecordingDxf none;
  tree->dxfContentObjectsSurface(false, false, false, false, none);
  EXPECT_TRUE(none.faces.empty());
}

TEST(OBSurfaceTreeTest, DrawsQuadsWithUnitNormalsOrOutlines) {
  const FakeSphere lens(10, 4);
  OBSurfaceTree tree(lens);
  tree.subdivide();  // four 4 × 4 quadrants
  RecordingSink filled;
  tree.daughter(0)->drawContentObjectShrunk(false, false, filled);
  ASSERT_EQ(filled.modes, std::vector<DrawMode>{DrawMode::Quads});
  ASSERT_EQ(filled.vertices.size(), 4u);
  EXPECT_EQ(filled.vertices[0].x, 4);
  EXPECT_EQ(filled.vertices[0].y, 4);
  const XYZ p = filled.vertices[0];
  const double w = std::sqrt(100 - 32);
  EXPECT_NEAR(filled.normals[0].x, p.x / 10, 1e-15);  // the sphere's normal (x, y, −w)/R
  EXPECT_NEAR(filled.normals[0].y, p.y / 10, 1e-15);
  EXPECT_NEAR(filled.normals[0].z, -w / 10, 1e-15);

  RecordingSink outline;
  tree.drawContentObjectsSurface(true, true, false, true, outline);
  EXPECT_EQ(outline.modes, std::vector<DrawMode>(4, DrawMode::LineLoop));
}

}  // namespace
}  // namespace orb::geometry
