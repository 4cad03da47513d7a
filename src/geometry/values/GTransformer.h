#pragma once

#include <array>
#include <vector>

#include "foundation/objects/XYZ.h"

namespace orb::geometry {

/// A stack of 4×4 row-major matrices composed like a fixed-function graphics pipeline:
/// each append multiplies the top on the right, so a point transformed afterwards
/// undergoes the last appended matrix first. Angles are in degrees, with 0, 90, 180 and
/// 270 exact. An empty stack stands for the identity.
class GTransformer {
 public:
  using Matrix = std::array<double, 16>;

  /// Pushes a copy of the top (the identity on an empty stack).
  void push();
  /// Drops the top; nothing on an empty stack.
  void pop();
  /// Overwrites the top with the identity (pushing one on an empty stack).
  void ident();
  bool empty() const { return m_stack.empty(); }
  std::size_t depth() const { return m_stack.size(); }

  /// The top matrix; the identity on an empty stack.
  void getMatrix(double* m) const;
  /// The point through the top matrix (unchanged on an empty stack).
  void transform(foundation::XYZ& p) const;
  /// The direction through the top matrix's rotation rows.
  void rotate(foundation::XYZ& v) const;

  /// top ← top · a.
  void appendMatrix(const double* a);
  void scale(double sx, double sy, double sz);
  void translate(const foundation::XYZ& t);
  void invTranslate(const foundation::XYZ& t);
  /// Appends the Z-X-Z Euler matrix R(φ, θ, ψ): fixed-frame coordinates into the frame
  /// rotated by φ about z, then θ about the new x, then ψ about the new z.
  void eulerWithPhi(double phi, double theta, double psi);
  /// Appends Rᵀ.
  void invEulerWithPhi(double phi, double theta, double psi);
  /// Appends a row-major 3×3 rotation as the 4×4 matrix with no translation.
  void appendRotationMatrix(const double* r3x3);

  /// Decomposes the top as a translation followed by invEulerWithPhi: the translation
  /// column, θ in [0, 180] and φ, ψ in (−180, 180] degrees; with sin θ within 0.001 of
  /// 0 the whole turn about z goes into φ and ψ is 0. All zero on an empty stack.
  void invertToGiveTranslation(foundation::XYZ& t, double& phi, double& theta, double& psi) const;

  /// The Euler matrix R(φ, θ, ψ) itself.
  static Matrix eulerMatrix(double phi, double theta, double psi);

 private:
  std::vector<Matrix> m_stack;  // back() is the top
};

}  // namespace orb::geometry
