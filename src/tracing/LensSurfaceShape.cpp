#include <typeinfo>

#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceAsphereOdd.h"
#include "tracing/Pusher.h"
#include "tracing/SurfaceShape.h"
#include "tracing/Turner.h"

namespace orb::tracing {

namespace {

/// A lens surface seen through SurfaceShape. Kept in its own file so that code using only
/// ConicShape does not pull in the lens surface.
class LensSurfaceShape final : public SurfaceShape {
 public:
  explicit LensSurfaceShape(const lens::Surface& surface) : m_surface(surface) {}
  std::string nickname() const override { return m_surface.nickname(); }
  double curvature() const override { return m_surface.curvature(); }
  double conicConstant() const override { return m_surface.conicConstant(); }
  // A tilted plane's slope is its tilt; other surfaces are flat at the vertex.
  foundation::XY tilt() const override { return m_surface.sagGradientAtQ({0, 0}); }
  double sagPolynomialCoefficient(int power) const override {
    auto asphere = dynamic_cast<const lens::SurfaceAsphere*>(&m_surface);
    auto polynomial = asphere ? asphere->sagPolynomial() : nullptr;
    return polynomial ? polynomial->coefficientForPower(power) : 0;
  }
  // Only the types whose sag and validity are SurfaceAsphere's own: subclasses that add
  // to the profile (torics, Zernike terms) go the general way.
  std::optional<std::vector<double>> evenAsphereTerms() const override {
    const std::type_info& type = typeid(m_surface);
    if (type != typeid(lens::SurfaceAsphere) && type != typeid(lens::SurfaceAsphereOdd)) return std::nullopt;
    const auto* polynomial = static_cast<const lens::SurfaceAsphere&>(m_surface).sagPolynomial();
    std::vector<double> terms;
    if (!polynomial) return terms;
    for (std::size_t i = 0; i < polynomial->termCount(); ++i) {
      const int power = polynomial->powers()[i];
      if (power % 2 != 0) return std::nullopt;
      const std::size_t j = static_cast<std::size_t>(power / 2);
      if (terms.size() <= j) terms.resize(j + 1, 0.0);
      terms[j] = polynomial->coefficients()[i];
    }
    return terms;
  }
  bool validQ(const foundation::XY& q) const override { return m_surface.validQ(q); }
  double sagAtQ(const foundation::XY& q) const override { return m_surface.sagAtQ(q); }
  double sagAtMaximumRadius() const override { return m_surface.sagAtMaximumRadius(); }
  foundation::XYZ surfaceNormalAtQ(const foundation::XY& q) const override { return m_surface.surfaceNormalAtQ(q); }
  double implicitFunctionAtPosition(const foundation::XYZ& p) const override {
    return m_surface.implicitFunctionAtPosition(p);
  }
  foundation::XYZ surfaceNormalAtPosition(const foundation::XYZ& p) const override {
    return m_surface.surfaceNormalAtPosition(p);
  }
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override {
    return m_surface.taylorExpansionAtPosition(p);
  }
  const lens::Surface* lensSurface() const override { return &m_surface; }

 private:
  const lens::Surface& m_surface;
};

}  // namespace

std::shared_ptr<const SurfaceShape> shapeOfSurface(const lens::Surface& surface) {
  return std::make_shared<LensSurfaceShape>(surface);
}

std::unique_ptr<Pusher> pusherForSurface(const lens::Surface& surface) {
  return makePusher(surface.pusherName(), shapeOfSurface(surface));
}

std::unique_ptr<Turner> turnerForSurface(const lens::Surface& surface) {
  return makeTurner(surface.turnerName(), shapeOfSurface(surface));
}

}  // namespace orb::tracing
