#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/polynomial/SparsePolynomial.h"
#include "lens/Surface.h"

namespace orb::lens {

/// The even asphere: the base conic plus a polynomial a2·r² + a4·r⁴ + … + a20·r²⁰ whose
/// coefficients are the parameters "a2" … "a20".
///
/// The polynomial is rebuilt whenever a parameter changes (parametersDidChange), so the
/// sag and its derivatives, which the tracer calls per ray, read a finished polynomial and
/// never rebuild it from a worker thread.
class SurfaceAsphere : public Surface {
 public:
  std::string type() const override { return "Asphere"; }
  std::optional<std::string> zemaxType() const override { return std::string("EVENASPH"); }
  const std::vector<std::string>& parameterTitleArray() const override {
    return parameterTitleArrayForAsphericCoefficients();
  }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceAsphere"; }
  /// Always sampled: polynomial terms can curve a surface of curvature 0.
  std::vector<foundation::XYZ> shapeSequence() const override;

  /// Exponents of the coefficients: minimumExponent … maximumExponent by deltaExponent.
  virtual int minimumExponent() const { return 2; }
  virtual int maximumExponent() const { return 20; }
  virtual int deltaExponent() const { return 2; }
  /// "a%d" of the exponent.
  static std::string parameterNameForExponent(int exponent);
  /// The coefficient titles, in exponent order.
  virtual const std::vector<std::string>& parameterTitleArrayForAsphericCoefficients() const;
  /// The parameters that carry coefficients, in title order (missing titles skipped).
  std::vector<std::shared_ptr<Parameter>> parametersForAsphericCoefficients() const;

  /// The polynomial in r added to the conic; null when every coefficient is 0.
  const foundation::SparsePolynomial* sagPolynomial() const { return m_hasPolynomial ? &m_polynomial : nullptr; }
  /// Rebuilds the polynomial from the coefficient parameters.
  virtual void updateSagPolynomial();
  void parametersDidChange() override;

  bool isPlanarInAppearance() const override { return false; }
  std::string_view pusherName() const override { return "PusherIterative"; }
  std::string_view turnerName() const override { return "TurnerAsphere"; }

  // Inside the conic's valid range: conic + polynomial. Outside it the sag is pinned to
  // sagAtMaximumOrdinate and the derivatives are 0.
  double sagAtOrdinate(double r) const override;
  double sagGradientAtOrdinate(double r) const override;
  double sagSecondGradientAtOrdinate(double r) const override;
  double sagAtMaximumOrdinate() const override;

  /// Negates every coefficient, then the base flip.
  void flip() override;
  /// The base scaling, then a_e × f^(1−e): the sag stays the same shape in the new units.
  void scaleByFactor(double f) override;

 protected:
  /// The exponents whose coefficients scaleByFactor rescales, index-aligned with
  /// parameterTitleArrayForAsphericCoefficients().
  virtual int exponentOfCoefficient(std::size_t index) const {
    return minimumExponent() + static_cast<int>(index) * deltaExponent();
  }
  void setSagPolynomial(foundation::SparsePolynomial polynomial);

 private:
  foundation::SparsePolynomial m_polynomial;
  bool m_hasPolynomial = false;
};

}  // namespace orb::lens
