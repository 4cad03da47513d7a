#include "materials/Medium2.h"

#include <atomic>
#include <cmath>

#include "platform/Coder.h"
#include "platform/Log.h"

namespace orb::materials {

using foundation::XYZ;
using foundation::XYZTensor;
using platform::Keys;

namespace {

std::atomic<bool> g_selfChecking{true};

constexpr double kCheckStep = 1e-5;
constexpr double kCheckTolerance = 1e-6;

void logTensor(const char* title, const XYZTensor& t) {
  platform::log("%s%12.9f %12.9f %12.9f; %12.9f %12.9f %12.9f; %12.9f %12.9f %12.9f", title, t.xx, t.xy, t.xz, t.yx,
                t.yy, t.yz, t.zx, t.zy, t.zz);
}

}  // namespace

Medium2::Medium2(std::optional<foundation::OBTransform> transform, const Coefficients& c, double integrationStep)
    : NonuniformMedium(std::move(transform), integrationStep),
      m_n0(c[0]), m_nr2(c[1]), m_nr4(c[2]), m_nr6(c[3]), m_nr8(c[4]), m_nr10(c[5]), m_nr12(c[6]) {}

std::shared_ptr<Medium2> Medium2::withTransform(std::optional<foundation::OBTransform> transform,
                                                const Coefficients& coefficients, double integrationStep) {
  return platform::makeObject<Medium2>(std::move(transform), coefficients, integrationStep);
}

void Medium2::setSelfChecking(bool on) { g_selfChecking.store(on, std::memory_order_relaxed); }
bool Medium2::selfChecking() { return g_selfChecking.load(std::memory_order_relaxed); }

double Medium2::n22(const XYZ& p) const {
  const double rho = p.x * p.x + p.y * p.y;
  const double nn =
      m_n0 * m_n0 + rho * (m_nr2 + rho * (m_nr4 + rho * (m_nr6 + rho * (m_nr8 + rho * (m_nr10 + rho * m_nr12)))));
  return 0.5 * nn;
}

double Medium2::indexOfRefractionAtWave(double, const XYZ& position) const { return std::sqrt(2 * n22(position)); }

// F = ∇(n²/2) = (x·S, y·S, 0) with S = d(n²)/dρ.
XYZ Medium2::analyticForce(const XYZ& p) const {
  const double rho = p.x * p.x + p.y * p.y;
  const double s =
      m_nr2 + rho * (2 * m_nr4 + rho * (3 * m_nr6 + rho * (4 * m_nr8 + rho * (5 * m_nr10 + rho * 6 * m_nr12))));
  return XYZ{p.x * s, p.y * s, 0};
}

// ∂Fx/∂x = S + 2x²·S′ = (S·y² + T·x²)/ρ with T = S + 2ρ·S′ (factor k(2k − 1) on the k-th
// coefficient), ∂Fx/∂y = 2xy·S′ = (T − S)·xy/ρ.
XYZTensor Medium2::analyticForceGradient(const XYZ& p) const {
  const double x2 = p.x * p.x, y2 = p.y * p.y, rho = x2 + y2;
  const double s =
      m_nr2 + rho * (2 * m_nr4 + rho * (3 * m_nr6 + rho * (4 * m_nr8 + rho * (5 * m_nr10 + rho * 6 * m_nr12))));
  const double t =
      m_nr2 + rho * (6 * m_nr4 + rho * (15 * m_nr6 + rho * (28 * m_nr8 + rho * (45 * m_nr10 + rho * 66 * m_nr12))));
  XYZTensor g = foundation::tensorZero();
  if (rho > 0) {
    g.xx = (s * y2 + t * x2) / rho;
    g.yy = (s * x2 + t * y2) / rho;
    g.xy = g.yx = (t - s) * p.x * p.y / rho;
  } else {
    g.xx = g.yy = t;
  }
  return g;
}

XYZ Medium2::forceAtWave(double, const XYZ& p) const {
  const XYZ f = analyticForce(p);
  if (g_selfChecking.load(std::memory_order_relaxed)) {
    const double h = kCheckStep;
    const XYZ numeric{(n22({p.x + h, p.y, p.z}) - n22({p.x - h, p.y, p.z})) / (2 * h),
                      (n22({p.x, p.y + h, p.z}) - n22({p.x, p.y - h, p.z})) / (2 * h),
                      (n22({p.x, p.y, p.z + h}) - n22({p.x, p.y, p.z - h})) / (2 * h)};
    if (std::fabs(numeric.x - f.x) > kCheckTolerance || std::fabs(numeric.y - f.y) > kCheckTolerance ||
        std::fabs(numeric.z - f.z) > kCheckTolerance) {
      platform::log("warning forceAt: %g %g %g", p.x, p.y, p.z);
      platform::log("F    = %12.9f %12.9f %12.9f", f.x, f.y, f.z);
      platform::log("numF = %12.9f %12.9f %12.9f", numeric.x, numeric.y, numeric.z);
    }
  }
  return f;
}

XYZTensor Medium2::forceGradientAtWave(double, const XYZ& p) const {
  const XYZTensor g = analyticForceGradient(p);
  if (g_selfChecking.load(std::memory_order_relaxed)) {
    const double h = kCheckStep;
    const XYZ dx0 = analyticForce({p.x - h, p.y, p.z}), dx1 = analyticForce({p.x + h, p.y, p.z});
    const XYZ dy0 = analyticForce({p.x, p.y - h, p.z}), dy1 = analyticForce({p.x, p.y + h, p.z});
    const XYZ dz0 = analyticForce({p.x, p.y, p.z - h}), dz1 = analyticForce({p.x, p.y, p.z + h});
    const double k = 1 / (2 * h);
    const XYZTensor numeric{(dx1.x - dx0.x) * k, (dy1.x - dy0.x) * k, (dz1.x - dz0.x) * k,
                            (dx1.y - dx0.y) * k, (dy1.y - dy0.y) * k, (dz1.y - dz0.y) * k,
                            (dx1.z - dx0.z) * k, (dy1.z - dy0.z) * k, (dz1.z - dz0.z) * k};
    const double* a = &g.xx;
    const double* b = &numeric.xx;
    bool disagree = false;
    for (int i = 0; i < 9; ++i) disagree = disagree || std::fabs(a[i] - b[i]) > kCheckTolerance;
    if (disagree) {
      platform::log("warning forceGradientAt: %g %g %g", p.x, p.y, p.z);
      logTensor("", g);
      logTensor("", numeric);
    }
  }
  return g;
}

void Medium2::getAlphaCoefficients(double& alpha0, double& alpha1, double& alpha2, double) const {
  alpha0 = m_n0;
  alpha1 = m_nr2 / (2 * m_n0);
  alpha2 = m_nr4 / (2 * m_n0) - m_nr2 * m_nr2 / (8 * m_n0 * m_n0 * m_n0);
}

void Medium2::encodeWithCoder(platform::Coder& coder) const {
  NonuniformMedium::encodeWithCoder(coder);
  coder.encodeDouble("n0", m_n0);
  coder.encodeDouble("nr2", m_nr2);
  coder.encodeDouble("nr4", m_nr4);
  coder.encodeDouble("nr6", m_nr6);
  coder.encodeDouble("nr8", m_nr8);
  coder.encodeDouble("nr10", m_nr10);
  coder.encodeDouble("nr12", m_nr12);
}

void Medium2::initWithCoder(const platform::Coder& coder) {
  NonuniformMedium::initWithCoder(coder);
  m_n0 = coder.decodeDouble("n0");
  m_nr2 = coder.decodeDouble("nr2");
  m_nr4 = coder.decodeDouble("nr4");
  m_nr6 = coder.decodeDouble("nr6");
  m_nr8 = coder.decodeDouble("nr8");
  m_nr10 = coder.decodeDouble("nr10");
  m_nr12 = coder.decodeDouble("nr12");
}

const platform::KeyTable& Medium2::classKeys() {
  using K = Keys<Medium2>;
  static const platform::KeyTable table(
      &NonuniformMedium::classKeys(),
      {K::readOnlyField("n0", &Medium2::m_n0), K::readOnlyField("nr2", &Medium2::m_nr2),
       K::readOnlyField("nr4", &Medium2::m_nr4), K::readOnlyField("nr6", &Medium2::m_nr6),
       K::readOnlyField("nr8", &Medium2::m_nr8), K::readOnlyField("nr10", &Medium2::m_nr10),
       K::readOnlyField("nr12", &Medium2::m_nr12)});
  return table;
}

}  // namespace orb::materials
