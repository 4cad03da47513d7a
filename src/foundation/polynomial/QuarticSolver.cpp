#include "foundation/polynomial/QuarticSolver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orb::foundation {

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;
constexpr double kCubicRescale = 3.488062113727083e+102;
constexpr double kQuarticRescale = 7.156344627944542e+76;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;

using Complex = std::complex<double>;

inline double signOf(double x) { return x >= 0.0 ? 1.0 : -1.0; }
inline bool isFinite(double x) { return std::isfinite(x); }

/// (reproduced − true)/true, or the reproduced value where the true one is 0.
inline double deviation(double reproduced, double actual) {
  return actual == 0.0 ? std::fabs(reproduced) : std::fabs((reproduced - actual) / actual);
}
inline double deviation(Complex reproduced, double actual) {
  return actual == 0.0 ? std::abs(reproduced) : std::abs((reproduced - actual) / actual);
}

/// −2√Q·cos(θ/3), θ = acos(cosTheta) moved by 2π from π/2 on: the root of largest
/// magnitude when the cubic has three real roots.
inline double trigonometricRoot(double Q, double cosTheta) {
  double theta = std::acos(cosTheta);
  if (theta >= kHalfPi) theta += kTwoPi;
  return -2.0 * std::sqrt(Q) * std::cos(theta / 3.0);
}

/// The roots of x² + α·x + β for complex α, β: the larger one from the formula, the
/// other as β over it, so that neither loses digits to cancellation.
void solveComplexQuadratic(Complex alpha, Complex beta, double* out) {
  const Complex root = std::sqrt(alpha * alpha - 4.0 * beta);
  const Complex plus = (-alpha + root) / 2.0;
  const Complex minus = (-alpha - root) / 2.0;
  const Complex first = std::abs(plus) >= std::abs(minus) ? plus : minus;
  const Complex second = first == Complex(0.0, 0.0) ? Complex(0.0, 0.0) : beta / first;
  out[0] = first.real();
  out[1] = first.imag();
  out[2] = second.real();
  out[3] = second.imag();
}

/// Replaces the smaller of two constant terms by d over the larger: β₁β₂ = d then holds
/// to rounding and the small one keeps its digits.
inline void balanceConstantTerms(double d, double& beta1, double& beta2) {
  if (std::fabs(beta1) < std::fabs(beta2)) {
    beta1 = d / beta2;
  } else if (std::fabs(beta2) < std::fabs(beta1)) {
    beta2 = d / beta1;
  }
}

}  // namespace

double largerOfTwo(double a, double b) { return a > b ? a : b; }
double largestOfThree(double a, double b, double c) { return largerOfTwo(largerOfTwo(a, b), c); }

void solveDepressedCubic(double* root, double g, double h) {
  const double Q = -g / 3.0;
  const double R = h / 2.0;
  if (std::fabs(Q) > 1e102 || std::fabs(R) > 1e154) {
    solveDepressedCubicOverflowSafe(root, g, h);
    return;
  }
  const double Q3 = Q * Q * Q;
  const double R2 = R * R;
  if (Q3 <= R2) {
    const double A = -signOf(R) * std::pow(std::sqrt(R2 - Q3) + std::fabs(R), 0.3333333333333333);
    *root = A == 0.0 ? 0.0 : A + Q / A;
  } else {
    *root = trigonometricRoot(Q, R / std::sqrt(Q3));
  }
}

void solveDepressedCubicOverflowSafe(double* root, double g, double h) {
  const double Q = -g / 3.0;
  const double R = h / 2.0;
  if (R == 0.0) {
    *root = g <= 0.0 ? std::sqrt(-g) : 0.0;
    return;
  }
  if (std::fabs(R) > std::fabs(Q)) {
    const double k = Q / R;
    const double m = 1.0 - k * k * Q;
    if (m >= 0.0) {
      const double A = -signOf(R) * std::cbrt((std::sqrt(m) + 1.0) * std::fabs(R));
      *root = A + Q / A;
      return;
    }
  } else {
    const double k = R / Q;
    const double m = (k * k / Q - 1.0) * signOf(Q);
    if (m >= 0.0) {
      const double A = -signOf(R) * std::cbrt(std::sqrt(m) * std::sqrt(std::fabs(Q)) * std::fabs(Q) + std::fabs(R));
      *root = A + Q / A;
      return;
    }
  }
  *root = trigonometricRoot(Q, R / std::fabs(Q) / std::sqrt(Q));
}

void quarticResolventRoot(double a, double b, double c, double d, double* phi0, bool rescale) {
  // Shift x so that the depressed cubic's coefficients stay small (no cancellation).
  const double discriminant = 9.0 * a * a - 24.0 * b;
  double s;
  if (discriminant > 0.0) {
    const double root = std::sqrt(discriminant);
    s = a > 0.0 ? -2.0 * b / (3.0 * a + root) : -2.0 * b / (3.0 * a - root);
  } else {
    s = -a / 4.0;
  }
  const double aq = a + 4.0 * s;
  const double bq = b + 3.0 * s * (a + 2.0 * s);
  const double cq = c + s * (2.0 * b + s * (3.0 * a + 4.0 * s));
  const double dq = d + s * (c + s * (b + s * (a + s)));
  const double g = aq * cq - 4.0 * dq - bq * bq / 3.0;
  const double h = (8.0 * dq + aq * cq - 2.0 * bq * bq / 9.0) * bq / 3.0 - cq * cq - aq * aq * dq;

  double x;
  solveDepressedCubic(&x, g, h);
  if (!isFinite(x)) {
    solveDepressedCubicOverflowSafe(&x, g, h);
    if (!isFinite(x) && rescale) {
      // The cubic in y = x/F: g/F² and h/F³, formed from the scaled coefficients.
      const double F = kCubicRescale;
      const double as = aq / F, bs = bq / F, cs = cq / F, ds = dq / (F * F);
      const double gs = as * cs - 4.0 * ds - bs * bs / 3.0;
      const double hs = (8.0 * ds + as * cs - 2.0 * bs * bs / 9.0) * bs / 3.0 - cs * (cq / (F * F)) -
                        as * as * (dq / F);
      solveDepressedCubic(&x, gs, hs);
      if (!isFinite(x)) solveDepressedCubicOverflowSafe(&x, gs, hs);
      x *= F;
    }
  }

  auto f = [g, h](double t) { return (t * t + g) * t + h; };
  double fx = f(x);
  if (std::fabs(fx) > kEpsilon * largestOfThree(std::fabs(x * x * x), std::fabs(g * x), std::fabs(h))) {
    for (int step = 0; step < 8; ++step) {
      const double derivative = 3.0 * x * x + g;
      if (derivative == 0.0 || fx == 0.0) break;
      const double next = x - fx / derivative;
      const double fNext = f(next);
      if (!(std::fabs(fNext) < std::fabs(fx))) break;
      x = next;
      fx = fNext;
    }
  }
  *phi0 = x;
}

double ldltRelativeError(double b, double c, double d, double d2, double l1, double l2, double l3) {
  return deviation(l1 * l1 + 2.0 * l3 + d2, b) + deviation(2.0 * d2 * l2 + 2.0 * l1 * l3, c) +
         deviation(l3 * l3 + d2 * l2 * l2, d);
}

double realFactorRelativeError(double a, double b, double c, double d, double alpha1, double beta1, double alpha2,
                               double beta2) {
  return realFactorPartialError(a, b, c, alpha1, beta1, alpha2, beta2) + deviation(beta1 * beta2, d);
}

double realFactorPartialError(double a, double b, double c, double alpha1, double beta1, double alpha2,
                              double beta2) {
  return deviation(alpha1 + alpha2, a) + deviation(alpha1 * alpha2 + beta1 + beta2, b) +
         deviation(alpha1 * beta2 + beta1 * alpha2, c);
}

double complexFactorRelativeError(double a, double b, double c, double d, Complex alpha1, Complex beta1,
                                  Complex alpha2, Complex beta2) {
  return deviation(alpha1 + alpha2, a) + deviation(alpha1 * alpha2 + beta1 + beta2, b) +
         deviation(alpha1 * beta2 + beta1 * alpha2, c) + deviation(beta1 * beta2, d);
}

void refineQuadraticFactors(double a, double b, double c, double d, double* alpha1, double* beta1, double* alpha2,
                            double* beta2) {
  double a1 = *alpha1, b1 = *beta1, a2 = *alpha2, b2 = *beta2;
  double error = realFactorRelativeError(a, b, c, d, a1, b1, a2, b2);
  for (int iteration = 0; iteration < 8 && error != 0.0; ++iteration) {
    const double F1 = a1 + a2 - a;
    const double F2 = a1 * a2 + b1 + b2 - b;
    const double F3 = a1 * b2 + b1 * a2 - c;
    const double F4 = b1 * b2 - d;
    // Newton step J·δ = −F. The first equation gives δα₂ = −F₁ − δα₁; the other three
    // are a 3 × 3 system in (δα₁, δβ₁, δβ₂) whose determinant is the resultant of the
    // two factors, zero when they share a root.
    const double m11 = a2 - a1;
    const double m21 = b2 - b1;
    const double R1 = -F2 + a1 * F1;
    const double R2 = -F3 + b1 * F1;
    const double R3 = -F4;
    const double cross = a2 * b1 - a1 * b2;
    const double det = m11 * cross + m21 * m21;
    if (det == 0.0) break;
    const double dAlpha1 = (R1 * cross + R2 * m21 + R3 * (a1 - a2)) / det;
    const double dBeta1 = (m11 * (R2 * b1 - a1 * R3) - R1 * m21 * b1 + m21 * R3) / det;
    const double dBeta2 = (m11 * (a2 * R3 - R2 * b2) - m21 * R3 + R1 * m21 * b2) / det;
    const double dAlpha2 = -F1 - dAlpha1;
    const double n1 = a1 + dAlpha1, m1 = b1 + dBeta1, n2 = a2 + dAlpha2, m2 = b2 + dBeta2;
    const double newError = realFactorRelativeError(a, b, c, d, n1, m1, n2, m2);
    if (!(newError < error)) break;  // a step that does not help is not taken
    a1 = n1, b1 = m1, a2 = n2, b2 = m2;
    error = newError;
  }
  *alpha1 = a1, *beta1 = b1, *alpha2 = a2, *beta2 = b2;
}

void solveMonicQuadratic(double roots[4], double alpha, double beta) {
  const double discriminant = alpha * alpha - 4.0 * beta;
  if (discriminant < 0.0) {
    const double imaginary = std::sqrt(-discriminant) / 2.0;
    roots[0] = -alpha / 2.0;
    roots[1] = imaginary;
    roots[2] = -alpha / 2.0;
    roots[3] = -imaginary;
    return;
  }
  const double root = std::sqrt(discriminant);
  const double first = alpha >= 0.0 ? (-alpha - root) / 2.0 : (root - alpha) / 2.0;
  roots[0] = first;
  roots[1] = 0.0;
  roots[2] = first == 0.0 ? 0.0 : beta / first;
  roots[3] = 0.0;
}

bool solveQuarticComplexRoots(const double coefficient[5], double roots[8]) {
  if (coefficient[4] == 0.0) {
    std::printf("That's not a quartic!\n");
    std::fflush(stdout);
    return false;
  }
  double a = coefficient[3] / coefficient[4];
  double b = coefficient[2] / coefficient[4];
  double c = coefficient[1] / coefficient[4];
  double d = coefficient[0] / coefficient[4];

  double phi0;
  quarticResolventRoot(a, b, c, d, &phi0, false);
  bool rescaled = false;
  if (!isFinite(phi0)) {
    const double K = kQuarticRescale;
    a /= K;
    b /= K * K;
    c /= K * K * K;
    d /= K * K * K * K;
    quarticResolventRoot(a, b, c, d, &phi0, true);
    rescaled = true;
  }

  const double l1 = a / 2.0;
  const double l3 = b / 6.0 + phi0 / 2.0;
  const double delta = c - a * l3;

  // Up to three LDLᵀ candidates; the one that reproduces b, c, d best wins, ties to the
  // earlier one.
  bool haveCandidate = false;
  double d2 = 0.0, l2 = 0.0, ldltError = 0.0;
  auto consider = [&](double candidateD2, double candidateL2) {
    const double error = ldltRelativeError(b, c, d, candidateD2, l1, candidateL2, l3);
    if (!haveCandidate || error < ldltError) {
      d2 = candidateD2;
      l2 = candidateL2;
      ldltError = error;
      haveCandidate = true;
    }
  };
  const double d2First = 2.0 * b / 3.0 - phi0 - l1 * l1;
  if (d2First != 0.0) consider(d2First, delta / (2.0 * d2First));
  if (delta != 0.0) {
    const double l2Second = 2.0 * (d - l3 * l3) / delta;
    if (l2Second != 0.0) consider(delta / (2.0 * l2Second), l2Second);
    consider(d2First, l2Second);
  }

  bool realCase = true;
  double ra1 = l1, rb1 = l3, ra2 = l1, rb2 = l3;  // d₂ = 0: the square of one quadratic
  Complex ca1, cb1, ca2, cb2;
  if (d2 < 0.0) {
    const double gamma = std::sqrt(-d2);
    ra1 = l1 + gamma;
    rb1 = l3 + gamma * l2;
    ra2 = l1 - gamma;
    rb2 = l3 - gamma * l2;
    balanceConstantTerms(d, rb1, rb2);
    // Recompute the smaller linear coefficient from whichever equation reproduces the
    // quartic best: it is the one that cancellation in l₁ ± γ has spoiled.
    const bool firstIsSmaller = std::fabs(ra1) < std::fabs(ra2);
    const double keep = firstIsSmaller ? ra2 : ra1;
    double best = firstIsSmaller ? ra1 : ra2;
    bool haveWay = false;
    double bestError = 0.0;
    auto tryWay = [&](double value) {
      const double error = firstIsSmaller ? realFactorPartialError(a, b, c, value, rb1, keep, rb2)
                                          : realFactorPartialError(a, b, c, keep, rb1, value, rb2);
      if (!haveWay || error < bestError) {
        best = value;
        bestError = error;
        haveWay = true;
      }
    };
    const double betaKeep = firstIsSmaller ? rb2 : rb1;  // β paired with the kept α
    const double betaOwn = firstIsSmaller ? rb1 : rb2;   // β in the recomputed α's factor
    if (betaKeep != 0.0) tryWay((c - keep * betaOwn) / betaKeep);
    if (keep != 0.0) tryWay((b - rb1 - rb2) / keep);
    tryWay(a - keep);
    (firstIsSmaller ? ra1 : ra2) = best;
  } else if (d2 > 0.0) {
    realCase = false;
    const Complex gamma(0.0, std::sqrt(d2));
    ca1 = l1 + gamma;
    cb1 = l3 + gamma * l2;
    ca2 = l1 - gamma;
    cb2 = l3 - gamma * l2;
  }

  if (!haveCandidate || d2 == 0.0 ||
      std::fabs(d2) <= kEpsilon * largestOfThree(std::fabs(2.0 * b / 3.0), std::fabs(phi0), l1 * l1)) {
    // d₂ is lost in rounding: try (x² + l₁x + l₃)² − (l₃² − d) as well.
    const double currentError = realCase ? realFactorRelativeError(a, b, c, d, ra1, rb1, ra2, rb2)
                                         : complexFactorRelativeError(a, b, c, d, ca1, cb1, ca2, cb2);
    const bool mustReplace = !haveCandidate || d2 == 0.0;
    const double excess = d - l3 * l3;
    if (excess <= 0.0) {
      const double gamma = std::sqrt(-excess);
      double beta1 = l3 + gamma, beta2 = l3 - gamma;
      balanceConstantTerms(d, beta1, beta2);
      const double error = realFactorRelativeError(a, b, c, d, l1, beta1, l1, beta2);
      if (mustReplace || error < currentError) {
        realCase = true;
        ra1 = ra2 = l1;
        rb1 = beta1;
        rb2 = beta2;
      }
    } else {
      const Complex gamma(0.0, std::sqrt(excess));
      const Complex beta1 = l3 + gamma, beta2 = l3 - gamma;
      const double error = complexFactorRelativeError(a, b, c, d, l1, beta1, l1, beta2);
      if (mustReplace || error < currentError) {
        realCase = false;
        ca1 = ca2 = l1;
        cb1 = beta1;
        cb2 = beta2;
      }
    }
  }

  if (realCase) {
    refineQuadraticFactors(a, b, c, d, &ra1, &rb1, &ra2, &rb2);
    solveMonicQuadratic(roots, ra1, rb1);
    solveMonicQuadratic(roots + 4, ra2, rb2);
  } else {
    solveComplexQuadratic(ca1, cb1, roots);
    solveComplexQuadratic(ca2, cb2, roots + 4);
  }
  if (rescaled) {
    for (int i = 0; i < 8; ++i) roots[i] *= kQuarticRescale;
  }
  return true;
}

}  // namespace orb::foundation
