#include "geometry/values/SweepDrawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/Extents.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

bool g_reversesNormals = false;

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

XYZ minus(const XYZ& a, const XYZ& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
XYZ cross(const XYZ& a, const XYZ& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
XYZ negated(const XYZ& a) { return {-a.x, -a.y, -a.z}; }

// A profile point placed at the azimuth direction (c, s).
XYZ placed(double r, double z, double c, double s) { return {r * c, r * s, z}; }

// The quad or triangle of one profile edge between two azimuth directions; an edge on the
// axis draws nothing.
void sweepEdge(DrawingSink& gl, const XYZ& p, const XYZ& q, bool facing, double c1, double s1, double c2, double s2) {
  const bool pOff = p.x != 0, qOff = q.x != 0;
  if (pOff && qOff) {
    const XYZ quad[4] = {placed(p.x, p.z, c1, s1), placed(q.x, q.z, c1, s1), placed(q.x, q.z, c2, s2),
                         placed(p.x, p.z, c2, s2)};
    openGLQuad(gl, quad, facing);
  } else if (pOff) {
    const XYZ triangle[3] = {placed(p.x, p.z, c1, s1), {0, 0, q.z}, placed(p.x, p.z, c2, s2)};
    openGLTriangle(gl, triangle, facing);
  } else if (qOff) {
    const XYZ triangle[3] = {{0, 0, p.z}, placed(q.x, q.z, c1, s1), placed(q.x, q.z, c2, s2)};
    openGLTriangle(gl, triangle, facing);
  }
}

// Twice the signed area of the triangle a, b, c: positive when c lies left of a → b.
double area2(const MeridionalPoint& a, const MeridionalPoint& b, const MeridionalPoint& c) {
  return (b.r - a.r) * (c.z - a.z) - (c.r - a.r) * (b.z - a.z);
}
bool left(const MeridionalPoint& a, const MeridionalPoint& b, const MeridionalPoint& c) { return area2(a, b, c) > 0; }
bool leftOn(const MeridionalPoint& a, const MeridionalPoint& b, const MeridionalPoint& c) {
  return area2(a, b, c) >= 0;
}
bool collinear(const MeridionalPoint& a, const MeridionalPoint& b, const MeridionalPoint& c) {
  return area2(a, b, c) == 0;
}
// c lies on the closed segment a–b (compared on r, or on z when the segment is vertical).
bool between(const MeridionalPoint& a, const MeridionalPoint& b, const MeridionalPoint& c) {
  if (!collinear(a, b, c)) return false;
  if (a.r != b.r) return (a.r <= c.r && c.r <= b.r) || (a.r >= c.r && c.r >= b.r);
  return (a.z <= c.z && c.z <= b.z) || (a.z >= c.z && c.z >= b.z);
}
bool intersect(const MeridionalPoint& a, const MeridionalPoint& b, const MeridionalPoint& c,
               const MeridionalPoint& d) {
  if (!collinear(a, b, c) && !collinear(a, b, d) && !collinear(c, d, a) && !collinear(c, d, b))
    return (left(a, b, c) != left(a, b, d)) && (left(c, d, a) != left(c, d, b));
  return between(a, b, c) || between(a, b, d) || between(c, d, a) || between(c, d, b);
}

double shoelace(const std::vector<MeridionalPoint>& p) {
  double sum = 0;
  for (std::size_t k = 0; k < p.size(); ++k) {
    const MeridionalPoint& a = p[k];
    const MeridionalPoint& b = p[(k + 1) % p.size()];
    sum += a.r * b.z - b.r * a.z;
  }
  return sum;
}

// The first vertex from 0 whose ear (i, i + 1, i + 2) can be cut off; −1 when none.
int firstEar(const std::vector<MeridionalPoint>& w) {
  const int m = static_cast<int>(w.size());
  if (m == 3) return 0;
  for (int i = 0; i < m; ++i)
    if (polygonHasDiagonal(i, (i + 2) % m, m, w.data())) return i;
  return -1;
}

}  // namespace

void setOpenGLReversesNormals(bool reverses) { g_reversesNormals = reverses; }
bool openGLReversesNormals() { return g_reversesNormals; }

void openGLPolygon(DrawingSink& gl, int n, const XYZ* points, bool facing) {
  if (n >= 3) {
    const XYZ normal = cross(minus(points[1], points[0]), minus(points[2], points[0]));
    gl.normal(facing != g_reversesNormals ? negated(normal) : normal);
  }
  gl.begin(DrawMode::Polygon);
  for (int k = 0; k < n; ++k) gl.vertex(points[facing ? n - 1 - k : k]);
  gl.end();
}

void openGLQuad(DrawingSink& gl, const XYZ (&points)[4], bool facing) { openGLPolygon(gl, 4, points, facing); }
void openGLTriangle(DrawingSink& gl, const XYZ (&points)[3], bool facing) { openGLPolygon(gl, 3, points, facing); }

bool polygonHasDiagonal(int i, int j, int n, const MeridionalPoint* points) {
  if (n < 3 || i < 0 || j < 0 || i >= n || j >= n || i == j) return false;
  const MeridionalPoint& a = points[i];
  const MeridionalPoint& b = points[j];
  const MeridionalPoint& before = points[(i + n - 1) % n];
  const MeridionalPoint& after = points[(i + 1) % n];
  const bool inCone = leftOn(a, after, before) ? left(a, b, before) && left(b, a, after)
                                               : !(leftOn(a, b, after) && leftOn(b, a, before));
  if (!inCone) return false;
  for (int k = 0; k < n; ++k) {
    const int k1 = (k + 1) % n;
    if (k == i || k1 == i || k == j || k1 == j) continue;
    if (intersect(a, b, points[k], points[k1])) return false;
  }
  return true;
}

void openGLMeridionalPolygon(DrawingSink& gl, int n, const XYZ* profile, bool facing, double cosPhi, double sinPhi) {
  if (n < 3) return;
  // Work counter-clockwise in (r, z); `reversed` records that the input order was kept.
  std::vector<MeridionalPoint> w(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) w[static_cast<std::size_t>(k)] = {profile[n - 1 - k].x, profile[n - 1 - k].z};
  bool reversed = false;
  if (shoelace(w) < 0) {
    for (int k = 0; k < n; ++k) w[static_cast<std::size_t>(k)] = {profile[k].x, profile[k].z};
    reversed = true;
  }
  const auto at = [&](std::size_t k) { return placed(w[k].r, w[k].z, cosPhi, sinPhi); };

  int i = firstEar(w);
  if (i < 0) return;
  {
    const std::size_t m = w.size(), i0 = static_cast<std::size_t>(i);
    const XYZ p0 = at(i0), p1 = at((i0 + 1) % m), p2 = at((i0 + 2) % m);
    const XYZ normal = cross(minus(p1, p0), minus(p2, p0));
    const bool flip = (static_cast<int>(facing) + static_cast<int>(reversed) + static_cast<int>(g_reversesNormals)) % 2;
    gl.normal(flip ? negated(normal) : normal);
  }
  gl.begin(DrawMode::Triangles);
  while (w.size() >= 3 && (i = firstEar(w)) >= 0) {
    const std::size_t m = w.size(), i0 = static_cast<std::size_t>(i), i1 = (i0 + 1) % m, i2 = (i0 + 2) % m;
    if (facing == reversed) {
      gl.vertex(at(i0)), gl.vertex(at(i1)), gl.vertex(at(i2));
    } else {
      gl.vertex(at(i2)), gl.vertex(at(i1)), gl.vertex(at(i0));
    }
    w.erase(w.begin() + static_cast<std::ptrdiff_t>(i1));
  }
  gl.end();
}

void openGLSurfaceOfRevolution(DrawingSink& gl, int n, const XYZ* profile, int segmentsPerRevolution, bool facing,
                               double phiMin, double phiMax) {
  if (n < 2 || segmentsPerRevolution < 3) return;
  if (profile[0].x == profile[n - 1].x && profile[0].z == profile[n - 1].z) {
    openGLClosedSurfaceOfRevolution(gl, n - 1, profile, segmentsPerRevolution, facing, phiMin, phiMax);
    return;
  }
  const double a = std::fmod(phiMin, 360.0), b = std::fmod(phiMax, 360.0);
  const double span = b > a ? b - a : b + 360 - a;
  if (!std::isfinite(span)) return;
  const int steps = std::max(static_cast<int>(span / (360.0 / segmentsPerRevolution)), 1);
  const double step = span / steps * kRadiansPerDegree, cd = std::cos(step), sd = std::sin(step);
  double c1 = std::cos(a * kRadiansPerDegree), s1 = std::sin(a * kRadiansPerDegree);
  for (int k = 0; k < steps; ++k) {
    const double c2 = c1 * cd - s1 * sd, s2 = s1 * cd + c1 * sd;
    for (int j = 0; j + 1 < n; ++j) sweepEdge(gl, profile[j], profile[j + 1], facing, c1, s1, c2, s2);
    c1 = c2, s1 = s2;
  }
}

void openGLRevolvedBand(DrawingSink& gl, int n, const XYZ* profile, bool startCap, bool endCap, bool facing, double c1,
                        double s1, double c2, double s2) {
  if (n < 2) return;
  if (startCap) openGLMeridionalPolygon(gl, n, profile, facing, c1, s1);
  for (int j = 0; j < n; ++j) sweepEdge(gl, profile[j], profile[(j + 1) % n], facing, c1, s1, c2, s2);
  if (endCap) openGLMeridionalPolygon(gl, n, profile, !facing, c2, s2);
}

void openGLClosedSurfaceOfRevolution(DrawingSink& gl, int n, const XYZ* profile, int segmentsPerRevolution, bool facing,
                                     double phiMin, double phiMax) {
  if (n < 2 || segmentsPerRevolution < 3) return;
  const auto reduced = [](double phi) {
    double r = std::fmod(phi, 360.0);
    if (r < 0) r += 360;
    return r >= 360 ? 0.0 : r;  // a tiny negative remainder rounds up to 360
  };
  const double a = reduced(phiMin);
  double b = reduced(phiMax);
  if (!std::isfinite(a) || !std::isfinite(b)) return;
  const int s = segmentsPerRevolution;
  const double step = 2 * std::numbers::pi / s, cd = std::cos(step), sd = std::sin(step);
  // Corner k + 1 of the s-gon from corner k; the last one closes exactly on (1, 0).
  const auto nextCorner = [&](int k, double x, double y, double& nx, double& ny) {
    if (k == s - 1) {
      nx = 1, ny = 0;
    } else {
      nx = x * cd - y * sd, ny = y * cd + x * sd;
    }
  };

  if (a == b) {
    double x = 1, y = 0;
    for (int k = 0; k < s; ++k) {
      double nx, ny;
      nextCorner(k, x, y, nx, ny);
      openGLRevolvedBand(gl, n, profile, false, false, facing, x, y, nx, ny);
      x = nx, y = ny;
    }
    return;
  }
  // An end at 0 closes the sweep at 360: otherwise its cap would fall in the first sector
  // with an empty band and be lost.
  if (b == 0) b = 360;

  bool inside = b < a;  // the range passes through azimuth 0
  double x1 = 1, y1 = 0;
  for (int k = 0; k < s; ++k) {
    const double lo = k * 360.0 / s, hi = k == s - 1 ? 360.0 : (k + 1) * 360.0 / s;
    double x2, y2;
    nextCorner(k, x1, y1, x2, y2);
    // Where the ray at azimuth c meets this sector's chord.
    const auto cut = [&](double c, double& cx, double& cy) {
      const double cc = std::cos(c * kRadiansPerDegree), sc = std::sin(c * kRadiansPerDegree);
      const double t = (x1 * y2 - x2 * y1) / ((y2 - y1) * cc - (x2 - x1) * sc);
      cx = t * cc, cy = t * sc;
    };
    const bool hasA = lo <= a && a <= hi, hasB = lo <= b && b <= hi;
    double ax = 0, ay = 0, bx = 0, by = 0;
    if (hasA) cut(a, ax, ay);
    if (hasB) cut(b, bx, by);
    if (!hasA && !hasB) {
      if (inside) openGLRevolvedBand(gl, n, profile, false, false, facing, x1, y1, x2, y2);
    } else if (!hasA) {
      inside = false;
      if (lo < b) openGLRevolvedBand(gl, n, profile, false, true, facing, x1, y1, bx, by);
    } else if (!hasB) {
      inside = true;
      if (a < hi) openGLRevolvedBand(gl, n, profile, true, false, facing, ax, ay, x2, y2);
    } else if (a < b) {
      // Both limits in one sector, in order (also when a sits on the sector's start).
      openGLRevolvedBand(gl, n, profile, true, true, facing, ax, ay, bx, by);
      inside = false;
    } else {
      if (lo < b) openGLRevolvedBand(gl, n, profile, false, true, facing, x1, y1, bx, by);
      if (a < hi) openGLRevolvedBand(gl, n, profile, true, false, facing, ax, ay, x2, y2);
      inside = true;
    }
    x1 = x2, y1 = y2;
  }
}

void drawExtents(DrawingSink& gl, const Extents& e) {
  const double x[2] = {e.xMin(), e.xMax()}, y[2] = {e.yMin(), e.yMax()}, z[2] = {e.zMin(), e.zMax()};
  for (double level : z) {
    gl.begin(DrawMode::LineLoop);
    gl.vertex({x[0], y[0], level}), gl.vertex({x[1], y[0], level});
    gl.vertex({x[1], y[1], level}), gl.vertex({x[0], y[1], level});
    gl.end();
  }
  gl.begin(DrawMode::Lines);
  const double corners[4][2] = {{x[0], y[0]}, {x[1], y[0]}, {x[1], y[1]}, {x[0], y[1]}};
  for (const auto& corner : corners) gl.vertex({corner[0], corner[1], z[0]}), gl.vertex({corner[0], corner[1], z[1]});
  gl.end();
}

}  // namespace orb::geometry
