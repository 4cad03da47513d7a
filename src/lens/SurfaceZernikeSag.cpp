#include "lens/SurfaceZernikeSag.h"

#include <algorithm>
#include <cmath>

#include "platform/Exception.h"

namespace orb::lens {

using foundation::XY;
using foundation::XYZ;

namespace {

constexpr double kStep = 1e-5;

// Noll's j → (n, m): m > 0 takes the cosine, m < 0 the sine, m = 0 neither.
void nollIndices(int j, int& n, int& m) {
  n = 0;
  int k = j - 1;
  while (k > n) {
    ++n;
    k -= n;
  }
  const int am = (n % 2) + 2 * ((k + ((n + 1) % 2)) / 2);
  m = (j % 2 == 0) ? am : -am;
}

double factorial(int n) {
  double f = 1;
  for (int i = 2; i <= n; ++i) f *= i;
  return f;
}

}  // namespace

double SurfaceZernikeSag::zernike(int j, double x, double y) {
  if (j < 1 || j > kTerms) return 0;
  int n, m;
  nollIndices(j, n, m);
  const int am = std::abs(m);
  // ρ^|m|·cos(|m|φ) and ρ^|m|·sin(|m|φ) are the real and imaginary parts of (x + iy)^|m|,
  // so the term is a polynomial in x and y, smooth at the centre.
  double re = 1, im = 0;
  for (int i = 0; i < am; ++i) {
    const double r = re * x - im * y;
    im = re * y + im * x;
    re = r;
  }
  const double rho2 = x * x + y * y;
  double radial = 0;  // R_n^m(ρ) / ρ^|m|
  for (int s = 0; s <= (n - am) / 2; ++s) {
    const double c = (s % 2 ? -1 : 1) * factorial(n - s) /
                     (factorial(s) * factorial((n + am) / 2 - s) * factorial((n - am) / 2 - s));
    radial += c * std::pow(rho2, (n - am) / 2 - s);
  }
  if (m == 0) return std::sqrt(n + 1.0) * radial;
  return std::sqrt(2 * (n + 1.0)) * radial * (m > 0 ? re : im);
}

const std::vector<std::string>& SurfaceZernikeSag::parameterTitleArray() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t;
    for (int e = 2; e <= 20; e += 2) t.push_back(parameterNameForExponent(e));
    t.push_back("n");
    t.push_back("R");
    for (int j = 1; j <= kTerms; ++j) t.push_back(platform::format("A%d", j));
    return t;
  }();
  return titles;
}

const platform::Dictionary& SurfaceZernikeSag::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"n", 36.0}, {"R", 10.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceZernikeSag::makeEmpty() const { return platform::makeObject<SurfaceZernikeSag>(); }

void SurfaceZernikeSag::parametersDidChange() {
  SurfaceAsphere::parametersDidChange();
  const double n = parameterValue("n").value_or(0);
  m_n = std::isfinite(n) ? static_cast<int>(std::clamp(n, -1.0, double(kTerms))) : 0;
  m_radius = parameterValue("R").value_or(10);
  for (int j = 1; j <= kTerms; ++j) m_coefficient[j - 1] = parameterValue(platform::format("A%d", j)).value_or(0);
}

double SurfaceZernikeSag::zernikeSagAtQ(const XY& q) const {
  if (!hasDeparture()) return 0;
  const double x = q.x / m_radius, y = q.y / m_radius;
  double z = 0;
  for (int j = 1; j <= m_n; ++j)
    if (m_coefficient[j - 1] != 0) z += m_coefficient[j - 1] * zernike(j, x, y);
  return z;
}

XY SurfaceZernikeSag::zernikeSagGradientAtQ(const XY& q) const {
  XY g{0, 0};
  if (!hasDeparture()) return g;
  const double x = q.x / m_radius, y = q.y / m_radius;
  for (int j = 1; j <= m_n; ++j) {
    const double a = m_coefficient[j - 1];
    if (a == 0) continue;
    g.x += a / m_radius * (zernike(j, x + kStep, y) - zernike(j, x - kStep, y)) / (2 * kStep);
    g.y += a / m_radius * (zernike(j, x, y + kStep) - zernike(j, x, y - kStep)) / (2 * kStep);
  }
  return g;
}

geometry::SurfaceTaylorExpansion SurfaceZernikeSag::zernikeTaylorExpansionAtPosition(const XYZ& p) const {
  geometry::SurfaceTaylorExpansion e{};
  const XY g = zernikeSagGradientAtQ({p.x, p.y});
  e.gx = g.x;
  e.gy = g.y;
  if (!hasDeparture()) return e;
  const double x = p.x / m_radius, y = p.y / m_radius, h = kStep;
  const double r2 = m_radius * m_radius;
  for (int j = 1; j <= m_n; ++j) {
    const double a = m_coefficient[j - 1];
    if (a == 0) continue;
    double f[3][3];
    for (int i = -1; i <= 1; ++i)
      for (int k = -1; k <= 1; ++k) f[i + 1][k + 1] = zernike(j, x + i * h, y + k * h);
    double fxx = 0, fyy = 0;
    for (int k = 0; k < 3; ++k) fxx += f[0][k] + f[2][k] - 2 * f[1][k];
    for (int i = 0; i < 3; ++i) fyy += f[i][0] + f[i][2] - 2 * f[i][1];
    fxx /= 3 * h * h;
    fyy /= 3 * h * h;
    const double fxy = (f[0][1] + f[2][1] + f[1][2] + f[1][0] - 2 * f[1][1] - f[2][2] - f[0][0]) / (-2 * h * h);
    e.hxx += a * fxx / r2;
    e.hxy += a * fxy / r2;
    e.hyy += a * fyy / r2;
  }
  return e;
}

double SurfaceZernikeSag::sagAtQ(const XY& q) const { return SurfaceAsphere::sagAtQ(q) + zernikeSagAtQ(q); }

XY SurfaceZernikeSag::sagGradientAtQ(const XY& q) const {
  const XY a = SurfaceAsphere::sagGradientAtQ(q), z = zernikeSagGradientAtQ(q);
  return {a.x + z.x, a.y + z.y};
}

geometry::SurfaceTaylorExpansion SurfaceZernikeSag::taylorExpansionAtPosition(const XYZ& p) const {
  geometry::SurfaceTaylorExpansion e = SurfaceAsphere::taylorExpansionAtPosition(p);
  const geometry::SurfaceTaylorExpansion z = zernikeTaylorExpansionAtPosition(p);
  e.gx += z.gx, e.gy += z.gy, e.hxx += z.hxx, e.hxy += z.hxy, e.hyy += z.hyy;
  return e;
}

void SurfaceZernikeSag::scaleByFactor(double f) {
  SurfaceAsphere::scaleByFactor(f);
  if (auto p = parameterForTitle("R")) p->scaleByFactor(f);
  for (int j = 1; j <= kTerms; ++j)
    if (auto p = parameterForTitle(platform::format("A%d", j))) p->scaleByFactor(f);
  parametersDidChange();
}

void SurfaceZernikeSag::flip() {
  for (int j = 1; j <= kTerms; ++j)
    if (auto p = parameterForTitle(platform::format("A%d", j))) p->negate();
  SurfaceAsphere::flip();
  parametersDidChange();
}

}  // namespace orb::lens
