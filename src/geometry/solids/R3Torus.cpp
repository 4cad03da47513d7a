#include "geometry/solids/R3Torus.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "foundation/polynomial/QuarticPoly.h"
#include "geometry/solids/Ordering.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/Vector3.h"
#include "geometry/values/PolynomialRoots.h"

namespace orb::geometry {

using namespace foundation;

std::shared_ptr<R3Torus> R3Torus::torusWithMajorRadius(double R, double a) {
  return platform::makeObject<R3Torus>(R, a);
}

std::string R3Torus::description() const {
  return platform::format("%s(R=%g,a=%g)", R3Surface::description().c_str(), m_R, m_a);
}

bool R3Torus::isOutside(const XYZ& p) const {
  const double dy = p.y - m_R, rho = std::sqrt(dy * dy + p.z * p.z);
  const double d2 = p.x * p.x + (rho - m_R) * (rho - m_R);
  return d2 > m_a * m_a - 1e-10;
}

bool R3Torus::advancingUponPoint(const XYZValue& p) const { return isOutside(p.xyz()); }

XYZ R3Torus::normalAt(const XYZ& p) const {
  const double dy = p.y - m_R, rho = std::sqrt(dy * dy + p.z * p.z);
  const double k = 1 - m_R / rho;
  return v3::normalize({p.x, dy * k, p.z * k});
}

R3PointPtr R3Torus::normalForPoint(const XYZValue& p) const { return R3Point::pointWithXYZ(normalAt(p.xyz())); }

namespace {
// The real roots of the torus quartic along q + t·d, largest first; a zero director
// gives none.
int torusRoots(double R, double a, const XYZ& q, const XYZ& d, std::array<XY, 4>& roots) {
  const QuarticPoly X = quarticPolyLinear(d.x, q.x), Y = quarticPolyLinear(d.y, q.y - R), Z = quarticPolyLinear(d.z, q.z);
  const QuarticPoly S = quarticPolyAdd(quarticPolySquare(Y), quarticPolySquare(Z));
  const QuarticPoly K = quarticPolyScale(S, -4 * R * R);
  const QuarticPoly T = quarticPolyAdd(quarticPolyAdd(S, quarticPolySquare(X)), quarticPolyConstant(R * R - a * a));
  const QuarticPoly P = quarticPolyAdd(quarticPolySquare(T), K);
  if (P.c[4] == 0) return 0;
  quarticRoots(std::span<const double, 5>(P.c, 5), roots);
  std::sort(roots.begin(), roots.end(), [](const XY& l, const XY& r) {
    if ((l.y == 0) != (r.y == 0)) return l.y == 0;
    if (greaterNaNLast(l.x, r.x) || greaterNaNLast(r.x, l.x)) return greaterNaNLast(l.x, r.x);
    return greaterNaNLast(l.y, r.y);
  });
  int n = 0;
  while (n < 4 && roots[n].y == 0) ++n;
  return n;
}
}  // namespace

int R3Torus::lineRoots(const XYZ& q, const XYZ& d, double* out) const {
  std::array<XY, 4> roots{};
  const int n = torusRoots(m_R, m_a, q, d, roots);
  for (int i = 0; i < n; ++i) out[i] = roots[i].x;
  return n;
}

int R3Torus::getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const {
  std::array<XY, 4> roots{};
  const int n = torusRoots(m_R, m_a, line.start(), line.directorXYZ(), roots);
  int count = 0;
  for (int i = 0; i < n; ++i) {
    if (line.hasEnds() && !(0 < roots[i].x && roots[i].x < 1)) continue;
    writeParameter(roots[i].x, out, count, capacity);
  }
  return count;
}

std::vector<double> R3Torus::intersectionParametersForLine(const R3Line& line) const {
  double t[4];
  const int n = getIntersectionParametersForLine(line, t, 4);
  return {t, t + n};
}

}  // namespace orb::geometry
