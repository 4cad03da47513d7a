#include "lens/SurfaceToric.h"

#include <cmath>

#include "lens/AspectAperture.h"
#include "lens/CoordinateBreak.h"

namespace orb::lens {

using foundation::XY;
using foundation::XYZ;

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();
}

const std::vector<std::string>& SurfaceToric::parameterTitleArrayForAsphericCoefficients() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t;
    for (int e = 2; e <= 14; e += 2) t.push_back(parameterNameForExponent(e));
    return t;
  }();
  return titles;
}

const std::vector<std::string>& SurfaceToric::parameterTitleArray() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t{"toricR"};
    for (int e = 2; e <= 14; e += 2) t.push_back(parameterNameForExponent(e));
    return t;
  }();
  return titles;
}

void SurfaceToric::updateSagPolynomial() {
  SurfaceAsphere::updateSagPolynomial();
  const double rt = parameterValue("toricR").value_or(0);
  m_rt = rt == 0 || std::isnan(rt) ? kInfinity : rt;
}

bool SurfaceToric::validQ(const XY& q) const {
  const XY uv = toUV(q);
  if (!conicSection().validOrdinate(uv.x)) return false;
  if (std::isinf(m_rt)) return true;
  return std::abs(uv.y) < std::abs(m_rt - sagAtOrdinate(uv.x));
}

double SurfaceToric::sagAtQ(const XY& q) const {
  const XY uv = toUV(q);
  const double s = sagAtOrdinate(uv.x);
  if (std::isinf(m_rt)) return s;
  const double v = uv.y;
  // The profile point turned about the axis at z = Rt by the angle that reaches v.
  if (m_rt > 0) {
    const double d = m_rt - s, w2 = d * d - v * v;
    return s + (d - (w2 > 0 ? std::sqrt(w2) : 0));
  }
  const double d = s - m_rt, w2 = d * d - v * v;
  return s - (d - (w2 > 0 ? std::sqrt(w2) : 0));
}

XY SurfaceToric::sagGradientAtQ(const XY& q) const {
  const XY uv = toUV(q);
  const double s = sagAtOrdinate(uv.x), s1 = sagGradientAtOrdinate(uv.x);
  if (std::isinf(m_rt)) return fromUV({s1, 0});
  const double v = uv.y;
  const double d = m_rt > 0 ? m_rt - s : s - m_rt;
  const double w = std::sqrt(std::max(d * d - v * v, 0.0));
  return fromUV({s1 * d / w, (m_rt > 0 ? v : -v) / w});
}

double SurfaceToric::implicitFunctionAtPosition(const XYZ& p) const {
  const XY uv = toUV({p.x, p.y});
  const double s = sagAtOrdinate(uv.x);
  if (std::isinf(m_rt)) return s - p.z;
  const double v = uv.y;
  // The height of the point turned back into the profile plane about the toroid axis.
  const double L = m_rt > 0 ? std::hypot(m_rt - p.z, v) : std::hypot(p.z - m_rt, v);
  const double zProfile = m_rt > 0 ? m_rt - L : m_rt + L;
  return s - zProfile;
}

geometry::SurfaceTaylorExpansion SurfaceToric::taylorExpansionAtPosition(const XYZ& p) const {
  const XY uv = toUV({p.x, p.y});
  const double s1 = sagGradientAtOrdinate(uv.x), s2 = sagSecondGradientAtOrdinate(uv.x);
  double gv = 0, gz = -1, hvv = 0, hvz = 0, hzz = 0;
  if (!std::isinf(m_rt)) {
    const double v = uv.y;
    // F = s(u) − Rt ± √((Rt − z)² + v²): its exact derivatives in v and z.
    const double a = m_rt > 0 ? m_rt - p.z : p.z - m_rt, b = m_rt > 0 ? v : -v;
    const double L = std::hypot(a, v);
    const double c = a / L, sn = b / L, signedL = m_rt > 0 ? L : -L;
    gv = sn;
    gz = -c;
    hvv = c * c / signedL;
    hvz = c * sn / signedL;
    hzz = sn * sn / signedL;
  }
  geometry::SurfaceTaylorExpansion e{};
  e.gz = gz;
  e.hzz = hzz;
  if (profileAlongX()) {
    e.gx = s1, e.gy = gv, e.hxx = s2, e.hyy = hvv, e.hyz = hvz;
  } else {
    e.gx = gv, e.gy = s1, e.hxx = hvv, e.hyy = s2, e.hxz = hvz;
  }
  return e;
}

double SurfaceToric::maximumRadius() const { return std::min(maximumOrdinate(), std::abs(m_rt)); }

double SurfaceToric::sagAtMaximumRadius() const {
  return maximumOrdinate() > std::abs(m_rt) ? m_rt : sagAtMaximumOrdinate();
}

void SurfaceToric::appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                                   bool upper, bool backwards) const {
  const double limit = xOriented == profileAlongX() ? maximumOrdinate() : std::abs(m_rt);
  appendMeridianHalfToPath(path, transform, xOriented, upper, backwards, limit);
}

std::shared_ptr<const geometry::BoxSurfaceTest> SurfaceToric::fullAperture() const {
  return RectangularAperture::apertureWithXRadius(semidiameter(), semidiameter());
}

std::string_view SurfaceToric::pusherName() const {
  if (std::isinf(m_rt) && !sagPolynomial()) return profileAlongX() ? "PusherConicX" : "PusherConicY";
  return "PusherIterative";
}

void SurfaceToric::flip() {
  if (auto p = parameterForTitle("toricR")) p->negate();
  SurfaceAsphere::flip();
}

void SurfaceToric::scaleByFactor(double f) {
  if (auto p = parameterForTitle("toricR")) p->scaleByFactor(f);
  SurfaceAsphere::scaleByFactor(f);
}

std::shared_ptr<Surface> SurfaceToricX::makeEmpty() const { return platform::makeObject<SurfaceToricX>(); }
std::shared_ptr<Surface> SurfaceToricY::makeEmpty() const { return platform::makeObject<SurfaceToricY>(); }

std::vector<std::shared_ptr<const Surface>> SurfaceToricX::zemaxSurfaces() const {
  auto turn = [](const char* comment, double degrees) {
    auto b = Surface::create<CoordinateBreak>();
    b->setComment(comment);
    b->setValueForKey("rz", degrees);
    return b;
  };
  auto toric = platform::makeObject<SurfaceToricY>();
  toric->initWithSurface(*this);
  return {turn("<toric-x>", 90), toric, turn("</toric-x>", -90)};
}

}  // namespace orb::lens
