#include "geometry/solids/R3Quadric.h"

#include <algorithm>
#include <cmath>

#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/SymmetricEigen.h"
#include "geometry/solids/Vector3.h"

namespace orb::geometry {

using foundation::XYZ;

std::shared_ptr<R3Quadric> R3Quadric::instanceWithCoefficients(const QuadricCoefficients& k) {
  return platform::makeObject<R3Quadric>(k);
}

std::shared_ptr<R3Quadric> R3Quadric::unitSphere() {
  QuadricCoefficients k{};
  k.xx = k.yy = k.zz = 1, k.tt = -1;
  return instanceWithCoefficients(k);
}

std::string R3Quadric::description() const {
  const auto& A = m_A;
  return platform::format("%s[%g %g %g %g;* %g %g %g;* * %g %g;* * * %g]", R3Surface::description().c_str(), A.xx,
                          A.xy, A.xz, A.xt, A.yy, A.yz, A.yt, A.zz, A.zt, A.tt);
}

std::shared_ptr<R3Quadric> R3Quadric::quadric() const {
  return std::static_pointer_cast<R3Quadric>(std::const_pointer_cast<Object>(shared_from_this()));
}

QuadricCoefficients R3Quadric::normalizedCoefficients() const {
  const auto& A = m_A;
  const double rows[4] = {
      std::fabs(A.xx) + std::fabs(A.xy) + std::fabs(A.xz) + std::fabs(A.xt),
      std::fabs(A.xy) + std::fabs(A.yy) + std::fabs(A.yz) + std::fabs(A.yt),
      std::fabs(A.xz) + std::fabs(A.yz) + std::fabs(A.zz) + std::fabs(A.zt),
      std::fabs(A.xt) + std::fabs(A.yt) + std::fabs(A.zt) + std::fabs(A.tt),
  };
  const double s = *std::max_element(rows, rows + 4);
  return {A.xx / s, A.xy / s, A.xz / s, A.xt / s, A.yy / s, A.yz / s, A.yt / s, A.zz / s, A.zt / s, A.tt / s};
}

double R3Quadric::deviationFromQuadric(const R3Quadric* other) const {
  const auto a = normalizedCoefficients();
  const QuadricCoefficients b = other ? other->normalizedCoefficients() : QuadricCoefficients{};
  const double* pa = &a.xx;
  const double* pb = &b.xx;
  double sum = 0;
  for (int i = 0; i < 10; ++i) sum += (pa[i] - pb[i]) * (pa[i] - pb[i]);
  return std::sqrt(sum);
}

double R3Quadric::valueAt(const XYZ& p) const {
  const auto& A = m_A;
  return 0.5 * (A.xx * p.x * p.x + A.yy * p.y * p.y + A.zz * p.z * p.z + A.tt) + A.xy * p.x * p.y +
         A.xz * p.x * p.z + A.yz * p.y * p.z + A.xt * p.x + A.yt * p.y + A.zt * p.z;
}

XYZ R3Quadric::gradientAt(const XYZ& p) const {
  const auto& A = m_A;
  return {A.xx * p.x + A.xy * p.y + A.xz * p.z + A.xt, A.xy * p.x + A.yy * p.y + A.yz * p.z + A.yt,
          A.xz * p.x + A.yz * p.y + A.zz * p.z + A.zt};
}

R3PointPtr R3Quadric::gradientAtPoint(const XYZValue& p) const { return R3Point::pointWithXYZ(gradientAt(p.xyz())); }

R3PointPtr R3Quadric::normalForPoint(const XYZValue& p) const {
  return R3Point::pointWithXYZ(v3::normalize(gradientAt(p.xyz())));
}

SurfaceTaylorExpansion R3Quadric::taylorExpansionAtPosition(const XYZ& p) const {
  const XYZ g = gradientAt(p);
  SurfaceTaylorExpansion e{};
  e.gx = g.x, e.gy = g.y, e.gz = g.z;
  return e;
}

namespace {
XYZ blockTimes(const QuadricCoefficients& A, const XYZ& v) {
  return {A.xx * v.x + A.xy * v.y + A.xz * v.z, A.xy * v.x + A.yy * v.y + A.yz * v.z,
          A.xz * v.x + A.yz * v.y + A.zz * v.z};
}
}  // namespace

std::shared_ptr<R3Plane> R3Quadric::limbPlaneForProjectionPlane(const R3Plane& plane) const {
  const XYZ n = blockTimes(m_A, {plane.a(), plane.b(), plane.c()});
  return R3Plane::planeWithCoefficients(n.x, n.y, n.z, 0);
}

std::shared_ptr<R3Plane> R3Quadric::limbPlaneForObservationPoint(const XYZValue& e) const {
  const XYZ n = blockTimes(m_A, e.xyz());
  return R3Plane::planeWithCoefficients(n.x, n.y, n.z, 1);
}

std::shared_ptr<R3Plane> R3Quadric::limbPlaneForObservationPoint(const XYZValue& e, double w) const {
  const XYZ n = blockTimes(m_A, e.xyz());
  if (!(v3::dot(n, n) > 1e-10)) return nullptr;
  return R3Plane::planeWithCoefficients(n.x, n.y, n.z, w);
}

std::string R3Quadric::specificSurfaceKind() const {
  const auto& A = m_A;
  const double block[9] = {A.xx, A.xy, A.xz, A.xy, A.yy, A.yz, A.xz, A.yz, A.zz};
  double vectors[9], w[3];
  symmetricEigensystem3(block, vectors, w);
  int positive = 0, negative = 0;
  for (double& x : w) {
    if (std::fabs(x) < 1e-20) x = 0;
    positive += x > 0;
    negative += x < 0;
  }
  if (positive == 0 && negative == 0) return "plane";
  if (positive == 3) return "ellipsoid";
  if (negative == 3) return "ellipsoid (inverted)";
  return "general";
}

int R3Quadric::lineRoots(const XYZ& q, const XYZ& v, double* t) const {
  const auto& A = m_A;
  const XYZ Av = blockTimes(A, v);
  const double alpha = v3::dot(v, Av);
  // 2·ṽᵀAq̃ and q̃ᵀAq̃ with q̃ = (q, 1), ṽ = (v, 0).
  const double beta = 2 * (v3::dot(Av, q) + A.xt * v.x + A.yt * v.y + A.zt * v.z);
  const double gamma = 2 * valueAt(q);
  int n = 0;
  if (alpha == 0) {
    if (beta != 0) t[n++] = -gamma / beta;
  } else {
    const double D = beta * beta - 4 * alpha * gamma;
    if (D > 1e-20) {
      const double s = std::sqrt(D);
      t[n++] = (s - beta) / (2 * alpha);
      t[n++] = (-beta - s) / (2 * alpha);
    } else if (D > -1e-20) {
      t[n++] = -beta / (2 * alpha);
    }
  }
  return n;
}

int R3Quadric::roots(const R3Line& line, double* t) const {
  double found[2];
  const int n = lineRoots(line.start(), line.directorXYZ(), found);
  int kept = 0;
  for (int i = 0; i < n; ++i)
    if (!line.hasEnds() || (0 < found[i] && found[i] < 1)) t[kept++] = found[i];
  return kept;
}

R3PointArray R3Quadric::intersectionsWithLine(const R3Line& line) const {
  double t[2];
  const int n = roots(line, t);
  R3PointArray out;
  for (int i = 0; i < n; ++i) out.push_back(line.pointForParameter(t[i]));
  return out;
}

std::vector<double> R3Quadric::intersectionParametersForLine(const R3Line& line) const {
  double t[2];
  const int n = roots(line, t);
  return {t, t + n};
}

int R3Quadric::getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const {
  double t[2];
  const int n = roots(line, t);
  int count = 0;
  for (int i = 0; i < n; ++i) writeParameter(t[i], out, count, capacity);
  return count;
}

}  // namespace orb::geometry
