#include "lens/LightPipe.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/solids/BSIG.h"
#include "geometry/values/DxfPrimitives.h"
#include "geometry/values/Extents.h"
#include "geometry/solids/R3Hull.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::lens {

using geometry::R3Plane;
using geometry::R3Surface;

double PlanarFaceSurface::maximumOrdinate() const { return std::numeric_limits<double>::infinity(); }

LightPipe::~LightPipe() = default;

std::shared_ptr<Surface> LightPipe::makeEmpty() const { return platform::makeObject<LightPipe>(); }

const std::vector<std::string>& LightPipe::parameterTitleArray() const {
  static const std::vector<std::string> titles{"nside", "rin", "rout", "theta0", "NA", "flattening"};
  return titles;
}

const platform::Dictionary& LightPipe::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"nside", 6.0}, {"rin", 10.0}, {"rout", 10.0}};
  return defaults;
}

void LightPipe::parametersDidChange() {
  Surface::parametersDidChange();
  m_nside = parameterValue("nside").value_or(0);
  m_rin = parameterValue("rin").value_or(0);
  m_rout = parameterValue("rout").value_or(0);
  m_theta0 = parameterValue("theta0").value_or(0);
  m_na = parameterValue("NA").value_or(0);
  m_flattening = parameterValue("flattening").value_or(0);
  forgetPlanesAndHull();
}

std::string_view LightPipe::turnerName() const {
  if (!(thickness() > 0)) return "Turner";
  return m_nside < 3.0 ? "TurnerLightPipeGeneric" : "TurnerLightPipe";
}

int LightPipe::numberOfSides() const {
  // NaN and huge values must not reach an integer cast.
  if (!(m_nside < 99)) return 99;
  return m_nside > -1 ? static_cast<int>(m_nside) : -1;
}

double LightPipe::flattening() const {
  if (std::isnan(m_flattening)) return 0;
  return std::clamp(m_flattening, -100.0, 0.99);
}

std::shared_ptr<R3Plane> LightPipe::entrancePlane() { return R3Plane::planeWithCoefficients(0, 0, -1, 0); }

std::shared_ptr<R3Plane> LightPipe::exitPlane(double length) { return R3Plane::planeWithCoefficients(0, 0, 1, length); }

std::vector<std::shared_ptr<R3Plane>> LightPipe::sidePlanes(int n, double rin, double rout, double length,
                                                            double flattening, double theta0Degrees) {
  std::vector<std::shared_ptr<R3Plane>> planes;
  if (n < 1) return planes;
  planes.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double phi = 2 * std::numbers::pi * i / n;
    const double s = 1 - flattening * (1 - std::cos(2 * phi)) / 2;
    const double delta = (rout - rin) * s;
    const double h = std::hypot(delta, length);
    const double psi = phi + theta0Degrees * std::numbers::pi / 180;
    planes.push_back(R3Plane::planeWithCoefficients(std::cos(psi) * length / h, std::sin(psi) * length / h,
                                                    -delta / h, s * rin * length / h));
  }
  return planes;
}

std::shared_ptr<geometry::R3Quadric> LightPipe::quadric(double rin, double rout, double length, double flattening) {
  const double k = (rout - rin) / length;
  const double g = 1 / ((1 - flattening) * (1 - flattening));
  return geometry::R3Quadric::instanceWithCoefficients({1, 0, 0, 0, g, 0, 0, -k * k, -k * rin, -rin * rin});
}

std::vector<std::shared_ptr<R3Plane>> LightPipe::planesForPresentConfiguration() const {
  int n = numberOfSides();
  if (n < 3) n = 32;
  const double L = thickness();
  std::vector<std::shared_ptr<R3Plane>> planes{entrancePlane(), exitPlane(L)};
  if (L > 0) {
    auto sides = sidePlanes(n, m_rin, m_rout, L, flattening(), m_theta0);
    planes.insert(planes.end(), sides.begin(), sides.end());
  }
  return planes;
}

std::vector<std::shared_ptr<R3Surface>> LightPipe::surfacesForPresentConfiguration() const {
  const int n = numberOfSides();
  const double L = thickness();
  std::vector<std::shared_ptr<R3Surface>> surfaces{entrancePlane(), exitPlane(L)};
  if (L > 0) {
    if (n >= 3) {
      for (auto& p : sidePlanes(n, m_rin, m_rout, L, flattening(), m_theta0)) surfaces.push_back(std::move(p));
    } else {
      surfaces.push_back(quadric(m_rin, m_rout, L, flattening()));
    }
  }
  return surfaces;
}

std::vector<std::shared_ptr<R3Plane>> LightPipe::planes() const {
  std::lock_guard lock(m_cacheMutex);
  // The length is the thickness, which changes without a parameter change.
  if (m_planes.empty() || m_planesLength != thickness()) {
    m_planes = planesForPresentConfiguration();
    m_planesLength = thickness();
    m_hull.reset();
  }
  return m_planes;
}

std::shared_ptr<geometry::R3Hull> LightPipe::hull() const {
  auto planes = this->planes();
  std::lock_guard lock(m_cacheMutex);
  if (m_hull) return m_hull;
  try {
    std::vector<geometry::R3SurfacePtr> surfaces(planes.begin(), planes.end());
    m_hull = geometry::R3Hull::hullWithSurfaces(surfaces);
  } catch (const platform::Exception& e) {
    platform::log("LightPipe hull failed (%s: %s)", e.name().c_str(), e.reason().c_str());
    m_hull.reset();
  }
  return m_hull;
}

void LightPipe::forgetPlanesAndHull() const {
  std::lock_guard lock(m_cacheMutex);
  m_planes.clear();
  m_hull.reset();
}

void LightPipe::drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary&) const {
  // "drawAlsoReversed" and "drawBoundingBox" do not apply to a solid.
  if (auto h = hull())
    for (const auto& patch : h->patches()) patch->drawUsingOpenGL(sink);
}

std::shared_ptr<geometry::MutableExtents> LightPipe::extents() const {
  auto e = geometry::MutableExtents::extents();
  const int n = numberOfSides();
  // A regular polygon's corners lie at its inscribed radius over cos(π/n); a negative
  // flattening widens the section in y.
  const double corner = n >= 3 ? 1 / std::cos(std::numbers::pi / n) : 1;
  const double sy = std::max(1.0, 1 - flattening());
  const double L = std::max(thickness(), 0.0);
  for (auto [r, z] : {std::pair{m_rin, 0.0}, std::pair{m_rout, L}}) {
    const double x = std::abs(r) * corner, y = x * sy;
    e->absorb(-x, -y, z);
    e->absorb(x, y, z);
  }
  return e;
}

bool LightPipe::entityDrawZY(Painter2D& painter, const PlanarAffineTransform& transform) const {
  PlanarBezierPath path;
  path.appendSegments(zyOutline(), transform);
  painter.stroke(path);
  return true;
}

bool LightPipe::entityDrawZX(Painter2D& painter, const PlanarAffineTransform& transform) const {
  PlanarBezierPath path;
  path.appendSegments(zxOutline(), transform);
  painter.stroke(path);
  return true;
}

std::vector<foundation::XYZ> LightPipe::cornersAt(double z) const {
  const auto planes = this->planes();
  std::vector<foundation::XYZ> corners;
  if (planes.size() < 5) return corners;
  // Side planes i and i + 1 meet in a line; at height z it is the point where
  // a·x + b·y = d − c·z holds for both.
  const std::size_t n = planes.size() - 2;
  for (std::size_t i = 0; i < n; ++i) {
    const auto& p = *planes[2 + i];
    const auto& q = *planes[2 + (i + 1) % n];
    const double det = p.a() * q.b() - p.b() * q.a();
    if (det == 0) continue;
    const double r1 = p.d() - p.c() * z, r2 = q.d() - q.c() * z;
    corners.push_back({(r1 * q.b() - r2 * p.b()) / det, (p.a() * r2 - q.a() * r1) / det, z});
  }
  return corners;
}

void LightPipe::dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary&) const {
  const auto in = cornersAt(0), out = cornersAt(thickness());
  if (in.size() < 3 || in.size() != out.size()) return;
  const std::size_t n = in.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto &a = in[i], &b = in[(i + 1) % n], &c = out[(i + 1) % n], &d = out[i];
    const double quad[12] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, d.x, d.y, d.z};
    geometry::dxfQuad(sink, quad);
  }
  // The end faces as fans about their first corner.
  for (const auto* face : {&in, &out})
    for (std::size_t i = 1; i + 1 < n; ++i) {
      const auto &a = (*face)[0], &b = (*face)[i], &c = (*face)[i + 1];
      const double tri[9] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z};
      geometry::dxfTriangle(sink, tri);
    }
}

PlanarPath LightPipe::zyOutline() const { return outlineInPlane(true); }
PlanarPath LightPipe::zxOutline() const { return outlineInPlane(false); }

PlanarPath LightPipe::outlineInPlane(bool zy) const {
  PlanarPath path;
  if (numberOfSides() < 3) {
    const double L = thickness();
    const foundation::XY a{0, m_rin}, b{0, -m_rin}, c{L, -m_rout}, d{L, m_rout};
    path = {{a, b}, {b, c}, {c, d}, {d, a}};
    return path;
  }
  auto h = hull();
  if (!h) return path;
  const auto plane = zy ? R3Plane::planeWithCoefficients(1, 0, 0, 0) : R3Plane::planeWithCoefficients(0, 1, 0, 0);
  for (const auto& curve : geometry::BSIG::projectionOfHull(*h, *plane)) {
    if (!curve->hasEnds()) continue;
    const auto q0 = curve->q0()->xyz(), q1 = curve->q1()->xyz();
    path.push_back(zy ? PlanarSegment{{q0.z, q0.y}, {q1.z, q1.y}} : PlanarSegment{{q0.z, q0.x}, {q1.z, q1.x}});
  }
  return path;
}

}  // namespace orb::lens
