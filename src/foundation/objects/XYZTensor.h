#pragma once

#include <ostream>
#include <string>

namespace orb::foundation {

/// A 3×3 tensor stored row by row: curvature tensors of frames, second moments of
/// solids, and the rotation block of a TransformationMatrix.
struct XYZTensor {
  double xx, xy, xz;
  double yx, yy, yz;
  double zx, zy, zz;

  friend bool operator==(const XYZTensor&, const XYZTensor&) = default;
};

constexpr XYZTensor tensorZero() { return XYZTensor{0, 0, 0, 0, 0, 0, 0, 0, 0}; }

/// The row-major product a · b.
constexpr XYZTensor tensorMultiply(const XYZTensor& a, const XYZTensor& b) {
  return XYZTensor{
      a.xx * b.xx + a.xy * b.yx + a.xz * b.zx, a.xx * b.xy + a.xy * b.yy + a.xz * b.zy,
      a.xx * b.xz + a.xy * b.yz + a.xz * b.zz, a.yx * b.xx + a.yy * b.yx + a.yz * b.zx,
      a.yx * b.xy + a.yy * b.yy + a.yz * b.zy, a.yx * b.xz + a.yy * b.yz + a.yz * b.zz,
      a.zx * b.xx + a.zy * b.yx + a.zz * b.zx, a.zx * b.xy + a.zy * b.yy + a.zz * b.zy,
      a.zx * b.xz + a.zy * b.yz + a.zz * b.zz};
}

constexpr XYZTensor tensorTranspose(const XYZTensor& t) {
  return XYZTensor{t.xx, t.yx, t.zx, t.xy, t.yy, t.zy, t.xz, t.yz, t.zz};
}

std::string toString(const XYZTensor& t);
inline void PrintTo(const XYZTensor& t, std::ostream* os) { *os << toString(t); }

}  // namespace orb::foundation
