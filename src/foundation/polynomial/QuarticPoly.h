#pragma once

namespace orb::foundation {

/// A polynomial of degree at most 4 in one variable, built on the stack when a line meets
/// a surface (the torus). c[k] is the coefficient of t^k; entries above `degree` are 0.
struct QuarticPoly {
  int degree = 0;
  double c[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
};

QuarticPoly quarticPolyConstant(double value);
/// slope·t + intercept.
QuarticPoly quarticPolyLinear(double slope, double intercept);
/// A·B with the terms above t⁴ dropped.
QuarticPoly quarticPolyMultiply(const QuarticPoly& a, const QuarticPoly& b);
/// A² with the terms above t⁴ dropped.
QuarticPoly quarticPolySquare(const QuarticPoly& a);
QuarticPoly quarticPolyAdd(const QuarticPoly& a, const QuarticPoly& b);
QuarticPoly quarticPolyScale(const QuarticPoly& a, double s);

/// Real roots of a·t² + b·t + c: 2 (smaller-formula root first, (−b − √D)/2a) or 0 for a
/// double root, no real root or a = 0.
int solveQuadraticRoots(double roots[2], double a, double b, double c);
/// Real roots of a·t⁴ + b·t³ + c·t² + d·t + e in closed form: 0, 2 or 4, not sorted.
/// Multiple roots (zero discriminant) and a = 0 give 0.
int solveQuarticRoots(double roots[4], double a, double b, double c, double d, double e);
/// solveQuarticRoots on the record's five coefficients, whatever its degree says.
int solveQuarticPolyRoots(double* roots, const QuarticPoly& poly);

}  // namespace orb::foundation
