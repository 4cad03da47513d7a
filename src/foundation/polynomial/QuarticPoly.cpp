#include "foundation/polynomial/QuarticPoly.h"

#include <algorithm>
#include <cmath>

namespace orb::foundation {

namespace {
constexpr double kEpsilon = 2.220446049250313e-16;
}

QuarticPoly quarticPolyConstant(double value) {
  QuarticPoly p;
  p.c[0] = value;
  return p;
}

QuarticPoly quarticPolyLinear(double slope, double intercept) {
  QuarticPoly p;
  p.degree = 1;
  p.c[0] = intercept;
  p.c[1] = slope;
  return p;
}

QuarticPoly quarticPolyMultiply(const QuarticPoly& a, const QuarticPoly& b) {
  QuarticPoly p;
  for (int i = 0; i <= a.degree; ++i) {
    for (int j = 0; j <= b.degree && i + j <= 4; ++j) p.c[i + j] += a.c[i] * b.c[j];
  }
  p.degree = std::min(a.degree + b.degree, 4);
  return p;
}

QuarticPoly quarticPolySquare(const QuarticPoly& a) {
  QuarticPoly p;
  for (int i = 0; i <= a.degree; ++i) {
    for (int j = 0; j <= a.degree && i + j <= 4; ++j) p.c[i + j] += a.c[i] * a.c[j];
  }
  p.degree = a.degree < 3 ? 2 * a.degree : 4;
  return p;
}

QuarticPoly quarticPolyAdd(const QuarticPoly& a, const QuarticPoly& b) {
  QuarticPoly p = a;
  for (int k = 0; k <= b.degree; ++k) p.c[k] += b.c[k];
  p.degree = std::max(a.degree, b.degree);
  return p;
}

QuarticPoly quarticPolyScale(const QuarticPoly& a, double s) {
  QuarticPoly p = a;
  for (int k = 0; k <= a.degree; ++k) p.c[k] *= s;
  return p;
}

int solveQuadraticRoots(double roots[2], double a, double b, double c) {
  if (a == 0.0) return 0;  // not a quadratic: the formula would divide by zero
  const double discriminant = b * b - 4.0 * a * c;
  if (!(discriminant > 0.0)) return 0;
  const double root = std::sqrt(discriminant);
  roots[0] = (-b - root) / (2.0 * a);
  roots[1] = (-b + root) / (2.0 * a);
  return 2;
}

int solveQuarticRoots(double roots[4], double a, double b, double c, double d, double e) {
  if (a == 0.0) return 0;
  if (std::fabs(b) < kEpsilon && std::fabs(d) < kEpsilon) {
    // Biquadratic: a quadratic in u = t²; only non-negative u give real t.
    const double discriminant = c * c - 4.0 * a * e;
    if (!(discriminant > 0.0)) return 0;
    const double root = std::sqrt(discriminant);
    const double uPlus = (root - c) / (2.0 * a);
    const double uMinus = (-c - root) / (2.0 * a);
    int count = 0;
    if (uPlus >= 0.0) roots[count++] = -std::sqrt(uPlus);
    if (uMinus >= 0.0) {
      roots[count++] = -std::sqrt(uMinus);
      roots[count++] = std::sqrt(uMinus);
    }
    if (uPlus >= 0.0) roots[count++] = std::sqrt(uPlus);
    return count;
  }

  const double shift = -b / (4.0 * a);
  const double p = (8.0 * a * c - 3.0 * b * b) / (8.0 * a * a);
  const double q = (b * b * b - 4.0 * a * b * c + 8.0 * a * a * d) / (8.0 * a * a * a);
  const double delta0 = c * c - 3.0 * b * d + 12.0 * a * e;
  const double delta1 = 2.0 * c * c * c - 9.0 * b * c * d + 27.0 * b * b * e + 27.0 * a * d * d - 72.0 * a * c * e;
  const double delta = (4.0 * delta0 * delta0 * delta0 - delta1 * delta1) / 27.0;

  if (delta < 0.0) {
    // Two real roots. The real cube root keeps Q real when Δ₁ + √(−27Δ) is negative;
    // the other sign of the root is taken when that choice would give Q = 0.
    const double root = std::sqrt(-27.0 * delta);
    double Q = std::cbrt((delta1 + root) / 2.0);
    if (Q == 0.0) Q = std::cbrt((delta1 - root) / 2.0);
    const double S = 0.5 * std::sqrt(-2.0 * p / 3.0 + (Q + delta0 / Q) / (3.0 * a));
    const double w = -4.0 * S * S - 2.0 * p;
    if (w + q / S > 0.0) {
      const double half = 0.5 * std::sqrt(w + q / S);
      roots[0] = shift - S - half;
      roots[1] = shift - S + half;
    } else {
      const double half = 0.5 * std::sqrt(w - q / S);
      roots[0] = shift + S - half;
      roots[1] = shift + S + half;
    }
    return 2;
  }
  const double d4 = 64.0 * a * a * a * e - 16.0 * a * a * c * c + 16.0 * a * b * b * c - 16.0 * a * a * b * d -
                    3.0 * b * b * b * b;
  if (!(delta > 0.0 && p < 0.0 && d4 < 0.0)) return 0;
  const double phi = std::acos(delta1 / (2.0 * std::sqrt(delta0 * delta0 * delta0)));
  const double S = 0.5 * std::sqrt((2.0 / (3.0 * a)) * std::sqrt(delta0) * std::cos(phi / 3.0) - 2.0 * p / 3.0);
  const double w = -4.0 * S * S - 2.0 * p;
  const double plus = 0.5 * std::sqrt(w + q / S);
  const double minus = 0.5 * std::sqrt(w - q / S);
  roots[0] = shift - S - plus;
  roots[1] = shift - S + plus;
  roots[2] = shift + S - minus;
  roots[3] = shift + S + minus;
  return 4;
}

int solveQuarticPolyRoots(double* roots, const QuarticPoly& poly) {
  double found[4];
  const int count = solveQuarticRoots(found, poly.c[4], poly.c[3], poly.c[2], poly.c[1], poly.c[0]);
  std::copy(found, found + count, roots);
  return count;
}

}  // namespace orb::foundation
