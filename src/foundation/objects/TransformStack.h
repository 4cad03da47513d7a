#pragma once

#include <vector>

#include "foundation/objects/TransformationMatrix.h"
#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"

namespace orb::foundation {

/// One frame on the stack: `forward` maps the innermost frame's coordinates to the frame
/// the stack started in, and `inverse` maps back. Every composing operation is given an
/// elementary transform together with its exact inverse, which keeps the two inverse.
struct TransformNode {
  TransformationMatrix forward;
  TransformationMatrix inverse;
};

/// A caller-owned stack of frames, used while laying out a prescription. There is no
/// global instance: each layout keeps its own, so nested or concurrent layouts never
/// share one. The top is `nodes.back()`; change it only through the xform functions.
/// Popped nodes leave their capacity behind, so a layout allocates only on its first,
/// deepest pass.
struct TransformStack {
  std::vector<TransformNode> nodes;

  bool empty() const { return nodes.empty(); }
};

// Angles below are in degrees. A negative angle gets +360 once (so -90 is 270, -400 is
// -40, 450 stays 450); 0, 90, 180 and 270 then take exact sines and cosines, so quarter
// turns add no rounding error.

/// (sin, cos) of an angle in degrees, exact at the quarter turns.
XY sinCosDegrees(double angleDegrees);

/// Pushes a copy of the top, or identity on an empty stack.
void xformPush(TransformStack& stack);
/// Drops the top; an empty stack stays empty.
void xformPop(TransformStack& stack);
void xformFreeAll(TransformStack& stack);

/// Copies the top's matrices into the buffers given (either may be null); on an empty
/// stack writes identity and does not push.
void xformGetTop(const TransformStack& stack, TransformationMatrix* forward, TransformationMatrix* inverse);
/// Overwrites the top (pushing first on an empty stack).
void xformSetTop(TransformStack& stack, const TransformationMatrix& forward, const TransformationMatrix& inverse);
void xformLoadIdentity(TransformStack& stack);

/// forward ← forward · M, inverse ← M⁻¹ · inverse: M acts first on a point, so it
/// describes a frame nested inside the current one.
void xformConcat(TransformStack& stack, const TransformationMatrix& m, const TransformationMatrix& mInverse);
/// forward ← M · forward, inverse ← inverse · M⁻¹.
void xformPreConcat(TransformStack& stack, const TransformationMatrix& m, const TransformationMatrix& mInverse);

void xformTranslate(TransformStack& stack, const XYZ& t);
void xformPreTranslate(TransformStack& stack, const XYZ& t);
/// Composes the translation into `forward` only and leaves `inverse` as it was, so the
/// two stop being inverses: meant for a forward-only teleport.
void xformTranslateForwardOnly(TransformStack& stack, const XYZ& t);

/// Positive angles turn points clockwise about x and z seen from the positive end of the
/// axis (90° about z takes (1, 0, 0) to (0, -1, 0)) and counter-clockwise about y (90°
/// takes (0, 0, 1) to (1, 0, 0)). Coordinate breaks depend on exactly these matrices.
void xformRotateX(TransformStack& stack, double angleDegrees);
void xformRotateY(TransformStack& stack, double angleDegrees);
void xformRotateZ(TransformStack& stack, double angleDegrees);

/// The Euler matrix A(φ, θ, ψ); its inverse is its transpose.
TransformationMatrix eulerMatrix(double phiDegrees, double thetaDegrees, double psiDegrees);
void xformRotateEuler(TransformStack& stack, double phiDegrees, double thetaDegrees, double psiDegrees);
void xformRotateEulerTransposed(TransformStack& stack, double phiDegrees, double thetaDegrees, double psiDegrees);

/// Composes diag(sx, sy, sz, 1). A zero factor is not checked: the inverse then holds
/// infinities.
void xformScale(TransformStack& stack, double sx, double sy, double sz);

/// Maps v by the top's forward matrix (as a point when isPoint); an empty stack leaves v.
void xformApplyTop(const TransformStack& stack, XYZ& v, bool isPoint);
void xformApplyTopInverse(const TransformStack& stack, XYZ& v, bool isPoint);

/// Reads the translation and the Euler angles (degrees) of the top's forward matrix, as
/// made by xformRotateEulerTransposed; all zero on an empty stack. Near θ = 0 or 180
/// only φ ± ψ is defined, and ψ is reported as 0.
void xformGetEulerAngles(const TransformStack& stack, XYZ& translation, double& phiDegrees, double& thetaDegrees,
                         double& psiDegrees);

}  // namespace orb::foundation
