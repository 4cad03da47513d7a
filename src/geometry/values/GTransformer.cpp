#include "geometry/values/GTransformer.h"

#include <cmath>

namespace orb::geometry {

namespace {

constexpr GTransformer::Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
constexpr double kRadiansPerDegree = 0.017453292519943295;

/// Sine and cosine of an angle in degrees, exact at the quarter turns.
void sinCosDegrees(double degrees, double& s, double& c) {
  if (degrees < 0) degrees += 360;
  if (degrees == 0) {
    s = 0, c = 1;
  } else if (degrees == 90) {
    s = 1, c = 0;
  } else if (degrees == 180) {
    s = 0, c = -1;
  } else if (degrees == 270) {
    s = -1, c = 0;
  } else {
    s = std::sin(degrees * kRadiansPerDegree);
    c = std::cos(degrees * kRadiansPerDegree);
  }
}

}  // namespace

void GTransformer::push() { m_stack.push_back(m_stack.empty() ? kIdentity : m_stack.back()); }

void GTransformer::pop() {
  if (!m_stack.empty()) m_stack.pop_back();
}

void GTransformer::ident() {
  if (m_stack.empty())
    m_stack.push_back(kIdentity);
  else
    m_stack.back() = kIdentity;
}

void GTransformer::getMatrix(double* m) const {
  const Matrix& top = m_stack.empty() ? kIdentity : m_stack.back();
  for (int i = 0; i < 16; ++i) m[i] = top[i];
}

void GTransformer::transform(foundation::XYZ& p) const {
  if (m_stack.empty()) return;
  const Matrix& m = m_stack.back();
  p = {m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3], m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
       m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]};
}

void GTransformer::rotate(foundation::XYZ& v) const {
  if (m_stack.empty()) return;
  const Matrix& m = m_stack.back();
  v = {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[4] * v.x + m[5] * v.y + m[6] * v.z,
       m[8] * v.x + m[9] * v.y + m[10] * v.z};
}

void GTransformer::appendMatrix(const double* a) {
  if (m_stack.empty()) m_stack.push_back(kIdentity);
  const Matrix t = m_stack.back();
  Matrix& top = m_stack.back();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      top[4 * i + j] = t[4 * i] * a[j] + t[4 * i + 1] * a[4 + j] + t[4 * i + 2] * a[8 + j] + t[4 * i + 3] * a[12 + j];
}

void GTransformer::scale(double sx, double sy, double sz) {
  const Matrix a = {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1};
  appendMatrix(a.data());
}

void GTransformer::translate(const foundation::XYZ& t) {
  const Matrix a = {1, 0, 0, t.x, 0, 1, 0, t.y, 0, 0, 1, t.z, 0, 0, 0, 1};
  appendMatrix(a.data());
}

void GTransformer::invTranslate(const foundation::XYZ& t) { translate({-t.x, -t.y, -t.z}); }

GTransformer::Matrix GTransformer::eulerMatrix(double phi, double theta, double psi) {
  double sf, cf, st, ct, sp, cp;
  sinCosDegrees(phi, sf, cf);
  sinCosDegrees(theta, st, ct);
  sinCosDegrees(psi, sp, cp);
  return {cf * cp - sf * ct * sp,  sf * cp + cf * ct * sp,  sp * st, 0,
          -cf * sp - sf * ct * cp, -sf * sp + cf * ct * cp, cp * st, 0,
          sf * st,                 -cf * st,                ct,      0,
          0,                       0,                       0,       1};
}

void GTransformer::eulerWithPhi(double phi, double theta, double psi) {
  appendMatrix(eulerMatrix(phi, theta, psi).data());
}

void GTransformer::invEulerWithPhi(double phi, double theta, double psi) {
  const Matrix r = eulerMatrix(phi, theta, psi);
  Matrix t{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) t[4 * j + i] = r[4 * i + j];
  appendMatrix(t.data());
}

void GTransformer::appendRotationMatrix(const double* r) {
  const Matrix a = {r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, 0, 0, 0, 1};
  appendMatrix(a.data());
}

void GTransformer::invertToGiveTranslation(foundation::XYZ& t, double& phi, double& theta, double& psi) const {
  t = {0, 0, 0};
  phi = theta = psi = 0;
  if (m_stack.empty()) return;
  const Matrix& m = m_stack.back();
  t = {m[3], m[7], m[11]};
  theta = m[10] < -1 ? M_PI : m[10] > 1 ? 0 : std::acos(m[10]);
  if (std::fabs(std::sin(theta)) > 0.001) {
    phi = std::atan2(m[2], -m[6]);
    psi = std::atan2(m[8], m[9]);
  } else {
    phi = std::atan2(-m[1], m[0]);
    psi = 0;
  }
  phi /= kRadiansPerDegree;
  theta /= kRadiansPerDegree;
  psi /= kRadiansPerDegree;
}

}  // namespace orb::geometry
