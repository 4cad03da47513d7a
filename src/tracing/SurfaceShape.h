#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/SurfaceTaylorExpansion.h"

namespace orb::lens {
class Surface;
}

namespace orb::tracing {

/// What a pusher or turner asks of a surface, in the surface's local frame (vertex at the
/// origin, axis along +z, lens units). The lens's surfaces answer through
/// shapeOfSurface; ConicShape is a conic given by its numbers. The closed-form pushers and
/// turners read the constants once when they are given the surface; only the iterative
/// pushers and the framed-ray turners call the per-point operations.
class SurfaceShape {
 public:
  virtual ~SurfaceShape() = default;
  /// The name ray deaths carry in "tags.diedAtSurface".
  virtual std::string nickname() const = 0;
  virtual double curvature() const = 0;
  virtual double conicConstant() const = 0;
  /// (tiltX, tiltY) of a tilted plane z = tiltX·x + tiltY·y; (0, 0) for other surfaces.
  virtual foundation::XY tilt() const { return {0, 0}; }
  /// The coefficient of r^power in the polynomial added to the conic (aspheres); 0 when
  /// there is none.
  virtual double sagPolynomialCoefficient(int) const { return 0; }
  /// The coefficients a0, a1, … of z = conic + Σ aj·r^(2j) when that is the whole profile,
  /// valid where the conic is (the even asphere: the column trace then runs its own kernel);
  /// none for any other profile.
  virtual std::optional<std::vector<double>> evenAsphereTerms() const { return std::nullopt; }
  virtual bool validQ(const foundation::XY& q) const = 0;
  virtual double sagAtQ(const foundation::XY& q) const = 0;
  virtual double sagAtMaximumRadius() const = 0;
  /// Unit normal at (x, y, sag), +z at the vertex.
  virtual foundation::XYZ surfaceNormalAtQ(const foundation::XY& q) const = 0;
  /// F = sag(x, y) − z for sag surfaces; zero on the surface.
  virtual double implicitFunctionAtPosition(const foundation::XYZ& p) const = 0;
  /// −∇F/|∇F|.
  virtual foundation::XYZ surfaceNormalAtPosition(const foundation::XYZ& p) const = 0;
  virtual geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const = 0;
  /// The lens surface behind the shape, for turners that read its phase or parameters
  /// (diffracters, ideal lenses); null for a shape given by numbers.
  virtual const lens::Surface* lensSurface() const { return nullptr; }
};

/// A rotationally symmetric conic of curvature c and conic constant k, optionally a
/// tilted plane: the shape of a standard surface, given by numbers.
class ConicShape : public SurfaceShape {
 public:
  ConicShape(double curvature, double conicConstant, std::string nickname = {})
      : m_c(curvature), m_k(conicConstant), m_nickname(std::move(nickname)) {}
  static std::shared_ptr<ConicShape> make(double curvature, double conicConstant, std::string nickname = {}) {
    return std::make_shared<ConicShape>(curvature, conicConstant, std::move(nickname));
  }
  void setTilt(const foundation::XY& tilt) { m_tilt = tilt; }

  std::string nickname() const override { return m_nickname; }
  double curvature() const override { return m_c; }
  double conicConstant() const override { return m_k; }
  foundation::XY tilt() const override { return m_tilt; }
  bool validQ(const foundation::XY& q) const override;
  double sagAtQ(const foundation::XY& q) const override;
  double sagAtMaximumRadius() const override;
  foundation::XYZ surfaceNormalAtQ(const foundation::XY& q) const override;
  double implicitFunctionAtPosition(const foundation::XYZ& p) const override;
  foundation::XYZ surfaceNormalAtPosition(const foundation::XYZ& p) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;

  /// dz/dr and d²z/dr² of the profile at radius r (infinite outside the valid range).
  double sagGradientAtRadius(double r) const;
  double sagSecondGradientAtRadius(double r) const;

 private:
  double m_c, m_k;
  foundation::XY m_tilt{0, 0};
  std::string m_nickname;
};

/// The shape of a lens surface: forwards to its profile operations. The surface must
/// outlive the shape (the trace runs on a lens the caller holds).
std::shared_ptr<const SurfaceShape> shapeOfSurface(const lens::Surface& surface);

}  // namespace orb::tracing
