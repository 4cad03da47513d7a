#include "lens/Elbow.h"

#include <algorithm>
#include <cmath>

#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Torus.h"
#include "geometry/values/DrawingSink.h"
#include "geometry/values/DxfPrimitives.h"
#include "geometry/values/Extents.h"
#include "lens/DrawingOptions.h"

namespace orb::lens {

using foundation::XYZ;
using geometry::R3Plane;
using platform::Value;

namespace {
constexpr double kRadiansPerDegree = 0.017453292519943295;
}  // namespace

std::shared_ptr<Surface> Elbow::makeEmpty() const { return platform::makeObject<Elbow>(); }

const std::vector<std::string>& Elbow::parameterTitleArray() const {
  static const std::vector<std::string> titles{"rminor", "rmajor", "theta", "NA"};
  return titles;
}

const platform::Dictionary& Elbow::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"rminor", 10.0}, {"rmajor", 100.0}, {"theta", 10.0}, {"NA", 1.0}};
  return defaults;
}

void Elbow::parametersDidChange() {
  Surface::parametersDidChange();
  m_rminor = parameterValue("rminor").value_or(0);
  m_rmajor = parameterValue("rmajor").value_or(0);
  m_theta = parameterValue("theta").value_or(0);
  m_na = parameterValue("NA").value_or(0);
}

double Elbow::thetaDeg() const {
  if (std::isnan(m_theta)) return 0;
  return std::clamp(m_theta, 0.0, 360.0);
}

std::string_view Elbow::turnerName() const { return thetaDeg() > 0 ? "TurnerElbow" : "Turner"; }

std::shared_ptr<R3Plane> Elbow::entrancePlane() const { return R3Plane::planeWithCoefficients(0, 0, -1, 0); }

std::shared_ptr<R3Plane> Elbow::exitPlane() const {
  const double t = thetaRad();
  return R3Plane::planeWithCoefficients(0, std::sin(t), std::cos(t), m_rmajor * std::sin(t));
}

XYZ Elbow::exitPoint() const {
  const double t = thetaRad();
  return {0, m_rmajor * (1 - std::cos(t)), m_rmajor * std::sin(t)};
}

std::vector<std::shared_ptr<geometry::R3Surface>> Elbow::surfacesForPresentConfiguration() const {
  return {entrancePlane(), exitPlane(), geometry::R3Torus::torusWithMajorRadius(m_rmajor, m_rminor)};
}

void Elbow::implementExitFrame(foundation::TransformStack& stack) const {
  foundation::xformTranslate(stack, exitPoint());
  // The stack turns points clockwise seen from +x: z goes to (0, sin θ, cos θ).
  foundation::xformRotateX(stack, thetaDeg());
}

void Elbow::drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options) const {
  const DrawingOptions o = DrawingOptions::from(options);
  const double segments = o.segmentsPerRevolution;
  if (!(segments >= 3)) return;
  double a = std::fmod(o.phiMin, 360.0);
  double b = std::fmod(o.phiMax, 360.0);
  if (b <= a) b += 360;
  const double m = std::max(std::floor((b - a) / (360 / segments)), 1.0);
  const double dPhi = (b - a) / m;
  const double theta = thetaRad();
  const double dBeta = theta / std::max(std::floor(thetaDeg() / 5), 1.0);
  const double R = m_rmajor, r = m_rminor;
  auto point = [&](double beta, double phiDeg) {
    const double phi = phiDeg * kRadiansPerDegree;
    const double w = R + r * std::cos(phi);
    return XYZ{r * std::sin(phi), R - std::cos(beta) * w, std::sin(beta) * w};
  };
  auto normal = [&](double beta, double phiDeg) {
    const double phi = phiDeg * kRadiansPerDegree;
    return XYZ{std::sin(phi), -std::cos(beta) * std::cos(phi), std::sin(beta) * std::cos(phi)};
  };
  if (!(dBeta > 0)) return;
  sink.begin(geometry::DrawMode::Quads);
  for (double beta = 0; beta < theta - dBeta / 2; beta += dBeta) {
    for (double phi = a; phi < b - dPhi / 2; phi += dPhi) {
      sink.normal(normal(beta, phi));
      sink.vertex(point(beta, phi));
      sink.vertex(point(beta, phi + dPhi));
      sink.vertex(point(beta + dBeta, phi + dPhi));
      sink.vertex(point(beta + dBeta, phi));
    }
  }
  sink.end();
}

void Elbow::dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options) const {
  geometry::DxfFromDrawing faces(sink);
  drawUsingOpenGL(faces, options);
}

std::shared_ptr<geometry::MutableExtents> Elbow::extents() const {
  auto e = geometry::MutableExtents::extents();
  for (const auto& s : zyOutline()) {
    e->absorb(-m_rminor, s.from.y, s.from.x);
    e->absorb(m_rminor, s.from.y, s.from.x);
  }
  return e;
}

bool Elbow::entityDrawZY(Painter2D& painter, const PlanarAffineTransform& transform) const {
  PlanarBezierPath path;
  path.appendSegments(zyOutline(), transform);
  painter.stroke(path);
  return true;
}

PlanarPath Elbow::zyOutline() const {
  const double R = m_rmajor, r = m_rminor, theta = thetaRad();
  const int steps = std::max(1, static_cast<int>(std::ceil(thetaDeg())));
  // (z, y) on the circle of radius rho about (0, R), at the bend angle beta.
  auto at = [&](double rho, double beta) { return foundation::XY{rho * std::sin(beta), R - rho * std::cos(beta)}; };
  PlanarPath path;
  for (int i = 0; i < steps; ++i)
    path.push_back({at(R + r, theta * i / steps), at(R + r, theta * (i + 1) / steps)});
  path.push_back({at(R + r, theta), at(R - r, theta)});
  for (int i = steps; i > 0; --i)
    path.push_back({at(R - r, theta * i / steps), at(R - r, theta * (i - 1) / steps)});
  path.push_back({at(R - r, 0), at(R + r, 0)});
  return path;
}

}  // namespace orb::lens
