#include "lens/SurfaceKinoform.h"

#include <algorithm>
#include <cmath>

#include "platform/Exception.h"

namespace orb::lens {

using foundation::XYZ;

const std::vector<std::string>& SurfaceKinoform::parameterTitleArrayForAsphericCoefficients() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t;
    for (int e = 2; e <= 16; e += 2) t.push_back(parameterNameForExponent(e));
    return t;
  }();
  return titles;
}

const std::vector<std::string>& SurfaceKinoform::parameterTitleArray() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t{"m"};
    for (int e = 2; e <= 16; e += 2) t.push_back(parameterNameForExponent(e));
    t.push_back("nterm");
    t.push_back("rnorm");
    for (int k = 1; k <= kMaximumPhaseTerms; ++k) t.push_back(platform::format("b%d", 2 * k));
    return t;
  }();
  return titles;
}

const platform::Dictionary& SurfaceKinoform::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"m", 1.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceKinoform::makeEmpty() const { return platform::makeObject<SurfaceKinoform>(); }

void SurfaceKinoform::parametersDidChange() {
  SurfaceAsphere::parametersDidChange();
  m_order = parameterValue("m").value_or(1);
  m_rnorm = parameterValue("rnorm").value_or(0);
  const double nterm = parameterValue("nterm").value_or(0);
  const int n = std::isfinite(nterm) ? static_cast<int>(std::clamp(nterm, 0.0, double(kMaximumPhaseTerms))) : 0;
  foundation::SparsePolynomial p;
  // Without a normalisation radius the coefficients would be divided by 0: no phase.
  if (m_rnorm != 0 && std::isfinite(m_rnorm))
    for (int k = 1; k <= n; ++k) {
      const double b = parameterValue(platform::format("b%d", 2 * k)).value_or(0);
      if (b != 0) p.setCoefficient(b / std::pow(m_rnorm, 2 * k), 2 * k);
    }
  m_hasPhase = !p.isTrivial();
  m_phase = m_hasPhase ? std::move(p) : foundation::SparsePolynomial();
}

double SurfaceKinoform::phaseAtRadius(double r) const { return m_hasPhase ? m_order * m_phase.evaluateAt(r) : 0; }

double SurfaceKinoform::phaseRadialGradientAtRadius(double r) const {
  return m_hasPhase ? m_order * m_phase.evaluateGradientAt(r) : 0;
}

double SurfaceKinoform::phaseRadialSecondGradientAtRadius(double r) const {
  return m_hasPhase ? m_order * m_phase.evaluateSecondGradientAt(r) : 0;
}

double SurfaceKinoform::phaseAtPosition(const XYZ& p) const { return phaseAtRadius(std::hypot(p.x, p.y)); }

XYZ SurfaceKinoform::phaseTangentGradientAtPosition(const XYZ& p) const {
  const double r = std::hypot(p.x, p.y);
  if (!(r > 0) || !m_hasPhase) return {0, 0, 0};
  const XYZ n = surfaceNormalAtPosition(p);
  const double cx = p.x / r, cy = p.y / r;
  // n × (azimuthal direction): the radial direction within the tangent plane.
  const XYZ t{-n.z * cx, -n.z * cy, n.x * cx + n.y * cy};
  const double s = phaseRadialGradientAtRadius(r) / (t.x * cx + t.y * cy);
  return {t.x * s, t.y * s, t.z * s};
}

void SurfaceKinoform::scaleByFactor(double f) {
  SurfaceAsphere::scaleByFactor(f);
  if (auto p = parameterForTitle("rnorm")) p->scaleByFactor(f);
  parametersDidChange();
}

std::shared_ptr<Surface> SurfaceFresnel::makeEmpty() const { return platform::makeObject<SurfaceFresnel>(); }

}  // namespace orb::lens
