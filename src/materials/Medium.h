#pragma once

#include <memory>
#include <string>

#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"
#include "platform/Object.h"

namespace orb::materials {

/// What fills the space behind a surface. The tracer asks it for the index of refraction
/// and, inside gradient-index material, for the optical force F = ∇(n²/2) = n∇n and the
/// force gradient ∂Fi/∂xj (row i, column j).
///
/// Every query takes the wavelength in µm (what a lens wave's wavelengthInMicrons gives)
/// and is plain arithmetic: no allocation, no key-value coding, no locks, so one medium
/// may be evaluated from several tracing threads at once. Local positions are in the
/// medium's own frame; the global forms carry points and results through the medium's
/// transform.
///
/// This base is the vacuum: index 1 everywhere, no force.
class Medium : public platform::Object {
 public:
  /// Index at λ µm, away from any position (what refraction at a uniform medium uses).
  virtual double indexOfRefractionAtWavelengthInMicrons(double lambda) const;
  /// Index at λ µm at a local position.
  virtual double indexOfRefractionAtWave(double lambda, const foundation::XYZ& position) const;
  /// F = ∇(n²/2) at a local position, in local coordinates.
  virtual foundation::XYZ forceAtWave(double lambda, const foundation::XYZ& position) const;
  /// ∂Fi/∂xj at a local position, in local coordinates.
  virtual foundation::XYZTensor forceGradientAtWave(double lambda, const foundation::XYZ& position) const;

  /// The same three at a global point; the force and its gradient in global coordinates.
  virtual double indexOfRefractionAtWaveGlobalCoordinate(double lambda, const foundation::XYZ& globalPoint) const;
  virtual foundation::XYZ forceInGlobalFrameAtWave(double lambda, const foundation::XYZ& globalPoint) const;
  virtual foundation::XYZTensor forceGradientInGlobalFrameAtWave(double lambda,
                                                                 const foundation::XYZ& globalPoint) const;

  /// n(r) ≈ α0 + α1·r² + α2·r⁴ about the axis at local height z (paraxial work).
  virtual void getAlphaCoefficients(double& alpha0, double& alpha1, double& alpha2, double z) const;

  /// Does the index vary with position (the tracer then steps through it)?
  virtual bool isUniform() const { return true; }

  /// Raises "NSInvalidArchiveOperationException" "Require NSKeyedArchiver" for a coder
  /// that is not keyed; writes no keys itself.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  static void requireKeyedCoder(const platform::Coder& coder);
};

/// (n(λmin) − n(λmax)) / n(λprimary) of a medium away from any position: the relative
/// dispersion the Seidel sums use. 0 without a medium or when n(λprimary) is 0.
double relativeDispersion(const Medium* medium, double lambdaMin, double lambdaMax, double lambdaPrimary);

}  // namespace orb::materials
