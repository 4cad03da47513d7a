#pragma once

#include <span>

#include "foundation/objects/XY.h"

namespace orb::geometry {

// Roots of real polynomials of degree 1 to 4. Coefficients are in ascending powers,
// c[0] + c[1]·x + … + c[n]·xⁿ. Roots are complex numbers as XY (x real, y imaginary); a
// real root has an imaginary part of exactly 0, and complex roots come in conjugate pairs,
// the positive imaginary part first. None of these raise.

/// Status of the last quadratic step run on the calling thread.
enum RootStatus : int {
  kNoRoot = 0,           ///< all coefficients of a degree-0 remainder zero
  kLinearRoot = 1,       ///< one root of a linear equation
  kZeroConstant = 21,    ///< quadratic with zero constant term: roots 0 and −c1/c2
  kTwoRealRoots = 22,    ///< quadratic with two real roots (distinct or double)
  kComplexPair = 23,     ///< quadratic with a complex conjugate pair
};

/// The status written by the last quadratic step on this thread (each thread has its own,
/// so concurrent solves on tracer threads do not disturb each other).
int rootStatus();

/// The real cube root, with the sign of x.
double cubeRootSigned(double x);
/// −c0/c1; 0 when c1 is 0.
double linearRoot(std::span<const double, 2> c);
/// Both roots of c0 + c1·x + c2·x² (c2 ≠ 0), stably computed; returns and records the status.
int quadraticRoots(std::span<const double, 3> c, std::span<foundation::XY, 2> roots);
/// The three roots of a cubic (c3 ≠ 0), refined against cancellation.
void cubicRoots(std::span<const double, 4> c, std::span<foundation::XY, 3> roots);
/// The four roots of a quartic (c4 ≠ 0) through its resolvent cubic: four real roots come
/// in ascending order.
void quarticRoots(std::span<const double, 5> c, std::span<foundation::XY, 4> roots);
/// The first one or two roots of a·x⁴ + b·x³ + c·x² + d·x + e (leading coefficient first)
/// of the highest non-zero degree, with a status: 0 no root, 1 one root, 21 to 23 as for
/// the quadratic step (22 when a cubic or quartic solve ran no quadratic step).
void polynomialRoots(int& status, foundation::XY& first, foundation::XY& second, double a, double b, double c,
                     double d, double e);
/// 1 when *a > *b, −1 when *b > *a, else 0.
int compareDoubles(const double* a, const double* b);

/// Ferrari's quartic through the trigonometric cubic. Real roots first (`realCount` of
/// them), shifted back; returns 0, −1 when c4 is 0, −2 when the factorisation fails.
int quarticRootsFerrari(std::span<const double, 5> c, std::span<double, 4> re, std::span<double, 4> im,
                        int& realCount);
/// Cardano and Viète on the normalised cubic: three real roots ascending, or one real root
/// and a pair. Returns 0, or −1 (all outputs zeroed) when c3 is 0.
int cubicRootsTrigonometric(std::span<const double, 4> c, std::span<double, 3> re, std::span<double, 3> im,
                            int& realCount);

}  // namespace orb::geometry
