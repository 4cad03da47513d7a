#include "materials/Medium5.h"

#include "platform/Coder.h"
#include "platform/Log.h"

namespace orb::materials {

using foundation::XYZ;
using foundation::XYZTensor;
using platform::Keys;

Medium5::Medium5(std::optional<foundation::OBTransform> transform, const Coefficients& c, double integrationStep)
    : NonuniformMedium(std::move(transform), integrationStep),
      m_n0(c[0]), m_nr2(c[1]), m_nr4(c[2]), m_nz1(c[3]), m_nz2(c[4]), m_nz3(c[5]), m_nz4(c[6]) {}

std::shared_ptr<Medium5> Medium5::withTransform(std::optional<foundation::OBTransform> transform,
                                                const Coefficients& coefficients, double integrationStep) {
  return platform::makeObject<Medium5>(std::move(transform), coefficients, integrationStep);
}

void Medium5::setGrinDispersion(std::shared_ptr<GrinDispersion> dispersion) {
  platform::log("%s setGrinDispersion: %s", description().c_str(),
                dispersion ? dispersion->description().c_str() : "(null)");
  m_grinDispersion = std::move(dispersion);
}

void Medium5::willDeallocate() { setGrinDispersion(nullptr); }

double Medium5::baseIndex(const XYZ& p) const {
  const double rho = p.x * p.x + p.y * p.y;
  const double z = p.z;
  return m_n0 + rho * (m_nr2 + rho * m_nr4) + z * (m_nz1 + z * (m_nz2 + z * (m_nz3 + z * m_nz4)));
}

void Medium5::dispersion(double nb, double lambda, double& d, double& d1, double& d2) const {
  if (m_grinDispersion) {
    m_grinDispersion->derivativesForBaseValue(nb, lambda, d, d1, d2);
  } else {
    d = nb, d1 = 1, d2 = 0;
  }
}

double Medium5::indexOfRefractionAtWave(double lambda, const XYZ& position) const {
  const double nb = baseIndex(position);
  return m_grinDispersion ? m_grinDispersion->indexOfRefractionForBaseValue(nb, lambda) : nb;
}

double Medium5::n22AtWave(double lambda, const XYZ& position) const {
  const double n = indexOfRefractionAtWave(lambda, position);
  return 0.5 * n * n;
}

// With n = D(nb): ∇n = D′·∇nb, ∇nb = (x·g, y·g, nb′), g = 2nr2 + 4nr4·ρ, so
// F = n·D′·(x·g, y·g, nb′). Differentiating once more (h = 2nr2 + 12nr4·ρ):
//   ∂Fx/∂x, ∂Fy/∂y, ∂Fx/∂y from S = g·n·D′ and T = (D′g)²ρ + (D′h + ρD″g²)·n as for a
//   radial profile;
//   ∂Fx/∂z = ∂Fz/∂x = x·g·nb′·(D′² + n·D″), likewise for y;
//   ∂Fz/∂z = (nb″·D′ + D″·nb′²)·n + (nb′·D′)².
void Medium5::evaluateAtWave(double lambda, const XYZ& p, double& n, XYZ& force, XYZTensor& gradient) const {
  const double x2 = p.x * p.x, y2 = p.y * p.y, rho = x2 + y2, z = p.z;
  const double nb = baseIndex(p);
  double d1, d2;
  dispersion(nb, lambda, n, d1, d2);
  const double g = 2 * m_nr2 + 4 * m_nr4 * rho;
  const double h = 2 * m_nr2 + 12 * m_nr4 * rho;
  const double nb1 = m_nz1 + z * (2 * m_nz2 + z * (3 * m_nz3 + z * 4 * m_nz4));
  const double nb2 = 2 * m_nz2 + z * (6 * m_nz3 + z * 12 * m_nz4);
  const double nd1 = n * d1;
  force = XYZ{p.x * g * nd1, p.y * g * nd1, nd1 * nb1};

  const double s = g * nd1;
  const double t = d1 * g * d1 * g * rho + (d1 * h + rho * d2 * g * g) * n;
  gradient = foundation::tensorZero();
  if (rho > 0) {
    gradient.xx = (s * y2 + t * x2) / rho;
    gradient.yy = (s * x2 + t * y2) / rho;
    gradient.xy = gradient.yx = (t - s) * p.x * p.y / rho;
  } else {
    gradient.xx = gradient.yy = t;
  }
  const double cross = g * nb1 * (d1 * d1 + n * d2);
  gradient.xz = gradient.zx = p.x * cross;
  gradient.yz = gradient.zy = p.y * cross;
  gradient.zz = (nb2 * d1 + d2 * nb1 * nb1) * n + nb1 * d1 * nb1 * d1;
}

XYZ Medium5::forceAtWave(double lambda, const XYZ& p) const {
  const double rho = p.x * p.x + p.y * p.y, z = p.z;
  double n, d1, d2;
  dispersion(baseIndex(p), lambda, n, d1, d2);
  const double g = 2 * m_nr2 + 4 * m_nr4 * rho;
  const double nb1 = m_nz1 + z * (2 * m_nz2 + z * (3 * m_nz3 + z * 4 * m_nz4));
  const double nd1 = n * d1;
  return XYZ{p.x * g * nd1, p.y * g * nd1, nd1 * nb1};
}

XYZTensor Medium5::forceGradientAtWave(double lambda, const XYZ& p) const {
  double n;
  XYZ f;
  XYZTensor t;
  evaluateAtWave(lambda, p, n, f, t);
  return t;
}

void Medium5::getAlphaCoefficients(double& alpha0, double& alpha1, double& alpha2, double z) const {
  alpha0 = m_n0 + z * (m_nz1 + z * (m_nz2 + z * (m_nz3 + z * m_nz4)));
  alpha1 = m_nr2;
  alpha2 = m_nr4;
}

void Medium5::encodeWithCoder(platform::Coder& coder) const {
  NonuniformMedium::encodeWithCoder(coder);
  coder.encodeDouble("n0", m_n0);
  coder.encodeDouble("nr2", m_nr2);
  coder.encodeDouble("nr4", m_nr4);
  coder.encodeDouble("nz1", m_nz1);
  coder.encodeDouble("nz2", m_nz2);
  coder.encodeDouble("nz3", m_nz3);
  coder.encodeDouble("nz4", m_nz4);
}

void Medium5::initWithCoder(const platform::Coder& coder) {
  NonuniformMedium::initWithCoder(coder);
  m_n0 = coder.decodeDouble("n0");
  m_nr2 = coder.decodeDouble("nr2");
  m_nr4 = coder.decodeDouble("nr4");
  m_nz1 = coder.decodeDouble("nz1");
  m_nz2 = coder.decodeDouble("nz2");
  m_nz3 = coder.decodeDouble("nz3");
  m_nz4 = coder.decodeDouble("nz4");
}

const platform::KeyTable& Medium5::classKeys() {
  using K = Keys<Medium5>;
  static const platform::KeyTable table(
      &NonuniformMedium::classKeys(),
      {K::readOnlyField("n0", &Medium5::m_n0), K::readOnlyField("nr2", &Medium5::m_nr2),
       K::readOnlyField("nr4", &Medium5::m_nr4), K::readOnlyField("nz1", &Medium5::m_nz1),
       K::readOnlyField("nz2", &Medium5::m_nz2), K::readOnlyField("nz3", &Medium5::m_nz3),
       K::readOnlyField("nz4", &Medium5::m_nz4)});
  return table;
}

}  // namespace orb::materials
