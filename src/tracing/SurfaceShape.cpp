#include "tracing/SurfaceShape.h"

#include <cmath>
#include <limits>

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;

// Conic profile with u = (1 + k)c²r²: z = c r²/(1 + s), s = √(1 − u), valid for u < 1.

bool ConicShape::validQ(const XY& q) const { return (1 + m_k) * m_c * m_c * (q.x * q.x + q.y * q.y) < 1; }

double ConicShape::sagAtQ(const XY& q) const {
  const double r2 = q.x * q.x + q.y * q.y;
  const double u = (1 + m_k) * m_c * m_c * r2;
  const double s = u < 1 ? std::sqrt(1 - u) : 0;
  return m_tilt.x * q.x + m_tilt.y * q.y + m_c * r2 / (1 + s);
}

double ConicShape::sagAtMaximumRadius() const {
  const double pc2 = (1 + m_k) * m_c * m_c;
  if (pc2 > 0) return m_c / pc2;
  return m_c > 0 ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
}

double ConicShape::sagGradientAtRadius(double r) const {
  const double u = (1 + m_k) * m_c * m_c * r * r;
  if (!(u < 1)) return std::numeric_limits<double>::infinity();
  return m_c * r / std::sqrt(1 - u);
}

double ConicShape::sagSecondGradientAtRadius(double r) const {
  const double u = (1 + m_k) * m_c * m_c * r * r;
  if (!(u < 1)) return std::numeric_limits<double>::infinity();
  const double s = std::sqrt(1 - u);
  return m_c / (s * s * s);
}

geometry::SurfaceTaylorExpansion ConicShape::taylorExpansionAtPosition(const XYZ& p) const {
  geometry::SurfaceTaylorExpansion e{};
  const double r = std::sqrt(p.x * p.x + p.y * p.y);
  const double g1 = sagGradientAtRadius(r), g2 = sagSecondGradientAtRadius(r);
  if (r > 0) {
    const double cx = p.x / r, cy = p.y / r;
    e.gx = cx * g1;
    e.gy = cy * g1;
    e.hxx = g2 * cx * cx + (1 - cx * cx) * g1 / r;
    e.hyy = g2 * cy * cy + (1 - cy * cy) * g1 / r;
    e.hxy = (g2 - g1 / r) * cx * cy;
  } else {
    e.hxx = e.hyy = g2;
  }
  e.gx += m_tilt.x;
  e.gy += m_tilt.y;
  e.gz = -1;
  return e;
}

XYZ ConicShape::surfaceNormalAtQ(const XY& q) const {
  const auto e = taylorExpansionAtPosition(XYZ{q.x, q.y, 0});
  const double L = std::sqrt(e.gx * e.gx + e.gy * e.gy + 1);
  return XYZ{-e.gx / L, -e.gy / L, 1 / L};
}

double ConicShape::implicitFunctionAtPosition(const XYZ& p) const { return sagAtQ(XY{p.x, p.y}) - p.z; }

XYZ ConicShape::surfaceNormalAtPosition(const XYZ& p) const {
  const auto e = taylorExpansionAtPosition(p);
  const double L = std::sqrt(e.gx * e.gx + e.gy * e.gy + e.gz * e.gz);
  return XYZ{-e.gx / L, -e.gy / L, -e.gz / L};
}

}  // namespace orb::tracing
