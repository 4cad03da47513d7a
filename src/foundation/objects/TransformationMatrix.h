#pragma once

#include <array>
#include <ostream>
#include <string>

#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"

namespace orb::foundation {

/// A 4×4 frame stored row-major: element (row r, column c) at m[4r + c]. Points map
/// through rows 0 to 2 with the translation column (m3, m7, m11), directions without it.
/// Row 3 takes part in composition but never in application: there is no homogeneous
/// division.
struct TransformationMatrix {
  std::array<double, 16> m;

  static constexpr TransformationMatrix identity() {
    return TransformationMatrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  }
  /// Identity with the translation column t.
  static constexpr TransformationMatrix translation(const XYZ& t) {
    return TransformationMatrix{{1, 0, 0, t.x, 0, 1, 0, t.y, 0, 0, 1, t.z, 0, 0, 0, 1}};
  }

  constexpr double& operator()(int row, int column) { return m[4 * row + column]; }
  constexpr double operator()(int row, int column) const { return m[4 * row + column]; }
  const double* data() const { return m.data(); }

  friend bool operator==(const TransformationMatrix&, const TransformationMatrix&) = default;
};

/// The ordinary 4×4 product a · b over all sixteen elements.
constexpr TransformationMatrix operator*(const TransformationMatrix& a, const TransformationMatrix& b) {
  TransformationMatrix p{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      p.m[4 * r + c] = a.m[4 * r] * b.m[c] + a.m[4 * r + 1] * b.m[4 + c] + a.m[4 * r + 2] * b.m[8 + c] +
                       a.m[4 * r + 3] * b.m[12 + c];
  return p;
}

constexpr TransformationMatrix transpose(const TransformationMatrix& a) {
  TransformationMatrix t{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t.m[4 * c + r] = a.m[4 * r + c];
  return t;
}

/// p mapped as a point (with the translation).
constexpr XYZ applyToPoint(const TransformationMatrix& a, const XYZ& p) {
  const auto& m = a.m;
  return XYZ{m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3], m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
             m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]};
}

/// d mapped as a direction or momentum (rows 0 to 2, no translation).
constexpr XYZ applyToDirection(const TransformationMatrix& a, const XYZ& d) {
  const auto& m = a.m;
  return XYZ{m[0] * d.x + m[1] * d.y + m[2] * d.z, m[4] * d.x + m[5] * d.y + m[6] * d.z,
             m[8] * d.x + m[9] * d.y + m[10] * d.z};
}

/// Replaces v by the matrix applied to it, as a point when isPoint, else as a direction.
constexpr void xformApplyMatrix(const TransformationMatrix& matrix, XYZ& v, bool isPoint) {
  v = isPoint ? applyToPoint(matrix, v) : applyToDirection(matrix, v);
}

/// The upper-left 3×3 block: the rotation (and scale) part of the frame.
constexpr XYZTensor rotationBlock(const TransformationMatrix& a) {
  const auto& m = a.m;
  return XYZTensor{m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
}

std::string toString(const TransformationMatrix& a);
inline void PrintTo(const TransformationMatrix& a, std::ostream* os) { *os << toString(a); }

}  // namespace orb::foundation
