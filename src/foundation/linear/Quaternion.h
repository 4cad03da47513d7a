#pragma once

#include <ostream>
#include <string>

#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"

namespace orb::foundation {

/// A rotation quaternion, scalar part first. It need not be normalised: the rotation
/// functions below absorb its length.
struct Quaternion {
  double w;
  double x;
  double y;
  double z;

  friend bool operator==(const Quaternion&, const Quaternion&) = default;
};

/// A rotation as the 3-D views keep it and hand it to the graphics library: the angle in
/// degrees, then the axis, all single precision.
struct AngleAxis {
  float angle;
  float x;
  float y;
  float z;

  friend bool operator==(const AngleAxis&, const AngleAxis&) = default;
};

/// The unit quaternion of the rotation; (1, 0, 0, 0) for a zero angle or a zero axis.
Quaternion quaternionFromAxisAngle(const AngleAxis& angleAxis);
/// The angle in (−180, 180] and its axis; angle 0 about (1, 0, 0) for no rotation.
AngleAxis quaternionToAxisAngle(const Quaternion& q);
/// The Hamilton product a ⊗ b: the rotation b followed by a.
Quaternion quaternionMultiply(const Quaternion& a, const Quaternion& b);
/// b⁻¹ ⊗ a, the inverse of the second on the left.
Quaternion quaternionDivide(const Quaternion& a, const Quaternion& b);
/// (w, −x, −y, −z) / |q|².
Quaternion quaternionInverse(const Quaternion& q);
/// The 3×3 rotation matrix, row-major; the zero quaternion gives the identity.
XYZTensor quaternionToRotationMatrix(const Quaternion& q);
/// The vector part of q ⊗ (0, v) ⊗ q⁻¹; the zero quaternion leaves v, as its matrix does.
XYZ quaternionRotateVector(const XYZ& v, const Quaternion& q);

std::string toString(const Quaternion& q);
inline void PrintTo(const Quaternion& q, std::ostream* os) { *os << toString(q); }

}  // namespace orb::foundation
