#include "lens/SurfaceAsphere.h"

#include <cmath>

#include "platform/ChangeCount.h"
#include "platform/Exception.h"

namespace orb::lens {

std::shared_ptr<Surface> SurfaceAsphere::makeEmpty() const { return platform::makeObject<SurfaceAsphere>(); }

std::string SurfaceAsphere::parameterNameForExponent(int exponent) { return platform::format("a%d", exponent); }

const std::vector<std::string>& SurfaceAsphere::parameterTitleArrayForAsphericCoefficients() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t;
    for (int e = 2; e <= 20; e += 2) t.push_back(parameterNameForExponent(e));
    return t;
  }();
  return titles;
}

std::vector<std::shared_ptr<Parameter>> SurfaceAsphere::parametersForAsphericCoefficients() const {
  std::vector<std::shared_ptr<Parameter>> parameters;
  for (const auto& title : parameterTitleArrayForAsphericCoefficients())
    if (auto p = parameterForTitle(title)) parameters.push_back(std::move(p));
  return parameters;
}

void SurfaceAsphere::setSagPolynomial(foundation::SparsePolynomial polynomial) {
  m_hasPolynomial = !polynomial.isTrivial();
  m_polynomial = m_hasPolynomial ? std::move(polynomial) : foundation::SparsePolynomial();
  // Not announced, yet the traces' column kernels take their terms from it.
  platform::noteModelChange();
}

void SurfaceAsphere::updateSagPolynomial() {
  foundation::SparsePolynomial p;
  for (int e = minimumExponent(); e <= maximumExponent(); e += deltaExponent())
    p.setCoefficient(parameterValue(parameterNameForExponent(e)).value_or(0), e);
  setSagPolynomial(std::move(p));
}

void SurfaceAsphere::parametersDidChange() {
  Surface::parametersDidChange();
  updateSagPolynomial();
}

double SurfaceAsphere::sagAtOrdinate(double r) const {
  const ConicSection& conic = conicSection();
  if (!conic.validOrdinate(r)) return sagAtMaximumOrdinate();
  const double z = conic.sagAtOrdinate(r);
  return m_hasPolynomial ? z + m_polynomial.evaluateAt(r) : z;
}

double SurfaceAsphere::sagGradientAtOrdinate(double r) const {
  const ConicSection& conic = conicSection();
  if (!conic.validOrdinate(r)) return 0;
  const double g = conic.sagGradientAtOrdinate(r);
  return m_hasPolynomial ? g + m_polynomial.evaluateGradientAt(r) : g;
}

double SurfaceAsphere::sagSecondGradientAtOrdinate(double r) const {
  const ConicSection& conic = conicSection();
  if (!conic.validOrdinate(r)) return 0;
  const double g2 = conic.sagSecondGradientAtOrdinate(r);
  return m_hasPolynomial ? g2 + m_polynomial.evaluateSecondGradientAt(r) : g2;
}

double SurfaceAsphere::sagAtMaximumOrdinate() const {
  const ConicSection& conic = conicSection();
  const double z = conic.sagAtMaximumOrdinate();
  // An unbounded conic has no rim to add the polynomial at (∞ − ∞ would be NaN).
  const double rMax = conic.maximumOrdinate();
  return m_hasPolynomial && std::isfinite(rMax) ? z + m_polynomial.evaluateAt(rMax) : z;
}

void SurfaceAsphere::flip() {
  for (const auto& p : parametersForAsphericCoefficients()) p->negate();
  Surface::flip();
  updateSagPolynomial();
}

void SurfaceAsphere::scaleByFactor(double f) {
  Surface::scaleByFactor(f);
  const auto& titles = parameterTitleArrayForAsphericCoefficients();
  for (std::size_t i = 0; i < titles.size(); ++i)
    if (auto p = parameterForTitle(titles[i])) p->scaleByFactor(std::pow(f, 1 - exponentOfCoefficient(i)));
  updateSagPolynomial();
}

}  // namespace orb::lens
