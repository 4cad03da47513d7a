#include "foundation/quadrature/HayamiLogIntegrator.h"

#include <algorithm>
#include <cmath>

namespace orb::foundation {

namespace {
inline double signOf(double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); }
}  // namespace

double HayamiLogMap::map(double x) const {
  const double d2 = m_d * m_d;
  return signOf(x) * 0.5 * std::log((x * x + d2) / d2);
}

double HayamiLogMap::inverseMap(double t) const {
  return signOf(t) * std::sqrt((std::exp(2.0 * std::fabs(t)) - 1.0) * m_d * m_d);
}

double HayamiLogMap::Jacobian(double x) const { return (m_d * m_d + x * x) / std::fabs(x); }

double HayamiLogIntegrator::integrand(const Functor& f, double t) const {
  const double x = inverseMap(t);
  if (x == 0.0) return 0.0;
  return f.valueAt(x) * Jacobian(x);
}

double HayamiLogIntegrator::integrateFunctor(const Functor& f, double a, double b) const {
  if (a == b) return 0.0;
  const double ta = map(a);
  const double tb = map(b);
  if (ta == tb) return 0.0;
  return m_rule->integrate([this, &f](double t) { return integrand(f, t); }, ta, tb);
}

XYZ HayamiLogIntegratorXYZ::integrand(const FunctorXYZ& f, double t) const {
  const double x = inverseMap(t);
  if (x == 0.0) return XYZ{0.0, 0.0, 0.0};
  const XYZ v = f.xyzValueAt(x);
  const double j = Jacobian(x);
  return XYZ{v.x * j, v.y * j, v.z * j};
}

XYZ HayamiLogIntegratorXYZ::integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const {
  if (a == b) return XYZ{0.0, 0.0, 0.0};
  const double ta = map(std::max(a, 0.0));
  const double tb = map(std::max(b, 0.0));
  FunctorXYZ mapped([this, &f](double t) { return integrand(f, t); });
  return m_rule->integrateFunctorXYZ(mapped, ta, tb);
}

}  // namespace orb::foundation
