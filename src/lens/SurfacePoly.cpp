#include "lens/SurfacePoly.h"

#include <cmath>

#include "lens/AspectAperture.h"
#include "platform/Exception.h"

namespace orb::lens {

using foundation::XY;

namespace {
std::string title(int i, int j) { return platform::format("x%dy%d", i, j); }

// d^k/dt^k of t^n, at t.
double powerDerivative(double t, int n, int k) {
  if (k > n) return 0;
  double f = 1;
  for (int m = 0; m < k; ++m) f *= n - m;
  double p = 1;
  for (int m = 0; m < n - k; ++m) p *= t;
  return f * p;
}
}  // namespace

const std::vector<std::string>& SurfacePoly::parameterTitleArray() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t{"xMin", "xMax", "yMin", "yMax"};
    for (int i = 0; i < kOrder; ++i)
      for (int j = 0; j < kOrder; ++j) t.push_back(title(i, j));
    return t;
  }();
  return titles;
}

const platform::Dictionary& SurfacePoly::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"xMin", -1.0}, {"xMax", 1.0}, {"yMin", -2.0}, {"yMax", 2.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfacePoly::makeEmpty() const { return platform::makeObject<SurfacePoly>(); }

void SurfacePoly::parametersDidChange() {
  Surface::parametersDidChange();
  m_xMin = parameterValue("xMin").value_or(-1);
  m_xMax = parameterValue("xMax").value_or(1);
  m_yMin = parameterValue("yMin").value_or(-2);
  m_yMax = parameterValue("yMax").value_or(2);
  for (int i = 0; i < kOrder; ++i)
    for (int j = 0; j < kOrder; ++j) m_c[i][j] = parameterValue(title(i, j)).value_or(0);
  updateMeshData();
}

void SurfacePoly::updateMeshData() {
  for (int i = 0; i < kMeshSize; ++i)
    for (int j = 0; j < kMeshSize; ++j)
      m_mesh.atPut(static_cast<std::size_t>(i), static_cast<std::size_t>(j), sagAtQ({meshX(i), meshY(j)}));
}

bool SurfacePoly::validQ(const XY& q) const {
  return m_xMin <= q.x && q.x <= m_xMax && m_yMin <= q.y && q.y <= m_yMax;
}

double SurfacePoly::derivative(const XY& q, int dx, int dy) const {
  double z = 0;
  for (int i = dx; i < kOrder; ++i)
    for (int j = dy; j < kOrder; ++j)
      if (m_c[i][j] != 0) z += m_c[i][j] * powerDerivative(q.x, i, dx) * powerDerivative(q.y, j, dy);
  return z;
}

double SurfacePoly::sagAtQ(const XY& q) const { return derivative(q, 0, 0); }

XY SurfacePoly::sagGradientAtQ(const XY& q) const { return {derivative(q, 1, 0), derivative(q, 0, 1)}; }

geometry::SurfaceTaylorExpansion SurfacePoly::taylorExpansionAtPosition(const foundation::XYZ& p) const {
  const XY q{p.x, p.y};
  geometry::SurfaceTaylorExpansion e{};
  e.gx = derivative(q, 1, 0);
  e.gy = derivative(q, 0, 1);
  e.gz = -1;
  e.hxx = derivative(q, 2, 0);
  e.hxy = derivative(q, 1, 1);
  e.hyy = derivative(q, 0, 2);
  return e;
}

std::shared_ptr<const geometry::BoxSurfaceTest> SurfacePoly::fullAperture() const {
  auto a = RectangularAperture::apertureWithXRadius((m_xMax - m_xMin) / 2, (m_yMax - m_yMin) / 2);
  a->setDecenterX((m_xMin + m_xMax) / 2);
  a->setDecenterY((m_yMin + m_yMax) / 2);
  return a;
}

void SurfacePoly::scaleByFactor(double f) {
  Surface::scaleByFactor(f);
  for (const char* bound : {"xMin", "xMax", "yMin", "yMax"})
    if (auto p = parameterForTitle(bound)) p->scaleByFactor(f);
  for (int i = 0; i < kOrder; ++i)
    for (int j = 0; j < kOrder; ++j)
      if (auto p = parameterForTitle(title(i, j))) p->scaleByFactor(std::pow(f, 1 - i - j));
  parametersDidChange();
}

void SurfacePoly::flip() {
  for (int i = 0; i < kOrder; ++i)
    for (int j = 0; j < kOrder; ++j)
      if (auto p = parameterForTitle(title(i, j))) p->negate();
  Surface::flip();
  parametersDidChange();
}

}  // namespace orb::lens
