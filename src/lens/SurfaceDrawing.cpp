// What a surface draws: its profile, bounding box, the swept solid for the 3-D views and
// DXF, and the planar profiles of the layouts. All in the surface's local frame.

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/DxfPrimitives.h"
#include "geometry/values/Extents.h"
#include "geometry/values/OBSurfaceTree.h"
#include "lens/CircularAperture.h"
#include "lens/DrawingOptions.h"
#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
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

// The surface of revolution of a profile (r, ·, z): quads between successive angles,
// with the profile's normal (+z at the vertex); reversed gives the back faces.
void sweepProfile(geometry::DrawingSink& sink, const std::vector<XYZ>& profile, const Sweep& s, bool reversed) {
  if (profile.size() < 2) return;
  sink.begin(geometry::DrawMode::Quads);
  for (int k = 0; k < s.steps; ++k) {
    const double p0 = (s.a + k * s.step) * kRadiansPerDegree, p1 = (s.a + (k + 1) * s.step) * kRadiansPerDegree;
    const double c0 = std::cos(p0), s0 = std::sin(p0), c1 = std::cos(p1), s1 = std::sin(p1);
    for (std::size_t i = 0; i + 1 < profile.size(); ++i) {
      const XYZ& P = profile[i];
      const XYZ& Q = profile[i + 1];
      const double dr = Q.x - P.x, dz = Q.z - P.z, len = std::hypot(dr, dz);
      if (!(len > 0)) continue;
      const double nr = -dz / len, nz = dr / len, sign = reversed ? -1 : 1;
      const double cm = std::cos((p0 + p1) / 2), sm = std::sin((p0 + p1) / 2);
      sink.normal({sign * nr * cm, sign * nr * sm, sign * nz});
      const XYZ a{P.x * c0, P.x * s0, P.z}, b{Q.x * c0, Q.x * s0, Q.z}, c{Q.x * c1, Q.x * s1, Q.z},
          d{P.x * c1, P.x * s1, P.z};
      if (reversed) {
        sink.vertex(d), sink.vertex(c), sink.vertex(b), sink.vertex(a);
      } else {
        sink.vertex(a), sink.vertex(b), sink.vertex(c), sink.vertex(d);
      }
    }
  }
  sink.end();
}

void drawBox(geometry::DrawingSink& sink, const geometry::Extents& e) {
  const double x[2] = {e.xMin(), e.xMax()}, y[2] = {e.yMin(), e.yMax()}, z[2] = {e.zMin(), e.zMax()};
  sink.begin(geometry::DrawMode::Lines);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      sink.vertex({x[0], y[i], z[j]}), sink.vertex({x[1], y[i], z[j]});
      sink.vertex({x[i], y[0], z[j]}), sink.vertex({x[i], y[1], z[j]});
      sink.vertex({x[i], y[j], z[0]}), sink.vertex({x[i], y[j], z[1]});
    }
  sink.end();
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
    const Sweep s = sweepOf(o);
    sweepProfile(sink, profile, s, false);
    if (o.drawAlsoReversed) sweepProfile(sink, profile, s, true);
    if (!profile.empty()) {
      const XYZ rim = profile.back();
      sink.begin(geometry::DrawMode::LineStrip);
      for (int k = 0; k <= s.steps; ++k) {
        const double phi = (s.a + k * s.step) * kRadiansPerDegree;
        sink.vertex({rim.x * std::cos(phi), rim.x * std::sin(phi), rim.z});
      }
      sink.end();
      if (o.drawBoundingBox) drawBox(sink, *extents());
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

void Surface::dxfAxesWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options) const {
  const double L = DrawingOptions::from(options).surfaceAxesLength;
  struct Axis {
    XYZ end, rgb;
  };
  sink.dxfBegin(geometry::DxfSink::kSeparateLines);
  for (const Axis& a : {Axis{{L, 0, 0}, {0.7, 0.2, 0.2}}, Axis{{0, L, 0}, {0.2, 0.7, 0.2}}, Axis{{0, 0, L}, {0.2, 0.2, 1.0}}}) {
    sink.dxfSetColorRGB(a.rgb.x, a.rgb.y, a.rgb.z);
    sink.dxfVertex(0, 0, 0);
    sink.dxfVertex(a.end.x, a.end.y, a.end.z);
  }
  sink.dxfEnd();
}

bool Surface::entityDrawZY(Painter2D&, const PlanarAffineTransform&) const { return false; }
bool Surface::entityDrawZX(Painter2D&, const PlanarAffineTransform&) const { return false; }

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
