#include "geometry/values/DxfPrimitives.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundation/objects/TransformStack.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

struct Point2 {
  double x;
  double y;
};

/// Positive when p lies left of the directed line u → v, zero on it.
double side(const Point2& u, const Point2& v, const Point2& p) {
  return (v.x - u.x) * (p.y - u.y) - (v.y - u.y) * (p.x - u.x);
}
bool left(const Point2& u, const Point2& v, const Point2& p) { return side(u, v, p) > 0; }
bool leftOrOn(const Point2& u, const Point2& v, const Point2& p) { return side(u, v, p) >= 0; }

/// p lies on the line through u and v between them, ends included (compared on y when the
/// segment is vertical).
bool onSegment(const Point2& u, const Point2& v, const Point2& p) {
  if (side(u, v, p) != 0) return false;
  if (u.x != v.x) return (u.x <= p.x && p.x <= v.x) || (v.x <= p.x && p.x <= u.x);
  return (u.y <= p.y && p.y <= v.y) || (v.y <= p.y && p.y <= u.y);
}

bool segmentsMeet(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  const bool proper = (left(a, b, c) != left(a, b, d)) && side(a, b, c) != 0 && side(a, b, d) != 0 &&
                      (left(c, d, a) != left(c, d, b)) && side(c, d, a) != 0 && side(c, d, b) != 0;
  return proper || onSegment(a, b, c) || onSegment(a, b, d) || onSegment(c, d, a) || onSegment(c, d, b);
}

/// Whether the segment from corner a to corner b of the counter-clockwise polygon lies
/// inside it: inside the cone at a, and crossing no edge that does not end at a or b.
bool isDiagonal(const std::vector<Point2>& poly, int a, int b) {
  const int n = static_cast<int>(poly.size());
  const Point2& pa = poly[a];
  const Point2& pb = poly[b];
  const Point2& prev = poly[(a + n - 1) % n];
  const Point2& next = poly[(a + 1) % n];
  const bool inCone = leftOrOn(prev, pa, next) ? left(pa, pb, prev) && left(pb, pa, next)
                                               : !(leftOrOn(pa, pb, next) && leftOrOn(pb, pa, prev));
  if (!inCone) return false;
  for (int k = 0; k < n; ++k) {
    const int k1 = (k + 1) % n;
    if (k == a || k == b || k1 == a || k1 == b) continue;
    if (segmentsMeet(pa, pb, poly[k], poly[k1])) return false;
  }
  return true;
}

/// Twice the signed area, positive for counter-clockwise.
double signedArea(const std::vector<Point2>& poly) {
  double sum = 0;
  for (std::size_t i = 1; i + 1 < poly.size(); ++i) {
    const Point2 u{poly[i].x - poly[0].x, poly[i].y - poly[0].y};
    const Point2 v{poly[i + 1].x - poly[0].x, poly[i + 1].y - poly[0].y};
    sum += u.x * v.y - u.y * v.x;
  }
  return sum;
}

/// (cos, sin) of an angle in degrees, exact at the quarter turns.
Point2 direction(double degrees) {
  double reduced = std::fmod(degrees, 360.0);
  if (reduced < 0) reduced += 360.0;
  if (reduced >= 360.0) reduced = 0;
  const foundation::XY sc = foundation::sinCosDegrees(reduced);
  return {sc.y, sc.x};
}

void vertex(DxfSink& sink, double r, const Point2& dir, double z) { sink.dxfVertex(r * dir.x, r * dir.y, z); }

/// The facet swept by the profile edge p → q between two directions: a quad, a triangle
/// when one end is on the axis, nothing when both are.
void sweepEdge(DxfSink& sink, const XYZ& p, const XYZ& q, const Point2& d0, const Point2& d1) {
  const double r1 = p.x, z1 = p.z, r2 = q.x, z2 = q.z;
  if (r1 == 0 && r2 == 0) return;
  if (r1 != 0 && r2 != 0) {
    sink.dxfBegin(DxfSink::kFourCornerFaces);
    vertex(sink, r1, d0, z1);
    vertex(sink, r2, d0, z2);
    vertex(sink, r2, d1, z2);
    vertex(sink, r1, d1, z1);
  } else if (r2 == 0) {
    sink.dxfBegin(DxfSink::kTriangles);
    vertex(sink, r1, d0, z1);
    sink.dxfVertex(0, 0, z2);
    vertex(sink, r1, d1, z1);
  } else {
    sink.dxfBegin(DxfSink::kTriangles);
    sink.dxfVertex(0, 0, z1);
    vertex(sink, r2, d0, z2);
    vertex(sink, r2, d1, z2);
  }
  sink.dxfEnd();
}

/// The steps of an open sweep: from phi1 (mod 360, sign kept) on to phi2, across 0° when
/// phi2 does not lie beyond phi1, in at least one step of at most a segment each.
struct Steps {
  double start;
  double step;
  int count;
};

Steps sweepSteps(int segments, double phi1, double phi2) {
  const double a1 = std::fmod(phi1, 360.0);
  double a2 = std::fmod(phi2, 360.0);
  if (a2 <= a1) a2 += 360.0;
  const double span = a2 - a1;
  const int m = std::max(static_cast<int>(span / (360.0 / segments)), 1);
  return {a1, span / m, m};
}

/// Where the ray at `degrees` meets the chord between the directions `lo` and `hi`, so that
/// a band ending inside a cell stays on the cell's flat facet.
Point2 onChord(const Point2& lo, const Point2& hi, double degrees) {
  const Point2 d = direction(degrees);
  const Point2 e{hi.x - lo.x, hi.y - lo.y};
  const double t = (lo.x * e.y - lo.y * e.x) / (d.x * e.y - d.y * e.x);
  return {t * d.x, t * d.y};
}

}  // namespace

void dxfTriangle(DxfSink& sink, const double v[9]) {
  sink.dxfBegin(DxfSink::kTriangles);
  for (int i = 0; i < 9; i += 3) sink.dxfVertex(v[i], v[i + 1], v[i + 2]);
  sink.dxfEnd();
}

void dxfQuad(DxfSink& sink, const double v[12]) {
  sink.dxfBegin(DxfSink::kFourCornerFaces);
  for (int i = 0; i < 12; i += 3) sink.dxfVertex(v[i], v[i + 1], v[i + 2]);
  sink.dxfEnd();
}

void dxfPolygon(DxfSink& sink, int count, const XYZ* profile, bool reversed, double c, double s) {
  if (count < 3) return;
  // Work on a counter-clockwise copy; which copy was taken tells the given winding.
  std::vector<Point2> poly;
  poly.reserve(count);
  for (int i = count - 1; i >= 0; --i) poly.push_back({profile[i].x, profile[i].z});
  const bool givenCounterClockwise = signedArea(poly) < 0;
  if (givenCounterClockwise) {
    poly.clear();
    for (int i = 0; i < count; ++i) poly.push_back({profile[i].x, profile[i].z});
  }
  // Triangles of the working polygon are counter-clockwise; flip them so that they run
  // against the given winding, or with it when reversed.
  const bool flip = reversed != givenCounterClockwise;

  sink.dxfBegin(DxfSink::kTriangles);
  auto send = [&](const Point2& p) { sink.dxfVertex(p.x * c, p.x * s, p.y); };
  int n = count;
  int i = 0;
  while (n >= 3 && i < n) {
    if (n == 3 || isDiagonal(poly, i, (i + 2) % n)) {
      const Point2 corners[3] = {poly[i], poly[(i + 1) % n], poly[(i + 2) % n]};
      if (flip) {
        send(corners[2]), send(corners[1]), send(corners[0]);
      } else {
        send(corners[0]), send(corners[1]), send(corners[2]);
      }
      poly.erase(poly.begin() + (i + 1) % n);
      --n;
      i = 0;
    } else {
      ++i;
    }
  }
  sink.dxfEnd();
}

void dxfRevolvedBand(DxfSink& sink, int count, const XYZ* profile, bool startCap, bool endCap, bool reversed,
                     double c0, double s0, double c1, double s1) {
  if (startCap) dxfPolygon(sink, count, profile, reversed, c0, s0);
  for (int k = 0; k < count; ++k)
    sweepEdge(sink, profile[k], profile[(k + 1) % count], {c0, s0}, {c1, s1});
  if (endCap) dxfPolygon(sink, count, profile, !reversed, c1, s1);
}

void dxfRevolvedClosedProfile(DxfSink& sink, int count, const XYZ* profile, int segments, bool reversed,
                              double phi1, double phi2) {
  if (count < 2 || segments < 3) return;
  auto reduce = [](double a) {
    double r = std::fmod(a, 360.0);
    if (r < 0) r += 360.0;
    return r >= 360.0 ? 0.0 : r;
  };
  phi1 = reduce(phi1);
  phi2 = reduce(phi2);
  const double cell = 360.0 / segments;
  // Corner k of the cells; every whole turn lands exactly on (1, 0).
  auto corner = [&](int k) { return k % segments == 0 ? Point2{1, 0} : direction(k * cell); };
  auto band = [&](const Point2& d0, const Point2& d1, bool startCap, bool endCap) {
    dxfRevolvedBand(sink, count, profile, startCap, endCap, reversed, d0.x, d0.y, d1.x, d1.y);
  };

  if (phi1 == phi2) {
    for (int k = 0; k < segments; ++k) band(corner(k), corner(k + 1), false, false);
    return;
  }
  if (phi2 <= phi1) phi2 += 360.0;
  // A sweep across 0° runs on through the cells of a second turn.
  bool started = false;
  for (int k = 0; k < 2 * segments; ++k) {
    const double lo = k * cell;
    const double hi = (k + 1) * cell;
    const Point2 dLo = corner(k);
    const Point2 dHi = corner(k + 1);
    if (!started) {
      if (phi1 < lo || phi1 >= hi) continue;
      started = true;
      const Point2 from = onChord(dLo, dHi, phi1);
      if (phi2 <= hi) {
        band(from, onChord(dLo, dHi, phi2), true, true);
        return;
      }
      band(from, dHi, true, false);
    } else if (phi2 > hi) {
      band(dLo, dHi, false, false);
    } else {
      band(dLo, onChord(dLo, dHi, phi2), false, true);
      return;
    }
  }
}

void dxfRevolvedProfile(DxfSink& sink, int count, const XYZ* profile, int segments, bool reversed, double phi1,
                        double phi2) {
  if (count < 2 || segments < 3) return;
  const XYZ& first = profile[0];
  const XYZ& last = profile[count - 1];
  if (first.x == last.x && first.z == last.z) {
    dxfRevolvedClosedProfile(sink, count - 1, profile, segments, reversed, phi1, phi2);
    return;
  }
  // An open profile has no inside to cap, so `reversed` has nothing to flip here.
  const Steps steps = sweepSteps(segments, phi1, phi2);
  for (int j = 0; j < steps.count; ++j) {
    const Point2 d0 = direction(steps.start + j * steps.step);
    const Point2 d1 = direction(steps.start + (j + 1) * steps.step);
    for (int k = 0; k + 1 < count; ++k) sweepEdge(sink, profile[k], profile[k + 1], d0, d1);
  }
}

void dxfArc(DxfSink& sink, int segments, double radius, double z, double phi1, double phi2) {
  if (segments < 3) return;
  const Steps steps = sweepSteps(segments, phi1, phi2);
  sink.dxfBegin(DxfSink::kSeparateLines);
  for (int j = 0; j < steps.count; ++j) {
    vertex(sink, radius, direction(steps.start + j * steps.step), z);
    vertex(sink, radius, direction(steps.start + (j + 1) * steps.step), z);
  }
  sink.dxfEnd();
}

void DxfFromDrawing::begin(DrawMode mode) {
  m_polygon = mode == DrawMode::Polygon;
  m_corners.clear();
  switch (mode) {
    case DrawMode::Lines: return m_out.dxfBegin(DxfSink::kSeparateLines);
    case DrawMode::LineLoop:
    case DrawMode::LineStrip: return m_out.dxfBegin(DxfSink::kLineStrip);
    case DrawMode::Polygon:
    case DrawMode::Triangles: return m_out.dxfBegin(DxfSink::kTriangles);
    case DrawMode::Quads: return m_out.dxfBegin(DxfSink::kFourCornerFaces);
  }
}

void DxfFromDrawing::vertex(const foundation::XYZ& p) {
  if (m_polygon)
    m_corners.push_back(p);
  else
    m_out.dxfVertex(p.x, p.y, p.z);
}

void DxfFromDrawing::end() {
  if (m_polygon)
    for (std::size_t k = 1; k + 1 < m_corners.size(); ++k)
      for (const foundation::XYZ& c : {m_corners[0], m_corners[k], m_corners[k + 1]}) m_out.dxfVertex(c.x, c.y, c.z);
  m_out.dxfEnd();
  m_polygon = false;
  m_corners.clear();
}

}  // namespace orb::geometry
