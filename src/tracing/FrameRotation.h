#pragma once

#include <cmath>

#include "foundation/objects/XYZ.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing::detail {

/// Turns a framed ray's basis by the rotation that carries direction a into direction b
/// (the quaternion w = a·b + |a||b|, v = a × b), so its third axis follows the ray after
/// a turner changed the momentum by a law other than Snell's. Nothing when a and b are
/// parallel or either is zero.
inline void rotateBasisCarrying(RayWithFrame& ray, const foundation::XYZ& a, const foundation::XYZ& b) {
  using foundation::XYZ;
  const double aa = a.x * a.x + a.y * a.y + a.z * a.z, bb = b.x * b.x + b.y * b.y + b.z * b.z;
  const XYZ v{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  const double vv = v.x * v.x + v.y * v.y + v.z * v.z;
  if (!(aa > 0) || !(bb > 0) || !(vv > 0)) return;
  double w = a.x * b.x + a.y * b.y + a.z * b.z + std::sqrt(aa * bb);
  const double l = std::sqrt(w * w + vv);
  w /= l;
  const XYZ u{v.x / l, v.y / l, v.z / l};
  // x + 2w(u × x) + 2u × (u × x) for a unit quaternion (w, u).
  auto turn = [&](const XYZ& x) {
    const XYZ c{u.y * x.z - u.z * x.y, u.z * x.x - u.x * x.z, u.x * x.y - u.y * x.x};
    const XYZ cc{u.y * c.z - u.z * c.y, u.z * c.x - u.x * c.z, u.x * c.y - u.y * c.x};
    return XYZ{x.x + 2 * (w * c.x + cc.x), x.y + 2 * (w * c.y + cc.y), x.z + 2 * (w * c.z + cc.z)};
  };
  ray.setBasisColumns(turn(ray.e1()), turn(ray.e2()), turn(ray.e3()));
}

}  // namespace orb::tracing::detail
