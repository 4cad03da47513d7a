#pragma once

#include <functional>
#include <vector>

#include "foundation/objects/XYZ.h"

namespace orb::foundation {

/// The ten-point rule of degree 5: (L0, L1, weight), L2 = 1 − L0 − L1. The weights sum
/// to 1.9999999999999 as tabulated.
inline constexpr double kTriangleRule10[10][3] = {
    {0.0, 1.0, 0.0262712099504},
    {1.0, 0.0, 0.0262716612068},
    {0.0, 0.0, 0.02741639476},
    {0.2673273531185, 0.672819921871, 0.2348383865823},
    {0.6728175529461, 0.2673288599482, 0.2348412238268},
    {0.0649236350054, 0.6716530111494, 0.2480251793114},
    {0.6716498539042, 0.0649251690029, 0.2480304922521},
    {0.06540324568, 0.2693789366453, 0.2518604605529},
    {0.269376706914, 0.0654054874919, 0.2518660533658},
    {0.3386738503896, 0.3386799893027, 0.4505789381914},
};

/// Maps barycentric coordinates (L0, L1, L2) to points of a triangle in a space of any
/// dimension and evaluates a target function there. The point it answers is scratch space
/// rewritten by every call, so an evaluator serves one thread at a time.
class TriangleEvaluator {
 public:
  using Function = std::function<double(const double*)>;

  /// Three corners at the origin.
  explicit TriangleEvaluator(int dimension);
  /// Copies of corners[0 … 2], each `dimension` doubles.
  TriangleEvaluator(const double* const* corners, int dimension);
  virtual ~TriangleEvaluator() = default;

  int dimension() const { return m_n; }
  /// The nodes: the three corners (fifteen boundary nodes for the quintic evaluator).
  const std::vector<std::vector<double>>& t() const { return m_t; }

  /// L0·t0 + L1·t1 + L2·t2, into the scratch point.
  const double* xAtTriangleCoordinates(const double* L);
  /// The centroid, into the scratch point.
  const double* xAtTriangleCenter();
  /// The target at the mapped point.
  virtual double valueAtTriangleCoordinates(const double* L);

  /// The target function of a point of `dimension` doubles.
  void setFunction(Function f) { m_f = std::move(f); }
  /// Bound to object.*method(const double*) -> double; the object is not owned.
  template <class T>
  void setObject(T& object, double (T::*method)(const double*)) {
    m_f = [target = &object, method](const double* x) { return (target->*method)(x); };
  }
  double valueAt(const double* x) const { return m_f(x); }

 protected:
  TriangleEvaluator(int dimension, int nodeCount);

  int m_n;
  std::vector<std::vector<double>> m_t;
  std::vector<double> m_x;
  Function m_f;
};

/// The same for a target whose value is an XYZ.
class TriangleEvaluatorXYZ {
 public:
  using Function = std::function<XYZ(const double*)>;

  explicit TriangleEvaluatorXYZ(int dimension);
  TriangleEvaluatorXYZ(const double* const* corners, int dimension);

  int dimension() const { return m_n; }
  const std::vector<std::vector<double>>& t() const { return m_t; }
  const double* xAtTriangleCoordinates(const double* L);
  const double* xAtTriangleCenter();
  XYZ xyzValueAtTriangleCoordinates(const double* L);

  void setFunction(Function f) { m_f = std::move(f); }
  template <class T>
  void setObject(T& object, XYZ (T::*method)(const double*)) {
    m_f = [target = &object, method](const double* x) { return (target->*method)(x); };
  }
  XYZ xyzValueAt(const double* x) const { return m_f(x); }

 private:
  int m_n;
  std::vector<std::vector<double>> m_t;
  std::vector<double> m_x;
  Function m_f;
};

/// A curved triangle: quintic along each edge through the corners and four nodes per
/// edge (fifteen in all), with no interior node. Nodes: corners 0, 1, 2; then edge 0→1 at
/// L0 = 0.8, 0.6, 0.4, 0.2; edge 1→2 at L1 = 0.8 … 0.2; edge 2→0 at L2 = 0.8 … 0.2.
class TriangleQuinticEvaluator final : public TriangleEvaluator {
 public:
  TriangleQuinticEvaluator(const double* const* nodes, int dimension);

  /// The curved map of the coordinates, into the scratch point.
  const double* curvedXAtTriangleCoordinates(const double* L);
  /// The target at the curved map of the coordinates.
  double valueAtTriangleCoordinates(const double* L) override;
};

/// The ten-point rule of degree 5 over an evaluator: the mean value over the triangle
/// (its weights sum to 2 and the sum is halved; multiply by the area for the integral).
class TriangleQuadrature {
 public:
  static double quadFive(TriangleEvaluator& evaluator);
  static XYZ quadFiveXYZ(TriangleEvaluatorXYZ& evaluator);
};

/// The seven points of Radon's degree-5 rule on the triangle with corners
/// corners[0 … n−1], [n … 2n−1], [2n … 3n−1]: out[k·n + i] for point k.
void triangleRule7Points(int n, const double* corners, double* out);
/// The seven weights, summing to 1: centroid first.
void triangleRule7Weights(double* out);
/// Σ wₖ·samplesₖ: the mean of a function sampled at the seven points.
double triangleRule7Sum(const double* samples);
/// ∫ f over the triangle P0, P1, P2 (nine doubles) of 3-space.
double triangleRule7Integrate(const double* corners, const std::function<double(XYZ)>& f);
/// The unit vector along (P1 − P0) × (P2 − P0).
void triangleUnitNormal(const double* corners, XYZ* normal);
/// ½ |(P1 − P0) × (P2 − P0)|.
double triangleArea(const double* corners);

}  // namespace orb::foundation
