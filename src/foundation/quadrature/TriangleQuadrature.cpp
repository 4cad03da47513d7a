#include "foundation/quadrature/TriangleQuadrature.h"

#include <cmath>

namespace orb::foundation {

namespace {


// Radon's seven-point rule: the centroid, then two orbits of three points.
constexpr double kA = 0.05971587178976981, kB = 0.47014206410511505;
constexpr double kC = 0.7974269853530872, kD = 0.10128650732345633;
constexpr double kRule7[7][3] = {
    {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0}, {kA, kB, kB}, {kB, kA, kB}, {kB, kB, kA},
    {kC, kD, kD},                      {kD, kC, kD}, {kD, kD, kC},
};
const double kSqrt15 = std::sqrt(15.0);
const double kRule7Weights[7] = {
    0.225,
    (155.0 + kSqrt15) / 1200.0,
    (155.0 + kSqrt15) / 1200.0,
    (155.0 + kSqrt15) / 1200.0,
    (155.0 - kSqrt15) / 1200.0,
    (155.0 - kSqrt15) / 1200.0,
    (155.0 - kSqrt15) / 1200.0,
};

std::vector<std::vector<double>> copyNodes(const double* const* nodes, int count, int dimension) {
  std::vector<std::vector<double>> t(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) t[k].assign(nodes[k], nodes[k] + dimension);
  return t;
}

XYZ cross(const double* p) {
  const double u[3] = {p[3] - p[0], p[4] - p[1], p[5] - p[2]};
  const double v[3] = {p[6] - p[0], p[7] - p[1], p[8] - p[2]};
  return XYZ{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

double length(const XYZ& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

void flatMap(const std::vector<std::vector<double>>& t, std::vector<double>& x, const double* L) {
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = L[0] * t[0][i] + L[1] * t[1][i] + L[2] * t[2][i];
}

void centroid(const std::vector<std::vector<double>>& t, std::vector<double>& x) {
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = (t[0][i] + t[1][i] + t[2][i]) / 3.0;
}

}  // namespace

TriangleEvaluator::TriangleEvaluator(int dimension) : TriangleEvaluator(dimension, 3) {}

TriangleEvaluator::TriangleEvaluator(int dimension, int nodeCount)
    : m_n(dimension),
      m_t(static_cast<std::size_t>(nodeCount), std::vector<double>(static_cast<std::size_t>(dimension), 0.0)),
      m_x(static_cast<std::size_t>(dimension), 0.0) {}

TriangleEvaluator::TriangleEvaluator(const double* const* corners, int dimension)
    : m_n(dimension), m_t(copyNodes(corners, 3, dimension)), m_x(static_cast<std::size_t>(dimension), 0.0) {}

const double* TriangleEvaluator::xAtTriangleCoordinates(const double* L) {
  flatMap(m_t, m_x, L);
  return m_x.data();
}

const double* TriangleEvaluator::xAtTriangleCenter() {
  centroid(m_t, m_x);
  return m_x.data();
}

double TriangleEvaluator::valueAtTriangleCoordinates(const double* L) { return valueAt(xAtTriangleCoordinates(L)); }

TriangleEvaluatorXYZ::TriangleEvaluatorXYZ(int dimension)
    : m_n(dimension),
      m_t(3, std::vector<double>(static_cast<std::size_t>(dimension), 0.0)),
      m_x(static_cast<std::size_t>(dimension), 0.0) {}

TriangleEvaluatorXYZ::TriangleEvaluatorXYZ(const double* const* corners, int dimension)
    : m_n(dimension), m_t(copyNodes(corners, 3, dimension)), m_x(static_cast<std::size_t>(dimension), 0.0) {}

const double* TriangleEvaluatorXYZ::xAtTriangleCoordinates(const double* L) {
  flatMap(m_t, m_x, L);
  return m_x.data();
}

const double* TriangleEvaluatorXYZ::xAtTriangleCenter() {
  centroid(m_t, m_x);
  return m_x.data();
}

XYZ TriangleEvaluatorXYZ::xyzValueAtTriangleCoordinates(const double* L) {
  return xyzValueAt(xAtTriangleCoordinates(L));
}

TriangleQuinticEvaluator::TriangleQuinticEvaluator(const double* const* nodes, int dimension)
    : TriangleEvaluator(dimension, 15) {
  m_t = copyNodes(nodes, 15, dimension);
}

const double* TriangleQuinticEvaluator::curvedXAtTriangleCoordinates(const double* L) {
  static constexpr double kNodeL[4] = {0.8, 0.6, 0.4, 0.2};
  // 1 / [p(1 − p)·Π_{q ≠ p}(p − q)] for the node at L_a = p.
  static constexpr double kNorm[4] = {3125.0 / 24.0, -3125.0 / 12.0, 3125.0 / 12.0, -3125.0 / 24.0};
  double phi[15];
  // Edge e runs from corner e to corner (e + 1) mod 3; its shape functions are products
  // in the edge's first coordinate, vanishing on the other two edges through L_a·L_b.
  for (int e = 0; e < 3; ++e) {
    const double La = L[e];
    const double Lb = L[(e + 1) % 3];
    for (int node = 0; node < 4; ++node) {
      double product = La * Lb;
      for (int other = 0; other < 4; ++other) {
        if (other != node) product *= La - kNodeL[other];
      }
      phi[3 + 4 * e + node] = product * kNorm[node];
    }
  }
  // Corner c: its linear function less the edge functions at the nodes of the two edges
  // through it, weighted by L_c there (edge c→c+1 starts at c; edge c−1→c ends at c).
  for (int c = 0; c < 3; ++c) {
    double value = L[c];
    const int outgoing = c;
    const int incoming = (c + 2) % 3;
    for (int node = 0; node < 4; ++node) {
      value -= kNodeL[node] * phi[3 + 4 * outgoing + node];
      value -= (1.0 - kNodeL[node]) * phi[3 + 4 * incoming + node];
    }
    phi[c] = value;
  }
  for (int i = 0; i < m_n; ++i) {
    double sum = 0.0;
    for (int k = 0; k < 15; ++k) sum += phi[k] * m_t[k][i];
    m_x[i] = sum;
  }
  return m_x.data();
}

double TriangleQuinticEvaluator::valueAtTriangleCoordinates(const double* L) {
  return valueAt(curvedXAtTriangleCoordinates(L));
}

double TriangleQuadrature::quadFive(TriangleEvaluator& evaluator) {
  double sum = 0.0;
  for (const auto& row : kTriangleRule10) {
    const double L[3] = {row[0], row[1], 1.0 - row[0] - row[1]};
    sum += row[2] * evaluator.valueAtTriangleCoordinates(L);
  }
  return 0.5 * sum;
}

XYZ TriangleQuadrature::quadFiveXYZ(TriangleEvaluatorXYZ& evaluator) {
  XYZ sum{0.0, 0.0, 0.0};
  for (const auto& row : kTriangleRule10) {
    const double L[3] = {row[0], row[1], 1.0 - row[0] - row[1]};
    const XYZ v = evaluator.xyzValueAtTriangleCoordinates(L);
    sum.x += row[2] * v.x;
    sum.y += row[2] * v.y;
    sum.z += row[2] * v.z;
  }
  return XYZ{0.5 * sum.x, 0.5 * sum.y, 0.5 * sum.z};
}

void triangleRule7Points(int n, const double* corners, double* out) {
  for (int k = 0; k < 7; ++k) {
    for (int i = 0; i < n; ++i) {
      out[k * n + i] = kRule7[k][0] * corners[i] + kRule7[k][1] * corners[n + i] + kRule7[k][2] * corners[2 * n + i];
    }
  }
}

void triangleRule7Weights(double* out) {
  for (int k = 0; k < 7; ++k) out[k] = kRule7Weights[k];
}

double triangleRule7Sum(const double* samples) {
  double sum = 0.0;
  for (int k = 0; k < 7; ++k) sum += kRule7Weights[k] * samples[k];
  return sum;
}

double triangleRule7Integrate(const double* corners, const std::function<double(XYZ)>& f) {
  double points[21];
  triangleRule7Points(3, corners, points);
  double samples[7];
  for (int k = 0; k < 7; ++k) samples[k] = f(XYZ{points[3 * k], points[3 * k + 1], points[3 * k + 2]});
  return triangleArea(corners) * triangleRule7Sum(samples);
}

void triangleUnitNormal(const double* corners, XYZ* normal) {
  const XYZ n = cross(corners);
  const double l = length(n);
  *normal = XYZ{n.x / l, n.y / l, n.z / l};
}

double triangleArea(const double* corners) { return 0.5 * length(cross(corners)); }

}  // namespace orb::foundation
