#pragma once

#include <complex>

namespace orb::foundation {

/// All four complex roots of a real quartic, accurate also for coefficients near the ends
/// of double range: the monic quartic is written as (x² + l₁x + l₃)² + d₂(x + l₂)² with
/// l₃ from a root φ₀ of the resolvent cubic, split into two quadratic factors, the real
/// factors polished by Newton–Raphson, and each factor solved without cancellation.
/// Independent of the closed-form solvers of QuarticPoly.h.

double largerOfTwo(double a, double b);
double largestOfThree(double a, double b, double c);

/// A real root of largest magnitude of x³ + g·x + h; falls back to the overflow-safe form
/// when −g/3 exceeds 1e102 or h/2 exceeds 1e154 in magnitude.
void solveDepressedCubic(double* root, double g, double h);
/// The same without forming g³ or h².
void solveDepressedCubicOverflowSafe(double* root, double g, double h);
/// φ₀, the resolvent root of x⁴ + a·x³ + b·x² + c·x + d, Newton-polished. With `rescale`
/// a cubic that overflows is solved again in units of 3.488062113727083e+102.
void quarticResolventRoot(double a, double b, double c, double d, double* phi0, bool rescale);

/// Σ |relative deviation| of the coefficients b, c, d that an LDLᵀ candidate reproduces.
double ldltRelativeError(double b, double c, double d, double d2, double l1, double l2, double l3);
/// Σ |relative deviation| of a, b, c, d reproduced by (x² + α₁x + β₁)(x² + α₂x + β₂).
double realFactorRelativeError(double a, double b, double c, double d, double alpha1, double beta1,
                               double alpha2, double beta2);
/// The same without the term of d.
double realFactorPartialError(double a, double b, double c, double alpha1, double beta1, double alpha2,
                              double beta2);
/// The same for complex factors, by moduli.
double complexFactorRelativeError(double a, double b, double c, double d, std::complex<double> alpha1,
                                  std::complex<double> beta1, std::complex<double> alpha2,
                                  std::complex<double> beta2);
/// Newton–Raphson on the factorisation's four equations, at most 8 steps; keeps the
/// factors with the smallest error seen.
void refineQuadraticFactors(double a, double b, double c, double d, double* alpha1, double* beta1, double* alpha2,
                            double* beta2);
/// Roots of x² + α·x + β as (re, im) pairs in roots[0 … 3]; the smaller real root is
/// taken as β over the larger, a complex pair comes with the positive imaginary part first.
void solveMonicQuadratic(double roots[4], double alpha, double beta);
/// The four roots of Σ coefficient[k]·x^k (k = 0 … 4) as (re, im) pairs in roots[0 … 7],
/// in no promised order. A zero coefficient[4] writes "That's not a quartic!" on
/// standard output, leaves `roots` untouched and answers false.
bool solveQuarticComplexRoots(const double coefficient[5], double roots[8]);

}  // namespace orb::foundation
