#include "lens/SurfaceBiconic.h"

#include <cmath>
#include <limits>

namespace orb::lens {

using foundation::XY;
using foundation::XYZ;

const std::vector<std::string>& SurfaceBiconic::parameterTitleArray() const {
  static const std::vector<std::string> titles{"Rx", "kx"};
  return titles;
}

std::shared_ptr<Surface> SurfaceBiconic::makeEmpty() const { return platform::makeObject<SurfaceBiconic>(); }

void SurfaceBiconic::parametersDidChange() {
  Surface::parametersDidChange();
  m_rx = parameterValue("Rx").value_or(0);
  m_kx = parameterValue("kx").value_or(0);
  m_cx = m_rx == 0 || !std::isfinite(m_rx) ? 0 : 1 / m_rx;
}

double SurfaceBiconic::S(const XY& q) const {
  const double cy = curvature(), ky = conicConstant();
  return (1 + m_kx) * m_cx * m_cx * q.x * q.x + (1 + ky) * cy * cy * q.y * q.y;
}

double SurfaceBiconic::sagAtQ(const XY& q) const {
  const double s = S(q);
  const double w = s < 1 ? std::sqrt(1 - s) : 0;
  return (m_cx * q.x * q.x + curvature() * q.y * q.y) / (1 + w);
}

XY SurfaceBiconic::sagGradientAtQ(const XY& q) const {
  const double s = S(q);
  const double w = s < 1 ? std::sqrt(1 - s) : 0;
  const double D = 1 + w, z = sagAtQ(q);
  const double ax = (1 + m_kx) * m_cx * m_cx, ay = (1 + conicConstant()) * curvature() * curvature();
  return {2 * m_cx * q.x / D + z * ax * q.x / (w * D), 2 * curvature() * q.y / D + z * ay * q.y / (w * D)};
}

geometry::SurfaceTaylorExpansion SurfaceBiconic::taylorExpansionAtPosition(const XYZ& p) const {
  const XY q{p.x, p.y};
  const double cx = m_cx, cy = curvature();
  const double ax = (1 + m_kx) * cx * cx, ay = (1 + conicConstant()) * cy * cy;
  const double s = S(q);
  const double w = s < 1 ? std::sqrt(1 - s) : 0;
  const double D = 1 + w, z = sagAtQ(q);
  // z = N·A with A = 1/D; B = 1/(wD) carries the conic terms of the slope:
  // zx = 2cx·x·A + ax·x·z·B, and likewise in y.
  const double A = 1 / D, B = 1 / (w * D);
  const double zx = 2 * cx * p.x * A + ax * p.x * z * B;
  const double zy = 2 * cy * p.y * A + ay * p.y * z * B;
  const double w3D2 = w * w * w * D * D;
  const double Ax = ax * p.x / (w * D * D), Ay = ay * p.y / (w * D * D);
  const double Bx = ax * p.x * (1 + 2 * w) / w3D2, By = ay * p.y * (1 + 2 * w) / w3D2;
  geometry::SurfaceTaylorExpansion e{};
  e.gx = zx;
  e.gy = zy;
  e.gz = -1;
  e.hxx = 2 * cx * A + 2 * cx * p.x * Ax + ax * z * B + ax * p.x * (Bx * z + B * zx);
  e.hyy = 2 * cy * A + 2 * cy * p.y * Ay + ay * z * B + ay * p.y * (By * z + B * zy);
  e.hxy = 2 * cx * p.x * Ay + ax * p.x * (By * z + B * zy);
  return e;
}

double SurfaceBiconic::maximumRadius() const {
  const double inf = std::numeric_limits<double>::infinity();
  const double ax = (1 + m_kx) * m_cx * m_cx, ay = (1 + conicConstant()) * curvature() * curvature();
  return std::min(ax > 0 ? 1 / std::sqrt(ax) : inf, ay > 0 ? 1 / std::sqrt(ay) : inf);
}

void SurfaceBiconic::flip() {
  if (auto p = parameterForTitle("Rx")) p->negate();
  Surface::flip();
  parametersDidChange();
}

void SurfaceBiconic::scaleByFactor(double f) {
  Surface::scaleByFactor(f);
  if (auto p = parameterForTitle("Rx")) p->scaleByFactor(f);
  parametersDidChange();
}

}  // namespace orb::lens
