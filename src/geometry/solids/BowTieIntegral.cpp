#include "geometry/solids/BowTieIntegral.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "foundation/quadrature/GaussLegendreIntegrator.h"

namespace orb::geometry {

using foundation::XY;

namespace {

double cross(const XY& a, const XY& b) { return a.x * b.y - a.y * b.x; }
XY minus(const XY& a, const XY& b) { return {a.x - b.x, a.y - b.y}; }

/// Where the lines a0-a1 and b0-b1 meet; false when parallel.
bool meet(const XY& a0, const XY& a1, const XY& b0, const XY& b1, XY& q) {
  const XY da = minus(a1, a0), db = minus(b1, b0);
  const double den = cross(da, db);
  if (den == 0) return false;
  const double t = cross(minus(b0, a0), db) / den;
  q = {a0.x + t * da.x, a0.y + t * da.y};
  return true;
}

/// The foot of the perpendicular from q on the line x0-x1: its direction from q and its
/// distance.
void perpendicular(const XY& q, const XY& x0, const XY& x1, double& direction, double& distance) {
  const XY d = minus(x1, x0), w = minus(q, x0);
  const double t = (w.x * d.x + w.y * d.y) / (d.x * d.x + d.y * d.y);
  const XY foot{x0.x + t * d.x - q.x, x0.y + t * d.y - q.y};
  direction = std::atan2(foot.y, foot.x);
  distance = std::hypot(foot.x, foot.y);
}

/// The signed distance from q along the direction θ to the line x0-x1.
double radiusToLine(const XY& q, double theta, const XY& x0, const XY& x1) {
  const XY d = minus(x1, x0);
  return cross(minus(x0, q), d) / cross({std::cos(theta), std::sin(theta)}, d);
}

int sweep(const PlaneIntegrand& f, int n, int m, double* sinIntegral, double* cosIntegral, const XY& Q, double theta1,
          double theta2, double h, double theta0, const RadialLimit& lower, const RadialLimit& upper, bool trace) {
  *sinIntegral = 0, *cosIntegral = 0;
  if (!(h > 0) || n < 1 || m < 1) return -1;
  // θ₀ as the perpendicular direction the rays look along (not away from), brought next
  // to the sweep, where the substitution is one-to-one.
  const double mid = (theta1 + theta2) / 2;
  theta0 = mid - std::remainder(mid - theta0, 2 * M_PI);
  if (std::cos(mid - theta0) < 0) theta0 = mid - std::remainder(mid - theta0 - M_PI, 2 * M_PI);
  if (!(std::fabs(theta1 - theta0) < M_PI / 2 && std::fabs(theta2 - theta0) < M_PI / 2)) return -1;
  const auto uOf = [&](double theta) { return h * std::atanh(std::sin(theta - theta0)); };
  const double u1 = uOf(theta1), u2 = uOf(theta2);
  if (trace) {
    std::printf("thetaMin/pi = %g, thetaMax/pi=%g\n", theta1 / M_PI, theta2 / M_PI);
    std::printf("tMin = %g, tMax = %g\n", u1, u2);
  }
  std::vector<double> node(static_cast<std::size_t>(n)), weight(static_cast<std::size_t>(n));
  foundation::gaussLegendreNodes(n, node.data(), weight.data());
  const double half = (u2 - u1) / 2, centre = (u1 + u2) / 2;
  double sinSum = 0, cosSum = 0;
  for (int i = 0; i < n; ++i) {
    const double u = node[i] * half + centre;
    const double theta = std::asin(std::tanh(u / h)) + theta0, c = std::cos(theta), s = std::sin(theta);
    const double rMin = lower(theta), rMax = upper(theta);
    const double radial =
        foundation::gaussLegendreIntegrate(m, [&](double r) { return f(Q.x + r * c, Q.y + r * s); }, rMin, rMax);
    if (trace) {
      std::printf("t = %g, theta/pi = %g\n", u, theta / M_PI);
      std::printf("xMin = %g, xMax = %g\n", rMin, rMax);
      std::printf("radialIntegral = %g\n", radial);
    }
    sinSum += weight[i] * radial * s;
    cosSum += weight[i] * radial * c;
  }
  *sinIntegral = half * sinSum;
  *cosIntegral = half * cosSum;
  if (trace) {
    std::printf("cosIntegral = %g\n", *cosIntegral);
    std::printf("sinIntegral = %g\n", *sinIntegral);
  }
  return 0;
}

int bowTie(const PlaneIntegrand& f, int n, int m, double* sinIntegral, double* cosIntegral, const XY& P, const XY& A,
           const XY& B, const XY& D, bool trace) {
  *sinIntegral = 0, *cosIntegral = 0;
  if (trace) std::printf("BowTieIntegral\n");
  XY Q;
  if (!meet(P, D, A, B, Q)) return -1;
  double alphaPA, hPA, alphaDB, hDB;
  perpendicular(Q, P, A, alphaPA, hPA);
  perpendicular(Q, D, B, alphaDB, hDB);
  if (trace) {
    std::printf("alpha2/pi = %g, alpha3/pi=%g\n", alphaPA / M_PI, alphaDB / M_PI);
    std::printf("h2 = %g, h3 = %g\n", hPA, hDB);
  }
  const double theta1 = std::atan2(P.y - D.y, P.x - D.x);
  double theta2 = std::atan2(A.y - B.y, A.x - B.x);
  if (theta2 < theta1) theta2 += 2 * M_PI;
  const bool nearPA = hPA < hDB;
  return sweep(
      f, n, m, sinIntegral, cosIntegral, Q, theta1, theta2, nearPA ? hPA : hDB, nearPA ? alphaPA : alphaDB,
      [&](double theta) { return radiusToLine(Q, theta, D, B); }, [&](double theta) { return radiusToLine(Q, theta, P, A); },
      trace);
}

}  // namespace

int bowTieIntegral(const PlaneIntegrand& f, int n, int m, double* sinIntegral, double* cosIntegral, const XY& P,
                   const XY& A, const XY& B, const XY& D) {
  return bowTie(f, n, m, sinIntegral, cosIntegral, P, A, B, D, false);
}

int bowTieIntegralAlongBoundary(const PlaneIntegrand& f, int n, int m, double* sinIntegral, double* cosIntegral,
                                const XY& Q, double theta1, double theta2, double h, double theta0,
                                const RadialLimit& lower, const RadialLimit& upper) {
  return sweep(f, n, m, sinIntegral, cosIntegral, Q, theta1, theta2, h, theta0, lower, upper, false);
}

int bowTieIntegralTrace(double* sinIntegral, double* cosIntegral, const XY& P, const XY& A, const XY& B, const XY& D) {
  return bowTie([](double, double) { return 1.0; }, 10, 10, sinIntegral, cosIntegral, P, A, B, D, true);
}

}  // namespace orb::geometry
