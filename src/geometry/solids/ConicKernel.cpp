#include "geometry/solids/ConicKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "geometry/solids/Ordering.h"
#include "geometry/solids/Vector3.h"
#include "geometry/values/PolynomialRoots.h"

namespace orb::geometry {

using foundation::XY;
using foundation::XYZ;

namespace {

XYZ load(const double* p) { return {p[0], p[1], p[2]}; }
void store(double* p, const XYZ& v) { p[0] = v.x, p[1] = v.y, p[2] = v.z; }

/// The conic's value and the sum of its terms' magnitudes (the scale a residual is judged
/// against).
double conicValue(const double* k, double x, double y, double* scale) {
  const double t[6] = {k[0] * x * x, 2 * k[1] * x * y, k[2] * y * y, k[3] * x, k[4] * y, k[5]};
  double s = 0, v = 0;
  for (double term : t) v += term, s += std::fabs(term);
  if (scale) *scale = s;
  return v;
}

double polyValue(const double* c, int degree, double y) {
  double v = c[degree];
  for (int k = degree - 1; k >= 0; --k) v = v * y + c[k];
  return v;
}
double polyDerivative(const double* c, int degree, double y) {
  double v = degree * c[degree];
  for (int k = degree - 1; k >= 1; --k) v = v * y + k * c[k];
  return v;
}

/// Real roots, and near-real ones (a double root can come out as a pair with a rounding-
/// sized imaginary part), of the resultant of the given degree, polished by Newton steps
/// that are kept only while they reduce the residual.
std::vector<double> realRoots(const double* c, int degree) {
  std::vector<double> ys;
  std::array<XY, 4> r{};
  int n = 0;
  if (degree == 4) {
    quarticRoots(std::span<const double, 5>(c, 5), r);
    n = 4;
  } else if (degree == 3) {
    cubicRoots(std::span<const double, 4>(c, 4), std::span<XY, 3>(r.data(), 3));
    n = 3;
  } else if (degree == 2) {
    quadraticRoots(std::span<const double, 3>(c, 3), std::span<XY, 2>(r.data(), 2));
    n = 2;
  } else if (degree == 1) {
    r[0] = {-c[0] / c[1], 0};
    n = 1;
  }
  for (int i = 0; i < n; ++i) {
    if (std::fabs(r[i].y) > 1e-6 * (1 + std::fabs(r[i].x))) continue;
    double y = r[i].x;
    double f = std::fabs(polyValue(c, degree, y));
    for (int step = 0; step < 8 && f > 0; ++step) {
      const double d = polyDerivative(c, degree, y);
      if (d == 0) break;
      const double next = y - polyValue(c, degree, y) / d;
      const double fn = std::fabs(polyValue(c, degree, next));
      if (!(fn < f)) break;
      y = next, f = fn;
    }
    ys.push_back(y);
  }
  std::sort(ys.begin(), ys.end(), lessNaNLast);
  return ys;
}

/// Roots in x, ascending, of the conic k (a x² + 2b x y + c y² + d x + e y + f) at height
/// y. The discriminant is judged against the size of the terms that make it, not against
/// its own parts (which vanish where the tangent is horizontal): one within rounding of 0,
/// or negative by little more, gives the double root once.
int rootsInX(const double* k, double y, double* x) {
  const double k2 = k[0], k1 = 2 * k[1] * y + k[3], k0 = k[2] * y * y + k[4] * y + k[5];
  if (k2 == 0) {
    if (k1 == 0) return 0;
    x[0] = -k0 / k1;
    return 1;
  }
  const double s1 = 2 * std::fabs(k[1] * y) + std::fabs(k[3]);
  const double s0 = std::fabs(k[2]) * y * y + std::fabs(k[4] * y) + std::fabs(k[5]);
  const double scale = s1 * s1 + 4 * std::fabs(k2) * s0;
  const double D = k1 * k1 - 4 * k2 * k0;
  if (std::fabs(D) <= 1e-10 * scale || (D < 0 && -D <= 1e-6 * scale)) {
    x[0] = -k1 / (2 * k2);
    return 1;
  }
  if (D < 0) return 0;
  const double s = std::sqrt(D);
  const double w = -(k1 + std::copysign(s, k1)) / 2;  // no cancellation
  double r1 = w / k2, r2 = w != 0 ? k0 / w : -k1 / (2 * k2);
  if (r1 > r2) std::swap(r1, r2);
  x[0] = r1, x[1] = r2;
  return 2;
}

/// Whether (x, y) lies on the conic to a residual small against the size of its terms.
bool onConic(const double* k, double x, double y) {
  double scale = 0;
  const double v = conicValue(k, x, y, &scale);
  return std::fabs(v) <= 1e-8 * std::max(1.0, scale);
}

void storePoint(double* points, int* count, double x, double y) {
  if (*count < 4) {
    points[2 * *count] = x, points[2 * *count + 1] = y;
    ++*count;
    return;
  }
  const auto d2 = [&](int i, double px, double py) {
    const double dx = points[2 * i] - px, dy = points[2 * i + 1] - py;
    return dx * dx + dy * dy;
  };
  double dNew = d2(0, x, y);
  for (int i = 1; i < 4; ++i) dNew = std::min(dNew, d2(i, x, y));
  int replace = -1;
  double dStored = INFINITY;
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) {
      const double d = d2(i, points[2 * j], points[2 * j + 1]);
      if (d < dStored) dStored = d, replace = j;
    }
  if (dNew > dStored && replace >= 0) points[2 * replace] = x, points[2 * replace + 1] = y;
}

}  // namespace

int EllipseIntersection(double* points, int* count, const double* A, const double* B) {
  *count = 0;
  const double p1 = A[0] * B[1] - B[0] * A[1], p2 = A[0] * B[2] - B[0] * A[2], p3 = A[0] * B[3] - B[0] * A[3];
  const double p4 = A[0] * B[4] - B[0] * A[4], p5 = A[0] * B[5] - B[0] * A[5];
  const double q12 = A[1] * B[2] - A[2] * B[1];
  const double r1 = 2 * (A[1] * B[4] - A[4] * B[1]) - (A[2] * B[3] - A[3] * B[2]);
  const double r2 = (A[3] * B[4] - A[4] * B[3]) + 2 * (A[1] * B[5] - A[5] * B[1]);
  const double s = A[3] * B[5] - A[5] * B[3];
  const double c[5] = {p3 * s - p5 * p5, p3 * r2 + 2 * p1 * s - 2 * p4 * p5,
                       p3 * r1 + 2 * p1 * r2 - p4 * p4 - 2 * p2 * p5, 2 * p3 * q12 + 2 * p1 * r1 - 2 * p2 * p4,
                       4 * p1 * q12 - p2 * p2};
  // Conics too large (or not numbers) for the resultant to be formed have no solvable
  // resultant.
  for (double coefficient : c)
    if (!std::isfinite(coefficient)) return -1;
  int degree = 4;
  while (degree > 0 && c[degree] == 0) --degree;
  if (degree == 0) return 0;  // identical or degenerate pair: no isolated crossings
  const std::vector<double> ys = realRoots(c, degree);

  double lastY = 0;
  bool haveLast = false;
  for (double y : ys) {
    if (haveLast && std::fabs(y - lastY) <= 1e-10 * std::max(1.0, std::fabs(y))) continue;
    haveLast = true, lastY = y;
    // x from A's quadratic at this y; from B's when A does not involve x there.
    double x[2];
    int nx = rootsInX(A, y, x);
    if (A[0] == 0 && 2 * A[1] * y + A[3] == 0) nx = rootsInX(B, y, x);
    for (int i = 0; i < nx; ++i) {
      if (!onConic(A, x[i], y) || !onConic(B, x[i], y)) continue;
      // One crossing found twice (the two roots of a near-double pair, or a height that
      // the resultant gave twice) is kept once.
      bool seen = false;
      for (int j = 0; j < *count && !seen; ++j)
        seen = std::hypot(points[2 * j] - x[i], points[2 * j + 1] - y) <=
               1e-7 * std::max(1.0, std::hypot(x[i], y));
      if (!seen) storePoint(points, count, x[i], y);
    }
  }
  return 0;
}

void closestPointOnEllipse(double* x, double* y, double a, double b, double px, double py) {
  if (a == b) {
    const double r2 = px * px + py * py;
    if (r2 == 0) {
      *x = a, *y = 0;
    } else {
      const double r = std::sqrt(r2);
      *x = a * px / r, *y = b * py / r;
    }
    return;
  }
  const double e = px * px / (a * a) + py * py / (b * b);
  if (std::fabs(e - 1) < 1e-10) {
    *x = px, *y = py;
    return;
  }
  if (e <= 1) {
    const double ax = std::fabs(px), ay = std::fabs(py);
    double bestX = a, bestY = 0, best = (a - ax) * (a - ax) + ay * ay;
    for (int k = 1; k <= 100; ++k) {
      double sx, sy;
      if (k == 100) {
        sx = 0, sy = b;
      } else {
        const double t = k * (M_PI / 2) / 100;
        sx = a * std::cos(t), sy = b * std::sin(t);
      }
      const double d = (sx - ax) * (sx - ax) + (sy - ay) * (sy - ay);
      if (d < best) best = d, bestX = sx, bestY = sy;
    }
    *x = std::copysign(bestX, px), *y = std::copysign(bestY, py);
    return;
  }
  const double a2 = a * a, b2 = b * b;
  double t = std::max(a * std::fabs(px) - a2, b * std::fabs(py) - b2);
  for (int i = 0; i < 20; ++i) {
    const double ta = t + a2, tb = t + b2;
    const double F = a2 * px * px / (ta * ta) + b2 * py * py / (tb * tb) - 1;
    const double G = 2 * (a2 * px * px / (ta * ta * ta) + b2 * py * py / (tb * tb * tb));
    const double next = t + F / G;
    if (!(next > t)) break;
    t = next;
  }
  *x = a2 * px / (t + a2), *y = b2 * py / (t + b2);
}

void closestPointOnEllipsoid(double* x, double* y, double* z, double a, double b, double c, double px, double py,
                             double pz) {
  const double axes[3] = {a, b, c}, p[3] = {px, py, pz};
  if (px * px / (a * a) + py * py / (b * b) + pz * pz / (c * c) <= 1) {
    *x = px, *y = py, *z = pz;
    return;
  }
  double t = -INFINITY;
  for (int i = 0; i < 3; ++i) t = std::max(t, axes[i] * std::fabs(p[i]) - axes[i] * axes[i]);
  for (int it = 0; it < 20; ++it) {
    double F = -1, G = 0;
    for (int i = 0; i < 3; ++i) {
      const double a2 = axes[i] * axes[i], s = t + a2;
      F += a2 * p[i] * p[i] / (s * s);
      G += 2 * a2 * p[i] * p[i] / (s * s * s);
    }
    const double next = t + F / G;
    if (!(next > t)) break;
    t = next;
  }
  double* out[3] = {x, y, z};
  for (int i = 0; i < 3; ++i) *out[i] = axes[i] * axes[i] * p[i] / (t + axes[i] * axes[i]);
}

int ellipsoidPolarSection(const double* semiAxes, const double* pole, double* g, double* m, double* axis1,
                          double* axis2, double h) {
  const XYZ a2 = {semiAxes[0] * semiAxes[0], semiAxes[1] * semiAxes[1], semiAxes[2] * semiAxes[2]};
  const XYZ p = load(pole);
  const XYZ grad = {p.x / a2.x, p.y / a2.y, p.z / a2.z};
  store(g, grad);
  const double sigma = v3::dot(grad, p);
  if (!(sigma != 0) || !std::isfinite(sigma)) return -1;
  const XYZ centre = v3::scale(p, h / sigma);
  store(m, centre);
  const XYZ e1 = v3::perpendicularUnit(grad);
  const XYZ c2 = v3::cross(grad, e1);
  if (v3::norm(c2) == 0) return -1;
  const XYZ e2 = v3::normalize(c2);
  const XYZ e[2] = {e1, e2};
  double S[4];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      S[2 * i + j] = e[i].x * e[j].x / a2.x + e[i].y * e[j].y / a2.y + e[i].z * e[j].z / a2.z;
  double vec[4], lambda[2];
  symmetricEigen2(S, vec, lambda);
  if (!(lambda[0] > 0)) return -1;
  const double q = centre.x * centre.x / a2.x + centre.y * centre.y / a2.y + centre.z * centre.z / a2.z;
  // The plane misses the ellipsoid (or only touches it): there is no ellipse.
  if (!(q < 1)) return -1;
  const double k1 = std::sqrt((1 - q) / lambda[0]), k2 = std::sqrt((1 - q) / lambda[1]);
  store(axis1, v3::scale(v3::add(v3::scale(e1, vec[0]), v3::scale(e2, vec[2])), k1));
  store(axis2, v3::scale(v3::add(v3::scale(e1, vec[1]), v3::scale(e2, vec[3])), k2));
  return 0;
}

void setSymmetricMatrixAndVector(double* M, double* s, double m11, double m12, double m13, double m22, double m23,
                                 double m33, double s1, double s2, double s3) {
  const double values[9] = {m11, m12, m13, m12, m22, m23, m13, m23, m33};
  std::copy(values, values + 9, M);
  s[0] = s1, s[1] = s2, s[2] = s3;
}

int cylinderOfEllipse(const double* uIn, const double* vIn, double* w, double* k, double* rho) {
  const XYZ u = load(uIn), v = load(vIn);
  const double uu = v3::dot(u, u), vv = v3::dot(v, v);
  if (uu > vv) return -1;
  const XYZ n = v3::cross(u, v);
  if (v3::norm(n) == 0) return -1;
  const XYZ wn = v3::normalize(n);
  store(w, wn);
  const double r = uu / vv;
  const double cosPhi = r < 1 ? std::sqrt(r) : 1, sinPhi = r < 1 ? std::sqrt(1 - r) : 0;
  const XYZ axis = v3::add(v3::scale(v, sinPhi / std::sqrt(vv)), v3::scale(wn, cosPhi));
  store(k, axis);
  *rho = std::sqrt(uu);
  if (std::fabs(v3::dot(axis, axis) - 1) > 1e-10 || std::fabs(v3::dot(wn, wn) - 1) > 1e-10) return -1;
  return 0;
}

int projectCylinderSection(const double* wIn, const double* kIn, const double* pIn, const double* nIn, double* kPrime,
                           double* rhoPrime, double rho) {
  const XYZ w = load(wIn), k = load(kIn), p = load(pIn), n = load(nIn);
  const XYZ all[4] = {w, k, p, n};
  for (int i = 0; i < 4; ++i)
    if (std::fabs(v3::dot(all[i], all[i]) - 1) > 1e-10) return -1 - i;
  const double wk = v3::dot(w, k);
  if (wk == 0) return -5;
  XYZ e = v3::cross(k, w);
  e = v3::norm(e) == 0 ? v3::perpendicularUnit(w) : v3::normalize(e);
  const XYZ f = v3::cross(w, e);
  const double pn = v3::dot(p, n);
  if (pn == 0) return -6;
  const auto project = [&](const XYZ& x) { return v3::sub(x, v3::scale(p, v3::dot(n, x) / pn)); };
  const XYZ Pe = project(e), Pf = project(f);
  const XYZ t1 = v3::perpendicularUnit(n), t2 = v3::cross(n, t1);
  const double b = rho / wk;
  const double e1 = v3::dot(Pe, t1), e2 = v3::dot(Pe, t2), f1 = v3::dot(Pf, t1), f2 = v3::dot(Pf, t2);
  const double S[4] = {rho * rho * e1 * e1 + b * b * f1 * f1, rho * rho * e1 * e2 + b * b * f1 * f2, 0,
                       rho * rho * e2 * e2 + b * b * f2 * f2};
  double vec[4], lambda[2];
  symmetricEigen2(S, vec, lambda);
  if (!(lambda[0] > 0)) return -7;
  const XYZ M = v3::add(v3::scale(t1, vec[1]), v3::scale(t2, vec[3]));
  const double r = lambda[0] / lambda[1];
  const double cosPhi = r < 1 ? std::sqrt(r) : 1, sinPhi = r < 1 ? std::sqrt(1 - r) : 0;
  store(kPrime, v3::add(v3::scale(M, sinPhi), v3::scale(n, cosPhi)));
  *rhoPrime = std::sqrt(lambda[0]);
  return 0;
}

int cylinderPlaneSection(double* nIO, const double* aIn, double* U, double* V, double rho) {
  XYZ n = load(nIO);
  const double len = v3::norm(n);
  if (len < 1e-10) return -1;
  n = v3::scale(n, 1 / len);
  store(nIO, n);
  const XYZ a = load(aIn);
  const double kappa = v3::dot(n, a);
  if (std::fabs(kappa) < 1e-10) return -1;
  XYZ e1 = v3::cross(a, n);
  e1 = v3::norm(e1) == 0 ? v3::perpendicularUnit(n) : v3::normalize(e1);
  store(U, v3::scale(e1, rho));
  store(V, v3::scale(v3::cross(n, e1), rho / std::fabs(kappa)));
  return 0;
}

void frameWithAxis(double* M, double x, double y, double z) {
  const XYZ w = v3::normalize({x, y, z});
  const XYZ e1 = v3::perpendicularUnit(w), e2 = v3::cross(w, e1);
  const XYZ cols[3] = {e1, e2, w};
  for (int c = 0; c < 3; ++c) M[c] = cols[c].x, M[3 + c] = cols[c].y, M[6 + c] = cols[c].z;
}

int nullDirectionsInPlane(const double* Q, const double* dIn, double* out, int* count) {
  *count = 0;
  const XYZ d = load(dIn);
  const XYZ e1 = v3::perpendicularUnit(d);
  const XYZ c = v3::cross(d, e1);
  if (v3::norm(c) == 0) return -1;
  const XYZ e2 = v3::normalize(c);
  const auto form = [&](const XYZ& l, const XYZ& r) {
    const XYZ Qr = {Q[0] * r.x + Q[1] * r.y + Q[2] * r.z, Q[3] * r.x + Q[4] * r.y + Q[5] * r.z,
                    Q[6] * r.x + Q[7] * r.y + Q[8] * r.z};
    return v3::dot(l, Qr);
  };
  const double alpha = form(e1, e1), beta = form(e1, e2), gamma = form(e2, e2);
  const double D = beta * beta - alpha * gamma;
  if (!(D > 0)) return 0;
  const double s = std::sqrt(D);
  for (int sign = 0; sign < 2; ++sign) {
    const double root = sign == 0 ? s : -s;
    double x, y;
    if (alpha == 0 && gamma == 0)
      x = sign == 0 ? 1 : 0, y = sign == 0 ? 0 : 1;  // the form is 2β·x·y: the axes are null
    else if (std::fabs(alpha) >= std::fabs(gamma))
      x = -beta + root, y = alpha;  // x/y from α·(x/y)² + 2β·(x/y) + γ = 0
    else
      x = gamma, y = -beta - root;  // y/x from γ·(y/x)² + 2β·(y/x) + α = 0
    const XYZ dir = v3::normalize(v3::add(v3::scale(e1, x), v3::scale(e2, y)));
    store(out + 6 * sign, dir);
    store(out + 6 * sign + 3, v3::negate(dir));
  }
  *count = 4;
  return 0;
}

void symmetricEigen2(const double* m, double* vec, double* lambda) {
  const double a = m[0], b = m[1], d = m[3];
  const double D = std::sqrt((a - d) * (a - d) + 4 * b * b);
  if (D < 1e-14) {
    lambda[0] = lambda[1] = (a + d) / 2;
    vec[0] = 1, vec[1] = 0, vec[2] = 0, vec[3] = 1;
    return;
  }
  lambda[0] = (a + d - D) / 2, lambda[1] = (a + d + D) / 2;
  for (int i = 0; i < 2; ++i) {
    const double l = lambda[i];
    double x, y;
    if (std::fabs(l - a) > std::fabs(l - d)) {
      x = b, y = l - a;
      const double n = std::hypot(x, y);
      if (n == 0) x = 0, y = 1;
      else x /= n, y /= n;
    } else {
      x = l - d, y = b;
      const double n = std::hypot(x, y);
      if (n == 0) x = 1, y = 0;
      else x /= n, y /= n;
    }
    vec[i] = x, vec[2 + i] = y;
  }
}

}  // namespace orb::geometry
