// What a surface draws: its profile, bounding box, the swept solid for the 3-D views and
// DXF, and the planar profiles of the layouts. All in the surface's local frame.

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/DxfPrimitives.h"
#include "geometry/values/Extents.h"
#include "geometry/values/OBSurfaceTree.h"
#include "geometry/values/SweepDrawing.h"
#include "lens/Aperture.h"
#include "lens/CircularAperture.h"
#include "lens/DrawingOptions.h"
#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfacePoly.h"
#include "lens/SurfaceZernikeSag.h"
#include "platform/UserDefaults.h"

namespace orb::lens {

using foundation::XY;
using foundation::XYZ;
using platform::Value;

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

int segmentsFromDefaults(const char* key, int fallback) {
  const auto n = platform::UserDefaults::standard().integerForKey(key);
  return n > 0 ? static_cast<int>(std::min<std::int64_t>(n, 100000)) : fallback;
}

double numberOr(const platform::Dictionary& options, const char* key, double fallback) {
  const Value* v = options.find(Value(key));
  return v && v->isNumber() ? v->asDouble() : fallback;
}

bool flag(const platform::Dictionary& options, const char* key) {
  const Value* v = options.find(Value(key));
  return v && v->isNumber() && v->asBool();
}

// Angles a..b of a sweep, in steps of at most one segment: a = phiMin mod 360, b = phiMax
// mod 360 plus a turn when not above a.
struct Sweep {
  double a, b, step;
  int steps;
};
Sweep sweepOf(const DrawingOptions& o) {
  double a = std::fmod(o.phiMin, 360.0), b = std::fmod(o.phiMax, 360.0);
  if (b <= a) b += 360;
  const int steps = std::max(static_cast<int>((b - a) / (360.0 / o.segmentsPerRevolution)), 1);
  return {a, b, (b - a) / steps, steps};
}

}  // namespace

DrawingOptions DrawingOptions::from(const platform::Dictionary& options) {
  DrawingOptions o;
  const double segments = numberOr(options, "numberOfSegmentsPerRevolution", 16);
  o.segmentsPerRevolution = std::isfinite(segments) ? static_cast<int>(std::clamp(segments, -1.0, 100000.0)) : 16;
  o.phiMin = numberOr(options, "phiMin", 0);
  o.phiMax = numberOr(options, "phiMax", 360);
  if (!std::isfinite(o.phiMin)) o.phiMin = 0;
  if (!std::isfinite(o.phiMax)) o.phiMax = 360;
  o.drawAlsoReversed = flag(options, "drawAlsoReversed");
  o.drawBoundingBox = flag(options, "drawBoundingBox");
  o.drawsSurfaceAxes = flag(options, "drawsSurfaceAxes");
  o.surfaceAxesLength = numberOr(options, "surfaceAxesLength", 10);
  return o;
}

// --- profile and extents ------------------------------------------------------------------------

std::vector<XYZ> Surface::shapeSequence() const {
  double rho = 0;
  if (auto circle = std::dynamic_pointer_cast<CircularAperture>(m_aperture))
    if (circle->decenterX() == 0 && circle->decenterY() == 0) rho = std::max(circle->rMin(), 0.0);
  const double R = std::min(maximumRadius(), m_semidiameter);
  rho = std::min(rho, maximumRadius());
  if (isPlanarInAppearance()) return {{rho, 0, 0}, {m_semidiameter, 0, 0}};
  const int n = segmentsFromDefaults("numberOfRadialSegments", 32);
  std::vector<XYZ> profile(static_cast<std::size_t>(n) + 1);
  for (int k = 0; k <= n; ++k) {
    const double r = k == n ? R : rho + k * (R - rho) / n;
    profile[static_cast<std::size_t>(k)] = {r, 0, sagAtRadius(r)};
  }
  return profile;
}

std::vector<XYZ> SurfaceAsphere::shapeSequence() const {
  // Polynomial terms can make a plane-looking asphere curved: always sampled.
  const double R = std::min(maximumRadius(), semidiameter());
  const int n = segmentsFromDefaults("numberOfRadialSegments", 32);
  std::vector<XYZ> profile(static_cast<std::size_t>(n) + 1);
  for (int k = 0; k <= n; ++k) {
    const double r = k == n ? R : k * R / n;
    profile[static_cast<std::size_t>(k)] = {r, 0, sagAtRadius(std::abs(r))};
  }
  return profile;
}

std::shared_ptr<geometry::MutableExtents> Surface::extents() const {
  auto e = geometry::MutableExtents::extents();
  if (isAxisymmetric()) {
    const auto profile = shapeSequence();
    double rMax = 0, zMin = std::numeric_limits<double>::infinity(), zMax = -zMin;
    for (const XYZ& p : profile) {
      rMax = std::max(rMax, std::abs(p.x));
      zMin = std::min(zMin, p.z), zMax = std::max(zMax, p.z);
    }
    if (!profile.empty()) {
      e->absorb(-rMax, -rMax, zMin);
      e->absorb(rMax, rMax, zMax);
    }
    return e;
  }
  for (int k = 0; k < 32; ++k) {
    const double phi = k * std::numbers::pi / 16, x = m_semidiameter * std::cos(phi), y = m_semidiameter * std::sin(phi);
    e->absorb(x, y, validQ({x, y}) ? sagAtQ({x, y}) : 0);
  }
  return e;
}

// --- 3-D -------------------------------------------------------------------------------------------

void Surface::drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options) const {
  const DrawingOptions o = DrawingOptions::from(options);
  if (canDrawAxisymmetric()) {
    if (o.segmentsPerRevolution < 3) return;
    const auto profile = shapeSequence();
    const int n = static_cast<int>(profile.size());
    const Sweep s = sweepOf(o);
    geometry::openGLSurfaceOfRevolution(sink, n, profile.data(), o.segmentsPerRevolution, false, o.phiMin, o.phiMax);
    if (o.drawAlsoReversed)
      geometry::openGLSurfaceOfRevolution(sink, n, profile.data(), o.segmentsPerRevolution, true, o.phiMin, o.phiMax);
    if (!profile.empty()) {
      const XYZ rim = profile.back();
      sink.begin(geometry::DrawMode::LineStrip);
      for (int k = 0; k <= s.steps; ++k) {
        const double phi = (s.a + k * s.step) * kRadiansPerDegree;
        sink.vertex({rim.x * std::cos(phi), rim.x * std::sin(phi), rim.z});
      }
      sink.end();
      if (o.drawBoundingBox) geometry::drawExtents(sink, *extents());
    }
    return;
  }
  auto tree = geometry::OBSurfaceTree::outline(*this);
  tree->drawContentObjectsSurface(true, true, false, false, sink);
  tree->drawContentObjectsSurface(true, true, false, true, sink);
}

void Surface::dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options) const {
  const DrawingOptions o = DrawingOptions::from(options);
  if (canDrawAxisymmetric()) {
    const auto profile = shapeSequence();
    const int n = static_cast<int>(profile.size());
    geometry::dxfRevolvedProfile(sink, n, profile.data(), o.segmentsPerRevolution, false, o.phiMin, o.phiMax);
    if (o.drawAlsoReversed)
      geometry::dxfRevolvedProfile(sink, n, profile.data(), o.segmentsPerRevolution, true, o.phiMin, o.phiMax);
    if (!profile.empty())
      geometry::dxfArc(sink, o.segmentsPerRevolution, profile.back().x, profile.back().z, o.phiMin, o.phiMax);
    return;
  }
  geometry::OBSurfaceTree::outline(*this)->dxfContentObjectsSurface(true, true, false, false, sink);
}

namespace {
struct Axis {
  XYZ end, rgb;
};
std::array<Axis, 3> axesOfLength(double L) {
  return {Axis{{L, 0, 0}, {0.7, 0.2, 0.2}}, Axis{{0, L, 0}, {0.2, 0.7, 0.2}}, Axis{{0, 0, L}, {0.2, 0.2, 1.0}}};
}
}  // namespace

void Surface::drawAxesUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options) const {
  const double L = DrawingOptions::from(options).surfaceAxesLength;
  sink.setLighting(false);
  sink.lineWidth(2);
  sink.begin(geometry::DrawMode::Lines);
  for (const Axis& a : axesOfLength(L)) {
    sink.color(a.rgb);
    sink.vertex({0, 0, 0});
    sink.vertex(a.end);
  }
  sink.end();
  sink.lineWidth(1);
  sink.setLighting(true);
}

void Surface::dxfAxesWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options) const {
  const double L = DrawingOptions::from(options).surfaceAxesLength;
  sink.dxfBegin(geometry::DxfSink::kSeparateLines);
  for (const Axis& a : axesOfLength(L)) {
    sink.dxfSetColorRGB(a.rgb.x, a.rgb.y, a.rgb.z);
    sink.dxfVertex(0, 0, 0);
    sink.dxfVertex(a.end.x, a.end.y, a.end.z);
  }
  sink.dxfEnd();
}

bool Surface::entityDrawZY(Painter2D&, const PlanarAffineTransform&) const { return false; }
bool Surface::entityDrawZX(Painter2D&, const PlanarAffineTransform&) const { return false; }

// --- meshes ---------------------------------------------------------------------------------------

namespace {

// One quad per cell of an n × n grid of corners, (i, k), (i + 1, k), (i + 1, k + 1), (i, k + 1),
// facing front and, when asked, once more facing back.
template <class Corner>
void drawMeshCells(geometry::DrawingSink& sink, int n, const Corner& corner, bool alsoReversed) {
  for (const bool facing : {false, true}) {
    if (facing && !alsoReversed) break;
    for (int i = 0; i + 1 < n; ++i)
      for (int k = 0; k + 1 < n; ++k) {
        const XYZ quad[4] = {corner(i, k), corner(i + 1, k), corner(i + 1, k + 1), corner(i, k + 1)};
        geometry::openGLQuad(sink, quad, facing);
      }
  }
}

// A line strip through the corners (i0 + di·t, k0 + dk·t), t = 0 … n − 1.
template <class Corner>
void drawMeshLine(geometry::DrawingSink& sink, int n, const Corner& corner, int i0, int k0, int di, int dk) {
  sink.begin(geometry::DrawMode::LineStrip);
  for (int t = 0; t < n; ++t) sink.vertex(corner(i0 + di * t, k0 + dk * t));
  sink.end();
}

XYZ polyCorner(const SurfacePoly& s, int i, int j) {
  return {s.meshX(i), s.meshY(j), s.meshData().at(static_cast<std::size_t>(i), static_cast<std::size_t>(j))};
}

}  // namespace

std::shared_ptr<geometry::MutableExtents> SurfacePoly::extents() const {
  auto e = geometry::MutableExtents::extents();
  double zMin = std::numeric_limits<double>::infinity(), zMax = -zMin;
  for (int i = 0; i < kMeshSize; ++i)
    for (int j = 0; j < kMeshSize; ++j) {
      const double z = m_mesh.at(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
      zMin = std::min(zMin, z), zMax = std::max(zMax, z);
    }
  e->absorb(m_xMin, m_yMin, zMin);
  e->absorb(m_xMax, m_yMax, zMax);
  return e;
}

void SurfacePoly::drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options) const {
  const DrawingOptions o = DrawingOptions::from(options);
  const auto corner = [this](int i, int j) { return polyCorner(*this, i, j); };
  drawMeshCells(sink, kMeshSize, corner, o.drawAlsoReversed);
  const int last = kMeshSize - 1;
  drawMeshLine(sink, kMeshSize, corner, 0, 0, 0, 1);
  drawMeshLine(sink, kMeshSize, corner, last, 0, 0, 1);
  drawMeshLine(sink, kMeshSize, corner, 0, 0, 1, 0);
  drawMeshLine(sink, kMeshSize, corner, 0, last, 1, 0);
}

void SurfacePoly::dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options) const {
  const DrawingOptions o = DrawingOptions::from(options);
  for (const bool reversed : {false, true}) {
    if (reversed && !o.drawAlsoReversed) break;
    for (int i = 0; i + 1 < kMeshSize; ++i)
      for (int j = 0; j + 1 < kMeshSize; ++j) {
        const XYZ c[4] = {polyCorner(*this, i, j), polyCorner(*this, i + 1, j), polyCorner(*this, i + 1, j + 1),
                          polyCorner(*this, i, j + 1)};
        double v[12];
        for (int m = 0; m < 4; ++m) {
          const XYZ& p = c[reversed ? 3 - m : m];
          v[3 * m] = p.x, v[3 * m + 1] = p.y, v[3 * m + 2] = p.z;
        }
        geometry::dxfQuad(sink, v);
      }
  }
  const int last = kMeshSize - 1;
  const int edges[4][4] = {{0, 0, 0, 1}, {last, 0, 0, 1}, {0, 0, 1, 0}, {0, last, 1, 0}};
  for (const auto& e : edges) {
    sink.dxfBegin(geometry::DxfSink::kLineStrip);
    for (int t = 0; t < kMeshSize; ++t) {
      const XYZ p = polyCorner(*this, e[0] + e[2] * t, e[1] + e[3] * t);
      sink.dxfVertex(p.x, p.y, p.z);
    }
    sink.dxfEnd();
  }
}

void SurfacePoly::appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                                   bool upper, bool backwards) const {
  const double lo = xOriented ? m_xMin : m_yMin, hi = xOriented ? m_xMax : m_yMax;
  if (upper)
    appendSectionToPath(path, transform, xOriented, std::max(lo, 0.0), hi, backwards);
  else
    appendSectionToPath(path, transform, xOriented, lo, std::min(hi, 0.0), backwards);
}

SurfaceZernikeSag::Mesh SurfaceZernikeSag::meshData(double phiMin, double phiMax) const {
  const std::size_t n = kMeshSize;
  Mesh m{foundation::Matrix(n, n), foundation::Matrix(n, n), foundation::Matrix(n, n)};
  for (int i = 0; i < kMeshSize; ++i) {
    const double r = i * semidiameter() / (kMeshSize - 1);
    for (int k = 0; k < kMeshSize; ++k) {
      const double a = (phiMin + k * (phiMax - phiMin) / (kMeshSize - 1)) * kRadiansPerDegree;
      const double x = r * std::cos(a), y = r * std::sin(a);
      const auto I = static_cast<std::size_t>(i), K = static_cast<std::size_t>(k);
      m.meshX.atPut(I, K, x);
      m.meshY.atPut(I, K, y);
      m.meshZ.atPut(I, K, sagAtQ({x, y}));
    }
  }
  return m;
}

std::shared_ptr<geometry::MutableExtents> SurfaceZernikeSag::extents() const {
  // The rim points of any surface, and the mesh for the departure's extremes inside.
  auto e = Surface::extents();
  const Mesh m = meshData();
  for (std::size_t i = 0; i < kMeshSize; ++i)
    for (std::size_t k = 0; k < kMeshSize; ++k) e->absorb(m.meshX.at(i, k), m.meshY.at(i, k), m.meshZ.at(i, k));
  return e;
}

void SurfaceZernikeSag::drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options) const {
  const DrawingOptions o = DrawingOptions::from(options);
  const Mesh m = meshData(o.phiMin, o.phiMax);
  const auto corner = [&m](int i, int k) {
    const auto I = static_cast<std::size_t>(i), K = static_cast<std::size_t>(k);
    return XYZ{m.meshX.at(I, K), m.meshY.at(I, K), m.meshZ.at(I, K)};
  };
  drawMeshCells(sink, kMeshSize, corner, o.drawAlsoReversed);
  for (int t = 0; t < kMeshSize; ++t) {
    drawMeshLine(sink, kMeshSize, corner, t, 0, 0, 1);
    drawMeshLine(sink, kMeshSize, corner, 0, t, 1, 0);
  }
}

// --- planar profiles ---------------------------------------------------------------------------------

void Surface::appendToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                           bool backwards) const {
  const int n = segmentsFromDefaults("planarNumberOfRadialSegments", 50);
  const double R = std::min(m_semidiameter, maximumRadius());
  for (int j = -n; j <= n; ++j) {
    const int i = backwards ? -j : j;
    const double t = i * R / n;
    const XY q = xOriented ? XY{t, 0} : XY{0, t};
    path.addPoint(transform.apply({validQ(q) ? sagAtQ(q) : 0, t}));
  }
}

void Surface::appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                               bool upper, bool backwards) const {
  const double R = std::min(maximumRadius(), m_semidiameter);
  const bool planar = isPlanarInAppearance();
  const int n = planar ? 3 : 100;
  for (int j = 0; j <= n; ++j) {
    const int i = backwards ? n - j : j;
    // Upper runs 0 → R', lower −R' → 0.
    const double t = upper ? i * R / n : -R + i * R / n;
    const XY q = xOriented ? XY{t, 0} : XY{0, t};
    const double z = planar || !validQ(q) ? 0 : sagAtQ(q);
    path.addPoint(transform.apply({z, t}));
  }
}

void Surface::appendSectionToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                                  double a, double b, bool backwards) const {
  if (!(a < b)) return;
  std::vector<foundation::VKInterval> pieces{foundation::VKInterval(a, b)};
  if (m_aperture)
    pieces = pieces.front().intersectionWithIntervals(xOriented ? m_aperture->xIntervals() : m_aperture->yIntervals());
  if (backwards) std::reverse(pieces.begin(), pieces.end());
  constexpr int kSteps = 100;
  for (const foundation::VKInterval& piece : pieces) {
    const double lo = piece.min(), hi = piece.max();
    for (int k = 0; k <= kSteps; ++k) {
      const int i = backwards ? kSteps - k : k;
      const double t = i == kSteps ? hi : lo + i * (hi - lo) / kSteps;
      const XY q = xOriented ? XY{t, 0} : XY{0, t};
      const double z = sagAtQ(q);
      const XY p = transform.apply({std::isfinite(z) ? z : 0, t});
      // A piece after a gap starts anew; the first joins the path, so that the layout's
      // closed lens bodies stay one region.
      if (k == 0 && &piece != &pieces.front())
        path.moveTo(p);
      else
        path.addPoint(p);
    }
  }
}

void Surface::appendMeridianHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform,
                                       bool xOriented, bool upper, bool backwards, double limit) const {
  const double top = std::min(m_semidiameter, limit), bottom = std::min(limit, 0.0);
  if (upper)
    appendSectionToPath(path, transform, xOriented, bottom, top, backwards);
  else
    appendSectionToPath(path, transform, xOriented, -top, -bottom, backwards);
}

// --- the 2-D types ------------------------------------------------------------------------------------

PlanarAffineTransform PlanarAffineTransform::after(const PlanarAffineTransform& f) const {
  // this ∘ f: x'' = m11 (f11 x + f21 y + ftX) + m21 (f12 x + f22 y + ftY) + tX, …
  return {m11 * f.m11 + m21 * f.m12, m12 * f.m11 + m22 * f.m12, m11 * f.m21 + m21 * f.m22,
          m12 * f.m21 + m22 * f.m22, m11 * f.tX + m21 * f.tY + tX,  m12 * f.tX + m22 * f.tY + tY};
}

PlanarAffineTransform PlanarAffineTransform::inverted() const {
  const double det = m11 * m22 - m21 * m12;
  if (det == 0 || !std::isfinite(det)) return {};
  const double i11 = m22 / det, i12 = -m12 / det, i21 = -m21 / det, i22 = m11 / det;
  return {i11, i12, i21, i22, -(i11 * tX + i21 * tY), -(i12 * tX + i22 * tY)};
}

void PlanarBezierPath::append(const PlanarBezierPath& other) {
  for (const Element& e : other.m_elements) {
    if (e.op == Op::Move && !empty())
      lineTo(e.point);
    else
      m_elements.push_back(e);
  }
}

void PlanarBezierPath::appendSegments(const PlanarPath& segments, const PlanarAffineTransform& transform) {
  for (const PlanarSegment& s : segments) {
    moveTo(transform.apply(s.from));
    lineTo(transform.apply(s.to));
  }
}

}  // namespace orb::lens
